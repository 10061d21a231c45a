#pragma once
// How cell texts become spreadsheet values and back, the German way.
#include <QString>
#include <QVariant>

namespace ExcelValues {

// A text that is a number in the German form ("12", "-3", "55,10"): its value and
// the decimals it shows. Texts with leading zeros ("007"), dots or blanks stay text,
// so start numbers and times keep their form.
bool ParseGermanNumber(const QString& text, double* value, int* decimals);

// Digits with at most one decimal point ("55.1" with point '.', "-3"): the correctly
// rounded value without a locale's help, when all digits fit a double's mantissa exactly;
// false for anything else (callers fall back to a full conversion).
bool ExactDecimal(QStringView text, QChar point, double* value, int* decimals = nullptr);

// A number as Excel hands it back: shortest form, decimal comma, no trailing zeros.
QString NumberText(double value);

// A number shown with a fixed count of decimals (decimal comma).
QString NumberText(double value, int decimals);

// Any cell value as text: empty for an empty cell, "WAHR"/"FALSCH" for booleans.
QString ValueText(const QVariant& value);

// What a cell's number format shows: a plain number, a date, a time of day or both.
enum TDateKind { dkNone, dkDate, dkTime, dkDateTime };

// The kind of a number format: Excel's built-in id, or the format code of a custom one.
TDateKind FormatKind(int numFmtId, const QString& formatCode);

// The code Excel shows a built-in date or time format with in Germany ("TT.MM.JJJJ" is
// "dd.mm.yyyy"); empty for the other built-in formats.
QString BuiltinDateCode(int numFmtId);

// A serial date or time as Excel shows it in Germany under the format code: "06.12.2026",
// "00:55,12", "[h]:mm:ss" as elapsed hours; seconds are rounded to the shown decimals.
QString SerialDateText(double serial, const QString& formatCode, bool date1904 = false);

// "2026-12-06" (and "2026-12-06 10:15:00") in the German form "06.12.2026 10:15:00";
// any other text stays as it is.
QString IsoDateText(const QString& text);

} // namespace ExcelValues
