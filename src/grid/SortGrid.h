#pragma once
#include "MyGrids.h"
#include "ScrollThumb.h"
#include "SortEngine.h"

#include <QListWidget>
#include <QMenu>
#include <QPointer>

enum TAlignment : uint8_t { taLeftJustify, taRightJustify, taCenter };
enum TVertAlignment : uint8_t { taTopJustify, taBottomJustify, taMiddle };
enum TCellBevelStyle : uint8_t { cbNone, cbRaised, cbLowered };
enum TMyPrintRange : uint8_t { prAll, prSelected };

// How one cell is drawn; the owner may change any field in OnGetCellFormat.
struct TFormatOptions {
    QColor Brush;
    QFont Font;
    QColor FontColor;
    TAlignment AlignmentHorz = taLeftJustify;
    TVertAlignment AlignmentVert = taTopJustify;
    TCellBevelStyle BevelStyle = cbNone;
    QColor HighlightColor;
    QColor ShadowColor;
    bool HideText = false;
};

// The kinds of cell that OnGetCellFormat can make of a cell.
enum TSpecialCell : uint8_t { scNone, scCheckBox, scComboBox, scEllipsis };

// Print settings kept for the owner; the grid itself does not print.
struct TPrintOptions {
    QString JobTitle;
    QString PageTitle;
    uint32_t Copies = 0;
    TMyPrintRange PrintRange = prAll;
    uint32_t PreviewPage = 0;
    uint32_t FromRow = 0;
    uint32_t ToRow = 0;
};

// The string grid with typed column sorting, row services, selection and a
// per-cell format event. Row 0 is the single fixed header row.
class TSortGrid : public TMyStringGrid {
public:
    explicit TSortGrid(QWidget* parent = nullptr);
    ~TSortGrid() override;

    // Shows "Rowsize too small" and the like; tests replace it.
    static std::function<void(const QString&)> ShowMessage;

    TSortOptions& SortOptions() { return FSortOptions; }
    const TSortOptions& SortOptions() const { return FSortOptions; }
    TPrintOptions PrintOptions;
    QMenu* PopupMenu = nullptr;
    // The data row the popup menu was opened on (right click): its entries act on
    // the row under the pointer, not the selected one. The current row when the
    // menu came another way or a key or left click followed.
    int PopupRow() const;
    // Its column; -1 when the menu was not opened on a data row.
    int PopupCol() const { return PopupRow() == FPopupRow ? FPopupCol : -1; }

    bool HideRows() const { return FHideRows; }
    void SetHideRows(bool value);
    bool Filtered() const { return FFiltered; }
    // Shows only the rows OnSetFilter accepts; the others wait beyond RowCount.
    void SetFiltered(bool value);
    bool MultiSelect() const { return FMultiSelect; }
    void SetMultiSelect(bool value);
    QStringList UserSettings() const { return FUserSettings; }
    void SetUserSettings(const QStringList& value);
    TAlignment AlignmentHorz() const { return FAlignmentHorz; }
    void SetAlignmentHorz(TAlignment value);
    TVertAlignment AlignmentVert() const { return FAlignmentVert; }
    void SetAlignmentVert(TVertAlignment value);
    TCellBevelStyle BevelStyle() const { return FBevelStyle; }
    void SetBevelStyle(TCellBevelStyle value);
    bool ProportionalScrollBars() const { return FProportionalScrollBars; }
    void SetProportionalScrollBars(bool value);
    bool ExtendedKeys() const { return FExtendedKeys; }
    void SetExtendedKeys(bool value) { FExtendedKeys = value; }
    int HiddenRowCount() const { return FHiddenRowCount; }
    const QStringList& SelectedRows() const { return FSelectedRows; }
    const QStringList& SelectionOrder() const { return FSelectionOrder; }
    bool Sorting() const { return FSorting; }

    // --- sorting
    void SortByColumn(int col);
    TSortStyle DetectSortStyle(int col) const;

    // --- rows, columns, search
    int FindRow(int col, const QString& text, bool ignoreCase) const;
    // Empties every data row, rows hidden by a filter and rows stored beyond RowCount
    // included, so nothing comes back later; Filtered keeps its value.
    void Clear();
    void InsertRow(int row);
    void DeleteRow(int row);
    void InsertColumn(int col);
    void DeleteColumn(int col);
    void MoveRow(int fromIndex, int toIndex);
    void MoveColumn(int fromIndex, int toIndex);
    void SwapRows(int a, int b);
    void AutoSizeColumn(int col, bool force);
    void AutoSizeColumns(bool force);
    void GoToCell(int col, int row, bool scroll);
    void ScrollToCell(int col, int row);
    bool IsRowSelected(int row) const;
    void ClearSelection();
    bool IsRowEmpty(int row) const;
    bool Modified() const { return FModified; }
    void SetModified(bool value);
    void InvalidateRow(int row);
    void InvalidateColumn(int col);

    // The cell format as the owner wants it (used for drawing and measuring).
    TFormatOptions CellFormat(int col, int row, TGridDrawState state,
                              TSpecialCell* kind = nullptr);
    TSpecialCell SpecialCell(int col, int row);

    // --- special cells (SortGridCells.cpp)
    // "true", "1" and "V" tick a check box; any other text leaves it clear.
    static bool IsTicked(const QString& text);
    // "CHECKED", "UNCHECKED", "COMBOBOX" or "ELLIPSIS", 16 x 16.
    static QImage CellImage(const QString& name);
    void ToggleCheckBox(int col, int row);
    // Asks OnGetComboBox and shows the list under the cell; false when no list came back.
    bool OpenComboBox(int col, int row);
    QListWidget* ComboListBox() const { return FComboList; }
    // Header caption shortened with ".." to fit its room.
    QString ShortenedCaption(int col, const QFontMetrics& fm) const;
    static QImage GlyphImage(TSortDirection direction);

    void BeginUpdate() override;
    void EndUpdate() override;

    // --- events
    std::function<void(QObject* sender)> OnModified;
    std::function<void(QObject* sender)> OnRowSelected;
    std::function<void(QObject* sender, int row)> OnRowInsert;
    std::function<void(QObject* sender, int row)> OnRowDelete;
    std::function<void(QObject* sender, int col)> OnColumnInsert;
    std::function<void(QObject* sender, int col)> OnColumnDelete;
    std::function<void(QObject* sender)> OnColumnWidthsChanged;
    std::function<void(QObject* sender)> OnRowHeightsChanged;
    std::function<void(QObject* sender, int oldColCount, int oldRowCount)> OnSizeChanged;
    std::function<void(QObject* sender, int col, int row, TGridDrawState state,
                       TFormatOptions& formatOptions, bool& checkBox, bool& comboBox,
                       bool& ellipsis)>
        OnGetCellFormat;
    std::function<void(const QStringList& rowTexts, bool& accept)> OnSetFilter;
    std::function<void(QObject* sender)> OnEndUpdate;
    std::function<void(QObject* sender, int col, TSortStyle& sortStyle)> OnGetSortStyle;
    std::function<void(QObject* sender, int& col)> OnBeginSort;
    std::function<void(QObject* sender, int col)> OnEndSort;
    std::function<void(QObject* sender, int col, int row, const QString& oldValue,
                       QString& newValue, bool& valid)>
        OnCellValidate;
    // A cell typed into the in-place editor took its new text (after OnCellValidate).
    std::function<void(QObject* sender, int col, int row)> OnCellEdited;
    std::function<void(QObject* sender, int col, int row, bool state)> OnSetChecked;
    std::function<void(QObject* sender, int col, int row, QStringList& strs, int& width,
                       int& height, bool& sorted)>
        OnGetComboBox;
    std::function<void(QObject* sender, int col, int row, const QString& str)> OnSetComboBox;
    std::function<void(QObject* sender, int col, int row)> OnSetEllipsis;
    // A drag of the selected rows begins (the owner serves the drag itself).
    std::function<void(QObject* sender)> OnStartDrag;

    void DrawCell(QPainter* p, const QRect& rect, int col, int row, TGridDrawState state) override;
    bool eventFilter(QObject* watched, QEvent* e) override;
    void EditorCommitted(int col, int row, const QString& text) override;
    void HeaderMousePress(QMouseEvent* e, int col) override;
    void HeaderMouseRelease(QMouseEvent* e, int col) override;
    void HeaderDoubleClick(QMouseEvent* e, int col) override;

protected:
    void SizeChanged(int oldColCount, int oldRowCount) override;
    void RowCountChanging(int oldCount, int newCount) override;
    bool EditorMayMoveTo(int col, int row) override;
    bool SelectCell(int col, int row) override;
    bool CanEditCell(int col, int row, bool explicitRequest) override;
    void resizeEvent(QResizeEvent* e) override;
    void CurrentCellMoved(int oldCol, int oldRow) override;
    void ColumnMoved(int from, int to) override;
    void RowMoved(int from, int to) override;
    void ColWidthsChanged() override;
    void RowHeightsChanged() override;
    void keyPressEvent(QKeyEvent* e) override;
    void keyReleaseEvent(QKeyEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void wheelEvent(QWheelEvent* e) override;

private:
    void SelectOnly(int row);
    void SelectRowsOfSelection();
    bool TypeToFind(QChar c);
    void UpdateScrollBars();
    void FillLastColumn();
    // Special cells (SortGridCells.cpp).
    void DrawSpecialCell(QPainter* p, const QRect& rect, int col, int row, TSpecialCell kind);
    void SpecialCellClick(int col, int row, int x);
    bool SpecialCellKey();
    void TakeComboValue(bool moveOn);
    void HideComboBox();
    // Where the list may lie: the available part of the screen the cell is on.
    QRect ComboRoom(const QRect& cell) const;
    // Filtering (SortGridFilter.cpp).
    void FilterOn();
    void FilterOff();

    TSortOptions FSortOptions;
    bool FHideRows = false;
    bool FFiltered = false;
    bool FMultiSelect = false;
    QStringList FUserSettings;
    TAlignment FAlignmentHorz = taLeftJustify;
    TVertAlignment FAlignmentVert = taTopJustify;
    TCellBevelStyle FBevelStyle = cbNone;
    bool FProportionalScrollBars = false;
    bool FExtendedKeys = false;
    bool FModified = false;
    int FHiddenRowCount = 0;
    QStringList FSelectedRows{QStringLiteral("1")};
    QStringList FSelectionOrder{QStringLiteral("1")};
    bool FSelectOnCellChange = true;
    int FPressCol = -1;
    int FPressRow = -1;
    int FPopupCol = -1;
    int FPopupRow = -1;
    QPoint FDragOrigin{-1, 0};
    bool FDragging = false;
    bool FSorting = false;
    bool FSavedUpdateOnSizeChange = false;
    bool FPressOnData = false;
    bool FPressRefused = false; // a press the active editor kept from its cell
    int FWheelRest = 0;
    QPointer<QListWidget> FComboList;
    int FComboCol = -1;
    int FComboRow = -1;
    bool FComboClosing = false;
    QPointer<QWidget> FComboWindow; // watched while the list is open
    TScrollThumbStyle* FThumbStyle;
};
