#include "Printers.h"

#include <QPrinterInfo>

bool AnyPrinterInstalled() {
    return !QPrinterInfo::availablePrinterNames().isEmpty();
}

bool PrintOutputAvailable() {
#if defined(Q_OS_WIN)
    // The native dialog lists printers only ("Microsoft Print to PDF" is one of them).
    return AnyPrinterInstalled();
#else
    return true; // Qt's dialog (and macOS's) writes PDF without any printer
#endif
}
