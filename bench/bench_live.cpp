// Live results: keyboard event -> tick read of the timing event, with the web
// server idle, while 1,000 requests per second hit it from 127.0.0.1, and with a
// paddock's crowd: 1,000 phones with open event streams, 500 slow clients (a byte
// every 5 s) and 2,000 clients that never read; timing event -> receipt of the
// new state by the pages; honest viewers' requests and the server's memory meanwhile.
// Every client is on loopback, each phone with an address of its own (127.x.y.z).
#include "FMain.h"
#include "LiveResults.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

// What the next window starts from, as a program start would find it.
static TRunSettings Run;

using Clock = std::chrono::steady_clock;

namespace {

double Us(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double, std::micro>(b - a).count();
}

double Pct(std::vector<double> v, int p) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, v.size() * p / 100)];
}

// A page's event stream, read on its own thread: the time each state arrives.
class TStreamReader {
public:
    std::atomic<int> Messages{0};
    std::atomic<bool> Stop{false};
    std::mutex M;
    Clock::time_point Last;

    void Run(quint16 port) {
        QTcpSocket s;
        s.connectToHost(QHostAddress::LocalHost, port);
        s.waitForConnected(2000);
        s.write("GET /events HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
        QByteArray buf;
        while (!Stop) {
            if (!s.waitForReadyRead(20)) continue;
            buf += s.readAll();
            int end;
            while ((end = buf.indexOf("\n\n")) >= 0) {
                const bool state = buf.startsWith("data: {");
                buf.remove(0, end + 2);
                if (state) {
                    std::lock_guard lock(M);
                    Last = Clock::now();
                    ++Messages;
                }
            }
        }
    }
};

// GET /api/state at a fixed rate over a few keep-alive connections.
class TLoad {
public:
    std::atomic<bool> Stop{false};
    std::atomic<long> Done{0}, Failed{0};

    void Run(quint16 port, int perSecond) {
        std::vector<std::unique_ptr<QTcpSocket>> conns(8);
        const auto period = std::chrono::nanoseconds(1000000000LL / perSecond);
        auto next = Clock::now();
        for (long i = 0; !Stop; ++i) {
            auto& c = conns[i % conns.size()];
            if (!c || c->state() != QAbstractSocket::ConnectedState) {
                c = std::make_unique<QTcpSocket>();
                c->connectToHost(QHostAddress::LocalHost, port);
                if (!c->waitForConnected(1000)) {
                    ++Failed;
                    continue;
                }
            }
            c->write("GET /api/state HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
            if (ReadAnswer(*c))
                ++Done;
            else
                ++Failed, c.reset();
            next += period;
            std::this_thread::sleep_until(next);
        }
    }

private:
    static bool ReadAnswer(QTcpSocket& c) {
        QByteArray buf;
        int head = -1;
        qint64 length = -1;
        while (true) {
            if (head < 0 && (head = buf.indexOf("\r\n\r\n")) >= 0) {
                const int at = buf.indexOf("Content-Length: ");
                length =
                    at >= 0 ? buf.mid(at + 16, buf.indexOf("\r\n", at) - at - 16).toLongLong() : 0;
            }
            if (head >= 0 && buf.size() >= head + 4 + length) return buf.startsWith("HTTP/1.1 200");
            if (!c.waitForReadyRead(1000)) return false;
            buf += c.readAll();
        }
    }
};

// Resident memory of the process, MB.
double RssMb() {
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly)) return 0;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ')[0].toDouble() / 1024;
    return 0;
}

// A non-blocking connection from a loopback address of its own.
int Connect(quint16 port, quint32 from) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
    if (fd < 0) return -1;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(from);
    if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        close(fd);
        return -1;
    }
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 && errno != EINPROGRESS) {
        close(fd);
        return -1;
    }
    return fd;
}

quint32 Loopback(int net, int n) {
    return (127u << 24) | (quint32(net) << 16) | quint32(1 + n / 250) << 8 | quint32(1 + n % 250);
}

// The crowd, all on one thread with poll(): phones reading their event streams,
// slow clients and clients that never read (both come back when cut off), and an
// honest viewer loading /api/state every 100 ms from a new address.
class TCrowd {
public:
    static constexpr int Phones = 1000, Slow = 500, NeverReading = 2000;
    std::atomic<bool> Stop{false};
    std::atomic<bool> Attack{false}; // the slow and never-reading clients come
    std::atomic<bool> Ready{false};  // probes begin
    std::vector<std::atomic<int>> Messages = std::vector<std::atomic<int>>(Phones);
    std::vector<std::atomic<qint64>> LastNs = std::vector<std::atomic<qint64>>(Phones);
    std::mutex M;
    std::vector<double> ProbeMs;
    long ProbesFailed = 0;

    int MessagesAtLeast(int n) const {
        int k = 0;
        for (const auto& m : Messages)
            k += m >= n;
        return k;
    }

    void Run(quint16 port) {
        const QByteArray events = "GET /events HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
        std::vector<int> phones(Phones, -1), slow(Slow, -1), deaf(NeverReading, -1);
        std::vector<QByteArray> tail(Phones);
        std::vector<bool> sent(Phones, false);
        // Attackers: the never-reading ones from 20 addresses, the slow ones from 50.
        const auto openDeaf = [&](int i) {
            deaf[i] = Connect(port, Loopback(20, i % 20));
            if (deaf[i] >= 0) (void)!write(deaf[i], events.constData(), events.size());
        };
        const auto openSlow = [&](int i) { slow[i] = Connect(port, Loopback(21, i % 50)); };
        for (int i = 0; i < Phones; ++i)
            phones[i] = Connect(port, Loopback(1, i));
        bool attacking = false;
        auto nextDrip = Clock::now(), nextProbe = Clock::now(), nextDeafCheck = Clock::now();
        int probe = -1, probeSerial = 0;
        Clock::time_point probeStart;
        QByteArray probeAnswer;
        std::vector<pollfd> fds;
        char buf[16384];
        while (!Stop) {
            const auto now = Clock::now();
            if (Attack && !attacking) {
                attacking = true;
                for (int i = 0; i < NeverReading; ++i)
                    openDeaf(i);
                for (int i = 0; i < Slow; ++i)
                    openSlow(i);
            }
            if (attacking && now >= nextDrip) { // a byte every 5 s from every slow client
                for (int i = 0; i < Slow; ++i)
                    if (slow[i] < 0 || write(slow[i], "G", 1) < 0) {
                        if (slow[i] >= 0) close(slow[i]);
                        openSlow(i);
                    }
                nextDrip = now + std::chrono::seconds(5);
            }
            if (attacking && now >= nextDeafCheck) { // cut off: they come back, still not reading
                for (int i = 0; i < NeverReading; ++i) {
                    pollfd p{deaf[i], 0, 0};
                    if (deaf[i] < 0 || (poll(&p, 1, 0) == 1 && (p.revents & (POLLHUP | POLLERR)))) {
                        if (deaf[i] >= 0) close(deaf[i]);
                        openDeaf(i);
                    }
                }
                nextDeafCheck = now + std::chrono::seconds(1);
            }
            if (probe < 0 && now >= nextProbe && Ready) {
                probe = Connect(port, Loopback(2, probeSerial++ % 5000));
                probeStart = now;
                probeAnswer.clear();
                nextProbe = now + std::chrono::milliseconds(100);
            }
            if (probe >= 0 && now - probeStart > std::chrono::seconds(5)) {
                close(probe);
                probe = -1;
                std::lock_guard lock(M);
                ++ProbesFailed;
            }
            fds.clear();
            for (int i = 0; i < Phones; ++i)
                fds.push_back({phones[i], short(POLLIN | (sent[i] ? 0 : POLLOUT)), 0});
            if (probe >= 0) fds.push_back({probe, short(POLLIN | POLLOUT), 0});
            if (poll(fds.data(), fds.size(), 10) <= 0) continue;
            for (int i = 0; i < Phones; ++i) {
                const short ev = fds[i].revents;
                if (!ev) continue;
                if ((ev & POLLOUT) && !sent[i]) {
                    sent[i] = write(phones[i], events.constData(), events.size()) > 0;
                }
                if (ev & (POLLIN | POLLHUP)) {
                    const ssize_t n = read(phones[i], buf, sizeof buf);
                    if (n <= 0) { // refused or cut off: the page reconnects
                        close(phones[i]);
                        phones[i] = Connect(port, Loopback(1, i));
                        sent[i] = false;
                        continue;
                    }
                    tail[i] += QByteArray(buf, int(n));
                    int at = 0, got = 0;
                    while ((at = tail[i].indexOf("data: {", at)) >= 0)
                        ++got, at += 7;
                    tail[i] = tail[i].right(6);
                    if (got) {
                        LastNs[i] = std::chrono::duration_cast<std::chrono::nanoseconds>(
                                        Clock::now().time_since_epoch())
                                        .count();
                        Messages[i] += got;
                    }
                }
            }
            if (probe >= 0) {
                const short ev = fds.back().revents;
                if (ev & POLLOUT && probeAnswer.isEmpty()) {
                    const QByteArray get =
                        "GET /api/state HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
                    if (write(probe, get.constData(), get.size()) > 0) probeAnswer = " ";
                }
                if (ev & (POLLIN | POLLHUP | POLLERR)) {
                    const ssize_t n = read(probe, buf, sizeof buf);
                    if (n > 0) probeAnswer += QByteArray(buf, int(n));
                    if (n <= 0) {
                        close(probe);
                        probe = -1;
                        std::lock_guard lock(M);
                        if (probeAnswer.startsWith(" HTTP/1.1 200"))
                            ProbeMs.push_back(Us(probeStart, Clock::now()) / 1000);
                        else
                            ++ProbesFailed;
                    }
                }
            }
        }
        for (auto* list : {&phones, &slow, &deaf})
            for (int fd : *list)
                if (fd >= 0) close(fd);
        if (probe >= 0) close(probe);
    }
};

struct TResult {
    std::vector<double> KeyUs, PageUs;
    std::vector<double> AllPagesUs, EachPageUs; // the crowd: until the last page, every page
    double RssBefore = 0, RssPhones = 0, RssCrowd = 0;
    int Open = 0, Streams = 0; // the server's figures at the end of the events
    qint64 Refused = 0, CutOff = 0, Evicted = 0;
    long Requests = 0, Failed = 0;
    double Seconds = 0;
};

TResult Measure(QApplication& app, TFormMain& w, int events, bool load, TCrowd* crowd = nullptr) {
    TResult r;
    std::mutex m;
    Clock::time_point handled;
    std::atomic<int> handledCount{0};
    for (TMenuItem* item : {w.mStart, w.mLAP, w.mStop}) {
        const auto handler = item->OnClick;
        item->OnClick = [&, handler](QObject* s) {
            {
                std::lock_guard lock(m);
                handled = Clock::now(); // the handler reads the tick next
            }
            ++handledCount;
            handler(s);
        };
    }
    TStreamReader stream;
    TLoad loader;
    const quint16 port = w.Live()->Server()->Port();
    std::thread streamThread([&] { stream.Run(port); });
    std::thread loadThread;
    if (load) loadThread = std::thread([&] { loader.Run(port, 1000); });
    std::thread crowdThread;
    r.RssBefore = RssMb();
    if (crowd) crowdThread = std::thread([&] { crowd->Run(port); });
    const auto waitFor = [](auto pred, int ms) {
        const auto deadline = Clock::now() + std::chrono::milliseconds(ms);
        while (!pred() && Clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return pred();
    };

    std::thread driver([&] {
        while (stream.Messages == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        if (crowd) {
            waitFor([&] { return crowd->MessagesAtLeast(1) == TCrowd::Phones; }, 60000);
            r.RssPhones = RssMb();
            crowd->Attack = true;
            std::this_thread::sleep_for(std::chrono::seconds(3)); // the attackers settle in
            r.RssCrowd = RssMb();
            crowd->Ready = true;
        }
        const auto t0 = Clock::now();
        for (int i = 0; i < events; ++i) {
            // Wait for an idle window, then a short random pause: key presses come at any moment.
            std::atomic<bool> idle{false};
            QMetaObject::invokeMethod(
                &w, [&idle] { idle = true; }, Qt::QueuedConnection);
            while (!idle)
                std::this_thread::sleep_for(std::chrono::microseconds(50));
            std::this_thread::sleep_for(std::chrono::microseconds(1000 + (i * 7919) % 4000));
            const int before = handledCount;
            const int seen = stream.Messages;
            std::vector<int> phoneSeen;
            if (crowd)
                for (const auto& m : crowd->Messages)
                    phoneSeen.push_back(m);
            const auto press = Clock::now();
            QMetaObject::invokeMethod(
                &w,
                [&w] {
                    const Qt::Key key = w.mStart->Enabled()  ? Qt::Key_F5
                                        : w.mLAP->Enabled()  ? Qt::Key_F4
                                        : w.mStop->Enabled() ? Qt::Key_F9
                                                             : Qt::Key_F10;
                    QTest::keyClick(&w, key);
                },
                Qt::QueuedConnection);
            const auto deadline = Clock::now() + std::chrono::seconds(2);
            while (stream.Messages == seen && Clock::now() < deadline)
                std::this_thread::sleep_for(std::chrono::microseconds(50));
            if (crowd)
                waitFor(
                    [&] {
                        for (int p = 0; p < TCrowd::Phones; ++p)
                            if (crowd->Messages[p] <= phoneSeen[p]) return false;
                        return true;
                    },
                    3000);
            if (handledCount == before) continue; // RESET: not a timing event
            std::lock_guard lock(m);
            if (crowd) {
                const qint64 at =
                    std::chrono::duration_cast<std::chrono::nanoseconds>(handled.time_since_epoch())
                        .count();
                double last = 0;
                for (int p = 0; p < TCrowd::Phones; ++p) {
                    const double us = crowd->Messages[p] > phoneSeen[p]
                                          ? (crowd->LastNs[p] - at) / 1000.0
                                          : 3e6; // not there within 3 s
                    r.EachPageUs.push_back(us);
                    last = std::max(last, us);
                }
                r.AllPagesUs.push_back(last);
            }
            r.KeyUs.push_back(Us(press, handled));
            std::lock_guard lock2(stream.M);
            if (stream.Messages > seen) r.PageUs.push_back(Us(handled, stream.Last));
        }
        r.Seconds = Us(t0, Clock::now()) / 1e6;
        const TLiveCounters& c = w.Live()->Server()->Counters();
        r.Open = c.Open;
        r.Streams = c.Streams;
        r.Refused = c.Refused;
        r.CutOff = c.CutOff;
        r.Evicted = c.Evicted;
        // exit, not quit: quitting would ask to close the window with its modified protocol.
        QMetaObject::invokeMethod(
            &app, [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
    });
    app.exec();
    driver.join();
    loader.Stop = stream.Stop = true;
    if (loadThread.joinable()) loadThread.join();
    if (crowd) crowd->Stop = true;
    if (crowdThread.joinable()) crowdThread.join();
    streamThread.join();
    r.Requests = loader.Done;
    r.Failed = loader.Failed;
    return r;
}

} // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir scratch; // settings and the backup protocol stay out of the user's files
    qputenv("XDG_CONFIG_HOME", scratch.path().toLocal8Bit());
    QApplication app(argc, argv);
    QDir::setCurrent(scratch.path());
    TLiveResults::BindAddress = QStringLiteral("127.0.0.1");
    const int events = argc > 1 ? std::max(10, atoi(argv[1])) : 1200;

    // A short warm-up first; then two rounds of idle and loaded server, so a
    // slow start or a neighbour's burst shows as a difference between rounds.
    const struct {
        bool load;
        int events;
        const char* name;
        bool crowd;
    } phases[] = {{false, 60, nullptr, false},
                  {false, events, "no requests     ", false},
                  {true, events, "1,000 requests/s", false},
                  {false, events, "no requests     ", false},
                  {true, events, "1,000 requests/s", false},
                  {false, std::max(10, events / 4), "crowd", true}};
    double idleP99 = 0;
    for (const auto& phase : phases) {
        Run.Cars = 2;
        Run.Laps = 2;
        TFormMain w(Run);
        w.show();
        if (!QTest::qWaitForWindowActive(&w)) return 1; // shortcuts need the active window
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        const quint16 port = probe.serverPort();
        probe.close();
        if (!w.Live()->Switch(true, port)) return 1;
        std::unique_ptr<TCrowd> crowd;
        if (phase.crowd) crowd = std::make_unique<TCrowd>();
        const TResult r = Measure(app, w, phase.events, phase.load, crowd.get());
        if (!phase.name) continue;
        if (phase.crowd) {
            std::printf("1,000 streams, 500 slow clients, 2,000 never reading:\n"
                        "  keyboard event -> tick read p50 %.0f us, p99 %.0f us (%zu events); "
                        "p99 - p99 with 0 streams = %.3f ms\n",
                        Pct(r.KeyUs, 50), Pct(r.KeyUs, 99), r.KeyUs.size(),
                        (Pct(r.KeyUs, 99) - idleP99) / 1000);
            std::printf("  event -> all 1,000 pages p50 %.1f ms, p99 %.1f ms, max %.1f ms; "
                        "event -> a page p50 %.1f ms, p99 %.1f ms (target: 300 ms)\n",
                        Pct(r.AllPagesUs, 50) / 1000, Pct(r.AllPagesUs, 99) / 1000,
                        Pct(r.AllPagesUs, 100) / 1000, Pct(r.EachPageUs, 50) / 1000,
                        Pct(r.EachPageUs, 99) / 1000);
            std::lock_guard lock(crowd->M);
            std::printf(
                "  honest viewer (/api/state every 100 ms, new address each): %zu answered, "
                "%ld not, p50 %.1f ms, p99 %.1f ms\n",
                crowd->ProbeMs.size(), crowd->ProbesFailed, Pct(crowd->ProbeMs, 50),
                Pct(crowd->ProbeMs, 99));
            std::printf("  server: %d open, %d streams, %lld refused (503), %lld cut off, "
                        "%lld evicted\n",
                        r.Open, r.Streams, (long long)r.Refused, (long long)r.CutOff,
                        (long long)r.Evicted);
            w.Live()->Server()->Stop(); // all connections closed: what is left of the crowd's memory
            QTest::qWait(500);
            std::printf("  memory (resident): %.1f MB before, %.1f MB with 1,000 streams "
                        "(%.1f MB per 1,000 streams), %.1f MB with the attackers as well, "
                        "%.1f MB after all have gone\n",
                        r.RssBefore, r.RssPhones, r.RssPhones - r.RssBefore, r.RssCrowd, RssMb());
            continue;
        }
        std::printf("%s: keyboard event -> tick read p50 %.0f us, p99 %.0f us (%zu events); "
                    "event -> page update p50 %.2f ms, p99 %.2f ms (%zu updates)",
                    phase.name, Pct(r.KeyUs, 50), Pct(r.KeyUs, 99), r.KeyUs.size(),
                    Pct(r.PageUs, 50) / 1000, Pct(r.PageUs, 99) / 1000, r.PageUs.size());
        if (phase.load)
            std::printf("; %.0f requests/s answered, %ld failed; p99 under load - p99 idle = %.3f "
                        "ms (target: at most 1 ms)",
                        r.Requests / r.Seconds, r.Failed, (Pct(r.KeyUs, 99) - idleP99) / 1000);
        else
            idleP99 = Pct(r.KeyUs, 99);
        std::printf("\n");
    }
    return 0;
}
