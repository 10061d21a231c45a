#include "Protocol.h"
#include "ProtocolFile.h"

#include <QTest>

using namespace ProtocolFile;

class TstProtocolFile : public QObject {
    Q_OBJECT
private slots:
    void byteExactOutput() {
        const QList<QStringList> rows{
            {ProtocolCaptions.begin(), ProtocolCaptions.end()},
            {"12", "Hans", "55,10", "54,20", "", "", "", "1.49,30", "54,20", "1"},
            {"", "Ohne Nummer", "1,00"},
            {"7", "J\u00fcrgen Gro\u00df", "", "", "", "", "", "", "", "-"}};
        const QByteArray expected = "Start-Nr.\tName\tRunde 1\tRunde 2\tRunde 3\tRunde 4\tRunde "
                                    "5\tGesamtzeit\tBeste Runde\t\r\n"
                                    "12\tHans\t55,10\t54,20\t \t \t \t1.49,30\t54,20\t\r\n"
                                    " \tOhne Nummer\t1,00\t \t \t \t \t \t \t\r\n"
                                    "7\tJ\xfcrgen Gro\xdf\t \t \t \t \t \t \t \t\r\n";
        QCOMPARE(Encode(rows), expected);
    }

    // A finished run without a start number must reach the file; only rows with
    // nothing in columns 0..8 are left out.
    void rowsWritten_data() {
        QTest::addColumn<QStringList>("row");
        QTest::addColumn<QByteArray>("line");
        QTest::newRow("no start number") << QStringList{"", "Hans", "1,00"}
                                         << QByteArray(" \tHans\t1,00\t \t \t \t \t \t \t\r\n");
        QTest::newRow("only times")
            << QStringList{"", "", "1,00"} << QByteArray(" \t \t1,00\t \t \t \t \t \t \t\r\n");
        QTest::newRow("entirely blank") << QStringList{"", " ", "", "  "} << QByteArray();
        QTest::newRow("only a rank")
            << QStringList{"", "", "", "", "", "", "", "", "", "-"} << QByteArray();
    }
    void rowsWritten() {
        QFETCH(QStringList, row);
        QFETCH(QByteArray, line);
        QCOMPARE(Encode({row}), line);
        const QList<QStringList> back = ParseRows(DecodeText(Encode({row, row})));
        QCOMPARE(back.size(), line.isEmpty() ? 0 : 2);
        if (!back.isEmpty()) QCOMPARE(back[0].value(1).trimmed(), row.value(1).trimmed());
    }

    void tabsAndLineBreaksInCells() {
        const QByteArray out = Encode({{"1", "a\tb\r\nc"}});
        QVERIFY(out.startsWith("1\ta b  c\t"));
        QCOMPARE(out.count('\t'), 9);
    }

    void utf8WhenWindows1252CannotHoldIt() {
        const QString name = QStringLiteral("\u0141ukasz");
        const QByteArray out = Encode({{"3", name}});
        QVERIFY(out.startsWith("\xEF\xBB\xBF"));
        QCOMPARE(ParseRows(DecodeText(out)).value(0).value(1), name);
        // Windows-1252 specials (euro, dashes) stay single bytes.
        QCOMPARE(ToWindows1252(QStringLiteral("\u20ac\u2013")), QByteArray("\x80\x96"));
        QCOMPARE(DecodeText(QByteArray("\x80\xf6")), QStringLiteral("\u20ac\u00f6"));
    }

    void lines_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QStringList>("fields");
        QTest::newRow("12;Hans") << "12;Hans" << QStringList{"12", "Hans"};
        QTest::newRow("12;;Hans") << "12;;Hans" << QStringList{"12", "Hans"};
        QTest::newRow(";Hans") << ";Hans" << QStringList{" ", "Hans"};
        QTest::newRow("no separator") << "Hans Meier" << QStringList{"Hans Meier"};
        QTest::newRow("empty") << "" << QStringList{};
        QTest::newRow("only separators") << ";;;" << QStringList{" "};
        QTest::newRow("tab wins over ;") << "1\tA;B\t" << QStringList{"1", "A;B"};
        // Spreadsheet CSV: quoted fields in semicolon lines.
        QTest::newRow("quoted separator and quotes")
            << QString::fromUtf8("12;\"M\u00fcller; Hans\";\"Der \"\"Blitz\"\"\"")
            << QStringList{"12", QString::fromUtf8("M\u00fcller; Hans"), "Der \"Blitz\""};
        QTest::newRow("all quoted") << "\"12\";\"Hans\"" << QStringList{"12", "Hans"};
        QTest::newRow("quoted empty field") << "12;\"\";Hans" << QStringList{"12", " ", "Hans"};
        QTest::newRow("text after the closing quote") << "\"ab\"cd;x" << QStringList{"abcd", "x"};
        QTest::newRow("lone quote keeps the rest")
            << "12;\"Blitz;Hans" << QStringList{"12", "\"Blitz;Hans"};
        QTest::newRow("tab line keeps quotes")
            << "\"1\"\t\"A;B\"" << QStringList{"\"1\"", "\"A;B\""};
        QTest::newRow("eleven fields")
            << "1;2;3;4;5;6;7;8;9;10;11"
            << QStringList{"1", "2", "3", "4", "5", "6", "7", "8", "9", "10"};
    }
    void lines() {
        QFETCH(QString, line);
        QFETCH(QStringList, fields);
        QCOMPARE(SplitLine(line), fields);
    }

    // Files of today's editors: UTF-8 without byte-order mark.
    void decode_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("UTF-8 without BOM") << QByteArray("12;M\xC3\xBCller") << "12;M\u00fcller";
        QTest::newRow("Windows-1252 umlauts")
            << QByteArray("J\xF6rg M\xFCller") << "J\u00f6rg M\u00fcller";
        QTest::newRow("Windows-1252 euro") << QByteArray("\x80 5") << "\u20ac 5";
        QTest::newRow("not all valid UTF-8")
            << QByteArray("M\xC3\xBCller \xFC") << "M\u00c3\u00bcller \u00fc";
        QTest::newRow("UTF-8 with BOM") << QByteArray("\xEF\xBB\xBF\xC5\x81") << "\u0141";
        // Excel's "Unicode text" and older Notepad files.
        QTest::newRow("UTF-16LE with BOM")
            << QByteArray::fromHex("fffe31003b004d00fc000d000a00") << "1;M\u00fc\r\n";
        QTest::newRow("UTF-16BE with BOM") << QByteArray::fromHex("feff0031003b0141") << "1;\u0141";
    }
    void decode() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        QCOMPARE(DecodeText(bytes), text);
    }

    // A name whose Windows-1252 bytes happen to be valid UTF-8 must still read back.
    void ownFilesReadBack() {
        const QString name = QStringLiteral("\u00c3\u00bc");
        QCOMPARE(ParseRows(DecodeText(Encode({{"1", name}}))).value(0).value(1), name);
    }

    void mixedQuotedAndPlainLines() {
        const QString text = QStringLiteral("\"Start-Nr.\";\"Name\"\r\n"
                                            "1;\"Meier; Anna\"\r\n"
                                            "2;;Bert\r\n"
                                            "\"3\";\"Carl \"\"C\"\"\";\"55,10\"\r\n"
                                            "4\tDora;\"x\"\r\n");
        const QList<QStringList> rows = ParseRows(text);
        QCOMPARE(rows.size(), 4);
        QCOMPARE(rows[0], (QStringList{"1", "Meier; Anna"}));
        QCOMPARE(rows[1], (QStringList{"2", "Bert"}));
        QCOMPARE(rows[2], (QStringList{"3", "Carl \"C\"", "55,10"}));
        QCOMPARE(rows[3], (QStringList{"4", "Dora;\"x\""}));
    }

    void headersAndEmptyLines() {
        const QString text =
            QStringLiteral("Start-Nr.;Name\r\n12;Hans\r\n\r\nStart-Nr.\tx\r\n13;Eva\r\n\r\n");
        const QList<QStringList> rows = ParseRows(text);
        QCOMPARE(rows.size(), 4); // Hans, blank, Eva, blank (the empty last line)
        QCOMPARE(rows[0], (QStringList{"12", "Hans"}));
        QVERIFY(rows[1].isEmpty());
        QCOMPARE(rows[2], (QStringList{"13", "Eva"}));
        QVERIFY(rows[3].isEmpty());
        QCOMPARE(ParseRows(QStringLiteral("a\nb")).size(), 2); // LF only, no final line end
        // Excel's first line names the separator; it is no driver.
        QCOMPARE(ParseRows(QStringLiteral("sep=;\r\n12;Hans\r\n")), (QList<QStringList>{{"12", "Hans"}}));
    }

    void roundTrip() {
        const QList<QStringList> table{
            {ProtocolCaptions.begin(), ProtocolCaptions.end()},
            {"12", "Hans; der Erste", "55,10", "", "", "", "", "55,10", "55,10", "1"}};
        const QList<QStringList> back = ParseRows(DecodeText(Encode(table)));
        QCOMPARE(back.size(), 1);
        QCOMPARE(back[0], (QStringList{"12", "Hans; der Erste", "55,10", " ", " ", " ", " ",
                                       "55,10", "55,10"}));
    }

    void notText() {
        QVERIFY(!LooksLikeText(QByteArray("ab\0cd", 5)));
        QVERIFY(LooksLikeText(QByteArray("12;Hans\r\n")));
        QVERIFY(LooksLikeText(QByteArray::fromHex("fffe31003b004100")));
    }
};

QTEST_APPLESS_MAIN(TstProtocolFile)
#include "tst_protocolfile.moc"
