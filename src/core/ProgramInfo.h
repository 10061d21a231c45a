#pragma once
#include <QString>

// The program title: the program file's name without folder and extension.
// Caption, settings and default file names follow it.
QString ProgramTitle();

// Folder of the running program.
QString ProgramDir();
