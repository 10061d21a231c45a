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
// suggested mapping.
void TestStartList::exports_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QStringList>("entrants");
    QTest::newRow("semicolon, UTF-8 with mark, CR LF, empty club")
        << QByteArray("\xEF\xBB\xBFStartnummer;Nachname;Vorname;Verein;Klasse;Fahrzeug\r\n"
                      "12;M\xC3\xBCller;Hans;MSC Hockenheim;A1;Porsche 911\r\n"
                      "7;Vogt;Lena;;B;\r\n")
        << QStringList{"12|Hans Müller|A1|MSC Hockenheim|Porsche 911", "7|Lena Vogt|B||"};
    QTest::newRow("comma, quoted fields with comma and doubled quote")
        << QByteArray("Nr.,Name,Vorname,AK,Team\n"
                      "3,\"Berger, Jr.\",Tom,\"U18\",\"Team \"\"Blitz\"\"\"\n")
        << QStringList{"3|Tom Berger, Jr.|U18|Team \"Blitz\"|"};
    QTest::newRow("tab, first name before name, blank lines and padding")
        << QByteArray("\n StNr \tVorname\tName\tGruppe\n\n21\t Jana \tLehmann\tH\n")
        << QStringList{"21|Jana Lehmann|H||"};
    QTest::newRow("quoted name across a line break")
        << QByteArray("Nr;Name;Verein\n5;\"Max\nMustermann\";MSC\n6;Eva;\n")
        << QStringList{"5|Max Mustermann||MSC|", "6|Eva|||"};
    QTest::newRow("Windows-1252, unknown columns left out")
        << QByteArray("Startnummer;Name;Geburtsjahr;Klasse\r\n1;J\xF6rg;1990;A\r\n")
        << QStringList{"1|Jörg|A||"};
    QTest::newRow("second club column is not taken")
        << QByteArray("Nr;Name;Verein;Team\n9;Ida;MSC;Rot\n") << QStringList{"9|Ida||MSC|"};
}

void TestStartList::exports() {
    QFETCH(QByteArray, file);
    QFETCH(QStringList, entrants);
    const TTable t = ParseText(ProtocolFile::DecodeText(file));
    QVERIFY(IsNamedHeader(t.Header));
    QCOMPARE(Describe(Apply(t, SuggestMapping(t.Header), noFirstLast)), entrants);
    // No field of a named list ever reaches a time cell.
    for (const QStringList& row : ProtocolRows(Apply(t, SuggestMapping(t.Header), noFirstLast)))
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
