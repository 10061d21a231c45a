#include "StartListImport.h"

#include "DlgStartList.h"
#include "FMain.h"
#include "ProtocolDocuments.h"
#include "OfficeError.h"
#include "OfficeExport.h"

#include <QApplication>
#include <QLineEdit>


namespace StartListImport {
namespace {

const QString NameOrderValue = QStringLiteral("StartListNameOrder");

QString MappingValue(const QStringList& header) {
    return QStringLiteral("StartListMapping_") + StartList::LayoutKey(header);
}

bool Offer(TFormMain& form, const StartList::TTable& table) {
    TSettingsStore& store = form.SettingsStore();
    // Only a header names a layout whose mapping is worth remembering.
    StartList::TMapping mapping;
    if (!table.Header.isEmpty())
        mapping = StartList::DecodeMapping(store.Value(MappingValue(table.Header)).toString(),
                                           table.Columns());
    if (mapping.isEmpty()) mapping = StartList::SuggestMapping(table);
    const StartList::TNameOrder order =
        store.Value(NameOrderValue).toInt() == int(StartList::noLastFirst) ? StartList::noLastFirst : StartList::noFirstLast;

    TDlgStartList dialog(&form, table, mapping, order);
    if (ExecDialog(&dialog) != QDialog::Accepted) return true;
    // A list without names would replace the protocol by empty rows.
    if (!StartList::HasNameColumn(dialog.Mapping())) return true;
    // The choice is suggested again for files of the same layout.
    if (!table.Header.isEmpty())
        store.SetValue(MappingValue(table.Header), StartList::EncodeMapping(dialog.Mapping()));
    store.SetValue(NameOrderValue, int(dialog.NameOrder()));
    if (!dialog.Title().isEmpty()) form.eTitle->setText(dialog.Title());
    form.Entrants = dialog.Entrants();
    form.FillStartList(StartList::ProtocolRows(form.Entrants));
    return true;
}

} // namespace

std::function<int(TDlgStartList*)> ExecDialog = [](TDlgStartList* d) { return d->exec(); };

bool OfferText(TFormMain& form, const QString& text, const QList<QStringList>& plainRows) {
    const StartList::TTable table = StartList::ParseText(text);
    if (!StartList::TextNeedsMapping(table, plainRows)) return false;
    return Offer(form, table);
}

bool OfferWorkbook(TFormMain& form, const QString& fileName) {
    QList<QStringList> cells;
    try {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        cells = ReadSheetTexts(fileName, ProtocolDocuments::CreateExcelApplication);
        QApplication::restoreOverrideCursor();
    } catch (const EOfficeError&) {
        QApplication::restoreOverrideCursor();
        return false; // the plain import reads it again and says what is wrong
    }
    const StartList::TTable table = StartList::FromCells(cells);
    if (!StartList::SheetNeedsMapping(table)) return false;
    return Offer(form, table);
}

} // namespace StartListImport
