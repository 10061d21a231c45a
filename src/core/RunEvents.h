#pragma once
#include <array>
#include <cstdint>
#include <vector>

// The events of the run in progress, and the run's state computed from them alone.
// Taking an event back and picking up an interrupted run both rebuild the state
// from the list, so they end exactly where a run without that event would be.
enum class TRunEventKind { Start, Lap, Finish, Dnf };

struct TRunEvent {
    TRunEventKind Kind = TRunEventKind::Start;
    int Car = 1;       // 1 or 2
    uint32_t Tick = 0; // tick counter reading of the event
    bool operator==(const TRunEvent&) const = default;
};

struct TCarRunState {
    bool Started = false;
    bool Finished = false;
    bool Dnf = false; // dropped out: no total
    uint32_t StartTick = 0;
    uint32_t LapTick = 0;
    uint32_t StopTick = 0;
    int LapsDone = 0;               // the clock frame's lap count
    std::array<int32_t, 6> LapMs{}; // lap frames 1..5
    int32_t Hundredths = 0;         // sum of truncated lap times
    int32_t TotalMs = 0;
    bool Running() const { return Started && !Finished && !Dnf; }
};

struct TRunState {
    int EventCount = 0;
    std::array<TCarRunState, 3> Car{}; // [1..2]
};

class TRunEvents {
public:
    TRunEvents(int cars, int laps);

    int Cars() const { return FCars; }
    int Laps() const { return FLaps; }
    const std::vector<TRunEvent>& Events() const { return FEvents; }
    const TRunState& State() const { return FState; }

    // True when the sequence permits it; otherwise nothing changes.
    bool Permitted(const TRunEvent& e) const;
    bool Add(const TRunEvent& e);
    // Takes the last event back; false when there is none.
    bool TakeBack();
    // Every car has finished or dropped out.
    bool Complete() const;

    // The event counter after passing over the events of cars that dropped out.
    static int PassOver(int eventCount, int cars, int laps, const TRunState& state);

private:
    void Apply(const TRunEvent& e);
    int FCars, FLaps;
    std::vector<TRunEvent> FEvents;
    TRunState FState;
};
