// Word and Excel from the main window: the buttons, the dialog entries and the
// import replacing the table only when the whole workbook could be read.
#include "FMain.h"
#include "Protocol.h"
#include "ProtocolDocuments.h"
#include "OfficeRecorder.h"
#include "WorkbookFiles.h"

#include <QFile>
#include <QFontMetricsF>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

// What the next window starts from, as a program start would find it.
static TRunSettings Run;

class TstOfficeApp : public QObject {
    Q_OBJECT
    QTemporaryDir FDir;
    QStringList FErrors, FOpened;

    static void Fill(TFormMain& w) {
        w.eTitle->setText(QStringLiteral("Herbstpreis"));
        w.eNR->setText(QStringLiteral("3"));
        w.SortGrid1->SetRowCount(3);
        w.SortGrid1->SetRows(1,
                             {"12", "Jörg Weiß", "55,10", "54,20", "", "", "", "1.49,30", "54,20"});
        w.SortGrid1->SetRows(2, {"7", "Eva", "56,00", "55,00", "", "", "", "1.51,00", "55,00"});
    }

    // Saves through the save dialog's entry with the given pattern.
    void SaveAs(TFormMain& w, const QString& pattern, const QString& path) {
        TFormMain::ExecFileDialog = [pattern, path](QFileDialog* d) {
            for (const QString& f : d->nameFilters())
                if (f.endsWith(pattern)) d->selectNameFilter(f);
            d->selectFile(path);
            return true;
        };
        w.sbSaveClick(w.sbSave);
    }

    void Open(TFormMain& w, const QString& path, const QString& filter = QStringLiteral("*.xlsx")) {
        TFormMain::ExecFileDialog = [path, filter](QFileDialog* d) {
            for (const QString& f : d->nameFilters())
                if (f.contains(filter)) d->selectNameFilter(f);
            d->selectFile(path);
            return true;
        };
        w.sbLoadClick(w.sbLoad);
    }

private slots:
    void init() {
        QVERIFY(FDir.isValid());
        qputenv("HOME", FDir.path().toUtf8()); // the Word button writes into ~/Documents
        FErrors.clear();
        FOpened.clear();
        TFormMain::ShowError = [this](const QString& m) { FErrors << m; };
        ProtocolDocuments::OpenDocument = [this](const QString& f) { FOpened << f; };
        Run.Cars = 2;
        Run.Laps = 2;
    }
    void cleanup() { TFormMain::ExecFileDialog = nullptr; }

    void exportThenImport() {
        const QString path = FDir.filePath(QStringLiteral("lauf.xlsx"));
        {
            TFormMain w(Run);
            Fill(w);
            SaveAs(w, QStringLiteral("(*.xlsx)"), path);
        }
        QVERIFY(FOpened.isEmpty()); // from the save dialog nothing is opened
        TFormMain w(Run);
        w.SortGrid1->SetCells(pcTotal, 0, QString()); // a blank caption comes back
        Open(w, path);
        QVERIFY2(FErrors.isEmpty(), qPrintable(FErrors.join('\n')));
        QCOMPARE(w.eTitle->text(), QStringLiteral("Herbstpreis"));
        QCOMPARE(w.eNR->text(), QStringLiteral("3"));
        QCOMPARE(w.SortGrid1->RowCount(), 3);
        QCOMPARE(w.SortGrid1->Rows(1).mid(0, 9), (QStringList{"12", "Jörg Weiß", "55,10", "54,20",
                                                              "", "", "", "1.49,30", "54,20"}));
        QCOMPARE(w.SortGrid1->Cells(pcTotal, 0), ProtocolCaptions[pcTotal]);
        QCOMPARE(w.FrameTimer1->hcbName->currentText(), QStringLiteral("Jörg Weiß"));
        QCOMPARE(w.FrameTimer2->hcbName->currentText(), QStringLiteral("Eva"));
        QVERIFY(w.SortGrid1->Modified());
    }

    void unreadableWorkbookLeavesTable_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("not a workbook") << QByteArray("12\tHans\r\n");
        QTest::newRow("damaged zip") << QByteArray("PK\x03\x04\x14\x00\x00\x00broken", 16);
        QTest::newRow("empty workbook") << [] {
            QTemporaryDir dir;
            WorkbookFiles::WriteXlsx(TWorkbookModel{{}, {}, {}, {}, {TSheetModel()}}, dir.filePath("leer.xlsx"));
            QFile f(dir.filePath("leer.xlsx"));
            return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        }();
    }
    void unreadableWorkbookLeavesTable() {
        QFETCH(QByteArray, content);
        const QString path = FDir.filePath(QStringLiteral("kaputt.xlsx"));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(content);
        f.close();
        TFormMain w(Run);
        Fill(w);
        const QStringList before = w.SortGrid1->Rows(2);
        Open(w, path);
        QCOMPARE(FErrors.size(), 1);
        QVERIFY(FErrors[0].endsWith(QStringLiteral("kaputt.xlsx")));
        QCOMPARE(w.SortGrid1->RowCount(), 3);
        QCOMPARE(w.SortGrid1->Rows(2), before);
        QCOMPARE(w.eTitle->text(), QStringLiteral("Herbstpreis"));
    }

    // A workbook without a title in B1 leaves the title typed for the day.
    void untitledWorkbookKeepsTheTitle() {
        const QString path = FDir.filePath(QStringLiteral("ohne-titel.xlsx"));
        {
            TFormMain w(Run);
            Fill(w);
            w.eTitle->clear();
            SaveAs(w, QStringLiteral("(*.xlsx)"), path);
        }
        TFormMain w(Run);
        w.eTitle->setText(QStringLiteral("Bergslalom"));
        Open(w, path);
        QCOMPARE(w.SortGrid1->Cells(pcName, 1), QStringLiteral("Jörg Weiß"));
        QCOMPARE(w.eTitle->text(), QStringLiteral("Bergslalom"));
    }

    // The file tells how it is read, whichever filter the dialog shows.
    void readAsWhatItIs_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("workbook");
        QTest::addColumn<QString>("filter");
        QTest::newRow("workbook typed under the text filter") << "lauf.xlsx" << true << "*.txt";
        QTest::newRow("workbook named .txt") << "lauf.txt" << true << "*.txt";
        QTest::newRow("text under the workbook filter") << "liste.csv" << false << "*.xlsx";
    }
    void readAsWhatItIs() {
        QFETCH(QString, name);
        QFETCH(bool, workbook);
        QFETCH(QString, filter);
        const QString path = FDir.filePath(name);
        if (workbook) {
            TFormMain w(Run);
            Fill(w);
            const QString saved = FDir.filePath(QStringLiteral("saved.xlsx"));
            SaveAs(w, QStringLiteral("(*.xlsx)"), saved);
            QFile::remove(path);
            QVERIFY(QFile::rename(saved, path));
        } else {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("12;Jörg Weiß\r\n7;Eva\r\n");
        }
        TFormMain w(Run);
        Open(w, path, filter);
        QVERIFY2(FErrors.isEmpty(), qPrintable(FErrors.join('\n')));
        QCOMPARE(w.SortGrid1->Rows(1).mid(0, 2), (QStringList{"12", "Jörg Weiß"}));
        QCOMPARE(w.eTitle->text() == QStringLiteral("Herbstpreis"), workbook);
    }

    // The extension typed decides what is written, whichever entry the dialog shows.
    void writtenAsTheNameSays_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QByteArray>("start");
        QTest::newRow("workbook typed under the text entry") << "lauf.xlsx" << "(*.txt)" << QByteArray("PK");
        QTest::newRow("document typed under the text entry") << "lauf.docx" << "(*.txt)" << QByteArray("PK");
        QTest::newRow("page typed under the workbook entry") << "lauf.html" << "(*.xlsx)" << QByteArray("<");
        QTest::newRow("page typed as .htm") << "lauf.htm" << "(*.txt)" << QByteArray("<");
        QTest::newRow("text typed under the document entry") << "lauf.txt" << "(*.docx)" << QByteArray("Start-Nr.");
    }
    void writtenAsTheNameSays() {
        QFETCH(QString, name);
        QFETCH(QString, entry);
        QFETCH(QByteArray, start);
        const QString path = FDir.filePath(name);
        QFile::remove(path);
        TFormMain w(Run);
        Fill(w);
        SaveAs(w, entry, path);
        QVERIFY2(FErrors.isEmpty(), qPrintable(FErrors.join('\n')));
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QVERIFY2(f.readAll().startsWith(start), qPrintable(name));
    }

    void buttonsOpenTheDocument() {
        TFormMain w(Run);
        Fill(w);
        w.sbWordClick(w.sbWord);
        QCOMPARE(FOpened.size(), 1);
        QVERIFY(FOpened[0].startsWith(FDir.filePath(QStringLiteral("Documents/"))));
        QVERIFY(QRegularExpression(QStringLiteral("/\\d{4}-\\d\\d-\\d\\d-\\d\\d-\\d\\d\\.docx$"))
                    .match(FOpened[0])
                    .hasMatch());
        QVERIFY(QFile::exists(FOpened[0]));
        w.sbExcelClick(w.sbExcel);
        QCOMPARE(FOpened.size(), 2);
        QVERIFY(FOpened[1].endsWith(QStringLiteral(".xlsx")) && QFile::exists(FOpened[1]));
        QVERIFY(FErrors.isEmpty());
    }

    // Documents made by the buttons land in the documents folder and never replace each
    // other, also twice in one minute.
    void buttonsNeverReplaceADocument_data() {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("extension");
        QTest::newRow("Word") << QStringLiteral("sbWord") << QStringLiteral(".docx");
        QTest::newRow("Excel") << QStringLiteral("sbExcel") << QStringLiteral(".xlsx");
    }
    void buttonsNeverReplaceADocument() {
        QFETCH(QString, button);
        QFETCH(QString, extension);
        TFormMain w(Run);
        Fill(w);
        auto* b = w.findChild<TLbSpeedButton*>(button);
        b->OnClick(b);
        const QByteArray first = [&] {
            QFile f(FOpened.value(0));
            f.open(QIODevice::ReadOnly);
            return f.readAll();
        }();
        w.eTitle->setText(QStringLiteral("Zweiter Lauf"));
        b->OnClick(b);
        QVERIFY2(FErrors.isEmpty(), qPrintable(FErrors.join('\n')));
        QCOMPARE(FOpened.size(), 2);
        QVERIFY(FOpened[0] != FOpened[1]);
        QCOMPARE(w.StatusPanels[1]->text(), "Gespeichert: " + QDir::toNativeSeparators(FOpened[1]));
        for (const QString& file : std::as_const(FOpened)) {
            QVERIFY2(file.startsWith(FDir.filePath(QStringLiteral("Documents/"))),
                     qPrintable(file));
            QVERIFY(file.endsWith(extension));
        }
        QFile f(FOpened[0]);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), first);
    }

    // Start number, times and rank of the Word table keep the width of their texts; a long
    // name takes what is left. Widths read back with python-docx, texts measured in Liberation
    // Sans, Arial's metric twin.
    void wordTimesKeepTheirWidth_data() {
        QTest::addColumn<int>("nameLength");
        QTest::addColumn<int>("laps");
        QTest::newRow("200-character name, two laps") << 200 << 2;
        QTest::newRow("200-character name, five laps") << 200 << 5;
        QTest::newRow("short names, five laps") << 3 << 5;
    }
    void wordTimesKeepTheirWidth() {
        QFETCH(int, nameLength);
        QFETCH(int, laps);
        Run.Laps = laps;
        Run.Cars = laps > 2 ? 1 : 2;
        TFormMain w(Run);
        Fill(w);
        w.SortGrid1->SetCells(pcName, 1, QString(nameLength, QLatin1Char('x')));
        for (int r = 1; r <= 2; ++r)
            for (int k = 0; k < laps; ++k)
                w.SortGrid1->SetCells(pcLap1 + k, r, QStringLiteral("1.55,10"));
        const QString file = FDir.filePath(QStringLiteral("breit.docx"));
        QVERIFY(w.ExportToWord(1, file));
        QProcess py;
        py.start(QStringLiteral("/usr/bin/python3"),
                 {QStringLiteral("-c"),
                  QStringLiteral("import sys, docx\n"
                                 "t = docx.Document(sys.argv[1]).tables[0]\n"
                                 "print([c.width.twips for c in t.columns])\n"
                                 "print('|'.join(c.text for c in t.rows[0].cells))\n"
                                 "print(t._tbl.tblPr.xpath('w:tblLayout/@w:type'))"),
                  file});
        QVERIFY(py.waitForFinished(60000));
        const QStringList out = QString::fromUtf8(py.readAllStandardOutput()).split('\n');
        if (py.exitCode() != 0) QSKIP("python3-docx is not installed");
        QStringList widthTexts = out.value(0).mid(1).chopped(1).split(QStringLiteral(", "));
        const QStringList head = out.value(1).split('|');
        QCOMPARE(head.size(), widthTexts.size());
        QCOMPARE(out.value(2), QStringLiteral("['fixed']"));
        QFont plain(QStringLiteral("Liberation Sans"));
        plain.setPixelSize(200); // 10 pt in twips
        QFont bold = plain;
        bold.setBold(true);
        const QFontMetricsF plainFm(plain), boldFm(bold);
        int total = 0;
        for (int c = 0; c < head.size(); ++c) {
            const int width = widthTexts[c].toInt();
            total += width;
            if (head[c] == QStringLiteral("Name")) continue;
            const qreal need = qMax(boldFm.horizontalAdvance(head[c]),
                                    plainFm.horizontalAdvance(QStringLiteral("1.55,10"))) +
                               160;
            QVERIFY2(width >= need,
                     qPrintable(QStringLiteral("%1: %2 < %3").arg(head[c]).arg(width).arg(need)));
        }
        QVERIFY2(total <= 9638, qPrintable(QString::number(total)));
    }

    void excelErrorIsShown() {
        TOfficeCallLog log;
        log.FailOn = QStringLiteral("WorkSheets");
        const TExcelFactory real = ProtocolDocuments::CreateExcelApplication;
        ProtocolDocuments::CreateExcelApplication = [&log] {
            return std::make_unique<TRecordingExcel>(log);
        };
        TFormMain w(Run);
        Fill(w);
        w.sbExcelClick(w.sbExcel);
        ProtocolDocuments::CreateExcelApplication = real;
        QCOMPARE(FErrors, QStringList{QStringLiteral("Aufruf fehlgeschlagen: WorkSheets(1)")});
        QCOMPARE(log.Calls.last(), QStringLiteral("Visible=True"));
    }
};

QTEST_MAIN(TstOfficeApp)
#include "tst_office_app.moc"

