#include "Questions.h"
#include "ProgramInfo.h"

#include <QApplication>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>

namespace Questions {

std::function<bool(const QString&, bool)> Divert;

std::function<void(const QString&)> ShowMessage = [](const QString& text) {
    if (Divert && Divert(text, false)) return;
    QMessageBox::warning(QApplication::activeWindow(), ProgramTitle(), text);
};

std::function<void(const QString&)> ShowError = [](const QString& text) {
    if (Divert && Divert(text, true)) return;
    QMessageBox::critical(QApplication::activeWindow(), ProgramTitle(), text);
};

std::function<bool(const QString&, QString&)> AskText = [](const QString& label, QString& text) {
    bool ok = false;
    const QString answer = QInputDialog::getText(QApplication::activeWindow(), ProgramTitle(),
                                                 label, QLineEdit::Normal, text, &ok);
    if (ok) text = answer;
    return ok;
};

} // namespace Questions
