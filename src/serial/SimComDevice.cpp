#include "SimComDevice.h"

#include <cerrno>

namespace {
std::mutex busMutex;
std::map<int, std::shared_ptr<TSimComLine>> bus;
} // namespace

void TSimComLine::SetModemStatus(uint32_t status) {
    std::lock_guard lock(FMutex);
    const uint32_t changed = FStatus ^ status;
    FStatus = status;
    uint32_t events = 0;
    if (changed & MS_CTS_ON) events |= EV_CTS;
    if (changed & MS_DSR_ON) events |= EV_DSR;
    if (changed & MS_RLSD_ON) events |= EV_RLSD;
    if (changed & MS_RING_ON) events |= EV_RING;
    FPending |= events & FMask;
    FChanged.notify_all();
}

uint32_t TSimComLine::ModemStatusWord() const {
    std::lock_guard lock(FMutex);
    return FStatus;
}

void TSimComLine::Receive(int count) {
    std::lock_guard lock(FMutex);
    FInQueue += count;
    FPending |= EV_RXCHAR & FMask;
    FChanged.notify_all();
}

void TSimComLine::Raise(uint32_t events) {
    std::lock_guard lock(FMutex);
    FPending |= events & FMask;
    FChanged.notify_all();
}

void TSimComLine::SetFailApply(bool fail) {
    std::lock_guard lock(FMutex);
    FFailApply = fail;
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
    return {[] { return std::unique_ptr<IComDevice>(new TSimComDevice); }, PathFor};
}

bool TSimComDevice::Open(const QString& path, bool exclusive) {
    auto line = TSimComBus::Find(path);
    if (!line) {
        FError = ENOENT;
        return false;
    }
    std::lock_guard lock(line->FMutex);
    if (line->FOpen && line->FExclusive) {
        FError = EBUSY;
        return false;
    }
    line->FOpen = true;
    line->FExclusive = exclusive;
    line->FInterrupt = false;
    line->FPending = 0;
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
    FLine->FPending &= mask;
    return true;
}

TWaitResult TSimComDevice::WaitEvents(uint32_t& mask) {
    std::unique_lock lock(FLine->FMutex);
    FLine->FWaiting = true;
    FLine->FChanged.notify_all();
    FLine->FChanged.wait(lock, [this] { return FLine->FInterrupt || FLine->FPending != 0; });
    FLine->FWaiting = false;
    if (FLine->FInterrupt) {
        FLine->FInterrupt = false;
        return TWaitResult::Interrupted;
    }
    mask = FLine->FPending;
    FLine->FPending = 0;
    return TWaitResult::Events;
}

void TSimComDevice::InterruptWait() {
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
