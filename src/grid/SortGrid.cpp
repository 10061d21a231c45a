#include "SortGrid.h"

#include <QApplication>
#include <QKeyEvent>
#include <QListWidget>
#include <QMessageBox>
#include <QPainter>
#include <QScrollBar>
#include <QWindow>

std::function<void(const QString&)> TSortGrid::ShowMessage = [](const QString& text) {
    QMessageBox::warning(QApplication::activeWindow(), QApplication::applicationName(), text);
};

namespace {
constexpr QRgb FixedCellColor = 0xFFD4D0C8;
constexpr QRgb ButtonHighlight = 0xFFFFFFFF;
constexpr QRgb ButtonShadow = 0xFF808080;

} // namespace

TSortGrid::TSortGrid(QWidget* parent)
    : TMyStringGrid(parent), FThumbStyle(new TScrollThumbStyle(this)) {
    UpdateScrollBars();
    FComboList = new QListWidget(this);
    // A window of its own: a list wider than the cell may pass the edges of the grid's
    // window, and a click anywhere else closes it.
    FComboList->setWindowFlags(Qt::Popup);
    FComboList->setObjectName(QStringLiteral("ComboListBox"));
    FComboList->setSortingEnabled(true);
    FComboList->setFocusPolicy(Qt::ClickFocus);
    // Ten whole lines: a horizontal bar would take the place of the tenth.
    FComboList->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    FComboList->hide();
    FComboList->installEventFilter(this);
    FComboList->viewport()->installEventFilter(this);
    // The list stays where it opened: when the program loses the focus it takes its value,
    // as a list that loses the focus does.
    connect(qApp, &QGuiApplication::focusWindowChanged, this, [this](QWindow* w) {
        if (!FComboList || !FComboList->isVisible()) return;
        if (w && (w == FComboList->windowHandle() || w == window()->windowHandle())) return;
        TakeComboValue(false);
    });
}

TSortGrid::~TSortGrid() {
    // Gone before the grid's children are: no event of its end may reach a half-destroyed grid.
    if (QWidget* w = FComboWindow) w->removeEventFilter(this);
    if (QListWidget* list = FComboList) {
        list->viewport()->removeEventFilter(this);
        list->removeEventFilter(this);
        delete list;
    }
}

// ---------------------------------------------------------------- glyphs

QImage TSortGrid::GlyphImage(TSortDirection direction) {
    // 8 x 7, an etched triangle on light grey: light edges white, dark edges grey.
    QImage img(8, 7, QImage::Format_RGB32);
    img.fill(QColor(192, 192, 192));
    const QRgb white = qRgb(255, 255, 255), dark = qRgb(128, 128, 128);
    for (int y = 0; y < 7; ++y) {
        // Row y of the upward triangle spans columns [3 - y/2 .. 4 + y/2].
        const int half = y / 2;
        const int l = 3 - half, r = 4 + half;
        const int py = direction == sdAscending ? y : 6 - y;
        if (direction == sdAscending) {
            img.setPixel(l, py, white);
            img.setPixel(r, py, dark);
            if (y == 6)
                for (int x = l; x <= r; ++x)
                    img.setPixel(x, py, dark);
        } else {
            img.setPixel(l, py, white);
            img.setPixel(r, py, dark);
            if (y == 6)
                for (int x = l; x <= r; ++x)
                    img.setPixel(x, py, white);
        }
    }
    return img;
}

// ---------------------------------------------------------------- properties

void TSortGrid::SetHideRows(bool value) {
    FHideRows = value;
    if (RowCount() > 1) FocusCell(Col(), 1, true);
    RepaintCells();
}

void TSortGrid::SetMultiSelect(bool value) {
    FMultiSelect = value;
    if (value) SetOptions(Options() | goRowSelect);
}

void TSortGrid::SetUserSettings(const QStringList& value) {
    SetModified(true);
    FUserSettings = value;
}

void TSortGrid::SetAlignmentHorz(TAlignment value) {
    FAlignmentHorz = value;
    RepaintCells();
}

void TSortGrid::SetAlignmentVert(TVertAlignment value) {
    FAlignmentVert = value;
    RepaintCells();
}

void TSortGrid::SetBevelStyle(TCellBevelStyle value) {
    FBevelStyle = value;
    RepaintCells();
}

void TSortGrid::SetProportionalScrollBars(bool value) {
    FProportionalScrollBars = value;
    UpdateScrollBars();
}

void TSortGrid::UpdateScrollBars() {
    FThumbStyle->Apply(verticalScrollBar(), !FProportionalScrollBars);
    FThumbStyle->Apply(horizontalScrollBar(), !FProportionalScrollBars);
}

void TSortGrid::ColWidthsChanged() {
    UpdateScrollBars();
    if (OnColumnWidthsChanged) OnColumnWidthsChanged(this);
}

void TSortGrid::RowHeightsChanged() {
    UpdateScrollBars();
    if (OnRowHeightsChanged) OnRowHeightsChanged(this);
}

void TSortGrid::SetModified(bool value) {
    FModified = value;
    if (value && OnModified) OnModified(this);
}

// ---------------------------------------------------------------- update bracket

void TSortGrid::BeginUpdate() {
    if (NowUpdating()) return;
    // Size changes while the bracket is open must never start a nested sort.
    FSavedUpdateOnSizeChange = FSortOptions.UpdateOnSizeChange;
    FSortOptions.UpdateOnSizeChange = false;
    TMyStringGrid::BeginUpdate();
}

void TSortGrid::EndUpdate() {
    if (!NowUpdating()) return;
    FSortOptions.UpdateOnSizeChange = FSavedUpdateOnSizeChange;
    TMyStringGrid::EndUpdate();
    if (OnEndUpdate) OnEndUpdate(this);
}

// ---------------------------------------------------------------- sorting

TSortStyle TSortGrid::DetectSortStyle(int col) const {
    QStringList texts;
    for (int r = 1; r < RowCount(); ++r)
        texts << Cells(col, r);
    if (texts.isEmpty()) return ssNumeric;
    return SortRules::DetectSortStyle(texts, TSortLocale::From());
}

void TSortGrid::SortByColumn(int col) {
    if (!FSortOptions.CanSort || col < 0 || col >= ColCount()) return;
    FSortOptions.SortCol = col;
    FSorting = true;
    const bool opened = !NowUpdating();
    BeginUpdate();
    if (OnBeginSort) OnBeginSort(this, col);
    const QStringList selected = FSelectedRows;

    std::function<void(int, TSortStyle&)> getStyle;
    if (OnGetSortStyle)
        getStyle = [this](int k, TSortStyle& style) { OnGetSortStyle(this, k, style); };
    const std::vector<int> order = SortOrder(
        RowCount(), ColCount(), col, FSortOptions,
        [this](int row, int c) { return CellText(c, row); }, getStyle, TSortLocale::From());

    // Write back: row p + 1 takes the former row order[p], texts and objects together.
    std::vector<RowData> rows(order.size());
    for (size_t p = 0; p < order.size(); ++p)
        rows[p] = std::move(FStore[order[p]]);
    for (size_t p = 0; p < order.size(); ++p)
        FStore[p + 1] = std::move(rows[p]);

    // The selection follows its rows.
    std::vector<bool> wasSelected(order.size() + 1);
    for (const QString& r : selected)
        if (const int row = r.toInt(); row >= 1 && row <= static_cast<int>(order.size()))
            wasSelected[row] = true;
    bool first = true;
    for (size_t p = 0; p < order.size(); ++p) {
        if (!wasSelected[order[p]]) continue;
        const QString newRow = QString::number(p + 1);
        if (first) {
            FocusCell(Col(), static_cast<int>(p) + 1, true);
            FSelectedRows.clear();
            FSelectionOrder.clear();
            first = false;
        }
        FSelectedRows << newRow;
        FSelectionOrder << newRow;
    }

    FSorting = false;
    FSortOptions.SortCompare = nullptr;
    if (OnEndSort) OnEndSort(this, col);
    if (opened) EndUpdate();
}

// ---------------------------------------------------------------- rows and columns

int TSortGrid::FindRow(int col, const QString& text, bool ignoreCase) const {
    if (col < 0 || col >= ColCount()) return -1;
    const QString wanted = ignoreCase ? SortRules::FoldAscii(text) : text;
    const int last = RowCount() + FHiddenRowCount - 1;
    for (int r = 1; r <= last; ++r) {
        const QString cell = CellText(col, r);
        if ((ignoreCase ? SortRules::FoldAscii(cell) : cell) == wanted) return r;
    }
    return -1;
}

void TSortGrid::Clear() {
    const bool opened = !NowUpdating();
    BeginUpdate();
    FRow = 1;
    FSelectedRows.clear();
    FSelectionOrder = QStringList{QStringLiteral("1")};
    // Rows hidden by a filter and rows beyond RowCount go too: nothing comes back after Clear.
    FStore.resize(2);
    FStore[1] = RowData{};
    FHiddenRowCount = 0;
    FModified = false;
    SetRowCount(2);
    FAnchorRow = 1;
    FSelection = {FCol, 1, FCol, 1};
    WidenToRows();
    AutoSizeColumns(true);
    if (opened) EndUpdate();
    if (OnRowSelected) OnRowSelected(this);
}

void TSortGrid::InsertRow(int row) {
    // Row 0 counts as "after the header"; beyond the last row is out of range.
    const int oldCount = RowCount();
    if (row < 0 || row > std::max(1, oldCount - 1)) return;
    const int newCount = std::max(oldCount + 1, 2);
    const int newRow = row < oldCount - 1 ? std::max(row, 1) : newCount - 1;
    // The re-sort of a size change waits until the new row is in place: sorting
    // first would make a data row "the new last row" and empty it.
    const bool resort = FSortOptions.UpdateOnSizeChange && !NowUpdating();
    FSortOptions.UpdateOnSizeChange = false;
    SetRowCount(newCount);
    FSortOptions.UpdateOnSizeChange = resort || FSortOptions.UpdateOnSizeChange;
    for (int c = 0; c < ColCount(); ++c)
        SetCellText(c, newCount - 1, QString());
    MoveRowData(newCount - 1, newRow);
    ApplyRowSizes();
    FocusCell(Col(), newRow, true);
    SelectOnly(newRow);
    int at = newRow;
    if (resort) {
        SortByColumn(FSortOptions.SortCol); // the selection follows the new row
        at = Row();
    }
    RepaintCells();
    if (OnRowInsert) OnRowInsert(this, at);
}

void TSortGrid::DeleteRow(int row) {
    if (row < 1 || row >= RowCount()) return;
    SetModified(true);
    const bool always = HasOption(goAlwaysShowEditor);
    if (always) SetOptions(Options() & ~goAlwaysShowEditor);
    if (RowCount() < 3) {
        for (int c = 0; c < ColCount(); ++c)
            SetCellText(c, 1, QString());
    } else {
        MoveRowData(row, RowCount() - 1);
        // The deleted row leaves the store, so it never comes back when the count grows
        // (with rows hidden by a filter, cutting the count removes it).
        if (FHiddenRowCount == 0) FStore.erase(FStore.begin() + RowCount() - 1);
        SetRowCount(RowCount() - 1);
        RepaintCells();
    }
    if (always) SetOptions(Options() | goAlwaysShowEditor);
    if (OnRowDelete) OnRowDelete(this, row);
}

void TSortGrid::InsertColumn(int col) {
    if (col < 0 || col > ColCount()) return;
    SetColCount(ColCount() + 1);
    const int last = ColCount() - 1;
    // Stored rows beyond RowCount too: nothing of a former column may come back.
    for (int r = 0; r < static_cast<int>(FStore.size()); ++r)
        SetCellText(last, r, QString());
    MoveColumnData(last, col);
    if (col != last) {
        int& sc = FSortOptions.SortCol; // the sort column stays on its column
        if (sc >= col && sc < last) ++sc;
    }
    ApplyColumnSizes();
    FocusCell(col, Row(), true);
    if (OnColumnInsert) OnColumnInsert(this, col);
}

void TSortGrid::DeleteColumn(int col) {
    if (col < 0 || col >= ColCount()) return;
    for (int r = 0; r < RowCount(); ++r)
        SetCellText(col, r, QString());
    const bool always = HasOption(goAlwaysShowEditor);
    if (always) SetOptions(Options() & ~goAlwaysShowEditor);
    MoveColumnData(col, ColCount() - 1);
    ColumnMoved(col, ColCount() - 1);
    SetColCount(ColCount() - 1);
    if (always) SetOptions(Options() | goAlwaysShowEditor);
    if (OnColumnDelete) OnColumnDelete(this, col);
}

void TSortGrid::MoveRow(int fromIndex, int toIndex) {
    if (fromIndex < 1 || toIndex < 1 || fromIndex >= RowCount() || toIndex >= RowCount()) return;
    const bool always = HasOption(goAlwaysShowEditor);
    if (always) SetOptions(Options() & ~goAlwaysShowEditor);
    MoveRowData(fromIndex, toIndex);
    ApplyRowSizes();
    RepaintCells();
    if (always) SetOptions(Options() | goAlwaysShowEditor);
}

void TSortGrid::MoveColumn(int fromIndex, int toIndex) {
    if (fromIndex < 0 || toIndex < 0 || fromIndex >= ColCount() || toIndex >= ColCount()) return;
    const bool always = HasOption(goAlwaysShowEditor);
    if (always) SetOptions(Options() & ~goAlwaysShowEditor);
    MoveColumnData(fromIndex, toIndex);
    ApplyColumnSizes();
    ColumnMoved(fromIndex, toIndex);
    RepaintCells();
    if (always) SetOptions(Options() | goAlwaysShowEditor);
}

void TSortGrid::ColumnMoved(int from, int to) {
    int& sc = FSortOptions.SortCol;
    if (from == sc)
        sc = to;
    else if (to <= sc && sc <= from)
        sc += 1;
    else if (from <= sc && sc <= to)
        sc -= 1;
    SetModified(true);
}

void TSortGrid::RowMoved(int, int) {
    SetModified(true);
}

void TSortGrid::SwapRows(int a, int b) {
    if (a < 1 || b < 1 || a >= RowCount() || b >= RowCount()) return;
    if (a < b) {
        MoveRow(b, a);
        MoveRow(a + 1, b);
    } else if (b < a) {
        MoveRow(a, b);
        MoveRow(b + 1, a);
    }
}

bool TSortGrid::IsRowEmpty(int row) const {
    for (int c = 0; c < ColCount(); ++c)
        if (!CellText(c, row).isEmpty()) return false;
    return true;
}

void TSortGrid::InvalidateRow(int row) {
    if (row == 0)
        Header()->viewport()->update();
    else if (row >= 1 && row < RowCount())
        viewport()->update(
            QRect(0, rowViewportPosition(row - 1), viewport()->width(), RowHeights(row) + 1));
}

void TSortGrid::InvalidateColumn(int col) {
    if (col < 0 || col >= ColCount()) return;
    viewport()->update(
        QRect(columnViewportPosition(col), 0, columnWidth(col), viewport()->height()));
    Header()->viewport()->update();
}

// ---------------------------------------------------------------- size change and moves

void TSortGrid::SizeChanged(int oldColCount, int oldRowCount) {
    TMyStringGrid::SizeChanged(oldColCount, oldRowCount);
    SetModified(true);
    if (FSortOptions.UpdateOnSizeChange) SortByColumn(FSortOptions.SortCol);
    GoToCell(0, 1, true);
    if (RowCount() < 2 && ShowMessage) ShowMessage(QStringLiteral("Rowsize too small"));
    if (OnSizeChanged) OnSizeChanged(this, oldColCount, oldRowCount);
}

void TSortGrid::RowCountChanging(int oldCount, int newCount) {
    if (FHiddenRowCount == 0 || newCount < 1) return;
    // Rows hidden by a filter stay right behind RowCount: new rows come in front of
    // them, and rows cut off leave the store instead of taking their place.
    StoreRow(oldCount + FHiddenRowCount - 1);
    if (newCount > oldCount)
        FStore.insert(FStore.begin() + oldCount, newCount - oldCount, RowData{});
    else
        FStore.erase(FStore.begin() + newCount, FStore.begin() + oldCount);
}

void TSortGrid::GoToCell(int col, int row, bool scroll) {
    if (RowCount() < 2 || ColCount() < 1) return;
    col = std::clamp(col, 0, ColCount() - 1);
    row = std::clamp(row, 1, RowCount() - 1);
    if (!FocusCell(col, row, true)) return;
    SelectOnly(row);
    if (scroll) ScrollToCell(col, row);
}

void TSortGrid::ScrollToCell(int col, int row) {
    if (RowCount() < 2 || ColCount() < 1) return;
    col = std::clamp(col, 0, ColCount() - 1);
    row = std::clamp(row, 1, RowCount() - 1);
    if (!isColumnHidden(col)) {
        const int vx = columnViewportPosition(col);
        if (vx < 0 || vx + columnWidth(col) > viewport()->width())
            scrollTo(model()->index(std::max(0, TopRow() - 1), col));
    }
    const int l = std::max(1, RowCount() - VisibleRowCount());
    SetTopRow(l < row ? l : (row < 2 ? 1 : row - 1));
}

void TSortGrid::resizeEvent(QResizeEvent* e) {
    TMyStringGrid::resizeEvent(e);
    FillLastColumn();
    UpdateScrollBars();
}

void TSortGrid::FillLastColumn() {
    const int last = ColCount() - 1;
    if (last < 0 || ColWidths(last) < 0 || NowUpdating()) return;
    // Only when everything from LeftCol on is in view: the last column takes the rest.
    int used = 0;
    for (int c = LeftCol(); c < last; ++c)
        if (ColWidths(c) >= 0) used += ColWidths(c) + 1;
    const int room = ClientWidth();
    if (used + ColWidths(last) + 1 > room) return;
    const int w = room - used - 1;
    if (w > 0) SetColWidths(last, w);
}

bool TSortGrid::EditorMayMoveTo(int col, int row) {
    const TSpecialCell kind = SpecialCell(col, row);
    return kind != scCheckBox && kind != scComboBox;
}

bool TSortGrid::SelectCell(int col, int row) {
    if (EditorMode() && !EditorMayMoveTo(col, row)) return false;
    return TMyStringGrid::SelectCell(col, row);
}

// ---------------------------------------------------------------- selection

void TSortGrid::SelectOnly(int row) {
    // The whole order list: a stale later entry could make an unselected row current.
    FSelectedRows = QStringList{QString::number(row)};
    FSelectionOrder = FSelectedRows;
}

void TSortGrid::CurrentCellMoved(int oldCol, int oldRow) {
    TMyStringGrid::CurrentCellMoved(oldCol, oldRow);
    if (!FSelectOnCellChange) return;
    const QStringList before = FSelectedRows;
    SelectOnly(Row());
    // Both callers repaint the grid afterwards.
    if (FSelectedRows != before && OnRowSelected) OnRowSelected(this);
}

bool TSortGrid::IsRowSelected(int row) const {
    return FSelectedRows.contains(QString::number(row));
}

void TSortGrid::ClearSelection() {
    RepaintCells();
    FSelectedRows.clear();
    FSelectionOrder = QStringList{QString()};
}

void TSortGrid::SelectRowsOfSelection() {
    FSelectedRows.clear();
    FSelectionOrder.clear();
    const TGridRect s = Selection();
    for (int r = s.Top; r <= s.Bottom; ++r) {
        FSelectedRows << QString::number(r);
        FSelectionOrder << QString::number(r);
    }
    RepaintCells();
}

// ---------------------------------------------------------------- cell format and drawing

TFormatOptions TSortGrid::CellFormat(int col, int row, TGridDrawState state, TSpecialCell* kind) {
    TFormatOptions fo;
    if (state & gdFixed) {
        fo.Brush = QColor::fromRgb(FixedCellColor);
        fo.FontColor = Qt::black;
    } else if (SelectedLook(state)) {
        fo.Brush = palette().color(QPalette::Highlight);
        fo.FontColor = palette().color(QPalette::HighlightedText);
    } else {
        fo.Brush = palette().color(QPalette::Base);
        fo.FontColor = palette().color(QPalette::Text);
    }
    fo.Font = font();
    fo.AlignmentHorz = FAlignmentHorz;
    fo.AlignmentVert = FAlignmentVert;
    fo.BevelStyle = FBevelStyle;
    switch (FBevelStyle) {
    case cbRaised:
        fo.HighlightColor = QColor::fromRgb(ButtonHighlight);
        fo.ShadowColor = QColor::fromRgb(ButtonShadow);
        break;
    case cbLowered:
        fo.HighlightColor = QColor::fromRgb(ButtonShadow);
        fo.ShadowColor = QColor::fromRgb(ButtonHighlight);
        break;
    case cbNone:
        fo.HighlightColor = fo.ShadowColor = palette().color(QPalette::Base);
        break;
    }
    bool cb = false, combo = false, ellipsis = false;
    if (OnGetCellFormat) OnGetCellFormat(this, col, row, state, fo, cb, combo, ellipsis);
    if (cb) fo.HideText = true;
    if (kind) *kind = cb ? scCheckBox : combo ? scComboBox : ellipsis ? scEllipsis : scNone;
    return fo;
}

TSpecialCell TSortGrid::SpecialCell(int col, int row) {
    if (row < 1 || row >= RowCount() || col < 0 || col >= ColCount() || !OnGetCellFormat)
        return scNone;
    TSpecialCell kind = scNone;
    CellFormat(col, row, CellState(col, row), &kind);
    return kind;
}

QString TSortGrid::ShortenedCaption(int col, const QFontMetrics& fm) const {
    QString text = CellText(col, 0);
    const bool sortCol = FSortOptions.CanSort && col == FSortOptions.SortCol;
    const int room = ColWidths(col) - (sortCol ? 12 : 1);
    if (fm.horizontalAdvance(text) <= room || text.size() < 2) return text;
    text.replace(text.size() - 2, 2, QStringLiteral(".."));
    while (fm.horizontalAdvance(text) > room && text.size() > 3) {
        text.chop(1);
        text.replace(text.size() - 2, 2, QStringLiteral(".."));
    }
    return text;
}

void TSortGrid::DrawCell(QPainter* p, const QRect& rect, int col, int row, TGridDrawState state) {
    const bool dataRow = row >= 1;
    if (dataRow && (NowUpdating() || FHideRows)) {
        p->fillRect(QRect(rect.left(), rect.top(), rect.width() + width() + 1, rect.height() + 1),
                    SelectedLook(state) ? palette().color(QPalette::Highlight)
                                        : palette().color(QPalette::Base));
        return;
    }
    TSpecialCell kind = scNone;
    TFormatOptions fo = CellFormat(col, row, state, &kind);
    if (dataRow &&
        ((HasOption(goRangeSelect) && row >= Selection().Top && row <= Selection().Bottom) ||
         (FMultiSelect && IsRowSelected(row) && !HasOption(goEditing)))) {
        fo.FontColor = palette().color(QPalette::HighlightedText);
        fo.Brush = palette().color(QPalette::Highlight);
    }
    const QFontMetrics fm(fo.Font);
    const QString text = row == 0 ? ShortenedCaption(col, fm) : CellText(col, row);
    const int tw = fm.horizontalAdvance(text), th = fm.height();
    int dx = 2, dy = 2;
    if (fo.AlignmentHorz == taRightJustify)
        dx = rect.width() - tw - 2;
    else if (fo.AlignmentHorz == taCenter)
        dx = (rect.width() - tw) / 2;
    if (fo.AlignmentVert == taBottomJustify)
        dy = rect.height() - th - 3;
    else if (fo.AlignmentVert == taMiddle)
        dy = (rect.height() - th) / 2;
    const bool sortHeader = row == 0 && FSortOptions.CanSort && col == FSortOptions.SortCol;
    if (sortHeader) dx += 10;

    p->fillRect(rect, fo.Brush);
    if (!fo.HideText) {
        p->save();
        p->setClipRect(rect);
        p->setFont(fo.Font);
        p->setPen(fo.FontColor);
        p->drawText(QPoint(rect.left() + dx, rect.top() + dy + fm.ascent()), text);
        p->restore();
    }
    if (sortHeader) {
        const int w = rect.width() <= 10 ? rect.width() - 3 : 8;
        if (w > 0)
            p->drawImage(QPoint(rect.left() + 3, rect.top() + RowHeights(0) / 2 - 4),
                         GlyphImage(FSortOptions.SortDirection), QRect(0, 0, w, 7));
    }
    if (dataRow && kind != scNone) DrawSpecialCell(p, rect, col, row, kind);
    if (dataRow && fo.BevelStyle != cbNone) {
        if (HasOption(goFixedVertLine)) {
            p->setPen(fo.ShadowColor);
            p->drawLine(rect.right() - 1, rect.top(), rect.right() - 1, rect.bottom());
            p->setPen(fo.HighlightColor);
            p->drawLine(rect.left(), rect.top(), rect.left(), rect.bottom());
        }
        if (HasOption(goFixedHorzLine)) {
            p->setPen(fo.ShadowColor);
            p->drawLine(rect.left(), rect.bottom() - 1, rect.right(), rect.bottom() - 1);
            p->setPen(fo.HighlightColor);
            p->drawLine(rect.left(), rect.top(), rect.right(), rect.top());
        }
    }
    if (OnDrawCell) OnDrawCell(this, col, row, rect, state);
}

void TSortGrid::AutoSizeColumn(int col, bool force) {
    if (col < 0 || col >= ColCount() || (ColWidths(col) == -1 && !force)) return;
    int widest = 0;
    QFont lastFont;
    for (int r = 0; r < RowCount(); ++r) {
        const TFormatOptions fo = CellFormat(col, r, r == 0 ? TGridDrawState(gdFixed) : 0u);
        const QFontMetrics fm(fo.Font);
        int w = fm.horizontalAdvance(CellText(col, r));
        if (r == 0 && FSortOptions.CanSort && col == FSortOptions.SortCol) w += 12;
        widest = std::max(widest, w);
        lastFont = fo.Font;
    }
    const QFontMetrics fm(lastFont);
    SetColWidths(col, widest == 0 ? fm.horizontalAdvance(QStringLiteral("xx"))
                                  : fm.horizontalAdvance(QStringLiteral("X")) + widest);
}

void TSortGrid::AutoSizeColumns(bool force) {
    const bool opened = !NowUpdating();
    BeginUpdate();
    for (int c = 0; c < ColCount(); ++c)
        AutoSizeColumn(c, force);
    if (opened) EndUpdate();
}

// ---------------------------------------------------------------- header mouse

void TSortGrid::HeaderMousePress(QMouseEvent*, int col) {
    FPressCol = col;
    FPressRow = 0;
}

void TSortGrid::HeaderMouseRelease(QMouseEvent* e, int col) {
    if (FDragging) return;
    setFocus(Qt::MouseFocusReason);
    const int pressCol = FPressCol, pressRow = FPressRow;
    FPressCol = FPressRow = -1;
    if (col < 0 || pressRow != 0 || col != pressCol) return;
    const int y = e->position().toPoint().y();
    if (y < 0 || y >= Header()->height()) return; // released outside the header row
    const int x = e->position().toPoint().x();
    const int left = Header()->sectionViewportPosition(col);
    const int right = left + ColWidths(col);
    if (x - left <= 5 || right - x <= 5) return; // the resize zones at both edges
    TSortDirection dir = (FSortOptions.SortDirection == sdAscending && FSortOptions.SortCol == col)
                             ? sdDescending
                             : sdAscending;
    if (e->button() == Qt::RightButton) dir = sdDescending;
    FSortOptions.SortDirection = dir;
    SortByColumn(col);
}

void TSortGrid::HeaderDoubleClick(QMouseEvent* e, int) {
    if (e->button() != Qt::LeftButton) return;
    {
        const int x = e->position().toPoint().x();
        for (int c = 0; c < ColCount(); ++c) {
            if (isColumnHidden(c)) continue;
            const int right = Header()->sectionViewportPosition(c) + ColWidths(c);
            if (std::abs(x - right) <= 3) {
                AutoSizeColumn(c, true);
                break;
            }
        }
    }
    if (OnDblClick) OnDblClick(this);
}

// ---------------------------------------------------------------- data area mouse

void TSortGrid::mousePressEvent(QMouseEvent* e) {
    int col = -1, row = -1;
    const QPoint wp = e->position().toPoint() + viewport()->pos();
    const bool hit = MouseToCell(wp, col, row);
    if (!hit) {
        // A press below the last row counts as the last row.
        col = columnAt(e->position().toPoint().x());
        row = RowCount() - 1;
    }
    HideComboBox();
    FPopupCol = FPopupRow = -1;
    const bool refused = EditorMode() && hit && row >= 1 && !EditorMayMoveTo(col, row);
    SettleEditorClick(refused);
    if (refused) {
        // The editor stays open; the release must not tick or open the cell either.
        FPressCol = FPressRow = -1;
        FPressRefused = true;
        e->accept();
        return;
    }
    FPressCol = col;
    FPressRow = row;
    FPressOnData = row >= 1;
    if (row >= 1 && IsRowSelected(row)) FDragOrigin = e->position().toPoint();
    if (FMultiSelect && !EditorMode() && hit && row >= 1) {
        if (e->button() == Qt::LeftButton && e->modifiers() == Qt::NoModifier &&
            !IsRowSelected(row)) {
            SetOptions(Options() & ~goRangeSelect);
            setFocus(Qt::MouseFocusReason);
            FSelectOnCellChange = false;
            FocusCell(col, row, true);
            FSelectOnCellChange = true;
            SelectOnly(row);
            if (OnRowSelected) OnRowSelected(this);
            return;
        }
        if (!(HasOption(goRangeSelect) && e->button() == Qt::LeftButton &&
              (e->modifiers() & Qt::ShiftModifier))) {
            setFocus(Qt::MouseFocusReason);
            return;
        }
    }
    if (hit)
        TMyStringGrid::mousePressEvent(e);
    else
        setFocus(Qt::MouseFocusReason);
}

void TSortGrid::mouseMoveEvent(QMouseEvent* e) {
    if (e->buttons() == Qt::LeftButton && FDragOrigin.x() != -1) {
        const QPoint d = e->position().toPoint() - FDragOrigin;
        if (std::abs(d.x()) > 10 || std::abs(d.y()) > 10) {
            FDragOrigin = QPoint(-1, 0);
            FDragging = true;
            if (OnStartDrag) OnStartDrag(this);
            FDragging = false;
            return;
        }
    }
    TMyStringGrid::mouseMoveEvent(e);
}

void TSortGrid::mouseReleaseEvent(QMouseEvent* e) {
    if (FDragging) return;
    if (FPressRefused) {
        FPressRefused = false;
        e->accept();
        return;
    }
    FDragOrigin = QPoint(-1, 0);
    setFocus(Qt::MouseFocusReason);
    TMyStringGrid::mouseReleaseEvent(e);
    int col = -1, row = -1;
    const bool hit = MouseToCell(e->position().toPoint() + viewport()->pos(), col, row);
    if (e->button() == Qt::RightButton && PopupMenu && (!hit || row != 0)) {
        FPopupCol = FPressCol;
        FPopupRow = hit ? row : FPressRow; // below the last row: the last row, as pressed
        PopupMenu->popup(e->globalPosition().toPoint());
    }
    if (hit && row >= 1 && e->button() == Qt::LeftButton && col == FPressCol && row == FPressRow)
        SpecialCellClick(col, row, e->position().toPoint().x());
    if (FMultiSelect && !EditorMode() && hit && row >= 1 && FPressOnData &&
        e->button() == Qt::LeftButton) {
        const Qt::KeyboardModifiers mods = e->modifiers();
        const QString r = QString::number(row);
        const QStringList before = FSelectedRows;
        if (mods & Qt::ControlModifier) {
            if (!IsRowSelected(row)) {
                FSelectedRows << r;
                FSelectionOrder << r;
                FSelectOnCellChange = false;
                FocusCell(col, row, true);
                FSelectOnCellChange = true;
            } else if (FSelectedRows.size() > 1) {
                FSelectedRows.removeAll(r);
                FSelectionOrder.removeAll(r);
                // The current row goes to the latest chosen row that is still selected.
                int next = FSelectedRows.last().toInt();
                for (auto it = FSelectionOrder.crbegin(); it != FSelectionOrder.crend(); ++it)
                    if (FSelectedRows.contains(*it)) {
                        next = it->toInt();
                        break;
                    }
                FSelectOnCellChange = false;
                FocusCell(col, next, true);
                FSelectOnCellChange = true;
            }
            SetOptions(Options() & ~goRangeSelect);
        } else if (mods & Qt::ShiftModifier) {
            SelectRowsOfSelection();
        } else {
            FSelectOnCellChange = false;
            FocusCell(col, row, true);
            FSelectOnCellChange = true;
            SelectOnly(row);
            SetOptions(Options() & ~goRangeSelect);
        }
        RepaintCells();
        if (FSelectedRows != before && OnRowSelected) OnRowSelected(this);
    }
    FPressOnData = false;
}

void TSortGrid::wheelEvent(QWheelEvent* e) {
    // Touchpads and smooth wheels send parts of a notch: they add up.
    const int delta = e->angleDelta().y();
    if ((delta < 0) != (FWheelRest < 0)) FWheelRest = 0;
    FWheelRest += delta;
    const int notches = FWheelRest / 120;
    FWheelRest -= notches * 120;
    for (int i = 0; i < std::abs(notches); ++i)
        ScrollToCell(Col(), notches < 0 ? TopRow() + 2 : TopRow() - 2);
    e->accept();
}

// ---------------------------------------------------------------- keyboard

bool TSortGrid::TypeToFind(QChar c) {
    const QChar wanted =
        (c >= QLatin1Char('a') && c <= QLatin1Char('z')) ? QChar(c.unicode() - 32) : c;
    const int col = FSortOptions.SortCol;
    auto matches = [&](int r) {
        const QString t = CellText(col, r);
        if (t.isEmpty()) return false;
        QChar f = t.at(0);
        if (f >= QLatin1Char('a') && f <= QLatin1Char('z')) f = QChar(f.unicode() - 32);
        return f == wanted;
    };
    for (int r = Row() + 1; r < RowCount(); ++r)
        if (matches(r)) {
            GoToCell(col, r, true);
            return true;
        }
    for (int r = 1; r <= Row() && r < RowCount(); ++r)
        if (matches(r)) {
            GoToCell(col, r, true);
            return true;
        }
    return false;
}

int TSortGrid::PopupRow() const {
    return FPopupRow >= 1 && FPopupRow < RowCount() ? FPopupRow : Row();
}

void TSortGrid::keyPressEvent(QKeyEvent* e) {
    FPopupCol = FPopupRow = -1;
    if (!EditorMode() && e->key() == Qt::Key_Space && e->modifiers() == Qt::NoModifier &&
        SpecialCell(Col(), Row()) != scNone) {
        e->accept(); // the special cell acts on the release
        return;
    }
    if (!EditorMode()) {
        const Qt::KeyboardModifiers mods = e->modifiers() & ~Qt::KeypadModifier;
        if (FExtendedKeys) {
            const bool ctrl = mods == Qt::ControlModifier;
            const bool ctrlShift = mods == (Qt::ControlModifier | Qt::ShiftModifier);
            if (e->key() == Qt::Key_Insert && ctrl) {
                InsertRow(Row());
                return;
            }
            if (e->key() == Qt::Key_Delete && ctrl) {
                if (RowCount() > 2) DeleteRow(Row());
                return;
            }
            if (e->key() == Qt::Key_Insert && ctrlShift) {
                InsertColumn(Col());
                return;
            }
            if (e->key() == Qt::Key_Delete && ctrlShift) {
                if (ColCount() > 1) DeleteColumn(Col());
                return;
            }
        }
        if (FMultiSelect) {
            if (e->key() == Qt::Key_Shift) {
                SetOptions(Options() | goRangeSelect);
                ClearSelection();
            } else {
                FSelectOnCellChange = false;
            }
        }
        const QString text = e->text();
        if (text.size() == 1 && text.at(0).isPrint() &&
            !(mods & (Qt::ControlModifier | Qt::AltModifier))) {
            TypeToFind(text.at(0));
            QChar up = text.at(0);
            if (up >= QLatin1Char('a') && up <= QLatin1Char('z')) up = QChar(up.unicode() - 32);
            QKeyEvent upper(e->type(), e->key(), e->modifiers(), QString(up), e->isAutoRepeat(),
                            e->count());
            TMyStringGrid::keyPressEvent(&upper);
            return;
        }
    }
    TMyStringGrid::keyPressEvent(e);
}

void TSortGrid::keyReleaseEvent(QKeyEvent* e) {
    if (!EditorMode() && e->key() == Qt::Key_Space && !e->isAutoRepeat() && SpecialCellKey()) {
        e->accept();
        return;
    }
    if (FMultiSelect && !EditorMode()) {
        const int k = e->key();
        if (k == Qt::Key_Shift) {
            if (FSelectedRows.isEmpty()) SelectRowsOfSelection();
        } else if (!(e->modifiers() & Qt::ShiftModifier) &&
                   (k == Qt::Key_Home || k == Qt::Key_End || k == Qt::Key_PageUp ||
                    k == Qt::Key_PageDown || k == Qt::Key_Up || k == Qt::Key_Down ||
                    k == Qt::Key_Left || k == Qt::Key_Right)) {
            SelectRowsOfSelection();
            SetOptions(Options() & ~goRangeSelect);
        }
        FSelectOnCellChange = true;
        if (OnRowSelected) OnRowSelected(this);
    }
    TMyStringGrid::keyReleaseEvent(e);
}
