// Latency of the serial hand-off: from a simulated line change to OnDSR running
// on the user-interface thread, and the whole path to the tick read of a timing
// event, beside a bare queue-and-wait hand-off to the Qt event loop.
#include "FMain.h"
#include "SimComDevice.h"
#include "TickSource.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>
#include <vector>

using Clock = std::chrono::steady_clock;

namespace {

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
            &app, [] { QCoreApplication::quit(); }, Qt::QueuedConnection);
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

} // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir scratch; // the window writes its backup protocol into the current folder
    QDir::setCurrent(scratch.path());
    TComBackend::Current() = TSimComBus::Backend();
    const int count = 10000;
    auto line = TSimComBus::Attach(1);

    for (bool clocks : {false, true}) {
        Cars = 2;
        Laps = 2;
        TFormMain w;
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
        Cars = 2;
        Laps = 2;
        TFormMain w;
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
            w.TimerGesperrtTimer();
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
    return 0;
}
