// Reading a journal back: what counts, what is passed over, what is offered.
#include "Journal.h"

#include <QTemporaryDir>
#include <QTest>

namespace {

const QString Program = QStringLiteral("Zeitnahme");

QByteArray Header(const QString& program = Program) {
    return Journal::HeaderLine(program, QStringLiteral("boot-a"),
                               QDateTime::fromMSecsSinceEpoch(0, Qt::UTC));
}

// "S1@1000" START car 1 at tick 1000, "L", "F", "D" (DNF), "R" RESET, "U" UNDO, "E" RESULT.
QByteArray Lines(const QString& events, int cars = 2, int laps = 2) {
    QByteArray out;
    qint64 wall = 1000000;
    for (const QString& ev : events.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const QDateTime t = QDateTime::fromMSecsSinceEpoch(wall += 1000, Qt::UTC);
        const QChar k = ev.at(0);
        if (k == QLatin1Char('R') || k == QLatin1Char('U') || k == QLatin1Char('E')) {
            out += Journal::EventLine(t,
                                      k == QLatin1Char('R')   ? QStringLiteral("RESET")
                                      : k == QLatin1Char('U') ? QStringLiteral("UNDO")
                                                              : QStringLiteral("RESULT"),
                                      {});
            continue;
        }
        const QString name = k == QLatin1Char('S')   ? QStringLiteral("START")
                             : k == QLatin1Char('L') ? QStringLiteral("LAP")
                             : k == QLatin1Char('F') ? QStringLiteral("FINISH")
                                                     : QStringLiteral("DNF");
        out += Journal::EventLine(t, name,
                                  {{QStringLiteral("Auto"), ev.mid(1, 1)},
                                   {QStringLiteral("Tick"), ev.mid(3)},
                                   {QStringLiteral("Autos"), QString::number(cars)},
                                   {QStringLiteral("Runden"), QString::number(laps)},
                                   {QStringLiteral("Name1"), QStringLiteral("12 Jörg\tM\\x")}});
    }
    return out;
}

} // namespace

class TstJournal : public QObject {
    Q_OBJECT
private slots:
    void analyse_data() {
        QTest::addColumn<QByteArray>("head");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("events"); // -1: nothing offered
        const QByteArray run = Lines("S1@1000 L1@2000 S2@2500");
        QTest::newRow("inside a run") << Header() << run << 3;
        QTest::newRow("torn last line")
            << Header() << run + "2026-12-07T10:00:00.000Z\tLAP\tAu" << 3;
        QTest::newRow("garbage between")
            << Header() << Lines("S1@1000") + "\x01\xff garbage\n\n=\t=\n" + Lines("L1@2000") << 2;
        QTest::newRow("out of order event passed over")
            << Header() << Lines("S1@1000 F1@2000") << 1;
        QTest::newRow("another program") << Header(QStringLiteral("Rallye")) << run << -1;
        QTest::newRow("no header") << QByteArray() << run << -1;
        QTest::newRow("reset after the run") << Header() << run + Lines("R") << -1;
        QTest::newRow("complete, results entered")
            << Header() << Lines("S1@1000 L1@2000 S2@2500 F1@3000 L2@3500 F2@4000 E") << -1;
        QTest::newRow("complete, killed before the results")
            << Header() << Lines("S1@1000 L1@2000 S2@2500 F1@3000 L2@3500 F2@4000") << 6;
        QTest::newRow("results taken back")
            << Header() << Lines("S1@1000 L1@2000 S2@2500 F1@3000 L2@3500 F2@4000 E U") << 5;
        QTest::newRow("undo to nothing") << Header() << Lines("S1@1000 U") << -1;
        QTest::newRow("dnf completes the run, results entered")
            << Header() << Lines("S1@1000 L1@2000 S2@2500 F1@3000 D2@3100 E") << -1;
        QTest::newRow("next run after a reset")
            << Header() << Lines("S1@1000 L1@2000 R S1@9000") << 1;
    }
    void analyse() {
        QFETCH(QByteArray, head);
        QFETCH(QByteArray, body);
        QFETCH(int, events);
        const QByteArray file = head + body;
        const Journal::TInterruptedRun run = Journal::AnalyseJournal(file, file, Program);
        QCOMPARE(run.Found, events >= 0);
        if (events < 0) return;
        QCOMPARE(int(run.Events.size()), events);
        QCOMPARE(run.Name1, QStringLiteral("12 Jörg\tM\\x"));
        QCOMPARE(run.Events.back().Tick, uint32_t(run.RefTick));
    }

    void oneCarSettingsCarried() {
        const QByteArray file = Header() + Lines("S1@100 L1@200 L1@300", 1, 4);
        const auto run = Journal::AnalyseJournal(file, file, Program);
        QVERIFY(run.Found);
        QCOMPARE(run.Cars, 1);
        QCOMPARE(run.Laps, 4);
    }

    // A journal far beyond what is read: only its tail counts, the program starts.
    void hugeFile() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Zeitnahme.journal"));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(Header());
        const QByteArray filler = Lines("S1@1 L1@2 S2@3 F1@4 L2@5 F2@6 E R");
        while (f.size() < 3 * Journal::MaxTail)
            f.write(filler);
        f.write(QByteArray(5000, 'x')); // a line far longer than any
        f.write("\n" + Lines("S1@70000 L1@71000"));
        f.close();
        const auto run = Journal::ReadInterruptedRun(path, Program);
        QVERIFY(run.Found);
        QCOMPARE(int(run.Events.size()), 2);
        QCOMPARE(run.Events.front().Tick, 70000u);
        QVERIFY(!Journal::ReadInterruptedRun(dir.filePath(QStringLiteral("none")), Program).Found);
    }

    void tickOffset_data() {
        QTest::addColumn<QString>("bootThen");
        QTest::addColumn<QString>("bootNow");
        QTest::addColumn<uint>("nowTick");
        QTest::addColumn<uint>("offset");
        // The reference event was 90 s ago by the wall clock, at tick 4000000000.
        QTest::newRow("same boot: ticks as they are") << "a"
                                                      << "a" << 123u << 0u;
        QTest::newRow("rebooted: the wall clock's 90 s")
            << "a"
            << "b" << 500000u << uint(500000u - 90000u - 4000000000u);
        QTest::newRow("no boot id: the wall clock")
            << ""
            << "" << 500000u << uint(500000u - 90000u - 4000000000u);
    }
    void tickOffset() {
        QFETCH(QString, bootThen);
        QFETCH(QString, bootNow);
        QFETCH(uint, nowTick);
        QFETCH(uint, offset);
        Journal::TInterruptedRun run;
        run.BootId = bootThen;
        run.RefTick = 4000000000u;
        const QDateTime now = QDateTime::currentDateTimeUtc();
        run.RefWall = now.addMSecs(-90000);
        QCOMPARE(Journal::TickOffset(run, bootNow, nowTick, now), uint32_t(offset));
    }

    void writerKeepsPreviousJournal() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Zeitnahme.journal"));
        const QString previous = dir.filePath(QStringLiteral("Zeitnahme.vorher.journal"));
        for (const char* text : {"first\n", "second\n"}) {
            TJournalWriter w;
            QVERIFY(w.Start(path, previous, Header()));
            w.Append(text);
            w.Flush();
            QCOMPARE(w.Failures(), 0);
        }
        QFile now(path), before(previous);
        QVERIFY(now.open(QIODevice::ReadOnly) && before.open(QIODevice::ReadOnly));
        QCOMPARE(now.readAll(), Header() + "second\n");
        QCOMPARE(before.readAll(), Header() + "first\n");
    }
};

QTEST_MAIN(TstJournal)
#include "tst_journal.moc"
