// Latency of the serial hand-off: from a simulated line change to OnDSR running
// on the user-interface thread, and the whole path to the tick read of a timing
// event, beside a bare queue-and-wait hand-off to the Qt event loop. Then the
// recorded-time error of barrier events while the window is busy when the line
// changes: the tick a run records minus the tick of the change (argument: edges
// per case, 1000 by default); a pass just after the dead time that began while
// the window was busy; a pass after a burst of flicker while the window is blocked;
// last the recorded-time error under load with and without the watch thread's
// raised priority (second argument: edges per case, 200 by default).
#include "FMain.h"
#include "Protocol.h"
#include "SimComDevice.h"
#include "TickSource.h"
#include "TimeText.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <mutex>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

// What the next window starts from, as a program start would find it.
static TRunSettings Run;

using Clock = std::chrono::steady_clock;

namespace {

// The bench's operator arms the barrier at once (F11) instead of waiting for the dead time.
void EndDeadTimeNow(TFormMain& w) {
    w.TimerGesperrtStart->stop();
    if (w.LedLock->Kind() != lkGreen) w.LedLockClick(nullptr);
}

struct Stats {
    double p50, p99;
};

Stats Percentiles(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return {v[v.size() / 2], v[v.size() * 99 / 100]};
}

// A helper thread makes `count` changes, one after the other: each waits until
// the user-interface thread has seen the previous one.
class Driver {
public:
    std::mutex m;
    std::condition_variable cv;
    bool seen = true;
    // When set, every change waits until the user-interface thread has finished
    // the work of the previous event (drawing, the results, the backup): at the
    // track timing events are seconds apart.
    QObject* idleProbe = nullptr;
    Clock::time_point t0;
    std::vector<double> us;

    void Seen() {
        const auto t1 = Clock::now();
        std::lock_guard lock(m);
        us.push_back(std::chrono::duration<double, std::micro>(t1 - t0).count());
        seen = true;
        cv.notify_all();
    }
    void WaitIdle() {
        std::atomic<bool> idle{false};
        QMetaObject::invokeMethod(
            idleProbe, [&idle] { idle = true; }, Qt::QueuedConnection);
        while (!idle)
            std::this_thread::sleep_for(std::chrono::microseconds(50));
    }
    template <class F> void Run(int count, F change) {
        for (int i = 0; i < count; ++i) {
            {
                std::unique_lock lock(m);
                if (!cv.wait_for(lock, std::chrono::seconds(2), [&] { return seen; }))
                    break; // an event was lost: report what arrived
                seen = false;
            }
            if (idleProbe) WaitIdle();
            std::this_thread::sleep_for(std::chrono::microseconds(150 + (i * 37) % 200));
            {
                std::lock_guard lock(m);
                t0 = Clock::now();
            }
            change(i);
        }
        std::unique_lock lock(m);
        cv.wait_for(lock, std::chrono::seconds(2), [&] { return seen; });
    }
};

// Runs the Qt event loop while `work` runs on its own thread.
template <class F> void WithLoop(QApplication& app, F work) {
    std::thread t([&] {
        work();
        QMetaObject::invokeMethod(
            &app, [] { QCoreApplication::exit(0); }, Qt::QueuedConnection); // closes no window
    });
    app.exec();
    t.join();
}

Stats Floor(QApplication& app, int count) {
    Driver d;
    QObject target;
    WithLoop(app, [&] {
        d.Run(count, [&](int) {
            QMetaObject::invokeMethod(
                &target, [&d] { d.Seen(); }, Qt::QueuedConnection);
        });
    });
    return Percentiles(d.us);
}

// Opens the window's port on the simulated line, measures `count` DSR changes
// and, in the same run, the bare hand-off floor. Returns {changes, floor}.
std::pair<Stats, Stats> Measure(QApplication& app, TFormMain& w, TSimComLine& line, Driver& d,
                                int count) {
    w.ComPort->Port = 1;
    w.ComPort->Open();
    const Stats floor = Floor(app, count);
    WithLoop(app, [&] {
        d.Run(count, [&](int) { line.SetModemStatus(line.ModemStatusWord() ^ MS_DSR_ON); });
    });
    w.ComPort->Close();
    return {Percentiles(d.us), floor};
}

struct Spread {
    int p50, p99, max;
};

Spread SpreadOf(std::vector<int> v) {
    if (v.empty()) return {0, 0, 0};
    std::sort(v.begin(), v.end());
    return {v[v.size() / 2], v[v.size() * 99 / 100], v.back()};
}

// The watch thread has asked for its priority (before the first measured edge).
void WaitPriorityKnown(TComPort& port) {
    for (int i = 0; i < 2000 && port.WatchPriority().Kind == TThreadPriority::Unknown; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

// CPU-bound processes, `perCore` on every core, as other programs on a busy laptop.
std::vector<pid_t> StartLoad(int perCore) {
    std::vector<pid_t> pids;
    const int n = perCore * int(std::max(1u, std::thread::hardware_concurrency()));
    for (int i = 0; i < n; ++i) {
        const pid_t pid = fork();
        if (pid == 0) {
            volatile unsigned long spin = 0;
            for (;;)
                spin = spin + 1;
        }
        if (pid > 0) pids.push_back(pid);
    }
    return pids;
}

void StopLoad(const std::vector<pid_t>& pids) {
    for (pid_t pid : pids)
        kill(pid, SIGKILL);
    for (pid_t pid : pids)
        waitpid(pid, nullptr, 0);
}

// Keeps the user-interface thread busy for `ms` (a sort, a backup, a repaint)
// and returns once that work has begun.
void BusyUserInterface(QObject* target, int ms, std::function<void()> work = {}) {
    auto started = std::make_shared<std::atomic<bool>>(false);
    QMetaObject::invokeMethod(
        target,
        [started, ms, work] {
            *started = true;
            if (work) work();
            const auto end = Clock::now() + std::chrono::milliseconds(ms);
            while (Clock::now() < end) {
            }
        },
        Qt::QueuedConnection);
    while (!*started)
        std::this_thread::sleep_for(std::chrono::microseconds(50));
}

void WaitIdle(QObject* target) {
    auto idle = std::make_shared<std::atomic<bool>>(false);
    QMetaObject::invokeMethod(
        target, [idle] { *idle = true; }, Qt::QueuedConnection);
    while (!*idle)
        std::this_thread::sleep_for(std::chrono::microseconds(50));
}

// Records, for every START, LAP and FINISH of the window, the tick the run
// recorded and the tick its handler would read, each minus the edge's tick.
struct EdgeRecorder {
    std::atomic<uint32_t> edge{0};
    std::mutex m;
    std::condition_variable cv;
    int events = 0;
    std::vector<int> recorded, handler;

    void Attach(TFormMain& w, bool resetAfterRun) {
        for (TMenuItem* item : {w.mStart, w.mLAP, w.mStop}) {
            const auto click = item->OnClick;
            item->OnClick = [this, &w, click, resetAfterRun](QObject* s) {
                const uint32_t read = TickSource::Now(); // where the time came from so far
                click(s);
                const uint32_t e = edge;
                {
                    std::lock_guard lock(m);
                    recorded.push_back(TickSource::Diff(TickSource::LastEventTick(), e));
                    handler.push_back(TickSource::Diff(read, e));
                    ++events;
                }
                cv.notify_all();
                EndDeadTimeNow(w); // the next car comes after the dead time
                if (resetAfterRun && w.mReset->Enabled()) w.mReset->Click();
            };
        }
    }
    int Events() {
        std::lock_guard lock(m);
        return events;
    }
    bool WaitEvent(int before, int timeoutMs) {
        std::unique_lock lock(m);
        return cv.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                           [&] { return events > before; });
    }
};

// One edge: the tick of the change, then the beam broken for `holdMs` (0: a
// pulse shorter than any wait can see as a level).
void BreakBeam(TSimComLine& line, EdgeRecorder& rec, int holdMs) {
    rec.edge = TickSource::Now();
    if (holdMs == 0) {
        line.Pulse(MS_DSR_ON);
        return;
    }
    line.SetModemStatus(MS_DSR_ON);
    std::this_thread::sleep_for(std::chrono::milliseconds(holdMs));
    line.SetModemStatus(0);
}

struct EdgeCase {
    int busyMs, holdMs;
};

void RecordedTimeError(QApplication& app, TSimComLine& line, int count,
                       std::vector<EdgeCase> cases = {{0, 1}, {50, 1}, {200, 1}, {50, 0}},
                       const char* label = "") {
    for (const auto& c : cases) {
        Run.Cars = 1;
        Run.Laps = 5;
        TFormMain w(Run);
        w.show();
        w.ComPort->Tag = 0; // "Ein": the beam broken triggers
        w.ComPort->Port = 1;
        w.ComPort->Open();
        w.LedLockClick(nullptr);
        WaitPriorityKnown(*w.ComPort);
        EdgeRecorder rec;
        rec.Attach(w, true);
        int lost = 0;
        WithLoop(app, [&] {
            for (int i = 0; i < count; ++i) {
                WaitIdle(&w);
                const int before = rec.Events();
                if (c.busyMs) BusyUserInterface(&w, c.busyMs);
                BreakBeam(line, rec, c.holdMs);
                if (!rec.WaitEvent(before, c.busyMs + 2000)) ++lost;
            }
            WaitIdle(&w);
        });
        w.ComPort->Close();
        const Spread now = SpreadOf(rec.recorded), then = SpreadOf(rec.handler);
        std::printf("%srecorded-time error, window busy %3d ms, %s: p50 %d ms, p99 %d ms, max %d "
                    "ms; read in the handler (before): p50 %d ms, p99 %d ms, max %d ms; %d of %d "
                    "edges lost\n",
                    label, c.busyMs, c.holdMs ? "1 ms pulses  " : "0 ms pulses  ", now.p50, now.p99,
                    now.max, then.p50, then.p99, then.max, lost, count);
        std::fflush(stdout);
    }
}

// The stamped error with the window busy 0/50/200 ms, with and without two
// CPU-bound processes per core, with the watch thread's priority raised as the
// system allows and without raising it.
void UnderLoad(QApplication& app, TSimComLine& line, int count) {
    const auto raise = TComBackend::Platform().RaisePriority;
    for (bool raised : {true, false}) {
        TComBackend::Current().RaisePriority = raised ? raise : nullptr;
        QString got = QStringLiteral("not raised");
        if (raised) {
            TComPort probe;
            probe.Port = 1;
            probe.Open();
            WaitPriorityKnown(probe);
            got = probe.WatchPriority().Text();
            probe.Close();
        }
        for (int perCore : {0, 2}) {
            const auto pids = StartLoad(perCore);
            const QByteArray label =
                QStringLiteral("[watch thread: %1; %2] ")
                    .arg(got, perCore
                                  ? QStringLiteral("%1 CPU-bound processes per core").arg(perCore)
                                  : QStringLiteral("no other load"))
                    .toUtf8();
            RecordedTimeError(app, line, count, {{0, 1}, {50, 1}, {200, 1}}, label.constData());
            StopLoad(pids);
        }
    }
    TComBackend::Current().RaisePriority = raise;
}

// The stamps the window's START, LAP and FINISH recorded, in order.
struct StampLog {
    std::mutex m;
    std::vector<uint32_t> ticks;
    void Attach(TFormMain& w) {
        for (TMenuItem* item : {w.mStart, w.mLAP, w.mStop}) {
            const auto click = item->OnClick;
            item->OnClick = [this, click](QObject* s) {
                click(s);
                std::lock_guard lock(m);
                ticks.push_back(TickSource::LastEventTick());
            };
        }
    }
    size_t Count() {
        std::lock_guard lock(m);
        return ticks.size();
    }
    bool WaitCount(size_t n, int timeoutMs) {
        const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
        while (Count() < n && Clock::now() < end)
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        return Count() >= n;
    }
    uint32_t At(size_t i) {
        std::lock_guard lock(m);
        return i < ticks.size() ? ticks[i] : 0;
    }
};

// A fresh window on the simulated port: one car, rule "Ein", armed, with its dead time.
struct BarrierWindow {
    struct OneCar { // before the window reads them
        OneCar() {
            Run.Cars = 1;
            Run.Laps = 5;
        }
    } oneCar;
    TFormMain w{Run};
    StampLog log;
    BarrierWindow(int deadTimeMs) {
        w.show();
        w.ComPort->Tag = 0;
        w.ComPort->Port = 1;
        w.ComPort->Open();
        w.TimerGesperrtStart->setInterval(deadTimeMs);
        w.LedLockClick(nullptr);
        log.Attach(w);
    }
    // Between rounds: end the dead time and start a fresh run.
    void Rearm() {
        QMetaObject::invokeMethod(
            &w,
            [this] {
                EndDeadTimeNow(w);
                if (!w.mStart->Enabled()) {
                    if (!w.mReset->Enabled()) w.mStop->Click();
                    w.mReset->Click();
                }
            },
            Qt::QueuedConnection);
        WaitIdle(&w);
    }
    ~BarrierWindow() { w.ComPort->Close(); }
};

// Pass 1 while the window is busy, pass 2 just after the dead time (measured
// from pass 1's line change): pass 2 must count, with its own time.
void PassAfterDeadTime(QApplication& app, TSimComLine& line, int rounds) {
    const int deadTime = 1000, gap = 1200;
    for (int busy : {0, 500}) {
        BarrierWindow b(deadTime);
        std::vector<int> errors;
        int counted = 0;
        WithLoop(app, [&] {
            for (int r = 0; r < rounds; ++r) {
                b.Rearm();
                const size_t before = b.log.Count();
                if (busy) BusyUserInterface(&b.w, busy);
                const uint32_t edge1 = TickSource::Now();
                line.Pulse(MS_DSR_ON);
                if (!b.log.WaitCount(before + 1, busy + 2000)) continue;
                const int since = TickSource::Diff(TickSource::Now(), edge1);
                std::this_thread::sleep_for(std::chrono::milliseconds(gap - since));
                const uint32_t edge2 = TickSource::Now();
                line.Pulse(MS_DSR_ON);
                if (!b.log.WaitCount(before + 2, 2000)) continue;
                ++counted;
                errors.push_back(TickSource::Diff(b.log.At(before + 1), edge2));
            }
            WaitIdle(&b.w);
        });
        const Spread e = SpreadOf(errors);
        std::printf("pass %d ms after a pass handled %3d ms late (dead time %d ms): %d of %d "
                    "counted; stamped error p50 %d ms, max %d ms\n",
                    gap, busy, deadTime, counted, rounds, e.p50, e.max);
        std::fflush(stdout);
    }
}

// The window blocked for 2 s while the line flickers, then a real pass after
// the dead time: the pass's stamped error and the changes left out.
void FlickerThenPass(QApplication& app, TSimComLine& line, int rounds) {
    const struct {
        int changes, stepUs, deadTimeMs, passMs;
    } cases[] = {{80, 1000, 900, 1000}, {2000, 500, 1300, 1500}};
    for (const auto& c : cases) {
        BarrierWindow b(c.deadTimeMs);
        std::vector<int> errors, firstErrors;
        int counted = 0, spanMs = 0;
        WithLoop(app, [&] {
            for (int r = 0; r < rounds; ++r) {
                b.Rearm();
                const size_t before = b.log.Count();
                BusyUserInterface(&b.w, 2000);
                const auto t0 = Clock::now();
                const uint32_t first = TickSource::Now();
                for (int i = 0; i < c.changes; ++i) {
                    std::this_thread::sleep_until(t0 + std::chrono::microseconds(i * c.stepUs));
                    line.SetModemStatus(line.ModemStatusWord() ^ MS_DSR_ON);
                }
                if (line.ModemStatusWord()) line.SetModemStatus(0);
                spanMs = int(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
                std::this_thread::sleep_until(t0 + std::chrono::milliseconds(c.passMs));
                const uint32_t pass = TickSource::Now();
                line.Pulse(MS_DSR_ON);
                if (!b.log.WaitCount(before + 2, 4000)) continue;
                ++counted;
                firstErrors.push_back(TickSource::Diff(b.log.At(before), first));
                errors.push_back(TickSource::Diff(b.log.At(before + 1), pass));
            }
            WaitIdle(&b.w);
        });
        const Spread e = SpreadOf(errors), f = SpreadOf(firstErrors);
        std::printf("%4d flicker changes in %d ms, window blocked 2000 ms, pass at +%d ms: %d of "
                    "%d passes counted; pass stamped error p50 %d ms, max %d ms; first edge max "
                    "%d ms; %d changes dropped\n",
                    c.changes, spanMs, c.passMs, counted, rounds, e.p50, e.max, f.max,
                    b.w.ComPort->DroppedChanges());
        std::fflush(stdout);
    }
}

// Two-car runs driven by the barrier while the window sorts a 100,000-row protocol.
void RunsWhileSorting(QApplication& app, TSimComLine& line, int runs) {
    Run.Cars = 2;
    Run.Laps = 2;
    TFormMain w(Run);
    w.show();
    TSortGrid* g = w.SortGrid1;
    const int rows = 100000;
    g->BeginUpdate();
    g->SetRowCount(rows + 1);
    for (int r = 1; r <= rows; ++r) {
        g->SetCells(pcName, r, QStringLiteral("Fahrer %1").arg(r));
        g->SetCells(pcTotal, r, TimeToText((r * 7919) % 600000));
    }
    g->EndUpdate();
    w.ComPort->Tag = 0;
    w.ComPort->Port = 1;
    w.ComPort->Open();
    w.LedLockClick(nullptr);
    EdgeRecorder rec;
    rec.Attach(w, true);
    std::vector<int> sortMs;
    int lost = 0;
    WithLoop(app, [&] {
        for (int i = 0; i < runs * 6; ++i) {
            WaitIdle(&w);
            const int before = rec.Events();
            auto took = std::make_shared<std::atomic<int>>(0);
            BusyUserInterface(&w, 0, [&w, took] {
                const auto t0 = Clock::now();
                w.SortGrid1->SortOptions().SortDirection =
                    w.SortGrid1->SortOptions().SortDirection == sdAscending ? sdDescending
                                                                            : sdAscending;
                w.Sortierenprotokoll1Click(nullptr);
                *took = int(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
            });
            std::this_thread::sleep_for(std::chrono::milliseconds(5)); // the sort is under way
            BreakBeam(line, rec, 1);
            if (!rec.WaitEvent(before, 30000)) ++lost;
            WaitIdle(&w);
            sortMs.push_back(*took);
        }
    });
    w.ComPort->Close();
    const Spread now = SpreadOf(rec.recorded), then = SpreadOf(rec.handler), sort = SpreadOf(sortMs);
    std::printf("two-car runs while sorting %d rows (sort p50 %d ms): recorded-time error max %d "
                "ms (p50 %d); read in the handler (before): max %d ms (p50 %d); %d events, %d of "
                "%d edges lost\n",
                rows, sort.p50, now.max, now.p50, then.max, then.p50, int(rec.recorded.size()),
                lost, runs * 6);
}

} // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir scratch; // the window writes its backup protocol into the current folder
    QDir::setCurrent(scratch.path());
    TComBackend::Current() = TSimComBus::Backend();
    // Measured as the program runs: the watch thread raised as far as the system allows.
    TComBackend::Current().RaisePriority = TComBackend::Platform().RaisePriority;
    const int count = 10000;
    const int edges = argc > 1 ? std::max(10, std::atoi(argv[1])) : 1000;
    auto line = TSimComBus::Attach(1);

    for (bool clocks : {false, true}) {
        Run.Cars = 2;
        Run.Laps = 2;
        TFormMain w(Run);
        w.show();
        if (clocks) { // both clocks repaint every 10 ms
            w.mStart->Click();
            w.mLAP->Click();
            w.mStart->Click();
        }
        Driver d;
        int reached = 0;
        w.ComPort->OnDSR = [&](QObject*) {
            ++reached;
            d.Seen();
        };
        const auto [s, floor] = Measure(app, w, *line, d, count);
        std::printf("line change -> OnDSR, %s: p50 %.1f us, p99 %.1f us; bare hand-off p50 %.1f "
                    "us, p99 %.1f us; p99 ratio %.2f; %d of %d changes reached ComPortDSR\n",
                    clocks ? "clocks running" : "idle loop     ", s.p50, s.p99, floor.p50,
                    floor.p99, s.p99 / floor.p99, reached, count);
    }

    // The whole path: line change to the tick read of START, LAP or FINISH.
    {
        Run.Cars = 2;
        Run.Laps = 2;
        TFormMain w(Run);
        w.show();
        w.mStart->Click(); // clocks run throughout: car 1 here, car 2 below
        w.mLAP->Click();
        w.mStart->Click();
        w.mStop->Click();
        Driver d;
        for (TMenuItem* m : {w.mStart, w.mLAP, w.mStop}) {
            const auto handler = m->OnClick;
            m->OnClick = [&d, handler](QObject* s) {
                d.Seen(); // the handler reads the tick next
                handler(s);
            };
        }
        d.idleProbe = &w;
        int missed = 0;
        // Every change is followed by the end of the dead time and a fresh run when one ends.
        w.ComPort->Tag = 1; // "Aus": with CTS clear every change triggers
        const auto dsr = w.ComPort->OnDSR;
        w.ComPort->OnDSR = [&](QObject* s) {
            const int before = w.FEventCount;
            EndDeadTimeNow(w);
            dsr(s);
            if (w.mReset->Enabled()) // the operator's RESET, before the next start
                QTimer::singleShot(0, &w, [&w] { w.mReset->Click(); });
            if (w.FEventCount == before) {
                ++missed;
                d.Seen();
            }
        };
        const auto [s, floor] = Measure(app, w, *line, d, count);
        std::printf("line change -> timing event tick read, clocks running: p50 %.1f us, p99 %.1f "
                    "us; bare hand-off p99 %.1f us; ratio %.2f; %d changes did not trigger\n",
                    s.p50, s.p99, floor.p99, s.p99 / floor.p99, missed);
    }
    std::fflush(stdout);
    RecordedTimeError(app, *line, edges);
    PassAfterDeadTime(app, *line, 10);
    FlickerThenPass(app, *line, 3);
    RunsWhileSorting(app, *line, 5);
    UnderLoad(app, *line, argc > 2 ? std::max(10, std::atoi(argv[2])) : 200);
    return 0;
}
