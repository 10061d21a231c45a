// Standings figures for 500 drivers x 10 runs in 8 classes, some runs with
// penalties, a disqualification or a rerun: computing them again after one new
// run under each scoring rule, and the window's whole path after a run (handed to
// the store, committed, the event read back, computed).
#include "EventDb.h"
#include "EventStore.h"
#include "Standings.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <ctime>

namespace {

constexpr int Drivers = 500, RunsEach = 10, Classes = 8;

TRunRecord SampleRun(const QString& event, int i) {
    TRunRecord r;
    r.EventUuid = event;
    r.Uuid = NewRecordUuid();
    const int d = i % Drivers;
    r.StartMs = 1796636673325 + qint64(i) * 60000;
    r.RunNo = QString::number(i / Drivers + 1);
    r.StartNo = QString::number(d + 1);
    r.Name = QStringLiteral("Fahrer %1 Müller").arg(d + 1);
    r.Laps = 2;
    r.LapMs = {55000 + (i * 7919) % 6000, 54000 + (i * 104729) % 7000, -1, -1, -1};
    RecomputeTotals(r);
    if (i % 97 == 0) r.Status = RunStatusDnf, r.TotalMs = -1;
    return r;
}

std::vector<TEffectiveRun> SampleRuns() {
    std::vector<TEffectiveRun> runs;
    for (int i = 0; i < Drivers * RunsEach; ++i) {
        TEffectiveRun e;
        e.Run = SampleRun(QStringLiteral("e"), i);
        if (i % 20 == 0) e.Penalties.push_back({QStringLiteral("Pylone"), {}, 2000, 1 + i % 3});
        if (i % 211 == 0) e.Run.Status = RunStatusDsq;
        if (i % 157 == 0) e.Run.Status = RunStatusRerun;
        runs.push_back(e);
    }
    return runs;
}

QHash<QString, QString> SampleClasses() {
    QHash<QString, QString> classes;
    for (int d = 0; d < Drivers; ++d)
        classes.insert(DriverKey(QString::number(d + 1), QStringLiteral("Fahrer %1 Müller").arg(d + 1)),
                       QStringLiteral("Klasse %1").arg(d % Classes + 1));
    return classes;
}

// The thread's CPU time: the machine may be busy with other work.
double CpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

struct TFigures {
    double P50, P99, Max;
};

TFigures Figures(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return {v[v.size() / 2], v[std::min(v.size() - 1, size_t(0.99 * double(v.size())))], v.back()};
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const std::vector<TEffectiveRun> base = SampleRuns();
    const QHash<QString, QString> classes = SampleClasses();
    std::printf("%d drivers x %d runs, %d classes\n", Drivers, RunsEach, Classes);
    std::printf("compute after one new run (ms)  wall p50 p99 max   CPU p50 max\n");
    for (const TScoring s : {TScoring{srLastRun, 2}, TScoring{srBestRun, 2}, TScoring{srSumAll, 2},
                             TScoring{srSumBestN, 3}}) {
        std::vector<double> ms, cpu;
        std::vector<TEffectiveRun> runs = base;
        for (int k = 0; k < 60; ++k) {
            TEffectiveRun e;
            e.Run = SampleRun(QStringLiteral("e"), Drivers * RunsEach + k);
            runs.push_back(e);
            QElapsedTimer t;
            t.start();
            const double c0 = CpuMs();
            const QList<TStandingRow> rows = ComputeStandings(runs, s, classes);
            cpu.push_back(CpuMs() - c0);
            ms.push_back(double(t.nsecsElapsed()) / 1e6);
            if (rows.size() != Drivers) return 1;
        }
        const TFigures f = Figures(ms), c = Figures(cpu);
        std::printf("  %-26s %6.2f %6.2f %6.2f  %6.2f %6.2f\n", qPrintable(ScoringDescription(s)),
                    f.P50, f.P99, f.Max, c.P50, c.Max);
    }

    // The window's path: a run handed over, committed, the event read back and computed.
    QTemporaryDir dir(QCoreApplication::applicationDirPath() + QStringLiteral("/bench_standings-XXXXXX"));
    const QString path = dir.filePath(QStringLiteral("Zeitnahme.db"));
    TEventStore store;
    store.Start(path, QStringLiteral("Start"));
    TEventInfo event;
    event.Title = QStringLiteral("Benchmark");
    event.Date = QDate::currentDate();
    const QString eventUuid = store.Add(event);
    for (int d = 0; d < Drivers; ++d) {
        TEntrant n;
        n.EventUuid = eventUuid;
        n.StartNo = QString::number(d + 1);
        n.Name = QStringLiteral("Fahrer %1 Müller").arg(d + 1);
        n.Class = QStringLiteral("Klasse %1").arg(d % Classes + 1);
        store.Add(n);
    }
    for (int i = 0; i < Drivers * RunsEach; ++i) {
        const QString run = store.Add(SampleRun(eventUuid, i));
        if (i % 20 == 0) {
            TCorrection c;
            c.EventUuid = eventUuid;
            c.RunUuid = run;
            c.Kind = CorrectionKind::Penalty;
            c.Text = QStringLiteral("Pylone");
            c.Ms = 2000;
            c.Count = 1;
            store.Add(c);
        }
    }
    if (!store.Flush(60000)) return 1;
    std::vector<double> total, read, compute, readCpu;
    for (int k = 0; k < 30; ++k) {
        QElapsedTimer t;
        t.start();
        store.Add(SampleRun(eventUuid, Drivers * RunsEach + k));
        store.Flush(5000);
        const double committed = double(t.nsecsElapsed()) / 1e6;
        const double c0 = CpuMs();
        TEventDb db;
        if (!db.OpenForReading(path)) return 1;
        const std::vector<TEffectiveRun> runs = db.EffectiveRuns(eventUuid);
        const QHash<QString, QString> cls = EntrantClasses(db.Entrants(eventUuid));
        const double readDone = double(t.nsecsElapsed()) / 1e6;
        readCpu.push_back(CpuMs() - c0);
        const QList<TStandingRow> rows = ComputeStandings(runs, {srBestRun, 2}, cls);
        const double all = double(t.nsecsElapsed()) / 1e6;
        if (rows.size() != Drivers) return 1;
        total.push_back(all);
        read.push_back(readDone - committed);
        compute.push_back(all - readDone);
    }
    std::printf("after a run, through the database (ms) p50     p99     max\n");
    for (const auto& [name, v] : {std::pair{"read back the event", read},
                                  std::pair{"read back, CPU of this thread", readCpu},
                                  std::pair{"compute", compute},
                                  std::pair{"handed over to computed", total}}) {
        const TFigures f = Figures(v);
        std::printf("  %-30s %7.2f %7.2f %7.2f\n", name, f.P50, f.P99, f.Max);
    }
    store.Stop();
    return 0;
}
