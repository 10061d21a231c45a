#pragma once
// The runs of one event kept in memory as the database holds them, with their
// corrections applied and the event's entrants. After a commit only the records
// that are new since the last read are read: the standings follow a run within a
// few milliseconds however long the event is.
#include "EventDb.h"

#include <QHash>

class TEventRunsCache {
public:
    enum TResult { Unchanged, Updated, Reloaded, Failed };

    // Reads on from where the last read stopped; the whole event when the event,
    // the database or the station differ from the last read, or after a failed
    // read. othersArrived: records of other stations were pulled, whose stations
    // may be new here.
    TResult Refresh(const QString& dbPath, const QString& eventUuid, const QString& station,
                    bool othersArrived = false);
    // Forgets everything; the next refresh reads the whole event.
    void Clear();

    // As TEventDb::EffectiveRuns gives them: in recorded order, corrections applied.
    const std::vector<TEffectiveRun>& Runs() const { return FRuns; }
    const std::vector<TEntrant>& Entrants() const { return FEntrants; }
    // Changes whenever the entrants do: classes need not be found again otherwise.
    int EntrantsVersion() const { return FEntrantsVersion; }
    QString Event() const { return FEvent; }

private:
    bool Reload();
    bool ReadOn(bool othersArrived, bool& changed);
    void AddRun(TRunRecord run);
    void AddCorrection(TCorrection c);
    void Apply(size_t at); // the run at its place as its corrections make it

    TEventDb FDb;
    QString FPath, FEvent, FStation;
    bool FValid = false;
    QHash<QString, qint64> FMarks; // per station: every record up to it is read
    std::vector<TRunRecord> FBase; // the runs as timed, parallel to FRuns
    std::vector<TEffectiveRun> FRuns;
    QHash<QString, size_t> FIndex;                         // run UUID -> position
    QHash<QString, std::vector<TCorrection>> FCorrections; // by run, in recorded order
    std::vector<TEntrant> FEntrants;
    int FEntrantsVersion = 0;
};
