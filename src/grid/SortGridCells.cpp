// Check-box, drop-down and ellipsis cells, their images and list, and the
// validation of in-place edits.
#include "SortGrid.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QListWidget>
#include <QPainter>
#include <QScreen>
#include <QScrollBar>

namespace {

QImage ButtonFace() {
    QImage img(16, 16, QImage::Format_ARGB32);
    img.fill(QColor(0xD4, 0xD0, 0xC8));
    QPainter p(&img);
    p.setPen(Qt::white);
    p.drawLine(0, 0, 14, 0);
    p.drawLine(0, 0, 0, 14);
    p.setPen(QColor(0x80, 0x80, 0x80));
    p.drawLine(1, 14, 14, 14);
    p.drawLine(14, 1, 14, 14);
    p.setPen(QColor(0x40, 0x40, 0x40));
    p.drawLine(0, 15, 15, 15);
    p.drawLine(15, 0, 15, 15);
    return img;
}

QImage CheckFrame(bool ticked) {
    QImage img(16, 16, QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.fillRect(2, 2, 12, 12, Qt::white);
    p.setPen(QColor(0x80, 0x80, 0x80));
    p.drawRect(1, 1, 13, 13);
    if (ticked) {
        p.setPen(QPen(Qt::black, 2));
        p.drawPolyline(QPolygon({QPoint(4, 8), QPoint(6, 11), QPoint(11, 4)}));
    }
    return img;
}

} // namespace

bool TSortGrid::IsTicked(const QString& text) {
    return text == QLatin1String("true") || text == QLatin1String("1") ||
           text == QLatin1String("V");
}

QImage TSortGrid::CellImage(const QString& name) {
    if (name == QLatin1String("CHECKED")) return CheckFrame(true);
    if (name == QLatin1String("UNCHECKED")) return CheckFrame(false);
    QImage img = ButtonFace();
    QPainter p(&img);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::black);
    if (name == QLatin1String("COMBOBOX"))
        p.drawPolygon(QPolygon({QPoint(4, 6), QPoint(11, 6), QPoint(7, 10)}));
    else // ELLIPSIS
        for (int x : {3, 7, 11})
            p.drawRect(x, 10, 1, 1);
    return img;
}

void TSortGrid::DrawSpecialCell(QPainter* p, const QRect& rect, int col, int row,
                                TSpecialCell kind) {
    const int cw = rect.width();
    if (kind == scCheckBox) {
        const int w = cw <= 16 ? cw - 1 : 16;
        if (w <= 0) return;
        const QImage img = CellImage(IsTicked(CellText(col, row)) ? QStringLiteral("CHECKED")
                                                                   : QStringLiteral("UNCHECKED"));
        p->drawImage(QRect(rect.left() + (cw - w) / 2, rect.top() + RowHeights(row) / 2 - 8, w, 16),
                     img);
        return;
    }
    if (row != Row()) return;
    // The button shows where it can be used: on the current cell, and for drop-down
    // cells on every one of the current row while the editor is open. Ellipsis cells
    // show it on the whole current row.
    const bool current = col == Col();
    if (kind == scComboBox && !current && !EditorMode()) return;
    const int w = std::min(16, cw);
    p->drawImage(QRect(rect.right() + 1 - w, rect.top(), w, rect.height()),
                 CellImage(kind == scComboBox ? QStringLiteral("COMBOBOX")
                                              : QStringLiteral("ELLIPSIS")));
}

void TSortGrid::ToggleCheckBox(int col, int row) {
    if (row < 1 || row >= RowCount() || col < 0 || col >= ColCount()) return;
    const bool state = !IsTicked(CellText(col, row));
    SetCellText(col, row, state ? QStringLiteral("V") : QString());
    SetModified(true); // the user changed the protocol: closing must ask
    InvalidateRow(row);
    if (OnSetChecked) OnSetChecked(this, col, row, state);
}

bool TSortGrid::OpenComboBox(int col, int row) {
    if (!OnGetComboBox || !FComboList || row < 1 || row >= RowCount() || col < 0 ||
        col >= ColCount())
        return false;
    QStringList strs;
    int w = 0, h = 0;
    bool sorted = true;
    OnGetComboBox(this, col, row, strs, w, h, sorted);
    if (strs.isEmpty()) return false;
    QListWidget* list = FComboList;
    list->setFont(font());
    list->setSortingEnabled(false);
    list->clear();
    list->addItems(strs);
    if (sorted) list->sortItems();
    const QList<QListWidgetItem*> same = list->findItems(CellText(col, row), Qt::MatchExactly);
    list->setCurrentItem(same.isEmpty() ? list->item(0) : same.first());
    const int itemHeight = std::max(1, list->sizeHintForRow(0));
    const int shown = h != 0 || list->count() >= 10 ? 10 : list->count();
    const int height = shown * itemHeight + 5;
    const QRect cell = CellRect(col, row);
    int width = w;
    if (width == 0) {
        // The cell's width, wider when the items need it: an item is never cut.
        const int bar = list->count() > shown ? list->verticalScrollBar()->sizeHint().width() : 0;
        width = std::max(cell.width() + 1,
                         list->sizeHintForColumn(0) + 2 * list->frameWidth() + bar);
    }
    const QRect room = ComboRoom(cell);
    width = std::min(width, room.width());
    const QPoint at = mapToGlobal(cell.topLeft());
    // Below the cell; above it when the screen has no room below.
    int top = at.y() + cell.height() + 1;
    if (top + height > room.bottom() + 1) top = at.y() - height;
    top = std::max(room.top(), std::min(top, room.bottom() + 1 - height));
    const int left = std::max(room.left(), std::min(at.x() + 2, room.right() + 1 - width));
    list->setGeometry(left, top, width, height);
    FComboCol = col;
    FComboRow = row;
    // Moving, hiding or leaving the window leaves the list out of place.
    FComboWindow = window();
    FComboWindow->installEventFilter(this);
    list->show();
    list->setFocus(Qt::PopupFocusReason);
    list->scrollToItem(list->currentItem());
    return true;
}

QRect TSortGrid::ComboRoom(const QRect& cell) const {
    QScreen* on = QGuiApplication::screenAt(mapToGlobal(cell.center()));
    if (!on) on = screen();
    return on ? on->availableGeometry() : QRect(mapToGlobal(QPoint(0, 0)), window()->size());
}

void TSortGrid::HideComboBox() {
    if (!FComboList || !FComboList->isVisible()) return;
    FComboClosing = true;
    FComboList->hide();
    FComboClosing = false;
}

void TSortGrid::TakeComboValue(bool moveOn) {
    if (!FComboList || !FComboList->isVisible() || FComboClosing) return;
    const int col = FComboCol, row = FComboRow;
    const QListWidgetItem* item = FComboList->currentItem();
    const QString value = item ? item->text() : QString();
    HideComboBox();
    if (!item || row < 1 || row >= RowCount() || col < 0 || col >= ColCount()) return;
    if (value != CellText(col, row)) {
        SetCellText(col, row, value);
        SetModified(true);
    }
    InvalidateColumn(col);
    setFocus(Qt::OtherFocusReason);
    if (OnSetComboBox) OnSetComboBox(this, col, row, value);
    if (moveOn && col < ColCount() - 1) FocusCell(col + 1, Row(), true);
}

bool TSortGrid::eventFilter(QObject* watched, QEvent* e) {
    if (watched == FComboWindow && watched != FComboList) {
        const QEvent::Type t = e->type();
        if (t == QEvent::Move || t == QEvent::Resize || t == QEvent::Hide ||
            t == QEvent::WindowDeactivate)
            TakeComboValue(false);
    }
    if (!FComboList || (watched != FComboList && watched != FComboList->viewport()))
        return TMyStringGrid::eventFilter(watched, e);
    switch (e->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick: {
        const auto* me = static_cast<QMouseEvent*>(e);
        if (watched != FComboList || FComboList->rect().contains(me->position().toPoint()))
            return false;
        // A press outside: on the grid it only closes the list, as a press into the grid
        // always did; anywhere else the list has lost the focus.
        if (rect().contains(mapFromGlobal(me->globalPosition().toPoint())))
            HideComboBox();
        else
            TakeComboValue(false);
        return true;
    }
    case QEvent::Hide:
        if (watched == FComboList && FComboWindow) {
            FComboWindow->removeEventFilter(this);
            FComboWindow = nullptr;
        }
        return false;
    case QEvent::MouseButtonRelease:
        TakeComboValue(false);
        return true;
    case QEvent::KeyPress: {
        const int k = static_cast<QKeyEvent*>(e)->key();
        if (k == Qt::Key_Escape) {
            HideComboBox();
            setFocus(Qt::OtherFocusReason);
            return true;
        }
        if (k == Qt::Key_Tab) {
            TakeComboValue(true);
            return true;
        }
        return k == Qt::Key_Return || k == Qt::Key_Enter || k == Qt::Key_Space;
    }
    case QEvent::KeyRelease: {
        const auto* ke = static_cast<QKeyEvent*>(e);
        const int k = ke->key();
        if (!ke->isAutoRepeat() && (k == Qt::Key_Return || k == Qt::Key_Enter || k == Qt::Key_Space)) {
            TakeComboValue(false);
            return true;
        }
        return false;
    }
    case QEvent::FocusOut:
        TakeComboValue(false);
        return false;
    default:
        return false;
    }
}

bool TSortGrid::CanEditCell(int col, int row, bool explicitRequest) {
    const TSpecialCell kind = SpecialCell(col, row);
    // A check box has no text to edit; a drop-down cell takes its text from the list.
    if (kind == scComboBox && explicitRequest) OpenComboBox(col, row);
    return kind != scCheckBox && kind != scComboBox;
}

void TSortGrid::SpecialCellClick(int col, int row, int x) {
    switch (SpecialCell(col, row)) {
    case scCheckBox:
        ToggleCheckBox(col, row);
        break;
    case scComboBox:
        if (FComboList && FComboList->isVisible() && FComboCol == col && FComboRow == row) break;
        if (!OpenComboBox(col, row)) HideComboBox();
        break;
    case scEllipsis: {
        const QRect cell = CellRect(col, row);
        if (x + viewport()->x() >= cell.right() + 1 - 16 && OnSetEllipsis)
            OnSetEllipsis(this, col, row);
        break;
    }
    case scNone:
        break;
    }
}

bool TSortGrid::SpecialCellKey() {
    const int col = Col(), row = Row();
    switch (SpecialCell(col, row)) {
    case scCheckBox:
        ToggleCheckBox(col, row);
        return true;
    case scComboBox:
        if (!OpenComboBox(col, row)) HideComboBox();
        return true;
    case scEllipsis:
        if (OnSetEllipsis) OnSetEllipsis(this, col, row);
        return true;
    case scNone:
        break;
    }
    return false;
}

void TSortGrid::EditorCommitted(int col, int row, const QString& text) {
    const QString old = CellText(col, row);
    if (text == old) return;
    QString newValue = text;
    bool valid = true;
    const bool wasModified = FModified;
    if (OnCellValidate) OnCellValidate(this, col, row, old, newValue, valid);
    if (valid) {
        SetCellText(col, row, newValue);
        if (newValue != old) {
            SetModified(true);
            if (OnCellEdited) OnCellEdited(this, col, row);
        }
        return;
    }
    // Rejected: the handler's correction if it made one, else the text before the edit.
    const QString kept = newValue != text ? newValue : old;
    SetCellText(col, row, kept);
    if (kept != old) {
        SetModified(true); // a changed cell always counts as a change
        if (OnCellEdited) OnCellEdited(this, col, row);
    } else {
        FModified = wasModified;
    }
}
