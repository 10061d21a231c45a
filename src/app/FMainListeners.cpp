// What the main window announces, and the listeners it brings along.
#include "EventsFeature.h"
#include "Protocol.h"
#include "FMainPrivate.h"
#include "SeasonFeature.h"
#include "StandingsFeature.h"
#include "TickSource.h"
#include "TimeChecks.h"
#include "TimerInput.h"

#include <QDateTime>
#include <QUuid>
#include <algorithm>

void TFormMain::CreateListeners() {
    P->FBackupAutosave = std::make_unique<TBackupAutosave>([this] { WriteBackup(); });
    AddRunListener(P->FBackupAutosave.get());
    // After the backup: a RESULT line stands only for results already in the backup.
    P->FRecovery = std::make_unique<TRecovery>(*this);
    AddRunListener(P->FRecovery.get());
    P->FLive = std::make_unique<TLiveResults>(*this);
    AddRunListener(P->FLive.get());
    Events = new TEventsFeature(this);
    // The additions know each other only through what the window hands them here.
    Standings = new TStandingsFeature(this, *Events);
    Events->OnRecordsChanged.push_back([this](bool others) { Standings->Changed(others); });
    Events->OnRunsWindow.push_back([this](TFormRuns* runs) { Standings->AttachRuns(runs); });
    Season = new TSeasonFeature(this, *Events);
    Events->OnRecordsChanged.push_back([this](bool) { Season->Changed(); });
    P->FLive->FillStandings = [this](TLiveState& s) {
        Standings->FillLive(s);
        Season->FillLive(s);
    };
    Checks = new TTimeChecks(this, *Events);
    P->FLive->CellMark = [this](int col, int row) { return Checks->CellMark(col, row); };
    Timer = new TTimerInput(*this);
    Timer->setParent(this);
    AddRunListener(Timer);
}

void TFormMain::JournalLine(const QString& event, const QList<QPair<QString, QString>>& fields) {
    if (P->FRecovery) P->FRecovery->Line(event, fields);
}

void TFormMain::LiveChanged() {
    if (P->FLive) P->FLive->Changed();
}

TRecovery& TFormMain::Recovery() {
    return *P->FRecovery;
}

QStringList TFormMain::JournalFiles() const {
    return {P->FRecovery->PreviousJournalFileName(), P->FRecovery->JournalFileName()};
}

bool TFormMain::RecoveryPending() const {
    return P->FRecovery && P->FRecovery->FInterrupted.Found;
}

TTrackCorrections& TFormMain::Corrections() {
    return *P->FCorrections;
}

TLiveResults* TFormMain::Live() const {
    return P->FLive.get();
}

void TFormMain::AddRunListener(TRunListener* listener) {
    if (listener && !P->Listening(listener)) P->FRunListeners.push_back(listener);
}

void TFormMain::RemoveRunListener(TRunListener* listener) {
    std::erase(P->FRunListeners, listener);
}

bool TFormMain::TPrivate::Listening(const TRunListener* listener) const {
    return std::ranges::find(FRunListeners, listener) != FRunListeners.end();
}

void TFormMain::Announce(const std::function<void(TRunListener&)>& call) {
    // A copy: a listener may remove itself while it is called.
    const std::vector<TRunListener*> listeners = P->FRunListeners;
    for (TRunListener* l : listeners)
        if (P->Listening(l)) call(*l);
}

void TFormMain::AnnounceRunEvent(TRunNoticeKind kind, int car, uint32_t tick,
                                 const QDateTime& wall) {
    TRunNotice n;
    n.Kind = kind;
    n.Car = car;
    n.Tick = tick;
    n.WallMs = wall.isValid() ? wall.toMSecsSinceEpoch() : QDateTime::currentMSecsSinceEpoch();
    n.Source = FEventSource;
    n.Systems = FEventSystems;
    if (car >= 1 && car <= 2 && kind == TRunNoticeKind::Start)
        P->FRunIds[car] = P->FRestoredRunIds[car].isEmpty()
                              ? QUuid::createUuid().toString(QUuid::WithoutBraces)
                              : std::exchange(P->FRestoredRunIds[car], QString());
    if (kind == TRunNoticeKind::Reset) P->FRunIds = {};
    if (car >= 1 && car <= 2) n.RunId = P->FRunIds[car];
    if (n.Source == TRunEventSource::Barrier && P->FDeadTimeEndedAt) {
        const int after = TickSource::Diff(tick, *P->FDeadTimeEndedAt);
        if (after >= 0) n.AfterDeadTimeMs = after;
    }
    n.EventCount = FRun.State().EventCount;
    n.Cars = FRun.Cars();
    n.Laps = FRun.Laps();
    n.RunNumber = eNR->text();
    n.Title = eTitle->text();
    n.Names = {QString(), FrameTimer1->hcbName->Text(), FrameTimer2->hcbName->Text()};
    P->FLastTimingEvent.start();
    Announce([&n](TRunListener& l) { l.RunEvent(n); });
}

void TFormMain::AnnounceProtocol(TProtocolChangeKind kind, int row, int col, const QString& text,
                                 const QString& name) {
    TProtocolChange c;
    c.Kind = kind, c.Row = row, c.Col = col, c.Text = text, c.Name = name, c.RunNumber = eNR->text();
    // A correction on a row without a run makes one: it keeps the row's number.
    if (row > 0 && row < SortGrid1->RowCount() && SortGrid1->Cells(pcName, row) == name)
        c.StartNr = SortGrid1->Cells(pcStartNr, row).trimmed();
    if (IdentifyChange) IdentifyChange(c);
    Announce([&c](TRunListener& l) { l.ProtocolChanged(c); });
}

bool TFormMain::LoadProtocolFromEvents() {
    return Events && Events->RestoreProtocol();
}
