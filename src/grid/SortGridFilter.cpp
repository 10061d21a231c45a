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
    for (int r = 1; r < count; ++r) {
        bool accept = false;
        if (OnSetFilter) {
            // The handler gets a text for every column; a short row is padded where it is
            // stored, since a copy of each row costs more than the whole filter.
            QStringList& cells = FStore[r].Cells;
            if (cells.size() < ColCount()) cells.resize(ColCount());
            OnSetFilter(cells.size() == ColCount() ? cells : cells.mid(0, ColCount()), accept);
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
    const int hidden = static_cast<int>(rejected.size());
    if (accepted.empty()) {
        // One empty row stands in front of the hidden ones.
        FStore.insert(FStore.begin() + 1, RowData{});
        for (size_t i = 0; i < rows.size(); ++i)
            FStore[i + 2] = std::move(rows[i]);
        SetRowCount(2);
    } else {
        for (size_t i = 0; i < rows.size(); ++i)
            FStore[i + 1] = std::move(rows[i]);
        SetRowCount(count - hidden);
    }
    // Counted only now: the count changes above must not move the hidden rows.
    FHiddenRowCount = hidden;
    if (!accepted.empty()) SortByColumn(FSortOptions.SortCol);
    GoToCell(0, 1, true);
}

void TSortGrid::FilterOff() {
    const int hidden = FHiddenRowCount;
    FHiddenRowCount = 0; // they become ordinary rows again
    SetRowCount(RowCount() + hidden);
    // An empty first row goes, whether it is the stand-in row or a row emptied while filtered.
    if (IsRowEmpty(1) && RowCount() > 2) {
        FStore.erase(FStore.begin() + 1);
        SetRowCount(RowCount() - 1);
    }
    if (hidden > 0) SortByColumn(FSortOptions.SortCol);
}
