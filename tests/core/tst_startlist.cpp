#include "ProtocolFile.h"
#include "StartList.h"

#include <QtTest>

using namespace StartList;

class TestStartList : public QObject {
    Q_OBJECT
private slots:
    void exports_data();
    void exports();
    void recognition_data();
    void recognition();
    void nameOrderAndMarks();
    void rememberedMapping();
};

namespace {
QStringList Describe(const QList<TEntrant>& entrants) {
    QStringList out;
    for (const TEntrant& e : entrants)
        out << QStringList{e.StartNr, e.Name, e.Class, e.Club, e.Vehicle}.join(QLatin1Char('|'));
    return out;
}
} // namespace

// Files as registration systems and spreadsheets write them, each read with the
// suggested mapping: which reader takes it, the title offered from above the
// header, the drivers. A sheet's cells are given as lines of "|"-separated cells.
void TestStartList::exports_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<bool>("sheet");
    QTest::addColumn<QString>("route");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QStringList>("entrants");
    const QString dialog = QStringLiteral("dialog"), plain = QStringLiteral("plain");
    QTest::newRow("semicolon, UTF-8 with mark, CR LF, empty club")
        << QByteArray("\xEF\xBB\xBFStartnummer;Nachname;Vorname;Verein;Klasse;Fahrzeug\r\n"
                      "12;M\xC3\xBCller;Hans;MSC Hockenheim;A1;Porsche 911\r\n"
                      "7;Vogt;Lena;;B;\r\n")
        << false << dialog << ""
        << QStringList{"12|Hans Müller|A1|MSC Hockenheim|Porsche 911", "7|Lena Vogt|B||"};
    QTest::newRow("comma, quoted fields with comma and doubled quote")
        << QByteArray("Nr.,Name,Vorname,AK,Team\n"
                      "3,\"Berger, Jr.\",Tom,\"U18\",\"Team \"\"Blitz\"\"\"\n")
        << false << dialog << "" << QStringList{"3|Tom Berger, Jr.|U18|Team \"Blitz\"|"};
    QTest::newRow("tab, first name before name, blank lines and padding")
        << QByteArray("\n StNr \tVorname\tName\tGruppe\n\n21\t Jana \tLehmann\tH\n")
        << false << dialog << "" << QStringList{"21|Jana Lehmann|H||"};
    QTest::newRow("quoted name across a line break")
        << QByteArray("Nr;Name;Verein\n5;\"Max\nMustermann\";MSC\n6;Eva;\n") << false << dialog
        << "" << QStringList{"5|Max Mustermann||MSC|", "6|Eva|||"};
    QTest::newRow("Windows-1252, unknown columns left out")
        << QByteArray("Startnummer;Name;Geburtsjahr;Klasse\r\n1;J\xF6rg;1990;A\r\n") << false
        << dialog << "" << QStringList{"1|Jörg|A||"};
    QTest::newRow("second club column is not taken")
        << QByteArray("Nr;Name;Verein;Team\n9;Ida;MSC;Rot\n") << false << dialog << ""
        << QStringList{"9|Ida||MSC|"};
    QTest::newRow("sep=, a title line and an empty spreadsheet row above the header")
        << QByteArray("sep=;\r\nNennliste Slalom Hockenheim;;;;\r\n;;;;\r\n"
                      "Startnummer;Nachname;Vorname;Klasse;Verein\r\n12;Berg;Hans;A1;MSC\r\n")
        << false << dialog << "Nennliste Slalom Hockenheim" << QStringList{"12|Hans Berg|A1|MSC|"};
    QTest::newRow("sep= names a comma, English headings")
        << QByteArray("sep=,\nBib,Last name,First name\n7,Vogt,Lena\n") << false << dialog << ""
        << QStringList{"7|Lena Vogt|||"};
    QTest::newRow("Startnr. and Fahrer")
        << QByteArray("Startnr.;Fahrer;Verein;Klasse\n1;Eva Rot;MSC;A\n") << false << dialog << ""
        << QStringList{"1|Eva Rot|A|MSC|"};
    QTest::newRow("unknown headings leave no name column")
        << QByteArray("Pos;Teilnehmer;Verein;Klasse\n1;Eva Rot;MSC;A\n") << false
        << "dialog without name" << "" << QStringList{"||A|MSC|"};
    QTest::newRow("plain start list with times and DNF")
        << QByteArray("Start-Nr.;Name\n12;Hans;55,10;54,3\n13;Eva;1.02,30;DNF\n14;Max;54\n")
        << false << plain << "" << QStringList{"12|Hans|||", "13|Eva|||", "14|Max|||"};
    QTest::newRow("the program's own file with a text typed into a lap")
        << QByteArray("Start-Nr.\tName\tRunde 1\tRunde 2\tRunde 3\tRunde 4\tRunde 5\tGesamtzeit\t"
                      "Beste Runde\t\r\n7\tEva\tHand?\t54,20\t \t \t \t1.49,30\t54,20\t\r\n")
        << false << plain << "" << QStringList{"7|Eva|||"};
    QTest::newRow("no header, text where times go")
        << QByteArray("12;Hans;M\xC3\xBCller;MSC\n13;Eva;Rot;RSC\n") << false << dialog << ""
        << QStringList{"12|Hans|||", "13|Eva|||"};
    QTest::newRow("comma list without header")
        << QByteArray("12,Hans\n13,Eva\n") << false << dialog << ""
        << QStringList{"12|Hans|||", "13|Eva|||"};
    QTest::newRow("a title above the protocol's header")
        << QByteArray("Sommerslalom\nStart-Nr.;Name\n12;Hans\n") << false << dialog
        << "Sommerslalom" << QStringList{"12|Hans|||"};
    QTest::newRow("workbook: title row and a blank row above the header")
        << QByteArray("Nennliste Slalom Hockenheim|\n|\n"
                      "Startnummer|Nachname|Vorname|Klasse|Verein|Fahrzeug\n"
                      "12|Berg|Hans|A1|MSC|Golf\n|\n|Notiz weit unten\n")
        << true << dialog << "Nennliste Slalom Hockenheim" << QStringList{"12|Hans Berg|A1|MSC|Golf"};
    QTest::newRow("workbook: the protocol's own layout, header in row 4")
        << QByteArray("|Sommertraining\nErgebnisliste|Gruppe B|Nr.|3\nDatum:|6. Dezember 2026\n"
                      "Start-Nr.|Name|Runde 1|Runde 2|Gesamtzeit|Beste Runde\n7|Eva|55,1|54,2|1.49,3|54,2\n")
        << true << plain << "Sommertraining" << QStringList{"7|Eva|||"};
    QTest::newRow("workbook: start list with its header in row 1")
        << QByteArray("Start-Nr.|Name\n5|Ida\n") << true << dialog << "" << QStringList{"5|Ida|||"};
}

void TestStartList::exports() {
    QFETCH(QByteArray, file);
    QFETCH(bool, sheet);
    QFETCH(QString, route);
    QFETCH(QString, title);
    QFETCH(QStringList, entrants);
    const QString text = ProtocolFile::DecodeText(file);
    TTable t;
    bool needsMapping = false;
    if (sheet) {
        QList<QStringList> cells;
        for (const QString& line : text.split(QLatin1Char('\n')))
            cells << line.split(QLatin1Char('|'));
        t = FromCells(cells);
        needsMapping = SheetNeedsMapping(t);
    } else {
        t = ParseText(text);
        needsMapping = TextNeedsMapping(t, ProtocolFile::ParseRows(text));
    }
    const TMapping mapping = SuggestMapping(t);
    QCOMPARE(!needsMapping                ? QStringLiteral("plain")
             : HasNameColumn(mapping) ? QStringLiteral("dialog")
                                      : QStringLiteral("dialog without name"),
             route);
    QCOMPARE(t.Above.value(0), title);
    QCOMPARE(Describe(Apply(t, mapping, noFirstLast)), entrants);
    // No field of a named list ever reaches a time cell.
    for (const QStringList& row : ProtocolRows(Apply(t, mapping, noFirstLast)))
        for (int c = 2; c < row.size(); ++c)
            QVERIFY(row[c].isEmpty());
}

void TestStartList::recognition_data() {
    QTest::addColumn<QString>("firstLine");
    QTest::addColumn<bool>("named");
    QTest::newRow("protocol head row") << "Start-Nr.\tName\tRunde 1\tRunde 2\tRunde 3\tRunde "
                                          "4\tRunde 5\tGesamtzeit\tBeste Runde\t"
                                       << false;
    QTest::newRow("plain start list head") << "Start-Nr.;Name" << false;
    QTest::newRow("plain head with a class") << "Start-Nr.;Name;Klasse" << true;
    QTest::newRow("data line") << "12;Hans" << false;
    QTest::newRow("one known column") << "Name;Zeit" << false;
    QTest::newRow("Nr. and Name") << "Nr.;Name" << true;
    QTest::newRow("case and blanks ignored") << " startnummer ; NACHNAME " << true;
    QTest::newRow("English") << "Bib;Surname;Given name" << true;
    QTest::newRow("Start-Nr. without its dot") << "Start-Nr;Name" << true;
}

void TestStartList::recognition() {
    QFETCH(QString, firstLine);
    QFETCH(bool, named);
    QCOMPARE(IsNamedHeader(ParseText(firstLine + "\n1;x\n").Header), named);
}

void TestStartList::nameOrderAndMarks() {
    const TTable t = ParseText("Nr;Nachname;Vorname\n1;Vogt;Lena\n1;Berg;\n2;;\n");
    const QList<TEntrant> e = Apply(t, SuggestMapping(t.Header), noLastFirst);
    QCOMPARE(Describe(e), (QStringList{"1|Vogt, Lena|||", "1|Berg|||", "2||||"}));
    QCOMPARE(DuplicateStartNumbers(e), QSet<QString>{"1"}); // marked, never dropped
}

void TestStartList::rememberedMapping() {
    const QStringList header{"Nr", "Name", "Club"};
    const TMapping m{sfStartNr, sfIgnore, sfClass};
    QCOMPARE(DecodeMapping(EncodeMapping(m), 3), m);
    QVERIFY(DecodeMapping(EncodeMapping(m), 4).isEmpty()); // another layout
    QVERIFY(DecodeMapping(QStringLiteral("1,9,0"), 3).isEmpty());
    QCOMPARE(LayoutKey(header), LayoutKey({" nr ", "NAME", "club"}));
    QVERIFY(LayoutKey(header) != LayoutKey({"Nr", "Name"}));
}

QTEST_APPLESS_MAIN(TestStartList)
#include "tst_startlist.moc"
