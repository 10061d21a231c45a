#include "WordEngine.h"
#include "OfficeZip.h"

#include <QDir>
#include <QRegularExpression>
#include <QXmlStreamReader>
#include <QtMath>

namespace {

const QString WordKind = QStringLiteral("Word-Datei");
const char* const WordNs = "http://schemas.openxmlformats.org/wordprocessingml/2006/main";

// Text as XML character data; characters XML cannot carry become blanks.
QByteArray Escape(const QString& text) {
    QString t;
    t.reserve(text.size());
    for (QChar ch : text) {
        const ushort u = ch.unicode();
        if (u == '&')
            t += QLatin1String("&amp;");
        else if (u == '<')
            t += QLatin1String("&lt;");
        else if (u == '>')
            t += QLatin1String("&gt;");
        else if (u == '"')
            t += QLatin1String("&quot;");
        else if (u < 0x20 || u == 0xFFFE || u == 0xFFFF)
            t += QLatin1Char(' ');
        else
            t += ch;
    }
    return t.toUtf8();
}

QByteArray Runs(const QString& text, bool bold) {
    QByteArray xml;
    const QByteArray rPr = bold ? "<w:rPr><w:b/></w:rPr>" : "";
    const QStringList parts = text.split(QLatin1Char('\t'));
    for (int i = 0; i < parts.size(); ++i) {
        if (i > 0) xml += "<w:r>" + rPr + "<w:tab/></w:r>";
        if (!parts[i].isEmpty())
            xml +=
                "<w:r>" + rPr + "<w:t xml:space=\"preserve\">" + Escape(parts[i]) + "</w:t></w:r>";
    }
    return xml;
}

QByteArray Paragraph(const QString& text, bool bold, const QByteArray& decl) {
    return "<w:p" + decl + ">" + Runs(text, bold) + "</w:p>";
}

// The width of a text in Arial 10 pt, in twips, from the letters' widths in ems.
int TextTwips(const QString& text, bool bold) {
    qreal em = 0;
    for (const QChar ch : text) {
        const ushort u = ch.unicode();
        if (QStringView(u".,:;'!|ijlIft ").contains(ch))
            em += 0.278;
        else if (u == 'r' || u == '-' || u == '(' || u == ')')
            em += 0.333;
        else if (u == 'm' || u == 'w' || u == 'M' || u == 'W')
            em += 0.833;
        else if (ch.isUpper())
            em += 0.722;
        else
            em += 0.556; // digits, lower case and the rest
    }
    return qCeil(em * (bold ? 1.1 : 1.0) * 200);
}

// Column widths in twips over the text width of an A4 page: every column as wide as its
// widest text; when that is too wide, the widest column (the name) takes what the others
// leave, so times never break over lines.
QList<int> ColumnWidths(const QList<QStringList>& rows, int columns) {
    constexpr int TextWidth = 9638; // A4 with 2 cm margins
    constexpr int Margins = 2 * 80 + 20;
    QList<int> natural(columns, 400), caption(columns, 400);
    for (qsizetype r = 0; r < rows.size(); ++r)
        for (int c = 0; c < columns && c < rows[r].size(); ++c) {
            const int w = TextTwips(rows[r][c], r == 0) + Margins;
            natural[c] = qMax(natural[c], w);
            if (r == 0) caption[c] = qMax(caption[c], w);
        }
    int total = 0, widest = 0;
    for (int c = 0; c < columns; ++c) {
        total += natural[c];
        if (natural[c] > natural[widest]) widest = c;
    }
    QList<int> twips = natural;
    if (columns > 0 && total > TextWidth) {
        twips[widest] = qMax(caption[widest], TextWidth - (total - natural[widest]));
        total += twips[widest] - natural[widest];
    } else if (columns > 0) {
        twips[widest] += TextWidth - total; // the table spans the page
        total = TextWidth;
    }
    if (total > TextWidth) // too many columns even so: all narrower
        for (int& w : twips)
            w = w * TextWidth / total;
    return twips;
}

QByteArray Table(const QList<QStringList>& rows, const QByteArray& decl) {
    const int columns = rows.isEmpty() ? 0 : int(rows.first().size());
    const QList<int> widths = ColumnWidths(rows, columns);
    int tableWidth = 0;
    for (int w : widths)
        tableWidth += w;
    QByteArray xml = "<w:tbl" + decl + "><w:tblPr><w:tblW w:w=\"" + QByteArray::number(tableWidth) +
                     "\" w:type=\"dxa\"/><w:tblBorders>";
    for (const char* side : {"top", "left", "bottom", "right", "insideH", "insideV"})
        xml += QByteArray("<w:") + side +
               " w:val=\"single\" w:sz=\"4\" w:space=\"0\" w:color=\"000000\"/>";
    xml += "</w:tblBorders><w:tblLayout w:type=\"fixed\"/>"
           "<w:tblCellMar><w:left w:w=\"80\" w:type=\"dxa\"/><w:right w:w=\"80\" "
           "w:type=\"dxa\"/></w:tblCellMar>"
           "<w:tblLook w:val=\"0020\" w:firstRow=\"1\" w:lastRow=\"0\" w:firstColumn=\"0\" "
           "w:lastColumn=\"0\" "
           "w:noHBand=\"1\" w:noVBand=\"1\"/></w:tblPr><w:tblGrid>";
    for (int w : widths)
        xml += "<w:gridCol w:w=\"" + QByteArray::number(w) + "\"/>";
    xml += "</w:tblGrid>";
    for (int r = 0; r < rows.size(); ++r) {
        xml += "<w:tr>";
        if (r == 0) xml += "<w:trPr><w:tblHeader/></w:trPr>"; // the head row repeats on every page
        for (int c = 0; c < columns; ++c) {
            xml += "<w:tc><w:tcPr><w:tcW w:w=\"" + QByteArray::number(widths[c]) +
                   "\" w:type=\"dxa\"/></w:tcPr>" +
                   Paragraph(rows[r].value(c), r == 0, QByteArray()) + "</w:tc>";
        }
        xml += "</w:tr>";
    }
    return xml + "</w:tbl>";
}

const char* const ContentTypes =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
    "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
    "<Default Extension=\"rels\" "
    "ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
    "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
    "<Override PartName=\"/word/document.xml\" "
    "ContentType=\"application/"
    "vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml\"/>"
    "<Override PartName=\"/word/styles.xml\" "
    "ContentType=\"application/vnd.openxmlformats-officedocument.wordprocessingml.styles+xml\"/>"
    "</Types>";

const char* const PackageRels =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
    "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
    "<Relationship Id=\"rId1\" "
    "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument\" "
    "Target=\"word/document.xml\"/></Relationships>";

const char* const DocumentRels =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
    "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
    "<Relationship Id=\"rId1\" "
    "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/styles\" "
    "Target=\"styles.xml\"/></Relationships>";

const char* const Styles =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
    "<w:styles xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\">"
    "<w:docDefaults><w:rPrDefault><w:rPr><w:rFonts w:ascii=\"Arial\" w:hAnsi=\"Arial\" "
    "w:cs=\"Arial\"/>"
    "<w:sz w:val=\"20\"/><w:szCs w:val=\"20\"/><w:lang w:val=\"de-DE\"/></w:rPr></w:rPrDefault>"
    "<w:pPrDefault><w:pPr><w:spacing w:after=\"0\" w:line=\"240\" w:lineRule=\"auto\"/></w:pPr>"
    "</w:pPrDefault></w:docDefaults>"
    "<w:style w:type=\"paragraph\" w:default=\"1\" w:styleId=\"Normal\"><w:name "
    "w:val=\"Normal\"/></w:style>"
    "</w:styles>";

} // namespace

TWordEngine::TWordEngine(TShowFile show) : FShow(std::move(show)) {}

void TWordEngine::AppMaximize() {
    FVisible = true;
}
void TWordEngine::AppMinimize() {
    FVisible = false;
}

void TWordEngine::RequireDocument() const {
    if (!FOpen) throw EOfficeError(QStringLiteral("Es ist kein Dokument geöffnet."));
}

void TWordEngine::FileNew() {
    FBlocks = {TBlock()}; // a new document has one empty paragraph
    FCursor = 0;
    FSelFirst = -1;
    FTemplate.clear();
    FDocumentPart.clear();
    FOpen = true;
}

void TWordEngine::FileOpen(const QString& fileName) {
    OfficeZip::TZipReader zip(fileName, WordKind);
    QString part = QStringLiteral("word/document.xml");
    if (zip.Has(QStringLiteral("_rels/.rels"))) {
        QXmlStreamReader x(zip.Read(QStringLiteral("_rels/.rels")));
        while (!x.atEnd()) {
            x.readNext();
            if (x.isStartElement() && x.name() == QLatin1String("Relationship") &&
                x.attributes()
                    .value(QLatin1String("Type"))
                    .endsWith(QLatin1String("/officeDocument")))
                part = x.attributes().value(QLatin1String("Target")).toString();
        }
        if (part.startsWith(QLatin1Char('/'))) part.remove(0, 1);
    }
    if (!zip.Has(part)) throw EOfficeError(OfficeZip::DamagedMessage(WordKind, fileName));
    QList<QPair<QString, QByteArray>> entries;
    for (const QString& name : zip.Names()) {
        if (name.endsWith(QLatin1Char('/'))) continue;
        entries << qMakePair(name, zip.Read(name));
        if (name.compare(part, Qt::CaseInsensitive) == 0) part = name;
    }
    FTemplate = entries;
    FDocumentPart = part;
    FBlocks.clear();
    FCursor = 0;
    FSelFirst = -1;
    FOpen = true;
}

void TWordEngine::Insert(const QString& text) {
    RequireDocument();
    QString t = text;
    t.replace(QLatin1String("\r\n"), QLatin1String("\r"))
        .replace(QLatin1Char('\n'), QLatin1Char('\r'));
    const QStringList lines = t.split(QLatin1Char('\r'));
    // Every line but the last ends a paragraph; the last joins the paragraph at the insertion
    // point.
    for (int i = 0; i + 1 < lines.size(); ++i) {
        TBlock b;
        b.Text = lines[i];
        FBlocks.insert(FCursor++, b);
    }
    if (!lines.last().isEmpty()) {
        if (FCursor < FBlocks.size() && !FBlocks[FCursor].IsTable)
            FBlocks[FCursor].Text.prepend(lines.last());
        else {
            TBlock b;
            b.Text = lines.last();
            FBlocks.insert(FCursor, b);
        }
    }
    FSelFirst = -1;
}

void TWordEngine::LineUp(int count, int extend) {
    RequireDocument();
    const int first = qMax(0, FCursor - qMax(0, count));
    if (extend) {
        FSelFirst = first;
    } else {
        FCursor = first;
        FSelFirst = -1;
    }
}

void TWordEngine::TextToTable(int convertFrom, int numColumns) {
    RequireDocument();
    if (FSelFirst < 0 || FSelFirst >= FCursor)
        throw EOfficeError(QStringLiteral("Es ist kein Text markiert."));
    if (numColumns < 1 || numColumns > 63)
        throw EOfficeError(QStringLiteral("Ungültige Spaltenzahl: %1").arg(numColumns));
    const QChar separator = convertFrom == 2 ? QLatin1Char(',') : QLatin1Char('\t');
    TBlock table;
    table.IsTable = true;
    for (int i = FSelFirst; i < FCursor; ++i) {
        if (FBlocks[i].IsTable)
            throw EOfficeError(QStringLiteral("Die Markierung enthält eine Tabelle."));
        QStringList cells = FBlocks[i].Text.split(separator);
        // Surplus fields stay in the last cell rather than being lost.
        while (cells.size() > numColumns)
            cells[numColumns - 1] += separator + cells.takeAt(numColumns);
        while (cells.size() < numColumns)
            cells << QString();
        table.Rows << cells;
    }
    FBlocks.remove(FSelFirst, FCursor - FSelFirst);
    FBlocks.insert(FSelFirst, table);
    FCursor = FSelFirst + 1;
    FSelFirst = -1;
}

QByteArray TWordEngine::BodyXml(const QList<TBlock>& blocks, const QString& prefixDecl) {
    const QByteArray decl = prefixDecl.toUtf8();
    QByteArray xml;
    for (const TBlock& b : blocks)
        xml += b.IsTable ? Table(b.Rows, decl) : Paragraph(b.Text, false, decl);
    return xml;
}

void TWordEngine::FileSaveAs(const QString& fileName) {
    RequireDocument();
    OfficeZip::TEntries entries;
    if (FTemplate.isEmpty()) {
        QList<TBlock> blocks = FBlocks;
        if (blocks.isEmpty() || blocks.last().IsTable)
            blocks << TBlock(); // a body ends with a paragraph
        const QByteArray document = QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\" "
                                               "standalone=\"yes\"?>\n<w:document xmlns:w=\"") +
                                    WordNs + "\"><w:body>" + BodyXml(blocks) +
                                    "<w:sectPr><w:pgSz w:w=\"11906\" w:h=\"16838\"/><w:pgMar "
                                    "w:top=\"1134\" w:right=\"1134\" "
                                    "w:bottom=\"1134\" w:left=\"1134\" w:header=\"709\" "
                                    "w:footer=\"709\" w:gutter=\"0\"/></w:sectPr>"
                                    "</w:body></w:document>";
        entries << qMakePair(QStringLiteral("[Content_Types].xml"), QByteArray(ContentTypes))
                << qMakePair(QStringLiteral("_rels/.rels"), QByteArray(PackageRels))
                << qMakePair(QStringLiteral("word/_rels/document.xml.rels"),
                             QByteArray(DocumentRels))
                << qMakePair(QStringLiteral("word/styles.xml"), QByteArray(Styles))
                << qMakePair(QStringLiteral("word/document.xml"), document);
    } else {
        for (const auto& entry : std::as_const(FTemplate)) {
            if (entry.first != FDocumentPart) {
                entries << entry;
                continue;
            }
            // The inserted blocks go at the start of the template's body.
            const QString xml = QString::fromUtf8(entry.second);
            static const QRegularExpression body(
                QStringLiteral("<(?:([A-Za-z_][\\w.-]*):)?body(?:\\s[^>]*)?>"));
            const QRegularExpressionMatch m = body.match(xml);
            if (!m.hasMatch()) throw EOfficeError(OfficeZip::DamagedMessage(WordKind, fileName));
            const QString decl = m.captured(1) == QLatin1String("w")
                                     ? QString()
                                     : QStringLiteral(" xmlns:w=\"%1\"").arg(QLatin1String(WordNs));
            const QByteArray bytes = entry.second;
            const qsizetype at = xml.left(m.capturedEnd()).toUtf8().size();
            QList<TBlock> blocks = FBlocks;
            if (!blocks.isEmpty() && blocks.last().IsTable) blocks << TBlock();
            entries << qMakePair(entry.first,
                                 bytes.left(at) + BodyXml(blocks, decl) + bytes.mid(at));
        }
    }
    OfficeZip::Write(fileName, entries);
    if (FVisible && FShow) FShow(fileName);
}

void TWordEngine::AppClose() {
    FOpen = false;
    FBlocks.clear();
    FTemplate.clear();
}
