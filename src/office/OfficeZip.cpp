#include "OfficeZip.h"
#include "OfficeError.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <cstdio>
#include <filesystem>
#include <minizip/unzip.h>
#include <minizip/zip.h>

namespace OfficeZip {

namespace {
QString Native(const QString& fileName) {
    return QDir::toNativeSeparators(fileName);
}

// minizip's own file functions, opened close-on-exec: a program started meanwhile
// (the browser, the office suite) never inherits a workbook's file.
voidpf OpenNoInherit(voidpf, const void* name, int mode) {
#ifdef _WIN32
    const char* read = "rbN", *update = "r+bN", *create = "wbN";
#else
    const char* read = "rbe", *update = "r+be", *create = "wbe";
#endif
    const char* m = nullptr;
    if ((mode & ZLIB_FILEFUNC_MODE_READWRITEFILTER) == ZLIB_FILEFUNC_MODE_READ) m = read;
    else if (mode & ZLIB_FILEFUNC_MODE_EXISTING) m = update;
    else if (mode & ZLIB_FILEFUNC_MODE_CREATE) m = create;
    return m && name ? std::fopen(static_cast<const char*>(name), m) : nullptr;
}

zlib_filefunc64_def NoInheritFiles() {
    zlib_filefunc64_def f;
    fill_fopen64_filefunc(&f);
    f.zopen64_file = OpenNoInherit;
    return f;
}
} // namespace

QString DamagedMessage(const QString& kind, const QString& fileName) {
    return QStringLiteral("Die Datei ist keine lesbare %1 oder beschädigt: %2")
        .arg(kind, Native(fileName));
}

QString WriteMessage(const QString& fileName) {
    return QStringLiteral("Der Schreibfehler der Datei: ") + Native(fileName);
}

TFileKind FileKind(const QString& fileName) {
    // Opening a pipe waits for its writer: only files are looked into.
    if (!QFileInfo(fileName).isFile()) return fkUnknown;
    QFile f(fileName);
    if (!f.open(QIODevice::ReadOnly)) return fkUnknown;
    const QByteArray head = f.read(8);
    if (head.startsWith("PK\x03\x04")) return fkZip;
    if (head == QByteArray::fromHex("D0CF11E0A1B11AE1")) return fkOle2;
    return fkUnknown;
}

TZipReader::TZipReader(const QString& fileName, const QString& kind)
    : FFileName(fileName), FKind(kind) {
    const QFileInfo info(fileName);
    if (!info.isFile() || !info.isReadable())
        throw EOfficeError(QStringLiteral("Die Datei kann nicht geöffnet werden: ") +
                           Native(fileName));
    if (info.size() > MaxPacked)
        throw EOfficeError(
            QStringLiteral("Die Datei ist größer als 64 MB und wird nicht gelesen: ") +
            Native(fileName));
    if (FileKind(fileName) != fkZip) throw EOfficeError(DamagedMessage(kind, fileName));
    zlib_filefunc64_def files = NoInheritFiles();
    FZip = unzOpen2_64(QFile::encodeName(fileName).constData(), &files);
    if (!FZip) throw EOfficeError(DamagedMessage(kind, fileName));
    try {
        ReadDirectory();
    } catch (...) {
        // A constructor that throws has no destructor run: the file is closed here.
        unzClose(FZip);
        FZip = nullptr;
        throw;
    }
}

void TZipReader::ReadDirectory() {
    const QString& kind = FKind;
    const QString& fileName = FFileName;
    unz_global_info64 global{};
    if (unzGetGlobalInfo64(FZip, &global) != UNZ_OK || global.number_entry > MaxEntries)
        throw EOfficeError(DamagedMessage(kind, fileName));
    // One pass over the directory: names and where each entry starts, so reading an
    // entry needs no search.
    for (int err = unzGoToFirstFile(FZip); err != UNZ_END_OF_LIST_OF_FILE;
         err = unzGoToNextFile(FZip)) {
        if (err != UNZ_OK) throw EOfficeError(DamagedMessage(kind, fileName));
        unz_file_info64 entry{};
        char name[1024];
        unz64_file_pos pos{};
        if (unzGetCurrentFileInfo64(FZip, &entry, name, sizeof name, nullptr, 0, nullptr, 0) !=
                UNZ_OK ||
            unzGetFilePos64(FZip, &pos) != UNZ_OK)
            throw EOfficeError(DamagedMessage(kind, fileName));
        const QString n =
            (entry.flag & 0x800) ? QString::fromUtf8(name) : QString::fromLatin1(name);
        FNames << n;
        FPositions.insert(n.toLower(), {pos.pos_in_zip_directory, pos.num_of_file});
    }
}

TZipReader::~TZipReader() {
    if (FZip) unzClose(FZip);
}

bool TZipReader::Has(const QString& name) const {
    return FPositions.contains(name.toLower());
}

QByteArray TZipReader::Read(const QString& name) {
    const auto it = FPositions.constFind(name.toLower());
    if (it == FPositions.cend()) throw EOfficeError(DamagedMessage(FKind, FFileName));
    const unz64_file_pos pos{it->first, it->second};
    unz_file_info64 info{};
    if (unzGoToFilePos64(FZip, &pos) != UNZ_OK ||
        unzGetCurrentFileInfo64(FZip, &info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK ||
        unzOpenCurrentFile(FZip) != UNZ_OK)
        throw EOfficeError(DamagedMessage(FKind, FFileName));
    const auto tooBig = [this] {
        unzCloseCurrentFile(FZip);
        throw EOfficeError(
            QStringLiteral("Die Datei ist entpackt größer als 64 MB und wird nicht gelesen: ") +
            Native(FFileName));
    };
    // The directory's size is only a hint for the buffer; the budget counts what is unpacked.
    if (info.uncompressed_size > quint64(FBudget)) tooBig();
    QByteArray data;
    data.reserve(qsizetype(info.uncompressed_size));
    char buffer[65536];
    for (;;) {
        const int n = unzReadCurrentFile(FZip, buffer, sizeof buffer);
        if (n < 0) {
            unzCloseCurrentFile(FZip);
            throw EOfficeError(DamagedMessage(FKind, FFileName));
        }
        if (n == 0) break;
        FBudget -= n;
        if (FBudget < 0) tooBig();
        data.append(buffer, n);
    }
    if (unzCloseCurrentFile(FZip) != UNZ_OK) // checks the CRC
        throw EOfficeError(DamagedMessage(FKind, FFileName));
    return data;
}

QString TempNameBeside(const QString& fileName) {
    const QFileInfo info(fileName);
    return info.absoluteDir().absoluteFilePath(
        QStringLiteral(".%1.%2.tmp")
            .arg(info.fileName())
            .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0')));
}

void ReplaceFile(const QString& tempName, const QString& fileName) {
    std::error_code ec;
    std::filesystem::rename(std::filesystem::path(tempName.toStdU16String()),
                            std::filesystem::path(fileName.toStdU16String()), ec);
    if (ec) {
        QFile::remove(tempName);
        throw EOfficeError(WriteMessage(fileName));
    }
}

void Write(const QString& fileName, const TEntries& entries) {
    const QString temp = TempNameBeside(fileName);
    zlib_filefunc64_def files = NoInheritFiles();
    zipFile zip = zipOpen2_64(QFile::encodeName(temp).constData(), APPEND_STATUS_CREATE, nullptr, &files);
    bool ok = zip != nullptr;
    zip_fileinfo info{};
    const QDateTime now = QDateTime::currentDateTime();
    info.tmz_date = {uInt(now.time().second()),    uInt(now.time().minute()),
                     uInt(now.time().hour()),      uInt(now.date().day()),
                     uInt(now.date().month() - 1), uInt(now.date().year())};
    info.external_fa = 0100644u << 16; // a regular file, rw-r--r--
    constexpr uLong MadeByUnix = (3 << 8) | 20;
    for (int i = 0; ok && i < entries.size(); ++i) {
        const QByteArray name = entries[i].first.toUtf8();
        const QByteArray& data = entries[i].second;
        ok =
            zipOpenNewFileInZip4_64(zip, name.constData(), &info, nullptr, 0, nullptr, 0, nullptr,
                                    Z_DEFLATED, Z_DEFAULT_COMPRESSION, 0, -MAX_WBITS, 8,
                                    Z_DEFAULT_STRATEGY, nullptr, 0, MadeByUnix, 0x800, 0) == ZIP_OK;
        ok = ok && zipWriteInFileInZip(zip, data.constData(), unsigned(data.size())) == ZIP_OK;
        ok = zipCloseFileInZip(zip) == ZIP_OK && ok;
    }
    if (zip) ok = zipClose(zip, nullptr) == ZIP_OK && ok;
    if (!ok) {
        QFile::remove(temp);
        throw EOfficeError(WriteMessage(fileName));
    }
    ReplaceFile(temp, fileName);
}

} // namespace OfficeZip
