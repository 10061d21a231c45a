#include "PosixIo.h"

#include <csignal>
#include <fcntl.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

speed_t PosixSpeedConstant(int rate) {
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

bool SetCustomBaudRate(int fd, int rate); // PosixCustomBaud.cpp

namespace {

// The signal that breaks a blocked TIOCMIWAIT. Its handler does nothing and is
// installed without SA_RESTART, so the ioctl returns with EINTR.
const int WakeSignal = SIGUSR2;

void InstallWakeHandler() {
    static const bool installed = [] {
        struct sigaction sa {};
        sa.sa_handler = [](int) {};
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = 0;
        sigaction(WakeSignal, &sa, nullptr);
        return true;
    }();
    (void)installed;
}

} // namespace

int TPosixIo::Open(const char* path, int flags) {
    return ::open(path, flags);
}
int TPosixIo::Close(int fd) {
    return ::close(fd);
}
int TPosixIo::GetAttr(int fd, termios* t) {
    return ::tcgetattr(fd, t);
}
int TPosixIo::SetAttr(int fd, const termios* t) {
    return ::tcsetattr(fd, TCSANOW, t);
}
bool TPosixIo::SetCustomBaudRate(int fd, int rate) {
    return ::SetCustomBaudRate(fd, rate);
}
int TPosixIo::Exclusive(int fd, bool on) {
    return ::ioctl(fd, on ? TIOCEXCL : TIOCNXCL);
}
int TPosixIo::ModemBits(int fd, int* bits) {
    return ::ioctl(fd, TIOCMGET, bits);
}
int TPosixIo::SetModemBits(int fd, int bits, bool on) {
    return ::ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &bits);
}
int TPosixIo::Counters(int fd, serial_icounter_struct* counts) {
    return ::ioctl(fd, TIOCGICOUNT, counts);
}
int TPosixIo::WaitModemChange(int fd, int lines) {
    InstallWakeHandler();
    return ::ioctl(fd, TIOCMIWAIT, lines);
}
int TPosixIo::InputQueue(int fd, int* count) {
    return ::ioctl(fd, FIONREAD, count);
}
int TPosixIo::FlushInput(int fd) {
    return ::tcflush(fd, TCIFLUSH);
}
int TPosixIo::Poll(pollfd* fds, nfds_t count, int timeoutMs) {
    return ::poll(fds, count, timeoutMs);
}
ssize_t TPosixIo::Read(int fd, void* buffer, size_t size) {
    return ::read(fd, buffer, size);
}
bool TPosixIo::IsCharacterDevice(int fd) {
    struct stat st {};
    return ::fstat(fd, &st) == 0 && S_ISCHR(st.st_mode);
}
void TPosixIo::Wake(pthread_t thread) {
    InstallWakeHandler();
    pthread_kill(thread, WakeSignal);
}

std::shared_ptr<TPosixIo> TPosixIo::System() {
    static const auto io = std::make_shared<TPosixIo>();
    return io;
}
