#pragma once
// One copy of the program per working folder: a lock file beside the backup. A second
// copy there would replace the journal the first one writes and overwrite its backup.
#include <QString>
#include <memory>

class QLockFile;

class TFolderLock {
public:
    TFolderLock(const QString& folder, const QString& title);
    ~TFolderLock();
    // True: this copy holds the folder until it ends. False: running says which copy
    // holds it (a copy that died leaves no valid lock behind).
    bool TryLock(QString& running);
    QString Path() const { return FPath; }

private:
    QString FPath;
    std::unique_ptr<QLockFile> FLock;
};
