#include "SeasonFeature.h"

#include "DurableFile.h"
#include "EventStore.h"
#include "ExcelEngine.h"
#include "FMain.h"
#include "LiveState.h"
#include "OfficeError.h"
#include "ProgramInfo.h"
#include "ProtocolDocuments.h"
#include "StandingsSettings.h"
#include "WorkbookFiles.h"

#include <QFileDialog>
#include <QPrinter>
#include <QTimer>

std::function<QString(QWidget*, const QString&, const QString&)> TSeasonFeature::AskSaveFile =
    [](QWidget* parent, const QString& caption, const QString& filter) {
        return QFileDialog::getSaveFileName(parent, caption, QString(), filter);
    };

std::function<int(TDlgSeason*)> TSeasonFeature::ExecSettings = [](TDlgSeason* d) { return d->exec(); };

TSeasonFeature::TSeasonFeature(TFormMain* form, TEventServices& events)
    : QObject(form), FForm(form), FEvents(events) {
    Settings.Read(form->SettingsStore());
    mSeason = form->AddMenuItem("mSeason", QStringLiteral("Saisonwertung"),
                                QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_M));
    mSeason->OnClick = [this](QObject*) { ShowSeason(); };
    FTimer = new QTimer(this);
    FTimer->setObjectName(QStringLiteral("SeasonTimer"));
    FTimer->setSingleShot(true);
    FTimer->setInterval(1000); // a season reads every event: once after a burst of runs
    connect(FTimer, &QTimer::timeout, this, &TSeasonFeature::Recompute);
    FPage.Name = Settings.Name;
    FPage.Rules = Settings.Rules;
    // The live page shows the season from the start; read after the window is up.
    if (!Settings.Events.isEmpty()) QTimer::singleShot(0, this, &TSeasonFeature::Recompute);
}

QList<TSeasonCandidate> TSeasonFeature::Candidates(const QStringList& files, QStringList* problems) const {
    FEvents.Store().Flush(1000);
    return SeasonCandidates(FEvents.DatabasePath(), files, problems);
}

void TSeasonFeature::Recompute() {
    FTimer->stop();
    TStandingsSettings scoring;
    scoring.Read(FForm->SettingsStore()); // each event scored as "Wertung" is set
    FProblems.clear();
    FPage.Name = Settings.Name;
    FPage.Rules = Settings.Rules;
    FPage.Date = ProtocolDocuments::LongDate();
    FPage.Events = ReadSeasonEvents(FEvents.DatabasePath(), Settings.Events, scoring.Scoring, &FProblems);
    FPage.Rows = ComputeSeason(FPage.Events, Settings.Rules);
    ++FStamp;
    if (FWindow) FWindow->Show(FPage, FProblems);
    FForm->LiveChanged();
}

void TSeasonFeature::Changed() {
    if (!Settings.Events.isEmpty() && !FTimer->isActive()) FTimer->start();
}

void TSeasonFeature::ShowSeason() {
    if (!FWindow) {
        FWindow = new TFormSeason(FForm);
        FWindow->addActions(FForm->actions()); // the timing keys keep working
        FWindow->OnSettings = [this](QObject*) { EditSettings(); };
        FWindow->OnJoin = [this](QObject*) { JoinSelected(); };
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

void TSeasonFeature::Apply(const TSeasonSettings& s) {
    Settings = s;
    Settings.Write(FForm->SettingsStore());
    FForm->SettingsStore().Sync();
    Recompute();
}

void TSeasonFeature::EditSettings() {
    TDlgSeason dialog(FWindow ? static_cast<QWidget*>(FWindow) : FForm, Settings,
                      [this](const QStringList& files, QStringList* problems) { return Candidates(files, problems); });
    if (ExecSettings(&dialog) == QDialog::Accepted) Apply(dialog.Result);
}

bool TSeasonFeature::JoinSelected() {
    if (!FWindow) return false;
    const QList<const TSeasonRow*> rows = FWindow->SelectedDrivers();
    if (rows.size() < 2) {
        FWindow->Notice(QStringLiteral("Zum Zusammenführen zwei Zeilen markieren (Strg+Klick): "
                                       "die aktuelle Zeile gibt Start-Nr. und Name."));
        return false;
    }
    TSeasonSettings s = Settings;
    const QString into = rows.front()->Key;
    QStringList names;
    for (qsizetype i = 1; i < rows.size(); ++i) {
        // Every spelling that now counts as the other driver follows it.
        for (auto it = s.Rules.Joined.begin(); it != s.Rules.Joined.end(); ++it)
            if (it.value() == rows[i]->Key) it.value() = into;
        s.Rules.Joined.insert(rows[i]->Key, into);
        s.Rules.Joined.remove(into);
        names << QStringLiteral("„%1“").arg(rows[i]->Name);
    }
    const QString target = rows.front()->Name;
    Apply(s);
    FWindow->SelectDriver(into);
    FWindow->Notice(QStringLiteral("%1 zählt jetzt als „%2“; „Saison einstellen …“ trennt wieder.")
                        .arg(names.join(QStringLiteral(", ")), target));
    return true;
}

void TSeasonFeature::FillLive(TLiveState& state) const {
    if (FPage.Events.isEmpty()) return;
    state.SeasonName = FPage.Name;
    state.SeasonRule = SeasonRuleLine(FPage);
    state.SeasonStamp = FStamp;
    state.SeasonColumns = SeasonCaptions(FPage.Events);
    state.SeasonColumns.removeAt(secClass);
    for (const TSeasonSection& s : SeasonSections(FPage.Rows)) {
        TLiveSeasonClass c;
        c.Name = s.Caption;
        for (const TSeasonRow* r : s.Rows) {
            QStringList t = SeasonTexts(*r);
            t.removeAt(secClass);
            c.Rows << t;
        }
        state.Season << c;
    }
}

ReportPrint::TPrintTable TSeasonFeature::PrintTable() const {
    ReportPrint::TPrintTable t;
    t.Title = FPage.Name;
    t.Lead = {{SeasonRuleLine(FPage), false}, {QStringLiteral(" – Veranstaltungen: ") + SeasonEventsLine(FPage.Events), true}};
    t.DateLine = QStringLiteral("Stand: ") + FPage.Date;
    t.FooterLeft = FPage.Name;
    t.FooterRight = FPage.Date;
    const QStringList captions = SeasonCaptions(FPage.Events);
    for (int c = 0; c < captions.size(); ++c) {
        if (c == secClass) continue; // the class is the caption above its rows
        t.Head << captions[c];
        t.Align << (c == secName ? Qt::AlignLeft | Qt::AlignVCenter
                    : c == secStartNo ? Qt::AlignCenter
                                      : Qt::AlignRight | Qt::AlignVCenter);
    }
    t.ElasticCol = secName;
    t.BoldCols.insert(int(t.Head.size()) - 1);
    const QList<TSeasonSection> sections = SeasonSections(FPage.Rows);
    const TSeasonFootnotes notes = SeasonFootnotes(sections);
    QList<const TSeasonRow*> printed;
    for (const TSeasonSection& s : sections) {
        t.CaptionRows.insert(int(t.Rows.size()));
        t.Rows << QStringList{s.Caption};
        for (const TSeasonRow* r : s.Rows) {
            QStringList cells = SeasonSheetTexts(*r, notes);
            cells.removeAt(secClass);
            t.Rows << cells;
            printed << r;
        }
    }
    t.Footnotes = notes.Lines(printed);
    return t;
}

bool TSeasonFeature::Print() {
    const ReportPrint::TPrintTable table = PrintTable();
    return ProtocolDocuments::PrintDocument(table, QStringLiteral("Saisonwertung ") + table.Title,
                                            ProgramTitle() + QStringLiteral("-Saisonwertung"));
}

bool TSeasonFeature::WriteHtml(const QString& fileName) {
    if (ReplaceFileContents(fileName, SeasonHtml(FPage))) return true;
    TFormMain::ShowError(QStringLiteral("Der Schreibfehler der Datei: ") + fileName);
    return false;
}

bool TSeasonFeature::WriteXlsx(const QString& fileName) {
    TWorkbookModel book;
    book.Title = QStringLiteral("Saisonwertung");
    TSheetModel sheet;
    sheet.Name = QStringLiteral("Saisonwertung");
    sheet.At(1, 1).Value = FPage.Name;
    sheet.At(2, 1).Value = SeasonRuleLine(FPage) + QStringLiteral(" – Stand: ") + FPage.Date;
    sheet.At(3, 1).Value = QStringLiteral("Veranstaltungen: ") + SeasonEventsLine(FPage.Events);
    sheet.BoldRows.insert(1);
    const QStringList captions = SeasonCaptions(FPage.Events);
    const int points = int(captions.size());
    QList<int> widest(points, 0);
    const auto put = [&](int row, const QStringList& texts, bool bold) {
        for (int c = 0; c < texts.size(); ++c) {
            if (texts[c].isEmpty()) continue;
            TCell& cell = sheet.At(row, c + 1);
            cell.Value = texts[c];
            cell.Bold = bold || c + 1 == points;
            widest[c] = std::max(widest[c], int(texts[c].size()));
        }
    };
    put(5, captions, true);
    const QList<TSeasonSection> sections = SeasonSections(FPage.Rows);
    const TSeasonFootnotes notes = SeasonFootnotes(sections);
    int row = 6;
    QList<const TSeasonRow*> all;
    for (const TSeasonSection& s : sections) {
        all << s.Rows;
        TCell& caption = sheet.At(row++, 1);
        caption.Value = s.Caption;
        caption.Bold = true;
        for (const TSeasonRow* r : s.Rows)
            put(row++, SeasonSheetTexts(*r, notes), false);
    }
    ++row;
    for (const QString& line : notes.Lines(all))
        sheet.At(row++, 1).Value = line;
    // Every column as wide as its widest cell (title and notes run on to the right).
    for (int c = 0; c < points; ++c)
        sheet.ColumnWidths[c + 1] = FittedColumnWidth(std::max(widest[c], 4), c + 1 == points);
    book.Sheets << sheet;
    try {
        WorkbookFiles::WriteXlsx(book, fileName);
        return true;
    } catch (const EOfficeError&) {
        TFormMain::ShowError(QStringLiteral("Der Schreibfehler der Datei: ") + fileName);
        return false;
    }
}

void TSeasonFeature::SaveAs(bool xlsx) {
    QString name = AskSaveFile(FWindow, QStringLiteral("Saisonwertung speichern"),
                               xlsx ? QStringLiteral("Excel-Arbeitsmappe (*.xlsx)")
                                    : QStringLiteral("Webseite (*.html)"));
    if (name.isEmpty()) return;
    name = ProtocolDocuments::WithDocumentExtension(name, xlsx);
    if (xlsx)
        WriteXlsx(name);
    else
        WriteHtml(name);
}
