// An event day in rounds: who drives after RESET, and a run that stays one run
// whichever moment a crash interrupts its recording.
#include "EventRecorder.h"
#include "Exclusion.h"
#include "JournalListener.h"
#include "Protocol.h"
#include "Rounds.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QStringList Five{"1 Anna", "2 Bert", "3 Cleo", "4 Dora", "5 Emil"};

// "Bert:2=DNS" the state of an entrant in a round; "!Cleo" excluded for the day,
// "?Cleo" that exclusion taken back, both recorded as the window records them.
void NoteMarks(TEventRecorder& rec, const QStringList& marks) {
    int n = 0;
    for (const QString& m : marks) {
        if (m.startsWith(QLatin1Char('!')) || m.startsWith(QLatin1Char('?'))) {
            TRunRecord run;
            run.Uuid = QStringLiteral("excluded%1").arg(++n);
            run.Name = m.mid(1);
            rec.RecordCorrection(ExclusionCorrection(run, m.startsWith(QLatin1Char('!')), QStringLiteral("Reifen")));
            continue;
        }
        const QString who = m.section(QLatin1Char(':'), 0, 0);
        const QString round = m.section(QLatin1Char(':'), 1).section(QLatin1Char('='), 0, 0);
        const QString status = m.section(QLatin1Char('='), 1);
        rec.Rounds.NoteRun(QStringLiteral("run%1").arg(++n), who, round, status);
    }
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
    QTest::newRow("an exclusion taken back: driven again")
        << QStringList{"!Anna", "!Bert", "?Bert"} << QList<int>{4} << 1 << QList<int>{1} << 2;
    QTest::newRow("everybody excluded: nobody, the round stays")
        << QStringList{"!Anna", "!Bert", "!Cleo", "!Dora", "!Emil"} << QList<int>{0} << 1
        << QList<int>{-1} << 1;
    // No current run: the list taken up anew, one car; round 0 where the event stands.
    const QStringList roundOne{"Anna:1=ok", "Bert:1=ok", "Cleo:1=ok", "Dora:1=ok", "Emil:1=ok"};
    QTest::newRow("program start: the round in progress, its next entrant")
        << roundOne + QStringList{"Anna:2=ok", "Cleo:2=ok"} << QList<int>{} << 0 << QList<int>{1} << 2;
    QTest::newRow("program start after the round's last entrant: the next round")
        << roundOne << QList<int>{} << 0 << QList<int>{0} << 2;
    QTest::newRow("start list loaded in a round: who has not driven in it")
        << QStringList{"Anna:2=ok", "!Bert"} << QList<int>{} << 2 << QList<int>{2} << 2;
}

void TstRounds::rollOver() {
    QFETCH(QStringList, marks);
    QFETCH(QList<int>, current);
    QFETCH(int, round);
    QFETCH(QList<int>, next);
    QFETCH(int, nextRound);
    QTemporaryDir dir;
    TEventStore store;
    store.Start(dir.filePath(QStringLiteral("Zeitnahme.db")), QStringLiteral("Start"));
    TEventRecorder rec(store);
    NoteMarks(rec, marks);
    if (round == 0) round = rec.Rounds.LatestRound();
    const TRounds::TNext got =
        current.isEmpty() ? rec.Rounds.First(Five, 1, round)
                          : rec.Rounds.Next(Five, std::vector<int>(current.begin(), current.end()), round);
    QCOMPARE(QList<int>(got.Index.begin(), got.Index.end()), next);
    QCOMPARE(got.Round, nextRound);
    QCOMPARE(got.NewRound, nextRound != round);
}

// A run is timed, its results entered, then perhaps corrected at the track; the
// program dies at one moment of writing them. The next start adds what the
// database lacks and, for a run the journal shows unfinished, replays it (the
// official answered "Ja"). Corrections: T typed lap, H hand time, N DNS in round 3,
// G that DNS taken back, B the results taken back (Ctrl+Z); t a typed lap in a
// journal line of an older version, without identities; E "Neue Veranstaltung".
// Only the last correction is lost.
void TstRounds::crashPoints_data() {
    QTest::addColumn<bool>("journalLine"); // the RESULT line reached the journal
    QTest::addColumn<bool>("committed");   // the run reached the database
    QTest::addColumn<QString>("corrections");
    QTest::addColumn<bool>("lastCommitted"); // the last correction reached the database
    QTest::addColumn<QString>("added");      // what the start-up adds from the journal
    QTest::addColumn<QStringList>("runs");   // per run: start number, status, total, withdrawn, corrections
    const QStringList timed{"7 ok 122000 0 0"};
    QTest::newRow("before the journal line, before the commit") << false << false << "" << true << "" << timed;
    QTest::newRow("before the journal line, after the commit") << false << true << "" << true << "" << timed;
    QTest::newRow("after the journal line, before the commit")
        << true << false << "" << true << "Aus dem Ereignisprotokoll nachgetragen: 1 Lauf" << timed;
    QTest::newRow("after the journal line, after the commit") << true << true << "" << true << "" << timed;
    QTest::newRow("typed lap journaled, not in the database")
        << true << true << "T" << false << "Aus dem Ereignisprotokoll nachgetragen: Runde 1 von Anna"
        << QStringList{"7 ok 121990 0 1"};
    QTest::newRow("typed lap journaled and in the database")
        << true << true << "T" << true << "" << QStringList{"7 ok 121990 0 1"};
    QTest::newRow("typed lap journaled, not in the database, a new event begun since")
        << true << true << "TE" << false << "Aus dem Ereignisprotokoll nachgetragen: Runde 1 von Anna"
        << QStringList{"7 ok 121990 0 1"};
    QTest::newRow("run and typed lap journaled, neither in the database")
        << true << false << "T" << false
        << "Aus dem Ereignisprotokoll nachgetragen: 1 Lauf; Runde 1 von Anna" << QStringList{"7 ok 121990 0 1"};
    QTest::newRow("hand time journaled, not in the database")
        << true << true << "H" << false << "Aus dem Ereignisprotokoll nachgetragen: Handzeit von Anna"
        << QStringList{"7 ok 59990 0 1"};
    QTest::newRow("DNS of the next round journaled, not in the database")
        << true << true << "N" << false << "Aus dem Ereignisprotokoll nachgetragen: DNS von Anna"
        << QStringList{"7 ok 122000 0 0", "7 DNS -1 0 0"};
    QTest::newRow("DNS of the next round in the database")
        << true << true << "N" << true << "" << QStringList{"7 ok 122000 0 0", "7 DNS -1 0 0"};
    QTest::newRow("DNS taken back, not in the database")
        << true << true << "NG" << false
        << "Aus dem Ereignisprotokoll nachgetragen: DNS von Anna zurückgenommen"
        << QStringList{"7 ok 122000 0 0", "7 DNS -1 1 1"};
    QTest::newRow("results taken back, not in the database")
        << true << true << "B" << false
        << "Aus dem Ereignisprotokoll nachgetragen: Lauf von Anna zurückgenommen"
        << QStringList{"7 ok 122000 1 1", "7 ok 122000 0 0"};
    QTest::newRow("results taken back and in the database")
        << true << true << "B" << true << "" << QStringList{"7 ok 122000 1 1", "7 ok 122000 0 0"};
    QTest::newRow("typed lap in an older journal line: read, not added")
        << true << true << "t" << false << "" << timed;
}

void TstRounds::crashPoints() {
    QFETCH(bool, journalLine);
    QFETCH(bool, committed);
    QFETCH(QString, corrections);
    QFETCH(bool, lastCommitted);
    QFETCH(QString, added);
    QFETCH(QStringList, runs);
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
        // As the window announces a correction: identities first, the journal, the database.
        for (int i = 0; i < corrections.size(); ++i) {
            const QChar k = corrections[i];
            const bool last = i == corrections.lastIndexOf(QRegularExpression(QStringLiteral("[^E]")));
            if (k == 'E') {
                rec.NewEvent(QStringLiteral("Abendlauf"));
                continue;
            }
            if (k == 'B') {
                const TRunNotice undo = notice(TRunNoticeKind::Undo, 3, QString());
                lines.RunEvent(undo);
                rec.RunEvent(undo);
            }
            TProtocolChange c;
            c.Name = QStringLiteral("Anna");
            c.StartNr = QStringLiteral("7"); // the row's
            c.RunNumber = k == 'N' || k == 'G' ? QStringLiteral("3") : QStringLiteral("2");
            c.Kind = k == 'N'   ? TProtocolChangeKind::NotStarted
                     : k == 'G' ? TProtocolChangeKind::StartedAgain
                     : k == 'H' ? TProtocolChangeKind::HandTime
                     : k == 'B' ? TProtocolChangeKind::ResultsTakenBack
                                : TProtocolChangeKind::LapTyped;
            c.Col = k == 'H' ? int(pcTotal) : int(pcLap1);
            c.Text = k == 'H' ? QStringLiteral("59,99") : QStringLiteral("1.00,99");
            rec.Identify(c);
            TProtocolChange old = c;
            if (k == 't') old.CorrectionId.clear(), old.RunId.clear();
            lines.ProtocolChanged(old);
            if (!last || lastCommitted) rec.ProtocolChanged(c);
        }
        QVERIFY(store.Flush());
    }
    // The next start, after midnight.
    const Journal::TInterruptedRun found =
        Journal::AnalyseJournal(journal, journal, QStringLiteral("Zeitnahme"));
    QCOMPARE(found.Found, !journalLine || corrections.contains('B'));
    TEventStore store;
    store.Start(path, QStringLiteral("Start"));
    QVERIFY(store.Flush());
    TEventRecorder rec(store);
    rec.Today = [day] { return day.addDays(1); };
    {
        TEventDb reader;
        QVERIFY(reader.OpenForReading(path));
        rec.Resume(reader, found.Found);
        QCOMPARE(rec.AddFromJournal(reader, found), added);
    }
    if (found.Found) {
        play(rec, found.RunIds[1], TRunEventSource::Restored);
        rec.ResultsEntered(results);
    }
    QVERIFY(store.Flush());
    store.Stop();
    TEventDb db;
    QVERIFY(db.OpenForReading(path));
    QCOMPARE(int(db.Events().size()), corrections.contains('E') ? 2 : 1);
    const QString event = db.EventOfRun(id);
    QStringList got;
    for (const TEffectiveRun& e : db.EffectiveRuns(event))
        got << QStringLiteral("%1 %2 %3 %4 %5")
                   .arg(e.Run.StartNo, e.Run.Status)
                   .arg(e.Run.TotalMs)
                   .arg(int(e.Withdrawn))
                   .arg(e.History.size());
    QCOMPARE(got, runs);
    const std::vector<TRunRecord> recorded = db.Runs(event);
    QCOMPARE(recorded[0].Uuid, id);
    QCOMPARE(recorded[0].RunNo, QStringLiteral("2"));
    QCOMPARE(int(db.RunEvents(id).size()), 3);
}

QTEST_GUILESS_MAIN(TstRounds)
#include "tst_rounds.moc"
