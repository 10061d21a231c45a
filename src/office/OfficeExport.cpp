#include "OfficeExport.h"
#include "ExcelValues.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

namespace {

constexpr int ExportColumns = 9; // ColCount - 1: the rank column is never exported
constexpr int ImportColumns = 10;
constexpr int MaxLaps = 5;
constexpr int ImportBlockRows = 4096;
const QString CrLf = QStringLiteral("\r\n");

QString Cell(const TProtocolExport& p, int col, int row) {
    return p.Rows.value(row).value(col);
}

bool Visible(const TProtocolExport& p, int col) {
    return p.ColumnWidths.value(col, 0) >= 0;
}

// A value of the read block as text; outside the block it is empty.
QString At(const TValueArray& a, int row, int col) {
    return ExcelValues::ValueText(a.value(row - 1).value(col - 1));
}

} // namespace

int VisibleColumnCount(const TProtocolExport& p) {
    int n = 0;
    const int columns = p.Rows.isEmpty() ? 0 : int(p.Rows.first().size());
    for (int c = 0; c < columns; ++c)
        n += Visible(p, c) ? 1 : 0;
    return n;
}

QString WordTextBlock(const TProtocolExport& p) {
    QString t = p.Title + CrLf;
    t += QStringLiteral("Ergebnisliste\t") + p.ListSubtitle + QStringLiteral("\tNr. :") +
         p.RunNumber + CrLf;
    t += QStringLiteral("Datum: ") + p.LongDate + CrLf;
    t += CrLf;
    for (const QStringList& row : p.Rows) {
        QStringList cells;
        // A tab or line break inside a cell would shift the table's columns or rows.
        for (int c = 0; c < row.size(); ++c)
            if (Visible(p, c))
                cells << QString(row[c])
                             .replace(QLatin1Char('\t'), QLatin1Char(' '))
                             .replace(QLatin1Char('\r'), QLatin1Char(' '))
                             .replace(QLatin1Char('\n'), QLatin1Char(' '));
        t += cells.join(QLatin1Char('\t')) + CrLf;
    }
    return t;
}

bool ExportToWord(const TProtocolExport& p, int mode, const QString& fileName,
                  const QString& templatePath, const TWordFactory& createWord) {
    try {
        std::unique_ptr<IWordBasic> w = createWord();
        if (mode == 0)
            w->AppMaximize();
        else
            w->AppMinimize();
        if (!templatePath.isEmpty() && QFileInfo::exists(templatePath))
            w->FileOpen(templatePath);
        else
            w->FileNew();
        const QString block = WordTextBlock(p);
        const int numCols = VisibleColumnCount(p);
        w->Insert(block);
        w->LineUp(int(p.Rows.size()), 1);
        w->TextToTable(1, numCols);
        w->FileSaveAs(fileName);
        if (mode != 0) w->AppClose();
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

void ExportToExcel(const TProtocolExport& p, const QString& fileName,
                   const TExcelFactory& createExcel) {
    std::unique_ptr<IExcelApplication> e = createExcel();
    try {
        e->SetDisplayAlerts(false);
        e->SetEnableEvents(false);
        IExcelWorkbook* wb = e->WorkBooksAdd();
        const int rowCount = int(p.Rows.size());
        TValueArray a(rowCount + 3, QVariantList(ExportColumns));
        a[0][1] = p.Title;
        a[1][0] = QStringLiteral("Ergebnisliste");
        a[1][1] = p.ListSubtitle;
        a[1][2] = QStringLiteral("Nr.");
        a[1][3] = p.RunNumber;
        a[2][0] = QStringLiteral("Datum:");
        a[2][1] = p.LongDate;
        for (int r = 0; r < rowCount; ++r)
            for (int c = 0; c < ExportColumns; ++c)
                a[r + 3][c] = Cell(p, c, r);
        IExcelSheet* s = wb->WorkSheets(1);
        const TExcelRange range = IExcelSheet::Range(
            IExcelSheet::Cells(1, 1), IExcelSheet::Cells(rowCount + 3, ExportColumns));
        s->SetValue(range, a);
        s->SetBordersLineStyle(range, 1);
        s->SetFontBold(IExcelSheet::Columns(1), true);
        s->SetFontBold(IExcelSheet::Rows(1), true);
        s->SetFontBold(IExcelSheet::Rows(4), true);
        for (int j = MaxLaps; j >= p.Laps + 1; --j)
            s->Delete(IExcelSheet::Columns(j + 2));
        wb->SetAuthor(QStringLiteral("Tempora Software"));
        wb->SetTitle(p.Title);
        wb->SetSubject(p.ApplicationTitle);
        wb->SetComments(p.MakerAddress);
        s->SetName(QStringLiteral("Trainingslauf"));
        s->SetPageSetupOrientation(1);
        s->Autofit(IExcelSheet::Columns());
        if (!fileName.isEmpty()) wb->SaveAs(fileName);
    } catch (...) {
        // The engine is still shown or told to quit; the first error is the one reported.
        try {
            if (fileName.isEmpty())
                e->SetVisible(true);
            else
                e->Quit();
        } catch (...) {
        }
        throw;
    }
    if (fileName.isEmpty())
        e->SetVisible(true);
    else
        e->Quit();
}

QString CompleteDecimals(const QString& text) {
    // Only times and numbers: "DNF", "DNS", "-", blanks and dates stay as they are.
    static const QRegularExpression time(
        QStringLiteral("^-?\\d+(?::\\d\\d)?(?:\\.\\d\\d)?(?:,\\d*)?$"));
    if (!time.match(text).hasMatch()) return text;
    const qsizetype p = text.indexOf(QLatin1Char(','));
    if (p < 0) return text + QStringLiteral(",00");
    if (text.size() - p - 1 == 1) return text + QLatin1Char('0');
    return text;
}

// Runs body on a new engine and quits it afterwards, also when body throws (the
// error that counts is body's, not a failing Quit).
template <typename TBody> void QuitAfter(const TExcelFactory& createExcel, TBody body) {
    std::unique_ptr<IExcelApplication> e = createExcel();
    try {
        body(e.get());
    } catch (...) {
        try {
            e->Quit();
        } catch (...) {
        }
        throw;
    }
    e->Quit();
}

TProtocolImport ImportExcelSheet(const QString& fileName, const TExcelFactory& createExcel) {
    TProtocolImport result;
    QuitAfter(createExcel, [&](IExcelApplication* e) {
        e->SetEnableEvents(false);
        IExcelWorkbook* wb = e->WorkBooksOpen(fileName);
        IExcelSheet* s = wb->WorkSheets(1);
        const int n = s->Count(IExcelSheet::Rows());
        int columns = ImportColumns;
        // The data ends at the first row without start number, name and first lap; a value
        // far below it is never read, so blocks are read only up to that row.
        TValueArray a;
        int last = n;
        for (int first = 1; first <= n && last == n;) {
            const int to = qMin(n, first + ImportBlockRows - 1);
            a << s->Value(
                IExcelSheet::Range(IExcelSheet::Cells(first, 1), IExcelSheet::Cells(to, columns)));
            for (int r = qMax(4, first); r <= to; ++r) {
                if (At(a, r, 1).isEmpty() && At(a, r, 2).isEmpty() && At(a, r, 3).isEmpty()) {
                    last = r - 1;
                    break;
                }
            }
            first = to + 1;
        }
        result.Title = At(a, 1, 2);
        result.RunNumber = At(a, 2, 4);
        result.HasRunNumber = !result.RunNumber.isEmpty();
        result.ListSubtitle = At(a, 2, 2);
        int lapHeads = 0;
        for (int c = 1; c <= ImportColumns; ++c) {
            const QString h = At(a, 4, c);
            if (h.toUpper().startsWith(QStringLiteral("RUNDE"))) ++lapHeads;
            if (h.isEmpty()) {
                columns = c - 1;
                break;
            }
        }
        // The table has five lap columns; more headings would overwrite the totals.
        lapHeads = qMin(lapHeads, MaxLaps);
        const bool withTotals = lapHeads >= 2;
        for (int row = 5; row <= last; ++row) {
            QStringList cells(ImportColumns);
            cells[0] = At(a, row, 1);
            cells[1] = At(a, row, 2);
            for (int c = 3; c <= lapHeads + 2; ++c)
                cells[c - 1] = CompleteDecimals(At(a, row, c));
            if (withTotals) {
                cells[7] = CompleteDecimals(At(a, row, columns - 1));
                cells[8] = CompleteDecimals(At(a, row, columns));
            }
            if (!cells[0].trimmed().isEmpty()) result.Names << cells[1];
            result.Rows << cells;
        }
        if (result.Rows.isEmpty()) result.Rows << QStringList(ImportColumns);
    });
    return result;
}

QList<QStringList> ReadSheetTexts(const QString& fileName, const TExcelFactory& createExcel,
                                  int maxColumns) {
    QList<QStringList> rows;
    QuitAfter(createExcel, [&](IExcelApplication* e) {
        e->SetEnableEvents(false);
        IExcelSheet* s = e->WorkBooksOpen(fileName)->WorkSheets(1);
        const int n = s->Count(IExcelSheet::Rows());
        const int columns = qBound(1, s->Count(IExcelSheet::Columns()), maxColumns);
        constexpr int Block = 10000; // rows a read, well inside the engine's range limit
        for (int first = 1; first <= n; first += Block) {
            const int last = qMin(n, first + Block - 1);
            const TValueArray a = s->Value(IExcelSheet::Range(IExcelSheet::Cells(first, 1),
                                                              IExcelSheet::Cells(last, columns)));
            for (int r = first; r <= last; ++r) {
                QStringList cells;
                for (int c = 1; c <= columns; ++c)
                    cells << At(a, r - first + 1, c);
                rows << cells;
            }
        }
    });
    return rows;
}

QString MakeDateFileName(const QDateTime& now) {
    return now.toString(QStringLiteral("yyyy-MM-dd-hh-mm"))
        .replace(QLatin1Char(' '), QLatin1Char('0'));
}

bool IsOleClassRegistered(const QString& progId) {
    return progId == QLatin1String("Excel.Application") || progId == QLatin1String("Word.Basic");
}

QString FreeFileName(const QString& folder, const QString& base, const QString& extension) {
    const QDir dir(folder);
    QString name = dir.absoluteFilePath(base + QLatin1Char('.') + extension);
    for (int i = 2; QFileInfo::exists(name) || QFileInfo(name).isSymLink(); ++i)
        name = dir.absoluteFilePath(QStringLiteral("%1-%2.%3").arg(base).arg(i).arg(extension));
    return name;
}
