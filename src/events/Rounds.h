#pragma once
// An event day in rounds: every entrant drives once per round, and the run number
// field is the round ("Lauf"). Knows which round each run, DNS and rerun of an
// entrant belongs to, and who drives next after RESET: the entrants of the list
// who still have to drive in this round, then the reruns of the round, then the
// next round from the first entrant. DNS and exclusions are passed over.
#include "EventRecords.h"

#include <QHash>
#include <functional>
#include <vector>

class TRounds {
public:
    enum class TState { None, Driven, Rerun, Dns };

    // The entrant of a name box text or a protocol name: "12 Müller" is "Müller".
    static QString EntrantKey(const QString& nameText);
    // The round of a run number text; 1 when it holds none.
    static int RoundOf(const QString& runNo);

    void Clear();
    // A run as it counts now; a withdrawn run is forgotten.
    void Note(const TEffectiveRun& e);
    void NoteRun(const QString& runUuid, const QString& name, const QString& runNo, const QString& status);
    void Forget(const QString& runUuid);
    // A later status of a run: "Wiederholung" (driven again), DNS, else driven.
    void SetStatus(const QString& runUuid, const QString& status);

    // Driven wins over everything; otherwise the latest of DNS and rerun.
    TState State(const QString& name, int round) const;
    // The run of that state (empty for None).
    QString RunOf(const QString& name, int round) const;
    // A run the entrant drove or had marked in that round, whatever its state.
    bool HasRun(const QString& name, int round) const { return State(name, round) != TState::None; }

    // A driver-level exclusion for the day; empty: nobody is excluded.
    std::function<bool(const QString& name)> Excluded;

    struct TNext {
        std::vector<int> Index; // per car, -1: no entrant
        int Round = 1;
        bool NewRound = false;
    };
    // The entrants of the next run after the run of current (one list index per
    // car, -1 none) in that round. A run never mixes two rounds: a car without an
    // entrant left in the round gets none.
    TNext Next(const QStringList& entries, const std::vector<int>& current, int round) const;
    // A list taken up anew (a program start within the event, a start list loaded):
    // from its top, who still has to drive in that round, else the next round.
    TNext First(const QStringList& entries, int cars, int round) const;
    // The round the event stands in: the latest with a run, DNS or rerun; 0 for none.
    int LatestRound() const;

private:
    TNext From(const QStringList& entries, int cars, int from, int round) const;
    bool PassedOver(const QString& entry, int round) const;
    struct TEntry {
        QString RunUuid;
        int Round = 1;
        TState State = TState::Driven;
    };
    const TEntry* Find(const QString& name, int round) const;
    QHash<QString, std::vector<TEntry>> FRuns; // entrant key -> runs in recorded order
    QHash<QString, QString> FKeyOfRun;
};
