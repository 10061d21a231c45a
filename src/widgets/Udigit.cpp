#include "Udigit.h"

#include "ColorUtil.h"

#include <QPaintEvent>
#include <QPainter>

namespace {
int totalRepaints = 0;
}

const std::array<uint8_t, 10> TDigit::DigitTable = {125, 80, 55, 87, 90, 79, 111, 81, 127, 95};

TDigit::TDigit(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    resize(16, 32);
    SetSeparation(1);
    SetThickness(2);
}

int TDigit::TotalRepaintRequests() {
    return totalRepaints;
}

void TDigit::Changed() {
    ++FRepaintRequests;
    ++totalRepaints;
    update();
}

void TDigit::SetValue(int value) {
    if (value == FValue) return;
    if (value < 0 || value > 9) {
        FValue = 0;
        if (OnOverflow) OnOverflow(this);
    } else {
        FValue = value;
    }
    FValueBinary = DigitTable[FValue];
    Changed();
}

void TDigit::SetValueBinary(uint8_t value) {
    if (value == FValueBinary) return;
    FValueBinary = value;
    Changed();
}

void TDigit::SetColorOn(TColor value) {
    if (value == FColorOn) return;
    FColorOn = value;
    Changed();
}

void TDigit::SetColorOff(TColor value) {
    if (value == FColorOff) return;
    FColorOff = value;
    Changed();
}

void TDigit::SetColor(TColor value) {
    if (value == FColor) return;
    FColor = value;
    Changed();
}

void TDigit::SetBorderStyle(TBorderStyle value) {
    if (value == FBorderStyle) return;
    FBorderStyle = value;
    Changed();
}

void TDigit::SetThickness(int value) {
    if (value > width() / 2 || value > height() / 2) return;
    FThickness = value;
    Changed();
}

void TDigit::SetSeparation(int value) {
    FSeparation = value;
    Changed();
}

QPolygon TDigit::SegmentPolygon(int bit, int width, int height, int T, int S) {
    const int W = width - 1;
    const int H = height - 1;
    const int H2 = H / 2;
    QPolygon p;
    if (bit <= 2) { // top, middle, bottom bars
        const int b = bit == 0 ? 0 : (bit == 1 ? H2 - T : H - 2 * T);
        p << QPoint(S + T, b + T) << QPoint(S + 2 * T, b) << QPoint(W - 2 * T - S, b)
          << QPoint(W - T - S, b + T) << QPoint(W - 2 * T - S, b + 2 * T)
          << QPoint(S + 2 * T, b + 2 * T);
    } else if (bit <= 6) { // upper left, upper right, lower left, lower right
        const int e = (bit == 3 || bit == 5) ? 0 : W - 2 * T;
        const int b = bit <= 4 ? 0 : H2 - T;
        p << QPoint(e, b + 2 * T + S) << QPoint(e + T, b + T + S)
          << QPoint(e + 2 * T, b + 2 * T + S) << QPoint(e + 2 * T, b + H2 - T - S)
          << QPoint(e + T, b + H2 - S) << QPoint(e, b + H2 - T - S);
    } else { // decimal-point corner
        p << QPoint(W, H) << QPoint(W - 2 * T + S, H) << QPoint(W, H - 2 * T + S);
    }
    return p;
}

void TDigit::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    const QColor back = ToQColor(FColor);
    painter.fillRect(event->rect(), back);
    painter.setPen(back);
    const QColor on = ToQColor(FColorOn);
    const QColor off = ToQColor(FColorOff);
    for (int bit = 0; bit < 8; ++bit) {
        painter.setBrush((FValueBinary >> bit) & 1 ? on : off);
        painter.drawPolygon(SegmentPolygon(bit, width(), height(), FThickness, FSeparation));
    }
}
