// The serial component against the simulated device (no window, no hardware),
// and the POSIX backend's failures on things that are not serial ports.
#include "Comms.h"
#include "PosixComDevice.h"
#include "PosixIo.h"
#include "SimComDevice.h"
#include "TickSource.h"
#include "WaitUntil.h"

#include <QElapsedTimer>
#include <QTemporaryFile>
#include <QTest>
#include <cerrno>
#include <fcntl.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

// A driver played in memory: interrupt counters, modem bits, and a TIOCMIWAIT
// that, like the kernel's, waits for a change after the call.
class TFakeIo : public TPosixIo {
public:
    void Set(int bits) {
        std::lock_guard lock(FMutex);
        Count(FBits ^ bits);
        FBits = bits;
        FChanged.notify_all();
    }
    void Pulse(int lines) {
        std::lock_guard lock(FMutex);
        Count(lines);
        Count(lines);
        FChanged.notify_all();
    }
    int Bits() {
        std::lock_guard lock(FMutex);
        return FBits;
    }
    bool Waiting() {
        std::lock_guard lock(FMutex);
        return FWaiting > 0;
    }

    int Open(const char*, int) override { return 900; }
    int Close(int) override { return 0; }
    int GetAttr(int, termios*) override { return 0; }
    int SetAttr(int, const termios*) override { return 0; }
    int Exclusive(int, bool) override { return 0; }
    int SetModemBits(int, int, bool) override { return 0; }
    int InputQueue(int, int* count) override {
        *count = 0;
        return 0;
    }
    int FlushInput(int) override { return 0; }
    bool IsCharacterDevice(int) override { return true; }
    int ModemBits(int, int* bits) override {
        std::lock_guard lock(FMutex);
        *bits = FBits;
        return 0;
    }
    int Counters(int, serial_icounter_struct* c) override {
        std::lock_guard lock(FMutex);
        c->cts = FCts;
        c->dsr = FDsr;
        return 0;
    }
    int WaitModemChange(int, int) override {
        std::unique_lock lock(FMutex);
        const int cts = FCts, dsr = FDsr;
        ++FWaiting;
        FChanged.wait(lock, [&] { return FWoken || cts != FCts || dsr != FDsr; });
        --FWaiting;
        if (FWoken) {
            FWoken = false;
            errno = EINTR;
            return -1;
        }
        return 0;
    }
    void Wake(pthread_t) override {
        std::lock_guard lock(FMutex);
        FWoken = true;
        FChanged.notify_all();
    }

private:
    void Count(int changed) {
        if (changed & TIOCM_CTS) ++FCts;
        if (changed & TIOCM_DSR) ++FDsr;
    }
    std::mutex FMutex;
    std::condition_variable FChanged;
    int FBits = 0, FCts = 0, FDsr = 0, FWaiting = 0;
    bool FWoken = false;
};

// Makes a change and waits, without running the event loop, until the watch
// thread has taken it: it is handed off, and nobody serves it yet.
void ChangeAndWaitTaken(TSimComLine& line, uint32_t status) {
    const int reports = line.Reports();
    line.SetModemStatus(status);
    // Waiting again means the change was stamped as well.
    for (int i = 0; i < 40000 && (line.Reports() == reports || !line.WaitPending()); ++i)
        std::this_thread::sleep_for(std::chrono::microseconds(50));
}

// The same within a short bound: false when the watch thread did not take it.
bool ChangeTakenSoon(TSimComLine& line, uint32_t status) {
    const int reports = line.Reports();
    line.SetModemStatus(status);
    QElapsedTimer t;
    t.start();
    // Taken once the watch waits again: by then it has stamped the change too, so
    // a busy machine cannot move the test's clock on before the stamp.
    const auto taken = [&] { return line.Reports() != reports && line.WaitPending(); };
    while (!taken() && t.elapsed() < 2000)
        std::this_thread::sleep_for(std::chrono::microseconds(20));
    return taken();
}

} // namespace

class TstComms : public QObject {
    Q_OBJECT
private slots:
    void init() {
        TSimComBus::DetachAll();
        TComBackend::Current() = TSimComBus::Backend();
    }
    void cleanup() {
        TComBackend::Current() = TComBackend::Platform();
        TSimComBus::DetachAll();
    }

    void dataBitsClamp_data() {
        QTest::addColumn<int>("value");
        QTest::addColumn<int>("stored");
        QTest::newRow("4") << 4 << 5;
        QTest::newRow("9") << 9 << 8;
        QTest::newRow("7") << 7 << 7;
    }
    void dataBitsClamp() {
        QFETCH(int, value);
        QFETCH(int, stored);
        TComPort port;
        port.SetDataBits(value);
        QCOMPARE(int(port.DataBits()), stored);
    }

    void defaultsAndSettings() {
        TComPort port;
        QCOMPARE(port.BaudRate, br9600);
        QCOMPARE(int(port.Port), 1);
        QCOMPARE(port.Events, AllEvents);
        QCOMPARE(port.Settings().XonLimit, 512);
        port.WriteBufSize = 64;
        QCOMPARE(port.Settings().XonLimit, 16);
        port.BaudRate = brUser;
        port.BaudRateUser = 28800;
        QCOMPARE(port.Settings().BaudRate, 28800);
        QCOMPARE(EventMaskOf(EventBit(evCTS) | EventBit(evDSR)), EV_CTS | EV_DSR);
    }

    void openCloseEvents() {
        auto line = TSimComBus::Attach(3);
        QStringList log;
        {
            TComPort port;
            port.Port = 3;
            port.OnOpen = [&](QObject* s) {
                QCOMPARE(s, &port);
                log << QStringLiteral("open");
            };
            port.OnClose = [&](QObject*) { log << QStringLiteral("close"); };
            port.Close();
            QVERIFY(log.isEmpty()); // closing a closed port fires nothing
            port.Open();
            QVERIFY(port.Connected());
            QVERIFY(line->IsExclusive());
            port.Open();
            QCOMPARE(log, (QStringList{"open", "close", "open"}));
            QCOMPARE(line->OpenCount(), 2);
        }
        QCOMPARE(log.last(), QStringLiteral("close")); // destroying an open port closes it
        QVERIFY(!line->IsOpen());
    }

    void absentPortFails() {
        TComPort port;
        port.Port = 7;
        bool opened = false;
        port.OnOpen = [&](QObject*) { opened = true; };
        try {
            port.Open();
            QFAIL("no exception");
        } catch (const EComHandle& e) {
            QCOMPARE(e.Message(),
                     QStringLiteral("Unable to open com port: ") + SystemErrorText(ENOENT));
        }
        QVERIFY(!port.Connected());
        QVERIFY(!opened);
    }

    void settingsFailureReleasesThePort() {
        auto line = TSimComBus::Attach(2);
        line->SetFailApply(true);
        TComPort port;
        port.Port = 2;
        QVERIFY_THROWS_EXCEPTION(EComState, port.Open());
        QVERIFY(!port.Connected());
        QVERIFY(!line->IsOpen());
        line->SetFailApply(false);
        port.Open();
        QVERIFY(port.Connected());
        const TComSettings s = line->LastSettings();
        QCOMPARE(s.BaudRate, 9600);
        QCOMPARE(s.DataBits, 8);
    }

    void ctsThenDsrOncePerWait() {
        auto line = TSimComBus::Attach(1);
        TComPort port;
        port.Port = 1;
        QStringList log;
        port.OnCTS = [&](QObject*) { log << QStringLiteral("cts"); };
        port.OnDSR = [&](QObject*) { log << QStringLiteral("dsr"); };
        port.OnRing = [&](QObject*) { log << QStringLiteral("ring"); };
        port.Open();
        QVERIFY(WaitUntil([&] { return line->WaitPending(); }));
        line->Raise(EV_DSR | EV_CTS);
        QVERIFY(WaitUntil([&] { return log.size() >= 2; }));
        QTest::qWait(20);
        QCOMPARE(log, (QStringList{"cts", "dsr"}));
    }

    void eventsReachTheUserInterfaceThread() {
        auto line = TSimComBus::Attach(1);
        TComPort port;
        port.Port = 1;
        port.Events = EventBit(evDSR);
        QThread* where = nullptr;
        uint32_t status = 0;
        port.OnDSR = [&](QObject*) {
            where = QThread::currentThread();
            status = port.ModemStatus();
        };
        port.Open();
        line->SetModemStatus(MS_CTS_ON); // CTS is not watched
        QTest::qWait(30);
        QVERIFY(where == nullptr);
        line->SetModemStatus(MS_CTS_ON | MS_DSR_ON);
        QVERIFY(WaitUntil([&] { return where != nullptr; }));
        QCOMPARE(where, QCoreApplication::instance()->thread());
        QCOMPARE(status, MS_CTS_ON | MS_DSR_ON);
    }

    void rxCharGetsCountAtDispatch() {
        auto line = TSimComBus::Attach(4);
        TComPort port;
        port.Port = 4;
        int got = -1;
        port.OnRxChar = [&](QObject*, int inQue) { got = inQue; };
        port.Open();
        QVERIFY(WaitUntil([&] { return line->WaitPending(); }));
        line->Receive(3);
        line->Receive(2); // arrives before the dispatch runs
        QVERIFY(WaitUntil([&] { return got >= 0; }));
        QCOMPARE(got, 5);
    }

    void closeFromInsideAHandler() {
        auto line = TSimComBus::Attach(1);
        TComPort port;
        port.Port = 1;
        int closes = 0;
        port.OnClose = [&](QObject*) { ++closes; };
        port.OnDSR = [&](QObject*) { port.Close(); };
        port.Open();
        line->SetModemStatus(MS_DSR_ON);
        QVERIFY(WaitUntil([&] { return !port.Connected(); }));
        QCOMPARE(closes, 1);
    }

    void closeWhileHandOffQueuedNeverHangs() {
        auto line = TSimComBus::Attach(1);
        TComPort port;
        port.Port = 1;
        int dispatched = 0;
        port.OnDSR = [&](QObject*) { ++dispatched; };
        QElapsedTimer watchdog;
        watchdog.start();
        for (int i = 0; i < 1000; ++i) {
            port.Open();
            while (!line->WaitPending())
                std::this_thread::yield();
            const int reports = line->Reports();
            line->SetModemStatus(line->ModemStatusWord() ^ MS_DSR_ON);
            // The watch thread takes the change and hands it off; nobody serves it yet.
            while (line->Reports() == reports)
                std::this_thread::yield();
            if (i % 3 == 0) QCoreApplication::processEvents();
            port.Close(); // the hand-off may be queued right now
            QVERIFY2(watchdog.elapsed() < 60000, "open/close cycle hangs");
        }
        QVERIFY(dispatched > 0);
        QVERIFY(!line->IsOpen());
    }

    // A wait that fails (the adapter pulled out) ends the watch as lost, not
    // silently: the device is given up and tried again until it is back.
    void lostWatch_data() {
        QTest::addColumn<int>("interval"); // between tries, 0: none
        QTest::addColumn<QString>("act");  // while it is out
        QTest::addColumn<bool>("reopened");
        QTest::addColumn<QString>("events"); // Open, Lost, Close, Exception
        QTest::addColumn<int>("failure");
        QTest::newRow("pulled out, back in") << 20 << "" << true << "OLO" << EIO;
        QTest::newRow("pulled out, no tries") << 0 << "" << false << "OL" << EIO;
        QTest::newRow("Open while still out") << 20 << "open" << true << "OLEO" << EIO;
        QTest::newRow("Close while out") << 20 << "close" << false << "OLC" << EIO;
        QTest::newRow("driver cannot wait: no tries") << 20 << "" << false << "OL" << ENOTTY;
    }
    void lostWatch() {
        QFETCH(int, interval);
        QFETCH(QString, act);
        QFETCH(bool, reopened);
        QFETCH(QString, events);
        QFETCH(int, failure);
        auto line = TSimComBus::Attach(2);
        QString log; // before the port: its destruction still closes it
        int error = 0;
        TComPort port;
        port.Port = 2;
        port.ReopenInterval = interval;
        port.OnOpen = [&](QObject*) { log += QLatin1Char('O'); };
        port.OnClose = [&](QObject*) { log += QLatin1Char('C'); };
        port.OnLost = [&](QObject*, int e) {
            log += QLatin1Char('L');
            error = e;
        };
        port.Open();
        QVERIFY(WaitUntil([&] { return line->WaitPending(); }));
        line->Unplug(failure);
        QVERIFY(WaitUntil([&] { return port.Lost(); }));
        QCOMPARE(error, failure);
        QVERIFY(!port.Connected());
        QVERIFY(!line->IsOpen()); // given up, so that it can be opened again
        if (act == QStringLiteral("open")) {
            try {
                port.Open();
            } catch (const EComHandle&) {
                log += QLatin1Char('E');
            }
            QVERIFY(port.Lost()); // still tried
        } else if (act == QStringLiteral("close")) {
            port.Close();
            QVERIFY(!port.Lost());
        }
        const int opens = line->OpenCount();
        line->Plug();
        if (reopened)
            QVERIFY(WaitUntil([&] { return port.Connected(); }));
        else
            QTest::qWait(100);
        QCOMPARE(port.Connected(), reopened);
        QCOMPARE(line->OpenCount(), opens + (reopened ? 1 : 0));
        QCOMPARE(log, events);
    }

    // After Close returns no handler of that port runs, also when the port is
    // opened again at once; a dispatch queued at the Close runs inside it.
    void nothingAfterClose_data() {
        QTest::addColumn<bool>("reopen");
        QTest::newRow("close") << false;
        QTest::newRow("close and reopen") << true;
    }
    void nothingAfterClose() {
        QFETCH(bool, reopen);
        auto line = TSimComBus::Attach(1);
        TComPort port;
        port.Port = 1;
        int dispatched = 0, late = 0;
        bool closed = false;
        port.OnDSR = [&](QObject*) {
            ++dispatched;
            if (closed) ++late;
        };
        port.Open();
        for (int i = 0; i < 1000; ++i) {
            while (!line->WaitPending())
                std::this_thread::yield();
            ChangeAndWaitTaken(*line, line->ModemStatusWord() ^ MS_DSR_ON);
            const int before = dispatched;
            closed = false;
            port.Close();
            QCOMPARE(dispatched, before + 1); // the queued dispatch ran inside Close
            closed = true;
            if (reopen) {
                port.Open();
                QCoreApplication::processEvents(); // the late queued call
                closed = false;
            } else {
                QCoreApplication::processEvents();
                port.Open();
                closed = false;
            }
        }
        QCOMPARE(late, 0);
        QCOMPARE(dispatched, 1000);
    }

    // A dispatch served inside an outer Close whose handler closes or reopens
    // the port: Close means closed when it returns, so the reopen is refused.
    void handlerClosesOrOpensInsideClose_data() {
        QTest::addColumn<QString>("handler");
        QTest::newRow("handler closes") << "OnDSR closes";
        QTest::newRow("handler reopens") << "OnDSR reopens";
        QTest::newRow("OnClose reopens") << "OnClose reopens";
    }
    void handlerClosesOrOpensInsideClose() {
        QFETCH(QString, handler);
        auto line = TSimComBus::Attach(1);
        TComPort port;
        port.Port = 1;
        int opens = 0, closes = 0, handled = 0;
        bool inTest = false;
        port.OnOpen = [&](QObject*) { ++opens; };
        port.OnClose = [&](QObject*) {
            ++closes;
            if (inTest && handler == QStringLiteral("OnClose reopens")) port.Open();
        };
        port.OnCTS = port.OnDSR = [&](QObject*) {
            ++handled;
            if (handler == QStringLiteral("OnDSR reopens"))
                port.Open();
            else if (handler == QStringLiteral("OnDSR closes"))
                port.Close();
        };
        for (int i = 0; i < 200; ++i) {
            port.Open();
            QVERIFY(WaitUntil([&] { return line->WaitPending(); }));
            ChangeAndWaitTaken(*line, line->ModemStatusWord() ^ (MS_CTS_ON | MS_DSR_ON));
            inTest = true;
            port.Close();
            inTest = false;
            QVERIFY(port.Connected() == false);
            QVERIFY(!line->IsOpen());
            // OnCTS and OnDSR; after a handler's Close, OnDSR of the old port does not run.
            const int perWait = handler == QStringLiteral("OnDSR closes") ? 1 : 2;
            QCOMPARE(handled, perWait * (i + 1));
            port.Close();
            QCOMPARE(closes, i + 1); // once per real close
            QCOMPARE(opens, i + 1);
            QCoreApplication::processEvents();
        }
    }

    // A window that does not serve for a while: every change is still taken
    // when it happens and kept with its own stamp, the pass after a burst of
    // flicker too. Beyond the queue's room changes go out of the middle of the
    // flicker, counted, and what is kept stays in order with its stamps.
    void changesKeptWhileTheWindowIsBusy_data() {
        QTest::addColumn<int>("flicker");
        QTest::addColumn<int>("room");
        QTest::newRow("80 changes") << 80 << 16384;
        QTest::newRow("2000 changes") << 2000 << 16384;
        QTest::newRow("more than the room") << 300 << 64;
    }
    void changesKeptWhileTheWindowIsBusy() {
        QFETCH(int, flicker);
        QFETCH(int, room);
        const size_t defaultRoom = TComThread::MaxQueued;
        TComThread::MaxQueued = static_cast<size_t>(room);
        struct Restore {
            size_t room;
            ~Restore() {
                TComThread::MaxQueued = room;
                TickSource::UseSystem();
            }
        } restore{defaultRoom};
        auto line = TSimComBus::Attach(1);
        TComPort port;
        port.Port = 1;
        std::vector<uint32_t> ticks, levels;
        int reported = 0;
        port.OnDSR = [&](QObject*) {
            uint32_t t = 0;
            QVERIFY(port.EventTick(t));
            ticks.push_back(t);
            levels.push_back(port.ModemStatus());
        };
        port.OnDropped = [&](QObject*, int n) { reported += n; };
        port.Open();
        QVERIFY(WaitUntil([&] { return line->WaitPending(); }));
        // Nobody serves from here on: the flicker 1 ms apart, then the pass.
        for (int i = 0; i < flicker; ++i) {
            TickSource::SetManual(10000 + i);
            QVERIFY2(ChangeTakenSoon(*line, line->ModemStatusWord() ^ MS_DSR_ON),
                     qPrintable(QStringLiteral("change %1 not taken").arg(i + 1)));
        }
        const uint32_t pass = 10000 + flicker + 1000;
        TickSource::SetManual(pass);
        QVERIFY(ChangeTakenSoon(*line, line->ModemStatusWord() ^ MS_DSR_ON));
        TickSource::SetManual(pass + 2000); // the window gets to it later
        const int changes = flicker + 1;
        QVERIFY(WaitUntil([&] { return int(ticks.size()) + reported >= changes; }));
        QCOMPARE(int(ticks.size()) + reported, changes);
        QCOMPARE(port.DroppedChanges(), reported);
        QCOMPARE(reported > 0, changes > room);
        QCOMPARE(ticks.front(), 10000u); // the first edge of the burst
        QCOMPARE(ticks.back(), pass);    // the pass, exactly
        for (size_t i = 1; i < ticks.size(); ++i) {
            QVERIFY(ticks[i] > ticks[i - 1]);    // in order, each its own stamp
            QVERIFY(levels[i] != levels[i - 1]); // no change swallowed as a repetition
        }
        port.Close();
    }

    // More changes of one line than a wait can tell apart are counted.
    void flickerWithinOneWaitIsCounted_data() {
        QTest::addColumn<int>("changes");
        QTest::addColumn<int>("reported");
        QTest::newRow("one") << 1 << 1;
        QTest::newRow("four") << 4 << 4;
        QTest::newRow("five") << 5 << 3;
        QTest::newRow("ten") << 10 << 4;
        QTest::newRow("eleven") << 11 << 3;
    }
    void flickerWithinOneWaitIsCounted() {
        QFETCH(int, changes);
        QFETCH(int, reported);
        TLineCounts before, now;
        now.Dsr = changes;
        const uint32_t levelNow = changes % 2 ? MS_DSR_ON : 0;
        const auto events = LineEventsBetween(before, 0, now, levelNow, EV_CTS | EV_DSR);
        QCOMPARE(int(events.size()), reported);
        int dropped = 0;
        for (const TLineEvent& e : events)
            dropped += e.Dropped;
        QCOMPARE(dropped, changes - reported);
        QCOMPARE(events.back().Status, levelNow);
    }

    // The POSIX backend on a played driver: every change is reported in order
    // with its level, also one made while a dispatch runs and a pulse too short
    // for any wait to see it.
    void posixReportsEveryChange_data() {
        QTest::addColumn<QString>("play");
        QTest::addColumn<QString>("seen");
        QTest::newRow("change during dispatch") << "on, off in handler" << "on off";
        QTest::newRow("pulse while waiting") << "pulse" << "on off";
        QTest::newRow("pulse during dispatch") << "on, pulse in handler" << "on off on";
        QTest::newRow("two changes in handler") << "on, off and on in handler" << "on off on";
        QTest::newRow("three changes in handler") << "on, off on off in handler" << "on off on off";
    }
    void posixReportsEveryChange() {
        QFETCH(QString, play);
        QFETCH(QString, seen);
        auto io = std::make_shared<TFakeIo>();
        TComBackend::Current() = {
            [io] { return std::unique_ptr<IComDevice>(new TPosixComDevice(io)); },
            [](int) { return QStringLiteral("/dev/fake"); }, {}};
        TComPort port;
        port.Events = EventBit(evCTS) | EventBit(evDSR);
        QStringList log;
        bool first = true;
        port.OnDSR = [&](QObject*) {
            log << ((port.ModemStatus() & MS_DSR_ON) ? QStringLiteral("on") : QStringLiteral("off"));
            if (!first) return;
            first = false;
            if (play.endsWith(QStringLiteral("off in handler"))) io->Set(0);
            if (play.endsWith(QStringLiteral("pulse in handler"))) io->Pulse(TIOCM_DSR);
            if (play.endsWith(QStringLiteral("off on off in handler"))) {
                io->Set(0);
                io->Pulse(TIOCM_DSR);
            }
            if (play.endsWith(QStringLiteral("off and on in handler"))) {
                io->Set(0);
                io->Set(TIOCM_DSR);
            }
        };
        port.Open();
        QVERIFY(WaitUntil([&] { return io->Waiting(); }));
        if (play == QStringLiteral("pulse"))
            io->Pulse(TIOCM_DSR);
        else
            io->Set(TIOCM_DSR);
        const QStringList expected = seen.split(QLatin1Char(' '));
        QVERIFY(WaitUntil([&] { return log.size() >= expected.size(); }));
        QTest::qWait(20);
        QCOMPARE(log, expected);
        port.Close();
    }

    // Bytes left in the driver must not keep firing: one event per arrival (pty).
    void rxCharOncePerArrival() {
        TComBackend::Current() = TComBackend::Platform();
        const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
        QVERIFY(master >= 0);
        QVERIFY(::grantpt(master) == 0 && ::unlockpt(master) == 0);
        const QString slave = QString::fromLocal8Bit(::ptsname(master));
        TComBackend::Current().PathFor = [slave](int) { return slave; };
        TComPort port;
        port.Events = EventBit(evRxChar);
        QList<int> queues;
        port.OnRxChar = [&](QObject*, int inQue) { queues << inQue; };
        port.Open();
        QVERIFY(::write(master, "abc", 3) == 3);
        QVERIFY(WaitUntil([&] { return !queues.isEmpty(); }));
        QTest::qWait(200);
        QCOMPARE(queues, QList<int>{3});
        QVERIFY(::write(master, "de", 2) == 2);
        QVERIFY(WaitUntil([&] { return queues.size() >= 2; }));
        QTest::qWait(100);
        QCOMPARE(queues, (QList<int>{3, 5}));
        port.Close();
        ::close(master);
    }

    void probe() {
        QCOMPARE(ProbeComPorts(), 0u);
        TSimComBus::Attach(1);
        auto three = TSimComBus::Attach(3);
        const uint32_t ports = ProbeComPorts();
        QCOMPARE(ports, (1u << 0) | (1u << 2) | (3u << 16));
        QCOMPARE(AvailablePorts, ports);
        QVERIFY(!three->IsOpen());
        QVERIFY(!three->IsExclusive());
    }

    void portPaths_data() {
        QTest::addColumn<int>("port");
        QTest::addColumn<QString>("path");
        QTest::newRow("COM1") << 1 << "/dev/ttyS0";
        QTest::newRow("COM4") << 4 << "/dev/ttyS3";
        QTest::newRow("COM5") << 5 << "/dev/ttyUSB0";
        QTest::newRow("COM12") << 12 << "/dev/ttyUSB7";
        QTest::newRow("COM13") << 13 << "/dev/ttyACM0";
        QTest::newRow("COM16") << 16 << "/dev/ttyACM3";
    }
    void portPaths() {
        QFETCH(int, port);
        QFETCH(QString, path);
        QCOMPARE(ComPortDevicePath(port), path);
    }

    void posixRefusesWhatIsNotASerialPort() {
        TPosixComDevice device;
        QVERIFY(!device.Open(QStringLiteral("/nonexistent/ttyX"), true));
        QCOMPARE(device.LastError(), ENOENT);
        QTemporaryFile file;
        QVERIFY(file.open());
        QVERIFY(!device.Open(file.fileName(), true));
        QCOMPARE(device.LastError(), ENOTTY);
        QVERIFY(!device.IsOpen());
        QVERIFY(!device.Open(QStringLiteral("/dev/null"), false));
        QCOMPARE(SystemErrorText(ENOTTY), QString::fromLocal8Bit(strerror(ENOTTY)));
        QCOMPARE(SystemErrorText(99999), QStringLiteral("99999"));
    }
};

QTEST_GUILESS_MAIN(TstComms)
#include "tst_comms.moc"
