#include "OfficeRecorder.h"

namespace {
QString Bool(bool on) {
    return on ? QStringLiteral("True") : QStringLiteral("False");
}
} // namespace

void TOfficeCallLog::Call(const QString& text) {
    Calls << text;
    if (!FailOn.isEmpty() && text.startsWith(FailOn))
        throw EOfficeError(QStringLiteral("Aufruf fehlgeschlagen: ") + text);
}

void TRecordingWordBasic::AppMaximize() {
    FLog.Call(QStringLiteral("AppMaximize"));
}
void TRecordingWordBasic::AppMinimize() {
    FLog.Call(QStringLiteral("AppMinimize"));
}
void TRecordingWordBasic::FileOpen(const QString& f) {
    FLog.Call(QStringLiteral("FileOpen(%1)").arg(f));
}
void TRecordingWordBasic::FileNew() {
    FLog.Call(QStringLiteral("FileNew"));
}
void TRecordingWordBasic::Insert(const QString& t) {
    FLog.Call(QStringLiteral("Insert(%1)").arg(t));
}
void TRecordingWordBasic::LineUp(int count, int extend) {
    FLog.Call(QStringLiteral("LineUp(%1,%2)").arg(count).arg(extend));
}
void TRecordingWordBasic::TextToTable(int convertFrom, int numColumns) {
    FLog.Call(QStringLiteral("TextToTable(ConvertFrom=%1,NumColumns=%2)")
                  .arg(convertFrom)
                  .arg(numColumns));
}
void TRecordingWordBasic::FileSaveAs(const QString& f) {
    FLog.Call(QStringLiteral("FileSaveAs(%1)").arg(f));
}
void TRecordingWordBasic::AppClose() {
    FLog.Call(QStringLiteral("AppClose"));
}

class TRecordingExcel::TSheet : public IExcelSheet {
public:
    TSheet(TOfficeCallLog& log, TRecordingExcel& app, TValueArray values)
        : FLog(log), FApp(app), FValues(std::move(values)) {}
    void SetValue(const TExcelRange& r, const TValueArray& v) override {
        FApp.LastValue = v;
        FLog.Call(QStringLiteral("%1.Value=[%2x%3]")
                      .arg(RangeText(r))
                      .arg(v.size())
                      .arg(v.value(0).size()));
    }
    TValueArray Value(const TExcelRange& r) override {
        FLog.Call(RangeText(r) + QStringLiteral(".Value"));
        TValueArray out;
        for (int row = r.Row1; row <= r.Row2; ++row) {
            QVariantList line;
            for (int col = r.Col1; col <= r.Col2; ++col)
                line << FValues.value(row - 1).value(col - 1);
            out << line;
        }
        return out;
    }
    void SetBordersLineStyle(const TExcelRange& r, int s) override {
        FLog.Call(QStringLiteral("%1.Borders.LineStyle=%2").arg(RangeText(r)).arg(s));
    }
    void SetFontBold(const TExcelRange& r, bool b) override {
        FLog.Call(QStringLiteral("%1.Font.Bold=%2").arg(RangeText(r), Bool(b)));
    }
    void Delete(const TExcelRange& r) override {
        FLog.Call(RangeText(r) + QStringLiteral(".Delete"));
    }
    void Autofit(const TExcelRange& r) override {
        FLog.Call(RangeText(r) + QStringLiteral(".Autofit"));
    }
    int Count(const TExcelRange& r) override {
        FLog.Call(RangeText(r) + QStringLiteral(".Count"));
        return int(FValues.size());
    }
    void SetName(const QString& n) override { FLog.Call(QStringLiteral("Name=") + n); }
    void SetPageSetupOrientation(int o) override {
        FLog.Call(QStringLiteral("PageSetup.Orientation=%1").arg(o));
    }

private:
    TOfficeCallLog& FLog;
    TRecordingExcel& FApp;
    TValueArray FValues;
};

class TRecordingExcel::TBook : public IExcelWorkbook {
public:
    TBook(TOfficeCallLog& log, TRecordingExcel& app, TValueArray values)
        : FLog(log), FSheet(log, app, std::move(values)) {}
    IExcelSheet* WorkSheets(int index) override {
        FLog.Call(QStringLiteral("WorkSheets(%1)").arg(index));
        return &FSheet;
    }
    void SetAuthor(const QString& t) override { FLog.Call(QStringLiteral("Author=") + t); }
    void SetTitle(const QString& t) override { FLog.Call(QStringLiteral("Title=") + t); }
    void SetSubject(const QString& t) override { FLog.Call(QStringLiteral("Subject=") + t); }
    void SetComments(const QString& t) override { FLog.Call(QStringLiteral("Comments=") + t); }
    void SaveAs(const QString& f) override { FLog.Call(QStringLiteral("SaveAs(%1)").arg(f)); }

private:
    TOfficeCallLog& FLog;
    TSheet FSheet;
};

TRecordingExcel::TRecordingExcel(TOfficeCallLog& log, TValueArray sheetValues)
    : FLog(log), FSheetValues(std::move(sheetValues)) {}
TRecordingExcel::~TRecordingExcel() = default;

void TRecordingExcel::SetDisplayAlerts(bool on) {
    FLog.Call(QStringLiteral("DisplayAlerts=") + Bool(on));
}
void TRecordingExcel::SetEnableEvents(bool on) {
    FLog.Call(QStringLiteral("Application.EnableEvents=") + Bool(on));
}
IExcelWorkbook* TRecordingExcel::WorkBooksAdd() {
    FLog.Call(QStringLiteral("WorkBooks.Add"));
    FBooks.push_back(std::make_unique<TBook>(FLog, *this, TValueArray()));
    return FBooks.back().get();
}
IExcelWorkbook* TRecordingExcel::WorkBooksOpen(const QString& f) {
    FLog.Call(QStringLiteral("WorkBooks.Open(%1)").arg(f));
    FBooks.push_back(std::make_unique<TBook>(FLog, *this, FSheetValues));
    return FBooks.back().get();
}
void TRecordingExcel::SetVisible(bool on) {
    FLog.Call(QStringLiteral("Visible=") + Bool(on));
}
void TRecordingExcel::Quit() {
    FLog.Call(QStringLiteral("Application.Quit"));
}
