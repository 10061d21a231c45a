#pragma once
// Two time systems: each pass of the light barrier (a laptop tick, ms) is matched
// with the timing device's impulse within half a second. The device's time counts;
// how far the two lie apart is kept, and a pass one side missed is filled from the
// other. The barrier's edge waits for its impulse; an impulse that comes without an
// edge is a pass of the device alone.
#include "TimerLines.h"

#include <optional>

class TTimeSystems {
public:
    static constexpr int MatchMs = 500;
    static constexpr int64_t ToleranceUnits = 100; // differences above 0.01 s are suspicious

    struct TPass {
        enum TFrom { Both, BarrierOnly, DeviceOnly };
        TFrom From = Both;
        TTimerImpulse Impulse;  // Both, DeviceOnly
        int64_t Time = -1;      // device time of day; filled from the barrier, -1 when unknown
        uint32_t Tick = 0;      // the barrier's tick; filled from the device
        int64_t Difference = 0; // Both: device minus barrier since the last pair, 1/10000 s
        bool Suspicious() const {
            return From != Both || Difference > ToleranceUnits || Difference < -ToleranceUnits;
        }
    };

    // A barrier edge: held until its impulse comes or MatchMs passed. An edge
    // already held is given out first, as a pass of the barrier alone.
    std::vector<TPass> Barrier(uint32_t tick);
    // An impulse that arrived at the laptop's tick: one pass with the held edge when
    // they match, else the held edge alone and the impulse alone.
    std::vector<TPass> Impulse(const TTimerImpulse& impulse, uint32_t arrival);
    // The held edge once MatchMs passed by now: a pass of the barrier alone.
    std::vector<TPass> Expire(uint32_t now);
    std::optional<uint32_t> Held() const { return FHeld; }
    // The edge held is no pass (RESET came first).
    void DropHeld() { FHeld.reset(); }

private:
    TPass BarrierAlone(uint32_t tick) const;
    std::optional<uint32_t> FHeld;
    struct TPair {
        int64_t Time;
        uint32_t Tick;
    };
    std::optional<TPair> FPair; // the last pass both saw: device time against barrier tick
};
