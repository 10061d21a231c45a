// Effective runs: a run with its corrections applied in the order they were made.
#include "EventRecords.h"

#include <QTest>

namespace {

TRunRecord TwoLapRun() {
    TRunRecord r;
    r.Uuid = QStringLiteral("run");
    r.Laps = 2;
    r.LapMs = {61234, 59999, -1, -1, -1};
    RecomputeTotals(r);
    return r;
}

TCorrection Corr(const QString& kind, int field = -1, int ms = -1, const QString& text = {},
                 const QString& uuid = {}, const QString& target = {}) {
    TCorrection c;
    c.Uuid = uuid.isEmpty() ? NewRecordUuid() : uuid;
    c.RunUuid = QStringLiteral("run");
    c.Kind = kind;
    c.Field = field;
    c.Ms = ms;
    c.Text = text;
    c.TargetUuid = target;
    c.Count = 1;
    return c;
}

} // namespace

using TCorrections = std::vector<TCorrection>;
Q_DECLARE_METATYPE(TCorrections)

static TCorrections operator+(TCorrections a, const TCorrections& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

class TstEffectiveRun : public QObject {
    Q_OBJECT
private slots:
    void corrections_data();
    void corrections();
};

// Expected: total, best lap, status, withdrawn, counts, penalty ms, open flags, hand fields.
void TstEffectiveRun::corrections_data() {
    QTest::addColumn<TCorrections>("corrections");
    QTest::addColumn<int>("total");
    QTest::addColumn<int>("best");
    QTest::addColumn<QString>("status");
    QTest::addColumn<bool>("withdrawn");
    QTest::addColumn<bool>("counts");
    QTest::addColumn<int>("penaltyMs");
    QTest::addColumn<int>("flags");
    QTest::addColumn<int>("handFields");
    using namespace CorrectionKind;
    // Laps truncated to hundredths before adding: 61,23 + 59,99.
    QTest::newRow("as timed") << TCorrections{} << 121220 << 59999 << RunStatusOk << false
                              << true << 0 << 0 << 0;
    QTest::newRow("typed lap recomputes total and best")
        << TCorrections{Corr(Lap, 1, 58005)} << 117990 << 58005 << RunStatusOk << false << true
        << 0 << 0 << 0;
    QTest::newRow("taken back: kept but withdrawn")
        << TCorrections{Corr(Undo)} << 121220 << 59999 << RunStatusOk << true << false << 0 << 0
        << 0;
    QTest::newRow("taken back, then put into the protocol again")
        << TCorrections{Corr(Undo), Corr(ToProtocol)} << 121220 << 59999 << RunStatusOk << false
        << true << 0 << 0 << 0;
    QTest::newRow("not started clears the times")
        << TCorrections{Corr(Dns)} << -1 << -1 << RunStatusDns << false << true << 0 << 0 << 0;
    QTest::newRow("dropped out, then a typed lap gives a time again")
        << TCorrections{Corr(Dnf), Corr(Lap, 2, 60000)} << 121230 << 60000 << RunStatusOk
        << false << true << 0 << 0 << 0;
    QTest::newRow("disqualified does not count")
        << TCorrections{Corr(Status, -1, -1, RunStatusDsq)} << 121220 << 59999 << RunStatusDsq
        << false << false << 0 << 0 << 0;
    QTest::newRow("rerun is kept but never counts")
        << TCorrections{Corr(Status, -1, -1, RunStatusRerun)} << 121220 << 59999
        << RunStatusRerun << false << false << 0 << 0 << 0;
    QTest::newRow("typed lap keeps a disqualification")
        << TCorrections{Corr(Status, -1, -1, RunStatusDsq), Corr(Lap, 1, 50000)} << 109990
        << 50000 << RunStatusDsq << false << false << 0 << 0 << 0;
    TCorrection cones = Corr(Penalty, -1, 2000, QStringLiteral("Pylone"));
    cones.Count = 3;
    QTest::newRow("penalties add up per count")
        << TCorrections{cones, Corr(Penalty, -1, 10000, QStringLiteral("Tor ausgelassen"))}
        << 121220 << 59999 << RunStatusOk << false << true << 16000 << 0 << 0;
    QTest::newRow("penalties cleared, a later one counts alone")
        << TCorrections{cones, Corr(PenaltiesCleared), Corr(Penalty, -1, 10000, QStringLiteral("Tor"))}
        << 121220 << 59999 << RunStatusOk << false << true << 10000 << 0 << 0;
    QTest::newRow("disqualified, then reinstated: the timed run counts again")
        << TCorrections{Corr(Status, -1, -1, RunStatusDsq), Corr(Status, -1, -1, RunStatusOk)}
        << 121220 << 59999 << RunStatusOk << false << true << 0 << 0 << 0;
    QTest::newRow("disqualified, then reinstated: a run that dropped out stays DNF")
        << TCorrections{Corr(Dnf), Corr(Status, -1, -1, RunStatusDsq), Corr(Status, -1, -1, RunStatusOk)}
        << -1 << -1 << RunStatusDnf << false << true << 0 << 0 << 0;
    QTest::newRow("rerun, then counted again: not started stays DNS")
        << TCorrections{Corr(Dns), Corr(Status, -1, -1, RunStatusRerun), Corr(Status, -1, -1, RunStatusOk)}
        << -1 << -1 << RunStatusDns << false << true << 0 << 0 << 0;
    QTest::newRow("flag stays until checked")
        << TCorrections{Corr(Flag, 1, -1, QStringLiteral("kurz"), QStringLiteral("f1")),
                        Corr(Flag, 0, -1, QStringLiteral("gleich"), QStringLiteral("f2")),
                        Corr(Checked, 1, -1, {}, {}, QStringLiteral("f1"))}
        << 121220 << 59999 << RunStatusOk << false << true << 0 << 1 << 0;
    QTest::newRow("hand total from a stopwatch")
        << TCorrections{Corr(Dnf), Corr(HandTime, 0, 125000)} << 125000 << -1 << RunStatusOk
        << false << true << 0 << 0 << 1;
    QTest::newRow("hand lap replaced by a typed lap is no hand time")
        << TCorrections{Corr(HandTime, 2, 60500), Corr(Lap, 2, 60400)} << 121630 << 60400
        << RunStatusOk << false << true << 0 << 0 << 0;
    const TCorrections flagged{Corr(Flag, 1, -1, QStringLiteral("kurz"), QStringLiteral("f1")),
                               Corr(Flag, 2, -1, QStringLiteral("feld"), QStringLiteral("f2")),
                               Corr(Flag, 0, -1, QStringLiteral("feld"), QStringLiteral("f0"))};
    QTest::newRow("hand lap ends the flags of that lap and of the total it made")
        << flagged + TCorrections{Corr(HandTime, 1, 60100)} << 120090 << 59999 << RunStatusOk
        << false << true << 0 << 1 << 1;
    QTest::newRow("hand total ends the total's flag, the laps keep theirs")
        << flagged + TCorrections{Corr(HandTime, 0, 120500)} << 120500 << 59999 << RunStatusOk
        << false << true << 0 << 2 << 1;
    QTest::newRow("a flag found after the hand time stays")
        << flagged + TCorrections{Corr(HandTime, 1, 60100), Corr(Flag, 0, -1, QStringLiteral("feld"))}
        << 120090 << 59999 << RunStatusOk << false << true << 0 << 2 << 1;
    QTest::newRow("not started: no time left to flag")
        << flagged + TCorrections{Corr(HandTime, 2, 60000), Corr(Dns)} << -1 << -1 << RunStatusDns
        << false << true << 0 << 0 << 0;
}

void TstEffectiveRun::corrections() {
    QFETCH(TCorrections, corrections);
    QFETCH(int, total);
    QFETCH(int, best);
    QFETCH(QString, status);
    QFETCH(bool, withdrawn);
    QFETCH(bool, counts);
    QFETCH(int, penaltyMs);
    QFETCH(int, flags);
    QFETCH(int, handFields);
    const TEffectiveRun e = EffectiveRun(TwoLapRun(), corrections);
    QCOMPARE(e.Run.TotalMs, total);
    QCOMPARE(e.Run.BestMs, best);
    QCOMPARE(e.Run.Status, status);
    QCOMPARE(e.Withdrawn, withdrawn);
    QCOMPARE(e.Counts(), counts);
    QCOMPARE(e.PenaltyMs(), penaltyMs);
    QCOMPARE(int(e.Flags.size()), flags);
    QCOMPARE(int(e.HandFields.size()), handFields);
    QCOMPARE(e.History.size(), corrections.size());
}

QTEST_GUILESS_MAIN(TstEffectiveRun)
#include "tst_effectiverun.moc"
