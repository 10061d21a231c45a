#include "OfficeZip.h"
#include "OfficeError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <filesystem>
#include <quazip/quazip.h>
#include <quazip/quazipfile.h>

namespace OfficeZip {

namespace {
QString Native(const QString& fileName) {
    return QDir::toNativeSeparators(fileName);
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
    FZip = std::make_unique<QuaZip>(fileName);
    if (!FZip->open(QuaZip::mdUnzip)) throw EOfficeError(DamagedMessage(kind, fileName));
    if (FZip->getEntriesCount() > MaxEntries) throw EOfficeError(DamagedMessage(kind, fileName));
    FNames = FZip->getFileNameList();
    if (FZip->getZipError() != UNZ_OK) throw EOfficeError(DamagedMessage(kind, fileName));
}

TZipReader::~TZipReader() {
    if (FZip) FZip->close();
}

bool TZipReader::Has(const QString& name) const {
    return FNames.contains(name, Qt::CaseInsensitive);
}

QByteArray TZipReader::Read(const QString& name) {
    if (!FZip->setCurrentFile(name, QuaZip::csInsensitive))
        throw EOfficeError(DamagedMessage(FKind, FFileName));
    QuaZipFile entry(FZip.get());
    if (!entry.open(QIODevice::ReadOnly)) throw EOfficeError(DamagedMessage(FKind, FFileName));
    QByteArray data;
    char buffer[65536];
    for (;;) {
        const qint64 n = entry.read(buffer, sizeof buffer);
        if (n < 0) {
            entry.close();
            throw EOfficeError(DamagedMessage(FKind, FFileName));
        }
        if (n == 0) break;
        FBudget -= n;
        if (FBudget < 0) {
            entry.close();
            throw EOfficeError(
                QStringLiteral("Die Datei ist entpackt größer als 64 MB und wird nicht "
                               "gelesen: ") +
                Native(FFileName));
        }
        data.append(buffer, n);
    }
    entry.close(); // checks the CRC
    if (entry.getZipError() != UNZ_OK) throw EOfficeError(DamagedMessage(FKind, FFileName));
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
    bool ok = true;
    {
        QuaZip zip(temp);
        ok = zip.open(QuaZip::mdCreate);
        for (int i = 0; ok && i < entries.size(); ++i) {
            QuaZipFile out(&zip);
            QuaZipNewInfo info(entries[i].first);
            info.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                QFileDevice::ReadGroup | QFileDevice::ReadOther);
            ok = out.open(QIODevice::WriteOnly, info);
            ok = ok && out.write(entries[i].second) == entries[i].second.size();
            out.close();
            ok = ok && out.getZipError() == ZIP_OK;
        }
        if (zip.isOpen()) zip.close();
        ok = ok && zip.getZipError() == ZIP_OK;
    }
    if (!ok) {
        QFile::remove(temp);
        throw EOfficeError(WriteMessage(fileName));
    }
    ReplaceFile(temp, fileName);
}

} // namespace OfficeZip
