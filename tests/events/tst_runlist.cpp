// The "Läufe" list: the filter finds the same rows however the text was typed,
// also among runs read after it was typed, and older runs read later line up
// with the header.
#include "RunList.h"

#include <QRegularExpression>
#include <QTest>

namespace {

TEffectiveRun RunOf(const QString& startNo, const QString& name, int laps = 2) {
    TEffectiveRun e;
    e.Run.Uuid = NewRecordUuid();
    e.Run.StartNo = startNo;
    e.Run.Name = name;
    e.Run.Laps = laps;
    for (int k = 0; k < laps; ++k)
        e.Run.LapMs[size_t(k)] = 60000 + k;
    RecomputeTotals(e.Run);
    return e;
}

// Newest first.
std::vector<TEffectiveRun> Field() {
    return {RunOf(QStringLiteral("7"), QStringLiteral("Hans Müller")),
            RunOf(QStringLiteral("12"), QStringLiteral("MÜLLER, Eva")),
            RunOf(QStringLiteral("17"), QStringLiteral("Anna Becker")),
            RunOf(QStringLiteral("71"), QStringLiteral("Hans Meier")),
            RunOf(QStringLiteral("1"), QStringLiteral("Jürgen Schmidt"))};
}

QStringList Names(const TRunListModel& m) {
    QStringList names;
    for (int row = 0; row < m.rowCount(); ++row)
        names << m.data(m.index(row, 4)).toString();
    return names;
}

} // namespace

class TstRunList : public QObject {
    Q_OBJECT
private slots:
    void filterAsTyped_data();
    void filterAsTyped();
    void olderRunsReadLater_data();
    void olderRunsReadLater();
    void correctionsShown_data();
    void correctionsShown();
};

// Wrong rows after a key: typing on, deleting, a blank, umlauts in any case, and
// runs that are read only after the text was typed.
void TstRunList::filterAsTyped_data() {
    QTest::addColumn<QStringList>("keys"); // the filter text after each key
    QTest::addColumn<int>("readFirst");    // runs listed before typing, the rest read after
    QTest::addColumn<QStringList>("shown");
    const QStringList all{"Hans Müller", "MÜLLER, Eva", "Anna Becker", "Hans Meier", "Jürgen Schmidt"};
    QTest::newRow("typing on narrows") << QStringList{"m", "mü", "mül"} << 5
                                       << QStringList{"Hans Müller", "MÜLLER, Eva"};
    QTest::newRow("upper-case umlaut finds lower case") << QStringList{"M", "MÜ"} << 5
                                                        << QStringList{"Hans Müller", "MÜLLER, Eva"};
    QTest::newRow("deleting widens again") << QStringList{"h", "ha", "han", "ha", "h", ""} << 5 << all;
    QTest::newRow("a blank at the end changes nothing")
        << QStringList{"h", "ha", "han", "hans", "hans "} << 5 << QStringList{"Hans Müller", "Hans Meier"};
    QTest::newRow("text changed in the middle") << QStringList{"17", "1", "71"} << 5
                                                << QStringList{"Hans Meier"};
    QTest::newRow("start number as part of another") << QStringList{"1"} << 5
                                                     << QStringList{"MÜLLER, Eva", "Anna Becker", "Hans Meier", "Jürgen Schmidt"};
    QTest::newRow("runs read after the text was typed") << QStringList{"h", "ha"} << 1
                                                        << QStringList{"Hans Müller", "Hans Meier"};
    QTest::newRow("nothing listed before typing") << QStringList{"j", "jü"} << 0
                                                  << QStringList{"Jürgen Schmidt"};
}

void TstRunList::filterAsTyped() {
    QFETCH(QStringList, keys);
    QFETCH(int, readFirst);
    QFETCH(QStringList, shown);
    std::vector<TEffectiveRun> field = Field();
    TRunListModel m;
    m.SetRuns({});
    m.AddOlderRuns({field.begin(), field.begin() + readFirst});
    for (const QString& text : keys)
        m.SetFilter(text);
    m.AddOlderRuns({field.begin() + readFirst, field.end()});
    QCOMPARE(Names(m), shown);
    QCOMPARE(m.RunCount(), 5);

    // The same rows as the text typed at once into a list read in one go.
    std::vector<TEffectiveRun> recorded = field;
    std::reverse(recorded.begin(), recorded.end());
    TRunListModel once;
    once.SetRuns(recorded);
    once.SetFilter(keys.last());
    QCOMPARE(Names(once), shown);
}

// Older runs with more laps: the lap columns grow and every cell stays under its head.
void TstRunList::olderRunsReadLater_data() {
    QTest::addColumn<int>("newerLaps");
    QTest::addColumn<int>("olderLaps");
    QTest::addColumn<int>("laps"); // lap columns in the end
    QTest::newRow("older runs with more laps") << 2 << 4 << 4;
    QTest::newRow("older runs with fewer laps") << 3 << 2 << 3;
    QTest::newRow("older runs with more laps than can be kept") << 2 << 7 << MaxLaps;
}

void TstRunList::olderRunsReadLater() {
    QFETCH(int, newerLaps);
    QFETCH(int, olderLaps);
    QFETCH(int, laps);
    TRunListModel m;
    int inserted = 0;
    connect(&m, &QAbstractItemModel::columnsInserted, this,
            [&](const QModelIndex&, int first, int last) { inserted += last - first + 1; });
    m.SetRuns({});
    m.AddOlderRuns({RunOf(QStringLiteral("1"), QStringLiteral("Neu"), newerLaps)});
    const int columns = m.columnCount();
    inserted = 0;
    TEffectiveRun old = RunOf(QStringLiteral("2"), QStringLiteral("Alt"), std::min(olderLaps, MaxLaps));
    old.Run.Laps = olderLaps;
    m.AddOlderRuns({old});
    QCOMPARE(m.rowCount(), 2);
    QCOMPARE(m.columnCount(), columns + inserted);
    const QStringList header = m.Header();
    QCOMPARE(header.size(), m.columnCount());
    QCOMPARE(header.filter(QRegularExpression(QStringLiteral("^Runde \\d$"))).size(), laps);
    const int total = header.indexOf(QStringLiteral("Gesamtzeit"));
    for (int row = 0; row < 2; ++row) {
        const QStringList texts = m.RowTexts(row);
        QCOMPARE(texts.size(), header.size());
        for (int c = 0; c < header.size(); ++c)
            QCOMPARE(m.data(m.index(row, c)).toString(), texts[c]);
        QVERIFY(!texts[total].isEmpty());
    }
}

// A run's penalty, status and notes show in the list and in its CSV, the total with
// the penalty beside the total as timed.
void TstRunList::correctionsShown_data() {
    QTest::addColumn<int>("cones");
    QTest::addColumn<QString>("status");
    QTest::addColumn<QStringList>("expected"); // column: text
    QTest::newRow("two cones")
        << 2 << QString()
        << QStringList{"Gesamtzeit:2.00,00", "Strafe:+4,00", "Mit Strafe:2.04,00",
                       "Hinweise:Strafe: 2 × Pylone – Tor 3", "Status:"};
    QTest::newRow("disqualified with a reason")
        << 0 << RunStatusDsq
        << QStringList{"Strafe:", "Mit Strafe:2.00,00", "Status:DSQ (Frühstart)", "Hinweise:"};
    QTest::newRow("a cone, dropped out")
        << 1 << RunStatusDnf
        << QStringList{"Gesamtzeit:DNF", "Strafe:+2,00", "Mit Strafe:", "Status:DNF"};
}

void TstRunList::correctionsShown() {
    QFETCH(int, cones);
    QFETCH(QString, status);
    QFETCH(QStringList, expected);
    TEffectiveRun e = RunOf(QStringLiteral("7"), QStringLiteral("Hans Müller"));
    if (cones > 0) e.Penalties.push_back({QStringLiteral("Pylone"), QStringLiteral("Tor 3"), 2000, cones});
    if (!status.isEmpty()) {
        e.Run.Status = status;
        if (status == RunStatusDsq) e.StatusReason = QStringLiteral("Frühstart");
    }
    TRunListModel m;
    m.SetRuns({e});
    const QStringList header = m.Header();
    const QStringList texts = m.RowTexts(0);
    const QString csv = QString::fromUtf8(m.Csv());
    for (const QString& x : expected) {
        const QString column = x.section(QLatin1Char(':'), 0, 0), text = x.section(QLatin1Char(':'), 1);
        QVERIFY2(header.contains(column), qPrintable(column));
        QCOMPARE(texts.value(header.indexOf(column)), text);
        if (!text.isEmpty()) QVERIFY2(csv.contains(text), qPrintable(csv));
    }
}

QTEST_GUILESS_MAIN(TstRunList)
#include "tst_runlist.moc"
