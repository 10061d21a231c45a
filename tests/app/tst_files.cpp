// Loading and saving the protocol from the main window: start lists, name
// histories, the dialogs' proposals, the automatic backup and the close request.
#include "FMain.h"
#include "Protocol.h"
#include "ProgramInfo.h"
#include "ProtocolFile.h"
#include "TickSource.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

// What the next window starts from, as a program start would find it.
static TRunSettings Run;

namespace {

QString Write(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes) {
    const QString path = dir.filePath(name);
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(bytes);
    return path;
}

QByteArray Read(const QString& path) {
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return f.readAll();
}

} // namespace

class TstFiles : public QObject {
    Q_OBJECT
    QTemporaryDir FDir;
    QStringList FMessages;

    // Plays one complete run of Cars cars, 20 s for every event.
    static void PlayRun(TFormMain& w) {
        TickSource::SetManual(0);
        const QList<TMenuItem*> events =
            w.RunSettings.Cars == 1 ? QList<TMenuItem*>{w.mStart, w.mLAP, w.mStop}
                      : QList<TMenuItem*>{w.mStart, w.mLAP, w.mStart, w.mStop, w.mLAP, w.mStop};
        for (TMenuItem* m : events) {
            TickSource::Advance(20000);
            m->Click();
        }
        TickSource::UseSystem();
    }

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void init() {
        QVERIFY(FDir.isValid());
        QDir::setCurrent(FDir.path()); // the backup lands in the current folder
        FMessages.clear();
        TFormMain::ShowMessage = [this](const QString& m) { FMessages << m; };
        Run.Cars = 2;
        Run.Laps = 2;
    }

    void startList() {
        const QString path = Write(FDir, QStringLiteral("start.txt"),
                                   "Start-Nr.;Name\r\n12;Hans\r\n12;;Eva\r\n;Peter\r\n7\r\n\r\n");
        TFormMain w(Run);
        w.LoadProtocolText(path);
        TSortGrid* g = w.SortGrid1;
        QCOMPARE(g->RowCount(), 6);
        QCOMPARE(g->Rows(1).mid(0, 2), (QStringList{"12", "Hans"}));
        QCOMPARE(g->Rows(2).mid(0, 2), (QStringList{"12", "Eva"}));
        QCOMPARE(g->Rows(3).mid(0, 2), (QStringList{" ", "Peter"}));
        QCOMPARE(g->Rows(4).mid(0, 2), (QStringList{"7", ""}));
        QVERIFY(g->IsRowEmpty(5));
        QCOMPARE(w.FrameTimer1->hcbName->Items(), (QStringList{"Hans", "Eva", "Peter", "", ""}));
        QCOMPARE(w.FrameTimer2->hcbName->Items(), w.FrameTimer1->hcbName->Items());
        QCOMPARE(w.FrameTimer1->hcbName->Text(), QStringLiteral("Hans"));
        QCOMPARE(w.FrameTimer2->hcbName->Text(), QStringLiteral("Eva"));
        QVERIFY(g->Modified());
        QCOMPARE(g->Row(), 4); // the first unnamed row
    }

    // A start list exported by a current spreadsheet: UTF-8 without mark, quoted fields.
    void startListFromSpreadsheet() {
        const QString path = Write(FDir, QStringLiteral("csv.txt"),
                                   "\"Start-Nr.\";\"Name\"\r\n"
                                   "12;\"M\xC3\xBCller; Hans\"\r\n"
                                   "13;J\xC3\xB6rg \"\"Blitz\"\"\r\n");
        TFormMain w(Run);
        w.LoadProtocolText(path);
        QCOMPARE(w.SortGrid1->RowCount(), 3);
        QCOMPARE(w.SortGrid1->Rows(1).mid(0, 2), (QStringList{"12", "M\u00fcller; Hans"}));
        QCOMPARE(w.SortGrid1->Rows(2).mid(0, 2), (QStringList{"13", "J\u00f6rg \"\"Blitz\"\""}));
        QCOMPARE(w.FrameTimer1->hcbName->Text(), QStringLiteral("M\u00fcller; Hans"));
    }

    void rowCounts_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<int>("rowCount");
        QByteArray twelve = "Start-Nr.\tName\t\r\nStart-Nr.\tName\t\r\n";
        for (int i = 1; i <= 12; ++i)
            twelve += QByteArray::number(i) + "\tN" + QByteArray::number(i) + "\t\r\n";
        QTest::newRow("12 data lines") << twelve << 13;
        QTest::newRow("no data lines") << QByteArray("Start-Nr.;Name\r\n") << 2;
        QTest::newRow("one line") << QByteArray("1;A") << 2;
        // Nothing to load: the protocol stays as it was.
        QTest::newRow("empty file") << QByteArray() << 5;
        QTest::newRow("blank lines only") << QByteArray("\r\n \t\r\n") << 5;
    }
    void rowCounts() {
        QFETCH(QByteArray, content);
        QFETCH(int, rowCount);
        TFormMain w(Run);
        w.SortGrid1->SetRowCount(5);
        w.LoadProtocolText(Write(FDir, QStringLiteral("list.txt"), content));
        QCOMPARE(w.SortGrid1->RowCount(), rowCount);
    }

    void saveAndLoadBack() {
        TFormMain w(Run);
        TSortGrid* g = w.SortGrid1;
        g->SetRowCount(4);
        g->SetRows(1, {"12", "Hans; Meier", "55,10", "54,20", "", "", "", "1.49,30", "54,20", "1"});
        g->SetRows(2, {"", "Ohne"});
        g->SetRows(3, {"3", "\u0141ukasz", "1,00"});
        const QString path = FDir.filePath(QStringLiteral("p.txt"));
        QVERIFY(w.SaveProtocolText(path));
        QVERIFY(Read(path).startsWith("\xEF\xBB\xBF"));
        TFormMain v(Run);
        v.LoadProtocolText(path);
        QCOMPARE(v.SortGrid1->RowCount(), 4);
        QCOMPARE(v.SortGrid1->Rows(1), (QStringList{"12", "Hans; Meier", "55,10", "54,20", " ", " ",
                                                    " ", "1.49,30", "54,20", ""}));
        QCOMPARE(v.SortGrid1->Rows(2).mid(0, 2), (QStringList{" ", "Ohne"}));
        QCOMPARE(v.SortGrid1->Cells(1, 3), QStringLiteral("\u0141ukasz"));
    }

    void failedSaveIsReported() {
        TFormMain w(Run);
        w.SortGrid1->SetRows(1, {"1", "A"});
        const QString path = FDir.filePath(QStringLiteral("missing/dir/p.txt"));
        TFormMain::ExecFileDialog = [path](QFileDialog* d) {
            d->selectFile(path);
            return true;
        };
        w.sbSaveClick(nullptr);
        TFormMain::ExecFileDialog = nullptr;
        QCOMPARE(FMessages.size(), 1);
        QVERIFY(FMessages[0].startsWith(QStringLiteral("Der Schreibfehler der Datei: ")));
    }

    void loadProposesTheSameNameForSaving() {
        const QString path = Write(FDir, QStringLiteral("Training.txt"), "1;Anna\r\n");
        TFormMain w(Run);
        TFormMain::ExecFileDialog = [path](QFileDialog* d) {
            d->selectFile(path);
            return true;
        };
        w.sbLoadClick(nullptr);
        QCOMPARE(w.SortGrid1->Cells(1, 1), QStringLiteral("Anna"));
        QString proposed;
        TFormMain::ExecFileDialog = [&proposed](QFileDialog* d) {
            proposed = d->selectedFiles().value(0);
            return false;
        };
        w.sbSaveClick(nullptr);
        TFormMain::ExecFileDialog = nullptr;
        QCOMPARE(QFileInfo(proposed).completeBaseName(), QStringLiteral("Training"));
        QCOMPARE(QFileInfo(proposed).absolutePath(), QFileInfo(path).absolutePath());
        QCOMPARE(w.SaveDialog1->selectedNameFilter(), QStringLiteral("Textdatei (*.txt)"));
        QCOMPARE(w.OpenFilter(),
                 QStringLiteral(
                     "Textdatei (*.txt *.csv)|*.txt *.csv|MS Excel (*.xlsx *.xls)|*.xlsx *.xls|"));
        QCOMPARE(w.SaveFilter(),
                 QStringLiteral("Textdatei (*.txt)|*.txt|MS Excel (*.xlsx)|*.xlsx|"
                                "MS Word (*.docx)|*.docx|Webseite (*.html)|*.html"));
    }

    void refusesBinaryFiles() {
        TFormMain w(Run);
        w.SortGrid1->SetRows(1, {"1", "Bleibt"});
        w.LoadProtocolText(Write(FDir, QStringLiteral("bin.txt"),
                                 QByteArray("\x7f"
                                            "ELF\0\0\1",
                                            7)));
        QCOMPARE(FMessages.size(), 1);
        QCOMPARE(w.SortGrid1->Cells(1, 1), QStringLiteral("Bleibt"));
        w.LoadProtocolText(FDir.filePath(QStringLiteral("nothere.txt"))); // silently nothing
        QCOMPARE(FMessages.size(), 1);
#ifndef _WIN32
        const QString pipe = FDir.filePath(QStringLiteral("pipe.txt"));
        QVERIFY(::mkfifo(QFile::encodeName(pipe).constData(), 0600) == 0);
        TFormMain::ExecFileDialog = [pipe](QFileDialog* d) {
            d->selectFile(pipe);
            return true;
        };
        w.sbLoadClick(nullptr); // told, never opened: it would block the window
        TFormMain::ExecFileDialog = nullptr;
        QCOMPARE(FMessages.size(), 2);
        QCOMPARE(w.SortGrid1->Cells(1, 1), QStringLiteral("Bleibt"));
#endif
    }

    void backupAfterRunKeepsThePreviousOne() {
        Write(FDir, QStringLiteral("tst_files.txt"), "99\tGestern\t\r\n");
        TickSource::SetManual(0);
        {
            TFormMain w(Run);
            w.FrameTimer1->hcbName->SetText(QStringLiteral("12 Hans"));
            w.FrameTimer2->hcbName->SetText(QStringLiteral("13 Eva"));
            for (TMenuItem* m : {w.mStart, w.mLAP, w.mStart, w.mStop, w.mLAP, w.mStop}) {
                TickSource::Advance(20000);
                m->Click();
            }
            // Written right after the run, before any close.
            const QByteArray now = Read(FDir.filePath(QStringLiteral("tst_files.txt")));
            QVERIFY(now.contains("12\tHans\t"));
            QVERIFY(now.contains("13\tEva\t"));
            QVERIFY(
                Read(FDir.filePath(QStringLiteral("tst_files.vorher.txt"))).contains("Gestern"));
        }
        TickSource::UseSystem();
        // The exit backup of the same program run leaves the previous one alone.
        QVERIFY(Read(FDir.filePath(QStringLiteral("tst_files.vorher.txt"))).contains("Gestern"));
        QVERIFY(Read(FDir.filePath(QStringLiteral("tst_files.txt"))).contains("Hans"));
    }

    // Starting and quitting twice without a run must not push the last session's
    // results out of the kept backup.
    void startsWithoutRunsKeepTheLastResults() {
        Write(FDir, QStringLiteral("tst_files.txt"), "Start-Nr.\tName\t\r\n12\tHans\t55,10\t\r\n");
        QFile::remove(FDir.filePath(QStringLiteral("tst_files.vorher.txt")));
        for (int start = 0; start < 2; ++start)
            TFormMain w(Run);
        QVERIFY(Read(FDir.filePath(QStringLiteral("tst_files.vorher.txt"))).contains("Hans"));
    }

    // Runs of drivers without a start number reach the backup and read back the same.
    void runsWithoutStartNumberAreKept_data() {
        QTest::addColumn<int>("cars");
        QTest::addColumn<QStringList>("names");
        QTest::newRow("two cars, empty name boxes") << 2 << QStringList{"", ""};
        QTest::newRow("one car named Hans") << 1 << QStringList{"Hans"};
    }
    void runsWithoutStartNumberAreKept() {
        QFETCH(int, cars);
        QFETCH(QStringList, names);
        Run.Cars = cars;
        TFormMain w(Run);
        for (int i = 0; i < cars; ++i)
            w.FTimers[i + 1]->hcbName->SetText(names[i]);
        PlayRun(w);
        TSortGrid* g = w.SortGrid1;
        QCOMPARE(g->RowCount(), cars + 1);
        TFormMain v(Run);
        v.LoadProtocolText(w.BackupFileName());
        QCOMPARE(v.SortGrid1->RowCount(), g->RowCount());
        for (int r = 1; r < g->RowCount(); ++r)
            for (int c = 0; c <= pcBest; ++c)
                QCOMPARE(v.SortGrid1->Cells(c, r).trimmed(), g->Cells(c, r).trimmed());
    }

    // Started from the program's folder, the backup's own path is a file the user
    // may save or load; the backup of that program run must go elsewhere.
    void backupSparesTheUsersFile_data() {
        QTest::addColumn<bool>("saved");
        QTest::newRow("saved under the backup's name") << true;
        QTest::newRow("loaded from the backup's name") << false;
    }
    void backupSparesTheUsersFile() {
        QFETCH(bool, saved);
        QDir::setCurrent(ProgramDir());
        const QString own = QDir(ProgramDir()).absoluteFilePath(QStringLiteral("tst_files.txt"));
        const QString previous =
            QDir(ProgramDir()).absoluteFilePath(QStringLiteral("tst_files.vorher.txt"));
        QFile::remove(own);
        QFile::remove(previous);
        QByteArray users;
        QString backup, backupPrevious;
        Run.Cars = 1;
        {
            TFormMain w(Run);
            QVERIFY(QFileInfo(w.SaveDialog1->selectedFiles().value(0)).absoluteFilePath() != own);
            TFormMain::ExecFileDialog = [own](QFileDialog* d) {
                d->selectFile(own);
                return true;
            };
            if (saved) {
                w.SortGrid1->SetRows(1, {"1", "Anna"});
                w.sbSaveClick(nullptr);
            } else {
                QFile f(own);
                QVERIFY(f.open(QIODevice::WriteOnly));
                f.write("1;Anna\r\n");
                f.close();
                w.sbLoadClick(nullptr);
            }
            TFormMain::ExecFileDialog = nullptr;
            users = Read(own);
            QVERIFY(users.contains("Anna"));
            w.FrameTimer1->hcbName->SetText(QStringLiteral("Peter"));
            PlayRun(w);
            w.SortGrid1->Clear();
            backup = w.BackupFileName();
            backupPrevious = w.PreviousBackupFileName();
        }
        QCOMPARE(Read(own), users);
        QVERIFY(!QFileInfo::exists(previous));
        QVERIFY(backup != own);
        QVERIFY(QFileInfo::exists(backup));
        for (const QString& f : {own, backup, backupPrevious})
            QFile::remove(f);
    }

    // The name proposed for saving after a load, as the dialog returns it when the
    // operator just confirms: a name with dots keeps its extension, and the backup's
    // places (which the next program run overwrites) are never proposed.
    void saveProposalAfterLoad_data() {
        QTest::addColumn<QString>("loaded");
        QTest::addColumn<QString>("proposed");
        QTest::newRow("dated name") << "Lauf 07.12.txt"
                                    << "Lauf 07.12.txt";
        QTest::newRow("backup") << "tst_files.txt"
                                << "tst_files-Protokoll.txt";
        QTest::newRow("previous backup") << "tst_files.vorher.txt"
                                         << "tst_files-Protokoll.txt";
    }
    void saveProposalAfterLoad() {
        QFETCH(QString, loaded);
        QFETCH(QString, proposed);
        const QString path = Write(FDir, loaded, "1\tAnna\t\r\n");
        TFormMain w(Run);
        TFormMain::ExecFileDialog = [path](QFileDialog* d) {
            d->selectFile(path);
            return true;
        };
        w.sbLoadClick(nullptr);
        QString returned;
        TFormMain::ExecFileDialog = [&returned](QFileDialog* d) {
            returned = d->selectedFiles().value(0);
            return false;
        };
        w.sbSaveClick(nullptr);
        TFormMain::ExecFileDialog = nullptr;
        QCOMPARE(w.SortGrid1->Cells(1, 1), QStringLiteral("Anna"));
        QCOMPARE(QFileInfo(returned).fileName(), proposed);
    }

    // A path typed into the name box, as an operator does: both dialogs start in its folder.
    void dialogsStartInTheLastFolder_data() {
        QTest::addColumn<QString>("name");
        QTest::newRow("saved") << "abend/neu.txt";
        QTest::newRow("opened") << "abend/liste.txt";
    }
    void dialogsStartInTheLastFolder() {
        QFETCH(QString, name);
        const bool saves = name.endsWith(QLatin1String("neu.txt"));
        QDir(FDir.path()).mkpath(QStringLiteral("abend"));
        const QString path = saves ? FDir.filePath(name) : Write(FDir, name, "1;Anna\r\n");
        QFile::remove(FDir.filePath(QStringLiteral("abend/neu.txt")));
        TFormMain w(Run);
        TFormMain::ExecFileDialog = [path](QFileDialog* d) {
            d->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(path);
            static_cast<QDialog*>(d)->accept(); // the dialog's own reading of the name box
            return d->result() == QDialog::Accepted;
        };
        saves ? w.sbSaveClick(nullptr) : w.sbLoadClick(nullptr);
        TFormMain::ExecFileDialog = nullptr;
        QVERIFY(QFileInfo::exists(path));
        for (QFileDialog* d : {w.SaveDialog1, w.OpenDialog1})
            QCOMPARE(d->directory().absolutePath(), QFileInfo(path).absolutePath());
    }

    void closeAsksOnlyWhenModified() {
        TFormMain w(Run);
        w.show();
        QVERIFY(w.close()); // not modified: no question
        TFormMain v(Run);
        v.show();
        v.SortGrid1->SetRowCount(3); // modified
        QTimer::singleShot(0, [&v] { v.FDlgYesNo->NoBtn->click(); });
        QVERIFY(!v.close());
        QCOMPARE(v.FDlgYesNo->Label1->text(), QStringLiteral("Beenden?"));
        QTimer::singleShot(0, [&v] { v.FDlgYesNo->reject(); }); // the close box
        QVERIFY(!v.close());
        QTimer::singleShot(0, [&v] { v.FDlgYesNo->YesBtn->click(); });
        QVERIFY(v.close());
    }
};

QTEST_MAIN(TstFiles)
#include "tst_files.moc"

