#pragma once
// The desktop's services for documents: where the protocol's page and documents go,
// the long date they carry, why a printout did not come out, and the stand-ins tests
// replace for the desktop's opener, the print dialog and the document engines.
#include "OfficeExport.h"
#include "ReportPrint.h"

#include <QString>
#include <functional>

class QPrinter;

namespace ProtocolDocuments {

// The page of the buttons: program title + ".html" in the current folder (or the
// application data folder when that cannot be written).
QString ReportFileName();
// Where the buttons' Word and Excel documents go: the user's documents folder.
QString DocumentsFolder();
// Today as the documents write it: German even on a system without a language setting.
QString LongDate();
// The print dialog's title: what is printed ("Drucken – Wertung Bergpreis").
QString PrintDialogTitle(const QPrinter& printer);
// Why a printout did not come out, for the error box.
QString PrintFailedText(const QPrinter& printer);
// A table of the standings' kind on A4 (a PDF without a printer), after the print
// dialog; false when cancelled or failed (a failure is told).
bool PrintDocument(const ReportPrint::TPrintTable& table, const QString& docName,
                   const QString& pdfBaseName);
// A chosen file name with the extension of its kind; ".htm" counts as a page.
QString WithDocumentExtension(const QString& name, bool xlsx);

// A document the buttons wrote: told through Saved, then opened by the desktop.
void ShowDocument(const QString& file);

extern std::function<void(const QString&)> OpenDocument; // the desktop's default application
extern std::function<void(const QString&)> Saved;        // the window names the file written
extern std::function<bool(QPrinter*)> ExecPrintDialog;   // true: print
extern TWordFactory CreateWordBasic;
extern TExcelFactory CreateExcelApplication;

} // namespace ProtocolDocuments
