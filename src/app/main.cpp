#include "BackupFile.h"
#include "FMain.h"
#include "FolderLock.h"
#include "ProgramInfo.h"
#include "Recovery.h"
#include "TerminationRequest.h"
#include "Translations.h"

#include <QApplication>
#include <QFileInfo>
#include <QIcon>
#include <QMessageBox>
#include <QTimer>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    InstallQtTranslations(); // without the file Qt's dialogs stay English
    // Settings live under the program title ($XDG_CONFIG_HOME/<title>.conf).
    QApplication::setOrganizationName(ProgramTitle());
    QApplication::setApplicationName(ProgramTitle());
    // Matches the installed menu entry and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("example.tempora_zeitnahme.Zeitnahme"));
    QuitOnTerminationRequest();
    // Before any file of the folder is touched: journal, backup, database.
    TFolderLock lock(QFileInfo(TBackupFile(ProgramTitle()).FileName()).absolutePath(), ProgramTitle());
    QString running;
    if (!lock.TryLock(running)) {
        QMessageBox::critical(nullptr, ProgramTitle(), running);
        return 1;
    }
    TFormMain form; // brings in the resources
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/app/zeitnahme.svg")));
    // Asked to end while starting up: the event loop would never see it.
    if (TerminationRequested()) return 0;
    form.show();
    // Asked once the window stands, so the question has its owner behind it.
    QTimer::singleShot(0, &form, [&form] { form.Recovery().Offer(); });
    return app.exec();
}
