// The serial component against the simulated device (no window, no hardware),
// and the POSIX backend's failures on things that are not serial ports.
#include "Comms.h"
#include "PosixComDevice.h"
#include "SimComDevice.h"
#include "WaitUntil.h"

#include <QElapsedTimer>
#include <QTemporaryFile>
#include <QTest>
#include <cerrno>

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
            line->SetModemStatus(line->ModemStatusWord() ^ MS_DSR_ON);
            // The watch thread takes the change and hands it off; nobody serves it yet.
            while (line->WaitPending())
                std::this_thread::yield();
            if (i % 3 == 0) QCoreApplication::processEvents();
            port.Close(); // the hand-off may be queued right now
            QVERIFY2(watchdog.elapsed() < 60000, "open/close cycle hangs");
        }
        QVERIFY(dispatched > 0);
        QVERIFY(!line->IsOpen());
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
    }
};

QTEST_GUILESS_MAIN(TstComms)
#include "tst_comms.moc"
