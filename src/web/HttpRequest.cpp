#include "HttpRequest.h"

#include <QList>

namespace {

bool IsToken(const QByteArray& s) {
    if (s.isEmpty()) return false;
    for (char c : s)
        if (!(c >= 'A' && c <= 'Z') && !(c >= 'a' && c <= 'z') && !(c >= '0' && c <= '9') &&
            !QByteArray("!#$%&'*+-.^_`|~").contains(c))
            return false;
    return true;
}

QByteArray ReasonPhrase(int status) {
    switch (status) {
    case 200:
        return "OK";
    case 400:
        return "Bad Request";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 408:
        return "Request Timeout";
    case 413:
        return "Content Too Large";
    case 431:
        return "Request Header Fields Too Large";
    case 503:
        return "Service Unavailable";
    default:
        return "Error";
    }
}

} // namespace

THttpParse ParseHttpRequest(const QByteArray& buffer, int maxHeadBytes, THttpRequest& request,
                            int& consumed) {
    // Blank lines before a request are allowed and skipped.
    int start = 0;
    while (start < buffer.size() && (buffer[start] == '\r' || buffer[start] == '\n'))
        ++start;
    int end = buffer.indexOf("\n\r\n", start);
    int endLen = 3;
    const int lfEnd = buffer.indexOf("\n\n", start);
    if (lfEnd >= 0 && (end < 0 || lfEnd < end)) {
        end = lfEnd;
        endLen = 2;
    }
    if (end < 0)
        return buffer.size() > maxHeadBytes ? THttpParse::TooLarge : THttpParse::Incomplete;
    consumed = end + endLen;
    if (consumed > maxHeadBytes) return THttpParse::TooLarge;

    QList<QByteArray> lines = buffer.mid(start, end + 1 - start).split('\n');
    for (QByteArray& l : lines)
        if (l.endsWith('\r')) l.chop(1);
    while (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    if (lines.isEmpty()) return THttpParse::Bad;

    const QList<QByteArray> parts = lines[0].split(' ');
    if (parts.size() != 3 || !IsToken(parts[0])) return THttpParse::Bad;
    const QByteArray& target = parts[1];
    const QByteArray& version = parts[2];
    if (!target.startsWith('/')) return THttpParse::Bad;
    for (char c : target)
        if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7f) return THttpParse::Bad;
    if (version != "HTTP/1.1" && version != "HTTP/1.0") return THttpParse::Bad;

    THttpRequest r;
    r.Method = parts[0];
    r.Path = target;
    const int cut = r.Path.indexOf('?') >= 0 ? r.Path.indexOf('?') : r.Path.indexOf('#');
    if (cut >= 0) r.Path.truncate(cut);
    r.KeepAlive = version == "HTTP/1.1";
    for (int i = 1; i < lines.size(); ++i) {
        const QByteArray& line = lines[i];
        const int colon = line.indexOf(':');
        // A folded line or a name with blanks is how requests get smuggled.
        if (colon <= 0 || !IsToken(line.left(colon))) return THttpParse::Bad;
        // NUL, a stray CR or another control character in a value is how headers are
        // cut short or split further down the line; only a tab may appear.
        for (int k = colon + 1; k < line.size(); ++k) {
            const auto ch = static_cast<unsigned char>(line[k]);
            if ((ch < 0x20 && ch != '\t') || ch == 0x7f) return THttpParse::Bad;
        }
        const QByteArray name = line.left(colon).toLower();
        const QByteArray value = line.mid(colon + 1).trimmed().toLower();
        if (name == "connection") {
            if (value.contains("close"))
                r.KeepAlive = false;
            else if (value.contains("keep-alive"))
                r.KeepAlive = true;
        } else if (name == "transfer-encoding") {
            r.HasBody = true;
        } else if (name == "content-length") {
            bool ok = false;
            const qlonglong n = value.toLongLong(&ok);
            if (!ok || n < 0) return THttpParse::Bad;
            if (n > 0) r.HasBody = true;
        }
    }
    request = r;
    return THttpParse::Complete;
}

TLiveRoute RouteFor(const THttpRequest& request) {
    // HEAD is GET without the body.
    if (request.Method != "GET" && request.Method != "HEAD") return TLiveRoute::MethodNotAllowed;
    if (request.HasBody) return TLiveRoute::BodyNotAllowed;
    if (request.Path == "/" || request.Path == "/index.html") return TLiveRoute::Page;
    if (request.Path == "/api/state") return TLiveRoute::State;
    if (request.Path == "/api/standings") return TLiveRoute::Standings;
    if (request.Path == "/api/season") return TLiveRoute::Season;
    if (request.Path == "/events") return TLiveRoute::Events;
    return TLiveRoute::NotFound;
}

QByteArray HttpResponse(int status, const QByteArray& contentType, const QByteArray& body,
                        bool keepAlive, const QByteArray& extraHeaders) {
    QByteArray r = "HTTP/1.1 " + QByteArray::number(status) + ' ' + ReasonPhrase(status) + "\r\n";
    r += "Content-Type: " + contentType + "\r\n";
    r += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    r += "Cache-Control: no-store\r\n"
         "X-Content-Type-Options: nosniff\r\n"
         "Referrer-Policy: no-referrer\r\n";
    r += keepAlive ? "Connection: keep-alive\r\n" : "Connection: close\r\n";
    r += extraHeaders;
    r += "\r\n";
    r += body;
    return r;
}

QByteArray WithoutBody(const QByteArray& response) {
    const int end = response.indexOf("\r\n\r\n");
    return end < 0 ? response : response.left(end + 4);
}

QByteArray HttpErrorResponse(int status) {
    QByteArray text;
    QByteArray extra;
    switch (status) {
    case 400:
        text = "Ungültige Anfrage.";
        break;
    case 404:
        text = "Diese Seite gibt es nicht.";
        break;
    case 405:
        text = "Diese Seite kann nur gelesen werden.";
        extra = "Allow: GET, HEAD\r\n";
        break;
    case 408:
        text = "Die Anfrage kam zu langsam.";
        break;
    case 413:
        text = "Anfragen mit Inhalt werden nicht angenommen.";
        break;
    case 431:
        text = "Die Anfrage ist zu groß.";
        break;
    case 503:
        text = "Zu viele Verbindungen – bitte gleich noch einmal versuchen.";
        extra = "Retry-After: 2\r\n";
        break;
    default:
        text = "Fehler.";
        break;
    }
    return HttpResponse(status, "text/plain; charset=utf-8",
                        QByteArray::number(status) + ' ' + text + '\n', false, extra);
}
