// The event journal of the main window and picking up an interrupted run.
#include "DurableFile.h"
#include "EventsFeature.h"
#include "FMain.h"
#include "ProgramInfo.h"
#include "Recovery.h"
#include "LiveResults.h"
#include "Journal.h"
#include "Protocol.h"
#include "ProtocolFile.h"
#include "RunSnapshot.h"
#include "TickSource.h"

#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <sys/stat.h>

// What the next window starts from, as a program start would find it.
static TRunSettings Run;

namespace {

void Prepare(TFormMain& w) {
    w.FrameTimer1->hcbName->SetText(QStringLiteral("12 Hans Meier"));
    w.FrameTimer2->hcbName->SetText(QStringLiteral("7 Anna Łukasz"));
    w.eTitle->setText(QStringLiteral("Sprint\tHockenheim"));
    w.eNR->setText(QStringLiteral("4"));
}

void AnswerYes() {
    QTimer::singleShot(0, [] {
        if (auto* d = qobject_cast<TFDlgYesNo*>(QApplication::activeModalWidget()))
            d->YesBtn->click();
    });
}

QByteArray FileBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QList<Journal::TLine> JournalLines(const QString& path) {
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    QList<Journal::TLine> lines;
    for (const QByteArray& l : f.readAll().split('\n')) {
        Journal::TLine line;
        if (Journal::ParseLine(l, line)) lines << line;
    }
    return lines;
}

// A window left as a kill leaves it: its journal on the disk, never shut down.
void Kill(TFormMain* w) {
    w->Recovery().FJournal.Flush();
    for (int car = 1; car <= 2; ++car)
        w->FTimers[car]->Clock->stop();
    w->hide();
}

// Every wall time of the journal moved back: the program was down that long.
void Downtime(const QString& path, int ms) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QByteArray out;
    for (const QByteArray& line : f.readAll().split('\n')) {
        Journal::TLine l;
        if (!line.isEmpty() && Journal::ParseLine(line, l))
            out += Journal::EventLine(l.Wall.addMSecs(-ms), l.Event, l.Fields);
        else if (!line.isEmpty())
            out += line + '\n';
    }
    f.close();
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(out);
}

// The totals of the backup's rows.
QStringList BackupTotals(const QString& path) {
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    QStringList totals;
    for (const QStringList& row : ProtocolFile::ParseRows(ProtocolFile::DecodeText(f.readAll())))
        if (row.size() > pcTotal && !row[pcTotal].trimmed().isEmpty()) totals << row[pcTotal];
    return totals;
}

QStringList Totals(const TFormMain& w) {
    QStringList totals;
    for (int r = 1; r < w.SortGrid1->RowCount(); ++r)
        if (!w.SortGrid1->Cells(pcTotal, r).trimmed().isEmpty())
            totals << w.SortGrid1->Cells(pcTotal, r);
    return totals;
}

bool XvfbAvailable() {
    return !QStandardPaths::findExecutable(QStringLiteral("xvfb-run")).isEmpty() &&
           !QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty();
}

// Runs the shell script under Xvfb in dir (its first argument), beside a copy of the
// program named "Zeitnahme". A null result when it ran through, else what it printed.
QByteArray RunUnderXvfb(const QString& dir, const QByteArray& script, int timeoutMs) {
    const QString path = QDir(dir).filePath(QStringLiteral("script.sh"));
    QFile f(path);
    if (!QFile::copy(QStringLiteral(ZEITNAHME_EXE),
                     QDir(dir).filePath(QStringLiteral("Zeitnahme"))) ||
        !f.open(QIODevice::WriteOnly) || f.write(script) != script.size())
        return "cannot prepare " + QFile::encodeName(dir);
    f.close();
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QStandardPaths::findExecutable(QStringLiteral("xvfb-run")),
            {QStringLiteral("-a"), QStringLiteral("-s"), QStringLiteral("-screen 0 1024x768x24"),
             QStringLiteral("bash"), path, dir});
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
        return "timed out: " + p.readAll();
    }
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return "failed: " + p.readAll();
    return QByteArray();
}

} // namespace

class TstRecovery : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { TickSource::UseSystem(); }

    // Killed after every event: the run picked up again equals a run that went through.
    void killAtEveryStep_data() {
        QTest::addColumn<int>("cars");
        QTest::addColumn<int>("laps");
        QTest::addColumn<int>("kill");
        // The run reached the database, the journal and the backup not its results:
        // 1 the backup was never written (the protocol comes from the database), 2 it
        // holds the protocol before the run.
        QTest::addColumn<int>("resultsLost");
        for (int k = 0; k <= 4; ++k)
            QTest::addRow("one car, 3 laps, after %d", k) << 1 << 3 << k << 0;
        for (int k = 0; k <= 6; ++k)
            QTest::addRow("two cars, after %d", k) << 2 << 2 << k << 0;
        QTest::newRow("one car, in the database only, no backup") << 1 << 3 << 4 << 1;
        QTest::newRow("two cars, in the database only, no backup") << 2 << 2 << 6 << 1;
        QTest::newRow("one car, in the database only, backup before it") << 1 << 3 << 4 << 2;
        QTest::newRow("two cars, in the database only, backup before it") << 2 << 2 << 6 << 2;
    }
    void killAtEveryStep() {
        QFETCH(int, cars);
        QFETCH(int, laps);
        QFETCH(int, kill);
        QFETCH(int, resultsLost);
        const QList<uint32_t> ticks =
            cars == 1 ? QList<uint32_t>{10000, 71234, 131105, 193110}
                      : QList<uint32_t>{10000, 65100, 66600, 120300, 123310, 179750};
        const int n = ticks.size();
        QTemporaryDir refDir, dir;

        QDir::setCurrent(refDir.path());
        Run.Cars = cars;
        Run.Laps = laps;
        TFormMain r(Run);
        Prepare(r);
        QStringList snaps{Snapshot(r)};
        for (int i = 0; i < n; ++i) {
            Next(r, ticks[i]);
            snaps << Snapshot(r);
        }

        QDir::setCurrent(dir.path());
        auto* abandoned = new TFormMain(Run); // never shut down, as after a crash
        Prepare(*abandoned);
        QByteArray backupBefore;
        if (resultsLost == 2) abandoned->WriteBackup();
        for (int i = 0; i < kill; ++i) {
            if (i + 1 == n) backupBefore = FileBytes(abandoned->BackupFileName());
            Next(*abandoned, ticks[i]);
        }
        abandoned->Recovery().FJournal.Flush();
        for (int car = 1; car <= 2; ++car)
            abandoned->FTimers[car]->Clock->stop();
        if (resultsLost) {
            QVERIFY(abandoned->Events->Store().Flush());
            // Killed after the commit: the lines after FINISH and the backup's row are lost.
            const QString journal = abandoned->Recovery().JournalFileName();
            QByteArray kept;
            for (const QByteArray& line : FileBytes(journal).split('\n')) {
                if (!line.isEmpty()) kept += line + '\n';
                Journal::TLine l;
                if (Journal::ParseLine(line, l) && l.Event == "FINISH" && l.Value("Ereignis") == QString::number(n)) break;
            }
            QVERIFY(ReplaceFileContents(journal, kept));
            QVERIFY(ReplaceFileContents(abandoned->BackupFileName(), backupBefore));
        }

        Run.Cars = 2; // the settings of the next program run may differ
        Run.Laps = 2;
        TickSource::SetManual(ticks[qMax(0, kill - 1)] + 700);
        TFormMain w(Run);
        QCOMPARE(w.Recovery().FInterrupted.Found, kill > 0 && (kill < n || resultsLost > 0));
        if (!w.Recovery().FInterrupted.Found) return;
        if (resultsLost) {
            // Safely recorded: not offered again, the protocol gets its row, nothing twice.
            QTimer::singleShot(0, &w, [&w] {
                if (w.FDlgYesNo->isVisible()) w.FDlgYesNo->NoBtn->click(); // asked after all
            });
            w.Recovery().Offer();
            QVERIFY(w.StatusPanels[1]->text().contains(resultsLost == 1 ? QStringLiteral("schon gespeichert und steht im Protokoll")
                                                                       : QStringLiteral("schon gespeichert: ins Protokoll")));
            QCOMPARE(Rows(w), Rows(r));
            QVERIFY(w.Events->Store().Flush());
            TEventDb db;
            QVERIFY(db.OpenForReading(w.Events->DatabasePath()));
            QCOMPARE(db.RunCount(), qint64(cars));
            QCOMPARE(BackupTotals(w.BackupFileName()), Totals(r));
            return;
        }
        // A start list as the restored protocol gives it: names without their numbers.
        const QStringList list{"1 Vorne", "Hans Meier", "Anna Łukasz"};
        w.FrameTimer1->hcbName->SetItems(list);
        w.FrameTimer2->hcbName->SetItems(list);
        AnswerYes();
        w.Recovery().Offer();
        // The boxes stand where the run left them, so RESET goes on after them.
        QCOMPARE(w.FrameTimer1->hcbName->ItemIndex(), 1);
        QCOMPARE(w.FrameTimer2->hcbName->ItemIndex(), 2);
        QCOMPARE(w.RunSettings.Cars, cars);
        QCOMPARE(w.RunSettings.Laps, laps);
        QCOMPARE(w.FrameTimer2->hcbName->Text(), QStringLiteral("7 Anna Łukasz"));
        QCOMPARE(w.eTitle->text(), QStringLiteral("Sprint\tHockenheim"));
        QCOMPARE(w.eNR->text(), QStringLiteral("4"));
        QCOMPARE(w.LedLock->Kind(), lkGreen);
        // The previous journal is kept; the new one can pick the run up again, even
        // when killed the moment the answer was given.
        QVERIFY(QFile::exists(w.Recovery().PreviousJournalFileName()));
        QCOMPARE(Journal::ReadInterruptedRun(w.Recovery().JournalFileName(), ProgramTitle()).Events,
                 w.FRun.Events());
        w.Recovery().FJournal.Flush();
        QCOMPARE(Journal::ReadInterruptedRun(w.Recovery().JournalFileName(), ProgramTitle()).Events,
                 w.FRun.Events());
        QCOMPARE(Snapshot(w), snaps[kill]);
        for (int i = kill; i < n; ++i)
            Next(w, ticks[i]);
        QCOMPARE(Snapshot(w), snaps[n]);
        QCOMPARE(Rows(w), Rows(r));
        // One record per car's run, under the identity its START line gave it.
        QVERIFY(w.Events->Store().Flush());
        TEventDb db;
        QVERIFY(db.OpenForReading(w.Events->DatabasePath()));
        QCOMPARE(db.RunCount(), qint64(cars));
        for (const Journal::TLine& l : JournalLines(w.Recovery().PreviousJournalFileName()))
            if (l.Event == QLatin1String("START")) QVERIFY(db.HasRun(l.Value(QStringLiteral("Id"))));
    }

    void noAnswerKeepsJournal() {
        QTemporaryDir dir;
        QDir::setCurrent(dir.path());
        TickSource::SetManual(5000);
        Run.Cars = 1;
        Run.Laps = 2;
        auto* abandoned = new TFormMain(Run);
        abandoned->mStart->Click();
        abandoned->Recovery().FJournal.Flush();
        abandoned->FrameTimer1->Clock->stop();
        {
            TFormMain unanswered(Run); // closed before the question was answered
            QVERIFY(unanswered.Recovery().FInterrupted.Found);
        }
        TFormMain w(Run);
        QVERIFY(w.Recovery().FInterrupted.Found);
        QTimer::singleShot(0, [&w] { w.FDlgYesNo->NoBtn->click(); });
        w.Recovery().Offer();
        QCOMPARE(w.FEventCount, 0);
        QCOMPARE(w.mStart->Enabled(), true);
        TFormMain next(Run); // "Nein" is final
        QVERIFY(!next.Recovery().FInterrupted.Found);
    }

    // Three runs, two of them killed after a LAP: every finished row stays in the
    // protocol and in the backup, whatever the answer, and the protocol is back
    // before the question.
    void finishedRowsSurvive_data() {
        QTest::addColumn<int>("cars");
        QTest::addColumn<bool>("yes");
        QTest::newRow("one car, Ja") << 1 << true;
        QTest::newRow("one car, Nein") << 1 << false;
        QTest::newRow("two cars without names, Ja") << 2 << true;
    }
    void finishedRowsSurvive() {
        QFETCH(int, cars);
        QFETCH(bool, yes);
        QTemporaryDir dir;
        QDir::setCurrent(dir.path());
        Run.Cars = cars;
        Run.Laps = 2;
        const int n = cars == 1 ? 3 : 6;
        uint32_t tick = 10000;
        const auto events = [&tick](TFormMain& w, int count) {
            for (int i = 0; i < count; ++i)
                Next(w, tick += 61230 + 170 * i);
        };
        auto* w = new TFormMain(Run);
        events(*w, n); // run A, finished normally
        QStringList finished = Totals(*w);
        for (int kill = 1; kill <= 2; ++kill) {
            w->mReset->Click();
            events(*w, 2); // START and LAP
            const bool modified = w->SortGrid1->Modified();
            Kill(w);
            TickSource::SetManual(tick + 900);
            w = new TFormMain(Run);
            QCOMPARE(Totals(*w), finished);
            QCOMPARE(w->SortGrid1->Modified(), modified);
            QVERIFY(!w->StatusPanels[1]->text().isEmpty());
            // News of the start, not of the whole day: it fades.
            const auto* fade = w->findChild<QTimer*>(QStringLiteral("TimerStatusFade"));
            QVERIFY(fade && fade->isActive() && fade->interval() == TFormMain::StatusFadeMs);
            QCOMPARE(w->Live()->Snapshot().Rows.size(), finished.size());
            QTimer::singleShot(
                0, [w, yes] { (yes ? w->FDlgYesNo->YesBtn : w->FDlgYesNo->NoBtn)->click(); });
            w->Recovery().Offer();
            QVERIFY(w->FDlgYesNo->Label1->text().contains(
                QStringLiteral("Das Protokoll ist wiederhergestellt.")));
            QCOMPARE(Totals(*w), finished);
            events(*w, yes ? n - 2 : n);
            QCOMPARE(Totals(*w).size(), finished.size() + cars);
            finished = Totals(*w);
            QCOMPARE(BackupTotals(w->BackupFileName()), finished);
        }
        QCOMPARE(finished.size(), 3 * cars);
        const QString backup = w->BackupFileName();
        delete w;
        QCOMPARE(BackupTotals(backup), finished);
        // A start after a proper end is blank as ever.
        TFormMain next(Run);
        QVERIFY(Totals(next).isEmpty());
        QVERIFY(next.StatusPanels[1]->text().isEmpty());
    }

    // Recovered again and again, also after reboots: the clocks go on by every
    // downtime, never only the last one.
    void repeatedRecovery_data() {
        QTest::addColumn<QStringList>("boots");
        QTest::addColumn<bool>("counterGoesOn"); // the tick counter was not reset
        QTest::newRow("rebooted twice") << QStringList{"a", "b", "c"} << false;
        QTest::newRow("rebooted three times") << QStringList{"a", "b", "c", "d"} << false;
        QTest::newRow("same boot") << QStringList{"a", "a", "a"} << true;
        QTest::newRow("no boot id, restarted") << QStringList{"", "", "", ""} << true;
        QTest::newRow("no boot id, rebooted") << QStringList{"", "", ""} << false;
    }
    void repeatedRecovery() {
        QFETCH(QStringList, boots);
        QFETCH(bool, counterGoesOn);
        QString boot;
        const auto restore =
            qScopeGuard([saved = TRecovery::BootId] { TRecovery::BootId = saved; });
        TRecovery::BootId = [&boot] { return boot; };
        QTemporaryDir dir;
        QDir::setCurrent(dir.path());
        Run.Cars = 1;
        Run.Laps = 3;
        const int down = 30000;
        QElapsedTimer real; // the test's own time since the LAP, beyond the downtimes
        real.start();
        boot = boots[0];
        auto* w = new TFormMain(Run);
        Next(*w, 20000);
        Next(*w, 81230); // lap 1: 61.23 s
        uint32_t tick = 81230;
        for (int k = 1; k < boots.size(); ++k) {
            Kill(w);
            Downtime(w->Recovery().JournalFileName(), down);
            boot = boots[k];
            tick = counterGoesOn ? tick + down : 1000u * k;
            TickSource::SetManual(tick);
            w = new TFormMain(Run);
            AnswerYes();
            w->Recovery().Offer();
            const TFrameTimer* t = w->FTimers[1];
            QVERIFY(t->Clock->isActive());
            QCOMPARE(w->FLapTimers[1][1]->Tag, 61230);
            const int32_t lap = TickSource::Diff(tick, t->FLapTick);
            QVERIFY2(lap >= k * down - 5 && lap <= k * down + real.elapsed() + 5,
                     qPrintable(QStringLiteral("%1 after %2 ms").arg(lap).arg(real.elapsed())));
            QCOMPARE(TickSource::Diff(t->FLapTick, t->FStartTick), 61230);
        }
        delete w;
    }

    // A pipe or folder named like the journal or the backup never blocks the
    // start; a journal that cannot be read is reported once.
    void nonRegularFiles_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("pipe");
        QTest::addColumn<int>("messages");
        QTest::newRow("journal a pipe") << ".journal" << true << 1;
        QTest::newRow("journal a folder") << ".journal" << false << 1;
        QTest::newRow("backup a pipe") << ".txt" << true << 0;
        QTest::newRow("previous backup a pipe") << ".vorher.txt" << true << 0;
    }
    void nonRegularFiles() {
        QFETCH(QString, name);
        QFETCH(bool, pipe);
        QFETCH(int, messages);
        QTemporaryDir dir;
        QDir::setCurrent(dir.path());
        Run.Cars = 1;
        Run.Laps = 2;
        name.prepend(ProgramTitle());
        const QByteArray path = QFile::encodeName(dir.filePath(name));
        QVERIFY(pipe ? ::mkfifo(path.constData(), 0644) == 0 : QDir(dir.path()).mkdir(name));
        const auto savedShow = TFormMain::ShowMessage;
        QStringList shown;
        TFormMain::ShowMessage = [&shown](const QString& text) { shown << text; };
        for (int start = 0; start < 2; ++start) {
            TFormMain w(Run);
            w.Recovery().Offer();
            Next(w, 1000);
            Next(w, 2000);
            Next(w, 3000);
            w.WriteBackup();
        }
        TFormMain::ShowMessage = savedShow;
        QCOMPARE(shown.size(), messages);
        if (messages) QVERIFY(shown[0].contains(ProgramTitle() + QStringLiteral(".journal")));
        // The second start was a normal one: its own run only.
        QCOMPARE(BackupTotals(dir.filePath(ProgramTitle() + QStringLiteral(".txt"))).size(), 1);
    }

    // An official's day under Xvfb: three runs by the keys, the second and the third
    // killed after a LAP and finished after "Ja"; every finished row is in the backup.
    void threeRunsTwoKillsUnderXvfb() {
        if (!XvfbAvailable()) QSKIP("xvfb-run and xdotool are not installed");
        QTemporaryDir dir;
        const QByteArray output = RunUnderXvfb(dir.path(), R"SH(set -u
cd "$1"
export XDG_CONFIG_HOME="$1/config" QT_QPA_PLATFORM=xcb
# waitfor PATTERN [COUNT]: the journal holds the line that often
waitfor() { for i in $(seq 200); do [ "$(grep -cP "$1" Zeitnahme.journal 2>/dev/null)" -ge "${2:-1}" ] && return 0; sleep 0.05; done; echo "no $1"; exit 1; }
main() { xdotool search --sync --name '^Zeitnahme v'; }
key() { xdotool key "$1"; waitfor "$2" "${3:-1}"; }
# "Ja" until the new journal has taken the old one's place
answer() { first=$(head -1 Zeitnahme.journal); for i in $(seq 200); do [ "$(head -1 Zeitnahme.journal)" != "$first" ] && return 0; xdotool key Return; sleep 0.1; done; echo "no answer"; exit 1; }
rest() { key F5 '\tSTART\tAuto=2' "$1"; key F9 '\tFINISH\tAuto=1' "$1"; key F4 '\tLAP\tAuto=2' "$1"; key F9 '\tRESULT' "$1"; }
./Zeitnahme & pid=$!
xdotool windowfocus --sync "$(main)"
key F5 '\tSTART\tAuto=1'; key F4 '\tLAP\tAuto=1'; rest 1
key F10 '\tRESET'; key F5 '\tSTART\tAuto=1' 2; key F4 '\tLAP\tAuto=1' 2
kill -9 $pid; wait $pid
./Zeitnahme & pid=$!
answer; xdotool windowfocus --sync "$(main)"; rest 1
key F10 '\tRESET'; key F5 '\tSTART\tAuto=1' 2; key F4 '\tLAP\tAuto=1' 2
kill -9 $pid; wait $pid
./Zeitnahme & pid=$!
answer; xdotool windowfocus --sync "$(main)"; rest 1
kill $pid; wait $pid
exit 0
)SH",
                                               150000);
        QVERIFY2(output.isNull(), output.constData());
        // Two cars without names: two rows a run, none lost, none twice.
        const QStringList totals = BackupTotals(dir.filePath(QStringLiteral("Zeitnahme.txt")));
        QCOMPARE(totals.size(), 6);
        const auto last = JournalLines(dir.filePath(QStringLiteral("Zeitnahme.journal")));
        QCOMPARE(last.last().Event, Journal::EndEvent);
    }

    // A real kill -9 of the program under Xvfb, keys sent by xdotool.
    void killNineUnderXvfb() {
        if (!XvfbAvailable()) QSKIP("xvfb-run and xdotool are not installed");
        QTemporaryDir dir;
        const QByteArray output = RunUnderXvfb(dir.path(), R"SH(set -u
cd "$1"
export XDG_CONFIG_HOME="$1/config" QT_QPA_PLATFORM=xcb
waitfor() { for i in $(seq 200); do grep -qP "$1" Zeitnahme.journal 2>/dev/null && return 0; sleep 0.05; done; echo "no $1"; exit 1; }
main() { xdotool search --sync --name '^Zeitnahme v'; }
./Zeitnahme & pid=$!
xdotool windowfocus --sync "$(main)"
xdotool key F5; waitfor '\tSTART\tAuto=1'
xdotool key F4; waitfor '\tLAP\tAuto=1'
xdotool key F5; waitfor '\tSTART\tAuto=2'
kill -9 $pid; wait $pid
./Zeitnahme & pid=$!
for i in $(seq 200); do [ -f Zeitnahme.vorher.journal ] && break; xdotool key Return; sleep 0.1; done
xdotool windowfocus --sync "$(main)"
xdotool key F9; waitfor '\tFINISH\tAuto=1'
xdotool key F4; waitfor '\tLAP\tAuto=2'
xdotool key F9; waitfor '\tRESULT'
kill $pid
)SH",
                                               90000);
        QVERIFY2(output.isNull(), output.constData());

        const auto before = JournalLines(dir.filePath(QStringLiteral("Zeitnahme.vorher.journal")));
        // The backup's lines and the closing line aside.
        auto after = JournalLines(dir.filePath(QStringLiteral("Zeitnahme.journal")));
        after.removeIf([](const Journal::TLine& l) {
            return l.Event == Journal::BackupEvent || l.Event == Journal::EndEvent;
        });
        QStringList events;
        for (const auto& l : after)
            events << l.Event + l.Value(QStringLiteral("Auto"));
        QCOMPARE(events,
                 QStringList({"START1", "LAP1", "START2", "FINISH1", "LAP2", "FINISH2", "RESULT"}));
        // Same boot: the clocks go on from the very ticks of the killed program.
        QCOMPARE(before.size(), 3);
        for (int i = 0; i < 3; ++i)
            QCOMPARE(after[i].Value(QStringLiteral("Tick")),
                     before[i].Value(QStringLiteral("Tick")));
        QCOMPARE(after[0].Value(QStringLiteral("Quelle")), QStringLiteral("Fortsetzung"));
        QCOMPARE(after[3].Value(QStringLiteral("Quelle")), QStringLiteral("Taste"));
    }
};

QTEST_MAIN(TstRecovery)
#include "tst_recovery.moc"

