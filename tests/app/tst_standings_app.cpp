// The standings at the main window: penalties and status entered with keys in the
// windows "Wertung" and "Läufe" are recorded and followed at once, classes come
// from a start list with named columns, and the scoring dialog refuses a catalogue
// it cannot keep.
#include "DlgScoring.h"
#include "DlgStartList.h"
#include "EventsFeature.h"
#include "FMain.h"
#include "RunSnapshot.h"
#include "StandingsFeature.h"
#include "StartListImport.h"
#include "WorkbookFiles.h"

#include <QFile>
#include <QPrinter>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace {

// One car, two laps of lap ms each.
void TimeRun(TFormMain& w, const QString& name, uint32_t start, int lap) {
    w.FrameTimer1->hcbName->SetText(name);
    Next(w, start);
    Next(w, start + uint32_t(lap));
    Next(w, start + uint32_t(2 * lap));
    w.mReset->Click();
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

} // namespace

class TstStandingsApp : public QObject {
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> FDir;
    QStringList FMessages;

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void init() {
        FDir = std::make_unique<QTemporaryDir>();
        QDir::setCurrent(FDir->path());
        TSettingsStore::UseFolder(FDir->filePath(QStringLiteral("settings")));
        TickSource::SetManual(1000);
        Cars = 1;
        Laps = 2;
        FMessages.clear();
        TFormMain::ShowMessage = [this](const QString& text) { FMessages << text; };
        TRunCorrectionActions::ExecPenalty = [](TDlgPenalty* d) {
            d->cbItem->setCurrentIndex(0); // "Pylone (+2 s)"
            d->seCount->setValue(2);
            d->eReason->setText(QStringLiteral("Tor 3"));
            return int(QDialog::Accepted);
        };
        TFormMain::AskText = [](const QString&, QString& text) {
            text = QStringLiteral("Frühstart");
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
        QTest::newRow("Wertung: P adds two cones")
            << "Wertung" << QList<int>{Qt::Key_P} << QStringList{"1 Eva 2.02,00", "2 Hans 2.04,00"}
            << "Strafe: 2 × Pylone – Tor 3";
        QTest::newRow("Wertung: Shift+P takes the penalties back")
            << "Wertung" << QList<int>{Qt::Key_P, int(Qt::SHIFT) | int(Qt::Key_P)} << asTimed
            << "penalties_cleared";
        QTest::newRow("Wertung: D disqualifies with a reason")
            << "Wertung" << QList<int>{Qt::Key_D} << QStringList{"1 Eva 2.02,00", " Hans DSQ"}
            << "Status: DSQ – Frühstart";
        QTest::newRow("Wertung: W makes it a rerun, G counts it again")
            << "Wertung" << QList<int>{Qt::Key_W, Qt::Key_G} << asTimed << "Status: ok";
        QTest::newRow("Läufe: W makes it a rerun that never counts")
            << "Läufe" << QList<int>{Qt::Key_W} << QStringList{"1 Eva 2.02,00", " Hans -"}
            << "Status: Wiederholung";
        QTest::newRow("Läufe: P adds two cones")
            << "Läufe" << QList<int>{Qt::Key_P} << QStringList{"1 Eva 2.02,00", "2 Hans 2.04,00"}
            << "Strafe: 2 × Pylone – Tor 3";
    }
    void keysOnARun() {
        QFETCH(QString, window);
        QFETCH(QList<int>, keys);
        QFETCH(QStringList, standings);
        QFETCH(QString, history);
        TFormMain w;
        w.show();
        TimeRun(w, QStringLiteral("Hans"), 10000, 60000);
        TimeRun(w, QStringLiteral("Eva"), 200000, 61000);
        TStandingsFeature* s = w.Events->Standings;
        w.Events->Store().Flush();
        QTRY_COMPARE(Standings(s), (QStringList{"1 Hans 2.00,00", "2 Eva 2.02,00"}));

        QWidget* focus = nullptr;
        const TEffectiveRun* run = nullptr;
        if (window == QLatin1String("Wertung")) {
            w.Events->Standings->mStandings->Click();
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
        const QString uuid = run->Run.Uuid;
        QApplication::setActiveWindow(focus->window());
        focus->setFocus();
        const auto corrections = [s, &uuid] {
            for (const TEffectiveRun& e : s->Runs())
                if (e.Run.Uuid == uuid) return int(e.History.size());
            return -1;
        };
        for (int i = 0; i < keys.size(); ++i) {
            QTest::keyClick(focus, Qt::Key(keys[i] & ~Qt::KeyboardModifierMask),
                            Qt::KeyboardModifiers(keys[i] & Qt::KeyboardModifierMask));
            w.Events->Store().Flush();
            QTRY_COMPARE(corrections(), i + 1); // the window shows it before the next key
        }
        QTRY_COMPARE(Standings(s), standings);
        QVERIFY(FMessages.isEmpty());
        const auto it = std::find_if(s->Runs().begin(), s->Runs().end(),
                                     [&uuid](const TEffectiveRun& e) { return e.Run.Uuid == uuid; });
        QVERIFY(it != s->Runs().end());
        QCOMPARE(int(it->History.size()), keys.size());
        const QString last = TRunListModel::HistoryText(it->History.back()).section(QLatin1Char(' '), 1);
        QCOMPARE(last, history);
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
        TFormMain w;
        w.LoadProtocolText(Write(*FDir, "list.csv", list));
        TimeRun(w, QStringLiteral("Hans"), 10000, 60000);
        TimeRun(w, QStringLiteral("Eva"), 200000, 62000);
        TimeRun(w, QStringLiteral("Olaf"), 400000, 61000);
        w.Events->Store().Flush();
        TStandingsFeature* s = w.Events->Standings;
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
            << QStringList{"Platz|Start-Nr.|Name|Klasse|Läufe|Zeit|Strafe|Wertung|Abstand|Vordermann|Hinweis",
                           "1|1|Hans <H>|Junior|1|2.00,00||2.00,00|||", "2|2|Eva|Senior|1|2.02,00||2.02,00|+2,00|+2,00|"};
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
        StartListImport::ExecDialog = [](TDlgStartList*) { return int(QDialog::Accepted); };
        TFormMain w;
        w.LoadProtocolText(Write(*FDir, "list.csv",
                                 "Start-Nr.;Name;Klasse\r\n1;Hans <H>;Junior\r\n2;Eva;Senior\r\n3;Olaf;Junior\r\n"));
        TimeRun(w, QStringLiteral("Hans <H>"), 10000, 60000);
        TimeRun(w, QStringLiteral("Eva"), 200000, 61000);
        TimeRun(w, QStringLiteral("Olaf"), 400000, 63000);
        w.Events->Store().Flush();
        TStandingsFeature* s = w.Events->Standings;
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
                const TWorkbookModel book = WorkbookFiles::Read(path);
                const TSheetModel& sheet = book.Sheets.value(0);
                for (int row = 4; row <= sheet.LastRow(); ++row) {
                    QStringList cells;
                    for (int col = 1; col <= scColumnCount; ++col) {
                        const TCell* c = sheet.Find(row, col);
                        cells << (c ? TSheetModel::DisplayText(*c) : QString());
                    }
                    text += cells.join(QLatin1Char('|')) + QLatin1Char('\n');
                }
            }
        } else {
            s->ShowStandings();
            s->Window()->cbView->setCurrentIndex(1);
            emit s->Window()->cbView->activated(1);
            TFormMain::ExecPrintDialog = [path](QPrinter* p) {
                p->setOutputFormat(QPrinter::PdfFormat);
                p->setOutputFileName(path);
                return true;
            };
            QCOMPARE(s->Print(), contains.size() > 0);
            if (QFileInfo::exists(path)) {
                const QString pdftotext = QStandardPaths::findExecutable(QStringLiteral("pdftotext"));
                if (pdftotext.isEmpty()) QSKIP("pdftotext (poppler-utils) is not installed");
                QProcess run;
                run.start(pdftotext, {QStringLiteral("-layout"), path, QStringLiteral("-")});
                QVERIFY(run.waitForFinished(10000));
                text = QString::fromUtf8(run.readAllStandardOutput());
            }
        }
        if (contains.isEmpty()) {
            QCOMPARE(errors.size(), 1);
            QVERIFY2(errors[0].startsWith(QStringLiteral("Der Schreibfehler der Datei: ")), qPrintable(errors[0]));
            QVERIFY(!QFileInfo::exists(path));
            return;
        }
        QVERIFY(errors.isEmpty());
        qsizetype at = 0;
        for (const QString& c : contains) {
            const qsizetype found = text.indexOf(c, at);
            QVERIFY2(found >= 0, qPrintable(c + QStringLiteral(" not after ") + QString::number(at) + "\n" + text));
            at = found + c.size();
        }
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
            TFormMain w;
            TStandingsFeature* s = w.Events->Standings;
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
        TFormMain again;
        const TStandingsSettings& s = again.Events->Standings->Settings;
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
