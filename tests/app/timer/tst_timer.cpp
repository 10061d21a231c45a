// The timing device as the clock: lines written into a pseudo-terminal reach the
// window as passes at the device's times; rejected lines and gaps are told; the
// device's memory read back after a kill gives every impulse exactly once.
#include "DlgYesNo.h"
#include "FMain.h"
#include "NoticeLine.h"
#include "Protocol.h"
#include "Questions.h"
#include "Recovery.h"
#include "SimComDevice.h"
#include "TickSource.h"
#include "TimeChecks.h"
#include "TimerInput.h"
#include "WaitUntil.h"

#include <QApplication>
#include <QDir>
#include <QPushButton>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

static TRunSettings Run;
static std::unique_ptr<QTemporaryDir> Folder;

namespace {

QByteArray Impulse(int number, const char* channel, const char* time, bool checksum = false) {
    QByteArray line = QStringLiteral(" %1 %2  %3 00")
                          .arg(number, 4, 10, QLatin1Char('0'))
                          .arg(QLatin1String(channel), QLatin1String(time))
                          .toLatin1();
    if (checksum) line += TimerChecksum(line);
    return line;
}

// A window whose timing device is the slave side of a pseudo-terminal.
struct Device {
    int master = -1, slave = -1;
    QString channels;
    std::unique_ptr<TFormMain> w;
    std::shared_ptr<TSimComLine> barrier; // the light barrier, once the script has an edge
    QStringList asked;                    // questions, answered no until "yes"
    bool answer = false;
    explicit Device(const QString& channels) : channels(channels) {
        char name[256] = {};
        QVERIFY(openpty(&master, &slave, name, nullptr, nullptr) == 0);
        TTimerInput::PathFor = [path = QString::fromLocal8Bit(name)](int) { return path; };
        Connect();
    }
    void Connect() {
        w = std::make_unique<TFormMain>(Run);
        w->FrameTimer1->hcbName->SetText(QStringLiteral("Zoë Fuchs"));
        w->Timer->Settings.Port = 7;
        w->Timer->Settings.Channels = channels;
        QVERIFY(w->Timer->Open());
    }
    ~Device() {
        if (barrier) w->ComPort->Close();
        w.reset();
        ::close(slave);
        ::close(master);
    }
    void Send(const QByteArray& line) {
        const QByteArray bytes = line + '\r';
        QCOMPARE(::write(master, bytes.constData(), bytes.size()), ssize_t(bytes.size()));
    }
    void Edge() {
        if (!barrier) {
            barrier = TSimComBus::Attach(2);
            w->ComPort->Port = 2;
            w->ComPort->Tag = 0; // a pass when CTS comes on
            w->ComPort->Open();
            QVERIFY(WaitUntil([&] { return barrier->WaitPending(); }));
            w->LedLockClick(nullptr); // armed
        }
        for (const uint32_t status : {MS_CTS_ON, 0u}) {
            barrier->SetModemStatus(status);
            QVERIFY(WaitUntil([&] { return w->RunSettings.LastModemStatus == status; }));
        }
    }
    // As a kill -9 leaves it: the journal on the disk, the port closed, never shut down;
    // then the program started again and the interrupted run taken up.
    void KillAndRestart() {
        TFormMain* killed = w.release();
        killed->Recovery().FJournal.Flush();
        killed->Timer->Close();
        for (int car = 1; car <= 2; ++car)
            killed->FTimers[car]->Clock->stop();
        killed->hide();
        Connect();
        QTimer::singleShot(0, [] {
            if (auto* d = qobject_cast<TFDlgYesNo*>(QApplication::activeModalWidget()))
                d->YesBtn->click();
        });
        w->Recovery().Offer();
    }
    // "Zeitgeber-Speicher lesen"; the device's side answers RSM with what it stored.
    void ReadMemory(const QList<QByteArray>& stored) {
        w->Timer->mReadMemory->Click();
        QByteArray got;
        for (int i = 0; i < 100 && !got.contains("RSM\r"); ++i) {
            pollfd p{master, POLLIN, 0};
            char buffer[16];
            if (poll(&p, 1, 20) > 0)
                got.append(buffer, std::max<ssize_t>(0, ::read(master, buffer, sizeof buffer)));
        }
        QCOMPARE(got, QByteArray("RSM\r"));
        for (const QByteArray& line : stored)
            Send(line);
        QVERIFY(WaitUntil([&] { return !w->Timer->ReadingMemory(); }));
    }
    // Lines the device sends at their own pace; "-" before a line: stored, never
    // arrived; "edge": the barrier; "wait ms"; "kill"; "rsm"; "yes": questions answered yes;
    // "over": the run over and its questions asked; "reset".
    void Play(const QList<QByteArray>& script) {
        QList<QByteArray> stored;
        for (const QByteArray& step : script) {
            if (!stored.isEmpty() && !step.startsWith(' ') && !step.startsWith('-'))
                QTest::qWait(50); // the lines sent so far are handled
            if (step == "edge") {
                Edge();
            } else if (step.startsWith("wait ")) {
                TickSource::Advance(step.mid(5).toInt());
                if (step.mid(5).toInt() >= TTimeSystems::MatchMs)
                    QTest::qWait(TTimeSystems::MatchMs + 100);
            } else if (step == "kill") {
                KillAndRestart();
            } else if (step == "yes") {
                answer = true;
            } else if (step == "over") { // the run over, its questions asked
                QVERIFY(WaitUntil([&] { return !w->RunInProgress(); }, 5000));
                QTest::qWait(600);
            } else if (step == "reset") {
                w->mReset->Click();
            } else if (step == "rsm") {
                ReadMemory(stored);
            } else {
                stored << (step.startsWith('-') ? step.mid(1) : step);
                if (step.startsWith('-')) continue;
                Send(step);
                TickSource::Advance(40);
                QTest::qWait(5);
            }
        }
    }
    // Laps and total of each row entered, "!" after a flagged time.
    QString Rows() const {
        QStringList got;
        for (int r = 1; r < w->SortGrid1->RowCount(); ++r) {
            if (w->SortGrid1->Cells(pcTotal, r).isEmpty()) continue;
            QStringList cells;
            for (const int col : {int(pcLap1), pcLap1 + 1, int(pcTotal)})
                cells << w->SortGrid1->Cells(col, r) + (w->Checks->CellFlagged(col, r) ? "!" : "");
            got << cells.join(QLatin1Char(' '));
        }
        return got.join(QLatin1Char('|'));
    }
    // Of the texts wanted, those the notice area told or a question asked, in the order wanted.
    QString Told(const QString& wanted) const {
        QStringList told;
        for (const QString& want : wanted.split(QLatin1Char('|'), Qt::SkipEmptyParts))
            for (const QString& n : w->NoticeLine->Notices() + asked)
                if (n.contains(want) && !told.contains(want)) told << want;
        return told.join(QLatin1Char('|'));
    }
};

} // namespace

class TstTimer : public QObject {
    Q_OBJECT
private slots:
    void init() {
        // Each test a day of its own: no journal of the one before.
        Folder = std::make_unique<QTemporaryDir>();
        QDir::setCurrent(Folder->path());
        TickSource::SetManual(1000);
        TTimerInput::ReadQuietMs = 150;
    }

    void cleanup() { TickSource::UseSystem(); }

    void passes_data() {
        QTest::addColumn<int>("cars");
        QTest::addColumn<QList<QByteArray>>("lines");
        QTest::addColumn<int>("events");
        QTest::addColumn<QString>("rows");    // laps and total of each row entered
        QTest::addColumn<QString>("notices"); // told in the notice area
        const QByteArray s = Impulse(1, "C0", "08:00:00.0000"), l = Impulse(2, "C1", "08:00:30.1239"),
                         f = Impulse(3, "C1", "08:01:00.2000");
        QTest::newRow("laps cut from the device's times")
            << 1 << QList{s, l, f} << 3 << "30,12 30,07 1.00,19" << "";
        QTest::newRow("across midnight")
            << 1
            << QList{Impulse(1, "C0", "23:59:50.0000"), Impulse(2, "C1", "00:00:10.0099"),
                     Impulse(3, "C1", "00:00:30.0000")}
            << 3 << "20,00 19,99 39,99" << "";
        QByteArray bad = Impulse(2, "C1", "08:00:30.1239", true);
        bad[27] = bad[27] == '1' ? '2' : '1';
        QTest::newRow("wrong checksum not taken")
            << 1 << QList{Impulse(1, "C0", "08:00:00.0000", true), bad, Impulse(3, "C1", "08:00:40.0000", true),
                          Impulse(4, "C1", "08:01:00.0000", true)}
            << 3 << "40,00 20,00 1.00,00" << "Zeitgeber: Zeile verworfen|Zeitgeber: Impuls 2 fehlt";
        QTest::newRow("unreadable time") << 1 << QList{s, Impulse(2, "C1", "08:00:3x.1239")} << 1 << ""
                                         << "Zeitgeber: Zeile verworfen";
        QTest::newRow("gap told, passes go on")
            << 1 << QList{s, Impulse(3, "C1", "08:00:30.1239"), Impulse(4, "C1", "08:01:00.2000")} << 3
            << "30,12 30,07 1.00,19" << "Zeitgeber: Impuls 2 fehlt";
        QTest::newRow("an impulse sent twice is taken once")
            << 1 << QList{s, l, l, f} << 3 << "30,12 30,07 1.00,19" << "";
        QTest::newRow("other channels and noise pass by")
            << 1 << QList<QByteArray>{s, Impulse(2, "C3", "08:00:10.0000"), "\x01\x7f garbage",
                                      Impulse(3, "C1", "08:00:30.1239"), Impulse(4, "C1", "08:01:00.2000")}
            << 3 << "30,12 30,07 1.00,19" << "Zeitgeber: Kanal C3 zählt nicht";
        QTest::newRow("inside the dead time by the device's clock")
            << 1
            << QList{s, Impulse(2, "C1", "08:00:02.9999"), Impulse(3, "C1", "08:00:30.1239"),
                     Impulse(4, "C1", "08:01:00.2000")}
            << 3 << "30,12 30,07 1.00,19" << "";
        QTest::newRow("two cars: each car's laps from its own times")
            << 2
            << QList{Impulse(1, "C0", "08:00:00.0000"), Impulse(2, "C1", "08:00:30.0099"),
                     Impulse(3, "C0", "08:00:35.0050"), Impulse(4, "C1", "08:01:00.0000"),
                     Impulse(5, "C1", "08:01:05.0149"), Impulse(6, "C1", "08:01:35.0000")}
            << 6 << "30,00 29,99 59,99|30,00 29,98 59,98" << "";
        QTest::newRow("lines starting with T")
            << 1
            << QList<QByteArray>{"T 0001       1 08:00:00.0000  ", "T 0002       2 08:00:30.1239  ",
                                 "T 0003      M2 08:01:00.2     "}
            << 3 << "30,12 30,07 1.00,19" << "";
        // Light barrier (the simulated port) and device both connected.
        QTest::newRow("two systems: the finish 0.021 s apart is flagged")
            << 1
            << QList<QByteArray>{"edge",
                                 s,
                                 "wait 29960",
                                 "edge",
                                 Impulse(2, "C1", "08:00:30.0040"),
                                 "wait 29960",
                                 "edge",
                                 Impulse(3, "C1", "08:01:00.0250")}
            << 3 << "30,00 30,02! 1.00,02"
            << "Zeitgeber und Lichtschranke: 0,0210 s Abweichung";
        QTest::newRow("two systems: no impulse to the lap, filled from the barrier")
            << 1 << QList<QByteArray>{"edge",       s,
                                      "wait 29960", "edge",
                                      "wait 600",   "wait 29400",
                                      "edge",       Impulse(3, "C1", "08:01:00.0100")}
            << 3 << "30,00! 30,01 1.00,01"
            << "Zeitgeber: kein Impuls zur Lichtschranke";
        QTest::newRow("two systems: no edge to the impulse, filled from the device")
            << 1
            << QList<QByteArray>{"edge",
                                 s,
                                 "wait 29960",
                                 Impulse(2, "C1", "08:00:30.0000"),
                                 "wait 29960",
                                 "edge",
                                 Impulse(3, "C1", "08:01:00.0000")}
            << 3 << "30,00! 30,00 1.00,00"
            << "Lichtschranke: kein Durchgang zu Impuls 2";
        // The device's memory read back; a kill -9 between impulses: each taken once.
        QTest::newRow("killed between impulses, the missed one read back, twice")
            << 1 << QList<QByteArray>{s, l, "kill", "-" + f, "rsm", "rsm"} << 3
            << "30,12 30,07 1.00,19"
            << "Zeitgeber-Speicher: 1 Impuls übernommen";
        QTest::newRow("killed, nothing new in the memory, the rest live at the device's times")
            << 1 << QList<QByteArray>{s, "kill", "rsm", l, f} << 3 << "30,12 30,07 1.00,19"
            << "";
        QTest::newRow("a line lost at the end of what came, read back")
            << 1 << QList<QByteArray>{s, "-" + l, "rsm", f} << 3 << "30,12 30,07 1.00,19"
            << "Zeitgeber-Speicher: 1 Impuls übernommen";
        QTest::newRow("a lost one between passes is told, not taken")
            << 1 << QList<QByteArray>{s, "-" + l, f, "rsm"} << 2 << ""
            << "Zeitgeber: Impuls 2 fehlt|Impuls 2 liegt zwischen zwei Durchgängen";
        QTest::newRow("the run over: told once it is, kept for the next run")
            << 1 << QList<QByteArray>{s, l, f, "-" + Impulse(4, "C0", "08:05:00.0000"), "rsm"} << 3
            << "30,12 30,07 1.00,19"
            << "Zeitgeber-Speicher: 1 Impuls nach dem Lauf";
        QTest::newRow("all cars in: kept for the next run, taken after RESET")
            << 1
            << QList<QByteArray>{s, l, f, "-" + Impulse(4, "C0", "08:05:00.0000"),
                                 "-" + Impulse(5, "C1", "08:05:30.0000"), "yes", "rsm", "over", "reset", "rsm"}
            << 2 << "30,12 30,07 1.00,19" << "2 Impulse nach dem Lauf|Als Durchgänge übernehmen?";
    }
    void passes() {
        QFETCH(int, cars);
        QFETCH(QList<QByteArray>, lines);
        QFETCH(int, events);
        QFETCH(QString, rows);
        QFETCH(QString, notices);
        Run.Cars = cars;
        Run.Laps = 2;
        Device d(cars == 1 && lines[0].startsWith('T') ? QStringLiteral("C1,C2")
                                                       : QStringLiteral("C0,C1"));
        const auto ask = Questions::AskYesNo;
        const auto restore = qScopeGuard([ask] { Questions::AskYesNo = ask; });
        Questions::AskYesNo = [&d](const QString& q) { return d.asked << q, d.answer; };
        d.Play(lines);
        QVERIFY(WaitUntil([&] { return d.w->FEventCount >= events; }, 5000));
        // A question waits for the end of the run.
        QVERIFY(WaitUntil([&] { return d.Told(notices) == notices; }, 5000));
        QCOMPARE(d.w->FEventCount, events);
        QCOMPARE(d.Rows(), rows);
        QCOMPARE(d.Told(notices), notices);
    }
};

QTEST_MAIN(TstTimer)
#include "tst_timer.moc"
