#include "FMain.h"
#include "Translations.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    InstallQtTranslations(); // without the file Qt's dialogs stay English
    // Settings live under the program title ($XDG_CONFIG_HOME/<title>.conf).
    QApplication::setOrganizationName(ProgramTitle());
    QApplication::setApplicationName(ProgramTitle());
    TFormMain form;
    form.show();
    return app.exec();
}
