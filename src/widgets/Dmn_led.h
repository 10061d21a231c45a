#pragma once
#include "Colors.h"

#include <QWidget>
#include <array>
#include <functional>

class QLabel;

enum TLedKind { lkRed, lkGreen, lkYellow, lkCyan, lkMagenta, lkBlue, lkWhite };
enum TLedShape { lsCircle, lsRectangle };

// A 16 x 16 pixel LED drawn from palette index maps.
class TLed : public QWidget {
public:
    using Image = std::array<std::array<uint8_t, 16>, 16>;
    // Palette per kind, indexes 1..6 (index 0 unused: leaves the pixel as it is).
    static const std::array<std::array<TColor, 7>, 7> Palette;
    static const Image& ImageFor(TLedShape shape, bool value);

    explicit TLed(QWidget* parent = nullptr);

    TLedKind Kind() const { return FKind; }
    void SetKind(TLedKind value);
    TLedShape Shape() const { return FShape; }
    void SetShape(TLedShape value);
    bool Value() const { return FValue; }
    void SetValue(bool value);
    QLabel* LabelLinked() const { return FLabelLinked; }
    void SetLabelLinked(QLabel* value);
    QString LabelOnText() const { return FLabelOnText; }
    void SetLabelOnText(const QString& value);
    QString LabelOffText() const { return FLabelOffText; }
    void SetLabelOffText(const QString& value);

    std::function<void(QObject* sender)> OnChange;
    std::function<void(QObject* sender)> OnClick;

    int RepaintRequests() const { return FRepaintRequests; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void Changed();
    void UpdateLabel();

    TLedKind FKind = lkRed;
    TLedShape FShape = lsCircle;
    bool FValue = false;
    QLabel* FLabelLinked = nullptr;
    QString FLabelOnText;
    QString FLabelOffText;
    int FRepaintRequests = 0;
};
