#pragma once
// The protocol handed to Word and Excel and read back from Excel: the fixed
// series of calls on the document and application interfaces.
#include "ExcelApplication.h"
#include "WordBasic.h"

#include <QDateTime>
#include <QList>
#include <QStringList>
#include <functional>
#include <memory>

// What the exports read from the main window.
struct TProtocolExport {
    QString Title;     // eTitle
    QString RunNumber; // eNR
    QString ListSubtitle;
    QString LongDate;         // the date in the locale's long form
    QString ApplicationTitle; // program file name without extension
    QList<QStringList> Rows;  // row 0 the header; ten cells a row
    QList<int> ColumnWidths;  // per column; negative hides the column
    int Laps = 2;
    QString MakerAddress; // the workbook's comments
};

// What an imported sheet gives the main window.
struct TProtocolImport {
    QString Title;
    bool HasRunNumber = false; // eNR changes only when the sheet has one
    QString RunNumber;
    QString ListSubtitle;
    QList<QStringList> Rows; // data rows, ten cells each; at least one
    QStringList Names;       // names of the rows that have a start number
};

using TWordFactory = std::function<std::unique_ptr<IWordBasic>()>;
using TExcelFactory = std::function<std::unique_ptr<IExcelApplication>()>;

// The text block: title, list line, date, an empty line, then one line of the
// visible columns per table row; lines end with CR LF.
QString WordTextBlock(const TProtocolExport& p);
int VisibleColumnCount(const TProtocolExport& p);

// Mode 0: the document is shown and stays open; 1: saved and closed. Errors are
// swallowed; the result tells whether the document was written.
bool ExportToWord(const TProtocolExport& p, int mode, const QString& fileName,
                  const QString& templatePath, const TWordFactory& createWord);

// Empty fileName: the workbook is shown unsaved; otherwise saved and the engine quits.
// Errors propagate as EOfficeError.
void ExportToExcel(const TProtocolExport& p, const QString& fileName,
                   const TExcelFactory& createExcel);

// Reads a workbook completely; errors propagate as EOfficeError before the caller
// changes anything.
TProtocolImport ImportExcelSheet(const QString& fileName, const TExcelFactory& createExcel);

// The cell texts of a workbook's first sheet, row by row (at most maxColumns
// columns), as a start list with named columns is read. Errors propagate as EOfficeError.
QList<QStringList> ReadSheetTexts(const QString& fileName, const TExcelFactory& createExcel,
                                  int maxColumns = 64);

// Times and numbers get two decimals: "55,1" -> "55,10", "54" -> "54,00"; any other
// text ("DNF", "DNS", "-", " ", a date) stays as it is.
QString CompleteDecimals(const QString& text);

// "yyyy-mm-dd-hh-mm" of the moment, blanks as "0".
QString MakeDateFileName(const QDateTime& now = QDateTime::currentDateTime());

// folder/base.extension, or base-2, base-3 … when that name is taken: a document that
// may still be open is never replaced.
QString FreeFileName(const QString& folder, const QString& base, const QString& extension);

// The built-in engine answers for the automation classes of Word and Excel.
bool IsOleClassRegistered(const QString& progId);
