// Word and Excel: the buttons, the dialog entries and the import into the table.
// The documents themselves are made by the office library.
#include "FMain.h"
#include "Protocol.h"
#include "ProgramInfo.h"
#include "ProtocolContent.h"
#include "ProtocolDocuments.h"
#include "StartListImport.h"

#include <QApplication>
#include <QDir>
#include <QPointer>

#include <algorithm>

namespace {

// The hourglass while a document is built.
struct TWaitCursor {
    TWaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~TWaitCursor() { QApplication::restoreOverrideCursor(); }
};

} // namespace

void TFormMain::CreateOfficeCommands() {
    WordTemplatePath = QDir(ProgramDir()).absoluteFilePath(QStringLiteral("Protokollvorlage.docx"));
    ExcelAvailable = IsOleClassRegistered(QStringLiteral("Excel.Application"));
    sbWord->OnClick = [this](QObject* s) { sbWordClick(s); };
    sbExcel->OnClick = [this](QObject* s) { sbExcelClick(s); };
    // Where the buttons' documents went, whether or not the desktop could open them.
    ProtocolDocuments::Saved = [window = QPointer<TFormMain>(this)](const QString& file) {
        if (window) window->ShowStatus(QStringLiteral("Gespeichert: ") + QDir::toNativeSeparators(file));
    };
}

bool TFormMain::ExportToWord(int mode, const QString& fileName) {
    TWaitCursor wait;
    return ::ExportToWord(ProtocolDocuments::OfficeContent(*this), mode, fileName, WordTemplatePath,
                          ProtocolDocuments::CreateWordBasic);
}

void TFormMain::ExportToExcel(const QString& fileName) {
    try {
        TWaitCursor wait;
        ::ExportToExcel(ProtocolDocuments::OfficeContent(*this), fileName,
                        ProtocolDocuments::CreateExcelApplication);
    } catch (const EOfficeError& e) {
        ShowError(e.Message());
    }
}

void TFormMain::ImportExcelSheet(const QString& fileName) {
    if (StartListImport::OfferWorkbook(*this, fileName)) return;
    TProtocolImport sheet;
    try {
        TWaitCursor wait;
        sheet = ::ImportExcelSheet(fileName, ProtocolDocuments::CreateExcelApplication);
    } catch (const EOfficeError& e) {
        ShowError(e.Message());
        return;
    }
    // An empty sheet is no start list: it would wipe the protocol.
    const bool blank = std::all_of(sheet.Rows.cbegin(), sheet.Rows.cend(),
                                   [](const QStringList& r) { return IsBlankRow(r); });
    if (blank && sheet.Title.trimmed().isEmpty() && !sheet.HasRunNumber) {
        ShowError(QStringLiteral("Die Arbeitsmappe enthält keine Fahrer und wird nicht geladen: ") +
                  QDir::toNativeSeparators(fileName));
        return;
    }
    // Everything was read: only now the table is replaced.
    TSortGrid* g = SortGrid1;
    // A start list without a title in B1 leaves the day's title, and so its event's name.
    if (!sheet.Title.trimmed().isEmpty()) eTitle->setText(sheet.Title);
    if (sheet.HasRunNumber) eNR->setText(sheet.RunNumber);
    RunSettings.ListSubtitle = sheet.ListSubtitle;
    g->Clear();
    g->SetRowCount(int(sheet.Rows.size()) + 1);
    for (int i = 0; i < sheet.Rows.size(); ++i)
        g->SetRows(i + 1, sheet.Rows[i]);
    SetProtocolColumnWidths();
    FrameTimer1->hcbName->SetItems(sheet.Names);
    FrameTimer2->hcbName->SetItems(sheet.Names);
    FrameTimer1->hcbName->SetItemIndex(0);
    FrameTimer2->hcbName->SetItemIndex(1);
    for (int c = 0; c < pcCount; ++c)
        if (g->Cells(c, 0).trimmed().isEmpty()) g->SetCells(c, 0, ProtocolCaptions[c]);
    SelectWholeRow(1);
    ShowRowPosition(1);
    SelectFirstUnnamedRow();
    AnnounceProtocol(TProtocolChangeKind::Imported);
}

void TFormMain::sbWordClick(QObject*) {
    // In place of Word shown with the saved document: the desktop opens it.
    // A second export in the same minute gets a name of its own.
    const QString file =
        FreeFileName(ProtocolDocuments::DocumentsFolder(), MakeDateFileName(), QStringLiteral("docx"));
    if (!ExportToWord(0, file))
        ShowError(QStringLiteral("Der Schreibfehler der Datei: ") + QDir::toNativeSeparators(file));
}

void TFormMain::sbExcelClick(QObject*) {
    ExportToExcel(QString());
}
