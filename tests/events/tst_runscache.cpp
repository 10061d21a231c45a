// The runs kept in memory and read on record by record must always equal the
// event read whole from the database, and so must the standings made of them.
#include "EventRunsCache.h"
#include "Standings.h"

#include <QTemporaryDir>
#include <QTest>

namespace {

constexpr qint64 T0 = 1'800'000'000'000;

// A record as a line: "<kind> <station> <arguments…> [@<minute>]". The minute sets
// the record's time (default: the step's number), so a pulled record can be older.
struct TScript {
    TEventDb& Db;
    QString Event;
    int Step = 0;

    bool Write(TEventDb::TRecord rec) {
        std::vector<TEventDb::TRecord> recs{std::move(rec)};
        return Db.Write(recs);
    }
    template <typename T>
    void Head(T& r, const QString& station, qint64 minute) {
        r.Station = station;
        r.RecordedMs = T0 + minute * 60000;
    }
    QString NewEvent(const QString& station) {
        TEventInfo e;
        Head(e, station, Step);
        e.Uuid = QStringLiteral("event-%1").arg(Step);
        e.Title = QStringLiteral("Bergpreis");
        e.Date = QDate(2026, 12, 7);
        Event = e.Uuid;
        return Write(e) ? e.Uuid : QString();
    }
    // Applies one line; "rule" and "event" lines tell the caller through the result.
    bool Apply(const QString& line) {
        ++Step;
        QStringList a = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        qint64 minute = Step;
        if (a.last().startsWith(QLatin1Char('@'))) minute = a.takeLast().mid(1).toLongLong();
        const QString kind = a.value(0), station = a.value(1);
        const auto arg = [&a](int i) { return a.value(i); };
        if (kind == QLatin1String("event")) return !NewEvent(station).isEmpty();
        if (kind == QLatin1String("run")) { // run A id startNo name lap1 lap2
            TRunRecord r;
            Head(r, station, minute);
            r.EventUuid = Event;
            r.Uuid = QStringLiteral("run-") + arg(2);
            r.StartMs = r.RecordedMs - 120000;
            r.StartNo = arg(3);
            r.Name = arg(4);
            r.LapMs = {arg(5).toInt(), arg(6).toInt(), -1, -1, -1};
            if (r.LapMs[0] < 0 || r.LapMs[1] < 0) r.Status = RunStatusDnf;
            RecomputeTotals(r);
            return Write(r);
        }
        if (kind == QLatin1String("entrant")) { // entrant A startNo name class
            TEntrant n;
            Head(n, station, minute);
            n.EventUuid = Event;
            n.StartNo = arg(2);
            n.Name = arg(3);
            n.Class = arg(4);
            return Write(n);
        }
        // Corrections: "<kind> A runId …"
        TCorrection c;
        Head(c, station, minute);
        c.EventUuid = Event;
        c.RunUuid = QStringLiteral("run-") + arg(2);
        c.Kind = kind;
        namespace K = CorrectionKind;
        if (kind == K::Penalty) { // penalty A id ms count item
            c.Ms = arg(3).toInt();
            c.Count = arg(4).toInt();
            c.Text = arg(5);
        } else if (kind == K::Status) { // status A id DSQ|Wiederholung|ok reason
            c.Text = arg(3);
            c.Reason = arg(4);
        } else if (kind == K::Flag) { // flag A id field flagId
            c.Field = arg(3).toInt();
            c.Uuid = QStringLiteral("flag-") + arg(4);
            c.Text = QStringLiteral("short_lap");
            c.Reason = QStringLiteral("Runde kürzer als Mindestzeit");
        } else if (kind == K::Checked) { // checked A id flagId
            c.TargetUuid = QStringLiteral("flag-") + arg(3);
        } else if (kind == K::HandTime || kind == K::Lap) { // hand|lap A id field ms
            c.Field = arg(3).toInt();
            c.Ms = arg(4).toInt();
        }
        return Write(c);
    }
};

QString Dump(const std::vector<TEffectiveRun>& runs) {
    QStringList out;
    for (const TEffectiveRun& e : runs) {
        const TRunRecord& r = e.Run;
        QStringList f{r.Uuid, r.Station, QString::number(r.Seq), QString::number(r.RecordedMs),
                      r.StartNo, r.Name, r.Status, QString::number(r.TotalMs),
                      QString::number(r.BestMs), QString::number(r.LapMs[0]),
                      QString::number(r.LapMs[1]), e.Withdrawn ? "zurück" : "", e.StatusReason};
        for (const TPenalty& p : e.Penalties)
            f << QStringLiteral("P%1x%2").arg(p.Ms).arg(p.Count) + p.Item;
        for (const TFlag& fl : e.Flags)
            f << QStringLiteral("F%1:").arg(fl.Field) + fl.Uuid;
        for (const int h : e.HandFields)
            f << QStringLiteral("H%1").arg(h);
        for (const TCorrection& c : e.History)
            f << c.Uuid;
        out << f.join(QLatin1Char('|'));
    }
    return out.join(QLatin1Char('\n'));
}

QString Dump(const QList<TStandingRow>& rows) {
    QStringList out;
    for (const TStandingRow& r : rows)
        out << StandingTexts(r, false).join(QLatin1Char('|')) + QLatin1Char('|') + r.ClassRank +
                   QLatin1Char('|') + r.CountingRuns.join(QLatin1Char(','));
    return out.join(QLatin1Char('\n'));
}

} // namespace

class TstRunsCache : public QObject {
    Q_OBJECT
private slots:
    void incremental_data();
    void incremental();
};

void TstRunsCache::incremental_data() {
    QTest::addColumn<QStringList>("script");
    QTest::newRow("runs, a DNF and a typed lap") << QStringList{
        "run A 1 1 Anna 30000 31000", "run A 2 2 Ben 29500 30500", "run A 3 1 Anna -1 30000",
        "run A 4 2 Ben 29000 29990", "lap A 3 1 29900", "run A 5 3 Carl 31000 31000"};
    QTest::newRow("penalties, cleared and given again") << QStringList{
        "run A 1 1 Anna 30000 31000", "run A 2 2 Ben 30500 30500", "penalty A 1 2000 2 Pylone",
        "penalty A 2 10000 1 Tor", "penalties_cleared A 1", "penalty A 1 2000 1 Pylone",
        "run A 3 1 Anna 29000 29000"};
    QTest::newRow("DSQ with a reason, then ok again") << QStringList{
        "run A 1 1 Anna 30000 31000", "run A 2 2 Ben 30500 30500", "status A 2 DSQ Frühstart",
        "rule 1 0", "status A 2 ok", "status A 1 DSQ Zeitstrafe"};
    QTest::newRow("a rerun is kept and never counts") << QStringList{
        "rule 1 0", "run A 1 1 Anna 28000 28000", "status A 1 Wiederholung Rote-Flagge",
        "run A 2 1 Anna 30000 30000", "run A 3 2 Ben 29000 29000", "undo A 3",
        "to_protocol A 3"};
    QTest::newRow("a flag, Geprüft, and a hand time") << QStringList{
        "run A 1 1 Anna 30000 400", "flag A 1 2 f1", "run A 2 2 Ben 30000 30000",
        "flag A 2 0 f2", "checked A 1 f1", "hand A 2 2 30100", "hand A 2 0 60500"};
    QTest::newRow("the scoring rule changes between runs") << QStringList{
        "run A 1 1 Anna 30000 31000", "run A 2 1 Anna 29000 29000", "rule 1 0",
        "run A 3 2 Ben 28000 28000", "rule 2 0", "run A 4 2 Ben 40000 40000", "rule 3 2",
        "penalty A 4 2000 1 Pylone", "rule 0 0"};
    QTest::newRow("classes from entrants, a later record wins") << QStringList{
        "entrant A 1 Anna X", "entrant A 2 Ben Y", "run A 1 1 Anna 30000 31000",
        "run A 2 2 Ben 29000 29000", "entrant A 2 Ben X", "run A 3 3 Carl 28000 28000"};
    QTest::newRow("another station: older records fall into place") << QStringList{
        "run A 1 1 Anna 30000 31000", "run B 2 2 Ben 29000 29000 @0",
        "run A 3 3 Carl 30000 30000", "penalty B 1 2000 1 Pylone @1",
        "flag C 9 0 f9", "run C 9 4 Dora 31000 31000 @2", "status B 3 DSQ Tor @3",
        "penalty A 9 2000 1 Pylone"};
    QTest::newRow("a new event is read whole, the old one forgotten") << QStringList{
        "run A 1 1 Anna 30000 31000", "penalty A 1 2000 1 Pylone", "event A",
        "run A 2 1 Anna 29000 29000", "penalty A 2 2000 1 Pylone", "run A 3 2 Ben 28000 28000"};
}

void TstRunsCache::incremental() {
    QFETCH(QStringList, script);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("runs.db"));
    TEventDb db;
    QVERIFY(db.OpenForWriting(path).Ok());
    TScript s{db, {}};
    QVERIFY(!s.NewEvent(QStringLiteral("A")).isEmpty());
    TEventRunsCache cache;
    QCOMPARE(cache.Refresh(path, s.Event, QStringLiteral("A")), TEventRunsCache::Reloaded);
    TScoring scoring;
    for (const QString& line : script) {
        const QStringList a = line.split(QLatin1Char(' '));
        const bool otherStation = a.value(1) != QLatin1String("A");
        if (a[0] == QLatin1String("rule")) {
            scoring = {TScoringRule(a[1].toInt()), a[2].toInt()};
        } else {
            QVERIFY2(s.Apply(line), qPrintable(line + QLatin1String(": ") + db.LastError()));
            const auto result = cache.Refresh(path, s.Event, QStringLiteral("A"), otherStation);
            // Only a new event is read whole.
            QCOMPARE(result, a[0] == QLatin1String("event") ? TEventRunsCache::Reloaded
                                                            : TEventRunsCache::Updated);
        }
        TEventDb full;
        QVERIFY(full.OpenForReading(path));
        const std::vector<TEffectiveRun> expected = full.EffectiveRuns(s.Event);
        QVERIFY2(Dump(cache.Runs()) == Dump(expected),
                 qPrintable(line + "\n" + Dump(cache.Runs()) + "\n--- read whole:\n" + Dump(expected)));
        const auto classes = EntrantClasses(full.Entrants(s.Event));
        QCOMPARE(Dump(ComputeStandings(cache.Runs(), scoring, EntrantClasses(cache.Entrants()))),
                 Dump(ComputeStandings(expected, scoring, classes)));
    }
}

QTEST_GUILESS_MAIN(TstRunsCache)
#include "tst_runscache.moc"
