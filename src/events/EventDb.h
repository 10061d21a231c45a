#pragma once
// One connection to the event database: opening with its checks, the schema and
// its migrations, writing records and reading them back. A connection belongs to
// the thread that opened it; the store's writer thread holds the only writing one,
// windows open their own for reading.
#include "EventRecords.h"
#include "SqlDialect.h"

#include <QHash>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <map>
#include <memory>
#include <variant>

class TEventDb {
public:
    static constexpr int SchemaVersion = 2;
    static const QString Application; // marks our databases in schema_info

    enum class TProblem { None, Damaged, Foreign, Newer, Locked, ReadOnly, Failed };
    struct TOpenResult {
        TProblem Problem = TProblem::None;
        QString KeptAs;    // where an unusable file was moved
        QString Detail;    // the driver's text
        int FoundVersion = 0;
        bool Ok() const { return Problem == TProblem::None || !KeptAs.isEmpty(); }
    };

    using TRecord = std::variant<TEventInfo, TEventRename, TRunRecord, TCorrection, TEntrant>;

    explicit TEventDb(TSqlDialect dialect = TSqlDialect::Sqlite());
    ~TEventDb();
    TEventDb(const TEventDb&) = delete;
    TEventDb& operator=(const TEventDb&) = delete;

    // Opens for writing: a missing or empty file gets the schema, an older one is
    // migrated (a copy of it kept first). A damaged, foreign or newer file is
    // moved aside (never overwritten) and a new database made in its place. A
    // locked or read-only file stays closed: try again later.
    TOpenResult OpenForWriting(const QString& path);
    // Opens an existing database of our schema for reading.
    bool OpenForReading(const QString& path);
    // Opens the event database on a server (QPSQL, a libpq connection string).
    // An empty database gets the schema, an older one is migrated. A database
    // that is not ours or of a newer schema is left as it is (Foreign, Newer):
    // nothing on a server is ever moved or dropped.
    TOpenResult OpenServer(const QString& connInfo);
    // Whether an open connection still answers.
    bool Ping();
    bool IsOpen() const;
    void Close();
    QString Path() const { return FPath; }
    QString LastError() const { return FLastError; }
    TSqlDialect::TErrorKind LastErrorKind() const { return FLastErrorKind; }

    // Writes the records in one transaction: all or none. Empty UUIDs and
    // stations are filled in, sequence numbers given per station in order. A
    // record whose UUID is already there is passed over (written once).
    bool Write(std::vector<TRecord>& records);
    // Folds the committed journal into the database file (a commit does not).
    bool Checkpoint();
    // Folds all of it, waiting for readers: the log file may be gone from the folder.
    bool CheckpointFully();
    // A complete copy of the open database, its log included, as a new file.
    bool CopyTo(const QString& path);

    // --- reading
    std::vector<TEventInfo> Events(); // newest first, with their latest title
    std::vector<TRunRecord> Runs(const QString& eventUuid); // in recorded order, no events
    std::vector<TTimedEvent> RunEvents(const QString& runUuid);
    std::vector<TCorrection> Corrections(const QString& eventUuid); // in recorded order
    std::vector<TEntrant> Entrants(const QString& eventUuid);
    // The event's runs (without timing events), corrections and entrants a station
    // (by its identity) wrote after the sequence number mark, each in recorded order. mark moves on to
    // the station's highest run or correction of any event; read it between
    // BeginRead and EndRead so every record up to the mark is there.
    struct TNewRecords {
        std::vector<TRunRecord> Runs;
        std::vector<TCorrection> Corrections;
        std::vector<TEntrant> Entrants;
    };
    bool EventRecordsAfter(const QString& eventUuid, const QString& stationId, qint64& mark,
                           TNewRecords& out);
    // Every run of the event with its corrections applied.
    std::vector<TEffectiveRun> EffectiveRuns(const QString& eventUuid);
    QSqlDatabase Database() const { return QSqlDatabase::database(FConnection, false); }
    qint64 RunCount();
    bool HasRun(const QString& runUuid);
    bool HasCorrection(const QString& uuid);
    QString EventOfRun(const QString& runUuid); // empty: no such run

    // --- exchange between stations
    // Reads between these see one state of the database, whatever commits meanwhile.
    bool BeginRead();
    void EndRead();
    // The highest sequence number of every station identity.
    bool StationMarks(QHash<QString, qint64>& marks);
    // Every station identity with the name of its latest record.
    bool StationNames(QHash<QString, QString>& names);
    // An identity's records after a sequence number in their order, at most limit.
    bool RecordsOf(const QString& stationId, qint64 afterSeq, int limit, std::vector<TRecord>& out);

    // Reads a file's schema version without changing it (0: none, -1: unreadable).
    static int FileSchemaVersion(const QString& path);

private:
    bool Exec(const QString& sql);
    bool Fail(const QSqlError& e);
    bool Migrate(int from);
    bool CheckReadable(int& version, bool& foreign);
    bool InsertOne(TRecord& rec);
    qint64 NextSeq(const QString& stationId);
    // A statement prepared once per connection.
    QSqlQuery& Prepared(const QString& sql);

    TSqlDialect FDialect;
    QString FConnection;
    QString FPath;
    QString FLastError;
    TSqlDialect::TErrorKind FLastErrorKind = TSqlDialect::TErrorKind::Other;
    QHash<QString, qint64> FSeq; // last sequence number per station identity
    std::map<QString, std::unique_ptr<QSqlQuery>> FStatements; // by their SQL
    std::unique_ptr<QSqlQuery> FUnprepared; // one that failed, tried again next time
};

// The runs of an event newest first with their corrections applied, a slice at a
// time, so a long list can be shown before all of it is read. The corrections
// are read at the start; the runs come from one query that reads in the
// snapshot of its start. Close it before its database.
class TRunCursor {
public:
    bool Start(TEventDb& db, const QString& eventUuid);
    // Up to max further runs, newest first; fewer at the end.
    std::vector<TEffectiveRun> Next(int max);
    bool AtEnd() const { return !FQuery; }
    void Close();

private:
    std::unique_ptr<QSqlQuery> FQuery;
    QHash<QString, std::vector<TCorrection>> FCorrections; // by run
};

// The file name an unusable database is kept under: <base>.<tag>-<time>.db.
QString KeptAsideName(const QString& path, const QString& tag);
