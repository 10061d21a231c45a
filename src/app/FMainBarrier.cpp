// The light barrier: its lock after each event and the line changes of the port.
#include "FMainPrivate.h"
#include "TickSource.h"

void TFormMain::LockBarrier() {
    LedLock->SetKind(lkRed);
    // A running dead time is not extended: only a stopped timer starts.
    if (TimerGesperrtStart->isActive()) return;
    TimerGesperrtStart->start();
    // The event may have been stamped a while ago (a barrier edge handled late):
    // the dead time runs from that stamp.
    P->FLockTick = TickSource::LastEventTick();
    const int late = TickSource::Diff(TickSource::Now(), P->FLockTick);
    if (late > 0) P->FDeadTimeEnd->start(std::max(0, TimerGesperrtStart->interval() - late));
}

bool TFormMain::DeadTimeOverAt(uint32_t tick) const {
    return TimerGesperrtStart->isActive() &&
           TickSource::Diff(tick, P->FLockTick) >= TimerGesperrtStart->interval();
}

void TFormMain::ArmBarrier(std::optional<uint32_t> since, std::optional<uint32_t> deadTimeEnd) {
    LedLock->SetKind(lkGreen);
    P->FArmedSince = since;
    P->FDeadTimeEndedAt = deadTimeEnd;
}

void TFormMain::TimerGesperrtTimer() {
    const bool running = TimerGesperrtStart->isActive();
    TimerGesperrtStart->stop();
    P->FDeadTimeEnd->stop();
    // Armed from the end of the dead time: an edge stamped inside it stays
    // refused when the window gets to it only now.
    const uint32_t now = TickSource::Now();
    const uint32_t end = P->FLockTick + static_cast<uint32_t>(TimerGesperrtStart->interval());
    ArmBarrier(running && TickSource::Diff(end, now) < 0 ? end : now,
               running ? std::optional(end) : std::nullopt);
}

void TFormMain::LedLockClick(QObject*) {
    if (LedLock->Kind() == lkRed)
        ArmBarrier(TickSource::Now());
    else
        LedLock->SetKind(lkRed);
}

void TFormMain::ComPortDSR(QObject* sender) {
    auto* port = static_cast<TComPort*>(sender);
    const uint32_t s = port->ModemStatus();
    if (s == RunSettings.LastModemStatus) return; // nothing changed since the last event
    // Taken before the lock test: a change while locked is consumed, never replayed.
    RunSettings.LastModemStatus = s;
    // The event happened at the line change, not when this thread got round to it.
    uint32_t tick = 0;
    const bool stamped = port->EventTick(tick);
    if (!stamped) tick = TickSource::Now();
    // A dead time over by the edge's stamp is over, whether its timer fired yet or not.
    if (LedLock->Kind() != lkGreen && DeadTimeOverAt(tick)) TimerGesperrtTimer();
    if (LedLock->Kind() != lkGreen) return;
    if (P->FArmedSince && TickSource::Diff(tick, *P->FArmedSince) < 0)
        return; // stamped while locked
    const bool cts = s & MS_CTS_ON;
    const bool dsr = s & MS_DSR_ON;
    bool trigger = false;
    if (port->Tag == 0)
        trigger = cts || dsr; // "Ein"
    else if (port->Tag == 1)
        trigger = !cts || !dsr; // "Aus"
    if (!trigger) return;
    FEventSource = TRunEventSource::Barrier;
    const TickSource::TEventScope scope(TickSource::TEventSource::Barrier,
                                        stamped ? std::optional(tick) : std::nullopt);
    if (mStart->Enabled())
        mStart->Click();
    else if (mLAP->Enabled())
        mLAP->Click();
    else if (mStop->Enabled())
        mStop->Click();
    FEventSource = TRunEventSource::Key;
}

void TFormMain::ComPortDropped(QObject* sender, int dropped) {
    const int total = static_cast<TComPort*>(sender)->DroppedChanges();
    StatusPanels[2]->setText(QStringLiteral(" LS: %1 Leitungswechsel verworfen").arg(total));
    StatusPanels[2]->setToolTip(
        QStringLiteral("Die Lichtschranke flackerte schneller, als Wechsel gehalten werden "
                       "konnten, oder das Fenster war zu lange belegt."));
    StatusPanels[2]->setVisible(true);
    Announce([&](TRunListener& l) { l.BarrierDropped(dropped, total); });
}

void TFormMain::ComPortOpen(QObject*) {
    LedLabel->setVisible(true);
    LedLock->setVisible(true);
}

void TFormMain::ComPortClose(QObject*) {
    LedLabel->setVisible(false);
    LedLock->setVisible(false);
}

QString TFormMain::BarrierWatchText() const {
    if (!ComPort->Connected()) return QStringLiteral("keine Schnittstelle offen");
    return QStringLiteral("COM%1, Überwachung mit %2")
        .arg(ComPort->Port)
        .arg(ComPort->WatchPriority().Text());
}
