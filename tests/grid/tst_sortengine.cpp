// The sort engine on its own: comparison rules, key lists, detection and
// multi-key orders, without any window.
#include "SortEngine.h"

#include <QTest>

namespace {

TSortLocale German() {
    return TSortLocale::From(QLocale(QLocale::German, QLocale::Germany));
}
TSortLocale English() {
    return TSortLocale::From(QLocale(QLocale::English, QLocale::UnitedStates));
}

int Sign(int v) {
    return (v > 0) - (v < 0);
}

// Data rows of a one-column table (row 0 is the header).
std::vector<int> Order(const QStringList& column, TSortOptions& o, TSortStyle style,
                       const TSortLocale& loc, int col = 0, const QList<QStringList>& table = {}) {
    const QList<QStringList> rows = table.isEmpty() ? [&] {
        QList<QStringList> t{{QStringLiteral("head")}};
        for (const QString& s : column)
            t << QStringList{s};
        return t;
    }()
                                                    : table;
    o.SortStyle = style;
    return SortOrder(
        static_cast<int>(rows.size()), static_cast<int>(rows[0].size()), col, o,
        [&](int r, int c) { return rows[r][c]; }, nullptr, loc);
}

} // namespace

class TstSortEngine : public QObject {
    Q_OBJECT
private slots:
    void localeFormats() {
        const TSortLocale de = German();
        QCOMPARE(de.DecimalSeparator, QLatin1Char(','));
        QCOMPARE(de.DateSeparator, QLatin1Char('.'));
        QCOMPARE(de.Order, TSortLocale::DMY);
        const TSortLocale en = English();
        QCOMPARE(en.DecimalSeparator, QLatin1Char('.'));
        QCOMPARE(en.Order, TSortLocale::MDY);
    }

    void compareTexts_data() {
        QTest::addColumn<bool>("german");
        QTest::addColumn<int>("style");
        QTest::addColumn<QString>("a");
        QTest::addColumn<QString>("b");
        QTest::addColumn<int>("sign");
        for (bool de : {true, false}) {
            const char* l = de ? "de " : "en ";
            auto row = [&](const char* name) -> QTestData& {
                return QTest::newRow((QByteArray(l) + name).constData());
            };
            row("numeric 9<10") << de << int(ssNumeric) << "9"
                                << "10" << -1;
            row("numeric 12<abc") << de << int(ssNumeric) << "12"
                                  << "abc" << -1;
            row("numeric empty first") << de << int(ssNumeric) << ""
                                       << "5" << -1;
            row("numeric sign exp") << de << int(ssNumeric) << "-1e2"
                                    << " 3 " << -1;
            row("numeric equal") << de << int(ssNumeric) << "007"
                                 << "7" << 0;
            row("normal ordinal") << de << int(ssNormal) << "abc"
                                  << "abd" << -1;
            row("normal prefix") << de << int(ssNormal) << "ab"
                                 << "abc" << -1;
            row("umlaut after z") << de << int(ssNormal) << "\u00e4"
                                  << "z" << 1;
            row("ext R9<R10") << de << int(ssNumericExtended) << "R9"
                              << "R10" << -1;
            row("ext A1b<A2b") << de << int(ssNumericExtended) << "A1b"
                               << "A2b" << -1;
            row("ext empties equal") << de << int(ssNumericExtended) << ""
                                     << "" << 0;
            row("ext empty first") << de << int(ssNumericExtended) << ""
                                   << "x1" << -1;
            row("ext non-number keys") << de << int(ssNumericExtended) << "xa"
                                       << "xb" << -1;
            row("time bare hour") << de << int(ssTime) << "7"
                                  << "6:59" << 1;
            row("time pm") << de << int(ssTime) << "1:00 PM"
                           << "11:00" << 1;
            row("time am marker first") << de << int(ssTime) << "AM 12:30"
                                        << "0:31" << -1;
            row("time invalid falls back") << de << int(ssTime) << "25:00"
                                           << "3:00" << -1;
            row("time millis") << de << int(ssTime) << (de ? "1:00:00,5" : "1:00:00.5") << "1:00:00"
                               << 1;
        }
        QTest::newRow("de decimal comma") << true << int(ssNumeric) << "1,5"
                                          << "2" << -1;
        QTest::newRow("de point refused") << true << int(ssNumeric) << "10.5"
                                          << "9" << -1; // ordinal
        QTest::newRow("en decimal point") << false << int(ssNumeric) << "10.5"
                                          << "9" << 1;
        QTest::newRow("de date") << true << int(ssDateTime) << "31.12.2025"
                                 << "1.1.2026" << -1;
        QTest::newRow("de date time") << true << int(ssDateTime) << "1.1.2026 10:00"
                                      << "1.1.2026 9:00" << 1;
        QTest::newRow("de two-digit year") << true << int(ssDateTime) << "1.1.99"
                                           << "1.1.01" << -1;
        QTest::newRow("de no such date") << true << int(ssDateTime) << "31.02.2025"
                                         << "1.1.2025" << 1; // ordinal
        QTest::newRow("en date") << false << int(ssDateTime) << "12/31/2025"
                                 << "1/1/2026" << -1;
    }
    void compareTexts() {
        QFETCH(bool, german);
        QFETCH(int, style);
        QFETCH(QString, a);
        QFETCH(QString, b);
        QFETCH(int, sign);
        const TSortLocale loc = german ? German() : English();
        QCOMPARE(Sign(SortRules::CompareTexts(a, b, TSortStyle(style), nullptr, loc)), sign);
        QCOMPARE(Sign(SortRules::CompareTexts(b, a, TSortStyle(style), nullptr, loc)), -sign);
    }

    void caseFoldingOnlyAsciiLetters() {
        TSortOptions o;
        TSortedListEntry b{QStringLiteral("b"), 1, &o}, B{QStringLiteral("B"), 2, &o};
        const TSortLocale loc = German();
        QCOMPARE(SortRules::CompareEntries(b, B, ssNormal, loc), -1); // equal text: row order
        o.SortDirection = sdDescending;
        QCOMPARE(SortRules::CompareEntries(b, B, ssNormal, loc), -1); // tie-break not reversed
        QVERIFY(SortRules::CompareTexts(SortRules::FoldAscii(QStringLiteral("\u00c4")),
                                        SortRules::FoldAscii(QStringLiteral("\u00e4")), ssNormal,
                                        nullptr, loc) != 0); // umlauts are not folded
        QCOMPARE(SortRules::FoldAscii(QStringLiteral("AbZ\u00c4")), QStringLiteral("abz\u00c4"));
    }

    void keyList_data() {
        QTest::addColumn<QString>("list");
        QTest::addColumn<QStringList>("items");
        QTest::newRow("empty") << "" << QStringList{};
        QTest::newRow("commas") << "3,1" << QStringList{"3", "1"};
        QTest::newRow("blanks and commas") << " 3 ,  1 2" << QStringList{"3", "1", "2"};
        QTest::newRow("quoted") << "\"1, 2\",3" << QStringList{"1, 2", "3"};
        QTest::newRow("trailing comma") << "3," << QStringList{"3", ""};
        QTest::newRow("double comma") << "3,,1" << QStringList{"3", "", "1"};
    }
    void keyList() {
        QFETCH(QString, list);
        QFETCH(QStringList, items);
        QCOMPARE(SortRules::SplitKeyList(list), items);
    }

    void detection_data() {
        QTest::addColumn<QStringList>("texts");
        QTest::addColumn<int>("style");
        QTest::newRow("numbers") << QStringList{"1", "2,5", "-3"} << int(ssNumeric);
        QTest::newRow("dates") << QStringList{"1.2.2024", "3.4.2025 10:00"} << int(ssDateTime);
        QTest::newRow("times") << QStringList{"10:00", "7:30:15"} << int(ssTime);
        QTest::newRow("mixed") << QStringList{"10", "abc"} << int(ssNormal);
        QTest::newRow("empty cell") << QStringList{"10", ""} << int(ssNormal);
    }
    void detection() {
        QFETCH(QStringList, texts);
        QFETCH(int, style);
        QCOMPARE(int(SortRules::DetectSortStyle(texts, German())), style);
    }

    void stableInBothDirections() {
        TSortOptions o;
        const QStringList col{"b", "a", "B", "a", "b"};
        QCOMPARE(Order(col, o, ssNormal, German()), (std::vector<int>{2, 4, 1, 3, 5}));
        o.SortDirection = sdDescending;
        QCOMPARE(Order(col, o, ssNormal, German()), (std::vector<int>{1, 3, 5, 2, 4}));
    }

    void emptyCellsUnderNumeric() {
        TSortOptions o;
        const QStringList col{"10", "", "9", "abc"};
        QCOMPARE(Order(col, o, ssNumeric, German()), (std::vector<int>{2, 3, 1, 4}));
        o.SortDirection = sdDescending;
        QCOMPARE(Order(col, o, ssNumeric, German()), (std::vector<int>{4, 1, 3, 2}));
    }

    void secondaryKeys() {
        // Sort by column 1, then column 3 (SecondaryIndex "3,1" puts 1 first).
        const QList<QStringList> t{{"h0", "h1", "h2", "h3"},
                                   {"a", "x", "", "2"},
                                   {"b", "y", "", "1"},
                                   {"c", "x", "", "1"},
                                   {"d", "y", "", "1"}};
        TSortOptions o;
        o.SecondaryIndex = QStringLiteral("3,1,\"notacolumn\",99");
        QCOMPARE(Order({}, o, ssNormal, German(), 1, t), (std::vector<int>{3, 1, 2, 4}));
    }

    void automaticDetectsPerColumn() {
        TSortOptions o;
        const QList<QStringList> t{{"n", "s"}, {"10", "b"}, {"9", "a"}};
        QCOMPARE(Order({}, o, ssAutomatic, German(), 0, t), (std::vector<int>{2, 1}));
        QCOMPARE(o.SortStyle, ssAutomatic); // detected afresh next time
        QCOMPARE(Order({}, o, ssAutomatic, German(), 1, t), (std::vector<int>{2, 1}));
    }

    // An ordered head with an unordered tail (filtering switched off) is sorted by the tail
    // and a merge: the rows must come out as a whole sort gives them, ties by position.
    void orderedHeadUnorderedTail_data() {
        QTest::addColumn<QStringList>("column");
        QTest::addColumn<int>("style");
        QTest::addColumn<bool>("descending");
        QTest::addColumn<std::vector<int>>("expected");
        const QStringList texts{"a", "b", "d", "d", "c", "a", "d", "b"};
        const QStringList numbers{"1", "2", "10", "10", "3", "1", "11", "2"};
        const QStringList times{"0:00:50", "0:01:00", "0:10:00", "0:10:00",
                                "0:02:00", "0:00:50", "0:20:00", "0:01:00"};
        QTest::newRow("texts") << texts << int(ssNormal) << false << std::vector<int>{1, 6, 2, 8, 5, 3, 4, 7};
        QTest::newRow("texts descending") << texts << int(ssNormal) << true << std::vector<int>{3, 4, 7, 5, 2, 8, 1, 6};
        QTest::newRow("numbers") << numbers << int(ssNumeric) << false << std::vector<int>{1, 6, 2, 8, 5, 3, 4, 7};
        QTest::newRow("times") << times << int(ssTime) << false << std::vector<int>{1, 6, 2, 8, 5, 3, 4, 7};
        QTest::newRow("short head") << QStringList{"d", "a", "c", "b", "a", "e", "b", "c"} << int(ssNormal)
                                    << false << std::vector<int>{2, 5, 4, 7, 3, 8, 1, 6};
    }
    void orderedHeadUnorderedTail() {
        QFETCH(QStringList, column);
        QFETCH(int, style);
        QFETCH(bool, descending);
        QFETCH(std::vector<int>, expected);
        TSortOptions o;
        o.SortDirection = descending ? sdDescending : sdAscending;
        QCOMPARE(Order(column, o, TSortStyle(style), German()), expected);
    }

    void handlerStyleKeptFromPassToPass() {
        TSortOptions o;
        o.SecondaryIndex = QStringLiteral("1");
        const QList<QStringList> t{{"a", "b"}, {"10", "x"}, {"9", "x"}};
        QList<int> styles;
        auto order = SortOrder(
            3, 2, 0, o, [&](int r, int c) { return t[r][c]; },
            [&](int col, TSortStyle& s) {
                styles << int(s);
                if (col == 0) s = ssNumeric;
            },
            German());
        QCOMPARE(styles, (QList<int>{int(ssAutomatic), int(ssAutomatic)}));
        QCOMPARE(order, (std::vector<int>{2, 1}));
        QCOMPARE(o.SortStyle, ssNumeric);
    }
};

QTEST_APPLESS_MAIN(TstSortEngine)
#include "tst_sortengine.moc"
