#include "ComDevice.h"

std::vector<TLineEvent> LineEventsBetween(const TLineCounts& before, uint32_t statusBefore,
                                          const TLineCounts& now, uint32_t statusNow,
                                          uint32_t watchedMask) {
    const struct {
        int from, to;
        uint32_t event, bit;
    } lines[] = {{before.Cts, now.Cts, EV_CTS, MS_CTS_ON},
                 {before.Dsr, now.Dsr, EV_DSR, MS_DSR_ON},
                 {before.Ring, now.Ring, EV_RING, MS_RING_ON},
                 {before.Dcd, now.Dcd, EV_RLSD, MS_RLSD_ON}};
    uint32_t changed = 0, pulsed = 0, pulsedBits = 0;
    for (const auto& l : lines) {
        if (!(watchedMask & l.event)) continue;
        const bool levelMoved = (statusBefore ^ statusNow) & l.bit;
        const int count = l.to - l.from; // counters may wrap: any difference is a change
        if (levelMoved || count != 0) changed |= l.event;
        // An even number of changes brings the line back where it was.
        if (!levelMoved && count != 0 && count % 2 == 0) {
            pulsed |= l.event;
            pulsedBits |= l.bit;
        }
    }
    std::vector<TLineEvent> events;
    if (!changed) return events;
    if (pulsed) events.push_back({changed, statusNow ^ pulsedBits, true, 0});
    events.push_back({pulsed ? pulsed : changed, statusNow, true, 0});
    return events;
}
