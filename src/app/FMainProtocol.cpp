// The results protocol of the main window: entering a run, ranking, selection,
// the protocol buttons, deleting and clearing.
#include "Corrections.h"
#include "FMainPrivate.h"
#include "Printers.h"
#include "Protocol.h"
#include "TimeText.h"

#include <QKeyEvent>

void TFormMain::CreateProtocol() {
    SortGrid1 = new TSortGrid(PanelProtocol);
    SortGrid1->setObjectName(QStringLiteral("SortGrid1"));
    QFont f(QStringLiteral("Courier New"));
    f.setPixelSize(16);
    SortGrid1->setFont(f);
    // The designed table: header and one blank row, not modified.
    SortGrid1->BeginUpdate();
    SortGrid1->SetColCount(pcCount);
    SortGrid1->SetRowCount(2);
    SortGrid1->EndUpdate();
    SortGrid1->SetDefaultRowHeight(20);
    SortGrid1->SetAlignmentHorz(taRightJustify);
    SortGrid1->SetAlignmentVert(taTopJustify);
    SortGrid1->SetOptions(goFixedVertLine | goFixedHorzLine | goVertLine | goHorzLine |
                          goDrawFocusSelected | goColSizing | goRowSelect);
    SortGrid1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // A steady client width keeps the name column filling the grid exactly.
    SortGrid1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    TSortOptions& so = SortGrid1->SortOptions();
    so.CanSort = true;
    so.SortStyle = ssNormal;
    so.SortCaseSensitive = false;
    so.SortCol = pcTotal;
    so.SortDirection = sdAscending;
    so.UpdateOnSizeChange = false;
    SortGrid1->SetMultiSelect(false);
    SortGrid1->SetFiltered(false);
    SortGrid1->SetHideRows(false);
    SortGrid1->SetBevelStyle(cbNone);
    SortGrid1->OnSelectCell = [this](QObject* s, int c, int r, bool& can) {
        SortGrid1SelectCell(s, c, r, can);
    };
    SortGrid1->OnGetSortStyle = [this](QObject* s, int c, TSortStyle& st) {
        SortGrid1GetSortStyle(s, c, st);
    };
    SortGrid1->OnGetCellFormat = [this](QObject* s, int c, int r, TGridDrawState st,
                                        TFormatOptions& fo, bool& cb, bool& combo, bool& el) {
        SortGrid1GetCellFormat(s, c, r, st, fo, cb, combo, el);
    };
    SortGrid1->OnEndSort = [this](QObject*, int) {
        if (!P->FRanking) AnnounceProtocol(TProtocolChangeKind::Sorted);
    };
    SortGrid1->OnCellEdited = [this](QObject*, int col, int row) {
        AnnounceProtocol(TProtocolChangeKind::CellEdited, row, col, SortGrid1->Cells(col, row));
    };

    PopupMenuList = new QMenu(this);
    PopupMenuList->setObjectName(QStringLiteral("PopupMenuList"));
    Sortierenprotokoll1 = new TMenuItem(QStringLiteral("Sortieren protokoll"), {}, PopupMenuList);
    Sortierenprotokoll1->setObjectName(QStringLiteral("Sortierenprotokoll1"));
    Sortierenprotokoll1->OnClick = [this](QObject* s) { Sortierenprotokoll1Click(s); };
    Erase1 = new TMenuItem(QStringLiteral("Zeile entfernen"), {}, PopupMenuList);
    Erase1->setObjectName(QStringLiteral("Erase1"));
    Erase1->OnClick = [this](QObject* s) { Erase1Click(s); };
    PopupMenuList->addAction(Sortierenprotokoll1);
    PopupMenuList->addAction(Erase1);
    SortGrid1->PopupMenu = PopupMenuList;

    sbClsAll->OnClick = [this](QObject* s) { sbClsAllClick(s); };
}

void TFormMain::SelectWholeRow(int row) {
    SortGrid1->SetSelection({0, row, SortGrid1->ColCount() - 1, row});
}

void TFormMain::EnterRunResults() {
    TSortGrid* g = SortGrid1;
    const int laps = qBound(2, RunSettings.Laps, 5);
    ClearEnteredMarks();
    TRunResults results;
    results.RunNumber = eNR->text();
    results.Title = eTitle->text();
    results.Cars = RunSettings.Cars;
    results.Laps = laps;
    for (int car = 1; car <= RunSettings.Cars && car <= 2; ++car) {
        const QString text = FTimers[car]->hcbName->Text();
        TEnteredResult result;
        int target = -1;
        if (!IsBlank(text)) {
            target = g->FindRow(pcName, text, false);
            if (target > 0) g->SetRow(target);
        }
        if (target <= 0) {
            // Only an entirely blank single row is taken: a start list's one driver
            // keeps his row and number.
            if (g->RowCount() == 2 && IsBlankRow(g->Rows(1))) {
                target = 1;
            } else {
                g->SetRowCount(g->RowCount() + 1);
                target = g->RowCount() - 1;
                result.Appended = true;
                // The store keeps texts of rows that were deleted earlier; a new
                // driver's row must not inherit them.
                for (int c = 0; c < pcCount; ++c)
                    g->SetCells(c, target, QString());
            }
        }
        if (!result.Appended) result.Before = g->Rows(target);
        // A car that dropped out keeps the laps it completed and no total.
        const bool dnf = FRun.State().Car[car].Dnf;
        const int done = dnf ? FRun.State().Car[car].LapsDone : laps;
        int32_t best = 2147483647;
        for (int k = 1; k <= laps; ++k) {
            const int32_t lap = FLapTimers[car][k]->Tag;
            g->SetCells(k + 1, target, k <= done ? TimeToText(lap) : QString());
            result.LapTexts << g->Cells(k + 1, target);
            if (k <= done) {
                best = qMin(best, lap);
                result.LapMs.push_back(lap);
            }
        }
        const TStartNumberSplit split = SplitStartNumber(text);
        if (split.HasNumber) g->SetCells(pcStartNr, target, split.Number);
        g->SetCells(pcName, target, split.Name);
        g->SetCells(pcTotal, target, dnf ? DnfText : TimeToText(FTimers[car]->FTotalMs));
        g->SetCells(pcBest, target, done > 0 ? TimeToText(best) : QString());
        g->SetObjects(pcStartNr, target, EnteredMark(car));
        result.Car = car;
        result.Row = target;
        result.StartNumber = g->Cells(pcStartNr, target);
        result.Name = split.Name;
        result.TotalText = g->Cells(pcTotal, target);
        result.TotalMs = dnf ? 0 : FTimers[car]->FTotalMs;
        result.BestText = g->Cells(pcBest, target);
        result.BestMs = done > 0 ? best : 0;
        result.Status = dnf ? TEnteredResult::Dnf : TEnteredResult::Finished;
        results.Rows.push_back(result);
    }
    g->SetOptions((g->Options() & ~goEditing) | goRowSelect);
    SelectWholeRow(g->RowCount() - 1);
    ShowRowPosition(g->RowCount() - 1);
    UpdateProtocolButtons();
    Announce([&results](TRunListener& l) { l.ResultsEntered(results); });
    // A finished run is on disk at once (the backup listens): a crash or power loss at
    // the track loses nothing.
    AnnounceProtocol(TProtocolChangeKind::ResultsEntered);
}

void TFormMain::Sortierenprotokoll1Click(QObject*) {
    TSortGrid* g = SortGrid1;
    g->SortOptions().CanSort = true;
    P->FRanking = true;
    g->SortByColumn(pcTotal);
    P->FRanking = false;
    QStringList totals;
    for (int r = 1; r < g->RowCount(); ++r)
        totals << g->Cells(pcTotal, r);
    const QStringList ranks = CompetitionRanks(totals);
    for (int r = 1; r < g->RowCount(); ++r)
        g->SetCells(pcRank, r, ranks.at(r - 1));
    SelectFirstUnnamedRow();
    AnnounceProtocol(TProtocolChangeKind::Ranked);
}

void TFormMain::Erase1Click(QObject*) {
    TSortGrid* g = SortGrid1;
    const int r = g->Row();
    const QString name = g->Cells(pcName, r);
    // Right-clicked on another row: the selected one goes, and the question says which.
    if (g->PopupRow() != r && r >= 1 && r < g->RowCount()) {
        FDlgYesNo->Label1->setText(QStringLiteral("Zeile %1 entfernen: %2?")
                                       .arg(r)
                                       .arg(RowDriverText(g->Rows(r), QString())));
        if (FDlgYesNo->ShowModal() != TFDlgYesNo::mrYes) return;
    }
    g->DeleteRow(r);
    SetProtocolColumnWidths();
    const int row = r < g->RowCount() ? r : g->RowCount() - 1;
    if (row >= 1) SelectWholeRow(row);
    AnnounceProtocol(TProtocolChangeKind::RowDeleted, r, -1, QString(), name);
}

void TFormMain::sbClsAllClick(QObject*) {
    FDlgYesNo->Label1->setText(QStringLiteral("Protokoll löschen?"));
    if (FDlgYesNo->ShowModal() != TFDlgYesNo::mrYes) return;
    SortGrid1->Clear();
    UpdateProtocolButtons();
    FormResize();
    AnnounceProtocol(TProtocolChangeKind::Cleared);
}

void TFormMain::SortGrid1SelectCell(QObject*, int col, int row, bool& canSelect) {
    TSortGrid* g = SortGrid1;
    if (col <= pcName) {
        g->SetOptions((g->Options() | goEditing) & ~goRowSelect);
    } else {
        g->SetOptions((g->Options() & ~goEditing) | goRowSelect);
        canSelect = false;
        SelectWholeRow(row);
    }
    ShowRowPosition(row);
}

void TFormMain::SortGrid1GetSortStyle(QObject*, int col, TSortStyle& sortStyle) {
    if (col == pcStartNr || col == pcRank) {
        sortStyle = ssNumeric;
    } else if (col == pcName) {
        sortStyle = ssNormal;
    } else if (col >= pcLap1 && col <= pcBest) {
        // The grid drops the function after every sort: set it each time.
        SortGrid1->SortOptions().SortCompare = CompareTimeTexts;
        sortStyle = ssCustom;
    }
}

void TFormMain::SortGrid1GetCellFormat(QObject*, int col, int row, TGridDrawState,
                                       TFormatOptions& fo, bool&, bool&, bool&) {
    if (row == 0) {
        fo.AlignmentHorz = taCenter;
        fo.Font.setFamily(QStringLiteral("arial"));
        fo.Font.setBold(true);
    } else if (col == pcName) {
        fo.AlignmentHorz = taLeftJustify;
    }
}

void TFormMain::SetProtocolColumnWidths() {
    TSortGrid* g = SortGrid1;
    const int laps = qBound(2, RunSettings.Laps, 5);
    g->SetColWidths(pcStartNr, 72);
    g->SetColWidths(2, 72);
    g->SetColWidths(3, 72);
    g->SetColWidths(4, laps >= 3 ? 72 : -1);
    g->SetColWidths(5, laps >= 4 ? 72 : -1);
    g->SetColWidths(6, laps >= 5 ? 72 : -1);
    g->SetColWidths(pcTotal, 108);
    g->SetColWidths(pcBest, 119);
    g->SetColWidths(pcRank, -1);
    int rest = g->ClientWidth() - g->ColWidths(pcStartNr) - g->ColCount();
    for (int c = 2; c <= pcRank; ++c)
        rest -= g->ColWidths(c);
    g->SetColWidths(pcName, rest);
}

void TFormMain::ShowRowPosition(int row) {
    StatusPanels[0]->setText(QStringLiteral("%1 von %2").arg(row).arg(SortGrid1->RowCount() - 1));
}

void TFormMain::UpdateProtocolButtons() {
    TSortGrid* g = SortGrid1;
    const bool hasContent =
        g->RowCount() >= 2 && !g->Rows(1).join(QLatin1Char('\n')).trimmed().isEmpty();
    sbSave->setEnabled(hasContent);
    sbPrint->setEnabled(hasContent && PrintOutputAvailable());
    for (TLbSpeedButton* b : {sbWord, sbExcel, sbHTML, sbClsAll})
        b->setEnabled(hasContent);
}

void TFormMain::SelectFirstUnnamedRow() {
    int r = SortGrid1->FindRow(pcName, QStringLiteral(" "), false);
    if (r < 0) r = SortGrid1->FindRow(pcName, QString(), false);
    if (r > 0) {
        ShowRowPosition(r);
        SelectWholeRow(r);
    }
    UpdateProtocolButtons();
}

void TFormMain::eNRKeyPress(QObject*, QChar& key) {
    if (key == QLatin1Char('+') || key == QLatin1Char('-')) {
        bool ok = false;
        const int n = eNR->text().toInt(&ok);
        if (ok) {
            if (key == QLatin1Char('+'))
                eNR->setText(QString::number(n + 1));
            else
                eNR->setText(QString::number(n > 1 ? n - 1 : n));
        }
        key = QChar();
        return;
    }
    if (key == QChar(8) || (key >= QLatin1Char('0') && key <= QLatin1Char('9'))) return;
    key = QChar();
}

bool TFormMain::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::ShortcutOverride) {
        // Ctrl+Z takes back the last timing event even while a text field has the focus.
        const auto* ke = static_cast<QKeyEvent*>(event);
        if (ke->key() == Qt::Key_Z && ke->modifiers() == Qt::ControlModifier) return true;
    }
    if (watched == eNR && event->type() == QEvent::KeyPress) {
        auto* ke = static_cast<QKeyEvent*>(event);
        QChar key;
        if (ke->key() == Qt::Key_Backspace)
            key = QChar(8);
        else if (!ke->text().isEmpty() && ke->text().at(0).isPrint())
            key = ke->text().at(0);
        if (!key.isNull()) {
            eNRKeyPress(eNR, key);
            if (key.isNull()) return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

QObject* TFormMain::EnteredMark(int car) {
    static QObject marks[2];
    return &marks[car == 2 ? 1 : 0];
}

void TFormMain::ClearEnteredMarks() {
    for (int r = 1; r < SortGrid1->RowCount(); ++r)
        SortGrid1->SetObjects(pcStartNr, r, nullptr);
}

void TFormMain::PutRow(int row, const QStringList& cells) {
    TSortGrid* g = SortGrid1;
    for (int c = 0; c < pcCount; ++c)
        g->SetCells(c, row, cells.value(c));
    g->SetModified(true);
    // A ranked table stays ranked: the new total may take another place.
    bool ranked = false;
    for (int r = 1; r < g->RowCount() && !ranked; ++r)
        ranked = !g->Cells(pcRank, r).trimmed().isEmpty();
    if (ranked) Sortierenprotokoll1Click(nullptr);
    UpdateProtocolButtons();
}
