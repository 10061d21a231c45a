#pragma once
#include <QAction>
#include <functional>

// An item of the hidden main menu. Its shortcut and every other route (buttons,
// the light barrier, code) go through Click, and a disabled item ignores it.
class TMenuItem : public QAction {
    Q_OBJECT
public:
    TMenuItem(const QString& caption, const QKeySequence& shortcut, QObject* parent)
        : QAction(caption, parent) {
        setShortcut(shortcut);
        setShortcutContext(Qt::WindowShortcut);
        connect(this, &QAction::triggered, this, [this] { Click(); });
    }

    bool Enabled() const { return isEnabled(); }
    void SetEnabled(bool value) { setEnabled(value); }

    // The one gate of every timing event: nothing happens while disabled.
    void Click() {
        if (isEnabled() && OnClick) OnClick(this);
    }

    std::function<void(QObject* sender)> OnClick;
    int Tag = 0;
};
