#pragma once
// Qt's own texts (standard dialogs, buttons, context menus) in German, whatever
// the system language: every text of the program itself is German.

// Loads Qt's German translation from Qt's translations folder, or from
// "translations" beside the program, and installs it. False when none was found;
// the program then runs with Qt's English texts.
bool InstallQtTranslations();
