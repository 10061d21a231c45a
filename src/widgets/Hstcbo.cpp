#include "Hstcbo.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QSignalBlocker>

THistoryComboBox::THistoryComboBox(QWidget* parent) : QComboBox(parent) {
    setEditable(true);
    // Enter must not add entries on its own, and completion must never alter a typed name.
    setInsertPolicy(QComboBox::NoInsert);
    setCompleter(nullptr);
    setDuplicatesEnabled(true);
    lineEdit()->installEventFilter(this);
}

QStringList THistoryComboBox::Items() const {
    QStringList list;
    list.reserve(count());
    for (int i = 0; i < count(); ++i)
        list << itemText(i);
    return list;
}

void THistoryComboBox::SetItems(const QStringList& items) {
    const QString text = currentText();
    const int index = currentIndex();
    QSignalBlocker block(this);
    clear();
    addItems(items);
    // Qt selects the first entry of a filled list and clears the text on clear():
    // put back the operator's text and the selection as they were.
    setCurrentIndex(index < count() ? index : -1);
    setEditText(text);
}

void THistoryComboBox::AddItem(const QString& item) {
    const QString text = currentText();
    const int index = currentIndex();
    QSignalBlocker block(this);
    addItem(item);
    if (currentIndex() != index) setCurrentIndex(index);
    if (currentText() != text) setEditText(text);
}

void THistoryComboBox::SetItemIndex(int index) {
    if (index >= 0 && index < count())
        setCurrentIndex(index);
    else if (currentIndex() >= 0)
        setCurrentIndex(-1);
}

void THistoryComboBox::focusOutEvent(QFocusEvent* event) {
    // Qt's combo box selects the first entry equal to the text when editing ends;
    // here only the list, RESET and loading choose the entry.
    const int index = currentIndex();
    const QString text = currentText();
    QComboBox::focusOutEvent(event);
    if (currentIndex() != index) {
        QSignalBlocker block(this);
        setCurrentIndex(index);
    }
    if (currentText() != text) setEditText(text);
}

void THistoryComboBox::SelectAll() {
    lineEdit()->selectAll();
}

bool THistoryComboBox::eventFilter(QObject* watched, QEvent* event) {
    if (watched == lineEdit() && event->type() == QEvent::KeyPress && OnKeyPress) {
        auto* ke = static_cast<QKeyEvent*>(event);
        QChar key;
        if (ke->key() == Qt::Key_Return || ke->key() == Qt::Key_Enter)
            key = QLatin1Char('\r');
        else if (!ke->text().isEmpty())
            key = ke->text().at(0);
        if (!key.isNull()) {
            OnKeyPress(this, key);
            if (key.isNull()) return true;
            // Enter has been handled: the line edit has nothing more to do with it.
            if (key == QLatin1Char('\r')) return true;
        }
    }
    return QComboBox::eventFilter(watched, event);
}
