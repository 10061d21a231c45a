#pragma once
class QDialog;

// Nothing of a closed dialog may stay on screen or take input: a file name
// completer's popup is hidden with its dialog, and the file system model's late
// answer cannot show it again while the dialog is closed.
void GuardCompleterPopups(QDialog* dialog);
