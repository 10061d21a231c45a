#include "ProgramInfo.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

QString ProgramTitle() {
    return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
}

QString ProgramDir() {
    return QCoreApplication::applicationDirPath();
}

bool IsInstalled() {
    // A writable program folder says nothing when the user is root.
    return QFileInfo::exists(
        ProgramDir() +
        QStringLiteral("/../share/metainfo/example.tempora_zeitnahme.Zeitnahme.metainfo.xml"));
}

QString DataFolder() {
    // $XDG_DATA_HOME/<title>, whatever organisation and application names are set.
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
                         QLatin1Char('/') + ProgramTitle();
    QDir().mkpath(data);
    return data;
}

QString WorkFolder() {
    if (!IsInstalled() && QFileInfo(QDir::currentPath()).isWritable()) return QDir::currentPath();
    return DataFolder();
}

QString DocumentFolder() {
    // Never the program's own folder: a build folder or a source clone is no place
    // for the day's files (a clean-up of the clone would take them along).
    const QString docs = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (!docs.isEmpty() && QDir().mkpath(docs) && QFileInfo(docs).isWritable()) return docs;
    return QDir::homePath();
}
