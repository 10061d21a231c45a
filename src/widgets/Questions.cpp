#include "Questions.h"
#include "ProgramInfo.h"

#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

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

QString SaveFileName(QWidget* parent, const QString& caption, const QString& filter,
                     const QString& folder) {
    QFileDialog dialog(parent, caption, folder, filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    // "w" becomes "w.html" in the dialog: a "w.html" there is asked about, not replaced.
    const qsizetype dot = filter.indexOf(QLatin1String("(*."));
    if (dot >= 0)
        dialog.setDefaultSuffix(filter.mid(dot + 3).section(QLatin1Char(')'), 0, 0).section(QLatin1Char(' '), 0, 0));
    if (dialog.exec() != QDialog::Accepted) return QString();
    return dialog.selectedFiles().value(0);
}

std::function<bool(const QString&)> AskYesNo = [](const QString& question) {
    QMessageBox box(QMessageBox::Question, ProgramTitle(), question, QMessageBox::NoButton,
                    QApplication::activeWindow());
    QPushButton* yes = box.addButton(QStringLiteral("Ja"), QMessageBox::YesRole);
    QPushButton* no = box.addButton(QStringLiteral("Nein"), QMessageBox::NoRole);
    box.setDefaultButton(no);
    box.setEscapeButton(no);
    box.exec();
    return box.clickedButton() == yes;
};

} // namespace Questions
