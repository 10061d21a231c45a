#pragma once
// The real Excel-like engine: workbooks held in memory, saved as .xlsx, opened
// from .xlsx or .xls. Showing a workbook (Visible) saves it to a temporary file
// under a free name in a given folder and hands that to the desktop through a callback.
#include "ExcelApplication.h"
#include "SheetModel.h"

#include <functional>
#include <memory>
#include <vector>

using TShowFile = std::function<void(const QString& fileName)>;

class TExcelEngine : public IExcelApplication {
public:
    // tempFolder: where a shown, unsaved workbook is written (the temporary folder
    // when empty).
    explicit TExcelEngine(TShowFile show = {}, const QString& tempFolder = QString());
    ~TExcelEngine() override;

    void SetDisplayAlerts(bool on) override;
    void SetEnableEvents(bool on) override;
    IExcelWorkbook* WorkBooksAdd() override;
    IExcelWorkbook* WorkBooksOpen(const QString& fileName) override;
    void SetVisible(bool on) override;
    void Quit() override;

    // The workbooks, for tests and for the caller that shows them.
    int WorkbookCount() const { return int(FBooks.size()); }
    const TWorkbookModel& Workbook(int index) const;

    class TBook;

private:
    TShowFile FShow;
    QString FTempFolder;
    std::vector<std::unique_ptr<TBook>> FBooks;
};

// The fitted width of a column of texts, in Excel's character units.
double FittedColumnWidth(int maxChars, bool bold);
