#pragma once
#include <QElapsedTimer>
#include <QTcpSocket>

// Blocking HTTP exchanges with a server on another thread, always on 127.0.0.1.
namespace HttpClient {

// Sends raw bytes and collects the answer until the server closes or timeoutMs;
// from a loopback address of its own when one is given (127.x.y.z).
inline QByteArray Exchange(quint16 port, const QByteArray& request, int timeoutMs = 3000,
                           const QHostAddress& from = {}) {
    QTcpSocket s;
    if (!from.isNull()) s.bind(from);
    s.connectToHost(QHostAddress::LocalHost, port);
    if (!s.waitForConnected(timeoutMs)) return {};
    s.write(request);
    s.waitForBytesWritten(timeoutMs);
    QByteArray answer;
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < timeoutMs && s.state() == QAbstractSocket::ConnectedState) {
        s.waitForReadyRead(50);
        answer += s.readAll();
    }
    return answer + s.readAll();
}

// GET with Connection: close; the body of a 200 answer, else empty.
inline QByteArray Get(quint16 port, const QByteArray& path) {
    const QByteArray a = Exchange(port, "GET " + path +
                                            " HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                                            "Connection: close\r\n\r\n");
    if (!a.startsWith("HTTP/1.1 200")) return {};
    return a.mid(a.indexOf("\r\n\r\n") + 4);
}

} // namespace HttpClient
