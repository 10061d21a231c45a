#include "HttpClient.h"
#include "HttpRequest.h"
#include "LiveServer.h"
#include "WaitUntil.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>
#include <QTimer>
#include <memory>
#include <vector>

namespace {

const QByteArray Head = " HTTP/1.1\r\nHost: 127.0.0.1\r\n";

QByteArray StatusLine(const QByteArray& answer) {
    return answer.left(answer.indexOf("\r\n"));
}

bool Answers(quint16 port) {
    return !HttpClient::Get(port, "/api/state").isEmpty();
}

// A loopback address of its own for client n: the server tells clients apart by address.
QHostAddress Loopback(int n) {
    return QHostAddress(QStringLiteral("127.0.%1.%2").arg(1 + n / 250).arg(1 + n % 250));
}
const QHostAddress Viewer(QStringLiteral("127.0.200.1"));

// Whether a honest viewer's /api/state is answered within timeoutMs.
bool ViewerAnswered(quint16 port, int timeoutMs) {
    const QByteArray a = HttpClient::Exchange(
        port, "GET /api/state" + Head + "Connection: close\r\n\r\n", timeoutMs, Viewer);
    if (!a.startsWith("HTTP/1.1 200")) qWarning() << "the viewer got" << a.left(100);
    return a.startsWith("HTTP/1.1 200");
}

QString Figures(const TLiveServer& server) {
    const TLiveCounters& k = server.Counters();
    return QStringLiteral("%1 open, %2 streams, %3 accepted, %4 refused, %5 cut off, %6 evicted")
        .arg(k.Open.load())
        .arg(k.Streams.load())
        .arg(k.Accepted.load())
        .arg(k.Refused.load())
        .arg(k.CutOff.load())
        .arg(k.Evicted.load());
}

// receiveBuffer: a small window for a client that is not going to read.
std::unique_ptr<QTcpSocket> Client(quint16 port, const QHostAddress& from, int receiveBuffer = 0) {
    auto s = std::make_unique<QTcpSocket>();
    s->bind(from);
    if (receiveBuffer)
        s->setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, receiveBuffer);
    s->connectToHost(QHostAddress::LocalHost, port);
    return s;
}

// A state whose document is about size bytes long.
TLiveState BigState(int size) {
    TLiveState st;
    st.Columns = {QStringLiteral("Name")};
    for (int i = 0; i < size / 40; ++i)
        st.Rows << TLiveRow{QString(), {QStringLiteral("Fahrer %1 xxxxxxxxxxxxxxx").arg(i)}};
    return st;
}

enum TCrowd { Streams, Silent, Slow, NeverReading };

} // namespace

class TstLiveServer : public QObject {
    Q_OBJECT
private slots:
    void parse_data() {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<int>("result");
        QTest::addColumn<int>("route");
        const int ok = int(THttpParse::Complete);
        const int bad = int(THttpParse::Bad);
        const int none = -1;
        const QByteArray big(5000, 'a');
        QTest::newRow("page") << "GET /" + Head + "\r\n" << ok << int(TLiveRoute::Page);
        QTest::newRow("state with query") << "GET /api/state?x=1" + Head + "\r\n"
                                          << ok << int(TLiveRoute::State);
        QTest::newRow("standings") << "GET /api/standings" + Head + "\r\n"
                                   << ok << int(TLiveRoute::Standings);
        QTest::newRow("season") << "GET /api/season" + Head + "\r\n" << ok << int(TLiveRoute::Season);
        QTest::newRow("events, LF only")
            << QByteArray("GET /events HTTP/1.1\nHost: a\n\n") << ok << int(TLiveRoute::Events);
        QTest::newRow("traversal") << "GET /../../etc/passwd" + Head + "\r\n"
                                   << ok << int(TLiveRoute::NotFound);
        QTest::newRow("encoded traversal") << "GET /%2e%2e/%2e%2e/etc/passwd" + Head + "\r\n"
                                           << ok << int(TLiveRoute::NotFound);
        QTest::newRow("resource name") << "GET /live.html" + Head + "\r\n"
                                       << ok << int(TLiveRoute::NotFound);
        QTest::newRow("POST") << "POST /api/state" + Head + "Content-Length: 0\r\n\r\n"
                              << ok << int(TLiveRoute::MethodNotAllowed);
        QTest::newRow("HEAD") << "HEAD /" + Head + "\r\n" << ok << int(TLiveRoute::Page);
        QTest::newRow("HEAD events") << "HEAD /events" + Head + "\r\n"
                                     << ok << int(TLiveRoute::Events);
        QTest::newRow("DELETE") << "DELETE /api/state" + Head + "\r\n"
                                << ok << int(TLiveRoute::MethodNotAllowed);
        QTest::newRow("tab in value") << "GET /" + Head + "X-A: a\tb\r\n\r\n"
                                      << ok << int(TLiveRoute::Page);
        QTest::newRow("GET with body") << "GET /" + Head + "Content-Length: 5\r\n\r\n"
                                       << ok << int(TLiveRoute::BodyNotAllowed);
        QTest::newRow("chunked") << "GET /" + Head + "Transfer-Encoding: chunked\r\n\r\n"
                                 << ok << int(TLiveRoute::BodyNotAllowed);
        QTest::newRow("negative length") << "GET /" + Head + "Content-Length: -1\r\n\r\n"
                                         << bad << none;
        QTest::newRow("folded header") << "GET /" + Head + " folded\r\n\r\n" << bad << none;
        QTest::newRow("HTTP/2") << QByteArray("GET / HTTP/2.0\r\n\r\n") << bad << none;
        QTest::newRow("absolute target")
            << QByteArray("GET http://evil/ HTTP/1.1\r\n\r\n") << bad << none;
        // Control characters in a header value end or split it further down the line.
        const QByteArray nul(1, '\0');
        QTest::newRow("NUL in value") << "GET /" + Head + "X-A: a" + nul + "b\r\n\r\n"
                                      << bad << none;
        QTest::newRow("NUL in connection")
            << "GET /" + Head + "Connection: close" + nul + "\r\n\r\n"
            << bad << none;
        QTest::newRow("NUL in name") << "GET /" + Head + "X" + nul + "A: b\r\n\r\n" << bad << none;
        QTest::newRow("CR inside value") << "GET /" + Head + "X-A: a\rContent-Length: 5\r\n\r\n"
                                         << bad << none;
        QTest::newRow("escape in value") << "GET /" + Head + "X-A: \x1b[2J\r\n\r\n" << bad << none;
        QTest::newRow("incomplete") << "GET /" + Head << int(THttpParse::Incomplete) << none;
        QTest::newRow("huge header") << "GET /" + Head + "X: " + big + "\r\n\r\n"
                                     << int(THttpParse::TooLarge) << none;
        QTest::newRow("huge, never ends")
            << "GET /" + Head + "X: " + big << int(THttpParse::TooLarge) << none;
    }
    void parse() {
        QFETCH(QByteArray, request);
        QFETCH(int, result);
        QFETCH(int, route);
        THttpRequest r;
        int consumed = 0;
        QCOMPARE(int(ParseHttpRequest(request, 4096, r, consumed)), result);
        if (route >= 0) QCOMPARE(int(RouteFor(r)), route);
    }

    // Every refused request gets its status and a closed connection; the
    // server goes on answering.
    void refused_data() {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("status");
        QTest::newRow("POST") << "POST /api/state" + Head + "Content-Length: 3\r\n\r\nabc"
                              << QByteArray("HTTP/1.1 405 Method Not Allowed");
        QTest::newRow("huge headers")
            << "GET /" + Head + "X: " + QByteArray(20000, 'x') + "\r\n\r\n"
            << QByteArray("HTTP/1.1 431 Request Header Fields Too Large");
        QTest::newRow("garbage") << QByteArray("\x16\x03\x01\x02\x00\x01\r\n\r\n", 10)
                                 << QByteArray("HTTP/1.1 400 Bad Request");
        QTest::newRow("GET with body") << "GET /api/state" + Head + "Content-Length: 2\r\n\r\nab"
                                       << QByteArray("HTTP/1.1 413 Content Too Large");
    }
    void refused() {
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, status);
        TLiveServer server;
        QString error;
        QVERIFY(server.Start(0, QHostAddress::LocalHost, error));
        const QByteArray answer = HttpClient::Exchange(server.Port(), request);
        QCOMPARE(StatusLine(answer), status);
        QVERIFY(answer.contains("Connection: close"));
        QVERIFY(Answers(server.Port()));
    }

    void traversalNeverReadsFiles() {
        TLiveServer server;
        QString error;
        QVERIFY(server.Start(0, QHostAddress::LocalHost, error));
        for (const char* path : {"/../../../../etc/passwd", "/..%2f..%2fetc%2fpasswd",
                                 "//etc/passwd", "/web/live.html", "/:/web/live.html"}) {
            const QByteArray a = HttpClient::Exchange(
                server.Port(), "GET " + QByteArray(path) + Head + "Connection: close\r\n\r\n");
            QCOMPARE(StatusLine(a), QByteArray("HTTP/1.1 404 Not Found"));
            QVERIFY(!a.contains("root:"));
        }
    }

    void keepAliveAndPipelining() {
        TLiveServer server;
        QString error;
        QVERIFY(server.Start(0, QHostAddress::LocalHost, error));
        const QByteArray one = "GET /api/state" + Head + "\r\n";
        const QByteArray a = HttpClient::Exchange(
            server.Port(), one + one + "GET /api/state" + Head + "Connection: close\r\n\r\n");
        QCOMPARE(a.count("HTTP/1.1 200 OK"), 3);
    }

    void tooManyConnections() {
        TLiveLimits limits;
        limits.MaxPerAddress = 64; // every socket comes from 127.0.0.1
        TLiveServer server(limits);
        QString error;
        QVERIFY(server.Start(0, QHostAddress::LocalHost, error));
        std::vector<std::unique_ptr<QTcpSocket>> sockets;
        for (int i = 0; i < 200; ++i) {
            sockets.push_back(std::make_unique<QTcpSocket>());
            sockets.back()->connectToHost(QHostAddress::LocalHost, server.Port());
            QVERIFY(sockets.back()->waitForConnected(2000));
        }
        QVERIFY(WaitUntil([&] { return server.Counters().Refused == 136; }, 5000));
        QCOMPARE(server.Counters().Open.load(), 64);
        QVERIFY(WaitUntil([&] { return sockets.back()->bytesAvailable() > 0; }));
        QVERIFY(sockets.back()->readAll().startsWith("HTTP/1.1 503"));
        sockets.clear();
        QVERIFY(WaitUntil([&] { return server.Counters().Open == 0; }, 5000));
        QVERIFY(Answers(server.Port()));
    }

    void slowClientIsCutOff() {
        TLiveLimits limits;
        limits.RequestTimeoutMs = 300;
        TLiveServer server(limits);
        QString error;
        QVERIFY(server.Start(0, QHostAddress::LocalHost, error));
        QTcpSocket slow;
        slow.connectToHost(QHostAddress::LocalHost, server.Port());
        QVERIFY(slow.waitForConnected(2000));
        slow.write("GET /api/state HTTP/1.1\r\nHo");
        QVERIFY(WaitUntil([&] { return slow.state() == QAbstractSocket::UnconnectedState; }, 3000));
        QVERIFY(slow.readAll().startsWith("HTTP/1.1 408"));
        QCOMPARE(server.Counters().CutOff.load(), 1);
        QVERIFY(Answers(server.Port()));
    }

    // Connections ended to make room: a client that sent part of a request is told
    // to come again, one that sent nothing is closed; the newcomer is served.
    void endedForRoom_data() {
        QTest::addColumn<QByteArray>("sent");
        QTest::addColumn<QByteArray>("answer"); // the start of it; empty: none
        QTest::newRow("half a request") << QByteArray("GET /api/state HTTP/1.1\r\nHo")
                                        << QByteArray("HTTP/1.1 503");
        QTest::newRow("nothing sent") << QByteArray() << QByteArray();
    }
    void endedForRoom() {
        QFETCH(QByteArray, sent);
        QFETCH(QByteArray, answer);
        TLiveLimits limits;
        limits.MaxRequests = 1;
        limits.BusyTimeoutMs = 100;
        TLiveServer server(limits);
        QString error;
        QVERIFY(server.Start(0, QHostAddress::LocalHost, error));
        QTcpSocket first;
        first.connectToHost(QHostAddress::LocalHost, server.Port());
        QVERIFY(first.waitForConnected(2000));
        if (!sent.isEmpty()) first.write(sent);
        first.flush();
        QTest::qWait(200);
        QVERIFY(Answers(server.Port()));
        QVERIFY(WaitUntil([&] { return first.state() == QAbstractSocket::UnconnectedState; }, 3000));
        const QByteArray got = first.readAll();
        QVERIFY2(answer.isEmpty() ? got.isEmpty() : got.startsWith(answer), got.constData());
        if (!answer.isEmpty()) QVERIFY(got.contains("Retry-After: "));
    }

    void clientThatNeverReads() {
        TLiveLimits limits;
        limits.StallTimeoutMs = 300;
        limits.MaxBufferedBytes = 1 << 20;
        TLiveServer server(limits);
        QString error;
        QVERIFY(server.Start(0, QHostAddress::LocalHost, error));
        QTcpSocket sink;
        sink.setReadBufferSize(1024); // takes next to nothing off the wire
        sink.connectToHost(QHostAddress::LocalHost, server.Port());
        QVERIFY(sink.waitForConnected(2000));
        QByteArray flood;
        for (int i = 0; i < 3000; ++i)
            flood += "GET /" + Head + "\r\n";
        sink.write(flood);
        QVERIFY(WaitUntil([&] { return server.Counters().CutOff == 1; }, 8000));
        QVERIFY(Answers(server.Port()));
        QCOMPARE(server.Counters().Open.load(), 0);
    }

    void eventStreamGetsEachState() {
        TLiveServer server;
        QString error;
        QVERIFY(server.Start(0, QHostAddress::LocalHost, error));
        QTcpSocket stream;
        stream.connectToHost(QHostAddress::LocalHost, server.Port());
        QVERIFY(stream.waitForConnected(2000));
        stream.write("GET /events" + Head + "\r\n");
        QByteArray got;
        QVERIFY(WaitUntil([&] { return (got += stream.readAll()).contains("\"seq\":0"); }));
        QVERIFY(got.contains("Content-Type: text/event-stream"));
        TLiveState s;
        s.Title = QStringLiteral("</script><script>alert(1)</script>");
        server.Publish(s);
        QVERIFY(WaitUntil([&] { return (got += stream.readAll()).contains("\"seq\":1"); }));
        const QByteArray data = got.mid(got.lastIndexOf("data: ") + 6).trimmed();
        QVERIFY(!data.contains('<'));
        QCOMPARE(QJsonDocument::fromJson(data).object().value("title").toString(), s.Title);
    }

    // HEAD gets the head GET would get, without a body; the connection goes on.
    void head_data() {
        QTest::addColumn<QByteArray>("path");
        QTest::addColumn<QByteArray>("contentType");
        QTest::newRow("page") << QByteArray("/") << QByteArray("text/html");
        QTest::newRow("state") << QByteArray("/api/state") << QByteArray("application/json");
        QTest::newRow("standings") << QByteArray("/api/standings") << QByteArray("application/json");
        QTest::newRow("season") << QByteArray("/api/season") << QByteArray("application/json");
        QTest::newRow("events") << QByteArray("/events") << QByteArray("text/event-stream");
        QTest::newRow("missing") << QByteArray("/nix") << QByteArray("text/plain");
    }
    void head() {
        QFETCH(QByteArray, path);
        QFETCH(QByteArray, contentType);
        TLiveServer server;
        QString error;
        QVERIFY(server.Start(0, QHostAddress::LocalHost, error));
        const QByteArray get = HttpClient::Exchange(
            server.Port(), "GET " + path + Head + "Connection: close\r\n\r\n", 500);
        const QByteArray a =
            HttpClient::Exchange(server.Port(), "HEAD " + path + Head + "\r\nGET /api/state" +
                                                    Head + "Connection: close\r\n\r\n");
        const int end = a.indexOf("\r\n\r\n") + 4;
        QVERIFY(end > 4);
        const QByteArray head = a.left(end);
        QCOMPARE(StatusLine(head), StatusLine(get));
        QVERIFY2(head.contains("Content-Type: " + contentType), head.constData());
        const QByteArray length = "Content-Length: ";
        if (get.contains(length)) { // the length the body would have
            const QByteArray body = get.mid(get.indexOf("\r\n\r\n") + 4);
            QVERIFY(head.contains(length + QByteArray::number(body.size())));
        }
        // Right after the head comes the answer to the next request, not a body.
        QVERIFY2(a.mid(end).startsWith("HTTP/1.1 200 OK"), a.constData());
    }

    // A crowd of viewers or of clients that hold on to their connections never keeps
    // a honest viewer out; load tests with many more clients are in bench_live.
    void viewerGetsIn_data() {
        QTest::addColumn<int>("crowd");
        QTest::addColumn<int>("clients");
        QTest::addColumn<int>("addresses");
        QTest::addColumn<int>("maxRequests");
        QTest::newRow("more streams than requests may be open") << int(Streams) << 150 << 150 << 16;
        QTest::newRow("silent clients from one address") << int(Silent) << 60 << 1 << 256;
        QTest::newRow("silent clients from many addresses") << int(Silent) << 40 << 40 << 16;
        QTest::newRow("slow clients") << int(Slow) << 30 << 3 << 16;
        QTest::newRow("slow clients from many addresses") << int(Slow) << 30 << 30 << 16;
        QTest::newRow("streams that never read") << int(NeverReading) << 20 << 2 << 16;
    }
    void viewerGetsIn() {
        QFETCH(int, crowd);
        QFETCH(int, clients);
        QFETCH(int, addresses);
        QFETCH(int, maxRequests);
        TLiveLimits limits;
        limits.MaxRequests = maxRequests;
        limits.StallTimeoutMs = 400;
        limits.StreamSendBuffer = 4096;
        TLiveServer server(limits);
        QString error;
        QVERIFY(server.Start(0, QHostAddress::LocalHost, error));
        const quint16 port = server.Port();
        std::vector<std::unique_ptr<QTcpSocket>> crowdSockets;
        for (int i = 0; i < clients; ++i) {
            crowdSockets.push_back(
                Client(port, Loopback(i % addresses), crowd == NeverReading ? 4096 : 0));
            QTcpSocket& c = *crowdSockets.back();
            QVERIFY(c.waitForConnected(2000));
            if (crowd == Streams || crowd == NeverReading) {
                if (crowd == NeverReading) c.setReadBufferSize(1024);
                c.write("GET /events" + Head + "\r\n");
            } else if (crowd == Slow) {
                c.write("G");
            }
        }
        QTimer drip; // a byte now and then keeps a slow client from looking idle
        QObject::connect(&drip, &QTimer::timeout, [&] {
            for (auto& c : crowdSockets)
                if (crowd == Slow && c->state() == QAbstractSocket::ConnectedState) c->write("E");
        });
        drip.start(100);
        if (crowd == Streams)
            QVERIFY(WaitUntil([&] { return server.Counters().Streams == clients; }, 5000));
        if (crowd == NeverReading) {
            const TLiveState big = BigState(100000);
            QElapsedTimer t;
            t.start();
            while (server.Counters().CutOff < clients && t.elapsed() < 8000) {
                server.Publish(big);
                QTest::qWait(50);
            }
            QVERIFY2(server.Counters().CutOff == clients, qPrintable(Figures(server)));
        }
        QTest::qWait(100);
        for (int probe = 0; probe < 3; ++probe)
            QVERIFY2(ViewerAnswered(port, 5000), qPrintable(Figures(server)));
        if (crowd == Streams) { // every stream gets the next change
            server.Publish(TLiveState{});
            std::vector<QByteArray> got(crowdSockets.size());
            QVERIFY(WaitUntil(
                [&] {
                    int updated = 0;
                    for (size_t i = 0; i < got.size(); ++i)
                        updated += (got[i] += crowdSockets[i]->readAll()).contains("\"seq\":1");
                    return updated == clients;
                },
                5000));
        }
    }

    // Beyond a limit a client reads the 503 text, also when it has sent its request
    // already; it is not reset.
    void refusedGets503Text_data() {
        QTest::addColumn<int>("maxPerAddress");
        QTest::addColumn<int>("maxStreams");
        QTest::addColumn<bool>("sameAddress");
        QTest::newRow("connections of one address") << 3 << 100 << true;
        QTest::newRow("event streams") << 100 << 3 << false;
    }
    void refusedGets503Text() {
        QFETCH(int, maxPerAddress);
        QFETCH(int, maxStreams);
        QFETCH(bool, sameAddress);
        TLiveLimits limits;
        limits.MaxPerAddress = maxPerAddress;
        limits.MaxStreams = maxStreams;
        TLiveServer server(limits);
        QString error;
        QVERIFY(server.Start(0, QHostAddress::LocalHost, error));
        std::vector<std::unique_ptr<QTcpSocket>> held;
        for (int i = 0; i < 3; ++i) {
            held.push_back(Client(server.Port(), sameAddress ? Loopback(0) : Loopback(i)));
            QVERIFY(held.back()->waitForConnected(2000));
            held.back()->write("GET /events" + Head + "\r\n");
        }
        // The held streams must be counted as streams before the probes, or a busy
        // machine lets a probe in as an ordinary request.
        QVERIFY(WaitUntil([&] {
            return server.Counters().Open == 3 && (sameAddress || server.Counters().Streams == 3);
        }));
        for (int i = 0; i < 10; ++i) {
            // The whole request, and more, before the server has even looked at the connection.
            const QByteArray a = HttpClient::Exchange(
                server.Port(), "GET /events" + Head + "\r\n" + QByteArray(3000, 'x'), 3000,
                sameAddress ? Loopback(0) : Loopback(10 + i));
            QCOMPARE(StatusLine(a), QByteArray("HTTP/1.1 503 Service Unavailable"));
            QVERIFY(a.contains(QStringLiteral("Zu viele Verbindungen").toUtf8()));
        }
        QCOMPARE(server.Counters().Open.load(), 3);
        QVERIFY(ViewerAnswered(server.Port(), 3000));
    }

    void portInUse() {
        TLiveServer first, second;
        QString error;
        QVERIFY(first.Start(0, QHostAddress::LocalHost, error));
        QVERIFY(!second.Start(first.Port(), QHostAddress::LocalHost, error));
        QVERIFY2(error.contains(QStringLiteral("ist schon belegt")), qPrintable(error));
        QVERIFY(!second.IsListening());
        QVERIFY(Answers(first.Port()));
    }
};

QTEST_GUILESS_MAIN(TstLiveServer)
#include "tst_liveserver.moc"
