#pragma once
// Recording stand-ins for the Word and Excel engines: every call is written to a
// log in the form the automation call reads ("Columns(7).Delete"), and a call can
// be made to fail. An opened workbook answers with the values it was given.
#include "ExcelApplication.h"
#include "WordBasic.h"

#include <QStringList>
#include <memory>
#include <vector>

class TOfficeCallLog {
public:
    QStringList Calls;
    QString FailOn; // a call starting with this text throws (after being logged)
    void Call(const QString& text);
};

class TRecordingWordBasic : public IWordBasic {
public:
    explicit TRecordingWordBasic(TOfficeCallLog& log) : FLog(log) {}
    void AppMaximize() override;
    void AppMinimize() override;
    void FileOpen(const QString& fileName) override;
    void FileNew() override;
    void Insert(const QString& text) override;
    void LineUp(int count, int extend) override;
    void TextToTable(int convertFrom, int numColumns) override;
    void FileSaveAs(const QString& fileName) override;
    void AppClose() override;

private:
    TOfficeCallLog& FLog;
};

class TRecordingExcel : public IExcelApplication {
public:
    // sheetValues: what WorkBooks.Open's first sheet holds (row 1 first).
    explicit TRecordingExcel(TOfficeCallLog& log, TValueArray sheetValues = {});
    ~TRecordingExcel() override;
    void SetDisplayAlerts(bool on) override;
    void SetEnableEvents(bool on) override;
    IExcelWorkbook* WorkBooksAdd() override;
    IExcelWorkbook* WorkBooksOpen(const QString& fileName) override;
    void SetVisible(bool on) override;
    void Quit() override;

    TValueArray LastValue; // the block of the last Value assignment
    class TBook;
    class TSheet;

private:
    TOfficeCallLog& FLog;
    TValueArray FSheetValues;
    std::vector<std::unique_ptr<TBook>> FBooks;
};
