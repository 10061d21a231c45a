#include "RecentFolders.h"
#include "ProgramInfo.h"
#include "Settings.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>

namespace RecentFolders {

namespace {
TSettingsStore* Store = nullptr;
QHash<QString, QString> Kept; // this run's, also without a store

QString ValueName(const QString& kind) {
    return QStringLiteral("Ordner") + kind;
}
} // namespace

void Attach(TSettingsStore* store) {
    Store = store;
    Kept.clear();
}

void Detach(const TSettingsStore* store) {
    if (Store == store) Store = nullptr;
}

QString Folder(const QString& kind) {
    QString folder = Kept.value(kind);
    if (folder.isEmpty() && Store) folder = Store->Value(ValueName(kind)).toString();
    // A folder since removed (a USB stick taken out) starts nowhere useful.
    if (!folder.isEmpty() && QFileInfo(folder).isDir()) return folder;
    return DocumentFolder();
}

void Remember(const QString& kind, const QString& path) {
    if (path.isEmpty()) return;
    const QFileInfo info(path);
    const QString folder = info.isDir() ? info.absoluteFilePath() : info.absolutePath();
    Kept.insert(kind, folder);
    if (Store) Store->SetValue(ValueName(kind), QDir::toNativeSeparators(folder));
}

} // namespace RecentFolders
