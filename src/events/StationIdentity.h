#pragma once
// A station's identity: made once and kept in a file of its own beside the event
// database, so a station stays itself whatever it is called, and a second laptop
// under the same name is a second station. The name is only a label.
#include <QString>
#include <QStringList>

struct TStationIdentity {
    QString Id;
    // Identities whose name this station took over ("diese Station ersetzen").
    QStringList Replaces;

    // Reads the file, or makes a new identity and writes it. A file that cannot be
    // written leaves an identity for this program run only (error says why).
    static TStationIdentity LoadOrMake(const QString& path, QString* error = nullptr);
    bool Save(const QString& path) const;
};
