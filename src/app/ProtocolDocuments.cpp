// The protocol's content for its documents, the printout, and the desktop's services.
#include "ProtocolDocuments.h"
#include "ProgramInfo.h"
#include "ExcelEngine.h"
#include "FMain.h"
#include "ReportPrint.h"
#include "WordEngine.h"

#include <QApplication>
#include <QDate>
#include <QDesktopServices>
#include <QDir>
#include <QLocale>
#include <QPrintDialog>
#include <QPrinter>
#include <QStandardPaths>
#include <QUrl>

namespace ProtocolDocuments {

std::function<void(const QString&)> OpenDocument = [](const QString& file) {
    QDesktopServices::openUrl(QUrl::fromLocalFile(file));
};

std::function<bool(QPrinter*)> ExecPrintDialog = [](QPrinter* printer) {
    QPrintDialog dialog(printer, QApplication::activeWindow());
    dialog.setWindowTitle(QStringLiteral("Protokoll drucken"));
    return dialog.exec() == QDialog::Accepted;
};

namespace {

void Show(const QString& file) {
    if (OpenDocument) OpenDocument(file);
}

} // namespace

TWordFactory CreateWordBasic = [] { return std::make_unique<TWordEngine>(Show); };

TExcelFactory CreateExcelApplication = [] {
    // The shown workbook is the user's document, beside the Word ones: no cleaner empties it.
    return std::make_unique<TExcelEngine>(Show, DocumentsFolder());
};

QString DocumentsFolder() {
    QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (folder.isEmpty()) folder = QDir::homePath();
    QDir().mkpath(folder);
    return folder;
}

THtmlReport ReportContent(const TFormMain& w) {
    THtmlReport r;
    r.Title = w.eTitle->text();
    r.RunNumber = w.eNR->text();
    r.ListSubtitle = w.RunSettings.ListSubtitle;
    r.AppTitle = ProgramTitle();
    // A system without a language setting still gets a German date.
    QLocale locale;
    if (locale.language() == QLocale::C) locale = QLocale(QLocale::German, QLocale::Germany);
    r.LongDate = locale.toString(QDate::currentDate(), QLocale::LongFormat);
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

QString ReportFileName() {
    return QDir(WorkFolder()).absoluteFilePath(ProgramTitle() + QStringLiteral(".html"));
}

bool PrintProtocol(const TFormMain& w) {
    const THtmlReport report = ReportContent(w);
    QPrinter printer(QPrinter::HighResolution);
    ReportPrint::PrepareA4(printer, QStringLiteral("Zeitenprotokoll ") + report.AppTitle,
                           report.AppTitle, ProgramTitle());
    if (!ExecPrintDialog(&printer)) return false;
    if (ReportPrint::Print(printer, report) > 0) return true;
    ReportPrintFailed(printer);
    return false;
}

void ReportPrintFailed(const QPrinter& printer) {
    if (printer.outputFormat() == QPrinter::PdfFormat)
        TFormMain::ShowError(QStringLiteral("Der Schreibfehler der Datei: ") +
                             QDir::toNativeSeparators(printer.outputFileName()));
    else
        TFormMain::ShowError(QStringLiteral("Der Drucker ist nicht bereit: ") + printer.printerName());
}

} // namespace ProtocolDocuments
