#include "EventRecords.h"

#include <QUuid>
#include <algorithm>

QString NewRecordUuid() {
    return QUuid::createUuid().toString(QUuid::WithoutBraces);
}

QString StoredText(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (const QChar ch : text) {
        if (ch == QLatin1Char('\t')) out += QLatin1Char(' ');
        else if (ch.category() != QChar::Other_Control) out += ch;
    }
    return out;
}

int TEffectiveRun::PenaltyMs() const {
    int sum = 0;
    for (const TPenalty& p : Penalties)
        sum += p.Ms * p.Count;
    return sum;
}

QStringList TEffectiveRun::CorrectingStations() const {
    QStringList out;
    for (const TCorrection& c : History)
        if (!out.contains(c.Station)) out << c.Station;
    return out;
}

bool TEffectiveRun::Counts() const {
    return !Withdrawn && Run.Status != RunStatusRerun && Run.Status != RunStatusDsq;
}

void RecomputeTotals(TRunRecord& run) {
    const int laps = std::clamp(run.Laps, 1, MaxLaps);
    int hundredths = 0;
    int best = -1;
    for (int k = 0; k < laps; ++k) {
        const int ms = run.LapMs[k];
        if (ms < 0) {
            run.TotalMs = run.BestMs = -1;
            return;
        }
        hundredths += ms / 10;
        best = best < 0 ? ms : std::min(best, ms);
    }
    run.TotalMs = hundredths * 10;
    run.BestMs = best;
}

TEffectiveRun EffectiveRun(const TRunRecord& run, const std::vector<TCorrection>& corrections) {
    TEffectiveRun e;
    e.Run = run;
    TRunRecord& r = e.Run;
    // The status as timed and typed, which a DSQ or rerun only covers.
    QString timedStatus = r.Status == RunStatusDsq || r.Status == RunStatusRerun ? RunStatusOk : r.Status;
    const auto setTimed = [&](const QString& status) {
        timedStatus = status;
        if (r.Status != RunStatusDsq && r.Status != RunStatusRerun) r.Status = status;
    };
    const auto markHand = [&e](int field, bool hand) {
        auto it = std::find(e.HandFields.begin(), e.HandFields.end(), field);
        if (hand && it == e.HandFields.end()) e.HandFields.push_back(field);
        if (!hand && it != e.HandFields.end()) e.HandFields.erase(it);
    };
    for (const TCorrection& c : corrections) {
        e.History.push_back(c);
        if (c.Kind == CorrectionKind::Undo) {
            e.Withdrawn = true;
        } else if (c.Kind == CorrectionKind::ToProtocol) {
            e.Withdrawn = false; // put back: it counts again
        } else if (c.Kind == CorrectionKind::Lap || (c.Kind == CorrectionKind::HandTime && c.Field >= 1)) {
            if (c.Field < 1 || c.Field > MaxLaps) continue;
            r.LapMs[c.Field - 1] = c.Ms;
            RecomputeTotals(r);
            if (r.TotalMs >= 0) setTimed(RunStatusOk);
            markHand(c.Field, c.Kind == CorrectionKind::HandTime);
            // The lap and the total it made are replaced: their flags describe times gone.
            std::erase_if(e.Flags, [&c](const TFlag& f) { return f.Field == c.Field || f.Field == 0; });
        } else if (c.Kind == CorrectionKind::Total || (c.Kind == CorrectionKind::HandTime && c.Field == 0)) {
            r.TotalMs = c.Ms;
            if (timedStatus == RunStatusDnf || timedStatus == RunStatusDns) setTimed(RunStatusOk);
            markHand(0, c.Kind == CorrectionKind::HandTime);
            std::erase_if(e.Flags, [](const TFlag& f) { return f.Field == 0; });
        } else if (c.Kind == CorrectionKind::Dns || c.Kind == CorrectionKind::Dnf) {
            setTimed(c.Kind == CorrectionKind::Dns ? RunStatusDns : RunStatusDnf);
            r.TotalMs = r.BestMs = -1;
            std::erase_if(e.Flags, [&c](const TFlag& f) { return f.Field == 0 || c.Kind == CorrectionKind::Dns; });
            if (c.Kind == CorrectionKind::Dns) r.LapMs.fill(-1), e.HandFields.clear();
        } else if (c.Kind == CorrectionKind::RowDeleted || c.Kind == CorrectionKind::TableCleared) {
            // The protocol row went; the run itself stays as it was.
        } else if (c.Kind == CorrectionKind::Status) {
            // Back to "ok" a run shows again what was timed: a DNF stays a DNF.
            r.Status = c.Text == RunStatusOk ? timedStatus : c.Text;
            e.StatusReason = c.Text == RunStatusOk ? QString() : c.Reason;
        } else if (c.Kind == CorrectionKind::Penalty) {
            e.Penalties.push_back({c.Text, c.Reason, c.Ms, std::max(1, c.Count)});
        } else if (c.Kind == CorrectionKind::PenaltiesCleared) {
            e.Penalties.clear();
        } else if (c.Kind == CorrectionKind::Flag) {
            e.Flags.push_back({c.Uuid, c.Field, c.Text, c.Reason});
        } else if (c.Kind == CorrectionKind::Checked) {
            std::erase_if(e.Flags, [&c](const TFlag& f) { return f.Uuid == c.TargetUuid; });
        }
    }
    return e;
}

