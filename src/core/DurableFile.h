#pragma once
#include <QByteArray>
#include <QString>
#include <functional>

// A file that is only appended to, each append on the disk before it returns
// (fdatasync on POSIX, a flush of the file buffers on Windows).
class TDurableFile {
public:
    TDurableFile() = default;
    ~TDurableFile();
    TDurableFile(const TDurableFile&) = delete;
    TDurableFile& operator=(const TDurableFile&) = delete;

    // Creates or empties the file.
    bool Create(const QString& path);
    // Opens an existing regular file for appending.
    bool OpenToAppend(const QString& path);
    bool IsOpen() const { return FHandle >= 0; }
    // Writes all bytes and waits until they are on the disk.
    bool AppendDurably(const QByteArray& bytes);
    void Close();

private:
    int FHandle = -1;
};

// Writes a whole file beside the target, flushes and syncs it, and only then renames
// it over the target: a failed write (a full disk) never leaves half a file or an
// empty one, and the older file stays as it was. error (when given) gets the cause.
bool ReplaceFileContents(const QString& fileName, const QByteArray& bytes,
                         QString* error = nullptr);

// The cause of a failed file operation in German ("Der Datenträger ist voll").
QString FileErrorText(int error);

// Test stand-in for the disk: given the file about to be written, an errno to fail
// with (ENOSPC for a full disk), 0 to write. Empty: the disk as it is.
extern std::function<int(const QString& fileName)> FileFault;

// Identity of the running boot of the machine; empty where the platform has none.
QString CurrentBootId();
