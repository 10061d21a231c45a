#include "PosixComDevice.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

uint32_t StatusFromBits(int bits) {
    uint32_t s = 0;
    if (bits & TIOCM_CTS) s |= MS_CTS_ON;
    if (bits & TIOCM_DSR) s |= MS_DSR_ON;
    if (bits & TIOCM_RNG) s |= MS_RING_ON;
    if (bits & TIOCM_CAR) s |= MS_RLSD_ON;
    return s;
}

} // namespace

TPosixComDevice::TPosixComDevice(std::shared_ptr<TPosixIo> io) : FIo(std::move(io)) {}

TPosixComDevice::~TPosixComDevice() {
    Close();
}

bool TPosixComDevice::Fail() {
    FError = errno;
    return false;
}

bool TPosixComDevice::Open(const QString& path, bool exclusive) {
    FFd = FIo->Open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (FFd < 0) return Fail();
    termios t{};
    const bool terminal = FIo->GetAttr(FFd, &t) == 0; // else no serial port
    if (!terminal || (exclusive && FIo->Exclusive(FFd, true) != 0)) {
        Fail();
        FIo->Close(FFd);
        FFd = -1;
        return false;
    }
    FExclusive = exclusive;
    if (::pipe2(FWakeFd, O_CLOEXEC | O_NONBLOCK) != 0) FWakeFd[0] = FWakeFd[1] = -1;
    FInterrupt = false;
    FQueued = 0;
    return true;
}

bool TPosixComDevice::ApplySettings(const TComSettings& s) {
    termios t{};
    if (FIo->GetAttr(FFd, &t) != 0) return Fail();
    ::cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    t.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    switch (s.DataBits) {
    case 5:
        t.c_cflag |= CS5;
        break;
    case 6:
        t.c_cflag |= CS6;
        break;
    case 7:
        t.c_cflag |= CS7;
        break;
    default:
        t.c_cflag |= CS8;
        break;
    }
    switch (s.Parity) {
    case 1:
        t.c_cflag |= PARENB | PARODD;
        break;
    case 2:
        t.c_cflag |= PARENB;
        break;
    case 3:
        t.c_cflag |= PARENB | PARODD | CMSPAR;
        break; // mark
    case 4:
        t.c_cflag |= PARENB | CMSPAR;
        break; // space
    default:
        break;
    }
    if (s.StopBits != 0) t.c_cflag |= CSTOPB;
    t.c_iflag &= ~(IXON | IXOFF | IXANY);
    if (s.FlowControl == 1)
        t.c_cflag |= CRTSCTS;
    else if (s.FlowControl == 2) {
        t.c_iflag |= IXON | IXOFF;
        t.c_cc[VSTART] = 0x11;
        t.c_cc[VSTOP] = 0x13;
    }
    t.c_cc[VMIN] = 0; // reads return at once with what is there
    t.c_cc[VTIME] = 0;
    const speed_t speed = PosixSpeedConstant(s.BaudRate);
    if (speed != 0) {
        ::cfsetispeed(&t, speed);
        ::cfsetospeed(&t, speed);
    }
    if (FIo->SetAttr(FFd, &t) != 0) return Fail();
    if (speed == 0 && !FIo->SetCustomBaudRate(FFd, s.BaudRate)) return Fail();
    if (FIo->SetModemBits(FFd, TIOCM_DTR, s.EnableDTR) != 0 && errno != EINVAL && errno != ENOTTY)
        return Fail();
    if (s.FlowControl == 0) FIo->SetModemBits(FFd, TIOCM_RTS, false);
    FQueueSize = static_cast<uint32_t>(std::max(1, s.ReadBufSize));
    return true;
}

bool TPosixComDevice::SetEventMask(uint32_t mask) {
    FMask = mask;
    serial_icounter_struct c{};
    FHaveCounts = FIo->Counters(FFd, &c) == 0;
    if (FHaveCounts) FCounts = {c.cts, c.dsr, c.rng, c.dcd};
    uint32_t status = 0;
    ModemStatus(status);
    FLastStatus = status;
    return true;
}

bool TPosixComDevice::CollectLineEvents(uint32_t lineEvents, std::vector<TLineEvent>& events) {
    TLineCounts now = FCounts;
    uint32_t status = FLastStatus;
    // Counters, status, counters: a change in between is read again, so the
    // status and the counters describe one moment.
    for (int attempt = 0; attempt < 4; ++attempt) {
        serial_icounter_struct before{}, after{};
        if (FHaveCounts && FIo->Counters(FFd, &before) != 0) FHaveCounts = false;
        if (!ModemStatus(status)) status = FLastStatus;
        if (!FHaveCounts) break;
        if (FIo->Counters(FFd, &after) != 0) {
            FHaveCounts = false;
            break;
        }
        now = {after.cts, after.dsr, after.rng, after.dcd};
        if (before.cts == after.cts && before.dsr == after.dsr && before.rng == after.rng &&
            before.dcd == after.dcd)
            break;
    }
    const auto found = LineEventsBetween(FCounts, FLastStatus, now, status, lineEvents);
    FCounts = now;
    FLastStatus = status;
    events.insert(events.end(), found.begin(), found.end());
    return !found.empty();
}

TWaitResult TPosixComDevice::WaitEvents(std::vector<TLineEvent>& events) {
    FWaiter = pthread_self();
    FWaiting = true;
    struct Done {
        std::atomic<bool>& w;
        ~Done() { w = false; }
    } done{FWaiting};
    if (FInterrupt.exchange(false)) return TWaitResult::Interrupted;

    const uint32_t lineEvents = FMask & (EV_CTS | EV_DSR | EV_RLSD | EV_RING);
    if (lineEvents == 0) return WaitCharacters(events);

    int bits = 0;
    if (lineEvents & EV_CTS) bits |= TIOCM_CTS;
    if (lineEvents & EV_DSR) bits |= TIOCM_DSR;
    if (lineEvents & EV_RLSD) bits |= TIOCM_CD;
    if (lineEvents & EV_RING) bits |= TIOCM_RNG;
    for (;;) {
        // TIOCMIWAIT waits for a change after the call: one made while the
        // previous report was dispatched shows only in the counters.
        if (CollectLineEvents(lineEvents, events)) return TWaitResult::Events;
        if (FInterrupt.exchange(false)) return TWaitResult::Interrupted;
        if (FIo->WaitModemChange(FFd, bits) != 0) {
            if (errno != EINTR) {
                FError = errno;
                return TWaitResult::Broken; // device gone or the driver cannot wait
            }
            if (FInterrupt.exchange(false)) return TWaitResult::Interrupted;
        }
    }
}

uint32_t TPosixComDevice::Drain() {
    uint32_t moved = 0;
    char buffer[256];
    for (;;) {
        const ssize_t n = FIo->Read(FFd, buffer, sizeof buffer);
        if (n <= 0) break;
        moved += static_cast<uint32_t>(n);
    }
    if (moved) // a full queue loses what does not fit, as a driver's does
        FQueued = std::min(FQueueSize, FQueued.load() + moved);
    return moved;
}

TWaitResult TPosixComDevice::WaitCharacters(std::vector<TLineEvent>& events) {
    if (!(FMask & EV_RXCHAR)) return TWaitResult::Broken;
    for (;;) {
        // Bytes left unread keep poll() ready: taking them out makes the next
        // poll wait for the next arrival.
        if (Drain()) {
            events.push_back({EV_RXCHAR, 0, false, 0});
            return TWaitResult::Events;
        }
        pollfd fds[2] = {{FFd, POLLIN, 0}, {FWakeFd[0], POLLIN, 0}};
        const int n = FIo->Poll(fds, FWakeFd[0] >= 0 ? 2 : 1, -1);
        if (n < 0) {
            if (errno != EINTR) return TWaitResult::Broken;
            if (FInterrupt.exchange(false)) return TWaitResult::Interrupted;
            continue;
        }
        if (fds[1].revents & POLLIN) {
            char buf[16];
            while (::read(FWakeFd[0], buf, sizeof buf) > 0) {
            }
            FInterrupt = false;
            return TWaitResult::Interrupted;
        }
        if (fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)) return TWaitResult::Broken;
    }
}

void TPosixComDevice::InterruptWait() {
    FInterrupt = true;
    if (FWakeFd[1] >= 0) {
        const char c = 1;
        [[maybe_unused]] const auto r = ::write(FWakeFd[1], &c, 1);
    }
    if (FWaiting) FIo->Wake(FWaiter.load());
}

bool TPosixComDevice::ModemStatus(uint32_t& status) {
    int bits = 0;
    if (FIo->ModemBits(FFd, &bits) != 0) return Fail();
    status = StatusFromBits(bits);
    return true;
}

bool TPosixComDevice::ClearErrors(uint32_t& inQueue) {
    int n = 0;
    if (FIo->InputQueue(FFd, &n) != 0) return Fail();
    inQueue = FQueued + static_cast<uint32_t>(std::max(0, n));
    return true;
}

void TPosixComDevice::Purge() {
    if (FFd >= 0) FIo->FlushInput(FFd);
    FQueued = 0;
}

void TPosixComDevice::Close() {
    if (FFd >= 0) {
        if (FExclusive)
            FIo->Exclusive(FFd, false); // exclusive mode outlives us while others hold the port
        FIo->Close(FFd);
        FFd = -1;
    }
    for (int& fd : FWakeFd)
        if (fd >= 0) {
            ::close(fd);
            fd = -1;
        }
    FExclusive = false;
}

bool TPosixComDevice::IsCharacterDevice() {
    return FFd >= 0 && FIo->IsCharacterDevice(FFd);
}
