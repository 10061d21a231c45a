#include "FlEdit.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLocale>
#include <QMessageBox>
#include <QTimer>
#include <QWheelEvent>
#include <cmath>

std::function<void(const QString&)> TSpinFloatEdit::ShowMessage = [](const QString& text) {
    QMessageBox::warning(QApplication::activeWindow(), QApplication::applicationName(), text);
};

TSpinFloatEdit::TSpinFloatEdit(QWidget* parent)
    : QLineEdit(parent), Button(new TSpinButton(this)), FSeparator(QLocale().decimalPoint().at(0)) {
    setTextMargins(0, 0, TSpinButton::ButtonWidth, 0);
    Button->OnUpClick = [this](QObject*) { Step(true); };
    Button->OnDownClick = [this](QObject*) { Step(false); };
    SetValue(0.0);
}

QString TSpinFloatEdit::FormatValue(double value) const {
    // Fixed point with the locale's separator as it is now; at most 18 significant digits.
    QString t = QString::number(value, 'f', FDigits);
    const qsizetype point = t.indexOf(QLatin1Char('.'));
    const qsizetype intDigits = (point < 0 ? t.size() : point) - (value < 0 ? 1 : 0);
    if (intDigits + FDigits > MaxDigits)
        t = QString::number(value, 'f', int(qMax<qsizetype>(0, MaxDigits - intDigits)));
    return t.replace(QLatin1Char('.'), QLocale().decimalPoint());
}

bool TSpinFloatEdit::Parse(const QString& text, double& value) const {
    QString t = text.trimmed();
    if (t.isEmpty() || (t.contains(QLatin1Char('.')) && FSeparator != QLatin1Char('.')))
        return false;
    t.replace(FSeparator, QLatin1Char('.'));
    bool ok = false;
    value = QLocale::c().toDouble(t, &ok);
    return ok && std::isfinite(value);
}

double TSpinFloatEdit::Value() const {
    const QString t = text().trimmed();
    if (t.isEmpty() || t == QLatin1String("-") || t == QString(FSeparator) ||
        t == QLatin1String("E"))
        return qBound(FMin, 0.0, FMax);
    double v = 0.0;
    if (!Parse(t, v)) v = FMin;
    return qBound(FMin, v, FMax);
}

void TSpinFloatEdit::SetValue(double value) {
    double v = value;
    if (v > FMax) v = FMax;
    if (v < FMin) v = FMin;
    if (v != value && !ErrorMessage.isEmpty()) ShowMessage(ErrorMessage);
    setText(FormatValue(v));
}

void TSpinFloatEdit::SetMin(double value) {
    if (value > FMax)
        throw EFloatEditError(
            QStringLiteral("Minimum value must not be greater than maximum value !"));
    FMin = value;
    SetValue(Value());
}

void TSpinFloatEdit::SetMax(double value) {
    if (value < FMin)
        throw EFloatEditError(
            QStringLiteral("Maximum value must not be less than minimum value !"));
    FMax = value;
    SetValue(Value());
}

void TSpinFloatEdit::SetDigits(int value) {
    FDigits = qBound(0, value, MaxDigits);
    SetValue(Value());
}

void TSpinFloatEdit::Step(bool up) {
    if (isReadOnly() || !isEnabled()) {
        QApplication::beep();
        return;
    }
    double v = Value() + (up ? Increment : -Increment);
    if (OnComputedIncrement) {
        v = Value();
        OnComputedIncrement(this, up, v);
    }
    SetValue(v);
}

void TSpinFloatEdit::wheelEvent(QWheelEvent* e) {
    if (isReadOnly()) {
        e->ignore(); // the window around it may scroll
        return;
    }
    const int notches = FWheel.Take(e);
    for (int i = 0; i < qAbs(notches); ++i)
        Step(notches > 0);
    e->accept();
}

bool TSpinFloatEdit::KeyAccepted(QChar key) {
    const bool allowed = (key.isDigit() && key.unicode() < 128) || key == QLatin1Char('-') ||
                         key == QLatin1Char('e') || key == FSeparator;
    if (!allowed) return false;
    const QString t = text();
    const int start = hasSelectedText() ? selectionStart() : cursorPosition();
    const int length = hasSelectedText() ? int(selectedText().size()) : 0;
    const QString candidate = t.left(start) + key + t.mid(start + length);
    if (candidate == QLatin1String("-")) {
        setText(QStringLiteral("-0"));
        setSelection(1, 1);
        return false;
    }
    if (candidate == QString(FSeparator)) {
        setText(QStringLiteral("0") + FSeparator + QLatin1Char('0'));
        setSelection(2, 1);
        return false;
    }
    if (key == FSeparator && FDigits == 0) return false;
    double v = 0.0;
    if (!Parse(candidate, v) || v < FMin || v > FMax) return false;
    if (!candidate.contains(QLatin1Char('e'), Qt::CaseInsensitive)) {
        const qsizetype point = candidate.indexOf(FSeparator);
        if (point >= 0 && candidate.size() - point - 1 > FDigits) return false;
    }
    return true;
}

void TSpinFloatEdit::keyPressEvent(QKeyEvent* e) {
    switch (e->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter: {
        QChar key(QLatin1Char('\r'));
        if (OnEnterPress) OnEnterPress(this, key);
        e->ignore(); // never typed; the dialog's default button still sees it
        return;
    }
    case Qt::Key_Escape: {
        const bool changed = text() != FormatValue(FEntryValue);
        SetValue(FEntryValue);
        selectAll();
        // A second Escape, with nothing left to undo, goes on to the dialog.
        if (changed)
            e->accept();
        else
            e->ignore();
        return;
    }
    case Qt::Key_Up:
        Step(true);
        return;
    case Qt::Key_Down:
        Step(false);
        return;
    default:
        break;
    }
    const QString typed = e->text();
    if (typed.size() == 1 && typed.at(0).isPrint() && !(e->modifiers() & Qt::ControlModifier)) {
        if (isReadOnly()) return;
        if (KeyAccepted(typed.at(0))) QLineEdit::keyPressEvent(e);
        return;
    }
    QLineEdit::keyPressEvent(e); // control keys (backspace, arrows, shortcuts) pass
}

void TSpinFloatEdit::focusInEvent(QFocusEvent* e) {
    FEntryValue = Value();
    QLineEdit::focusInEvent(e);
}

void TSpinFloatEdit::focusOutEvent(QFocusEvent* e) {
    QLineEdit::focusOutEvent(e);
    if (text().trimmed().isEmpty()) setText(FormatValue(FMin));
    double v = 0.0;
    if (!Parse(text(), v) || v < FMin || v > FMax) {
        if (!ErrorMessage.isEmpty()) ShowMessage(ErrorMessage);
        SetValue(FEntryValue);
        selectAll();
        // Back into the field once the focus change is over.
        QTimer::singleShot(0, this, [this] { setFocus(); });
        return;
    }
    setText(FormatValue(v));
}

void TSpinFloatEdit::resizeEvent(QResizeEvent* e) {
    QLineEdit::resizeEvent(e);
    Button->move(width() - TSpinButton::ButtonWidth - 1,
                 (height() - TSpinButton::ButtonHeight) / 2);
}

void TSpinFloatEdit::changeEvent(QEvent* e) {
    QLineEdit::changeEvent(e);
    if (e->type() == QEvent::EnabledChange) Button->setEnabled(isEnabled());
}
