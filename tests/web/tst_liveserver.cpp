#include "HttpClient.h"
#include "HttpRequest.h"
#include "LiveServer.h"
#include "WaitUntil.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>
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
        QTest::newRow("HEAD") << "HEAD /" + Head + "\r\n"
                              << ok << int(TLiveRoute::MethodNotAllowed);
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
        TLiveServer server;
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
