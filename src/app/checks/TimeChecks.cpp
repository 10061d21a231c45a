#include "TimeChecks.h"

#include "Corrections.h"
#include "EventRecorder.h"
#include "FRuns.h"
#include "FMain.h"
#include "Protocol.h"
#include "TimeText.h"

#include <QHelpEvent>
#include <QToolTip>
#include <algorithm>

const QColor TTimeChecks::FlagColor = RunMarkColors::Flag;
const QColor TTimeChecks::HandColor = RunMarkColors::Hand;

std::function<int(TDlgHandTime*)> TTimeChecks::ExecHandTime = [](TDlgHandTime* d) {
    return d->exec();
};
std::function<int(TDlgPlausibility*)> TTimeChecks::ExecThresholds = [](TDlgPlausibility* d) {
    return d->exec();
};

namespace {

// The field a protocol column shows: lap 1..5, 0 the total, -1 none.
int FieldOfColumn(int col) {
    if (col >= pcLap1 && col < pcLap1 + 5) return col - pcLap1 + 1;
    return col == pcTotal ? 0 : -1;
}

// The field of a cell that shows a time: a mark describes a time, and a row that shows
// none (a start list loaded over the driver's run) has nothing to mark.
int FieldShown(const TSortGrid* g, int col, int row) {
    return g->Cells(col, row).trimmed().isEmpty() ? -1 : FieldOfColumn(col);
}

// The window's own cell format first, then the marks over it.
struct TMarkedFormat {
    decltype(TSortGrid::OnGetCellFormat) Described;
    const TTimeChecks* Checks;
    void operator()(QObject* s, int col, int row, TGridDrawState st, TFormatOptions& fo,
                    bool& cb, bool& combo, bool& el) const {
        if (Described) Described(s, col, row, st, fo, cb, combo, el);
        if (row < 1) return;
        if (Checks->CellFlagged(col, row)) {
            fo.Brush = TTimeChecks::FlagColor;
            fo.FontColor = Qt::black;
        } else if (Checks->CellHandTime(col, row)) {
            fo.Brush = TTimeChecks::HandColor;
            fo.FontColor = Qt::black;
        }
    }
};

} // namespace

TTimeChecks::TTimeChecks(TFormMain* form, TEventServices& events)
    : QObject(form), FForm(form), FEvents(events) {
    TRunChecker& checker = Checker();
    checker.Thresholds = ReadThresholds(form->SettingsStore());
    checker.OnChanged = [this](TRunChecker*) {
        FForm->SortGrid1->viewport()->update();
        FForm->LiveChanged();
    };
    TSortGrid* g = form->SortGrid1;
    g->OnGetCellFormat = TMarkedFormat{g->OnGetCellFormat, this};
    g->viewport()->installEventFilter(this);

    mChecked = new TMenuItem(QStringLiteral("Geprüft"), {}, form->PopupMenuList);
    mChecked->setObjectName(QStringLiteral("mChecked"));
    mChecked->OnClick = [this](QObject*) { CheckedClick(); };
    mHandTime = new TMenuItem(QStringLiteral("Handzeit …"), {}, form->PopupMenuList);
    mHandTime->setObjectName(QStringLiteral("mHandTime"));
    mHandTime->OnClick = [this](QObject*) { HandTimeClick(); };
    form->PopupMenuList->addSeparator();
    form->PopupMenuList->addAction(mChecked);
    form->PopupMenuList->addAction(mHandTime);
    connect(form->PopupMenuList, &QMenu::aboutToShow, this, [this] { UpdatePopup(); });
    mThresholds = form->AddMenuItem("mThresholds", QStringLiteral("Plausibilität …"),
                                    QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_G));
    mThresholds->OnClick = [this](QObject*) { ThresholdsClick(); };
}

TRunChecker& TTimeChecks::Checker() const {
    return FEvents.Checker();
}

const TRunChecker::TMarks* TTimeChecks::MarksOfRow(int row) const {
    const TSortGrid* g = FForm->SortGrid1;
    if (row < 1 || row >= g->RowCount()) return nullptr;
    return Checker().MarksOfRow(g->Cells(pcName, row));
}

bool TTimeChecks::CellFlagged(int col, int row) const {
    const int field = FieldShown(FForm->SortGrid1, col, row);
    const TRunChecker::TMarks* m = field < 0 ? nullptr : MarksOfRow(row);
    return m && std::any_of(m->Flags.begin(), m->Flags.end(),
                            [field](const TFlag& f) { return f.Field == field; });
}

bool TTimeChecks::CellHandTime(int col, int row) const {
    const int field = FieldShown(FForm->SortGrid1, col, row);
    const TRunChecker::TMarks* m = field < 0 ? nullptr : MarksOfRow(row);
    if (!m) return false;
    // A total made of a hand-timed lap is a hand time too.
    return field == 0 ? !m->HandFields.empty()
                      : std::find(m->HandFields.begin(), m->HandFields.end(), field) !=
                            m->HandFields.end();
}

QString TTimeChecks::CellMark(int col, int row) const {
    if (CellFlagged(col, row)) return QStringLiteral("!");
    return CellHandTime(col, row) ? QStringLiteral("H") : QString();
}

QString TTimeChecks::CellNote(int col, int row) const {
    const int field = FieldShown(FForm->SortGrid1, col, row);
    const TRunChecker::TMarks* m = field < 0 ? nullptr : MarksOfRow(row);
    if (!m) return {};
    QStringList lines;
    for (const TFlag& f : m->Flags)
        if (f.Field == field) lines << QStringLiteral("Auffällig: ") + f.Reason;
    if (CellHandTime(col, row))
        lines << (field == 0 && std::find(m->HandFields.begin(), m->HandFields.end(), 0) ==
                                    m->HandFields.end()
                      ? QStringLiteral("Handzeit: enthält eine Runde von der Stoppuhr")
                      : QStringLiteral("Handzeit: von der Stoppuhr eingegeben"));
    if (CellFlagged(col, row)) lines << QStringLiteral("Rechtsklick → „Geprüft“ hebt die Markierung auf.");
    return lines.join(QLatin1Char('\n'));
}

bool TTimeChecks::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        TSortGrid* g = FForm->SortGrid1;
        int col = -1, row = -1;
        const QString note = g->MouseToCell(help->pos() + g->viewport()->pos(), col, row)
                                 ? CellNote(col, row)
                                 : QString();
        if (note.isEmpty()) {
            QToolTip::hideText();
            event->ignore();
        } else {
            QToolTip::showText(help->globalPos(), note, g->viewport());
        }
        return true;
    }
    return QObject::eventFilter(watched, event);
}

void TTimeChecks::UpdatePopup() {
    // The row under the pointer: a right click on a flagged cell offers "Geprüft".
    const int row = FForm->SortGrid1->PopupRow();
    const TRunChecker::TMarks* m = MarksOfRow(row);
    mChecked->SetEnabled(m && !m->Flags.empty());
    mHandTime->SetEnabled(row >= 1 && row < FForm->SortGrid1->RowCount());
}

QString TTimeChecks::RowText(int row) const {
    const TSortGrid* g = FForm->SortGrid1;
    return RowDriverText(g->Rows(row), FEvents.Recorder().RunNoOfRow(g->Cells(pcName, row)));
}

void TTimeChecks::CheckedClick() {
    const TSortGrid* g = FForm->SortGrid1;
    const int row = g->PopupRow();
    if (row < 1 || row >= g->RowCount()) return;
    const QString name = g->Cells(pcName, row);
    Checker().Check(FEvents.Recorder().RunOfRow(name), -1, name);
}

void TTimeChecks::HandTimeClick() {
    const TSortGrid* g = FForm->SortGrid1;
    const int row = g->PopupRow();
    if (row < 1 || row >= g->RowCount()) return;
    const int laps = qBound(2, FForm->RunSettings.Laps, 5);
    // Proposed: the cell right-clicked, else the first lap without a time, else the total.
    int field = FieldOfColumn(g->PopupCol());
    if (field > laps) field = -1;
    for (int k = 1; k <= laps && field < 0; ++k)
        if (ParseTimeText(g->Cells(pcLap1 + k - 1, row)) < 0) field = k;
    TDlgHandTime d(FForm);
    d.Prepare(RowText(row), laps, std::max(0, field));
    if (ExecHandTime(&d) != QDialog::Accepted) return;
    EnterHandTime(row, d.Field(), d.TimeMs());
}

bool TTimeChecks::EnterHandTime(int row, int field, int ms) {
    TSortGrid* g = FForm->SortGrid1;
    const int laps = qBound(2, FForm->RunSettings.Laps, 5);
    if (row < 1 || row >= g->RowCount() || field < 0 || field > laps || ms <= 0) return false;
    const int col = field == 0 ? int(pcTotal) : pcLap1 + field - 1;
    QStringList cells = g->Rows(row);
    const QString name = cells.value(pcName);
    cells[col] = TimeToText(ms);
    // A lap: total and best lap follow as for a typed lap.
    if (field > 0) cells = RecomputeRowTimes(cells, laps);
    FForm->PutRow(row, cells);
    FForm->AnnounceProtocol(TProtocolChangeKind::HandTime, row, col, TimeToText(ms), name);
    g->viewport()->update();
    return true;
}

void TTimeChecks::ThresholdsClick() {
    TDlgPlausibility d(FForm);
    d.SetThresholds(Checker().Thresholds);
    if (ExecThresholds(&d) != QDialog::Accepted) return;
    Checker().Thresholds = d.Thresholds();
    WriteThresholds(FForm->SettingsStore(), Checker().Thresholds);
}
