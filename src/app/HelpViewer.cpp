#include "HelpViewer.h"

#include "ProgramInfo.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

namespace {

// The built-in help names the files of the program under its own title.
class THelpBrowser : public QTextBrowser {
public:
    using QTextBrowser::QTextBrowser;
    QVariant loadResource(int type, const QUrl& name) override {
        QVariant v = QTextBrowser::loadResource(type, name);
        if (type != QTextDocument::HtmlResource || name.scheme() != QLatin1String("qrc")) return v;
        return THelpViewer::FollowTitle(QString::fromUtf8(v.toByteArray()), ProgramTitle());
    }
};

} // namespace

QString THelpViewer::FollowTitle(const QString& html, const QString& title) {
    static const QRegularExpression code(QStringLiteral("<code>.*?</code>"),
                                         QRegularExpression::DotMatchesEverythingOption);
    // Not the package's file name (Zeitnahme_1.6_amd64.deb): that keeps its name.
    static const QRegularExpression name(QStringLiteral("Zeitnahme(?!_)"));
    QString result;
    qsizetype done = 0;
    for (const QRegularExpressionMatch& m : code.globalMatch(html)) {
        result += html.mid(done, m.capturedStart() - done);
        result += m.captured().replace(name, title.toHtmlEscaped());
        done = m.capturedEnd();
    }
    return result + html.mid(done);
}

THelpViewer::THelpViewer(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("HelpViewer"));
    setWindowTitle(ProgramTitle() + QStringLiteral(" – Hilfe"));
    Browser = new THelpBrowser(this);
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
