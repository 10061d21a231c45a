// What the main window announces to its listeners, and the backup that follows
// every change of the protocol.
#include "FMain.h"
#include "TrackCorrections.h"
#include "Protocol.h"
#include "ProtocolFile.h"
#include "RunSnapshot.h"

#include <QDir>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

// What the next window starts from, as a program start would find it.
static TRunSettings Run;

namespace {

// Writes down every announcement as a line of text.
class TRecorder : public TRunListener {
public:
    QStringList Log;
    void RunEvent(const TRunNotice& n) override {
        static const char* kinds[] = {"START", "LAP", "FINISH", "DNF", "UNDO", "RESET"};
        static const char* sources[] = {"Taste", "Maus", "LS", "Fortsetzung"};
        Log << QStringLiteral("%1 car=%2 tick=%3 %4 n=%5 run=%6 names=%7/%8")
                   .arg(QLatin1String(kinds[int(n.Kind)]))
                   .arg(n.Car)
                   .arg(n.Tick)
                   .arg(QLatin1String(sources[int(n.Source)]))
                   .arg(n.EventCount)
                   .arg(n.RunNumber, n.Names[1], n.Names[2]);
    }
    void ResultsEntered(const TRunResults& r) override {
        for (const TEnteredResult& e : r.Rows)
            Log << QStringLiteral("RESULT run=%1 car=%2 row=%3%4 nr=%5 name=%6 laps=%7 ms=%8 "
                                  "total=%9 best=%10 %11")
                       .arg(r.RunNumber)
                       .arg(e.Car)
                       .arg(e.Row)
                       .arg(e.Appended ? "+" : "")
                       .arg(e.StartNumber, e.Name, e.LapTexts.join(QLatin1Char('|')))
                       .arg(e.LapMs.size())
                       .arg(e.TotalText + QLatin1Char('/') + QString::number(e.TotalMs),
                            e.BestText + QLatin1Char('/') + QString::number(e.BestMs),
                            e.Status == TEnteredResult::Dnf ? "DNF" : "ok");
    }
    void ProtocolChanged(const TProtocolChange& c) override {
        static const char* kinds[] = {"entered", "takenBack", "lapTyped", "cellEdited",
                                      "dns",     "deleted",   "cleared",  "ranked",
                                      "sorted",  "loaded",    "imported"};
        QString s = QStringLiteral("PROTOCOL %1").arg(QLatin1String(kinds[int(c.Kind)]));
        if (c.Row >= 0) s += QStringLiteral(" row=%1").arg(c.Row);
        if (c.Col >= 0) s += QStringLiteral(" col=%1").arg(c.Col);
        if (!c.Text.isEmpty()) s += QStringLiteral(" text=") + c.Text;
        if (!c.Name.isEmpty()) s += QStringLiteral(" name=") + c.Name;
        Log << s;
    }
};

// Plays the keys of a run: S L F START, LAP, FINISH, M START with the mouse,
// Z take back, 1/2 DNF, R RESET; each event one minute after the one before.
void Play(TFormMain& w, const QString& keys) {
    uint32_t tick = 10000;
    for (const QChar k : keys) {
        TickSource::SetManual(tick);
        tick += 60000;
        switch (k.toLatin1()) {
        case 'S': w.mStart->Click(); break;
        case 'L': w.mLAP->Click(); break;
        case 'F': w.mStop->Click(); break;
        case 'M': w.bStartMouseDown(w.bStart); break;
        case 'Z': w.Corrections().mUndo->Click(); break;
        case '1': w.Corrections().mDNF1->Click(); break;
        case '2': w.Corrections().mDNF2->Click(); break;
        case 'R': w.mReset->Click(); break;
        }
    }
}

QByteArray Read(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QByteArray TableBytes(const TFormMain& w) {
    QList<QStringList> rows;
    for (int r = 0; r < w.SortGrid1->RowCount(); ++r)
        rows << w.SortGrid1->Rows(r);
    return ProtocolFile::Encode(rows);
}

} // namespace

class TstListeners : public QObject {
    Q_OBJECT
    QTemporaryDir FDir;

private slots:
    void init() {
        QDir::setCurrent(FDir.path());
        TickSource::SetManual(1000);
    }
    void cleanup() { TickSource::UseSystem(); }

    // Every timing event reaches the listeners once, with its car, tick and source, and the
    // results of a finished run before the protocol change they make.
    void runEvents_data() {
        QTest::addColumn<int>("cars");
        QTest::addColumn<int>("laps");
        QTest::addColumn<QString>("keys");
        QTest::addColumn<QStringList>("log");
        const QString run = QStringLiteral(" run=1 names=12 Hans/Eva");
        QTest::newRow("one car, two laps, mouse START")
            << 1 << 2 << "MLF"
            << QStringList{"START car=1 tick=10000 Maus n=1" + run,
                           "LAP car=1 tick=70000 Taste n=2" + run,
                           "FINISH car=1 tick=130000 Taste n=3" + run,
                           "RESULT run=1 car=1 row=1 nr=12 name=Hans laps=1.00,00|1.00,00 ms=2 "
                           "total=2.00,00/120000 best=1.00,00/60000 ok",
                           "PROTOCOL entered"};
        QTest::newRow("two cars, second appended")
            << 2 << 2 << "SLSFLF"
            << QStringList{"START car=1 tick=10000 Taste n=1" + run,
                           "LAP car=1 tick=70000 Taste n=2" + run,
                           "START car=2 tick=130000 Taste n=3" + run,
                           "FINISH car=1 tick=190000 Taste n=4" + run,
                           "LAP car=2 tick=250000 Taste n=5" + run,
                           "FINISH car=2 tick=310000 Taste n=6" + run,
                           "RESULT run=1 car=1 row=1 nr=12 name=Hans laps=1.00,00|2.00,00 ms=2 "
                           "total=3.00,00/180000 best=1.00,00/60000 ok",
                           "RESULT run=1 car=2 row=2+ nr= name=Eva laps=2.00,00|1.00,00 ms=2 "
                           "total=3.00,00/180000 best=1.00,00/60000 ok",
                           "PROTOCOL entered"};
        QTest::newRow("a LAP taken back, RESET after the run")
            << 1 << 2 << "SLZLFR"
            << QStringList{"START car=1 tick=10000 Taste n=1" + run,
                           "LAP car=1 tick=70000 Taste n=2" + run,
                           "UNDO car=1 tick=70000 Taste n=1" + run,
                           "LAP car=1 tick=190000 Taste n=2" + run,
                           "FINISH car=1 tick=250000 Taste n=3" + run,
                           "RESULT run=1 car=1 row=1 nr=12 name=Hans laps=3.00,00|1.00,00 ms=2 "
                           "total=4.00,00/240000 best=1.00,00/60000 ok",
                           "PROTOCOL entered",
                           "RESET car=0 tick=0 Taste n=0" + run};
        QTest::newRow("finish taken back: results leave the protocol")
            << 1 << 2 << "SLFZ"
            << QStringList{"START car=1 tick=10000 Taste n=1" + run,
                           "LAP car=1 tick=70000 Taste n=2" + run,
                           "FINISH car=1 tick=130000 Taste n=3" + run,
                           "RESULT run=1 car=1 row=1 nr=12 name=Hans laps=1.00,00|1.00,00 ms=2 "
                           "total=2.00,00/120000 best=1.00,00/60000 ok",
                           "PROTOCOL entered",
                           "UNDO car=1 tick=130000 Taste n=2" + run,
                           "PROTOCOL takenBack"};
        QTest::newRow("car 2 drops out, the run is complete")
            << 2 << 2 << "SLSF2"
            << QStringList{"START car=1 tick=10000 Taste n=1" + run,
                           "LAP car=1 tick=70000 Taste n=2" + run,
                           "START car=2 tick=130000 Taste n=3" + run,
                           "FINISH car=1 tick=190000 Taste n=4" + run,
                           "DNF car=2 tick=250000 Taste n=6" + run,
                           "RESULT run=1 car=1 row=1 nr=12 name=Hans laps=1.00,00|2.00,00 ms=2 "
                           "total=3.00,00/180000 best=1.00,00/60000 ok",
                           "RESULT run=1 car=2 row=2+ nr= name=Eva laps=| ms=0 total=DNF/0 "
                           "best=/0 DNF",
                           "PROTOCOL entered"};
        QTest::newRow("refused events announce nothing") << 1 << 2 << "Z1" << QStringList();
    }
    void runEvents() {
        QFETCH(int, cars);
        QFETCH(int, laps);
        QFETCH(QString, keys);
        QFETCH(QStringList, log);
        Run.Cars = cars;
        Run.Laps = laps;
        TFormMain w(Run);
        w.FrameTimer1->hcbName->SetText(QStringLiteral("12 Hans"));
        w.FrameTimer2->hcbName->SetText(QStringLiteral("Eva"));
        TRecorder rec;
        w.AddRunListener(&rec);
        Play(w, keys);
        QCOMPARE(rec.Log, log);
        // Removed, it hears nothing more.
        w.RemoveRunListener(&rec);
        rec.Log.clear();
        Play(w, QStringLiteral("RS"));
        QCOMPARE(rec.Log, QStringList());
    }

    // Every change of the protocol is announced, and the backup holds it at once: a
    // crash right after a typed lap, a DNS, a deleted row or a ranking loses nothing.
    void protocolChanges_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QStringList>("log");
        QTest::newRow("lap typed") << "lap" << QStringList{"PROTOCOL lapTyped row=2 col=2 "
                                                           "text=9,99 name=Hans"};
        QTest::newRow("DNS") << "dns" << QStringList{"PROTOCOL dns row=1 name=Anna"};
        QTest::newRow("row deleted") << "delete" << QStringList{"PROTOCOL deleted row=1 name=Anna"};
        QTest::newRow("ranked") << "rank" << QStringList{"PROTOCOL ranked"};
        QTest::newRow("sorted by a column") << "sort" << QStringList{"PROTOCOL sorted"};
        QTest::newRow("cleared") << "clear" << QStringList{"PROTOCOL cleared"};
        QTest::newRow("name typed into the table")
            << "cell" << QStringList{"PROTOCOL cellEdited row=1 col=1 text=Berta"};
        QTest::newRow("start list loaded") << "load" << QStringList{"PROTOCOL loaded"};
        QTest::newRow("finish taken back")
            << "undo"
            << QStringList{"UNDO car=1 tick=130000 Taste n=2 run=1 names=Hans/",
                           "PROTOCOL takenBack"};
    }
    void protocolChanges() {
        QFETCH(QString, command);
        QFETCH(QStringList, log);
        Run.Cars = 1;
        Run.Laps = 2;
        TRecorder rec; // outlives the window, which still announces its last backup
        TFormMain w(Run);
        TSortGrid* g = w.SortGrid1;
        g->SetRowCount(3);
        g->SetRows(1, {"3", "Anna", "", "", "", "", "", "", "", ""});
        g->SetRows(2, {"12", "Hans", "1,00", "2,00", "", "", "", "3,00", "1,00", ""});
        w.FrameTimer1->hcbName->SetText(QStringLiteral("Hans"));
        if (command == QLatin1String("undo")) Play(w, QStringLiteral("SLF"));
        QFile::remove(w.BackupFileName());
        w.AddRunListener(&rec);
        const auto askText = TTrackCorrections::AskText;
        TTrackCorrections::AskText = [](const QString&, QString& text) {
            text = QStringLiteral("9,99");
            return true;
        };
        const QString list = FDir.filePath(QStringLiteral("liste.txt"));
        if (command == QLatin1String("lap")) {
            w.Corrections().EditLapCell(pcLap1, 2);
        } else if (command == QLatin1String("dns")) {
            g->SetRow(1);
            QTimer::singleShot(0, &w, [&w] { w.FDlgYesNo->YesBtn->click(); });
            w.Corrections().DNS1->Click();
        } else if (command == QLatin1String("delete")) {
            g->SetRow(1);
            w.Erase1->Click();
        } else if (command == QLatin1String("rank")) {
            w.Sortierenprotokoll1->Click();
        } else if (command == QLatin1String("sort")) {
            g->SortByColumn(pcName);
        } else if (command == QLatin1String("clear")) {
            QTimer::singleShot(0, [&w] { w.FDlgYesNo->YesBtn->click(); });
            w.sbClsAllClick(w.sbClsAll);
        } else if (command == QLatin1String("cell")) {
            g->model()->setData(g->model()->index(0, pcName), QStringLiteral("Berta"), Qt::EditRole);
        } else if (command == QLatin1String("load")) {
            QVERIFY(w.SaveProtocolText(list));
            g->SetCells(pcName, 1, QStringLiteral("Zoe"));
            w.LoadProtocolText(list);
        } else if (command == QLatin1String("undo")) {
            w.Corrections().mUndo->Click();
        }
        TTrackCorrections::AskText = askText;
        QCOMPARE(rec.Log, log);
        QCOMPARE(Read(w.BackupFileName()), TableBytes(w));
    }
};

QTEST_MAIN(TstListeners)
#include "tst_listeners.moc"

