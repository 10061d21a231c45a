// Standings figures for 500 drivers x 10 runs in 8 classes, some runs with
// penalties, a disqualification or a rerun: computing them again after one new
// run under each scoring rule, and the window's whole path after a run: handed to
// the store, committed, the new records read, computed and shown in "Wertung" (the
// whole event read back instead, as before, for comparison).
#include "EventDb.h"
#include "EventRunsCache.h"
#include "EventStore.h"
#include "FStandings.h"
#include "Standings.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
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
    QApplication app(argc, argv);
    const std::vector<TEffectiveRun> base = SampleRuns();
    const QHash<QString, QString> sampleClasses = SampleClasses();
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
            const QList<TStandingRow> rows = ComputeStandings(runs, s, sampleClasses);
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
    int next = Drivers * RunsEach;
    // Before: the whole event read back after every run.
    std::vector<double> read, readCpu;
    for (int k = 0; k < 20; ++k) {
        store.Add(SampleRun(eventUuid, next++));
        store.Flush(5000);
        QElapsedTimer t;
        t.start();
        const double c0 = CpuMs();
        TEventDb db;
        if (!db.OpenForReading(path)) return 1;
        const std::vector<TEffectiveRun> runs = db.EffectiveRuns(eventUuid);
        const QHash<QString, QString> cls = EntrantClasses(db.Entrants(eventUuid));
        readCpu.push_back(CpuMs() - c0);
        read.push_back(double(t.nsecsElapsed()) / 1e6);
    }

    // Now: the window's path. The commit is announced to the window's thread, a
    // burst is gathered for 5 ms, the new records are read, the standings computed
    // and the window painted.
    TFormStandings window;
    window.resize(1000, 700);
    window.show();
    TEventRunsCache cache;
    QTimer gather;
    gather.setSingleShot(true);
    gather.setInterval(5);
    QEventLoop loop;
    QElapsedTimer t;
    double c0 = 0, committedAt = 0;
    QHash<QString, QString> classes;
    int classesOf = -1;
    std::vector<double> shown, shownCpu, committed, refresh, compute, paint;
    const auto update = [&](bool measure) {
        const double r0 = double(t.nsecsElapsed()) / 1e6;
        cache.Refresh(path, eventUuid, store.Station());
        const double r1 = double(t.nsecsElapsed()) / 1e6;
        if (classesOf != cache.EntrantsVersion()) {
            classes = EntrantClasses(cache.Entrants());
            classesOf = cache.EntrantsVersion();
        }
        const QList<TStandingRow> rows = ComputeStandings(cache.Runs(), {srBestRun, 2}, classes);
        const double r2 = double(t.nsecsElapsed()) / 1e6;
        window.Show(rows, cache.Runs(), ScoringDescription({srBestRun, 2}), QStringLiteral("Benchmark"));
        window.repaint();
        const double r3 = double(t.nsecsElapsed()) / 1e6;
        if (!measure) return;
        shown.push_back(r3);
        shownCpu.push_back(CpuMs() - c0);
        committed.push_back(committedAt);
        refresh.push_back(r1 - r0);
        compute.push_back(r2 - r1);
        paint.push_back(r3 - r2);
        loop.quit();
    };
    update(false); // the first look reads the whole event
    QObject::connect(&gather, &QTimer::timeout, [&] { update(true); });
    store.OnCommitted = [&](TEventStore*) {
        QMetaObject::invokeMethod(&window, [&] {
            committedAt = double(t.nsecsElapsed()) / 1e6;
            if (!gather.isActive()) gather.start();
        }, Qt::QueuedConnection);
    };
    for (int k = 0; k < 60; ++k) {
        t.start();
        c0 = CpuMs();
        store.Add(SampleRun(eventUuid, next++));
        loop.exec();
    }
    store.OnCommitted = nullptr;
    if (window.Rows().size() != Drivers) return 1;

    std::printf("after a run (ms)                       p50     p99     max\n");
    for (const auto& [name, v] : {std::pair{"before: whole event read back", read},
                                  std::pair{"  the same, CPU of this thread", readCpu},
                                  std::pair{"committed, window told", committed},
                                  std::pair{"new records read", refresh},
                                  std::pair{"computed", compute},
                                  std::pair{"window filled and painted", paint},
                                  std::pair{"run -> standings shown, wall", shown},
                                  std::pair{"run -> standings shown, CPU", shownCpu}}) {
        const TFigures f = Figures(v);
        std::printf("  %-36s %7.2f %7.2f %7.2f\n", name, f.P50, f.P99, f.Max);
    }
    double load[3] = {0, 0, 0};
    if (getloadavg(load, 3) == 3) std::printf("load average %.2f %.2f %.2f\n", load[0], load[1], load[2]);
    store.Stop();
    return 0;
}
