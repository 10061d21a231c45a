#include "Rounds.h"

#include "Protocol.h"

#include <algorithm>

QString TRounds::EntrantKey(const QString& nameText) {
    return SplitStartNumber(nameText).Name.simplified().toCaseFolded();
}

int TRounds::RoundOf(const QString& runNo) {
    bool ok = false;
    const int n = runNo.trimmed().toInt(&ok);
    return ok && n > 0 ? n : 1;
}

void TRounds::Clear() {
    FRuns.clear();
    FKeyOfRun.clear();
}

void TRounds::Note(const TEffectiveRun& e) {
    if (e.Withdrawn) {
        Forget(e.Run.Uuid);
        return;
    }
    NoteRun(e.Run.Uuid, e.Run.Name, e.Run.RunNo, e.Run.Status);
}

void TRounds::NoteRun(const QString& runUuid, const QString& name, const QString& runNo,
                      const QString& status) {
    const QString key = EntrantKey(name);
    if (key.isEmpty() || runUuid.isEmpty()) return;
    const TState state = status == RunStatusDns     ? TState::Dns
                         : status == RunStatusRerun ? TState::Rerun
                                                    : TState::Driven;
    std::vector<TEntry>& runs = FRuns[key];
    for (TEntry& r : runs)
        if (r.RunUuid == runUuid) {
            r.State = state; // a run's later status (a rerun, a DNS)
            r.Round = RoundOf(runNo);
            return;
        }
    runs.push_back({runUuid, RoundOf(runNo), state});
    FKeyOfRun.insert(runUuid, key);
}

void TRounds::SetStatus(const QString& runUuid, const QString& status) {
    const QString key = FKeyOfRun.value(runUuid);
    for (TEntry& r : FRuns[key])
        if (r.RunUuid == runUuid)
            r.State = status == RunStatusDns     ? TState::Dns
                      : status == RunStatusRerun ? TState::Rerun
                                                 : TState::Driven;
}

void TRounds::Forget(const QString& runUuid) {
    const QString key = FKeyOfRun.take(runUuid);
    if (key.isEmpty()) return;
    std::erase_if(FRuns[key], [&runUuid](const TEntry& r) { return r.RunUuid == runUuid; });
}

TRounds::TState TRounds::State(const QString& name, int round) const {
    const TEntry* e = Find(name, round);
    return e ? e->State : TState::None;
}

QString TRounds::RunOf(const QString& name, int round) const {
    const TEntry* e = Find(name, round);
    return e ? e->RunUuid : QString();
}

const TRounds::TEntry* TRounds::Find(const QString& name, int round) const {
    const auto it = FRuns.constFind(EntrantKey(name));
    if (it == FRuns.cend()) return nullptr;
    const TEntry* found = nullptr;
    for (const TEntry& r : *it) {
        if (r.Round != round) continue;
        // A run driven counts over a DNS or a rerun of the round; else the latest.
        if (found && found->State == TState::Driven && r.State != TState::Driven) continue;
        found = &r;
    }
    return found;
}

bool TRounds::PassedOver(const QString& entry, int round) const {
    if (EntrantKey(entry).isEmpty()) return true; // a blank line of the list
    if (Excluded && Excluded(entry)) return true;
    return State(entry, round) == TState::Dns;
}

TRounds::TNext TRounds::Next(const QStringList& entries, const std::vector<int>& current,
                             int round) const {
    const int cars = int(current.size());
    int last = -1;
    for (int i : current)
        last = std::max(last, i);
    // A box without an entry moves as the list always moved it.
    if (last < 0 || entries.isEmpty()) {
        TNext next;
        next.Round = round;
        for (int i : current)
            next.Index.push_back(i + cars < entries.size() ? i + cars : -1);
        return next;
    }
    return From(entries, cars, last + 1, round);
}

TRounds::TNext TRounds::First(const QStringList& entries, int cars, int round) const {
    return From(entries, cars, 0, round);
}

int TRounds::LatestRound() const {
    int latest = 0;
    for (const std::vector<TEntry>& runs : FRuns)
        for (const TEntry& r : runs)
            latest = std::max(latest, r.Round);
    return latest;
}

TRounds::TNext TRounds::From(const QStringList& entries, int cars, int from, int round) const {
    TNext next;
    next.Round = round;
    const int count = int(entries.size());
    const auto fill = [&](const auto& takes, int start) {
        next.Index.clear();
        for (int i = start; i < count && int(next.Index.size()) < cars; ++i)
            if (takes(i)) next.Index.push_back(i);
        const bool found = !next.Index.empty();
        next.Index.resize(cars, -1);
        return found;
    };
    // Who still has to drive in this round, after the last one.
    if (fill([&](int i) {
            return !PassedOver(entries[i], round) && State(entries[i], round) != TState::Driven;
        },
             from))
        return next;
    // Runs marked for repetition are driven before the round ends.
    if (fill([&](int i) {
            return !PassedOver(entries[i], round) && State(entries[i], round) == TState::Rerun;
        },
             0))
        return next;
    next.Round = round + 1;
    next.NewRound = true;
    if (!fill([&](int i) { return !PassedOver(entries[i], round + 1); }, 0)) {
        // Nobody left to drive at all: the boxes stay empty, the round stays.
        next.Round = round;
        next.NewRound = false;
    }
    return next;
}
