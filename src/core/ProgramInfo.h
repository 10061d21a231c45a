#pragma once
#include <QString>

// The program title: the program file's name without folder and extension.
// Caption, settings and default file names follow it.
QString ProgramTitle();

// Folder of the running program.
QString ProgramDir();

// Whether the program runs from an installation (its menu entry's metadata lies
// in the prefix's share folder), not from a build or a folder of its own.
bool IsInstalled();

// The user's data folder of the program, $XDG_DATA_HOME/<title>, created on demand.
QString DataFolder();

// Folder of the buttons' web page: the current folder; for an installed program,
// started from the menu in whatever folder, and when the current folder cannot be
// written, the data folder. (The backup follows the same rule, see TBackupFile.)
QString WorkFolder();

// Where file dialogs start when no folder was used for that kind of file yet:
// the user's documents folder (made when missing), else the home folder.
QString DocumentFolder();
