#pragma once
// The in-memory workbook behind the Excel-like engine: sparse cells with their
// values and the few formats the export uses.
#include <QList>
#include <QMap>
#include <QSet>
#include <QString>
#include <QVariant>

// Limits of a sheet (as in Excel) and of what the engine holds in memory.
namespace SheetLimits {
constexpr int MaxRows = 1048576;
constexpr int MaxCols = 16384;
constexpr qint64 MaxCells = 1000000;      // cells with content in one sheet
constexpr qint64 MaxRangeCells = 4000000; // cells of one Value block
} // namespace SheetLimits

struct TCell {
    QVariant Value;    // invalid: empty; QString, double or bool
    int Decimals = -1; // shown decimals of a number; -1 general
    QString Format;    // a number format of its own ("[m]:ss.00" for a time), before Decimals
    bool Bold = false;
    bool Border = false;
};

class TSheetModel {
public:
    QString Name = QStringLiteral("Tabelle1");
    int Orientation = 1; // 1 portrait, 2 landscape
    QSet<int> BoldRows, BoldCols;
    QMap<int, double> ColumnWidths; // fitted widths in characters, by column
    int FrozenRows = 0;             // rows kept in view when scrolling (a header)

    static quint64 Key(int row, int col) { return (quint64(row) << 16) | quint64(col); }
    static int RowOf(quint64 key) { return int(key >> 16); }
    static int ColOf(quint64 key) { return int(key & 0xFFFF); }

    // Cells ordered row by row, then column by column (1-based).
    const QMap<quint64, TCell>& Cells() const { return FCells; }
    const TCell* Find(int row, int col) const;
    TCell& At(int row, int col); // creates the cell, taking row and column formats
    void Remove(int row, int col);
    qint64 CellCount() const { return FCells.size(); }

    // Last row and column holding a value (0 for an empty sheet): the used range.
    int LastRow() const;
    int LastCol() const;

    // Each column with a value in rows first..last as wide as its widest shown text.
    void FitColumns(int first, int last);

    void DeleteColumn(int col);
    void DeleteRow(int row);

    // The text a cell shows.
    static QString DisplayText(const TCell& cell);

private:
    QMap<quint64, TCell> FCells;
};

struct TWorkbookModel {
    QString Author, Title, Subject, Comments;
    QList<TSheetModel> Sheets;
};
