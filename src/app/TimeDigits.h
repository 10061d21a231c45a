#pragma once
#include "Colors.h"
#include "Udigit.h"

#include <QLabel>

// The seven digits and three separators that show a time on a clock or lap frame.
struct TTimeDigits {
    TDigit* Digit2 = nullptr; // hours (units)
    TDigit* Digit3 = nullptr; // minutes tens
    TDigit* Digit4 = nullptr;
    TDigit* Digit5 = nullptr; // seconds tens
    TDigit* Digit6 = nullptr;
    TDigit* Digit7 = nullptr; // hundredths tens
    TDigit* Digit8 = nullptr;
    QLabel* LabHour = nullptr;
    QLabel* LabMin = nullptr;
    QLabel* LabSec = nullptr;

    // Shows t milliseconds; leading insignificant positions are drawn in dim.
    void ShowTime(int32_t t, TColor lit, TColor dim);
    // All digits and the "," back to the lit colour.
    void ResetColors(TColor lit);
};

// Font colour of a label; a label repaints only when the colour really changes.
void SetLabelColor(QLabel* label, TColor color);
TColor LabelColor(const QLabel* label);

// A digit of a clock or lap frame: black background and unlit segments.
TDigit* MakeTimeDigit(QWidget* parent, const char* name, QRect geometry, int thickness,
                      int separation, TColor colorOn);
// A separator label (":", ".", ","): bold Times New Roman, centred, transparent.
QLabel* MakeSeparator(QWidget* parent, const char* name, const QString& text, QRect geometry,
                      int pixelSize, TColor color);
