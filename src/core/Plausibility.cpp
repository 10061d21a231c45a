#include "Plausibility.h"

#include "TimeText.h"

#include <algorithm>
#include <cstdlib>

namespace Plausibility {
namespace {

// The median of the values >= 0, or -1 with fewer than minCount of them.
int Median(std::vector<int> values, int minCount) {
    std::erase_if(values, [](int v) { return v < 0; });
    if (values.empty() || int(values.size()) < minCount) return -1;
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

void CheckField(std::vector<TFlagHit>& hits, int field, int ms, int median, const TThresholds& t,
                const QString& what) {
    if (ms < 0 || median <= 0) return;
    if (ms < median * t.LowFactor || ms > median * t.HighFactor)
        hits.push_back({fcFarFromField, field,
                        QStringLiteral("%1 %2 weit weg vom Feld (Median %3)")
                            .arg(what, TimeToText(ms), TimeToText(median))});
}

} // namespace

QString CodeName(TCode code) {
    switch (code) {
    case fcShortLap:
        return QStringLiteral("kurz");
    case fcFarFromField:
        return QStringLiteral("feld");
    case fcAfterDeadTime:
        return QStringLiteral("totzeit");
    case fcMixedSources:
        return QStringLiteral("quellen");
    case fcSameTotal:
        return QStringLiteral("gleich");
    case fcTwoSystems:
        return QStringLiteral("systeme");
    case fcOneSystem:
        return QStringLiteral("ergaenzt");
    }
    return {};
}

std::vector<TFlagHit> Check(const TRunTimes& run, const std::vector<TRunTimes>& field,
                            const TRunTimes* otherCar, const TThresholds& t) {
    std::vector<TFlagHit> hits;
    for (int k = 0; k < run.LapMs.size(); ++k) {
        const int ms = run.LapMs[k];
        if (t.MinLapMs > 0 && ms >= 0 && ms < t.MinLapMs)
            hits.push_back(
                {fcShortLap, k + 1,
                 QStringLiteral("Runde %1 kürzer als %2").arg(k + 1).arg(TimeToText(t.MinLapMs))});
        std::vector<int> laps;
        for (const TRunTimes& r : field)
            laps.push_back(r.LapMs.value(k, -1));
        CheckField(hits, k + 1, ms, Median(laps, t.MinFieldRuns), t,
                   QStringLiteral("Runde %1").arg(k + 1));
    }
    std::vector<int> totals;
    for (const TRunTimes& r : field)
        totals.push_back(r.TotalMs);
    CheckField(hits, 0, run.TotalMs, Median(totals, t.MinFieldRuns), t,
               QStringLiteral("Gesamtzeit"));

    for (const int after : run.AfterDeadTimeMs)
        if (after >= 0 && after < t.AfterDeadTimeMs) {
            hits.push_back(
                {fcAfterDeadTime, 0,
                 QStringLiteral("Lichtschranke %1 ms nach Ende der Totzeit").arg(after)});
            break;
        }
    // The pass closing lap k is the event k; the START opens lap 1.
    for (int k = 0; k < run.Systems.size(); ++k) {
        const TSystemsPass& s = run.Systems[k];
        const int lap = std::max(1, k);
        if (s.Kind == TSystemsPass::Both && std::abs(s.DifferenceUnits) > SystemsToleranceUnits)
            hits.push_back({fcTwoSystems, lap,
                            QStringLiteral("Zeitgeber und Lichtschranke %1 s auseinander")
                                .arg(QString::number(std::abs(s.DifferenceUnits) / 10000.0, 'f', 4)
                                         .replace(QLatin1Char('.'), QLatin1Char(',')))});
        else if (s.Kind == TSystemsPass::BarrierOnly || s.Kind == TSystemsPass::DeviceOnly)
            hits.push_back(
                {fcOneSystem, lap,
                 s.Kind == TSystemsPass::BarrierOnly
                     ? QStringLiteral(
                           "Durchgang ohne Impuls des Zeitgebers, von der Lichtschranke ergänzt")
                     : QStringLiteral("Durchgang ohne Lichtschranke, vom Zeitgeber ergänzt")});
    }
    const bool barrier = run.Sources.contains(srcBarrier);
    const bool hand = run.Sources.contains(srcKey) || run.Sources.contains(srcMouse);
    if (barrier && hand)
        hits.push_back({fcMixedSources, 0,
                        QStringLiteral("Zeit teils von der Lichtschranke, teils von Hand")});
    if (otherCar && run.TotalMs >= 0 && run.TotalMs / 10 == otherCar->TotalMs / 10)
        hits.push_back({fcSameTotal, 0,
                        QStringLiteral("Gleiche Gesamtzeit wie das andere Auto dieses Laufs")});
    return hits;
}

} // namespace Plausibility
