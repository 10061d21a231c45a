#include "BackupFile.h"
#include "DurableFile.h"
#include "ProgramInfo.h"

#include "Protocol.h"
#include "ProtocolFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

// One text per file: symbolic links and "..", and on Windows the letter case,
// must not make the same file look like two.
QString Key(const QString& fileName) {
    const QFileInfo fi(fileName);
    const QString canonical = fi.canonicalFilePath();
    QString key = canonical.isEmpty() ? QDir::cleanPath(fi.absoluteFilePath()) : canonical;
#ifdef Q_OS_WIN
    key = key.toLower();
#endif
    return key;
}

// Whether a backup holds any row besides the header.
bool HoldsRows(const QString& fileName) {
    if (!QFileInfo(fileName).isFile()) return false; // a pipe would never answer
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) return false;
    const QByteArray data = file.read(ProtocolFile::MaxFileSize + 1);
    if (!ProtocolFile::LooksLikeText(data)) return true; // not ours to judge: keep it
    for (const QStringList& row : ProtocolFile::ParseRows(ProtocolFile::DecodeText(data)))
        if (!IsBlankRow(row)) return true;
    return false;
}

} // namespace

TBackupFile::TBackupFile(QString title) : FTitle(std::move(title)) {}

void TBackupFile::Protect(const QString& fileName) {
    const QString key = Key(fileName);
    if (!FProtected.contains(key)) FProtected << key;
}

bool TBackupFile::SameFile(const QString& a, const QString& b) {
    return Key(a) == Key(b);
}

bool TBackupFile::IsOwnPlace(const QString& fileName) const {
    const QString usual = TBackupFile(FTitle).FileName();
    return SameFile(fileName, usual) || SameFile(fileName, Previous(usual));
}

bool TBackupFile::IsProtected(const QString& fileName) const {
    return FProtected.contains(Key(fileName));
}

QString TBackupFile::Previous(const QString& fileName) {
    const QFileInfo fi(fileName);
    return fi.dir().absoluteFilePath(fi.completeBaseName() + QStringLiteral(".vorher.txt"));
}

bool TBackupFile::Usable(const QString& fileName) const {
    return !IsProtected(fileName) && !IsProtected(Previous(fileName));
}

QString TBackupFile::FileName() const {
    const QString name = FTitle + QStringLiteral(".txt");
    // An installed program, started from the menu in whatever folder, keeps it in the data folder.
    if (!IsInstalled() && QFileInfo(QDir::currentPath()).isWritable()) {
        const QString here = QDir::current().absoluteFilePath(name);
        if (Usable(here)) return here;
    }
    const QString data = DataFolder();
    const QString there = QDir(data).absoluteFilePath(name);
    if (Usable(there)) return there;
    return QDir(data).absoluteFilePath(FTitle + QStringLiteral(".sicherung.txt"));
}

QString TBackupFile::PreviousFileName() const {
    return Previous(FileName());
}

void TBackupFile::Continue(const QString& fileName) {
    if (!SameFile(fileName, FileName())) Protect(FileName());
    if (SameFile(fileName, FileName()) && !FRotated.contains(Key(fileName)))
        FRotated << Key(fileName);
}

QString TBackupFile::Prepare() {
    const QString target = FileName();
    const QString key = Key(target);
    if (!FRotated.contains(key)) {
        FRotated << key;
        // An empty backup (a start and quit without a run) never replaces the kept
        // one: two such starts would lose the last session's results.
        // Replaced only by a complete copy: on a full disk the kept one stays.
        if (HoldsRows(target)) {
            QFile file(target);
            if (file.open(QIODevice::ReadOnly))
                ReplaceFileContents(Previous(target), file.read(ProtocolFile::MaxFileSize + 1));
        }
    }
    return target;
}
