// The run in progress: its events, and the controls that follow them.
#include "FMainPrivate.h"
#include "NoticeLine.h"
#include "TickSource.h"

void TFormMain::RecordRunEvent(TRunEventKind kind, int car, uint32_t tick) {
    if (FRun.Events().empty()) FRun = TRunEvents(RunSettings.Cars, RunSettings.Laps);
    const TRunEvent e{kind, car, tick};
    FRun.Add(e);
    FEventCount = TRunEvents::PassOver(FEventCount, RunSettings.Cars, RunSettings.Laps, FRun.State());
    AnnounceRunEvent(NoticeKind(kind), car, tick);
}

bool TFormMain::RunComplete() const {
    return FEventCount > 0 && NextEventFor(FEventCount, RunSettings.Cars, RunSettings.Laps) == TNextEvent::None;
}

void TFormMain::ApplyRunState() {
    const TRunState& s = FRun.State();
    // From the controls after RESET to the run's state.
    mReset->SetEnabled(false);
    bStart->setVisible(true);
    bReset->setVisible(false);
    for (int car = 1; car <= RunSettings.Cars && car <= 2; ++car) {
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
        RunSettings.CarHundredths[car] = c.Hundredths;
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

bool TFormMain::RunInProgress() const {
    constexpr qint64 moment = 2000; // F10 pressed right after the last FINISH
    if (P->FLastTimingEvent.isValid() && P->FLastTimingEvent.elapsed() < moment) return true;
    return FEventCount > 0 && !RunComplete();
}

void TFormMain::AfterRun(std::function<void()> question) {
    if (!RunInProgress()) {
        question();
        return;
    }
    P->FAfterRun.push_back(std::move(question));
    if (!P->FAfterRunTimer) {
        P->FAfterRunTimer = new QTimer(this);
        P->FAfterRunTimer->setInterval(500);
        connect(P->FAfterRunTimer, &QTimer::timeout, this, [this] {
            if (RunInProgress()) return;
            P->FAfterRunTimer->stop();
            auto waiting = std::move(P->FAfterRun);
            P->FAfterRun.clear();
            for (auto& q : waiting)
                q();
        });
    }
    P->FAfterRunTimer->start();
}

void TFormMain::Notice(const QString& text, const QString& details) {
    // From a writer thread too: the line belongs to the window's thread.
    QMetaObject::invokeMethod(
        this, [this, text, details] { NoticeLine->Notice(text, details); }, Qt::AutoConnection);
}
