#include "ServerSettings.h"

#include <QRegularExpression>
#include <QUrl>
#include <QUrlQuery>
#include <utility>
#include <vector>

namespace {

using TPairs = std::vector<std::pair<QString, QString>>;

const QString PasswordRemoved =
    QStringLiteral("Das Passwort wurde aus der Serververbindung entfernt: Passwörter gehören "
                   "in die Datei ~/.pgpass des Benutzers, nie in die Einstellungen.");

// libpq's key=value syntax: bare values end at white space, quoted ones take
// backslash escapes.
bool ParsePairs(const QString& text, TPairs& out, QString& error) {
    int i = 0;
    const int n = int(text.size());
    const auto skipSpace = [&] {
        while (i < n && text[i].isSpace()) ++i;
    };
    for (;;) {
        skipSpace();
        if (i >= n) return true;
        const int keyStart = i;
        while (i < n && !text[i].isSpace() && text[i] != QLatin1Char('=')) ++i;
        const QString key = text.mid(keyStart, i - keyStart);
        skipSpace();
        if (i >= n || text[i] != QLatin1Char('=') || key.isEmpty()) {
            error = QStringLiteral("nach „%1“ fehlt „=“").arg(key);
            return false;
        }
        ++i;
        skipSpace();
        QString value;
        if (i < n && text[i] == QLatin1Char('\'')) {
            ++i;
            bool closed = false;
            while (i < n) {
                const QChar c = text[i++];
                if (c == QLatin1Char('\'')) {
                    closed = true;
                    break;
                }
                if (c == QLatin1Char('\\') && i < n) {
                    value += text[i++];
                    continue;
                }
                value += c;
            }
            if (!closed) {
                error = QStringLiteral("der Wert von „%1“ hat kein schließendes Hochkomma").arg(key);
                return false;
            }
        } else {
            while (i < n && !text[i].isSpace()) {
                if (text[i] == QLatin1Char('\\') && i + 1 < n) ++i;
                value += text[i++];
            }
        }
        out.emplace_back(key, value);
    }
}

QString Quote(const QString& value) {
    static const QRegularExpression plain(QStringLiteral("^[^\\s'\\\\]+$"));
    if (plain.match(value).hasMatch()) return value;
    QString q = value;
    q.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    q.replace(QLatin1Char('\''), QStringLiteral("\\'"));
    return QLatin1Char('\'') + q + QLatin1Char('\'');
}

QString JoinPairs(const TPairs& pairs) {
    QStringList parts;
    for (const auto& [key, value] : pairs)
        parts << key + QLatin1Char('=') + Quote(value);
    return parts.join(QLatin1Char(' '));
}

bool HasKey(const TPairs& pairs, const QString& key) {
    for (const auto& p : pairs)
        if (p.first == key) return true;
    return false;
}

// Best effort for a text that cannot be read: whatever follows "password" or
// the user in an address goes, also when a quote never closes.
QString WithoutPassword(QString text) {
    static const QRegularExpression key(QStringLiteral("password\\s*=\\s*('(?:[^'\\\\]|\\\\.)*'?|\\S*)"));
    static const QRegularExpression user(QStringLiteral("(://[^:/@\\s]*):[^@\\s]*@"));
    text.replace(key, QString());
    text.replace(user, QStringLiteral("\\1@"));
    return text.simplified();
}

TServerConnection Refused(const QString& input, const QString& why) {
    const QString text = WithoutPassword(input);
    TServerConnection c;
    c.Ok = false;
    c.Cleaned = text;
    c.Message = QStringLiteral("Die Serververbindung „%1“ ist nicht verwendbar: %2.").arg(text, why);
    return c;
}

} // namespace

TServerConnection ParseServerConnection(const QString& input) {
    const QString text = input.trimmed();
    TServerConnection c;
    if (text.isEmpty()) return c;
    TPairs pairs;
    bool removed = false;
    static const QRegularExpression serviceName(QStringLiteral("^[A-Za-z0-9_.\\-]+$"));
    if (serviceName.match(text).hasMatch()) {
        pairs.emplace_back(QStringLiteral("service"), text);
        c.Cleaned = text;
    } else if (text.startsWith(QLatin1String("postgresql://")) ||
               text.startsWith(QLatin1String("postgres://"))) {
        QUrl url(text, QUrl::StrictMode);
        if (!url.isValid()) return Refused(text, QStringLiteral("die Adresse ist ungültig"));
        if (!url.password().isEmpty()) removed = true;
        url.setPassword(QString());
        if (!url.host().isEmpty()) pairs.emplace_back(QStringLiteral("host"), url.host());
        if (url.port() > 0) pairs.emplace_back(QStringLiteral("port"), QString::number(url.port()));
        if (!url.userName().isEmpty()) pairs.emplace_back(QStringLiteral("user"), url.userName());
        const QString db = url.path().mid(1);
        if (!db.isEmpty()) pairs.emplace_back(QStringLiteral("dbname"), db);
        QUrlQuery query(url);
        const auto items = query.queryItems(QUrl::FullyDecoded);
        for (const auto& [key, value] : items) {
            if (key == QLatin1String("password")) {
                removed = true;
                query.removeAllQueryItems(key);
                continue;
            }
            pairs.emplace_back(key, value);
        }
        url.setQuery(query);
        c.Cleaned = url.toString();
    } else {
        QString error;
        TPairs all;
        if (!ParsePairs(text, all, error)) return Refused(text, error);
        for (auto& p : all) {
            if (p.first == QLatin1String("password")) {
                removed = true;
                continue;
            }
            pairs.push_back(std::move(p));
        }
        c.Cleaned = JoinPairs(pairs);
    }
    // The driver hands the string on with semicolons turned into spaces.
    for (const auto& [key, value] : pairs)
        if (key.contains(QLatin1Char(';')) || value.contains(QLatin1Char(';')))
            return Refused(c.Cleaned, QStringLiteral("ein Semikolon ist darin nicht möglich"));
    if (pairs.empty()) return Refused(c.Cleaned, QStringLiteral("sie nennt keinen Server"));
    // A station must notice quickly that the server or the network is gone,
    // also in the middle of a write (a pulled cable answers nothing at all).
    const std::pair<const char*, const char*> quick[] = {
        {"connect_timeout", "3"}, {"keepalives_idle", "5"}, {"keepalives_interval", "2"},
        {"keepalives_count", "3"}, {"tcp_user_timeout", "10000"}};
    for (const auto& [key, value] : quick)
        if (!HasKey(pairs, QLatin1String(key)))
            pairs.emplace_back(QLatin1String(key), QLatin1String(value));
    if (!HasKey(pairs, QStringLiteral("application_name")))
        pairs.emplace_back(QStringLiteral("application_name"), QStringLiteral("Zeitnahme"));
    c.ConnInfo = JoinPairs(pairs);
    if (removed) c.Message = PasswordRemoved;
    return c;
}

QString CleanStationName(const QString& text) {
    QString s;
    for (const QChar ch : text)
        s += ch.isPrint() ? ch : QLatin1Char(' ');
    return s.simplified().left(100);
}
