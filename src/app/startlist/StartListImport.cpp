#include "StartListImport.h"

#include "DlgStartList.h"
#include "FMain.h"
#include "ProtocolDocuments.h"
#include "OfficeError.h"
#include "OfficeExport.h"

#include <QApplication>


namespace StartListImport {
namespace {

const QString NameOrderValue = QStringLiteral("StartListNameOrder");

QString MappingValue(const QStringList& header) {
    return QStringLiteral("StartListMapping_") + StartList::LayoutKey(header);
}

bool Offer(TFormMain& form, const StartList::TTable& table) {
    if (!StartList::IsNamedHeader(table.Header)) return false;
    TSettingsStore& store = form.SettingsStore();
    StartList::TMapping mapping =
        StartList::DecodeMapping(store.Value(MappingValue(table.Header)).toString(), table.Columns());
    if (mapping.isEmpty()) mapping = StartList::SuggestMapping(table.Header);
    const StartList::TNameOrder order =
        store.Value(NameOrderValue).toInt() == int(StartList::noLastFirst) ? StartList::noLastFirst : StartList::noFirstLast;

    TDlgStartList dialog(&form, table, mapping, order);
    if (ExecDialog(&dialog) != QDialog::Accepted) return true;
    // The choice is suggested again for files of the same layout.
    store.SetValue(MappingValue(table.Header), StartList::EncodeMapping(dialog.Mapping()));
    store.SetValue(NameOrderValue, int(dialog.NameOrder()));
    form.Entrants = dialog.Entrants();
    form.FillStartList(StartList::ProtocolRows(form.Entrants));
    return true;
}

} // namespace

std::function<int(TDlgStartList*)> ExecDialog = [](TDlgStartList* d) { return d->exec(); };

bool OfferText(TFormMain& form, const QString& text) {
    return Offer(form, StartList::ParseText(text));
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
    return Offer(form, StartList::FromCells(cells));
}

} // namespace StartListImport
