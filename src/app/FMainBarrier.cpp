// The light barrier: its lock after each event and the line changes of the port.
#include "FMainPrivate.h"
#include "NoticeLine.h"
#include "TickSource.h"

namespace {
const QString LostText = QStringLiteral("Lichtschranke getrennt – Zeitnahme mit Tasten");
}

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

std::optional<uint32_t> TFormMain::DeadTimeEnd() const {
    if (!TimerGesperrtStart->isActive()) return std::nullopt;
    return P->FLockTick + static_cast<uint32_t>(TimerGesperrtStart->interval());
}

void TFormMain::TimerGesperrtTimer() {
    const bool running = TimerGesperrtStart->isActive();
    const uint32_t now = TickSource::Now();
    const uint32_t end = P->FLockTick + static_cast<uint32_t>(TimerGesperrtStart->interval());
    // A timer may fire early (a coarse one by a twentieth of its interval): the
    // lock holds until the end by the stamp, the rest on the precise timer.
    if (running && TickSource::Diff(end, now) > 0) {
        P->FDeadTimeEnd->start(TickSource::Diff(end, now));
        return;
    }
    TimerGesperrtStart->stop();
    P->FDeadTimeEnd->stop();
    // Armed from the end of the dead time: an edge stamped inside it stays
    // refused when the window gets to it only now.
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
    if (OnBarrierPass && OnBarrierPass(tick)) return;
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

bool TFormMain::BarrierConnected() const {
    return ComPort->Connected() && !P->FBarrierLost;
}

void TFormMain::ComPortDropped(QObject* sender, int dropped) {
    const int total = static_cast<TComPort*>(sender)->DroppedChanges();
    StatusPanels[2]->setText(QStringLiteral(" LS: %1 Leitungswechsel verworfen").arg(total));
    StatusPanels[2]->setToolTip(
        QStringLiteral("Die Lichtschranke flackerte schneller, als Wechsel gehalten werden "
                       "konnten, oder das Fenster war zu lange belegt."));
    StatusPanels[2]->setVisible(true);
    ArrangeBarrierPanels();
    Announce([&](TRunListener& l) { l.BarrierDropped(dropped, total); });
}

void TFormMain::ComPortOpen(QObject* sender) {
    LedLabel->setVisible(true);
    LedLock->setVisible(true);
    LedLock->SetValue(true);
    // The port counts its left-out changes from its opening: so does the panel.
    StatusPanels[2]->clear();
    StatusPanels[2]->setVisible(false);
    const bool back = P->FBarrierLost;
    P->FBarrierLost = false;
    if (back) {
        // The loss is over: its red line goes, the list keeps it.
        if (NoticeLine->Notices().value(NoticeLine->Notices().size() - 1) == LostText)
            NoticeLine->Dismiss();
        ShowBarrierNotice(QStringLiteral("Lichtschranke wieder verbunden"), false);
        Announce([&](TRunListener& l) {
            l.BarrierWatch({TBarrierWatchNotice::Back, static_cast<TComPort*>(sender)->Port, {}});
        });
    } else {
        ShowBarrierNotice({}, false);
    }
}

void TFormMain::ComPortClose(QObject*) {
    LedLabel->setVisible(false);
    LedLock->setVisible(false);
    P->FBarrierLost = false;
    ShowBarrierNotice({}, false);
    P->FPriorityPanel->setVisible(false);
    ArrangeBarrierPanels();
}

void TFormMain::ComPortLost(QObject* sender, int error) {
    auto* port = static_cast<TComPort*>(sender);
    // Still there, but dark: no barrier, timing by the keys.
    LedLock->SetValue(false);
    P->FPriorityPanel->setVisible(false);
    P->FBarrierLost = true;
    const QString reason = error ? SystemErrorText(error) : QString();
    ShowBarrierNotice(LostText, true);
    P->FBarrierNotice->setToolTip(
        QStringLiteral("COM%1 antwortet nicht mehr%2. %3 Bis dahin START, LAP und FINISH mit "
                       "den Tasten.")
            .arg(port->Port)
            .arg(reason.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(reason.trimmed()))
            .arg(port->Retrying()
                     ? QStringLiteral("Das Programm versucht jede Sekunde, sie wieder zu öffnen.")
                     : QStringLiteral("Der Treiber kann die Leitungen nicht überwachen; OK in den "
                                      "Einstellungen öffnet sie wieder.")));
    // The notice area tells it during the run; the panel keeps the state.
    Notice(LostText, P->FBarrierNotice->toolTip());
    Announce([&](TRunListener& l) {
        l.BarrierWatch({TBarrierWatchNotice::Lost, port->Port, reason.trimmed()});
    });
}

void TFormMain::ComPortWatchPriority(QObject* sender, const TThreadPriority& priority) {
    const bool shown = !P->FPriorityPanel->isHidden();
    P->FPriorityPanel->setVisible(!priority.Realtime());
    ArrangeBarrierPanels();
    if (priority.Realtime() || shown) return; // told once while it lasts
    P->FPriorityPanel->setToolTip(
        QStringLiteral("Die Lichtschranke wird mit normaler Priorität (nice %1) überwacht: "
                       "Ist der Rechner ausgelastet, können Zeiten einige Millisekunden zu spät "
                       "erfasst werden. Wie man Echtzeit erlaubt, steht in der Hilfe (F1).")
            .arg(priority.Level));
    Announce([&](TRunListener& l) {
        l.BarrierWatch({TBarrierWatchNotice::NoRealtime, static_cast<TComPort*>(sender)->Port,
                        priority.Text()});
    });
}

void TFormMain::CreateBarrierPanels() {
    const auto panel = [this](const char* name) {
        auto* l = new QLabel(StatusBar1);
        l->setObjectName(QLatin1String(name));
        l->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        l->setVisible(false);
        return l;
    };
    P->FBarrierNotice = panel("StatusPanelLS");
    P->FPriorityPanel = panel("StatusPanelPriority");
    P->FPriorityPanel->setText(QStringLiteral(" LS ohne Echtzeit-Priorität"));
    P->FBarrierNoticeEnd = new QTimer(this);
    P->FBarrierNoticeEnd->setSingleShot(true);
    P->FBarrierNoticeEnd->setInterval(30000);
    connect(P->FBarrierNoticeEnd, &QTimer::timeout, this, [this] { ShowBarrierNotice({}, false); });
}

void TFormMain::ShowBarrierNotice(const QString& text, bool alarm) {
    QLabel* notice = P->FBarrierNotice;
    notice->setText(text.isEmpty() ? QString() : QLatin1Char(' ') + text);
    notice->setStyleSheet(
        alarm ? QStringLiteral("color: white; background: #c00000; font-weight: bold;")
              : QStringLiteral("color: #006000;"));
    notice->setVisible(!text.isEmpty());
    if (!alarm) notice->setToolTip({});
    // Good news goes after a while; a loss stays until the port is back or closed.
    if (!text.isEmpty() && !alarm)
        P->FBarrierNoticeEnd->start();
    else
        P->FBarrierNoticeEnd->stop();
    ArrangeBarrierPanels();
}

void TFormMain::ArrangeBarrierPanels() {
    // Side by side after the fixed panels; the loss first.
    int x = StatusPanels[1]->geometry().right() + 1;
    for (QLabel* l : {P->FBarrierNotice, P->FPriorityPanel, StatusPanels[2]}) {
        if (l->isHidden()) continue;
        const int w = l->fontMetrics().horizontalAdvance(l->text()) + 14;
        l->setGeometry(x, 1, w, 18);
        x += w;
    }
}

QString TFormMain::BarrierWatchText() const {
    const int n = ComPort->Port;
    if (ComPort->Retrying())
        return QStringLiteral("COM%1 ist getrennt; das Programm versucht jede Sekunde, sie wieder "
                              "zu öffnen. Bis dahin gilt die Zeitnahme mit Tasten.")
            .arg(n);
    if (ComPort->Lost())
        return QStringLiteral("COM%1 ist getrennt (%2). Die Zeitnahme gilt mit Tasten, bis die "
                              "Schnittstelle in den Einstellungen wieder geöffnet ist.")
            .arg(n)
            .arg(SystemErrorText(ComPort->LostError()).trimmed());
    if (!ComPort->Connected())
        return n ? QStringLiteral("COM%1 ist nicht geöffnet.").arg(n)
                 : QStringLiteral("Es ist keine Schnittstelle gewählt.");
    const TThreadPriority p = ComPort->WatchPriority();
    switch (p.Kind) {
    case TThreadPriority::RealtimeKit:
    case TThreadPriority::Fifo:
        return QStringLiteral("COM%1 wird mit %2 überwacht.").arg(n).arg(p.Text());
    case TThreadPriority::Normal:
        return QStringLiteral("COM%1 wird mit normaler Priorität (nice %2) überwacht, ohne "
                              "Echtzeit: Bei voller Last können Zeiten einige Millisekunden zu "
                              "spät sein.")
            .arg(n)
            .arg(p.Level);
    case TThreadPriority::Unknown:
        break;
    }
    return QStringLiteral("COM%1 wird überwacht; die Priorität steht noch nicht fest.").arg(n);
}
