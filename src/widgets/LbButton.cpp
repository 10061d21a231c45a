#include "LbButton.h"

#include "ColorUtil.h"

#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>

TLbButton::TLbButton(QWidget* parent) : QWidget(parent) {
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_Hover);
    FHotTrackFont = font();
}

void TLbButton::SetCaption(const QString& value) {
    if (value == FCaption) return;
    FCaption = value;
    update();
}

void TLbButton::SetColor(TColor value) {
    if (value == FColor) return;
    FColor = value;
    update();
}

void TLbButton::SetHotTrackColor(TColor value) {
    if (value == FHotTrackColor) return;
    FHotTrackColor = value;
    update();
}

void TLbButton::SetLightColor(TColor value) {
    if (value == FLightColor) return;
    FLightColor = value;
    update();
}

void TLbButton::SetFontColor(TColor value) {
    if (value == FFontColor) return;
    FFontColor = value;
    update();
}

void TLbButton::SetHotTrackFont(const QFont& value) {
    FHotTrackFont = value;
    update();
}

void TLbButton::SetHotTrackFontColor(TColor value) {
    FHotTrackFontColor = value;
    update();
}

void TLbButton::SetTransparent(bool value) {
    FTransparent = value;
    update();
}

void TLbButton::SetPicture(const QIcon& value) {
    FPicture = value;
    update();
}

void TLbButton::Click() {
    if (isEnabled() && OnClick) OnClick(this);
}

void TLbButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const bool hot = FHot && isEnabled();
    const QRect r = rect();
    const bool transparent = FTransparent && !hot && !FPressed;
    if (!transparent) {
        const QColor base = ToQColor(hot && FTransparent ? FHotTrackColor : FColor);
        const QColor light = ToQColor(FLightColor);
        QLinearGradient g(r.topLeft(), r.bottomLeft());
        if (base == Qt::black) {
            // A disabled big button is plain black: nothing may suggest it can be pressed.
            p.fillRect(r, base);
        } else {
            g.setColorAt(0.0, FPressed ? light : base.lighter(135));
            g.setColorAt(0.5, base);
            g.setColorAt(1.0, FPressed ? base : light);
            p.fillRect(r, g);
            p.setPen(light.darker(130));
            p.drawRect(r.adjusted(0, 0, -1, -1));
        }
    }
    if (!FPicture.isNull()) {
        const int side = qMin(r.width(), r.height()) - 6;
        const QRect ir(r.center().x() - side / 2 + 1, r.center().y() - side / 2 + 1, side, side);
        FPicture.paint(&p, ir, Qt::AlignCenter, isEnabled() ? QIcon::Normal : QIcon::Disabled);
    }
    if (!FCaption.isEmpty()) {
        p.setFont(hot ? FHotTrackFont : font());
        p.setPen(ToQColor(hot ? FHotTrackFontColor : FFontColor));
        p.drawText(r.adjusted(2, 2, -2, -2), Qt::AlignCenter | Qt::TextWordWrap, FCaption);
    }
}

void TLbButton::mousePressEvent(QMouseEvent* event) {
    if (!isEnabled()) return;
    FPressed = true;
    update();
    if (OnMouseDown) {
        const QPoint pos = event->position().toPoint();
        OnMouseDown(this, event->button(), event->modifiers(), pos.x(), pos.y());
    }
}

void TLbButton::mouseReleaseEvent(QMouseEvent* event) {
    const bool wasPressed = FPressed;
    FPressed = false;
    update();
    if (wasPressed && event->button() == Qt::LeftButton &&
        rect().contains(event->position().toPoint()))
        Click();
}

void TLbButton::enterEvent(QEnterEvent*) {
    FHot = true;
    update();
}

void TLbButton::leaveEvent(QEvent*) {
    FHot = false;
    update();
}

void TLbButton::changeEvent(QEvent* event) {
    if (event->type() == QEvent::EnabledChange) update();
    QWidget::changeEvent(event);
}

TLbSpeedButton::TLbSpeedButton(QWidget* parent) : TLbButton(parent) {
    SetTransparent(true);
}
