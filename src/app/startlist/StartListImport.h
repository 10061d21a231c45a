#pragma once
// Start lists as registration systems and spreadsheets export them: the mapping
// dialog between the file and the protocol. Files in the protocol's own layout
// stay with the plain readers as long as these put only times into time columns.
#include "StartList.h"

#include <functional>

class TFormMain;
class TDlgStartList;

namespace StartListImport {

// A text start list: true when it needs the dialog (plainRows: what the plain
// reader makes of it), whether the user then took it or cancelled (the table is
// unchanged then).
bool OfferText(TFormMain& form, const QString& text, const QList<QStringList>& plainRows);
// The same for the first sheet of a workbook: a named header, or any header
// outside row 4.
bool OfferWorkbook(TFormMain& form, const QString& fileName);

// Runs the dialog modally; tests replace it.
extern std::function<int(TDlgStartList*)> ExecDialog;

} // namespace StartListImport
