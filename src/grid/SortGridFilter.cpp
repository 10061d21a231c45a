// Filtering: rows that OnSetFilter rejects wait beyond RowCount, in their order,
// until filtering is switched off.
#include "SortGrid.h"

void TSortGrid::SetFiltered(bool value) {
    FFiltered = value;
    if (!(!value || !IsRowEmpty(1)) || !(value || FHiddenRowCount != 0)) return;
    const bool savedModified = FModified;
    const bool opened = !NowUpdating();
    BeginUpdate();
    if (value) {
        // Filtering again: the rows still hidden join in first, or they would be overwritten.
        if (FHiddenRowCount != 0) FilterOff();
        FilterOn();
    } else {
        FilterOff();
    }
    if (opened) EndUpdate();
    FModified = savedModified;
}

void TSortGrid::FilterOn() {
    FHiddenRowCount = 0;
    const int count = RowCount();
    if (count < 2) return;
    StoreRow(count - 1);
    std::vector<int> accepted, rejected;
    accepted.reserve(count);
    QStringList padded;
    for (int r = 1; r < count; ++r) {
        bool accept = false;
        if (OnSetFilter) {
            const QStringList& cells = FStore[r].Cells;
            if (cells.size() >= ColCount()) {
                OnSetFilter(cells.size() == ColCount() ? cells : cells.mid(0, ColCount()), accept);
            } else {
                padded = cells;
                while (padded.size() < ColCount())
                    padded.append(QString());
                OnSetFilter(padded, accept);
            }
        }
        (accept ? accepted : rejected).push_back(r);
    }
    // Whole rows move, objects with their texts.
    std::vector<RowData> rows;
    rows.reserve(count - 1);
    for (int r : accepted)
        rows.push_back(std::move(FStore[r]));
    for (int r : rejected)
        rows.push_back(std::move(FStore[r]));
    FHiddenRowCount = static_cast<int>(rejected.size());
    if (accepted.empty()) {
        // One empty row stands in front of the hidden ones.
        FStore.insert(FStore.begin() + 1, RowData{});
        for (size_t i = 0; i < rows.size(); ++i)
            FStore[i + 2] = std::move(rows[i]);
        FFilterPlaceholder = true;
        SetRowCount(2);
    } else {
        for (size_t i = 0; i < rows.size(); ++i)
            FStore[i + 1] = std::move(rows[i]);
        FFilterPlaceholder = false;
        SetRowCount(count - FHiddenRowCount);
        SortByColumn(FSortOptions.SortCol);
    }
    GoToCell(0, 1, true);
}

void TSortGrid::FilterOff() {
    const int hidden = FHiddenRowCount;
    SetRowCount(RowCount() + hidden);
    // Only the stand-in row goes, and only while nobody wrote into it.
    if (FFilterPlaceholder && IsRowEmpty(1) && RowCount() > 2) {
        FStore.erase(FStore.begin() + 1);
        SetRowCount(RowCount() - 1);
    }
    FFilterPlaceholder = false;
    if (hidden > 0) SortByColumn(FSortOptions.SortCol);
    FHiddenRowCount = 0;
}
