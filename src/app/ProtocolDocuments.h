#pragma once
// The protocol as documents: what the web page, the printout and Word/Excel are made
// from, and the stand-ins tests replace for the desktop's opener, the print dialog and
// the document engines. The buttons and the described entry points stay on the window.
#include "HtmlReport.h"
#include "OfficeExport.h"

#include <functional>

class QPrinter;
class TFormMain;

namespace ProtocolDocuments {

THtmlReport ReportContent(const TFormMain& w); // the table and the texts of the window
TProtocolExport OfficeContent(const TFormMain& w);
// The page of the buttons: program title + ".html" in the current folder (or the
// application data folder when that cannot be written).
QString ReportFileName();
// Where the buttons' Word and Excel documents go: the user's documents folder.
QString DocumentsFolder();
bool PrintProtocol(const TFormMain& w); // false: not printed (cancelled or failed, told)
void ReportPrintFailed(const QPrinter& printer); // why a printout did not come out

extern std::function<void(const QString&)> OpenDocument; // the desktop's default application
extern std::function<bool(QPrinter*)> ExecPrintDialog;   // true: print
extern TWordFactory CreateWordBasic;
extern TExcelFactory CreateExcelApplication;

} // namespace ProtocolDocuments
