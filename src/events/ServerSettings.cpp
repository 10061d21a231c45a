#include "ServerSettings.h"

#include <QRegularExpression>
#include <libpq-fe.h>
#include <utility>
#include <vector>

namespace {

using TPairs = std::vector<std::pair<QString, QString>>;

const QString PasswordRemoved =
    QStringLiteral("Das Passwort wurde aus der Serververbindung entfernt: Passwörter gehören "
                   "in die Datei ~/.pgpass des Benutzers, nie in die Einstellungen.");

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

// Whatever looks like a password, in any spelling: a key beginning with "pass",
// the part after the user in an address, also when a quote never closes.
const QRegularExpression& PasswordKey() {
    static const QRegularExpression key(
        QStringLiteral("pass\\w*\\s*=\\s*('(?:[^'\\\\]|\\\\.)*'?|\\S*)"),
        QRegularExpression::CaseInsensitiveOption);
    return key;
}
const QRegularExpression& UserPassword() {
    static const QRegularExpression user(QStringLiteral("(://[^:/@\\s]*):[^@]*@"));
    return user;
}

QString WithoutPassword(QString text) {
    text.replace(PasswordKey(), QString());
    text.replace(UserPassword(), QStringLiteral("\\1@"));
    return text.simplified();
}

bool MayHoldPassword(const QString& text) {
    return text.contains(PasswordKey()) || text.contains(UserPassword());
}

// why: German; detail: libpq's own text, whose quoted parts may repeat the password.
TServerConnection Refused(const QString& input, const QString& why, QString detail = QString()) {
    const QString text = WithoutPassword(input);
    if (MayHoldPassword(input)) {
        static const QRegularExpression quoted(QStringLiteral("\"[^\"]*\""));
        detail.replace(quoted, QStringLiteral("„…“"));
    }
    TServerConnection c;
    c.Ok = false;
    c.Cleaned = text;
    c.Message = QStringLiteral("Die Serververbindung „%1“ ist nicht verwendbar: %2.").arg(text, why);
    if (!detail.isEmpty()) c.Message += QStringLiteral(" (Meldung von libpq: %1)").arg(detail);
    return c;
}

} // namespace

TServerConnection ParseServerConnection(const QString& input) {
    const QString text = input.trimmed();
    TServerConnection c;
    if (text.isEmpty()) return c;
    static const QRegularExpression serviceName(QStringLiteral("^[A-Za-z0-9_.\\-]+$"));
    const bool service = serviceName.match(text).hasMatch();
    // libpq reads the text itself, key=value or postgresql:// alike.
    char* error = nullptr;
    const QByteArray utf8 = service ? "service=" + text.toUtf8() : text.toUtf8();
    PQconninfoOption* options = PQconninfoParse(utf8.constData(), &error);
    if (!options) {
        const QString detail = error ? QString::fromUtf8(error).trimmed() : QString();
        if (error) PQfreemem(error);
        return Refused(text, QStringLiteral("libpq kann sie nicht lesen; bitte die Schreibweise "
                                            "prüfen (Beispiele in der Hilfe)"),
                       detail);
    }
    TPairs pairs;
    bool removed = false;
    for (const PQconninfoOption* o = options; o->keyword; ++o) {
        if (!o->val) continue;
        const QString key = QString::fromUtf8(o->keyword);
        if (key == QLatin1String("password")) {
            removed = true;
            continue;
        }
        pairs.emplace_back(key, QString::fromUtf8(o->val));
    }
    PQconninfoFree(options);
    // As typed, unless a password has to go: then as libpq read it.
    c.Cleaned = removed ? JoinPairs(pairs) : text;
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
