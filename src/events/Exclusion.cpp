#include "Exclusion.h"

#include "Standings.h"

TExclusion RunExclusion(const TEffectiveRun& e) {
    TExclusion x;
    for (const TCorrection& c : e.History)
        if (c.Kind == CorrectionKind::Exclusion) {
            x.Excluded = c.Text == QLatin1String("on");
            x.Reason = x.Excluded ? c.Reason : QString();
            x.RecordedMs = c.RecordedMs;
        }
    return x;
}

QHash<QString, TExclusion> ExcludedDrivers(const std::vector<TEffectiveRun>& runs) {
    QHash<QString, TExclusion> latest;
    for (const TEffectiveRun& e : runs) {
        const TExclusion x = RunExclusion(e);
        if (x.RecordedMs < 0) continue;
        const QString key = DriverKey(e.Run.StartNo, e.Run.Name);
        const auto it = latest.constFind(key);
        if (it == latest.constEnd() || it->RecordedMs <= x.RecordedMs) latest.insert(key, x);
    }
    for (auto it = latest.begin(); it != latest.end();)
        it = it->Excluded ? std::next(it) : latest.erase(it);
    return latest;
}

TCorrection ExclusionCorrection(const TRunRecord& run, bool excluded, const QString& reason) {
    TCorrection c;
    c.EventUuid = run.EventUuid;
    c.RunUuid = run.Uuid;
    c.Name = run.Name;
    c.Kind = CorrectionKind::Exclusion;
    c.Text = excluded ? QStringLiteral("on") : QStringLiteral("off");
    c.Reason = excluded ? reason.simplified() : QString();
    return c;
}

QString ExclusionNote(const TExclusion& x) {
    return QStringLiteral("Ausschluss: ") + x.Reason;
}
