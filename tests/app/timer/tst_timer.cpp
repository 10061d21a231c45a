// The timing device as the clock: lines written into a pseudo-terminal reach the
// window as passes at the device's times; rejected lines and gaps are told.
#include "FMain.h"
#include "NoticeLine.h"
#include "Protocol.h"
#include "TickSource.h"
#include "TimerInput.h"
#include "WaitUntil.h"

#include <QTest>
#include <pty.h>
#include <unistd.h>

static TRunSettings Run;

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
    std::unique_ptr<TFormMain> w;
    explicit Device(const QString& channels) {
        char name[256] = {};
        QVERIFY(openpty(&master, &slave, name, nullptr, nullptr) == 0);
        TTimerInput::PathFor = [path = QString::fromLocal8Bit(name)](int) { return path; };
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
};

} // namespace

class TstTimer : public QObject {
    Q_OBJECT
private slots:
    void init() { TickSource::SetManual(1000); }
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
        for (const QByteArray& line : lines) {
            d.Send(line);
            TickSource::Advance(40); // the lines arrive late, at their own pace
            QTest::qWait(5);
        }
        QVERIFY(WaitUntil([&] { return d.w->FEventCount >= events; }));
        QTest::qWait(50);
        QCOMPARE(d.w->FEventCount, events);
        QStringList got;
        for (int r = 1; r < d.w->SortGrid1->RowCount(); ++r)
            if (!d.w->SortGrid1->Cells(pcTotal, r).isEmpty())
                got << QStringList{d.w->SortGrid1->Cells(pcLap1, r), d.w->SortGrid1->Cells(pcLap1 + 1, r),
                                   d.w->SortGrid1->Cells(pcTotal, r)}
                           .join(QLatin1Char(' '));
        QCOMPARE(got.join(QLatin1Char('|')), rows);
        QStringList told;
        for (const QString& n : d.w->NoticeLine->Notices())
            for (const QString& want : notices.split(QLatin1Char('|'), Qt::SkipEmptyParts))
                if (n.contains(want) && !told.contains(want)) told << want;
        QCOMPARE(told.join(QLatin1Char('|')), notices);
    }
};

QTEST_MAIN(TstTimer)
#include "tst_timer.moc"
