#include "TickSource.h"

#include <QElapsedTimer>
#include <atomic>

namespace {
std::atomic<bool> manual{false};
std::atomic<uint32_t> manualValue{0};

// The event being handled (user-interface thread).
TickSource::TEventSource scopeSource = TickSource::TEventSource::Hand;
std::optional<uint32_t> scopeTick;
std::optional<uint32_t> lastTick; // forgotten when the clock is switched
TickSource::TEventSource lastSource = TickSource::TEventSource::Hand;
} // namespace

namespace TickSource {

uint32_t Now() {
    if (manual.load(std::memory_order_relaxed)) return manualValue.load(std::memory_order_relaxed);
    // A monotonic clock never jumps with the wall clock; only its low 32 bits count.
    QElapsedTimer t;
    t.start();
    return static_cast<uint32_t>(t.msecsSinceReference());
}

uint32_t EventTick() {
    uint32_t t = scopeTick ? *scopeTick : Now();
    // A stamp older than the event handled before it (that one was handled
    // first while the line change waited) would give a negative lap.
    if (scopeTick && lastTick && Diff(t, *lastTick) < 0) t = *lastTick;
    lastTick = t;
    lastSource = scopeSource;
    return t;
}

uint32_t LastEventTick() {
    return lastTick.value_or(0);
}

TEventSource LastEventSource() {
    return lastSource;
}

TEventScope::TEventScope(TEventSource source, std::optional<uint32_t> tick)
    : FOuterSource(scopeSource), FOuterTick(scopeTick) {
    scopeSource = source;
    scopeTick = tick;
}

TEventScope::~TEventScope() {
    scopeSource = FOuterSource;
    scopeTick = FOuterTick;
}

void SetManual(uint32_t value) {
    manualValue = value;
    manual = true;
    lastTick.reset();
}

void Advance(uint32_t ms) {
    manualValue += ms;
}

void UseSystem() {
    manual = false;
    lastTick.reset();
}

bool IsManual() {
    return manual;
}

} // namespace TickSource
