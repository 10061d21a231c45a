#include "TrackCorrections.h"
#include "Protocol.h"
#include "ProgramInfo.h"
#include "Corrections.h"
#include "FMain.h"
#include "Questions.h"
#include "TickSource.h"

#include <QApplication>
#include <QCursor>
#include <QInputDialog>
#include <QLineEdit>
#include <QMenu>

std::function<bool(const QString&, QString&)>& TTrackCorrections::AskText = Questions::AskText;

TTrackCorrections::TTrackCorrections(TFormMain& window) : FWindow(window) {
    TFormMain& w = window;
    mUndo = w.AddMenuItem("mUndo", QStringLiteral("Letztes Ereignis zurücknehmen"),
                          QKeySequence(Qt::CTRL | Qt::Key_Z));
    mDNF1 = w.AddMenuItem("mDNF1", QStringLiteral("Auto 1 ausgefallen"),
                          QKeySequence(Qt::CTRL | Qt::Key_1));
    mDNF2 = w.AddMenuItem("mDNF2", QStringLiteral("Auto 2 ausgefallen"),
                          QKeySequence(Qt::CTRL | Qt::Key_2));
    mUndo->OnClick = [this](QObject* s) { mUndoClick(s); };
    mDNF1->OnClick = [this](QObject* s) { mDNF1Click(s); };
    mDNF2->OnClick = [this](QObject* s) { mDNF2Click(s); };

    DNS1 = new TMenuItem(QStringLiteral("Nicht gestartet (DNS)"), {}, w.PopupMenuList);
    DNS1->setObjectName(QStringLiteral("DNS1"));
    DNS1->OnClick = [this](QObject* s) { DNS1Click(s); };
    w.PopupMenuList->addAction(DNS1);
    // On a row marked DNS the entry takes the DNS back.
    QObject::connect(w.PopupMenuList, &QMenu::aboutToShow, DNS1, [this] {
        const TSortGrid* g = FWindow.SortGrid1;
        const bool dns = g->Row() >= 1 && g->Row() < g->RowCount() &&
                         g->Cells(pcTotal, g->Row()).trimmed() == DnsText;
        DNS1->setText(dns ? QStringLiteral("DNS zurücknehmen") : QStringLiteral("Nicht gestartet (DNS)"));
    });
    w.SortGrid1->OnDblClick = [this](QObject* s) { SortGrid1DblClick(s); };

    // The text fields keep Ctrl+Z for the window: an edit's own undo would swallow it.
    w.eTitle->installEventFilter(&w);
    w.FrameTimer1->hcbName->lineEdit()->installEventFilter(&w);
    w.FrameTimer2->hcbName->lineEdit()->installEventFilter(&w);
}

void TTrackCorrections::RunEvent(const TRunNotice& n) {
    if (n.Kind != TRunNoticeKind::Reset) return;
    FEnteredRows.clear();
    FResultsEntered = false;
}

void TTrackCorrections::ResultsEntered(const TRunResults& results) {
    FEnteredRows.clear();
    for (const TEnteredResult& r : results.Rows)
        FEnteredRows.push_back({r.Appended, r.Before});
    FResultsEntered = true;
}

void TTrackCorrections::mUndoClick(QObject*) {
    if (FWindow.FRun.Events().empty()) return; // nothing before the last RESET
    const TRunEvent last = FWindow.FRun.Events().back();
    const bool resultsEntered = FResultsEntered;
    FWindow.FRun.TakeBack();
    FWindow.AnnounceRunEvent(TRunNoticeKind::Undo, last.Car, last.Tick);
    if (resultsEntered) TakeBackResults();
    FWindow.ApplyRunState();
}

void TTrackCorrections::mDNF1Click(QObject*) {
    CarDropsOut(1);
}

void TTrackCorrections::mDNF2Click(QObject*) {
    CarDropsOut(2);
}

void TTrackCorrections::CarDropsOut(int car) {
    if (car > FWindow.RunSettings.Cars || FWindow.FRun.Events().empty()) return;
    const TRunEvent e{TRunEventKind::Dnf, car, TickSource::Now()};
    if (!FWindow.FRun.Add(e)) return;
    FWindow.ApplyRunState();
    FWindow.AnnounceRunEvent(TRunNoticeKind::Dnf, car, e.Tick);
    if (FWindow.RunComplete()) FWindow.EnterRunResults();
}

void TTrackCorrections::TakeBackResults() {
    TSortGrid* g = FWindow.SortGrid1;
    // Latest first: the second car may have filled the row the first car appended.
    // A row edited since (a typed lap, DNS) is the run's result all the same: it goes
    // too, or F9 would enter the run a second time.
    for (int i = int(FEnteredRows.size()) - 1; i >= 0; --i) {
        const TEnteredRow& entered = FEnteredRows[i];
        int row = -1;
        for (int r = 1; r < g->RowCount() && row < 0; ++r)
            if (g->Objects(pcStartNr, r) == FWindow.EnteredMark(i + 1)) row = r;
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
    FWindow.SetProtocolColumnWidths();
    const int last = g->RowCount() - 1;
    FWindow.SelectWholeRow(last);
    FWindow.ShowRowPosition(last);
    FWindow.UpdateProtocolButtons();
    FWindow.AnnounceProtocol(TProtocolChangeKind::ResultsTakenBack);
}

void TTrackCorrections::DNS1Click(QObject*) {
    TSortGrid* g = FWindow.SortGrid1;
    const int row = g->PopupRow(); // the row right-clicked, not the one last entered
    if (row < 1 || row >= g->RowCount()) return;
    const QStringList cells = g->Rows(row);
    const QString key = cells.value(pcName).simplified().toCaseFolded();
    if (cells.value(pcTotal).trimmed() == DnsText) {
        // Taken back: the row shows again what it showed before the DNS.
        const QStringList before = FBeforeDns.take(key);
        QStringList back = cells;
        back[pcTotal] = QString();
        for (int c = 0; c < pcCount; ++c)
            g->SetCells(c, row, before.isEmpty() || c == pcName ? back.value(c) : before.value(c));
        g->SetModified(true);
        FWindow.UpdateProtocolButtons();
        FWindow.AnnounceProtocol(TProtocolChangeKind::StartedAgain, row, -1, QString(), cells.value(pcName));
        // He starts after all: with nobody on the track, he is the one waiting at the start.
        THistoryComboBox* box = FWindow.FrameTimer1->hcbName;
        const QStringList items = box->Items();
        for (int i = 0; i < items.size() && FWindow.RunSettings.Cars == 1 && FWindow.FRun.Events().empty(); ++i)
            if (SplitStartNumber(items[i]).Name.simplified().compare(cells.value(pcName).simplified(),
                                                                      Qt::CaseInsensitive) == 0) {
                box->SetItemIndex(i);
                break;
            }
        return;
    }
    // Named, so that a slip of the pointer shows before it changes the protocol.
    QString question =
        QStringLiteral("Nicht gestartet: ") + RowDriverText(cells, FWindow.eNR->text()) + QLatin1Char('?');
    if (RowHasLapTimes(cells)) question += QStringLiteral("\nDie Rundenzeiten der Zeile werden gelöscht.");
    FWindow.FDlgYesNo->Label1->setText(question);
    if (FWindow.FDlgYesNo->ShowModal() != TFDlgYesNo::mrYes) return;
    FBeforeDns.insert(key, cells);
    const QStringList marked = MarkNotStarted(cells);
    for (int c = 0; c < pcCount; ++c)
        g->SetCells(c, row, marked.value(c));
    g->SetModified(true);
    FWindow.UpdateProtocolButtons();
    FWindow.AnnounceProtocol(TProtocolChangeKind::NotStarted, row, -1, QString(), cells.value(pcName));
    // The driver waiting at the start does not start: the name box goes on with the next one.
    const QString waiting = SplitStartNumber(FWindow.FrameTimer1->hcbName->Text()).Name.simplified();
    if (FWindow.RunSettings.Cars == 1 && FWindow.FRun.Events().empty() && !waiting.isEmpty() &&
        waiting.compare(cells.value(pcName).simplified(), Qt::CaseInsensitive) == 0)
        FWindow.MoveToNextEntrants();
}

void TTrackCorrections::SortGrid1DblClick(QObject*) {
    int col = -1, row = -1;
    if (FWindow.SortGrid1->MouseToCell(FWindow.SortGrid1->mapFromGlobal(QCursor::pos()), col, row))
        EditLapCell(col, row);
}

void TTrackCorrections::EditLapCell(int col, int row) {
    TSortGrid* g = FWindow.SortGrid1;
    const int laps = qBound(2, FWindow.RunSettings.Laps, 5);
    if (col < pcLap1 || col >= pcLap1 + laps || row < 1 || row >= g->RowCount()) return;
    QString text = g->Cells(col, row);
    const QString label =
        QStringLiteral("%1, Runde %2:").arg(g->Cells(pcName, row).trimmed()).arg(col - pcLap1 + 1);
    if (!AskText(label, text)) return;
    // Only a time: any other text would stay in the table beside a total that ignores it.
    if (ParseTimeText(text) < 0) {
        FWindow.ShowMessage(QStringLiteral("„%1“ ist keine Rundenzeit. Erlaubt sind Zeiten wie 59,87, "
                                   "1.02,3 oder 1:02.03,45.")
                        .arg(text.trimmed()));
        return;
    }
    QStringList cells = g->Rows(row);
    cells[col] = text;
    // Total and best lap follow the laps only while every lap holds a time.
    FWindow.PutRow(row, RecomputeRowTimes(cells, laps));
    FWindow.AnnounceProtocol(TProtocolChangeKind::LapTyped, row, col, text, cells.value(pcName));
}

