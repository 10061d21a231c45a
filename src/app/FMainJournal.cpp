// The event journal of the main window and the recovery of an interrupted run.
#include "DurableFile.h"
#include "FMain.h"
#include "TickSource.h"

#include <QDir>
#include <QFileInfo>

QString TFormMain::JournalFileName() const {
    return FJournalDir.absoluteFilePath(ProgramTitle() + QStringLiteral(".journal"));
}

QString TFormMain::PreviousJournalFileName() const {
    return FJournalDir.absoluteFilePath(ProgramTitle() + QStringLiteral(".vorher.journal"));
}

void TFormMain::StartJournal() {
    FInterrupted = Journal::TInterruptedRun();
    FJournal.Start(
        JournalFileName(), PreviousJournalFileName(),
        Journal::HeaderLine(ProgramTitle(), CurrentBootId(), QDateTime::currentDateTime()));
}

void TFormMain::JournalLine(const QString& event, const Journal::TFields& fields) {
    if (!FJournal.IsStarted()) StartJournal();
    FJournal.Append(Journal::EventLine(QDateTime::currentDateTime(), event, fields));
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
    if (!FInterrupted.Found) return;
    const Journal::TInterruptedRun run = FInterrupted;
    FDlgYesNo->Label1->setText(QStringLiteral("Der letzte Lauf wurde unterbrochen. Fortsetzen?"));
    const bool yes = FDlgYesNo->ShowModal() == TFDlgYesNo::mrYes;
    StartJournal(); // the old journal is kept as the previous one
    if (yes) RestoreRun(run);
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
        Journal::TickOffset(run, CurrentBootId(), TickSource::Now(), QDateTime::currentDateTime());
    FRun = TRunEvents(Cars, Laps);
    FEventSource = esRestored;
    for (TRunEvent e : run.Events) {
        e.Tick += offset;
        if (!FRun.Add(e)) continue;
        // Journalled again through the announcement: this journal can pick the run up again.
        AnnounceRunEvent(NoticeKind(e.Kind), e.Car, e.Tick);
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
