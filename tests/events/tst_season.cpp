// Season standings from events' standings, against tables worked out by hand.
#include "Season.h"

#include <QtTest>

namespace {

// An event's standings written "1|Anna|X|1" (start number, name, class, class
// place) or "4|Dora|Y||DSQ", one string per row.
TSeasonEvent Event(int index, const QStringList& rows) {
    TSeasonEvent e;
    e.Title = QStringLiteral("Lauf %1").arg(index + 1);
    e.Date = QDate(2026, 4, 1).addDays(30 * index);
    for (const QString& spec : rows) {
        const QStringList f = spec.split(QLatin1Char('|'));
        TStandingRow r;
        r.StartNo = f[0];
        r.Name = f[1];
        r.Key = DriverKey(r.StartNo, r.Name);
        r.Class = f[2];
        r.ClassRank = f[3];
        r.Status = f.value(4);
        e.Rows << r;
    }
    return e;
}

// Events separated by "/" rows.
QList<TSeasonEvent> Season(const QStringList& lines) {
    QList<TSeasonEvent> events;
    QStringList rows;
    for (const QString& l : lines + QStringList{"/"}) {
        if (l != "/") {
            rows << l;
            continue;
        }
        events << Event(int(events.size()), rows);
        rows.clear();
    }
    return events;
}

} // namespace

class TstSeason : public QObject {
    Q_OBJECT
private slots:
    // Points per class place, best N, and the order of drivers level on points.
    // Each row: class|rank|name|results…|points.
    void points_data() {
        QTest::addColumn<int>("bestN");
        QTest::addColumn<QStringList>("events");
        QTest::addColumn<QStringList>("table");
        QTest::newRow("points by class place, DSQ and DNS none, the last event parts a tie")
            << 0
            << QStringList{"1|Anna|X|1", "2|Ben|X|2", "3|Carl|Y|1", "4|Dora|Y||DSQ", "/",
                           "1|Anna|X|2", "2|Ben|X|1", "3|Carl|Y||DNS", "4|Dora|Y|1"}
            << QStringList{"X|1|Ben|17|20|37", "X|2|Anna|20|17|37", "Y|1|Dora|DSQ|20|20",
                           "Y|2|Carl|20|DNS|20"};
        QTest::newRow("best two of three: the lowest in brackets, of two alike the earlier")
            << 2
            << QStringList{"1|Anna|X|1", "2|Ben|X|2", "/", "1|Anna|X|2", "2|Ben|X|1", "/",
                           "1|Anna|X|1", "2|Ben|X|2"}
            << QStringList{"X|1|Anna|20|(17)|20|40", "X|2|Ben|(17)|20|17|37"};
        QTest::newRow("best one: a DNF result is dropped before points")
            << 1 << QStringList{"1|Anna|X|3", "/", "1|Anna|X||DNF"}
            << QStringList{"X|1|Anna|15|(DNF)|15"};
        QTest::newRow("level on points: a win beats two third places before the last event")
            << 0 << QStringList{"1|Anna|X|1", "2|Ben|X|3", "/", "2|Ben|X|3", "1|Anna|X|6"}
            << QStringList{"X|1|Anna|20|10|30", "X|2|Ben|15|15|30"};
        QTest::newRow("level in everything: the rank is shared")
            << 0 << QStringList{"1|Anna|X|1", "2|Ben|X|1", "3|Carl|X|3"}
            << QStringList{"X|1|Anna|20|20", "X|1|Ben|20|20", "X|3|Carl|15|15"};
        QTest::newRow("places beyond the table score none, drivers without a class last")
            << 0 << QStringList{"7|Gina||16", "8|Hugo||1", "1|Anna|X|1"}
            << QStringList{"X|1|Anna|20|20", "|1|Hugo|20|20", "|2|Gina|0|0"};
        QTest::newRow("an event not driven stays empty, a place there beats none")
            << 0 << QStringList{"1|Anna|X|1", "/", "2|Ben|X|1"}
            << QStringList{"X|1|Ben||20|20", "X|2|Anna|20||20"};
        QTest::newRow("a driver changing class is shown in the latest")
            << 0 << QStringList{"1|Anna|X|2", "/", "1|Anna|Y|1"} << QStringList{"Y|1|Anna|17|20|37"};
    }
    void points() {
        QFETCH(int, bestN);
        QFETCH(QStringList, events);
        QFETCH(QStringList, table);
        TSeasonRules rules;
        rules.BestN = bestN;
        QStringList got;
        for (const TSeasonRow& r : ComputeSeason(Season(events), rules)) {
            QStringList t = SeasonTexts(r);
            t.removeAt(secStartNo);
            t.move(secClass - 1, 0);
            got << t.join(QLatin1Char('|'));
        }
        QCOMPARE(got, table);
    }

    // One driver across events: start number and name, blanks and case aside;
    // two spellings joined by hand. Each row: start number|name|points.
    void drivers_data() {
        QTest::addColumn<QStringList>("joins"); // "7|max mueller=7|max müller"
        QTest::addColumn<QStringList>("table");
        QTest::newRow("other spelling, other number: other drivers")
            << QStringList{} << QStringList{"8|eva|37", "7|Max Müller|20", "7|Max Mueller|17",
                                             "9|Max Müller|15"};
        QTest::newRow("two spellings joined: the joined-to spelling shows")
            << QStringList{"7|max mueller=7|max müller"}
            << QStringList{"8|eva|37", "7|Max Müller|37", "9|Max Müller|15"};
        QTest::newRow("a changed start number joined")
            << QStringList{"9|max müller=7|max müller"}
            << QStringList{"8|eva|37", "7|Max Müller|35", "7|Max Mueller|17"};
        QTest::newRow("joined in a circle by mistake: still one row each, no hang")
            << QStringList{"7|max mueller=7|max müller", "7|max müller=7|max mueller"}
            << QStringList{"8|eva|37", "7|Max Müller|20", "7|Max Mueller|17", "9|Max Müller|15"};
    }
    void drivers() {
        QFETCH(QStringList, joins);
        QFETCH(QStringList, table);
        TSeasonRules rules;
        for (const QString& j : joins)
            rules.Joined.insert(j.section('=', 0, 0), j.section('=', 1));
        const QList<TSeasonEvent> events =
            Season({"7|Max Müller|X|1", "8|Eva|X|2", "/", "7|Max Mueller|X|2", "8|eva|X|1",
                    "9|Max Müller|X|3"});
        QStringList got;
        for (const TSeasonRow& r : ComputeSeason(events, rules))
            got << r.StartNo + "|" + r.Name + "|" + QString::number(r.Points);
        QCOMPARE(got, table);
    }

    // Footnotes: dropped results and decided ties, numbered once, marked at the points.
    void footnotes() {
        TSeasonRules rules;
        rules.BestN = 1;
        const QList<TSeasonRow> rows =
            ComputeSeason(Season({"1|Anna|X|1", "2|Ben|X|2", "/", "1|Anna|X|2", "2|Ben|X|1"}), rules);
        const TSeasonFootnotes notes = SeasonFootnotes(SeasonSections(rows));
        QStringList got;
        for (const TSeasonRow& r : rows)
            got << SeasonSheetTexts(r, notes).join('|');
        QCOMPARE(got, (QStringList{"1|2|Ben|X|(17)|20|20¹\u2009²", "2|1|Anna|X|20|(17)|20¹\u2009²"}));
        QCOMPARE(notes.Lines({&rows[0]}),
                 (QStringList{"¹ (…) Streichergebnis: es zählen die besten 1 von 2 Veranstaltungen",
                              "² Punktgleich: die letzte Veranstaltung entscheidet"}));
    }

    // A points table as typed: only whole numbers, none above the one before.
    void pointsTable_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("points"); // as kept; "-" refused
        QTest::newRow("commas") << "20, 17, 15" << "20, 17, 15";
        QTest::newRow("blanks and semicolons") << " 25 18;15 " << "25, 18, 15";
        QTest::newRow("equal points for two places") << "10,10,8" << "10, 10, 8";
        QTest::newRow("rising") << "15, 17" << "-";
        QTest::newRow("a word") << "20, 17, viele" << "-";
        QTest::newRow("negative") << "3, -1" << "-";
        QTest::newRow("empty") << "" << "-";
    }
    void pointsTable() {
        QFETCH(QString, text);
        QFETCH(QString, points);
        QList<int> kept = {1};
        const bool ok = ParsePoints(text, kept);
        QCOMPARE(ok ? PointsText(kept) : QStringLiteral("-"), points);
        if (!ok) QCOMPARE(kept, QList<int>{1});
    }
};

QTEST_GUILESS_MAIN(TstSeason)
#include "tst_season.moc"
