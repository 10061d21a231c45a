// Cost of one journal line: handing it over on the user-interface thread, and
// the time until it is on the disk (write + fdatasync on the writer thread).
#include "DurableFile.h"
#include "Journal.h"
#include "TickSource.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

void Print(const char* what, std::vector<double> us) {
    std::sort(us.begin(), us.end());
    const auto at = [&us](double q) { return us[static_cast<size_t>(q * (us.size() - 1))]; };
    std::printf("%-52s p50 %8.1f us  p99 %8.1f us  max %8.1f us  (%zu)\n", what, at(0.5), at(0.99),
                us.back(), us.size());
}

QByteArray Line(int i) {
    return Journal::EventLine(QDateTime::currentDateTime(), QStringLiteral("LAP"),
                              {{QStringLiteral("Auto"), QStringLiteral("1")},
                               {QStringLiteral("Tick"), QString::number(TickSource::Now())},
                               {QStringLiteral("Quelle"), QStringLiteral("LS")},
                               {QStringLiteral("Ereignis"), QString::number(i)},
                               {QStringLiteral("Lauf"), QStringLiteral("12")},
                               {QStringLiteral("Name1"), QStringLiteral("12 Hans Meier")},
                               {QStringLiteral("Name2"), QStringLiteral("7 Anna Becker")},
                               {QStringLiteral("Titel"), QStringLiteral("Porsche Cup")}});
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    // On the real disk: a journal in a memory file system would sync for free.
    QTemporaryDir dir(QDir::current().absoluteFilePath(QStringLiteral("bench_journal-XXXXXX")));
    const QString path = dir.filePath(QStringLiteral("bench.journal"));
    std::printf("journal in %s\n", qPrintable(dir.path()));
    const int n = 500;
    QElapsedTimer t;

    std::vector<double> format, handOver, durable, handOverBusy, direct;
    {
        TJournalWriter w;
        w.Start(path, dir.filePath(QStringLiteral("prev.journal")),
                Journal::HeaderLine(QStringLiteral("bench"), CurrentBootId(),
                                    QDateTime::currentDateTime()));
        w.Flush();
        for (int i = 0; i < n; ++i) {
            t.start();
            QByteArray line = Line(i);
            format.push_back(t.nsecsElapsed() / 1e3);
            t.start();
            w.Append(std::move(line));
            handOver.push_back(t.nsecsElapsed() / 1e3);
            w.Flush();
            durable.push_back(t.nsecsElapsed() / 1e3);
        }
        // Events while the writer is in the middle of a sync.
        for (int i = 0; i < n; ++i) {
            w.Append(Line(i));
            QByteArray line = Line(i);
            t.start();
            w.Append(std::move(line));
            handOverBusy.push_back(t.nsecsElapsed() / 1e3);
            if (i % 10 == 9) w.Flush();
        }
        w.Flush();
        if (w.Failures() > 0) std::printf("WRITE FAILURES: %d\n", w.Failures());
    }
    {
        TDurableFile f;
        f.Create(dir.filePath(QStringLiteral("direct.journal")));
        for (int i = 0; i < n; ++i) {
            const QByteArray line = Line(i);
            t.start();
            f.AppendDurably(line);
            direct.push_back(t.nsecsElapsed() / 1e3);
        }
    }
    Print("format one line (handler)", format);
    Print("hand the line over (handler, after the tick read)", handOver);
    Print("hand over while the writer syncs (handler)", handOverBusy);
    Print("hand over until on the disk (writer thread)", durable);
    Print("write + fdatasync in the handler, for comparison", direct);
    return 0;
}
