// The protocol as a web page, opened in the browser or printed.
#include "FMain.h"
#include "ProgramInfo.h"
#include "ProtocolDocuments.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>

std::function<void(const QString&)> TFormMain::ShowError = [](const QString& text) {
    QMessageBox::critical(QApplication::activeWindow(), ProgramTitle(), text);
};

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
    WriteHtmlReport(file);
    if (tag == 0) {
        // An older page of that name is still shown when the new one could not be written;
        // a folder of that name is not.
        if (QFileInfo(file).isFile()) ProtocolDocuments::OpenDocument(file);
    } else if (tag == 1) {
        // The printout is laid out from the table itself, not from the file.
        ProtocolDocuments::PrintProtocol(*this);
    }
}
