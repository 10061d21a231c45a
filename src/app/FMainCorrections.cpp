// Corrections at the track: taking back the last event, a car that drops out
// (DNF), a driver who does not start (DNS) and a typed lap time.
#include "Corrections.h"
#include "FMain.h"
#include "TickSource.h"

#include <QApplication>
#include <QCursor>
#include <QInputDialog>
#include <QLineEdit>

std::function<bool(const QString&, QString&)> TFormMain::AskText = [](const QString& label,
                                                                      QString& text) {
    bool ok = false;
    const QString answer = QInputDialog::getText(QApplication::activeWindow(), ProgramTitle(),
                                                 label, QLineEdit::Normal, text, &ok);
    if (ok) text = answer;
    return ok;
};

void TFormMain::CreateCorrections() {
    mUndo = AddMenuItem("mUndo", QStringLiteral("Letztes Ereignis zurücknehmen"),
                        QKeySequence(Qt::CTRL | Qt::Key_Z));
    mDNF1 = AddMenuItem("mDNF1", QStringLiteral("Auto 1 ausgefallen"),
                        QKeySequence(Qt::CTRL | Qt::Key_1));
    mDNF2 = AddMenuItem("mDNF2", QStringLiteral("Auto 2 ausgefallen"),
                        QKeySequence(Qt::CTRL | Qt::Key_2));
    mUndo->OnClick = [this](QObject* s) { mUndoClick(s); };
    mDNF1->OnClick = [this](QObject* s) { mDNF1Click(s); };
    mDNF2->OnClick = [this](QObject* s) { mDNF2Click(s); };

    DNS1 = new TMenuItem(QStringLiteral("Nicht gestartet (DNS)"), {}, PopupMenuList);
    DNS1->setObjectName(QStringLiteral("DNS1"));
    DNS1->OnClick = [this](QObject* s) { DNS1Click(s); };
    PopupMenuList->addAction(DNS1);
    SortGrid1->OnDblClick = [this](QObject* s) { SortGrid1DblClick(s); };

    // The text fields keep Ctrl+Z for the window: an edit's own undo would swallow it.
    eTitle->installEventFilter(this);
    FrameTimer1->hcbName->lineEdit()->installEventFilter(this);
    FrameTimer2->hcbName->lineEdit()->installEventFilter(this);
}

void TFormMain::mUndoClick(QObject*) {
    if (FRun.Events().empty()) return; // nothing before the last RESET
    const TRunEvent last = FRun.Events().back();
    const bool resultsEntered = FResultsEntered;
    FRun.TakeBack();
    AnnounceRunEvent(TRunNoticeKind::Undo, last.Car, last.Tick);
    if (resultsEntered) TakeBackResults();
    ApplyRunState();
}

void TFormMain::mDNF1Click(QObject*) {
    CarDropsOut(1);
}

void TFormMain::mDNF2Click(QObject*) {
    CarDropsOut(2);
}

void TFormMain::CarDropsOut(int car) {
    if (car > Cars || FRun.Events().empty()) return;
    const TRunEvent e{TRunEventKind::Dnf, car, TickSource::Now()};
    if (!FRun.Add(e)) return;
    ApplyRunState();
    AnnounceRunEvent(TRunNoticeKind::Dnf, car, e.Tick);
    if (RunComplete()) EnterRunResults();
}

QObject* TFormMain::EnteredMark(int car) {
    static QObject marks[2];
    return &marks[car == 2 ? 1 : 0];
}

void TFormMain::ClearEnteredMarks() {
    for (int r = 1; r < SortGrid1->RowCount(); ++r)
        SortGrid1->SetObjects(pcStartNr, r, nullptr);
}

void TFormMain::TakeBackResults() {
    TSortGrid* g = SortGrid1;
    // Latest first: the second car may have filled the row the first car appended.
    // A row edited since (a typed lap, DNS) is the run's result all the same: it goes
    // too, or F9 would enter the run a second time.
    for (int i = int(FEnteredRows.size()) - 1; i >= 0; --i) {
        const TEnteredRow& entered = FEnteredRows[i];
        int row = -1;
        for (int r = 1; r < g->RowCount() && row < 0; ++r)
            if (g->Objects(pcStartNr, r) == EnteredMark(i + 1)) row = r;
        if (row < 0) continue; // deleted since
        g->SetObjects(pcStartNr, row, nullptr);
        if (entered.Appended) {
            g->DeleteRow(row);
        } else {
            for (int c = 0; c < pcCount; ++c)
                g->SetCells(c, row, entered.Before.value(c));
        }
    }
    FEnteredRows.clear();
    FResultsEntered = false;
    SetProtocolColumnWidths();
    const int last = g->RowCount() - 1;
    SelectWholeRow(last);
    ShowRowPosition(last);
    UpdateProtocolButtons();
    AnnounceProtocol(TProtocolChangeKind::ResultsTakenBack);
}

void TFormMain::DNS1Click(QObject*) {
    TSortGrid* g = SortGrid1;
    const int row = g->Row();
    if (row < 1 || row >= g->RowCount()) return;
    const QStringList cells = g->Rows(row);
    if (RowHasLapTimes(cells)) {
        FDlgYesNo->Label1->setText(QStringLiteral("Rundenzeiten der Zeile löschen?"));
        if (FDlgYesNo->ShowModal() != TFDlgYesNo::mrYes) return;
    }
    const QStringList marked = MarkNotStarted(cells);
    for (int c = 0; c < pcCount; ++c)
        g->SetCells(c, row, marked.value(c));
    g->SetModified(true);
    UpdateProtocolButtons();
    AnnounceProtocol(TProtocolChangeKind::NotStarted, row, -1, QString(), cells.value(pcName));
}

void TFormMain::SortGrid1DblClick(QObject*) {
    int col = -1, row = -1;
    if (SortGrid1->MouseToCell(SortGrid1->mapFromGlobal(QCursor::pos()), col, row))
        EditLapCell(col, row);
}

void TFormMain::EditLapCell(int col, int row) {
    TSortGrid* g = SortGrid1;
    const int laps = qBound(2, Laps, 5);
    if (col < pcLap1 || col >= pcLap1 + laps || row < 1 || row >= g->RowCount()) return;
    QString text = g->Cells(col, row);
    const QString label =
        QStringLiteral("%1, Runde %2:").arg(g->Cells(pcName, row).trimmed()).arg(col - pcLap1 + 1);
    if (!AskText(label, text)) return;
    // Only a time: any other text would stay in the table beside a total that ignores it.
    if (ParseTimeText(text) < 0) {
        ShowMessage(QStringLiteral("„%1“ ist keine Rundenzeit. Erlaubt sind Zeiten wie 59,87, "
                                   "1.02,3 oder 1:02.03,45.")
                        .arg(text.trimmed()));
        return;
    }
    QStringList cells = g->Rows(row);
    cells[col] = text;
    // Total and best lap follow the laps only while every lap holds a time.
    const QStringList updated = RecomputeRowTimes(cells, laps);
    for (int c = 0; c < pcCount; ++c)
        g->SetCells(c, row, updated.value(c));
    g->SetModified(true);
    // A ranked table stays ranked: the new total may take another place.
    bool ranked = false;
    for (int r = 1; r < g->RowCount() && !ranked; ++r)
        ranked = !g->Cells(pcRank, r).trimmed().isEmpty();
    if (ranked) Sortierenprotokoll1Click(nullptr);
    UpdateProtocolButtons();
    AnnounceProtocol(TProtocolChangeKind::LapTyped, row, col, text, cells.value(pcName));
}
