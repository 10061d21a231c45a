#include "ProgramInfo.h"

#include <QCoreApplication>
#include <QFileInfo>

QString ProgramTitle() {
    return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
}

QString ProgramDir() {
    return QCoreApplication::applicationDirPath();
}
