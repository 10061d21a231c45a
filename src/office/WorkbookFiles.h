#pragma once
// Workbook files: .xlsx written with libxlsxwriter, .xlsx read from its zip
// package, legacy .xls read with freexl. Errors are thrown as EOfficeError.
#include "SheetModel.h"

namespace WorkbookFiles {

// Writes every sheet of the workbook; the target is replaced only when complete.
void WriteXlsx(const TWorkbookModel& workbook, const QString& fileName);

// Reads the first sheet's values (.xlsx or .xls, told apart by content).
TWorkbookModel Read(const QString& fileName);

} // namespace WorkbookFiles
