#include "Translations.h"

#include "ProgramInfo.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

bool InstallQtTranslations() {
    auto* translator = new QTranslator(QCoreApplication::instance());
    const QStringList folders = {
        QLibraryInfo::path(QLibraryInfo::TranslationsPath),
        QDir(ProgramDir()).absoluteFilePath(QStringLiteral("translations"))};
    for (const QString& folder : folders)
        if (translator->load(QStringLiteral("qtbase_de"), folder))
            return QCoreApplication::installTranslator(translator);
    delete translator;
    return false;
}

void UseGermanFormats() {
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
}
