#pragma once
// Zip packages of .xlsx and .docx files: reading with a cap on the unpacked size
// (a zip bomb is refused, not unpacked), writing beside the target and renaming.
#include <QByteArray>
#include <QHash>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

namespace OfficeZip {

constexpr qint64 MaxUnpacked = 64 * 1024 * 1024; // all entries read from one package
constexpr qint64 MaxPacked = 64 * 1024 * 1024;   // the package file itself
constexpr int MaxEntries = 10000;

// What a file is by its first bytes.
enum TFileKind { fkUnknown, fkZip, fkOle2 };
TFileKind FileKind(const QString& fileName);

class TZipReader {
public:
    // Opens the package; throws EOfficeError with `kind` ("Arbeitsmappe", "Dokument")
    // in the message when the file cannot be opened or is no zip package.
    TZipReader(const QString& fileName, const QString& kind);
    ~TZipReader();
    QStringList Names() const { return FNames; }
    bool Has(const QString& name) const;
    // The unpacked entry; throws when it is damaged or the cap is exceeded.
    QByteArray Read(const QString& name);

private:
    void ReadDirectory(); // names and places of the entries
    QString FFileName, FKind;
    void* FZip = nullptr; // minizip's unzFile
    QStringList FNames;
    QHash<QString, QPair<quint64, quint64>> FPositions; // lower-case name -> entry position
    qint64 FBudget = MaxUnpacked;
};

using TEntries = QList<QPair<QString, QByteArray>>;

// Writes the package to a temporary file beside fileName and renames it over the
// target: the target is either the old file or the complete new one.
void Write(const QString& fileName, const TEntries& entries);

// A temporary name beside fileName, and the rename over the target.
QString TempNameBeside(const QString& fileName);
void ReplaceFile(const QString& tempName, const QString& fileName);

QString DamagedMessage(const QString& kind, const QString& fileName);
QString WriteMessage(const QString& fileName);

} // namespace OfficeZip
