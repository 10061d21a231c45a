#include "PosixComDevice.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

bool SetCustomBaudRate(int fd, int rate); // PosixCustomBaud.cpp

namespace {

// The signal that breaks a blocked TIOCMIWAIT. Its handler does nothing and is
// installed without SA_RESTART, so the ioctl returns with EINTR.
const int WakeSignal = SIGUSR2;

void InstallWakeHandler() {
    static bool installed = [] {
        struct sigaction sa {};
        sa.sa_handler = [](int) {};
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = 0;
        sigaction(WakeSignal, &sa, nullptr);
        return true;
    }();
    (void)installed;
}

speed_t SpeedConstant(int rate) {
    switch (rate) {
    case 110:
        return B110;
    case 300:
        return B300;
    case 600:
        return B600;
    case 1200:
        return B1200;
    case 2400:
        return B2400;
    case 4800:
        return B4800;
    case 9600:
        return B9600;
    case 19200:
        return B19200;
    case 38400:
        return B38400;
    case 57600:
        return B57600;
    case 115200:
        return B115200;
    case 230400:
        return B230400;
    default:
        return 0;
    }
}

uint32_t StatusFromBits(int bits) {
    uint32_t s = 0;
    if (bits & TIOCM_CTS) s |= MS_CTS_ON;
    if (bits & TIOCM_DSR) s |= MS_DSR_ON;
    if (bits & TIOCM_RNG) s |= MS_RING_ON;
    if (bits & TIOCM_CAR) s |= MS_RLSD_ON;
    return s;
}

} // namespace

TPosixComDevice::TPosixComDevice() {
    InstallWakeHandler();
}

TPosixComDevice::~TPosixComDevice() {
    Close();
}

bool TPosixComDevice::Fail() {
    FError = errno;
    return false;
}

bool TPosixComDevice::Open(const QString& path, bool exclusive) {
    FFd = ::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (FFd < 0) return Fail();
    termios t{};
    if (::tcgetattr(FFd, &t) != 0) { // not a terminal device: no serial port
        Fail();
        ::close(FFd);
        FFd = -1;
        return false;
    }
    if (exclusive && ::ioctl(FFd, TIOCEXCL) != 0) {
        Fail();
        ::close(FFd);
        FFd = -1;
        return false;
    }
    FExclusive = exclusive;
    if (::pipe2(FWakeFd, O_CLOEXEC | O_NONBLOCK) != 0) FWakeFd[0] = FWakeFd[1] = -1;
    FInterrupt = false;
    return true;
}

bool TPosixComDevice::ApplySettings(const TComSettings& s) {
    termios t{};
    if (::tcgetattr(FFd, &t) != 0) return Fail();
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
    const speed_t speed = SpeedConstant(s.BaudRate);
    if (speed != 0) {
        ::cfsetispeed(&t, speed);
        ::cfsetospeed(&t, speed);
    }
    if (::tcsetattr(FFd, TCSANOW, &t) != 0) return Fail();
    if (speed == 0 && !SetCustomBaudRate(FFd, s.BaudRate)) return Fail();
    int dtr = TIOCM_DTR;
    if (::ioctl(FFd, s.EnableDTR ? TIOCMBIS : TIOCMBIC, &dtr) != 0 && errno != EINVAL &&
        errno != ENOTTY)
        return Fail();
    if (s.FlowControl == 0) {
        int rts = TIOCM_RTS;
        ::ioctl(FFd, TIOCMBIC, &rts);
    }
    return true;
}

bool TPosixComDevice::SetEventMask(uint32_t mask) {
    FMask = mask;
    serial_icounter_struct c{};
    FHaveCounts = ::ioctl(FFd, TIOCGICOUNT, &c) == 0;
    if (FHaveCounts) FCounts = {c.cts, c.dsr, c.rng, c.dcd};
    uint32_t status = 0;
    ModemStatus(status);
    FLastStatus = status;
    return true;
}

TWaitResult TPosixComDevice::WaitEvents(uint32_t& mask) {
    FWaiter = pthread_self();
    FWaiting = true;
    struct Done {
        std::atomic<bool>& w;
        ~Done() { w = false; }
    } done{FWaiting};
    if (FInterrupt.exchange(false)) return TWaitResult::Interrupted;

    const uint32_t lineEvents = FMask & (EV_CTS | EV_DSR | EV_RLSD | EV_RING);
    if (lineEvents == 0) {
        if (!(FMask & EV_RXCHAR)) return TWaitResult::Broken;
        pollfd fds[2] = {{FFd, POLLIN, 0}, {FWakeFd[0], POLLIN, 0}};
        const int n = ::poll(fds, FWakeFd[0] >= 0 ? 2 : 1, -1);
        if (n < 0) return errno == EINTR ? TWaitResult::Interrupted : TWaitResult::Broken;
        if (fds[1].revents & POLLIN) {
            char buf[16];
            while (::read(FWakeFd[0], buf, sizeof buf) > 0) {
            }
            FInterrupt = false;
            return TWaitResult::Interrupted;
        }
        if (fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)) return TWaitResult::Broken;
        mask = EV_RXCHAR;
        return TWaitResult::Events;
    }

    int bits = 0;
    if (lineEvents & EV_CTS) bits |= TIOCM_CTS;
    if (lineEvents & EV_DSR) bits |= TIOCM_DSR;
    if (lineEvents & EV_RLSD) bits |= TIOCM_CD;
    if (lineEvents & EV_RING) bits |= TIOCM_RNG;
    if (::ioctl(FFd, TIOCMIWAIT, bits) != 0) {
        if (errno == EINTR)
            return FInterrupt.exchange(false) ? TWaitResult::Interrupted : TWaitResult::Failed;
        FError = errno;
        return TWaitResult::Broken; // device gone or the driver cannot wait
    }
    // Which lines changed: the interrupt counters catch a change and its return.
    mask = 0;
    serial_icounter_struct c{};
    if (FHaveCounts && ::ioctl(FFd, TIOCGICOUNT, &c) == 0) {
        if (c.cts != FCounts.cts) mask |= EV_CTS;
        if (c.dsr != FCounts.dsr) mask |= EV_DSR;
        if (c.rng != FCounts.rng) mask |= EV_RING;
        if (c.dcd != FCounts.dcd) mask |= EV_RLSD;
        FCounts = {c.cts, c.dsr, c.rng, c.dcd};
    } else {
        uint32_t status = 0;
        ModemStatus(status);
        const uint32_t changed = status ^ FLastStatus;
        FLastStatus = status;
        if (changed & MS_CTS_ON) mask |= EV_CTS;
        if (changed & MS_DSR_ON) mask |= EV_DSR;
        if (changed & MS_RING_ON) mask |= EV_RING;
        if (changed & MS_RLSD_ON) mask |= EV_RLSD;
    }
    mask &= lineEvents;
    return mask ? TWaitResult::Events : TWaitResult::Failed;
}

void TPosixComDevice::InterruptWait() {
    FInterrupt = true;
    if (FWakeFd[1] >= 0) {
        const char c = 1;
        [[maybe_unused]] const auto r = ::write(FWakeFd[1], &c, 1);
    }
    if (FWaiting) pthread_kill(FWaiter.load(), WakeSignal);
}

bool TPosixComDevice::ModemStatus(uint32_t& status) {
    int bits = 0;
    if (::ioctl(FFd, TIOCMGET, &bits) != 0) return Fail();
    status = StatusFromBits(bits);
    return true;
}

bool TPosixComDevice::ClearErrors(uint32_t& inQueue) {
    int n = 0;
    if (::ioctl(FFd, FIONREAD, &n) != 0) return Fail();
    inQueue = static_cast<uint32_t>(n);
    return true;
}

void TPosixComDevice::Purge() {
    if (FFd >= 0) ::tcflush(FFd, TCIFLUSH);
}

void TPosixComDevice::Close() {
    if (FFd >= 0) {
        if (FExclusive)
            ::ioctl(FFd, TIOCNXCL); // exclusive mode outlives us while others hold the port
        ::close(FFd);
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
    struct stat st {};
    return FFd >= 0 && ::fstat(FFd, &st) == 0 && S_ISCHR(st.st_mode);
}
