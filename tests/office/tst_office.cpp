// The document engine and the Word/Excel export and import: the calls in their
// order, the written files (checked with independent readers where installed),
// the import rules and refused files.
#include "ExcelEngine.h"
#include "ExcelValues.h"
#include "OfficeExport.h"
#include "OfficeRecorder.h"
#include "OfficeZip.h"
#include "WordEngine.h"
#include "WorkbookFiles.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QStringList Captions = {"Start-Nr.", "Name",    "Runde 1",    "Runde 2",     "Runde 3",
                              "Runde 4",   "Runde 5", "Gesamtzeit", "Beste Runde", "Platz"};

// A protocol with the given laps; data row i: start number, name, lap times, total, best.
TProtocolExport Protocol(int laps, int dataRows) {
    TProtocolExport p;
    p.Title = "Bergrennen Ösling";
    p.RunNumber = "2";
    p.ListSubtitle = "Klasse A";
    p.LongDate = "Montag, 7. Dezember 2026";
    p.ApplicationTitle = "Zeitnahme";
    p.MakerAddress = "https://www.tempora-zeitnahme.example/";
    p.Laps = laps;
    p.Rows << Captions;
    for (int i = 1; i <= dataRows; ++i) {
        QStringList row(10);
        row[0] = QString::number(10 + i);
        row[1] = QStringLiteral("Fahrer %1").arg(i);
        for (int k = 0; k < laps; ++k)
            row[2 + k] = QStringLiteral("5%1,%2").arg(k).arg(i % 10 * 10, 2, 10, QLatin1Char('0'));
        row[7] = QStringLiteral("1.4%1,10").arg(i % 10);
        row[8] = QStringLiteral("50,%1").arg(i % 10 * 10, 2, 10, QLatin1Char('0'));
        p.Rows << row;
    }
    for (int c = 0; c < 10; ++c)
        p.ColumnWidths << ((c >= 2 + laps && c < 7) || c == 9 ? -1 : 64);
    return p;
}

TExcelFactory RealExcel() {
    return [] { return std::make_unique<TExcelEngine>(); };
}

// Runs a check script with Debian's Python; skips when the module is not installed.
bool RunPython(const QString& module, const QString& script, const QStringList& args,
               QString* out) {
    QProcess probe;
    probe.start("/usr/bin/python3", {"-c", "import " + module});
    if (!probe.waitForFinished(30000) || probe.exitCode() != 0) return false;
    QProcess p;
    p.start("/usr/bin/python3", QStringList{"-c", script} + args);
    p.waitForFinished(60000);
    *out =
        QString::fromUtf8(p.readAllStandardOutput()) + QString::fromUtf8(p.readAllStandardError());
    return true;
}

QByteArray Hash(const QString& file) {
    QFile f(file);
    f.open(QIODevice::ReadOnly);
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
}

void WriteZip(const QString& file, const OfficeZip::TEntries& entries) {
    OfficeZip::Write(file, entries);
}

// A workbook of one sheet with the given rows (sheetData's content), cell formats by
// number format id and custom format codes.
void WriteSheet(const QString& file, const QByteArray& rows, const QList<int>& formatIds = {},
                const QByteArray& numFmts = {}, bool date1904 = false) {
    QByteArray styles = "<styleSheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/"
                        "main\">" +
                        numFmts + "<cellXfs count=\"" + QByteArray::number(formatIds.size() + 1) +
                        "\"><xf numFmtId=\"0\"/>";
    for (int id : formatIds)
        styles += "<xf numFmtId=\"" + QByteArray::number(id) + "\" applyNumberFormat=\"1\"/>";
    styles += "</cellXfs></styleSheet>";
    const QByteArray rels =
        R"(<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)"
        R"(<Relationship Id="rId1" Type="x/worksheet" Target="worksheets/sheet1.xml"/>)"
        R"(<Relationship Id="rId2" Type="x/styles" Target="styles.xml"/></Relationships>)";
    WriteZip(file, {{"xl/workbook.xml",
                     QByteArray("<workbook xmlns:r=\"urn:r\">") +
                         (date1904 ? "<workbookPr date1904=\"1\"/>" : "") +
                         R"(<sheets><sheet name="T" r:id="rId1"/></sheets></workbook>)"},
                    {"xl/_rels/workbook.xml.rels", rels},
                    {"xl/styles.xml", styles},
                    {"xl/worksheets/sheet1.xml",
                     "<worksheet><sheetData>" + rows + "</sheetData></worksheet>"}});
}

} // namespace

class TestOffice : public QObject {
    Q_OBJECT
private slots:
    void wordCalls_data();
    void wordCalls();
    void wordErrorIsSilent();
    void wordDocument();
    void wordTemplateUnchanged();
    void wordTableKeepsItsShape();
    void excelCalls_data();
    void excelCalls();
    void excelErrorStillQuits();
    void excelWorkbook();
    void importRules_data();
    void importRules();
    void completeDecimals_data();
    void completeDecimals();
    void exportedWorkbookImportedAgain();
    void xlsStartList();
    void refusedFiles_data();
    void refusedFiles();
    void roundTripKeepsCells_data();
    void roundTripKeepsCells();
    void farValueIsNotRead_data();
    void farValueIsNotRead();
    void datesAsShown_data();
    void datesAsShown();
    void xlsDatesAsShown_data();
    void xlsDatesAsShown();
    void exactDecimals_data();
    void exactDecimals();
    void malformedSheets_data();
    void malformedSheets();
    void freeFileNames_data();
    void freeFileNames();

private:
    QTemporaryDir FDir;
};

void TestOffice::wordCalls_data() {
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("withTemplate");
    QTest::addColumn<int>("laps");
    QTest::addColumn<int>("dataRows");
    QTest::addColumn<QStringList>("calls");
    QTest::newRow("interactive, new document, 3 laps")
        << 0 << false << 3 << 4
        << QStringList{"AppMaximize",
                       "FileNew",
                       "Insert",
                       "LineUp(5,1)",
                       "TextToTable(ConvertFrom=1,NumColumns=7)",
                       "FileSaveAs(out.docx)"};
    QTest::newRow("save dialog, template, 5 laps")
        << 1 << true << 5 << 1
        << QStringList{"AppMinimize",
                       "FileOpen(TEMPLATE)",
                       "Insert",
                       "LineUp(2,1)",
                       "TextToTable(ConvertFrom=1,NumColumns=9)",
                       "FileSaveAs(out.docx)",
                       "AppClose"};
}

void TestOffice::wordCalls() {
    QFETCH(int, mode);
    QFETCH(bool, withTemplate);
    QFETCH(int, laps);
    QFETCH(int, dataRows);
    QFETCH(QStringList, calls);
    const QString templ = FDir.filePath("Protokollvorlage.docx");
    QFile::remove(templ);
    if (withTemplate) {
        QFile f(templ);
        QVERIFY(f.open(QIODevice::WriteOnly));
    }
    TOfficeCallLog log;
    const TProtocolExport p = Protocol(laps, dataRows);
    QVERIFY(ExportToWord(p, mode, "out.docx", templ,
                         [&] { return std::make_unique<TRecordingWordBasic>(log); }));
    QStringList got = log.Calls;
    QCOMPARE(got.value(2), "Insert(" + WordTextBlock(p) + ")");
    got[2] = "Insert";
    calls.replaceInStrings("TEMPLATE", templ);
    QCOMPARE(got, calls);
}

void TestOffice::wordErrorIsSilent() {
    TOfficeCallLog log;
    log.FailOn = "TextToTable";
    QVERIFY(!ExportToWord(Protocol(2, 2), 1, "x.docx", QString(),
                          [&] { return std::make_unique<TRecordingWordBasic>(log); }));
    QCOMPARE(log.Calls.last(), "TextToTable(ConvertFrom=1,NumColumns=6)");
}

void TestOffice::wordDocument() {
    const QString file = FDir.filePath("protokoll.docx");
    const TProtocolExport p = Protocol(3, 4);
    QStringList shown;
    QVERIFY(ExportToWord(p, 0, file, QString(), [&] {
        return std::make_unique<TWordEngine>([&](const QString& f) { shown << f; });
    }));
    QCOMPARE(shown, QStringList{file}); // interactive: the saved document is handed to the desktop
    QString out;
    const QString script = R"(
import sys, docx
d = docx.Document(sys.argv[1])
print([p.text for p in d.paragraphs[:4]])
t = d.tables[0]
print(len(d.tables), len(t.rows), len(t.columns))
print([c.text for c in t.rows[0].cells])
print([c.text for c in t.rows[1].cells])
print(all(r.bold for c in t.rows[0].cells for r in c.paragraphs[0].runs))
)";
    if (!RunPython("docx", script, {file}, &out)) QSKIP("python3-docx is not installed");
    const QStringList lines = out.trimmed().split('\n');
    QCOMPARE(lines.value(0), "['Bergrennen Ösling', 'Ergebnisliste\\tKlasse A\\tNr. :2', "
                             "'Datum: Montag, 7. Dezember 2026', '']");
    QCOMPARE(lines.value(1), "1 5 7");
    QCOMPARE(lines.value(2), "['Start-Nr.', 'Name', 'Runde 1', 'Runde 2', 'Runde 3', 'Gesamtzeit', "
                             "'Beste Runde']");
    QCOMPARE(lines.value(3), "['11', 'Fahrer 1', '50,10', '51,10', '52,10', '1.41,10', '50,10']");
    QCOMPARE(lines.value(4), "True");
}

void TestOffice::wordTemplateUnchanged() {
    // A template made by the engine itself: a heading and a closing line.
    const QString templ = FDir.filePath("Protokollvorlage.docx");
    QFile::remove(templ);
    {
        TWordEngine w;
        w.FileNew();
        w.Insert("Vorlage Kopf\r\nVorlage Fuß");
        w.FileSaveAs(templ);
    }
    const QByteArray before = Hash(templ);
    const QString file = FDir.filePath("mit-vorlage.docx");
    QVERIFY(ExportToWord(Protocol(2, 2), 1, file, templ,
                         [] { return std::make_unique<TWordEngine>(); }));
    QCOMPARE(Hash(templ), before);

    OfficeZip::TZipReader zip(file, "Word-Datei");
    const QString xml = QString::fromUtf8(zip.Read("word/document.xml"));
    const qsizetype title = xml.indexOf("Bergrennen");
    const qsizetype table = xml.indexOf("<w:tbl>");
    const qsizetype head = xml.indexOf("Vorlage Kopf");
    QVERIFY(title >= 0 && table > title && head > table);
    QString out;
    if (RunPython("docx",
                  "import sys, docx; d = docx.Document(sys.argv[1]); "
                  "print(len(d.tables), len(d.tables[0].rows), d.paragraphs[-1].text)",
                  {file}, &out))
        QCOMPARE(out.trimmed(), "1 3 Vorlage Fuß");
}

void TestOffice::wordTableKeepsItsShape() {
    TProtocolExport p = Protocol(2, 3);
    p.Rows[2][1] = "Anna\tLena\r\nMeier";
    QVERIFY(ExportToWord(p, 0, FDir.filePath("form.docx"), QString(),
                         [] { return std::make_unique<TWordEngine>(); }));
    OfficeZip::TZipReader zip(FDir.filePath("form.docx"), "Word-Datei");
    const QString xml = QString::fromUtf8(zip.Read("word/document.xml"));
    QCOMPARE(xml.count("<w:tr>"), 4);
    QCOMPARE(xml.count("<w:tc>"), 4 * 6);
    QVERIFY(xml.contains("Anna Lena  Meier"));
}

void TestOffice::excelCalls_data() {
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<int>("laps");
    QTest::addColumn<QStringList>("tail");
    QTest::newRow("saved, 3 laps") << "mappe.xlsx" << 3
                                   << QStringList{"Columns(7).Delete", "Columns(6).Delete", "META",
                                                  "SaveAs(mappe.xlsx)", "Application.Quit"};
    QTest::newRow("interactive, 5 laps") << "" << 5 << QStringList{"META", "Visible=True"};
}

void TestOffice::excelCalls() {
    QFETCH(QString, fileName);
    QFETCH(int, laps);
    QFETCH(QStringList, tail);
    const QStringList meta = {
        "Author=Tempora Software", "Title=Bergrennen Ösling",
        "Subject=Zeitnahme",       "Comments=https://www.tempora-zeitnahme.example/",
        "Name=Trainingslauf",      "PageSetup.Orientation=1",
        "Columns.Autofit"};
    QStringList expected = {"DisplayAlerts=False",
                            "Application.EnableEvents=False",
                            "WorkBooks.Add",
                            "WorkSheets(1)",
                            "Range(Cells(1,1),Cells(8,9)).Value=[8x9]",
                            "Range(Cells(1,1),Cells(8,9)).Borders.LineStyle=1",
                            "Columns(1).Font.Bold=True",
                            "Rows(1).Font.Bold=True",
                            "Rows(4).Font.Bold=True"};
    for (const QString& t : tail)
        t == "META" ? void(expected << meta) : void(expected << t);
    TOfficeCallLog log;
    TRecordingExcel* excel = nullptr;
    ExportToExcel(Protocol(laps, 4), fileName, [&] {
        auto e = std::make_unique<TRecordingExcel>(log);
        excel = e.get();
        return e;
    });
    QCOMPARE(log.Calls, expected);
    Q_UNUSED(excel);
}

void TestOffice::excelErrorStillQuits() {
    for (const QString& file : {QString("mappe.xlsx"), QString()}) {
        TOfficeCallLog log;
        log.FailOn = "Range(Cells(1,1),Cells(5,9)).Borders";
        QVERIFY_THROWS_EXCEPTION(EOfficeError, ExportToExcel(Protocol(2, 1), file, [&] {
                                     return std::make_unique<TRecordingExcel>(log);
                                 }));
        QCOMPARE(log.Calls.last(), file.isEmpty() ? "Visible=True" : "Application.Quit");
    }
    TOfficeCallLog log;
    log.FailOn = "Range(Cells(1,1),Cells(3,10)).Value";
    QVERIFY_THROWS_EXCEPTION(EOfficeError, ImportExcelSheet("x.xlsx", [&] {
                                 return std::make_unique<TRecordingExcel>(
                                     log, TValueArray(3, QVariantList(10)));
                             }));
    QCOMPARE(log.Calls.last(), "Application.Quit");
}

void TestOffice::excelWorkbook() {
    const QString file = FDir.filePath("protokoll.xlsx");
    TProtocolExport p = Protocol(3, 4);
    p.Rows[2][0] = "007"; // a start number with leading zeros stays text
    ExportToExcel(p, file, RealExcel());

    const TWorkbookModel book = WorkbookFiles::Read(file);
    const TSheetModel& s = book.Sheets.value(0);
    auto v = [&](int r, int c) { return s.Find(r, c) ? s.Find(r, c)->Value : QVariant(); };
    QCOMPARE(s.Name, "Trainingslauf");
    QCOMPARE(v(1, 2).toString(), p.Title);
    QCOMPARE(v(2, 1).toString(), "Ergebnisliste");
    QCOMPARE(v(2, 2).toString(), "Klasse A");
    QCOMPARE(v(2, 3).toString(), "Nr.");
    QCOMPARE(v(2, 4), QVariant(2.0));
    QCOMPARE(v(3, 1).toString(), "Datum:");
    QCOMPARE(v(3, 2).toString(), p.LongDate);
    QStringList head;
    for (int c = 1; c <= 8; ++c)
        head << v(4, c).toString();
    QCOMPARE(head, (QStringList{"Start-Nr.", "Name", "Runde 1", "Runde 2", "Runde 3", "Gesamtzeit",
                                "Beste Runde", ""}));
    QCOMPARE(v(5, 1), QVariant(11.0));
    QCOMPARE(v(6, 1), QVariant("007"));
    QCOMPARE(v(5, 3), QVariant(50.1));      // "50,10" is a number
    QCOMPARE(v(5, 6), QVariant("1.41,10")); // a time with minutes stays text
    QCOMPARE(s.LastRow(), 8);

    QString out;
    const QString script = R"(
import sys, openpyxl
wb = openpyxl.load_workbook(sys.argv[1])
ws = wb.worksheets[0]
print(ws.title, ws.max_row, ws.max_column, ws.page_setup.orientation)
print(wb.properties.creator, '|', wb.properties.title, '|', wb.properties.subject, '|', wb.properties.description)
print(ws['A5'].font.b, ws['B4'].font.b, ws['B1'].font.b, ws['B5'].font.b, ws['C2'].font.b)
print(ws['G8'].border.left.style, ws['A1'].border.top.style, ws['H8'].border.left.style)
print(ws['C5'].number_format, ws['C5'].value, ws['A5'].value)
print(ws.column_dimensions['B'].width > ws.column_dimensions['A'].width > 8)
)";
    if (!RunPython("openpyxl", script, {file}, &out)) QSKIP("python3-openpyxl is not installed");
    const QStringList lines = out.trimmed().split('\n');
    QCOMPARE(lines.value(0), "Trainingslauf 8 7 portrait");
    QCOMPARE(lines.value(1), "Tempora Software | Bergrennen Ösling | Zeitnahme | "
                             "https://www.tempora-zeitnahme.example/");
    QCOMPARE(lines.value(2), "True True True False False");
    QCOMPARE(lines.value(3), "thin thin None");
    QCOMPARE(lines.value(4), "0.00 50.1 11");
    QCOMPARE(lines.value(5), "True");
}

void TestOffice::importRules_data() {
    QTest::addColumn<TValueArray>("sheet");
    QTest::addColumn<QList<QStringList>>("rows");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QString>("runNumber");

    const QVariantList title = {QVariant(), "Titel"};
    const QVariantList list = {"Ergebnisliste", "Untertitel", "Nr.", 4.0};
    const QVariantList date = {"Datum:", "heute"};
    auto row = [](std::initializer_list<QVariant> cells) { return QVariantList(cells); };
    auto table = [](std::initializer_list<QStringList> rows) {
        QList<QStringList> out;
        for (QStringList r : rows) {
            while (r.size() < 10)
                r << QString();
            out << r;
        }
        return out;
    };

    QTest::newRow("start list: numbers and names only")
        << TValueArray{title,
                       list,
                       date,
                       row({"Start-Nr.", "Name"}),
                       row({12.0, "Hans"}),
                       row({QVariant(), "ohne Nummer"}),
                       row({7.0, "Eva", "53,2"})}
        << table({{"12", "Hans"}, {"", "ohne Nummer"}, {"7", "Eva"}}) << QStringList{"Hans", "Eva"}
        << "4";
    QTest::newRow("three laps, totals from the last two columns, data ends at the empty row")
        << TValueArray{title,
                       {"Ergebnisliste", "U"},
                       date,
                       row({"Start-Nr.", "Name", "Runde 1", "Runde 2", "Runde 3", "Gesamtzeit",
                            "Beste Runde"}),
                       row({11.0, "Anna", 55.1, 54.0, "1.02,5", "2.51,6", 54.0}),
                       row({12.0, "Bert", QVariant(), 56.25, 57.0, 113.25, 56.25}),
                       row({}),
                       row({13.0, "nach Lücke"})}
        << table({{"11", "Anna", "55,10", "54,00", "1.02,50", "", "", "2.51,60", "54,00"},
                  {"12", "Bert", "", "56,25", "57,00", "", "", "113,25", "56,25"}})
        << QStringList{"Anna", "Bert"} << "";
    QTest::newRow("one lap heading: no totals")
        << TValueArray{title, list, date, row({"Start-Nr.", "Name", "Runde 1", "Gesamtzeit"}),
                       row({1.0, "A", 50.0, 50.0})}
        << table({{"1", "A", "50,00"}}) << QStringList{"A"} << "4";
    QTest::newRow("more than five lap headings keep the totals in place")
        << TValueArray{title, list, date,
                       row({"Start-Nr.", "Name", "Runde 1", "Runde 2", "Runde 3", "Runde 4",
                            "Runde 5", "Runde 6", "Gesamt", "Beste"}),
                       row({1.0, "A", 1.0, 2.0, 3.0, 4.0, 5.0, 6.0, 21.0, 1.0})}
        << table({{"1", "A", "1,00", "2,00", "3,00", "4,00", "5,00", "21,00", "1,00"}})
        << QStringList{"A"} << "4";
    QTest::newRow("row 5 empty: one blank data row")
        << TValueArray{title, list, date, row({"Start-Nr.", "Name"}), row({}), row({1.0, "x"})}
        << table({{}}) << QStringList{} << "4";
    QTest::newRow("empty sheet") << TValueArray{} << table({{}}) << QStringList{} << "";
}

void TestOffice::importRules() {
    QFETCH(TValueArray, sheet);
    QFETCH(QList<QStringList>, rows);
    QFETCH(QStringList, names);
    QFETCH(QString, runNumber);
    TOfficeCallLog log;
    const TProtocolImport got = ImportExcelSheet(
        "liste.xlsx", [&] { return std::make_unique<TRecordingExcel>(log, sheet); });
    QCOMPARE(got.Rows, rows);
    QCOMPARE(got.Names, names);
    QCOMPARE(got.RunNumber, runNumber);
    QCOMPARE(got.HasRunNumber, !runNumber.isEmpty());
    QCOMPARE(got.Title, sheet.isEmpty() ? QString() : QString("Titel"));
    QCOMPARE(log.Calls.first(), "Application.EnableEvents=False");
    QCOMPARE(log.Calls.last(), "Application.Quit");
}

void TestOffice::completeDecimals_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    QTest::newRow("minutes, one decimal") << "1.02,5"
                                          << "1.02,50";
    QTest::newRow("two decimals") << "9,87"
                                  << "9,87";
    QTest::newRow("no comma") << "54"
                              << "54,00";
    QTest::newRow("empty") << ""
                           << "";
    QTest::newRow("comma last") << "5,"
                                << "5,";
    QTest::newRow("hours") << "1:02.03,4"
                           << "1:02.03,40";
    QTest::newRow("did not finish") << "DNF"
                                    << "DNF";
    QTest::newRow("did not start") << "DNS"
                                   << "DNS";
    QTest::newRow("blank") << " "
                           << " ";
    QTest::newRow("dash") << "-"
                          << "-";
    QTest::newRow("date") << "06.12.2026"
                          << "06.12.2026";
    QTest::newRow("time of day") << "12:30:00"
                                 << "12:30:00";
}

void TestOffice::completeDecimals() {
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(CompleteDecimals(text), expected);
}

void TestOffice::exportedWorkbookImportedAgain() {
    const QString file = FDir.filePath("rund.xlsx");
    TProtocolExport p = Protocol(2, 3);
    p.Rows[1][7] = "55,10";
    p.Rows[2][1] = "Jörg Weiß <&>";
    ExportToExcel(p, file, RealExcel());
    const TProtocolImport got = ImportExcelSheet(file, RealExcel());
    QCOMPARE(got.Title, p.Title);
    QCOMPARE(got.RunNumber, "2");
    QCOMPARE(got.ListSubtitle, "Klasse A");
    QCOMPARE(got.Rows.size(), 3);
    for (int r = 0; r < 3; ++r) {
        QStringList expected = p.Rows[r + 1];
        expected[9] = QString(); // the rank column is never exported
        QCOMPARE(got.Rows[r], expected);
    }
    QCOMPARE(got.Names, (QStringList{"Fahrer 1", "Jörg Weiß <&>", "Fahrer 3"}));
}

void TestOffice::xlsStartList() {
    const TProtocolImport got = ImportExcelSheet(OFFICE_TEST_DATA "/startliste.xls", RealExcel());
    QCOMPARE(got.Title, "Sommertraining");
    QCOMPARE(got.RunNumber, "3");
    QCOMPARE(got.Names, (QStringList{"Hans Müller", "Eva Groß", "Jörg Weiß"}));
    QCOMPARE(got.Rows.size(), 3);
    QCOMPARE(got.Rows[1].mid(0, 3), (QStringList{"7", "Eva Groß", ""}));
}

void TestOffice::refusedFiles_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("message");
    QTest::newRow("text renamed to .xlsx") << "text"
                                           << "keine Excel-Arbeitsmappe";
    QTest::newRow("truncated workbook") << "truncated"
                                        << "beschädigt";
    QTest::newRow("shared string out of range") << "badindex"
                                                << "beschädigt";
    QTest::newRow("zip bomb") << "bomb"
                              << "größer als 64 MB";
    QTest::newRow("missing file") << "missing"
                                  << "kann nicht geöffnet werden";
    QTest::newRow("too many entries") << "entries"
                                      << "beschädigt";
    QTest::newRow("more than a million cells")
        << "cells"
        << "Die Arbeitsmappe %1 hat mehr als 1.000.000 Zellen";
}

void TestOffice::refusedFiles() {
    QFETCH(QString, kind);
    QFETCH(QString, message);
    const QString file = FDir.filePath(kind + ".xlsx");
    QFile::remove(file);
    if (kind == "text") {
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("Start-Nr.\tName\r\n12\tHans\r\n");
    } else if (kind == "truncated") {
        const QString good = FDir.filePath("good.xlsx");
        ExportToExcel(Protocol(2, 20), good, RealExcel());
        QFile g(good);
        QVERIFY(g.open(QIODevice::ReadOnly));
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(g.readAll().left(int(g.size() * 2 / 3)));
    } else if (kind == "badindex") {
        const QByteArray rels =
            R"(<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)"
            R"(<Relationship Id="rId1" Type="x/worksheet" Target="worksheets/sheet1.xml"/></Relationships>)";
        WriteZip(
            file,
            {{"xl/workbook.xml",
              R"(<workbook xmlns:r="urn:r"><sheets><sheet name="T" r:id="rId1"/></sheets></workbook>)"},
             {"xl/_rels/workbook.xml.rels", rels},
             {"xl/worksheets/sheet1.xml",
              R"(<worksheet><sheetData><row r="1"><c r="A1" t="s"><v>5</v></c></row></sheetData></worksheet>)"}});
    } else if (kind == "bomb") {
        WriteZip(file, {{"xl/workbook.xml", QByteArray(70 * 1024 * 1024, ' ')}});
    } else if (kind == "cells") {
        QByteArray rows;
        for (int r = 1; r <= 1001; ++r) {
            rows += "<row r=\"" + QByteArray::number(r) + "\">";
            for (int c = 0; c < 1000; ++c)
                rows += "<c><v>1</v></c>";
            rows += "</row>";
        }
        WriteSheet(file, rows);
    } else if (kind == "entries") {
        OfficeZip::TEntries many;
        for (int i = 0; i <= OfficeZip::MaxEntries; ++i)
            many << qMakePair(QStringLiteral("x/%1.xml").arg(i), QByteArray("<x/>"));
        WriteZip(file, many);
    }
    const int openFiles = QDir(QStringLiteral("/proc/self/fd")).count();
    const auto closed = qScopeGuard([&] {
        // Refused on any path, the file is closed again.
        if (QFileInfo::exists(QStringLiteral("/proc/self/fd")))
            QCOMPARE(QDir(QStringLiteral("/proc/self/fd")).count(), openFiles);
    });
    try {
        ImportExcelSheet(file, RealExcel());
        QFAIL("the file was read");
    } catch (const EOfficeError& e) {
        if (message.contains("%1")) message = message.arg(QDir::toNativeSeparators(file));
        QVERIFY2(e.Message().contains(message), qPrintable(e.Message()));
    }
}

// An exported protocol read back is the same table, whatever its cells hold.
void TestOffice::roundTripKeepsCells_data() {
    QTest::addColumn<QList<QStringList>>("rows");
    QTest::addColumn<int>("laps");
    auto row = [](std::initializer_list<QString> cells) {
        QStringList r(cells);
        while (r.size() < 10)
            r << QString();
        return r;
    };
    QTest::newRow("did not finish, did not start")
        << QList<QStringList>{row({"1", "Anna", "55,10", "DNF", "", "", "", "DNF", "55,10"}),
                              row({"2", "Bert", "DNS", "DNS", "", "", "", "DNS", "DNS"})}
        << 2;
    QTest::newRow("blank start number and blank laps")
        << QList<QStringList>{row({" ", "ohne Nummer", " ", "56,00", "", "", "", "56,00", "56,00"}),
                              row({"3", " ", "57,20", " ", "", "", "", " ", " "})}
        << 2;
    QTest::newRow("dashes, hours and whole seconds")
        << QList<QStringList>{row(
               {"4", "Cora", "-", "1:02.03,40", "54,00", "", "", "1:03.00,00", "54,00"})}
        << 3;
    QList<QStringList> many;
    for (int i = 1; i <= 300; ++i)
        many << row({QString::number(i), QStringLiteral("Fahrer %1").arg(i),
                     i % 7 == 0 ? "DNF" : QStringLiteral("5%1,%2").arg(i % 10).arg(i % 90 + 10),
                     i % 11 == 0 ? "DNS" : "1.01,05", "", "", "", i % 7 == 0 ? "DNF" : "2.00,00",
                     "59,99"});
    QTest::newRow("300 rows") << many << 2;
}

void TestOffice::roundTripKeepsCells() {
    QFETCH(QList<QStringList>, rows);
    QFETCH(int, laps);
    TProtocolExport p = Protocol(laps, 0);
    p.Rows << rows;
    const QString file = FDir.filePath("rund2.xlsx");
    ExportToExcel(p, file, RealExcel());
    const TProtocolImport got = ImportExcelSheet(file, RealExcel());
    QCOMPARE(got.Rows.size(), rows.size());
    for (int r = 0; r < rows.size(); ++r)
        QCOMPARE(got.Rows[r], rows[r]);
}

// A legal workbook with one value far below the data (or far to the right) is read up to
// the end of the data.
void TestOffice::farValueIsNotRead_data() {
    QTest::addColumn<QByteArray>("farCell");
    QTest::newRow("row 1,000,000, column J") << QByteArray("J1000000");
    QTest::newRow("last row of a sheet") << QByteArray("A1048576");
    QTest::newRow("column XFD") << QByteArray("XFD6");
}

void TestOffice::farValueIsNotRead() {
    QFETCH(QByteArray, farCell);
    const QString file = FDir.filePath("weit.xlsx");
    QByteArray rows = R"(<row r="1"><c r="B1" t="inlineStr"><is><t>Titel</t></is></c></row>)"
                      R"(<row r="4"><c r="A4" t="inlineStr"><is><t>Start-Nr.</t></is></c>)"
                      R"(<c r="B4" t="inlineStr"><is><t>Name</t></is></c></row>)";
    for (int r = 5; r <= 7; ++r)
        rows += "<row r=\"" + QByteArray::number(r) + "\"><c r=\"A" + QByteArray::number(r) +
                "\"><v>" + QByteArray::number(r) + "</v></c></row>";
    const QByteArray rowOf =
        farCell.mid(QString::fromLatin1(farCell).indexOf(QRegularExpression("[0-9]")));
    if (rowOf.toInt() > 7)
        rows += "<row r=\"" + rowOf + "\"><c r=\"" + farCell + "\"><v>1</v></c></row>";
    else
        rows.insert(rows.indexOf("</row><row r=\"7\""), "<c r=\"" + farCell + "\"><v>1</v></c>");
    WriteSheet(file, rows);
    const TProtocolImport got = ImportExcelSheet(file, RealExcel());
    QCOMPARE(got.Title, "Titel");
    QCOMPARE(got.Rows.size(), 3);
    QCOMPARE(got.Rows[2].value(0), "7");
}

// Cells formatted as dates or times come as the text Excel shows, not as serial numbers.
void TestOffice::datesAsShown_data() {
    QTest::addColumn<int>("formatId");
    QTest::addColumn<QString>("formatCode");
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<bool>("date1904");
    QTest::addColumn<QVariant>("expected");
    QTest::newRow("built-in date")
        << 14 << "" << QByteArray("46362") << false << QVariant("06.12.2026");
    QTest::newRow("built-in time")
        << 21 << "" << QByteArray("0.5") << false << QVariant("12:00:00");
    QTest::newRow("built-in date and time")
        << 22 << "" << QByteArray("46362.75") << false << QVariant("06.12.2026 18:00");
    QTest::newRow("custom date") << 164 << "dd/mm/yyyy;@" << QByteArray("46363") << false
                                 << QVariant("07.12.2026");
    QTest::newRow("custom German date with locale")
        << 165 << "[$-407]DD.MM.YYYY" << QByteArray("45000") << false << QVariant("15.03.2023");
    QTest::newRow("custom minutes and seconds")
        << 166 << "mm:ss" << QByteArray("0.000694444444") << false << QVariant("01:00");
    // Times to the hundredth, in every form Excel offers for them.
    const QByteArray t5512("0.0006379629629629629"); // 55,12 s
    QTest::newRow("mm:ss.00") << 166 << "mm:ss.00" << t5512 << false << QVariant("00:55,12");
    QTest::newRow("[h]:mm:ss.00") << 166 << "[h]:mm:ss.00" << t5512 << false << QVariant("0:00:55,12");
    QTest::newRow("hh:mm:ss.00") << 166 << "hh:mm:ss.00" << t5512 << false << QVariant("00:00:55,12");
    QTest::newRow("[mm]:ss.00 beyond an hour")
        << 166 << "[mm]:ss.00" << QByteArray("0.0425347222222222") << false << QVariant("61:15,00");
    QTest::newRow("[ss].00") << 166 << "[ss].00" << t5512 << false << QVariant("55,12");
    QTest::newRow("m:ss.000") << 166 << "m:ss.000" << QByteArray("0.000755787037037037") << false
                              << QVariant("1:05,300");
    QTest::newRow("hundredths round up into the minute")
        << 166 << "mm:ss.00" << QByteArray("0.0006944328703703704") << false << QVariant("01:00,00");
    QTest::newRow("whole seconds are rounded")
        << 166 << "hh:mm:ss" << QByteArray("0.0006435185185185185") << false << QVariant("00:00:56");
    QTest::newRow("built-in mm:ss") << 45 << "" << t5512 << false << QVariant("00:55");
    QTest::newRow("built-in [h]:mm:ss past a day")
        << 46 << "" << QByteArray("1.0833333333333333") << false << QVariant("26:00:00");
    QTest::newRow("built-in mm:ss.0") << 47 << "" << t5512 << false << QVariant("00:55,1");
    QTest::newRow("built-in h:mm AM/PM") << 18 << "" << QByteArray("0.75") << false << QVariant("6:00 PM");
    QTest::newRow("[h]:mm past a day")
        << 166 << "[h]:mm" << QByteArray("1.1041666666666667") << false << QVariant("26:30");
    QTest::newRow("date and time to the hundredth")
        << 166 << "dd.mm.yyyy hh:mm:ss.00" << QByteArray("46362.587155671295") << false
        << QVariant("06.12.2026 14:05:30,25");
    QTest::newRow("ISO date") << 166 << "yyyy-mm-dd" << QByteArray("46362") << false
                              << QVariant("2026-12-06");
    QTest::newRow("ISO date and time") << 166 << "yyyy-mm-dd hh:mm" << QByteArray("46362.75") << false
                                       << QVariant("2026-12-06 18:00");
    QTest::newRow("short year with slashes")
        << 166 << "d/m/yy" << QByteArray("46362") << false << QVariant("6.12.26");
    QTest::newRow("month and weekday names") << 166 << "dddd, d. mmmm yyyy" << QByteArray("46362")
                                             << false << QVariant("Sonntag, 6. Dezember 2026");
    QTest::newRow("short month") << 17 << "" << QByteArray("46362") << false << QVariant("Dez 26");
    QTest::newRow("system long date")
        << 166 << "[$-F800]dddd, mmmm dd, yyyy" << QByteArray("46362") << false
        << QVariant("Sonntag, 6. Dezember 2026");
    QTest::newRow("quoted text and a colour")
        << 166 << "[Blue]mm:ss.00\" s\"" << t5512 << false << QVariant("00:55,12 s");
    QTest::newRow("before March 1900")
        << 14 << "" << QByteArray("59") << false << QVariant("28.02.1900");
    QTest::newRow("1904 date system")
        << 14 << "" << QByteArray("44900") << true << QVariant("06.12.2026");
    QTest::newRow("number with two decimals stays a number")
        << 2 << "" << QByteArray("55.1") << false << QVariant(55.1);
    QTest::newRow("custom number with a quoted unit stays a number")
        << 167 << "0.00\" sd\"" << QByteArray("12.5") << false << QVariant(12.5);
}

void TestOffice::datesAsShown() {
    QFETCH(int, formatId);
    QFETCH(QString, formatCode);
    QFETCH(QByteArray, value);
    QFETCH(bool, date1904);
    QFETCH(QVariant, expected);
    const QString file = FDir.filePath("datum.xlsx");
    QByteArray numFmts;
    if (!formatCode.isEmpty())
        numFmts = "<numFmts count=\"1\"><numFmt numFmtId=\"" + QByteArray::number(formatId) +
                  "\" formatCode=\"" + formatCode.toHtmlEscaped().toUtf8() + "\"/></numFmts>";
    WriteSheet(file,
               R"(<row r="1"><c r="A1"><v>1</v></c><c r="B1" s="1"><v>)" + value + "</v></c></row>",
               {formatId}, numFmts, date1904);
    const TWorkbookModel book = WorkbookFiles::Read(file);
    const TSheetModel& s = book.Sheets.value(0);
    QCOMPARE(s.Find(1, 1)->Value, QVariant(1.0)); // a cell without format stays a number
    QCOMPARE(s.Find(1, 2)->Value, expected);
}

// Legacy workbooks hand dates over in ISO form.
void TestOffice::xlsDatesAsShown_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    QTest::newRow("date") << "2026-12-06"
                          << "06.12.2026";
    QTest::newRow("date and time") << "2026-12-06 10:15:00"
                                   << "06.12.2026 10:15:00";
    QTest::newRow("not a date") << "2026-13-06"
                                << "2026-13-06";
}

void TestOffice::xlsDatesAsShown() {
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(ExcelValues::IsoDateText(text), expected);
}

// The quick reading of numbers gives exactly what a full conversion gives, or declines.
void TestOffice::exactDecimals_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("taken");
    for (const char* t : {"55.1", "0.1", "-3", "113.25", "0.000694444444", "999999999999999",
                          "123456789.012345", "46362.75", "-0.5", "7", ".5"})
        QTest::newRow(t) << QString::fromLatin1(t) << true;
    for (const char* t : {"1e5", "1.", "1234567890123456", "1.2.3", "", "-", "12a", "+4"})
        QTest::newRow(*t ? t : "empty") << QString::fromLatin1(t) << false;
}

void TestOffice::exactDecimals() {
    QFETCH(QString, text);
    QFETCH(bool, taken);
    double v = 0;
    QCOMPARE(ExcelValues::ExactDecimal(text, '.', &v), taken);
    if (taken) QCOMPARE(v, text.toDouble()); // bit for bit, not fuzzy
}

// Sheets that are not well-formed are refused as damaged, never read in part.
void TestOffice::malformedSheets_data() {
    QTest::addColumn<QByteArray>("rows");
    QTest::newRow("unclosed cell") << QByteArray(R"(<row r="1"><c r="A1"><v>1</v></row>)");
    QTest::newRow("tag cut off") << QByteArray(
        R"(<row r="1"><c r="A1"><v>1</v></c></row><row r="2)");
    QTest::newRow("bad reference") << QByteArray(R"(<row r="1"><c r="1A"><v>1</v></c></row>)");
    QTest::newRow("row 0") << QByteArray(R"(<row r="0"><c><v>1</v></c></row>)");
    QTest::newRow("column beyond XFD")
        << QByteArray(R"(<row r="1"><c r="XFE1"><v>1</v></c></row>)");
    QTest::newRow("broken entity")
        << QByteArray(R"(<row r="1"><c r="A1" t="inlineStr"><is><t>a &amp b</t></is></c></row>)");
    QTest::newRow("number that is none")
        << QByteArray(R"(<row r="1"><c r="A1"><v>zwölf</v></c></row>)");
}

void TestOffice::malformedSheets() {
    QFETCH(QByteArray, rows);
    const QString file = FDir.filePath("krumm.xlsx");
    WriteSheet(file, rows);
    try {
        WorkbookFiles::Read(file);
        QFAIL("the sheet was read");
    } catch (const EOfficeError& e) {
        QVERIFY2(e.Message().contains("beschädigt"), qPrintable(e.Message()));
    }
}

// Two exports in one minute: the second never replaces the first.
void TestOffice::freeFileNames_data() {
    QTest::addColumn<QStringList>("existing");
    QTest::addColumn<QString>("expected");
    QTest::newRow("free") << QStringList{} << "2026-12-07-10-15.docx";
    QTest::newRow("taken") << QStringList{"2026-12-07-10-15.docx"} << "2026-12-07-10-15-2.docx";
    QTest::newRow("taken twice") << QStringList{"2026-12-07-10-15.docx", "2026-12-07-10-15-2.docx"}
                                 << "2026-12-07-10-15-3.docx";
    QTest::newRow("a folder of that name")
        << QStringList{"2026-12-07-10-15.docx/"} << "2026-12-07-10-15-2.docx";
}

void TestOffice::freeFileNames() {
    QFETCH(QStringList, existing);
    QFETCH(QString, expected);
    QTemporaryDir dir;
    for (const QString& name : existing) {
        if (name.endsWith('/')) {
            QVERIFY(QDir(dir.path()).mkdir(name.chopped(1)));
            continue;
        }
        QFile f(dir.filePath(name));
        QVERIFY(f.open(QIODevice::WriteOnly));
    }
    QCOMPARE(FreeFileName(dir.path(), "2026-12-07-10-15", "docx"), dir.filePath(expected));
}

QTEST_GUILESS_MAIN(TestOffice)
#include "tst_office.moc"
