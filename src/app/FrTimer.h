#pragma once
#include "Colors.h"
#include "Hstcbo.h"
#include "TimeDigits.h"

#include <QFrame>
#include <QTimer>

// A car's clock: name box and a seven-segment clock that runs from START and
// shows the car's total after FINISH.
class TFrameTimer : public QFrame {
public:
    static constexpr TColor DimColor = clDarkGray;
    static constexpr TColor LitColor = clYellow;

    explicit TFrameTimer(QWidget* parent = nullptr);

    TDigit *Digit2, *Digit3, *Digit4, *Digit5, *Digit6, *Digit7, *Digit8;
    QLabel *LabHour, *LabMin, *LabSec;
    QTimer* Clock;
    THistoryComboBox* hcbName;
    QFrame* Panel1;
    QLabel* LabDnf; // shown over the dimmed clock while the car is out

    int32_t FTotalMs = 0;
    uint32_t FStopTick = 0;
    uint32_t FLapTick = 0;
    uint32_t FStartTick = 0;
    int Tag = 0; // laps completed in the current run

    void ShowTime(int32_t ms);
    void StartClock();
    void StopClock();
    void ResetClock();
    // The car dropped out: its time stays, dimmed, marked "DNF" until RESET.
    void ShowDropOut(int32_t ms);
    bool DroppedOut() const;
    void ClockTimer();
    void hcbNameKeyPress(QObject* sender, QChar& key);

private:
    TTimeDigits FDigits;
};
