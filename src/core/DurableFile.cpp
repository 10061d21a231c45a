#include "DurableFile.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>
#include <cstring>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#else
#include <cstring>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

TDurableFile::~TDurableFile() {
    Close();
}

bool TDurableFile::Create(const QString& path) {
    Close();
    const QByteArray name = QFile::encodeName(path);
#ifdef _WIN32
    FHandle = _open(name.constData(), _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY | _O_APPEND,
                    _S_IREAD | _S_IWRITE);
#else
    FHandle = ::open(name.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0644);
#endif
    return FHandle >= 0;
}

bool TDurableFile::OpenToAppend(const QString& path) {
    Close();
    const QByteArray name = QFile::encodeName(path);
#ifdef _WIN32
    FHandle = _open(name.constData(), _O_WRONLY | _O_BINARY | _O_APPEND);
#else
    // Never waits for a reader when something else than a file took the name.
    FHandle = ::open(name.constData(), O_WRONLY | O_APPEND | O_CLOEXEC | O_NONBLOCK);
    struct stat st;
    if (FHandle >= 0 && (::fstat(FHandle, &st) != 0 || !S_ISREG(st.st_mode))) Close();
#endif
    return FHandle >= 0;
}

bool TDurableFile::AppendDurably(const QByteArray& bytes) {
    if (FHandle < 0) return false;
    const char* p = bytes.constData();
    qint64 left = bytes.size();
    while (left > 0) {
#ifdef _WIN32
        const int n = _write(FHandle, p, static_cast<unsigned>(left));
        if (n <= 0) return false;
#else
        const ssize_t n = ::write(FHandle, p, static_cast<size_t>(left));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
#endif
        p += n;
        left -= n;
    }
#ifdef _WIN32
    return _commit(FHandle) == 0;
#else
    int r;
    do
        r = ::fdatasync(FHandle);
    while (r < 0 && errno == EINTR);
    return r == 0;
#endif
}

void TDurableFile::Close() {
    if (FHandle < 0) return;
#ifdef _WIN32
    _close(FHandle);
#else
    ::close(FHandle);
#endif
    FHandle = -1;
}

QString CurrentBootId() {
#ifdef __linux__
    QFile f(QStringLiteral("/proc/sys/kernel/random/boot_id"));
    if (f.open(QIODevice::ReadOnly)) return QString::fromLatin1(f.readAll().trimmed());
#endif
    return QString();
}

std::function<int(const QString&)> FileFault;

QString FileErrorText(int error) {
    switch (error) {
    case ENOSPC: return QStringLiteral("Der Datenträger ist voll");
#ifdef EDQUOT
    case EDQUOT: return QStringLiteral("Das Speicherkontingent ist erschöpft");
#endif
    case EACCES:
    case EPERM: return QStringLiteral("Keine Berechtigung zum Schreiben");
    case EROFS: return QStringLiteral("Der Datenträger ist schreibgeschützt");
    case EIO: return QStringLiteral("Ein-/Ausgabefehler des Datenträgers");
    case ENOENT: return QStringLiteral("Der Ordner fehlt");
    case EISDIR: return QStringLiteral("Der Name gehört einem Ordner");
    default: return QString::fromLocal8Bit(std::strerror(error));
    }
}

#ifdef _WIN32
bool ReplaceFileContents(const QString& fileName, const QByteArray& bytes, QString* error) {
    const int fault = FileFault ? FileFault(fileName) : 0;
    QSaveFile file(fileName);
    if (fault == 0 && file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() &&
        file.commit())
        return true;
    if (error) *error = fault ? FileErrorText(fault) : file.errorString();
    if (file.isOpen()) file.cancelWriting();
    return false;
}
#else
bool ReplaceFileContents(const QString& fileName, const QByteArray& bytes, QString* error) {
    const auto fail = [error](int e) {
        if (error) *error = FileErrorText(e);
        return false;
    };
    const QFileInfo target(fileName);
    if (const int fault = FileFault ? FileFault(fileName) : 0) return fail(fault);
    const QByteArray name = QFile::encodeName(target.absoluteFilePath());
    QByteArray temp = name + ".schreiben-XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) return fail(errno);
    int e = 0;
    const char* p = bytes.constData();
    qint64 left = bytes.size();
    while (left > 0 && e == 0) {
        const ssize_t n = ::write(fd, p, static_cast<size_t>(left));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) e = n < 0 ? errno : ENOSPC;
        else {
            p += n;
            left -= n;
        }
    }
    // The new contents are on the disk before the name points at them.
    if (e == 0 && ::fsync(fd) != 0) e = errno;
    struct stat old;
    if (e == 0 && ::stat(name.constData(), &old) == 0) ::fchmod(fd, old.st_mode & 07777);
    else if (e == 0) ::fchmod(fd, 0644);
    if (::close(fd) != 0 && e == 0) e = errno;
    if (e == 0 && ::rename(temp.constData(), name.constData()) != 0) e = errno;
    if (e != 0) {
        ::unlink(temp.constData());
        return fail(e);
    }
    // The rename itself survives a power loss once the folder is synced.
    const int dir = ::open(QFile::encodeName(target.absolutePath()).constData(),
                           O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}
#endif
