#include "OfficeError.h"
#include "OfficeZip.h"
#include "WorkbookFiles.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QXmlStreamReader>
#include <freexl.h>

namespace WorkbookFiles {

namespace {

const QString Kind = QStringLiteral("Excel-Arbeitsmappe");

[[noreturn]] void Damaged(const QString& fileName) {
    throw EOfficeError(OfficeZip::DamagedMessage(Kind, fileName));
}

// "B12" -> row 12, column 2; false for anything else.
bool ParseCellRef(QStringView ref, int* row, int* col) {
    int i = 0, c = 0, r = 0;
    while (i < ref.size() && ref[i].isLetter() && ref[i].unicode() < 128) {
        c = c * 26 + (ref[i].toUpper().unicode() - 'A' + 1);
        if (c > SheetLimits::MaxCols) return false;
        ++i;
    }
    if (i == 0 || i == ref.size()) return false;
    for (; i < ref.size(); ++i) {
        if (!ref[i].isDigit() || ref[i].unicode() >= 128) return false;
        r = r * 10 + (ref[i].unicode() - '0');
        if (r > SheetLimits::MaxRows) return false;
    }
    *row = r;
    *col = c;
    return r >= 1;
}

// Relationship targets of a part: id -> (type, package path).
struct TRel {
    QString Type, Target;
};
QHash<QString, TRel> ReadRels(const QByteArray& xml, const QString& baseDir) {
    QHash<QString, TRel> rels;
    QXmlStreamReader x(xml);
    while (!x.atEnd()) {
        x.readNext();
        if (!x.isStartElement() || x.name() != QLatin1String("Relationship")) continue;
        const auto a = x.attributes();
        QString target = a.value(QLatin1String("Target")).toString();
        target =
            target.startsWith(QLatin1Char('/')) ? target.mid(1) : QDir::cleanPath(baseDir + target);
        rels.insert(a.value(QLatin1String("Id")).toString(),
                    {a.value(QLatin1String("Type")).toString(), target});
    }
    return rels;
}

QString DirOf(const QString& path) {
    const int slash = path.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? QString() : path.left(slash + 1);
}

// Text of every <t> inside the current element, phonetic runs left out.
QString CollectText(QXmlStreamReader& x) {
    QString text;
    int depth = 1, phonetic = 0;
    while (depth > 0 && !x.atEnd()) {
        x.readNext();
        if (x.isStartElement()) {
            ++depth;
            if (x.name() == QLatin1String("rPh"))
                ++phonetic;
            else if (x.name() == QLatin1String("t") && phonetic == 0) {
                text += x.readElementText(QXmlStreamReader::IncludeChildElements);
                --depth;
            }
        } else if (x.isEndElement()) {
            --depth;
            if (x.name() == QLatin1String("rPh")) --phonetic;
        }
    }
    return text;
}

TWorkbookModel ReadXlsx(const QString& fileName) {
    OfficeZip::TZipReader zip(fileName, Kind);
    QString workbookPath = QStringLiteral("xl/workbook.xml");
    if (zip.Has(QStringLiteral("_rels/.rels"))) {
        const auto rels = ReadRels(zip.Read(QStringLiteral("_rels/.rels")), QString());
        for (const TRel& rel : rels)
            if (rel.Type.endsWith(QLatin1String("/officeDocument"))) workbookPath = rel.Target;
    }
    if (!zip.Has(workbookPath)) Damaged(fileName);
    const QString base = DirOf(workbookPath);
    const QString relsPath =
        base + QStringLiteral("_rels/") + workbookPath.mid(base.size()) + QStringLiteral(".rels");
    const auto rels =
        zip.Has(relsPath) ? ReadRels(zip.Read(relsPath), base) : QHash<QString, TRel>();

    TWorkbookModel book;
    TSheetModel sheet;
    QString sheetPath;
    {
        QXmlStreamReader x(zip.Read(workbookPath));
        while (!x.atEnd()) {
            x.readNext();
            if (x.isStartElement() && x.name() == QLatin1String("sheet")) {
                sheet.Name = x.attributes().value(QLatin1String("name")).toString();
                for (const auto& a : x.attributes())
                    if (a.name() == QLatin1String("id") && !a.namespaceUri().isEmpty())
                        sheetPath = rels.value(a.value().toString()).Target;
                break;
            }
        }
        if (x.hasError() || sheetPath.isEmpty() || !zip.Has(sheetPath)) Damaged(fileName);
    }

    QStringList shared;
    QString sharedPath = base + QStringLiteral("sharedStrings.xml");
    for (const TRel& rel : rels)
        if (rel.Type.endsWith(QLatin1String("/sharedStrings"))) sharedPath = rel.Target;
    if (zip.Has(sharedPath)) {
        QXmlStreamReader x(zip.Read(sharedPath));
        while (!x.atEnd()) {
            x.readNext();
            if (x.isStartElement() && x.name() == QLatin1String("si")) {
                shared << CollectText(x);
                if (shared.size() > SheetLimits::MaxCells) Damaged(fileName);
            }
        }
        if (x.hasError()) Damaged(fileName);
    }

    QXmlStreamReader x(zip.Read(sheetPath));
    int row = 0, nextCol = 1;
    while (!x.atEnd()) {
        x.readNext();
        if (!x.isStartElement()) continue;
        if (x.name() == QLatin1String("row")) {
            const auto r = x.attributes().value(QLatin1String("r"));
            row = r.isEmpty() ? row + 1 : r.toInt();
            if (row < 1 || row > SheetLimits::MaxRows) Damaged(fileName);
            nextCol = 1;
        } else if (x.name() == QLatin1String("c")) {
            const auto a = x.attributes();
            int r = row, c = nextCol;
            const auto ref = a.value(QLatin1String("r"));
            if (!ref.isEmpty() && !ParseCellRef(ref, &r, &c)) Damaged(fileName);
            if (r < 1 || c < 1 || c > SheetLimits::MaxCols) Damaged(fileName);
            nextCol = c + 1;
            const QString type = a.value(QLatin1String("t")).toString();
            QString v;
            bool has = false;
            while (!x.atEnd()) {
                x.readNext();
                if (x.isEndElement() && x.name() == QLatin1String("c")) break;
                if (!x.isStartElement()) continue;
                if (x.name() == QLatin1String("v")) {
                    v = x.readElementText();
                    has = true;
                } else if (x.name() == QLatin1String("is")) {
                    v = CollectText(x);
                    has = true;
                }
            }
            if (!has) continue;
            QVariant value;
            if (type == QLatin1String("s")) {
                bool ok = false;
                const int i = v.toInt(&ok);
                if (!ok || i < 0 || i >= shared.size()) Damaged(fileName);
                value = shared[i];
            } else if (type == QLatin1String("b")) {
                value = v.trimmed() == QLatin1String("1");
            } else if (type.isEmpty() || type == QLatin1String("n")) {
                if (v.isEmpty()) continue;
                bool ok = false;
                const double d = v.toDouble(&ok);
                if (!ok) Damaged(fileName);
                value = d;
            } else {
                value = v; // str, inlineStr, e, d
            }
            sheet.At(r, c).Value = value;
        }
    }
    if (x.hasError()) Damaged(fileName);
    book.Sheets << sheet;
    return book;
}

TWorkbookModel ReadXls(const QString& fileName) {
    const QFileInfo info(fileName);
    if (info.size() > OfficeZip::MaxPacked)
        throw EOfficeError(
            QStringLiteral("Die Datei ist größer als 64 MB und wird nicht gelesen: ") +
            QDir::toNativeSeparators(fileName));
    const void* handle = nullptr;
    struct TClose {
        const void*& h;
        ~TClose() {
            if (h) freexl_close(h);
        }
    } closer{handle};
    if (freexl_open(QFile::encodeName(fileName).constData(), &handle) != FREEXL_OK)
        Damaged(fileName);
    unsigned int password = 0;
    if (freexl_get_info(handle, FREEXL_BIFF_PASSWORD, &password) == FREEXL_OK &&
        password == FREEXL_BIFF_OBFUSCATED)
        throw EOfficeError(QStringLiteral("Die Arbeitsmappe ist mit einem Kennwort geschützt: ") +
                           QDir::toNativeSeparators(fileName));
    unsigned int rows = 0;
    unsigned short cols = 0;
    if (freexl_select_active_worksheet(handle, 0) != FREEXL_OK ||
        freexl_worksheet_dimensions(handle, &rows, &cols) != FREEXL_OK)
        Damaged(fileName);
    if (rows > unsigned(SheetLimits::MaxRows) || cols > SheetLimits::MaxCols) Damaged(fileName);
    if (qint64(rows) * cols > SheetLimits::MaxRangeCells)
        throw EOfficeError(QStringLiteral("Die Tabelle ist zu groß und wird nicht gelesen: ") +
                           QDir::toNativeSeparators(fileName));
    TWorkbookModel book;
    TSheetModel sheet;
    for (unsigned int r = 0; r < rows; ++r) {
        for (unsigned short c = 0; c < cols; ++c) {
            FreeXL_CellValue v;
            if (freexl_get_cell_value(handle, r, c, &v) != FREEXL_OK) Damaged(fileName);
            QVariant value;
            switch (v.type) {
            case FREEXL_CELL_INT:
                value = double(v.value.int_value);
                break;
            case FREEXL_CELL_DOUBLE:
                value = v.value.double_value;
                break;
            case FREEXL_CELL_TEXT:
            case FREEXL_CELL_SST_TEXT:
            case FREEXL_CELL_DATE:
            case FREEXL_CELL_DATETIME:
            case FREEXL_CELL_TIME:
                value = QString::fromUtf8(v.value.text_value);
                break;
            default:
                continue;
            }
            sheet.At(int(r) + 1, int(c) + 1).Value = value;
        }
    }
    book.Sheets << sheet;
    return book;
}

} // namespace

TWorkbookModel Read(const QString& fileName) {
    const QFileInfo info(fileName);
    if (!info.isFile() || !info.isReadable())
        throw EOfficeError(QStringLiteral("Die Datei kann nicht geöffnet werden: ") +
                           QDir::toNativeSeparators(fileName));
    switch (OfficeZip::FileKind(fileName)) {
    case OfficeZip::fkZip:
        return ReadXlsx(fileName);
    case OfficeZip::fkOle2:
        return ReadXls(fileName);
    default:
        throw EOfficeError(QStringLiteral("Die Datei ist keine Excel-Arbeitsmappe: ") +
                           QDir::toNativeSeparators(fileName));
    }
}

} // namespace WorkbookFiles
