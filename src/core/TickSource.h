#pragma once
#include <cstdint>
#include <optional>

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

// The source of a timing event (for the journal of a run).
enum class TEventSource { Hand, Key, Mouse, Barrier };

// The time of the timing event being handled: inside a TEventScope with a
// stamped tick (the light barrier's line change, taken by the serial watch
// thread) that tick, else Now(). A stamped tick never lies before the time
// handed out for the event before it. User-interface thread only.
uint32_t EventTick();
// What the last EventTick() gave, and the source of that event.
uint32_t LastEventTick();
TEventSource LastEventSource();

// Marks the events caused within its lifetime: their source and, when given,
// the tick at which they really happened.
class TEventScope {
public:
    explicit TEventScope(TEventSource source, std::optional<uint32_t> tick = std::nullopt);
    ~TEventScope();
    TEventScope(const TEventScope&) = delete;
    TEventScope& operator=(const TEventScope&) = delete;

private:
    TEventSource FOuterSource;
    std::optional<uint32_t> FOuterTick;
};

void SetManual(uint32_t value); // freeze the counter at value
void Advance(uint32_t ms);      // move a manual counter on
void UseSystem();               // back to the monotonic clock
bool IsManual();

} // namespace TickSource
