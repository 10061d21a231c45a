#include "PopupGuard.h"

#include <QAbstractItemView>
#include <QCompleter>
#include <QDialog>
#include <QEvent>
#include <QPointer>

namespace {

class TPopupGuard : public QObject {
public:
    explicit TPopupGuard(QDialog* dialog) : QObject(dialog), FDialog(dialog) {
        dialog->installEventFilter(this);
        WatchPopups();
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == FDialog) {
            if (event->type() == QEvent::Show) WatchPopups(); // widgets may be made late
            if (event->type() == QEvent::Hide) HidePopups();
        } else if (event->type() == QEvent::Show && !FDialog->isVisible()) {
            // Shown after the dialog closed (the directory listing arrived late).
            QPointer<QWidget> popup = static_cast<QWidget*>(watched);
            QMetaObject::invokeMethod(
                this,
                [popup] {
                    if (popup) popup->hide();
                },
                Qt::QueuedConnection);
        }
        return false;
    }

private:
    void WatchPopups() {
        for (QCompleter* c : FDialog->findChildren<QCompleter*>()) {
            QWidget* popup = c->popup();
            if (!FWatched.contains(popup)) {
                popup->installEventFilter(this);
                FWatched << popup;
            }
        }
    }
    void HidePopups() {
        for (QCompleter* c : FDialog->findChildren<QCompleter*>())
            if (c->popup()->isVisible()) c->popup()->hide();
    }

    QDialog* FDialog;
    QList<QPointer<QWidget>> FWatched;
};

} // namespace

void GuardCompleterPopups(QDialog* dialog) {
    new TPopupGuard(dialog);
}
