// The desktop's services for the protocol's and the standings' documents.
#include "ProtocolDocuments.h"
#include "ProgramInfo.h"
#include "Questions.h"
#include "ExcelEngine.h"
#include "WordEngine.h"

#include <QApplication>
#include <QDate>
#include <QDesktopServices>
#include <QDir>
#include <QLocale>
#include <QPrintDialog>
#include <QPrinter>
#include <QUrl>

namespace ProtocolDocuments {

std::function<void(const QString&)> OpenDocument = [](const QString& file) {
    QDesktopServices::openUrl(QUrl::fromLocalFile(file));
};

std::function<bool(QPrinter*)> ExecPrintDialog = [](QPrinter* printer) {
    QPrintDialog dialog(printer, QApplication::activeWindow());
    dialog.setWindowTitle(PrintDialogTitle(*printer));
    return dialog.exec() == QDialog::Accepted;
};

std::function<void(const QString&)> Saved;

void ShowDocument(const QString& file) {
    // Told first: without a program for the file the desktop opens nothing and says nothing.
    if (Saved) Saved(file);
    if (OpenDocument) OpenDocument(file);
}

TWordFactory CreateWordBasic = [] { return std::make_unique<TWordEngine>(ShowDocument); };

TExcelFactory CreateExcelApplication = [] {
    // The shown workbook is the user's document, beside the Word ones: no cleaner empties it.
    return std::make_unique<TExcelEngine>(ShowDocument, DocumentsFolder());
};

QString DocumentsFolder() {
    return DocumentFolder();
}

QString LongDate() {
    // A system without a language setting still gets a German date.
    QLocale locale;
    if (locale.language() == QLocale::C) locale = QLocale(QLocale::German, QLocale::Germany);
    return locale.toString(QDate::currentDate(), QLocale::LongFormat);
}

QString ReportFileName() {
    return QDir(WorkFolder()).absoluteFilePath(ProgramTitle() + QStringLiteral(".html"));
}

QString PrintDialogTitle(const QPrinter& printer) {
    // The protocol's and the standings' dialogs look alike: the title tells them apart.
    return QStringLiteral("Drucken – ") + printer.docName();
}

QString PrintFailedText(const QPrinter& printer) {
    if (printer.outputFormat() == QPrinter::PdfFormat)
        return QStringLiteral("Der Schreibfehler der Datei: ") +
               QDir::toNativeSeparators(printer.outputFileName());
    return QStringLiteral("Der Drucker ist nicht bereit: ") + printer.printerName();
}

bool PrintDocument(const ReportPrint::TPrintTable& table, const QString& docName,
                   const QString& pdfBaseName) {
    QPrinter printer(QPrinter::HighResolution);
    ReportPrint::PrepareA4(printer, docName, ProgramTitle(), pdfBaseName);
    if (!ExecPrintDialog(&printer)) return false;
    if (ReportPrint::PrintTable(printer, table) > 0) return true;
    Questions::ShowError(PrintFailedText(printer));
    return false;
}

QString WithDocumentExtension(const QString& name, bool xlsx) {
    const QString ext = xlsx ? QStringLiteral(".xlsx") : QStringLiteral(".html");
    if (name.endsWith(ext, Qt::CaseInsensitive) ||
        (!xlsx && name.endsWith(QStringLiteral(".htm"), Qt::CaseInsensitive)))
        return name;
    return name + ext;
}

} // namespace ProtocolDocuments
