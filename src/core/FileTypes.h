#pragma once
#include <QString>

// Display names of the file types offered in the open and save dialogs.
struct TFileTypeNames {
    QString Text = QStringLiteral("Textdatei");
    QString Html = QStringLiteral("Webseite");
    QString Word = QStringLiteral("MS Word");
    QString Excel = QStringLiteral("MS Excel");
};

// The names the system registers for the four types (Windows: the default values of
// "htmlfile", "txtfile", "Word.Document" and "Excel.Sheet" under the classes root);
// the fallbacks where the system has none.
TFileTypeNames ReadFileTypeNames();
