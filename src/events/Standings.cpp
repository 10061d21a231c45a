#include "Standings.h"

#include "TimeText.h"

#include <algorithm>

namespace {

bool Timed(const TEffectiveRun& e) {
    return e.Run.Status == RunStatusOk && e.Run.TotalMs >= 0;
}

int CountingOf(const TEffectiveRun& e) {
    return e.Run.TotalMs + e.PenaltyMs();
}

// Order of the statuses after the timed drivers.
int StatusOrder(const QString& status) {
    if (status.isEmpty()) return 0;
    if (status == RunStatusDnf) return 1;
    if (status == RunStatusDns) return 2;
    if (status == RunStatusDsq) return 3;
    return 4; // no run that could count yet (only reruns)
}

// A run without a time: its status as the standings show it.
QString UntimedStatus(const TEffectiveRun& e) {
    if (e.Run.Status == RunStatusDns || e.Run.Status == RunStatusDsq) return e.Run.Status;
    return RunStatusDnf; // dropped out, or laps missing
}

// Of several untimed runs the one that weighs most: DSQ, then DNF, then DNS.
QString WorstStatus(const std::vector<const TEffectiveRun*>& runs) {
    QString worst;
    auto weight = [](const QString& s) {
        return s == RunStatusDsq ? 3 : s == RunStatusDnf ? 2 : s == RunStatusDns ? 1 : 0;
    };
    for (const TEffectiveRun* e : runs)
        if (!Timed(*e) && weight(UntimedStatus(*e)) > weight(worst)) worst = UntimedStatus(*e);
    return worst;
}

void Count(TStandingRow& row, const std::vector<const TEffectiveRun*>& counted) {
    row.Counted = int(counted.size());
    row.RawMs = row.PenaltyMs = 0;
    for (const TEffectiveRun* e : counted) {
        row.RawMs += e->Run.TotalMs;
        row.PenaltyMs += e->PenaltyMs();
        row.CountingRuns << e->Run.Uuid;
        row.HandTime = row.HandTime || !e->HandFields.empty();
        row.Flagged = row.Flagged || !e->Flags.empty();
    }
    row.CountingMs = row.RawMs + row.PenaltyMs;
}

void Score(TStandingRow& row, std::vector<const TEffectiveRun*> runs, const TScoring& s) {
    // Reruns are shown but never count.
    std::erase_if(runs, [](const TEffectiveRun* e) { return e->Run.Status == RunStatusRerun; });
    if (runs.empty()) {
        row.Status = QStringLiteral("-");
        return;
    }
    std::vector<const TEffectiveRun*> timed;
    std::copy_if(runs.begin(), runs.end(), std::back_inserter(timed),
                 [](const TEffectiveRun* e) { return Timed(*e); });
    std::stable_sort(timed.begin(), timed.end(),
                     [](const TEffectiveRun* a, const TEffectiveRun* b) {
                         return CountingOf(*a) < CountingOf(*b);
                     });
    switch (s.Rule) {
    case srLastRun:
        if (Timed(*runs.back()))
            Count(row, {runs.back()});
        else
            row.Status = UntimedStatus(*runs.back());
        return;
    case srBestRun:
        if (!timed.empty())
            Count(row, {timed.front()});
        else
            row.Status = WorstStatus(runs);
        return;
    case srSumAll:
        if (timed.size() == runs.size())
            Count(row, timed);
        else
            row.Status = WorstStatus(runs);
        return;
    case srSumBestN:
        if (timed.empty()) {
            row.Status = WorstStatus(runs);
        } else {
            timed.resize(std::min<size_t>(timed.size(), size_t(std::max(1, s.N))));
            Count(row, timed);
        }
        return;
    }
}

// Competition ranks and gaps over rows already in order; only timed rows get them.
template <typename RankOf, typename GapOf, typename AheadOf>
void Rank(QList<TStandingRow*>& rows, RankOf rankOf, GapOf gapOf, AheadOf aheadOf) {
    const TStandingRow* leader = nullptr;
    const TStandingRow* ahead = nullptr;
    int rank = 0;
    for (int i = 0; i < rows.size(); ++i) {
        TStandingRow& r = *rows[i];
        if (!r.Status.isEmpty()) break;
        const bool tie =
            ahead && ahead->Counted == r.Counted && ahead->CountingMs / 10 == r.CountingMs / 10;
        if (!tie) rank = i + 1;
        rankOf(r) = QString::number(rank);
        // Gaps compare like with like: the same number of counted runs.
        if (!leader || leader->Counted != r.Counted) leader = &r;
        // A driver level with the leader leads too.
        gapOf(r) = r.CountingMs / 10 == leader->CountingMs / 10
                       ? QString()
                       : GapText(r.CountingMs - leader->CountingMs);
        aheadOf(r) = ahead && ahead->Counted == r.Counted
                         ? GapText(r.CountingMs - ahead->CountingMs)
                         : QString();
        ahead = &r;
    }
}

} // namespace

QString ScoringRuleCaption(TScoringRule rule) {
    switch (rule) {
    case srLastRun:
        return QStringLiteral("Letzter Lauf");
    case srBestRun:
        return QStringLiteral("Bester Lauf");
    case srSumAll:
        return QStringLiteral("Summe aller Läufe");
    case srSumBestN:
        return QStringLiteral("Summe der besten N Läufe");
    }
    return {};
}

QString ScoringDescription(const TScoring& s) {
    if (s.Rule == srSumBestN) return QStringLiteral("Summe der besten %1 Läufe").arg(s.N);
    return ScoringRuleCaption(s.Rule);
}

QString DriverKey(const QString& startNo, const QString& name) {
    return startNo.simplified().toLower() + QLatin1Char('|') + name.simplified().toLower();
}

QString GapText(int ms) {
    return QLatin1Char('+') + TimeToText(std::max(0, ms));
}

QList<TStandingRow> ComputeStandings(const std::vector<TEffectiveRun>& runs,
                                     const TScoring& scoring,
                                     const QHash<QString, QString>& classes) {
    // Runs per driver in the order they were driven.
    std::vector<const TEffectiveRun*> ordered;
    ordered.reserve(runs.size());
    for (const TEffectiveRun& e : runs)
        if (!e.Withdrawn) ordered.push_back(&e);
    std::stable_sort(ordered.begin(), ordered.end(),
                     [](const TEffectiveRun* a, const TEffectiveRun* b) {
                         const qint64 ta = a->Run.StartMs ? a->Run.StartMs : a->Run.RecordedMs;
                         const qint64 tb = b->Run.StartMs ? b->Run.StartMs : b->Run.RecordedMs;
                         return ta < tb;
                     });
    QHash<QString, int> index;
    QList<TStandingRow> rows;
    std::vector<std::vector<const TEffectiveRun*>> perDriver;
    for (const TEffectiveRun* e : ordered) {
        const QString key = DriverKey(e->Run.StartNo, e->Run.Name);
        auto it = index.find(key);
        if (it == index.end()) {
            it = index.insert(key, int(rows.size()));
            TStandingRow row;
            row.Key = key;
            row.StartNo = e->Run.StartNo.trimmed();
            row.Class = classes.value(key);
            rows << row;
            perDriver.emplace_back();
        }
        rows[*it].Name = e->Run.Name.trimmed(); // the latest spelling
        perDriver[size_t(*it)].push_back(e);
    }
    for (int i = 0; i < rows.size(); ++i) {
        rows[i].Runs = int(perDriver[size_t(i)].size());
        Score(rows[i], perDriver[size_t(i)], scoring);
    }
    std::stable_sort(rows.begin(), rows.end(), [](const TStandingRow& a, const TStandingRow& b) {
        const int sa = StatusOrder(a.Status), sb = StatusOrder(b.Status);
        if (sa != sb) return sa < sb;
        if (sa != 0) return false;
        if (a.Counted != b.Counted) return a.Counted > b.Counted;
        return a.CountingMs / 10 < b.CountingMs / 10;
    });

    QList<TStandingRow*> all;
    QHash<QString, QList<TStandingRow*>> byClass;
    for (TStandingRow& r : rows) {
        all << &r;
        byClass[r.Class] << &r;
    }
    Rank(
        all, [](TStandingRow& r) -> QString& { return r.Rank; },
        [](TStandingRow& r) -> QString& { return r.Gap; },
        [](TStandingRow& r) -> QString& { return r.GapAhead; });
    for (auto it = byClass.begin(); it != byClass.end(); ++it)
        Rank(
            it.value(), [](TStandingRow& r) -> QString& { return r.ClassRank; },
            [](TStandingRow& r) -> QString& { return r.ClassGap; },
            [](TStandingRow& r) -> QString& { return r.ClassGapAhead; });
    return rows;
}

QStringList StandingClasses(const QList<TStandingRow>& rows) {
    QStringList classes;
    for (const TStandingRow& r : rows)
        if (!r.Class.isEmpty() && !classes.contains(r.Class)) classes << r.Class;
    return classes;
}
