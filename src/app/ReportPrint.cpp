#include "ReportPrint.h"

#include <QFontMetricsF>
#include <QPageLayout>
#include <QPainter>
#include <QPrinter>

#include <cmath>

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

int Print(QPrinter& printer, const THtmlReport& report) {
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

    // Each column as wide as its caption and its widest text; the name takes the rest. A
    // table that is merely wide is set in a smaller type. When even the smallest type cannot
    // hold a long name, start number, times and rank keep their width and only the name is
    // shortened.
    const QList<int> cols = HtmlReport::WrittenColumns(report);
    const QStringList head = report.Rows.value(0);
    const qsizetype nameIndex = cols.indexOf(1);
    // The widths at a type size; *fixed counts the name with its caption only.
    const auto naturalWidths = [&](qreal points, qreal* full, qreal* fixed) {
        const QFontMetricsF plain(PrintFont(points), &printer),
            bold(PrintFont(points, true), &printer);
        QList<qreal> w;
        *full = *fixed = 0;
        for (const int c : cols) {
            const qreal caption = bold.horizontalAdvance(head.value(c)) + 2 * pad + 1 * mm;
            qreal width = caption;
            for (qsizetype r = 1; r < report.Rows.size(); ++r) {
                const QString text = report.Rows[r].value(c).trimmed();
                width =
                    qMax(width, (c == 7 ? bold : plain).horizontalAdvance(text) + 2 * pad + 1 * mm);
            }
            w << width;
            *full += width;
            *fixed += c == 1 ? caption : width;
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
    if (nameIndex >= 0) {
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

    const int dataRows = qMax<int>(0, int(report.Rows.size()) - 1);
    const int firstPageRows = qMax(1, int((tableH - headingH) / rowH) - 1);
    const int otherPageRows = qMax(1, int(tableH / rowH) - 1);
    const int pages = 1 + (dataRows > firstPageRows
                               ? (dataRows - firstPageRows + otherPageRows - 1) / otherPageRows
                               : 0);

    const QPen gridPen(QColor(0xB0, 0xB0, 0xB0), 0.2 * mm);
    const auto drawRow = [&](qreal y, const QStringList& cells, bool head, bool shaded) {
        if (head)
            p.fillRect(QRectF(0, y, area.width(), rowH), QColor(0x99, 0x99, 0x99));
        else if (shaded)
            p.fillRect(QRectF(0, y, area.width(), rowH), QColor(0xF2, 0xF2, 0xF2));
        for (qsizetype i = 0; i < cols.size(); ++i) {
            const int c = cols[i];
            const QRectF cell(xs[i] + pad, y, xs[i + 1] - xs[i] - 2 * pad, rowH);
            const bool bold = head || c == 7;
            p.setFont(bold ? boldFont : cellFont);
            p.setPen(head ? Qt::white : Qt::black);
            const QFontMetricsF& fm = bold ? boldFm : cellFm;
            const QString text =
                fm.elidedText(cells.value(c).trimmed(), Qt::ElideRight, cell.width());
            p.drawText(cell, ColumnAlignment(c), text);
        }
        p.setPen(gridPen);
        p.drawLine(QPointF(0, y + rowH), QPointF(area.width(), y + rowH));
    };

    int row = 1;
    for (int page = 1; page <= pages; ++page) {
        if (page > 1) printer.newPage();
        qreal y = 0;
        if (page == 1) {
            p.setPen(Qt::black);
            p.setFont(titleFont);
            p.drawText(QRectF(0, y, area.width(), titleFm.height()), Qt::AlignCenter,
                       titleFm.elidedText(report.Title, Qt::ElideRight, area.width()));
            y += titleFm.height() + 3 * mm;
            // "Ergebnisliste", the imported sheet's subtitle in italics, the run number.
            const QString lead = QStringLiteral("Ergebnisliste ");
            const QString sub =
                report.ListSubtitle.isEmpty() ? QString() : report.ListSubtitle + QLatin1Char(' ');
            const QString nr = QStringLiteral("– Nr. ") + report.RunNumber;
            const qreal w = subFm.horizontalAdvance(lead) + subItalicFm.horizontalAdvance(sub) +
                            subFm.horizontalAdvance(nr);
            qreal x = qMax<qreal>(0, (area.width() - w) / 2);
            p.setFont(subFont);
            p.drawText(QPointF(x, y + subFm.ascent()), lead);
            x += subFm.horizontalAdvance(lead);
            p.setFont(subItalic);
            p.drawText(QPointF(x, y + subFm.ascent()), sub);
            x += subItalicFm.horizontalAdvance(sub);
            p.setFont(subFont);
            p.drawText(QPointF(x, y + subFm.ascent()), nr);
            y += subFm.height();
            p.drawText(QRectF(0, y, area.width(), subFm.height()), Qt::AlignCenter,
                       QStringLiteral("Datum: ") + report.LongDate);
            y += subFm.height() + 5 * mm;
        }
        drawRow(y, report.Rows.value(0), true, false);
        y += rowH;
        const int last = qMin(dataRows, row - 1 + (page == 1 ? firstPageRows : otherPageRows));
        for (; row <= last; ++row) {
            drawRow(y, report.Rows[row], false, row % 2 == 0);
            y += rowH;
        }

        p.setPen(Qt::black);
        p.setFont(footFont);
        const QRectF foot(0, area.height() - footFm.height(), area.width(), footFm.height());
        p.drawText(foot, Qt::AlignLeft | Qt::AlignVCenter,
                   footFm.elidedText(report.Title, Qt::ElideRight, area.width() * 0.4));
        p.drawText(foot, Qt::AlignCenter, QStringLiteral("Seite %1 von %2").arg(page).arg(pages));
        p.drawText(foot, Qt::AlignRight | Qt::AlignVCenter, report.LongDate);
    }
    p.end();
    return pages;
}

} // namespace ReportPrint
