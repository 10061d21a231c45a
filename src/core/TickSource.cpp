#include "TickSource.h"

#include <QElapsedTimer>
#include <atomic>

namespace {
std::atomic<bool> manual{false};
std::atomic<uint32_t> manualValue{0};
} // namespace

namespace TickSource {

uint32_t Now() {
    if (manual.load(std::memory_order_relaxed)) return manualValue.load(std::memory_order_relaxed);
    // A monotonic clock never jumps with the wall clock; only its low 32 bits count.
    QElapsedTimer t;
    t.start();
    return static_cast<uint32_t>(t.msecsSinceReference());
}

void SetManual(uint32_t value) {
    manualValue = value;
    manual = true;
}

void Advance(uint32_t ms) {
    manualValue += ms;
}

void UseSystem() {
    manual = false;
}

bool IsManual() {
    return manual;
}

} // namespace TickSource
