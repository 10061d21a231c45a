#pragma once
// Where a station forwards its runs: a libpq service name, a key=value
// connection string or a postgresql:// address, and the station's own name.
// Passwords never pass through here: they belong in ~/.pgpass (or the file a
// service names), never in our settings file.
#include <QString>

struct TServerConnection {
    QString ConnInfo; // what libpq gets (key=value); empty: no server
    QString Cleaned;  // the text to keep in the settings, without a password
    QString Message;  // German: what was removed, or why the text cannot be used
    bool Ok = true;   // usable, or empty (no server)
};

TServerConnection ParseServerConnection(const QString& text);

// A station name as it goes with each record: trimmed, without control
// characters, at most 100 characters. Empty when nothing is left.
QString CleanStationName(const QString& text);

// Value names in the settings store.
inline const QString ServerValueName = QStringLiteral("Server");
inline const QString StationValueName = QStringLiteral("Station");
// Whether runs of other stations go into this station's protocol (default yes).
inline const QString OthersToProtocolValueName = QStringLiteral("StationenInsProtokoll");
