#pragma once
// A floating-point field with spin arrows: typing is checked key by key against the
// bounds and the number of decimals, leaving the field checks the whole text.
#include "Spin.h"

#include <QLineEdit>
#include <functional>
#include <stdexcept>

class EFloatEditError : public std::runtime_error {
public:
    explicit EFloatEditError(const QString& message)
        : std::runtime_error(message.toStdString()), FMessage(message) {}
    QString Message() const { return FMessage; }

private:
    QString FMessage;
};

class TSpinFloatEdit : public QLineEdit {
public:
    static constexpr int MaxDigits = 18;

    explicit TSpinFloatEdit(QWidget* parent = nullptr);

    // The text read as a number: "-", the separator alone, "E" and an empty text are
    // 0, another text that is not a number is Min; limited to Min..Max.
    double Value() const;
    // Limited to Min..Max (with ErrorMessage shown when it had to be and is set), then
    // written with Digits decimals.
    void SetValue(double value);
    double Min() const { return FMin; }
    void SetMin(double value); // above Max: EFloatEditError
    double Max() const { return FMax; }
    void SetMax(double value); // below Min: EFloatEditError
    int Digits() const { return FDigits; }
    void SetDigits(int value); // 0..18
    double Increment = 1.0;
    QString ErrorMessage;
    bool EditorEnabled() const { return !isReadOnly(); }
    void SetEditorEnabled(bool value) { setReadOnly(!value); }
    // The decimal separator the key checks use: the locale's when the field was made.
    QChar DecimalSeparator() const { return FSeparator; }
    // The value the field had when it last received the focus.
    double EntryValue() const { return FEntryValue; }

    std::function<void(QObject* sender, QChar& key)> OnEnterPress;
    // Replaces the plain step: up tells the direction, value holds the stepped value.
    std::function<void(QObject* sender, bool up, double& value)> OnComputedIncrement;

    // Message boxes of the field; tests replace it.
    static std::function<void(const QString&)> ShowMessage;

    TSpinButton* Button;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override; // a notch steps like Up and Down
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    QString FormatValue(double value) const;
    // The text as a number with the stored separator; false when it is none.
    bool Parse(const QString& text, double& value) const;
    bool KeyAccepted(QChar key);
    void Step(bool up);

    double FMin = 0.0;
    double FMax = 100.0;
    int FDigits = 1;
    double FEntryValue = 0.0;
    QChar FSeparator;
    TWheelNotches FWheel;
};
