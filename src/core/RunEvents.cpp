#include "RunEvents.h"

#include "RunSequence.h"
#include "TickSource.h"

TRunEvents::TRunEvents(int cars, int laps)
    : FCars(cars <= 1 ? 1 : 2), FLaps(laps < 2 ? 2 : (laps > 5 ? 5 : laps)) {}

bool TRunEvents::Complete() const {
    return FState.EventCount > 0 &&
           NextEventFor(FState.EventCount, FCars, FLaps) == TNextEvent::None;
}

bool TRunEvents::Permitted(const TRunEvent& e) const {
    if (e.Car < 1 || e.Car > FCars) return false;
    const int next = FState.EventCount + 1;
    switch (e.Kind) {
    case TRunEventKind::Start:
        // A run begins with car 1's START, also with one car.
        if (FState.EventCount == 0) return e.Car == 1;
        return NextEventFor(FState.EventCount, FCars, FLaps) == TNextEvent::Start &&
               CurrentCar(next, FCars, FLaps) == e.Car;
    case TRunEventKind::Lap:
        return NextEventFor(FState.EventCount, FCars, FLaps) == TNextEvent::Lap &&
               CurrentCar(next, FCars, FLaps) == e.Car;
    case TRunEventKind::Finish:
        return NextEventFor(FState.EventCount, FCars, FLaps) == TNextEvent::Finish &&
               CurrentCar(next, FCars, FLaps) == e.Car;
    case TRunEventKind::Dnf: {
        // Only inside a run, and only for a car that still has events to come.
        if (FState.EventCount == 0 || Complete()) return false;
        const TCarRunState& c = FState.Car[e.Car];
        return !c.Finished && !c.Dnf;
    }
    }
    return false;
}

bool TRunEvents::Add(const TRunEvent& e) {
    if (!Permitted(e)) return false;
    FEvents.push_back(e);
    Apply(e);
    return true;
}

bool TRunEvents::TakeBack() {
    if (FEvents.empty()) return false;
    std::vector<TRunEvent> rest(FEvents.begin(), FEvents.end() - 1);
    FEvents.clear();
    FState = TRunState();
    for (const TRunEvent& e : rest)
        Add(e);
    return true;
}

int TRunEvents::PassOver(int eventCount, int cars, int laps, const TRunState& state) {
    while (NextEventFor(eventCount, cars, laps) != TNextEvent::None &&
           state.Car[CurrentCar(eventCount + 1, cars, laps)].Dnf)
        ++eventCount;
    return eventCount;
}

// The same steps as the window's START, LAP and FINISH handlers.
void TRunEvents::Apply(const TRunEvent& e) {
    TCarRunState& c = FState.Car[e.Car];
    switch (e.Kind) {
    case TRunEventKind::Start:
        ++FState.EventCount;
        c.Hundredths = 0;
        c.StartTick = c.LapTick = e.Tick;
        c.TotalMs = 0;
        c.Started = true;
        break;
    case TRunEventKind::Lap: {
        ++FState.EventCount;
        const int32_t lap = TickSource::Diff(e.Tick, c.LapTick);
        c.LapTick = e.Tick;
        ++c.LapsDone;
        if (c.LapsDone >= 1 && c.LapsDone <= 5) c.LapMs[c.LapsDone] = lap;
        c.Hundredths += lap / 10;
        break;
    }
    case TRunEventKind::Finish: {
        ++FState.EventCount;
        c.StopTick = e.Tick;
        const int32_t last = TickSource::Diff(c.StopTick, c.LapTick);
        c.Hundredths += last / 10;
        c.TotalMs = c.Hundredths * 10;
        ++c.LapsDone;
        c.LapMs[FLaps] = last;
        c.Finished = true;
        break;
    }
    case TRunEventKind::Dnf:
        c.Dnf = true;
        c.StopTick = c.Started ? e.Tick : c.StartTick;
        break;
    }
    FState.EventCount = PassOver(FState.EventCount, FCars, FLaps, FState);
}
