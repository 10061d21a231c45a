#pragma once
// Where the automatic backup of the protocol goes. Its place is the program title
// with ".txt" in the current folder; the user's application data folder takes it
// when the current folder cannot be written, or when the user saved or loaded that
// very file in this program run: the backup never overwrites the user's own files.
#include <QString>
#include <QStringList>

class TBackupFile {
public:
    explicit TBackupFile(QString title);

    // A file the user saved or loaded in this program run.
    void Protect(const QString& fileName);
    bool IsProtected(const QString& fileName) const;
    static bool SameFile(const QString& a, const QString& b);
    // The backup's usual place or the previous one beside it: a file there is
    // replaced by the backup of a later program run.
    bool IsOwnPlace(const QString& fileName) const;

    QString FileName() const;
    // The last program run's backup, kept beside the backup.
    QString PreviousFileName() const;
    // The file to write now. The first time a place is used in this program run,
    // the backup already there is kept as the previous one, unless it holds no row.
    QString Prepare();
    // Goes on with the backup of a program run that did not end properly: its file
    // already is this run's, and a protected usual place stays protected.
    void Continue(const QString& fileName);

private:
    static QString Previous(const QString& fileName);
    bool Usable(const QString& fileName) const;

    QString FTitle;
    QStringList FProtected; // comparison keys
    QStringList FRotated;   // places whose previous backup was kept
};
