#pragma once
// How cell texts become spreadsheet values and back, the German way.
#include <QString>
#include <QVariant>

namespace ExcelValues {

// A text that is a number in the German form ("12", "-3", "55,10"): its value and
// the decimals it shows. Texts with leading zeros ("007"), dots or blanks stay text,
// so start numbers and times keep their form.
bool ParseGermanNumber(const QString& text, double* value, int* decimals);

// A number as Excel hands it back: shortest form, decimal comma, no trailing zeros.
QString NumberText(double value);

// A number shown with a fixed count of decimals (decimal comma).
QString NumberText(double value, int decimals);

// Any cell value as text: empty for an empty cell, "WAHR"/"FALSCH" for booleans.
QString ValueText(const QVariant& value);

} // namespace ExcelValues
