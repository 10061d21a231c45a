// Corrections at the track: taking back events, DNF, DNS, typed lap times.
#include "Corrections.h"
#include "FMain.h"
#include "TrackCorrections.h"
#include "LiveResults.h"
#include "Protocol.h"
#include "RunSnapshot.h"

#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

// What the next window starts from, as a program start would find it.
static TRunSettings Run;

namespace {

// Tick of event i: laps of about a minute, the second car starting 1.5 s after car 1's lap.
uint32_t TickOf(int i) {
    static const uint32_t ticks[] = {10000, 71234, 72734, 131105, 133990, 193110, 251007};
    return ticks[i];
}

QByteArray Read(const QString& path) {
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return f.readAll();
}

// The protocol before a run, cells by '|'.
void FillProtocol(TFormMain& w, const QStringList& rows) {
    w.SortGrid1->SetRowCount(qMax(2, int(rows.size()) + 1));
    for (int r = 0; r < rows.size(); ++r)
        w.SortGrid1->SetRows(r + 1, rows[r].split(QLatin1Char('|')));
}

void Answer(TFormMain& w, bool yes) {
    QTimer::singleShot(0, [&w, yes] { (yes ? w.FDlgYesNo->YesBtn : w.FDlgYesNo->NoBtn)->click(); });
}

} // namespace

class TstCorrections : public QObject {
    Q_OBJECT
    QTemporaryDir FDir;

private slots:
    void init() {
        QDir::setCurrent(FDir.path());
        TickSource::SetManual(1000);
    }
    void cleanup() { TickSource::UseSystem(); }

    // Taken back at every position: the state of a run that never had the event.
    void takeBack_data() {
        QTest::addColumn<int>("cars");
        QTest::addColumn<int>("laps");
        for (int laps = 2; laps <= 5; ++laps)
            QTest::addRow("one car, %d laps", laps) << 1 << laps;
        QTest::newRow("two cars") << 2 << 2;
    }
    void takeBack() {
        QFETCH(int, cars);
        QFETCH(int, laps);
        Run.Cars = cars;
        Run.Laps = laps;
        const int n = cars == 1 ? laps + 1 : 6;
        for (int p = 1; p <= n; ++p) {
            QString expected;
            QStringList expectedRows;
            {
                TFormMain r(Run);
                r.FrameTimer1->hcbName->SetText(QStringLiteral("Hans"));
                for (int i = 0; i < p - 1; ++i)
                    Next(r, TickOf(i));
                TickSource::SetManual(TickOf(p) - 300);
                expected = Snapshot(r);
                expectedRows = Rows(r);
            }
            TFormMain w(Run);
            w.FrameTimer1->hcbName->SetText(QStringLiteral("Hans"));
            for (int i = 0; i < p; ++i)
                Next(w, TickOf(i));
            TickSource::SetManual(TickOf(p) - 300); // taken back a little later
            w.LedLock->SetKind(lkRed);
            w.Corrections().mUndo->Click();
            QCOMPARE(Snapshot(w), expected);
            QCOMPARE(Rows(w), expectedRows);
            QCOMPARE(w.LedLock->Kind(), lkRed); // the lock is not touched
            // Back to the run's start, and nothing before it.
            for (int i = 1; i < p + 2; ++i)
                w.Corrections().mUndo->Click();
            QCOMPARE(w.FEventCount, 0);
            QCOMPARE(Enabled(w), QStringLiteral("S---"));
            QCOMPARE(w.FrameTimer1->Digit8->Value(), 0);
            QVERIFY(!w.FrameTimer1->Clock->isActive());
        }
    }

    // The last FINISH taken back: the protocol and the backup as before the run.
    void takeBackResults_data() {
        QTest::addColumn<QStringList>("rows"); // protocol before the run, cells by '|'
        QTest::addColumn<int>("cars");
        QTest::newRow("blank table, one car") << QStringList() << 1;
        QTest::newRow("found row, one car")
            << QStringList{"3|Anna|1,00|2,00||||3,00|1,00|", "12|Hans|9,00|9,00||||18,00|9,00|"}
            << 1;
        QTest::newRow("appended rows, two cars")
            << QStringList{"3|Anna|1,00|2,00||||3,00|1,00|"} << 2;
        QTest::newRow("found and appended, two cars")
            << QStringList{"12|Hans|9,00|9,00||||18,00|9,00|"} << 2;
    }
    void takeBackResults() {
        QFETCH(QStringList, rows);
        QFETCH(int, cars);
        Run.Cars = cars;
        Run.Laps = 2;
        TFormMain w(Run);
        FillProtocol(w, rows);
        w.FrameTimer1->hcbName->SetText(QStringLiteral("Hans"));
        w.FrameTimer2->hcbName->SetText(QStringLiteral("Eva"));
        const QStringList before = Rows(w);
        w.WriteBackup();
        const QByteArray backup = Read(w.BackupFileName());
        for (int i = 0; i < (cars == 1 ? 3 : 6); ++i)
            Next(w, TickOf(i));
        QVERIFY(Rows(w) != before);
        w.Corrections().mUndo->Click();
        QCOMPARE(Rows(w), before);
        QCOMPARE(Read(w.BackupFileName()), backup);
        QVERIFY(w.mStop->Enabled());
        // Finished again, the results come back in full.
        Next(w, TickOf(cars == 1 ? 2 : 5) + 10);
        QCOMPARE(w.SortGrid1->Cells(pcName, w.SortGrid1->RowCount() - 1),
                 cars == 1 ? QStringLiteral("Hans") : QStringLiteral("Eva"));
    }

    // A car drops out at any point of the two-car sequence.
    void dnf_data() {
        QTest::addColumn<int>("car");
        QTest::addColumn<int>("after");    // events before the DNF
        QTest::addColumn<QString>("row1"); // laps, total, best of car 1
        QTest::addColumn<QString>("row2");
        QTest::addColumn<int>("remaining"); // events still to give
        QTest::newRow("car 1 after START") << 1 << 1 << "||DNF|"
                                           << "1.01,25|59,12|2.00,37|59,12" << 3;
        QTest::newRow("car 1 after its LAP") << 1 << 2 << "1.01,23||DNF|1.01,23"
                                             << "1.01,25|59,12|2.00,37|59,12" << 3;
        QTest::newRow("car 1 after car 2's START") << 1 << 3 << "1.01,23||DNF|1.01,23"
                                                   << "1.01,25|59,12|2.00,37|59,12" << 2;
        QTest::newRow("car 2 before its START") << 2 << 2 << "1.01,23|59,87|2.01,10|59,87"
                                                << "||DNF|" << 1;
        QTest::newRow("car 2 after its START") << 2 << 3 << "1.01,23|59,87|2.01,10|59,87"
                                               << "||DNF|" << 1;
        QTest::newRow("car 2 after car 1's FINISH, completes the run")
            << 2 << 4 << "1.01,23|59,87|2.01,10|59,87"
            << "||DNF|" << 0;
        QTest::newRow("car 2 after its LAP") << 2 << 5 << "1.01,23|59,87|2.01,10|59,87"
                                             << "1.01,25||DNF|1.01,25" << 0;
        QTest::newRow("car 1 after it finished: refused") << 1 << 4 << "1.01,23|59,87|2.01,10|59,87"
                                                          << "1.01,25|59,12|2.00,37|59,12" << 2;
        QTest::newRow("before the run: refused") << 1 << 0 << ""
                                                 << "" << 6;
    }
    void dnf() {
        QFETCH(int, car);
        QFETCH(int, after);
        QFETCH(QString, row1);
        QFETCH(QString, row2);
        QFETCH(int, remaining);
        Run.Cars = 2;
        Run.Laps = 2;
        TFormMain w(Run);
        w.FrameTimer1->hcbName->SetText(QStringLiteral("Hans"));
        w.FrameTimer2->hcbName->SetText(QStringLiteral("Eva"));
        for (int i = 0; i < after; ++i)
            Next(w, TickOf(i));
        const QString before = Snapshot(w);
        TickSource::SetManual(TickOf(after) - 500);
        (car == 1 ? w.Corrections().mDNF1 : w.Corrections().mDNF2)->Click();
        if (after > 0 && Snapshot(w) != before) {
            QVERIFY(!w.FTimers[car]->Clock->isActive());
            // Taken back, the DNF never was.
            const QStringList rows = Rows(w);
            w.Corrections().mUndo->Click();
            QCOMPARE(Snapshot(w), before);
            (car == 1 ? w.Corrections().mDNF1 : w.Corrections().mDNF2)->Click();
            QCOMPARE(Rows(w), rows);
        }
        int given = 0;
        while (!w.mReset->Enabled() && given < 10) {
            const int i = w.FEventCount;
            // The event counter says which event of the sequence comes; its tick follows.
            Next(w, TickOf(i));
            ++given;
        }
        QCOMPARE(given, remaining);
        const auto cells = [&w](int r) {
            const QStringList c = w.SortGrid1->Rows(r);
            return QStringList{c[2], c[3], c[7], c[8]}.join(QLatin1Char('|'));
        };
        QCOMPARE(cells(1), row1.isEmpty() ? cells(1) : row1);
        QCOMPARE(cells(2), row2.isEmpty() ? cells(2) : row2);
    }

    void dns_data() {
        QTest::addColumn<QString>("cells");
        QTest::addColumn<int>("answer"); // 0 "Nein", 1 "Ja"
        QTest::addColumn<QString>("result");
        // The one car's name box afterwards: Eva before, Udo on a row showing DNS.
        QTest::addColumn<QString>("waiting");
        // Asked every time, naming whom: the row may not be the one meant.
        QTest::newRow("start list row") << "7|Eva|||||||" << 1 << "7|Eva||||||DNS||" << "8 Udo";
        QTest::newRow("start list row kept on Nein") << "7|Eva|||||||" << 0 << "7|Eva||||||||" << "7 Eva";
        QTest::newRow("times kept on Nein")
            << "7|Eva|1,00|2,00||||3,00|1,00|" << 0 << "7|Eva|1,00|2,00||||3,00|1,00|" << "7 Eva";
        QTest::newRow("times emptied on Ja")
            << "7|Eva|1,00|2,00||||3,00|1,00|1" << 1 << "7|Eva||||||DNS||1" << "8 Udo";
        QTest::newRow("taken back: Eva starts after all")
            << "7|Eva||||||DNS||" << 1 << "7|Eva||||||||" << "7 Eva";
    }
    void dns() {
        QFETCH(QString, cells);
        QFETCH(int, answer);
        QFETCH(QString, result);
        QFETCH(QString, waiting);
        TFormMain w(Run);
        w.RunSettings.Cars = 1;
        w.FrameTimer1->hcbName->SetItems({"7 Eva", "8 Udo"});
        w.FrameTimer1->hcbName->SetItemIndex(cells.contains(DnsText) ? 1 : 0);
        w.SortGrid1->SetRowCount(3);
        w.SortGrid1->SetRows(2, cells.split(QLatin1Char('|')));
        w.SelectWholeRow(2);
        const bool asked = !cells.contains(DnsText); // a DNS goes back without a question
        if (asked) Answer(w, answer == 1);
        w.FDlgYesNo->Label1->clear();
        w.Corrections().DNS1->Click();
        if (asked)
            QVERIFY(w.FDlgYesNo->Label1->text().startsWith(QStringLiteral("Nicht gestartet: 7 Eva, Lauf 1?")));
        QCOMPARE(w.SortGrid1->Rows(2).join(QLatin1Char('|')), result);
        QCOMPARE(w.FrameTimer1->hcbName->Text(), waiting);
    }

    void ranking() {
        TFormMain w(Run);
        TSortGrid* g = w.SortGrid1;
        const QStringList totals{"1.02,00", "DNS", "", "DNF", "-", "55,10"};
        g->SetRowCount(totals.size() + 1);
        for (int r = 1; r <= totals.size(); ++r) {
            g->SetCells(pcName, r, QStringLiteral("N%1").arg(r));
            g->SetCells(pcTotal, r, totals[r - 1]);
        }
        w.Sortierenprotokoll1Click(nullptr);
        QStringList sorted, ranks;
        for (int r = 1; r <= totals.size(); ++r) {
            sorted << g->Cells(pcTotal, r);
            ranks << g->Cells(pcRank, r);
        }
        QCOMPARE(sorted, (QStringList{"55,10", "1.02,00", "DNF", "DNS", "-", ""}));
        QCOMPARE(ranks, (QStringList{"1", "2", "-", "-", "5", "-"})); // "-" ranks as before
    }

    void typedLap_data() {
        QTest::addColumn<int>("laps");
        QTest::addColumn<int>("col");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("result"); // laps 1..3, total, best
        QTest::newRow("total follows") << 2 << 3 << "58,4"
                                       << "59,87|58,40||1.58,27|58,40";
        QTest::newRow("three laps") << 3 << 4 << "1.00,00"
                                    << "59,87|1.02,30|1.00,00|3.02,17|59,87";
        QTest::newRow("a lap missing") << 3 << 3 << "58,40"
                                       << "59,87|58,40||2.02,17|59,87";
        QTest::newRow("no time: refused") << 2 << 2 << "ab"
                                          << "59,87|1.02,30||2.02,17|59,87";
        QTest::newRow("beyond the laps: not asked") << 2 << 4 << "1,00"
                                                    << "59,87|1.02,30||2.02,17|59,87";
    }
    void typedLap() {
        QFETCH(int, laps);
        QFETCH(int, col);
        QFETCH(QString, typed);
        QFETCH(QString, result);
        Run.Laps = laps;
        TFormMain w(Run);
        w.SortGrid1->SetRows(
            1, QString("12|Hans|59,87|1.02,30||||2.02,17|59,87|").split(QLatin1Char('|')));
        const auto saved = TTrackCorrections::AskText;
        const auto savedShow = TFormMain::ShowMessage;
        TTrackCorrections::AskText = [typed](const QString&, QString& text) {
            text = typed;
            return true;
        };
        TFormMain::ShowMessage = [](const QString&) {}; // a refused text is told
        w.Corrections().EditLapCell(col, 1);
        TTrackCorrections::AskText = saved;
        TFormMain::ShowMessage = savedShow;
        const QStringList c = w.SortGrid1->Rows(1);
        const QString got = QStringList{c[2], c[3], c[4], c[7], c[8]}.join(QLatin1Char('|'));
        QCOMPARE(got, laps == 3 ? result
                                : result.section(QLatin1Char('|'), 0, 2) + QLatin1Char('|') +
                                      result.section(QLatin1Char('|'), 3));
    }

    // Only a time is taken into a lap cell; anything else is refused with a message
    // and the row stays as it was.
    void refusedLap_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("taken");
        QTest::newRow("letters") << "abc" << false;
        QTest::newRow("empty") << "" << false;
        QTest::newRow("three decimals") << "58,123" << false;
        QTest::newRow("a point for the comma") << "58.12" << false;
        QTest::newRow("seconds beyond 59 below a minute") << "1.75,00" << false;
        QTest::newRow("time and text") << "58,12 s" << false;
        QTest::newRow("one decimal") << "58,1" << true;
        QTest::newRow("minutes") << "1.02,30" << true;
        QTest::newRow("hours") << "1:02.03,45" << true;
    }
    void refusedLap() {
        QFETCH(QString, typed);
        QFETCH(bool, taken);
        Run.Laps = 2;
        TFormMain w(Run);
        const QStringList row = QString("12|Hans|59,87|1.02,30||||2.02,17|59,87|").split('|');
        w.SortGrid1->SetRows(1, row);
        const auto savedAsk = TTrackCorrections::AskText;
        const auto savedShow = TFormMain::ShowMessage;
        QStringList shown;
        TTrackCorrections::AskText = [typed](const QString&, QString& text) {
            text = typed;
            return true;
        };
        TFormMain::ShowMessage = [&shown](const QString& text) { shown << text; };
        w.Corrections().EditLapCell(pcLap1, 1);
        TTrackCorrections::AskText = savedAsk;
        TFormMain::ShowMessage = savedShow;
        QCOMPARE(shown.isEmpty(), taken);
        QCOMPARE(w.SortGrid1->Rows(1) == row, !taken);
        if (!taken) QVERIFY(shown[0].contains(QStringLiteral("keine Rundenzeit")));
    }

    // A ranked table is ranked again after a typed lap, on the screen and the live page.
    void rankFollowsTypedLap_data() {
        QTest::addColumn<bool>("ranked");
        QTest::addColumn<QString>("ranks"); // name:rank from the top
        QTest::newRow("ranked") << true << "Eva:1 Hans:2";
        QTest::newRow("not ranked") << false << "Hans: Eva:";
    }
    void rankFollowsTypedLap() {
        QFETCH(bool, ranked);
        QFETCH(QString, ranks);
        Run.Laps = 2;
        TFormMain w(Run);
        TSortGrid* g = w.SortGrid1;
        g->SetRowCount(3);
        g->SetRows(1, QString("12|Hans|59,87|1.02,30||||2.02,17|59,87|").split('|'));
        g->SetRows(2, QString("7|Eva|1.00,00|1.03,00||||2.03,00|1.00,00|").split('|'));
        if (ranked) w.Sortierenprotokoll1Click(nullptr);
        const auto saved = TTrackCorrections::AskText;
        TTrackCorrections::AskText = [](const QString&, QString& text) {
            text = QStringLiteral("55,00");
            return true;
        };
        w.Corrections().EditLapCell(pcLap1, g->FindRow(pcName, QStringLiteral("Eva"), false));
        TTrackCorrections::AskText = saved;
        QStringList got;
        for (int r = 1; r < g->RowCount(); ++r)
            got << g->Cells(pcName, r) + ':' + g->Cells(pcRank, r);
        QCOMPARE(got.join(' '), ranks);
        const TLiveState live = w.Live()->Snapshot();
        QCOMPARE(live.Rows.value(0).Rank, ranked ? QStringLiteral("1") : QString());
        QCOMPARE(live.Rows.value(0).Cells.value(pcName), g->Cells(pcName, 1));
    }

    // Ctrl+Z after the run's rows were corrected: the corrected rows go, and the run
    // finished again is in the protocol once.
    void takeBackCorrectedResults_data() {
        QTest::addColumn<int>("cars");
        QTest::addColumn<QString>("names");      // drivers of car 1 and 2, by '|'
        QTest::addColumn<QStringList>("rows");   // protocol before the run
        QTest::addColumn<QString>("correction"); // "lap" or "dns"
        QTest::addColumn<int>("count");          // rows once the run is finished again
        QTest::newRow("two cars without names, lap typed")
            << 2 << "|" << QStringList() << "lap" << 2;
        QTest::newRow("one car, start list row, lap typed")
            << 1 << "Hans|" << QStringList{"12|Hans||||||||"} << "lap" << 1;
        QTest::newRow("two cars, DNS on the run's row")
            << 2 << "Hans|Eva" << QStringList{"3|Anna|1,00|2,00||||3,00|1,00|"} << "dns" << 3;
    }
    void takeBackCorrectedResults() {
        QFETCH(int, cars);
        QFETCH(QString, names);
        QFETCH(QStringList, rows);
        QFETCH(QString, correction);
        QFETCH(int, count);
        Run.Cars = cars;
        Run.Laps = 2;
        TFormMain w(Run);
        TSortGrid* g = w.SortGrid1;
        FillProtocol(w, rows);
        w.FrameTimer1->hcbName->SetText(names.section('|', 0, 0));
        w.FrameTimer2->hcbName->SetText(names.section('|', 1, 1));
        const QStringList before = Rows(w);
        const int n = cars == 1 ? 3 : 6;
        for (int i = 0; i < n; ++i)
            Next(w, TickOf(i));
        const QStringList entered = Rows(w);
        const int row = g->RowCount() - 1; // a row of the run
        if (correction == QLatin1String("lap")) {
            const auto saved = TTrackCorrections::AskText;
            TTrackCorrections::AskText = [](const QString&, QString& text) {
                text = QStringLiteral("1,11");
                return true;
            };
            w.Corrections().EditLapCell(pcLap1, row);
            TTrackCorrections::AskText = saved;
        } else if (correction == QLatin1String("dns")) {
            w.SelectWholeRow(row);
            Answer(w, true);
            w.Corrections().DNS1->Click();
        }
        QVERIFY(Rows(w) != entered);
        w.Corrections().mUndo->Click();
        QCOMPARE(Rows(w), before);
        Next(w, TickOf(n - 1) + 10);
        QCOMPARE(g->RowCount() - 1, count);
    }

    // The keys reach the window also while a text field has the focus.
    void keys() {
        Run.Cars = 2;
        Run.Laps = 2;
        TFormMain w(Run);
        w.show();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        QTest::keyClick(&w, Qt::Key_F5); // the focus moves to the title
        QVERIFY(w.eTitle->hasFocus());
        QTest::keyClick(w.eTitle, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(w.FEventCount, 0);
        QTest::keyClick(&w, Qt::Key_F5);
        QTest::keyClick(w.FrameTimer2->hcbName->lineEdit(), Qt::Key_2, Qt::ControlModifier);
        QVERIFY(w.FRun.State().Car[2].Dnf);
        QCOMPARE(w.FEventCount, 1);
        QTest::keyClick(&w, Qt::Key_1, Qt::ControlModifier);
        QVERIFY(w.mReset->Enabled());
    }
};

QTEST_MAIN(TstCorrections)
#include "tst_corrections.moc"

