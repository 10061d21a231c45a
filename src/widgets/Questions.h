#pragma once
// The program's message boxes and its one-line question, in one place below every
// window, so that each window and addition asks the same way and tests answer them.
#include <QString>
#include <functional>

namespace Questions {

extern std::function<void(const QString&)> ShowMessage; // information icon, OK
extern std::function<void(const QString&)> ShowError;   // error icon, OK
// Asks for a text; true when the user confirmed.
extern std::function<bool(const QString& label, QString& text)> AskText;

} // namespace Questions
