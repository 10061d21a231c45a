#pragma once
#include "LiveState.h"

#include <QHostAddress>
#include <QString>
#include <atomic>

class QThread;
class TLiveWorker;

// Limits that keep the server from being tied up by a client. Requests in
// progress and open event streams have budgets of their own: a stream costs
// next to nothing while it waits for the next change, a request may be slow.
struct TLiveLimits {
    int MaxRequests = 256;             // connections waiting for or being answered a request
    int MaxStreams = 4000;             // open event streams
    int MaxPerAddress = 16;            // connections of one client address, streams included
    int MaxHeadBytes = 4096;           // a request head larger than this is refused
    int RequestTimeoutMs = 5000;       // a whole request must arrive within this
    int BusyTimeoutMs = 500;           // ... or within this while the request budget is nearly used up
    int StallTimeoutMs = 10000;        // a client that takes no data for this long is cut off
    int LingerMs = 2000;               // after the last answer, the client's end is awaited this long
    qint64 MaxBufferedBytes = 8 << 20; // answers queued for a client that does not read
    int StreamSendBuffer = 32 * 1024;  // the system's send buffer of an event stream
    int PingIntervalMs = 15000;        // keeps idle event streams (and their proxies) open
};

// Figures of the server, readable from any thread.
struct TLiveCounters {
    std::atomic<int> Open{0};    // connections being served, streams included
    std::atomic<int> Streams{0}; // of these: open event streams
    std::atomic<int> Lingering{0};
    std::atomic<bool> Paused{false}; // not accepting: the request budget is used up
    std::atomic<qint64> Accepted{0};
    std::atomic<qint64> Refused{0}; // over a limit, answered with 503
    std::atomic<qint64> CutOff{0};  // slow, stalled or oversized clients
    std::atomic<qint64> Evicted{0}; // idle or slow connections closed to let a new one in
    std::atomic<qint64> Answered{0};
    std::atomic<qint64> Pushed{0}; // state documents sent to event streams
};

// The read-only web server of the live results. It runs on a thread of its own,
// so no client can delay the window or a timing event; the window only hands it
// a copy of the state after each change.
class TLiveServer {
public:
    explicit TLiveServer(const TLiveLimits& limits = {});
    ~TLiveServer();
    TLiveServer(const TLiveServer&) = delete;
    TLiveServer& operator=(const TLiveServer&) = delete;

    // Listens on the port (0: any free port). False with a German message.
    bool Start(quint16 port, const QHostAddress& address, QString& error);
    void Stop();
    bool IsListening() const { return FListening; }
    quint16 Port() const { return FPort; }

    // Hands a new state to the server thread; every open page gets it at once.
    void Publish(const TLiveState& state);

    const TLiveCounters& Counters() const { return FCounters; }

private:
    TLiveLimits FLimits;
    TLiveCounters FCounters;
    QThread* FThread = nullptr;
    TLiveWorker* FWorker = nullptr;
    bool FListening = false;
    quint16 FPort = 0;
};

// German message for a port the server cannot listen on.
QString LiveListenError(int socketError, quint16 port, const QString& detail);
