#include "ExcelValues.h"
#include "OfficeError.h"
#include "OfficeZip.h"
#include "SheetXml.h"
#include "WorkbookFiles.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QLocale>
#include <QXmlStreamReader>
#include <freexl.h>

namespace WorkbookFiles {

namespace {

const QString WorkbookKind = QStringLiteral("Excel-Arbeitsmappe");

[[noreturn]] void Damaged(const QString& fileName) {
    throw EOfficeError(OfficeZip::DamagedMessage(WorkbookKind, fileName));
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

[[noreturn]] void TooManyCells(const QString& fileName) {
    throw EOfficeError(QStringLiteral("Die Arbeitsmappe %1 hat mehr als %2 Zellen mit Inhalt "
                                      "und wird nicht gelesen.")
                           .arg(QDir::toNativeSeparators(fileName),
                                QLocale(QLocale::German).toString(SheetLimits::MaxCells)));
}

// A cell of the sheet, refused with the file's name beyond the cell limit.
TCell& CellOf(TSheetModel& sheet, int row, int col, const QString& fileName) {
    if (sheet.CellCount() >= SheetLimits::MaxCells && !sheet.Find(row, col)) TooManyCells(fileName);
    return sheet.At(row, col);
}

// The date or time format of each cell format, by the cell's style index (xl/styles.xml);
// empty where the format shows a plain number.
QStringList CellDateCodes(const QByteArray& xml) {
    QHash<int, QString> codes;
    QStringList dateCodes;
    QXmlStreamReader x(xml);
    bool inCellXfs = false;
    while (!x.atEnd()) {
        x.readNext();
        if (x.isEndElement() && x.name() == QLatin1String("cellXfs")) inCellXfs = false;
        if (!x.isStartElement()) continue;
        const auto a = x.attributes();
        if (x.name() == QLatin1String("numFmt")) {
            codes.insert(a.value(QLatin1String("numFmtId")).toInt(),
                         a.value(QLatin1String("formatCode")).toString());
        } else if (x.name() == QLatin1String("cellXfs")) {
            inCellXfs = true;
        } else if (inCellXfs && x.name() == QLatin1String("xf")) {
            const int id = a.value(QLatin1String("numFmtId")).toInt();
            const QString code = codes.contains(id) ? codes.value(id) : ExcelValues::BuiltinDateCode(id);
            dateCodes << (ExcelValues::FormatKind(id, codes.value(id)) == ExcelValues::dkNone ? QString()
                                                                                            : code);
        }
    }
    return dateCodes;
}

TWorkbookModel ReadXlsx(const QString& fileName) {
    OfficeZip::TZipReader zip(fileName, WorkbookKind);
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
    bool date1904 = false;
    {
        QXmlStreamReader x(zip.Read(workbookPath));
        while (!x.atEnd()) {
            x.readNext();
            if (x.isStartElement() && x.name() == QLatin1String("workbookPr")) {
                const auto v = x.attributes().value(QLatin1String("date1904"));
                date1904 = v == QLatin1String("1") || v == QLatin1String("true");
            }
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

    // Dates and times are taken as the text Excel shows, not as serial numbers.
    QStringList dateCodes;
    QString stylesPath = base + QStringLiteral("styles.xml");
    for (const TRel& rel : rels)
        if (rel.Type.endsWith(QLatin1String("/styles"))) stylesPath = rel.Target;
    if (zip.Has(stylesPath)) dateCodes = CellDateCodes(zip.Read(stylesPath));

    const bool wellFormed = SheetXml::Scan(zip.Read(sheetPath), [&](const SheetXml::TCellXml& x) {
        const QString& v = x.Text;
        QVariant value;
        if (x.Type == "s") {
            bool ok = false;
            const int i = v.toInt(&ok);
            if (!ok || i < 0 || i >= shared.size()) Damaged(fileName);
            value = shared[i];
        } else if (x.Type == "b") {
            value = v.trimmed() == QLatin1String("1");
        } else if (x.Type.isEmpty() || x.Type == "n") {
            if (v.isEmpty()) return;
            double d = 0;
            bool ok = ExcelValues::ExactDecimal(v, QLatin1Char('.'), &d);
            if (!ok) d = v.toDouble(&ok);
            if (!ok) Damaged(fileName);
            const QString dateCode = dateCodes.value(x.Style);
            value = dateCode.isEmpty() ? QVariant(d)
                                       : QVariant(ExcelValues::SerialDateText(d, dateCode, date1904));
        } else {
            value = v; // str, inlineStr, e, d
        }
        CellOf(sheet, x.Row, x.Col, fileName).Value = value;
    });
    if (!wellFormed) Damaged(fileName);
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
    // A sheet of .xls has at most 65,536 rows of 256 columns: every cell may be looked at,
    // only those with content count.
    if (rows > unsigned(SheetLimits::MaxRows) || cols > SheetLimits::MaxCols) Damaged(fileName);
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
            case FREEXL_CELL_TIME:
                value = QString::fromUtf8(v.value.text_value);
                break;
            case FREEXL_CELL_DATE:
            case FREEXL_CELL_DATETIME:
                value = ExcelValues::IsoDateText(QString::fromUtf8(v.value.text_value));
                break;
            default:
                continue;
            }
            CellOf(sheet, int(r) + 1, int(c) + 1, fileName).Value = value;
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
