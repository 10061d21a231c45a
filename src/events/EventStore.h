#pragma once
// The event database's writer: records are handed over and written on a thread
// of its own, each batch in one transaction, so a timing handler never waits for
// the disk. A batch the database does not take (locked, read-only, disk full,
// damaged) stays queued in memory and in a spool file beside the database, is
// tried again every few seconds, and the user is told once what is wrong.
#include "EventDb.h"

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <set>
#include <thread>

class TEventStore {
public:
    TEventStore() = default;
    ~TEventStore(); // writes what it can, then stops
    TEventStore(const TEventStore&) = delete;
    TEventStore& operator=(const TEventStore&) = delete;

    // Starts the writer on the database file; records left in the spool by an
    // earlier program run are queued first. The station's records carry its name
    // as a label and its identity (empty: the name) as the key of their numbers.
    void Start(const QString& dbPath, const QString& station, const QString& stationId = QString());
    void Stop();
    bool IsStarted() const { return FThread.joinable(); }
    QString Path() const { return FPath; }
    QString SpoolPath() const { return FPath + QStringLiteral(".warteschlange"); }
    QString Station() const { return FStation; }
    QString StationId() const { return FStationId; }
    // A new name for the records handed over from now on (on the thread that adds).
    void SetStation(const QString& station) { FStation = station; }

    // Hands a record over; its UUID, station and time are set here and the UUID
    // returned, so corrections can point at it at once.
    QString Add(TEventDb::TRecord rec);
    // Waits until everything handed over is written or a write failed (at most
    // timeoutMs). True when nothing is left queued.
    bool Flush(int timeoutMs = 5000);
    int Pending() const;
    // Written records since start.
    int Written() const;

    // Time between tries while the database does not take the records.
    int RetryMs = 2000;
    // The journal is folded into the database file after this long without records.
    int CheckpointIdleMs = 1000;
    // A German text, once per kind of problem; called on the writer thread.
    std::function<void(TEventStore*, const QString&)> OnProblem;
    // After records were committed; called on the writer thread.
    std::function<void(TEventStore*)> OnCommitted;

    // The spool's line for a record and back (one JSON object per line).
    static QByteArray Encode(const TEventDb::TRecord& rec);
    static bool Decode(const QByteArray& line, TEventDb::TRecord& rec);

private:
    void Run();
    bool EnsureOpen(TEventDb& db);
    void Report(int kind, const QString& text);
    void WriteSpool(const std::deque<TEventDb::TRecord>& records);
    QString ProblemText(TSqlDialect::TErrorKind kind, const QString& detail) const;
    // Device and inode of a file; zero where there is none (and on Windows).
    struct TFileId {
        quint64 Dev = 0, Ino = 0;
        bool operator==(const TFileId&) const = default;
        bool Valid() const { return Ino != 0; }
    };
    static TFileId FileId(const QString& path);
    // False when the open database must not be written now (see Run).
    bool Guard(TEventDb& db, TFileId& dbId, TFileId& walId);

    QString FPath, FStation, FStationId;
    mutable std::mutex FMutex;
    std::condition_variable FWake, FIdle;
    std::deque<TEventDb::TRecord> FQueue;
    bool FStop = false;
    bool FFailing = false; // the last try did not write
    bool FBusy = false;
    int FWritten = 0;
    std::set<int> FReported; // problem kinds told already
    std::thread FThread;
};
