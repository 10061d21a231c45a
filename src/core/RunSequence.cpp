#include "RunSequence.h"

const std::array<int, 22> TwoCarSequence = {1, 2, 1, 3, 2, 3, 0, 0, 0, 0, 0,
                                            0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};

int CurrentCar(int eventCount, int cars, int laps) {
    if (cars <= 1) return 1;
    if (eventCount == 1) return 1;
    if (eventCount == (laps + 1) * cars) return 2;
    return eventCount % cars + 1;
}

TNextEvent NextEventFor(int eventCount, int cars, int laps) {
    if (cars == 1) {
        if (eventCount == 0 || eventCount > laps) return TNextEvent::None;
        return eventCount == laps ? TNextEvent::Finish : TNextEvent::Lap;
    }
    // Counters past the table cannot arise: the run is complete by then.
    if (eventCount < 0 || eventCount >= static_cast<int>(TwoCarSequence.size()))
        return TNextEvent::None;
    return static_cast<TNextEvent>(TwoCarSequence[eventCount]);
}
