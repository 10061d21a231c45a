#pragma once
// Times that look wrong: flagged for the official, never changed or dropped. A
// bouncing car or a marshal double-triggers the barrier, dust or low sun makes it
// miss, an operator presses a key twice. Window-free rules over one car's run and
// the event's other runs.
#include <QList>
#include <QString>
#include <vector>

namespace Plausibility {

struct TThresholds {
    int MinLapMs = 0;         // shorter laps are flagged; 0: off
    double LowFactor = 0.6;   // under this times the field's median
    double HighFactor = 2.0;  // over this times the field's median
    int MinFieldRuns = 5;     // the field counts from this many runs
    int AfterDeadTimeMs = 50; // a barrier edge this soon after the dead time ended
};

enum TSource { srcBarrier, srcKey, srcMouse, srcRestored };

// A pass seen by two time systems, the light barrier and a timing device.
struct TSystemsPass {
    enum TKind { None, Both, BarrierOnly, DeviceOnly };
    TKind Kind = None;
    int DifferenceUnits = 0; // Both: device minus barrier, 1/10000 s
};
constexpr int SystemsToleranceUnits = 100; // 0.01 s

// One car's run as the rules see it.
struct TRunTimes {
    QList<int> LapMs; // laps 1..n; -1 missing
    int TotalMs = -1;
    QList<TSource> Sources; // of START, LAPs and FINISH
    // Per barrier event: ms between the end of the dead time before it and the
    // edge; negative when no dead time ran before it.
    QList<int> AfterDeadTimeMs;
    // Per event like Sources, with barrier and timing device both connected.
    QList<TSystemsPass> Systems;
};

enum TCode {
    fcShortLap,
    fcFarFromField,
    fcAfterDeadTime,
    fcMixedSources,
    fcSameTotal,
    fcTwoSystems,
    fcOneSystem
};

struct TFlagHit {
    TCode Code;
    int Field; // lap 1..5, 0 the total
    QString Reason;
    bool operator==(const TFlagHit&) const = default;
};

// Stored form: "kurz", "feld", "totzeit", "quellen", "gleich", "systeme", "ergaenzt".
QString CodeName(TCode code);

// The flags of a run. field: the event's other finished runs (same number of
// laps); otherCar: the other car of the same run, or null.
std::vector<TFlagHit> Check(const TRunTimes& run, const std::vector<TRunTimes>& field,
                            const TRunTimes* otherCar, const TThresholds& t);

} // namespace Plausibility
