#include "EventRunsCache.h"

#include <QSet>
#include <algorithm>

namespace {

// The order the database reads records in: time, then station, then sequence.
template <typename T>
bool Before(const T& a, const T& b) {
    if (a.RecordedMs != b.RecordedMs) return a.RecordedMs < b.RecordedMs;
    if (const int c = a.Station.compare(b.Station)) return c < 0;
    return a.Seq < b.Seq;
}

// Into its place: almost always the end, a pulled record of an earlier time further in.
template <typename T>
typename std::vector<T>::iterator InsertSorted(std::vector<T>& v, T x) {
    const auto at = std::upper_bound(v.begin(), v.end(), x, Before<T>);
    return v.insert(at, std::move(x));
}

} // namespace

void TEventRunsCache::Clear() {
    FValid = false;
    FMarks.clear();
    FBase.clear();
    FRuns.clear();
    FIndex.clear();
    FCorrections.clear();
    FEntrants.clear();
    ++FEntrantsVersion;
}

TEventRunsCache::TResult TEventRunsCache::Refresh(const QString& dbPath, const QString& eventUuid,
                                                  const QString& station, bool othersArrived) {
    const bool same = FValid && dbPath == FPath && eventUuid == FEvent && station == FStation;
    FPath = dbPath;
    FEvent = eventUuid;
    FStation = station;
    if (FDb.IsOpen() && FDb.Path() != dbPath) FDb.Close();
    if (eventUuid.isEmpty()) {
        Clear();
        FValid = true;
        return same ? Unchanged : Reloaded;
    }
    if (!FDb.IsOpen() && !FDb.OpenForReading(dbPath)) {
        Clear();
        return Failed;
    }
    if (!same) {
        Clear();
        if (!Reload()) {
            Clear();
            FDb.Close(); // opened afresh next time: the file may have been replaced
            return Failed;
        }
        FValid = true;
        return Reloaded;
    }
    bool changed = false;
    if (!ReadOn(othersArrived, changed)) {
        FValid = false; // what was read stays shown; the next refresh reads everything
        FDb.Close();
        return Failed;
    }
    return changed ? Updated : Unchanged;
}

bool TEventRunsCache::Reload() {
    if (!FDb.BeginRead()) return false;
    // Marks and records of one state: nothing committed in between is missed or read twice.
    bool ok = FDb.StationMarks(FMarks);
    if (ok) {
        std::vector<TRunRecord> runs = FDb.Runs(FEvent);
        FBase.reserve(runs.size());
        FRuns.reserve(runs.size());
        for (TCorrection& c : FDb.Corrections(FEvent))
            if (!c.RunUuid.isEmpty()) FCorrections[c.RunUuid].push_back(std::move(c));
        for (TRunRecord& r : runs) {
            FIndex.insert(r.Uuid, FBase.size());
            FBase.push_back(std::move(r));
            FRuns.emplace_back();
            Apply(FBase.size() - 1);
        }
        FEntrants = FDb.Entrants(FEvent);
        ++FEntrantsVersion;
    }
    FDb.EndRead();
    return ok;
}

bool TEventRunsCache::ReadOn(bool othersArrived, bool& changed) {
    if (othersArrived) {
        // A station seen for the first time is read from its beginning.
        QHash<QString, qint64> all;
        if (!FDb.StationMarks(all)) return false;
        for (auto it = all.cbegin(); it != all.cend(); ++it)
            if (!FMarks.contains(it.key())) FMarks.insert(it.key(), 0);
    }
    if (!FMarks.contains(FStation)) FMarks.insert(FStation, 0);
    if (!FDb.BeginRead()) return false;
    std::vector<std::pair<QString, TEventDb::TNewRecords>> read;
    QHash<QString, qint64> marks = FMarks;
    bool ok = true;
    for (auto it = marks.begin(); ok && it != marks.end(); ++it) {
        TEventDb::TNewRecords recs;
        ok = FDb.EventRecordsAfter(FEvent, it.key(), it.value(), recs);
        if (ok && (!recs.Runs.empty() || !recs.Corrections.empty() || !recs.Entrants.empty()))
            read.emplace_back(it.key(), std::move(recs));
    }
    FDb.EndRead();
    if (!ok) return false;
    FMarks = marks;
    QSet<QString> touched;
    for (auto& [station, recs] : read) {
        for (TRunRecord& r : recs.Runs) {
            touched.insert(r.Uuid);
            AddRun(std::move(r));
        }
        for (TCorrection& c : recs.Corrections) {
            touched.insert(c.RunUuid);
            AddCorrection(std::move(c));
        }
        for (TEntrant& e : recs.Entrants) {
            InsertSorted(FEntrants, std::move(e));
            ++FEntrantsVersion;
        }
    }
    for (const QString& uuid : touched)
        if (const auto at = FIndex.constFind(uuid); at != FIndex.constEnd())
            Apply(*at); // else a correction whose run is still to come
    changed = !read.empty();
    return true;
}

void TEventRunsCache::Apply(size_t at) {
    static const std::vector<TCorrection> none;
    const auto it = FCorrections.constFind(FBase[at].Uuid);
    FRuns[at] = EffectiveRun(FBase[at], it == FCorrections.constEnd() ? none : *it);
}

void TEventRunsCache::AddRun(TRunRecord run) {
    if (FIndex.contains(run.Uuid)) return;
    const QString uuid = run.Uuid;
    const auto it = InsertSorted(FBase, std::move(run)); // may move the vector: begin() after it
    const size_t at = size_t(it - FBase.begin());
    FRuns.insert(FRuns.begin() + qsizetype(at), TEffectiveRun{}); // filled by the caller
    // Runs after it moved one place on.
    for (size_t i = at + 1; i < FBase.size(); ++i)
        FIndex[FBase[i].Uuid] = i;
    FIndex.insert(uuid, at);
}

void TEventRunsCache::AddCorrection(TCorrection c) {
    if (c.RunUuid.isEmpty()) return; // the whole table: runs are not changed by it
    std::vector<TCorrection>& list = FCorrections[c.RunUuid];
    if (std::any_of(list.begin(), list.end(),
                    [&c](const TCorrection& x) { return x.Uuid == c.Uuid; }))
        return;
    InsertSorted(list, std::move(c));
}
