#include "EventDb.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QVariant>
#include <algorithm>
#include <atomic>
#include <functional>
#include <limits>

const QString TEventDb::Application = QStringLiteral("Zeitnahme-Veranstaltungen");

namespace {

std::atomic<int> ConnectionCounter{0};

// Numbered migrations: Migrations()[i] takes a database from version i to i + 1.
// Only portable SQL here.
const std::vector<QStringList>& Migrations() {
    static const std::vector<QStringList> steps = {
        {
            QStringLiteral("CREATE TABLE schema_info (name VARCHAR(40) PRIMARY KEY, "
                           "value VARCHAR(200) NOT NULL)"),
            QStringLiteral("CREATE TABLE events (uuid VARCHAR(40) PRIMARY KEY, "
                           "station VARCHAR(100) NOT NULL, seq BIGINT NOT NULL, "
                           "recorded_ms BIGINT NOT NULL, title VARCHAR(500) NOT NULL, "
                           "event_date VARCHAR(10) NOT NULL)"),
            QStringLiteral("CREATE TABLE event_titles (uuid VARCHAR(40) PRIMARY KEY, "
                           "event_uuid VARCHAR(40) NOT NULL REFERENCES events(uuid), "
                           "station VARCHAR(100) NOT NULL, seq BIGINT NOT NULL, "
                           "recorded_ms BIGINT NOT NULL, title VARCHAR(500) NOT NULL)"),
            QStringLiteral("CREATE TABLE runs (uuid VARCHAR(40) PRIMARY KEY, "
                           "event_uuid VARCHAR(40) NOT NULL REFERENCES events(uuid), "
                           "station VARCHAR(100) NOT NULL, seq BIGINT NOT NULL, "
                           "recorded_ms BIGINT NOT NULL, start_ms BIGINT NOT NULL, "
                           "run_no VARCHAR(40) NOT NULL, car INTEGER NOT NULL, "
                           "start_no VARCHAR(40) NOT NULL, name VARCHAR(500) NOT NULL, "
                           "laps INTEGER NOT NULL, lap1_ms INTEGER, lap2_ms INTEGER, "
                           "lap3_ms INTEGER, lap4_ms INTEGER, lap5_ms INTEGER, "
                           "total_ms INTEGER, best_ms INTEGER, status VARCHAR(20) NOT NULL)"),
            QStringLiteral("CREATE TABLE run_events (run_uuid VARCHAR(40) NOT NULL "
                           "REFERENCES runs(uuid), idx INTEGER NOT NULL, "
                           "kind VARCHAR(10) NOT NULL, source VARCHAR(20) NOT NULL, "
                           "tick BIGINT NOT NULL, wall_ms BIGINT NOT NULL, "
                           "PRIMARY KEY (run_uuid, idx))"),
            QStringLiteral("CREATE TABLE corrections (uuid VARCHAR(40) PRIMARY KEY, "
                           "event_uuid VARCHAR(40) NOT NULL REFERENCES events(uuid), "
                           "station VARCHAR(100) NOT NULL, seq BIGINT NOT NULL, "
                           "recorded_ms BIGINT NOT NULL, run_uuid VARCHAR(40), "
                           "target_uuid VARCHAR(40), kind VARCHAR(20) NOT NULL, "
                           "field INTEGER NOT NULL, ms INTEGER NOT NULL, "
                           "amount INTEGER NOT NULL, value_text VARCHAR(500) NOT NULL, "
                           "reason VARCHAR(500) NOT NULL, driver VARCHAR(500) NOT NULL)"),
            QStringLiteral("CREATE TABLE entrants (uuid VARCHAR(40) PRIMARY KEY, "
                           "event_uuid VARCHAR(40) NOT NULL REFERENCES events(uuid), "
                           "station VARCHAR(100) NOT NULL, seq BIGINT NOT NULL, "
                           "recorded_ms BIGINT NOT NULL, start_no VARCHAR(40) NOT NULL, "
                           "name VARCHAR(500) NOT NULL, class_name VARCHAR(200) NOT NULL, "
                           "club VARCHAR(200) NOT NULL, vehicle VARCHAR(200) NOT NULL)"),
            QStringLiteral("CREATE INDEX runs_by_event ON runs (event_uuid, recorded_ms)"),
            QStringLiteral("CREATE INDEX corrections_by_event ON corrections "
                           "(event_uuid, recorded_ms)"),
            QStringLiteral("CREATE INDEX entrants_by_event ON entrants (event_uuid)"),
            QStringLiteral("CREATE UNIQUE INDEX runs_by_station ON runs (station, seq)"),
            QStringLiteral("CREATE UNIQUE INDEX corrections_by_station ON corrections "
                           "(station, seq)"),
            QStringLiteral("INSERT INTO schema_info (name, value) VALUES ('application', '") +
                TEventDb::Application + QStringLiteral("')"),
            QStringLiteral("INSERT INTO schema_info (name, value) VALUES ('version', '0')"),
        },
        [] {
            // A station is known by its identity, its name is a label: two laptops
            // under one name number their records each on their own. Earlier
            // records keep their name as their identity.
            QStringList step = {QStringLiteral("DROP INDEX runs_by_station"),
                                QStringLiteral("DROP INDEX corrections_by_station")};
            for (const char* table : {"events", "event_titles", "runs", "corrections", "entrants"}) {
                const QString t = QLatin1String(table);
                step << QStringLiteral("ALTER TABLE %1 ADD COLUMN station_id VARCHAR(100) NOT NULL "
                                       "DEFAULT ''").arg(t)
                     << QStringLiteral("UPDATE %1 SET station_id = station").arg(t);
                // Runs and corrections were unique per name before; the others may
                // hold a name's numbers twice from before.
                const bool unique = t == QLatin1String("runs") || t == QLatin1String("corrections");
                step << QStringLiteral("CREATE %1INDEX %2_by_identity ON %2 (station_id, seq)")
                            .arg(unique ? QStringLiteral("UNIQUE ") : QString(), t);
            }
            return step;
        }(),
    };
    return steps;
}

const QStringList SeqTables = {QStringLiteral("events"), QStringLiteral("event_titles"),
                               QStringLiteral("runs"), QStringLiteral("corrections"),
                               QStringLiteral("entrants")};

// Qt binds a null QString as NULL: texts of NOT NULL columns go in as "".
QVariant Str(const QString& text) {
    return text.isNull() ? QVariant(QStringLiteral("")) : QVariant(text);
}

QVariant Opt(int ms) {
    return ms < 0 ? QVariant() : QVariant(ms);
}

int OptInt(const QVariant& v) {
    return v.isNull() ? -1 : v.toInt();
}

const QString RunColumns = QStringLiteral(
    "uuid, station, seq, recorded_ms, event_uuid, start_ms, run_no, car, start_no, name, laps, "
    "lap1_ms, lap2_ms, lap3_ms, lap4_ms, lap5_ms, total_ms, best_ms, status, station_id");
const QString CorrectionColumns = QStringLiteral(
    "uuid, station, seq, recorded_ms, event_uuid, run_uuid, target_uuid, kind, field, ms, "
    "amount, value_text, reason, driver, station_id");
const QString EntrantColumns = QStringLiteral(
    "uuid, station, seq, recorded_ms, event_uuid, start_no, name, class_name, club, vehicle, station_id");
const QString EventColumns = QStringLiteral("uuid, station, seq, recorded_ms, title, event_date, station_id");
const QString RenameColumns = QStringLiteral("uuid, station, seq, recorded_ms, event_uuid, title, station_id");

// The four head columns come first in every list above, the identity last.
void ReadHead(const QSqlQuery& q, TRecordHead& h, int idColumn) {
    h.Uuid = q.value(0).toString();
    h.Station = q.value(1).toString();
    h.Seq = q.value(2).toLongLong();
    h.RecordedMs = q.value(3).toLongLong();
    h.StationId = q.value(idColumn).toString();
}

TRunRecord ReadRun(const QSqlQuery& q) {
    TRunRecord r;
    ReadHead(q, r, 19);
    r.EventUuid = q.value(4).toString();
    r.StartMs = q.value(5).toLongLong();
    r.RunNo = q.value(6).toString();
    r.Car = q.value(7).toInt();
    r.StartNo = q.value(8).toString();
    r.Name = q.value(9).toString();
    r.Laps = q.value(10).toInt();
    for (int k = 0; k < MaxLaps; ++k)
        r.LapMs[k] = OptInt(q.value(11 + k));
    r.TotalMs = OptInt(q.value(16));
    r.BestMs = OptInt(q.value(17));
    r.Status = q.value(18).toString();
    return r;
}

TCorrection ReadCorrection(const QSqlQuery& q) {
    TCorrection c;
    ReadHead(q, c, 14);
    c.EventUuid = q.value(4).toString();
    c.RunUuid = q.value(5).toString();
    c.TargetUuid = q.value(6).toString();
    c.Kind = q.value(7).toString();
    c.Field = q.value(8).toInt();
    c.Ms = q.value(9).toInt();
    c.Count = q.value(10).toInt();
    c.Text = q.value(11).toString();
    c.Reason = q.value(12).toString();
    c.Name = q.value(13).toString();
    return c;
}

TEntrant ReadEntrant(const QSqlQuery& q) {
    TEntrant n;
    ReadHead(q, n, 10);
    n.EventUuid = q.value(4).toString();
    n.StartNo = q.value(5).toString();
    n.Name = q.value(6).toString();
    n.Class = q.value(7).toString();
    n.Club = q.value(8).toString();
    n.Vehicle = q.value(9).toString();
    return n;
}

TEventInfo ReadEvent(const QSqlQuery& q) {
    TEventInfo e;
    ReadHead(q, e, 6);
    e.Title = q.value(4).toString();
    e.Date = QDate::fromString(q.value(5).toString(), Qt::ISODate);
    return e;
}

TEventRename ReadRename(const QSqlQuery& q) {
    TEventRename t;
    ReadHead(q, t, 6);
    t.EventUuid = q.value(4).toString();
    t.Title = q.value(5).toString();
    return t;
}

// Asked of SQLite itself, never through a handle of our own: closing any handle on
// the file drops every lock this process holds on it, the writer's too, and another
// program reading the file then deletes the write-ahead log under the open writer.
bool LooksLikeSqlite(const QString& path) {
    static std::atomic<int> serial{0};
    const QString name = QStringLiteral("zn_look_%1").arg(++serial);
    bool database = true; // anything but "not a database": let the driver tell
    {
        QSqlDatabase d = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        d.setDatabaseName(path);
        d.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        if (d.open()) {
            QSqlQuery q(d);
            if (!q.exec(QStringLiteral("PRAGMA schema_version")))
                database = q.lastError().nativeErrorCode() != QLatin1String("26"); // SQLITE_NOTADB
        }
        d.close();
    }
    QSqlDatabase::removeDatabase(name);
    if (database) return true;
    // Not readable as a database, so no connection of ours holds a lock on it: the
    // head tells a damaged database of ours from another program's file.
    QFile f(path);
    return f.open(QIODevice::ReadOnly) && f.read(16) == QByteArray("SQLite format 3", 16);
}

void MoveWithCompanions(const QString& from, const QString& to) {
    QFile::rename(from, to);
    for (const char* suffix : {"-wal", "-shm"})
        if (QFileInfo::exists(from + QLatin1String(suffix)))
            QFile::rename(from + QLatin1String(suffix), to + QLatin1String(suffix));
}

} // namespace

QString KeptAsideName(const QString& path, const QString& tag) {
    const QFileInfo fi(path);
    const QString base = fi.dir().absoluteFilePath(fi.completeBaseName()) + QLatin1Char('.') +
                         tag + QLatin1Char('-') +
                         QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString name = base + QStringLiteral(".db");
    for (int n = 2; QFileInfo::exists(name); ++n)
        name = base + QStringLiteral("-%1.db").arg(n);
    return name;
}

TEventDb::TEventDb(TSqlDialect dialect)
    : FDialect(std::move(dialect)),
      FConnection(QStringLiteral("zn_events_%1").arg(ConnectionCounter.fetch_add(1))) {}

TEventDb::~TEventDb() {
    Close();
}

bool TEventDb::IsOpen() const {
    return QSqlDatabase::contains(FConnection) && QSqlDatabase::database(FConnection, false).isOpen();
}

void TEventDb::Close() {
    FStatements.clear(); // before the connection they run on
    FUnprepared.reset();
    if (!QSqlDatabase::contains(FConnection)) return;
    {
        QSqlDatabase db = QSqlDatabase::database(FConnection, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(FConnection);
    FSeq.clear();
}

bool TEventDb::Fail(const QSqlError& e) {
    FLastError = e.text();
    FLastErrorKind = FDialect.Classify(e);
    return false;
}

bool TEventDb::Exec(const QString& sql) {
    QSqlQuery q(QSqlDatabase::database(FConnection, false));
    if (!q.exec(sql)) return Fail(q.lastError());
    return true;
}

bool TEventDb::CheckReadable(int& version, bool& foreign) {
    QSqlDatabase db = QSqlDatabase::database(FConnection, false);
    version = 0;
    foreign = false;
    if (FDialect.Driver == QLatin1String("QSQLITE")) {
        QSqlQuery q(db);
        if (!q.exec(QStringLiteral("PRAGMA quick_check"))) return Fail(q.lastError());
        if (!q.next() || q.value(0).toString() != QLatin1String("ok")) {
            FLastError = q.value(0).toString();
            FLastErrorKind = TSqlDialect::TErrorKind::Damaged;
            return false;
        }
    }
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("SELECT name, value FROM schema_info"))) {
        // On a server only a missing table says anything: a held lock, a time limit
        // or another station making the schema just now are tried again.
        if (FDialect.Driver == QLatin1String("QPSQL") &&
            q.lastError().nativeErrorCode() != QLatin1String("42P01"))
            return Fail(q.lastError());
        // No schema table: new when the file holds nothing else.
        QSqlQuery t(db);
        const QString listSql =
            FDialect.Driver == QLatin1String("QSQLITE")
                ? QStringLiteral("SELECT count(*) FROM sqlite_master")
                : QStringLiteral("SELECT count(*) FROM information_schema.tables "
                                 "WHERE table_schema = current_schema()");
        if (!t.exec(listSql) || !t.next()) return Fail(t.lastError());
        foreign = t.value(0).toInt() > 0;
        // Another station's schema may have become visible between the two reads.
        if (!foreign || FDialect.Driver != QLatin1String("QPSQL") ||
            !q.exec(QStringLiteral("SELECT name, value FROM schema_info")))
            return true;
    }
    QString app;
    while (q.next()) {
        if (q.value(0).toString() == QLatin1String("application")) app = q.value(1).toString();
        if (q.value(0).toString() == QLatin1String("version")) version = q.value(1).toInt();
    }
    foreign = app != Application;
    return true;
}

bool TEventDb::Migrate(int from) {
    QSqlDatabase db = QSqlDatabase::database(FConnection, false);
    if (from > 0 && FDialect.Driver == QLatin1String("QSQLITE")) {
        // Keep the file as it was before its first change by a migration.
        Exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
        const QFileInfo fi(FPath);
        QFile::copy(FPath, fi.dir().absoluteFilePath(fi.completeBaseName() +
                                                     QStringLiteral(".v%1.db").arg(from)));
    }
    const auto& steps = Migrations();
    for (int v = from; v < SchemaVersion; ++v) {
        if (!db.transaction()) return Fail(db.lastError());
        bool ok = true;
        for (const QString& sql : steps[size_t(v)])
            if (!(ok = Exec(sql))) break;
        if (ok)
            ok = Exec(QStringLiteral("UPDATE schema_info SET value = '%1' WHERE name = 'version'")
                          .arg(v + 1));
        if (!ok || !db.commit()) {
            const QString error = FLastError;
            const auto kind = FLastErrorKind;
            db.rollback();
            FLastError = error.isEmpty() ? db.lastError().text() : error;
            FLastErrorKind = kind;
            return false;
        }
    }
    return true;
}

TEventDb::TOpenResult TEventDb::OpenForWriting(const QString& path) {
    Close();
    FPath = path;
    TOpenResult r;
    const QFileInfo fi(path);
    const bool exists = fi.exists();
    if ((exists && !fi.isWritable()) || !QFileInfo(fi.absolutePath()).isWritable()) {
        r.Problem = TProblem::ReadOnly;
        r.Detail = exists ? QStringLiteral("Datei schreibgeschützt")
                          : QStringLiteral("Ordner schreibgeschützt");
        return r;
    }
    const auto moveAside = [&](TProblem problem, const QString& tag) {
        Close();
        r.Problem = problem;
        r.KeptAs = KeptAsideName(path, tag);
        MoveWithCompanions(path, r.KeptAs);
        if (QFileInfo::exists(path)) { // could not be moved: never write over it
            r.KeptAs.clear();
            r.Problem = TProblem::Failed;
        }
    };
    if (exists && fi.size() > 0 && !LooksLikeSqlite(path)) moveAside(TProblem::Foreign, QStringLiteral("fremd"));
    if (r.Problem == TProblem::Failed) return r;

    for (int attempt = 0; attempt < 2; ++attempt) {
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(FDialect.Driver, FConnection);
            db.setDatabaseName(path);
            db.setConnectOptions(FDialect.ConnectOptions);
            if (!db.open()) {
                Fail(db.lastError());
                r.Detail = FLastError;
                Close();
                r.Problem = TProblem::Failed;
                return r;
            }
        }
        int version = 0;
        bool foreign = false;
        // Nothing is changed in a file before it is known to be ours.
        bool ok = CheckReadable(version, foreign);
        if (ok && !foreign && version <= SchemaVersion)
            for (const QString& sql : FDialect.SessionStatements)
                if (!(ok = Exec(sql))) break;
        if (!ok) {
            r.Detail = FLastError;
            if (FLastErrorKind == TSqlDialect::TErrorKind::Locked) {
                Close();
                r.Problem = TProblem::Locked;
                return r;
            }
            if (FLastErrorKind == TSqlDialect::TErrorKind::ReadOnly) {
                Close();
                r.Problem = TProblem::ReadOnly;
                return r;
            }
            if (attempt == 0) {
                moveAside(TProblem::Damaged, QStringLiteral("defekt"));
                if (r.Problem == TProblem::Failed) return r;
                continue;
            }
            Close();
            r.Problem = TProblem::Failed;
            return r;
        }
        if (foreign || version > SchemaVersion) {
            r.FoundVersion = version;
            if (attempt == 0) {
                if (foreign)
                    moveAside(TProblem::Foreign, QStringLiteral("fremd"));
                else
                    moveAside(TProblem::Newer, QStringLiteral("neuer"));
                if (r.Problem == TProblem::Failed) return r;
                continue;
            }
            Close();
            r.Problem = TProblem::Failed;
            return r;
        }
        if (version < SchemaVersion && !Migrate(version)) {
            r.Detail = FLastError;
            const bool locked = FLastErrorKind == TSqlDialect::TErrorKind::Locked;
            Close();
            if (r.KeptAs.isEmpty()) r.Problem = locked ? TProblem::Locked : TProblem::Failed;
            else r.KeptAs.clear(), r.Problem = TProblem::Failed;
            return r;
        }
        return r;
    }
    return r;
}

bool TEventDb::OpenForReading(const QString& path) {
    Close();
    FPath = path;
    if (!QFileInfo::exists(path) || !LooksLikeSqlite(path)) {
        FLastError = QStringLiteral("keine Datenbank");
        return false;
    }
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(FDialect.Driver, FConnection);
        db.setDatabaseName(path);
        db.setConnectOptions(FDialect.ConnectOptions);
        if (!db.open()) {
            Fail(db.lastError());
            Close();
            return false;
        }
    }
    QSqlQuery q(QSqlDatabase::database(FConnection, false));
    if (!q.exec(QStringLiteral("SELECT value FROM schema_info WHERE name = 'version'")) ||
        !q.next() || q.value(0).toInt() != SchemaVersion) {
        FLastError = q.lastError().text();
        Close();
        return false;
    }
    return true;
}

TEventDb::TOpenResult TEventDb::OpenServer(const QString& connInfo) {
    Close();
    FPath = connInfo;
    TOpenResult r;
    bool opened = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(FDialect.Driver, FConnection);
        db.setConnectOptions(connInfo);
        opened = db.isValid() && db.open();
        if (!opened) Fail(db.lastError());
    }
    if (!opened) {
        r.Detail = FLastError.trimmed().isEmpty()
                       ? QStringLiteral("Treiber %1 fehlt").arg(FDialect.Driver)
                       : FLastError.trimmed();
        Close();
        r.Problem = TProblem::Failed;
        return r;
    }
    int version = 0;
    bool foreign = false;
    // The session's time limits hold from the first statement on; they change nothing stored.
    bool ok = true;
    for (const QString& sql : FDialect.SessionStatements)
        if (!(ok = Exec(sql))) break;
    ok = ok && CheckReadable(version, foreign);
    if (ok && (foreign || version > SchemaVersion)) {
        r.FoundVersion = version;
        r.Problem = foreign ? TProblem::Foreign : TProblem::Newer;
        ok = false;
    } else if (ok && version < SchemaVersion) {
        // Two stations may meet an empty server at once: the loser tries again.
        ok = Migrate(version);
    }
    if (!ok) {
        if (r.Problem == TProblem::None) {
            r.Problem = FLastErrorKind == TSqlDialect::TErrorKind::Locked ? TProblem::Locked
                                                                          : TProblem::Failed;
            r.Detail = FLastError;
        }
        Close();
    }
    return r;
}

bool TEventDb::Ping() {
    if (!IsOpen()) return false;
    QSqlQuery q(QSqlDatabase::database(FConnection, false));
    return q.exec(QStringLiteral("SELECT 1")) && q.next();
}

int TEventDb::FileSchemaVersion(const QString& path) {
    TEventDb db;
    if (!QFileInfo::exists(path) || !LooksLikeSqlite(path)) return -1;
    {
        QSqlDatabase d = QSqlDatabase::addDatabase(db.FDialect.Driver, db.FConnection);
        d.setDatabaseName(path);
        d.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        if (!d.open()) return -1;
    }
    int version = 0;
    bool foreign = false;
    if (!db.CheckReadable(version, foreign)) return -1;
    return foreign ? -1 : version;
}

qint64 TEventDb::NextSeq(const QString& stationId) {
    auto it = FSeq.find(stationId);
    if (it == FSeq.end()) {
        // Numbers go on from the clock (ms) at least: a station whose file was moved
        // aside or lost numbers above what it sent to a server from the old one.
        qint64 max = QDateTime::currentMSecsSinceEpoch();
        QSqlQuery q(QSqlDatabase::database(FConnection, false));
        for (const QString& table : SeqTables) {
            q.prepare(QStringLiteral("SELECT MAX(seq) FROM %1 WHERE station_id = ?").arg(table));
            q.addBindValue(stationId);
            if (q.exec() && q.next()) max = std::max(max, q.value(0).toLongLong());
        }
        it = FSeq.insert(stationId, max);
    }
    return ++*it;
}

QSqlQuery& TEventDb::Prepared(const QString& sql) {
    if (const auto it = FStatements.find(sql); it != FStatements.end()) return *it->second;
    auto q = std::make_unique<QSqlQuery>(QSqlDatabase::database(FConnection, false));
    if (!q->prepare(sql)) { // a locked schema, say: prepared again next time
        FUnprepared = std::move(q);
        return *FUnprepared;
    }
    return *FStatements.emplace(sql, std::move(q)).first->second;
}

bool TEventDb::InsertOne(TRecord& rec) {
    QSqlQuery* q = nullptr;
    const auto head = [&](TRecordHead& h) {
        if (h.Uuid.isEmpty()) h.Uuid = NewRecordUuid();
        if (h.RecordedMs == 0) h.RecordedMs = QDateTime::currentMSecsSinceEpoch();
        if (h.StationId.isEmpty()) h.StationId = h.Station;
        if (h.Seq == 0) h.Seq = NextSeq(h.StationId);
    };
    const QString conflict = QStringLiteral(" ON CONFLICT (uuid) DO NOTHING");
    if (auto* e = std::get_if<TEventInfo>(&rec)) {
        head(*e);
        q = &Prepared(QStringLiteral("INSERT INTO events (uuid, station, seq, recorded_ms, title, "
                                 "event_date, station_id) VALUES (?, ?, ?, ?, ?, ?, ?)") + conflict);
        q->addBindValue(Str(e->Uuid)), q->addBindValue(Str(e->Station)), q->addBindValue(e->Seq);
        q->addBindValue(e->RecordedMs), q->addBindValue(Str(e->Title));
        q->addBindValue(e->Date.toString(Qt::ISODate)), q->addBindValue(Str(e->StationId));
    } else if (auto* t = std::get_if<TEventRename>(&rec)) {
        head(*t);
        q = &Prepared(QStringLiteral("INSERT INTO event_titles (uuid, event_uuid, station, seq, "
                                 "recorded_ms, title, station_id) VALUES (?, ?, ?, ?, ?, ?, ?)") + conflict);
        q->addBindValue(Str(t->Uuid)), q->addBindValue(Str(t->EventUuid)), q->addBindValue(Str(t->Station));
        q->addBindValue(t->Seq), q->addBindValue(t->RecordedMs), q->addBindValue(Str(t->Title));
        q->addBindValue(Str(t->StationId));
    } else if (auto* r = std::get_if<TRunRecord>(&rec)) {
        head(*r);
        q = &Prepared(QStringLiteral(
                      "INSERT INTO runs (uuid, event_uuid, station, seq, recorded_ms, start_ms, "
                      "run_no, car, start_no, name, laps, lap1_ms, lap2_ms, lap3_ms, lap4_ms, "
                      "lap5_ms, total_ms, best_ms, status, station_id) VALUES "
                      "(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)") + conflict);
        q->addBindValue(Str(r->Uuid)), q->addBindValue(Str(r->EventUuid)), q->addBindValue(Str(r->Station));
        q->addBindValue(r->Seq), q->addBindValue(r->RecordedMs), q->addBindValue(r->StartMs);
        q->addBindValue(Str(r->RunNo)), q->addBindValue(r->Car), q->addBindValue(Str(r->StartNo));
        q->addBindValue(Str(r->Name)), q->addBindValue(r->Laps);
        for (int ms : r->LapMs)
            q->addBindValue(Opt(ms));
        q->addBindValue(Opt(r->TotalMs)), q->addBindValue(Opt(r->BestMs));
        q->addBindValue(Str(r->Status)), q->addBindValue(Str(r->StationId));
        if (!q->exec()) return Fail(q->lastError());
        if (q->numRowsAffected() != 1) return true; // written before
        QSqlQuery& ev = Prepared(QStringLiteral("INSERT INTO run_events (run_uuid, idx, kind, source, tick, "
                                  "wall_ms) VALUES (?, ?, ?, ?, ?, ?)"));
        for (size_t i = 0; i < r->Events.size(); ++i) {
            const TTimedEvent& x = r->Events[i];
            ev.addBindValue(Str(r->Uuid)), ev.addBindValue(int(i)), ev.addBindValue(Str(x.Kind));
            ev.addBindValue(Str(x.Source)), ev.addBindValue(x.Tick), ev.addBindValue(x.WallMs);
            if (!ev.exec()) return Fail(ev.lastError());
        }
        return true;
    } else if (auto* c = std::get_if<TCorrection>(&rec)) {
        head(*c);
        q = &Prepared(QStringLiteral("INSERT INTO corrections (uuid, event_uuid, station, seq, "
                                 "recorded_ms, run_uuid, target_uuid, kind, field, ms, amount, "
                                 "value_text, reason, driver, station_id) VALUES "
                                 "(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)") + conflict);
        q->addBindValue(Str(c->Uuid)), q->addBindValue(Str(c->EventUuid)), q->addBindValue(Str(c->Station));
        q->addBindValue(c->Seq), q->addBindValue(c->RecordedMs);
        q->addBindValue(c->RunUuid.isEmpty() ? QVariant() : QVariant(c->RunUuid));
        q->addBindValue(c->TargetUuid.isEmpty() ? QVariant() : QVariant(c->TargetUuid));
        q->addBindValue(Str(c->Kind)), q->addBindValue(c->Field), q->addBindValue(c->Ms);
        q->addBindValue(c->Count), q->addBindValue(Str(c->Text)), q->addBindValue(Str(c->Reason));
        q->addBindValue(Str(c->Name)), q->addBindValue(Str(c->StationId));
    } else if (auto* n = std::get_if<TEntrant>(&rec)) {
        head(*n);
        q = &Prepared(QStringLiteral("INSERT INTO entrants (uuid, event_uuid, station, seq, "
                                 "recorded_ms, start_no, name, class_name, club, vehicle, "
                                 "station_id) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)") + conflict);
        q->addBindValue(Str(n->Uuid)), q->addBindValue(Str(n->EventUuid)), q->addBindValue(Str(n->Station));
        q->addBindValue(n->Seq), q->addBindValue(n->RecordedMs), q->addBindValue(Str(n->StartNo));
        q->addBindValue(Str(n->Name)), q->addBindValue(Str(n->Class)), q->addBindValue(Str(n->Club));
        q->addBindValue(Str(n->Vehicle)), q->addBindValue(Str(n->StationId));
    }
    if (!q) return true;
    if (!q->exec()) return Fail(q->lastError());
    return true;
}

bool TEventDb::Write(std::vector<TRecord>& records) {
    if (!IsOpen()) {
        FLastError = QStringLiteral("nicht geöffnet");
        FLastErrorKind = TSqlDialect::TErrorKind::Other;
        return false;
    }
    QSqlDatabase db = QSqlDatabase::database(FConnection, false);
    if (!db.transaction()) return Fail(db.lastError());
    for (TRecord& rec : records) {
        if (!InsertOne(rec)) {
            const QString error = FLastError;
            const auto kind = FLastErrorKind;
            db.rollback();
            FLastError = error, FLastErrorKind = kind;
            return false;
        }
    }
    if (!db.commit()) {
        Fail(db.lastError());
        db.rollback();
        return false;
    }
    return true;
}

bool TEventDb::Checkpoint() {
    if (FDialect.Checkpoint.isEmpty() || !IsOpen()) return true;
    return Exec(FDialect.Checkpoint);
}

bool TEventDb::CheckpointFully() {
    if (FDialect.Checkpoint.isEmpty() || !IsOpen()) return true;
    return Exec(QStringLiteral("PRAGMA wal_checkpoint(FULL)"));
}

bool TEventDb::CopyTo(const QString& path) {
    if (!IsOpen() || FDialect.Checkpoint.isEmpty()) return false; // a file database only
    QString quoted = path;
    quoted.replace(QLatin1Char('\''), QStringLiteral("''"));
    return Exec(QStringLiteral("VACUUM INTO '%1'").arg(quoted));
}

std::vector<TEventInfo> TEventDb::Events() {
    std::vector<TEventInfo> out;
    QSqlQuery q(QSqlDatabase::database(FConnection, false));
    q.setForwardOnly(true);
    if (!q.exec(QStringLiteral(
            "SELECT e.uuid, e.station, e.seq, e.recorded_ms, e.title, e.event_date, "
            "(SELECT t.title FROM event_titles t WHERE t.event_uuid = e.uuid "
            "ORDER BY t.recorded_ms DESC, t.seq DESC LIMIT 1), e.station_id "
            "FROM events e ORDER BY e.recorded_ms DESC, e.seq DESC"))) {
        Fail(q.lastError());
        return out;
    }
    while (q.next()) {
        TEventInfo e;
        e.Uuid = q.value(0).toString();
        e.Station = q.value(1).toString();
        e.Seq = q.value(2).toLongLong();
        e.RecordedMs = q.value(3).toLongLong();
        e.Title = q.value(6).isNull() ? q.value(4).toString() : q.value(6).toString();
        e.Date = QDate::fromString(q.value(5).toString(), Qt::ISODate);
        e.StationId = q.value(7).toString();
        out.push_back(e);
    }
    return out;
}

std::vector<TRunRecord> TEventDb::Runs(const QString& eventUuid) {
    std::vector<TRunRecord> out;
    QSqlQuery q(QSqlDatabase::database(FConnection, false));
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT ") + RunColumns +
              QStringLiteral(" FROM runs WHERE event_uuid = ? ORDER BY recorded_ms, station, seq"));
    q.addBindValue(eventUuid);
    if (!q.exec()) {
        Fail(q.lastError());
        return out;
    }
    while (q.next())
        out.push_back(ReadRun(q));
    return out;
}

std::vector<TTimedEvent> TEventDb::RunEvents(const QString& runUuid) {
    std::vector<TTimedEvent> out;
    QSqlQuery q(QSqlDatabase::database(FConnection, false));
    q.prepare(QStringLiteral("SELECT kind, source, tick, wall_ms FROM run_events "
                             "WHERE run_uuid = ? ORDER BY idx"));
    q.addBindValue(runUuid);
    if (!q.exec()) {
        Fail(q.lastError());
        return out;
    }
    while (q.next())
        out.push_back({q.value(0).toString(), q.value(1).toString(), q.value(2).toLongLong(),
                       q.value(3).toLongLong()});
    return out;
}

std::vector<TCorrection> TEventDb::Corrections(const QString& eventUuid) {
    std::vector<TCorrection> out;
    QSqlQuery q(QSqlDatabase::database(FConnection, false));
    q.setForwardOnly(true);
    // Stations' sequence numbers do not compare: the time orders, the station breaks ties.
    q.prepare(QStringLiteral("SELECT ") + CorrectionColumns +
              QStringLiteral(" FROM corrections WHERE event_uuid = ? "
                             "ORDER BY recorded_ms, station, seq"));
    q.addBindValue(eventUuid);
    if (!q.exec()) {
        Fail(q.lastError());
        return out;
    }
    while (q.next())
        out.push_back(ReadCorrection(q));
    return out;
}

std::vector<TEntrant> TEventDb::Entrants(const QString& eventUuid) {
    std::vector<TEntrant> out;
    QSqlQuery q(QSqlDatabase::database(FConnection, false));
    q.prepare(QStringLiteral("SELECT ") + EntrantColumns +
              QStringLiteral(" FROM entrants WHERE event_uuid = ? ORDER BY recorded_ms, station, seq"));
    q.addBindValue(eventUuid);
    if (!q.exec()) {
        Fail(q.lastError());
        return out;
    }
    while (q.next())
        out.push_back(ReadEntrant(q));
    return out;
}

bool TEventDb::EventRecordsAfter(const QString& eventUuid, const QString& stationId, qint64& mark,
                                 TNewRecords& out) {
    const auto select = [&](const QString& columns, const QString& table, auto read, auto& into) {
        QSqlQuery& q = Prepared(QStringLiteral("SELECT %1 FROM %2 WHERE station_id = ? AND seq > ? "
                                               "AND event_uuid = ? ORDER BY recorded_ms, seq")
                                    .arg(columns, table));
        q.addBindValue(stationId);
        q.addBindValue(mark);
        q.addBindValue(eventUuid);
        if (!q.exec()) return Fail(q.lastError());
        while (q.next())
            into.push_back(read(q));
        q.finish();
        return true;
    };
    if (!select(RunColumns, QStringLiteral("runs"), ReadRun, out.Runs) ||
        !select(CorrectionColumns, QStringLiteral("corrections"), ReadCorrection, out.Corrections) ||
        !select(EntrantColumns, QStringLiteral("entrants"), ReadEntrant, out.Entrants))
        return false;
    qint64 next = mark;
    for (const TEntrant& e : out.Entrants)
        next = std::max(next, e.Seq);
    // Both have an index on (station_id, seq): the highest is found at once.
    for (const QString& table : {QStringLiteral("runs"), QStringLiteral("corrections")}) {
        QSqlQuery& q = Prepared(QStringLiteral("SELECT MAX(seq) FROM %1 WHERE station_id = ?").arg(table));
        q.addBindValue(stationId);
        if (!q.exec()) return Fail(q.lastError());
        if (q.next()) next = std::max(next, q.value(0).toLongLong());
        q.finish();
    }
    mark = next;
    return true;
}

std::vector<TEffectiveRun> TEventDb::EffectiveRuns(const QString& eventUuid) {
    TRunCursor cursor;
    std::vector<TEffectiveRun> out;
    if (!cursor.Start(*this, eventUuid)) return out;
    out = cursor.Next(std::numeric_limits<int>::max());
    std::reverse(out.begin(), out.end()); // in recorded order
    return out;
}

bool TRunCursor::Start(TEventDb& db, const QString& eventUuid) {
    Close();
    for (TCorrection& c : db.Corrections(eventUuid))
        if (!c.RunUuid.isEmpty()) FCorrections[c.RunUuid].push_back(std::move(c));
    FQuery = std::make_unique<QSqlQuery>(db.Database());
    FQuery->setForwardOnly(true);
    FQuery->prepare(QStringLiteral("SELECT ") + RunColumns +
                    QStringLiteral(" FROM runs WHERE event_uuid = ? "
                                   "ORDER BY recorded_ms DESC, station DESC, seq DESC"));
    FQuery->addBindValue(eventUuid);
    if (FQuery->exec()) return true;
    FQuery.reset();
    return false;
}

std::vector<TEffectiveRun> TRunCursor::Next(int max) {
    std::vector<TEffectiveRun> out;
    static const std::vector<TCorrection> none;
    while (FQuery && int(out.size()) < max) {
        if (!FQuery->next()) {
            Close();
            break;
        }
        const TRunRecord r = ReadRun(*FQuery);
        const auto it = FCorrections.constFind(r.Uuid);
        out.push_back(EffectiveRun(r, it == FCorrections.constEnd() ? none : *it));
    }
    return out;
}

void TRunCursor::Close() {
    FQuery.reset();
    FCorrections.clear();
}

qint64 TEventDb::RunCount() {
    QSqlQuery q(QSqlDatabase::database(FConnection, false));
    if (!q.exec(QStringLiteral("SELECT count(*) FROM runs")) || !q.next()) return -1;
    return q.value(0).toLongLong();
}

bool TEventDb::HasRun(const QString& runUuid) {
    QSqlQuery q(QSqlDatabase::database(FConnection, false));
    q.prepare(QStringLiteral("SELECT 1 FROM runs WHERE uuid = ?"));
    q.addBindValue(runUuid);
    return q.exec() && q.next();
}

QString TEventDb::EventOfRun(const QString& runUuid) {
    QSqlQuery q(QSqlDatabase::database(FConnection, false));
    q.prepare(QStringLiteral("SELECT event_uuid FROM runs WHERE uuid = ?"));
    q.addBindValue(runUuid);
    return q.exec() && q.next() ? q.value(0).toString() : QString();
}

bool TEventDb::HasCorrection(const QString& uuid) {
    QSqlQuery q(QSqlDatabase::database(FConnection, false));
    q.prepare(QStringLiteral("SELECT 1 FROM corrections WHERE uuid = ?"));
    q.addBindValue(uuid);
    return q.exec() && q.next();
}

bool TEventDb::BeginRead() {
    QSqlDatabase db = QSqlDatabase::database(FConnection, false);
    if (!db.transaction()) return Fail(db.lastError());
    // SQLite's reader keeps its snapshot from the first read on by itself.
    if (FDialect.Driver == QLatin1String("QPSQL") &&
        !Exec(QStringLiteral("SET TRANSACTION ISOLATION LEVEL REPEATABLE READ"))) {
        db.rollback();
        return false;
    }
    return true;
}

void TEventDb::EndRead() {
    QSqlDatabase db = QSqlDatabase::database(FConnection, false);
    if (!db.commit()) db.rollback();
}

bool TEventDb::StationMarks(QHash<QString, qint64>& marks) {
    marks.clear();
    QSqlQuery q(QSqlDatabase::database(FConnection, false));
    q.setForwardOnly(true);
    for (const QString& table : SeqTables) {
        if (!q.exec(QStringLiteral("SELECT station_id, MAX(seq) FROM %1 GROUP BY station_id").arg(table))) {
            marks.clear();
            return Fail(q.lastError());
        }
        while (q.next()) {
            qint64& m = marks[q.value(0).toString()];
            m = std::max(m, q.value(1).toLongLong());
        }
    }
    return true;
}

bool TEventDb::StationNames(QHash<QString, QString>& names) {
    names.clear();
    QHash<QString, qint64> latest;
    QSqlQuery q(QSqlDatabase::database(FConnection, false));
    q.setForwardOnly(true);
    for (const QString& table : SeqTables) {
        if (!q.exec(QStringLiteral("SELECT t.station_id, t.station, t.seq FROM %1 t JOIN "
                                   "(SELECT station_id, MAX(seq) AS m FROM %1 GROUP BY station_id) x "
                                   "ON t.station_id = x.station_id AND t.seq = x.m")
                        .arg(table))) {
            names.clear();
            return Fail(q.lastError());
        }
        while (q.next()) {
            const QString id = q.value(0).toString();
            const qint64 seq = q.value(2).toLongLong();
            if (latest.contains(id) && latest.value(id) >= seq) continue;
            latest.insert(id, seq);
            names.insert(id, q.value(1).toString());
        }
    }
    return true;
}

bool TEventDb::RecordsOf(const QString& stationId, qint64 afterSeq, int limit, std::vector<TRecord>& out) {
    out.clear();
    QSqlDatabase db = QSqlDatabase::database(FConnection, false);
    QSqlQuery q(db);
    q.setForwardOnly(true);
    const auto select = [&](const QString& table, const QString& columns,
                            const std::function<TRecord(const QSqlQuery&)>& read) {
        q.prepare(QStringLiteral("SELECT %1 FROM %2 WHERE station_id = ? AND seq > ? ORDER BY seq LIMIT %3")
                      .arg(columns, table)
                      .arg(limit));
        q.addBindValue(stationId);
        q.addBindValue(afterSeq);
        if (!q.exec()) return Fail(q.lastError());
        while (q.next())
            out.push_back(read(q));
        return true;
    };
    if (!select(QStringLiteral("events"), EventColumns, ReadEvent) ||
        !select(QStringLiteral("event_titles"), RenameColumns, ReadRename) ||
        !select(QStringLiteral("runs"), RunColumns, ReadRun) ||
        !select(QStringLiteral("corrections"), CorrectionColumns, ReadCorrection) ||
        !select(QStringLiteral("entrants"), EntrantColumns, ReadEntrant)) {
        out.clear();
        return false;
    }
    const auto seqOf = [](const TRecord& r) { return std::visit([](const auto& x) { return x.Seq; }, r); };
    std::sort(out.begin(), out.end(),
              [&](const TRecord& a, const TRecord& b) { return seqOf(a) < seqOf(b); });
    if (out.size() > size_t(limit)) out.resize(size_t(limit));
    // The timing events of the runs taken, in one read.
    QHash<QString, TRunRecord*> runs;
    for (TRecord& r : out)
        if (auto* run = std::get_if<TRunRecord>(&r)) runs.insert(run->Uuid, run);
    if (runs.isEmpty()) return true;
    q.prepare(QStringLiteral("SELECT e.run_uuid, e.kind, e.source, e.tick, e.wall_ms FROM run_events e "
                             "JOIN runs r ON r.uuid = e.run_uuid WHERE r.station_id = ? AND r.seq > ? "
                             "AND r.seq <= ? ORDER BY e.run_uuid, e.idx"));
    q.addBindValue(stationId);
    q.addBindValue(afterSeq);
    q.addBindValue(seqOf(out.back()));
    if (!q.exec()) {
        out.clear();
        return Fail(q.lastError());
    }
    while (q.next())
        if (TRunRecord* run = runs.value(q.value(0).toString()))
            run->Events.push_back({q.value(1).toString(), q.value(2).toString(),
                                   q.value(3).toLongLong(), q.value(4).toLongLong()});
    return true;
}
