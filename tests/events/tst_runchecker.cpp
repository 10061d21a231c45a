// Suspicious times on a small event: each rule flags through the announcements
// into the event database, "Geprüft" and a corrected time clear a flag as a
// record, and a hand time is marked in the standings.
#include "Protocol.h"
#include "RunChecker.h"
#include "Standings.h"

#include <QTemporaryDir>
#include <QTest>

namespace {

// An event whose runs are announced as the main window does: recorder first.
struct TEvent {
    QTemporaryDir Dir;
    TEventStore Store;
    TEventRecorder Rec{Store};
    TRunChecker Checker{Store, Rec};
    uint32_t Tick = 1000;

    TEvent() {
        Store.Start(Dir.filePath(QStringLiteral("Zeitnahme.db")), QStringLiteral("Start"));
        Rec.Today = [] { return QDate(2026, 12, 7); };
    }
    void Notice(TRunNoticeKind kind, int car, int count, QChar source = 'L', int after = -1) {
        TRunNotice n;
        n.Kind = kind;
        n.Car = car;
        n.Tick = Tick;
        n.EventCount = count;
        n.Source = source == 'T' ? TRunEventSource::Key : TRunEventSource::Barrier;
        n.AfterDeadTimeMs = after;
        Rec.RunEvent(n);
        Checker.RunEvent(n);
    }
    void Change(TProtocolChangeKind kind, const QString& name, int col = -1,
                const QString& text = QString()) {
        TProtocolChange c;
        c.Kind = kind;
        c.Name = name;
        c.Col = col;
        c.Text = text;
        Rec.ProtocolChanged(c);
        Checker.ProtocolChanged(c);
    }
    // One run: per car its name and laps (fewer than laps: dropped out). sources
    // and after go with car 1's events (START, LAPs, FINISH).
    void Run(const QStringList& names, const QList<QList<int>>& laps, int lapCount = 2,
             const QString& sources = QString(), const QList<int>& after = {}) {
        Notice(TRunNoticeKind::Reset, 0, 0);
        int count = 0;
        TRunResults r;
        r.Title = QStringLiteral("Training");
        r.RunNumber = QStringLiteral("1");
        r.Cars = int(names.size());
        r.Laps = lapCount;
        for (int car = 1; car <= names.size(); ++car) {
            const QList<int>& l = laps[car - 1];
            const auto src = [&](int i) { return car == 1 && i < sources.size() ? sources[i] : QChar('L'); };
            const auto aft = [&](int i) { return car == 1 ? after.value(i, -1) : -1; };
            Notice(TRunNoticeKind::Start, car, ++count, src(0), aft(0));
            TEnteredResult e;
            e.Car = car;
            e.Name = names[car - 1];
            int hundredths = 0;
            for (int k = 0; k < l.size(); ++k) {
                Tick += uint32_t(l[k]);
                Notice(k + 1 == lapCount ? TRunNoticeKind::Finish : TRunNoticeKind::Lap, car,
                       ++count, src(k + 1), aft(k + 1));
                e.LapMs.push_back(l[k]);
                hundredths += l[k] / 10;
            }
            e.Status = l.size() == lapCount ? TEnteredResult::Finished : TEnteredResult::Dnf;
            e.TotalMs = e.Status == TEnteredResult::Finished ? hundredths * 10 : 0;
            r.Rows.push_back(e);
        }
        Rec.ResultsEntered(r);
        Checker.ResultsEntered(r);
    }
    void Field(int runs) {
        for (int i = 0; i < runs; ++i)
            Run({QStringLiteral("Feld %1").arg(i + 1)}, {{60000 + i * 300, 61000 - i * 200}});
    }
    std::vector<TEffectiveRun> Runs() {
        Store.Flush();
        TEventDb db;
        if (!db.OpenForReading(Store.Path())) return {};
        return db.EffectiveRuns(Rec.CurrentEvent());
    }
    TEffectiveRun RunOf(const QString& name) {
        for (const TEffectiveRun& e : Runs())
            if (e.Run.Name == name) return e;
        return {};
    }
};

QStringList FlagsOf(const TEffectiveRun& e) {
    QStringList got;
    for (const TFlag& f : e.Flags)
        got << f.Code + ':' + QString::number(f.Field);
    return got;
}

} // namespace

class TstRunChecker : public QObject {
    Q_OBJECT
private slots:
    // One case per rule: the flag is a record of the run, the time stays as timed.
    void rules_data() {
        QTest::addColumn<int>("minLap");
        QTest::addColumn<int>("fieldRuns");
        QTest::addColumn<QList<int>>("laps");
        QTest::addColumn<QString>("sources");
        QTest::addColumn<QList<int>>("after");
        QTest::addColumn<QList<int>>("otherCar"); // laps of car 2, empty: one car
        QTest::addColumn<QStringList>("flags");
        const QList<int> none;
        QTest::newRow("sound run") << 0 << 5 << QList<int>{60200, 60100} << "LLL"
                                   << QList<int>{-1, 2500, 1800} << none << QStringList{};
        QTest::newRow("a lap of 0,4 s under the minimum lap")
            << 30000 << 0 << QList<int>{400, 60000} << "LLL" << none << none
            << QStringList{"kurz:1"};
        QTest::newRow("the minimum lap is off by default")
            << 0 << 0 << QList<int>{400, 60000} << "LLL" << none << none << QStringList{};
        QTest::newRow("a lap far under the field's median")
            << 0 << 5 << QList<int>{30000, 60500} << "LLL" << none << none
            << QStringList{"feld:1"};
        QTest::newRow("four runs are no field yet")
            << 0 << 4 << QList<int>{30000, 60500} << "LLL" << none << none << QStringList{};
        QTest::newRow("a barrier edge 20 ms after the dead time ended")
            << 0 << 0 << QList<int>{60000, 60000} << "LLL" << QList<int>{-1, 20, 3000} << none
            << QStringList{"totzeit:0"};
        QTest::newRow("barrier and keys in one run")
            << 0 << 0 << QList<int>{60000, 60000} << "LTL" << none << none
            << QStringList{"quellen:0"};
        QTest::newRow("the same total to the hundredth as the other car")
            << 0 << 0 << QList<int>{60000, 60004} << "LLL" << none << QList<int>{60002, 60005}
            << QStringList{"gleich:0"};
    }
    void rules() {
        QFETCH(int, minLap);
        QFETCH(int, fieldRuns);
        QFETCH(QList<int>, laps);
        QFETCH(QString, sources);
        QFETCH(QList<int>, after);
        QFETCH(QList<int>, otherCar);
        QFETCH(QStringList, flags);
        TEvent ev;
        ev.Checker.Thresholds.MinLapMs = minLap;
        ev.Field(fieldRuns);
        const QString name = QStringLiteral("Hans");
        if (otherCar.isEmpty())
            ev.Run({name}, {laps}, 2, sources, after);
        else
            ev.Run({name, QStringLiteral("Otto")}, {laps, otherCar}, 2, sources, after);
        const TEffectiveRun e = ev.RunOf(name);
        QCOMPARE(FlagsOf(e), flags);
        for (const TFlag& f : e.Flags)
            QVERIFY(!f.Reason.isEmpty());
        QCOMPARE(e.Run.LapMs[0], laps[0]); // stays exactly as timed
        QCOMPARE(e.Run.LapMs[1], laps[1]);
        // What the protocol shows comes from the same records.
        const TRunChecker::TMarks* marks = ev.Checker.MarksOfRow(name);
        QCOMPARE(marks ? int(marks->Flags.size()) : 0, int(flags.size()));
    }

    // Two cars without names: each flag stays with the run of its own car.
    void flagsStayWithTheirCar() {
        TEvent ev;
        ev.Checker.Thresholds.MinLapMs = 30000;
        ev.Run({QString(), QString()}, {{60000, 60000}, {400, 60000}});
        const std::vector<TEffectiveRun> runs = ev.Runs();
        QCOMPARE(runs.size(), size_t(2));
        QCOMPARE(runs[0].Run.Car, 1);
        QCOMPARE(FlagsOf(runs[0]), QStringList{});
        QCOMPARE(FlagsOf(runs[1]), QStringList{"kurz:1"});
    }

    // A flag goes only by a record: "Geprüft", a typed or a hand time over it.
    void flagCleared_data() {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QStringList>("flagsAfter");
        QTest::addColumn<QString>("reason"); // of the "checked" record
        QTest::newRow("Geprüft on the run") << "checked" << QStringList{} << "";
        QTest::newRow("Geprüft on another field keeps it") << "checked2" << QStringList{"kurz:1"}
                                                           << "";
        QTest::newRow("a typed lap replaces the flagged one")
            << "typed" << QStringList{} << "Zeit korrigiert";
        QTest::newRow("a hand time replaces the flagged one")
            << "hand" << QStringList{} << "durch Handzeit ersetzt";
        QTest::newRow("Ctrl+Z takes the run back with its marks") << "undo" << QStringList{"kurz:1"}
                                                                  << "-";
    }
    void flagCleared() {
        QFETCH(QString, how);
        QFETCH(QStringList, flagsAfter);
        QFETCH(QString, reason);
        TEvent ev;
        ev.Checker.Thresholds.MinLapMs = 30000;
        const QString name = QStringLiteral("Hans");
        ev.Run({name}, {{400, 60000}});
        QCOMPARE(FlagsOf(ev.RunOf(name)), QStringList{"kurz:1"});
        int repaints = 0;
        ev.Checker.OnChanged = [&repaints](TRunChecker*) { ++repaints; };
        const QString run = ev.Rec.RunOfRow(name);
        if (how == QLatin1String("checked")) QCOMPARE(ev.Checker.Check(run, -1, name), 1);
        if (how == QLatin1String("checked2")) QCOMPARE(ev.Checker.Check(run, 2, name), 0);
        if (how == QLatin1String("typed"))
            ev.Change(TProtocolChangeKind::LapTyped, name, pcLap1, QStringLiteral("59,80"));
        if (how == QLatin1String("hand"))
            ev.Change(TProtocolChangeKind::HandTime, name, pcLap1, QStringLiteral("59,80"));
        if (how == QLatin1String("undo")) ev.Change(TProtocolChangeKind::ResultsTakenBack, name);
        const TEffectiveRun e = ev.RunOf(name);
        QCOMPARE(FlagsOf(e), flagsAfter);
        const TRunChecker::TMarks* marks = ev.Checker.MarksOfRow(name);
        QCOMPARE(marks ? int(marks->Flags.size()) : 0,
                 how == QLatin1String("undo") ? 0 : int(flagsAfter.size()));
        QCOMPARE(repaints > 0, how != QLatin1String("checked2"));
        const auto checked = std::find_if(e.History.begin(), e.History.end(), [](const TCorrection& c) {
            return c.Kind == CorrectionKind::Checked;
        });
        QCOMPARE(checked != e.History.end(), reason != QLatin1String("-") && flagsAfter.isEmpty());
        if (checked != e.History.end()) {
            QCOMPARE(checked->Reason, reason);
            QCOMPARE(checked->TargetUuid, e.History.front().Uuid); // the flag it clears
        }
    }

    // A hand time for a run where the barrier missed: it counts in the standings,
    // marked as a hand time, and is kept as such across a new start.
    void handTimeInStandings_data() {
        QTest::addColumn<QList<int>>("laps");
        QTest::addColumn<int>("col");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("counting");
        QTest::addColumn<QList<int>>("handFields");
        QTest::newRow("barrier missed the finish: total from the stopwatch")
            << QList<int>{60000} << int(pcTotal) << "2.00,57" << 120570 << QList<int>{0};
        QTest::newRow("barrier missed a lap: lap 2 from the stopwatch")
            << QList<int>{60000, 1200} << int(pcLap1 + 1) << "1.01,00" << 121000
            << QList<int>{2};
        QTest::newRow("not a time: nothing recorded")
            << QList<int>{60000, 61000} << int(pcLap1) << "schnell" << 121000 << QList<int>{};
    }
    void handTimeInStandings() {
        QFETCH(QList<int>, laps);
        QFETCH(int, col);
        QFETCH(QString, text);
        QFETCH(int, counting);
        QFETCH(QList<int>, handFields);
        TEvent ev;
        const QString name = QStringLiteral("Hans");
        ev.Run({QStringLiteral("Otto")}, {{59000, 59000}});
        ev.Run({name}, {laps});
        ev.Change(TProtocolChangeKind::HandTime, name, col, text);
        const std::vector<TEffectiveRun> runs = ev.Runs();
        QList<int> hand;
        for (const int f : ev.RunOf(name).HandFields)
            hand << f;
        QCOMPARE(hand, handFields);
        const TRunChecker::TMarks* marks = ev.Checker.MarksOfRow(name);
        QCOMPARE(marks ? int(marks->HandFields.size()) : 0, int(handFields.size()));
        TStandingRow row;
        for (const TStandingRow& r : ComputeStandings(runs, TScoring{srBestRun, 2}))
            if (r.Name == name) row = r;
        QCOMPARE(row.CountingMs, counting);
        QCOMPARE(row.HandTime, !handFields.isEmpty());

        // Read back at the next program start.
        TEventDb db;
        QVERIFY(db.OpenForReading(ev.Store.Path()));
        TRunChecker again(ev.Store, ev.Rec);
        again.Load(db);
        const TRunChecker::TMarks* loaded = again.MarksOfRow(name);
        QCOMPARE(loaded ? int(loaded->HandFields.size()) : 0, int(handFields.size()));
    }
};

QTEST_GUILESS_MAIN(TstRunChecker)
#include "tst_runchecker.moc"
