// Opening, printing and saving the web page from the main window, and the printed pages.
#include "DurableFile.h"
#include "FMain.h"
#include "ProtocolContent.h"
#include "ProtocolDocuments.h"
#include "HtmlReport.h"

#include <cerrno>

#include <QDir>
#include <QFile>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

// What the next window starts from, as a program start would find it.
static TRunSettings Run;

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
        ProtocolDocuments::OpenDocument = [this](const QString& f) { FOpened << f; };
        ProtocolDocuments::ExecPrintDialog = [this](QPrinter*) {
            ++FPrintDialogs;
            return false;
        };
        Run.Cars = 2;
        Run.Laps = 2;
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
        TFormMain w(Run);
        w.SortGrid1->SetRows(1, {"12", "M\u00fcller & Sohn", "55,10", "54,20"});
        QString page = ProtocolDocuments::ReportFileName();
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
        // Told where it went, also where the desktop has nothing to open it with.
        if (opens) QCOMPARE(w.StatusPanels[1]->text(), "Gespeichert: " + QDir::toNativeSeparators(page));
        QCOMPARE(FPrintDialogs, prints ? 1 : 0);
        QVERIFY(FErrors.isEmpty());
    }

    void unwritablePageIsReported() {
        TFormMain w(Run);
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
        TFormMain w(Run);
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
        TFormMain w(Run);
        w.SortGrid1->SetRowCount(121);
        for (int r = 1; r <= 120; ++r)
            w.SortGrid1->SetRows(r, {QString::number(r), QStringLiteral("Fahrer %1").arg(r),
                                     "55,10", "54,20", "", "", "", "1.49,30", "54,20"});
        w.Sortierenprotokoll1Click(nullptr);
        const QString pdf = FDir.filePath(QStringLiteral("p.pdf"));
        ProtocolDocuments::ExecPrintDialog = [pdf](QPrinter* p) {
            p->setOutputFormat(QPrinter::PdfFormat);
            p->setOutputFileName(pdf);
            return true;
        };
        QVERIFY(ProtocolDocuments::PrintProtocol(w));
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
        QTest::addColumn<int>("rows");
        QTest::addColumn<QString>("name");
        QTest::newRow("two cars, two laps")
            << 2 << 2 << 1 << QStringLiteral("Maximilian M\u00fcller-L\u00fcdenscheidt");
        QTest::newRow("one car, five laps")
            << 1 << 5 << 1 << QStringLiteral("Maximilian M\u00fcller-L\u00fcdenscheidt");
        // Only the name is shortened: start number, captions and times stay whole.
        QTest::newRow("one 200-character name in 300 rows")
            << 2 << 2 << 300 << QStringLiteral("Langername").repeated(20);
        QTest::newRow("one 200-character name, five laps")
            << 1 << 5 << 1 << QStringLiteral("Langername").repeated(20);
    }
    void printedTextsAreWhole() {
        QFETCH(int, cars);
        QFETCH(int, laps);
        QFETCH(int, rows);
        QFETCH(QString, name);
        const QString pdftotext = QStandardPaths::findExecutable(QStringLiteral("pdftotext"));
        if (pdftotext.isEmpty()) QSKIP("pdftotext (poppler-utils) is not installed");
        Run.Cars = cars;
        Run.Laps = laps;
        TFormMain w(Run);
        w.SortGrid1->SetRowCount(rows + 1);
        const QStringList times = {"1.55,10", "1.54,20", "1.53,30", "1.52,40",
                                   "1.51,50", "9.26,50", "1.51,50"};
        for (int r = 1; r <= rows; ++r)
            w.SortGrid1->SetRows(r, QStringList{QString::number(r),
                                                r == 1 ? name : QStringLiteral("Eva %1").arg(r)} +
                                        times);
        const QString pdf = FDir.filePath(QStringLiteral("w.pdf"));
        ProtocolDocuments::ExecPrintDialog = [pdf](QPrinter* p) {
            p->setOutputFormat(QPrinter::PdfFormat);
            p->setOutputFileName(pdf);
            return true;
        };
        QVERIFY(ProtocolDocuments::PrintProtocol(w));
        QProcess run;
        run.start(pdftotext, {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
        QVERIFY(run.waitForFinished(20000));
        const QString text = QString::fromUtf8(run.readAllStandardOutput());
        const bool longName = name.size() > 100;
        QStringList whole = {QStringLiteral("Start-Nr."), QStringLiteral("Name"),
                             QStringLiteral("Gesamtzeit"), QStringLiteral("Beste Runde")};
        for (int k = 0; k < laps; ++k)
            whole << QStringLiteral("Runde %1").arg(k + 1);
        whole << times.mid(0, laps) << QStringLiteral("9.26,50");
        if (!longName) whole << name;
        for (const QString& t : std::as_const(whole))
            QVERIFY2(text.contains(t), qPrintable(t + QStringLiteral(" in ") + text.left(3000)));
        // Every line is a whole row: only the long name ends in an ellipsis.
        const QStringList lines = text.split(QLatin1Char('\n'));
        const int ellipses = int(text.count(QChar(0x2026)));
        QCOMPARE(ellipses, longName ? 1 : 0);
        if (longName) {
            const QString line = lines.filter(QChar(0x2026)).value(0);
            QVERIFY2(line.contains(QRegularExpression(QStringLiteral("Langer\\w*\u2026"))),
                     qPrintable(line));
            QVERIFY2(line.contains(QStringLiteral("9.26,50")), qPrintable(line));
            // A long name alone does not set the table in the smallest type: 10 pt holds
            // about 40 rows a page, 6 pt about 65.
            if (rows > 100)
                QVERIFY2(text.count(QChar('\f')) >= rows / 45,
                         qPrintable(QString::number(text.count(QChar('\f')))));
        }
    }

    // "Als Webseite" opens the page only, never a folder that happens to have its name.
    void folderWithThePagesNameIsNotOpened() {
        TFormMain w(Run);
        w.SortGrid1->SetRows(1, {"12", "Hans"});
        QFile::remove(ProtocolDocuments::ReportFileName());
        QVERIFY(QDir().mkpath(ProtocolDocuments::ReportFileName()));
        w.sbHTMLClick(w.sbHTML);
        QCOMPARE(FErrors.size(), 1);
        QVERIFY(FOpened.isEmpty());
    }

    // Printing needs no printer: the print dialog always offers PDF output.
    void printButtonFollowsContent_data() {
        QTest::addColumn<QStringList>("row");
        QTest::addColumn<bool>("enabled");
        QTest::newRow("empty table") << QStringList{} << false;
        QTest::newRow("one row") << QStringList{"12", "Hans"} << true;
    }
    void printButtonFollowsContent() {
        QFETCH(QStringList, row);
        QFETCH(bool, enabled);
        TFormMain w(Run);
        if (!row.isEmpty()) w.SortGrid1->SetRows(1, row);
        w.UpdateProtocolButtons();
        QCOMPARE(w.sbPrint->isEnabled(), enabled);
        QCOMPARE(w.sbHTML->isEnabled(), enabled);
    }

    void failedPdfIsReported() {
        TFormMain w(Run);
        const QString pdf = FDir.filePath(QStringLiteral("missing/dir/p.pdf"));
        ProtocolDocuments::ExecPrintDialog = [pdf](QPrinter* p) {
            p->setOutputFormat(QPrinter::PdfFormat);
            p->setOutputFileName(pdf);
            return true;
        };
        QVERIFY(!ProtocolDocuments::PrintProtocol(w));
        QCOMPARE(FErrors.size(), 1);
    }

    // A PDF that cannot be written whole is told, leaves no file, and an older one stays.
    void pdfOnAFullDisk_data() {
        QTest::addColumn<QByteArray>("before"); // empty: no file of that name
        QTest::newRow("no file before") << QByteArray();
        QTest::newRow("an older PDF") << QByteArray("%PDF-1.4 alt");
    }
    void pdfOnAFullDisk() {
        QFETCH(QByteArray, before);
        const QString pdf = FDir.filePath(QStringLiteral("voll.pdf"));
        QFile::remove(pdf);
        if (!before.isEmpty()) QVERIFY(ReplaceFileContents(pdf, before));
        TFormMain w(Run);
        w.SortGrid1->SetRows(1, {"1", "Anna"});
        ProtocolDocuments::ExecPrintDialog = [pdf](QPrinter* p) {
            p->setOutputFormat(QPrinter::PdfFormat);
            p->setOutputFileName(pdf);
            return true;
        };
        FileFault = [](const QString&) { return ENOSPC; };
        const bool printed = ProtocolDocuments::PrintProtocol(w);
        FileFault = nullptr;
        QVERIFY(!printed);
        QCOMPARE(FErrors.size(), 1);
        QCOMPARE(QFileInfo::exists(pdf) ? Read(pdf) : QByteArray(), before);
        QCOMPARE(QDir(FDir.path()).entryList({QStringLiteral("*.drucken-*")}), QStringList());
    }
};

QTEST_MAIN(TstReport)
#include "tst_report.moc"

