#include "LiveServer.h"

#include "HttpRequest.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>
#include <unordered_map>

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
    }

    bool Listen(quint16 port, const QHostAddress& address, QString& error, quint16& bound) {
        if (FPage.isEmpty()) {
            QFile f(QStringLiteral(":/web/live.html"));
            if (f.open(QIODevice::ReadOnly)) FPage = f.readAll();
        }
        FServer = new QTcpServer(this);
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
        FSweep->setInterval(
            qBound(20, qMin(FLimits.RequestTimeoutMs, FLimits.StallTimeoutMs) / 4, 250));
        QObject::connect(FSweep, &QTimer::timeout, this, [this] { Sweep(); });
        FSweep->start();
        FLastPing = FClock.elapsed();
        return true;
    }

    void Close() {
        delete FSweep;
        FSweep = nullptr;
        delete FServer;
        FServer = nullptr;
        while (!FConns.empty())
            Drop(FConns.begin()->first, false);
    }

    void SetState(const TLiveState& state) {
        FBody = LiveStateJsonBody(state, ++FSeq);
        const QByteArray event = "data: " + Document() + "\n\n";
        std::vector<QTcpSocket*> streams;
        for (auto& [s, c] : FConns)
            if (c.Streaming) streams.push_back(s);
        for (QTcpSocket* s : streams)
            if (Send(s, event)) ++FCounters.Pushed;
    }

private:
    struct Conn {
        QByteArray In;
        qint64 PhaseStart = 0; // waiting for a request since
        qint64 LastProgress = 0;
        bool Streaming = false;
        bool Closing = false;
    };

    QByteArray Document() const {
        return LiveStateJson(FBody, QDateTime::currentMSecsSinceEpoch());
    }

    void Accept() {
        while (QTcpSocket* s = FServer->nextPendingConnection()) {
            if (static_cast<int>(FConns.size()) >= FLimits.MaxConnections) {
                ++FCounters.Refused;
                s->write(HttpErrorResponse(503));
                QObject::connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
                s->disconnectFromHost();
                // A refused client that never reads is not kept around either.
                QTimer::singleShot(FLimits.StallTimeoutMs, s, [s] {
                    s->abort();
                    s->deleteLater();
                });
                continue;
            }
            ++FCounters.Accepted;
            Conn& c = FConns[s];
            c.PhaseStart = c.LastProgress = FClock.elapsed();
            FCounters.Open = static_cast<int>(FConns.size());
            QObject::connect(s, &QTcpSocket::readyRead, this, [this, s] { Read(s); });
            QObject::connect(s, &QTcpSocket::bytesWritten, this, [this, s] { Written(s); });
            QObject::connect(s, &QTcpSocket::disconnected, this, [this, s] { Drop(s, false); });
        }
    }

    void Read(QTcpSocket* s) {
        auto it = FConns.find(s);
        if (it == FConns.end()) return;
        Conn& c = it->second;
        const QByteArray data = s->readAll();
        if (c.Streaming || c.Closing) return; // nothing more is read from these
        c.In += data;
        Process(s);
    }

    void Written(QTcpSocket* s) {
        auto it = FConns.find(s);
        if (it == FConns.end()) return;
        it->second.LastProgress = FClock.elapsed();
        if (s->bytesToWrite() == 0 && it->second.Closing) {
            Drop(s, false);
            return;
        }
        if (!it->second.In.isEmpty()) Process(s);
    }

    void Process(QTcpSocket* s) {
        while (true) {
            auto it = FConns.find(s);
            if (it == FConns.end()) return;
            Conn& c = it->second;
            if (c.Streaming || c.Closing || s->bytesToWrite() > BackpressureBytes) return;
            THttpRequest r;
            int consumed = 0;
            const THttpParse p = ParseHttpRequest(c.In, FLimits.MaxHeadBytes, r, consumed);
            if (p == THttpParse::Incomplete) return;
            if (p == THttpParse::TooLarge) return Fail(s, 431);
            if (p == THttpParse::Bad) return Fail(s, 400);
            c.In.remove(0, consumed);
            c.PhaseStart = FClock.elapsed();
            ++FCounters.Answered;
            switch (RouteFor(r)) {
            case TLiveRoute::Page: {
                QByteArray page = FPage;
                page.replace(StatePlaceholder, Document());
                if (!Send(s, HttpResponse(200, "text/html; charset=utf-8", page, r.KeepAlive,
                                          PageHeaders)))
                    return;
                break;
            }
            case TLiveRoute::State:
                if (!Send(s, HttpResponse(200, "application/json; charset=utf-8", Document(),
                                          r.KeepAlive, "Access-Control-Allow-Origin: *\r\n")))
                    return;
                break;
            case TLiveRoute::Events: {
                c.Streaming = true;
                c.In.clear();
                const QByteArray head = "HTTP/1.1 200 OK\r\n"
                                        "Content-Type: text/event-stream; charset=utf-8\r\n"
                                        "Cache-Control: no-store\r\n"
                                        "X-Content-Type-Options: nosniff\r\n"
                                        "Access-Control-Allow-Origin: *\r\n"
                                        "Connection: keep-alive\r\n\r\n"
                                        "retry: 2000\n\n";
                Send(s, head + "data: " + Document() + "\n\n");
                return;
            }
            case TLiveRoute::NotFound:
                if (!Send(s, HttpResponse(404, "text/plain; charset=utf-8",
                                          "404 Diese Seite gibt es nicht.\n", r.KeepAlive)))
                    return;
                break;
            case TLiveRoute::MethodNotAllowed:
                return Fail(s, 405);
            case TLiveRoute::BodyNotAllowed:
                return Fail(s, 413);
            }
            if (!r.KeepAlive) return CloseAfterWrite(s);
        }
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
        if (Send(s, HttpErrorResponse(status))) CloseAfterWrite(s);
    }

    void CloseAfterWrite(QTcpSocket* s) {
        auto it = FConns.find(s);
        if (it == FConns.end()) return;
        it->second.Closing = true;
        it->second.In.clear();
        if (s->bytesToWrite() == 0) Drop(s, false);
    }

    void Drop(QTcpSocket* s, bool cutOff) {
        auto it = FConns.find(s);
        if (it == FConns.end()) return;
        const bool graceful = it->second.Closing && !cutOff;
        FConns.erase(it);
        FCounters.Open = static_cast<int>(FConns.size());
        if (cutOff) ++FCounters.CutOff;
        s->disconnect(this);
        if (graceful) {
            // Everything is written: a normal close lets the client read the answer.
            QObject::connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
            s->disconnectFromHost();
            if (s->state() == QAbstractSocket::UnconnectedState) s->deleteLater();
        } else {
            s->abort();
            s->deleteLater();
        }
    }

    void Sweep() {
        const qint64 now = FClock.elapsed();
        const bool ping = now - FLastPing >= FLimits.PingIntervalMs;
        if (ping) FLastPing = now;
        std::vector<QTcpSocket*> cut, idle, late, pings;
        for (auto& [s, c] : FConns) {
            if (s->bytesToWrite() > 0) {
                if (now - c.LastProgress > FLimits.StallTimeoutMs) cut.push_back(s);
            } else if (c.Streaming) {
                if (ping) pings.push_back(s);
            } else if (now - c.PhaseStart > FLimits.RequestTimeoutMs) {
                (c.In.isEmpty() ? idle : late).push_back(s);
            }
        }
        for (QTcpSocket* s : cut)
            Drop(s, true);
        for (QTcpSocket* s : idle)
            Drop(s, false);
        for (QTcpSocket* s : late) {
            ++FCounters.CutOff;
            Fail(s, 408);
        }
        for (QTcpSocket* s : pings)
            Send(s, "event: ping\ndata: 0\n\n");
    }

    TLiveLimits FLimits;
    TLiveCounters& FCounters;
    QTcpServer* FServer = nullptr;
    QTimer* FSweep = nullptr;
    QElapsedTimer FClock;
    qint64 FLastPing = 0;
    std::unordered_map<QTcpSocket*, Conn> FConns;
    QByteArray FPage;
    QByteArray FBody;
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
