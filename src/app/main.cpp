#include "FMain.h"
#include "TerminationRequest.h"
#include "Translations.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    InstallQtTranslations(); // without the file Qt's dialogs stay English
    // Settings live under the program title ($XDG_CONFIG_HOME/<title>.conf).
    QApplication::setOrganizationName(ProgramTitle());
    QApplication::setApplicationName(ProgramTitle());
    // Matches the installed menu entry and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("example.tempora_zeitnahme.Zeitnahme"));
    QuitOnTerminationRequest();
    TFormMain form; // brings in the resources
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/app/zeitnahme.svg")));
    form.show();
    return app.exec();
}
