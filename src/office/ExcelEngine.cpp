#include "ExcelEngine.h"
#include "ExcelValues.h"
#include "OfficeExport.h"
#include "WorkbookFiles.h"

#include <QDir>
#include <QRegularExpression>

namespace {

[[noreturn]] void BadRange(const TExcelRange& range) {
    throw EOfficeError(QStringLiteral("Ungültiger Zellbereich: ") + RangeText(range));
}

// The cell block a range covers, limited to what the sheet uses for whole rows or columns.
struct TBlock {
    int Row1, Col1, Row2, Col2;
    qint64 Size() const { return qint64(Row2 - Row1 + 1) * (Col2 - Col1 + 1); }
};

TBlock BlockOf(const TExcelRange& r, const TSheetModel& sheet) {
    auto validRow = [](int v) { return v >= 1 && v <= SheetLimits::MaxRows; };
    auto validCol = [](int v) { return v >= 1 && v <= SheetLimits::MaxCols; };
    switch (r.Kind) {
    case TExcelRange::rkCells:
        if (!validRow(r.Row1) || !validRow(r.Row2) || !validCol(r.Col1) || !validCol(r.Col2))
            BadRange(r);
        return {qMin(r.Row1, r.Row2), qMin(r.Col1, r.Col2), qMax(r.Row1, r.Row2),
                qMax(r.Col1, r.Col2)};
    case TExcelRange::rkColumns: {
        const int last = qMax(1, sheet.LastRow());
        if (r.First == 0) return {1, 1, last, qMax(1, sheet.LastCol())};
        if (!validCol(r.First) || !validCol(qMax(r.First, r.Last))) BadRange(r);
        return {1, r.First, last, qMax(r.First, r.Last)};
    }
    case TExcelRange::rkRows: {
        const int last = qMax(1, sheet.LastCol());
        if (r.First == 0) return {1, 1, qMax(1, sheet.LastRow()), last};
        if (!validRow(r.First) || !validRow(qMax(r.First, r.Last))) BadRange(r);
        return {r.First, 1, qMax(r.First, r.Last), last};
    }
    }
    BadRange(r);
}

class TSheet : public IExcelSheet {
public:
    explicit TSheet(TSheetModel* model) : M(model) {}

    void SetValue(const TExcelRange& range, const TValueArray& values) override {
        const TBlock b = BlockOf(range, *M);
        if (b.Size() > SheetLimits::MaxRangeCells) BadRange(range);
        for (int r = b.Row1; r <= b.Row2; ++r) {
            const QVariantList* line = r - b.Row1 < values.size() ? &values[r - b.Row1] : nullptr;
            for (int c = b.Col1; c <= b.Col2; ++c) {
                QVariant v = line && c - b.Col1 < line->size() ? line->at(c - b.Col1) : QVariant();
                int decimals = -1;
                if (v.typeId() == QMetaType::QString) {
                    const QString text = v.toString();
                    double number = 0;
                    if (text.isEmpty())
                        v = QVariant();
                    else if (ExcelValues::ParseGermanNumber(text, &number, &decimals))
                        v = number;
                } else if (v.isValid() && v.typeId() != QMetaType::Bool) {
                    bool ok = false;
                    const double d = v.toDouble(&ok);
                    v = ok ? QVariant(d) : QVariant(v.toString());
                }
                if (!v.isValid()) {
                    const TCell* existing = M->Find(r, c);
                    if (!existing) continue;
                    if (!existing->Bold && !existing->Border) {
                        M->Remove(r, c);
                        continue;
                    }
                }
                TCell& cell = M->At(r, c);
                cell.Value = v;
                cell.Decimals = decimals;
            }
        }
    }

    TValueArray Value(const TExcelRange& range) override {
        const TBlock b = BlockOf(range, *M);
        if (b.Size() > SheetLimits::MaxRangeCells) BadRange(range);
        TValueArray values;
        values.reserve(b.Row2 - b.Row1 + 1);
        const QVariantList empty(b.Col2 - b.Col1 + 1);
        for (int r = b.Row1; r <= b.Row2; ++r)
            values << empty;
        const auto& cells = M->Cells();
        for (auto it = cells.lowerBound(TSheetModel::Key(b.Row1, 0));
             it != cells.cend() && TSheetModel::RowOf(it.key()) <= b.Row2; ++it) {
            const int c = TSheetModel::ColOf(it.key());
            if (c >= b.Col1 && c <= b.Col2)
                values[TSheetModel::RowOf(it.key()) - b.Row1][c - b.Col1] = it.value().Value;
        }
        return values;
    }

    void SetBordersLineStyle(const TExcelRange& range, int lineStyle) override {
        const TBlock b = BlockOf(range, *M);
        if (b.Size() > SheetLimits::MaxRangeCells) BadRange(range);
        // 1 is continuous; xlNone (-4142) and 0 take the lines away.
        const bool on = lineStyle > 0;
        for (int r = b.Row1; r <= b.Row2; ++r)
            for (int c = b.Col1; c <= b.Col2; ++c)
                if (on || M->Find(r, c)) M->At(r, c).Border = on;
    }

    void SetFontBold(const TExcelRange& range, bool bold) override {
        if (range.Kind != TExcelRange::rkCells && range.First > 0) {
            QSet<int>& set = range.Kind == TExcelRange::rkColumns ? M->BoldCols : M->BoldRows;
            const int last = qMax(range.First, range.Last);
            if (last > (range.Kind == TExcelRange::rkColumns ? SheetLimits::MaxCols
                                                             : SheetLimits::MaxRows))
                BadRange(range);
            for (int i = range.First; i <= last; ++i)
                bold ? void(set.insert(i)) : void(set.remove(i));
            for (auto it = M->Cells().cbegin(); it != M->Cells().cend(); ++it) {
                const int key = range.Kind == TExcelRange::rkColumns ? TSheetModel::ColOf(it.key())
                                                                     : TSheetModel::RowOf(it.key());
                if (key >= range.First && key <= last)
                    M->At(TSheetModel::RowOf(it.key()), TSheetModel::ColOf(it.key())).Bold = bold;
            }
            return;
        }
        const TBlock b = BlockOf(range, *M);
        if (b.Size() > SheetLimits::MaxRangeCells) BadRange(range);
        for (int r = b.Row1; r <= b.Row2; ++r)
            for (int c = b.Col1; c <= b.Col2; ++c)
                if (bold || M->Find(r, c)) M->At(r, c).Bold = bold;
    }

    void Delete(const TExcelRange& range) override {
        if (range.Kind == TExcelRange::rkCells || range.First < 1) BadRange(range);
        const int last = qMax(range.First, range.Last);
        for (int i = last; i >= range.First; --i)
            range.Kind == TExcelRange::rkColumns ? M->DeleteColumn(i) : M->DeleteRow(i);
    }

    void Autofit(const TExcelRange& range) override {
        if (range.Kind != TExcelRange::rkColumns) return; // rows keep their height
        const int first = range.First == 0 ? 1 : range.First;
        const int last = range.First == 0 ? SheetLimits::MaxCols : qMax(range.First, range.Last);
        QMap<int, double> widths;
        for (auto it = M->Cells().cbegin(); it != M->Cells().cend(); ++it) {
            const int c = TSheetModel::ColOf(it.key());
            if (c < first || c > last || !it.value().Value.isValid()) continue;
            const double w = FittedColumnWidth(int(TSheetModel::DisplayText(it.value()).size()),
                                               it.value().Bold);
            widths[c] = qMax(widths.value(c), w);
        }
        for (auto it = widths.cbegin(); it != widths.cend(); ++it)
            M->ColumnWidths[it.key()] = it.value();
    }

    int Count(const TExcelRange& range) override {
        if (range.Kind == TExcelRange::rkRows && range.First == 0) return M->LastRow();
        if (range.Kind == TExcelRange::rkColumns && range.First == 0) return M->LastCol();
        if (range.Kind != TExcelRange::rkCells) return qAbs(range.Last - range.First) + 1;
        return int(qMin<qint64>(BlockOf(range, *M).Size(), INT_MAX));
    }

    void SetName(const QString& name) override {
        static const QRegularExpression bad(QStringLiteral("[\\[\\]:*?/\\\\]"));
        if (name.isEmpty() || name.size() > 31 || name.contains(bad) ||
            name.startsWith(QLatin1Char('\'')) || name.endsWith(QLatin1Char('\'')))
            throw EOfficeError(QStringLiteral("Ungültiger Tabellenname: ") + name);
        M->Name = name;
    }

    void SetPageSetupOrientation(int orientation) override {
        if (orientation != 1 && orientation != 2)
            throw EOfficeError(QStringLiteral("Ungültige Seitenausrichtung: %1").arg(orientation));
        M->Orientation = orientation;
    }

private:
    TSheetModel* M;
};

} // namespace

double FittedColumnWidth(int maxChars, bool bold) {
    return qMin(255.0, maxChars * (bold ? 1.1 : 1.0) + 1.5);
}

class TExcelEngine::TBook : public IExcelWorkbook {
public:
    TWorkbookModel Model;
    std::vector<std::unique_ptr<TSheet>> Sheets;
    QString SavedAs;

    void Attach() {
        Sheets.clear();
        for (TSheetModel& s : Model.Sheets)
            Sheets.push_back(std::make_unique<TSheet>(&s));
    }
    IExcelSheet* WorkSheets(int index) override {
        if (index < 1 || index > int(Sheets.size()))
            throw EOfficeError(
                QStringLiteral("Die Arbeitsmappe hat kein Tabellenblatt %1.").arg(index));
        return Sheets[index - 1].get();
    }
    void SetAuthor(const QString& text) override { Model.Author = text; }
    void SetTitle(const QString& text) override { Model.Title = text; }
    void SetSubject(const QString& text) override { Model.Subject = text; }
    void SetComments(const QString& text) override { Model.Comments = text; }
    void SaveAs(const QString& fileName) override {
        WorkbookFiles::WriteXlsx(Model, fileName);
        SavedAs = fileName;
    }
};

TExcelEngine::TExcelEngine(TShowFile show, const QString& tempFolder)
    : FShow(std::move(show)), FTempFolder(tempFolder.isEmpty() ? QDir::tempPath() : tempFolder) {}

TExcelEngine::~TExcelEngine() = default;

void TExcelEngine::SetDisplayAlerts(bool) {} // the engine never asks
void TExcelEngine::SetEnableEvents(bool) {}  // and runs no macros

IExcelWorkbook* TExcelEngine::WorkBooksAdd() {
    auto book = std::make_unique<TBook>();
    book->Model.Sheets << TSheetModel();
    book->Attach();
    FBooks.push_back(std::move(book));
    return FBooks.back().get();
}

IExcelWorkbook* TExcelEngine::WorkBooksOpen(const QString& fileName) {
    auto book = std::make_unique<TBook>();
    book->Model = WorkbookFiles::Read(fileName); // throws before anything is kept
    book->Attach();
    book->SavedAs = fileName;
    FBooks.push_back(std::move(book));
    return FBooks.back().get();
}

void TExcelEngine::SetVisible(bool on) {
    if (!on || !FShow) return;
    for (auto& book : FBooks) {
        QString file = book->SavedAs;
        if (file.isEmpty()) {
            QDir().mkpath(FTempFolder);
            file = FreeFileName(FTempFolder, MakeDateFileName(), QStringLiteral("xlsx"));
            WorkbookFiles::WriteXlsx(book->Model, file);
            book->SavedAs = file;
        }
        FShow(file);
    }
}

void TExcelEngine::Quit() {
    FBooks.clear();
}

const TWorkbookModel& TExcelEngine::Workbook(int index) const {
    return FBooks.at(index)->Model;
}

// --- ranges as the automation calls build them

TExcelRange IExcelSheet::Cells(int row, int col) {
    TExcelRange r;
    r.Row1 = r.Row2 = row;
    r.Col1 = r.Col2 = col;
    return r;
}

TExcelRange IExcelSheet::Range(const TExcelRange& from, const TExcelRange& to) {
    TExcelRange r;
    r.Row1 = from.Row1;
    r.Col1 = from.Col1;
    r.Row2 = to.Row2;
    r.Col2 = to.Col2;
    return r;
}

TExcelRange IExcelSheet::Columns(int col) {
    TExcelRange r;
    r.Kind = TExcelRange::rkColumns;
    r.First = r.Last = col;
    return r;
}

TExcelRange IExcelSheet::Rows(int row) {
    TExcelRange r;
    r.Kind = TExcelRange::rkRows;
    r.First = r.Last = row;
    return r;
}

QString RangeText(const TExcelRange& r) {
    switch (r.Kind) {
    case TExcelRange::rkColumns:
        return r.First == 0 ? QStringLiteral("Columns")
                            : QStringLiteral("Columns(%1)").arg(r.First);
    case TExcelRange::rkRows:
        return r.First == 0 ? QStringLiteral("Rows") : QStringLiteral("Rows(%1)").arg(r.First);
    case TExcelRange::rkCells:
        break;
    }
    if (r.Row1 == r.Row2 && r.Col1 == r.Col2)
        return QStringLiteral("Cells(%1,%2)").arg(r.Row1).arg(r.Col1);
    return QStringLiteral("Range(Cells(%1,%2),Cells(%3,%4))")
        .arg(r.Row1)
        .arg(r.Col1)
        .arg(r.Row2)
        .arg(r.Col2);
}
