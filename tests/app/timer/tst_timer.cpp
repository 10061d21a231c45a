// The timing device as the clock: lines written into a pseudo-terminal reach the
// window as passes at the device's times; rejected lines and gaps are told; the
// device's memory read back after a kill gives every impulse exactly once.
#include "DlgYesNo.h"
#include "FMain.h"
#include "Journal.h"
#include "NoticeLine.h"
#include "Protocol.h"
#include "Recovery.h"
#include "SimComDevice.h"
#include "TimeChecks.h"
#include "TickSource.h"
#include "TimerInput.h"
#include "Questions.h"
#include "WaitUntil.h"

#include <QApplication>
#include <QDir>
#include <QFile>
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
    explicit Device(const QString& channels) : channels(channels) {
        char name[256] = {};
        QVERIFY(openpty(&master, &slave, name, nullptr, nullptr) == 0);
        TTimerInput::PathFor = [path = QString::fromLocal8Bit(name)](int) { return path; };
        Connect();
    }
    void Connect() {
        w = std::make_unique<TFormMain>(Run);
        w->Timer->Settings.Port = 7;
        w->Timer->Settings.Channels = channels;
        QVERIFY(w->Timer->Open());
    }
    ~Device() {
        w.reset();
        ::close(slave);
        ::close(master);
    }
    void Send(const QByteArray& line) {
        const QByteArray bytes = line + '\r';
        QCOMPARE(::write(master, bytes.constData(), bytes.size()), ssize_t(bytes.size()));
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
            if (auto* d = qobject_cast<TFDlgYesNo*>(QApplication::activeModalWidget())) d->YesBtn->click();
        });
        w->Recovery().Offer();
    }
    // The device's side: RSM comes, the stored lines go back.
    void AnswerRsm(const QList<QByteArray>& stored) {
        QByteArray got;
        for (int i = 0; i < 100 && !got.contains("RSM\r"); ++i) {
            pollfd p{master, POLLIN, 0};
            if (poll(&p, 1, 20) > 0) {
                char buffer[16];
                const ssize_t n = ::read(master, buffer, sizeof buffer);
                if (n > 0) got.append(buffer, n);
            }
        }
        QCOMPARE(got, QByteArray("RSM\r"));
        for (const QByteArray& line : stored)
            Send(line);
    }
    void SendAll(const QList<QByteArray>& lines) {
        for (const QByteArray& line : lines) {
            Send(line);
            TickSource::Advance(40); // the lines arrive late, at their own pace
            QTest::qWait(5);
        }
    }
    QString Rows() const {
        QStringList got;
        for (int r = 1; r < w->SortGrid1->RowCount(); ++r)
            if (!w->SortGrid1->Cells(pcTotal, r).isEmpty())
                got << QStringList{w->SortGrid1->Cells(pcLap1, r), w->SortGrid1->Cells(pcLap1 + 1, r),
                                   w->SortGrid1->Cells(pcTotal, r)}
                           .join(QLatin1Char(' '));
        return got.join(QLatin1Char('|'));
    }
    // Of the texts wanted, those the notice area told, in the order wanted.
    QString Told(const QString& wanted) const {
        QStringList told;
        for (const QString& want : wanted.split(QLatin1Char('|'), Qt::SkipEmptyParts))
            for (const QString& n : w->NoticeLine->Notices())
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
            << 3 << "30,12 30,07 1.00,19" << "";
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
    }
    void passes() {
        QFETCH(int, cars);
        QFETCH(QList<QByteArray>, lines);
        QFETCH(int, events);
        QFETCH(QString, rows);
        QFETCH(QString, notices);
        Run.Cars = cars;
        Run.Laps = 2;
        Device d(cars == 1 && lines[0].startsWith('T') ? QStringLiteral("C1,C2") : QStringLiteral("C0,C1"));
        d.SendAll(lines);
        QVERIFY(WaitUntil([&] { return d.w->FEventCount >= events; }));
        QTest::qWait(50);
        QCOMPARE(d.w->FEventCount, events);
        QCOMPARE(d.Rows(), rows);
        QCOMPARE(d.Told(notices), notices);
    }

    // Light barrier (the simulated port) and device both connected: each pass at the
    // device's time, differences over 0.01 s and passes of one side alone marked.
    void twoSystems_data() {
        QTest::addColumn<QStringList>("script"); // E: barrier edge, I n time: impulse, T ms: time passes
        QTest::addColumn<QString>("rows");
        QTest::addColumn<QString>("marks"); // the result row's flagged fields
        QTest::newRow("each pass with its impulse, the finish 0.021 s apart")
            << QStringList{"E", "T 30", "I 1 C0 08:00:00.0000", "T 29970", "E", "T 30", "I 2 C1 08:00:30.0040",
                           "T 29970", "E", "T 30", "I 3 C1 08:01:00.0250"}
            << "30,00 30,02 1.00,02" << "2: Zeitgeber und Lichtschranke 0,0210 s auseinander";
        QTest::newRow("no impulse to the lap: filled from the barrier")
            << QStringList{"E", "T 30", "I 1 C0 08:00:00.0000", "T 29970", "E", "T 600", "T 29400", "E",
                           "T 30", "I 3 C1 08:01:00.0100"}
            << "30,00 30,01 1.00,01" << "1: Durchgang ohne Impuls des Zeitgebers, von der Lichtschranke ergänzt";
        QTest::newRow("no edge to the impulse: filled from the device")
            << QStringList{"E", "T 30", "I 1 C0 08:00:00.0000", "T 30000", "I 2 C1 08:00:30.0000",
                           "T 29970", "E", "T 30", "I 3 C1 08:01:00.0000"}
            << "30,00 30,00 1.00,00" << "1: Durchgang ohne Lichtschranke, vom Zeitgeber ergänzt";
    }
    void twoSystems() {
        QFETCH(QStringList, script);
        Run.Cars = 1;
        Run.Laps = 2;
        Device d(QStringLiteral("C0,C1"));
        d.w->FrameTimer1->hcbName->SetText(QStringLiteral("Zoë Fuchs"));
        const auto line = TSimComBus::Attach(2);
        d.w->ComPort->Port = 2;
        d.w->ComPort->Tag = 0; // a pass when CTS comes on
        d.w->ComPort->Open();
        QVERIFY(WaitUntil([&] { return line->WaitPending(); }));
        if (d.w->LedLock->Kind() != lkGreen) d.w->LedLockClick(nullptr); // armed
        const auto set = [&](uint32_t status) {
            line->SetModemStatus(status);
            QVERIFY(WaitUntil([&] { return d.w->RunSettings.LastModemStatus == status; }));
        };
        for (const QString& step : script) {
            const QStringList a = step.split(QLatin1Char(' '));
            if (a[0] == QLatin1String("E")) {
                set(MS_CTS_ON);
                set(0);
            } else if (a[0] == QLatin1String("T")) {
                TickSource::Advance(a[1].toInt());
                if (a[1].toInt() >= TTimeSystems::MatchMs) QTest::qWait(TTimeSystems::MatchMs + 100);
            } else {
                const int events = d.w->FEventCount;
                d.Send(Impulse(a[1].toInt(), qPrintable(a[2]), qPrintable(a[3])));
                QVERIFY(WaitUntil([&] { return d.w->FEventCount > events; }));
            }
        }
        QVERIFY(WaitUntil([&] { return d.w->FEventCount >= 3; }));
        QTEST(d.Rows(), "rows");
        const int row = d.w->SortGrid1->FindRow(pcName, QStringLiteral("Zoë Fuchs"), false);
        QStringList marks;
        for (int col : {int(pcLap1), pcLap1 + 1, int(pcTotal)}) {
            const QString note = d.w->Checks->CellNote(col, row);
            const QString flagged = QStringLiteral("Auffällig: ");
            if (note.contains(flagged))
                marks << QStringLiteral("%1: %2").arg(col == pcTotal ? 0 : col - pcLap1 + 1)
                                                .arg(note.section(flagged, 1).section(QLatin1Char('\n'), 0, 0));
        }
        QTEST(marks.join(QLatin1Char('|')), "marks");
        d.w->ComPort->Close();
    }

    // The device's memory read back ("Zeitgeber-Speicher lesen"), after a kill -9
    // between impulses too: every impulse is taken exactly once.
    void readBack_data() {
        QTest::addColumn<QList<QByteArray>>("live"); // before the read-back
        QTest::addColumn<bool>("kill");              // and a kill -9 after them
        QTest::addColumn<QList<QByteArray>>("stored");
        QTest::addColumn<QList<QByteArray>>("after"); // live after the read-back
        QTest::addColumn<int>("events");
        QTest::addColumn<QString>("rows");
        QTest::addColumn<QString>("notices");
        QTest::addColumn<bool>("asked"); // the run was over: a question (answered no)
        const QByteArray s = Impulse(1, "C0", "08:00:00.0000"), l = Impulse(2, "C1", "08:00:30.1239"),
                         f = Impulse(3, "C1", "08:01:00.2000"), n = Impulse(4, "C0", "08:05:00.0000");
        QTest::newRow("killed between impulses, the missed one read back")
            << QList{s, l} << true << QList{s, l, f} << QList<QByteArray>{} << 3 << "30,12 30,07 1.00,19"
            << "Zeitgeber-Speicher: 1 Impulse übernommen" << false;
        QTest::newRow("killed, the rest live, nothing new in the memory")
            << QList{s} << true << QList{s} << QList{l, f} << 3 << "30,12 30,07 1.00,19"
            << "" << false;
        QTest::newRow("a line lost at the end of what came")
            << QList{s} << false << QList{s, l} << QList{f} << 3 << "30,12 30,07 1.00,19"
            << "Zeitgeber-Speicher: 1 Impulse übernommen" << false;
        QTest::newRow("a lost one between passes is told, not taken")
            << QList{s, f} << false << QList{s, l, f} << QList<QByteArray>{} << 2 << ""
            << "Zeitgeber: Impuls 2 fehlt|Impuls 2 liegt zwischen zwei Durchgängen" << false;
        QTest::newRow("the run over: asked first")
            << QList{s, l, f} << false << QList{s, l, f, n} << QList<QByteArray>{} << 3
            << "30,12 30,07 1.00,19" << "" << true;
    }
    void readBack() {
        QFETCH(QList<QByteArray>, live);
        QFETCH(bool, kill);
        QFETCH(QList<QByteArray>, stored);
        QFETCH(QList<QByteArray>, after);
        QFETCH(int, events);
        Run.Cars = 1;
        Run.Laps = 2;
        QString question;
        const auto ask = Questions::AskYesNo;
        const auto restore = qScopeGuard([ask] { Questions::AskYesNo = ask; });
        Questions::AskYesNo = [&question](const QString& q) {
            question = q;
            return false;
        };
        Device d(QStringLiteral("C0,C1"));
        d.SendAll(live);
        QVERIFY(WaitUntil([&] { return d.w->FEventCount >= std::min<int>(live.size(), events); }));
        if (kill) d.KillAndRestart();
        d.w->Timer->mReadMemory->Click();
        d.AnswerRsm(stored);
        QVERIFY(WaitUntil([&] { return !d.w->Timer->ReadingMemory(); }));
        d.SendAll(after);
        QVERIFY(WaitUntil([&] { return d.w->FEventCount >= events; }));
        QFETCH(bool, asked);
        // Once the run is over, a moment after its last event.
        if (asked) QVERIFY(WaitUntil([&] { return !question.isEmpty(); }, 5000));
        QCOMPARE(question.contains(QStringLiteral("Impuls 4")), asked);
        QCOMPARE(d.w->FEventCount, events);
        QTEST(d.Rows(), "rows");
        QFETCH(QString, notices);
        QCOMPARE(d.Told(notices), notices);

        // Read back once more: nothing is offered twice.
        question.clear();
        d.w->Timer->mReadMemory->Click();
        d.AnswerRsm(stored);
        QVERIFY(WaitUntil([&] { return !d.w->Timer->ReadingMemory(); }));
        QCOMPARE(d.w->FEventCount, events);
        // The journals hold each impulse's pass once, with its tick.
        d.w->Recovery().FJournal.Flush();
        QMap<QString, int> passes;
        for (const QString& path : d.w->JournalFiles()) {
            QFile file(path);
            if (!file.open(QIODevice::ReadOnly)) continue; // no journal before this one
            for (const QByteArray& line : file.readAll().split('\n')) {
                Journal::TLine j;
                if (Journal::ParseLine(line, j) && j.Event == QLatin1String("TIMER") && j.Has(QStringLiteral("Tick")))
                    ++passes[j.Value(QStringLiteral("number"))];
            }
        }
        QCOMPARE(passes.size(), events);
        for (int count : passes)
            QCOMPARE(count, 1);
    }
};

QTEST_MAIN(TstTimer)
#include "tst_timer.moc"
