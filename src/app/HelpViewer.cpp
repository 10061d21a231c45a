#include "HelpViewer.h"

#include "ProgramInfo.h"

#include <QFileInfo>
#include <QScrollBar>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

THelpViewer::THelpViewer(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("HelpViewer"));
    setWindowTitle(ProgramTitle() + QStringLiteral(" – Hilfe"));
    Browser = new QTextBrowser(this);
    Browser->setObjectName(QStringLiteral("HelpBrowser"));
    Browser->setOpenExternalLinks(true);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(Browser);
    resize(720, 600);
}

void THelpViewer::ShowContents(const QString& helpFile) {
    const QFileInfo own(helpFile);
    const QUrl url = !helpFile.isEmpty() && own.isFile()
                         ? QUrl::fromLocalFile(own.absoluteFilePath())
                         : QUrl(QLatin1String(BuiltInHelp));
    if (Browser->source() != url) Browser->setSource(url);
    Browser->scrollToAnchor(QString());
    Browser->verticalScrollBar()->setValue(0);
    show();
    raise();
    activateWindow();
}
