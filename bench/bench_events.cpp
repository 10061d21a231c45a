// Event database figures: committing one run (p50/p99, synchronous=FULL) beside
// what the disk alone needs for a sync, reading 100,000 runs of one event with
// their corrections, opening and filtering them as the "Läufe" window does, and
// the database size per 10,000 runs. Times are wall clock with the CPU time of
// the process beside them and the load average, as other programs on the
// machine stretch the wall clock. An argument sets the number of runs.
#include "DurableFile.h"
#include "EventDb.h"
#include "EventStore.h"
#include "FRuns.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <cstdio>
#include <ctime>

namespace {

TRunRecord SampleRun(const QString& eventUuid, int i) {
    TRunRecord r;
    r.EventUuid = eventUuid;
    r.Station = QStringLiteral("Start");
    r.StartMs = 1796636673325 + qint64(i) * 180000;
    r.RunNo = QString::number(i / 60 + 1);
    r.Car = 1 + i % 2;
    r.StartNo = QString::number(i % 60 + 1);
    r.Name = QStringLiteral("Fahrer %1 Müller").arg(i % 60 + 1);
    r.Laps = 3;
    r.LapMs = {60000 + i % 997, 59000 + i % 1009, 61000 + i % 991, -1, -1};
    RecomputeTotals(r);
    qint64 t = 1000;
    r.Events.push_back({QStringLiteral("START"), QStringLiteral("LS"), t, r.StartMs});
    for (int k = 0; k < 3; ++k) {
        t += r.LapMs[k];
        r.Events.push_back({k < 2 ? QStringLiteral("LAP") : QStringLiteral("FINISH"),
                            QStringLiteral("LS"), t, r.StartMs + t - 1000});
    }
    return r;
}

double Percentile(std::vector<double> v, double p) {
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, size_t(p * double(v.size())))];
}

QByteArray LoadAverage() {
    QFile f(QStringLiteral("/proc/loadavg"));
    return f.open(QIODevice::ReadOnly) ? f.readAll().split(' ').mid(0, 3).join(' ') : "?";
}

// Wall clock and CPU time of the process since Start().
class TStopwatch {
public:
    void Start() {
        FWall.start();
        FCpu = Cpu();
    }
    double WallMs() const { return double(FWall.nsecsElapsed()) / 1e6; }
    double CpuMs() const { return Cpu() - FCpu; }
    QString Text() const { return QStringLiteral("%1 ms (CPU %2 ms)").arg(WallMs(), 0, 'f', 1).arg(CpuMs(), 0, 'f', 1); }

private:
    static double Cpu() {
        timespec ts{};
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
        return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
    }
    QElapsedTimer FWall;
    double FCpu = 0;
};

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir(QCoreApplication::applicationDirPath() + QStringLiteral("/bench_events-XXXXXX"));
    const QString path = dir.filePath(QStringLiteral("Zeitnahme.db"));
    const int total = argc > 1 ? std::max(1000, QByteArray(argv[1]).toInt()) : 100000;
    std::printf("database in %s, load average %s\n", qPrintable(dir.path()), LoadAverage().constData());

    // What the disk alone needs: a page appended and synced, as a commit does.
    {
        TDurableFile f;
        f.Create(dir.filePath(QStringLiteral("sync.probe")));
        std::vector<double> sync;
        const QByteArray page(4096, 'x');
        for (int i = 0; i < 500; ++i) {
            QElapsedTimer t;
            t.start();
            f.AppendDurably(page);
            sync.push_back(double(t.nsecsElapsed()) / 1e6);
        }
        f.Close();
        QFile::remove(dir.filePath(QStringLiteral("sync.probe")));
        std::printf("the disk alone, 4 KiB appended and synced (500 times): p50 %.2f ms, p99 %.2f ms, max %.2f ms\n",
                    Percentile(sync, 0.5), Percentile(sync, 0.99), Percentile(sync, 1.0));
    }

    TEventDb db;
    if (db.OpenForWriting(path).Problem != TEventDb::TProblem::None) return 1;
    TEventInfo event;
    event.Title = QStringLiteral("Benchmark");
    event.Date = QDate::currentDate();
    event.Station = QStringLiteral("Start");
    std::vector<TEventDb::TRecord> head{event};
    db.Write(head);
    const QString eventUuid = std::get<TEventInfo>(head[0]).Uuid;

    // One run per transaction, as after each FINISH.
    std::vector<double> commit;
    for (int i = 0; i < 500; ++i) {
        std::vector<TEventDb::TRecord> one{SampleRun(eventUuid, i)};
        QElapsedTimer t;
        t.start();
        db.Write(one);
        commit.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    std::printf("commit of one run (500 runs, synchronous=FULL): p50 %.2f ms, p99 %.2f ms, max %.2f ms\n",
                Percentile(commit, 0.5), Percentile(commit, 0.99), Percentile(commit, 1.0));
    {
        // What the writer does when it has nothing to write, outside every commit.
        QElapsedTimer t;
        t.start();
        db.Checkpoint();
        std::printf("folding the journal of those 500 commits into the file: %.1f ms\n",
                    double(t.nsecsElapsed()) / 1e6);
    }

    // Through the writer thread: hand-over in the handler and until it is on the disk.
    {
        db.Close();
        TEventStore store;
        store.Start(path, QStringLiteral("Start"));
        std::vector<double> handOver, durable;
        for (int i = 0; i < 200; ++i) {
            QElapsedTimer t;
            t.start();
            store.Add(SampleRun(eventUuid, 500 + i));
            handOver.push_back(double(t.nsecsElapsed()) / 1e6);
            store.Flush();
            durable.push_back(double(t.nsecsElapsed()) / 1e6);
        }
        std::printf("writer thread (200 runs): hand-over p50 %.3f ms p99 %.3f ms; on the disk p50 %.2f ms p99 %.2f ms\n",
                    Percentile(handOver, 0.5), Percentile(handOver, 0.99), Percentile(durable, 0.5),
                    Percentile(durable, 0.99));
        store.Stop();
        // Runs with pauses between them, as at a real event: the writer folds the
        // journal in between, and each commit writes over the journal's start.
        TEventStore paced;
        paced.CheckpointIdleMs = 20;
        paced.Start(path, QStringLiteral("Start"));
        paced.Flush();
        std::vector<double> commits;
        for (int i = 0; i < 200; ++i) {
            QThread::msleep(40);
            QElapsedTimer t;
            t.start();
            paced.Add(SampleRun(eventUuid, 700 + i));
            paced.Flush();
            commits.push_back(double(t.nsecsElapsed()) / 1e6);
        }
        std::printf("writer thread, a run every 40 ms with the journal folded between: on the disk p50 %.2f ms, p99 %.2f ms, max %.2f ms\n",
                    Percentile(commits, 0.5), Percentile(commits, 0.99), Percentile(commits, 1.0));
        paced.Stop();
        db.OpenForWriting(path);
    }

    // Up to 100,000 runs in batches; size per 10,000.
    const qint64 sizeBefore = QFileInfo(path).size() + QFileInfo(path + QStringLiteral("-wal")).size();
    const qint64 runsBefore = db.RunCount();
    for (int i = int(runsBefore); i < total; i += 1000) {
        std::vector<TEventDb::TRecord> batch;
        for (int k = i; k < std::min(total, i + 1000); ++k) {
            batch.push_back(SampleRun(eventUuid, k));
            if (k % 50 == 0) {
                TCorrection c;
                c.EventUuid = eventUuid;
                c.Station = QStringLiteral("Start");
                c.Kind = CorrectionKind::Lap;
                c.Field = 1;
                c.Ms = 58000;
                batch.push_back(c);
            }
        }
        db.Write(batch);
    }
    db.Close();
    {
        TEventDb checkpoint; // fold the WAL into the file for an honest size
        checkpoint.OpenForWriting(path);
    }
    const qint64 size = QFileInfo(path).size() + QFileInfo(path + QStringLiteral("-wal")).size();
    std::printf("database size: %.2f MB per 10,000 runs (3 laps, 4 events each, 2%% corrected)\n",
                double(size - sizeBefore) / double(total - runsBefore) * 10000 / 1e6);

    TStopwatch t;
    t.Start();
    TEventDb reader;
    reader.OpenForReading(path);
    const std::vector<TEffectiveRun> runs = reader.EffectiveRuns(eventUuid);
    std::printf("reading %zu runs of one event with their corrections: %s\n", runs.size(),
                qPrintable(t.Text()));
    reader.Close();

    // The window, as Ctrl+Shift+L opens it, until it is painted.
    for (int round = 0; round < 2; ++round) {
        TFormRuns form;
        t.Start();
        form.Load(path, eventUuid);
        form.show();
        form.repaint();
        QCoreApplication::processEvents();
        std::printf("opening \"Läufe\" until painted, newest %d of the runs listed (round %d): %s\n",
                    form.Model->RunCount(), round + 1, qPrintable(t.Text()));
        // The older runs are read on between the window's events.
        QElapsedTimer slice;
        double longest = 0;
        int rounds = 0;
        while (form.Loading()) {
            slice.start();
            QCoreApplication::processEvents();
            longest = std::max(longest, double(slice.nsecsElapsed()) / 1e6);
            ++rounds;
        }
        std::printf("  all %d runs listed after %s, in %d rounds of the event loop, the longest %.1f ms\n",
                    form.Model->RunCount(), qPrintable(t.Text()), rounds, longest);
        if (round == 0) continue;
        // Typing a name, one key at a time, each until the list is painted again.
        std::vector<double> keys, cpu;
        const QString typed = QStringLiteral("fahrer 17");
        for (int i = 1; i <= typed.size(); ++i) {
            t.Start();
            form.eFilter->setText(typed.left(i));
            form.tvRuns->repaint();
            keys.push_back(t.WallMs());
            cpu.push_back(t.CpuMs());
        }
        std::printf("filter as you type (%lld keys, down to %d rows): p50 %.1f ms, max %.1f ms "
                    "(CPU p50 %.1f ms, max %.1f ms)\n",
                    static_cast<long long>(keys.size()), form.Model->rowCount(),
                    Percentile(keys, 0.5), Percentile(keys, 1.0), Percentile(cpu, 0.5),
                    Percentile(cpu, 1.0));
    }
    std::printf("load average at the end %s\n", LoadAverage().constData());
    return 0;
}
