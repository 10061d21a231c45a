// Each plausibility rule on a small event: the flags it raises and none where the run is sound.
#include "Plausibility.h"

#include <QtTest>

using namespace Plausibility;

namespace {

TRunTimes Run(int lap1, int lap2, QList<TSource> sources = {srcBarrier, srcBarrier, srcBarrier}) {
    TRunTimes r;
    r.LapMs = {lap1, lap2};
    r.TotalMs = lap1 / 10 * 10 + lap2 / 10 * 10;
    r.Sources = sources;
    return r;
}

std::vector<TRunTimes> Field(int runs) {
    const int laps[] = {60000, 61000, 59000, 62000, 60500};
    std::vector<TRunTimes> field;
    for (int i = 0; i < runs; ++i)
        field.push_back(Run(laps[i], laps[i] + 500));
    return field;
}

} // namespace

class TstPlausibility : public QObject {
    Q_OBJECT
private slots:
    void rules_data() {
        QTest::addColumn<int>("minLap");
        QTest::addColumn<int>("fieldRuns");
        QTest::addColumn<QList<int>>("laps");
        QTest::addColumn<QList<int>>("afterDeadTime");
        QTest::addColumn<bool>("keyInBetween");
        QTest::addColumn<int>("otherCarTotal");
        // Per event with barrier and timing device both connected: the device's
        // difference in 1/10000 s, "b" barrier alone, "d" device alone.
        QTest::addColumn<QStringList>("systems");
        QTest::addColumn<QStringList>("flags");
        const QList<int> none;
        QTest::newRow("sound run") << 0 << 5 << QList<int>{60200, 59800} << QList<int>{2000}
                                   << false << 121000 << QStringList{} << QStringList{};
        QTest::newRow("lap under the minimum") << 58000 << 5 << QList<int>{57000, 60000} << none
                                               << false << -1 << QStringList{} << QStringList{"kurz:1"};
        QTest::newRow("lap far under the field's median")
            << 0 << 5 << QList<int>{30000, 60000} << none << false << -1 << QStringList{} << QStringList{"feld:1"};
        QTest::newRow("total far over the field's median")
            << 0 << 5 << QList<int>{130000, 130000} << none << false << -1
            << QStringList{} << QStringList{"feld:1", "feld:2", "feld:0"};
        QTest::newRow("four runs are no field yet")
            << 0 << 4 << QList<int>{30000, 60000} << none << false << -1 << QStringList{} << QStringList{};
        QTest::newRow("barrier edge 30 ms after the dead time")
            << 0 << 5 << QList<int>{60000, 60000} << QList<int>{-1, 2500, 30} << false << -1
            << QStringList{} << QStringList{"totzeit:0"};
        QTest::newRow("barrier and key in one run")
            << 0 << 5 << QList<int>{60000, 60000} << none << true << -1 << QStringList{} << QStringList{"quellen:0"};
        QTest::newRow("same total to the hundredth as the other car")
            << 0 << 5 << QList<int>{60000, 60004} << none << false << 120009
            << QStringList{} << QStringList{"gleich:0"};
    }
    void rules() {
        QFETCH(int, minLap);
        QFETCH(int, fieldRuns);
        QFETCH(QList<int>, laps);
        QFETCH(QList<int>, afterDeadTime);
        QFETCH(bool, keyInBetween);
        QFETCH(int, otherCarTotal);
        QFETCH(QStringList, systems);
        QFETCH(QStringList, flags);
        TRunTimes run =
            Run(laps[0], laps[1], {srcBarrier, keyInBetween ? srcKey : srcBarrier, srcBarrier});
        run.AfterDeadTimeMs = afterDeadTime;
        for (const QString& e : systems)
            run.Systems << TSystemsPass{e == "b"   ? TSystemsPass::BarrierOnly
                                       : e == "d" ? TSystemsPass::DeviceOnly
                                                  : TSystemsPass::Both,
                                       e.toInt()};
        TRunTimes other;
        other.TotalMs = otherCarTotal;
        TThresholds t;
        t.MinLapMs = minLap;
        QStringList got;
        for (const TFlagHit& h :
             Check(run, Field(fieldRuns), otherCarTotal >= 0 ? &other : nullptr, t)) {
            got << CodeName(h.Code) + ':' + QString::number(h.Field);
            QVERIFY(!h.Reason.isEmpty());
        }
        QCOMPARE(got, flags);
        QCOMPARE(run.LapMs, laps); // a flagged time stays as timed
    }
};

QTEST_APPLESS_MAIN(TstPlausibility)
#include "tst_plausibility.moc"
