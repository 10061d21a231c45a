#include "DurableFile.h"

#include <QFile>
#include <QSaveFile>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#else
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

bool ReplaceFileContents(const QString& fileName, const QByteArray& bytes) {
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly)) return false;
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        file.commit();
        return false;
    }
    return file.commit();
}
