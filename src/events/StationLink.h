#pragma once
// Several timing stations, one event: a station commits every record to its own
// database file first (the store), and this link forwards the station's records
// to a shared server in the background, in their order, and pulls the records of
// the other stations into the local file. A record carries its UUID, so a record
// sent twice is stored once; while the server is gone the station keeps timing
// and the link catches up when it is back.
#include "EventDb.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <set>
#include <thread>

class TStationLink {
public:
    TStationLink() = default;
    ~TStationLink();
    TStationLink(const TStationLink&) = delete;
    TStationLink& operator=(const TStationLink&) = delete;

    // Forwards the station's records of the database file to the server (a libpq
    // connection string) and pulls the other stations' records into the file.
    void Start(const QString& localPath, const QString& connInfo, const QString& station);
    void Stop();
    bool IsStarted() const { return FThread.joinable(); }
    QString Station() const { return FStation; }
    // Looks at once instead of at the next poll (after a local commit).
    void Notify();

    bool IsUp() const;
    qint64 Forwarded() const; // records taken by the server since start (sent twice: counted once)
    qint64 Pulled() const;    // records of other stations written into the file since start

    int PollMs = 300;   // looking for other stations' records while connected
    int RetryMs = 1000; // connecting again while the server is gone
    int BatchSize = 500;

    // Called on the link's thread.
    // The server became reachable (up) or not; detail is the driver's text.
    std::function<void(TStationLink*, bool up, const QString& detail)> OnState;
    // A German text, once per kind of problem.
    std::function<void(TStationLink*, const QString& text)> OnProblem;
    // Records of other stations were written into the file; events: among them an event.
    std::function<void(TStationLink*, int count, bool events)> OnPulled;
    // Records of this station reached the server.
    std::function<void(TStationLink*, int count)> OnForwarded;

private:
    void Run();
    int Cycle(TEventDb& local, TEventDb& server);
    bool Connect(TEventDb& local, TEventDb& server);
    bool Forward(TEventDb& local, TEventDb& server);
    bool Pull(TEventDb& local, TEventDb& server, bool& more);
    void ServerFailed(TEventDb& server);
    void SetUp(bool up, const QString& detail);
    void Report(int kind, const QString& text);
    bool Stopping() const;

    QString FLocalPath, FConnInfo, FStation;
    mutable std::mutex FMutex;
    std::condition_variable FWake;
    bool FStop = false;
    bool FNotified = false;
    bool FUp = false;
    bool FStateTold = false;
    qint64 FForwarded = 0, FPulled = 0;
    qint64 FForwardMark = 0;            // our last record the server holds
    std::chrono::steady_clock::time_point FForwardAgain; // after the server refused ours
    QHash<QString, qint64> FHave;       // other stations: last record in the file
    bool FHaveRead = false;
    std::set<int> FReported;
    std::thread FThread;
};
