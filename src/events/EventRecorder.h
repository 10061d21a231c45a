#pragma once
// Listens to the main window and records every run, DNF/DNS and correction in
// the event database. It only hands records to the store's writer thread, so
// nothing of it lies on the timing path.
#include "EventStore.h"
#include "Journal.h"
#include "Rounds.h"
#include "RunListener.h"
#include "StartList.h"

#include <QHash>
#include <QSet>
#include <functional>

class TEventRecorder : public TRunListener {
public:
    explicit TEventRecorder(TEventStore& store);

    // Continues the latest event of the database when it is of today, or of an
    // earlier day while a run of it is still in progress (an evening event
    // goes on after midnight).
    void Resume(TEventDb& reader, bool runInProgress = false);
    // Stations sharing a server: the newest event of today, wherever it was
    // begun, is the current one. True when that changed the current event.
    bool Follow(TEventDb& reader);
    // The event a run begins by itself gets a UUID from its date and title, so
    // stations that begin it meet in one event, also one that timed before it
    // had a server.
    static QString SharedEventUuid(const QDate& date, const QString& title);
    QString CurrentEvent() const { return FEvent.Uuid; }
    QString CurrentTitle() const { return FEvent.Title; }
    // "Neue Veranstaltung": the next runs go into a new event of that title.
    QString NewEvent(const QString& title);
    // A run put back into the protocol row of its driver, recorded as a correction.
    void RunToProtocol(const TRunRecord& run);
    // The drivers of a start list with named columns (class, club, vehicle): each
    // one recorded when new or changed. A new event gets them again. Returns how
    // many were recorded.
    int RecordEntrants(const QList<StartList::TEntrant>& entrants, const QString& title);
    // A correction of a run made in a window of the event database (penalty, status).
    void RecordCorrection(const TCorrection& c);
    // The run that fills the protocol row of that name now (empty: none known).
    QString RunOfRow(const QString& name) const;
    // Its run number ("3"); empty when no run is known.
    QString RunNoOfRow(const QString& name) const;
    // The protocol row of the run's driver shows that run now (one of another station).
    void MapRow(const TRunRecord& run);
    // The runs the last results made, in the order of their rows.
    QStringList EnteredRuns() const;
    // The round the window is in (its run number field as last announced).
    int CurrentRound() const { return TRounds::RoundOf(FRunNumber); }
    // Runs of the journal that the database lacks go into it with their own
    // identity (the database passes over what it has). Returns how many were added.
    static TRunRecord FromJournal(const Journal::TEnteredRun& run);
    int AddMissing(TEventDb& reader, const std::vector<TRunRecord>& runs, const QString& title);
    // Corrections of the journal (typed laps, hand times, DNS) and take-backs of
    // entered results that the database lacks, recorded under their own identity
    // after the runs. Returns what was added, "" for nothing.
    QString AddMissingCorrections(TEventDb& reader, const std::vector<TProtocolChange>& changes,
                                  const QStringList& takenBack);
    // At start-up: the runs, corrections and take-backs of the last program run's
    // journal that the database lacks, each once. Returns the status line ("" nothing).
    QString AddFromJournal(TEventDb& reader, const Journal::TInterruptedRun& last);
    // The status line after start-up: what came from the journal ("" nothing).
    static QString JournalAddedText(int runs, const QString& corrections);
    // Fixes the identities of a correction before it is announced: the run it
    // concerns (a new run of the round where the row has none) and its record.
    void Identify(TProtocolChange& change) const;

    // Who drove in which round of the current event; it passes over the drivers
    // excluded for the event ("Ausschluss").
    TRounds Rounds;
    // The exclusions of the current event as the database holds them now (records
    // of other stations arrived).
    void NoteExclusions(TEventDb& reader);

    void RunEvent(const TRunNotice& n) override;
    void ResultsEntered(const TRunResults& results) override;
    void ProtocolChanged(const TProtocolChange& c) override;

    // Today's date; tests replace it.
    std::function<QDate()> Today = [] { return QDate::currentDate(); };
    // After a record was handed over (on the caller's thread).
    std::function<void(TEventRecorder*)> OnRecorded;

private:
    void EnsureEvent(const QString& title);
    QString BeginEvent(const QString& title, const QString& uuid);
    bool Correct(TCorrection c, const QString& name);
    // A correction with its identities; false when nothing was recorded.
    bool Apply(const TProtocolChange& change);
    // A run of the current round for a row that has none there (a DNS, a hand time).
    QString MakeRoundRun(const QString& name, const QString& runNo, const QString& status,
                         const QString& startNo, const QString& uuid);
    QString RoundOfChange(const TProtocolChange& ch) const;
    static QString RowKey(const QString& name);
    void NoteExclusions(const std::vector<TEffectiveRun>& runs);

    TEventStore& FStore;
    TEventInfo FEvent;
    std::array<std::vector<TTimedEvent>, 3> FCarEvents; // [1..2] of the run in progress
    std::array<QString, 3> FCarRunIds;                  // [1..2] fixed at START
    QString FRunNumber = QStringLiteral("1");
    std::vector<std::pair<QString, QString>> FEntered;  // run and row name of the last results
    QHash<QString, QString> FRowRuns;                   // row name key -> run in that row
    QHash<QString, TEntrant> FEntrants;                 // start number (else name) -> latest record
    std::vector<TEntrant> FEntrantOrder;                // as recorded, for a new event
    QHash<QString, QString> FRunEvents;                 // run -> its event, for corrections
    QHash<QString, QString> FRunNos;                    // run -> its run number, for questions
    QSet<QString> FExcludedEntrants;                    // entrant keys excluded for the event
};
