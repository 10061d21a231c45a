#include "SimComDevice.h"

#include <cerrno>

namespace {
std::mutex busMutex;
std::map<int, std::shared_ptr<TSimComLine>> bus;
} // namespace

void TSimComLine::Count(uint32_t changed) {
    if (changed & MS_CTS_ON) ++FCounts.Cts;
    if (changed & MS_DSR_ON) ++FCounts.Dsr;
    if (changed & MS_RLSD_ON) ++FCounts.Dcd;
    if (changed & MS_RING_ON) ++FCounts.Ring;
}

void TSimComLine::SetModemStatus(uint32_t status) {
    std::lock_guard lock(FMutex);
    Count(FStatus ^ status);
    FStatus = status;
    FChanged.notify_all();
}

void TSimComLine::Pulse(uint32_t lines) {
    std::lock_guard lock(FMutex);
    Count(lines);
    Count(lines);
    FChanged.notify_all();
}

uint32_t TSimComLine::ModemStatusWord() const {
    std::lock_guard lock(FMutex);
    return FStatus;
}

void TSimComLine::Receive(int count) {
    std::lock_guard lock(FMutex);
    FInQueue += count;
    ++FArrivals;
    FChanged.notify_all();
}

void TSimComLine::Raise(uint32_t events) {
    std::lock_guard lock(FMutex);
    FRaised |= events;
    FChanged.notify_all();
}

void TSimComLine::SetFailApply(bool fail) {
    std::lock_guard lock(FMutex);
    FFailApply = fail;
}

void TSimComLine::Unplug(int error) {
    std::lock_guard lock(FMutex);
    FGoneError = error;
    FChanged.notify_all();
}

void TSimComLine::Plug() {
    std::lock_guard lock(FMutex);
    FGoneError = 0;
}

bool TSimComLine::IsOpen() const {
    std::lock_guard lock(FMutex);
    return FOpen;
}

bool TSimComLine::IsExclusive() const {
    std::lock_guard lock(FMutex);
    return FExclusive;
}

int TSimComLine::OpenCount() const {
    std::lock_guard lock(FMutex);
    return FOpenCount;
}

bool TSimComLine::WaitPending() const {
    std::lock_guard lock(FMutex);
    return FWaiting;
}

int TSimComLine::Reports() const {
    std::lock_guard lock(FMutex);
    return FReports;
}

TComSettings TSimComLine::LastSettings() const {
    std::lock_guard lock(FMutex);
    return FSettings;
}

std::shared_ptr<TSimComLine> TSimComBus::Attach(int port) {
    std::lock_guard lock(busMutex);
    auto& line = bus[port];
    if (!line) line = std::make_shared<TSimComLine>();
    return line;
}

void TSimComBus::Detach(int port) {
    std::lock_guard lock(busMutex);
    bus.erase(port);
}

void TSimComBus::DetachAll() {
    std::lock_guard lock(busMutex);
    bus.clear();
}

std::shared_ptr<TSimComLine> TSimComBus::Find(const QString& path) {
    if (!path.startsWith(QStringLiteral("sim:COM"))) return nullptr;
    bool ok = false;
    const int port = path.mid(7).toInt(&ok);
    std::lock_guard lock(busMutex);
    const auto it = bus.find(port);
    return ok && it != bus.end() ? it->second : nullptr;
}

TComBackend TSimComBus::Backend() {
    return {[] { return std::unique_ptr<IComDevice>(new TSimComDevice); }, PathFor, {}};
}

bool TSimComDevice::Open(const QString& path, bool exclusive) {
    auto line = TSimComBus::Find(path);
    if (!line) {
        FError = ENOENT;
        return false;
    }
    std::lock_guard lock(line->FMutex);
    if (line->FGoneError) {
        FError = ENOENT;
        return false;
    }
    if (line->FOpen && line->FExclusive) {
        FError = EBUSY;
        return false;
    }
    line->FOpen = true;
    line->FExclusive = exclusive;
    line->FInterrupt = false;
    line->FRaised = 0;
    ++line->FOpenCount;
    FLine = line;
    return true;
}

bool TSimComDevice::ApplySettings(const TComSettings& settings) {
    std::lock_guard lock(FLine->FMutex);
    if (FLine->FFailApply) {
        FError = EINVAL;
        return false;
    }
    FLine->FSettings = settings;
    return true;
}

bool TSimComDevice::SetEventMask(uint32_t mask) {
    std::lock_guard lock(FLine->FMutex);
    FLine->FMask = mask;
    FLine->FRaised &= mask;
    FReportedCounts = FLine->FCounts;
    FReportedStatus = FLine->FStatus;
    FReportedArrivals = FLine->FArrivals;
    return true;
}

TWaitResult TSimComDevice::WaitEvents(std::vector<TLineEvent>& events) {
    TSimComLine& l = *FLine;
    std::unique_lock lock(l.FMutex);
    for (;;) {
        if (l.FInterrupt) {
            l.FInterrupt = false;
            l.FWaiting = false;
            return TWaitResult::Interrupted;
        }
        if (l.FGoneError) {
            l.FWaiting = false;
            FError = l.FGoneError;
            return TWaitResult::Broken;
        }
        // Like a driver's counters: a change made while nobody waited is reported now.
        auto found = LineEventsBetween(FReportedCounts, FReportedStatus, l.FCounts, l.FStatus,
                                       l.FMask);
        FReportedCounts = l.FCounts;
        FReportedStatus = l.FStatus;
        uint32_t other = l.FRaised & l.FMask;
        l.FRaised = 0;
        if ((l.FMask & EV_RXCHAR) && l.FArrivals != FReportedArrivals) other |= EV_RXCHAR;
        FReportedArrivals = l.FArrivals;
        if (other) {
            if (found.empty()) found.push_back({0, l.FStatus, true, 0});
            found.front().Mask |= other;
        }
        if (!found.empty()) {
            l.FWaiting = false;
            ++l.FReports;
            events.insert(events.end(), found.begin(), found.end());
            return TWaitResult::Events;
        }
        l.FWaiting = true;
        l.FChanged.notify_all();
        l.FChanged.wait(lock);
    }
}

void TSimComDevice::InterruptWait() {
    if (!FLine) return;
    std::lock_guard lock(FLine->FMutex);
    FLine->FInterrupt = true;
    FLine->FChanged.notify_all();
}

bool TSimComDevice::ModemStatus(uint32_t& status) {
    std::lock_guard lock(FLine->FMutex);
    status = FLine->FStatus;
    return true;
}

bool TSimComDevice::ClearErrors(uint32_t& inQueue) {
    std::lock_guard lock(FLine->FMutex);
    inQueue = static_cast<uint32_t>(FLine->FInQueue);
    return true;
}

void TSimComDevice::Purge() {
    std::lock_guard lock(FLine->FMutex);
    FLine->FInQueue = 0;
}

void TSimComDevice::Close() {
    if (!FLine) return;
    {
        std::lock_guard lock(FLine->FMutex);
        FLine->FOpen = false;
        FLine->FExclusive = false;
    }
    FLine.reset();
}
