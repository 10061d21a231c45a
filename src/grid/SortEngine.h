#pragma once
// Typed multi-key sorting of table rows, free of any window.
//
// Choices where the grid's rules leave room:
// - ssCustom without a SortCompare function compares ordinally.
// - Under ssNumericExtended empty texts are equal to each other and sort before
//   every non-empty text (row order decides among them).
// - SecondaryIndex items that are not column numbers of the table are skipped.
// - ssAutomatic is resolved by detection afresh for each column and sort; the
//   stored style stays ssAutomatic.
// - Ordinal comparison compares UTF-16 code units; for the Latin-1 letters of the
//   protocol (umlauts, accents) this is the byte order of Windows-1252.
// - Dates: a two-digit year lies within 50 years before the current year or
//   less than 50 after it (1976..2075 in 2026).
#include <QLocale>
#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

enum TSortStyle : uint8_t {
    ssAutomatic,
    ssNormal,
    ssNumeric,
    ssNumericExtended,
    ssDateTime,
    ssTime,
    ssCustom
};
enum TSortDirection : uint8_t { sdAscending, sdDescending };

using TSortCompareFunc = int (*)(const QString& left, const QString& right);

// Sort options owned by the grid and edited in place.
struct TSortOptions {
    QString SecondaryIndex;
    bool CanSort = true;
    TSortStyle SortStyle = ssNormal;
    bool SortCaseSensitive = false;
    int SortCol = 0;
    TSortDirection SortDirection = sdAscending;
    TSortCompareFunc SortCompare = nullptr; // reset to none after every sort
    bool UpdateOnSizeChange = false;
};

// The locale formats the number, time and date rules read.
struct TSortLocale {
    enum DateOrder { DMY, MDY, YMD };
    QChar DecimalSeparator = QLatin1Char('.');
    QChar TimeSeparator = QLatin1Char(':');
    QChar DateSeparator = QLatin1Char('/');
    DateOrder Order = MDY;
    QString AmText = QStringLiteral("AM");
    QString PmText = QStringLiteral("PM");
    int CurrentYear = 2000;

    static TSortLocale From(const QLocale& locale = QLocale());
};

// One row's key of one pass.
struct TSortedListEntry {
    QString Str;
    int RowNum = 0;
    const TSortOptions* SortOptions = nullptr;
};

namespace SortRules {

// ASCII A..Z to lower case; every other character stays.
QString FoldAscii(const QString& s);
int Ordinal(const QString& a, const QString& b);
bool ParseNumber(const QString& s, const TSortLocale& loc, double& value);
bool ParseTime(const QString& s, const TSortLocale& loc, qint64& ms);
bool ParseDateTime(const QString& s, const TSortLocale& loc, qint64& ms);
int CompareNumericExtended(const QString& a, const QString& b);
// Compare two texts (already folded when case-insensitive) under a style, without tie-break.
int CompareTexts(const QString& a, const QString& b, TSortStyle style, TSortCompareFunc custom,
                 const TSortLocale& loc);
// Full entry comparison: style, then row order (never reversed), then direction.
int CompareEntries(const TSortedListEntry& l, const TSortedListEntry& r, TSortStyle style,
                   const TSortLocale& loc);
// Items of a key list: separated by commas and/or blanks, double quotes group.
QStringList SplitKeyList(const QString& list);
// Style that every text of a column satisfies: numeric, date-time, time, else normal.
TSortStyle DetectSortStyle(const QStringList& texts, const TSortLocale& loc);

} // namespace SortRules

// Multi-key order of the data rows 1..rowCount-1 of a table. `cell` reads a
// text by (row, column) of the table before the sort; `getSortStyle`, when set,
// chooses the style of each key column. Returns the former row number of each
// new position: result[p] is the row that goes to row p + 1.
std::vector<int> SortOrder(int rowCount, int colCount, int col, TSortOptions& options,
                           const std::function<QString(int row, int col)>& cell,
                           const std::function<void(int col, TSortStyle& style)>& getSortStyle,
                           const TSortLocale& loc);
