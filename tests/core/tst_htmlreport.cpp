// The web page of the protocol, line by line.
#include "HtmlReport.h"
#include "Protocol.h"

#include <QTemporaryDir>
#include <QTest>

namespace {

THtmlReport Report(int laps) {
    THtmlReport r;
    r.Title = QStringLiteral("Porsche Cup");
    r.RunNumber = QStringLiteral("3");
    r.AppTitle = QStringLiteral("Zeitnahme");
    r.LongDate = QStringLiteral("Montag, 7. Dezember 2026");
    r.Laps = laps;
    r.Rows << QStringList(ProtocolCaptions.begin(), ProtocolCaptions.end());
    r.Rows << QStringList{"12",    "Hans",  "55,10",   "54,20", "53,00",
                          "52,00", "51,00", "4.25,30", "51,00", "1"};
    r.Rows << QStringList{"", "", "", "", "", "", "", "", "", ""};
    for (int c = 0; c < 10; ++c)
        r.ColWidths << (c == pcRank || (c >= 2 + laps && c <= 6) ? -1 : 72);
    return r;
}

QStringList Lines(const QByteArray& page) {
    QStringList lines = QString::fromLatin1(page).split(QStringLiteral("\r\n"));
    if (lines.last().isEmpty()) lines.removeLast();
    return lines;
}

} // namespace

class TstHtmlReport : public QObject {
    Q_OBJECT
private slots:
    void page_data() {
        QTest::addColumn<int>("laps");
        QTest::addColumn<QStringList>("head");
        QTest::addColumn<QString>("row");
        QTest::newRow("2 laps") << 2 << QStringList{"<th width=5%>Start-Nr.",
                                                    "<th width=20% nowrap>Name",
                                                    "<th width=10%>Runde 1",
                                                    "<th width=10%>Runde 2",
                                                    "<th width=10% nowrap>Gesamtzeit",
                                                    "<th width=10% nowrap>Beste Runde"}
                                << "<tr><td>12<td>Hans<td>55,10<td>54,20<td>4.25,30<td>51,00</tr>";
        QTest::newRow("5 laps")
            << 5
            << QStringList{"<th width=5%>Start-Nr.",          "<th width=20% nowrap>Name",
                           "<th width=10%>Runde 1",           "<th width=10%>Runde 2",
                           "<th width=10%>Runde 3",           "<th width=10%>Runde 4",
                           "<th width=10%>Runde 5",           "<th width=10% nowrap>Gesamtzeit",
                           "<th width=10% nowrap>Beste Runde"}
            << "<tr><td>12<td>Hans<td>55,10<td>54,20<td>53,00<td>52,00<td>51,00<td>4.25,30<td>"
               "51,00</tr>";
    }
    void page() {
        QFETCH(int, laps);
        QFETCH(QStringList, head);
        QFETCH(QString, row);
        const QByteArray bytes = HtmlReport::Page(Report(laps));
        QVERIFY(!bytes.contains("\n\n") && bytes.count("\n") == bytes.count("\r\n"));
        const QStringList lines = Lines(bytes);
        const QStringList top{
            "<HTML>",
            "<HEAD>",
            "<!-- www.tempora-zeitnahme.example software -->",
            "<TITLE>Zeitenprotokoll Zeitnahme</TITLE>",
            "<META http-equiv=Content-Type content=\"text/html; charset=iso-8859-1\">",
            "<META name=keywords content=\"Zeitenprotokoll Zeitnahme\">",
            "<META name=description content=\"Tempora professional software development for all\">",
            "<META name=\"Webdesign\" content=\"webdesign.tempora-zeitnahme.example\">",
            "<STYLE type=text/css>"};
        QCOMPARE(lines.mid(0, top.size()), top);
        const qsizetype body = lines.indexOf(QStringLiteral("<BODY>"));
        QCOMPARE(lines.mid(body + 2, 3),
                 (QStringList{"<h1><font face=Webdings size=7>K</font>&nbsp;Porsche Cup</h1></DIV>",
                              "<h3>Ergebnisliste <i></i> Nr. :3<BR>",
                              "Datum: Montag, 7. Dezember 2026</h3>"}));
        QCOMPARE(
            lines.mid(body + 6, 6),
            (QStringList{"<colgroup><col align=center><col>", "<col align=center bgcolor=#FFF2F2>",
                         "<col align=center bgcolor=#FFFFEA>", "<col align=center bgcolor=#EEFDF0>",
                         "<col class=best></colgroup>", "<thead align=left bgcolor=#91B5FF>"}));
        const qsizetype tr = lines.indexOf(QStringLiteral("<tr>"));
        QCOMPARE(lines.mid(tr + 1, head.size()), head);
        QCOMPARE(lines[tr + 1 + head.size()], QStringLiteral("</tr></thead>"));
        // The rank is never written; the blank row keeps its empty cells.
        QCOMPARE(lines[tr + 2 + head.size()], row);
        QCOMPARE(lines[tr + 3 + head.size()], QStringLiteral("<tr>") +
                                                  QStringLiteral("<td>").repeated(head.size()) +
                                                  QStringLiteral("</tr>"));
        QCOMPARE(lines.size(), tr + 5 + head.size());
        QCOMPARE(lines.last(),
                 QStringLiteral("</table><P align=right><a "
                                "href=\"http://www.tempora-zeitnahme.example/software/\" "
                                "title=\"Zeitnahme\"><FONT color=#FF0000>Tem</FONT><FONT "
                                "color=#009900>po</FONT><FONT color=#999999>ra</FONT><FONT "
                                "color=#666600>&nbsp; Sport Software "
                                "</FONT>&gt;&gt;</A></P></body></html>"));
    }

    // Names must show as typed in the browser, and none may run as markup.
    void texts_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("written");
        QTest::newRow("ampersand") << "Müller & Sohn" << QByteArray("M\xfcller &amp; Sohn");
        QTest::newRow("markup") << "<script>x=\"1\"</script>"
                                << QByteArray("&lt;script&gt;x=&quot;1&quot;&lt;/script&gt;");
        QTest::newRow("not Latin-1")
            << "\u0141ukasz \u20ac \U0001F3C1" << QByteArray("&#321;ukasz &#8364; &#127937;");
    }
    void texts() {
        QFETCH(QString, name);
        QFETCH(QByteArray, written);
        THtmlReport r = Report(2);
        r.Rows[1][1] = name;
        r.Title = name;
        const QByteArray page = HtmlReport::Page(r);
        QVERIFY(page.contains("<td>12<td>" + written + "<td>"));
        QVERIFY(page.contains("&nbsp;" + written + "</h1>"));
    }

    void unwritableFileIsReported() {
        QTemporaryDir dir;
        QVERIFY(!WriteHtmlReport(dir.filePath(QStringLiteral("no/such/dir/p.html")), Report(2)));
        QVERIFY(!WriteHtmlReport(dir.path(), Report(2))); // a folder of that name
    }
};

QTEST_GUILESS_MAIN(TstHtmlReport)
#include "tst_htmlreport.moc"
