#pragma once
// The Excel-like application interface: workbooks, sheets and ranges with the
// members the Excel export and import call. Ranges are values built as the
// automation calls build them (Cells, Range, Columns, Rows); each member of a
// range is one virtual call on its sheet. Failures are thrown as EOfficeError.
#include "OfficeError.h"

#include <QList>
#include <QString>
#include <QVariant>
#include <QVariantList>

// Values of a block of cells, row by row; an invalid QVariant is an empty cell.
using TValueArray = QList<QVariantList>;

// A cell block (1-based, inclusive), whole columns or rows, or the whole sheet
// by columns or rows (First 0).
struct TExcelRange {
    enum TKind { rkCells, rkColumns, rkRows };
    TKind Kind = rkCells;
    int Row1 = 0, Col1 = 0, Row2 = 0, Col2 = 0; // rkCells
    int First = 0, Last = 0;                    // rkColumns / rkRows: 0 = all
    bool operator==(const TExcelRange&) const = default;
};

// The range as the automation call reads: "Cells(1,2)", "Range(Cells(1,1),Cells(8,9))",
// "Columns(7)", "Columns", "Rows(4)", "Rows".
QString RangeText(const TExcelRange& range);

class IExcelSheet {
public:
    virtual ~IExcelSheet() = default;

    static TExcelRange Cells(int row, int col);
    static TExcelRange Range(const TExcelRange& from, const TExcelRange& to);
    static TExcelRange Columns(int col = 0);
    static TExcelRange Rows(int row = 0);

    virtual void SetValue(const TExcelRange& range, const TValueArray& values) = 0; // R.Value :=
    virtual TValueArray Value(const TExcelRange& range) = 0;                        // R.Value
    virtual void SetBordersLineStyle(const TExcelRange& range,
                                     int lineStyle) = 0;               // R.Borders.LineStyle :=
    virtual void SetFontBold(const TExcelRange& range, bool bold) = 0; // R.Font.Bold :=
    virtual void Delete(const TExcelRange& range) = 0;                 // R.Delete
    virtual void Autofit(const TExcelRange& range) = 0;                // R.Autofit
    virtual int Count(const TExcelRange& range) = 0;                   // R.Count
    virtual void SetName(const QString& name) = 0;
    virtual void SetPageSetupOrientation(int orientation) = 0; // 1 portrait, 2 landscape
};

class IExcelWorkbook {
public:
    virtual ~IExcelWorkbook() = default;
    virtual IExcelSheet* WorkSheets(int index) = 0; // 1-based
    virtual void SetAuthor(const QString& text) = 0;
    virtual void SetTitle(const QString& text) = 0;
    virtual void SetSubject(const QString& text) = 0;
    virtual void SetComments(const QString& text) = 0;
    virtual void SaveAs(const QString& fileName) = 0;
};

class IExcelApplication {
public:
    virtual ~IExcelApplication() = default;
    virtual void SetDisplayAlerts(bool on) = 0;
    virtual void SetEnableEvents(bool on) = 0; // E.Application.EnableEvents
    virtual IExcelWorkbook* WorkBooksAdd() = 0;
    virtual IExcelWorkbook* WorkBooksOpen(const QString& fileName) = 0;
    virtual void SetVisible(bool on) = 0;
    virtual void Quit() = 0; // E.Application.Quit
};
