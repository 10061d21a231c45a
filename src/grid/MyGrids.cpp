#include "MyGrids.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QScrollBar>
#include <QTimer>

namespace {
constexpr QRgb FixedLineColor = 0xFF808080;
constexpr QRgb LineColor = 0xFFC0C0C0;
constexpr QRgb FixedColor = 0xFFD4D0C8;
int ModelRows(int rowCount) {
    return std::max(0, rowCount - 1);
}
} // namespace

// ---------------------------------------------------------------- model

TGridModel::TGridModel(TMyCustomGrid* grid) : QAbstractTableModel(grid), FGrid(grid) {}

int TGridModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ModelRows(FGrid->FRowCount);
}

int TGridModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : FGrid->FColCount;
}

QVariant TGridModel::data(const QModelIndex& index, int role) const {
    if (role == Qt::DisplayRole || role == Qt::EditRole)
        return FGrid->CellText(index.column(), index.row() + 1);
    return {};
}

bool TGridModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::EditRole) return false;
    FGrid->EditorCommitted(index.column(), index.row() + 1, value.toString());
    return true;
}

Qt::ItemFlags TGridModel::flags(const QModelIndex& index) const {
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (index.isValid() && FGrid->HasOption(goEditing)) f |= Qt::ItemIsEditable;
    return f;
}

QVariant TGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole)
        return FGrid->CellText(section, 0);
    return {};
}

// ---------------------------------------------------------------- header

TGridHeader::TGridHeader(TMyCustomGrid* grid, Qt::Orientation orientation)
    : QHeaderView(orientation, grid), FGrid(grid) {
    setSectionsClickable(false);
    setHighlightSections(false);
    setStretchLastSection(false);
    setMinimumSectionSize(1);
    setSectionResizeMode(QHeaderView::Fixed);
    setDefaultAlignment(Qt::AlignLeft | Qt::AlignTop);
}

void TGridHeader::paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const {
    painter->save();
    painter->setClipRect(rect);
    if (orientation() == Qt::Vertical) {
        // The fixed cell a row is dragged or sized by: blank, like the header row.
        painter->fillRect(rect, QColor::fromRgb(FixedColor));
    } else {
        const QRect cell(rect.x(), rect.y(), rect.width() - 1, rect.height() - 1);
        FGrid->DrawCell(painter, cell, logicalIndex, 0, FGrid->CellState(logicalIndex, 0));
    }
    painter->setPen(QColor::fromRgb(FixedLineColor));
    if (FGrid->HasOption(goFixedVertLine))
        painter->drawLine(rect.right(), rect.top(), rect.right(), rect.bottom());
    if (FGrid->HasOption(goFixedHorzLine))
        painter->drawLine(rect.left(), rect.bottom(), rect.right(), rect.bottom());
    painter->restore();
}

void TGridHeader::mousePressEvent(QMouseEvent* e) {
    FGrid->SettleEditorClick(false);
    if (orientation() == Qt::Horizontal)
        FGrid->HeaderMousePress(e, logicalIndexAt(e->position().toPoint()));
    QHeaderView::mousePressEvent(e);
}

void TGridHeader::mouseReleaseEvent(QMouseEvent* e) {
    QHeaderView::mouseReleaseEvent(e);
    if (orientation() == Qt::Horizontal)
        FGrid->HeaderMouseRelease(e, logicalIndexAt(e->position().toPoint()));
}

void TGridHeader::mouseMoveEvent(QMouseEvent* e) {
    QHeaderView::mouseMoveEvent(e);
}

void TGridHeader::mouseDoubleClickEvent(QMouseEvent* e) {
    if (orientation() == Qt::Horizontal)
        FGrid->HeaderDoubleClick(e, logicalIndexAt(e->position().toPoint()));
}

// ---------------------------------------------------------------- delegate

TGridDelegate::TGridDelegate(TMyCustomGrid* grid) : QStyledItemDelegate(grid), FGrid(grid) {}

void TGridDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const {
    const QRect r = option.rect;
    const QRect cell(r.x(), r.y(), r.width() - 1, r.height() - 1);
    const int col = index.column(), row = index.row() + 1;
    painter->save();
    painter->setClipRect(r);
    FGrid->DrawCell(painter, cell, col, row, FGrid->CellState(col, row));
    painter->setPen(QColor::fromRgb(LineColor));
    if (FGrid->HasOption(goVertLine)) painter->drawLine(r.right(), r.top(), r.right(), r.bottom());
    if (FGrid->HasOption(goHorzLine))
        painter->drawLine(r.left(), r.bottom(), r.right(), r.bottom());
    painter->restore();
}

QWidget* TGridDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem&,
                                     const QModelIndex&) const {
    auto* editor = new QLineEdit(parent);
    editor->setObjectName(QStringLiteral("InplaceEditor"));
    editor->setFrame(false);
    editor->setFont(FGrid->font());
    return editor;
}

void TGridDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const {
    auto* e = static_cast<QLineEdit*>(editor);
    if (e->text().isEmpty() && !e->isModified())
        e->setText(FGrid->CellText(index.column(), index.row() + 1));
}

void TGridDelegate::setModelData(QWidget* editor, QAbstractItemModel* model,
                                 const QModelIndex& index) const {
    model->setData(index, static_cast<QLineEdit*>(editor)->text(), Qt::EditRole);
}

void TGridDelegate::updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                                         const QModelIndex&) const {
    editor->setGeometry(option.rect.adjusted(0, 0, -1, -1));
}

bool TGridDelegate::eventFilter(QObject* watched, QEvent* e) {
    // A click into the grid decides for itself whether the editor closes (see SettleEditorClick).
    if (e->type() == QEvent::FocusOut &&
        static_cast<QFocusEvent*>(e)->reason() == Qt::MouseFocusReason &&
        QApplication::focusWidget() == FGrid && FGrid->EditorMode()) {
        FGrid->FEditorClickPending = true;
        // A click that no handler settles (scroll bar, row header) closes it as before.
        QTimer::singleShot(0, FGrid, [grid = FGrid] { grid->SettleEditorClick(false); });
        return true;
    }
    return QStyledItemDelegate::eventFilter(watched, e);
}

// ---------------------------------------------------------------- grid

TMyCustomGrid::TMyCustomGrid(QWidget* parent) : QTableView(parent) {
    FModel = new TGridModel(this);
    FHeader = new TGridHeader(this, Qt::Horizontal);
    setHorizontalHeader(FHeader);
    FRowHeader = new TGridHeader(this, Qt::Vertical);
    setVerticalHeader(FRowHeader);
    setModel(FModel);
    FDelegate = new TGridDelegate(this);
    setItemDelegate(FDelegate);
    FRowHeader->hide();
    FRowHeader->setFixedWidth(12);
    setShowGrid(false);
    setSelectionMode(QAbstractItemView::NoSelection);
    setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setWordWrap(false);
    setTabKeyNavigation(false);
    setAutoScroll(false);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    FColWidths.assign(FColCount, FDefaultColWidth);
    FRowHeights.assign(FRowCount, FDefaultRowHeight);
    FStore.resize(FRowCount);
    ApplyColumnSizes();
    ApplyRowSizes();
    SetOptions(FOptions);
    SyncCurrentToView();
    connect(FHeader, &QHeaderView::sectionResized, this, [this](int col, int, int size) {
        if (FSyncing || col >= FColCount || FColWidths[col] < 0) return;
        FColWidths[col] = size - 1;
        ColWidthsChanged();
    });
    connect(FRowHeader, &QHeaderView::sectionResized, this, [this](int section, int, int size) {
        if (FSyncing || section + 1 >= FRowCount) return;
        FRowHeights[section + 1] = size - 1;
        RowHeightsChanged();
    });
    // The headers keep visual order = logical order; a user move moves the data instead.
    connect(FHeader, &QHeaderView::sectionMoved, this, [this](int, int from, int to) {
        if (FSyncing) return;
        FSyncing = true;
        FHeader->moveSection(to, from);
        FSyncing = false;
        if (from < 0 || to < 0 || from >= FColCount || to >= FColCount) return;
        MoveColumnData(from, to);
        ApplyColumnSizes();
        ColumnMoved(from, to);
        RepaintCells();
    });
    connect(FRowHeader, &QHeaderView::sectionMoved, this, [this](int, int from, int to) {
        if (FSyncing) return;
        FSyncing = true;
        FRowHeader->moveSection(to, from);
        FSyncing = false;
        if (from < 0 || to < 0 || from + 1 >= FRowCount || to + 1 >= FRowCount) return;
        MoveRowData(from + 1, to + 1);
        ApplyRowSizes();
        RowMoved(from + 1, to + 1);
        RepaintCells();
    });
}

TMyCustomGrid::~TMyCustomGrid() = default;

TMyCustomGrid::RowData& TMyCustomGrid::StoreRow(int row) {
    if (row >= static_cast<int>(FStore.size())) FStore.resize(row + 1);
    return FStore[row];
}

QString TMyCustomGrid::CellText(int col, int row) const {
    if (row < 0 || row >= static_cast<int>(FStore.size()) || col < 0) return {};
    const QStringList& cells = FStore[row].Cells;
    return col < cells.size() ? cells.at(col) : QString();
}

void TMyCustomGrid::SetCellText(int col, int row, const QString& text) {
    if (col < 0 || row < 0) return;
    QStringList& cells = StoreRow(row).Cells;
    while (cells.size() <= col)
        cells.append(QString());
    cells[col] = text;
    if (FUpdating) return;
    if (row == 0)
        FHeader->viewport()->update();
    else if (row < FRowCount && col < FColCount)
        emit FModel->dataChanged(FModel->index(row - 1, col), FModel->index(row - 1, col));
}

QObject* TMyCustomGrid::CellObject(int col, int row) const {
    if (row < 0 || row >= static_cast<int>(FStore.size()) || col < 0) return nullptr;
    const auto& objects = FStore[row].Objects;
    return col < static_cast<int>(objects.size()) ? objects[col] : nullptr;
}

void TMyCustomGrid::SetCellObject(int col, int row, QObject* object) {
    if (col < 0 || row < 0) return;
    auto& objects = StoreRow(row).Objects;
    if (static_cast<int>(objects.size()) <= col) objects.resize(col + 1, nullptr);
    objects[col] = object;
}

void TMyCustomGrid::MoveRowData(int from, int to) {
    if (from == to) return;
    StoreRow(std::max(from, to));
    RowData moved = std::move(FStore[from]);
    if (from < to)
        std::move(FStore.begin() + from + 1, FStore.begin() + to + 1, FStore.begin() + from);
    else
        std::move_backward(FStore.begin() + to, FStore.begin() + from, FStore.begin() + from + 1);
    FStore[to] = std::move(moved);
    if (from < static_cast<int>(FRowHeights.size()) && to < static_cast<int>(FRowHeights.size())) {
        const int h = FRowHeights[from];
        FRowHeights.erase(FRowHeights.begin() + from);
        FRowHeights.insert(FRowHeights.begin() + to, h);
    }
}

void TMyCustomGrid::MoveColumnData(int from, int to) {
    if (from == to) return;
    for (RowData& r : FStore) {
        while (r.Cells.size() <= std::max(from, to))
            r.Cells.append(QString());
        r.Cells.move(from, to);
        if (static_cast<int>(r.Objects.size()) <= std::max(from, to))
            r.Objects.resize(std::max(from, to) + 1, nullptr);
        QObject* o = r.Objects[from];
        r.Objects.erase(r.Objects.begin() + from);
        r.Objects.insert(r.Objects.begin() + to, o);
    }
    const int w = FColWidths[from];
    FColWidths.erase(FColWidths.begin() + from);
    FColWidths.insert(FColWidths.begin() + to, w);
}

void TMyCustomGrid::SetColCount(int value) {
    value = std::max(0, value);
    if (value == FColCount) return;
    const int old = FColCount;
    FColWidths.resize(value, FDefaultColWidth);
    if (FUpdating) {
        FColCount = value;
        return;
    }
    if (value > old) {
        FModel->beginInsertColumns({}, old, value - 1);
        FColCount = value;
        FModel->endInsertColumns();
    } else {
        FModel->beginRemoveColumns({}, value, old - 1);
        FColCount = value;
        FModel->endRemoveColumns();
    }
    ApplyColumnSizes();
    SizeChanged(old, FRowCount);
}

void TMyCustomGrid::SetRowCount(int value) {
    value = std::max(0, value);
    if (value == FRowCount) return;
    const int old = FRowCount;
    RowCountChanging(old, value);
    StoreRow(std::max(0, value - 1));
    FRowHeights.resize(value, FDefaultRowHeight);
    if (FUpdating) {
        FRowCount = value;
        return;
    }
    const int oldRows = ModelRows(old), newRows = ModelRows(value);
    if (newRows > oldRows) {
        FModel->beginInsertRows({}, oldRows, newRows - 1);
        FRowCount = value;
        FModel->endInsertRows();
    } else if (newRows < oldRows) {
        FModel->beginRemoveRows({}, newRows, oldRows - 1);
        FRowCount = value;
        FModel->endRemoveRows();
    } else {
        FRowCount = value;
    }
    if (value >= 1) FHeader->setFixedHeight(RowHeights(0) + 1);
    SizeChanged(FColCount, old);
}

void TMyCustomGrid::RowCountChanging(int, int) {}

bool TMyCustomGrid::EditorMayMoveTo(int, int) {
    return true;
}

void TMyCustomGrid::SettleEditorClick(bool keep) {
    if (!FEditorClickPending) return;
    FEditorClickPending = false;
    QWidget* editor = indexWidget(currentIndex());
    if (!editor || !EditorMode()) return;
    if (keep) {
        editor->setFocus(Qt::OtherFocusReason);
        return;
    }
    commitData(editor);
    closeEditor(editor, QAbstractItemDelegate::NoHint);
}

void TMyCustomGrid::SizeChanged(int, int) {
    if (FRow >= FRowCount || FCol >= FColCount) {
        FCol = std::clamp(FCol, 0, std::max(0, FColCount - 1));
        FRow = std::clamp(FRow, 1, std::max(1, FRowCount - 1));
        FAnchorCol = FCol;
        FAnchorRow = FRow;
        FSelection = {FCol, FRow, FCol, FRow};
        WidenToRows();
    }
    SyncCurrentToView();
    RepaintCells();
}

void TMyCustomGrid::SetDefaultColWidth(int value) {
    FDefaultColWidth = value;
    std::fill(FColWidths.begin(), FColWidths.end(), value);
    ApplyColumnSizes();
    ColWidthsChanged();
}

void TMyCustomGrid::SetDefaultRowHeight(int value) {
    FDefaultRowHeight = value;
    std::fill(FRowHeights.begin(), FRowHeights.end(), value);
    ApplyRowSizes();
    RowHeightsChanged();
}

void TMyCustomGrid::ColWidthsChanged() {}
void TMyCustomGrid::RowHeightsChanged() {}
void TMyCustomGrid::RowMoved(int, int) {}

int TMyCustomGrid::ColWidths(int col) const {
    return col >= 0 && col < FColCount ? FColWidths[col] : FDefaultColWidth;
}

void TMyCustomGrid::SetColWidths(int col, int width) {
    if (col < 0 || col >= FColCount || FColWidths[col] == width) return;
    FColWidths[col] = width;
    if (FUpdating) {
        FWidthsPending = true;
        return;
    }
    FSyncing = true;
    setColumnHidden(col, width < 0);
    if (width >= 0) FHeader->resizeSection(col, width + 1);
    FSyncing = false;
    ColWidthsChanged();
}

int TMyCustomGrid::RowHeights(int row) const {
    return row >= 0 && row < static_cast<int>(FRowHeights.size()) ? FRowHeights[row]
                                                                  : FDefaultRowHeight;
}

void TMyCustomGrid::SetRowHeights(int row, int height) {
    if (row < 0 || row >= FRowCount || FRowHeights[row] == height) return;
    FRowHeights[row] = height;
    if (FUpdating) {
        FHeightsPending = true;
        return;
    }
    FSyncing = true;
    if (row == 0)
        FHeader->setFixedHeight(height + 1);
    else
        FRowHeader->resizeSection(row - 1, height + 1);
    FSyncing = false;
    RowHeightsChanged();
}

void TMyCustomGrid::ApplyColumnSizes() {
    FSyncing = true;
    for (int c = 0; c < FColCount; ++c) {
        const int w = FColWidths[c];
        setColumnHidden(c, w < 0);
        if (w >= 0) FHeader->resizeSection(c, w + 1);
    }
    FSyncing = false;
}

void TMyCustomGrid::ApplyRowSizes() {
    FSyncing = true;
    FRowHeader->setDefaultSectionSize(FDefaultRowHeight + 1);
    FHeader->setFixedHeight(RowHeights(0) + 1);
    for (int r = 1; r < FRowCount; ++r)
        if (FRowHeights[r] != FDefaultRowHeight ||
            FRowHeader->sectionSize(r - 1) != FDefaultRowHeight + 1)
            FRowHeader->resizeSection(r - 1, FRowHeights[r] + 1);
    FSyncing = false;
}

int TMyCustomGrid::ClientWidth() const {
    // Worked out from the geometry: a hidden grid gets its viewport size only when shown.
    int w = contentsRect().width();
    const QScrollBar* bar = verticalScrollBar();
    if (verticalScrollBarPolicy() == Qt::ScrollBarAlwaysOn ||
        (verticalScrollBarPolicy() == Qt::ScrollBarAsNeeded && bar->isVisibleTo(this)))
        w -= bar->sizeHint().width();
    return w;
}
int TMyCustomGrid::ClientHeight() const {
    return viewport()->height() + FHeader->height();
}

void TMyCustomGrid::SetOptions(TGridOptions value) {
    FOptions = value;
    setEditTriggers(HasOption(goEditing)
                        ? QAbstractItemView::AnyKeyPressed | QAbstractItemView::EditKeyPressed
                        : QAbstractItemView::NoEditTriggers);
    FHeader->setSectionResizeMode(HasOption(goColSizing) ? QHeaderView::Interactive
                                                         : QHeaderView::Fixed);
    FHeader->setSectionsMovable(HasOption(goColMoving));
    FRowHeader->setSectionResizeMode(HasOption(goRowSizing) ? QHeaderView::Interactive
                                                            : QHeaderView::Fixed);
    FRowHeader->setSectionsMovable(HasOption(goRowMoving));
    FRowHeader->setVisible(HasOption(goRowMoving) || HasOption(goRowSizing));
    verticalScrollBar()->setTracking(HasOption(goThumbTracking));
    horizontalScrollBar()->setTracking(HasOption(goThumbTracking));
    if (!HasOption(goEditing) && EditorMode()) HideEditor();
    WidenToRows();
    if (HasOption(goEditing) && HasOption(goAlwaysShowEditor) && !EditorMode()) ShowEditor();
    RepaintCells();
}

void TMyCustomGrid::WidenToRows() {
    if (!HasOption(goRowSelect)) return;
    FSelection.Left = 0;
    FSelection.Right = std::max(0, FColCount - 1);
}

void TMyCustomGrid::SetSelection(const TGridRect& value) {
    const int oldCol = FCol, oldRow = FRow;
    const int lastCol = std::max(0, FColCount - 1), lastRow = std::max(1, FRowCount - 1);
    FSelection = {std::clamp(value.Left, 0, lastCol), std::clamp(value.Top, 1, lastRow),
                  std::clamp(value.Right, 0, lastCol), std::clamp(value.Bottom, 1, lastRow)};
    FAnchorCol = FSelection.Right;
    FAnchorRow = FSelection.Bottom;
    FCol = FSelection.Left;
    FRow = FSelection.Top;
    SyncCurrentToView();
    ScrollToCurrent();
    CurrentCellMoved(oldCol, oldRow);
    RepaintCells();
}

int TMyCustomGrid::TopRow() const {
    return verticalScrollBar()->value() + 1;
}

void TMyCustomGrid::SetTopRow(int value) {
    verticalScrollBar()->setValue(std::max(0, value - 1));
}

int TMyCustomGrid::LeftCol() const {
    const int c = columnAt(0);
    return c < 0 ? 0 : c;
}

void TMyCustomGrid::SetLeftCol(int value) {
    if (value >= 0 && value < FColCount)
        horizontalScrollBar()->setValue(columnViewportPosition(value) + horizontalOffset());
}

int TMyCustomGrid::VisibleRowCount() const {
    const int h = viewport()->height();
    int count = 0, y = 0;
    for (int r = TopRow(); r < FRowCount; ++r) {
        y += RowHeights(r) + 1;
        if (y > h) break;
        ++count;
    }
    return count;
}

int TMyCustomGrid::VisibleColCount() const {
    const int w = viewport()->width();
    int count = 0;
    for (int c = LeftCol(); c < FColCount; ++c) {
        if (isColumnHidden(c)) continue;
        if (columnViewportPosition(c) + columnWidth(c) > w) break;
        ++count;
    }
    return count;
}

bool TMyCustomGrid::MouseToCell(QPoint widgetPos, int& col, int& row) const {
    const QPoint vp = viewport()->mapFrom(this, widgetPos);
    col = columnAt(vp.x());
    if (col < 0) return false;
    if (vp.y() < 0) {
        row = 0;
        return true;
    }
    const int r = rowAt(vp.y());
    if (r < 0) return false;
    row = r + 1;
    return true;
}

QRect TMyCustomGrid::CellRect(int col, int row) const {
    if (col < 0 || col >= FColCount || isColumnHidden(col)) return {};
    const int x = columnViewportPosition(col);
    const int w = ColWidths(col);
    if (row == 0)
        return QRect(viewport()->mapTo(this, QPoint(x, 0)) - QPoint(0, FHeader->height()),
                     QSize(w, RowHeights(0)));
    const int y = rowViewportPosition(row - 1);
    return QRect(viewport()->mapTo(this, QPoint(x, y)), QSize(w, RowHeights(row)));
}

void TMyCustomGrid::ShowEditor() {
    if (!HasOption(goEditing) || FRow < 1 || FRow >= FRowCount || FUpdating || EditorMode() ||
        !CanEditCell(FCol, FRow, true))
        return;
    SyncCurrentToView();
    edit(FModel->index(FRow - 1, FCol));
}

void TMyCustomGrid::HideEditor() {
    if (!EditorMode()) return;
    FEditorHeld = true;
    if (QWidget* editor = indexWidget(currentIndex()); editor) {
        commitData(editor);
        closeEditor(editor, QAbstractItemDelegate::NoHint);
    } else if (auto* e = findChild<QLineEdit*>(QStringLiteral("InplaceEditor"))) {
        emit FDelegate->commitData(e);
        emit FDelegate->closeEditor(e, QAbstractItemDelegate::NoHint);
    }
    FEditorHeld = false;
}

bool TMyCustomGrid::CanEditCell(int, int, bool) {
    return true;
}

bool TMyCustomGrid::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) {
    // A typed key opens the editor only where the grid allows one (ShowEditor asks itself).
    if (trigger == QAbstractItemView::AnyKeyPressed && index.isValid() &&
        state() != QAbstractItemView::EditingState && (editTriggers() & trigger) &&
        !CanEditCell(index.column(), index.row() + 1, false))
        return false;
    return QTableView::edit(index, trigger, event);
}

bool TMyCustomGrid::AlwaysShowEditor() const {
    return HasOption(goEditing) && HasOption(goAlwaysShowEditor);
}

void TMyCustomGrid::closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) {
    // Tab and Enter are this grid's own moves, not the view's.
    QTableView::closeEditor(editor, QAbstractItemDelegate::NoHint);
    if (FEditorHeld || FUpdating) return;
    // Tab from the editor goes on only where the editor may go.
    const int step = hint == QAbstractItemDelegate::EditNextItem       ? 1
                     : hint == QAbstractItemDelegate::EditPreviousItem ? -1
                                                                       : 0;
    if (HasOption(goTabs) && step != 0 && EditorMayMoveTo(FCol + step, FRow))
        FocusCell(FCol + step, FRow, true);
    if (AlwaysShowEditor() && !EditorMode()) ShowEditor();
}

void TMyCustomGrid::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    QTableView::currentChanged(current, previous);
    // Only this grid moves the current cell; a move by the view itself is taken back.
    if (!FSyncing && !FUpdating && current.isValid() &&
        (current.row() + 1 != FRow || current.column() != FCol) &&
        !FocusCell(current.column(), current.row() + 1, true))
        SyncCurrentToView();
}

void TMyCustomGrid::BeginUpdate() {
    if (FUpdating) return;
    if (EditorMode()) HideEditor();
    FUpdating = true;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    FModel->beginResetModel();
    setUpdatesEnabled(false);
    if (OnBeginUpdate) OnBeginUpdate(this);
}

void TMyCustomGrid::EndUpdate() {
    if (!FUpdating) return;
    const bool widths = FWidthsPending, heights = FHeightsPending;
    FWidthsPending = FHeightsPending = false;
    const int top = verticalScrollBar()->value();
    FUpdating = false;
    FModel->endResetModel();
    ApplyColumnSizes();
    ApplyRowSizes();
    verticalScrollBar()->setValue(top);
    SyncCurrentToView();
    setUpdatesEnabled(true);
    RepaintCells();
    QApplication::restoreOverrideCursor();
    if (widths) ColWidthsChanged();
    if (heights) RowHeightsChanged();
    if (AlwaysShowEditor()) ShowEditor();
}

void TMyCustomGrid::RepaintCells() {
    if (FUpdating) return;
    viewport()->update();
    FHeader->viewport()->update();
}

void TMyCustomGrid::SyncCurrentToView() {
    if (FUpdating || FRow < 1 || FRow >= FRowCount || FCol < 0 || FCol >= FColCount) return;
    const QModelIndex idx = FModel->index(FRow - 1, FCol);
    if (selectionModel()->currentIndex() == idx) return;
    FSyncing = true;
    selectionModel()->setCurrentIndex(idx, QItemSelectionModel::NoUpdate);
    FSyncing = false;
}

bool TMyCustomGrid::SelectCell(int col, int row) {
    bool canSelect = true;
    if (OnSelectCell) OnSelectCell(this, col, row, canSelect);
    return canSelect;
}

void TMyCustomGrid::CurrentCellMoved(int, int) {}

void TMyCustomGrid::ColumnMoved(int, int) {}

bool TMyCustomGrid::FocusCell(int col, int row, bool moveAnchor) {
    if (FRowCount < 2 || FColCount < 1) return false;
    col = std::clamp(col, 0, FColCount - 1);
    row = std::clamp(row, 1, FRowCount - 1);
    if (!SelectCell(col, row)) return false;
    const int oldCol = FCol, oldRow = FRow;
    FCol = col;
    FRow = row;
    if (moveAnchor || !HasOption(goRangeSelect)) {
        FAnchorCol = col;
        FAnchorRow = row;
    }
    FSelection = {std::min(FAnchorCol, col), std::min(FAnchorRow, row), std::max(FAnchorCol, col),
                  std::max(FAnchorRow, row)};
    WidenToRows();
    SyncCurrentToView();
    CurrentCellMoved(oldCol, oldRow);
    RepaintCells();
    if (AlwaysShowEditor() && !EditorMode()) ShowEditor();
    return true;
}

void TMyCustomGrid::ScrollToCurrent() {
    if (!FUpdating && FRow >= 1 && FRow < FRowCount) scrollTo(FModel->index(FRow - 1, FCol));
}

bool TMyCustomGrid::SelectedLook(TGridDrawState state) const {
    return (state & gdSelected) && !(state & gdFixed) &&
           (!(state & gdFocused) || HasOption(goDrawFocusSelected) || HasOption(goRowSelect));
}

TGridDrawState TMyCustomGrid::CellState(int col, int row) const {
    if (row == 0) return gdFixed;
    TGridDrawState s = 0;
    if (col == FCol && row == FRow && hasFocus()) s |= gdFocused;
    if (col >= FSelection.Left && col <= FSelection.Right && row >= FSelection.Top &&
        row <= FSelection.Bottom)
        s |= gdSelected;
    return s;
}

void TMyCustomGrid::DrawCell(QPainter* p, const QRect& rect, int col, int row,
                             TGridDrawState state) {
    QColor back = palette().color(QPalette::Base);
    QColor text = palette().color(QPalette::Text);
    if (state & gdFixed) {
        back = QColor::fromRgb(FixedColor);
        text = Qt::black;
    } else if (SelectedLook(state)) {
        back = palette().color(QPalette::Highlight);
        text = palette().color(QPalette::HighlightedText);
    }
    p->fillRect(rect, back);
    p->setPen(text);
    p->setFont(font());
    p->drawText(rect.adjusted(2, 2, 0, 0), Qt::AlignLeft | Qt::AlignTop, CellText(col, row));
    if (OnDrawCell) OnDrawCell(this, col, row, rect, state);
}

void TMyCustomGrid::EditorCommitted(int col, int row, const QString& text) {
    if (text != CellText(col, row)) SetCellText(col, row, text);
}

void TMyCustomGrid::HeaderMousePress(QMouseEvent*, int) {}
void TMyCustomGrid::HeaderMouseRelease(QMouseEvent*, int) {}
void TMyCustomGrid::HeaderDoubleClick(QMouseEvent*, int) {}

void TMyCustomGrid::keyPressEvent(QKeyEvent* e) {
    const bool editing = EditorMode();
    if (editing) {
        const int k = e->key();
        if (k != Qt::Key_Up && k != Qt::Key_Down && k != Qt::Key_PageUp && k != Qt::Key_PageDown) {
            QTableView::keyPressEvent(e);
            return;
        }
    }
    const bool shift = e->modifiers() & Qt::ShiftModifier;
    const bool ctrl = e->modifiers() & Qt::ControlModifier;
    const bool rowSelect = HasOption(goRowSelect);
    int col = FCol, row = FRow;
    const int page = std::max(1, VisibleRowCount());
    switch (e->key()) {
    case Qt::Key_Up:
        row -= 1;
        break;
    case Qt::Key_Down:
        row += 1;
        break;
    case Qt::Key_Left:
        col -= 1;
        break;
    case Qt::Key_Right:
        col += 1;
        break;
    case Qt::Key_PageUp:
        row -= page;
        break;
    case Qt::Key_PageDown:
        row += page;
        break;
    case Qt::Key_Home:
        if (ctrl || rowSelect) row = 1;
        if (!rowSelect) col = 0;
        break;
    case Qt::Key_End:
        if (ctrl || rowSelect) row = FRowCount - 1;
        if (!rowSelect) col = FColCount - 1;
        break;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        if (!HasOption(goTabs)) {
            QTableView::keyPressEvent(e);
            return;
        }
        col += e->key() == Qt::Key_Tab && !shift ? 1 : -1;
        break;
    case Qt::Key_F2:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (HasOption(goEditing)) ShowEditor();
        e->accept();
        return;
    default:
        QTableView::keyPressEvent(e);
        return;
    }
    if (editing) {
        // Up and down leave the cell with its edit taken, where the editor may go.
        if (!EditorMayMoveTo(std::clamp(col, 0, std::max(0, FColCount - 1)),
                             std::clamp(row, 1, std::max(1, FRowCount - 1)))) {
            e->accept();
            return;
        }
        HideEditor();
    }
    FocusCell(col, row, !(shift && HasOption(goRangeSelect)));
    ScrollToCurrent();
    e->accept();
}

void TMyCustomGrid::mousePressEvent(QMouseEvent* e) {
    SettleEditorClick(false);
    setFocus(Qt::MouseFocusReason);
    int col, row;
    FPressWasCurrent = false;
    if (!MouseToCell(e->position().toPoint() + viewport()->pos(), col, row) || row < 1) return;
    if (e->button() == Qt::LeftButton) {
        FPressWasCurrent = col == FCol && row == FRow;
        const bool extend = (e->modifiers() & Qt::ShiftModifier) && HasOption(goRangeSelect);
        FocusCell(col, row, !extend);
    }
}

void TMyCustomGrid::mouseMoveEvent(QMouseEvent* e) {
    if (e->buttons() == Qt::LeftButton && HasOption(goRangeSelect)) {
        int col, row;
        if (MouseToCell(e->position().toPoint() + viewport()->pos(), col, row) && row >= 1 &&
            (col != FCol || row != FRow))
            FocusCell(col, row, false);
    }
}

void TMyCustomGrid::mouseReleaseEvent(QMouseEvent* e) {
    int col, row;
    if (FPressWasCurrent && e->button() == Qt::LeftButton && HasOption(goEditing) &&
        MouseToCell(e->position().toPoint() + viewport()->pos(), col, row) && col == FCol &&
        row == FRow)
        ShowEditor();
    FPressWasCurrent = false;
}

void TMyCustomGrid::mouseDoubleClickEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) return;
    if (OnDblClick) OnDblClick(this);
    if (HasOption(goEditing)) ShowEditor();
}

// ---------------------------------------------------------------- string grid

QStringList TMyStringGrid::Rows(int row) const {
    QStringList list;
    for (int c = 0; c < ColCount(); ++c)
        list << Cells(c, row);
    return list;
}

void TMyStringGrid::SetRows(int row, const QStringList& texts) {
    for (int c = 0; c < texts.size() && c < ColCount(); ++c)
        SetCells(c, row, texts[c]);
}

QStringList TMyStringGrid::Cols(int col) const {
    QStringList list;
    for (int r = 0; r < RowCount(); ++r)
        list << Cells(col, r);
    return list;
}
