#pragma once
#include "Colors.h"

#include <QPolygon>
#include <QWidget>
#include <array>
#include <functional>

enum TBorderStyle { bsNone, bsSingle };

// One seven-segment digit with a decimal-point corner, drawn as filled polygons.
class TDigit : public QWidget {
public:
    // Segment masks of the digits 0..9 (bit 0 top bar .. bit 6 lower right).
    static const std::array<uint8_t, 10> DigitTable;

    explicit TDigit(QWidget* parent = nullptr);

    int Value() const { return FValue; }
    void SetValue(int value);
    uint8_t ValueBinary() const { return FValueBinary; }
    void SetValueBinary(uint8_t value);
    TColor ColorOn() const { return FColorOn; }
    void SetColorOn(TColor value);
    TColor ColorOff() const { return FColorOff; }
    void SetColorOff(TColor value);
    TColor Color() const { return FColor; }
    void SetColor(TColor value);
    int Thickness() const { return FThickness; }
    void SetThickness(int value);
    int Separation() const { return FSeparation; }
    void SetSeparation(int value);
    TBorderStyle BorderStyle() const { return FBorderStyle; }
    void SetBorderStyle(TBorderStyle value);

    std::function<void(QObject* sender)> OnOverflow;

    // Polygon of segment `bit` (0..7) for a control of width x height.
    static QPolygon SegmentPolygon(int bit, int width, int height, int thickness, int separation);

    // How often a repaint was asked for: only real changes ask.
    int RepaintRequests() const { return FRepaintRequests; }
    static int TotalRepaintRequests();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void Changed();

    int FValue = 0;
    uint8_t FValueBinary = 125;
    TColor FColorOn = clYellow;
    TColor FColorOff = clBlack;
    TColor FColor = clBlack;
    int FThickness = 2;
    int FSeparation = 1;
    TBorderStyle FBorderStyle = bsSingle;
    int FRepaintRequests = 0;
};
