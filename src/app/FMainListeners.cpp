// What the main window announces, and the listeners it brings along.
#include "EventsFeature.h"
#include "FMain.h"
#include "BackupAutosave.h"
#include "LiveResults.h"
#include "Recovery.h"
#include "TickSource.h"
#include "TimeChecks.h"

#include <QDateTime>
#include <algorithm>

void TFormMain::CreateListeners() {
    FBackupAutosave = std::make_unique<TBackupAutosave>([this] { WriteBackup(); });
    AddRunListener(FBackupAutosave.get());
    // After the backup: a RESULT line stands only for results already in the backup.
    FRecovery = std::make_unique<TRecovery>(*this);
    AddRunListener(FRecovery.get());
    FLive = std::make_unique<TLiveResults>(*this);
    AddRunListener(FLive.get());
    Events = new TEventsFeature(this);
    Checks = new TTimeChecks(this);
}

void TFormMain::AddRunListener(TRunListener* listener) {
    if (listener &&
        std::find(FRunListeners.begin(), FRunListeners.end(), listener) == FRunListeners.end())
        FRunListeners.push_back(listener);
}

void TFormMain::RemoveRunListener(TRunListener* listener) {
    std::erase(FRunListeners, listener);
}

void TFormMain::Announce(const std::function<void(TRunListener&)>& call) {
    // A copy: a listener may remove itself while it is called.
    const std::vector<TRunListener*> listeners = FRunListeners;
    for (TRunListener* l : listeners)
        if (std::find(FRunListeners.begin(), FRunListeners.end(), l) != FRunListeners.end())
            call(*l);
}

void TFormMain::AnnounceRunEvent(TRunNoticeKind kind, int car, uint32_t tick,
                                 const QDateTime& wall) {
    TRunNotice n;
    n.Kind = kind;
    n.Car = car;
    n.Tick = tick;
    n.WallMs = wall.isValid() ? wall.toMSecsSinceEpoch() : QDateTime::currentMSecsSinceEpoch();
    switch (FEventSource) {
    case esKey:
        n.Source = TRunEventSource::Key;
        break;
    case esMouse:
        n.Source = TRunEventSource::Mouse;
        break;
    case esBarrier:
        n.Source = TRunEventSource::Barrier;
        break;
    case esRestored:
        n.Source = TRunEventSource::Restored;
        break;
    }
    if (n.Source == TRunEventSource::Barrier && FDeadTimeEndedAt) {
        const int after = TickSource::Diff(tick, *FDeadTimeEndedAt);
        if (after >= 0) n.AfterDeadTimeMs = after;
    }
    n.EventCount = FRun.State().EventCount;
    n.Cars = FRun.Cars();
    n.Laps = FRun.Laps();
    n.RunNumber = eNR->text();
    n.Title = eTitle->text();
    n.Names = {QString(), FrameTimer1->hcbName->Text(), FrameTimer2->hcbName->Text()};
    Announce([&n](TRunListener& l) { l.RunEvent(n); });
}

void TFormMain::AnnounceProtocol(TProtocolChangeKind kind, int row, int col, const QString& text,
                                 const QString& name) {
    const TProtocolChange c{kind, row, col, text, name};
    Announce([&c](TRunListener& l) { l.ProtocolChanged(c); });
}
