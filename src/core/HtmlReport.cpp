#include "HtmlReport.h"
#include "DurableFile.h"

namespace HtmlReport {

QString MakerHost() {
    return QStringLiteral("www.tempora-zeitnahme.example");
}

QString WebDesignerHost() {
    return QStringLiteral("webdesign.tempora-zeitnahme.example");
}

QList<int> WrittenColumns(const THtmlReport& report) {
    QList<int> cols;
    for (int c = 0; c <= 8; ++c)
        if (c >= report.ColWidths.size() || report.ColWidths[c] >= 0) cols << c;
    return cols;
}

namespace {

// Appends the escaped text; most cells need no escaping and are copied whole.
void AppendEscaped(QString& out, QStringView text) {
    const qsizetype n = text.size();
    qsizetype plain = 0;
    while (plain < n) {
        const char16_t c = text[plain].unicode();
        if (c > 0xFF || c == u'&' || c == u'<' || c == u'>' || c == u'"') break;
        ++plain;
    }
    out += text.first(plain);
    for (qsizetype i = plain; i < n; ++i) {
        const char16_t c = text[i].unicode();
        switch (c) {
        case u'&':
            out += QLatin1String("&amp;");
            break;
        case u'<':
            out += QLatin1String("&lt;");
            break;
        case u'>':
            out += QLatin1String("&gt;");
            break;
        case u'"':
            out += QLatin1String("&quot;");
            break;
        default:
            if (c <= 0xFF) {
                out += QChar(c);
            } else {
                char32_t code = c;
                if (QChar::isHighSurrogate(c) && i + 1 < n && text[i + 1].isLowSurrogate())
                    code = QChar::surrogateToUcs4(c, text[++i].unicode());
                out += QLatin1String("&#") + QString::number(uint(code)) + QLatin1Char(';');
            }
        }
    }
}

} // namespace

QString Escape(const QString& text) {
    QString out;
    out.reserve(text.size() + 8);
    AppendEscaped(out, text);
    return out;
}

QByteArray Page(const THtmlReport& r) {
    QString s;
    s.reserve(1024 + r.Rows.size() * 120);
    const auto line = [&s](const QString& text) {
        s += text;
        s += QLatin1String("\r\n");
    };
    const QString app = Escape(r.AppTitle);
    const QStringList head = r.Rows.value(0);
    const auto caption = [&head](int c) { return Escape(head.value(c)); };

    line(QStringLiteral("<HTML>"));
    line(QStringLiteral("<HEAD>"));
    line(QStringLiteral("<!-- ") + MakerHost() + QStringLiteral(" software -->"));
    line(QStringLiteral("<TITLE>Zeitenprotokoll ") + app + QStringLiteral("</TITLE>"));
    line(
        QStringLiteral("<META http-equiv=Content-Type content=\"text/html; charset=iso-8859-1\">"));
    line(QStringLiteral("<META name=keywords content=\"Zeitenprotokoll ") + app +
         QStringLiteral("\">"));
    line(QStringLiteral(
        "<META name=description content=\"Tempora professional software development for all\">"));
    line(QStringLiteral("<META name=\"Webdesign\" content=\"") + WebDesignerHost() +
         QStringLiteral("\">"));
    line(QStringLiteral("<STYLE type=text/css>"));
    line(QStringLiteral("body {font-family: Verdana, Arial, Helvetica, sans-serif; font-size: "
                        "12px; background-color: #F4F4F4; text-align: center}"));
    line(QStringLiteral("h1 {text-decoration: blink; font-size: 26px}"));
    line(QStringLiteral("h3 { font-weight: normal}"));
    line(QStringLiteral(".best {font-weight: bold; text-align: center}"));
    line(QStringLiteral(
        "table {font-family: Verdana, Arial, Helvetica, sans-serif; font-size: 12px}"));
    line(QStringLiteral(
        "th {background-color: #999999; color: #FFFFFF; border: 1px #F4F4F4 dashed}"));
    line(QStringLiteral("td { border: #F4F4F4; border-style: dashed; border-top-width: 1px; "
                        "border-right-width: 1px; border-bottom-width: 1px; border-left-width: "
                        "1px}"));
    line(QStringLiteral("</STYLE></HEAD>"));

    line(QStringLiteral("<BODY>"));
    line(QStringLiteral("<DIV style=\"FILTER: Blur(direction=225, strength=3); WIDTH:100%\">"));
    line(QStringLiteral("<h1><font face=Webdings size=7>K</font>&nbsp;") + Escape(r.Title) +
         QStringLiteral("</h1></DIV>"));
    line(QStringLiteral("<h3>Ergebnisliste <i>") + Escape(r.ListSubtitle) +
         QStringLiteral("</i> Nr. :") + Escape(r.RunNumber) + QStringLiteral("<BR>"));
    line(QStringLiteral("Datum: ") + Escape(r.LongDate) + QStringLiteral("</h3>"));

    line(QStringLiteral(
        "<table style=\"BORDER-COLLAPSE: collapse\" bgcolor=#FFFFFF cellpadding=4 width=100%>"));
    line(QStringLiteral("<colgroup><col align=center><col>"));
    line(QStringLiteral("<col align=center bgcolor=#FFF2F2>"));
    line(QStringLiteral("<col align=center bgcolor=#FFFFEA>"));
    line(QStringLiteral("<col align=center bgcolor=#EEFDF0>"));
    line(QStringLiteral("<col class=best></colgroup>"));
    line(QStringLiteral("<thead align=left bgcolor=#91B5FF>"));
    line(QStringLiteral("<tr>"));
    line(QStringLiteral("<th width=5%>") + caption(0));
    line(QStringLiteral("<th width=20% nowrap>") + caption(1));
    for (int k = 1; k <= r.Laps; ++k)
        line(QStringLiteral("<th width=10%>") + caption(k + 1));
    line(QStringLiteral("<th width=10% nowrap>") + caption(7));
    line(QStringLiteral("<th width=10% nowrap>") + caption(8));
    line(QStringLiteral("</tr></thead>"));

    const QList<int> cols = WrittenColumns(r);
    for (qsizetype row = 1; row < r.Rows.size(); ++row) {
        const QStringList& cells = r.Rows[row];
        s += QLatin1String("<tr>");
        for (const int c : cols) {
            s += QLatin1String("<td>");
            if (c < cells.size()) AppendEscaped(s, cells[c]);
        }
        line(QStringLiteral("</tr>"));
    }

    line(QStringLiteral("</table><P align=right><a href=\"http://") + MakerHost() +
         QStringLiteral("/software/\" title=\"") + app +
         QStringLiteral("\"><FONT color=#FF0000>Tem</FONT><FONT color=#009900>po</FONT>"
                        "<FONT color=#999999>ra</FONT><FONT color=#666600>&nbsp; Sport Software "
                        "</FONT>&gt;&gt;</A></P></body></html>"));
    // Escape left only ISO-8859-1 characters.
    return s.toLatin1();
}

} // namespace HtmlReport

bool WriteHtmlReport(const QString& fileName, const THtmlReport& report) {
    const QByteArray bytes = HtmlReport::Page(report);
    return ReplaceFileContents(fileName, bytes);
}
