// The event database at the main window: every run kept, corrections recorded and
// shown in the "Läufe" window, runs put back into the protocol, and a damaged
// database that never stops the program.
#include "EventsFeature.h"
#include "ProgramInfo.h"
#include "FMain.h"
#include "NoticeLine.h"
#include "OneCarTest.h"
#include "TrackCorrections.h"
#include "FRuns.h"
#include "Protocol.h"
#include "RunSnapshot.h"

#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

// What the next window starts from, as a program start would find it.
static TRunSettings Run;

namespace {

// One car, two laps: a run of "Hans" (or of the name box's entrant) with laps of lap1 and lap2 ms.
void TimeRun(TFormMain& w, uint32_t start, int lap1, int lap2, bool hans = true) {
    if (hans) w.FrameTimer1->hcbName->SetText(QStringLiteral("Hans"));
    Next(w, start);
    Next(w, start + uint32_t(lap1));
    Next(w, start + uint32_t(lap1 + lap2));
}

std::vector<TEffectiveRun> RunsOf(TFormMain& w) {
    w.Events->Store().Flush();
    TEventDb db;
    if (!db.OpenForReading(w.Events->DatabasePath())) return {};
    return db.EffectiveRuns(w.Events->Recorder().CurrentEvent());
}

QStringList HistoryOf(TFormRuns* f, int row) {
    f->SelectRow(row);
    QStringList h;
    for (int i = 0; i < f->lbHistory->count(); ++i)
        h << f->lbHistory->item(i)->text().section(QLatin1Char(' '), 1, -1);
    return h;
}

// An event of 1,000 runs, recorded order: "Fahrer 0" … "Fahrer 49" in turn, the
// ten oldest runs by drivers of their own ("Alt 0" … "Alt 9").
QString LongEvent(const QString& path) {
    TEventDb db;
    if (db.OpenForWriting(path).Problem != TEventDb::TProblem::None) return {};
    TEventInfo e;
    e.Title = QStringLiteral("Lang");
    e.Date = QDate(2026, 12, 7);
    e.Station = QStringLiteral("Start");
    e.Uuid = NewRecordUuid();
    std::vector<TEventDb::TRecord> recs{e};
    for (int i = 0; i < 1000; ++i) {
        TRunRecord r;
        r.EventUuid = e.Uuid;
        r.Station = e.Station;
        r.RecordedMs = 1796636673325 + i * 1000;
        r.RunNo = QString::number(i);
        r.StartNo = QString::number(i % 50 + 1);
        r.Name = i < 10 ? QStringLiteral("Alt %1").arg(i) : QStringLiteral("Fahrer %1").arg(i % 50);
        r.LapMs = {60000, 60000 + i, -1, -1, -1};
        RecomputeTotals(r);
        recs.push_back(r);
    }
    return db.Write(recs) ? e.Uuid : QString();
}

} // namespace

class TstEventsApp : public TOneCarTest {
    Q_OBJECT

private slots:
    void init() { InitOneCar(Run); }
    void cleanup() { TickSource::UseSystem(); }

    // Corrections are records of their own; the window lists each run with its history.
    void correctionsInTheWindow_data() {
        QTest::addColumn<QString>("correction");
        QTest::addColumn<QStringList>("protocolTotals");
        QTest::addColumn<QStringList>("listed"); // name, total, status of each run, newest first
        QTest::addColumn<QStringList>("history"); // of the newest run
        QTest::newRow("two runs of one driver: two records, the protocol shows the second")
            << "" << QStringList{"1.58,00"} << QStringList{"Hans 1.58,00 ", "Hans 2.01,00 "}
            << QStringList{"gezeitet, Lauf 1"};
        QTest::newRow("Ctrl+Z takes the second run back, it stays listed")
            << "undo" << QStringList{"2.01,00"}
            << QStringList{"Hans 1.58,00 zurückgenommen", "Hans 2.01,00 "}
            << QStringList{"gezeitet, Lauf 1", "zurückgenommen (Strg+Z)"};
        QTest::newRow("typed lap is recorded against the run in the row")
            << "lap" << QStringList{"1.56,99"} << QStringList{"Hans 1.56,99 ", "Hans 2.01,00 "}
            << QStringList{"gezeitet, Lauf 1", "Runde 1 getippt: 57,99"};
        QTest::newRow("DNS on the row") << "dns" << QStringList{"DNS"}
                                        << QStringList{"Hans DNS DNS", "Hans 2.01,00 "}
                                        << QStringList{"gezeitet, Lauf 1", "nicht gestartet (DNS)"};
    }
    void correctionsInTheWindow() {
        QFETCH(QString, correction);
        QFETCH(QStringList, protocolTotals);
        QFETCH(QStringList, listed);
        QFETCH(QStringList, history);
        TFormMain w(Run);
        w.eTitle->setText(QStringLiteral("Training"));
        w.eNR->setText(QStringLiteral("1"));
        TimeRun(w, 10000, 60000, 61000);
        w.mReset->Click();
        TimeRun(w, 200000, 59000, 59000);
        if (correction == QLatin1String("undo")) {
            w.Corrections().mUndo->Click();
        } else if (correction == QLatin1String("lap")) {
            const auto saved = TTrackCorrections::AskText;
            TTrackCorrections::AskText = [](const QString&, QString& text) {
                text = QStringLiteral("57,99");
                return true;
            };
            w.Corrections().EditLapCell(pcLap1, 1);
            TTrackCorrections::AskText = saved;
        } else if (correction == QLatin1String("dns")) {
            w.SortGrid1->SetRow(1);
            QTimer::singleShot(0, [&w] { w.FDlgYesNo->YesBtn->click(); });
            w.Corrections().DNS1->Click();
        }
        QStringList totals;
        for (int r = 1; r < w.SortGrid1->RowCount(); ++r)
            totals << w.SortGrid1->Cells(pcTotal, r);
        QCOMPARE(totals, protocolTotals);
        QCOMPARE(RunsOf(w).size(), size_t(2));

        w.Events->mRuns->Click();
        TFormRuns* f = w.Events->Window();
        QVERIFY(f && f->isVisible());
        QStringList shown;
        for (int row = 0; row < f->Model->rowCount(); ++row) {
            const QStringList t = f->Model->RowTexts(row);
            const int total = f->Model->Header().indexOf(QStringLiteral("Gesamtzeit"));
            const int status = f->Model->Header().indexOf(QStringLiteral("Status"));
            shown << t[4] + QLatin1Char(' ') + t[total] + QLatin1Char(' ') + t[status];
        }
        QCOMPARE(shown, listed);
        QCOMPARE(HistoryOf(f, 0), history);
    }

    // "In Protokoll übernehmen" brings back the first run that the second overwrote.
    void putBackIntoTheProtocol() {
        TFormMain w(Run);
        TimeRun(w, 10000, 60000, 61000);
        w.mReset->Click();
        TimeRun(w, 200000, 59000, 59000);
        w.Events->mRuns->Click();
        TFormRuns* f = w.Events->Window();
        QCOMPARE(f->Model->rowCount(), 2);
        f->SelectRow(1); // the older run
        f->bToProtocol->click();
        QCOMPARE(w.SortGrid1->RowCount(), 2);
        QCOMPARE(w.SortGrid1->Cells(pcTotal, 1), QStringLiteral("2.01,00"));
        QCOMPARE(w.SortGrid1->Cells(pcName, 1), QStringLiteral("Hans"));
        const std::vector<TEffectiveRun> runs = RunsOf(w);
        QCOMPARE(runs[0].History.size(), size_t(1));
        QCOMPARE(runs[0].History[0].Kind, CorrectionKind::ToProtocol);
        // Loading the event gives the latest run of every driver.
        w.SortGrid1->SetModified(false);
        w.StatusPanels[0]->setText(QStringLiteral("3 von 3")); // the rows before: counted anew
        w.Events->mLoadEvent->Click();
        QCOMPARE(w.SortGrid1->RowCount(), 2);
        QCOMPARE(w.SortGrid1->Cells(pcTotal, 1), QStringLiteral("1.58,00"));
        QCOMPARE(w.StatusPanels[0]->text(), QStringLiteral("1 von 1"));
    }

    // A database the program cannot use never stops it and is never written over.
    void unusableDatabaseAtStart_data() {
        QTest::addColumn<QByteArray>("contents");
        QTest::addColumn<QString>("keptAs");
        QByteArray truncated("SQLite format 3\0", 16);
        truncated += QByteArray(84, '\x01');
        QTest::newRow("truncated database") << truncated << "defekt";
        QTest::newRow("a text file") << QByteArray("12\tHans\r\n") << "fremd";
    }
    void unusableDatabaseAtStart() {
        QFETCH(QByteArray, contents);
        QFETCH(QString, keptAs);
        const QString path = QDir::current().absoluteFilePath(ProgramTitle() + QStringLiteral(".db"));
        {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(contents);
        }
        TFormMain w(Run);
        TimeRun(w, 10000, 60000, 61000);
        QCOMPARE(RunsOf(w).size(), size_t(1));
        // Told in the notice area: the run went on without a box.
        QTRY_COMPARE(w.NoticeLine->Notices().size(), 1);
        const QString told = w.NoticeLine->Notices()[0];
        QVERIFY(FMessages.isEmpty());
        QVERIFY(told.contains(QDir::toNativeSeparators(path)));
        const QStringList kept = QDir::current().entryList({ProgramTitle() + QLatin1Char('.') + keptAs + QStringLiteral("-*.db")});
        QCOMPARE(kept.size(), 1);
        QVERIFY(told.contains(kept[0]));
        QFile k(kept[0]);
        QVERIFY(k.open(QIODevice::ReadOnly));
        QCOMPARE(k.readAll(), contents);
    }

    // A long list shows its newest runs at once and reads the rest on; what needs
    // all of it (filter, export, protocol, a reload's choice) gets all of it.
    void longListReadOn_data() {
        QTest::addColumn<QString>("action");
        QTest::addColumn<int>("rows");
        QTest::newRow("every run listed in the end, newest first") << "" << 1000;
        QTest::newRow("filter typed while the list is read") << "filter" << 19;
        QTest::newRow("CSV export while the list is read") << "csv" << 1000;
        QTest::newRow("protocol from the event while the list is read") << "protocol" << 60;
        QTest::newRow("reload keeps a run chosen far down") << "reload" << 1000;
    }
    void longListReadOn() {
        QFETCH(QString, action);
        QFETCH(int, rows);
        const QString path = QDir::current().absoluteFilePath(QStringLiteral("lang.db"));
        const QString event = LongEvent(path);
        QVERIFY(!event.isEmpty());
        TFormRuns f;
        f.Load(path, event);
        QVERIFY(f.Loading());
        QVERIFY(f.Model->rowCount() > 0 && f.Model->rowCount() < 1000);
        QCOMPARE(f.SelectedRun()->Run.RunNo, QStringLiteral("999"));
        if (action == QLatin1String("filter")) {
            f.eFilter->setText(QStringLiteral("FAHRER 7"));
        } else if (action == QLatin1String("csv")) {
            QVERIFY(f.ExportCsv(QStringLiteral("laeufe.csv")));
            QFile csv(QStringLiteral("laeufe.csv"));
            QVERIFY(csv.open(QIODevice::ReadOnly));
            QCOMPARE(csv.readAll().count("\r\n"), rows + 1);
            return;
        } else if (action == QLatin1String("protocol")) {
            QCOMPARE(int(f.LatestRunPerDriver().size()), rows);
            return;
        } else if (action == QLatin1String("reload")) {
            QTRY_VERIFY(!f.Loading());
            f.SelectRow(995);
            QCOMPARE(f.SelectedRun()->Run.Name, QStringLiteral("Alt 4"));
            f.Reload();
        }
        QTRY_VERIFY_WITH_TIMEOUT(!f.Loading(), 20000);
        QCOMPARE(f.Model->rowCount(), rows);
        for (int row = 1; row < f.Model->rowCount(); ++row)
            QVERIFY(f.Model->RunAt(row - 1)->Run.RecordedMs > f.Model->RunAt(row)->Run.RecordedMs);
        if (action == QLatin1String("reload")) QCOMPARE(f.SelectedRun()->Run.Name, QStringLiteral("Alt 4"));
    }

    // Started again within today's event, settings without a title: the event's title,
    // and its round goes on down the start list as RESET would have gone on.
    void restartWithinTheEvent() {
        QList<QStringList> list;
        for (const char* name : {"Anna", "Bert", "Cleo"})
            list << QStringList{QString(), QLatin1String(name)};
        {
            TFormMain w(Run);
            w.eTitle->setText(QStringLiteral("Clubslalom"));
            w.FillStartList(list);
            for (int i = 0; i < 4; ++i) { // round 1, then Anna in round 2
                TimeRun(w, 10000 + uint32_t(i) * 200000, 60000, 61000, false);
                w.mReset->Click();
            }
        }
        TFormMain w(Run);
        QCOMPARE(w.eTitle->text(), QStringLiteral("Clubslalom"));
        QCOMPARE(w.eNR->text(), QStringLiteral("2"));
        QTRY_VERIFY(w.StatusPanels[1]->text().contains(QStringLiteral("Lauf 2")));
        w.FillStartList(list);
        QCOMPARE(w.FrameTimer1->hcbName->Text(), QStringLiteral("Bert"));
    }

    // kill -9 right after the results of a run entered the protocol: the run is in the database.
    void killNineAfterFinish() {
        const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("xvfb-run"));
        const QString xdotool = QStandardPaths::findExecutable(QStringLiteral("xdotool"));
        if (xvfb.isEmpty() || xdotool.isEmpty()) QSKIP("xvfb-run and xdotool are not installed");
        QTemporaryDir dir;
        const QString exe = dir.filePath(QStringLiteral("Zeitnahme"));
        QVERIFY(QFile::copy(QStringLiteral(ZEITNAHME_EXE), exe));
        const QString script = dir.filePath(QStringLiteral("kill.sh"));
        QFile f(script);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(R"SH(set -u
cd "$1"
export XDG_CONFIG_HOME="$1/config" QT_QPA_PLATFORM=xcb
waitfor() { for i in $(seq 200); do grep -qP "$1" Zeitnahme.journal 2>/dev/null && return 0; sleep 0.05; done; echo "no $1"; exit 1; }
./Zeitnahme & pid=$!
xdotool windowfocus --sync "$(xdotool search --sync --name '^Zeitnahme v')"
xdotool key F5 F4 F5 F9 F4 F9; waitfor '\tRESULT'
sleep 0.2
kill -9 $pid; wait $pid
exit 0
)SH");
        f.close();
        QProcess p;
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(xvfb, {QStringLiteral("-a"), QStringLiteral("-s"),
                       QStringLiteral("-screen 0 1024x768x24"), QStringLiteral("bash"), script,
                       dir.path()});
        QVERIFY(p.waitForFinished(90000));
        QVERIFY2(p.exitCode() == 0, p.readAll().constData());
        TEventDb db;
        QVERIFY(db.OpenForReading(dir.filePath(QStringLiteral("Zeitnahme.db"))));
        const std::vector<TEventInfo> events = db.Events();
        QCOMPARE(events.size(), size_t(1));
        const std::vector<TRunRecord> runs = db.Runs(events[0].Uuid);
        QCOMPARE(runs.size(), size_t(2)); // both cars
        QCOMPARE(db.RunEvents(runs[0].Uuid).size(), size_t(3));
        QCOMPARE(db.RunEvents(runs[0].Uuid)[0].Source, QStringLiteral("Taste"));
    }
};

QTEST_MAIN(TstEventsApp)
#include "tst_events_app.moc"

