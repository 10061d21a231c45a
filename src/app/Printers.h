#pragma once

// Whether the platform lists at least one installed printer.
bool AnyPrinterInstalled();
