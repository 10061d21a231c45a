#pragma once
#include "Colors.h"
#include "Dmn_led.h"
#include "TimeDigits.h"

#include <QFrame>

// One lap time of one car.
class TFrameLapTimer : public QFrame {
public:
    static constexpr TColor DimColor = clDarkGray;
    static constexpr TColor LitColor = clYellow;

    explicit TFrameLapTimer(QWidget* parent = nullptr);

    QFrame* PanelTimer;
    TDigit *Digit2, *Digit3, *Digit4, *Digit5, *Digit6, *Digit7, *Digit8;
    QLabel *LabHour, *LabMin, *LabSec;
    QLabel* LabelLap;
    TLed* Led1;

    int32_t Tag = 0; // lap time last set, milliseconds

    void ShowTime(int32_t ms);
    void SetLapTime(int32_t ms);

private:
    TTimeDigits FDigits;
};
