// Stations sharing a server: how long a finished run takes from the station's
// hand-over (FINISH) to the server and to the other station's file (p50/p99),
// and how long 1,000 runs timed while the server was gone take to catch up
// once it is back. Runs against a throw-away PostgreSQL cluster of its own.
#include "EventStore.h"
#include "PgCluster.h"
#include "StationLink.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <atomic>
#include <cstdio>

namespace {

struct TStation {
    QString Path;
    TEventStore Store;
    TStationLink Link;
    std::atomic<qint64> Forwarded{0}, Pulled{0};
    std::atomic<qint64> ForwardedAt{0}, PulledAt{0}; // ns on the common clock
    const QElapsedTimer* Clock;

    TStation(const QString& dir, const QString& name, const QString& conn, const QElapsedTimer* clock)
        : Clock(clock) {
        Path = dir + QLatin1Char('/') + name + QStringLiteral(".db");
        Store.OnCommitted = [this](TEventStore*) { Link.Notify(); };
        Store.Start(Path, name);
        Store.Flush();
        Link.OnForwarded = [this](TStationLink*, int n) {
            ForwardedAt = Clock->nsecsElapsed();
            Forwarded += n;
        };
        Link.OnPulled = [this](TStationLink*, int n, bool) {
            PulledAt = Clock->nsecsElapsed();
            Pulled += n;
        };
        Link.Start(Path, conn, name);
    }
    ~TStation() {
        Link.Stop();
        Store.Stop();
    }
    void AddRun(const QString& event, int i) {
        TRunRecord r;
        r.EventUuid = event;
        r.RunNo = QString::number(i / 60 + 1);
        r.StartNo = QString::number(i % 60 + 1);
        r.Name = QStringLiteral("Fahrer %1").arg(i % 60 + 1);
        r.LapMs = {60000 + i % 997, 59000 + i % 1009, -1, -1, -1};
        RecomputeTotals(r);
        r.Events = {{QStringLiteral("START"), QStringLiteral("LS"), 1000, 1796636673325},
                    {QStringLiteral("LAP"), QStringLiteral("LS"), 61000, 1796636733325},
                    {QStringLiteral("FINISH"), QStringLiteral("LS"), 120000, 1796636792325}};
        Store.Add(r);
    }
};

bool WaitFor(const std::function<bool()>& done, int ms) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms)
        QThread::usleep(200);
    return done();
}

double Percentile(std::vector<double> v, double p) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[std::min(v.size() - 1, size_t(p * double(v.size())))];
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QPSQL")) || TPgCluster::BinDir().isEmpty()) {
        std::printf("bench_stations: skipped, PostgreSQL server or Qt's driver not installed\n");
        return 0;
    }
    TPgCluster cluster;
    if (!cluster.Init() || !cluster.Start() || !cluster.CreateDatabase(QStringLiteral("bench"))) {
        std::printf("bench_stations: cluster failed: %s\n", qPrintable(cluster.Error()));
        return 1;
    }
    const QString conn = cluster.ConnInfo(QStringLiteral("bench"));
    QTemporaryDir dir;
    QElapsedTimer clock;
    clock.start();
    TStation a(dir.path(), QStringLiteral("Start"), conn, &clock);
    TStation b(dir.path(), QStringLiteral("Ziel"), conn, &clock);
    if (!WaitFor([&] { return a.Link.IsUp() && b.Link.IsUp(); }, 10000)) {
        std::printf("bench_stations: stations did not connect\n");
        return 1;
    }
    TEventInfo e;
    e.Title = QStringLiteral("Bergpreis");
    e.Date = QDate::currentDate();
    const QString event = a.Store.Add(e);
    WaitFor([&] { return b.Pulled >= 1; }, 5000);

    // One run at a time, as a timing official finishes them.
    const int runs = 200;
    std::vector<double> toServer, toOther;
    for (int i = 0; i < runs; ++i) {
        // FINISH comes at any moment of the other station's looking cycle.
        QThread::msleep(QRandomGenerator::global()->bounded(b.Link.PollMs));
        const qint64 fwd = a.Forwarded, pulled = b.Pulled;
        const qint64 t0 = clock.nsecsElapsed();
        a.AddRun(event, i);
        if (!WaitFor([&] { return a.Forwarded > fwd && b.Pulled > pulled; }, 10000)) {
            std::printf("bench_stations: run %d did not arrive\n", i);
            return 1;
        }
        toServer.push_back(double(a.ForwardedAt - t0) / 1e6);
        toOther.push_back(double(b.PulledAt - t0) / 1e6);
    }
    std::printf("FINISH -> server:        p50 %7.1f ms  p99 %7.1f ms  (%d runs, one at a time)\n",
                Percentile(toServer, 0.5), Percentile(toServer, 0.99), runs);
    std::printf("FINISH -> other station: p50 %7.1f ms  p99 %7.1f ms  (looks every %d ms)\n",
                Percentile(toOther, 0.5), Percentile(toOther, 0.99), b.Link.PollMs);

    // An outage: 1,000 runs wait at the start, then the server comes back.
    cluster.Stop();
    WaitFor([&] { return !a.Link.IsUp(); }, 10000);
    const qint64 fwd = a.Forwarded, pulled = b.Pulled;
    const int queued = 1000;
    for (int i = 0; i < queued; ++i)
        a.AddRun(event, runs + i);
    a.Store.Flush(30000);
    const qint64 t0 = clock.nsecsElapsed();
    cluster.Start();
    const qint64 started = clock.nsecsElapsed();
    const bool ok = WaitFor([&] { return a.Forwarded >= fwd + queued && b.Pulled >= pulled + queued; }, 120000);
    if (!ok) {
        std::printf("bench_stations: catch-up incomplete: %lld forwarded, %lld pulled\n",
                    a.Forwarded - fwd, b.Pulled - pulled);
        return 1;
    }
    std::printf("catch-up of %d queued runs: server started in %.0f ms, then on the server "
                "after %.0f ms, at the other station after %.0f ms (reconnect within %d ms)\n",
                queued, double(started - t0) / 1e6, double(a.ForwardedAt - started) / 1e6,
                double(b.PulledAt - started) / 1e6, a.Link.RetryMs);
    return 0;
}
