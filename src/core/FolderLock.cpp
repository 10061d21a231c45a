#include "FolderLock.h"

#include <QDir>
#include <QFileInfo>
#include <QLockFile>

TFolderLock::TFolderLock(const QString& folder, const QString& title)
    : FPath(QDir(folder).absoluteFilePath(title + QStringLiteral(".lock"))),
      FLock(std::make_unique<QLockFile>(FPath)) {
    FLock->setStaleLockTime(0); // held as long as its program runs, however long
}

TFolderLock::~TFolderLock() = default;

bool TFolderLock::TryLock(QString& running) {
    if (FLock->tryLock(0)) return true;
    qint64 pid = 0;
    QString host, app;
    if (FLock->error() == QLockFile::LockFailedError && FLock->getLockInfo(&pid, &host, &app))
        running = QStringLiteral("%1 läuft in diesem Ordner schon (Prozess %2 auf %3).\n"
                                 "Ordner: %4\n\nDiese zweite Kopie wird beendet, ohne die Dateien "
                                 "der laufenden anzufassen. Für eine zweite Zeitnahme bitte einen "
                                 "eigenen Ordner verwenden.")
                      .arg(app.isEmpty() ? QStringLiteral("Das Programm") : app)
                      .arg(pid)
                      .arg(host, QDir::toNativeSeparators(QFileInfo(FPath).absolutePath()));
    else
        running = QStringLiteral("Die Sperrdatei %1 kann nicht angelegt werden; das Programm wird "
                                 "beendet, damit keine zweite Kopie seine Dateien überschreibt.")
                      .arg(QDir::toNativeSeparators(FPath));
    return false;
}
