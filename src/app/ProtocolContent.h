#pragma once
// What the protocol's page, printout and Word/Excel documents are made from: the
// table and the texts of the window.
#include "HtmlReport.h"
#include "OfficeExport.h"

class TFormMain;

namespace ProtocolDocuments {

THtmlReport ReportContent(const TFormMain& w);
TProtocolExport OfficeContent(const TFormMain& w);
bool PrintProtocol(const TFormMain& w); // false: not printed (cancelled or failed, told)

} // namespace ProtocolDocuments
