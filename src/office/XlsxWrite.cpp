#include "OfficeError.h"
#include "OfficeZip.h"
#include "WorkbookFiles.h"

#include <QFile>
#include <QHash>
#include <algorithm>
#include <xlsxwriter.h>

namespace WorkbookFiles {

namespace {

// One libxlsxwriter format per combination of bold, border and number format.
class TFormats {
public:
    explicit TFormats(lxw_workbook* wb) : FWorkbook(wb) {}
    lxw_format* Get(bool bold, bool border, int decimals, const QString& code = QString()) {
        QByteArray numFormat = code.toUtf8();
        if (numFormat.isEmpty() && decimals > 0) numFormat = "0." + QByteArray(qMin(decimals, 30), '0');
        if (!bold && !border && numFormat.isEmpty()) return nullptr;
        const QByteArray key = QByteArray(bold ? "b" : "-") + (border ? "r" : "-") + numFormat;
        if (lxw_format* f = FFormats.value(key)) return f;
        lxw_format* f = workbook_add_format(FWorkbook);
        if (bold) format_set_bold(f);
        if (border) format_set_border(f, LXW_BORDER_THIN);
        if (!numFormat.isEmpty()) format_set_num_format(f, numFormat.constData());
        FFormats.insert(key, f);
        return f;
    }

private:
    lxw_workbook* FWorkbook;
    QHash<QByteArray, lxw_format*> FFormats;
};

QByteArray Utf8(const QString& text) {
    return text.toUtf8();
}

} // namespace

void WriteXlsx(const TWorkbookModel& workbook, const QString& fileName) {
    const QString temp = OfficeZip::TempNameBeside(fileName);
    const QByteArray tempName = QFile::encodeName(temp);
    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE; // rows are written in order and flushed as they go
    lxw_workbook* wb = workbook_new_opt(tempName.constData(), &options);
    if (!wb) throw EOfficeError(OfficeZip::WriteMessage(fileName));

    const QByteArray title = Utf8(workbook.Title), subject = Utf8(workbook.Subject),
                     author = Utf8(workbook.Author), comments = Utf8(workbook.Comments);
    lxw_doc_properties props{};
    props.title = const_cast<char*>(title.constData());
    props.subject = const_cast<char*>(subject.constData());
    props.author = const_cast<char*>(author.constData());
    props.comments = const_cast<char*>(comments.constData());
    workbook_set_properties(wb, &props);

    TFormats formats(wb);
    QList<QByteArray> keep; // texts handed to the library live until the workbook is closed
    for (const TSheetModel& sheet : workbook.Sheets) {
        keep << Utf8(sheet.Name);
        lxw_worksheet* ws = workbook_add_worksheet(wb, keep.last().constData());
        if (!ws) {
            workbook_close(wb);
            QFile::remove(temp);
            throw EOfficeError(OfficeZip::WriteMessage(fileName));
        }
        if (sheet.FrozenRows > 0) worksheet_freeze_panes(ws, lxw_row_t(sheet.FrozenRows), 0);
        if (sheet.Orientation == 2)
            worksheet_set_landscape(ws);
        else
            worksheet_set_portrait(ws);
        QSet<int> columns(sheet.BoldCols);
        for (auto it = sheet.ColumnWidths.cbegin(); it != sheet.ColumnWidths.cend(); ++it)
            columns.insert(it.key());
        for (int c : std::as_const(columns))
            worksheet_set_column(ws, lxw_col_t(c - 1), lxw_col_t(c - 1),
                                 sheet.ColumnWidths.value(c, LXW_DEF_COL_WIDTH),
                                 formats.Get(sheet.BoldCols.contains(c), false, 0));
        // Row formats go in before the row's cells: finished rows are flushed.
        QList<int> boldRows(sheet.BoldRows.cbegin(), sheet.BoldRows.cend());
        std::sort(boldRows.begin(), boldRows.end());
        qsizetype nextBold = 0;
        auto boldRowsUpTo = [&](int row) {
            for (; nextBold < boldRows.size() && boldRows[nextBold] <= row; ++nextBold)
                worksheet_set_row(ws, lxw_row_t(boldRows[nextBold] - 1), LXW_DEF_ROW_HEIGHT,
                                  formats.Get(true, false, 0));
        };

        const auto& cells = sheet.Cells();
        for (auto it = cells.cbegin(); it != cells.cend(); ++it) {
            const TCell& cell = it.value();
            boldRowsUpTo(TSheetModel::RowOf(it.key()));
            const lxw_row_t row = lxw_row_t(TSheetModel::RowOf(it.key()) - 1);
            const lxw_col_t col = lxw_col_t(TSheetModel::ColOf(it.key()) - 1);
            const bool number = cell.Value.typeId() == QMetaType::Double;
            lxw_format* f = formats.Get(cell.Bold, cell.Border, number ? cell.Decimals : 0,
                                        number ? cell.Format : QString());
            lxw_error err = LXW_NO_ERROR;
            switch (cell.Value.typeId()) {
            case QMetaType::UnknownType:
                if (f) err = worksheet_write_blank(ws, row, col, f);
                break;
            case QMetaType::Double:
                err = worksheet_write_number(ws, row, col, cell.Value.toDouble(), f);
                break;
            case QMetaType::Bool:
                err = worksheet_write_boolean(ws, row, col, cell.Value.toBool(), f);
                break;
            default: {
                const QByteArray text = Utf8(cell.Value.toString());
                err = worksheet_write_string(ws, row, col, text.constData(), f);
            }
            }
            if (err != LXW_NO_ERROR) {
                workbook_close(wb);
                QFile::remove(temp);
                throw EOfficeError(OfficeZip::WriteMessage(fileName) + QStringLiteral(" (") +
                                   QString::fromUtf8(lxw_strerror(err)) + QLatin1Char(')'));
            }
        }
        boldRowsUpTo(SheetLimits::MaxRows);
    }
    if (workbook_close(wb) != LXW_NO_ERROR) {
        QFile::remove(temp);
        throw EOfficeError(OfficeZip::WriteMessage(fileName));
    }
    OfficeZip::ReplaceFile(temp, fileName);
}

} // namespace WorkbookFiles
