#include "RunChecker.h"

#include "Corrections.h"
#include "Protocol.h"

#include <algorithm>

using namespace Plausibility;

namespace {

TSource SourceOf(TRunEventSource s) {
    switch (s) {
    case TRunEventSource::Barrier:
        return srcBarrier;
    case TRunEventSource::Mouse:
        return srcMouse;
    case TRunEventSource::Restored:
        return srcRestored;
    case TRunEventSource::Key:
        break;
    }
    return srcKey;
}

TRunTimes TimesOf(const TRunRecord& r) {
    TRunTimes t;
    for (int k = 0; k < std::clamp(r.Laps, 1, MaxLaps); ++k)
        t.LapMs << r.LapMs[size_t(k)];
    t.TotalMs = r.Status == RunStatusOk ? r.TotalMs : -1;
    return t;
}

} // namespace

TRunChecker::TRunChecker(TEventStore& store, TEventRecorder& recorder)
    : FStore(store), FRecorder(recorder) {}

void TRunChecker::Load(TEventDb& reader) {
    FEvent = FRecorder.CurrentEvent();
    FField.clear();
    FMarks.clear();
    if (FEvent.isEmpty()) return;
    for (const TEffectiveRun& e : reader.EffectiveRuns(FEvent)) {
        if (!e.Flags.empty() || !e.HandFields.empty())
            FMarks.insert(e.Run.Uuid, {e.Flags, e.HandFields});
        if (e.Counts() && e.Run.Status != RunStatusDns)
            FField.insert(e.Run.Uuid, {e.Run.Laps, TimesOf(e.Run)});
    }
}

const TRunChecker::TMarks* TRunChecker::MarksOf(const QString& runUuid) const {
    if (runUuid.isEmpty()) return nullptr;
    const auto it = FMarks.constFind(runUuid);
    return it == FMarks.constEnd() || it->Empty() ? nullptr : &*it;
}

const TRunChecker::TMarks* TRunChecker::MarksOfRow(const QString& name) const {
    return MarksOf(FRecorder.RunOfRow(name));
}

void TRunChecker::FollowEvent() {
    // A new event (or a new day) starts with an empty field.
    if (FRecorder.CurrentEvent() == FEvent) return;
    FEvent = FRecorder.CurrentEvent();
    FField.clear();
    FMarks.clear();
}

void TRunChecker::Changed() {
    if (OnChanged) OnChanged(this);
}

void TRunChecker::RunEvent(const TRunNotice& n) {
    if (n.Kind == TRunNoticeKind::Reset) {
        FCars.fill({});
        return;
    }
    if (n.Car < 1 || n.Car > 2 || n.Kind == TRunNoticeKind::Dnf) return;
    TCarEvents& car = FCars[size_t(n.Car)];
    if (n.Kind == TRunNoticeKind::Undo) {
        if (!car.Sources.isEmpty())
            car.Sources.removeLast(), car.AfterDeadTimeMs.removeLast(), car.Systems.removeLast();
        return;
    }
    if (n.EventCount <= 1 && n.Kind == TRunNoticeKind::Start) FCars.fill({});
    car.Sources << SourceOf(n.Source);
    car.AfterDeadTimeMs << n.AfterDeadTimeMs;
    car.Systems << TSystemsPass{TSystemsPass::TKind(n.Systems.Kind), n.Systems.DifferenceUnits};
}

void TRunChecker::ResultsEntered(const TRunResults& results) {
    FollowEvent();
    std::vector<TRunTimes> times;
    // By row, not by name: two cars may carry the same name (or none).
    const QStringList uuids = FRecorder.EnteredRuns();
    if (uuids.size() != int(results.Rows.size())) return;
    for (const TEnteredResult& row : results.Rows) {
        TRunTimes t;
        for (const int32_t ms : row.LapMs)
            t.LapMs << ms;
        t.TotalMs = row.Status == TEnteredResult::Finished ? row.TotalMs : -1;
        if (row.Car >= 1 && row.Car <= 2) {
            t.Sources = FCars[size_t(row.Car)].Sources;
            t.AfterDeadTimeMs = FCars[size_t(row.Car)].AfterDeadTimeMs;
            // Flags of two time systems only where both were connected.
            const auto& systems = FCars[size_t(row.Car)].Systems;
            if (std::any_of(systems.begin(), systems.end(),
                            [](const TSystemsPass& s) { return s.Kind != TSystemsPass::None; }))
                t.Systems = systems;
        }
        times.push_back(t);
    }
    std::vector<TRunTimes> field;
    for (auto it = FField.cbegin(); it != FField.cend(); ++it)
        if (it->Laps == results.Laps && !uuids.contains(it.key())) field.push_back(it->Times);

    bool flagged = false;
    for (size_t i = 0; i < times.size(); ++i) {
        const QString& uuid = uuids[int(i)];
        if (uuid.isEmpty()) continue;
        const TRunTimes* other = times.size() == 2 ? &times[1 - i] : nullptr;
        for (const TFlagHit& hit : Plausibility::Check(times[i], field, other, Thresholds)) {
            TCorrection c;
            c.EventUuid = FEvent;
            c.RunUuid = uuid;
            c.Kind = CorrectionKind::Flag;
            c.Field = hit.Field;
            c.Text = CodeName(hit.Code);
            c.Reason = hit.Reason;
            c.Name = results.Rows[i].Name;
            const QString flagUuid = FStore.Add(c);
            FMarks[uuid].Flags.push_back({flagUuid, hit.Field, c.Text, hit.Reason});
            flagged = true;
        }
    }
    for (size_t i = 0; i < times.size(); ++i)
        if (!uuids[int(i)].isEmpty()) FField.insert(uuids[int(i)], {results.Laps, times[i]});
    FEntered = uuids;
    if (flagged) Changed();
}

int TRunChecker::Check(const QString& runUuid, int field, const QString& name,
                       const QString& reason) {
    auto it = FMarks.find(runUuid);
    if (runUuid.isEmpty() || it == FMarks.end()) return 0;
    int cleared = 0;
    std::erase_if(it->Flags, [&](const TFlag& f) {
        if (field >= 0 && f.Field != field) return false;
        RecordChecked(FEvent, runUuid, f.Uuid, name, reason);
        ++cleared;
        return true;
    });
    if (cleared) Changed();
    return cleared;
}

void TRunChecker::RecordChecked(const QString& eventUuid, const QString& runUuid,
                                const QString& flagUuid, const QString& name,
                                const QString& reason) {
    TCorrection c;
    c.EventUuid = eventUuid;
    c.RunUuid = runUuid;
    c.TargetUuid = flagUuid;
    c.Kind = CorrectionKind::Checked;
    c.Reason = reason;
    c.Name = name;
    FStore.Add(c);
}

int TRunChecker::CheckRun(const TEffectiveRun& run) {
    QStringList open;
    if (const auto it = FMarks.constFind(run.Run.Uuid); it != FMarks.constEnd())
        for (const TFlag& f : it->Flags)
            open << f.Uuid;
    int cleared = 0;
    for (const TFlag& f : run.Flags) {
        // Cleared here since the list was read: not a second time.
        if (run.Run.EventUuid == FEvent && FMarks.contains(run.Run.Uuid) && !open.contains(f.Uuid))
            continue;
        RecordChecked(run.Run.EventUuid, run.Run.Uuid, f.Uuid, run.Run.Name, QString());
        ++cleared;
    }
    if (auto it = FMarks.find(run.Run.Uuid); it != FMarks.end()) it->Flags.clear();
    if (cleared) Changed();
    return cleared;
}

void TRunChecker::TimeCorrected(const TProtocolChange& c, bool hand) {
    const QString uuid = FRecorder.RunOfRow(c.Name);
    const int ms = ParseTimeText(c.Text);
    if (uuid.isEmpty() || ms < 0) return;
    const int field = c.Col == pcTotal ? 0 : c.Col - pcLap1 + 1;
    if (field < 0 || field > MaxLaps) return;
    if (auto it = FField.find(uuid); it != FField.end()) {
        TRunTimes& t = it->Times;
        if (field == 0) {
            t.TotalMs = ms;
        } else if (field <= t.LapMs.size()) {
            t.LapMs[field - 1] = ms;
            int hundredths = 0;
            for (const int lap : t.LapMs)
                hundredths = hundredths < 0 || lap < 0 ? -1 : hundredths + lap / 10;
            t.TotalMs = hundredths < 0 ? -1 : hundredths * 10;
        }
    }
    TMarks& marks = FMarks[uuid];
    std::erase(marks.HandFields, field);
    if (hand) marks.HandFields.push_back(field);
    // The replaced time and, for a lap, the total it made: their flags have been dealt with.
    const QString why = hand ? QStringLiteral("durch Handzeit ersetzt") : QStringLiteral("Zeit korrigiert");
    Check(uuid, field, c.Name, why);
    if (field > 0) Check(uuid, 0, c.Name, why);
    Recheck(uuid, field, c.Name);
    Changed();
}

void TRunChecker::Recheck(const QString& uuid, int field, const QString& name) {
    const auto it = FField.constFind(uuid);
    if (it == FField.constEnd()) return;
    // A typed time has no barrier edges: only the times themselves are checked.
    TRunTimes t = it->Times;
    t.Sources.clear();
    t.AfterDeadTimeMs.clear();
    std::vector<TRunTimes> field_;
    for (auto f = FField.cbegin(); f != FField.cend(); ++f)
        if (f.key() != uuid && f->Laps == it->Laps) field_.push_back(f->Times);
    TMarks& marks = FMarks[uuid];
    for (const TFlagHit& hit : Plausibility::Check(t, field_, nullptr, Thresholds)) {
        if (hit.Field != field && hit.Field != 0) continue; // unchanged times keep their state
        const QString code = CodeName(hit.Code);
        if (std::any_of(marks.Flags.begin(), marks.Flags.end(), [&](const TFlag& f) {
                return f.Field == hit.Field && f.Code == code;
            }))
            continue;
        TCorrection c;
        c.EventUuid = FRecorder.CurrentEvent();
        c.RunUuid = uuid;
        c.Kind = CorrectionKind::Flag;
        c.Field = hit.Field;
        c.Text = code;
        c.Reason = hit.Reason;
        c.Name = name;
        marks.Flags.push_back({FStore.Add(c), hit.Field, code, hit.Reason});
    }
}

void TRunChecker::ProtocolChanged(const TProtocolChange& c) {
    switch (c.Kind) {
    case TProtocolChangeKind::ResultsTakenBack:
        for (const QString& uuid : std::as_const(FEntered)) {
            FField.remove(uuid);
            FMarks.remove(uuid);
        }
        FEntered.clear();
        Changed();
        return;
    case TProtocolChangeKind::LapTyped:
        TimeCorrected(c, false);
        return;
    case TProtocolChangeKind::HandTime:
        TimeCorrected(c, true);
        return;
    case TProtocolChangeKind::NotStarted: {
        // Not started: no time is left for a flag to describe.
        const QString uuid = FRecorder.RunOfRow(c.Name);
        FField.remove(uuid);
        Check(uuid, -1, c.Name, QStringLiteral("nicht gestartet"));
        if (auto it = FMarks.find(uuid); it != FMarks.end()) it->HandFields.clear();
        Changed();
        return;
    }
    default:
        return;
    }
}
