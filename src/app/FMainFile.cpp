// The protocol text file, the start list, the file dialogs, the automatic backup
// and the close request of the main window.
#include "DurableFile.h"
#include "Protocol.h"
#include "FMainPrivate.h"
#include "OfficeZip.h"
#include "PopupGuard.h"
#include "ProtocolFile.h"
#include "Questions.h"
#include "RecentFolders.h"
#include "StartListImport.h"
#include "TerminationRequest.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QMessageBox>
#include <QTreeView>

std::function<void(const QString&)>& TFormMain::ShowMessage = Questions::ShowMessage;

std::function<bool(QFileDialog*)> TFormMain::ExecFileDialog = [](QFileDialog* dialog) {
    const bool accepted = dialog->exec() == QDialog::Accepted && !dialog->selectedFiles().isEmpty();
    // Some window managers leave the focus nowhere after the overwrite prompt: take it back,
    // so F5 works without a click first.
    if (QWidget* owner = dialog->parentWidget()) {
        owner->raise();
        owner->activateWindow();
    }
    return accepted;
};

namespace {

// Qt's name filters from a "description|pattern|..." filter string.
QStringList NameFilters(const QString& filter) {
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList names;
    for (int i = 0; i + 1 < parts.size(); i += 2)
        names << parts[i];
    return names;
}

QString WithoutExtension(const QString& file) {
    const QFileInfo fi(file);
    // Qt's dialog adds the kind's extension only to a name without any dot: "Lauf
    // 07.12.txt" keeps its extension, or it would come back as "Lauf 07.12".
    if (fi.suffix().isEmpty() || fi.completeBaseName().contains(QLatin1Char('.'))) return file;
    return fi.path() + QLatin1Char('/') + fi.completeBaseName();
}

} // namespace

QString TFormMain::OpenFilter() const {
    // Registration systems export start lists as .csv.
    QString f = TextFileTypeName + QStringLiteral(" (*.txt *.csv)|*.txt *.csv|");
    if (ExcelAvailable) f += ExcelFileTypeName + QStringLiteral(" (*.xlsx *.xls)|*.xlsx *.xls|");
    return f;
}

QString TFormMain::SaveFilter() const {
    QString f = TextFileTypeName + QStringLiteral(" (*.txt)|*.txt|");
    if (ExcelAvailable) f += ExcelFileTypeName + QStringLiteral(" (*.xlsx)|*.xlsx|");
    return f + WordFileTypeName + QStringLiteral(" (*.docx)|*.docx|") + HtmlFileTypeName +
           QStringLiteral(" (*.html)|*.html");
}

namespace {

// The entry whose extension the typed name carries, else the chosen one: "lauf.xlsx"
// typed under the text entry is a workbook, not a text file named like one.
QString KindOfName(const QStringList& entries, const QString& file, const QString& chosen) {
    QString typed = QFileInfo(file).suffix().toLower();
    if (typed == QLatin1String("htm")) typed = QStringLiteral("html");
    if (typed.isEmpty()) return chosen;
    for (const QString& entry : entries)
        if (entry.endsWith(QStringLiteral("(*.") + typed + QLatin1Char(')'))) return entry;
    return chosen;
}

void UseSuffixOf(QFileDialog* dialog, const QString& filter) {
    const qsizetype dot = filter.lastIndexOf(QLatin1String("*."));
    if (dot >= 0) dialog->setDefaultSuffix(filter.mid(dot + 2).section(QLatin1Char(')'), 0, 0));
}

} // namespace

void TFormMain::CreateFileDialogs() {
    CreateOfficeCommands();
    OpenDialog1 = new QFileDialog(this);
    OpenDialog1->setObjectName(QStringLiteral("OpenDialog1"));
    OpenDialog1->setAcceptMode(QFileDialog::AcceptOpen);
    OpenDialog1->setFileMode(QFileDialog::ExistingFile);
    OpenDialog1->setDefaultSuffix(QStringLiteral("txt"));
    OpenDialog1->setNameFilters(NameFilters(OpenFilter()));
    SaveDialog1 = new QFileDialog(this);
    SaveDialog1->setObjectName(QStringLiteral("SaveDialog1"));
    SaveDialog1->setAcceptMode(QFileDialog::AcceptSave);
    SaveDialog1->setFileMode(QFileDialog::AnyFile);
    SaveDialog1->setDefaultSuffix(QStringLiteral("txt"));
    SaveDialog1->setNameFilters(NameFilters(SaveFilter()));
    for (QFileDialog* d : {OpenDialog1, SaveDialog1}) {
        GuardCompleterPopups(d);
        d->resize(760, 460);
        // Size, type and date readable at once (which start list is today's?).
        if (auto* view = d->findChild<QTreeView*>(QStringLiteral("treeView"))) {
            view->header()->resizeSection(1, 80);
            view->header()->resizeSection(2, 140);
            view->header()->resizeSection(3, 165);
        }
    }
    // A name typed without extension gets the chosen kind's, not always ".txt".
    connect(SaveDialog1, &QFileDialog::filterSelected, SaveDialog1,
            [this](const QString& filter) { UseSuffixOf(SaveDialog1, filter); });

    sbLoad->SetHint(QStringLiteral("Startliste öffnen"));
    sbLoad->OnClick = [this](QObject* s) { sbLoadClick(s); };
    sbSave->OnClick = [this](QObject* s) { sbSaveClick(s); };
}

bool TFormMain::SaveProtocolText(const QString& fileName, QString* error) {
    QList<QStringList> rows;
    rows.reserve(SortGrid1->RowCount());
    for (int r = 0; r < SortGrid1->RowCount(); ++r)
        rows << SortGrid1->Rows(r);
    const QByteArray bytes = ProtocolFile::Encode(rows);
    return ReplaceFileContents(fileName, bytes, error);
}

void TFormMain::PlaceFileDialogs() {
    const QString folder = RecentFolders::Folder(RecentFolders::Protocol);
    OpenDialog1->setDirectory(folder);
    SaveDialog1->setDirectory(folder);
    // In the backup's own folder, "<title>.txt" would be the backup itself: a protocol
    // saved there would be overwritten at exit.
    QString proposal = ProgramTitle() + QStringLiteral(".txt");
    if (P->FBackup.IsOwnPlace(QDir(folder).absoluteFilePath(proposal)))
        proposal = ProgramTitle() + QStringLiteral("-Protokoll.txt");
    SaveDialog1->selectFile(proposal);
}

void TFormMain::LoadProtocolText(const QString& fileName) {
    QFile file(fileName);
    const QFileInfo info(fileName);
    if (!info.exists()) return;
    // A pipe or device would block the window: only files are read.
    if (!info.isFile() || !file.open(QIODevice::ReadOnly)) {
        ShowMessage(QStringLiteral("Die Datei kann nicht gelesen werden (keine gewöhnliche Datei "
                                   "oder keine Leserechte): ") +
                    QDir::toNativeSeparators(fileName));
        return;
    }
    const QString refused = QStringLiteral("Die Datei ist keine Textdatei oder größer als 16 MB "
                                           "und wird nicht geladen: ") +
                            QDir::toNativeSeparators(fileName);
    if (file.size() > ProtocolFile::MaxFileSize) {
        ShowMessage(refused);
        return;
    }
    const QByteArray data = file.read(ProtocolFile::MaxFileSize + 1);
    if (!ProtocolFile::LooksLikeText(data)) {
        ShowMessage(refused);
        return;
    }
    const QString text = ProtocolFile::DecodeText(data);
    // An empty file is no start list: it would wipe the protocol and both name lists.
    if (text.trimmed().isEmpty()) {
        ShowMessage(QStringLiteral("Die Datei ist leer und wird nicht geladen: ") +
                    QDir::toNativeSeparators(fileName));
        return;
    }
    const QList<QStringList> rows = ProtocolFile::ParseRows(text);
    if (StartListImport::OfferText(*this, text, rows)) return;
    FillStartList(rows);
}

void TFormMain::FillStartList(const QList<QStringList>& rows) {
    TSortGrid* g = SortGrid1;
    ClearEnteredMarks(); // the loaded rows are no run's results
    g->SetRowCount(2);
    for (int c = 0; c < pcCount; ++c)
        g->SetCells(c, 1, QString());
    if (rows.size() > 1) g->SetRowCount(static_cast<int>(rows.size()) + 1);
    for (int i = 0; i < rows.size(); ++i) {
        const int row = i + 1;
        const QStringList& fields = rows[i];
        for (int c = 0; c < pcCount; ++c)
            g->SetCells(c, row, c < fields.size() ? fields[c] : QString());
    }

    QStringList names;
    for (int r = 0; r < g->RowCount(); ++r)
        names << g->Cells(pcName, r);
    if (!names.isEmpty() && names.first() == ProtocolCaptions[pcName]) names.removeFirst();
    FrameTimer1->hcbName->SetItems(names);
    FrameTimer2->hcbName->SetItems(names);
    MoveToFirstEntrants();

    SelectWholeRow(1);
    ShowRowPosition(1);
    SelectFirstUnnamedRow();
    SetProtocolColumnWidths();
    AnnounceProtocol(TProtocolChangeKind::Loaded);
}

void TFormMain::sbLoadClick(QObject*) {
    const QStringList current = OpenDialog1->selectedFiles();
    if (!current.isEmpty())
        OpenDialog1->selectFile(QFileInfo(WithoutExtension(current.first())).fileName());
    if (!ExecFileDialog(OpenDialog1)) return;
    const QString file = OpenDialog1->selectedFiles().value(0);
    RecentFolders::Remember(RecentFolders::Protocol, file);
    P->FBackup.Protect(file);
    // The file, not the filter chosen, tells how it is read: a workbook typed under the text
    // filter is a workbook; a text named .xlsx is refused as a damaged workbook.
    const QString suffix = QFileInfo(file).suffix().toLower();
    const bool workbook = ExcelAvailable && (OfficeZip::FileKind(file) != OfficeZip::fkUnknown ||
                                             suffix == QLatin1String("xlsx") || suffix == QLatin1String("xls"));
    OpenFilterIndex = workbook ? 2 : 1;
    if (workbook)
        ImportExcelSheet(file);
    else
        LoadProtocolText(file);
    // The next save proposes the same name and kind.
    SaveFilterIndex = OpenFilterIndex;
    const QStringList filters = NameFilters(SaveFilter());
    SaveDialog1->selectNameFilter(filters.value(SaveFilterIndex - 1));
    SaveDialog1->setDirectory(QFileInfo(file).absolutePath());
    OpenDialog1->setDirectory(QFileInfo(file).absolutePath());
    // A loaded backup is saved elsewhere: the next program run's backup replaces it.
    SaveDialog1->selectFile(P->FBackup.IsOwnPlace(file)
                                ? ProgramTitle() + QStringLiteral("-Protokoll")
                                : QFileInfo(WithoutExtension(file)).fileName());
    UpdateProtocolButtons();
}

void TFormMain::sbSaveClick(QObject*) {
    const QStringList current = SaveDialog1->selectedFiles();
    if (!current.isEmpty())
        SaveDialog1->selectFile(QFileInfo(WithoutExtension(current.first())).fileName());
    // The kind chosen by the program (restored, or after a load) gives its extension too:
    // only the user's choice in the dialog announces itself.
    UseSuffixOf(SaveDialog1, SaveDialog1->selectedNameFilter());
    if (!ExecFileDialog(SaveDialog1)) return;
    const QString file = SaveDialog1->selectedFiles().value(0);
    // A path typed into the name box leaves the dialog in its old folder: both dialogs
    // start next time where this file went.
    SaveDialog1->setDirectory(QFileInfo(file).absolutePath());
    OpenDialog1->setDirectory(QFileInfo(file).absolutePath());
    RecentFolders::Remember(RecentFolders::Protocol, file);
    P->FBackup.Protect(file);
    const QStringList entries = NameFilters(SaveFilter());
    const QString kind = KindOfName(entries, file, SaveDialog1->selectedNameFilter());
    SaveFilterIndex = qMax(1, entries.indexOf(kind) + 1);
    SaveDialog1->selectNameFilter(kind);
    if (kind.endsWith(QLatin1String("(*.html)"))) {
        WriteHtmlReport(file); // written only: neither opened nor printed
        return;
    }
    if (kind.endsWith(QLatin1String("(*.docx)"))) {
        if (!ExportToWord(1, file))
            ShowError(QStringLiteral("Der Schreibfehler der Datei: ") +
                      QDir::toNativeSeparators(file));
        return;
    }
    if (kind.endsWith(QLatin1String("(*.xlsx)"))) {
        ExportToExcel(file);
        return;
    }
    // Every entry without its own writer writes the text file.
    QString cause;
    if (!SaveProtocolText(file, &cause))
        ShowMessage(QStringLiteral("Der Schreibfehler der Datei: ") +
                    QDir::toNativeSeparators(file) + QStringLiteral("\n") + cause);
}

QString TFormMain::BackupFileName() const {
    return P->FBackup.FileName();
}

QString TFormMain::PreviousBackupFileName() const {
    return P->FBackup.PreviousFileName();
}

void TFormMain::WriteBackup() {
    // Silent: the backup never interrupts the operator. The journal names it, so a
    // start after a crash finds the protocol as it stood.
    const QString file = P->FBackup.Prepare();
    QString cause;
    if (!SaveProtocolText(file, &cause)) {
        // Told once, until a write succeeds again; the last complete backup stays.
        if (P->FBackupFailure.isEmpty())
            Notice(QStringLiteral("Die Sicherung %1 kann nicht geschrieben werden: %2. Die letzte "
                                  "Sicherung bleibt erhalten; bei jeder Änderung wird es wieder "
                                  "versucht.")
                       .arg(QDir::toNativeSeparators(file), cause));
        P->FBackupFailure = QDir::toNativeSeparators(file) + QStringLiteral(": ") + cause;
        return;
    }
    if (!P->FBackupFailure.isEmpty()) {
        P->FBackupFailure.clear();
        Notice(QStringLiteral("Sicherung wieder geschrieben: ") + QDir::toNativeSeparators(file));
    }
    const bool modified = SortGrid1->Modified();
    Announce([&](TRunListener& l) { l.BackupWritten(file, modified); });
}

void TFormMain::closeEvent(QCloseEvent* event) {
    FDlgYesNo->Label1->setText(QStringLiteral("Beenden?"));
    // A logout does not wait for an answer; the backup keeps the protocol.
    if (SortGrid1->Modified() && !TerminationRequested() &&
        FDlgYesNo->ShowModal() != TFDlgYesNo::mrYes && !TerminationRequested()) {
        event->ignore();
        return;
    }
    event->accept();
}
