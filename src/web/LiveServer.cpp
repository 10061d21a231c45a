#include "LiveServer.h"

#include "HttpRequest.h"
#include "SocketPlatform.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>
#include <deque>
#include <unordered_map>
#include <utility>

static void InitWebResources() {
    Q_INIT_RESOURCE(web);
}

namespace {

// Stop parsing pipelined requests while this much is still queued for a client.
constexpr qint64 BackpressureBytes = 64 * 1024;
const QByteArray StatePlaceholder = "@LIVE_STATE@";

const QByteArray PageHeaders =
    "Content-Security-Policy: default-src 'none'; script-src 'unsafe-inline'; "
    "style-src 'unsafe-inline'; connect-src 'self'; img-src 'self' data:; base-uri 'none'; "
    "form-action 'none'; frame-ancestors 'none'\r\n";

} // namespace

class TLiveWorker : public QObject {
public:
    TLiveWorker(const TLiveLimits& limits, TLiveCounters& counters)
        : FLimits(limits), FCounters(counters) {
        FBody = LiveStateJsonBody(TLiveState{}, 0);
        FStandingsBody = LiveStandingsJsonBody(TLiveState{}, 0);
        FSeasonBody = LiveSeasonJsonBody(TLiveState{}, 0);
    }

    bool Listen(quint16 port, const QHostAddress& address, QString& error, quint16& bound) {
        if (FPage.isEmpty()) {
            QFile f(QStringLiteral(":/web/live.html"));
            if (f.open(QIODevice::ReadOnly)) FPage = f.readAll();
        }
        FServer = new QTcpServer(this);
        // A crowd of phones arriving at once waits in the system's queue, not refused.
        FServer->setListenBacklogSize(1024);
        if (!FServer->listen(address, port)) {
            error = LiveListenError(FServer->serverError(), port, FServer->errorString());
            delete FServer;
            FServer = nullptr;
            return false;
        }
        bound = FServer->serverPort();
        QObject::connect(FServer, &QTcpServer::newConnection, this, [this] { Accept(); });
        FClock.start();
        FSweep = new QTimer(this);
        FSweep->setInterval(qBound(
            20, qMin(qMin(FLimits.RequestTimeoutMs, FLimits.StallTimeoutMs), FLimits.LingerMs) / 4,
            250));
        QObject::connect(FSweep, &QTimer::timeout, this, [this] { Sweep(); });
        FSweep->start();
        FLastPing = FClock.elapsed();
        return true;
    }

    void Close() {
        delete FSweep;
        FSweep = nullptr;
        delete std::exchange(FServer, nullptr);
        // A request under way is told to come again before the connection goes.
        for (auto& [s, c] : FConns)
            if (!c.Streaming && (!c.In.isEmpty() || s->bytesAvailable() > 0)) {
                s->write(HttpErrorResponse(503));
                s->flush();
            }
        while (!FConns.empty())
            Drop(FConns.begin()->first, false);
        for (const auto& l : FLinger)
            if (l.Socket) Abort(l.Socket);
        FLinger.clear();
        FCounters.Lingering = 0;
        FCounters.Paused = false;
        ReleaseFreeMemory();
    }

    void SetState(const TLiveState& state) {
        FBody = LiveStateJsonBody(state, ++FSeq);
        FStandingsBody = LiveStandingsJsonBody(state, FSeq);
        if (state.SeasonStamp != FSeasonStamp || state.SeasonName != FSeasonName) { // made again only when it changed
            FSeasonBody = LiveSeasonJsonBody(state, FSeq);
            FSeasonStamp = state.SeasonStamp;
            FSeasonName = state.SeasonName;
        }
        const QByteArray event = Event();
        std::vector<QTcpSocket*> streams;
        for (auto& [s, c] : FConns)
            if (c.Streaming) streams.push_back(s);
        for (QTcpSocket* s : streams) {
            // A stream still busy with an earlier copy gets only the latest, once it has caught up.
            if (s->bytesToWrite() > 0) {
                Conn& c = FConns[s];
                c.Behind = true;
                if (c.BehindSince < 0) c.BehindSince = FClock.elapsed();
            } else if (Send(s, event))
                ++FCounters.Pushed;
        }
    }

private:
    struct Conn {
        QByteArray In;
        QHostAddress Peer;
        qint64 PhaseStart = 0; // waiting for a request since
        qint64 LastProgress = 0;
        int Served = 0; // requests answered on this connection
        bool Streaming = false;
        bool Behind = false;     // a stream that missed a change while its data was queued
        qint64 BehindSince = -1; // ... and has not caught up since
    };
    struct Lingering {
        QPointer<QTcpSocket> Socket;
        qint64 Deadline = 0;
    };

    QByteArray Document() const {
        return LiveStateJson(FBody, QDateTime::currentMSecsSinceEpoch());
    }
    QByteArray Event() const { return "data: " + Document() + "\n\n"; }

    static QHostAddress PeerOf(const QTcpSocket* s) {
        const QHostAddress a = s->peerAddress();
        bool v4 = false;
        const quint32 ip = a.toIPv4Address(&v4); // an IPv4 client on a dual-stack socket
        return v4 ? QHostAddress(ip) : a;
    }

    int Requests() const { return static_cast<int>(FConns.size()) - FStreams; }

    void UpdateCounters() {
        FCounters.Open = static_cast<int>(FConns.size());
        FCounters.Streams = FStreams;
        FCounters.Lingering = static_cast<int>(FLinger.size());
    }

    // New connections are taken while the request budget allows; beyond it an idle or
    // slow connection makes room, or accepting pauses and they wait in the system's queue.
    void Accept() {
        if (FAccepting || !FServer) return;
        FAccepting = true;
        bool blocked = false;
        while (FServer->hasPendingConnections()) {
            if (Requests() >= FLimits.MaxRequests && !Evict()) {
                blocked = true;
                break;
            }
            QTcpSocket* s = FServer->nextPendingConnection();
            if (!s) break;
            s->setParent(this); // closing the server leaves the connections to Close()
            const QHostAddress peer = PeerOf(s);
            int& count = FPerAddress[peer];
            if (count >= FLimits.MaxPerAddress) {
                // One client may not crowd out the others.
                ++FCounters.Refused;
                s->write(HttpErrorResponse(503));
                Linger(s);
                continue;
            }
            ++count;
            ++FCounters.Accepted;
            Conn& c = FConns[s];
            c.Peer = peer;
            c.PhaseStart = c.LastProgress = FClock.elapsed();
            QObject::connect(s, &QTcpSocket::readyRead, this, [this, s] { Read(s); });
            QObject::connect(s, &QTcpSocket::bytesWritten, this, [this, s] { Written(s); });
            QObject::connect(s, &QTcpSocket::disconnected, this, [this, s] { Drop(s, true); });
            // What arrived while the connection waited in the server's queue was read
            // then, with nobody told.
            if (s->bytesAvailable() > 0) QTimer::singleShot(0, s, [this, s] { Read(s); });
        }
        if (blocked != FCounters.Paused.load()) {
            if (blocked)
                FServer->pauseAccepting();
            else
                FServer->resumeAccepting();
            FCounters.Paused = blocked;
        }
        UpdateCounters();
        FAccepting = false;
    }

    // Closes the connection that least deserves its place: an idle keep-alive
    // connection first, then one that has been sending its request for a while,
    // from the address holding the most connections. False when there is none.
    bool Evict() {
        // What clients sent meanwhile is read first: a request that arrived is no idle
        // connection, and one that can be answered at once makes room by itself.
        std::vector<QTcpSocket*> waiting;
        for (auto& [s, c] : FConns)
            if (!c.Streaming && s->bytesAvailable() > 0) waiting.push_back(s);
        for (QTcpSocket* s : waiting)
            Read(s);
        if (Requests() < FLimits.MaxRequests) return true;
        const qint64 now = FClock.elapsed();
        QTcpSocket* idle = nullptr;
        QTcpSocket* slow = nullptr;
        qint64 idleSince = 0;
        int slowAddressCount = 0;
        qint64 slowSince = 0;
        for (auto& [s, c] : FConns) {
            if (c.Streaming || s->bytesToWrite() > 0) continue;
            if (c.Served > 0 && c.In.isEmpty()) {
                if (!idle || c.PhaseStart < idleSince) idle = s, idleSince = c.PhaseStart;
            } else if (now - c.PhaseStart >= FLimits.BusyTimeoutMs) {
                const int n = FPerAddress.value(c.Peer);
                if (!slow || n > slowAddressCount ||
                    (n == slowAddressCount && c.PhaseStart < slowSince))
                    slow = s, slowAddressCount = n, slowSince = c.PhaseStart;
            }
        }
        QTcpSocket* victim = idle ? idle : slow;
        if (!victim) return false;
        ++FCounters.Evicted;
        EndFor(victim, false);
        return true;
    }

    void Read(QTcpSocket* s) {
        auto it = FConns.find(s);
        if (it == FConns.end()) return;
        Conn& c = it->second;
        const QByteArray data = s->readAll();
        if (c.Streaming) return; // nothing more is read from these
        c.In += data;
        Process(s);
    }

    void Written(QTcpSocket* s) {
        auto it = FConns.find(s);
        if (it == FConns.end()) return;
        Conn& c = it->second;
        c.LastProgress = FClock.elapsed();
        if (s->bytesToWrite() > 0) return;
        if (c.Streaming) {
            if (c.Behind) {
                c.Behind = false;
                if (Send(s, Event())) ++FCounters.Pushed;
            } else {
                c.BehindSince = -1;
            }
        } else if (!c.In.isEmpty()) {
            Process(s);
        }
    }

    void Process(QTcpSocket* s) {
        while (true) {
            auto it = FConns.find(s);
            if (it == FConns.end()) return;
            Conn& c = it->second;
            if (c.Streaming || s->bytesToWrite() > BackpressureBytes) return;
            THttpRequest r;
            int consumed = 0;
            const THttpParse p = ParseHttpRequest(c.In, FLimits.MaxHeadBytes, r, consumed);
            if (p == THttpParse::Incomplete) return;
            if (p == THttpParse::TooLarge) return Fail(s, 431);
            if (p == THttpParse::Bad) return Fail(s, 400);
            c.In.remove(0, consumed);
            c.PhaseStart = FClock.elapsed();
            ++c.Served;
            ++FCounters.Answered;
            const bool head = r.Method == "HEAD";
            QByteArray answer;
            switch (RouteFor(r)) {
            case TLiveRoute::Page: {
                QByteArray page = FPage;
                page.replace(StatePlaceholder, Document());
                answer =
                    HttpResponse(200, "text/html; charset=utf-8", page, r.KeepAlive, PageHeaders);
                break;
            }
            case TLiveRoute::State:
                answer = HttpResponse(200, "application/json; charset=utf-8", Document(),
                                      r.KeepAlive, "Access-Control-Allow-Origin: *\r\n");
                break;
            case TLiveRoute::Standings:
                answer = HttpResponse(200, "application/json; charset=utf-8",
                                      LiveStateJson(FStandingsBody, QDateTime::currentMSecsSinceEpoch()),
                                      r.KeepAlive, "Access-Control-Allow-Origin: *\r\n");
                break;
            case TLiveRoute::Season:
                answer = HttpResponse(200, "application/json; charset=utf-8",
                                      LiveStateJson(FSeasonBody, QDateTime::currentMSecsSinceEpoch()),
                                      r.KeepAlive, "Access-Control-Allow-Origin: *\r\n");
                break;
            case TLiveRoute::Events: {
                if (head) {
                    answer = StreamHead(r.KeepAlive);
                    break;
                }
                if (FStreams >= FLimits.MaxStreams) {
                    ++FCounters.Refused;
                    return Fail(s, 503);
                }
                c.Streaming = true;
                c.In.clear();
                ++FStreams;
                // Little queued in the system per stream: one that stops reading shows at once.
                s->setSocketOption(QAbstractSocket::SendBufferSizeSocketOption,
                                   FLimits.StreamSendBuffer);
                Send(s, StreamHead(true) + "retry: 2000\n\n" + Event());
                UpdateCounters();
                Accept(); // a request slot is free again
                return;
            }
            case TLiveRoute::NotFound:
                answer = HttpResponse(404, "text/plain; charset=utf-8",
                                      "404 Diese Seite gibt es nicht.\n", r.KeepAlive);
                break;
            case TLiveRoute::MethodNotAllowed:
                return Fail(s, 405);
            case TLiveRoute::BodyNotAllowed:
                return Fail(s, 413);
            }
            if (!Send(s, head ? WithoutBody(answer) : answer)) return;
            if (!r.KeepAlive) return Drop(s, false);
        }
    }

    static QByteArray StreamHead(bool keepAlive) {
        return QByteArray("HTTP/1.1 200 OK\r\n"
                          "Content-Type: text/event-stream; charset=utf-8\r\n"
                          "Cache-Control: no-store\r\n"
                          "X-Content-Type-Options: nosniff\r\n"
                          "Access-Control-Allow-Origin: *\r\n") +
               (keepAlive ? "Connection: keep-alive\r\n\r\n" : "Connection: close\r\n\r\n");
    }

    // False when the client was cut off for letting too much pile up.
    bool Send(QTcpSocket* s, const QByteArray& data) {
        auto it = FConns.find(s);
        if (it == FConns.end()) return false;
        if (s->bytesToWrite() == 0) it->second.LastProgress = FClock.elapsed();
        s->write(data);
        if (s->bytesToWrite() > FLimits.MaxBufferedBytes) {
            Drop(s, true);
            return false;
        }
        return true;
    }

    void Fail(QTcpSocket* s, int status) {
        if (Send(s, HttpErrorResponse(status))) Drop(s, false);
    }

    // Ends a connection to make room: a client that sent anything gets a status line
    // to try again later, one that sent nothing is closed.
    void EndFor(QTcpSocket* s, bool cutOff) {
        const auto it = FConns.find(s);
        if (it == FConns.end()) return;
        if (!it->second.In.isEmpty() || s->bytesAvailable() > 0) {
            if (cutOff) ++FCounters.CutOff;
            Fail(s, 503);
        } else {
            Drop(s, false);
        }
    }

    // Takes the connection out of the budgets; a cut-off client is aborted, any
    // other gets its answer and a lingering close.
    void Drop(QTcpSocket* s, bool cutOff) {
        auto it = FConns.find(s);
        if (it == FConns.end()) return;
        if (it->second.Streaming) --FStreams;
        const auto count = FPerAddress.find(it->second.Peer);
        if (count != FPerAddress.end() && --count.value() <= 0) FPerAddress.erase(count);
        FConns.erase(it);
        s->disconnect(this);
        const bool gone = s->state() != QAbstractSocket::ConnectedState;
        if (cutOff || gone) {
            if (cutOff && !gone) ++FCounters.CutOff;
            Abort(s);
        } else {
            Linger(s);
        }
        UpdateCounters();
        if (FServer && (FCounters.Paused || FServer->hasPendingConnections())) Accept();
    }

    static void Abort(QTcpSocket* s) {
        s->abort();
        s->deleteLater();
    }

    // Closing a socket with unread data from the client resets the connection, and
    // the client may lose the answer with it: the sending side is shut once the
    // answer is out, and what comes after is read and dropped until the client closes.
    void Linger(QTcpSocket* s) {
        const auto shut = [s] {
            if (s->bytesToWrite() == 0 && s->state() == QAbstractSocket::ConnectedState)
                ShutdownSend(s->socketDescriptor());
        };
        QObject::connect(s, &QTcpSocket::readyRead, s, [s] { s->readAll(); });
        QObject::connect(s, &QTcpSocket::bytesWritten, s, shut);
        QObject::connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
        shut();
        s->readAll();
        FLinger.push_back({s, FClock.elapsed() + FLimits.LingerMs});
        FCounters.Lingering = static_cast<int>(FLinger.size());
    }

    void Sweep() {
        const qint64 now = FClock.elapsed();
        const bool ping = now - FLastPing >= FLimits.PingIntervalMs;
        if (ping) FLastPing = now;
        // With the budget nearly used up, a request gets much less time: a browser sends
        // its request at once, a slow client is only holding a place.
        const bool busy = Requests() >= FLimits.MaxRequests * 3 / 4;
        const int requestTimeout = busy ? FLimits.BusyTimeoutMs : FLimits.RequestTimeoutMs;
        std::vector<QTcpSocket*> cut, idle, late, pings;
        for (auto& [s, c] : FConns) {
            // A page that reads too slowly to catch up with the changes is of no use either.
            const bool behind = c.BehindSince >= 0 && now - c.BehindSince > FLimits.StallTimeoutMs;
            if (s->bytesToWrite() > 0) {
                if (now - c.LastProgress > FLimits.StallTimeoutMs || behind) cut.push_back(s);
            } else if (c.Streaming) {
                if (ping) pings.push_back(s);
            } else if (now - c.PhaseStart > requestTimeout) {
                (c.In.isEmpty() && s->bytesAvailable() == 0 ? idle : late).push_back(s);
            }
        }
        for (QTcpSocket* s : cut)
            Drop(s, true);
        for (QTcpSocket* s : idle)
            Drop(s, false);
        for (QTcpSocket* s : late) {
            if (busy) { // the place is needed: come again
                EndFor(s, true);
                continue;
            }
            ++FCounters.CutOff;
            Fail(s, 408);
        }
        for (QTcpSocket* s : pings)
            Send(s, "event: ping\ndata: 0\n\n");
        if (FCounters.Paused) Accept(); // waiting ones may replace connections grown slow since
        while (!FLinger.empty() && (FLinger.front().Deadline <= now || !FLinger.front().Socket)) {
            if (QTcpSocket* s = FLinger.front().Socket) Abort(s);
            FLinger.pop_front();
        }
        // After a crowd has gone, its buffers go back to the system.
        const qint64 inUse = static_cast<qint64>(FConns.size() + FLinger.size());
        FPeak = qMax(FPeak, inUse);
        if (FPeak >= 256 && inUse <= FPeak / 4) {
            ReleaseFreeMemory();
            FPeak = inUse;
        }
        UpdateCounters();
    }

    TLiveLimits FLimits;
    TLiveCounters& FCounters;
    QTcpServer* FServer = nullptr;
    QTimer* FSweep = nullptr;
    QElapsedTimer FClock;
    qint64 FLastPing = 0;
    std::unordered_map<QTcpSocket*, Conn> FConns;
    QHash<QHostAddress, int> FPerAddress;
    std::deque<Lingering> FLinger;
    int FStreams = 0;
    qint64 FPeak = 0;
    bool FAccepting = false;
    QByteArray FPage;
    QByteArray FBody;
    QByteArray FStandingsBody; // /api/standings
    QByteArray FSeasonBody;    // /api/season
    int FSeasonStamp = 0;
    QString FSeasonName;
    qint64 FSeq = 0;
};

QString LiveListenError(int socketError, quint16 port, const QString& detail) {
    switch (socketError) {
    case QAbstractSocket::AddressInUseError:
        return QStringLiteral("Der Port %1 ist schon belegt: ein anderes Programm benutzt ihn. "
                              "Bitte einen anderen Port wählen.")
            .arg(port);
    case QAbstractSocket::SocketAccessError:
        return QStringLiteral("Der Port %1 darf nicht benutzt werden (Ports unter 1024 brauchen "
                              "Administratorrechte). Bitte einen Port ab 1024 wählen.")
            .arg(port);
    default:
        return QStringLiteral("Die Live-Ergebnisse konnten auf Port %1 nicht starten: %2")
            .arg(port)
            .arg(detail);
    }
}

TLiveServer::TLiveServer(const TLiveLimits& limits) : FLimits(limits) {
    InitWebResources();
}

TLiveServer::~TLiveServer() {
    Stop();
    if (FThread) {
        FWorker->deleteLater(); // deleted on its thread as the thread finishes
        FThread->quit();
        FThread->wait();
        delete FThread;
    }
}

bool TLiveServer::Start(quint16 port, const QHostAddress& address, QString& error) {
    Stop();
    if (!FThread) {
        FThread = new QThread;
        FThread->setObjectName(QStringLiteral("LiveServer"));
        FWorker = new TLiveWorker(FLimits, FCounters);
        FWorker->moveToThread(FThread);
        FThread->start();
    }
    RaiseOpenFileLimit();
    bool ok = false;
    quint16 bound = 0;
    QMetaObject::invokeMethod(
        FWorker, [&] { ok = FWorker->Listen(port, address, error, bound); },
        Qt::BlockingQueuedConnection);
    FListening = ok;
    FPort = ok ? bound : 0;
    return ok;
}

void TLiveServer::Stop() {
    if (!FListening) return;
    QMetaObject::invokeMethod(
        FWorker, [w = FWorker] { w->Close(); }, Qt::BlockingQueuedConnection);
    FListening = false;
    FPort = 0;
}

void TLiveServer::Publish(const TLiveState& state) {
    if (!FListening) return;
    QMetaObject::invokeMethod(
        FWorker, [w = FWorker, state] { w->SetState(state); }, Qt::QueuedConnection);
}
