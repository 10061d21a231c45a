// An event day in rounds: who drives after RESET, and a run that stays one run
// whichever moment a crash interrupts its recording.
#include "EventRecorder.h"
#include "JournalListener.h"
#include "Rounds.h"

#include <QTemporaryDir>
#include <QTest>

namespace {

const QStringList Five{"1 Anna", "2 Bert", "3 Cleo", "4 Dora", "5 Emil"};

// "Bert:2=DNS" the state of an entrant in a round; "!Cleo" excluded for the day.
TRounds RoundsOf(const QStringList& marks) {
    TRounds r;
    QStringList excluded;
    int n = 0;
    for (const QString& m : marks) {
        if (m.startsWith(QLatin1Char('!'))) {
            excluded << m.mid(1);
            continue;
        }
        const QString who = m.section(QLatin1Char(':'), 0, 0);
        const QString round = m.section(QLatin1Char(':'), 1).section(QLatin1Char('='), 0, 0);
        const QString status = m.section(QLatin1Char('='), 1);
        r.NoteRun(QStringLiteral("run%1").arg(++n), who, round, status);
    }
    if (!excluded.isEmpty())
        r.Excluded = [excluded](const QString& name) {
            return excluded.contains(TRounds::EntrantKey(name), Qt::CaseInsensitive);
        };
    return r;
}

} // namespace

class TstRounds : public QObject {
    Q_OBJECT
private slots:
    void rollOver_data();
    void rollOver();
    void crashPoints_data();
    void crashPoints();
};

void TstRounds::rollOver_data() {
    QTest::addColumn<QStringList>("marks");
    QTest::addColumn<QList<int>>("current");
    QTest::addColumn<int>("round");
    QTest::addColumn<QList<int>>("next");
    QTest::addColumn<int>("nextRound");
    QTest::newRow("next entrant of the round") << QStringList{"Anna:1=ok"} << QList<int>{0} << 1
                                               << QList<int>{1} << 1;
    QTest::newRow("last entrant begins the next round with the first")
        << QStringList{} << QList<int>{4} << 2 << QList<int>{0} << 3;
    QTest::newRow("DNS in this round is passed over")
        << QStringList{"Bert:1=DNS"} << QList<int>{0} << 1 << QList<int>{2} << 1;
    QTest::newRow("DNS of an earlier round is not")
        << QStringList{"Bert:1=DNS"} << QList<int>{0} << 2 << QList<int>{1} << 2;
    QTest::newRow("DNS of the first entrant in the next round")
        << QStringList{"Anna:3=DNS"} << QList<int>{4} << 2 << QList<int>{1} << 3;
    QTest::newRow("DNS of the last entrant ends the round early")
        << QStringList{"Emil:1=DNS"} << QList<int>{3} << 1 << QList<int>{0} << 2;
    QTest::newRow("excluded for the day, every round")
        << QStringList{"!Anna", "!Bert"} << QList<int>{4} << 1 << QList<int>{2} << 2;
    QTest::newRow("a rerun is driven before the next round")
        << QStringList{"Bert:1=Wiederholung"} << QList<int>{4} << 1 << QList<int>{1} << 1;
    QTest::newRow("a rerun driven again: the round is over")
        << QStringList{"Bert:1=Wiederholung", "Bert:1=ok", "Cleo:1=ok", "Dora:1=ok", "Emil:1=ok"}
        << QList<int>{1} << 1 << QList<int>{0} << 2;
    QTest::newRow("one driven out of order is not asked again")
        << QStringList{"Cleo:1=ok"} << QList<int>{1} << 1 << QList<int>{3} << 1;
    QTest::newRow("two cars take the next two")
        << QStringList{"Cleo:1=DNS"} << QList<int>{0, 1} << 1 << QList<int>{3, 4} << 1;
    QTest::newRow("two cars: a run never mixes two rounds")
        << QStringList{} << QList<int>{2, 3} << 1 << QList<int>{4, -1} << 1;
    QTest::newRow("two cars: the next round in pairs")
        << QStringList{} << QList<int>{4, -1} << 1 << QList<int>{0, 1} << 2;
    QTest::newRow("a box without an entry moves as before")
        << QStringList{} << QList<int>{-1, -1} << 1 << QList<int>{1, 1} << 1;
    QTest::newRow("everybody excluded: nobody, the round stays")
        << QStringList{"!Anna", "!Bert", "!Cleo", "!Dora", "!Emil"} << QList<int>{0} << 1
        << QList<int>{-1} << 1;
}

void TstRounds::rollOver() {
    QFETCH(QStringList, marks);
    QFETCH(QList<int>, current);
    QFETCH(int, round);
    QFETCH(QList<int>, next);
    QFETCH(int, nextRound);
    const TRounds r = RoundsOf(marks);
    const TRounds::TNext got = r.Next(Five, std::vector<int>(current.begin(), current.end()), round);
    QCOMPARE(QList<int>(got.Index.begin(), got.Index.end()), next);
    QCOMPARE(got.Round, nextRound);
    QCOMPARE(got.NewRound, nextRound != round);
}

// A run is timed, its results entered; the program dies at one moment of writing
// them. The next start adds what the database lacks and, for a run the journal
// shows unfinished, replays it (the official answered "Ja").
void TstRounds::crashPoints_data() {
    QTest::addColumn<bool>("journalLine"); // the RESULT line reached the journal
    QTest::addColumn<bool>("committed");   // the run reached the database
    QTest::addColumn<int>("added");        // runs the start-up adds from the journal
    QTest::newRow("before the journal line, before the commit") << false << false << 0;
    QTest::newRow("before the journal line, after the commit") << false << true << 0;
    QTest::newRow("after the journal line, before the commit") << true << false << 1;
    QTest::newRow("after the journal line, after the commit") << true << true << 0;
}

void TstRounds::crashPoints() {
    QFETCH(bool, journalLine);
    QFETCH(bool, committed);
    QFETCH(int, added);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Zeitnahme.db"));
    const QDate day(2026, 12, 7);
    QByteArray journal = Journal::HeaderLine(QStringLiteral("Zeitnahme"), QStringLiteral("boot"),
                                             QDateTime(day, QTime(20, 0)));
    TJournalListener lines([&journal](const QString& e, const Journal::TFields& f, qint64 wall) {
        journal += Journal::EventLine(QDateTime::fromMSecsSinceEpoch(wall ? wall : 1796670000000), e, f);
    });
    const auto notice = [](TRunNoticeKind kind, int count, const QString& id) {
        TRunNotice n;
        n.Kind = kind;
        n.Car = 1;
        n.Cars = 1;
        n.Tick = uint32_t(count * 61000);
        n.WallMs = 1796670000000 + count * 61000;
        n.EventCount = count;
        n.RunNumber = QStringLiteral("2");
        n.Title = QStringLiteral("Clubslalom");
        n.Names[1] = QStringLiteral("7 Anna");
        n.RunId = kind == TRunNoticeKind::Start ? id : QString();
        return n;
    };
    TRunResults results;
    results.RunNumber = QStringLiteral("2");
    results.Title = QStringLiteral("Clubslalom");
    results.Cars = 1;
    TEnteredResult row;
    row.StartNumber = QStringLiteral("7");
    row.Name = QStringLiteral("Anna");
    row.LapMs = {61000, 61000};
    row.TotalMs = 122000;
    row.BestMs = 61000;
    results.Rows.push_back(row);
    const auto play = [&](TRunListener& l, const QString& id, TRunEventSource source) {
        int count = 0;
        for (TRunNoticeKind k : {TRunNoticeKind::Start, TRunNoticeKind::Lap, TRunNoticeKind::Finish}) {
            TRunNotice n = notice(k, ++count, id);
            n.Source = source;
            l.RunEvent(n);
        }
    };
    const QString id = NewRecordUuid();
    {
        // The program before the crash: its records reach the file, or a file lost with it.
        TEventStore store;
        store.Start(committed ? path : dir.filePath(QStringLiteral("lost.db")), QStringLiteral("Start"));
        TEventRecorder rec(store);
        rec.Today = [day] { return day; };
        play(lines, id, TRunEventSource::Key);
        play(rec, id, TRunEventSource::Key);
        rec.ResultsEntered(results);
        if (journalLine) lines.ProtocolChanged({TProtocolChangeKind::ResultsEntered});
        QVERIFY(store.Flush());
    }
    // The next start, after midnight.
    const Journal::TInterruptedRun found =
        Journal::AnalyseJournal(journal, journal, QStringLiteral("Zeitnahme"));
    QCOMPARE(found.Found, !journalLine);
    TEventStore store;
    store.Start(path, QStringLiteral("Start"));
    QVERIFY(store.Flush());
    TEventRecorder rec(store);
    rec.Today = [day] { return day.addDays(1); };
    {
        TEventDb reader;
        QVERIFY(reader.OpenForReading(path));
        rec.Resume(reader, found.Found);
        std::vector<TRunRecord> entered;
        for (const Journal::TEnteredRun& e : found.Entered)
            entered.push_back(TEventRecorder::FromJournal(e));
        QCOMPARE(rec.AddMissing(reader, entered, found.Title), added);
    }
    if (found.Found) {
        play(rec, found.RunIds[1], TRunEventSource::Restored);
        rec.ResultsEntered(results);
    }
    QVERIFY(store.Flush());
    store.Stop();
    TEventDb db;
    QVERIFY(db.OpenForReading(path));
    QCOMPARE(db.RunCount(), 1);
    const std::vector<TEventInfo> events = db.Events();
    QCOMPARE(int(events.size()), 1);
    const std::vector<TRunRecord> runs = db.Runs(events[0].Uuid);
    QCOMPARE(runs[0].Uuid, id);
    QCOMPARE(runs[0].RunNo, QStringLiteral("2"));
    QCOMPARE(runs[0].TotalMs, 122000);
    QCOMPARE(int(db.RunEvents(id).size()), 3);
}

QTEST_GUILESS_MAIN(TstRounds)
#include "tst_rounds.moc"
