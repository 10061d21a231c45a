#pragma once
// Start lists with named columns, as registration systems export them: the
// mapping dialog between the file and the protocol. Files in the protocol's own
// layout, or without a recognisable header, stay with the plain readers.
#include "StartList.h"

#include <functional>

class TFormMain;
class TDlgStartList;

namespace StartListImport {

// A text start list: true when its header names columns, whether the user then
// took it or cancelled (the table is unchanged then).
bool OfferText(TFormMain& form, const QString& text);
// The same for the first sheet of a workbook.
bool OfferWorkbook(TFormMain& form, const QString& fileName);

// Runs the dialog modally; tests replace it.
extern std::function<int(TDlgStartList*)> ExecDialog;

} // namespace StartListImport
