// The event database: records written once and read back, unusable files kept
// beside a new database, and records that wait while the database cannot take them.
#include "EventDb.h"
#include "EventStore.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <unistd.h>

namespace {

TEventInfo Event(const QString& title) {
    TEventInfo e;
    e.Uuid = NewRecordUuid();
    e.Station = QStringLiteral("Start");
    e.Title = title;
    e.Date = QDate(2026, 12, 7);
    return e;
}

TRunRecord Run(const QString& eventUuid, const QString& name, int lap1, int lap2) {
    TRunRecord r;
    r.Uuid = NewRecordUuid();
    r.Station = QStringLiteral("Start");
    r.EventUuid = eventUuid;
    r.StartMs = 1796636673325;
    r.RunNo = QStringLiteral("3");
    r.StartNo = QStringLiteral("12");
    r.Name = name;
    r.Laps = 2;
    r.LapMs = {lap1, lap2, -1, -1, -1};
    RecomputeTotals(r);
    r.Events = {{QStringLiteral("START"), QStringLiteral("LS"), 1000, 1796636673325},
                {QStringLiteral("LAP"), QStringLiteral("Taste"), 1000 + lap1, 1796636673325 + lap1},
                {QStringLiteral("FINISH"), QStringLiteral("Maus"), 1000 + lap1 + lap2,
                 1796636673325 + lap1 + lap2}};
    return r;
}

// A database of ours with one event and one run.
void MakeDatabase(const QString& path, QString& eventUuid) {
    TEventDb db;
    QVERIFY(db.OpenForWriting(path).Problem == TEventDb::TProblem::None);
    const TEventInfo e = Event(QStringLiteral("Training"));
    eventUuid = e.Uuid;
    std::vector<TEventDb::TRecord> recs{e, Run(e.Uuid, QStringLiteral("Hans"), 60000, 61000)};
    QVERIFY(db.Write(recs));
}

QByteArray Contents(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool WaitFor(const std::function<bool()>& done, int ms = 5000) {
    for (int waited = 0; !done() && waited < ms; waited += 10)
        QThread::msleep(10);
    return done();
}

} // namespace

class TstEventDb : public QObject {
    Q_OBJECT
private slots:
    void runsAreKeptSeparately();
    void earlierSchemaMigrated();
    void unusableFileIsKeptBeside_data();
    void unusableFileIsKeptBeside();
    void recordsWaitWhileTheDatabaseRefuses_data();
    void recordsWaitWhileTheDatabaseRefuses();
    void spoolCarriesOverToTheNextProgramRun();
    void runsReadInSlices_data();
    void runsReadInSlices();
    void journalFoldedIntoTheFile_data();
    void journalFoldedIntoTheFile();
    void otherReaderLeavesTheLogAlone();
};

void TstEventDb::runsAreKeptSeparately() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Zeitnahme.db"));
    TEventDb db;
    QCOMPARE(db.OpenForWriting(path).Problem, TEventDb::TProblem::None);
    TEventInfo e = Event(QStringLiteral("Trainnig"));
    TEventRename fix;
    fix.EventUuid = e.Uuid;
    fix.Station = e.Station;
    fix.Title = QStringLiteral("Training");
    const TRunRecord first = Run(e.Uuid, QStringLiteral("Hans"), 60000, 61000);
    const TRunRecord second = Run(e.Uuid, QStringLiteral("Hans"), 59000, 58000);
    std::vector<TEventDb::TRecord> recs{e, fix, first, second};
    QVERIFY(db.Write(recs));
    // The same records once more (a retry after an unclear failure) change nothing.
    QVERIFY(db.Write(recs));

    const std::vector<TEventInfo> events = db.Events();
    QCOMPARE(events.size(), size_t(1));
    QCOMPARE(events[0].Title, QStringLiteral("Training")); // renamed, not split
    const std::vector<TRunRecord> runs = db.Runs(e.Uuid);
    QCOMPARE(runs.size(), size_t(2));
    QCOMPARE(runs[0].TotalMs, 121000);
    QCOMPARE(runs[1].TotalMs, 117000);
    QVERIFY(runs[0].Seq < runs[1].Seq);
    QCOMPARE(db.RunEvents(second.Uuid), second.Events);
    QCOMPARE(TEventDb::FileSchemaVersion(path), TEventDb::SchemaVersion);
}

// A file of the schema before station identities: its records keep their name as
// their identity, and a second station under that name numbers its own.
void TstEventDb::earlierSchemaMigrated() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Zeitnahme.db"));
    QString event;
    MakeDatabase(path, event);
    {
        QSqlDatabase d = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("v1"));
        d.setDatabaseName(path);
        QVERIFY(d.open());
        QSqlQuery q(d);
        for (const char* t : {"events", "event_titles", "runs", "corrections", "entrants"})
            QVERIFY2(q.exec(QStringLiteral("DROP INDEX %1_by_identity").arg(QLatin1String(t))) &&
                         q.exec(QStringLiteral("ALTER TABLE %1 DROP COLUMN station_id").arg(QLatin1String(t))),
                     qPrintable(q.lastError().text()));
        QVERIFY(q.exec(QStringLiteral("CREATE UNIQUE INDEX runs_by_station ON runs (station, seq)")));
        QVERIFY(q.exec(QStringLiteral("CREATE UNIQUE INDEX corrections_by_station ON corrections (station, seq)")));
        QVERIFY(q.exec(QStringLiteral("UPDATE schema_info SET value = '1' WHERE name = 'version'")));
        q.exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
    }
    QSqlDatabase::removeDatabase(QStringLiteral("v1"));
    QCOMPARE(TEventDb::FileSchemaVersion(path), 1);
    TEventDb db;
    QCOMPARE(db.OpenForWriting(path).Problem, TEventDb::TProblem::None);
    QCOMPARE(TEventDb::FileSchemaVersion(path), TEventDb::SchemaVersion);
    QVERIFY(QFileInfo::exists(dir.filePath(QStringLiteral("Zeitnahme.v1.db"))));
    const TRunRecord before = db.Runs(event).at(0);
    QCOMPARE(before.StationId, QStringLiteral("Start"));
    TRunRecord other = Run(event, QStringLiteral("Grete"), 59000, 58000);
    other.StationId = NewRecordUuid();
    other.Seq = before.Seq; // the same number under the same name, another station
    std::vector<TEventDb::TRecord> recs{other};
    QVERIFY2(db.Write(recs), qPrintable(db.LastError()));
    QCOMPARE(db.Runs(event).size(), size_t(2));
    QHash<QString, QString> names;
    QVERIFY(db.StationNames(names));
    QCOMPARE(names.value(other.StationId), QStringLiteral("Start"));
    QCOMPARE(names.value(QStringLiteral("Start")), QStringLiteral("Start"));
}

void TstEventDb::unusableFileIsKeptBeside_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<TEventDb::TProblem>("problem");
    QTest::newRow("truncated database") << "truncated" << TEventDb::TProblem::Damaged;
    QTest::newRow("text file named like the database") << "text" << TEventDb::TProblem::Foreign;
    QTest::newRow("another program's SQLite database") << "foreign" << TEventDb::TProblem::Foreign;
    QTest::newRow("newer schema") << "newer" << TEventDb::TProblem::Newer;
}

void TstEventDb::unusableFileIsKeptBeside() {
    QFETCH(QString, kind);
    QFETCH(TEventDb::TProblem, problem);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Zeitnahme.db"));
    if (kind == QLatin1String("truncated")) {
        QString eventUuid;
        MakeDatabase(path, eventUuid);
        // Everything into the file itself, then cut it.
        QSqlDatabase c = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("cut"));
        c.setDatabaseName(path);
        QVERIFY(c.open());
        QSqlQuery(c).exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
        QSqlQuery(c).exec(QStringLiteral("PRAGMA journal_mode=DELETE"));
        c.close();
        c = QSqlDatabase();
        QSqlDatabase::removeDatabase(QStringLiteral("cut"));
        QFile f(path);
        QVERIFY(f.size() > 8192);
        QVERIFY(f.resize(f.size() / 2 + 100));
    } else if (kind == QLatin1String("text")) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("12\tHans\t1,00\r\n");
    } else {
        QSqlDatabase c = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("mk"));
        c.setDatabaseName(path);
        QVERIFY(c.open());
        QSqlQuery q(c);
        if (kind == QLatin1String("foreign")) {
            QVERIFY(q.exec(QStringLiteral("CREATE TABLE photos (id INTEGER, path TEXT)")));
        } else {
            QVERIFY(q.exec(QStringLiteral("CREATE TABLE schema_info (name VARCHAR(40), value VARCHAR(200))")));
            QVERIFY(q.exec(QStringLiteral("INSERT INTO schema_info VALUES ('application', '%1'), "
                                          "('version', '9')").arg(TEventDb::Application)));
        }
        c.close();
        c = QSqlDatabase();
        QSqlDatabase::removeDatabase(QStringLiteral("mk"));
    }
    const QByteArray before = Contents(path);

    TEventDb db;
    const TEventDb::TOpenResult r = db.OpenForWriting(path);
    QCOMPARE(r.Problem, problem);
    QVERIFY(r.Ok());
    QVERIFY(!r.KeptAs.isEmpty());
    QCOMPARE(Contents(r.KeptAs), before); // never written over
    // A new database in its place takes runs.
    const TEventInfo e = Event(QStringLiteral("Neu"));
    std::vector<TEventDb::TRecord> recs{e, Run(e.Uuid, QStringLiteral("Eva"), 50000, 50000)};
    QVERIFY(db.Write(recs));
    QCOMPARE(db.Runs(e.Uuid).size(), size_t(1));
    db.Close();
    QCOMPARE(TEventDb::FileSchemaVersion(path), TEventDb::SchemaVersion);
}

void TstEventDb::recordsWaitWhileTheDatabaseRefuses_data() {
    QTest::addColumn<QString>("kind");
    QTest::newRow("locked by another program") << "locked";
    QTest::newRow("read-only file") << "readonly";
}

void TstEventDb::recordsWaitWhileTheDatabaseRefuses() {
    QFETCH(QString, kind);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Zeitnahme.db"));
    QString eventUuid;
    MakeDatabase(path, eventUuid);
    QSqlDatabase other;
    if (kind == QLatin1String("locked")) {
        other = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("other"));
        other.setDatabaseName(path);
        QVERIFY(other.open());
        QVERIFY(QSqlQuery(other).exec(QStringLiteral("BEGIN IMMEDIATE")));
    } else {
        if (geteuid() == 0) QSKIP("root writes to read-only files");
        QVERIFY(QFile::setPermissions(path, QFile::ReadOwner));
    }

    TEventStore store;
    store.RetryMs = 100;
    QStringList told;
    std::mutex m;
    store.OnProblem = [&](TEventStore*, const QString& text) {
        std::lock_guard lock(m);
        told << text;
    };
    store.Start(path, QStringLiteral("Start"));
    const QString first = store.Add(Run(eventUuid, QStringLiteral("Hans"), 60000, 61000));
    QVERIFY(!store.Flush(5000));
    const QString second = store.Add(Run(eventUuid, QStringLiteral("Eva"), 60000, 61000));
    QVERIFY(WaitFor([&] { return Contents(store.SpoolPath()).contains(second.toLatin1()); }));
    QVERIFY(Contents(store.SpoolPath()).contains(first.toLatin1()));
    QCOMPARE(store.Pending(), 2);
    {
        std::lock_guard lock(m);
        QCOMPARE(told.size(), 1); // once, however often it is tried
        QVERIFY(told[0].contains(path));
        QVERIFY(told[0].contains(store.SpoolPath()));
    }
    if (other.isOpen()) {
        QSqlQuery(other).exec(QStringLiteral("COMMIT"));
        other.close();
    } else {
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    }
    QVERIFY(WaitFor([&] { return store.Pending() == 0; }));
    QVERIFY(!QFile::exists(store.SpoolPath()));
    store.Stop();
    TEventDb db;
    QVERIFY(db.OpenForReading(path));
    QCOMPARE(db.Runs(eventUuid).size(), size_t(3));
    other = QSqlDatabase();
    QSqlDatabase::removeDatabase(QStringLiteral("other"));
}

void TstEventDb::spoolCarriesOverToTheNextProgramRun() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Zeitnahme.db"));
    QString eventUuid;
    MakeDatabase(path, eventUuid);
    const TRunRecord run = Run(eventUuid, QStringLiteral("Łukasz \"Blitz\"\tM"), 60000, 61000);
    TCorrection c;
    c.EventUuid = eventUuid;
    c.RunUuid = run.Uuid;
    c.Kind = CorrectionKind::Lap;
    c.Field = 1;
    c.Ms = 59990;
    c.Name = run.Name;
    {
        QSqlDatabase other = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("lock"));
        other.setDatabaseName(path);
        QVERIFY(other.open());
        QVERIFY(QSqlQuery(other).exec(QStringLiteral("BEGIN IMMEDIATE")));
        TEventStore store;
        store.Start(path, QStringLiteral("Start"));
        store.Add(run);
        store.Add(c);
        QVERIFY(!store.Flush(5000));
        store.Stop(); // the program ends while the database is locked
        QSqlQuery(other).exec(QStringLiteral("ROLLBACK"));
        other.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("lock"));
    QVERIFY(QFile::exists(path + QStringLiteral(".warteschlange")));

    TEventStore next;
    next.Start(path, QStringLiteral("Start"));
    QVERIFY(next.Flush(5000));
    next.Stop();
    QVERIFY(!QFile::exists(path + QStringLiteral(".warteschlange")));
    TEventDb db;
    QVERIFY(db.OpenForReading(path));
    const std::vector<TEffectiveRun> runs = db.EffectiveRuns(eventUuid);
    QCOMPARE(runs.size(), size_t(2));
    QCOMPARE(runs[1].Run.Name, StoredText(run.Name)); // the tab stored as a blank
    QCOMPARE(db.RunEvents(run.Uuid), run.Events);
    QCOMPARE(runs[1].History.size(), size_t(1));
    QCOMPARE(runs[1].Run.TotalMs, 120990);
}

// Runs lost, repeated or read without their corrections between slices.
void TstEventDb::runsReadInSlices_data() {
    QTest::addColumn<int>("slice");
    QTest::newRow("one run a slice") << 1;
    QTest::newRow("slices that do not divide the runs") << 3;
    QTest::newRow("one slice for all") << 100;
}

void TstEventDb::runsReadInSlices() {
    QFETCH(int, slice);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Zeitnahme.db"));
    TEventDb db;
    QCOMPARE(db.OpenForWriting(path).Problem, TEventDb::TProblem::None);
    const TEventInfo e = Event(QStringLiteral("Training")), other = Event(QStringLiteral("Andere"));
    std::vector<TEventDb::TRecord> recs{e, other};
    QStringList uuids; // newest first
    for (int i = 0; i < 10; ++i) {
        TRunRecord r = Run(e.Uuid, QStringLiteral("Fahrer %1").arg(i), 60000 + 10 * i, 61000);
        r.RecordedMs = 1796636673325 + i * 1000;
        uuids.prepend(r.Uuid);
        recs.push_back(r);
        if (i % 4 == 0) {
            TCorrection c;
            c.EventUuid = e.Uuid;
            c.RunUuid = r.Uuid;
            c.Kind = CorrectionKind::Lap;
            c.Field = 2;
            c.Ms = 50000;
            recs.push_back(c);
        }
    }
    recs.push_back(Run(other.Uuid, QStringLiteral("Fremd"), 60000, 61000));
    QVERIFY(db.Write(recs));

    TRunCursor cursor;
    QVERIFY(cursor.Start(db, e.Uuid));
    QStringList read;
    while (!cursor.AtEnd()) {
        const std::vector<TEffectiveRun> runs = cursor.Next(slice);
        QVERIFY(int(runs.size()) <= slice);
        for (const TEffectiveRun& r : runs) {
            read << r.Run.Uuid;
            const int i = r.Run.Name.section(QLatin1Char(' '), 1).toInt();
            QCOMPARE(r.History.size(), size_t(i % 4 == 0 ? 1 : 0));
            QCOMPARE(r.Run.TotalMs, 60000 + 10 * i + (i % 4 == 0 ? 50000 : 61000));
        }
    }
    QCOMPARE(read, uuids);
    QVERIFY(cursor.Next(slice).empty());
    // The whole event at once comes in recorded order.
    const std::vector<TEffectiveRun> all = db.EffectiveRuns(e.Uuid);
    QCOMPARE(all.size(), size_t(10));
    QCOMPARE(all.front().Run.Uuid, uuids.last());
    QCOMPARE(all[4].Run.TotalMs, 110040);
}

// The journal is folded into the file while the writer has nothing to do, not
// in the commit of a run; runs that follow are committed as before.
void TstEventDb::journalFoldedIntoTheFile_data() {
    QTest::addColumn<int>("idleMs");
    QTest::addColumn<int>("later"); // runs committed after the fold
    QTest::newRow("when nothing is left to write") << 50 << 0;
    QTest::newRow("runs after the fold") << 50 << 3;
}

void TstEventDb::journalFoldedIntoTheFile() {
    QFETCH(int, idleMs);
    QFETCH(int, later);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Zeitnahme.db"));
    QString eventUuid;
    MakeDatabase(path, eventUuid);
    TEventStore store;
    store.CheckpointIdleMs = idleMs;
    store.Start(path, QStringLiteral("Start"));
    QVERIFY(store.Flush());
    const qint64 before = QFileInfo(path).size();
    for (int i = 0; i < 5; ++i) {
        // Names long enough that each run takes pages of its own.
        store.Add(Run(eventUuid, QStringLiteral("Fahrer %1 ").arg(i) + QString(3000, QLatin1Char('x')), 60000, 61000));
        QVERIFY(store.Flush()); // one commit each
    }
    // Every page of the database is in the file itself, while the writer still runs.
    const auto pages = [&path] {
        QSqlDatabase d = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("pages"));
        d.setDatabaseName(path);
        qint64 bytes = -1;
        if (d.open()) {
            QSqlQuery q(d);
            if (q.exec(QStringLiteral("PRAGMA page_count")) && q.next()) bytes = q.value(0).toLongLong();
            if (q.exec(QStringLiteral("PRAGMA page_size")) && q.next()) bytes *= q.value(0).toLongLong();
        }
        d = QSqlDatabase();
        QSqlDatabase::removeDatabase(QStringLiteral("pages"));
        return bytes;
    };
    QVERIFY(WaitFor([&] { return QFileInfo(path).size() == pages(); }));
    QVERIFY(QFileInfo(path).size() > before);
    for (int i = 0; i < later; ++i)
        store.Add(Run(eventUuid, QStringLiteral("Später %1").arg(i), 60000, 61000));
    QVERIFY(store.Flush());
    store.Stop();
    TEventDb db;
    QVERIFY(db.OpenForReading(path));
    QCOMPARE(db.Runs(eventUuid).size(), size_t(6 + later));
}

// Another program reading the file while the writer runs (sqlite3, a second station's
// season) must find the writer's locks after this process looked at the file again.
void TstEventDb::otherReaderLeavesTheLogAlone() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Zeitnahme.db"));
    QString eventUuid;
    MakeDatabase(path, eventUuid);
    TEventStore store;
    store.Start(path, QStringLiteral("Start"));
    store.Add(Run(eventUuid, QStringLiteral("Anna"), 60000, 61000));
    QVERIFY(store.Flush());
    QVERIFY(QFileInfo::exists(path + QStringLiteral("-wal")));
    QVERIFY(TEventDb::FileSchemaVersion(path) > 0);
    QProcess reader;
    reader.start(QStringLiteral("python3"),
                 {QStringLiteral("-c"),
                  QStringLiteral("import sqlite3,sys; c=sqlite3.connect(sys.argv[1]); "
                                 "c.execute('select count(*) from sqlite_master').fetchall(); c.close()"),
                  path});
    QVERIFY(reader.waitForFinished(10000));
    QCOMPARE(reader.exitCode(), 0);
    QVERIFY2(QFileInfo::exists(path + QStringLiteral("-wal")), "the reader deleted the writer's log");
    store.Add(Run(eventUuid, QStringLiteral("Ben"), 60000, 61000));
    QVERIFY(store.Flush());
    store.Stop();
    TEventDb db;
    QVERIFY(db.OpenForReading(path));
    QCOMPARE(db.Runs(eventUuid).size(), size_t(3)); // Hans of the file, Anna and Ben
}

QTEST_GUILESS_MAIN(TstEventDb)
#include "tst_eventdb.moc"
