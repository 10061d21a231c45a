#include "ReportPrint.h"

#include "Printers.h"
#include "ProgramInfo.h"
#include "Standings.h"

#include "DurableFile.h"
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryFile>

#include <QFontMetricsF>
#include <QPageLayout>
#include <QPainter>
#include <QPrinter>

#include <algorithm>
#include <cmath>
#include <utility>

namespace ReportPrint {

namespace {

const QString FontFamily = QStringLiteral("Liberation Sans");

QFont PrintFont(qreal points, bool bold = false, bool italic = false) {
    QFont f(FontFamily);
    f.setPointSizeF(points);
    f.setBold(bold);
    f.setItalic(italic);
    f.setStyleHint(QFont::SansSerif);
    return f;
}

// Footnote marks at the end of a cell ("2.00,00¹"): apart, so that times line up
// whether they carry a mark or not.
std::pair<QString, QString> SplitMarks(const QString& text) {
    qsizetype at = text.size();
    while (at > 0 && IsFootnoteMark(text[at - 1]))
        --at;
    return {text.left(at), text.mid(at)};
}

Qt::Alignment ColumnAlignment(int col) {
    if (col == 0) return Qt::AlignCenter;
    if (col == 1) return Qt::AlignLeft | Qt::AlignVCenter;
    return Qt::AlignRight | Qt::AlignVCenter; // times line up at the comma
}

} // namespace

void PreparePrinter(QPrinter& printer, const THtmlReport& report) {
    printer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                      QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter));
    printer.setDocName(QStringLiteral("Zeitenprotokoll ") + report.AppTitle);
    printer.setCreator(report.AppTitle);
}

void PrepareA4(QPrinter& printer, const QString& docName, const QString& creator,
               const QString& pdfBaseName) {
    THtmlReport report;
    report.AppTitle = creator;
    PreparePrinter(printer, report);
    printer.setDocName(docName);
    if (!AnyPrinterInstalled()) {
        // Without a printer the dialog still makes a PDF of the same pages.
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(
            QDir(DocumentFolder()).absoluteFilePath(pdfBaseName + QStringLiteral(".pdf")));
    }
}

int Print(QPrinter& printer, const THtmlReport& report) {
    TPrintTable t;
    t.Title = report.Title;
    // "Ergebnisliste", the imported sheet's subtitle in italics, the run number.
    t.Lead = {{QStringLiteral("Ergebnisliste "), false},
              {report.ListSubtitle.isEmpty() ? QString() : report.ListSubtitle + QLatin1Char(' '), true},
              {QStringLiteral("– Nr. ") + report.RunNumber, false}};
    t.DateLine = QStringLiteral("Datum: ") + report.LongDate;
    t.FooterLeft = report.Title;
    t.FooterRight = report.LongDate;
    const QList<int> cols = HtmlReport::WrittenColumns(report);
    for (const int c : cols) {
        t.Head << report.Rows.value(0).value(c);
        t.Align << ColumnAlignment(c);
        if (c == 1) t.ElasticCol = int(t.Head.size()) - 1;
        if (c == 7) t.BoldCols.insert(int(t.Head.size()) - 1);
    }
    for (qsizetype r = 1; r < report.Rows.size(); ++r) {
        QStringList cells;
        for (const int c : cols)
            cells << report.Rows[r].value(c);
        t.Rows << cells;
    }
    return PrintTable(printer, t);
}

namespace {

// A note's lines at the given width, broken between words (inside a word only when it is
// longer than a line); the lines after the first are indented by the mark.
QStringList WrapNote(const QString& note, const QFontMetricsF& fm, qreal width, qreal* indentOut) {
    const qsizetype blank = note.indexOf(QLatin1Char(' '));
    const qreal indent = blank > 0 && blank < 8 ? fm.horizontalAdvance(note.left(blank + 1)) : 0;
    *indentOut = indent;
    QStringList lines;
    QString line;
    const auto fits = [&](const QString& t) {
        return fm.horizontalAdvance(t) <= width - (lines.isEmpty() ? 0 : indent);
    };
    for (const QString& word : note.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const QString joined = line.isEmpty() ? word : line + QLatin1Char(' ') + word;
        if (fits(joined)) {
            line = joined;
            continue;
        }
        if (!line.isEmpty()) lines << std::exchange(line, QString());
        for (const QChar ch : word) { // a word wider than the line goes on character by character
            if (!line.isEmpty() && !fits(line + ch)) lines << std::exchange(line, QString());
            line += ch;
        }
    }
    if (!line.isEmpty() || lines.isEmpty()) lines << line;
    return lines;
}

// What a page shows, laid out before anything is drawn so the footer knows the page count.
struct TPlaced {
    enum TKind { Heading, Head, Row, Caption, Note } Kind;
    qreal Y = 0;
    int Index = -1; // Row, Caption: the table row
    QString Text;  // Caption, Note
    qreal X = 0;   // a note's further lines: indented by the mark
};

} // namespace

namespace {

int PaintTablePages(QPrinter& printer, const TPrintTable& table) {
    QPainter p;
    if (!p.begin(&printer)) return 0;

    // The painter's origin is the printable area's corner; work in device pixels.
    const QRectF area(QPointF(0, 0),
                      printer.pageLayout().paintRectPixels(printer.resolution()).size());
    const qreal mm = printer.resolution() / 25.4;
    const qreal pad = 1.5 * mm;

    const QFont titleFont = PrintFont(16, true);
    const QFont subFont = PrintFont(11);
    const QFont subItalic = PrintFont(11, false, true);
    const QFont footFont = PrintFont(8);
    const QFontMetricsF titleFm(titleFont, &printer), subFm(subFont, &printer),
        subItalicFm(subItalic, &printer), footFm(footFont, &printer);

    // Each column as wide as its caption and its widest text; the elastic one takes the
    // rest. A table that is merely wide is set in a smaller type. When even the smallest
    // type cannot hold a long name, the other columns keep their width and only the name
    // is shortened. A right-aligned column holds its widest time and, beside it, its
    // widest marks: times line up whether they carry a mark or not.
    const int columns = int(table.Head.size());
    const int nameIndex = table.ElasticCol;
    // The widths at a type size; *fixed counts the name with its caption only.
    const auto naturalWidths = [&](qreal points, qreal* full, qreal* fixed) {
        const QFontMetricsF plain(PrintFont(points), &printer),
            bold(PrintFont(points, true), &printer);
        QList<qreal> w;
        *full = *fixed = 0;
        for (int c = 0; c < columns; ++c) {
            const qreal caption = bold.horizontalAdvance(table.Head[c]) + 2 * pad + 1 * mm;
            const QFontMetricsF& fm = table.BoldCols.contains(c) ? bold : plain;
            const bool marksApart = (table.Align.value(c) & Qt::AlignRight) != 0;
            qreal body = 0, marks = 0;
            for (qsizetype r = 0; r < table.Rows.size(); ++r) {
                if (table.CaptionRows.contains(int(r))) continue;
                const QString text = table.Rows[r].value(c).trimmed();
                if (marksApart) {
                    const auto [b, m] = SplitMarks(text);
                    body = qMax(body, fm.horizontalAdvance(b));
                    marks = qMax(marks, fm.horizontalAdvance(m));
                } else {
                    body = qMax(body, fm.horizontalAdvance(text));
                }
            }
            const qreal width = qMax(caption, body + marks + 2 * pad + 1 * mm);
            w << width;
            *full += width;
            *fixed += c == nameIndex ? caption : width;
        }
        return w;
    };
    // The largest size, in steps of 0.1 point, whose table fits.
    constexpr qreal CellPoints = 10, MinCellPoints = 6;
    const auto fittingSize = [&](bool wholeName, QList<qreal>* widths, qreal* fixed) {
        qreal full = 0;
        qreal points = CellPoints;
        *widths = naturalWidths(points, &full, fixed);
        const auto used = [&] { return wholeName ? full : *fixed; };
        if (used() <= area.width()) return points;
        points = qMax(MinCellPoints, std::floor(CellPoints * area.width() / used() * 10) / 10);
        *widths = naturalWidths(points, &full, fixed);
        while (used() > area.width() && points > MinCellPoints) {
            points = qMax(MinCellPoints, points - 0.1);
            *widths = naturalWidths(points, &full, fixed);
        }
        return used() <= area.width() ? points : -points;
    };
    QList<qreal> widths;
    qreal fixed = 0;
    qreal cellPoints = fittingSize(true, &widths, &fixed);
    if (cellPoints < 0) cellPoints = qAbs(fittingSize(false, &widths, &fixed));
    const QFont cellFont = PrintFont(cellPoints);
    const QFont boldFont = PrintFont(cellPoints, true);
    const QFontMetricsF cellFm(cellFont, &printer), boldFm(boldFont, &printer);
    if (nameIndex >= 0 && nameIndex < columns) {
        qreal others = 0;
        for (qsizetype i = 0; i < widths.size(); ++i)
            if (i != nameIndex) others += widths[i];
        // The name fills the row, at least as wide as its caption.
        widths[nameIndex] = qMax(area.width() - others, fixed - others);
    }
    qreal total = 0;
    for (const qreal w : widths)
        total += w;
    QList<qreal> xs{0};
    for (const qreal w : widths) // narrower than the page only at the smallest size
        xs << xs.last() + w * qMin<qreal>(1, area.width() / total);

    const qreal rowH = cellFm.height() * 1.55;
    const qreal footerH = footFm.height() + 4 * mm;
    const qreal headingH = titleFm.height() + 2 * subFm.height() + 8 * mm;
    const qreal tableH = area.height() - footerH;
    const QFont noteFont = PrintFont(qMin<qreal>(9, cellPoints));
    const QFontMetricsF noteFm(noteFont, &printer);
    const qreal noteH = noteFm.height() * 1.3, noteGap = 3 * mm;

    // Right-aligned columns keep room for the widest marks at their right edge.
    QList<qreal> markRoom(columns, 0);
    for (int c = 0; c < columns; ++c) {
        if (!(table.Align.value(c) & Qt::AlignRight)) continue;
        const QFontMetricsF& fm = table.BoldCols.contains(c) ? boldFm : cellFm;
        for (qsizetype r = 0; r < table.Rows.size(); ++r)
            if (!table.CaptionRows.contains(int(r)))
                markRoom[c] = qMax(markRoom[c], fm.horizontalAdvance(SplitMarks(table.Rows[r].value(c).trimmed()).second));
    }

    // The pages: the heading on the first, the head row on every page with rows, a class
    // going on over a page break has its caption again, then the notes line by line.
    QList<QList<TPlaced>> pages{{}};
    qreal y = 0;
    const auto newPage = [&] {
        pages << QList<TPlaced>{};
        y = 0;
    };
    const auto place = [&pages](TPlaced::TKind kind, qreal at, int index = -1, const QString& text = {},
                                qreal x = 0) { pages.last() << TPlaced{kind, at, index, text, x}; };
    place(TPlaced::Heading, 0);
    y = headingH;
    QString caption; // of the class the rows belong to
    bool headOnPage = false;
    const int dataRows = int(table.Rows.size());
    for (int r = 0; r < dataRows; ++r) {
        const bool isCaption = table.CaptionRows.contains(r);
        // A caption never stands alone at the foot of a page.
        const qreal needed = isCaption && r + 1 < dataRows ? 2 * rowH : rowH;
        if (headOnPage && y + needed > tableH) {
            newPage();
            headOnPage = false;
        }
        if (!headOnPage) {
            place(TPlaced::Head, y);
            y += rowH;
            headOnPage = true;
            if (!isCaption && !caption.isEmpty() && pages.size() > 1) {
                place(TPlaced::Caption, y, r, caption + QStringLiteral(" (Fortsetzung)"));
                y += rowH;
            }
        }
        if (isCaption) {
            caption = table.Rows[r].value(0).trimmed();
            place(TPlaced::Caption, y, r, caption);
        } else {
            place(TPlaced::Row, y, r);
        }
        y += rowH;
    }
    if (dataRows == 0) {
        place(TPlaced::Head, y);
        y += rowH;
    }
    // Footnotes follow the last row, wrapped at the page width, and go on over further
    // pages when they do not fit.
    y += noteGap;
    for (const QString& note : table.Footnotes) {
        qreal indent = 0;
        const QStringList lines = WrapNote(note, noteFm, area.width(), &indent);
        for (qsizetype i = 0; i < lines.size(); ++i) {
            if (y + noteH > tableH) newPage();
            place(TPlaced::Note, y, -1, lines[i], i > 0 ? indent : 0);
            y += noteH;
        }
    }
    const int pageCount = int(pages.size());

    const QPen gridPen(QColor(0xB0, 0xB0, 0xB0), 0.2 * mm);
    const auto drawRow = [&](qreal y, const QStringList& cells, bool head, bool shaded) {
        if (head)
            p.fillRect(QRectF(0, y, area.width(), rowH), QColor(0x99, 0x99, 0x99));
        else if (shaded)
            p.fillRect(QRectF(0, y, area.width(), rowH), QColor(0xF2, 0xF2, 0xF2));
        for (int i = 0; i < columns; ++i) {
            const QRectF cell(xs[i] + pad, y, xs[i + 1] - xs[i] - 2 * pad, rowH);
            const bool bold = head || table.BoldCols.contains(i);
            p.setFont(bold ? boldFont : cellFont);
            p.setPen(head ? Qt::white : Qt::black);
            const QFontMetricsF& fm = bold ? boldFm : cellFm;
            if (!head && markRoom[i] > 0) {
                const auto [body, marks] = SplitMarks(cells.value(i).trimmed());
                const QRectF left = cell.adjusted(0, 0, -markRoom[i], 0);
                p.drawText(left, table.Align.value(i), body);
                p.drawText(QRectF(left.right(), y, markRoom[i], rowH), Qt::AlignLeft | Qt::AlignVCenter, marks);
                continue;
            }
            const QString text = fm.elidedText(cells.value(i).trimmed(), Qt::ElideRight, cell.width());
            p.drawText(cell, table.Align.value(i, Qt::AlignLeft | Qt::AlignVCenter), text);
        }
        p.setPen(gridPen);
        p.drawLine(QPointF(0, y + rowH), QPointF(area.width(), y + rowH));
    };
    const auto drawCaption = [&](qreal y, const QString& text) {
        p.fillRect(QRectF(0, y, area.width(), rowH), QColor(0xDD, 0xDD, 0xDD));
        p.setFont(boldFont);
        p.setPen(Qt::black);
        const QRectF cell(pad, y, area.width() - 2 * pad, rowH);
        p.drawText(cell, Qt::AlignLeft | Qt::AlignVCenter,
                   boldFm.elidedText(text.trimmed(), Qt::ElideRight, cell.width()));
        p.setPen(gridPen);
        p.drawLine(QPointF(0, y + rowH), QPointF(area.width(), y + rowH));
    };
    const auto drawHeading = [&] {
        qreal y = 0;
        p.setPen(Qt::black);
        p.setFont(titleFont);
        p.drawText(QRectF(0, y, area.width(), titleFm.height()), Qt::AlignCenter,
                   titleFm.elidedText(table.Title, Qt::ElideRight, area.width()));
        y += titleFm.height() + 3 * mm;
        qreal w = 0;
        for (const auto& [text, italic] : table.Lead)
            w += (italic ? subItalicFm : subFm).horizontalAdvance(text);
        qreal x = qMax<qreal>(0, (area.width() - w) / 2);
        for (const auto& [text, italic] : table.Lead) {
            p.setFont(italic ? subItalic : subFont);
            p.drawText(QPointF(x, y + subFm.ascent()), text);
            x += (italic ? subItalicFm : subFm).horizontalAdvance(text);
        }
        p.setFont(subFont);
        y += subFm.height();
        p.drawText(QRectF(0, y, area.width(), subFm.height()), Qt::AlignCenter, table.DateLine);
    };

    int shade = 0; // data rows alternate, captions aside
    for (int page = 1; page <= pageCount; ++page) {
        if (page > 1) printer.newPage();
        for (const TPlaced& t : std::as_const(pages[page - 1])) {
            switch (t.Kind) {
            case TPlaced::Heading: drawHeading(); break;
            case TPlaced::Head: drawRow(t.Y, table.Head, true, false); break;
            case TPlaced::Caption: drawCaption(t.Y, t.Text); break;
            case TPlaced::Row: drawRow(t.Y, table.Rows[t.Index], false, ++shade % 2 == 0); break;
            case TPlaced::Note: {
                p.setPen(Qt::black);
                p.setFont(noteFont);
                p.drawText(QRectF(t.X, t.Y, area.width() - t.X, noteH), Qt::AlignLeft | Qt::AlignVCenter, t.Text);
                break;
            }
            }
        }
        p.setPen(Qt::black);
        p.setFont(footFont);
        const QRectF foot(0, area.height() - footFm.height(), area.width(), footFm.height());
        p.drawText(foot, Qt::AlignLeft | Qt::AlignVCenter,
                   footFm.elidedText(table.FooterLeft, Qt::ElideRight, area.width() * 0.4));
        p.drawText(foot, Qt::AlignCenter, QStringLiteral("Seite %1 von %2").arg(page).arg(pageCount));
        p.drawText(foot, Qt::AlignRight | Qt::AlignVCenter, table.FooterRight);
    }
    p.end();
    return pageCount;
}

} // namespace

int PrintTable(QPrinter& printer, const TPrintTable& table) {
    const QString target =
        printer.outputFormat() == QPrinter::PdfFormat ? printer.outputFileName() : QString();
    if (target.isEmpty()) return PaintTablePages(printer, table);
    // The PDF is made beside its place and replaces it only when whole: a full disk or a
    // folder without write access leaves neither an empty nor a cut file, and an older
    // PDF of that name stays as it was.
    QTemporaryFile part(QFileInfo(target).absoluteFilePath() + QStringLiteral(".drucken-XXXXXX"));
    if (!part.open()) return 0;
    part.close();
    printer.setOutputFileName(part.fileName());
    const int pages = PaintTablePages(printer, table);
    printer.setOutputFileName(target);
    QFile made(part.fileName());
    if (pages <= 0 || !made.open(QIODevice::ReadOnly)) return 0;
    const QByteArray bytes = made.readAll();
    if (!bytes.trimmed().endsWith("%%EOF") || !ReplaceFileContents(target, bytes)) return 0;
    return pages;
}

} // namespace ReportPrint
