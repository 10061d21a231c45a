// Opening, printing and saving the web page from the main window, and the printed pages.
#include "FMain.h"
#include "HtmlReport.h"

#include <QFile>
#include <QPrinter>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace {

QByteArray Read(const QString& path) {
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return f.readAll();
}

} // namespace

class TstReport : public QObject {
    Q_OBJECT
    QTemporaryDir FDir;
    QStringList FErrors, FOpened;
    int FPrintDialogs = 0;

private slots:
    void init() {
        QVERIFY(FDir.isValid());
        QDir::setCurrent(FDir.path()); // the buttons' page lands in the current folder
        FErrors.clear();
        FOpened.clear();
        FPrintDialogs = 0;
        TFormMain::ShowError = [this](const QString& m) { FErrors << m; };
        TFormMain::OpenDocument = [this](const QString& f) { FOpened << f; };
        TFormMain::ExecPrintDialog = [this](QPrinter*) {
            ++FPrintDialogs;
            return false;
        };
        Cars = 2;
        Laps = 2;
    }
    void cleanup() { TFormMain::ExecFileDialog = nullptr; }

    void commands_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<bool>("opens");
        QTest::addColumn<bool>("prints");
        QTest::newRow("sbHTML") << "sbHTML" << true << false;
        QTest::newRow("sbPrint") << "sbPrint" << false << true;
        QTest::newRow("Drucker1") << "Drucker1" << false << true;
        QTest::newRow("save dialog") << "SaveDialog1" << false << false;
    }
    void commands() {
        QFETCH(QString, command);
        QFETCH(bool, opens);
        QFETCH(bool, prints);
        TFormMain w;
        w.SortGrid1->SetRows(1, {"12", "M\u00fcller & Sohn", "55,10", "54,20"});
        QString page = w.ReportFileName();
        if (command == QLatin1String("SaveDialog1")) {
            page = FDir.filePath(QStringLiteral("bericht.html"));
            TFormMain::ExecFileDialog = [&w, page](QFileDialog* d) {
                d->selectNameFilter(w.HtmlFileTypeName + QStringLiteral(" (*.html)"));
                d->selectFile(page);
                return true;
            };
            w.sbSaveClick(w.sbSave);
        } else if (command == QLatin1String("Drucker1")) {
            w.Drucker1->Click();
        } else {
            w.findChild<TLbSpeedButton*>(command)->OnClick(w.findChild<TLbSpeedButton*>(command));
        }
        QVERIFY(Read(page).contains("<td>12<td>M\xfcller &amp; Sohn<td>55,10"));
        QCOMPARE(FOpened, opens ? QStringList{page} : QStringList{});
        QCOMPARE(FPrintDialogs, prints ? 1 : 0);
        QVERIFY(FErrors.isEmpty());
    }

    void unwritablePageIsReported() {
        TFormMain w;
        const QString path = FDir.filePath(QStringLiteral("missing/dir/p.html"));
        TFormMain::ExecFileDialog = [&w, path](QFileDialog* d) {
            d->selectNameFilter(w.HtmlFileTypeName + QStringLiteral(" (*.html)"));
            d->selectFile(path);
            return true;
        };
        w.sbSaveClick(w.sbSave);
        QCOMPARE(FErrors.size(), 1);
        QVERIFY(FErrors[0].startsWith(QStringLiteral("Der Schreibfehler der Datei: ")));
        QVERIFY(FErrors[0].endsWith(QStringLiteral("p.html")));
    }

    void wordEntryWritesNoTextFile() {
        TFormMain w;
        w.SortGrid1->SetRows(1, {"12", "Hans"});
        const QString path = FDir.filePath(QStringLiteral("p.docx"));
        TFormMain::ExecFileDialog = [&w, path](QFileDialog* d) {
            d->selectNameFilter(w.WordFileTypeName + QStringLiteral(" (*.docx)"));
            d->selectFile(path);
            return true;
        };
        w.sbSaveClick(w.sbSave);
        QVERIFY(Read(path).startsWith("PK\x03\x04")); // a Word package, never the text file
        QVERIFY(FErrors.isEmpty());
        QVERIFY(FOpened.isEmpty());
    }

    // A long protocol prints on several pages, each with the head row and its number.
    void longProtocolToPdf() {
        const QString pdftotext = QStandardPaths::findExecutable(QStringLiteral("pdftotext"));
        if (pdftotext.isEmpty()) QSKIP("pdftotext (poppler-utils) is not installed");
        TFormMain w;
        w.SortGrid1->SetRowCount(121);
        for (int r = 1; r <= 120; ++r)
            w.SortGrid1->SetRows(r, {QString::number(r), QStringLiteral("Fahrer %1").arg(r),
                                     "55,10", "54,20", "", "", "", "1.49,30", "54,20"});
        w.Sortierenprotokoll1Click(nullptr);
        const QString pdf = FDir.filePath(QStringLiteral("p.pdf"));
        TFormMain::ExecPrintDialog = [pdf](QPrinter* p) {
            p->setOutputFormat(QPrinter::PdfFormat);
            p->setOutputFileName(pdf);
            return true;
        };
        QVERIFY(w.PrintProtocol());
        QProcess run;
        run.start(pdftotext, {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
        QVERIFY(run.waitForFinished(20000));
        const QStringList pages = QString::fromUtf8(run.readAllStandardOutput())
                                      .split(QLatin1Char('\f'), Qt::SkipEmptyParts);
        QVERIFY2(pages.size() >= 3, qPrintable(QString::number(pages.size())));
        for (int i = 0; i < pages.size(); ++i) {
            QVERIFY(pages[i].contains(QStringLiteral("Start-Nr.")));
            QVERIFY(pages[i].contains(QStringLiteral("Beste Runde")));
            QVERIFY(!pages[i].contains(QStringLiteral("Platz")));
            QVERIFY(
                pages[i].contains(QStringLiteral("Seite %1 von %2").arg(i + 1).arg(pages.size())));
        }
        QVERIFY(pages[0].contains(QStringLiteral("Ergebnisliste")));
        const QString all = pages.join(QString());
        for (int r = 1; r <= 120; ++r)
            QCOMPARE(all.count(QStringLiteral("Fahrer %1 ").arg(r)) +
                         all.count(QStringLiteral("Fahrer %1\n").arg(r)),
                     1);
    }

    // The sheet pinned on the board shows every name and caption whole, also with five laps.
    void printedTextsAreWhole_data() {
        QTest::addColumn<int>("cars");
        QTest::addColumn<int>("laps");
        QTest::newRow("two cars, two laps") << 2 << 2;
        QTest::newRow("one car, five laps") << 1 << 5;
    }
    void printedTextsAreWhole() {
        QFETCH(int, cars);
        QFETCH(int, laps);
        const QString pdftotext = QStandardPaths::findExecutable(QStringLiteral("pdftotext"));
        if (pdftotext.isEmpty()) QSKIP("pdftotext (poppler-utils) is not installed");
        Cars = cars;
        Laps = laps;
        TFormMain w;
        const QString name = QStringLiteral("Maximilian M\u00fcller-L\u00fcdenscheidt");
        w.SortGrid1->SetRows(1, {"12", name, "1.55,10", "1.54,20", "1.53,30", "1.52,40",
                                 "1.51,50", "9.26,50", "1.51,50"});
        const QString pdf = FDir.filePath(QStringLiteral("w.pdf"));
        TFormMain::ExecPrintDialog = [pdf](QPrinter* p) {
            p->setOutputFormat(QPrinter::PdfFormat);
            p->setOutputFileName(pdf);
            return true;
        };
        QVERIFY(w.PrintProtocol());
        QProcess run;
        run.start(pdftotext, {pdf, QStringLiteral("-")});
        QVERIFY(run.waitForFinished(20000));
        const QString text = QString::fromUtf8(run.readAllStandardOutput()).simplified();
        QVERIFY2(!text.contains(QChar(0x2026)), qPrintable(text));
        for (const QString& whole : {name, QStringLiteral("Start-Nr."),
                                     QStringLiteral("Gesamtzeit"), QStringLiteral("Beste Runde")})
            QVERIFY2(text.contains(whole), qPrintable(whole + QStringLiteral(" in ") + text));
    }

    void failedPdfIsReported() {
        TFormMain w;
        const QString pdf = FDir.filePath(QStringLiteral("missing/dir/p.pdf"));
        TFormMain::ExecPrintDialog = [pdf](QPrinter* p) {
            p->setOutputFormat(QPrinter::PdfFormat);
            p->setOutputFileName(pdf);
            return true;
        };
        QVERIFY(!w.PrintProtocol());
        QCOMPARE(FErrors.size(), 1);
    }
};

QTEST_MAIN(TstReport)
#include "tst_report.moc"
