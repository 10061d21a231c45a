// Reading a journal back: what counts, what is passed over, what is offered.
#include "Journal.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

namespace {

const QString Program = QStringLiteral("Zeitnahme");

QByteArray Header(const QString& program = Program) {
    return Journal::HeaderLine(program, QStringLiteral("boot-a"),
                               QDateTime::fromMSecsSinceEpoch(0, Qt::UTC));
}

// "S1@1000" START car 1 at tick 1000, "L", "F", "D" (DNF), "R" RESET, "U" UNDO, "E" RESULT,
// "Q" the closing line, "B0"/"B1" a backup without/with the run's results.
QByteArray Lines(const QString& events, int cars = 2, int laps = 2) {
    QByteArray out;
    qint64 wall = 1000000;
    for (const QString& ev : events.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const QDateTime t = QDateTime::fromMSecsSinceEpoch(wall += 1000, Qt::UTC);
        const QChar k = ev.at(0);
        if (k == QLatin1Char('Q')) {
            out += Journal::EventLine(t, Journal::EndEvent, {});
            continue;
        }
        if (k == QLatin1Char('B')) {
            out +=
                Journal::EventLine(t, Journal::BackupEvent,
                                   {{QStringLiteral("Datei"), QStringLiteral("/tmp/Zeitnahme.txt")},
                                    {QStringLiteral("Geaendert"), QStringLiteral("1")},
                                    {QStringLiteral("Ergebnis"), ev.mid(1)}});
            continue;
        }
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

    // What a start needs to know of the last program run besides its run.
    void programRunEnd_data() {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("unclean");
        QTest::addColumn<bool>("found");
        QTest::addColumn<bool>("backup");
        QTest::newRow("header only: killed at once") << QByteArray() << true << false << false;
        QTest::newRow("closed properly")
            << Lines("S1@1 L1@2 S2@3 F1@4 L2@5 F2@6 E B1 Q") << false << false << true;
        QTest::newRow("quit inside a run: offered, protocol not restored")
            << Lines("S1@1 L1@2 B0 Q") << false << true << true;
        QTest::newRow("killed after a backup") << Lines("S1@1 L1@2 B0") << true << true << true;
        QTest::newRow("killed between the backup with results and RESULT")
            << Lines("S1@1 L1@2 S2@3 F1@4 L2@5 F2@6 B1") << true << false << true;
        QTest::newRow("a backup during the run does not enter it")
            << Lines("S1@1 L1@2 S2@3 B1") << true << true << true;
        QTest::newRow("closing line torn off")
            << Lines("S1@1 B0") + "2026-12-07T10:00:00.000Z\tEN" << true << true << true;
    }
    void programRunEnd() {
        QFETCH(QByteArray, body);
        QFETCH(bool, unclean);
        QFETCH(bool, found);
        QFETCH(bool, backup);
        const QByteArray file = Header() + body;
        const Journal::TInterruptedRun run = Journal::AnalyseJournal(file, file, Program);
        QCOMPARE(run.Unclean, unclean);
        QCOMPARE(run.Found, found);
        QCOMPARE(run.BackupFile.isEmpty(), !backup);
        QCOMPARE(run.BackupModified, backup);
        QVERIFY(run.Problem.isEmpty());
        if (found) QCOMPARE(run.Walls.size(), run.Events.size());
    }

    // A journal that cannot be read says why, at once; nothing is offered.
    void unreadable_data() {
        QTest::addColumn<QString>("kind");
        QTest::newRow("a pipe") << "fifo";
        QTest::newRow("a folder") << "dir";
        QTest::newRow("binary garbage") << "garbage";
        QTest::newRow("another program's") << "other";
    }
    void unreadable() {
        QFETCH(QString, kind);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Zeitnahme.journal"));
        QFile f(path);
        if (kind == QLatin1String("fifo"))
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0644), 0);
        else if (kind == QLatin1String("dir"))
            QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("Zeitnahme.journal")));
        else
            QVERIFY(f.open(QIODevice::WriteOnly) &&
                    f.write(kind == QLatin1String("other")
                                ? Header(QStringLiteral("Rallye")) + Lines("S1@1")
                                : QByteArray("\x7f\x01\x02 no journal\n")) > 0);
        f.close();
        const auto run = Journal::ReadInterruptedRun(path, Program);
        QVERIFY(!run.Found);
        QVERIFY(!run.Unclean);
        QVERIFY(!run.Problem.isEmpty());
        // The writer keeps it as the previous journal and starts a new one without waiting.
        const QString previous = dir.filePath(QStringLiteral("Zeitnahme.vorher.journal"));
        TJournalWriter w;
        QVERIFY(w.Start(path, previous, Header()));
        QVERIFY(QFileInfo::exists(previous) || QFileInfo(previous).isSymLink());
        QFile now(path);
        QVERIFY(now.open(QIODevice::ReadOnly));
        QCOMPARE(now.readAll(), Header());
    }

    // The new journal holds its first lines on the disk the moment it takes the
    // old one's place, and the old one is kept whole.
    void handOver_data() {
        QTest::addColumn<QByteArray>("old");
        QTest::newRow("no journal before") << QByteArray();
        QTest::newRow("an interrupted run") << Header() + Lines("S1@1000 L1@2000");
        QTest::newRow("a torn last line") << Header() + Lines("S1@1000") + "2026-12-07T10:0";
    }
    void handOver() {
        QFETCH(QByteArray, old);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Zeitnahme.journal"));
        const QString previous = dir.filePath(QStringLiteral("Zeitnahme.vorher.journal"));
        if (!old.isEmpty()) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly) && f.write(old) == old.size());
        }
        const QByteArray first = Header() + Lines("S1@1000 L1@2000");
        TJournalWriter w;
        QVERIFY(w.Start(path, previous, first));
        // Read before anything was flushed, as a kill right now would leave it.
        QFile now(path), before(previous);
        QVERIFY(now.open(QIODevice::ReadOnly));
        QCOMPARE(now.readAll(), first);
        QCOMPARE(before.open(QIODevice::ReadOnly), !old.isEmpty());
        if (!old.isEmpty()) QCOMPARE(before.readAll(), old);
        w.Append(Lines("S2@2500"));
        w.Flush();
        QCOMPARE(w.Failures(), 0);
        now.seek(0);
        QCOMPARE(now.readAll(), first + Lines("S2@2500"));
    }

    void question_data() {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("number");
        QTest::addColumn<int>("cars");
        QTest::addColumn<QString>("name2");
        QTest::addColumn<QString>("question");
        QTest::newRow("two cars")
            << "Sprint"
            << "3" << 2 << "7 Eva"
            << "Der letzte Lauf wurde unterbrochen:\nSprint\n"
               "Lauf 3 (12 Jörg\tM\\x, 7 Eva), letztes Ereignis %1: fortsetzen?";
        QTest::newRow("one car: the second name is not its")
            << ""
            << "12" << 1 << "7 Eva"
            << "Der letzte Lauf wurde unterbrochen:\n"
               "Lauf 12 (12 Jörg\tM\\x), letztes Ereignis %1: fortsetzen?";
        QTest::newRow("no number, blank name")
            << " "
            << "" << 2 << " "
            << "Der letzte Lauf wurde unterbrochen:\n"
               "Lauf (12 Jörg\tM\\x), letztes Ereignis %1: fortsetzen?";
    }
    void question() {
        QFETCH(QString, title);
        QFETCH(QString, number);
        QFETCH(int, cars);
        QFETCH(QString, name2);
        QFETCH(QString, question);
        QByteArray body = Lines("S1@1000 L1@2000", cars, 2);
        body.replace("\tName1", "\tLauf=" + number.toUtf8() + "\tTitel=" + title.toUtf8() +
                                    "\tName2=" + name2.toUtf8() + "\tName1");
        const QByteArray file = Header() + body;
        const auto run = Journal::AnalyseJournal(file, file, Program);
        QVERIFY(run.Found);
        const QString last = run.Walls.back().toLocalTime().toString(QStringLiteral("HH:mm:ss"));
        QCOMPARE(last,
                 QDateTime::fromMSecsSinceEpoch(1002000).toString(QStringLiteral("HH:mm:ss")));
        QCOMPARE(Journal::RecoveryQuestion(run), question.arg(last));
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
        // Kept under the previous name, never copied: it is the very same file.
        struct stat before, after;
        QCOMPARE(::stat(QFile::encodeName(path).constData(), &before), 0);
        const QString previous = dir.filePath(QStringLiteral("Zeitnahme.vorher.journal"));
        TJournalWriter w;
        QVERIFY(w.Start(path, previous, Header()));
        QCOMPARE(::stat(QFile::encodeName(previous).constData(), &after), 0);
        QCOMPARE(after.st_ino, before.st_ino);
        QCOMPARE(QFileInfo(path).size(), qint64(Header().size()));
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
