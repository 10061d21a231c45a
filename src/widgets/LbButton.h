#pragma once
#include "Colors.h"

#include <QIcon>
#include <QWidget>
#include <functional>

enum TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient };

// Gradient push button: a caption on a vertical gradient of its colour, lit in its
// hot-track colour and font while the pointer is over it. Reacts on press (any
// button) through OnMouseDown and on a completed left click through OnClick.
class TLbButton : public QWidget {
    Q_OBJECT
public:
    explicit TLbButton(QWidget* parent = nullptr);

    QString Caption() const { return FCaption; }
    void SetCaption(const QString& value);
    TColor Color() const { return FColor; }
    void SetColor(TColor value);
    TColor HotTrackColor() const { return FHotTrackColor; }
    void SetHotTrackColor(TColor value);
    TColor LightColor() const { return FLightColor; }
    void SetLightColor(TColor value);
    TColor FontColor() const { return FFontColor; }
    void SetFontColor(TColor value);
    QFont HotTrackFont() const { return FHotTrackFont; }
    void SetHotTrackFont(const QFont& value);
    TColor HotTrackFontColor() const { return FHotTrackFontColor; }
    void SetHotTrackFontColor(TColor value);
    QString Hint() const { return toolTip(); }
    void SetHint(const QString& value) { setToolTip(value); }
    TAlign Align() const { return FAlign; }
    void SetAlign(TAlign value) { FAlign = value; }
    bool Transparent() const { return FTransparent; }
    void SetTransparent(bool value);
    QIcon Picture() const { return FPicture; }
    void SetPicture(const QIcon& value);
    bool HotTracking() const { return FHot; }

    std::function<void(QObject* sender, Qt::MouseButton button, Qt::KeyboardModifiers shift, int x,
                       int y)>
        OnMouseDown;
    std::function<void(QObject* sender)> OnClick;

    // Presses the button from code: a click when it is enabled.
    void Click();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void changeEvent(QEvent* event) override;

    QString FCaption;
    TColor FColor = clSilver;
    TColor FHotTrackColor = clSilver;
    TColor FLightColor = clGray;
    TColor FFontColor = clBlack;
    TColor FHotTrackFontColor = clWhite;
    QFont FHotTrackFont;
    QIcon FPicture;
    TAlign FAlign = alNone;
    bool FTransparent = false;
    bool FHot = false;
    bool FPressed = false;
};

// Flat gradient speed button with a picture; transparent until the pointer is over it.
class TLbSpeedButton : public TLbButton {
    Q_OBJECT
public:
    explicit TLbSpeedButton(QWidget* parent = nullptr);
    int Tag = 0;
};
