#include "TimerInput.h"

#include "FMain.h"
#include "TickSource.h"

#include "Journal.h"
#include "Questions.h"

#include <QApplication>
#include <QFile>
#include <QMetaObject>
#include <QTimer>
#include <algorithm>
#include <set>

std::function<QString(int)> TTimerInput::PathFor = ComPortDevicePath;
int TTimerInput::ReadQuietMs = 1500;

namespace {
QString Impulses(int n) {
    return n == 1 ? QStringLiteral("1 Impuls") : QStringLiteral("%1 Impulse").arg(n);
}

} // namespace

TTimerInput::TTimerInput(TFormMain& window) : FWindow(window) {
    Settings.Read(window.SettingsStore());
    mReadMemory = window.AddMenuItem("mReadMemory", QStringLiteral("Zeitgeber-Speicher lesen"),
                                     QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_R));
    mReadMemory->OnClick = [this](QObject*) { ReadMemoryClick(); };
    FExpire = new QTimer(this);
    FExpire->setSingleShot(true);
    connect(FExpire, &QTimer::timeout, this, [this] {
        const auto passes = FSystems.Expire(TickSource::Now());
        if (passes.empty() && FSystems.Held())
            FExpire->start(std::max(1, TTimeSystems::MatchMs -
                                           TickSource::Diff(TickSource::Now(), *FSystems.Held())));
        Deliver(passes);
    });
    FWaitEnd = new QTimer(this);
    FWaitEnd->setInterval(200);
    connect(FWaitEnd, &QTimer::timeout, this, [this] {
        if (Waiting()) return;
        FWaitEnd->stop();
        const QList<QByteArray> lines = std::exchange(FWaiting, {});
        for (const QByteArray& line : lines)
            Line(line);
    });
    FReadEnd = new QTimer(this);
    FReadEnd->setSingleShot(true);
    connect(FReadEnd, &QTimer::timeout, this, [this] { MemoryRead(); });
    window.OnBarrierPass = [this](uint32_t tick) { return BarrierPass(tick); };
    // Once the recovery has found its journal: the impulses taken before stay taken.
    QTimer::singleShot(0, this, [this] { ReadJournals(); });
    if (Settings.Port) Open();
}

TTimerInput::~TTimerInput() {
    FWindow.OnBarrierPass = nullptr;
    Close();
}

bool TTimerInput::Open() {
    Close();
    if (!Settings.Port) return true;
    const QString path = PathFor(Settings.Port);
    auto port = NewTimerPort();
    const QString error = port->Open(path, Settings.Baud, [this](const QByteArray& line) {
        // Each line to the window's thread as it came.
        QMetaObject::invokeMethod(this, [this, line] { Line(line); }, Qt::QueuedConnection);
    });
    if (!error.isEmpty()) {
        FWindow.Notice(QStringLiteral("Zeitgeber: COM%1 lässt sich nicht öffnen").arg(Settings.Port),
                       QStringLiteral("%1: %2").arg(path, error));
        return false;
    }
    FPort = std::move(port);
    return true;
}

void TTimerInput::Close() {
    FPort.reset();
}

bool TTimerInput::IsOpen() const {
    return FPort && FPort->IsOpen();
}

void TTimerInput::ReadJournals() {
    if (FJournalsRead) return;
    FJournalsRead = true;
    const QDateTime oldest = QDateTime::currentDateTime().addDays(-1);
    struct TFound {
        TTimerImpulse Impulse;
        QDateTime Wall;
        std::optional<uint32_t> Tick;
    };
    std::vector<TFound> found;
    std::set<uint32_t> passTicks; // of every START, LAP and FINISH line
    for (const QString& path : FWindow.JournalFiles()) {
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly)) continue;
        const QList<QByteArray> lines = f.readAll().split('\n');
        // A line counts only with its line break: the last one may be torn.
        for (qsizetype k = 0; k + 1 < lines.size(); ++k) {
            Journal::TLine l;
            if (!Journal::ParseLine(lines[k], l)) continue;
            const QString& e = l.Event;
            if (e == QLatin1String("RESET")) {
                FJournalPasses.clear();
                FJournalTicks.clear();
                continue;
            }
            if (e == QLatin1String("START") || e == QLatin1String("LAP") ||
                e == QLatin1String("FINISH")) {
                const uint32_t tick = l.Value(QStringLiteral("Tick")).toUInt();
                passTicks.insert(tick);
                FJournalTicks.push_back(tick);
                continue;
            }
            if (e != QLatin1String("TIMER")) continue;
            TFound t;
            t.Impulse.Number = l.Value(QStringLiteral("number")).toInt();
            t.Impulse.Channel = l.Value(QStringLiteral("channel"));
            t.Impulse.Hand = l.Value(QStringLiteral("hand")) == QLatin1String("1");
            t.Impulse.Time = TimerTimeFromText(l.Value(QStringLiteral("time")));
            t.Wall = l.Has(QStringLiteral("Am"))
                         ? QDateTime::fromString(l.Value(QStringLiteral("Am")), Qt::ISODateWithMs)
                         : l.Wall;
            if (t.Impulse.Time < 0 || !t.Wall.isValid() || t.Wall < oldest) continue;
            if (l.Has(QStringLiteral("Tick"))) {
                t.Tick = l.Value(QStringLiteral("Tick")).toUInt();
                FJournalPasses[*t.Tick] = t.Impulse.Time;
            }
            found.push_back(t);
        }
    }
    for (const TFound& t : found) {
        // Journaled before its pass, and the pass never reached the journal: not taken.
        if (t.Tick && !passTicks.count(*t.Tick)) {
            FJournalPasses.erase(*t.Tick);
            continue;
        }
        if (!FNumbers.Take(t.Impulse)) continue;
        // Into the new journal as well: taken stays taken over the next restart too.
        FWindow.JournalLine(
            QStringLiteral("TIMER"),
            {{QStringLiteral("number"), QString::number(t.Impulse.Number)},
             {QStringLiteral("channel"), t.Impulse.Channel},
             {QStringLiteral("hand"), t.Impulse.Hand ? QStringLiteral("1") : QStringLiteral("0")},
             {QStringLiteral("time"), TimerTimeText(t.Impulse.Time)},
             {QStringLiteral("Am"), t.Wall.toString(Qt::ISODateWithMs)}});
    }
}

bool TTimerInput::Waiting() const {
    return FWindow.RecoveryPending() || QApplication::activeModalWidget();
}

void TTimerInput::Line(const QByteArray& line) {
    // An interrupted run not yet taken up, or a box open: no pass before it is answered.
    // The lines wait; their times are the device's all the same.
    if (Waiting() || !FWaiting.isEmpty()) {
        FWaiting << line;
        if (!FWaitEnd->isActive()) FWaitEnd->start();
        return;
    }
    ReadJournals();
    const TTimerLine r = ParseTimerLine(line);
    if (r.Kind == TTimerLineKind::Other) return; // an answer to a command
    if (r.Kind == TTimerLineKind::Rejected) {
        FWindow.JournalLine(QStringLiteral("TIMERVERWORFEN"),
                            {{QStringLiteral("line"), QString::fromLatin1(line)},
                             {QStringLiteral("reason"), r.Reason}});
        FWindow.Notice(QStringLiteral("Zeitgeber: Zeile verworfen"),
                       QStringLiteral("%1: „%2“").arg(r.Reason, QString::fromLatin1(line)));
        return;
    }
    if (FReading) {
        // The memory read back: offered once it is complete. A device that never goes
        // quiet ends the read-back after a while all the same.
        FReadBack.push_back(r.Impulse);
        if (FReadSince.elapsed() < 20 * ReadQuietMs) FReadEnd->start(ReadQuietMs);
        return;
    }
    Impulse(r.Impulse);
}

void TTimerInput::Impulse(const TTimerImpulse& i) {
    if (FNumbers.Taken(i)) return;
    FClock = TAnchor{i.Time, TickSource::Now()};
    if (!Settings.Counts(i.Channel)) {
        Take(i);
        UncountedChannel(i);
        return;
    }
    if (FWindow.BarrierConnected()) {
        Deliver(FSystems.Impulse(i, FClock->Tick));
        return;
    }
    TTimeSystems::TPass p;
    p.From = TTimeSystems::TPass::DeviceOnly;
    p.Impulse = i;
    p.Time = i.Time;
    p.Tick = FClock->Tick;
    Deliver(p, false);
}

bool TTimerInput::Take(const TTimerImpulse& i, const Journal::TFields& extra) {
    if (!FNumbers.Take(i)) return false;
    Journal::TFields fields{
        {QStringLiteral("number"), QString::number(i.Number)},
        {QStringLiteral("channel"), i.Channel},
        {QStringLiteral("hand"), i.Hand ? QStringLiteral("1") : QStringLiteral("0")},
        {QStringLiteral("time"), TimerTimeText(i.Time)}};
    FWindow.JournalLine(QStringLiteral("TIMER"), fields + extra);
    for (int n : FNumbers.Missing())
        FWindow.Notice(QStringLiteral("Zeitgeber: Impuls %1 fehlt").arg(n),
                       QStringLiteral("Nach Impuls %1 kam Impuls %2.").arg(n - 1).arg(i.Number));
    return true;
}

void TTimerInput::UncountedChannel(const TTimerImpulse& i) {
    // Said once a channel: a device whose start or finish channel is not among the
    // counted ones would otherwise time nothing without a word.
    const QString c = i.Channel.startsWith(QLatin1Char('C')) ? i.Channel : QStringLiteral("C") + i.Channel;
    if (FToldChannels.contains(c)) return;
    FToldChannels.insert(c);
    FWindow.Notice(QStringLiteral("Zeitgeber: Kanal %1 zählt nicht").arg(c),
                   QStringLiteral("Impuls %1 auf Kanal %2 steht nur im Ereignisprotokoll. Es zählen „%3“ "
                                  "(Einstellungen, Zeitgeber, Kanäle).")
                       .arg(i.Number)
                       .arg(c, Settings.Channels));
}

TMenuItem* TTimerInput::NextItem() const {
    const TFormMain& w = FWindow;
    return w.mStart->Enabled()  ? w.mStart
           : w.mLAP->Enabled()  ? w.mLAP
           : w.mStop->Enabled() ? w.mStop
                                : nullptr;
}

void TTimerInput::Deliver(const std::vector<TTimeSystems::TPass>& passes) {
    for (const TTimeSystems::TPass& p : passes)
        Deliver(p, true);
}

void TTimerInput::Deliver(const TTimeSystems::TPass& pass, bool twoSystems,
                          const Journal::TFields& how) {
    using TPass = TTimeSystems::TPass;
    TFormMain& w = FWindow;
    const bool impulse = pass.From != TPass::BarrierOnly;
    TMenuItem* item = NextItem();
    // The dead time, judged on the device's times; an edge of the barrier was judged by the window.
    const bool dead = pass.From == TPass::DeviceOnly && FLast &&
                      TimerDifferenceMs(pass.Time, FLast->Time) < w.TimerGesperrtStart->interval();
    if (!item || dead) {
        // After the last FINISH, or inside the dead time: journaled, no pass.
        if (impulse) Take(pass.Impulse, how);
        return;
    }
    if (impulse && FNumbers.Taken(pass.Impulse)) return;
    const int car = CurrentCar(w.FEventCount + 1, w.RunSettings.Cars, w.RunSettings.Laps);
    uint32_t tick = pass.Tick;
    if (pass.Time >= 0) {
        if (item != w.mStart && FCar[car])
            tick = FCar[car]->Tick +
                   static_cast<uint32_t>(TimerDifferenceMs(pass.Time, FCar[car]->Time));
        else if (FLast)
            tick = FLast->Tick + static_cast<uint32_t>(TimerDifferenceMs(pass.Time, FLast->Time));
    }
    TTwoSystems systems;
    Journal::TFields fields = how;
    fields.push_back({QStringLiteral("Tick"), QString::number(tick)});
    if (twoSystems) {
        systems.Kind = pass.From == TPass::Both          ? TTwoSystems::Both
                       : pass.From == TPass::BarrierOnly ? TTwoSystems::BarrierOnly
                                                         : TTwoSystems::DeviceOnly;
        systems.DifferenceUnits = static_cast<int>(pass.Difference);
        const QString at = pass.Time >= 0 ? TimerTimeText(pass.Time) : QStringLiteral("?");
        if (pass.From == TPass::Both) {
            fields.push_back({QStringLiteral("LS"), QString::number(pass.Difference)});
            if (pass.Suspicious())
                w.Notice(QStringLiteral("Zeitgeber und Lichtschranke: %1 s Abweichung")
                             .arg(QString::number(std::abs(pass.Difference) / 10000.0, 'f', 4)
                                      .replace(QLatin1Char('.'), QLatin1Char(','))),
                         QStringLiteral("Impuls %1 um %2; die Zeit des Zeitgebers zählt, die Zeit "
                                        "ist markiert.")
                             .arg(pass.Impulse.Number)
                             .arg(at));
        } else if (pass.From == TPass::DeviceOnly) {
            fields.push_back({QStringLiteral("Ergaenzt"), QStringLiteral("LS")});
            w.Notice(
                QStringLiteral("Lichtschranke: kein Durchgang zu Impuls %1")
                    .arg(pass.Impulse.Number),
                QStringLiteral("Der Durchgang um %1 kommt allein vom Zeitgeber und ist markiert.")
                    .arg(at));
        } else {
            w.JournalLine(
                QStringLiteral("TIMERFEHLT"),
                {{QStringLiteral("Tick"), QString::number(tick)}, {QStringLiteral("time"), at}});
            w.Notice(
                QStringLiteral("Zeitgeber: kein Impuls zur Lichtschranke"),
                QStringLiteral("Der Durchgang (nach der Uhr des Zeitgebers etwa %1) kommt allein "
                               "von der Lichtschranke und ist markiert.")
                    .arg(at));
        }
    }
    // Journaled before its pass: after a crash in between, the next start sees it was not taken.
    if (impulse) Take(pass.Impulse, fields);
    FDelivering = TAnchor{pass.Time, tick};
    w.FEventSource = TRunEventSource::Barrier;
    w.FEventSystems = systems;
    {
        const TickSource::TEventScope scope(TickSource::TEventSource::Barrier, tick);
        item->Click();
    }
    w.FEventSource = TRunEventSource::Key;
    w.FEventSystems = TTwoSystems();
    FDelivering.reset();
}

bool TTimerInput::BarrierPass(uint32_t tick) {
    if (!IsOpen() || !NextItem()) return false;
    Deliver(FSystems.Barrier(tick));
    FExpire->start(std::max(1, TTimeSystems::MatchMs - TickSource::Diff(TickSource::Now(), tick)));
    return true;
}

std::optional<int64_t> TTimerInput::DeviceTimeAt(uint32_t tick) const {
    if (!FClock) return std::nullopt;
    const int64_t t = FClock->Time + int64_t(static_cast<int32_t>(tick - FClock->Tick)) * 10;
    return (t % TimerDayUnits + TimerDayUnits) % TimerDayUnits;
}

void TTimerInput::RunEvent(const TRunNotice& n) {
    if (n.Kind == TRunNoticeKind::Reset) {
        FCar = {};
        FLast.reset();
        FSystems.DropHeld();
        FJournalPasses.clear();
        return;
    }
    if (n.Kind != TRunNoticeKind::Start && n.Kind != TRunNoticeKind::Lap &&
        n.Kind != TRunNoticeKind::Finish)
        return;
    if (n.Car < 1 || n.Car > 2) return;
    std::optional<TAnchor> device;
    if (FDelivering && n.Tick == FDelivering->Tick && FDelivering->Time >= 0) device = FDelivering;
    if (n.Source == TRunEventSource::Restored) {
        // A recovered run goes on at the device's times of its journal.
        ReadJournals();
        if (!FRestoredOffset)
            FRestoredOffset = std::ranges::find(FJournalTicks, n.Tick) != FJournalTicks.end() ||
                                      FJournalTicks.empty()
                                  ? 0
                                  : static_cast<int32_t>(n.Tick - FJournalTicks.front());
        const auto it = FJournalPasses.find(n.Tick - static_cast<uint32_t>(*FRestoredOffset));
        if (it != FJournalPasses.end()) device = TAnchor{it->second, n.Tick};
        if (device && !FClock) FClock = device;
        // What the device saw while the program was down comes from its memory, before
        // the next impulse could take the place of one missed.
        if (!std::exchange(FRecoveryRead, true) && IsOpen())
            QTimer::singleShot(0, this, [this] { ReadMemoryClick(); });
    }
    if (device) {
        FCar[n.Car] = device;
        FLast = device;
    } else {
        FCar[n.Car].reset(); // by hand: the next lap of this car is the laptop's
    }
    const std::optional<int64_t> at = device ? std::optional(device->Time) : DeviceTimeAt(n.Tick);
    if (n.Kind == TRunNoticeKind::Start && (n.EventCount <= 1 || !FRunStart)) FRunStart = at;
    if (at) FLastPass = at;
}

void TTimerInput::ReadMemoryClick() {
    if (!IsOpen()) {
        TFormMain::ShowMessage(QStringLiteral("Kein Zeitgeber verbunden: unter Einstellungen (F2) "
                                              "„Zeitgeber“ die Schnittstelle wählen."));
        return;
    }
    if (FReading) return;
    ReadJournals();
    if (const QString error = FPort->Write(QByteArrayLiteral("RSM\r")); !error.isEmpty()) {
        FWindow.Notice(QStringLiteral("Zeitgeber: Speicher nicht lesbar"),
                       QStringLiteral("RSM ließ sich nicht senden: %1").arg(error));
        return;
    }
    FReading = true;
    FReadBack.clear();
    FReadSince.start();
    FReadEnd->start(ReadQuietMs * 2); // the device takes a moment to answer
    FWindow.ShowStatus(QStringLiteral("Zeitgeber-Speicher wird gelesen …"));
}

void TTimerInput::MemoryRead() {
    FReading = false;
    if (FReadBack.empty()) {
        FWindow.ShowStatus(QStringLiteral("Zeitgeber-Speicher: keine Antwort"));
        FWindow.Notice(
            QStringLiteral("Zeitgeber: keine Antwort auf RSM"),
            QStringLiteral("Der Zeitgeber hat auf die Frage nach seinem Speicher nichts "
                           "gesendet: Kabel, Baudrate und ob das Gerät RSM kennt prüfen."));
        return;
    }
    std::vector<TTimerImpulse> counted;
    for (const TTimerImpulse& i : FReadBack)
        if (Settings.Counts(i.Channel)) counted.push_back(i);
    FReadBack.clear();
    // Without a run known by the device's clock: what came after the last impulse taken.
    int64_t start = FRunStart ? *FRunStart : FNumbers.LastTime();
    if (start < 0)
        for (const TTimerImpulse& i : counted)
            if (start < 0 || TimerSignedDifference(i.Time, start) < 0) start = i.Time;
    const TStoredImpulses found =
        SortStored(counted, FNumbers, start, FLastPass.value_or(start - 1));
    const Journal::TFields read{{QStringLiteral("Gelesen"), QStringLiteral("1")}};
    for (const TTimerImpulse& i : found.Between) {
        Take(i, read);
        FWindow.Notice(
            QStringLiteral("Zeitgeber-Speicher: Impuls %1 liegt zwischen zwei Durchgängen")
                .arg(i.Number),
            QStringLiteral("Impuls %1 (%2, %3) ist nicht als Durchgang übernommen; zählt er, "
                           "als Handzeit eintragen.")
                .arg(i.Number)
                .arg(i.Channel, TimerTimeText(i.Time)));
    }
    if (found.After.empty()) {
        if (found.Between.empty())
            FWindow.ShowStatus(QStringLiteral("Zeitgeber-Speicher gelesen: nichts Neues"));
        return;
    }
    QStringList list;
    for (const TTimerImpulse& i : found.After)
        list << QStringLiteral("Impuls %1 (%2, %3)")
                    .arg(i.Number)
                    .arg(i.Channel, TimerTimeText(i.Time));
    // A whole day's memory in a box: the first ones and how many follow.
    constexpr int shown = 12;
    if (list.size() > shown + 1)
        list = list.mid(0, shown) << QStringLiteral("… und %1 weitere").arg(list.size() - shown);
    const auto take = [this, after = found.After, read] {
        const int before = FWindow.FEventCount;
        for (const TTimerImpulse& i : after) {
            if (FNumbers.Taken(i)) continue; // came live in the meantime
            if (!NextItem()) break;          // the run is complete: the rest stay untaken
            TTimeSystems::TPass p;
            p.From = TTimeSystems::TPass::DeviceOnly;
            p.Impulse = i;
            p.Time = i.Time;
            p.Tick = FClock ? FClock->Tick + static_cast<uint32_t>(static_cast<int32_t>(
                                                 TimerSignedDifference(i.Time, FClock->Time) / 10))
                            : TickSource::Now();
            Deliver(p, false, read);
        }
        const int passes = FWindow.FEventCount - before;
        FWindow.ShowStatus(
            QStringLiteral("Zeitgeber-Speicher: %1 übernommen").arg(Impulses(passes)));
        return passes;
    };
    if (FWindow.RunInProgress() && FWindow.FEventCount > 0 && NextItem()) {
        // The run waits for them: taken now, told in the notice area.
        const int passes = take();
        FWindow.Notice(QStringLiteral("Zeitgeber-Speicher: %1 übernommen").arg(Impulses(passes)),
                       list.join(QLatin1Char('\n')));
        return;
    }
    FWindow.AfterRun([this, take, list, after = found.After] {
        // Read twice before the run was over: asked once.
        const auto count = std::ranges::count_if(
            after, [this](const TTimerImpulse& i) { return !FNumbers.Taken(i); });
        if (count == 0) return;
        if (!NextItem()) {
            // All cars are in: no pass left to take them. Untaken, they are offered again.
            FWindow.Notice(
                QStringLiteral("Zeitgeber-Speicher: %1 nach dem Lauf").arg(Impulses(int(count))),
                QStringLiteral("%1\nDer Lauf ist beendet. Gehören sie zum nächsten Lauf: nach "
                               "RESET den Zeitgeber-Speicher noch einmal lesen.")
                    .arg(list.join(QLatin1Char('\n'))));
            return;
        }
        if (Questions::AskYesNo(
                QStringLiteral("Im Zeitgeber-Speicher stehen Impulse, die noch nicht "
                               "übernommen sind:\n%1\nAls Durchgänge übernehmen?")
                    .arg(list.join(QLatin1Char('\n')))))
            take();
    });
}

void TTimerInput::SettingsApplied() {
    TTimerSettings s;
    s.Read(FWindow.SettingsStore());
    const bool reopen = s.Port != Settings.Port || s.Baud != Settings.Baud || !IsOpen();
    Settings = s;
    if (reopen) Open();
}
