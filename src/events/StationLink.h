#pragma once
// Several timing stations, one event: a station commits every record to its own
// database file first (the store), and this link forwards the file's records
// the server lacks to a shared server in the background, in their order, and
// pulls what the server has and the file lacks into the file. A station is known
// by its identity (its name is a label) and numbers its records on its own, so
// two stations under one name never clash; a record carries its UUID, so a
// record sent twice is stored once. While the server is gone or hangs the
// station keeps timing, and the link catches up when it is back. Nothing here
// ever waits for the server on the caller's thread.
#include "EventDb.h"

#include <functional>
#include <memory>
#include <thread>

class TStationLink {
public:
    TStationLink() = default;
    ~TStationLink(); // Stop(1000)
    TStationLink(const TStationLink&) = delete;
    TStationLink& operator=(const TStationLink&) = delete;

    // Exchanges the records of the database file with the server (a libpq
    // connection string). station is this station's name, stationId its identity
    // (empty: the name), replaces the identities whose name it took over.
    void Start(const QString& localPath, const QString& connInfo, const QString& station,
               const QString& stationId = QString(), const QStringList& replaces = QStringList());
    // Returns after at most waitMs: a link hung in a call to the server is left to
    // end by itself (its statements time out) and tells nothing any more; what it
    // had not sent stays in the file for the next start.
    void Stop(int waitMs = 1000);
    bool IsStarted() const { return bool(FRun); }
    // Looks at once instead of at the next poll (after a local commit).
    void Notify();

    bool IsUp() const;
    qint64 Forwarded() const; // records taken by the server since start (sent twice: counted once)
    qint64 Pulled() const;    // records of other stations written into the file since start
    // How long the server has acknowledged nothing while connected (0: it answers).
    qint64 SilentMs() const;

    int PollMs = 300;   // looking for other stations' records while connected
    int RetryMs = 1000; // connecting again while the server is gone
    int BatchSize = 500;

    // Called on the link's thread, never after Stop returned.
    // The server became reachable (up) or not; detail is the driver's text.
    std::function<void(TStationLink*, bool up, const QString& detail)> OnState;
    // A German text, once per kind of problem.
    std::function<void(TStationLink*, const QString& text)> OnProblem;
    // Records of other stations were written into the file; events: among them an event.
    std::function<void(TStationLink*, int count, bool events)> OnPulled;
    // Records of the file reached the server.
    std::function<void(TStationLink*, int count)> OnForwarded;
    // Other stations (their identities) go by this station's name on the server;
    // once per start. Their records and this station's are all sent either way.
    std::function<void(TStationLink*, const QString& name, const QStringList& others)> OnNameTaken;

    struct TRun;

private:
    std::shared_ptr<TRun> FRun;
    std::thread FThread;
};

// The question when another station goes by this station's name.
QString NameTakenText(const QString& name);
inline const QString OtherNameChoice = QStringLiteral("anderen Namen wählen");
inline const QString ReplaceChoice = QStringLiteral("diese Station ersetzen");
// The status while the server acknowledges nothing: "Server antwortet nicht (seit 12 s)".
QString ServerSilentText(qint64 silentMs);
// From how long without an acknowledgement the status says so.
constexpr qint64 ServerSilentAfterMs = 5000;
