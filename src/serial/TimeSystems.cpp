#include "TimeSystems.h"

namespace {

int32_t TicksBetween(uint32_t later, uint32_t earlier) {
    return static_cast<int32_t>(later - earlier);
}

} // namespace

TTimeSystems::TPass TTimeSystems::BarrierAlone(uint32_t tick) const {
    TPass p;
    p.From = TPass::BarrierOnly;
    p.Tick = tick;
    if (FPair)
        p.Time = ((FPair->Time + int64_t(TicksBetween(tick, FPair->Tick)) * 10) % TimerDayUnits +
                  TimerDayUnits) %
                 TimerDayUnits;
    return p;
}

std::vector<TTimeSystems::TPass> TTimeSystems::Barrier(uint32_t tick) {
    std::vector<TPass> out;
    if (FHeld) out.push_back(BarrierAlone(*FHeld));
    FHeld = tick;
    return out;
}

std::vector<TTimeSystems::TPass> TTimeSystems::Impulse(const TTimerImpulse& impulse,
                                                       uint32_t arrival) {
    std::vector<TPass> out;
    if (FHeld) {
        const TPass alone = BarrierAlone(*FHeld);
        // With a pair before: by the device's clock; without one: the line came soon after the
        // edge.
        const int64_t apart = alone.Time >= 0 ? TimerSignedDifference(impulse.Time, alone.Time)
                                              : int64_t(TicksBetween(arrival, *FHeld)) * 10;
        if (apart >= -MatchMs * 10 && apart <= MatchMs * 10) {
            TPass p;
            p.Impulse = impulse;
            p.Time = impulse.Time;
            p.Tick = *FHeld;
            p.Difference = alone.Time >= 0 ? apart : 0;
            FPair = TPair{impulse.Time, *FHeld};
            FHeld.reset();
            out.push_back(p);
            return out;
        }
        out.push_back(alone);
        FHeld.reset();
    }
    TPass p;
    p.From = TPass::DeviceOnly;
    p.Impulse = impulse;
    p.Time = impulse.Time;
    p.Tick = FPair
                 ? FPair->Tick + static_cast<uint32_t>(TimerDifferenceMs(impulse.Time, FPair->Time))
                 : arrival;
    out.push_back(p);
    return out;
}

std::vector<TTimeSystems::TPass> TTimeSystems::Expire(uint32_t now) {
    std::vector<TPass> out;
    if (FHeld && TicksBetween(now, *FHeld) >= MatchMs) {
        out.push_back(BarrierAlone(*FHeld));
        FHeld.reset();
    }
    return out;
}
