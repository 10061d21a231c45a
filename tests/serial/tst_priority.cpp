// The watch thread's priority: the order of the ways to raise it, and that
// only the watch thread is raised.
#include "Comms.h"
#include "SimComDevice.h"
#include "ThreadPriority.h"
#include "WaitUntil.h"

#include <QTest>
#include <pthread.h>
#include <sched.h>

namespace {

// The calls played in memory, with what was asked.
class TFakePriorityApi : public IThreadPriorityApi {
public:
    int RtkitMax = 0, FifoMax = 0, Nice = 0, Lowest = 0;
    bool RtkitGrants = false, FifoGrants = false, NiceGrants = false;
    QStringList Asked;
    int RealtimeKitMax() override { return RtkitMax; }
    bool RealtimeKitMakeRealtime(int p) override {
        Asked << QStringLiteral("rtkit %1").arg(p);
        return RtkitGrants;
    }
    int FifoLimit() override { return FifoMax; }
    bool SetFifo(int p) override {
        Asked << QStringLiteral("fifo %1").arg(p);
        return FifoGrants;
    }
    int CurrentNice() override { return Nice; }
    int LowestNice() override { return Lowest; }
    bool SetNice(int n) override {
        Asked << QStringLiteral("nice %1").arg(n);
        return NiceGrants;
    }
};

} // namespace

class TstPriority : public QObject {
    Q_OBJECT
private slots:
    // RealtimeKit first, then SCHED_FIFO, then the best normal priority;
    // never more than wanted or allowed.
    void orderOfChoice_data() {
        QTest::addColumn<QString>(
            "system"); // rtkit max/grants, fifo limit/grants, nice now/lowest/grants
        QTest::addColumn<QString>("asked");
        QTest::addColumn<QString>("got");
        QTest::newRow("RealtimeKit grants") << "20 y 0 n 0 0 n"
                                            << "rtkit 20"
                                            << "Echtzeit-Priorität 20 (RealtimeKit)";
        QTest::newRow("RealtimeKit allows less") << "10 y 0 n 0 0 n"
                                                 << "rtkit 10"
                                                 << "Echtzeit-Priorität 10 (RealtimeKit)";
        QTest::newRow("RealtimeKit refuses, limit allows") << "20 n 50 y 0 0 n"
                                                           << "rtkit 20,fifo 20"
                                                           << "Echtzeit-Priorität 20 (SCHED_FIFO)";
        QTest::newRow("no RealtimeKit, small limit") << "0 n 5 y 0 0 n"
                                                     << "fifo 5"
                                                     << "Echtzeit-Priorität 5 (SCHED_FIFO)";
        QTest::newRow("no limit but privileged") << "0 n 0 y 0 0 n"
                                                 << "fifo 20"
                                                 << "Echtzeit-Priorität 20 (SCHED_FIFO)";
        QTest::newRow("no real time, nice allowed")
            << "0 n 0 n 0 -10 y"
            << "fifo 20,nice -10"
            << "normale Priorität (nice -10), keine Echtzeit erlaubt";
        QTest::newRow("nothing allowed") << "0 n 0 n 0 0 n"
                                         << "fifo 20"
                                         << "normale Priorität (nice 0), keine Echtzeit erlaubt";
        QTest::newRow("nice refused") << "0 n 0 n 5 -5 n"
                                      << "fifo 20,nice -5"
                                      << "normale Priorität (nice 5), keine Echtzeit erlaubt";
    }
    void orderOfChoice() {
        QFETCH(QString, system);
        QFETCH(QString, asked);
        QFETCH(QString, got);
        const QStringList v = system.split(QLatin1Char(' '));
        TFakePriorityApi api;
        api.RtkitMax = v[0].toInt();
        api.RtkitGrants = v[1] == QLatin1String("y");
        api.FifoMax = v[2].toInt();
        api.FifoGrants = v[3] == QLatin1String("y");
        api.Nice = v[4].toInt();
        api.Lowest = v[5].toInt();
        api.NiceGrants = v[6] == QLatin1String("y");
        const TThreadPriority p = RaiseThreadPriority(api, 20);
        QCOMPARE(api.Asked.join(QLatin1Char(',')), asked);
        QCOMPARE(p.Text(), got);
    }

    // The port raises its watch thread and tells what it got; the thread that
    // opened it keeps its scheduling.
    void onlyTheWatchThreadIsRaised() {
        TSimComBus::DetachAll();
        TComBackend::Current() = TSimComBus::Backend();
        struct Restore {
            ~Restore() {
                TComBackend::Current() = TComBackend::Platform();
                TSimComBus::DetachAll();
            }
        } restore;
        auto line = TSimComBus::Attach(1);
        const pthread_t opener = pthread_self();
        std::atomic<bool> onWatchThread{false};
        TComBackend::Current().RaisePriority = [&] {
            onWatchThread = !pthread_equal(pthread_self(), opener);
            TFakePriorityApi api;
            api.FifoGrants = true;
            return RaiseThreadPriority(api, WatchThreadPriority);
        };
        int policy = 0;
        sched_param before{};
        QCOMPARE(pthread_getschedparam(opener, &policy, &before), 0);
        TComPort port;
        port.Port = 1;
        QCOMPARE(port.WatchPriority().Kind, TThreadPriority::Unknown);
        port.Open();
        QVERIFY(WaitUntil([&] { return port.WatchPriority().Kind != TThreadPriority::Unknown; }));
        QVERIFY(onWatchThread);
        QCOMPARE(port.WatchPriority(),
                 (TThreadPriority{TThreadPriority::Fifo, WatchThreadPriority}));
        int after = 0;
        sched_param p{};
        QCOMPARE(pthread_getschedparam(opener, &after, &p), 0);
        QCOMPARE(after, policy);
        port.Close();
        QCOMPARE(port.WatchPriority().Kind, TThreadPriority::Unknown); // no thread, no priority
    }

    // On this machine, for real: the watch thread gets what the system allows,
    // and the opening thread stays as it was.
    void platformRaisesTheWatchThreadOnly() {
        TSimComBus::DetachAll();
        TComBackend::Current() = TSimComBus::Backend();
        TComBackend::Current().RaisePriority = TComBackend::Platform().RaisePriority;
        struct Restore {
            ~Restore() {
                TComBackend::Current() = TComBackend::Platform();
                TSimComBus::DetachAll();
            }
        } restore;
        auto line = TSimComBus::Attach(1);
        TComPort port;
        port.Port = 1;
        port.Open();
        QVERIFY(WaitUntil([&] { return port.WatchPriority().Kind != TThreadPriority::Unknown; }));
        qInfo("watch thread: %s", qPrintable(port.WatchPriority().Text()));
        QCOMPARE(sched_getscheduler(0), SCHED_OTHER);
        port.Close();
    }
};

QTEST_MAIN(TstPriority)
#include "tst_priority.moc"
