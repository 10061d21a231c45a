#pragma once
// The printed protocol: the report's content laid out on pages of the printer
// (or PDF writer) with the head row repeated on every page and "Seite i von n".
#include "HtmlReport.h"

#include <QSet>
#include <utility>

class QPrinter;

namespace ReportPrint {

// A table as it is printed: a heading on the first page, the head row on every
// page, "Seite i von n" in the footer. Columns are as wide as their texts; a
// merely wide table is set in a smaller type, and only the elastic column (a
// name) is ever shortened.
struct TPrintTable {
    QString Title;
    QList<std::pair<QString, bool>> Lead; // the line below the title: pieces, italic or not
    QString DateLine;
    QString FooterLeft, FooterRight;
    QStringList Head;
    QList<QStringList> Rows; // cells in the order of Head
    QList<Qt::Alignment> Align;
    int ElasticCol = -1;
    QSet<int> BoldCols;
    QSet<int> CaptionRows; // printed across the whole row, bold, as a section's caption
    QStringList Footnotes; // lines below the last row ("¹ …"), on further pages when needed
};

// Prints the table; returns the number of pages, 0 when the printer could not be started.
int PrintTable(QPrinter& printer, const TPrintTable& table);

// Sets A4 portrait with 15 mm margins and the document name; called before the
// print dialog so the user may still change them.
void PreparePrinter(QPrinter& printer, const THtmlReport& report);

// A4 portrait, 15 mm margins, the document's name; without an installed printer
// the output is a PDF of that name in the documents folder.
void PrepareA4(QPrinter& printer, const QString& docName, const QString& creator,
               const QString& pdfBaseName);

// Prints the report on the printer's pages; returns the number of pages, 0 when
// the printer could not be started.
int Print(QPrinter& printer, const THtmlReport& report);

} // namespace ReportPrint
