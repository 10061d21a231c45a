#include "EventRecorder.h"

#include "Corrections.h"
#include "Protocol.h"

#include <QDateTime>
#include <QUuid>

namespace {

QString SourceName(TRunEventSource s) {
    switch (s) {
    case TRunEventSource::Barrier:
        return QStringLiteral("LS");
    case TRunEventSource::Mouse:
        return QStringLiteral("Maus");
    case TRunEventSource::Restored:
        return QStringLiteral("Fortsetzung");
    case TRunEventSource::Key:
        break;
    }
    return QStringLiteral("Taste");
}

QString KindName(TRunNoticeKind k) {
    switch (k) {
    case TRunNoticeKind::Lap:
        return QStringLiteral("LAP");
    case TRunNoticeKind::Finish:
        return QStringLiteral("FINISH");
    case TRunNoticeKind::Dnf:
        return QStringLiteral("DNF");
    default:
        return QStringLiteral("START");
    }
}

QString EntrantKey(const QString& startNo, const QString& name) {
    const QString no = startNo.simplified();
    return no.isEmpty() ? QStringLiteral("|") + name.simplified().toCaseFolded() : no;
}

bool SameEntrant(const TEntrant& a, const TEntrant& b) {
    return a.StartNo == b.StartNo && a.Name == b.Name && a.Class == b.Class && a.Club == b.Club &&
           a.Vehicle == b.Vehicle;
}

} // namespace

TEventRecorder::TEventRecorder(TEventStore& store) : FStore(store) {}

QString TEventRecorder::RowKey(const QString& name) {
    return name.simplified().toCaseFolded();
}

void TEventRecorder::MapRow(const TRunRecord& run) {
    FRowRuns[RowKey(run.Name)] = run.Uuid;
    FRunEvents[run.Uuid] = run.EventUuid;
    FRunNos[run.Uuid] = run.RunNo.trimmed();
}

QString TEventRecorder::RunNoOfRow(const QString& name) const {
    return FRunNos.value(RunOfRow(name));
}

void TEventRecorder::Resume(TEventDb& reader, bool runInProgress) {
    const std::vector<TEventInfo> events = reader.Events();
    if (events.empty() || (events.front().Date != Today() && !runInProgress)) return;
    FEvent = events.front();
    FRowRuns.clear();
    Rounds.Clear();
    const std::vector<TEffectiveRun> runs = reader.EffectiveRuns(FEvent.Uuid);
    for (const TEffectiveRun& e : runs)
        Rounds.Note(e);
    // The protocol rows hold this station's runs; another station's run of the
    // same driver fills a row only when this station has none.
    for (const bool own : {false, true})
        for (const TEffectiveRun& e : runs)
            if (!e.Withdrawn && (e.Run.StationId == FStore.StationId()) == own) MapRow(e.Run);
    FEntrants.clear();
    FEntrantOrder.clear();
    for (const TEntrant& n : reader.Entrants(FEvent.Uuid)) {
        FEntrants.insert(EntrantKey(n.StartNo, n.Name), n);
        FEntrantOrder.push_back(n);
    }
}

bool TEventRecorder::Follow(TEventDb& reader) {
    const std::vector<TEventInfo> events = reader.Events();
    if (events.empty() || events.front().Date != Today() || events.front().Uuid == FEvent.Uuid)
        return false;
    const QHash<QString, QString> rows = FRowRuns;
    Resume(reader);
    // Rows that show this station's earlier runs keep pointing at them.
    for (auto it = rows.begin(); it != rows.end(); ++it)
        if (!FRowRuns.contains(it.key())) FRowRuns.insert(it.key(), it.value());
    return true;
}

QString TEventRecorder::SharedEventUuid(const QDate& date, const QString& title) {
    static const QUuid space(QStringLiteral("6f1c2a52-8d0e-4c1b-9f57-2b1e5d3a7c40"));
    return QUuid::createUuidV5(space, date.toString(Qt::ISODate) + QLatin1Char('\n') + title.simplified())
        .toString(QUuid::WithoutBraces);
}

QString TEventRecorder::NewEvent(const QString& title) {
    return BeginEvent(title, QString());
}

QString TEventRecorder::BeginEvent(const QString& title, const QString& uuid) {
    FEvent = TEventInfo();
    FEvent.Uuid = uuid;
    FEvent.Title = title;
    FEvent.Date = Today();
    FEvent.Uuid = FStore.Add(FEvent);
    FRowRuns.clear();
    FEntered.clear();
    Rounds.Clear();
    // The start list still holds: its drivers keep their classes in the new event.
    const std::vector<TEntrant> entrants = std::move(FEntrantOrder);
    FEntrants.clear();
    FEntrantOrder.clear();
    for (TEntrant n : entrants) {
        n.Uuid.clear();
        n.Station.clear();
        n.StationId.clear();
        n.Seq = 0;
        n.RecordedMs = 0;
        n.EventUuid = FEvent.Uuid;
        FStore.Add(n);
        FEntrants.insert(EntrantKey(n.StartNo, n.Name), n);
        FEntrantOrder.push_back(n);
    }
    if (OnRecorded) OnRecorded(this);
    return FEvent.Uuid;
}

void TEventRecorder::EnsureEvent(const QString& title) {
    // The first run of a program started on a new day begins the day's event; an
    // event under way goes on across midnight.
    if (FEvent.Uuid.isEmpty()) {
        BeginEvent(title, SharedEventUuid(Today(), title));
        return;
    }
    if (title != FEvent.Title) { // a corrected title renames the event
        TEventRename r;
        r.EventUuid = FEvent.Uuid;
        r.Title = title;
        FStore.Add(r);
        FEvent.Title = title;
    }
}

void TEventRecorder::RunEvent(const TRunNotice& n) {
    if (n.Kind == TRunNoticeKind::Reset) {
        for (auto& events : FCarEvents)
            events.clear();
        FCarRunIds = {};
        return;
    }
    if (n.Car < 1 || n.Car > 2) return;
    FRunNumber = n.RunNumber;
    if (n.Kind == TRunNoticeKind::Undo) {
        if (!FCarEvents[n.Car].empty()) FCarEvents[n.Car].pop_back();
        return;
    }
    if (n.EventCount <= 1 && n.Kind == TRunNoticeKind::Start)
        for (auto& events : FCarEvents)
            events.clear();
    if (n.Kind == TRunNoticeKind::Start) FCarRunIds[n.Car] = n.RunId;
    FCarEvents[n.Car].push_back({KindName(n.Kind), SourceName(n.Source), n.Tick, n.WallMs});
}

void TEventRecorder::ResultsEntered(const TRunResults& results) {
    EnsureEvent(results.Title);
    FEntered.clear();
    FRunNumber = results.RunNumber;
    for (const TEnteredResult& row : results.Rows) {
        TRunRecord r;
        // The identity of its START: a replay of the run after a crash is the same record.
        if (row.Car >= 1 && row.Car <= 2) r.Uuid = FCarRunIds[row.Car];
        r.EventUuid = FEvent.Uuid;
        r.RunNo = results.RunNumber;
        r.Car = row.Car;
        r.StartNo = row.StartNumber;
        r.Name = row.Name;
        r.Laps = results.Laps;
        for (size_t k = 0; k < row.LapMs.size() && k < size_t(MaxLaps); ++k)
            r.LapMs[k] = row.LapMs[k];
        r.Status = row.Status == TEnteredResult::Dnf ? RunStatusDnf : RunStatusOk;
        r.TotalMs = r.Status == RunStatusOk ? row.TotalMs : -1;
        r.BestMs = row.LapMs.empty() ? -1 : row.BestMs;
        if (row.Car >= 1 && row.Car <= 2) r.Events = FCarEvents[row.Car];
        for (const TTimedEvent& e : r.Events)
            if (e.Kind == QLatin1String("START")) r.StartMs = e.WallMs;
        r.Uuid = FStore.Add(r);
        FEntered.push_back({r.Uuid, row.Name});
        MapRow(r);
        Rounds.NoteRun(r.Uuid, r.Name, r.RunNo, r.Status);
    }
    if (OnRecorded) OnRecorded(this);
}

QStringList TEventRecorder::EnteredRuns() const {
    QStringList runs;
    for (const auto& entered : FEntered)
        runs << entered.first;
    return runs;
}

QString TEventRecorder::RunOfRow(const QString& name) const {
    return FRowRuns.value(RowKey(name));
}

QString TEventRecorder::MakeRoundRun(const QString& name, const QString& runNo,
                                    const QString& status, const QString& startNo) {
    if (FEvent.Uuid.isEmpty()) EnsureEvent(FEvent.Title);
    TRunRecord r;
    r.EventUuid = FEvent.Uuid;
    r.RunNo = runNo;
    r.Name = name.simplified();
    r.Status = status;
    // The number on the row; else the one the entrant drove under before.
    r.StartNo = startNo.simplified();
    for (const TEntrant& n : FEntrantOrder)
        if (r.StartNo.isEmpty() && TRounds::EntrantKey(n.Name) == TRounds::EntrantKey(name)) r.StartNo = n.StartNo;
    r.Uuid = FStore.Add(r);
    MapRow(r);
    Rounds.NoteRun(r.Uuid, r.Name, r.RunNo, r.Status);
    return r.Uuid;
}

QString TEventRecorder::RoundOfChange(const TProtocolChange& ch) const {
    return ch.RunNumber.trimmed().isEmpty() ? FRunNumber : ch.RunNumber.trimmed();
}

void TEventRecorder::Correct(TCorrection c, const QString& name) {
    c.Name = name;
    if (c.RunUuid.isEmpty()) c.RunUuid = RunOfRow(name);
    // Never a correction of no run, except of the whole table.
    if (c.RunUuid.isEmpty() && c.Kind != CorrectionKind::TableCleared) return;
    if (FEvent.Uuid.isEmpty()) EnsureEvent(FEvent.Title);
    // A correction belongs to the event of its run, also after another event began.
    c.EventUuid = FRunEvents.value(c.RunUuid, FEvent.Uuid);
    FStore.Add(c);
    if (OnRecorded) OnRecorded(this);
}

int TEventRecorder::RecordEntrants(const QList<StartList::TEntrant>& entrants,
                                   const QString& title) {
    if (entrants.isEmpty()) return 0;
    if (FEvent.Uuid.isEmpty()) EnsureEvent(title);
    int recorded = 0;
    for (const StartList::TEntrant& s : entrants) {
        TEntrant n;
        n.EventUuid = FEvent.Uuid;
        n.StartNo = s.StartNr.simplified();
        n.Name = s.Name.simplified();
        n.Class = s.Class.simplified();
        n.Club = s.Club.simplified();
        n.Vehicle = s.Vehicle.simplified();
        if (n.StartNo.isEmpty() && n.Name.isEmpty()) continue;
        const QString key = EntrantKey(n.StartNo, n.Name);
        if (auto it = FEntrants.constFind(key); it != FEntrants.cend() && SameEntrant(*it, n))
            continue;
        n.Uuid = FStore.Add(n);
        FEntrants.insert(key, n);
        FEntrantOrder.push_back(n);
        ++recorded;
    }
    if (recorded && OnRecorded) OnRecorded(this);
    return recorded;
}

void TEventRecorder::RecordCorrection(const TCorrection& c) {
    FStore.Add(c);
    // A rerun still has to be driven in its round; a withdrawn run was not driven.
    if (c.Kind == CorrectionKind::Undo) Rounds.Forget(c.RunUuid);
    if (c.Kind == CorrectionKind::Status)
        Rounds.SetStatus(c.RunUuid, c.Text == RunStatusRerun ? RunStatusRerun : RunStatusOk);
    if (OnRecorded) OnRecorded(this);
}

void TEventRecorder::RunToProtocol(const TRunRecord& run) {
    TCorrection c;
    c.Kind = CorrectionKind::ToProtocol;
    c.RunUuid = run.Uuid;
    c.EventUuid = run.EventUuid;
    c.Name = run.Name;
    FStore.Add(c);
    MapRow(run);
    if (OnRecorded) OnRecorded(this);
}

void TEventRecorder::ProtocolChanged(const TProtocolChange& ch) {
    TCorrection c;
    switch (ch.Kind) {
    case TProtocolChangeKind::ResultsTakenBack:
        for (const auto& [uuid, name] : FEntered) {
            c.Kind = CorrectionKind::Undo;
            c.RunUuid = uuid;
            Correct(c, name);
            FRowRuns.remove(RowKey(name));
            Rounds.Forget(uuid);
        }
        FEntered.clear();
        return;
    case TProtocolChangeKind::LapTyped:
        c.Kind = CorrectionKind::Lap;
        c.Field = ch.Col - pcLap1 + 1;
        c.Ms = ParseTimeText(ch.Text);
        c.Text = ch.Text;
        if (c.Ms < 0) return; // refused by the table as well
        // A row without any run: the typed lap is a run of this round.
        if (RunOfRow(ch.Name).isEmpty()) c.RunUuid = MakeRoundRun(ch.Name, RoundOfChange(ch), RunStatusOk, ch.StartNr);
        Correct(c, ch.Name);
        return;
    case TProtocolChangeKind::HandTime: {
        c.Kind = CorrectionKind::HandTime;
        c.Field = ch.Col == pcTotal ? 0 : ch.Col - pcLap1 + 1;
        c.Ms = ParseTimeText(ch.Text);
        c.Text = ch.Text;
        if (c.Ms < 0 || c.Field < 0 || c.Field > MaxLaps) return;
        // It times the run the row shows; a row without any run gets one of this round.
        if (RunOfRow(ch.Name).isEmpty()) c.RunUuid = MakeRoundRun(ch.Name, RoundOfChange(ch), RunStatusOk, ch.StartNr);
        Correct(c, ch.Name);
        if (Rounds.State(ch.Name, TRounds::RoundOf(RoundOfChange(ch))) == TRounds::TState::Dns)
            Rounds.SetStatus(RunOfRow(ch.Name), RunStatusOk); // timed by hand after all
        return;
    }
    case TProtocolChangeKind::NotStarted: {
        // A DNS belongs to the round it was given in, never to an earlier run.
        const QString round = RoundOfChange(ch);
        const int n = TRounds::RoundOf(round);
        switch (Rounds.State(ch.Name, n)) {
        case TRounds::TState::Dns:
            return; // given already
        case TRounds::TState::None:
            MakeRoundRun(ch.Name, round, RunStatusDns, ch.StartNr);
            if (OnRecorded) OnRecorded(this);
            return;
        default:
            c.Kind = CorrectionKind::Dns;
            c.RunUuid = Rounds.RunOf(ch.Name, n);
            Correct(c, ch.Name);
            Rounds.SetStatus(c.RunUuid, RunStatusDns);
            return;
        }
    }
    case TProtocolChangeKind::StartedAgain: {
        // The DNS of this round taken back: its run is withdrawn, the entrant drives.
        const int n = TRounds::RoundOf(RoundOfChange(ch));
        if (Rounds.State(ch.Name, n) != TRounds::TState::Dns) return;
        c.Kind = CorrectionKind::Undo;
        c.RunUuid = Rounds.RunOf(ch.Name, n);
        Correct(c, ch.Name);
        Rounds.Forget(c.RunUuid);
        FRowRuns.remove(RowKey(ch.Name));
        return;
    }
    case TProtocolChangeKind::RowDeleted:
        c.Kind = CorrectionKind::RowDeleted;
        Correct(c, ch.Name);
        FRowRuns.remove(RowKey(ch.Name));
        return;
    case TProtocolChangeKind::Cleared:
        c.Kind = CorrectionKind::TableCleared;
        Correct(c, QString());
        FRowRuns.clear();
        FEntered.clear();
        return;
    default:
        return;
    }
}

int TEventRecorder::AddMissing(TEventDb& reader, const std::vector<TRunRecord>& runs,
                               const QString& title) {
    int added = 0;
    for (TRunRecord r : runs) {
        if (r.Uuid.isEmpty() || reader.HasRun(r.Uuid)) continue;
        if (FEvent.Uuid.isEmpty()) EnsureEvent(title);
        r.EventUuid = FEvent.Uuid;
        r.Station.clear();
        FStore.Add(r);
        MapRow(r);
        Rounds.NoteRun(r.Uuid, r.Name, r.RunNo, r.Status);
        ++added;
    }
    if (added && OnRecorded) OnRecorded(this);
    return added;
}

TRunRecord TEventRecorder::FromJournal(const Journal::TEnteredRun& run) {
    TRunRecord r;
    r.Uuid = run.Id;
    r.RunNo = run.RunNumber;
    r.Car = run.Car;
    const TStartNumberSplit split = SplitStartNumber(run.NameText);
    r.StartNo = split.Number;
    r.Name = split.Name;
    r.Laps = run.Laps;
    int best = -1;
    for (size_t k = 0; k < run.LapMs.size() && k < size_t(MaxLaps); ++k) {
        r.LapMs[k] = run.LapMs[k];
        best = best < 0 ? run.LapMs[k] : std::min(best, int(run.LapMs[k]));
    }
    r.BestMs = best;
    r.Status = run.Dnf ? RunStatusDnf : RunStatusOk;
    r.TotalMs = run.Dnf ? -1 : run.TotalMs;
    for (const Journal::TJournalEvent& e : run.Events) {
        r.Events.push_back({e.Kind, e.Source.isEmpty() ? QStringLiteral("Taste") : e.Source, e.Tick, e.WallMs});
        if (e.Kind == QLatin1String("START")) r.StartMs = e.WallMs;
    }
    return r;
}
