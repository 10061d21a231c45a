#include "StationIdentity.h"

#include "DurableFile.h"
#include "EventRecords.h"

#include <QFile>

namespace {
const QByteArray IdKey = "id=";
const QByteArray ReplacesKey = "ersetzt=";
} // namespace

TStationIdentity TStationIdentity::LoadOrMake(const QString& path, QString* error) {
    TStationIdentity s;
    QFile f(path);
    if (f.open(QIODevice::ReadOnly)) {
        for (const QByteArray& raw : f.readAll().split('\n')) {
            const QByteArray line = raw.trimmed();
            if (line.startsWith(IdKey)) s.Id = QString::fromUtf8(line.mid(IdKey.size()));
            if (line.startsWith(ReplacesKey)) s.Replaces << QString::fromUtf8(line.mid(ReplacesKey.size()));
        }
        if (!s.Id.isEmpty()) return s;
    }
    s.Id = NewRecordUuid();
    if (!s.Save(path) && error)
        *error = QStringLiteral("Die Kennung dieser Station kann nicht in %1 gespeichert werden; "
                                "beim nächsten Start gilt sie als neue Station.")
                     .arg(path);
    return s;
}

bool TStationIdentity::Save(const QString& path) const {
    QByteArray bytes = "# Kennung dieser Zeitnahme-Station: nicht kopieren, nicht ändern.\n" + IdKey +
                       Id.toUtf8() + '\n';
    for (const QString& r : Replaces)
        bytes += ReplacesKey + r.toUtf8() + '\n';
    return ReplaceFileContents(path, bytes);
}
