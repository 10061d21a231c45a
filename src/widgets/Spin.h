#pragma once
// Spin fields: the up/down button pair and the integer spin field.
#include <QLineEdit>
#include <QWidget>
#include <functional>

class QWheelEvent;

// Two arrow halves on top of each other; a press on the upper half steps up, on the
// lower half down, and held down it repeats.
class TSpinButton : public QWidget {
public:
    static constexpr int ButtonWidth = 15;
    static constexpr int ButtonHeight = 17;

    explicit TSpinButton(QWidget* parent = nullptr);
    std::function<void(QObject*sender)> OnUpClick, OnDownClick;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override; // to the field

private:
    void Step();
    QTimer* FRepeat;
    int FPressed = 0; // 1 upper, -1 lower, 0 none
};

// Whole wheel notches (120 eighths of a degree each) of a wheel event; fine-grained
// touchpad deltas are summed up until they make one.
class TWheelNotches {
public:
    int Take(const QWheelEvent* event);

private:
    int FRest = 0;
};

// An integer field with arrows. The value is the text read as an integer; a text
// that is not a number reads as the lower bound. Setting a value and leaving the
// field limit it to MinValue..MaxValue; arrows and Up/Down step by Increment.
class TSpinEdit : public QLineEdit {
public:
    explicit TSpinEdit(QWidget* parent = nullptr);

    int Value() const;
    void SetValue(int value);
    int MinValue() const { return FMinValue; }
    void SetMinValue(int value);
    int MaxValue() const { return FMaxValue; }
    void SetMaxValue(int value);
    int Increment = 1;

    // Fires whenever the text changes, from typing or from code.
    std::function<void(QObject* sender)> OnChange;

    TSpinButton* Button;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override; // a notch steps like the arrow keys
    void focusOutEvent(QFocusEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void Step(int delta);
    int Limited(int value) const;
    TWheelNotches FWheel;
    int FMinValue = 0;
    int FMaxValue = 100;
};
