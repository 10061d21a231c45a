// The protocol as a web page, opened in the browser or printed, and what its
// documents are made from.
#include "FMain.h"
#include "ProgramInfo.h"
#include "ProtocolContent.h"
#include "ProtocolDocuments.h"
#include "Questions.h"
#include "ReportPrint.h"

#include <QDir>
#include <QFileInfo>
#include <QPrinter>

std::function<void(const QString&)>& TFormMain::ShowError = Questions::ShowError;

namespace ProtocolDocuments {

THtmlReport ReportContent(const TFormMain& w) {
    THtmlReport r;
    r.Title = w.eTitle->text();
    r.RunNumber = w.eNR->text();
    r.ListSubtitle = w.RunSettings.ListSubtitle;
    r.AppTitle = ProgramTitle();
    r.LongDate = LongDate();
    r.Laps = w.RunSettings.Laps;
    const TSortGrid* g = w.SortGrid1;
    r.Rows.reserve(g->RowCount());
    for (int row = 0; row < g->RowCount(); ++row)
        r.Rows << g->Rows(row);
    for (int c = 0; c < g->ColCount(); ++c)
        r.ColWidths << g->ColWidths(c);
    return r;
}

TProtocolExport OfficeContent(const TFormMain& w) {
    const THtmlReport r = ReportContent(w);
    TProtocolExport p;
    p.Title = r.Title;
    p.RunNumber = r.RunNumber;
    p.ListSubtitle = r.ListSubtitle;
    p.LongDate = r.LongDate;
    p.ApplicationTitle = r.AppTitle;
    p.Rows = r.Rows;
    p.ColumnWidths = r.ColWidths;
    p.Laps = r.Laps;
    p.MakerAddress = QStringLiteral("https://") + HtmlReport::MakerHost() + QLatin1Char('/');
    return p;
}

bool PrintProtocol(const TFormMain& w) {
    const THtmlReport report = ReportContent(w);
    QPrinter printer(QPrinter::HighResolution);
    ReportPrint::PrepareA4(printer, QStringLiteral("Zeitenprotokoll ") + report.AppTitle,
                           report.AppTitle, ProgramTitle());
    if (!ExecPrintDialog(&printer)) return false;
    if (ReportPrint::Print(printer, report) > 0) return true;
    TFormMain::ShowError(PrintFailedText(printer));
    return false;
}

} // namespace ProtocolDocuments

bool TFormMain::WriteHtmlReport(const QString& fileName) {
    if (::WriteHtmlReport(fileName, ProtocolDocuments::ReportContent(*this))) return true;
    ShowError(QStringLiteral("Der Schreibfehler der Datei: ") + QDir::toNativeSeparators(fileName));
    return false;
}

void TFormMain::sbHTMLClick(QObject* sender) {
    int tag = 0;
    if (auto* b = dynamic_cast<TLbSpeedButton*>(sender))
        tag = b->Tag;
    else if (auto* m = dynamic_cast<TMenuItem*>(sender))
        tag = m->Tag;
    const QString file = ProtocolDocuments::ReportFileName();
    const bool written = WriteHtmlReport(file);
    if (tag == 0) {
        // An older page of that name is still shown when the new one could not be written;
        // a folder of that name is not.
        if (written)
            ProtocolDocuments::ShowDocument(file);
        else if (QFileInfo(file).isFile())
            ProtocolDocuments::OpenDocument(file);
    } else if (tag == 1) {
        // The printout is laid out from the table itself, not from the file.
        ProtocolDocuments::PrintProtocol(*this);
    }
}
