#include "Spin.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOption>
#include <QTimer>
#include <QWheelEvent>

int TWheelNotches::Take(const QWheelEvent* e) {
    FRest += e->angleDelta().y();
    const int notches = FRest / 120;
    FRest -= notches * 120;
    return notches;
}

TSpinButton::TSpinButton(QWidget* parent) : QWidget(parent), FRepeat(new QTimer(this)) {
    setFixedSize(ButtonWidth, ButtonHeight);
    setCursor(Qt::ArrowCursor);
    setFocusPolicy(Qt::NoFocus);
    connect(FRepeat, &QTimer::timeout, this, [this] {
        FRepeat->setInterval(80);
        Step();
    });
}

void TSpinButton::Step() {
    if (FPressed > 0 && OnUpClick) OnUpClick(this);
    if (FPressed < 0 && OnDownClick) OnDownClick(this);
}

void TSpinButton::mousePressEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton || !isEnabled()) return;
    FPressed = e->position().y() < height() / 2.0 ? 1 : -1;
    update();
    Step();
    FRepeat->start(400);
}

void TSpinButton::mouseReleaseEvent(QMouseEvent*) {
    FPressed = 0;
    FRepeat->stop();
    update();
}

void TSpinButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const int h = height() / 2;
    const QRect halves[] = {QRect(0, 0, width(), h), QRect(0, h, width(), height() - h)};
    for (int i = 0; i < 2; ++i) {
        QStyleOptionButton o;
        o.initFrom(this);
        o.rect = halves[i];
        o.state |= (FPressed == (i == 0 ? 1 : -1)) ? QStyle::State_Sunken : QStyle::State_Raised;
        style()->drawPrimitive(QStyle::PE_PanelButtonBevel, &o, &p, this);
        QStyleOption a;
        a.initFrom(this);
        a.rect = halves[i].adjusted(3, 1, -3, -1);
        style()->drawPrimitive(i == 0 ? QStyle::PE_IndicatorArrowUp : QStyle::PE_IndicatorArrowDown,
                               &a, &p, this);
    }
}

// ---------------------------------------------------------------- TSpinEdit

TSpinEdit::TSpinEdit(QWidget* parent) : QLineEdit(parent), Button(new TSpinButton(this)) {
    setText(QStringLiteral("0"));
    setTextMargins(0, 0, TSpinButton::ButtonWidth, 0);
    Button->OnUpClick = [this](QObject*) { Step(Increment); };
    Button->OnDownClick = [this](QObject*) { Step(-Increment); };
    connect(this, &QLineEdit::textChanged, this, [this] {
        if (OnChange) OnChange(this);
    });
}

void TSpinButton::wheelEvent(QWheelEvent* e) {
    // Also when the event was sent, not spontaneous: Qt passes only those on by itself.
    if (parentWidget()) QCoreApplication::sendEvent(parentWidget(), e);
}

int TSpinEdit::Limited(int value) const {
    return qBound(FMinValue, value, qMax(FMinValue, FMaxValue));
}

int TSpinEdit::Value() const {
    bool ok = false;
    const int v = text().trimmed().toInt(&ok);
    return ok ? v : FMinValue;
}

void TSpinEdit::SetValue(int value) {
    const QString t = QString::number(Limited(value));
    if (t != text()) setText(t);
}

void TSpinEdit::SetMinValue(int value) {
    FMinValue = value;
    SetValue(Value());
}

void TSpinEdit::SetMaxValue(int value) {
    FMaxValue = value;
    SetValue(Value());
}

void TSpinEdit::Step(int delta) {
    if (isReadOnly() || !isEnabled()) {
        QApplication::beep();
        return;
    }
    SetValue(Value() + delta);
    selectAll();
}

void TSpinEdit::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Up) {
        Step(Increment);
        return;
    }
    if (e->key() == Qt::Key_Down) {
        Step(-Increment);
        return;
    }
    QLineEdit::keyPressEvent(e);
}

void TSpinEdit::wheelEvent(QWheelEvent* e) {
    if (isReadOnly()) {
        e->ignore(); // the window around it may scroll
        return;
    }
    const int notches = FWheel.Take(e);
    if (notches != 0) Step(notches * Increment);
    e->accept();
}

void TSpinEdit::focusOutEvent(QFocusEvent* e) {
    SetValue(Value());
    QLineEdit::focusOutEvent(e);
}

void TSpinEdit::resizeEvent(QResizeEvent* e) {
    QLineEdit::resizeEvent(e);
    Button->move(width() - TSpinButton::ButtonWidth - 1,
                 (height() - TSpinButton::ButtonHeight) / 2);
}

void TSpinEdit::changeEvent(QEvent* e) {
    QLineEdit::changeEvent(e);
    if (e->type() == QEvent::EnabledChange) Button->setEnabled(isEnabled());
}
