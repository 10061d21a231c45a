#include "NetAddresses.h"

#include <QNetworkInterface>

QStringList LiveAddresses(quint16 port) {
    QStringList out;
    for (const QNetworkInterface& i : QNetworkInterface::allInterfaces()) {
        const auto flags = i.flags();
        if (!(flags & QNetworkInterface::IsUp) || !(flags & QNetworkInterface::IsRunning) ||
            (flags & QNetworkInterface::IsLoopBack))
            continue;
        for (const QNetworkAddressEntry& e : i.addressEntries()) {
            const QHostAddress a = e.ip();
            if (a.protocol() != QAbstractSocket::IPv4Protocol || a.isLoopback()) continue;
            const QString url = QStringLiteral("http://%1:%2/").arg(a.toString()).arg(port);
            if (!out.contains(url)) out << url;
        }
    }
    return out;
}
