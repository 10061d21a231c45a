#pragma once
// The folder a file dialog starts in: the one last used for that kind of file,
// kept with the settings ("Ordner" + kind), else the user's documents folder.
#include <QString>

class TSettingsStore;

namespace RecentFolders {

// The window's settings; without them the folders are kept for this run only.
void Attach(TSettingsStore* store);
void Detach(const TSettingsStore* store); // only when it is the one attached
QString Folder(const QString& kind);
// The folder of a file (or a folder) the user chose for that kind.
void Remember(const QString& kind, const QString& path);

inline const QString Protocol = QStringLiteral("Protokoll");
inline const QString Standings = QStringLiteral("Wertung");
inline const QString Runs = QStringLiteral("Laeufe");

} // namespace RecentFolders
