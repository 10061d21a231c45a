// The light barrier on the simulated serial device: trigger rules, repetitions,
// the dead-time lock and a whole run driven by line changes.
#include "FMain.h"
#include "NoticeLine.h"
#include "Recovery.h"
#include "Protocol.h"
#include "SimComDevice.h"
#include "TickSource.h"
#include "SimBarrier.h"
#include "WaitUntil.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>
#include <cerrno>
#include <thread>

// The window writes its journal into the current folder: one of the test's own.
struct InScratch {
    QTemporaryDir dir;
    const QString cwd = QDir::currentPath();
    InScratch() { QDir::setCurrent(dir.path()); }
    ~InScratch() { QDir::setCurrent(cwd); }
};

QByteArray JournalOf(TFormMain& w) {
    w.Recovery().FJournal.Flush();
    QFile journal(w.Recovery().JournalFileName());
    return journal.open(QIODevice::ReadOnly) ? journal.readAll() : QByteArray();
}

class TstBarrier : public QObject {
    Q_OBJECT
private slots:
    void init() {
        TComBackend::Current() = TSimComBus::Backend();
        TickSource::SetManual(1000);
        Run.LastModemStatus = 0x55555555;
        Run.Cars = 1;
        Run.Laps = 5;
    }
    void cleanup() {
        TComBackend::Current() = TComBackend::Platform();
        TSimComBus::DetachAll();
        TickSource::UseSystem();
    }

    void ledFollowsThePort() {
        Barrier b(0);
        QVERIFY(b.w.LedLock->isVisibleTo(&b.w));
        QVERIFY(b.w.LedLabel->isVisibleTo(&b.w));
        b.w.ComPort->Close();
        QVERIFY(!b.w.LedLock->isVisibleTo(&b.w));
    }

    void ruleOnWithCtsOff() {
        Barrier b(0);
        b.w.LedLockClick(nullptr); // arm (red at start-up)
        b.Set(MS_DSR_ON);
        QCOMPARE(b.w.FEventCount, 1); // DSR on triggers START
        b.EndDeadTime();
        b.Set(0);
        QCOMPARE(b.w.FEventCount, 1); // DSR off does not
        b.Set(MS_DSR_ON);
        QCOMPARE(b.w.FEventCount, 2);
    }

    void ruleOffWithCtsOff() {
        Barrier b(1, MS_DSR_ON);
        b.w.LedLockClick(nullptr);
        b.Set(0);
        QCOMPARE(b.w.FEventCount, 1);
        b.Set(MS_DSR_ON); // locked: consumed
        QCOMPARE(b.w.FEventCount, 1);
        b.EndDeadTime();
        b.Set(0);
        QCOMPARE(b.w.FEventCount, 2);
        b.EndDeadTime();
        b.Set(MS_DSR_ON); // cts is clear: every change triggers
        QCOMPARE(b.w.FEventCount, 3);
    }

    void ruleOnWithCtsOn() {
        Barrier b(0, MS_CTS_ON);
        b.w.LedLockClick(nullptr);
        b.Set(MS_CTS_ON | MS_DSR_ON);
        QCOMPARE(b.w.FEventCount, 1);
        b.EndDeadTime();
        b.Set(MS_CTS_ON);
        QCOMPARE(b.w.FEventCount, 2);
    }

    void otherRuleNeverTriggers() {
        Barrier b(2);
        b.w.LedLockClick(nullptr);
        b.Set(MS_DSR_ON);
        b.Set(0);
        QCOMPARE(b.w.FEventCount, 0);
    }

    void twoEventsForOneChange() {
        Barrier b(0);
        b.w.LedLockClick(nullptr);
        int calls = 0;
        b.w.ComPort->OnCTS = [&](QObject* s) {
            ++calls;
            b.w.ComPortDSR(s);
        };
        b.line->SetModemStatus(MS_CTS_ON | MS_DSR_ON); // raises CTS and DSR in one wait
        QVERIFY(WaitUntil([&] { return b.dsrEvents > 0; }));
        QCOMPARE(calls, 1);
        QCOMPARE(b.w.FEventCount, 1);
    }

    void deadTimeIsNotExtended() {
        Barrier b(0);
        b.w.LedLockClick(nullptr);
        b.Set(MS_DSR_ON); // START
        QCOMPARE(b.w.LedLock->Kind(), lkRed);
        QCOMPARE(b.w.TimerGesperrtStart->interval(), 3000);
        QTest::qWait(60);
        const int left = b.w.TimerGesperrtStart->remainingTime();
        b.Set(0);
        b.Set(MS_DSR_ON); // a second interruption 1 s later: ignored
        QCOMPARE(b.w.FEventCount, 1);
        b.w.mLAP->Click(); // a hand event inside the dead time does not restart it
        QVERIFY(b.w.TimerGesperrtStart->remainingTime() <= left);
        b.EndDeadTime();
        QCOMPARE(b.w.LedLock->Kind(), lkGreen);
        QVERIFY(!b.w.TimerGesperrtStart->isActive());
    }

    void manualLock() {
        Barrier b(0);
        b.w.mStart->Click();
        QCOMPARE(b.w.LedLock->Kind(), lkRed);
        b.w.LedLockClick(nullptr); // F11 during the dead time arms at once
        QCOMPARE(b.w.LedLock->Kind(), lkGreen);
        b.w.LedLockClick(nullptr); // and again locks
        QCOMPARE(b.w.LedLock->Kind(), lkRed);
        b.EndDeadTime(); // the end of the dead time arms
        QCOMPARE(b.w.LedLock->Kind(), lkGreen);
    }

    void nothingAfterTheLastFinishUntilReset() {
        Run.Cars = 1;
        Run.Laps = 2;
        Barrier b(1); // "Aus", cts clear: every change triggers
        b.w.LedLockClick(nullptr);
        uint32_t s = 0;
        for (int i = 0; i < 3; ++i) {
            s ^= MS_DSR_ON;
            b.Set(s);
            b.EndDeadTime();
        }
        QCOMPARE(b.w.FEventCount, 3);
        QVERIFY(b.w.mReset->Enabled());
        s ^= MS_DSR_ON;
        b.Set(s);
        QCOMPARE(b.w.FEventCount, 3); // RESET is never triggered by the barrier
        b.w.LedLockClick(nullptr);
        b.w.mReset->Click();
        QCOMPARE(b.w.LedLock->Kind(), lkGreen);
        s ^= MS_DSR_ON;
        b.Set(s);
        QCOMPARE(b.w.FEventCount, 1);
    }

    // The time of a barrier event is the line change's, however long the window
    // takes to get to it; a pulse too short to be read as a level still triggers once.
    void timeIsTheLineChange_data() {
        QTest::addColumn<int>("rule");
        QTest::addColumn<bool>("pulse");
        QTest::newRow("Ein, edge") << 0 << false;
        QTest::newRow("Ein, pulse") << 0 << true;
        QTest::newRow("Aus, pulse") << 1 << true;
    }
    void timeIsTheLineChange() {
        QFETCH(int, rule);
        QFETCH(bool, pulse);
        Run.Cars = 1;
        Run.Laps = 2;
        Barrier b(rule);
        b.w.LedLockClick(nullptr);
        int events = 0;
        for (uint32_t edge : {5000u, 9000u, 13000u}) {
            TickSource::SetManual(edge);
            const int before = b.dsrEvents;
            const int reports = b.line->Reports();
            if (pulse)
                b.line->Pulse(MS_DSR_ON);
            else
                b.line->SetModemStatus(b.line->ModemStatusWord() ^ MS_DSR_ON);
            // The watch thread takes the change; the window is busy for 400 ms.
            for (int i = 0; i < 40000 && b.line->Reports() == reports; ++i)
                std::this_thread::sleep_for(std::chrono::microseconds(50));
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            TickSource::Advance(400);
            QVERIFY(WaitUntil([&] { return b.dsrEvents > before && b.w.FEventCount > events; }));
            QTest::qWait(20);
            ++events;
            QCOMPARE(b.w.FEventCount, events); // once, also for the pulse's two changes
            QCOMPARE(TickSource::LastEventTick(), edge);
            QCOMPARE(TickSource::LastEventSource(), TickSource::TEventSource::Barrier);
            b.EndDeadTime();
            if (!pulse && rule == 0) b.Set(0); // back off: no trigger under "Ein"
        }
        QCOMPARE(b.w.FTimers[1]->FStartTick, 5000u);
        QCOMPARE(b.w.FLapTimers[1][1]->Tag, 4000);
        QCOMPARE(b.w.FLapTimers[1][2]->Tag, 4000);
        QCOMPARE(b.w.SortGrid1->Cells(pcTotal, 1), QStringLiteral("8,00"));
    }

    // The dead time runs from the stamped time of the pass that started it,
    // however late the window handled that pass or the next one.
    void deadTimeFromTheStamp_data() {
        QTest::addColumn<int>("busy");        // the window got to pass 1 that late
        QTest::addColumn<int>("gap");         // pass 2's stamp after pass 1's
        QTest::addColumn<bool>("timerFired"); // the dead time's timer ran before pass 2 was handled
        QTest::addColumn<int>("early"); // a timer fired that much before the end, before pass 2
        QTest::addColumn<bool>("triggers");
        QTest::newRow("idle, pass after the dead time") << 0 << 3200 << false << 0 << true;
        QTest::newRow("busy 500 ms, pass after the dead time") << 500 << 3200 << false << 0 << true;
        QTest::newRow("busy 500 ms, pass at its end") << 500 << 3000 << false << 0 << true;
        QTest::newRow("busy 500 ms, pass just inside") << 500 << 2999 << false << 0 << false;
        QTest::newRow("inside, handled after it ran out") << 0 << 2000 << true << 0 << false;
        QTest::newRow("busy, inside, handled after it ran out") << 500 << 2000 << true << 0 << false;
        QTest::newRow("busy, after, handled after it ran out") << 500 << 3200 << true << 0 << true;
        QTest::newRow("timer 150 ms early, pass 60 ms before the end")
            << 0 << 2940 << false << 150 << false;
        QTest::newRow("busy, timer 150 ms early, pass 60 ms before the end")
            << 500 << 2940 << true << 150 << false;
        QTest::newRow("timer 150 ms early, pass at the end") << 0 << 3000 << false << 150 << true;
    }
    void deadTimeFromTheStamp() {
        QFETCH(int, busy);
        QFETCH(int, gap);
        QFETCH(bool, timerFired);
        QFETCH(int, early);
        QFETCH(bool, triggers);
        Barrier b(0); // "Ein", dead time 3000 ms
        b.w.LedLockClick(nullptr);
        TickSource::SetManual(5000);
        b.Taken(MS_DSR_ON); // pass 1
        TickSource::Advance(busy);
        b.Serve(1);
        QCOMPARE(b.w.FEventCount, 1);
        QCOMPARE(TickSource::LastEventTick(), 5000u);
        auto* end = b.w.findChild<QTimer*>(QStringLiteral("TimerGesperrtEnde"));
        QVERIFY(end);
        QVERIFY(b.w.TimerGesperrtStart->isActive());
        if (busy) { // the lock ends as much earlier as pass 1 was handled late
            QVERIFY(end->isActive());
            QVERIFY(end->remainingTime() <= 3000 - busy);
        }
        TickSource::SetManual(5100);
        b.Taken(0); // the beam closes again
        b.Serve(2);
        if (early) {
            TickSource::SetManual(8000 - early);
            b.w.TimerGesperrtTimer();
            QCOMPARE(b.w.LedLock->Kind(), lkRed); // the lock holds to the end
            QVERIFY(end->isActive());
        }
        TickSource::SetManual(5000 + gap);
        b.Taken(MS_DSR_ON); // pass 2
        TickSource::SetManual(5000 + std::max(gap, 3500));
        if (timerFired) b.w.TimerGesperrtTimer();
        b.Serve(3);
        QCOMPARE(b.w.FEventCount, triggers ? 2 : 1);
        if (triggers) QCOMPARE(TickSource::LastEventTick(), uint32_t(5000 + gap));
    }

    // The line flickers while the window is blocked, then a real pass comes
    // after the dead time: the burst's first edge starts the run, the pass
    // laps with its exact stamp, and changes that could not be kept are shown
    // and journalled.
    void flickerThenPass_data() {
        QTest::addColumn<int>("flicker");
        QTest::addColumn<int>("room");
        QTest::newRow("80 changes") << 80 << 16384;
        QTest::newRow("more than the room") << 300 << 64;
    }
    void flickerThenPass() {
        QFETCH(int, flicker);
        QFETCH(int, room);
        const size_t defaultRoom = TComThread::MaxQueued;
        TComThread::MaxQueued = static_cast<size_t>(room);
        struct Restore {
            size_t room;
            ~Restore() { TComThread::MaxQueued = room; }
        } restore{defaultRoom};
        QTemporaryDir dir;
        const QString cwd = QDir::currentPath();
        QDir::setCurrent(dir.path());
        Barrier b(0);
        b.w.LedLockClick(nullptr);
        for (int i = 0; i < flicker; ++i) {
            TickSource::SetManual(5000 + i);
            b.Taken(b.line->ModemStatusWord() ^ MS_DSR_ON);
        }
        if (b.line->ModemStatusWord()) {
            TickSource::SetManual(5000 + flicker);
            b.Taken(0);
        }
        TickSource::SetManual(9000);
        b.Taken(MS_DSR_ON);           // the pass, after the dead time
        TickSource::SetManual(11000); // the window was blocked until now
        QVERIFY(WaitUntil([&] { return b.w.FEventCount >= 2; }));
        QTest::qWait(20);
        QCOMPARE(b.w.FEventCount, 2);
        QCOMPARE(b.w.FTimers[1]->FStartTick, 5000u);
        QCOMPARE(TickSource::LastEventTick(), 9000u);
        QCOMPARE(b.w.FLapTimers[1][1]->Tag, 4000);
        const int dropped = b.w.ComPort->DroppedChanges();
        QCOMPARE(dropped > 0, flicker + 2 > room);
        QCOMPARE(b.w.StatusPanels[2]->isVisibleTo(&b.w), dropped > 0);
        b.w.Recovery().FJournal.Flush();
        QFile journal(b.w.Recovery().JournalFileName());
        QVERIFY(journal.open(QIODevice::ReadOnly));
        const QByteArray text = journal.readAll();
        if (dropped) {
            QVERIFY(b.w.StatusPanels[2]->text().contains(
                QStringLiteral("LS: %1 Leitungswechsel verworfen").arg(dropped)));
            QVERIFY(text.contains("\tVERWORFEN\tAnzahl="));
        } else {
            QVERIFY(!text.contains("VERWORFEN"));
        }
        b.w.ComPort->Open(); // counts again from nothing
        QCOMPARE(b.w.ComPort->DroppedChanges(), 0);
        QVERIFY(!b.w.StatusPanels[2]->isVisibleTo(&b.w));
        b.w.ComPort->Close();
        QDir::setCurrent(cwd);
    }

    // The adapter is pulled out: the official sees it at once and times by
    // the keys; plugged in again, the barrier is back by itself.
    void watchLostAndBack_data() {
        QTest::addColumn<bool>("closeWhileOut"); // the port set to none meanwhile
        QTest::newRow("plugged in again") << false;
        QTest::newRow("port closed while out") << true;
    }
    void watchLostAndBack() {
        QFETCH(bool, closeWhileOut);
        InScratch scratch;
        Barrier b(0);
        b.w.ComPort->ReopenInterval = 20;
        auto* notice = b.w.findChild<QLabel*>(QStringLiteral("StatusPanelLS"));
        b.line->Unplug(EIO);
        QVERIFY(WaitUntil([&] { return b.w.ComPort->Lost(); }));
        QVERIFY(notice->isVisibleTo(&b.w));
        QCOMPARE(notice->text().trimmed(),
                 QStringLiteral("Lichtschranke getrennt – Zeitnahme mit Tasten"));
        QVERIFY(b.w.LedLock->isVisibleTo(&b.w));
        QVERIFY(!b.w.LedLock->Value()); // off
        QVERIFY(WaitUntil([&] { return b.w.NoticeLine->Notices().contains(notice->text().trimmed()); }));
        if (closeWhileOut) b.w.ComPort->Close();
        b.line->Plug();
        if (closeWhileOut) {
            QTest::qWait(100);
            QVERIFY(!b.w.ComPort->Connected());
            QVERIFY(!notice->isVisibleTo(&b.w));
        } else {
            QVERIFY(WaitUntil([&] { return b.w.ComPort->Connected(); }));
            QCOMPARE(notice->text().trimmed(), QStringLiteral("Lichtschranke wieder verbunden"));
            QVERIFY(b.w.LedLock->Value());
            QCOMPARE(b.w.NoticeLine->Height(), 0); // the red line goes
            b.w.LedLockClick(nullptr);
            QVERIFY(WaitUntil([&] { return b.line->WaitPending(); }));
            b.Set(MS_DSR_ON); // a pass starts again
            QCOMPARE(b.w.FEventCount, 1);
        }
        const QByteArray journal = JournalOf(b.w);
        QVERIFY(journal.contains("\tGETRENNT\tPort=COM2\tFehler="));
        QCOMPARE(journal.contains("\tVERBUNDEN\tPort=COM2"), !closeWhileOut);
    }

    // The info box's sentence on the barrier, in every state of its watch; a
    // watch without real-time priority shows in the status bar and the journal.
    void watchTextReadsRight_data() {
        QTest::addColumn<QString>("state");
        QTest::addColumn<QString>("text");
        QTest::newRow("no port") << "none" << "Es ist keine Schnittstelle gewählt.";
        QTest::newRow("not opened") << "closed" << "COM2 ist nicht geöffnet.";
        QTest::newRow("priority not known yet")
            << "unknown" << "COM2 wird überwacht; die Priorität steht noch nicht fest.";
        QTest::newRow("real time")
            << "fifo" << "COM2 wird mit Echtzeit-Priorität 5 (SCHED_FIFO) überwacht.";
        QTest::newRow("normal priority")
            << "normal"
            << "COM2 wird mit normaler Priorität (nice -5) überwacht, ohne Echtzeit: Bei voller "
               "Last können Zeiten einige Millisekunden zu spät sein.";
        QTest::newRow("pulled out") << "lost"
                                    << "COM2 ist getrennt; das Programm versucht jede Sekunde, sie "
                                       "wieder zu öffnen. Bis dahin gilt die Zeitnahme mit Tasten.";
        QTest::newRow("driver cannot wait")
            << "cannot wait"
            << QStringLiteral("COM2 ist getrennt (%1). Die Zeitnahme gilt mit Tasten, bis die "
                              "Schnittstelle in den Einstellungen wieder geöffnet ist.")
                   .arg(SystemErrorText(ENOTTY));
    }
    void watchTextReadsRight() {
        QFETCH(QString, state);
        QFETCH(QString, text);
        const TThreadPriority got{state == QStringLiteral("fifo") ? TThreadPriority::Fifo
                                                                  : TThreadPriority::Normal,
                                  state == QStringLiteral("fifo") ? 5 : -5};
        const bool known = state == QStringLiteral("fifo") || state == QStringLiteral("normal");
        if (known) TComBackend::Current().RaisePriority = [got] { return got; };
        InScratch scratch;
        Barrier b(0);
        if (known) QVERIFY(WaitUntil([&] { return !b.w.BarrierWatchText().contains("noch"); }));
        QTest::qWait(20); // the window hears of it
        if (state == QStringLiteral("closed") || state == QStringLiteral("none")) b.w.ComPort->Close();
        if (state == QStringLiteral("none")) b.w.ComPort->Port = 0;
        if (state == QStringLiteral("lost") || state == QStringLiteral("cannot wait")) {
            b.line->Unplug(state == QStringLiteral("lost") ? EIO : ENOTTY);
            QVERIFY(WaitUntil([&] { return b.w.ComPort->Lost(); }));
        }
        QCOMPARE(b.w.BarrierWatchText(), text);
        const bool normal = state == QStringLiteral("normal");
        QCOMPARE(b.w.findChild<QLabel*>(QStringLiteral("StatusPanelPriority"))->isVisibleTo(&b.w),
                 normal);
        QCOMPARE(JournalOf(b.w).contains("\tPRIORITAET\tPort=COM2\tPrioritaet=normale"), normal);
    }

    void wholeTwoCarRunByLineChanges() {
        Run.Cars = 2;
        Run.Laps = 2;
        Barrier b(1);
        b.w.FrameTimer1->hcbName->SetText(QStringLiteral("1 Anna"));
        b.w.FrameTimer2->hcbName->SetText(QStringLiteral("2 Bert"));
        b.w.LedLockClick(nullptr);
        uint32_t s = 0;
        for (int i = 0; i < 6; ++i) {
            TickSource::Advance(30000 + 1000 * i);
            if (i) b.EndDeadTime(); // over by now: the clock stays
            s ^= MS_DSR_ON;
            b.Set(s);
        }
        QCOMPARE(b.w.FEventCount, 6);
        QCOMPARE(b.w.SortGrid1->RowCount(), 3);
        QCOMPARE(b.w.SortGrid1->Cells(pcName, 1), QStringLiteral("Anna"));
        QCOMPARE(b.w.SortGrid1->Cells(pcName, 2), QStringLiteral("Bert"));
        QCOMPARE(b.w.SortGrid1->Cells(pcLap1, 1), QStringLiteral("31,00"));
    }
};

QTEST_MAIN(TstBarrier)
#include "tst_barrier.moc"
