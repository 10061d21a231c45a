#include "ThreadPriority.h"

#include <algorithm>

QString TThreadPriority::Text() const {
    switch (Kind) {
    case RealtimeKit:
        return QStringLiteral("Echtzeit-Priorität %1 (RealtimeKit)").arg(Level);
    case Fifo:
        return QStringLiteral("Echtzeit-Priorität %1 (SCHED_FIFO)").arg(Level);
    case Normal:
        return QStringLiteral("normale Priorität (nice %1), keine Echtzeit erlaubt").arg(Level);
    case Unknown:
        break;
    }
    return QStringLiteral("unbekannt");
}

TThreadPriority RaiseThreadPriority(IThreadPriorityApi& api, int wanted) {
    if (const int max = api.RealtimeKitMax(); max > 0) {
        const int p = std::min(wanted, max);
        if (api.RealtimeKitMakeRealtime(p)) return {TThreadPriority::RealtimeKit, p};
    }
    // Without a limit only a privileged process gets it; the call tells.
    const int limit = api.FifoLimit();
    const int p = limit > 0 ? std::min(wanted, limit) : wanted;
    if (api.SetFifo(p)) return {TThreadPriority::Fifo, p};
    int nice = api.CurrentNice();
    if (const int lowest = api.LowestNice(); lowest < nice && api.SetNice(lowest)) nice = lowest;
    return {TThreadPriority::Normal, nice};
}
