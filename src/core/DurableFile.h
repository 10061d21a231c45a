#pragma once
#include <QByteArray>
#include <QString>

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

// Writes a whole file beside the target and renames it over it, so a failed write
// never leaves half a file and an older one stays as it was.
bool ReplaceFileContents(const QString& fileName, const QByteArray& bytes);

// Identity of the running boot of the machine; empty where the platform has none.
QString CurrentBootId();
