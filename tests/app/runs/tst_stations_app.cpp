// Several stations at the main window: the server settings (never a password),
// the status bar while the server is gone, and runs and corrections of another
// station in the "Läufe" window, against a throw-away PostgreSQL cluster.
#include "EventsFeature.h"
#include "Protocol.h"
#include "ProgramInfo.h"
#include "FMain.h"
#include "OneCarTest.h"
#include "FRuns.h"
#include "FServer.h"
#include "PgCluster.h"
#include "RunSnapshot.h"
#include "Settings.h"
#include "TrackCorrections.h"

#include <QElapsedTimer>
#include <QSqlDatabase>
#include <QTemporaryDir>
#include <QTest>

// What the next window starts from, as a program start would find it.
static TRunSettings Run;

namespace {

QString Stored(const QString& name) {
    TSettingsStore s(ProgramTitle());
    return s.Value(name).toString();
}

void Store(const QString& name, const QString& value) {
    TSettingsStore s(ProgramTitle());
    s.SetValue(name, value);
    s.Sync();
}

const QString Unreachable = QStringLiteral("host=/nonexistent-zeitnahme port=5 dbname=zeit");

} // namespace

class TstStationsApp : public TOneCarTest {
    Q_OBJECT

private slots:
    void init() {
        InitOneCar(Run);
        TSettingsStore::UseFolder(FDir->path());
        TFormServer::ShowMessage = [this](QWidget*, const QString& text) { FMessages << text; };
    }
    void cleanup() {
        TickSource::UseSystem();
        TSettingsStore::UseNone();
    }

    // What the settings file holds at start: a password in it is removed from
    // the file at once and told; a server that is not there is shown as such.
    void serverAtStart_data() {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("kept");
        QTest::addColumn<QString>("status"); // empty: no status shown
        QTest::addColumn<QString>("told");
        QTest::newRow("no server") << "" << "" << "" << "";
        QTest::newRow("server gone") << Unreachable << Unreachable << "Server nicht erreichbar" << "";
        QTest::newRow("password in the file")
            << Unreachable + " password=geheim" << "dbname=zeit host=/nonexistent-zeitnahme port=5"
            << "Server nicht erreichbar" << "~/.pgpass";
        QTest::newRow("unusable text with a password")
            << "host=h password='geheim" << "host=h" << "" << "nicht verwendbar";
    }
    void serverAtStart() {
        QFETCH(QString, stored);
        QFETCH(QString, kept);
        QFETCH(QString, status);
        QFETCH(QString, told);
        Store(ServerValueName, stored);
        TFormMain w(Run);
        QLabel* label = w.Events->ServerStatus();
        QCOMPARE(label->objectName(), QStringLiteral("StatusServer"));
        QCOMPARE(label->isVisibleTo(&w), !status.isEmpty());
        if (!status.isEmpty()) QTRY_COMPARE_WITH_TIMEOUT(label->text(), status, 5000);
        QCOMPARE(Stored(ServerValueName), kept);
        if (told.isEmpty()) {
            QTest::qWait(50);
            QVERIFY2(FMessages.isEmpty(), qPrintable(FMessages.join('\n')));
        } else {
            QTRY_COMPARE(FMessages.size(), 1);
            QVERIFY(FMessages[0].contains(told));
            QVERIFY(!FMessages[0].contains(QLatin1String("geheim")));
        }
        // Timing goes on whatever the server does.
        TimeLaps(w, QStringLiteral("Hans"), 10000, 60000, 61000);
        QCOMPARE(w.SortGrid1->Cells(pcTotal, 1), QStringLiteral("2.01,00"));
    }

    // The dialog takes a connection without its password and a station name;
    // what it cannot use it refuses and keeps open.
    void serverDialog_data() {
        QTest::addColumn<QString>("server");
        QTest::addColumn<QString>("station");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QString>("keptServer");
        QTest::addColumn<QString>("told");
        QTest::newRow("service and name") << "verein" << "Ziel" << true << "verein" << "";
        QTest::newRow("password removed")
            << "host=h dbname=d password=geheim" << "Ziel" << true << "dbname=d host=h" << "~/.pgpass";
        QTest::newRow("open quote refused") << "host=h dbname='d" << "Ziel" << false << "" << "nicht verwendbar";
        QTest::newRow("station without name") << "verein" << "  " << false << "" << "braucht einen Namen";
        QTest::newRow("no server") << "" << "Ziel" << true << "" << "";
    }
    void serverDialog() {
        QFETCH(QString, server);
        QFETCH(QString, station);
        QFETCH(bool, accepted);
        QFETCH(QString, keptServer);
        QFETCH(QString, told);
        TFormMain w(Run);
        const QString before = w.Events->Store().Station();
        TFormServer d(&w);
        d.SetValues(server, station, true, QString());
        QCOMPARE(d.Check(), accepted);
        QCOMPARE(FMessages.isEmpty(), told.isEmpty());
        if (!told.isEmpty()) QVERIFY(FMessages.last().contains(told));
        QVERIFY(!d.eServer->text().contains(QLatin1String("geheim")));
        if (!accepted) return;
        w.Events->ApplyServerSettings(d.Connection().Cleaned, d.Station());
        QCOMPARE(Stored(ServerValueName), keptServer);
        QCOMPARE(Stored(StationValueName), station);
        QCOMPARE(w.Events->Store().Station(), station);
        QVERIFY(before != station);
        QCOMPARE(w.Events->ServerStatus()->isVisibleTo(&w), !keptServer.isEmpty());
        QCOMPARE(w.Events->Link().IsStarted(), !keptServer.isEmpty());
        // The menu entry opens this dialog.
        QCOMPARE(w.Events->mServer->shortcut(), QKeySequence(QStringLiteral("Ctrl+Shift+T")));
    }

    // A session holds a lock on the runs while a run is sent: OK in "Server und
    // Station" and closing the window return at once, and the status bar says
    // the server does not answer; the run waits in the file.
    void serverHangs() {
        if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QPSQL")) || TPgCluster::BinDir().isEmpty())
            QSKIP("the PostgreSQL server or Qt's driver is not installed");
        TPgCluster cluster;
        QVERIFY2(cluster.Init() && cluster.Start() && cluster.CreateDatabase(QStringLiteral("verein")),
                 qPrintable(cluster.Error()));
        const QString conn = cluster.ConnInfo(QStringLiteral("verein"));
        Store(ServerValueName, conn);
        Store(StationValueName, QStringLiteral("Start"));
        auto w = std::make_unique<TFormMain>(Run);
        QLabel* status = w->Events->ServerStatus();
        QTRY_COMPARE_WITH_TIMEOUT(status->text(), QStringLiteral("Server verbunden"), 5000);
        QProcess holder;
        cluster.StartSql(holder, QStringLiteral("verein"),
                         QStringLiteral("BEGIN; LOCK TABLE runs IN ACCESS EXCLUSIVE MODE; SELECT pg_sleep(60);"));
        const QString held = QStringLiteral("SELECT count(*) FROM pg_locks WHERE relation = 'runs'::regclass "
                                            "AND mode = 'AccessExclusiveLock' AND granted");
        QTRY_COMPARE_WITH_TIMEOUT(cluster.Sql(QStringLiteral("verein"), held), QStringLiteral("1"), 5000);
        TimeLaps(*w, QStringLiteral("Hans"), 10000, 60000, 61000);
        QTest::qWait(300);
        QElapsedTimer t;
        t.start();
        w->Events->ApplyServerSettings(conn, QStringLiteral("Start"));
        QVERIFY2(t.elapsed() < 1000, qPrintable(QString::number(t.elapsed())));
        QTRY_VERIFY_WITH_TIMEOUT(status->text().startsWith(QLatin1String("Server antwortet nicht (seit ")), 9000);
        t.restart();
        w.reset();
        QVERIFY2(t.elapsed() < 1500, qPrintable(QString::number(t.elapsed())));
        cluster.Sql(QStringLiteral("verein"),
                    QStringLiteral("SELECT pg_terminate_backend(pid) FROM pg_locks WHERE "
                                   "relation = 'runs'::regclass AND mode = 'AccessExclusiveLock'"));
        holder.waitForFinished(5000);
        QCOMPARE(cluster.Sql(QStringLiteral("verein"), QStringLiteral("SELECT count(*) FROM runs")),
                 QStringLiteral("0"));
        // The next start sends it.
        TFormMain again(Run);
        QTRY_COMPARE_WITH_TIMEOUT(cluster.Sql(QStringLiteral("verein"), QStringLiteral("SELECT count(*) FROM runs")),
                                  QStringLiteral("1"), 5000);
    }

    // Another laptop went by this station's name on the server: asked once the
    // question may come; replacing it is kept with the station's identity.
    void sameNameAsked() {
        if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QPSQL")) || TPgCluster::BinDir().isEmpty())
            QSKIP("the PostgreSQL server or Qt's driver is not installed");
        TPgCluster cluster;
        QVERIFY2(cluster.Init() && cluster.Start() && cluster.CreateDatabase(QStringLiteral("verein")),
                 qPrintable(cluster.Error()));
        const QString conn = cluster.ConnInfo(QStringLiteral("verein"));
        {
            QTemporaryDir other;
            TEventStore store;
            TStationLink link;
            const QString path = other.filePath(QStringLiteral("Start.db"));
            store.OnCommitted = [&link](TEventStore*) { link.Notify(); };
            store.Start(path, QStringLiteral("Start"), NewRecordUuid());
            TEventInfo e;
            e.Title = QStringLiteral("Bergpreis");
            e.Date = QDate::currentDate();
            store.Add(e);
            store.Flush();
            link.Start(path, conn, QStringLiteral("Start"), store.StationId());
            QTRY_VERIFY_WITH_TIMEOUT(link.Forwarded() == 1, 5000);
        }
        Store(ServerValueName, conn);
        Store(StationValueName, QStringLiteral("Start"));
        QStringList asked;
        const auto saved = TEventsFeature::AskReplace;
        TEventsFeature::AskReplace = [&asked](QWidget*, const QString& text) {
            asked << text;
            return true;
        };
        {
            TFormMain w(Run);
            QTRY_COMPARE_WITH_TIMEOUT(asked.size(), 1, 5000);
            QVERIFY2(asked[0].contains(QStringLiteral("schon eine andere Station „Start“")), qPrintable(asked[0]));
            QTest::qWait(500); // the link started again with the name taken over: not asked again
            QCOMPARE(asked.size(), 1);
            QVERIFY(TStationIdentity::LoadOrMake(w.Events->IdentityPath()).Replaces.size() == 1);
        }
        TFormMain again(Run);
        QTRY_COMPARE_WITH_TIMEOUT(again.Events->ServerStatus()->text(), QStringLiteral("Server verbunden"), 5000);
        QTest::qWait(300);
        QCOMPARE(asked.size(), 1);
        TEventsFeature::AskReplace = saved;
    }

    // A second station times into the same event: its run and its correction of
    // this station's run appear in the open "Läufe" window, marked as a run that
    // two stations corrected; the status bar follows the server going and coming.
    void secondStation() {
        if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QPSQL")) || TPgCluster::BinDir().isEmpty())
            QSKIP("the PostgreSQL server or Qt's driver is not installed");
        TPgCluster cluster;
        QVERIFY2(cluster.Init() && cluster.Start() && cluster.CreateDatabase(QStringLiteral("verein")),
                 qPrintable(cluster.Error()));
        const QString conn = cluster.ConnInfo(QStringLiteral("verein"));
        Store(ServerValueName, conn);
        Store(StationValueName, QStringLiteral("Start"));
        TFormMain w(Run);
        QLabel* status = w.Events->ServerStatus();
        QTRY_COMPARE_WITH_TIMEOUT(status->text(), QStringLiteral("Server verbunden"), 5000);
        TimeLaps(w, QStringLiteral("Hans"), 10000, 60000, 61000);
        const QString event = w.Events->Recorder().CurrentEvent();
        w.Events->mRuns->Click();
        TFormRuns* f = w.Events->Window();
        QCOMPARE(f->Model->rowCount(), 1);

        // The other station: its own file, writer and link.
        QTemporaryDir other;
        TEventStore store;
        TStationLink link;
        const QString path = other.filePath(QStringLiteral("Ziel.db"));
        store.OnCommitted = [&link](TEventStore*) { link.Notify(); };
        store.Start(path, QStringLiteral("Ziel"));
        store.Flush();
        link.Start(path, conn, QStringLiteral("Ziel"));
        QTRY_VERIFY_WITH_TIMEOUT(link.Pulled() >= 2, 5000); // the event and the run
        TEventDb reader;
        QVERIFY(reader.OpenForReading(path));
        const std::vector<TRunRecord> runs = reader.Runs(event);
        QCOMPARE(runs.size(), size_t(1));
        TRunRecord run;
        run.EventUuid = event;
        run.Name = QStringLiteral("Grete");
        run.LapMs = {58000, 59000, -1, -1, -1};
        RecomputeTotals(run);
        store.Add(run);
        TCorrection c;
        c.EventUuid = event;
        c.RunUuid = runs[0].Uuid;
        c.Kind = CorrectionKind::Lap;
        c.Field = 1;
        c.Ms = 59500;
        store.Add(c);
        // And this station's own correction of the same run, typed later.
        QTRY_COMPARE_WITH_TIMEOUT(f->Model->rowCount(), 2, 2000);
        // Her run is in this station's protocol too, so ranks and live page show it.
        QTRY_COMPARE(w.SortGrid1->RowCount(), 3);
        const int grete = w.SortGrid1->FindRow(pcName, QStringLiteral("Grete"), false);
        QVERIFY(grete > 0);
        QCOMPARE(w.SortGrid1->Cells(pcTotal, grete), QStringLiteral("1.57,00"));
        // Her station's correction of his run reaches his row here.
        const int hansRow = w.SortGrid1->FindRow(pcName, QStringLiteral("Hans"), false);
        QTRY_COMPARE_WITH_TIMEOUT(w.SortGrid1->Cells(pcLap1, hansRow), QStringLiteral("59,50"), 2000);
        QCOMPARE(w.SortGrid1->Cells(pcTotal, hansRow), QStringLiteral("2.00,50"));
        QTest::qWait(20); // typed a moment after the other station's correction
        const auto saved = TTrackCorrections::AskText;
        TTrackCorrections::AskText = [](const QString&, QString& text) {
            text = QStringLiteral("59,70");
            return true;
        };
        w.Corrections().EditLapCell(pcLap1, hansRow);
        TTrackCorrections::AskText = saved;
        const auto hans = [f]() -> const TEffectiveRun* {
            for (int row = 0; row < f->Model->rowCount(); ++row)
                if (f->Model->RunAt(row)->Run.Name == QLatin1String("Hans")) return f->Model->RunAt(row);
            return nullptr;
        };
        QTRY_VERIFY_WITH_TIMEOUT(hans() && hans()->History.size() == 2, 3000);
        QCOMPARE(hans()->Run.LapMs[0], 59700); // the later correction counts
        for (int row = 0; row < f->Model->rowCount(); ++row)
            if (f->Model->RunAt(row)->Run.Name == QLatin1String("Hans")) {
                QCOMPARE(f->Model->RowTexts(row).last(), QStringLiteral("2 (2 Stationen)"));
                f->SelectRow(row);
            }
        QVERIFY(f->lHistory->text().contains(QLatin1String("von 2 Stationen korrigiert")));
        QVERIFY(f->lbHistory->item(1)->text().endsWith(QLatin1String("Station Ziel")));
        QVERIFY(f->lbHistory->item(2)->text().endsWith(QLatin1String("Station Start")));

        QVERIFY(cluster.Stop());
        QTRY_COMPARE_WITH_TIMEOUT(status->text(), QStringLiteral("Server nicht erreichbar"), 5000);
        w.mReset->Click();
        TimeLaps(w, QStringLiteral("Otto"), 300000, 60000, 60000);
        QCOMPARE(w.SortGrid1->FindRow(pcName, QStringLiteral("Otto"), false) > 0, true);
        QVERIFY(cluster.Start());
        QTRY_COMPARE_WITH_TIMEOUT(status->text(), QStringLiteral("Server verbunden"), 5000);
        const auto runsAtZiel = [&] {
            TEventDb r;
            return r.OpenForReading(path) ? int(r.Runs(event).size()) : 0;
        };
        QTRY_COMPARE_WITH_TIMEOUT(runsAtZiel(), 3, 5000); // timed while the server was gone
        QVERIFY2(FMessages.isEmpty(), qPrintable(FMessages.join('\n')));
        link.Stop();
        store.Stop();
    }
};

QTEST_MAIN(TstStationsApp)
#include "tst_stations_app.moc"
