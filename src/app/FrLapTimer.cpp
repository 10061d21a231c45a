#include "FrLapTimer.h"

#include "ColorUtil.h"

TFrameLapTimer::TFrameLapTimer(QWidget* parent) : QFrame(parent) {
    setObjectName(QStringLiteral("FrameLapTimer"));
    resize(203, 30);

    PanelTimer = new QFrame(this);
    PanelTimer->setObjectName(QStringLiteral("PanelTimer"));
    PanelTimer->setGeometry(0, 0, 203, 30);
    PanelTimer->setAutoFillBackground(true);
    QPalette pal = PanelTimer->palette();
    pal.setColor(QPalette::Window, Qt::black);
    PanelTimer->setPalette(pal);

    QWidget* p = PanelTimer;
    const TColor dim = DimColor, lit = LitColor;
    Digit2 = MakeTimeDigit(p, "Digit2", {64, 3, 15, 24}, 2, 0, dim);
    LabHour = MakeSeparator(p, "LabHour", QStringLiteral(":"), {80, 3, 7, 24}, 21, dim);
    Digit3 = MakeTimeDigit(p, "Digit3", {88, 3, 15, 24}, 2, 0, dim);
    Digit4 = MakeTimeDigit(p, "Digit4", {104, 3, 15, 24}, 2, 0, dim);
    LabMin = MakeSeparator(p, "LabMin", QStringLiteral("."), {120, 7, 5, 24}, 21, dim);
    Digit5 = MakeTimeDigit(p, "Digit5", {128, 3, 15, 24}, 2, 0, dim);
    Digit6 = MakeTimeDigit(p, "Digit6", {144, 3, 15, 24}, 2, 0, lit);
    LabSec = MakeSeparator(p, "LabSec", QStringLiteral(","), {160, 7, 5, 24}, 21, lit);
    Digit7 = MakeTimeDigit(p, "Digit7", {168, 3, 15, 24}, 2, 0, lit);
    Digit8 = MakeTimeDigit(p, "Digit8", {184, 3, 15, 24}, 2, 0, lit);
    FDigits = {Digit2, Digit3, Digit4, Digit5, Digit6, Digit7, Digit8, LabHour, LabMin, LabSec};

    LabelLap = new QLabel(QStringLiteral("LAP 1"), p);
    LabelLap->setObjectName(QStringLiteral("LabelLap"));
    LabelLap->setGeometry(6, 3, 50, 24);
    QFont f(QStringLiteral("MS Sans Serif"));
    f.setPixelSize(19);
    LabelLap->setFont(f);
    SetLabelColor(LabelLap, clGreen);

    // Present on every lap frame but never used.
    Led1 = new TLed(p);
    Led1->setObjectName(QStringLiteral("Led1"));
    Led1->move(205, 7);
    Led1->SetKind(lkGreen);
    Led1->setVisible(false);
}

void TFrameLapTimer::ShowTime(int32_t ms) {
    FDigits.ShowTime(ms, LitColor, DimColor);
}

void TFrameLapTimer::SetLapTime(int32_t ms) {
    Tag = ms;
    ShowTime(ms);
    SetLabelColor(LabelLap, ms / 10 != 0 ? clLime : clGreen);
}
