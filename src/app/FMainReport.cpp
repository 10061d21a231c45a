// The protocol as a web page, opened in the browser or printed.
#include "FMain.h"
#include "Printers.h"
#include "ReportPrint.h"

#include <QApplication>
#include <QDate>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>
#include <QStandardPaths>
#include <QUrl>

std::function<void(const QString&)> TFormMain::OpenDocument = [](const QString& file) {
    QDesktopServices::openUrl(QUrl::fromLocalFile(file));
};

std::function<bool(QPrinter*)> TFormMain::ExecPrintDialog = [](QPrinter* printer) {
    QPrintDialog dialog(printer, QApplication::activeWindow());
    dialog.setWindowTitle(QStringLiteral("Protokoll drucken"));
    return dialog.exec() == QDialog::Accepted;
};

std::function<void(const QString&)> TFormMain::ShowError = [](const QString& text) {
    QMessageBox::critical(QApplication::activeWindow(), ProgramTitle(), text);
};

THtmlReport TFormMain::ReportContent() const {
    THtmlReport r;
    r.Title = eTitle->text();
    r.RunNumber = eNR->text();
    r.ListSubtitle = RunSettings.ListSubtitle;
    r.AppTitle = ProgramTitle();
    // A system without a language setting still gets a German date.
    QLocale locale;
    if (locale.language() == QLocale::C) locale = QLocale(QLocale::German, QLocale::Germany);
    r.LongDate = locale.toString(QDate::currentDate(), QLocale::LongFormat);
    r.Laps = RunSettings.Laps;
    const TSortGrid* g = SortGrid1;
    r.Rows.reserve(g->RowCount());
    for (int row = 0; row < g->RowCount(); ++row)
        r.Rows << g->Rows(row);
    for (int c = 0; c < g->ColCount(); ++c)
        r.ColWidths << g->ColWidths(c);
    return r;
}

bool TFormMain::WriteHtmlReport(const QString& fileName) {
    if (::WriteHtmlReport(fileName, ReportContent())) return true;
    ShowError(QStringLiteral("Der Schreibfehler der Datei: ") + QDir::toNativeSeparators(fileName));
    return false;
}

QString TFormMain::ReportFileName() const {
    return QDir(WorkFolder()).absoluteFilePath(ProgramTitle() + QStringLiteral(".html"));
}

void TFormMain::sbHTMLClick(QObject* sender) {
    int tag = 0;
    if (auto* b = dynamic_cast<TLbSpeedButton*>(sender))
        tag = b->Tag;
    else if (auto* m = dynamic_cast<TMenuItem*>(sender))
        tag = m->Tag;
    const QString file = ReportFileName();
    WriteHtmlReport(file);
    if (tag == 0) {
        // An older page of that name is still shown when the new one could not be written;
        // a folder of that name is not.
        if (QFileInfo(file).isFile()) OpenDocument(file);
    } else if (tag == 1) {
        // The printout is laid out from the table itself, not from the file.
        PrintProtocol();
    }
}

bool TFormMain::PrintProtocol() {
    const THtmlReport report = ReportContent();
    QPrinter printer(QPrinter::HighResolution);
    ReportPrint::PrepareA4(printer, QStringLiteral("Zeitenprotokoll ") + report.AppTitle,
                           report.AppTitle, ProgramTitle());
    if (!ExecPrintDialog(&printer)) return false;
    if (ReportPrint::Print(printer, report) > 0) return true;
    ReportPrintFailed(printer);
    return false;
}

void TFormMain::ReportPrintFailed(const QPrinter& printer) {
    if (printer.outputFormat() == QPrinter::PdfFormat)
        ShowError(QStringLiteral("Der Schreibfehler der Datei: ") +
                  QDir::toNativeSeparators(printer.outputFileName()));
    else
        ShowError(QStringLiteral("Der Drucker ist nicht bereit: ") + printer.printerName());
}
