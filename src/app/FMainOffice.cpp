// Word and Excel: the buttons, the dialog entries and the import into the table.
// The documents themselves are made by the office library.
#include "ExcelEngine.h"
#include "FMain.h"
#include "StartListImport.h"
#include "WordEngine.h"

#include <QApplication>
#include <QDir>
#include <QStandardPaths>

namespace {

void Show(const QString& file) {
    if (TFormMain::OpenDocument) TFormMain::OpenDocument(file);
}

// Where the buttons' documents go: the user's documents folder, as the file dialogs.
QString DocumentsFolder() {
    QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (folder.isEmpty()) folder = QDir::homePath();
    QDir().mkpath(folder);
    return folder;
}

// The hourglass while a document is built.
struct TWaitCursor {
    TWaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~TWaitCursor() { QApplication::restoreOverrideCursor(); }
};

} // namespace

TWordFactory TFormMain::CreateWordBasic = [] { return std::make_unique<TWordEngine>(Show); };

TExcelFactory TFormMain::CreateExcelApplication = [] {
    // The shown workbook is the user's document, beside the Word ones: no cleaner empties it.
    return std::make_unique<TExcelEngine>(Show, DocumentsFolder());
};

void TFormMain::CreateOfficeCommands() {
    WordTemplatePath = QDir(ProgramDir()).absoluteFilePath(QStringLiteral("Protokollvorlage.docx"));
    ExcelAvailable = IsOleClassRegistered(QStringLiteral("Excel.Application"));
    sbWord->OnClick = [this](QObject* s) { sbWordClick(s); };
    sbExcel->OnClick = [this](QObject* s) { sbExcelClick(s); };
}

TProtocolExport TFormMain::OfficeContent() const {
    const THtmlReport r = ReportContent();
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

bool TFormMain::ExportToWord(int mode, const QString& fileName) {
    TWaitCursor wait;
    return ::ExportToWord(OfficeContent(), mode, fileName, WordTemplatePath, CreateWordBasic);
}

void TFormMain::ExportToExcel(const QString& fileName) {
    try {
        TWaitCursor wait;
        ::ExportToExcel(OfficeContent(), fileName, CreateExcelApplication);
    } catch (const EOfficeError& e) {
        ShowError(e.Message());
    }
}

void TFormMain::ImportExcelSheet(const QString& fileName) {
    if (StartListImport::OfferWorkbook(*this, fileName)) return;
    TProtocolImport sheet;
    try {
        TWaitCursor wait;
        sheet = ::ImportExcelSheet(fileName, CreateExcelApplication);
    } catch (const EOfficeError& e) {
        ShowError(e.Message());
        return;
    }
    // Everything was read: only now the table is replaced.
    TSortGrid* g = SortGrid1;
    eTitle->setText(sheet.Title);
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
        FreeFileName(DocumentsFolder(), MakeDateFileName(), QStringLiteral("docx"));
    if (!ExportToWord(0, file))
        ShowError(QStringLiteral("Der Schreibfehler der Datei: ") + QDir::toNativeSeparators(file));
}

void TFormMain::sbExcelClick(QObject*) {
    ExportToExcel(QString());
}
