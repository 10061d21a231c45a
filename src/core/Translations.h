#pragma once
// Qt's own texts (standard dialogs, buttons, context menus) in German, whatever
// the system language: every text of the program itself is German.

// Loads Qt's German translation from Qt's translations folder, or from
// "translations" beside the program, and installs it. False when none was found;
// the program then runs with Qt's English texts.
bool InstallQtTranslations();

// Dates, times and numbers the German way whatever the system's locale (a fresh
// machine often has only the C locale, which would show "8 Dec 2026").
void UseGermanFormats();
