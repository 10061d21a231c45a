#include "Printers.h"

#include <QPrinterInfo>

bool AnyPrinterInstalled() {
    return !QPrinterInfo::availablePrinterNames().isEmpty();
}
