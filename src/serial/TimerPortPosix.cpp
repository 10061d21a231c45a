#include "TimerPort.h"

#include "Comms.h"
#include "PosixIo.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace {

class TPosixTimerPort final : public TTimerPort {
public:
    ~TPosixTimerPort() override { Close(); }

    QString Open(const QString& path, int baud,
                 std::function<void(const QByteArray&)> onLine) override {
        Close();
        const int fd = ::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd < 0) return SystemErrorText(errno);
        termios t{};
        if (tcgetattr(fd, &t) == 0) {
            cfmakeraw(&t); // 8N1, no echo: the lines as the device sends them
            t.c_cflag |= CLOCAL | CREAD;
            const speed_t speed = PosixSpeedConstant(baud) ? PosixSpeedConstant(baud) : B9600;
            cfsetispeed(&t, speed);
            cfsetospeed(&t, speed);
            tcsetattr(fd, TCSANOW, &t);
        }
        if (pipe(FWake) != 0) {
            const int error = errno;
            ::close(fd);
            return SystemErrorText(error);
        }
        FFd = fd;
        FThread = std::thread([this, fd, wake = FWake[0], onLine = std::move(onLine)] {
            Read(fd, wake, onLine);
        });
        return {};
    }

    void Close() override {
        if (FFd < 0) return;
        const char stop = 1;
        [[maybe_unused]] const auto n = ::write(FWake[1], &stop, 1);
        FThread.join();
        ::close(FFd);
        ::close(FWake[0]);
        ::close(FWake[1]);
        FFd = -1;
    }

    bool IsOpen() const override { return FFd >= 0; }

    QString Write(const QByteArray& bytes) override {
        if (FFd < 0) return QStringLiteral("nicht geöffnet");
        if (::write(FFd, bytes.constData(), size_t(bytes.size())) != bytes.size())
            return SystemErrorText(errno);
        return {};
    }

private:
    static void Read(int fd, int wake, const std::function<void(const QByteArray&)>& onLine) {
        QByteArray line;
        for (;;) {
            pollfd fds[2] = {{fd, POLLIN, 0}, {wake, POLLIN, 0}};
            if (poll(fds, 2, -1) < 0) {
                if (errno == EINTR) continue;
                return;
            }
            if (fds[1].revents) return;
            char buffer[256];
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
            if (n <= 0) {
                // The other end went away (a pseudo-terminal closed): wait for the stop.
                poll(&fds[1], 1, -1);
                return;
            }
            for (ssize_t i = 0; i < n; ++i) {
                const char c = buffer[i];
                if (c == '\r' || c == '\n') {
                    if (!line.isEmpty()) onLine(line);
                    line.clear();
                } else if (line.size() < 200) {
                    line += c; // noise without an end is cut, not collected
                }
            }
        }
    }

    int FFd = -1;
    int FWake[2] = {-1, -1};
    std::thread FThread;
};

} // namespace

std::unique_ptr<TTimerPort> NewTimerPort() {
    return std::make_unique<TPosixTimerPort>();
}
