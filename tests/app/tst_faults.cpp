// Faults of the disk, the database and the program's own files while runs are
// timed: every key goes on, nothing is lost, each fault is told once, no box.
#include "EventDb.h"
#include "EventsFeature.h"
#include "FMain.h"
#include "NoticeLine.h"
#include "Protocol.h"
#include "ProtocolFile.h"
#include "RunSnapshot.h"
#include "TickSource.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <memory>

static TRunSettings Run;

namespace {

enum TFault { fMessageBox, fErrorBox };

void TimeRun(TFormMain& w, const QString& name, uint32_t start) {
    w.FrameTimer1->hcbName->SetText(name);
    Next(w, start);
    Next(w, start + 60000);
    Next(w, start + 121000);
}

void Inject(TFault fault, TFormMain&) {
    switch (fault) {
    case fMessageBox: TFormMain::ShowMessage(QStringLiteral("Eine Meldung mitten im Lauf")); break;
    case fErrorBox: TFormMain::ShowError(QStringLiteral("Ein Fehler mitten im Lauf")); break;
    }
}

void Heal(TFault, TFormMain&) {}

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
        FBoxWatch.stop();
        TickSource::UseSystem();
    }

    // A fault in the middle of run 2; runs 2 and 3 are timed on.
    void faultDuringRun_data() {
        QTest::addColumn<int>("fault");
        QTest::addColumn<QString>("told");
        QTest::newRow("message box") << int(fMessageBox) << "Eine Meldung mitten im Lauf";
        QTest::newRow("error box") << int(fErrorBox) << "Ein Fehler mitten im Lauf";
    }
    void faultDuringRun() {
        QFETCH(int, fault);
        QFETCH(QString, told);
        TFormMain w(Run);
        w.Events->Store().RetryMs = 50;
        TimeRun(w, QStringLiteral("Anna"), 10000);
        w.mReset->Click();
        w.FrameTimer1->hcbName->SetText(QStringLiteral("Bernd"));
        Next(w, 200000);
        Inject(TFault(fault), w);
        Next(w, 260000);
        Next(w, 321000);
        w.mReset->Click();
        TimeRun(w, QStringLiteral("Carla"), 400000);
        Heal(TFault(fault), w);
        w.mReset->Click();

        const QStringList all{QStringLiteral("Anna"), QStringLiteral("Bernd"), QStringLiteral("Carla")};
        QCOMPARE(ProtocolNames(w), all);
        QTRY_COMPARE_WITH_TIMEOUT(DatabaseNames(w), all, 5000);
        w.WriteBackup();
        QCOMPARE(BackupNames(w.BackupFileName()), all);
        int problems = 0;
        for (const QString& n : w.NoticeLine->Notices())
            problems += n.contains(told) ? 1 : 0;
        QCOMPARE(problems, 1);
        QVERIFY2(FBoxes.isEmpty(), qPrintable(FBoxes.join('\n')));
        QVERIFY(!w.NoticeLine->isHidden());
    }
};

QTEST_MAIN(TstFaults)
#include "tst_faults.moc"
