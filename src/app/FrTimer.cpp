#include "FrTimer.h"

#include "ColorUtil.h"
#include "TickSource.h"

#include <QLineEdit>

TFrameTimer::TFrameTimer(QWidget* parent) : QFrame(parent) {
    setObjectName(QStringLiteral("FrameTimer"));
    resize(443, 165);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::black);
    setPalette(pal);

    const TColor dim = DimColor, lit = LitColor;
    Digit2 = MakeTimeDigit(this, "Digit2", {4, 35, 45, 100}, 5, 1, dim);
    LabHour = MakeSeparator(this, "LabHour", QStringLiteral(":"), {50, 46, 25, 81}, 64, dim);
    Digit3 = MakeTimeDigit(this, "Digit3", {76, 35, 45, 100}, 5, 1, dim);
    Digit4 = MakeTimeDigit(this, "Digit4", {124, 35, 45, 100}, 5, 1, dim);
    LabMin = MakeSeparator(this, "LabMin", QStringLiteral("."), {170, 74, 25, 81}, 64, dim);
    Digit5 = MakeTimeDigit(this, "Digit5", {196, 35, 45, 100}, 5, 1, dim);
    Digit6 = MakeTimeDigit(this, "Digit6", {244, 35, 45, 100}, 5, 1, lit);
    LabSec = MakeSeparator(this, "LabSec", QStringLiteral(","), {290, 74, 25, 81}, 64, lit);
    Digit7 = MakeTimeDigit(this, "Digit7", {316, 35, 45, 100}, 5, 1, lit);
    Digit8 = MakeTimeDigit(this, "Digit8", {364, 35, 45, 100}, 5, 1, lit);
    FDigits = {Digit2, Digit3, Digit4, Digit5, Digit6, Digit7, Digit8, LabHour, LabMin, LabSec};

    Clock = new QTimer(this);
    Clock->setObjectName(QStringLiteral("Clock"));
    Clock->setTimerType(Qt::PreciseTimer);
    Clock->setInterval(10);
    connect(Clock, &QTimer::timeout, this, &TFrameTimer::ClockTimer);

    hcbName = new THistoryComboBox(this);
    hcbName->setObjectName(QStringLiteral("hcbName"));
    hcbName->setGeometry(6, 2, 403, 28);
    hcbName->setMaxVisibleItems(10);
    hcbName->setFrame(false);
    QFont nameFont(QStringLiteral("MS Sans Serif"));
    nameFont.setPixelSize(16);
    nameFont.setBold(true);
    hcbName->setFont(nameFont);
    QPalette namePal = hcbName->palette();
    for (auto role : {QPalette::Base, QPalette::Button, QPalette::Window})
        namePal.setColor(role, ToQColor(clNavy));
    for (auto role : {QPalette::Text, QPalette::ButtonText, QPalette::WindowText})
        namePal.setColor(role, ToQColor(clYellow));
    hcbName->setPalette(namePal);
    hcbName->lineEdit()->setPalette(namePal);
    hcbName->OnKeyPress = [this](QObject* sender, QChar& key) { hcbNameKeyPress(sender, key); };

    LabDnf = new QLabel(QStringLiteral("DNF"), this);
    LabDnf->setObjectName(QStringLiteral("LabDnf"));
    LabDnf->setGeometry(4, 35, 190, 100);
    QFont dnfFont(QStringLiteral("Liberation Sans"));
    dnfFont.setPixelSize(72);
    dnfFont.setBold(true);
    LabDnf->setFont(dnfFont);
    LabDnf->setAlignment(Qt::AlignCenter);
    LabDnf->setAutoFillBackground(true);
    QPalette dnfPal = LabDnf->palette();
    dnfPal.setColor(QPalette::Window, Qt::black);
    dnfPal.setColor(QPalette::WindowText, ToQColor(clRed));
    LabDnf->setPalette(dnfPal);
    LabDnf->hide();

    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setGeometry(0, 152, 418, 17);
}

void TFrameTimer::ShowTime(int32_t ms) {
    FDigits.ShowTime(ms, LitColor, DimColor);
}

void TFrameTimer::StartClock() {
    const uint32_t t = TickSource::EventTick();
    FStartTick = t;
    FLapTick = t;
    FTotalMs = 0;
    Clock->start();
}

void TFrameTimer::StopClock() {
    FStopTick = TickSource::EventTick();
    Clock->stop();
    ShowTime(TickSource::Diff(FStopTick, FStartTick));
}

void TFrameTimer::ResetClock() {
    LabDnf->hide();
    FDigits.ResetColors(LitColor);
    ShowTime(0);
    Tag = 0;
    FStopTick = FStartTick;
}

void TFrameTimer::ShowDropOut(int32_t ms) {
    FDigits.ResetColors(DimColor);
    FDigits.ShowTime(ms, DimColor, DimColor);
    LabDnf->show();
    LabDnf->raise();
}

bool TFrameTimer::DroppedOut() const {
    return !LabDnf->isHidden();
}

void TFrameTimer::ClockTimer() {
    ShowTime(TickSource::Diff(TickSource::Now(), FStartTick));
}

void TFrameTimer::hcbNameKeyPress(QObject*, QChar& key) {
    if (key != QLatin1Char('\r')) return;
    const QString text = hcbName->Text().trimmed();
    hcbName->SetText(text);
    if (!text.isEmpty()) hcbName->AddItem(text);
    hcbName->SelectAll();
}
