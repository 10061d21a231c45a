#include "StartListImport.h"

#include "DlgStartList.h"
#include "FMain.h"
#include "OfficeError.h"
#include "OfficeExport.h"

#include <QApplication>

using namespace StartList;

namespace StartListImport {
namespace {

const QString NameOrderValue = QStringLiteral("StartListNameOrder");

QString MappingValue(const QStringList& header) {
    return QStringLiteral("StartListMapping_") + LayoutKey(header);
}

bool Offer(TFormMain& form, const TTable& table) {
    if (!IsNamedHeader(table.Header)) return false;
    TSettingsStore& store = form.SettingsStore();
    TMapping mapping =
        DecodeMapping(store.Value(MappingValue(table.Header)).toString(), table.Columns());
    if (mapping.isEmpty()) mapping = SuggestMapping(table.Header);
    const TNameOrder order =
        store.Value(NameOrderValue).toInt() == int(noLastFirst) ? noLastFirst : noFirstLast;

    TDlgStartList dialog(&form, table, mapping, order);
    if (ExecDialog(&dialog) != QDialog::Accepted) return true;
    // The choice is suggested again for files of the same layout.
    store.SetValue(MappingValue(table.Header), EncodeMapping(dialog.Mapping()));
    store.SetValue(NameOrderValue, int(dialog.NameOrder()));
    form.Entrants = dialog.Entrants();
    form.FillStartList(ProtocolRows(form.Entrants));
    return true;
}

} // namespace

std::function<int(TDlgStartList*)> ExecDialog = [](TDlgStartList* d) { return d->exec(); };

bool OfferText(TFormMain& form, const QString& text) {
    return Offer(form, ParseText(text));
}

bool OfferWorkbook(TFormMain& form, const QString& fileName) {
    QList<QStringList> cells;
    try {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        cells = ReadSheetTexts(fileName, TFormMain::CreateExcelApplication);
        QApplication::restoreOverrideCursor();
    } catch (const EOfficeError&) {
        QApplication::restoreOverrideCursor();
        return false; // the plain import reads it again and says what is wrong
    }
    return Offer(form, FromCells(cells));
}

} // namespace StartListImport
