#include "EventRecorder.h"

#include "Corrections.h"
#include "Exclusion.h"
#include "Standings.h"
#include "Protocol.h"

#include <QDateTime>
#include <algorithm>
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

TEventRecorder::TEventRecorder(TEventStore& store) : FStore(store) {
    // A driver excluded for the event is passed over by every round.
    Rounds.Excluded = [this](const QString& entry) {
        return !FExcludedEntrants.isEmpty() && FExcludedEntrants.contains(TRounds::EntrantKey(entry));
    };
}

void TEventRecorder::NoteExclusions(const std::vector<TEffectiveRun>& runs) {
    const QHash<QString, TExclusion> excluded = ExcludedDrivers(runs);
    FExcludedEntrants.clear();
    for (const TEffectiveRun& e : runs)
        if (excluded.contains(DriverKey(e.Run.StartNo, e.Run.Name)))
            FExcludedEntrants.insert(TRounds::EntrantKey(e.Run.Name));
}

void TEventRecorder::NoteExclusions(TEventDb& reader) {
    if (!FEvent.Uuid.isEmpty()) NoteExclusions(reader.EffectiveRuns(FEvent.Uuid));
}

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
    NoteExclusions(runs);
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
    FExcludedEntrants.clear();
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
                                    const QString& status, const QString& startNo, const QString& uuid) {
    if (FEvent.Uuid.isEmpty()) EnsureEvent(FEvent.Title);
    TRunRecord r;
    r.Uuid = uuid;
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

bool TEventRecorder::Correct(TCorrection c, const QString& name) {
    c.Name = name;
    if (c.RunUuid.isEmpty()) c.RunUuid = RunOfRow(name);
    // Never a correction of no run, except of the whole table.
    if (c.RunUuid.isEmpty() && c.Kind != CorrectionKind::TableCleared) return false;
    if (FEvent.Uuid.isEmpty()) EnsureEvent(FEvent.Title);
    // A correction belongs to the event of its run, also after another event began.
    c.EventUuid = FRunEvents.value(c.RunUuid, FEvent.Uuid);
    FStore.Add(c);
    if (OnRecorded) OnRecorded(this);
    return true;
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
    // The latest exclusion of a driver decides, and this one is the latest.
    if (c.Kind == CorrectionKind::Exclusion) {
        if (c.Text == QLatin1String("on"))
            FExcludedEntrants.insert(TRounds::EntrantKey(c.Name));
        else
            FExcludedEntrants.remove(TRounds::EntrantKey(c.Name));
    }
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

void TEventRecorder::Identify(TProtocolChange& ch) const {
    if (!ch.CorrectionId.isEmpty()) return;
    const int n = TRounds::RoundOf(RoundOfChange(ch));
    const auto fresh = [&ch] {
        ch.RunId = NewRecordUuid();
        ch.NewRun = true;
    };
    switch (ch.Kind) {
    case TProtocolChangeKind::LapTyped:
    case TProtocolChangeKind::HandTime:
        // The run the row shows; a row without any run gets one of this round.
        ch.RunId = RunOfRow(ch.Name);
        if (ch.RunId.isEmpty()) fresh();
        break;
    case TProtocolChangeKind::NotStarted:
        // A DNS belongs to the round it was given in, never to an earlier run.
        switch (Rounds.State(ch.Name, n)) {
        case TRounds::TState::Dns:
            return; // given already
        case TRounds::TState::None:
            fresh(); // the DNS is the entrant's run of the round: one record
            ch.CorrectionId = ch.RunId;
            return;
        default:
            ch.RunId = Rounds.RunOf(ch.Name, n);
            break;
        }
        break;
    case TProtocolChangeKind::StartedAgain: {
        // The DNS the row shows: of this round, or of the earlier round the row
        // still shows after the roll-over.
        int round = n;
        if (Rounds.State(ch.Name, round) != TRounds::TState::Dns && !RunOfRow(ch.Name).isEmpty())
            round = TRounds::RoundOf(RunNoOfRow(ch.Name));
        if (Rounds.State(ch.Name, round) != TRounds::TState::Dns) return;
        ch.RunId = Rounds.RunOf(ch.Name, round);
        break;
    }
    default:
        return;
    }
    ch.CorrectionId = NewRecordUuid();
}

void TEventRecorder::ProtocolChanged(const TProtocolChange& change) {
    TProtocolChange ch = change;
    Identify(ch);
    Apply(ch);
}

bool TEventRecorder::Apply(const TProtocolChange& ch) {
    TCorrection c;
    c.Uuid = ch.CorrectionId;
    const QString round = RoundOfChange(ch);
    const auto runOf = [&](const QString& status) {
        return ch.NewRun ? MakeRoundRun(ch.Name, round, status, ch.StartNr, ch.RunId) : ch.RunId;
    };
    switch (ch.Kind) {
    case TProtocolChangeKind::ResultsTakenBack:
        for (const auto& [uuid, name] : FEntered) {
            c.Kind = CorrectionKind::Undo;
            c.Uuid = Journal::TakeBackId(uuid);
            c.RunUuid = uuid;
            Correct(c, name);
            FRowRuns.remove(RowKey(name));
            Rounds.Forget(uuid);
            // Entered again, the run is a new record: the old one stays taken back.
            for (QString& id : FCarRunIds)
                if (id == uuid) id = Journal::RetakenRunId(id);
        }
        FEntered.clear();
        return true;
    case TProtocolChangeKind::LapTyped:
        c.Kind = CorrectionKind::Lap;
        c.Field = ch.Col - pcLap1 + 1;
        c.Ms = ParseTimeText(ch.Text);
        c.Text = ch.Text;
        if (c.Ms < 0 || ch.RunId.isEmpty()) return false; // refused by the table as well
        c.RunUuid = runOf(RunStatusOk);
        return Correct(c, ch.Name);
    case TProtocolChangeKind::HandTime: {
        c.Kind = CorrectionKind::HandTime;
        c.Field = ch.Col == pcTotal ? 0 : ch.Col - pcLap1 + 1;
        c.Ms = ParseTimeText(ch.Text);
        c.Text = ch.Text;
        if (c.Ms < 0 || c.Field < 0 || c.Field > MaxLaps || ch.RunId.isEmpty()) return false;
        c.RunUuid = runOf(RunStatusOk);
        const bool recorded = Correct(c, ch.Name);
        if (Rounds.State(ch.Name, TRounds::RoundOf(round)) == TRounds::TState::Dns)
            Rounds.SetStatus(c.RunUuid, RunStatusOk); // timed by hand after all
        return recorded;
    }
    case TProtocolChangeKind::NotStarted:
        if (ch.RunId.isEmpty()) return false;
        if (ch.NewRun) {
            runOf(RunStatusDns);
            if (OnRecorded) OnRecorded(this);
            return true;
        }
        c.Kind = CorrectionKind::Dns;
        c.RunUuid = ch.RunId;
        Rounds.SetStatus(c.RunUuid, RunStatusDns);
        return Correct(c, ch.Name);
    case TProtocolChangeKind::StartedAgain:
        // The DNS of this round taken back: its run is withdrawn, the entrant drives.
        if (ch.RunId.isEmpty()) return false;
        c.Kind = CorrectionKind::Undo;
        c.RunUuid = ch.RunId;
        Rounds.Forget(c.RunUuid);
        if (RunOfRow(ch.Name) == c.RunUuid) FRowRuns.remove(RowKey(ch.Name));
        return Correct(c, ch.Name);
    case TProtocolChangeKind::RowDeleted:
        c.Kind = CorrectionKind::RowDeleted;
        Correct(c, ch.Name);
        FRowRuns.remove(RowKey(ch.Name));
        return true;
    case TProtocolChangeKind::Cleared:
        c.Kind = CorrectionKind::TableCleared;
        Correct(c, QString());
        FRowRuns.clear();
        FEntered.clear();
        return true;
    default:
        return false;
    }
}

QString TEventRecorder::AddMissingCorrections(TEventDb& reader, const std::vector<TProtocolChange>& changes,
                                              const QStringList& takenBack) {
    QStringList added;
    for (const TProtocolChange& ch : changes) {
        // The database has its record (a DNS that made its round's run is that run).
        if (ch.CorrectionId.isEmpty() || reader.HasCorrection(ch.CorrectionId) || reader.HasRun(ch.CorrectionId))
            continue;
        // It belongs to the event of its run, also one that is no longer the current.
        if (!ch.NewRun && !FRunEvents.contains(ch.RunId))
            if (const QString event = reader.EventOfRun(ch.RunId); !event.isEmpty()) FRunEvents.insert(ch.RunId, event);
        if (!Apply(ch)) continue;
        const QString who = SplitStartNumber(ch.Name).Name.simplified();
        switch (ch.Kind) {
        case TProtocolChangeKind::LapTyped:
            added << QStringLiteral("Runde %1 von %2").arg(ch.Col - pcLap1 + 1).arg(who);
            break;
        case TProtocolChangeKind::HandTime:
            added << QStringLiteral("Handzeit von %1").arg(who);
            break;
        case TProtocolChangeKind::NotStarted:
            added << QStringLiteral("DNS von %1").arg(who);
            break;
        default:
            added << QStringLiteral("DNS von %1 zurückgenommen").arg(who);
            break;
        }
    }
    // Results taken back in the window whose withdrawal the database lacks.
    std::vector<TRunRecord> runs;
    for (const QString& id : takenBack) {
        const QString undo = Journal::TakeBackId(id);
        if (!reader.HasRun(id) || reader.HasCorrection(undo)) continue;
        if (!FRunEvents.contains(id)) FRunEvents.insert(id, reader.EventOfRun(id));
        if (runs.empty()) runs = reader.Runs(FRunEvents.value(id, FEvent.Uuid));
        const auto run = std::find_if(runs.begin(), runs.end(), [&id](const TRunRecord& r) { return r.Uuid == id; });
        const QString who = run == runs.end() ? QString() : run->Name;
        TCorrection c;
        c.Uuid = undo;
        c.Kind = CorrectionKind::Undo;
        c.RunUuid = id;
        if (!Correct(c, who)) continue;
        Rounds.Forget(id);
        for (auto it = FRowRuns.begin(); it != FRowRuns.end();)
            it = it.value() == id ? FRowRuns.erase(it) : std::next(it);
        added << (who.isEmpty() ? QStringLiteral("Lauf zurückgenommen")
                                : QStringLiteral("Lauf von %1 zurückgenommen").arg(who));
    }
    if (!added.isEmpty() && OnRecorded) OnRecorded(this);
    return added.join(QStringLiteral(", "));
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

QString TEventRecorder::AddFromJournal(TEventDb& reader, const Journal::TInterruptedRun& last) {
    // The records belong to the event of that program run: the current one, or the
    // database's latest when this start begins a new day's event with its first run.
    bool adopted = false;
    if (FEvent.Uuid.isEmpty() && (!last.Entered.empty() || !last.Corrections.empty() || !last.TakenBack.isEmpty())) {
        const std::vector<TEventInfo> events = reader.Events();
        adopted = !events.empty();
        if (adopted) FEvent = events.front();
    }
    std::vector<TRunRecord> entered;
    for (const Journal::TEnteredRun& e : last.Entered)
        entered.push_back(FromJournal(e));
    const int runs = AddMissing(reader, entered, last.Title);
    const QString corrections = AddMissingCorrections(reader, last.Corrections, last.TakenBack);
    if (adopted) {
        // Nothing of that event carries over into the new day's.
        FEvent = TEventInfo();
        FRowRuns.clear();
        FEntered.clear();
        Rounds.Clear();
        FExcludedEntrants.clear();
    }
    return JournalAddedText(runs, corrections);
}

QString TEventRecorder::JournalAddedText(int runs, const QString& corrections) {
    QStringList parts;
    if (runs > 0) parts << (runs == 1 ? QStringLiteral("1 Lauf") : QStringLiteral("%1 Läufe").arg(runs));
    if (!corrections.isEmpty()) parts << corrections;
    if (parts.isEmpty()) return QString();
    return QStringLiteral("Aus dem Ereignisprotokoll nachgetragen: ") + parts.join(QStringLiteral("; "));
}
