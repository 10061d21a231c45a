// The standings at the main window: penalties and status entered with keys in the
// windows "Wertung" and "Läufe" are recorded and followed at once, classes come
// from a start list with named columns, and the scoring dialog refuses a catalogue
// it cannot keep.
#include "DlgDoubleRun.h"
#include "DlgPenaltyByNumber.h"
#include "NoticeLine.h"
#include "DlgScoring.h"
#include "DlgStartList.h"
#include "EventsFeature.h"
#include "FMain.h"
#include "ProtocolDocuments.h"
#include "Questions.h"
#include "ReportPrint.h"
#include "RunSnapshot.h"
#include "StandingsFeature.h"
#include "StartListImport.h"
#include "TrackCorrections.h"
#include "WorkbookFiles.h"

#include <QDir>
#include <QFile>
#include <QPrinter>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

// What the next window starts from, as a program start would find it.
static TRunSettings Run;

namespace {

// One car, two laps of lap ms each.
void TimeRun(TFormMain& w, const QString& name, uint32_t start, int lap) {
    TimeLaps(w, name, start, lap, lap, true);
}

// "rank name counting-time" of every driver, overall.
QStringList Standings(TStandingsFeature* s) {
    QStringList out;
    for (const TStandingRow& r : s->Rows())
        out << QStringList{r.Rank, r.Name, StandingTexts(r, false)[scCounting]}.join(QLatin1Char(' '));
    return out;
}

QString Write(QTemporaryDir& dir, const char* name, const QByteArray& bytes) {
    QFile f(dir.filePath(QLatin1String(name)));
    f.open(QIODevice::WriteOnly);
    f.write(bytes);
    return f.fileName();
}

// A start list with classes, Hans and Olaf in "Junior", Eva in "Senior", and a run of each.
void ThreeDrivers(TFormMain& w, QTemporaryDir& dir, int olafLap) {
    StartListImport::ExecDialog = [](TDlgStartList*) { return int(QDialog::Accepted); };
    w.LoadProtocolText(Write(dir, "list.csv",
                             "Start-Nr.;Name;Klasse\r\n1;Hans <H>;Junior\r\n2;Eva;Senior\r\n3;Olaf;Junior\r\n"));
    TimeRun(w, QStringLiteral("Hans <H>"), 10000, 60000);
    TimeRun(w, QStringLiteral("Eva"), 200000, 61000);
    TimeRun(w, QStringLiteral("Olaf"), 400000, olafLap);
    w.Events->Store().Flush();
}

// The title of the last print dialog.
QString PrintTitle;

// The window "Wertung" in the chosen view; its printout goes into a PDF file.
void PrintInto(TStandingsFeature* s, bool byClass, const QString& path) {
    s->ShowStandings();
    s->Window()->cbView->setCurrentIndex(byClass ? 1 : 0);
    emit s->Window()->cbView->activated(byClass ? 1 : 0);
    ProtocolDocuments::ExecPrintDialog = [path](QPrinter* p) {
        PrintTitle = ProtocolDocuments::PrintDialogTitle(*p);
        p->setOutputFormat(QPrinter::PdfFormat);
        p->setOutputFileName(path);
        return true;
    };
}

// The text of a PDF as pdftotext lays it out; empty without poppler-utils.
QString PdfText(const QString& path) {
    const QString pdftotext = QStandardPaths::findExecutable(QStringLiteral("pdftotext"));
    if (pdftotext.isEmpty()) return {};
    QProcess run;
    run.start(pdftotext, {QStringLiteral("-layout"), path, QStringLiteral("-")});
    run.waitForFinished(10000);
    return QString::fromUtf8(run.readAllStandardOutput());
}

// The first sheet of a workbook from its fourth row on, a line per row, cells split by "|".
QString SheetText(const QString& path) {
    QString text;
    const TWorkbookModel book = WorkbookFiles::Read(path);
    const TSheetModel& sheet = book.Sheets.value(0);
    for (int row = 4; row <= sheet.LastRow(); ++row) {
        QStringList cells;
        for (int col = 1; col <= sheet.LastCol(); ++col) {
            const TCell* c = sheet.Find(row, col);
            cells << (c ? TSheetModel::DisplayText(*c) : QString());
        }
        text += cells.join(QLatin1Char('|')) + QLatin1Char('\n');
    }
    return text;
}

// What a spreadsheet program finds amiss in the standings workbook: ranks, start numbers
// and counts that are no numbers, times that are no time values to the hundredth, a name
// column narrower than its names, a head row that scrolls away. Empty without openpyxl.
QString SpreadsheetProblems(const QString& path) {
    QProcess probe;
    probe.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-c"), QStringLiteral("import openpyxl")});
    if (!probe.waitForFinished(30000) || probe.exitCode() != 0) return {};
    const QString script = QStringLiteral(R"(
import sys, datetime, openpyxl
ws = openpyxl.load_workbook(sys.argv[1]).worksheets[0]
problems = [] if ws.freeze_panes == 'A5' else ['head row not frozen: %s' % ws.freeze_panes]
head = [c.value for c in ws[4]]
for row in ws.iter_rows(min_row=5):
    cells = dict(zip(head, row))
    if cells['Name'].value is None: break
    for col in ('Platz', 'Start-Nr.', 'Läufe'):
        if not isinstance(cells[col].value, (int, float)): problems.append('%s %r' % (col, cells[col].value))
    for col in ('Zeit', 'Wertung'):
        c = cells[col]
        if not isinstance(c.value, (float, datetime.time, datetime.timedelta)) or not c.number_format.endswith('.00'):
            problems.append('%s %r %s' % (col, c.value, c.number_format))
    width = ws.column_dimensions[cells['Name'].column_letter].width
    if width < len(cells['Name'].value): problems.append('name column %s wide' % width)
print('\n'.join(problems) or 'ok')
)");
    QProcess run;
    run.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-c"), script, path});
    run.waitForFinished(60000);
    return QString::fromUtf8(run.readAllStandardOutput() + run.readAllStandardError()).trimmed();
}

// Each text found after the one before.
bool InOrder(const QString& text, const QStringList& texts, QString& missing) {
    qsizetype at = 0;
    for (const QString& c : texts) {
        const qsizetype found = text.indexOf(c, at);
        if (found < 0) {
            missing = c + QStringLiteral(" not after ") + QString::number(at) + QLatin1Char('\n') + text;
            return false;
        }
        at = found + c.size();
    }
    return true;
}

// A table of places, names and counting times printed into a PDF; returns the pages.
int PrintPdf(ReportPrint::TPrintTable& t, const QString& path) {
    t.Title = QStringLiteral("Bergpreis");
    t.DateLine = QStringLiteral("Datum: 7. Dezember 2026");
    t.Head = {QStringLiteral("Platz"), QStringLiteral("Name"), QStringLiteral("Wertung")};
    t.ElasticCol = 1;
    t.Align = {Qt::AlignCenter, Qt::AlignLeft | Qt::AlignVCenter, Qt::AlignRight | Qt::AlignVCenter};
    t.BoldCols = {2};
    QPrinter printer(QPrinter::HighResolution);
    ReportPrint::PrepareA4(printer, QStringLiteral("Wertung"), QStringLiteral("Zeitnahme"), QStringLiteral("n"));
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(path);
    return ReportPrint::PrintTable(printer, t);
}

TCorrection Note(const TEffectiveRun& run, const QString& kind) {
    TCorrection c;
    c.EventUuid = run.Run.EventUuid;
    c.RunUuid = run.Run.Uuid;
    c.Name = run.Run.Name;
    c.Kind = kind;
    return c;
}

} // namespace

class TstStandingsApp : public QObject {
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> FDir;
    QStringList FMessages;
    QStringList FQuestions;

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void init() {
        FDir = std::make_unique<QTemporaryDir>();
        QDir::setCurrent(FDir->path());
        TSettingsStore::UseFolder(FDir->filePath(QStringLiteral("settings")));
        TickSource::SetManual(1000);
        Run.Cars = 1;
        Run.Laps = 2;
        FMessages.clear();
        TFormMain::ShowMessage = [this](const QString& text) { FMessages << text; };
        TRunCorrectionActions::ExecPenalty = [](TDlgPenalty* d) {
            d->cbItem->setCurrentIndex(0); // "Pylone (+2 s)"
            d->seCount->setValue(2);
            d->eReason->setText(QStringLiteral("Tor 3"));
            return int(QDialog::Accepted);
        };
        TTrackCorrections::AskText = [](const QString&, QString& text) {
            text = QStringLiteral("Frühstart");
            return true;
        };
        FQuestions.clear();
        Questions::AskYesNo = [this](const QString& q) {
            FQuestions << q;
            return true;
        };
    }
    void cleanup() {
        TickSource::UseSystem();
        TSettingsStore::UseNone();
    }

    // Each key on the chosen run is one correction; the standings follow without a reload.
    void keysOnARun_data() {
        QTest::addColumn<QString>("window");
        QTest::addColumn<QList<int>>("keys"); // on Hans's counting run
        QTest::addColumn<QStringList>("standings");
        QTest::addColumn<QString>("history"); // last correction of that run
        const QStringList asTimed{"1 Hans 2.00,00", "2 Eva 2.02,00"};
        const int ctrl = int(Qt::CTRL);
        QTest::newRow("Wertung: Ctrl+P adds two cones")
            << "Wertung" << QList<int>{ctrl | Qt::Key_P} << QStringList{"1 Eva 2.02,00", "2 Hans 2.04,00"}
            << "Strafe: 2 × Pylone – Tor 3";
        QTest::newRow("Wertung: Ctrl+E takes the penalties back")
            << "Wertung" << QList<int>{ctrl | Qt::Key_P, ctrl | Qt::Key_E} << asTimed
            << "penalties_cleared";
        QTest::newRow("Wertung: Ctrl+D disqualifies with a reason")
            << "Wertung" << QList<int>{ctrl | Qt::Key_D} << QStringList{"1 Eva 2.02,00", " Hans DSQ"}
            << "Status: DSQ – Frühstart";
        QTest::newRow("Wertung: Ctrl+W makes it a rerun, Ctrl+G counts it again")
            << "Wertung" << QList<int>{ctrl | Qt::Key_W, ctrl | Qt::Key_G} << asTimed << "Status: ok";
        QTest::newRow("Wertung: Ctrl+Shift+D excludes the driver from the event")
            << "Wertung" << QList<int>{ctrl | int(Qt::SHIFT) | Qt::Key_D}
            << QStringList{"1 Eva 2.02,00", " Hans DSQ"} << "Ausschluss – Frühstart";
        QTest::newRow("Wertung: letters alone only search, \"…d…t\" changes nothing")
            << "Wertung" << QList<int>{Qt::Key_D, Qt::Key_T, Qt::Key_P, Qt::Key_Return} << asTimed << "";
        QTest::newRow("Läufe: Ctrl+W makes it a rerun that never counts")
            << "Läufe" << QList<int>{ctrl | Qt::Key_W} << QStringList{"1 Eva 2.02,00", " Hans -"}
            << "Status: Wiederholung";
        QTest::newRow("Läufe: Ctrl+P adds two cones")
            << "Läufe" << QList<int>{ctrl | Qt::Key_P} << QStringList{"1 Eva 2.02,00", "2 Hans 2.04,00"}
            << "Strafe: 2 × Pylone – Tor 3";
        QTest::newRow("Läufe: letters alone change nothing")
            << "Läufe" << QList<int>{Qt::Key_W, Qt::Key_G, Qt::Key_D} << asTimed << "";
    }
    void keysOnARun() {
        QFETCH(QString, window);
        QFETCH(QList<int>, keys);
        QFETCH(QStringList, standings);
        QFETCH(QString, history);
        TFormMain w(Run);
        w.show();
        TimeRun(w, QStringLiteral("Hans"), 10000, 60000);
        TimeRun(w, QStringLiteral("Eva"), 200000, 61000);
        TStandingsFeature* s = w.Standings;
        w.Events->Store().Flush();
        QTRY_COMPARE(Standings(s), (QStringList{"1 Hans 2.00,00", "2 Eva 2.02,00"}));

        QWidget* focus = nullptr;
        const TEffectiveRun* run = nullptr;
        if (window == QLatin1String("Wertung")) {
            w.Standings->mStandings->Click();
            TFormStandings* f = s->Window();
            QVERIFY(f && f->isVisible());
            f->SelectDriver(s->Rows()[0].Key);
            focus = f->tvStandings;
            run = f->SelectedRun();
        } else {
            w.Events->mRuns->Click();
            TFormRuns* f = w.Events->Window();
            f->SelectRow(1); // Hans, below Eva's newer run
            // Each driver's counting run is marked (bold) in the list.
            for (int row : {0, 1})
                QVERIFY(f->Model->data(f->Model->index(row, 0), TRunListModel::CountingRole).toBool());
            focus = f->tvRuns;
            run = f->SelectedRun();
        }
        QVERIFY(run && run->Run.Name == QLatin1String("Hans"));
        // A window beside the main window, never kept above it as its child.
        QVERIFY(!focus->window()->parentWidget() && focus->window()->windowType() == Qt::Window);
        const QString uuid = run->Run.Uuid;
        QApplication::setActiveWindow(focus->window());
        focus->setFocus();
        const auto corrections = [s, &uuid] {
            for (const TEffectiveRun& e : s->Runs())
                if (e.Run.Uuid == uuid) return int(e.History.size());
            return -1;
        };
        const bool changes = !history.isEmpty();
        for (int i = 0; i < keys.size(); ++i) {
            QTest::keyClick(focus, Qt::Key(keys[i] & ~Qt::KeyboardModifierMask),
                            Qt::KeyboardModifiers(keys[i] & Qt::KeyboardModifierMask));
            w.Events->Store().Flush();
            QTRY_COMPARE(corrections(), changes ? i + 1 : 0); // the window shows it before the next key
        }
        QTRY_COMPARE(Standings(s), standings);
        QVERIFY(FMessages.isEmpty());
        // Each change was confirmed by a question naming driver and run.
        for (const QString& q : std::as_const(FQuestions))
            QVERIFY2(q.contains(QStringLiteral("Hans")), qPrintable(q));
        // A rerun or counting again names the run by its time: a round may have two.
        if (keys.contains(int(Qt::CTRL) | Qt::Key_W))
            QVERIFY2(FQuestions.value(0).contains(QStringLiteral("Lauf 1 (2.00,00, gestartet ")),
                     qPrintable(FQuestions.value(0)));
        if (!changes) return;
        const auto it = std::find_if(s->Runs().begin(), s->Runs().end(),
                                     [&uuid](const TEffectiveRun& e) { return e.Run.Uuid == uuid; });
        QVERIFY(it != s->Runs().end());
        QCOMPARE(int(it->History.size()), keys.size());
        const QString last = TRunListModel::HistoryText(it->History.back()).section(QLatin1Char(' '), 1);
        QCOMPARE(last, history);
    }

    // At the timing desk: Ctrl+Shift+S, a start number, the current run proposed; the
    // dialog names whom it hits before the button gives the penalty.
    void penaltyByNumber_data() {
        QTest::addColumn<QString>("startNo");
        QTest::addColumn<QString>("run"); // empty: as proposed
        QTest::addColumn<QString>("driver");
        QTest::addColumn<QStringList>("standings");
        QTest::addColumn<QString>("also"); // a further run after Hans and Eva, "number name"
        QTest::addColumn<QString>("chosen"); // the driver then chosen of those sharing the number
        const QStringList asTimed{"1 Hans 2.00,00", "2 Eva 2.01,00"};
        QTest::newRow("start number, the current run")
            << "7" << "" << "7 Hans, Lauf 1" << QStringList{"1 Eva 2.01,00", "2 Hans 2.02,00"} << "" << "";
        QTest::newRow("leading zero") << "07" << "1" << "7 Hans, Lauf 1"
                                      << QStringList{"1 Eva 2.01,00", "2 Hans 2.02,00"} << "" << "";
        QTest::newRow("a run not driven: named, nothing given")
            << "7" << "2" << "Start-Nr. 7 hat keinen Lauf 2." << asTimed << "" << "";
        QTest::newRow("an unknown start number")
            << "9" << "" << "Start-Nr. 9 hat keinen Lauf 1." << asTimed << "" << "";
        QTest::newRow("two drivers ran as 7: both named, only the one chosen gets it")
            << "7" << "1" << "Start-Nr. 7 fuhren in Lauf 1 mehrere: Hans, Carla Cäsar. Bitte wählen."
            << QStringList{"1 Hans 2.00,00", "2 Eva 2.01,00", "3 Carla Cäsar 2.04,00"} << "7 Carla Cäsar"
            << "7 Carla Cäsar, Lauf 1";
    }
    void penaltyByNumber() {
        QFETCH(QString, startNo);
        QFETCH(QString, run);
        QFETCH(QString, driver);
        QFETCH(QStringList, standings);
        QFETCH(QString, also);
        QFETCH(QString, chosen);
        TFormMain w(Run);
        w.show();
        TimeRun(w, QStringLiteral("7 Hans"), 10000, 60000);
        TimeRun(w, QStringLiteral("8 Eva"), 200000, 60500);
        if (!also.isEmpty()) TimeRun(w, also, 400000, 61000);
        w.Events->Store().Flush();
        TStandingsFeature* s = w.Standings;
        QTRY_COMPARE(Standings(s).size(), also.isEmpty() ? 2 : 3);
        const QStringList before = Standings(s);
        QVERIFY(QTest::qWaitForWindowActive(&w));
        QTest::keyClick(&w, Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
        TDlgPenaltyByNumber* d = nullptr;
        for (QDialog* c : w.findChildren<QDialog*>())
            if (auto* p = dynamic_cast<TDlgPenaltyByNumber*>(c)) d = p;
        QVERIFY(d && d->isVisible() && !d->isModal());
        QCOMPARE(d->eRun->text(), QStringLiteral("1"));
        QVERIFY(!s->Window()); // "Wertung" stays closed
        QTest::keyClicks(d->eStartNo, startNo);
        if (!run.isEmpty()) d->eRun->setText(run);
        QCOMPARE(d->lDriver->text(), driver);
        QCOMPARE(d->cbDriver->isVisible(), !chosen.isEmpty());
        if (!chosen.isEmpty()) {
            QVERIFY(!d->bOK->isEnabled()); // nobody until chosen
            d->cbDriver->setCurrentIndex(d->cbDriver->findText(chosen));
            QCOMPARE(d->lDriver->text(), chosen);
        }
        QCOMPARE(d->bOK->isEnabled(), standings != before);
        d->bOK->click(); // "Pylone (+2 s)", once
        w.Events->Store().Flush();
        QTRY_COMPARE(Standings(s), standings);
    }

    // A start list whose header names a class column gives each driver a class; one
    // without such a header is read as always and gives none.
    void classesFromTheStartList_data() {
        QTest::addColumn<QByteArray>("list");
        QTest::addColumn<QStringList>("classes"); // name:class rank, overall order
        QTest::newRow("named columns with a class")
            << QByteArray("Start-Nr.;Name;Klasse\r\n1;Hans;Junior\r\n2;Eva;Senior\r\n3;Olaf;Junior\r\n")
            << QStringList{"Hans:Junior 1", "Olaf:Junior 2", "Eva:Senior 1"};
        QTest::newRow("plain start list: no classes")
            << QByteArray("1\tHans\t\r\n2\tEva\t\r\n3\tOlaf\t\r\n")
            << QStringList{"Hans: 1", "Olaf: 2", "Eva: 3"};
    }
    void classesFromTheStartList() {
        QFETCH(QByteArray, list);
        QFETCH(QStringList, classes);
        StartListImport::ExecDialog = [](TDlgStartList*) { return int(QDialog::Accepted); };
        TFormMain w(Run);
        w.LoadProtocolText(Write(*FDir, "list.csv", list));
        TimeRun(w, QStringLiteral("Hans"), 10000, 60000);
        TimeRun(w, QStringLiteral("Eva"), 200000, 62000);
        TimeRun(w, QStringLiteral("Olaf"), 400000, 61000);
        w.Events->Store().Flush();
        TStandingsFeature* s = w.Standings;
        QTRY_COMPARE(int(s->Rows().size()), 3);
        s->Recompute();
        QStringList got;
        for (const TStandingRow& r : s->Rows())
            got << r.Name + QLatin1Char(':') + r.Class + QLatin1Char(' ') +
                       (r.Class.isEmpty() ? r.Rank : r.ClassRank);
        QCOMPARE(got, classes);
    }

    // Printout, page and workbook hold what the window shows; a file that cannot be
    // written is told and leaves nothing behind.
    void exports_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("file");
        QTest::addColumn<QStringList>("contains"); // texts of the output, in order
        QTest::newRow("web page: overall, then per class")
            << "html" << "w.html"
            << QStringList{"Wertung: Bester Lauf", "Gesamt", "Hans &lt;H&gt;", "Eva", "Olaf", "Junior",
                           "Hans &lt;H&gt;", "Olaf", "Senior", "Eva"};
        QTest::newRow("workbook: the overall sheet first")
            << "xlsx" << "w.xlsx"
            << QStringList{"Platz|Start-Nr.|Name|Klasse|Läufe|Zeit|Strafe|Wertung|Fußnote|Abstand|Vordermann|Hinweis",
                           "1|1|Hans <H>|Junior|1|2:00,00||2:00,00||||",
                           "2|2|Eva|Senior|1|2:02,00||2:02,00||+0:02,00|+0:02,00|"};
        QTest::newRow("PDF per class, whole times")
            << "pdf" << "w.pdf"
            << QStringList{"Wertung: Bester Lauf", "Junior", "Hans <H>", "2.00,00", "Olaf", "2.06,00",
                           "+6,00", "Senior", "Eva", "2.02,00", "Seite 1 von 1"};
        QTest::newRow("web page into a missing folder") << "html" << "nix/w.html" << QStringList{};
        QTest::newRow("workbook into a missing folder") << "xlsx" << "nix/w.xlsx" << QStringList{};
        QTest::newRow("PDF into a missing folder") << "pdf" << "nix/w.pdf" << QStringList{};
    }
    void exports() {
        QFETCH(QString, kind);
        QFETCH(QString, file);
        QFETCH(QStringList, contains);
        TFormMain w(Run);
        ThreeDrivers(w, *FDir, 63000);
        TStandingsFeature* s = w.Standings;
        TStandingsSettings settings = s->Settings;
        settings.Scoring = {srBestRun, 2};
        s->Apply(settings);
        QCOMPARE(int(s->Rows().size()), 3);
        const QString path = FDir->filePath(file);
        QStringList errors;
        TFormMain::ShowError = [&errors](const QString& t) { errors << t; };
        QString text;
        if (kind == QLatin1String("html")) {
            QCOMPARE(s->WriteHtml(path), contains.size() > 0);
            QFile f(path);
            if (f.open(QIODevice::ReadOnly)) text = QString::fromUtf8(f.readAll());
        } else if (kind == QLatin1String("xlsx")) {
            QCOMPARE(s->WriteXlsx(path), contains.size() > 0);
            if (QFileInfo::exists(path)) {
                text = SheetText(path);
                const QString problems = SpreadsheetProblems(path);
                QVERIFY2(problems.isEmpty() || problems == QLatin1String("ok"), qPrintable(problems));
            }
        } else {
            PrintInto(s, true, path);
            QCOMPARE(s->Print(), contains.size() > 0);
            QVERIFY2(PrintTitle.contains(QStringLiteral("Wertung")), qPrintable(PrintTitle));
            if (QFileInfo::exists(path)) {
                if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
                    QSKIP("pdftotext (poppler-utils) is not installed");
                text = PdfText(path);
            }
        }
        if (contains.isEmpty()) {
            QCOMPARE(errors.size(), 1);
            QVERIFY2(errors[0].startsWith(QStringLiteral("Der Schreibfehler der Datei: ")), qPrintable(errors[0]));
            QVERIFY(!QFileInfo::exists(path));
            return;
        }
        QVERIFY(errors.isEmpty());
        QString missing;
        QVERIFY2(InOrder(text, contains, missing), qPrintable(missing));
    }

    // A posted result sheet marks a flagged, hand-timed or disqualified driver's time
    // and explains the mark below the table; a mark never stands without its note.
    void footnotes_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("byClass");
        QTest::addColumn<QStringList>("contains"); // in order
        QTest::addColumn<QStringList>("absent");
        const QStringList notes{"¹ Auffällig: Runde 1 kürzer als 0,50", "² Handzeit Gesamtzeit",
                                "³ DSQ Lauf 1: Frühstart"};
        QTest::newRow("PDF overall")
            << "pdf" << false
            << QStringList{"Hans <H>", "2.00,00¹", "Eva", "2.01,50²", "Olaf", "DSQ³"} + notes +
                   QStringList{"Seite 1 von 1"}
            << QStringList{"Hinweis"};
        QTest::newRow("PDF per class: numbered in the printed order")
            << "pdf" << true
            << QStringList{"Junior", "Hans <H>", "2.00,00¹", "Olaf", "DSQ²", "Senior", "Eva", "2.01,50³",
                           notes[0], "² DSQ Lauf 1: Frühstart", "³ Handzeit Gesamtzeit", "Seite 1 von 1"}
            << QStringList{"Hinweis"};
        QTest::newRow("web page: below each table the notes of its rows")
            << "html" << false
            << QStringList{"Gesamt", "2.00,00<span class=\"m\">¹</span>", "2.01,50<span class=\"m\">²</span>",
                           "DSQ<span class=\"m\">³</span>", "<p class=\"fn\">"} + notes +
                   QStringList{"Junior", "2.00,00<span class=\"m\">¹</span>", "DSQ<span class=\"m\">³</span>",
                               "¹ Auffällig", "³ DSQ Lauf 1: Frühstart", "Senior",
                               "2.01,50<span class=\"m\">²</span>", "² Handzeit Gesamtzeit</p>"}
            << QStringList{"Hinweis"};
        QTest::newRow("workbook: marks, the notes below, the hint column kept")
            << "xlsx" << false
            << QStringList{"Hinweis", "|2:00,00|¹|", "|Auffällig: Runde 1 kürzer als 0,50\n",
                           "|2:01,50|²|", "|Handzeit Gesamtzeit\n", "|DSQ|³|", "|DSQ Lauf 1: Frühstart\n",
                           "\n" + notes[0] + "|", "\n" + notes[1] + "|", "\n" + notes[2] + "|"}
            << QStringList{};
    }
    void footnotes() {
        QFETCH(QString, kind);
        QFETCH(bool, byClass);
        QFETCH(QStringList, contains);
        QFETCH(QStringList, absent);
        if (kind == QLatin1String("pdf") && QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
            QSKIP("pdftotext (poppler-utils) is not installed");
        TFormMain w(Run);
        ThreeDrivers(w, *FDir, 59000);
        TStandingsFeature* s = w.Standings;
        s->Recompute();
        QCOMPARE(int(s->Runs().size()), 3);
        std::vector<TEffectiveRun> runs = s->Runs();
        TCorrection flag = Note(runs[0], CorrectionKind::Flag);
        flag.Field = 1;
        flag.Text = QStringLiteral("short_lap");
        flag.Reason = QStringLiteral("Runde 1 kürzer als 0,50");
        TCorrection hand = Note(runs[1], CorrectionKind::HandTime);
        hand.Field = 0;
        hand.Ms = 121500;
        TCorrection dsq = Note(runs[2], CorrectionKind::Status);
        dsq.Text = RunStatusDsq;
        dsq.Reason = QStringLiteral("Frühstart");
        for (const TCorrection& c : {flag, hand, dsq})
            s->Record(c);
        w.Events->Store().Flush();
        TStandingsSettings settings = s->Settings;
        settings.Scoring = {srBestRun, 2};
        s->Apply(settings);
        const QString path = FDir->filePath(QStringLiteral("w.") + kind);
        QString text;
        if (kind == QLatin1String("html")) {
            QVERIFY(s->WriteHtml(path));
            QFile f(path);
            QVERIFY(f.open(QIODevice::ReadOnly));
            text = QString::fromUtf8(f.readAll());
        } else if (kind == QLatin1String("xlsx")) {
            QVERIFY(s->WriteXlsx(path));
            text = SheetText(path);
        } else {
            PrintInto(s, byClass, path);
            QVERIFY(s->Print());
            text = PdfText(path);
        }
        QString missing;
        QVERIFY2(InOrder(text, contains, missing), qPrintable(missing));
        for (const QString& a : absent)
            QVERIFY2(!text.contains(a), qPrintable(a + "\n" + text));
    }

    // Footnotes that do not fit below the last row go on over further pages, all of
    // them, and the page count in the footer counts those pages too.
    void footnotePages_data() {
        QTest::addColumn<int>("rows");
        QTest::addColumn<int>("notes");
        QTest::addColumn<int>("pages");
        QTest::newRow("below a short table") << 5 << 3 << 1;
        QTest::newRow("a full first page: the notes on a second") << 37 << 4 << 2;
        QTest::newRow("more notes than a page holds") << 2 << 130 << 3;
    }
    void footnotePages() {
        QFETCH(int, rows);
        QFETCH(int, notes);
        QFETCH(int, pages);
        if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
            QSKIP("pdftotext (poppler-utils) is not installed");
        ReportPrint::TPrintTable t;
        t.Title = QStringLiteral("Bergpreis");
        t.DateLine = QStringLiteral("Datum: 7. Dezember 2026");
        t.Head = {QStringLiteral("Platz"), QStringLiteral("Name"), QStringLiteral("Wertung")};
        t.ElasticCol = 1;
        t.Align = {Qt::AlignCenter, Qt::AlignLeft | Qt::AlignVCenter, Qt::AlignRight | Qt::AlignVCenter};
        t.BoldCols = {2};
        for (int r = 0; r < rows; ++r) // every third time marked
            t.Rows << QStringList{QString::number(r + 1), QStringLiteral("Fahrer %1").arg(r + 1),
                                  QStringLiteral("1.00,%1").arg(r % 100, 2, 10, QLatin1Char('0')) +
                                      (r % 3 || !notes ? QString() : FootnoteMark(r % notes + 1))};
        for (int n = 0; n < notes; ++n)
            t.Footnotes << FootnoteMark(n + 1) + QStringLiteral(" Anmerkung %1 zur Wertung").arg(n + 1);
        const QString path = FDir->filePath(QStringLiteral("n.pdf"));
        QPrinter printer(QPrinter::HighResolution);
        ReportPrint::PrepareA4(printer, QStringLiteral("Wertung"), QStringLiteral("Zeitnahme"), QStringLiteral("n"));
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(path);
        QCOMPARE(ReportPrint::PrintTable(printer, t), pages);
        QFile::copy(path, QStringLiteral("/tmp/h37r/pages-%1.pdf").arg(rows));
        const QString text = PdfText(path);
        QVERIFY2(text.contains(QStringLiteral("Seite %1 von %1").arg(pages)), qPrintable(text));
        QCOMPARE(text.count(QStringLiteral("Seite ")), pages);
        for (int n = 0; n < notes; ++n)
            QVERIFY2(text.contains(QStringLiteral(" Anmerkung %1 zur Wertung").arg(n + 1)),
                     qPrintable(QString::number(n + 1) + "\n" + text));
        QVERIFY(text.contains(QStringLiteral("Fahrer %1").arg(rows)));
    }

    // Nothing printed is cut: a time beside marked ones, a class going on over a page
    // break, a long note.
    void printedWhole_data() {
        QTest::addColumn<QStringList>("rows"); // "Name|Zeit", "#Klasse", "*n" for n drivers
        QTest::addColumn<QStringList>("notes");
        QTest::addColumn<int>("pages");
        QTest::addColumn<QStringList>("contains"); // in order
        const QString longNote = QStringLiteral("¹ DSQ: ") +
                                 QStringLiteral("Frühstart und Tor 3 ausgelassen, ").repeated(6) +
                                 QStringLiteral("ENDE");
        QTest::newRow("an unmarked time beside marked ones")
            << QStringList{"Eva|10.00,26", "Hans|9.59,87¹²³"} << QStringList{"¹ a", "² b", "³ c"} << 1
            << QStringList{"Eva", "10.00,26", "Hans", "9.59,87"};
        QTest::newRow("a class over a page break: its caption again")
            << QStringList{"#Junior", "*60", "#Senior", "Eva|2.02,00"} << QStringList{} << 2
            << QStringList{"Junior", "Fahrer 1 ", "Seite 1 von 2", "Junior (Fortsetzung)", "Fahrer 60",
                           "Senior", "Eva", "Seite 2 von 2"};
        QTest::newRow("a 210-character note on further lines")
            << QStringList{"Olaf|DSQ¹"} << QStringList{longNote} << 1
            << QStringList{"Olaf", "¹ DSQ: Frühstart", "ausgelassen, ENDE"};
        QTest::newRow("a long note below a full page goes on the next")
            << QStringList{"*37", "Olaf|DSQ¹"} << QStringList{longNote} << 2
            << QStringList{"Fahrer 37", "Olaf", "¹ DSQ: Frühstart", "ENDE", "Seite 2 von 2"};
    }
    void printedWhole() {
        QFETCH(QStringList, rows);
        QFETCH(QStringList, notes);
        QFETCH(int, pages);
        QFETCH(QStringList, contains);
        if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
            QSKIP("pdftotext (poppler-utils) is not installed");
        ReportPrint::TPrintTable t;
        for (const QString& r : std::as_const(rows)) {
            if (r.startsWith(QLatin1Char('#'))) {
                t.CaptionRows.insert(int(t.Rows.size()));
                t.Rows << QStringList{r.mid(1)};
            } else if (r.startsWith(QLatin1Char('*'))) {
                for (int k = 1; k <= r.mid(1).toInt(); ++k)
                    t.Rows << QStringList{QString::number(k), QStringLiteral("Fahrer %1").arg(k),
                                          QStringLiteral("1.00,%1").arg(k, 2, 10, QLatin1Char('0'))};
            } else {
                t.Rows << QStringList{QString::number(t.Rows.size() + 1), r.section(QLatin1Char('|'), 0, 0),
                                      r.section(QLatin1Char('|'), 1)};
            }
        }
        t.Footnotes = notes;
        const QString path = FDir->filePath(QStringLiteral("w.pdf"));
        QCOMPARE(PrintPdf(t, path), pages);
        const QString text = PdfText(path);
        QString missing;
        QVERIFY2(InOrder(text, contains, missing), qPrintable(missing));
        QVERIFY2(!text.contains(QChar(0x2026)), qPrintable(text)); // no "…"
    }

    // Hans drives run 2 twice, nobody marks a rerun. Under a sum the question which run
    // counts comes after the run, never during it; the answer marks the other a rerun.
    void doubleRunInARound_data() {
        QTest::addColumn<int>("rule");
        QTest::addColumn<int>("answer"); // the run chosen; -1 "Später entscheiden"; -3 the second after a START;
                                         // -4 the second, then its FINISH taken back (Ctrl+Z)
        QTest::addColumn<QStringList>("standings");
        QTest::addColumn<QString>("noted"); // Hans's notes
        const QString waits = DoubleRunNote(QStringLiteral("2"));
        QTest::newRow("sum of all: the second chosen, the first becomes a rerun")
            << int(srSumAll) << 1 << QStringList{"1 Hans 3.58,00", "2 Eva 4.04,00"} << "";
        QTest::newRow("sum of all: the first chosen")
            << int(srSumAll) << 0 << QStringList{"1 Hans 4.02,00", "2 Eva 4.04,00"} << "";
        QTest::newRow("later: the first counts, noted, the notice says how to decide")
            << int(srSumAll) << -1 << QStringList{"1 Hans 4.02,00", "2 Eva 4.04,00"} << waits;
        QTest::newRow("a START from the barrier while asked: asked again after that run")
            << int(srSumAll) << -3 << QStringList{"1 Hans 3.58,00", "2 Eva 4.04,00", "3 Otto 2.00,00"} << "";
        QTest::newRow("the second chosen, then taken back: the first counts again")
            << int(srSumAll) << -4 << QStringList{"1 Hans 4.02,00", "2 Eva 4.04,00"} << "";
        QTest::newRow("best run: no question, the best run counts whatever its round")
            << int(srBestRun) << -2 << QStringList{"1 Hans 1.58,00", "2 Eva 2.02,00"} << "";
    }
    void doubleRunInARound() {
        QFETCH(int, rule);
        QFETCH(int, answer);
        QFETCH(QStringList, standings);
        QFETCH(QString, noted);
        TFormMain w(Run);
        w.show();
        TStandingsFeature* s = w.Standings;
        TStandingsSettings settings = s->Settings;
        settings.Scoring = {TScoringRule(rule), 2};
        s->Apply(settings);
        QStringList asked;
        TStandingsFeature::ExecDoubleRun = [&](TDlgDoubleRun* d) {
            asked << (w.RunInProgress() ? QStringLiteral("during the run") : d->findChild<QLabel*>()->text());
            if (answer == -3 && asked.size() == 1) {
                w.FrameTimer1->hcbName->SetText(QStringLiteral("Otto"));
                Next(w, 900000);
                return d->result();
            }
            if (answer == -1) return int(QDialog::Rejected);
            d->rbRuns[answer < 0 ? 1 : answer]->setChecked(true);
            return int(QDialog::Accepted);
        };
        TimeRun(w, QStringLiteral("Hans"), 10000, 60000);
        TimeRun(w, QStringLiteral("Eva"), 200000, 61000);
        w.eNR->setText(QStringLiteral("2"));
        TimeRun(w, QStringLiteral("Hans"), 400000, 61000);
        TimeRun(w, QStringLiteral("Eva"), 600000, 61000);
        if (answer == -4) { // not reset: the run can still be taken back
            w.FrameTimer1->hcbName->SetText(QStringLiteral("Hans"));
            Next(w, 800000), Next(w, 859000), Next(w, 918000);
        } else {
            TimeRun(w, QStringLiteral("Hans"), 800000, 59000);
        }
        QVERIFY(asked.isEmpty()); // not while the run may go on
        if (answer == -4) {
            QTRY_COMPARE(asked.size(), 1);
            w.Corrections().mUndo->Click();
        }
        if (answer == -3) { // Otto's run ends
            QTRY_COMPARE(asked.size(), 1);
            Next(w, 960000), Next(w, 1020000), w.mReset->Click();
        }
        for (int i = 0; (answer > -2 || answer == -4) && i < (answer == -3 ? 2 : 1); ++i) {
            QTRY_VERIFY(asked.size() > i);
            QVERIFY2(asked[i].startsWith(QStringLiteral("Hans ist Lauf 2 zweimal gefahren.")), qPrintable(asked[i]));
        }
        w.Events->Store().Flush();
        s->Recompute();
        QTRY_COMPARE(Standings(s), standings);
        QCOMPARE(s->Rows()[0].Notes.join(QStringLiteral(", ")), noted); // Hans leads
        QCOMPARE(w.NoticeLine->Notices().size(), answer == -1 || answer == -4 ? 1 : 0);
        QTest::qWait(600); // nothing asked twice
        QCOMPARE(asked.size(), answer == -3 ? 2 : answer > -2 || answer == -4 ? 1 : 0);
    }

    // The dialog keeps only a catalogue it can store; the rule is kept at once.
    void scoringDialog_data() {
        QTest::addColumn<QStringList>("catalogue"); // name|seconds per line
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QString>("problem");
        QTest::newRow("seconds with a comma")
            << QStringList{"Pylone|2", "Tor ausgelassen|10", "Frühstart|2,5"} << true << "";
        QTest::newRow("an empty line is no item") << QStringList{"Pylone|2", "|"} << true << "";
        QTest::newRow("seconds missing") << QStringList{"Pylone|"} << false << "Zeile 1";
        QTest::newRow("not a number") << QStringList{"Pylone|2", "Tor|zehn"} << false << "Zeile 2";
        QTest::newRow("negative") << QStringList{"Pylone|-2"} << false << "Zeile 1";
        QTest::newRow("over an hour") << QStringList{"Pylone|3601"} << false << "Zeile 1";
        QTest::newRow("name missing") << QStringList{"|2"} << false << "Zeile 1";
        QTest::newRow("twice") << QStringList{"Pylone|2", "pylone|3"} << false << "zweimal";
    }
    void scoringDialog() {
        QFETCH(QStringList, catalogue);
        QFETCH(bool, accepted);
        QFETCH(QString, problem);
        {
            TFormMain w(Run);
            TStandingsFeature* s = w.Standings;
            QCOMPARE(s->Settings.Catalogue, TStandingsSettings::DefaultCatalogue());
            bool refused = false;
            QString shown;
            TStandingsFeature::ExecScoring = [&](TDlgScoring* d) {
                d->cbRule->setCurrentIndex(srSumBestN);
                d->seN->setValue(3);
                d->tbCatalogue->setRowCount(0);
                for (const QString& line : catalogue) {
                    const int row = d->tbCatalogue->rowCount();
                    d->tbCatalogue->insertRow(row);
                    d->tbCatalogue->setItem(row, 0, new QTableWidgetItem(line.section('|', 0, 0)));
                    d->tbCatalogue->setItem(row, 1, new QTableWidgetItem(line.section('|', 1)));
                }
                d->OKBtn->click();
                refused = d->result() != QDialog::Accepted;
                shown = d->lProblem->text();
                return d->result();
            };
            s->EditScoring();
            QCOMPARE(!refused, accepted);
            QVERIFY2(shown.contains(problem), qPrintable(shown));
            QCOMPARE(s->Settings.Scoring.Rule, accepted ? srSumBestN : srLastRun);
        }
        // What was accepted is there at the next start, also after a crash (kept at once).
        TFormMain again(Run);
        const TStandingsSettings& s = again.Standings->Settings;
        QCOMPARE(s.Scoring, accepted ? (TScoring{srSumBestN, 3}) : TScoring{});
        QCOMPARE(s.Catalogue.size(),
                 accepted ? qsizetype(std::count_if(catalogue.begin(), catalogue.end(),
                                                    [](const QString& l) { return l != "|"; }))
                          : 2);
        if (accepted && catalogue.size() == 3) QCOMPARE(s.Catalogue[2].Ms, 2500);
    }
};

QTEST_MAIN(TstStandingsApp)
#include "tst_standings_app.moc"
