#pragma once
// The Word-Basic-like document interface: one method per automation call the
// Word export makes. Failures are thrown as EOfficeError.
#include "OfficeError.h"

#include <QString>

class IWordBasic {
public:
    virtual ~IWordBasic() = default;
    virtual void AppMaximize() = 0;
    virtual void AppMinimize() = 0;
    virtual void FileOpen(const QString& fileName) = 0;
    virtual void FileNew() = 0;
    // Text at the insertion point; CR LF ends a paragraph.
    virtual void Insert(const QString& text) = 0;
    // Moves the insertion point up by count lines; extend 1 selects them.
    virtual void LineUp(int count, int extend) = 0;
    // Turns the selected lines into a table; convertFrom 1 splits at tabs.
    virtual void TextToTable(int convertFrom, int numColumns) = 0;
    virtual void FileSaveAs(const QString& fileName) = 0;
    virtual void AppClose() = 0;
};
