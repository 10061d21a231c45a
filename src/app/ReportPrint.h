#pragma once
// The printed protocol: the report's content laid out on pages of the printer
// (or PDF writer) with the head row repeated on every page and "Seite i von n".
#include "HtmlReport.h"

class QPrinter;

namespace ReportPrint {

// Sets A4 portrait with 15 mm margins and the document name; called before the
// print dialog so the user may still change them.
void PreparePrinter(QPrinter& printer, const THtmlReport& report);

// Prints the report on the printer's pages; returns the number of pages, 0 when
// the printer could not be started.
int Print(QPrinter& printer, const THtmlReport& report);

} // namespace ReportPrint
