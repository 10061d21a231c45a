#include "TimerInput.h"

#include "Comms.h"
#include "FMain.h"
#include "TickSource.h"

#include <QMetaObject>
#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

std::function<QString(int)> TTimerInput::PathFor = ComPortDevicePath;

namespace {
speed_t Speed(int baud) {
    switch (baud) {
    case 1200: return B1200;
    case 2400: return B2400;
    case 4800: return B4800;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    default: return B9600;
    }
}
} // namespace

TTimerInput::TTimerInput(TFormMain& window) : FWindow(window) {
    Settings.Read(window.SettingsStore());
    if (Settings.Port) Open();
}

TTimerInput::~TTimerInput() {
    Close();
}

bool TTimerInput::Open() {
    Close();
    if (!Settings.Port) return true;
    const QString path = PathFor(Settings.Port);
    const int fd = ::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        FWindow.Notice(QStringLiteral("Zeitgeber: COM%1 lässt sich nicht öffnen").arg(Settings.Port),
                       QStringLiteral("%1: %2").arg(path, SystemErrorText(errno)));
        return false;
    }
    termios t{};
    if (tcgetattr(fd, &t) == 0) {
        cfmakeraw(&t); // 8N1, no echo: the lines as the device sends them
        t.c_cflag |= CLOCAL | CREAD;
        cfsetispeed(&t, Speed(Settings.Baud));
        cfsetospeed(&t, Speed(Settings.Baud));
        tcsetattr(fd, TCSANOW, &t);
    }
    if (pipe(FWake) != 0) {
        ::close(fd);
        return false;
    }
    FFd = fd;
    FThread = std::thread([this, fd, wake = FWake[0]] { Read(fd, wake); });
    return true;
}

void TTimerInput::Close() {
    if (FFd < 0) return;
    const char stop = 1;
    [[maybe_unused]] const auto n = ::write(FWake[1], &stop, 1);
    FThread.join();
    ::close(FFd);
    ::close(FWake[0]);
    ::close(FWake[1]);
    FFd = -1;
}

// Reading thread: lines end at CR (or LF); each goes to the window's thread as it came.
void TTimerInput::Read(int fd, int wake) {
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
                if (!line.isEmpty())
                    QMetaObject::invokeMethod(
                        this, [this, line] { Line(line); }, Qt::QueuedConnection);
                line.clear();
            } else if (line.size() < 200) {
                line += c; // noise without an end is cut, not collected
            }
        }
    }
}

void TTimerInput::Line(const QByteArray& line) {
    const TTimerLine r = ParseTimerLine(line);
    if (r.Kind == TTimerLineKind::Other) return; // an answer to a command
    if (r.Kind == TTimerLineKind::Rejected) {
        FWindow.JournalLine(QStringLiteral("TIMER_REJECTED"),
                            {{QStringLiteral("line"), QString::fromLatin1(line)},
                             {QStringLiteral("reason"), r.Reason}});
        FWindow.Notice(QStringLiteral("Zeitgeber: Zeile verworfen"),
                       QStringLiteral("%1: „%2“").arg(r.Reason, QString::fromLatin1(line)));
        return;
    }
    const TTimerImpulse& i = r.Impulse;
    if (!FNumbers.Take(i)) return; // taken before
    FWindow.JournalLine(QStringLiteral("TIMER"),
                        {{QStringLiteral("number"), QString::number(i.Number)},
                         {QStringLiteral("channel"), i.Channel},
                         {QStringLiteral("hand"), i.Hand ? QStringLiteral("1") : QStringLiteral("0")},
                         {QStringLiteral("time"), TimerTimeText(i.Time)}});
    for (int n : FNumbers.Missing())
        FWindow.Notice(QStringLiteral("Zeitgeber: Impuls %1 fehlt").arg(n),
                       QStringLiteral("Nach Impuls %1 kam Impuls %2.").arg(n - 1).arg(i.Number));
    if (Settings.Counts(i.Channel)) Pass(i);
}

void TTimerInput::Pass(const TTimerImpulse& impulse) {
    TFormMain& w = FWindow;
    TMenuItem* item = w.mStart->Enabled() ? w.mStart
                      : w.mLAP->Enabled() ? w.mLAP
                      : w.mStop->Enabled() ? w.mStop
                                            : nullptr;
    if (!item) return; // after the last FINISH: nothing until RESET
    // The dead time, judged on the device's times.
    if (FLast && TimerDifferenceMs(impulse.Time, FLast->Time) < w.TimerGesperrtStart->interval())
        return;
    const int car = CurrentCar(w.FEventCount + 1, w.RunSettings.Cars, w.RunSettings.Laps);
    uint32_t tick = TickSource::Now();
    if (item != w.mStart && FCar[car])
        tick = FCar[car]->Tick + static_cast<uint32_t>(TimerDifferenceMs(impulse.Time, FCar[car]->Time));
    else if (FLast)
        tick = FLast->Tick + static_cast<uint32_t>(TimerDifferenceMs(impulse.Time, FLast->Time));
    FDelivering = TAnchor{impulse.Time, tick};
    w.FEventSource = TRunEventSource::Barrier;
    {
        const TickSource::TEventScope scope(TickSource::TEventSource::Barrier, tick);
        item->Click();
    }
    w.FEventSource = TRunEventSource::Key;
    FDelivering.reset();
}

void TTimerInput::RunEvent(const TRunNotice& n) {
    if (n.Kind == TRunNoticeKind::Reset) {
        FCar = {};
        FLast.reset();
        return;
    }
    if (n.Kind != TRunNoticeKind::Start && n.Kind != TRunNoticeKind::Lap &&
        n.Kind != TRunNoticeKind::Finish)
        return;
    if (n.Car < 1 || n.Car > 2) return;
    if (FDelivering && n.Tick == FDelivering->Tick) {
        FCar[n.Car] = FDelivering;
        FLast = FDelivering;
    } else {
        FCar[n.Car].reset(); // by hand: the next lap of this car is the laptop's
    }
}

void TTimerInput::SettingsApplied() {
    TTimerSettings s;
    s.Read(FWindow.SettingsStore());
    const bool reopen = s.Port != Settings.Port || s.Baud != Settings.Baud || !IsOpen();
    Settings = s;
    if (reopen) Open();
}
