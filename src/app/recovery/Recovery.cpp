#include "Recovery.h"
#include "Protocol.h"
#include "Corrections.h"
#include "TimeText.h"
#include "DurableFile.h"
#include "FMainPrivate.h"
#include "TerminationRequest.h"
#include "TickSource.h"

#include <QFileInfo>

std::function<QString()> TRecovery::BootId = [] { return CurrentBootId(); };

TRecovery::TRecovery(TFormMain& window)
    : TJournalListener([this](const QString& event, const Journal::TFields& fields, qint64 wallMs) {
          Line(event, fields, wallMs > 0 ? QDateTime::fromMSecsSinceEpoch(wallMs) : QDateTime());
      }),
      FWindow(window) {}

QString TRecovery::JournalFileName() const {
    return FDir.absoluteFilePath(ProgramTitle() + QStringLiteral(".journal"));
}

QString TRecovery::PreviousJournalFileName() const {
    return FDir.absoluteFilePath(ProgramTitle() + QStringLiteral(".vorher.journal"));
}

void TRecovery::Open() {
    // An interrupted run keeps its journal until the question has been answered.
    FDir = QFileInfo(FWindow.BackupFileName()).dir();
    FInterrupted = Journal::ReadInterruptedRun(JournalFileName(), ProgramTitle());
    if (!FInterrupted.Problem.isEmpty())
        FProblem = QStringLiteral("Das Ereignisprotokoll %1 %2; es wird als %3 aufbewahrt.")
                       .arg(QDir::toNativeSeparators(JournalFileName()), FInterrupted.Problem,
                            QDir::toNativeSeparators(PreviousJournalFileName()));
    if (FInterrupted.Unclean) RestoreProtocol(FInterrupted);
    if (!FInterrupted.Found) Start();
}

void TRecovery::Start() {
    FInterrupted = Journal::TInterruptedRun();
    const QByteArray first =
        Journal::HeaderLine(ProgramTitle(), BootId(), QDateTime::currentDateTime()) + FWaiting;
    if (FJournal.Start(JournalFileName(), PreviousJournalFileName(), first)) FWaiting.clear();
}

void TRecovery::Line(const QString& event, const Journal::TFields& fields, const QDateTime& wall) {
    const QByteArray line =
        Journal::EventLine(wall.isValid() ? wall : QDateTime::currentDateTime(), event, fields);
    if (FJournal.IsStarted()) {
        FJournal.Append(line);
        return;
    }
    // The journal of an interrupted run stays as it is until the question is answered.
    FWaiting += line;
    if (!FInterrupted.Found) Start();
}

void TRecovery::Closing() {
    // The closing line: the next start knows this program run ended properly.
    if (FJournal.IsStarted()) Line(Journal::EndEvent, {});
}

void TRecovery::RestoreProtocol(const Journal::TInterruptedRun& run) {
    TFormMain& w = FWindow;
    const QFileInfo backup(run.BackupFile);
    // Every backup holds at least its header line: an empty or missing one was lost
    // (a full disk), and the runs come back from the event database instead.
    const bool lost = run.BackupFile.isEmpty() || !backup.isFile() || backup.size() == 0;
    if (!lost) {
        // Before loading: the backup written on the load must not rotate over the previous one.
        w.P->FBackup.Continue(run.BackupFile);
        w.LoadProtocolText(run.BackupFile);
    }
    const bool fromEvents = lost && w.LoadProtocolFromEvents();
    w.SortGrid1->SetModified(run.BackupModified || fromEvents);
    FProtocolRestored = true;
    w.ShowStatus(fromEvents ? QStringLiteral("Protokoll nach Absturz aus der Datenbank wiederhergestellt")
                            : QStringLiteral("Protokoll nach Absturz wiederhergestellt"));
    w.UpdateProtocolButtons();
    // The new journal names the backup from its first lines: a crash right away loses nothing.
    w.WriteBackup();
}

void TRecovery::Offer() {
    TFormMain& w = FWindow;
    if (!FProblem.isEmpty()) {
        TFormMain::ShowMessage(FProblem);
        FProblem.clear();
    }
    if (!FInterrupted.Found) return;
    const Journal::TInterruptedRun run = FInterrupted;
    if (Recorded(run)) {
        // Nothing to decide. A protocol that lacks the run's rows gets them as "Ja"
        // would give them (the database passes over the run it holds); one that shows
        // them (restored from the database) goes on with the next entrant.
        const bool shown = ShownInProtocol(run);
        RestoreRun(run, !shown);
        if (shown) w.mReset->Click();
        w.ShowStatus(Journal::RunLabel(run) +
                     (shown ? QStringLiteral(" war vor dem Absturz schon gespeichert und steht im Protokoll")
                            : QStringLiteral(" war vor dem Absturz schon gespeichert: ins Protokoll übernommen")));
        Start();
        return;
    }
    QString question = Journal::RecoveryQuestion(run);
    if (FProtocolRestored) question += QStringLiteral("\nDas Protokoll ist wiederhergestellt.");
    w.FDlgYesNo->Label1->setText(question);
    w.FDlgYesNo->setFixedSize(420, 180);
    const bool yes = w.FDlgYesNo->ShowModal() == TFDlgYesNo::mrYes;
    w.FDlgYesNo->setFixedSize(260, 120);
    // Ended while asking (a logout): no answer, so the run is offered again next time.
    if (TerminationRequested()) return;
    if (yes) RestoreRun(run);
    // Only now: the new journal holds the restored events before the old one goes.
    Start();
}

bool TRecovery::Recorded(const Journal::TInterruptedRun& run) const {
    if (!FWindow.RunRecorded || !Journal::RunFinished(run)) return false;
    for (int car = 1; car <= run.Cars && car <= 2; ++car)
        if (run.RunIds[car].isEmpty() || !FWindow.RunRecorded(run.RunIds[car])) return false;
    return true;
}

bool TRecovery::ShownInProtocol(const Journal::TInterruptedRun& run) const {
    TRunEvents events(run.Cars, run.Laps);
    for (const TRunEvent& e : run.Events)
        events.Add(e);
    const TSortGrid* g = FWindow.SortGrid1;
    for (int car = 1; car <= run.Cars && car <= 2; ++car) {
        const TCarRunState& c = events.State().Car[car];
        const QString name = SplitStartNumber(car == 1 ? run.Name1 : run.Name2).Name.simplified();
        // The total as the window enters it: the sum of the laps in hundredths.
        const QString total = c.Dnf ? DnfText : TimeToText(c.Hundredths * 10);
        bool found = false;
        for (int r = 1; r < g->RowCount() && !found; ++r)
            found = g->Cells(pcName, r).simplified().compare(name, Qt::CaseInsensitive) == 0 &&
                    g->Cells(pcTotal, r).trimmed() == total;
        if (!found) return false;
    }
    return true;
}

void TRecovery::RestoreRun(const Journal::TInterruptedRun& run, bool replay) {
    TFormMain& w = FWindow;
    w.RunSettings.Cars = run.Cars;
    w.RunSettings.Laps = run.Laps;
    w.ArrangeForCars();
    if (!run.Title.isEmpty()) w.eTitle->setText(run.Title);
    if (!run.RunNumber.isEmpty()) w.eNR->setText(run.RunNumber);
    // The list position, not only the text: RESET goes on with the entrant after it.
    for (int car = 1; car <= 2; ++car) {
        THistoryComboBox* box = w.FTimers[car]->hcbName;
        const QString name = car == 1 ? run.Name1 : run.Name2;
        const QStringList items = box->Items();
        int at = items.indexOf(name);
        const auto key = [](const QString& t) { return SplitStartNumber(t).Name.simplified().toCaseFolded(); };
        for (int i = 0; i < items.size() && at < 0 && !key(name).isEmpty(); ++i)
            if (key(items[i]) == key(name)) at = i; // the list of a restored protocol has no numbers
        box->SetItemIndex(at);
        box->SetText(name);
    }
    if (!replay) return;
    w.P->FRestoredRunIds = run.RunIds;
    const uint32_t offset =
        Journal::TickOffset(run, BootId(), TickSource::Now(), QDateTime::currentDateTime());
    w.FRun = TRunEvents(w.RunSettings.Cars, w.RunSettings.Laps);
    w.FEventSource = TRunEventSource::Restored;
    for (size_t i = 0; i < run.Events.size(); ++i) {
        TRunEvent e = run.Events[i];
        e.Tick += offset;
        if (!w.FRun.Add(e)) continue;
        // Journalled again through the announcement, each event with the wall time it
        // happened at: a later recovery measures the downtime from it, not from this one.
        w.AnnounceRunEvent(NoticeKind(e.Kind), e.Car, e.Tick,
                           i < run.Walls.size() ? run.Walls[i] : QDateTime());
    }
    w.FEventSource = TRunEventSource::Key;
    w.ApplyRunState();
    // A car on the track is caught by the barrier at its next passage.
    for (int car = 1; car <= w.RunSettings.Cars; ++car)
        if (w.FRun.State().Car[car].Running()) w.LedLock->SetKind(lkGreen);
    if (w.RunComplete()) w.EnterRunResults();
}
