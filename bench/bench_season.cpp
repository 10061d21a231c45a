// Season figures for 12 events x 200 drivers in 4 classes, two runs each, in one
// event file: reading and scoring every event, the season's points, and showing it
// in "Saisonwertung" until painted. bench_season [prefix] also saves pictures of
// the window and its settings dialog as <prefix>-saison.png and <prefix>-einstellen.png.
#include "EventDb.h"
#include "FSeason.h"
#include "Season.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>

namespace {

constexpr int Events = 12, Drivers = 200, Classes = 4;

bool WriteSeason(const QString& path, QList<TSeasonEventRef>& refs) {
    TEventDb db;
    if (!db.OpenForWriting(path).Ok()) return false;
    std::vector<TEventDb::TRecord> records;
    for (int e = 0; e < Events; ++e) {
        TEventInfo info;
        info.Uuid = NewRecordUuid();
        info.Title = QStringLiteral("Slalom %1").arg(e + 1);
        info.Date = QDate(2026, 3, 7).addDays(14 * e);
        records.push_back(info);
        refs << TSeasonEventRef{QString(), info.Uuid};
        for (int d = 0; d < Drivers; ++d) {
            if ((d + e) % 9 == 0) continue; // not every driver at every event
            TEntrant n;
            n.EventUuid = info.Uuid;
            n.StartNo = QString::number(d + 1);
            n.Name = QStringLiteral("Fahrer %1 Müller").arg(d + 1);
            n.Class = QStringLiteral("Klasse %1").arg(d % Classes + 1);
            records.push_back(n);
            for (int r = 0; r < 2; ++r) {
                TRunRecord run;
                run.EventUuid = info.Uuid;
                run.StartNo = n.StartNo;
                run.Name = n.Name;
                run.StartMs = QDateTime(info.Date, QTime(9, 0)).toMSecsSinceEpoch() + (r * Drivers + d) * 60000LL;
                const int i = e * 7919 + d * 104729 + r * 31;
                run.LapMs = {55000 + i % 6000, 54000 + (i / 7) % 7000, -1, -1, -1};
                RecomputeTotals(run);
                if (i % 53 == 0) run.Status = RunStatusDnf, run.TotalMs = -1;
                records.push_back(run);
            }
        }
    }
    return db.Write(records);
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("saison.db"));
    QList<TSeasonEventRef> refs;
    if (!WriteSeason(path, refs)) {
        std::fprintf(stderr, "could not write %s\n", qPrintable(path));
        return 1;
    }
    TSeasonPage page;
    page.Name = QStringLiteral("Clubmeisterschaft 2026");
    page.Rules.BestN = 10;
    page.Date = QStringLiteral("8. Dezember 2026");
    TFormSeason window;
    window.show();
    app.processEvents();
    std::vector<double> read, score, shown, total;
    for (int k = 0; k < 7; ++k) {
        QElapsedTimer t;
        t.start();
        page.Events = ReadSeasonEvents(path, refs, TScoring{srSumAll});
        const double r = t.nsecsElapsed() / 1e6;
        page.Rows = ComputeSeason(page.Events, page.Rules);
        const double s = t.nsecsElapsed() / 1e6;
        window.Show(page, {});
        window.repaint(); // painted, not only laid out
        app.processEvents();
        const double w = t.nsecsElapsed() / 1e6;
        read.push_back(r);
        score.push_back(s - r);
        shown.push_back(w - s);
        total.push_back(w);
    }
    std::printf("season of %d events x %d drivers (%lld rows), median of %zu:\n", Events, Drivers,
                static_cast<long long>(page.Rows.size()), total.size());
    std::printf("  read and score the events  %7.1f ms\n", Median(read));
    std::printf("  season points and ranks    %7.1f ms\n", Median(score));
    std::printf("  shown in Saisonwertung     %7.1f ms\n", Median(shown));
    std::printf("  computed and shown         %7.1f ms (limit 200 ms)\n", Median(total));
    if (argc > 1) {
        const QString prefix = QFileInfo(QString::fromLocal8Bit(argv[1])).absoluteFilePath();
        window.resize(1180, 640);
        app.processEvents();
        window.grab().save(prefix + QStringLiteral("-saison.png"));
        TSeasonSettings settings;
        settings.Rules = page.Rules;
        settings.Events = refs.mid(0, 10);
        TDlgSeason dialog(&window, settings, [&](const QStringList& files, QStringList* problems) {
            return SeasonCandidates(path, files, problems);
        });
        dialog.show();
        app.processEvents();
        dialog.grab().save(prefix + QStringLiteral("-einstellen.png"));
    }
    return Median(total) <= 200 ? 0 : 1;
}
