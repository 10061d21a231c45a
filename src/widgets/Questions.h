#pragma once
// The program's message boxes and its one-line question, in one place below every
// window, so that each window and addition asks the same way and tests answer them.
#include <QString>
#include <functional>

class QWidget;

namespace Questions {

extern std::function<void(const QString&)> ShowMessage; // information icon, OK
extern std::function<void(const QString&)> ShowError;   // error icon, OK
// Takes a message instead of its box while a box would stop the operator (a run in
// progress); false: not taken, the box appears. The main window sets it.
extern std::function<bool(const QString& text, bool error)> Divert;
// Asks for a text; true when the user confirmed.
extern std::function<bool(const QString& label, QString& text)> AskText;
// Asks yes or no ("Ja" is not the default: Enter alone changes nothing); true for yes.
extern std::function<bool(const QString& question)> AskYesNo;

// Asks for a file to save to, starting in folder; filter "Webseite (*.html)". The extension
// of the filter is added before the dialog asks whether to replace an existing file.
// Empty: cancelled.
QString SaveFileName(QWidget* parent, const QString& caption, const QString& filter,
                     const QString& folder = QString());

} // namespace Questions
