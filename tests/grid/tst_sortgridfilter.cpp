// Filtering: rows rejected by OnSetFilter wait beyond RowCount and come back.
#include "GridFixture.h"

#include <QRandomGenerator>

using namespace GridTest;

namespace {

// Every row of the grid, hidden ones included, as "nr|name" texts in row order.
QStringList AllRows(TSortGrid& g) {
    QStringList rows;
    for (int r = 1; r < g.RowCount() + g.HiddenRowCount(); ++r)
        rows << g.Rows(r).join(QLatin1Char('|'));
    return rows;
}

QStringList Sorted(QStringList l) {
    l.sort();
    return l;
}

} // namespace

class TstSortGridFilter : public QObject {
    Q_OBJECT
private slots:
    void filterThatAcceptsNothing() {
        Fixture f({{"Nr", "Name"}, {"3", "b"}, {"1", "a"}, {"2", "c"}});
        f.grid.SetModified(true);
        f.grid.OnSetFilter = [](const QStringList&, bool& accept) { accept = false; };
        f.grid.SetFiltered(true);
        QCOMPARE(f.grid.RowCount(), 2);
        QVERIFY(f.grid.IsRowEmpty(1));
        QCOMPARE(f.grid.HiddenRowCount(), 3);
        QCOMPARE(f.grid.FindRow(1, QStringLiteral("c"), false), 4); // hidden rows are found
        f.grid.SetFiltered(false);
        QCOMPARE(f.Column(1), (QStringList{"a", "c", "b"})); // sorted by SortCol 0
        QCOMPARE(f.Column(0), (QStringList{"1", "2", "3"}));
        QCOMPARE(f.grid.HiddenRowCount(), 0);
        QVERIFY(f.grid.Modified()); // kept as it was
    }

    void filterWithoutHandlerHidesAll() {
        Fixture f({{"Nr", "Name"}, {"1", "a"}, {"2", "b"}});
        f.grid.SetFiltered(true);
        QCOMPARE(f.grid.HiddenRowCount(), 2);
        QVERIFY(!f.grid.Modified());
        f.grid.SetCells(1, 1, QStringLiteral("typed while filtered")); // into the stand-in row
        f.grid.SetFiltered(false);
        QCOMPARE(f.grid.RowCount(), 4); // the typed row is kept
        QCOMPARE(f.grid.FindRow(1, QStringLiteral("typed while filtered"), false) > 0, true);
    }

    void objectsMoveWithTheirRows() {
        Fixture f({{"Nr", "Name"}, {"1", "a"}, {"2", "b"}, {"3", "c"}});
        QObject tag;
        f.grid.SetObjects(1, 3, &tag); // row "c"
        f.grid.OnSetFilter = [](const QStringList& row, bool& accept) { accept = row[1] != "a"; };
        f.grid.SetFiltered(true);
        QCOMPARE(f.grid.Objects(1, f.grid.FindRow(1, QStringLiteral("c"), false)), &tag);
        f.grid.SetFiltered(false);
        QCOMPARE(f.grid.Objects(1, f.grid.FindRow(1, QStringLiteral("c"), false)), &tag);
    }

    void changesWhileFilteredLoseNothing_data() {
        QTest::addColumn<int>("op");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("filter again") << 0 << QStringList{"1|a", "2|b", "3|c", "4|d"};
        QTest::newRow("insert a row") << 1 << QStringList{"|", "1|a", "2|b", "3|c", "4|d"};
        QTest::newRow("delete a row") << 2 << QStringList{"1|a", "2|b", "4|d"};
        QTest::newRow("Clear") << 3 << QStringList{"|"};
    }
    void changesWhileFilteredLoseNothing() {
        QFETCH(int, op);
        QFETCH(QStringList, expected);
        Fixture f({{"Nr", "Name"}, {"1", "a"}, {"2", "b"}, {"3", "c"}, {"4", "d"}});
        bool odd = true;
        f.grid.OnSetFilter = [&](const QStringList& row, bool& accept) {
            accept = (row[0].toInt() % 2 == 1) == odd;
        };
        f.grid.SetFiltered(true); // shows 1 and 3
        switch (op) {
        case 0:
            odd = false;
            f.grid.SetFiltered(true);
            QCOMPARE(f.Column(0), (QStringList{"2", "4"}));
            break;
        case 1: f.grid.InsertRow(1); break;
        case 2: f.grid.DeleteRow(f.grid.FindRow(1, QStringLiteral("c"), false)); break;
        case 3: f.grid.Clear(); break;
        }
        f.grid.SetFiltered(false);
        f.grid.SetRowCount(f.grid.RowCount() + 3); // nothing stale comes back either
        QStringList rows = AllRows(f.grid);
        while (rows.size() > expected.size() && rows.last() == QStringLiteral("|"))
            rows.removeLast();
        QCOMPARE(Sorted(rows), Sorted(expected));
    }

    // Max, Jürgen, Hans, Eva, Anna, Lena; the filter hides Jürgen and Lena.
    void rowCountWhileFiltered_data() {
        QTest::addColumn<int>("change");
        QTest::addColumn<QStringList>("shown");
        QTest::addColumn<QStringList>("afterOff");
        QTest::newRow("lowered cuts Anna")
            << -1 << QStringList{"Max", "Hans", "Eva"}
            << QStringList{"Max", "Jürgen", "Hans", "Eva", "Lena"};
        QTest::newRow("lowered by two")
            << -2 << QStringList{"Max", "Hans"} << QStringList{"Max", "Jürgen", "Hans", "Lena"};
        QTest::newRow("raised gives an empty row")
            << 1 << QStringList{"Max", "Hans", "Eva", "Anna", ""}
            << QStringList{"", "Max", "Jürgen", "Hans", "Eva", "Anna", "Lena"};
        QTest::newRow("raised by two")
            << 2 << QStringList{"Max", "Hans", "Eva", "Anna", "", ""}
            << QStringList{"", "", "Max", "Jürgen", "Hans", "Eva", "Anna", "Lena"};
    }
    void rowCountWhileFiltered() {
        QFETCH(int, change);
        QFETCH(QStringList, shown);
        QFETCH(QStringList, afterOff);
        Fixture f({{"Nr", "Name"},
                   {"1", "Max"},
                   {"2", "Jürgen"},
                   {"3", "Hans"},
                   {"4", "Eva"},
                   {"5", "Anna"},
                   {"6", "Lena"}});
        f.grid.OnSetFilter = [](const QStringList& row, bool& accept) {
            accept = row[1] != "Jürgen" && row[1] != "Lena";
        };
        f.grid.SetFiltered(true);
        f.grid.SetRowCount(f.grid.RowCount() + change);
        QCOMPARE(f.Column(1), shown);
        QCOMPARE(f.grid.HiddenRowCount(), 2);
        QCOMPARE(f.grid.FindRow(1, QStringLiteral("Jürgen"), false), f.grid.RowCount());
        QCOMPARE(f.grid.FindRow(1, QStringLiteral("Lena"), false), f.grid.RowCount() + 1);
        if (change < 0) QCOMPARE(f.grid.FindRow(1, QStringLiteral("Anna"), false), -1);
        f.grid.SetFiltered(false);
        QCOMPARE(f.Column(1), afterOff);
        QCOMPARE(f.grid.FindRow(1, QStringLiteral("Anna"), false) > 0, change > 0);
    }

    // Whoever empties the first row while filtered, it goes when filtering is switched off.
    void emptyFirstRowGoes_data() {
        QTest::addColumn<int>("how");
        QTest::newRow("only visible row deleted") << 0;
        QTest::newRow("only visible row emptied by hand") << 1;
        QTest::newRow("nothing accepted") << 2;
    }
    void emptyFirstRowGoes() {
        QFETCH(int, how);
        Fixture f({{"Nr", "Name"}, {"1", "Max"}, {"2", "Jürgen"}, {"3", "Hans"}});
        f.grid.OnSetFilter = [how](const QStringList& row, bool& accept) {
            accept = how != 2 && row[1] == "Max";
        };
        f.grid.SetFiltered(true);
        QCOMPARE(f.grid.RowCount(), 2);
        if (how == 0) f.grid.DeleteRow(1);
        if (how == 1) f.grid.SetRows(1, {QString(), QString()});
        QVERIFY(f.grid.IsRowEmpty(1));
        f.grid.SetFiltered(false);
        const QStringList expected = how == 2 ? QStringList{"Max", "Jürgen", "Hans"}
                                              : QStringList{"Jürgen", "Hans"};
        QCOMPARE(f.Column(1), expected);
    }

    void largeRoundTrips() {
        QList<QStringList> rows{{"Nr", "Name", "Zeit"}};
        QRandomGenerator rng(7);
        for (int i = 1; i <= 10000; ++i)
            rows << QStringList{QString::number(i), QStringLiteral("N%1").arg(rng.bounded(500)),
                                QString::number(rng.bounded(100000))};
        Fixture f(rows);
        const QStringList all = Sorted(AllRows(f.grid));
        int key = 0;
        f.grid.OnSetFilter = [&](const QStringList& row, bool& accept) {
            accept = row[1].mid(1).toInt() % 3 == key;
        };
        for (key = 0; key < 3; ++key) {
            f.grid.SetFiltered(true);
            QVERIFY(f.grid.HiddenRowCount() > 2000);
            f.grid.SortOptions().SortDirection = key == 1 ? sdDescending : sdAscending;
            f.grid.SortByColumn(2);
            for (int r = 1; r < f.grid.RowCount(); ++r)
                QCOMPARE(f.grid.Cells(1, r).mid(1).toInt() % 3, key);
            QCOMPARE(Sorted(AllRows(f.grid)), all);
            f.grid.SetFiltered(false);
            QCOMPARE(f.grid.RowCount(), 10001);
            QCOMPARE(Sorted(AllRows(f.grid)), all);
        }
    }
};

QTEST_MAIN(TstSortGridFilter)
#include "tst_sortgridfilter.moc"
