#include "SheetModel.h"
#include "ExcelEngine.h"
#include "ExcelValues.h"
#include "OfficeError.h"

const TCell* TSheetModel::Find(int row, int col) const {
    const auto it = FCells.constFind(Key(row, col));
    return it == FCells.cend() ? nullptr : &it.value();
}

TCell& TSheetModel::At(int row, int col) {
    auto it = FCells.find(Key(row, col));
    if (it != FCells.end()) return it.value();
    if (FCells.size() >= SheetLimits::MaxCells)
        throw EOfficeError(
            QStringLiteral("Die Tabelle hat mehr als %1 Zellen.").arg(SheetLimits::MaxCells));
    TCell cell;
    cell.Bold = BoldRows.contains(row) || BoldCols.contains(col);
    return FCells.insert(Key(row, col), cell).value();
}

void TSheetModel::Remove(int row, int col) {
    FCells.remove(Key(row, col));
}

int TSheetModel::LastRow() const {
    for (auto it = FCells.cend(); it != FCells.cbegin();) {
        --it;
        if (it.value().Value.isValid()) return RowOf(it.key());
    }
    return 0;
}

int TSheetModel::LastCol() const {
    int last = 0;
    for (auto it = FCells.cbegin(); it != FCells.cend(); ++it)
        if (it.value().Value.isValid()) last = qMax(last, ColOf(it.key()));
    return last;
}

void TSheetModel::FitColumns(int first, int last) {
    QMap<int, double> widths;
    for (auto it = FCells.cbegin(); it != FCells.cend(); ++it) {
        const int row = RowOf(it.key());
        if (row < first || row > last || !it.value().Value.isValid()) continue;
        const TCell& cell = it.value();
        const double w = FittedColumnWidth(int(DisplayText(cell).size()),
                                           cell.Bold || BoldRows.contains(row) || BoldCols.contains(ColOf(it.key())));
        widths[ColOf(it.key())] = qMax(widths.value(ColOf(it.key())), w);
    }
    for (auto it = widths.cbegin(); it != widths.cend(); ++it)
        ColumnWidths[it.key()] = it.value();
}

void TSheetModel::DeleteColumn(int col) {
    QMap<quint64, TCell> cells;
    for (auto it = FCells.cbegin(); it != FCells.cend(); ++it) {
        const int c = ColOf(it.key());
        if (c == col) continue;
        cells.insert(Key(RowOf(it.key()), c > col ? c - 1 : c), it.value());
    }
    FCells.swap(cells);
    QSet<int> bold;
    for (int c : std::as_const(BoldCols))
        if (c != col) bold.insert(c > col ? c - 1 : c);
    BoldCols = bold;
    QMap<int, double> widths;
    for (auto it = ColumnWidths.cbegin(); it != ColumnWidths.cend(); ++it)
        if (it.key() != col) widths.insert(it.key() > col ? it.key() - 1 : it.key(), it.value());
    ColumnWidths = widths;
}

void TSheetModel::DeleteRow(int row) {
    QMap<quint64, TCell> cells;
    for (auto it = FCells.cbegin(); it != FCells.cend(); ++it) {
        const int r = RowOf(it.key());
        if (r == row) continue;
        cells.insert(Key(r > row ? r - 1 : r, ColOf(it.key())), it.value());
    }
    FCells.swap(cells);
    QSet<int> bold;
    for (int r : std::as_const(BoldRows))
        if (r != row) bold.insert(r > row ? r - 1 : r);
    BoldRows = bold;
}

QString TSheetModel::DisplayText(const TCell& cell) {
    if (cell.Value.typeId() == QMetaType::Double && !cell.Format.isEmpty() &&
        ExcelValues::FormatKind(164, cell.Format) != ExcelValues::dkNone)
        return ExcelValues::SerialDateText(cell.Value.toDouble(), cell.Format);
    if (cell.Value.typeId() == QMetaType::Double)
        return ExcelValues::NumberText(cell.Value.toDouble(), cell.Decimals);
    return ExcelValues::ValueText(cell.Value);
}
