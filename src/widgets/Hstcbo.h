#pragma once
#include <QComboBox>
#include <functional>

enum TRootKey { hkClassesRoot, hkCurrentConfig, hkCurrentUser, hkDynData, hkLocalMachine, hkUsers };

// Editable combo box for a car's start number and driver name. The list lives
// in memory only; the three stored properties carry no behaviour.
class THistoryComboBox : public QComboBox {
public:
    explicit THistoryComboBox(QWidget* parent = nullptr);

    QString Key() const { return FKey; }
    void SetKey(const QString& value) { FKey = value; }
    int MaxHistoryLength() const { return FMaxHistoryLength; }
    void SetMaxHistoryLength(int value) { FMaxHistoryLength = value; }
    TRootKey RootKey() const { return FRootKey; }
    void SetRootKey(TRootKey value) {
        if (value != FRootKey) FRootKey = value;
    }

    QString Text() const { return currentText(); }
    void SetText(const QString& text) { setEditText(text); }
    QStringList Items() const;
    // Replaces the list; what the operator typed stays as it is.
    void SetItems(const QStringList& items);
    // Appends an entry; the text and the selected entry stay as they are.
    void AddItem(const QString& item);
    // Selected entry, -1 for none. Moving from an entry to none (an index past the
    // end) empties the text with the entry; a box without a selected entry keeps
    // the operator's own text.
    int ItemIndex() const { return currentIndex(); }
    void SetItemIndex(int index);
    void SelectAll();

    // Key presses of the edit field; setting key to 0 swallows it. Enter arrives as '\r'.
    std::function<void(QObject* sender, QChar& key)> OnKeyPress;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    QString FKey;
    int FMaxHistoryLength = 9;
    TRootKey FRootKey = hkCurrentUser;
};
