#pragma once
// A red line over a window's content for problems that must not stop the operator:
// no box to close, no focus taken, so every key keeps working. A click on the line
// opens the list of every notice of this program run with its details below it;
// another click closes it, "×" hides the line until the next notice.
#include <QDateTime>
#include <QWidget>
#include <functional>

class QLabel;
class QPlainTextEdit;
class QToolButton;

class TNoticeLine : public QWidget {
public:
    explicit TNoticeLine(QWidget* parent);

    // Shows the text; details (empty: none) go to the list only. The same text right
    // after itself is counted, not listed again.
    void Notice(const QString& text, const QString& details = QString());
    void Dismiss();
    bool DetailsOpen() const;
    void SetDetailsOpen(bool open);
    QString Text() const;          // the line as shown
    QStringList Notices() const;   // every notice of this program run, oldest first
    int Height() const;            // what the owner leaves for it; 0 while hidden
    // Shown, hidden, opened or closed: the owner lays out again.
    std::function<void(TNoticeLine*)> OnChanged;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    struct TEntry {
        QDateTime When;
        QString Text, Details;
        int Count = 1;
    };
    void Fill();
    void Changed();

    QList<TEntry> FEntries;
    QLabel* FLine;
    QToolButton* FClose;
    QPlainTextEdit* FDetails;
};
