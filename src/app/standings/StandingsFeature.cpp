#include "StandingsFeature.h"

#include "DlgDoubleRun.h"
#include "DlgPenaltyByNumber.h"
#include "DlgScoring.h"
#include "DurableFile.h"
#include "EventRecorder.h"
#include "Corrections.h"
#include "Exclusion.h"
#include "EventStore.h"
#include "ExcelValues.h"
#include "FMain.h"
#include "ProtocolDocuments.h"
#include "LiveState.h"
#include "OfficeError.h"
#include "ProgramInfo.h"
#include "Protocol.h"
#include "Questions.h"
#include "RecentFolders.h"
#include "WorkbookFiles.h"

#include <QFileDialog>
#include <QLocale>
#include <QPrinter>
#include <QTimer>
#include <utility>

std::function<QString(QWidget*, const QString&, const QString&)> TStandingsFeature::AskSaveFile =
    [](QWidget* parent, const QString& caption, const QString& filter) {
        const QString name = Questions::SaveFileName(
            parent, caption, filter, RecentFolders::Folder(RecentFolders::Standings));
        RecentFolders::Remember(RecentFolders::Standings, name);
        return name;
    };

std::function<int(TDlgScoring*)> TStandingsFeature::ExecScoring = [](TDlgScoring* d) {
    return d->exec();
};

std::function<int(TDlgDoubleRun*)> TStandingsFeature::ExecDoubleRun = [](TDlgDoubleRun* d) {
    return d->exec();
};

TStandingsFeature::TStandingsFeature(TFormMain* form, TEventServices& events)
    : QObject(form), FForm(form), FEvents(events) {
    Settings.Read(form->SettingsStore());
    mStandings = form->AddMenuItem("mStandings", QStringLiteral("Wertung"),
                                   QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_W));
    mStandings->OnClick = [this](QObject*) { ShowStandings(); };
    mPenaltyByNumber = form->AddMenuItem("mPenaltyByNumber", QStringLiteral("Strafe nach Start-Nr. …"),
                                         QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
    mPenaltyByNumber->OnClick = [this](QObject*) { PenaltyByNumber(); };
    FTimer = new QTimer(this);
    FTimer->setObjectName(QStringLiteral("StandingsTimer"));
    FTimer->setSingleShot(true);
    FTimer->setInterval(5); // a burst of commits is read once
    connect(FTimer, &QTimer::timeout, this, &TStandingsFeature::Recompute);
    form->AddRunListener(this);
    // The title as typed, not only from the next run on.
    connect(form->eTitle, &QLineEdit::textChanged, this, [this] { Changed(); });
    Recompute();
}

QString TStandingsFeature::Title() const {
    const QString typed = FForm->eTitle->text().trimmed();
    return typed.isEmpty() ? FEvents.Recorder().CurrentTitle() : typed;
}

QList<std::pair<QString, QString>> TStandingsFeature::Entrants() const {
    // The protocol's rows are the day's start list; a list with named columns may name more.
    QList<std::pair<QString, QString>> entrants;
    const TSortGrid* g = FForm->SortGrid1;
    for (int row = 1; row < g->RowCount(); ++row)
        entrants.append({g->Cells(pcStartNr, row), g->Cells(pcName, row)});
    for (const TEntrant& e : FCache.Entrants())
        entrants.append({e.StartNo, e.Name});
    return entrants;
}

TStandingsFeature::~TStandingsFeature() {
    delete FWindow; // a window of its own beside the main window, not its child
}

void TStandingsFeature::ProtocolChanged(const TProtocolChange& c) {
    Changed(); // drivers of the start list are listed before their first run
    // A start list with named columns brings classes: its drivers go into the event.
    if (c.Kind == TProtocolChangeKind::Loaded || c.Kind == TProtocolChangeKind::Imported)
        FEvents.Recorder().RecordEntrants(FForm->Entrants, FForm->eTitle->text());
}

void TStandingsFeature::ResultsEntered(const TRunResults&) {
    if (!SumsRounds(Settings.Scoring.Rule)) return;
    const QStringList entered = FEvents.Recorder().EnteredRuns();
    // Out of the announcement first; the question waits until no run is in progress.
    QMetaObject::invokeMethod(
        this, [this, entered] { FForm->AfterRun([this, entered] { AskDoubleRuns(entered); }); },
        Qt::QueuedConnection);
}

namespace {
constexpr int AskAgainAfterRun = QDialog::Rejected + 2; // the double run's question put back
} // namespace

void TStandingsFeature::RunEvent(const TRunNotice& n) {
    // A START from the barrier while the question is open: it waits for this run's end.
    if (n.Kind == TRunNoticeKind::Start && FDoubleDialog) FDoubleDialog->done(AskAgainAfterRun);
}

void TStandingsFeature::AskDoubleRuns(const QStringList& entered) {
    FDoubleQueue << entered;
    if (FDoubleDialog) return; // asked after the one open
    // A question asked before this one may have lasted into a run.
    if (FForm->RunInProgress()) {
        FForm->AfterRun([this] { AskDoubleRuns({}); });
        return;
    }
    while (!FDoubleQueue.isEmpty() && SumsRounds(Settings.Scoring.Rule)) {
        const QString uuid = FDoubleQueue.takeFirst();
        FEvents.Store().Flush(1000);
        Recompute();
        // Copies: the standings may be read again while the question is open.
        std::vector<TRunRecord> runs;
        for (const TEffectiveRun* e : RunsOfItsRound(FCache.Runs(), uuid))
            runs.push_back(e->Run);
        if (runs.size() < 2) continue; // one run, or decided meanwhile
        if (std::ranges::all_of(runs, [this](const TRunRecord& r) { return FLeftOpen.contains(r.Uuid); }))
            continue; // left to "Läufe" and "Wertung" already
        TDlgDoubleRun dialog(FForm, RunsOfItsRound(FCache.Runs(), uuid));
        FDoubleDialog = &dialog;
        const int answer = ExecDoubleRun(&dialog);
        FDoubleDialog = nullptr;
        if (answer == AskAgainAfterRun) {
            FDoubleQueue.prepend(uuid);
            FForm->AfterRun([this] { AskDoubleRuns({}); });
            return;
        }
        const QString round = runs.front().RunNo.trimmed();
        const QString driver = RowDriverText({runs.front().StartNo, runs.front().Name}, QString());
        if (answer != QDialog::Accepted) {
            for (const TRunRecord& r : runs)
                FLeftOpen.insert(r.Uuid);
            FForm->Notice(QStringLiteral("%1 ist Lauf %2 %3 gefahren: es zählt der erste, bis in „Läufe“ "
                                         "oder „Wertung“ die anderen als Wiederholung markiert sind.")
                              .arg(driver, round,
                                   runs.size() == 2 ? QStringLiteral("zweimal")
                                                    : QStringLiteral("%1-mal").arg(runs.size())));
            continue;
        }
        const int chosen = dialog.Chosen();
        for (int i = 0; i < int(runs.size()); ++i)
            if (i != chosen)
                Record(StatusCorrection(runs[size_t(i)], RunStatusRerun, DoubleRunReason(round)));
    }
    FDoubleQueue.clear();
}

void TStandingsFeature::FillLive(TLiveState& state) const {
    if (FRows.isEmpty()) return;
    state.StandingsRule = ScoringDescription(Settings.Scoring);
    const bool byClass = !StandingClasses(FRows).isEmpty();
    const QList<TStandingSection> sections = StandingSections(FRows, byClass);
    // The notes as the printout has them: marked at the time, listed below the table.
    const TStandingFootnotes notes = StandingFootnotes(sections);
    for (const TStandingSection& s : sections) {
        TLiveStandingClass c;
        c.Name = s.Caption;
        for (const TStandingRow* r : s.Rows) {
            const QStringList t = StandingTexts(*r, byClass);
            c.Rows << TLiveStandingRow{t[scRank], t[scStartNo], t[scName], t[scCounting],
                                       t[scPenalty], t[scGap], notes.MarksOf(*r)};
        }
        c.Notes = notes.Lines(s.Rows);
        state.Standings << c;
    }
}

void TStandingsFeature::Changed(bool othersArrived) {
    FOthersArrived = FOthersArrived || othersArrived;
    if (!FTimer->isActive()) FTimer->start();
}

void TStandingsFeature::Recompute() {
    FTimer->stop();
    FCache.Refresh(FEvents.DatabasePath(), FEvents.Recorder().CurrentEvent(), FEvents.Store().StationId(),
                   std::exchange(FOthersArrived, false));
    CountAgainLeftAlone();
    if (FClassesOf != FCache.EntrantsVersion()) {
        FClasses = EntrantClasses(FCache.Entrants());
        FClassOrder = EntrantClassOrder(FCache.Entrants());
        FClassesOf = FCache.EntrantsVersion();
    }
    FRows = ComputeStandings(FCache.Runs(), Settings.Scoring, FClasses, FClassOrder);
    AddEntrantsWithoutRuns(FRows, Entrants(), FClasses);
    for (TStandingRow& r : FRows) // those without a run too: one order of classes all day
        r.ClassOrder = int(FClassOrder.indexOf(r.Class));
    if (FWindow)
        FWindow->Show(FRows, FCache.Runs(), ScoringDescription(Settings.Scoring), Title());
    if (FRunsWindow && FRunsWindow->OnRunsShown) FRunsWindow->OnRunsShown(FRunsWindow);
    FForm->LiveChanged();
}

void TStandingsFeature::CountAgainLeftAlone() {
    // The run chosen over it was taken back (Ctrl+Z): the round's other run counts again.
    std::vector<TRunRecord> alone;
    for (const TEffectiveRun* e : DoubleRunRerunsLeftAlone(FCache.Runs()))
        if (!FCountedAgain.contains(e->Run.Uuid)) alone.push_back(e->Run);
    for (const TRunRecord& run : alone) {
        FCountedAgain.insert(run.Uuid);
        Record(StatusCorrection(run, RunStatusOk,
                                QStringLiteral("der gewählte Lauf ist zurückgenommen")));
        FForm->Notice(QStringLiteral("%1: der gewählte Lauf %2 ist zurückgenommen, der andere zählt wieder")
                          .arg(RowDriverText({run.StartNo, run.Name}, QString()), run.RunNo.trimmed()));
    }
}

void TStandingsFeature::Record(const TCorrection& c) {
    FEvents.Recorder().RecordCorrection(c);
}

void TStandingsFeature::AttachRuns(TFormRuns* runs) {
    FRunsWindow = runs;
    runs->Corrections->Catalogue = [this] { return Settings.Catalogue; };
    runs->Corrections->OnCorrection = [this](QObject*, const TCorrection& c) { Record(c); };
    runs->Corrections->Excluded = [this](const TEffectiveRun& e) {
        if (!FRunsWindow) return false;
        return ExcludedDrivers(FRunsWindow->Model->AllRuns()).contains(DriverKey(e.Run.StartNo, e.Run.Name));
    };
    runs->OnRunsShown = [this](QObject*) {
        if (!FRunsWindow) return;
        // The runs window may show an earlier event: its own runs decide.
        std::vector<TEffectiveRun> runs = FRunsWindow->Model->AllRuns();
        std::reverse(runs.begin(), runs.end());
        QStringList counting;
        for (const TStandingRow& r : ComputeStandings(runs, Settings.Scoring))
            counting << r.CountingRuns;
        FRunsWindow->Model->SetCounting(counting);
    };
}

void TStandingsFeature::ShowStandings() {
    if (!FWindow) {
        FWindow = new TFormStandings(nullptr);
        // F5, F4, F9 and the other keys keep working while this window has the focus.
        FWindow->addActions(FForm->actions());
        FWindow->Corrections->Catalogue = [this] { return Settings.Catalogue; };
        FWindow->Corrections->OnCorrection = [this](QObject*, const TCorrection& c) { Record(c); };
        FWindow->OnScoring = [this](QObject*) { EditScoring(); };
        FWindow->OnPrint = [this](QObject*) { Print(); };
        FWindow->OnHtml = [this](QObject*) { SaveAs(false); };
        FWindow->OnExcel = [this](QObject*) { SaveAs(true); };
    }
    FEvents.Store().Flush(1000);
    Recompute();
    FWindow->show();
    FWindow->raise();
    FWindow->activateWindow();
}

TDlgPenaltyByNumber* TStandingsFeature::PenaltyByNumber() {
    if (Settings.Catalogue.isEmpty()) {
        TFormMain::ShowMessage(QStringLiteral(
            "Der Strafenkatalog ist leer. Strafen unter „Wertung einstellen …“ anlegen."));
        return nullptr;
    }
    FEvents.Store().Flush(1000);
    Recompute();
    if (!FPenaltyDialog) {
        FPenaltyDialog = new TDlgPenaltyByNumber(FForm, Settings.Catalogue);
        FPenaltyDialog->setAttribute(Qt::WA_DeleteOnClose);
        // Not modal: F5, F4, F9 and the other keys of the run keep working in it.
        FPenaltyDialog->addActions(FForm->actions());
        FPenaltyDialog->Runs = [this]() -> const std::vector<TEffectiveRun>& { return FCache.Runs(); };
        FPenaltyDialog->OnPenalty = [this](QObject*, const TCorrection& c) { Record(c); };
        FPenaltyDialog->Prepare(FForm->eNR->text());
    }
    FPenaltyDialog->show();
    FPenaltyDialog->raise();
    FPenaltyDialog->activateWindow();
    return FPenaltyDialog;
}

void TStandingsFeature::Apply(const TStandingsSettings& s) {
    Settings = s;
    // Kept at once: the choice survives a crash as well as a normal end.
    Settings.Write(FForm->SettingsStore());
    FForm->SettingsStore().Sync();
    Recompute();
}

void TStandingsFeature::EditScoring() {
    TDlgScoring dialog(FWindow ? static_cast<QWidget*>(FWindow) : FForm, Settings);
    if (ExecScoring(&dialog) == QDialog::Accepted) Apply(dialog.Result);
}

TStandingsPage TStandingsFeature::Page() const {
    TStandingsPage p;
    p.Title = Title();
    p.Rule = ScoringDescription(Settings.Scoring);
    p.Date = ProtocolDocuments::LongDate(); // as the protocol's reports write it
    p.Rows = FRows;
    return p;
}

bool TStandingsFeature::WriteHtml(const QString& fileName) {
    if (ReplaceFileContents(fileName, StandingsHtml(Page()))) return true;
    TFormMain::ShowError(QStringLiteral("Der Schreibfehler der Datei: ") + fileName);
    return false;
}

namespace {

// Times as time values shown to the hundredth, penalties and gaps with their sign.
const QString TimeFormat = QStringLiteral("[m]:ss.00");
const QString GapFormat = QStringLiteral("+[m]:ss.00");

// A cell of the standings sheet: ranks, start numbers and counts as numbers, times as
// time values, so that a spreadsheet sorts and adds them; anything else ("DSQ", "7a") as text.
void PutStandingCell(TSheetModel& sheet, int row, int col, int column, const QString& text) {
    if (text.isEmpty()) return;
    TCell& cell = sheet.At(row, col);
    cell.Value = text;
    switch (column) {
    case scRank:
    case scStartNo:
    case scRuns: {
        double value = 0;
        int decimals = 0;
        if (ExcelValues::ParseGermanNumber(text, &value, &decimals) && decimals == 0) cell.Value = value;
        break;
    }
    case scRaw:
    case scCounting:
    case scPenalty:
    case scGap:
    case scGapAhead: {
        const bool signed_ = text.startsWith(QLatin1Char('+'));
        const int ms = ParseTimeText(signed_ ? text.mid(1) : text);
        if (ms < 0) break;
        cell.Value = ms / 86400000.0;
        cell.Format = signed_ ? GapFormat : TimeFormat;
        break;
    }
    default: break;
    }
}

} // namespace

bool TStandingsFeature::WriteXlsx(const QString& fileName) {
    TWorkbookModel book;
    book.Title = QStringLiteral("Wertung");
    const TStandingsPage page = Page();
    // The marks of the counting time in a column of their own, beside it.
    QStringList captions = StandingCaptions();
    captions.insert(scCounting + 1, QStringLiteral("Fußnote"));
    const auto columnOf = [](int c) { return c <= scCounting ? c + 1 : c + 2; };
    QSet<QString> names;
    const auto sheetFor = [&](const TStandingSection& s, bool inClass) {
        TSheetModel sheet;
        // Sheet names: at most 31 characters, none of []:*?/\, unique.
        QString name = s.Caption;
        for (const QChar c : QStringLiteral("[]:*?/\\"))
            name.replace(c, QLatin1Char('_'));
        name = name.left(28).trimmed();
        if (name.isEmpty()) name = QStringLiteral("Klasse");
        QString unique = name;
        for (int k = 2; names.contains(unique.toLower()); ++k)
            unique = name + QLatin1Char(' ') + QString::number(k);
        names.insert(unique.toLower());
        sheet.Name = unique;
        sheet.At(1, 1).Value = page.Title;
        sheet.At(2, 1).Value = QStringLiteral("Wertung: ") + page.Rule + QStringLiteral(" – ") + page.Date;
        sheet.BoldRows.insert(1);
        sheet.BoldRows.insert(4);
        sheet.BoldCols.insert(columnOf(scCounting));
        sheet.FrozenRows = 4; // the head row stays in view
        for (int c = 0; c < captions.size(); ++c)
            sheet.At(4, c + 1).Value = captions[c];
        // Each sheet is a list of its own: its notes numbered from 1, listed below it.
        const TStandingFootnotes notes = StandingFootnotes({s});
        int row = 5;
        for (const TStandingRow* r : s.Rows) {
            const QStringList t = StandingTexts(*r, inClass);
            for (int c = 0; c < t.size(); ++c)
                PutStandingCell(sheet, row, columnOf(c), c, t[c]);
            if (const QString marks = notes.MarksOf(*r); !marks.isEmpty())
                sheet.At(row, columnOf(scCounting) + 1).Value = marks;
            ++row;
        }
        sheet.FitColumns(4, row - 1); // the title and the notes below may reach over
        ++row;
        for (const QString& line : notes.Lines(s.Rows))
            sheet.At(row++, 1).Value = line;
        book.Sheets << sheet;
    };
    for (const TStandingSection& s : StandingSections(page.Rows, false))
        sheetFor(s, false);
    if (!StandingClasses(page.Rows).isEmpty())
        for (const TStandingSection& s : StandingSections(page.Rows, true))
            sheetFor(s, true);
    try {
        WorkbookFiles::WriteXlsx(book, fileName);
        return true;
    } catch (const EOfficeError&) {
        TFormMain::ShowError(QStringLiteral("Der Schreibfehler der Datei: ") + fileName);
        return false;
    }
}

ReportPrint::TPrintTable TStandingsFeature::PrintTable(bool byClass) const {
    const TStandingsPage page = Page();
    ReportPrint::TPrintTable t;
    t.Title = page.Title;
    t.Lead = {{QStringLiteral("Wertung: ") + page.Rule, false}};
    t.DateLine = QStringLiteral("Datum: ") + page.Date;
    t.FooterLeft = page.Title;
    t.FooterRight = page.Date;
    byClass = byClass && !StandingClasses(page.Rows).isEmpty();
    // The notes are footnotes below the table, marked at the time they belong to.
    QList<int> cols;
    for (int c = 0; c < scColumnCount; ++c)
        if (c != scNote && (c != scClass || (!byClass && !StandingClasses(page.Rows).isEmpty()))) cols << c;
    const QStringList captions = StandingCaptions();
    for (const int c : cols) {
        t.Head << captions[c];
        t.Align << (c == scName || c == scClass ? Qt::AlignLeft | Qt::AlignVCenter
                    : c == scStartNo            ? Qt::AlignCenter
                                                : Qt::AlignRight | Qt::AlignVCenter);
        if (c == scName) t.ElasticCol = int(t.Head.size()) - 1;
        if (c == scCounting) t.BoldCols.insert(int(t.Head.size()) - 1);
    }
    const QList<TStandingSection> sections = StandingSections(page.Rows, byClass);
    const TStandingFootnotes notes = StandingFootnotes(sections);
    QList<const TStandingRow*> printed;
    for (const TStandingSection& s : sections) {
        if (byClass) {
            t.CaptionRows.insert(int(t.Rows.size()));
            t.Rows << QStringList{s.Caption};
        }
        for (const TStandingRow* r : s.Rows) {
            const QStringList texts = StandingSheetTexts(*r, byClass, notes);
            QStringList cells;
            for (const int c : cols)
                cells << texts[c];
            t.Rows << cells;
            printed << r;
        }
    }
    t.Footnotes = notes.Lines(printed);
    return t;
}

bool TStandingsFeature::Print() {
    const bool byClass = FWindow && FWindow->Model->ByClass();
    const ReportPrint::TPrintTable table = PrintTable(byClass);
    return ProtocolDocuments::PrintDocument(table, QStringLiteral("Wertung ") + table.Title,
                                            ProgramTitle() + QStringLiteral("-Wertung"));
}

void TStandingsFeature::SaveAs(bool xlsx) {
    QString name = AskSaveFile(FWindow, QStringLiteral("Wertung speichern"),
                               xlsx ? QStringLiteral("Excel-Arbeitsmappe (*.xlsx)")
                                    : QStringLiteral("Webseite (*.html)"));
    if (name.isEmpty()) return;
    name = ProtocolDocuments::WithDocumentExtension(name, xlsx);
    if (xlsx)
        WriteXlsx(name);
    else
        WriteHtml(name);
}
