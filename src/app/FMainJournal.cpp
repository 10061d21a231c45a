// The event journal of the main window and the recovery of an interrupted run.
#include "DurableFile.h"
#include "FMain.h"
#include "TerminationRequest.h"
#include "TickSource.h"

#include <QDir>
#include <QFileInfo>

QString TFormMain::JournalFileName() const {
    return FJournalDir.absoluteFilePath(ProgramTitle() + QStringLiteral(".journal"));
}

QString TFormMain::PreviousJournalFileName() const {
    return FJournalDir.absoluteFilePath(ProgramTitle() + QStringLiteral(".vorher.journal"));
}

std::function<QString()> TFormMain::BootId = [] { return CurrentBootId(); };

void TFormMain::StartJournal() {
    FInterrupted = Journal::TInterruptedRun();
    const QByteArray first =
        Journal::HeaderLine(ProgramTitle(), BootId(), QDateTime::currentDateTime()) +
        FJournalWaiting;
    if (FJournal.Start(JournalFileName(), PreviousJournalFileName(), first))
        FJournalWaiting.clear();
}

void TFormMain::JournalLine(const QString& event, const Journal::TFields& fields,
                            const QDateTime& wall) {
    const QByteArray line =
        Journal::EventLine(wall.isValid() ? wall : QDateTime::currentDateTime(), event, fields);
    if (FJournal.IsStarted()) {
        FJournal.Append(line);
        return;
    }
    // The journal of an interrupted run stays as it is until the question is answered.
    FJournalWaiting += line;
    if (!FInterrupted.Found) StartJournal();
}

void TFormMain::RestoreProtocol(const Journal::TInterruptedRun& run) {
    const QFileInfo backup(run.BackupFile);
    if (!run.BackupFile.isEmpty() && backup.isFile()) {
        // Before loading: the backup written on the load must not rotate over the previous one.
        FBackup.Continue(run.BackupFile);
        LoadProtocolText(run.BackupFile);
    }
    SortGrid1->SetModified(run.BackupModified);
    FProtocolRestored = true;
    StatusPanels[1]->setText(QStringLiteral("Protokoll nach Absturz wiederhergestellt"));
    StatusPanels[1]->resize(StatusPanels[1]->sizeHint().width() + 8, StatusPanels[1]->height());
    UpdateProtocolButtons();
    // The new journal names the backup from its first lines: a crash right away loses nothing.
    WriteBackup();
}

void TFormMain::RecordRunEvent(TRunEventKind kind, int car, uint32_t tick) {
    if (FRun.Events().empty()) FRun = TRunEvents(Cars, Laps);
    const TRunEvent e{kind, car, tick};
    FRun.Add(e);
    FEventCount = TRunEvents::PassOver(FEventCount, Cars, Laps, FRun.State());
    AnnounceRunEvent(NoticeKind(kind), car, tick);
}

bool TFormMain::RunComplete() const {
    return FEventCount > 0 && NextEventFor(FEventCount, Cars, Laps) == TNextEvent::None;
}

void TFormMain::OfferRecovery() {
    if (!FJournalProblem.isEmpty()) {
        ShowMessage(FJournalProblem);
        FJournalProblem.clear();
    }
    if (!FInterrupted.Found) return;
    const Journal::TInterruptedRun run = FInterrupted;
    QString question = Journal::RecoveryQuestion(run);
    if (FProtocolRestored) question += QStringLiteral("\nDas Protokoll ist wiederhergestellt.");
    FDlgYesNo->Label1->setText(question);
    FDlgYesNo->setFixedSize(420, 180);
    const bool yes = FDlgYesNo->ShowModal() == TFDlgYesNo::mrYes;
    FDlgYesNo->setFixedSize(260, 120);
    // Ended while asking (a logout): no answer, so the run is offered again next time.
    if (TerminationRequested()) return;
    if (yes) RestoreRun(run);
    // Only now: the new journal holds the restored events before the old one goes.
    StartJournal();
}

void TFormMain::RestoreRun(const Journal::TInterruptedRun& run) {
    Cars = run.Cars;
    Laps = run.Laps;
    ArrangeForCars();
    if (!run.Title.isEmpty()) eTitle->setText(run.Title);
    if (!run.RunNumber.isEmpty()) eNR->setText(run.RunNumber);
    FrameTimer1->hcbName->SetText(run.Name1);
    FrameTimer2->hcbName->SetText(run.Name2);
    const uint32_t offset =
        Journal::TickOffset(run, BootId(), TickSource::Now(), QDateTime::currentDateTime());
    FRun = TRunEvents(Cars, Laps);
    FEventSource = esRestored;
    for (size_t i = 0; i < run.Events.size(); ++i) {
        TRunEvent e = run.Events[i];
        e.Tick += offset;
        if (!FRun.Add(e)) continue;
        // Journalled again through the announcement, each event with the wall time it
        // happened at: a later recovery measures the downtime from it, not from this one.
        AnnounceRunEvent(NoticeKind(e.Kind), e.Car, e.Tick,
                         i < run.Walls.size() ? run.Walls[i] : QDateTime());
    }
    FEventSource = esKey;
    ApplyRunState();
    // A car on the track is caught by the barrier at its next passage.
    for (int car = 1; car <= Cars; ++car)
        if (FRun.State().Car[car].Running()) LedLock->SetKind(lkGreen);
    if (RunComplete()) EnterRunResults();
}

void TFormMain::ApplyRunState() {
    const TRunState& s = FRun.State();
    // From the controls after RESET to the run's state.
    mReset->SetEnabled(false);
    bStart->setVisible(true);
    bReset->setVisible(false);
    for (int car = 1; car <= Cars && car <= 2; ++car) {
        TFrameTimer* t = FTimers[car];
        const TCarRunState& c = s.Car[car];
        t->ResetClock();
        t->Clock->stop();
        if (c.Started) {
            t->FStartTick = c.StartTick;
            t->FLapTick = c.LapTick;
            t->FStopTick = c.Finished || c.Dnf ? c.StopTick : c.StartTick;
        }
        t->FTotalMs = c.TotalMs;
        t->Tag = c.LapsDone;
        if (c.Running()) {
            t->Clock->start();
            t->ClockTimer();
        } else if (c.Finished) {
            t->ShowTime(c.TotalMs);
        } else if (c.Dnf) {
            t->ShowDropOut(c.Started ? TickSource::Diff(c.StopTick, c.StartTick) : 0);
        }
        CarHundredths[car] = c.Hundredths;
        for (int lap = 1; lap <= 5; ++lap)
            FLapTimers[car][lap]->SetLapTime(c.LapMs[lap]);
    }
    FEventCount = s.EventCount;
    if (FEventCount > 0) {
        UpdateEventControls();
        return;
    }
    // Nothing left of the run: only START, as after RESET.
    mLAP->SetEnabled(false);
    mStop->SetEnabled(false);
    mStart->SetEnabled(true);
    bStart->SetColor(bStart->HotTrackColor());
    bStart->setEnabled(true);
    for (TLbButton* b : {bLAP, bFinish}) {
        b->setEnabled(false);
        b->SetColor(clBlack);
    }
}
