// Standings of one small event under each scoring rule, against tables worked out by hand.
#include "Exclusion.h"
#include "Settings.h"
#include "Standings.h"
#include "StandingsSettings.h"
#include "TimeText.h"

#include <QTemporaryDir>

#include <QtTest>

namespace {

struct TRunSpec {
    const char* StartNo;
    const char* Name;
    int TotalMs; // -1 none
    QString Status = RunStatusOk;
    int PenaltyMs = 0;
    bool Withdrawn = false;
};

std::vector<TEffectiveRun> Build(const std::vector<TRunSpec>& specs);

// Anna, Ben, Emil in class X; Carl, Dora in Y. In driving order:
std::vector<TEffectiveRun> Event() {
    return Build({
        {"1", "Anna", 60000},
        {"2", "Ben", 59000},
        {"3", "Carl", 59000},
        {"4", "Dora", 60000, RunStatusDsq},
        {"5", "Emil", 62000},
        {"1", "Anna", 58000, RunStatusOk, 4000}, // two cones
        {"2", "Ben", -1, RunStatusDnf},
        {"3", "Carl", 58500, RunStatusRerun}, // red flag: shown, never counts
        {"4", "Dora", 57000},
        {"5", "Emil", 61000},
        {"1", "Anna", 59000},
        {"2", "Ben", 61000},
        {"3", "Carl", 60000},
        {"4", "Dora", -1, RunStatusDns},
        {"5", " emil ", 50000, RunStatusOk, 0, true}, // taken back with Ctrl+Z
    });
}

// Runs written "1|Anna|59500" or "1|Anna|60000|DSQ|2000" (status, penalty), in driving order.
std::vector<TEffectiveRun> Build(const QStringList& lines) {
    std::vector<QByteArray> text; // the specs point into it
    std::vector<TRunSpec> specs;
    for (const QString& line : lines) {
        const QStringList f = line.split(QLatin1Char('|'));
        text.push_back(f[0].toUtf8());
        text.push_back(f[1].toUtf8());
        specs.push_back({nullptr, nullptr, f[2].toInt(), f.value(3, RunStatusOk), f.value(4).toInt()});
    }
    for (size_t i = 0; i < specs.size(); ++i) {
        specs[i].StartNo = text[2 * i].constData();
        specs[i].Name = text[2 * i + 1].constData();
    }
    return Build(specs);
}

std::vector<TEffectiveRun> Build(const std::vector<TRunSpec>& specs) {
    std::vector<TEffectiveRun> runs;
    qint64 t = 1'800'000'000'000;
    for (const TRunSpec& s : specs) {
        TEffectiveRun e;
        e.Run.Uuid = QStringLiteral("r%1").arg(runs.size() + 1);
        e.Run.StartNo = QString::fromUtf8(s.StartNo);
        e.Run.Name = QString::fromUtf8(s.Name);
        e.Run.StartMs = t += 120000;
        e.Run.TotalMs = s.TotalMs;
        e.Run.Status = s.Status;
        e.Withdrawn = s.Withdrawn;
        if (s.PenaltyMs)
            e.Penalties.push_back({QStringLiteral("Pylone"), {}, 2000, s.PenaltyMs / 2000});
        runs.push_back(e);
    }
    return runs;
}

QStringList Table(const QList<TStandingRow>& rows, bool byClass) {
    QStringList out;
    for (const TStandingRow& r : rows) {
        const QString time = r.CountingMs < 0 ? r.Status : TimeToText(r.CountingMs);
        out << QStringList{byClass ? r.Class + ":" + r.ClassRank : r.Rank, r.Name, time,
                           byClass ? r.ClassGapAhead : r.Gap, r.CountingRuns.join(QLatin1Char(','))}
                   .join(QLatin1Char('|'));
    }
    return out;
}

} // namespace

class TstStandings : public QObject {
    Q_OBJECT
private slots:
    void rules_data() {
        QTest::addColumn<int>("rule");
        QTest::addColumn<int>("n");
        QTest::addColumn<QStringList>("table");
        QTest::newRow("last run: a tie shares its rank, DNS last")
            << int(srLastRun) << 0
            << QStringList{"1|Anna|59,00||r11", "2|Carl|1.00,00|+1,00|r13",
                           "3|Ben|1.01,00|+2,00|r12", "3|Emil|1.01,00|+2,00|r10", "|Dora|DNS||"};
        QTest::newRow("best run: penalties count, DSQ and rerun never")
            << int(srBestRun) << 0
            << QStringList{"1|Dora|57,00||r9", "2|Anna|59,00|+2,00|r11", "2|Ben|59,00|+2,00|r2",
                           "2|Carl|59,00|+2,00|r3", "5|Emil|1.01,00|+4,00|r10"};
        QTest::newRow("sum of all: a DNF or DSQ run ends the sum, more runs rank first")
            << int(srSumAll) << 0
            << QStringList{"1|Anna|3.01,00||r11,r1,r6", "2|Carl|1.59,00||r3,r13",
                           "3|Emil|2.03,00|+4,00|r10,r5", "|Ben|DNF||", "|Dora|DSQ||"};
        QTest::newRow("best two: fewer timed runs rank after")
            << int(srSumBestN) << 2
            << QStringList{"1|Anna|1.59,00||r11,r1", "1|Carl|1.59,00||r3,r13",
                           "3|Ben|2.00,00|+1,00|r2,r12", "4|Emil|2.03,00|+4,00|r10,r5",
                           "5|Dora|57,00||r9"};
        QTest::newRow("regularity: first two runs, the rerun passed over, penalties added")
            << int(srRegularity) << 0
            << QStringList{"1|Carl|1,00||r3,r13", "1|Emil|1,00||r5,r10", "3|Anna|6,00|+5,00|r1,r6",
                           "|Ben|DNF||", "|Dora|DSQ||"};
    }
    void rules() {
        QFETCH(int, rule);
        QFETCH(int, n);
        QFETCH(QStringList, table);
        const TScoring s{TScoringRule(rule), n};
        QCOMPARE(Table(ComputeStandings(Event(), s), false), table);
    }

    // Regularity: differences on hundredths as the times read, the smallest first.
    void regularity_data() {
        QTest::addColumn<int>("rule");
        QTest::addColumn<int>("targetMs");
        QTest::addColumn<QStringList>("runs");
        QTest::addColumn<QStringList>("table");
        QTest::newRow("difference of the hundredths shown, not of the milliseconds")
            << int(srRegularity) << 0
            << QStringList{"1|Anna|60009", "2|Ben|59999", "1|Anna|60001", "2|Ben|60000"}
            << QStringList{"1|Anna|0,00||r1,r3", "2|Ben|0,01|+0,01|r2,r4"};
        QTest::newRow("a penalty adds to the difference, one run alone is not ranked")
            << int(srRegularity) << 0
            << QStringList{"1|Anna|60000|ok|2000", "2|Ben|61500", "1|Anna|60500", "2|Ben|61000",
                           "3|Carl|58000"}
            << QStringList{"1|Ben|0,50||r2,r4", "2|Anna|2,50|+2,00|r1,r3", "|Carl|-||"};
        QTest::newRow("target: the nearest run counts, under or over alike, penalty included")
            << int(srTargetTime) << 60000
            << QStringList{"1|Anna|59500", "2|Ben|60500", "3|Carl|59700", "4|Dora|60000|ok|2000",
                           "1|Anna|60300", "2|Ben|-1|DNF", "4|Dora|61000", "5|Emil|-1|DSQ"}
            << QStringList{"1|Anna|0,30||r5", "1|Carl|0,30||r3", "3|Ben|0,50|+0,20|r2",
                           "4|Dora|1,00|+0,70|r7", "|Emil|DSQ||"};
        QTest::newRow("target on hundredths: 1.00,009 is on time")
            << int(srTargetTime) << 60000 << QStringList{"1|Anna|60009", "2|Ben|59999"}
            << QStringList{"1|Anna|0,00||r1", "2|Ben|0,01|+0,01|r2"};
    }
    void regularity() {
        QFETCH(int, rule);
        QFETCH(int, targetMs);
        QFETCH(QStringList, runs);
        QFETCH(QStringList, table);
        TScoring s{TScoringRule(rule)};
        s.TargetMs = targetMs;
        QCOMPARE(Table(ComputeStandings(Build(runs), s), false), table);
    }

    // The start list's drivers are listed from the start, "–" until their first run,
    // never twice when the list and the run spell them a little differently.
    void startListEntrants_data() {
        QTest::addColumn<QStringList>("entrants"); // "number|name"
        QTest::addColumn<QStringList>("added");    // "number|name|class|counting text"
        QTest::newRow("a driver without a run") << QStringList{"6|Zoë Fuchs"}
                                                << QStringList{"6|Zoë Fuchs|Y|–"};
        QTest::newRow("drivers with runs stay once")
            << QStringList{"1|Anna", "2|ben", "3|", "|Emil"} << QStringList{};
        QTest::newRow("listed twice, added once")
            << QStringList{"7|Max", "7|Max", "|"} << QStringList{"7|Max||–"};
        QTest::newRow("one start number, two drivers: the other still listed")
            << QStringList{"1|Anna", "1|Zoë"} << QStringList{"1|Zoë||–"};
    }
    void startListEntrants() {
        QFETCH(QStringList, entrants);
        QFETCH(QStringList, added);
        QList<TStandingRow> rows = ComputeStandings(Event(), TScoring{srBestRun, 0});
        const qsizetype before = rows.size();
        QList<std::pair<QString, QString>> list;
        for (const QString& e : entrants)
            list.append({e.section(QLatin1Char('|'), 0, 0), e.section(QLatin1Char('|'), 1)});
        AddEntrantsWithoutRuns(rows, list, {{DriverKey(QStringLiteral("6"), QString()), QStringLiteral("Y")}});
        QStringList got;
        for (qsizetype i = before; i < rows.size(); ++i) {
            const QStringList t = StandingTexts(rows[i], false);
            got << QStringList{t[scStartNo], t[scName], rows[i].Class, t[scCounting]}.join(QLatin1Char('|'));
        }
        QCOMPARE(got, added);
    }

    // Under a sum a row ranks after those with more counted runs, whatever its sum:
    // the row says why. Rows with a note, in ranked order.
    void fewerCountedRunsNoted_data() {
        QTest::addColumn<int>("rule");
        QTest::addColumn<int>("n");
        QTest::addColumn<QStringList>("notes");
        // Dora's disqualified run is noted under every rule.
        QTest::newRow("all runs: a rerun leaves Carl short of the most, Emil's third is taken back")
            << int(srSumAll) << 0
            << QStringList{"Carl: 2 von 3 Wertungsläufen", "Emil: 2 von 3 Wertungsläufen", "Dora: DSQ"};
        QTest::newRow("best two: Dora has one timed run")
            << int(srSumBestN) << 2 << QStringList{"Dora: DSQ, 1 von 2 Wertungsläufen"};
        QTest::newRow("best five: all behind Anna's three say so")
            << int(srSumBestN) << 5
            << QStringList{"Carl: 2 von 5 Wertungsläufen", "Ben: 2 von 5 Wertungsläufen",
                           "Emil: 2 von 5 Wertungsläufen", "Dora: DSQ, 1 von 5 Wertungsläufen"};
        QTest::newRow("one run counts: nobody is short") << int(srBestRun) << 0 << QStringList{"Dora: DSQ"};
        QTest::newRow("last run") << int(srLastRun) << 0 << QStringList{"Dora: DSQ"};
    }
    void fewerCountedRunsNoted() {
        QFETCH(int, rule);
        QFETCH(int, n);
        QFETCH(QStringList, notes);
        QStringList got;
        for (const TStandingRow& r : ComputeStandings(Event(), {TScoringRule(rule), n}))
            if (!r.Notes.isEmpty()) got << r.Name + QStringLiteral(": ") + r.Notes.join(", ");
        QCOMPARE(got, notes);
    }

    void classes() {
        QHash<QString, QString> classes;
        for (const char* d : {"1|anna", "2|ben", "5|emil"})
            classes.insert(QString::fromUtf8(d), QStringLiteral("X"));
        for (const char* d : {"3|carl", "4|dora"})
            classes.insert(QString::fromUtf8(d), QStringLiteral("Y"));
        const QList<TStandingRow> rows = ComputeStandings(Event(), {srLastRun, 0}, classes);
        QCOMPARE(Table(rows, true), (QStringList{"X:1|Anna|59,00||r11", "Y:1|Carl|1.00,00||r13",
                                                 "X:2|Ben|1.01,00|+2,00|r12",
                                                 "X:2|Emil|1.01,00|+0,00|r10", "Y:|Dora|DNS||"}));
        QCOMPARE(StandingClasses(rows), (QStringList{"X", "Y"}));
        QCOMPARE(rows[0].PenaltyMs, 0);
        QCOMPARE(ComputeStandings(Event(), {srSumAll, 0})[0].PenaltyMs, 4000);
    }

    // Classes from the entrants: by start number and name, by start number alone (the
    // name spelt otherwise), by name alone (no start number in the run); the latest
    // record of a start number counts.
    void entrantClasses() {
        std::vector<TEntrant> entrants;
        const auto add = [&entrants](const char* no, const char* name, const char* cls) {
            TEntrant n;
            n.StartNo = QString::fromUtf8(no);
            n.Name = QString::fromUtf8(name);
            n.Class = QString::fromUtf8(cls);
            entrants.push_back(n);
        };
        add("1", "Anna", "X");
        add("2", "Benjamin", "X");
        add("3", "Carl", "Y");
        add("4", "Dora", "X");
        add("4", "Dora", "Y"); // moved to Y later
        add("", "Emil", "Z");
        std::vector<TEffectiveRun> runs = Event();
        for (TEffectiveRun& e : runs)
            if (e.Run.Name.trimmed().toLower() == QLatin1String("emil")) e.Run.StartNo.clear();
        const QList<TStandingRow> rows =
            ComputeStandings(runs, {srBestRun, 0}, EntrantClasses(entrants), EntrantClassOrder(entrants));
        QStringList got;
        for (const TStandingRow& r : rows)
            got << r.Name + QLatin1Char(':') + r.Class + QLatin1Char(':') + r.ClassRank;
        QCOMPARE(got, (QStringList{"Dora:Y:1", "Anna:X:1", "Ben:X:1", "Carl:Y:2", "Emil:Z:1"}));

        // The page: overall, then each class; texts escaped.
        TStandingsPage page{QStringLiteral("Cup <Süd>"), QStringLiteral("Bester Lauf"),
                            QStringLiteral("7. Dezember 2026"), rows};
        const QString html = QString::fromUtf8(StandingsHtml(page));
        QVERIFY(html.contains(QStringLiteral("<h1>Cup &lt;Süd&gt;</h1>")));
        QCOMPARE(html.count(QStringLiteral("<table")), 4); // Gesamt, X, Y, Z (a table with marks has a style)
        // Classes in the order the start list names them, whoever leads.
        QVERIFY(html.indexOf(QStringLiteral("<h2>X</h2>")) < html.indexOf(QStringLiteral("<h2>Y</h2>")));
        QVERIFY(html.indexOf(QStringLiteral("<h2>Y</h2>")) < html.indexOf(QStringLiteral("<h2>Z</h2>")));
        QVERIFY(!html.contains(QLatin1Char('\n')) || html.count(QStringLiteral("\r\n")) == html.count(QLatin1Char('\n')));
    }

    // A class belongs to its driver: a start number shared with another name brings none.
    void classOfDriver_data() {
        QTest::addColumn<QStringList>("entrants"); // "number|name|class", as recorded
        QTest::addColumn<QString>("run");          // "number|name"
        QTest::addColumn<QString>("cls");
        const QStringList mueller{"1|Müller, Jürgen|A"};
        QTest::newRow("another name under the number: no class") << mueller << "1|Anna Amsel" << "";
        QTest::newRow("the name in another order and abbreviated") << mueller << "1|J. Müller" << "A";
        QTest::newRow("no name in the run: the number's class") << mueller << "1|" << "A";
        QTest::newRow("two drivers under one number: each their own")
            << QStringList{"1|Müller, Jürgen|A", "1|Anna Amsel|B"} << "1|Jürgen Müller" << "A";
        QTest::newRow("listed without a name: the number's class") << QStringList{"1||A"} << "1|Anna" << "A";
    }
    void classOfDriver() {
        QFETCH(QStringList, entrants);
        QFETCH(QString, run);
        QFETCH(QString, cls);
        std::vector<TEntrant> list;
        for (const QString& e : entrants) {
            const QStringList f = e.split(QLatin1Char('|'));
            TEntrant n;
            n.StartNo = f[0];
            n.Name = f[1];
            n.Class = f[2];
            list.push_back(n);
        }
        const auto rows = ComputeStandings(Build(QStringList{run + "|60000"}), {srBestRun, 0}, EntrantClasses(list));
        QCOMPARE(rows.value(0).Class, cls);
    }

    // Corrections of the officials as the standings take them: a run's DSQ noted
    // wherever the driver stands, the exclusion of a driver for the event, both
    // taken back. Anna drives 60,00, 58,00, 59,00; Ben 59,50, 59,00, 61,00 (runs
    // 1 to 3 of each, r1..r6 in driving order A B A B A B).
    void correctionRules_data() {
        QTest::addColumn<int>("rule");
        QTest::addColumn<QStringList>("corrections"); // "run kind reason", in the order made
        QTest::addColumn<QStringList>("table");       // rank|name|time|notes
        QTest::newRow("best run: DSQ of the best run noted, the next best counts")
            << int(srBestRun) << QStringList{"r3 dsq Frühstart"}
            << QStringList{"1|Anna|59,00|DSQ Lauf 2: Frühstart", "1|Ben|59,00|"};
        QTest::newRow("last run: DSQ of the last run makes the driver DSQ")
            << int(srLastRun) << QStringList{"r6 dsq Tor 3"}
            << QStringList{"1|Anna|59,00|", "|Ben|DSQ|DSQ Lauf 3: Tor 3"};
        QTest::newRow("sum of all: a DSQ run ends the sum, noted once")
            << int(srSumAll) << QStringList{"r1 dsq Frühstart"}
            << QStringList{"1|Ben|2.59,50|", "|Anna|DSQ|DSQ Lauf 1: Frühstart"};
        QTest::newRow("DSQ taken back: counts again, no note")
            << int(srBestRun) << QStringList{"r3 dsq Frühstart", "r3 ok"}
            << QStringList{"1|Anna|58,00|", "2|Ben|59,00|"};
        QTest::newRow("Ausschluss: DSQ for the whole event with its reason")
            << int(srBestRun) << QStringList{"r2 exclude Reifen"}
            << QStringList{"1|Anna|58,00|", "|Ben|DSQ|Ausschluss: Reifen"};
        QTest::newRow("Ausschluss beside a run's DSQ: the exclusion alone is noted")
            << int(srSumAll) << QStringList{"r4 dsq Tor 3", "r2 exclude Reifen"}
            << QStringList{"1|Anna|2.57,00|", "|Ben|DSQ|Ausschluss: Reifen"};
        QTest::newRow("Ausschluss taken back on another run: counts again")
            << int(srBestRun) << QStringList{"r2 exclude Reifen", "r6 readmit"}
            << QStringList{"1|Anna|58,00|", "2|Ben|59,00|"};
        QTest::newRow("taken back, then given again: the latest decides")
            << int(srBestRun) << QStringList{"r2 exclude Reifen", "r6 readmit", "r4 exclude Lärm"}
            << QStringList{"1|Anna|58,00|", "|Ben|DSQ|Ausschluss: Lärm"};
        // "rN round K": the run was recorded in round K (nobody marked a rerun).
        QTest::newRow("sum of all: a second run in a round waits, the first counts, fewer rounds behind")
            << int(srSumAll) << QStringList{"r6 round 2"}
            << QStringList{"1|Anna|2.57,00|",
                           "2|Ben|1.58,50|Lauf 2 zweimal gefahren: der erste zählt, bis entschieden ist, "
                           "2 von 3 Wertungsläufen"};
        QTest::newRow("sum of all: the official lets the second count, the first is a rerun")
            << int(srSumAll) << QStringList{"r6 round 2", "r4 rerun"}
            << QStringList{"1|Anna|2.57,00|", "2|Ben|2.00,50|2 von 3 Wertungsläufen"};
        QTest::newRow("best two: the better second run of a round waits")
            << int(srSumBestN) << QStringList{"r4 round 1"}
            << QStringList{"1|Anna|1.57,00|",
                           "2|Ben|2.00,50|Lauf 1 zweimal gefahren: der erste zählt, bis entschieden ist"};
    }
    void correctionRules() {
        QFETCH(int, rule);
        QFETCH(QStringList, corrections);
        QFETCH(QStringList, table);
        const int times[] = {60000, 59500, 58000, 59000, 59000, 61000};
        std::vector<TCorrection> made;
        QHash<QString, QString> rounds;
        for (int i = 0; i < corrections.size(); ++i) {
            const QStringList w = corrections[i].split(QLatin1Char(' '));
            if (w[1] == QLatin1String("round")) {
                rounds.insert(w[0], w[2]);
                continue;
            }
            TRunRecord run;
            run.Uuid = w[0];
            const QString status = w[1] == QLatin1String("dsq")     ? RunStatusDsq
                                   : w[1] == QLatin1String("rerun") ? RunStatusRerun
                                                                    : RunStatusOk;
            TCorrection c = w[1] == QLatin1String("exclude") || w[1] == QLatin1String("readmit")
                                ? ExclusionCorrection(run, w[1] == QLatin1String("exclude"), w.mid(2).join(' '))
                                : StatusCorrection(run, status, w.mid(2).join(' '));
            c.RecordedMs = 1'900'000'000'000 + i;
            made.push_back(c);
        }
        std::vector<TEffectiveRun> runs;
        for (int i = 0; i < 6; ++i) {
            TRunRecord r;
            r.Uuid = QStringLiteral("r%1").arg(i + 1);
            r.Name = i % 2 ? QStringLiteral("Ben") : QStringLiteral("Anna");
            r.RunNo = rounds.value(r.Uuid, QString::number(i / 2 + 1));
            r.StartMs = 1'800'000'000'000 + i * 120000;
            r.TotalMs = times[i];
            std::vector<TCorrection> mine;
            std::copy_if(made.begin(), made.end(), std::back_inserter(mine),
                         [&r](const TCorrection& c) { return c.RunUuid == r.Uuid; });
            runs.push_back(EffectiveRun(r, mine));
        }
        QStringList got;
        for (const TStandingRow& r : ComputeStandings(runs, {TScoringRule(rule), 2}))
            got << QStringList{r.Rank, r.Name, r.CountingMs < 0 ? r.Status : TimeToText(r.CountingMs),
                               r.Notes.join(QStringLiteral(", "))}
                       .join(QLatin1Char('|'));
        QCOMPARE(got, table);
    }

    // Stored values the program cannot use keep their defaults.
    void storedSettings_data() {
        QTest::addColumn<QVariant>("rule");
        QTest::addColumn<QVariant>("n");
        QTest::addColumn<QVariant>("catalogue");
        QTest::addColumn<QString>("expected"); // rule n items
        const QString defaults = "0 2 Pylone=2000,Tor ausgelassen=10000";
        QTest::newRow("nothing stored") << QVariant() << QVariant() << QVariant() << defaults;
        QTest::newRow("best three of a sum")
            << QVariant(3) << QVariant(3) << QVariant(QStringLiteral("Frühstart\t5000"))
            << "3 3 Frühstart=5000";
        QTest::newRow("rule out of range, N zero, catalogue garbage")
            << QVariant(7) << QVariant(0) << QVariant(QStringLiteral("Pylone;2")) << defaults;
        QTest::newRow("N not a number, negative penalty passed over")
            << QVariant(1) << QVariant(QStringLiteral("zwei"))
            << QVariant(QStringLiteral("Pylone\t-2000\nTor\t10000")) << "1 2 Tor=10000";
        QTest::newRow("the target-time rule")
            << QVariant(5) << QVariant() << QVariant() << "5 2 Pylone=2000,Tor ausgelassen=10000";
        QTest::newRow("an emptied catalogue stays empty")
            << QVariant(2) << QVariant(21) << QVariant(QString()) << "2 2 ";
    }
    void storedSettings() {
        QFETCH(QVariant, rule);
        QFETCH(QVariant, n);
        QFETCH(QVariant, catalogue);
        QFETCH(QString, expected);
        QTemporaryDir dir;
        TSettingsStore::UseFolder(dir.path());
        {
            TSettingsStore store(QStringLiteral("Wertungstest"));
            if (rule.isValid()) store.SetValue(QStringLiteral("WertungRegel"), rule);
            if (n.isValid()) store.SetValue(QStringLiteral("WertungBesteN"), n);
            if (catalogue.isValid()) store.SetValue(QStringLiteral("Strafkatalog"), catalogue);
            QVERIFY(store.Sync());
        }
        TSettingsStore store(QStringLiteral("Wertungstest"));
        TStandingsSettings s;
        s.Read(store);
        QStringList items;
        for (const TPenaltyItem& i : s.Catalogue)
            items << i.Name + QLatin1Char('=') + QString::number(i.Ms);
        QCOMPARE(QStringLiteral("%1 %2 %3").arg(int(s.Scoring.Rule)).arg(s.Scoring.N).arg(items.join(',')),
                 expected);
        // Written and read again: the same.
        s.Write(store);
        TStandingsSettings again;
        again.Read(store);
        QCOMPARE(again.Scoring, s.Scoring);
        QCOMPARE(again.Catalogue, s.Catalogue);
        TSettingsStore::UseNone();
    }

    void penaltySeconds_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("ms");
        QTest::newRow("whole") << "2" << 2000;
        QTest::newRow("comma") << "2,5" << 2500;
        QTest::newRow("point and unit") << " 10.25 s" << 10250;
        QTest::newRow("an hour") << "3600" << 3600000;
        QTest::newRow("over an hour") << "3600,001" << -1;
        QTest::newRow("negative") << "-2" << -1;
        QTest::newRow("empty") << "" << -1;
        QTest::newRow("word") << "zwei" << -1;
        QTest::newRow("four decimals") << "1,0001" << -1;
    }
    void penaltySeconds() {
        QFETCH(QString, text);
        QFETCH(int, ms);
        QCOMPARE(ParsePenaltySeconds(text), ms);
        if (ms >= 0) QCOMPARE(ParsePenaltySeconds(PenaltySecondsText(ms)), ms);
    }

    // Footnote marks of a posted sheet: a note keeps its number wherever it recurs,
    // a row shows each of its marks once, and the list below holds exactly the
    // marks its rows carry.
    void footnoteMarks_data() {
        QTest::addColumn<QStringList>("rows"); // notes of each row, split by ";"
        QTest::addColumn<QStringList>("marks");
        QTest::addColumn<QStringList>("lines"); // for the last two rows alone
        QTest::newRow("one note per row, in order of appearance")
            << QStringList{"Handzeit Gesamtzeit", "", "Auffällig: Runde 1 kürzer als 0,50"}
            << QStringList{"¹", "", "²"} << QStringList{"² Auffällig: Runde 1 kürzer als 0,50"};
        QTest::newRow("a recurring note keeps its number")
            << QStringList{"A", "B", "A"} << QStringList{"¹", "²", "¹"}
            << QStringList{"¹ A", "² B"};
        QTest::newRow("two notes, one twice in the row: each mark once")
            << QStringList{"B;A;B", "A"} << QStringList{"¹ ²", "²"}
            << QStringList{"¹ B", "² A"};
        QTest::newRow("ten notes and more: no mark reads as another")
            << QStringList{"1;2;3;4;5;6;7;8;9", "10", "11;12"}
            << QStringList{"¹ ² ³ ⁴ ⁵ ⁶ ⁷ ⁸ ⁹", "¹⁰", "¹¹ ¹²"}
            << QStringList{"¹⁰ 10", "¹¹ 11", "¹² 12"};
    }
    void footnoteMarks() {
        QFETCH(QStringList, rows);
        QFETCH(QStringList, marks);
        QFETCH(QStringList, lines);
        QList<TStandingRow> standing;
        for (const QString& notes : rows) {
            TStandingRow r;
            r.Notes = notes.split(QLatin1Char(';'), Qt::SkipEmptyParts);
            r.CountingMs = r.RawMs = 60000;
            standing << r;
        }
        const TStandingFootnotes f = StandingFootnotes(StandingSections(standing, false));
        QStringList got;
        for (const TStandingRow& r : standing)
            got << f.MarksOf(r).replace(QChar(0x2009), QLatin1Char(' '));
        QCOMPARE(got, marks);
        QCOMPARE(StandingSheetTexts(standing.last(), false, f)[scCounting],
                 QStringLiteral("1.00,00") + f.MarksOf(standing.last()));
        QCOMPARE(f.Lines({&standing[standing.size() - 2], &standing.last()}), lines);
    }
};

QTEST_APPLESS_MAIN(TstStandings)
#include "tst_standings.moc"
