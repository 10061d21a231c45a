#pragma once
// String grid base on Qt's model/view: a QTableView over a cell store of its own,
// with row 0 as the fixed header row drawn by a header view of ours. The public
// surface keeps the vocabulary of a classic string grid (Cells, ColCount,
// RowCount, ColWidths with -1 for a hidden column, Options, Col, Row, Selection,
// TopRow, the update bracket), so the owner never sees model indexes.
#include <QHeaderView>
#include <QStyledItemDelegate>
#include <QTableView>
#include <functional>
#include <vector>

enum TGridOption : uint32_t {
    goFixedVertLine = 1 << 0,
    goFixedHorzLine = 1 << 1,
    goVertLine = 1 << 2,
    goHorzLine = 1 << 3,
    goRangeSelect = 1 << 4,
    goDrawFocusSelected = 1 << 5,
    goRowSizing = 1 << 6,
    goColSizing = 1 << 7,
    goRowMoving = 1 << 8,
    goColMoving = 1 << 9,
    goEditing = 1 << 10,
    goTabs = 1 << 11,
    goRowSelect = 1 << 12,
    goAlwaysShowEditor = 1 << 13,
    goThumbTracking = 1 << 14,
};
using TGridOptions = uint32_t;

enum TGridDrawStateFlag : uint32_t { gdSelected = 1, gdFocused = 2, gdFixed = 4 };
using TGridDrawState = uint32_t;

struct TGridRect {
    int Left = 0, Top = 0, Right = 0, Bottom = 0;
    bool operator==(const TGridRect&) const = default;
};

class TMyCustomGrid;

// Data rows 1..RowCount-1 of the grid as model rows 0..RowCount-2.
class TGridModel : public QAbstractTableModel {
public:
    explicit TGridModel(TMyCustomGrid* grid);
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    friend class TMyCustomGrid;
    TMyCustomGrid* FGrid;
};

// Row 0: the fixed header row, drawn cell by cell by the grid.
class TGridHeader : public QHeaderView {
public:
    TGridHeader(TMyCustomGrid* grid, Qt::Orientation orientation);

protected:
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;

private:
    TMyCustomGrid* FGrid;
};

// Draws data cells through the grid and runs the in-place editor.
class TGridDelegate : public QStyledItemDelegate {
public:
    explicit TGridDelegate(TMyCustomGrid* grid);
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override;
    void setEditorData(QWidget* editor, const QModelIndex& index) const override;
    void setModelData(QWidget* editor, QAbstractItemModel* model,
                      const QModelIndex& index) const override;
    void updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const override;

protected:
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    TMyCustomGrid* FGrid;
};

class TMyCustomGrid : public QTableView {
public:
    explicit TMyCustomGrid(QWidget* parent = nullptr);
    ~TMyCustomGrid() override;

    // --- counts and sizes
    int ColCount() const { return FColCount; }
    void SetColCount(int value);
    int RowCount() const { return FRowCount; }
    void SetRowCount(int value);
    int FixedRows() const { return 1; }
    int FixedCols() const { return 0; }
    int DefaultColWidth() const { return FDefaultColWidth; }
    void SetDefaultColWidth(int value);
    int DefaultRowHeight() const { return FDefaultRowHeight; }
    void SetDefaultRowHeight(int value);
    int ColWidths(int col) const;
    void SetColWidths(int col, int width);
    int RowHeights(int row) const;
    void SetRowHeights(int row, int height);
    int GridLineWidth() const { return 1; }
    // Width of the area the columns share (without the scroll bar).
    int ClientWidth() const;
    int ClientHeight() const;

    // --- options, current cell, selection, scrolling
    TGridOptions Options() const { return FOptions; }
    void SetOptions(TGridOptions value);
    bool HasOption(TGridOption o) const { return (FOptions & o) != 0; }
    int Col() const { return FCol; }
    void SetCol(int value) { FocusCell(value, FRow, true); }
    int Row() const { return FRow; }
    void SetRow(int value) { FocusCell(FCol, value, true); }
    TGridRect Selection() const { return FSelection; }
    // Moves the current cell to the rectangle's top left and selects the rectangle.
    void SetSelection(const TGridRect& value);
    int TopRow() const;
    void SetTopRow(int value);
    int LeftCol() const;
    void SetLeftCol(int value);
    int VisibleRowCount() const;
    int VisibleColCount() const;
    // Grid cell at a point of the viewport or header; false outside the cells.
    bool MouseToCell(QPoint widgetPos, int& col, int& row) const;
    QRect CellRect(int col, int row) const; // in widget coordinates
    bool EditorMode() const { return state() == QAbstractItemView::EditingState; }
    void ShowEditor();
    // Takes the edit into the cell and closes the editor.
    void HideEditor();
    bool AlwaysShowEditor() const;
    void keyboardSearch(const QString&) override {} // type-to-find is the grid's own

    // --- cell store (texts of rows beyond RowCount stay stored)
    QString CellText(int col, int row) const;
    void SetCellText(int col, int row, const QString& text);
    QObject* CellObject(int col, int row) const;
    void SetCellObject(int col, int row, QObject* object);

    // --- update bracket (does not nest)
    virtual void BeginUpdate();
    virtual void EndUpdate();
    bool NowUpdating() const { return FUpdating; }

    std::function<void(QObject* sender, int col, int row, bool& canSelect)> OnSelectCell;
    std::function<void(QObject* sender, int col, int row, const QRect& rect, TGridDrawState state)>
        OnDrawCell;
    std::function<void(QObject* sender)> OnDblClick;
    std::function<void(QObject* sender)> OnBeginUpdate;

    // Called by the delegate and the header.
    virtual void DrawCell(QPainter* p, const QRect& rect, int col, int row, TGridDrawState state);
    TGridDrawState CellState(int col, int row) const;
    // Whether a cell in this state is drawn in the selection colours.
    bool SelectedLook(TGridDrawState state) const;
    virtual void EditorCommitted(int col, int row, const QString& text);
    virtual void HeaderMousePress(QMouseEvent* e, int col);
    virtual void HeaderMouseRelease(QMouseEvent* e, int col);
    virtual void HeaderDoubleClick(QMouseEvent* e, int col);
    TGridHeader* Header() const { return FHeader; }
    // Fixed cells of the rows, shown for row moving and row sizing.
    TGridHeader* RowHeader() const { return FRowHeader; }

protected:
    // Asks OnSelectCell; a grid may add its own checks.
    virtual bool SelectCell(int col, int row);
    // Whether the in-place editor may open on the cell; explicit is false for a typed key.
    virtual bool CanEditCell(int col, int row, bool explicitRequest);
    using QTableView::edit;
    bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;
    // Runs after a count change made outside the update bracket.
    virtual void SizeChanged(int oldColCount, int oldRowCount);
    // Runs before RowCount changes, inside the update bracket too.
    virtual void RowCountChanging(int oldCount, int newCount);
    // Whether the current cell may leave the active in-place editor for this cell.
    virtual bool EditorMayMoveTo(int col, int row);
    // A click into the grid took the focus from the editor: the editor closes with its edit
    // taken as on any focus loss, or keeps the focus when keep is true.
    void SettleEditorClick(bool keep);
    // The current cell really moved (after SelectCell agreed).
    virtual void CurrentCellMoved(int oldCol, int oldRow);
    virtual void ColumnMoved(int from, int to);
    // The user dragged a row by its fixed cell.
    virtual void RowMoved(int from, int to);
    // After any change of column widths or row heights (once per change).
    virtual void ColWidthsChanged();
    virtual void RowHeightsChanged();
    // Moves rows and columns of the store: the row's texts and objects move together.
    void MoveRowData(int from, int to);
    void MoveColumnData(int from, int to);

    // Moves the current cell there when SelectCell allows it; the anchor too unless extending.
    bool FocusCell(int col, int row, bool moveAnchor);
    void ScrollToCurrent();

    void keyPressEvent(QKeyEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;

    // With goRowSelect a selection spans every column.
    void WidenToRows();
    void ApplyColumnSizes();
    void ApplyRowSizes();
    void SyncCurrentToView();
    void RepaintCells();

    struct RowData {
        QStringList Cells;
        std::vector<QObject*> Objects;
    };
    std::vector<RowData> FStore;
    RowData& StoreRow(int row);

    TGridModel* FModel;
    TGridHeader* FHeader;
    TGridHeader* FRowHeader;
    TGridDelegate* FDelegate;
    int FColCount = 5;
    int FRowCount = 5;
    int FDefaultColWidth = 64;
    int FDefaultRowHeight = 24;
    std::vector<int> FColWidths;
    std::vector<int> FRowHeights;
    TGridOptions FOptions =
        goFixedVertLine | goFixedHorzLine | goVertLine | goHorzLine | goRangeSelect;
    int FCol = 0;
    int FRow = 1;
    int FAnchorCol = 0;
    int FAnchorRow = 1;
    TGridRect FSelection{0, 1, 0, 1};
    bool FUpdating = false;
    bool FSyncing = false;
    bool FPressWasCurrent = false;
    bool FEditorHeld = false; // the editor is closed on purpose: goAlwaysShowEditor waits
    bool FEditorClickPending = false; // see SettleEditorClick
    bool FWidthsPending = false;
    bool FHeightsPending = false;
    friend class TGridModel;
    friend class TGridHeader;
    friend class TGridDelegate;
};

class TMyDrawGrid : public TMyCustomGrid {
public:
    using TMyCustomGrid::TMyCustomGrid;
    bool DefaultDrawing = true;
};

class TMyStringGrid : public TMyDrawGrid {
public:
    using TMyDrawGrid::TMyDrawGrid;

    QString Cells(int col, int row) const { return CellText(col, row); }
    void SetCells(int col, int row, const QString& text) { SetCellText(col, row, text); }
    QObject* Objects(int col, int row) const { return CellObject(col, row); }
    void SetObjects(int col, int row, QObject* o) { SetCellObject(col, row, o); }
    QStringList Rows(int row) const;
    void SetRows(int row, const QStringList& texts);
    QStringList Cols(int col) const;
};
