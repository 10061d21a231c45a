// Standings of one small event under each scoring rule, against tables worked out by hand.
#include "Standings.h"
#include "TimeText.h"

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

// Anna, Ben, Emil in class X; Carl, Dora in Y. In driving order:
std::vector<TEffectiveRun> Event() {
    const std::vector<TRunSpec> specs = {
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
    };
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
    }
    void rules() {
        QFETCH(int, rule);
        QFETCH(int, n);
        QFETCH(QStringList, table);
        const TScoring s{TScoringRule(rule), n};
        QCOMPARE(Table(ComputeStandings(Event(), s), false), table);
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
};

QTEST_APPLESS_MAIN(TstStandings)
#include "tst_standings.moc"
