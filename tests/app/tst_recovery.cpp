// The event journal of the main window and picking up an interrupted run.
#include "FMain.h"
#include "Journal.h"
#include "Protocol.h"
#include "RunSnapshot.h"
#include "TickSource.h"

#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

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
        for (int k = 0; k <= 4; ++k)
            QTest::addRow("one car, 3 laps, after %d", k) << 1 << 3 << k;
        for (int k = 0; k <= 6; ++k)
            QTest::addRow("two cars, after %d", k) << 2 << 2 << k;
    }
    void killAtEveryStep() {
        QFETCH(int, cars);
        QFETCH(int, laps);
        QFETCH(int, kill);
        const QList<uint32_t> ticks =
            cars == 1 ? QList<uint32_t>{10000, 71234, 131105, 193110}
                      : QList<uint32_t>{10000, 65100, 66600, 120300, 123310, 179750};
        const int n = ticks.size();
        QTemporaryDir refDir, dir;

        QDir::setCurrent(refDir.path());
        Cars = cars;
        Laps = laps;
        TFormMain r;
        Prepare(r);
        QStringList snaps{Snapshot(r)};
        for (int i = 0; i < n; ++i) {
            Next(r, ticks[i]);
            snaps << Snapshot(r);
        }

        QDir::setCurrent(dir.path());
        auto* abandoned = new TFormMain; // never shut down, as after a crash
        Prepare(*abandoned);
        for (int i = 0; i < kill; ++i)
            Next(*abandoned, ticks[i]);
        abandoned->FJournal.Flush();
        for (int car = 1; car <= 2; ++car)
            abandoned->FTimers[car]->Clock->stop();

        Cars = 2; // the settings of the next program run may differ
        Laps = 2;
        TickSource::SetManual(ticks[qMax(0, kill - 1)] + 700);
        TFormMain w;
        QCOMPARE(w.FInterrupted.Found, kill > 0 && kill < n);
        if (!w.FInterrupted.Found) return;
        AnswerYes();
        w.OfferRecovery();
        QCOMPARE(Cars, cars);
        QCOMPARE(Laps, laps);
        QCOMPARE(w.FrameTimer2->hcbName->Text(), QStringLiteral("7 Anna Łukasz"));
        QCOMPARE(w.eTitle->text(), QStringLiteral("Sprint\tHockenheim"));
        QCOMPARE(w.eNR->text(), QStringLiteral("4"));
        QCOMPARE(w.LedLock->Kind(), lkGreen);
        // The previous journal is kept; the new one can pick the run up again.
        QVERIFY(QFile::exists(w.PreviousJournalFileName()));
        w.FJournal.Flush();
        QCOMPARE(Journal::ReadInterruptedRun(w.JournalFileName(), ProgramTitle()).Events,
                 w.FRun.Events());
        QCOMPARE(Snapshot(w), snaps[kill]);
        for (int i = kill; i < n; ++i)
            Next(w, ticks[i]);
        QCOMPARE(Snapshot(w), snaps[n]);
        QCOMPARE(Rows(w), Rows(r));
    }

    void noAnswerKeepsJournal() {
        QTemporaryDir dir;
        QDir::setCurrent(dir.path());
        TickSource::SetManual(5000);
        Cars = 1;
        Laps = 2;
        auto* abandoned = new TFormMain;
        abandoned->mStart->Click();
        abandoned->FJournal.Flush();
        abandoned->FrameTimer1->Clock->stop();
        {
            TFormMain unanswered; // closed before the question was answered
            QVERIFY(unanswered.FInterrupted.Found);
        }
        TFormMain w;
        QVERIFY(w.FInterrupted.Found);
        QTimer::singleShot(0, [&w] { w.FDlgYesNo->NoBtn->click(); });
        w.OfferRecovery();
        QCOMPARE(w.FEventCount, 0);
        QCOMPARE(w.mStart->Enabled(), true);
        TFormMain next; // "Nein" is final
        QVERIFY(!next.FInterrupted.Found);
    }

    // A real kill -9 of the program under Xvfb, keys sent by xdotool.
    void killNineUnderXvfb() {
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
)SH");
        f.close();
        QProcess p;
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(xvfb, {QStringLiteral("-a"), QStringLiteral("-s"),
                       QStringLiteral("-screen 0 1024x768x24"), QStringLiteral("bash"), script,
                       dir.path()});
        QVERIFY(p.waitForFinished(90000));
        QVERIFY2(p.exitCode() == 0, p.readAll().constData());

        const auto before = JournalLines(dir.filePath(QStringLiteral("Zeitnahme.vorher.journal")));
        const auto after = JournalLines(dir.filePath(QStringLiteral("Zeitnahme.journal")));
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
