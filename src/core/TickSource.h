#pragma once
#include <cstdint>

// The millisecond tick counter every timing event reads. It stands in for the
// platform's 32-bit tick count: readings wrap after about 49.7 days, and times
// are the signed 32-bit differences of two readings, correct across a wrap.
// Tests switch it to a manual clock and play a run with exact times.
namespace TickSource {

uint32_t Now();

// Difference of two readings, as a signed 32-bit number of milliseconds.
inline int32_t Diff(uint32_t later, uint32_t earlier) {
    return static_cast<int32_t>(later - earlier);
}

void SetManual(uint32_t value); // freeze the counter at value
void Advance(uint32_t ms);      // move a manual counter on
void UseSystem();               // back to the monotonic clock
bool IsManual();

} // namespace TickSource
