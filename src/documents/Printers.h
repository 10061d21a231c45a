#pragma once

// Whether the platform lists at least one installed printer.
bool AnyPrinterInstalled();

// Whether printing can produce anything: an installed printer, or the PDF output
// that Qt's own print dialog always offers.
bool PrintOutputAvailable();
