#pragma once
// Listens to the main window beside the recorder and flags suspicious times of
// every entered run as records of the event database. The times themselves are
// never touched: a flag stays until "Geprüft" or a corrected time clears it,
// again as a record. Also remembers which times came from a backup stopwatch.
// Must be registered after the recorder: it asks the recorder for the runs.
#include "EventRecorder.h"
#include "Plausibility.h"

#include <QHash>
#include <array>
#include <functional>

class TRunChecker : public TRunListener {
public:
    TRunChecker(TEventStore& store, TEventRecorder& recorder);

    Plausibility::TThresholds Thresholds;

    // The open flags and hand-timed fields of a run (0 the total, 1..5 laps).
    struct TMarks {
        std::vector<TFlag> Flags;
        std::vector<int> HandFields;
        bool Empty() const { return Flags.empty() && HandFields.empty(); }
    };
    // Field and marks of the recorder's current event, read once.
    void Load(TEventDb& reader);
    const TMarks* MarksOf(const QString& runUuid) const;
    // The marks of the run in the protocol row of that name.
    const TMarks* MarksOfRow(const QString& name) const;
    // The flags of a field (-1: every field), "Geprüft": each cleared by a record.
    int Check(const QString& runUuid, int field, const QString& name,
              const QString& reason = QString());

    // "Geprüft" on a run as the database has it (any event): its open flags cleared.
    int CheckRun(const TEffectiveRun& run);

    void RunEvent(const TRunNotice& n) override;
    void ResultsEntered(const TRunResults& results) override;
    void ProtocolChanged(const TProtocolChange& c) override;

    // After the marks changed (a repaint is due).
    std::function<void(TRunChecker*)> OnChanged;

private:
    struct TFieldRun {
        int Laps = 2;
        Plausibility::TRunTimes Times;
    };
    struct TCarEvents {
        QList<Plausibility::TSource> Sources;
        QList<int> AfterDeadTimeMs;
        QList<Plausibility::TSystemsPass> Systems;
    };
    void FollowEvent();
    void Changed();
    void TimeCorrected(const TProtocolChange& c, bool hand);
    // The run's new times checked again; flags only for the changed field and the total.
    void Recheck(const QString& uuid, int field, const QString& name);
    void RecordChecked(const QString& eventUuid, const QString& runUuid, const QString& flagUuid,
                       const QString& name, const QString& reason);

    TEventStore& FStore;
    TEventRecorder& FRecorder;
    QString FEvent;
    QHash<QString, TFieldRun> FField; // runs of the event by UUID
    QHash<QString, TMarks> FMarks;
    std::array<TCarEvents, 3> FCars; // [1..2] of the run in progress
    QStringList FEntered;            // runs of the last results
};
