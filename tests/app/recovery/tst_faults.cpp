// Faults of the disk, the database and the program's own files while runs are
// timed: every key goes on, nothing is lost, each fault is told once, no box.
#include "EventDb.h"
#include "BackupFile.h"
#include "DurableFile.h"
#include "EventsFeature.h"
#include "FMain.h"
#include "FolderLock.h"
#include "ProgramInfo.h"
#include "NoticeLine.h"
#include "Protocol.h"
#include "ProtocolFile.h"
#include "Recovery.h"
#include "RunSnapshot.h"
#include "TickSource.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <cerrno>
#include <memory>

static TRunSettings Run;

namespace {

enum TFault { fMessageBox, fErrorBox, fFullDisk, fFullDiskCrash, fLockedDb, fDeletedLog, fReplacedDb, fDeletedDb, fSecondCopy };

QString SecondCopyTold; // what a second start in the folder said

void TimeRun(TFormMain& w, const QString& name, uint32_t start) {
    TimeLaps(w, name, start, 60000, 61000);
}

// Holds the write lock of a database as another program would.
struct TLocker {
    explicit TLocker(const QString& path) {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("locker"));
        db.setDatabaseName(path);
        QVERIFY(db.open());
        QVERIFY(QSqlQuery(db).exec(QStringLiteral("BEGIN EXCLUSIVE")));
    }
    ~TLocker() {
        {
            QSqlDatabase db = QSqlDatabase::database(QStringLiteral("locker"));
            QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
            db.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("locker"));
    }
};
std::unique_ptr<TLocker> Locker;

void Inject(TFault fault, TFormMain& w) {
    switch (fault) {
    case fMessageBox: TFormMain::ShowMessage(QStringLiteral("Eine Meldung mitten im Lauf")); break;
    case fErrorBox: TFormMain::ShowError(QStringLiteral("Ein Fehler mitten im Lauf")); break;
    case fFullDisk:
    case fFullDiskCrash:
        FileFault = [backup = w.BackupFileName()](const QString& file) {
            return TBackupFile::SameFile(file, backup) ? ENOSPC : 0;
        };
        break;
    case fLockedDb:
        // Another program writes into the file and keeps it: the records wait in the spool.
        Locker = std::make_unique<TLocker>(w.Events->DatabasePath());
        break;
    case fDeletedLog:
        w.Events->Store().Flush();
        QVERIFY(QFile::remove(w.Events->DatabasePath() + QStringLiteral("-wal")));
        break;
    case fSecondCopy: {
        // The running copy holds the folder; a second start there ends at once.
        const QString folder = QFileInfo(w.BackupFileName()).absolutePath();
        TFolderLock running(folder, ProgramTitle()), second(folder, ProgramTitle());
        QString told;
        QVERIFY(running.TryLock(told));
        QVERIFY(!second.TryLock(SecondCopyTold));
        QVERIFY(SecondCopyTold.contains(QString::number(QCoreApplication::applicationPid())));
        break;
    }
    case fReplacedDb:
    case fDeletedDb: {
        w.Events->Store().Flush();
        const QString db = w.Events->DatabasePath();
        QVERIFY(QFile::rename(db, db + QStringLiteral(".weg")));
        if (fault == fReplacedDb) {
            QFile other(db);
            QVERIFY(other.open(QIODevice::WriteOnly));
            other.write("Startnummern\n");
        }
        break;
    }
    }
}

// A window left as a kill leaves it: its journal on the disk, never shut down.
void Kill(TFormMain* w) {
    w->Recovery().FJournal.Flush();
    w->FTimers[1]->Clock->stop();
    w->hide();
}

// Ends the fault; the window may be a new one, started after a kill.
void Heal(TFault fault, std::unique_ptr<TFormMain>& w, QStringList& told) {
    FileFault = nullptr;
    if (!SecondCopyTold.isEmpty()) told << SecondCopyTold;
    SecondCopyTold.clear();
    // Let go only once the store gave up waiting for it.
    if (fault == fLockedDb) QTRY_VERIFY_WITH_TIMEOUT(!w->NoticeLine->Notices().isEmpty(), 5000);
    Locker.reset();
    if (fault == fFullDisk) {
        w->WriteBackup(); // the next change writes it again, and says so
        QCOMPARE(w->NoticeLine->Notices().last(),
                 QStringLiteral("Sicherung wieder geschrieben: ") + QDir::toNativeSeparators(w->BackupFileName()));
    }
    if (fault != fFullDiskCrash) return;
    // As a full disk once left it: the backup empty, then the program killed.
    const QString backup = w->BackupFileName();
    QFile(backup).resize(0);
    told << w->NoticeLine->Notices();
    Kill(w.get());
    w.release(); // never shut down
    w = std::make_unique<TFormMain>(Run);
    told << w->StatusPanels[1]->text();
}

QStringList Names(const QList<QStringList>& rows) {
    QStringList names;
    for (const QStringList& r : rows)
        if (!r.value(pcName).trimmed().isEmpty() && r.value(pcName) != ProtocolCaptions[pcName])
            names << r.value(pcName);
    names.sort();
    return names;
}

QStringList ProtocolNames(const TFormMain& w) {
    QList<QStringList> rows;
    for (int r = 1; r < w.SortGrid1->RowCount(); ++r)
        rows << w.SortGrid1->Rows(r);
    return Names(rows);
}

QStringList BackupNames(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return Names(ProtocolFile::ParseRows(ProtocolFile::DecodeText(f.readAll())));
}

QStringList DatabaseNames(TFormMain& w) {
    w.Events->Store().Flush();
    TEventDb db;
    if (!db.OpenForReading(w.Events->DatabasePath())) return {};
    QStringList names;
    for (const TEffectiveRun& r : db.EffectiveRuns(w.Events->Recorder().CurrentEvent()))
        names << r.Run.Name;
    names.sort();
    return names;
}

} // namespace

class TstFaults : public QObject {
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> FDir;
    QStringList FBoxes; // every modal box that came up, closed at once
    QTimer FBoxWatch;

private slots:
    void initTestCase() {
        FBoxWatch.setInterval(20);
        connect(&FBoxWatch, &QTimer::timeout, this, [this] {
            if (QWidget* box = QApplication::activeModalWidget()) {
                FBoxes << box->windowTitle();
                box->close();
            }
        });
    }
    void init() {
        FDir = std::make_unique<QTemporaryDir>();
        QDir::setCurrent(FDir->path());
        TickSource::SetManual(1000);
        Run.Cars = 1;
        Run.Laps = 2;
        FBoxes.clear();
        FBoxWatch.start();
    }
    void cleanup() {
        FileFault = nullptr;
        FBoxWatch.stop();
        TickSource::UseSystem();
    }

    // A fault in the middle of run 2; runs 2 and 3 are timed on.
    void faultDuringRun_data() {
        QTest::addColumn<int>("fault");
        QTest::addColumn<QString>("told");
        QTest::newRow("message box") << int(fMessageBox) << "Eine Meldung mitten im Lauf";
        QTest::newRow("error box") << int(fErrorBox) << "Ein Fehler mitten im Lauf";
        QTest::newRow("full disk") << int(fFullDisk) << "Der Datenträger ist voll";
        QTest::newRow("full disk, killed") << int(fFullDiskCrash) << "aus der Datenbank wiederhergestellt";
        QTest::newRow("locked database") << int(fLockedDb) << "von einem anderen Programm gesperrt";
        QTest::newRow("deleted log") << int(fDeletedLog) << "Schreibprotokoll";
        QTest::newRow("replaced database") << int(fReplacedDb) << "andere Datei bleibt unverändert";
        QTest::newRow("deleted database") << int(fDeletedDb) << "vollständig wiederhergestellt";
        QTest::newRow("second copy") << int(fSecondCopy) << "läuft in diesem Ordner schon";
    }
    void faultDuringRun() {
        QFETCH(int, fault);
        QFETCH(QString, told);
        auto w = std::make_unique<TFormMain>(Run);
        w->Events->Store().RetryMs = 50;
        w->Events->Store().CheckpointIdleMs = 600000; // the runs stay in the log file
        TimeRun(*w, QStringLiteral("Anna"), 10000);
        w->mReset->Click();
        w->FrameTimer1->hcbName->SetText(QStringLiteral("Bernd"));
        Next(*w, 200000);
        Inject(TFault(fault), *w);
        Next(*w, 260000);
        Next(*w, 321000);
        w->mReset->Click();
        TimeRun(*w, QStringLiteral("Carla"), 400000);
        w->mReset->Click();
        QStringList notices;
        Heal(TFault(fault), w, notices);

        const QStringList all{QStringLiteral("Anna"), QStringLiteral("Bernd"), QStringLiteral("Carla")};
        QCOMPARE(ProtocolNames(*w), all);
        QTRY_COMPARE_WITH_TIMEOUT(DatabaseNames(*w), all, 5000);
        w->WriteBackup();
        QCOMPARE(BackupNames(w->BackupFileName()), all);
        QTest::qWait(100); // a second message would come now
        notices << w->NoticeLine->Notices();
        QCOMPARE(notices.filter(told).size(), 1);
        QVERIFY2(FBoxes.isEmpty(), qPrintable(FBoxes.join('\n')));
    }
};

QTEST_MAIN(TstFaults)
#include "tst_faults.moc"
