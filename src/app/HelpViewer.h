#pragma once
#include <QWidget>

class QTextBrowser;

// The in-program help: the German help document in a window of its own.
class THelpViewer : public QWidget {
public:
    // The help shipped with the program.
    static constexpr const char* BuiltInHelp = "qrc:/help/hilfe.html";

    explicit THelpViewer(QWidget* parent = nullptr);
    // Shows the help at its contents. A file of that name beside the program (a
    // club's own help) is shown instead of the built-in one.
    void ShowContents(const QString& helpFile);
    // The file and folder names in <code> of the help with the program's title.
    static QString FollowTitle(const QString& html, const QString& title);

    QTextBrowser* Browser;
};
