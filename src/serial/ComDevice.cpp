#include "ComDevice.h"

#include <algorithm>

std::vector<TLineEvent> LineEventsBetween(const TLineCounts& before, uint32_t statusBefore,
                                          const TLineCounts& now, uint32_t statusNow,
                                          uint32_t watchedMask) {
    struct Line {
        int from, to;
        uint32_t event, bit;
        int changes = 0;
    } lines[] = {{before.Cts, now.Cts, EV_CTS, MS_CTS_ON},
                 {before.Dsr, now.Dsr, EV_DSR, MS_DSR_ON},
                 {before.Ring, now.Ring, EV_RING, MS_RING_ON},
                 {before.Dcd, now.Dcd, EV_RLSD, MS_RLSD_ON}};
    uint32_t status = statusNow;
    int steps = 0, dropped = 0;
    for (Line& l : lines) {
        if (!(watchedMask & l.event)) continue;
        const bool levelMoved = (statusBefore ^ statusNow) & l.bit;
        int n = std::max(0, l.to - l.from);
        if (levelMoved != (n % 2 == 1)) ++n; // a change the counter missed (or has no counter)
        // Beyond a few changes between two reports the line flickers: the first
        // ones (within the dead time anyway) and the last level are what counts.
        if (n > 4) {
            dropped += n - (n % 2 ? 3 : 4);
            n = n % 2 ? 3 : 4;
        }
        l.changes = n;
        steps = std::max(steps, n);
        if (n % 2) status ^= l.bit; // start from the level of the last report
    }
    std::vector<TLineEvent> events;
    for (int step = 0; step < steps; ++step) {
        TLineEvent e;
        for (const Line& l : lines)
            if (l.changes > step) {
                e.Mask |= l.event;
                status ^= l.bit;
            }
        e.Status = status;
        e.HasStatus = true;
        events.push_back(e);
    }
    if (!events.empty()) events.back().Dropped = dropped;
    return events;
}
