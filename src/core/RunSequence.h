#pragma once
#include <array>

// Which single event the timing run permits next.
enum class TNextEvent { None = 0, Start = 1, Lap = 2, Finish = 3 };

// Next permitted event for two cars, indexed by the event counter 0..21.
extern const std::array<int, 22> TwoCarSequence;

// The car (1 or 2) that the event counter's current value belongs to.
int CurrentCar(int eventCount, int cars, int laps);

// The control state after eventCount events.
TNextEvent NextEventFor(int eventCount, int cars, int laps);
