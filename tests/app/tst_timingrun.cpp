#include "EventsFeature.h"
#include "FMain.h"
#include "TickSource.h"

#include <QLineEdit>
#include <QTest>

// What the next window starts from, as a program start would find it.
static TRunSettings Run;

namespace {

QString Digits(const TFrameTimer* f) {
    QString s;
    for (const TDigit* d :
         {f->Digit2, f->Digit3, f->Digit4, f->Digit5, f->Digit6, f->Digit7, f->Digit8})
        s += QString::number(d->Value());
    return s;
}

// 'L' lit, 'd' dim for Digit2..Digit8.
QString Lights(const TFrameTimer* f) {
    QString s;
    for (const TDigit* d :
         {f->Digit2, f->Digit3, f->Digit4, f->Digit5, f->Digit6, f->Digit7, f->Digit8})
        s += d->ColorOn() == TFrameTimer::LitColor ? QLatin1Char('L') : QLatin1Char('d');
    return s;
}

QString Enabled(const TFormMain& w) {
    QString s;
    s += w.mStart->Enabled() ? QLatin1Char('S') : QLatin1Char('-');
    s += w.mLAP->Enabled() ? QLatin1Char('L') : QLatin1Char('-');
    s += w.mStop->Enabled() ? QLatin1Char('F') : QLatin1Char('-');
    s += w.mReset->Enabled() ? QLatin1Char('R') : QLatin1Char('-');
    return s;
}

} // namespace

class TstTimingRun : public QObject {
    Q_OBJECT
private slots:
    void init() {
        TickSource::SetManual(1000);
        Run.Cars = 2;
        Run.Laps = 2;
    }
    void cleanup() { TickSource::UseSystem(); }

    void showTime_data() {
        QTest::addColumn<int>("ms");
        QTest::addColumn<QString>("digits");
        QTest::addColumn<QString>("lights");
        QTest::addColumn<TColor>("hourLabel");
        QTest::addColumn<TColor>("minLabel");
        QTest::newRow("0") << 0 << "0000000"
                           << "ddddLLL" << clDarkGray << clDarkGray;
        QTest::newRow("5.07 s") << 5070 << "0000507"
                                << "ddddLLL" << clDarkGray << clDarkGray;
        QTest::newRow("65.3 s") << 65300 << "0010530"
                                << "ddLLLLL" << clDarkGray << clYellow;
        QTest::newRow("10 min") << 600000 << "0100000"
                                << "dLLLLLL" << clDarkGray << clYellow;
        QTest::newRow("1 h") << 3600000 << "1000000"
                             << "LLLLLLL" << clYellow << clYellow;
        QTest::newRow("10 h") << 36000000 << "0000000"
                              << "ddddLLL" << clDarkGray << clDarkGray;
    }
    void showTime() {
        QFETCH(int, ms);
        QFETCH(QString, digits);
        QFETCH(QString, lights);
        QFETCH(TColor, hourLabel);
        QFETCH(TColor, minLabel);
        TFrameTimer f;
        f.ShowTime(ms);
        QCOMPARE(Digits(&f), digits);
        QCOMPARE(Lights(&f), lights);
        QCOMPARE(LabelColor(f.LabHour), hourLabel);
        QCOMPARE(LabelColor(f.LabMin), minLabel);
        QCOMPARE(LabelColor(f.LabSec), clYellow);
    }

    void lapLabelColour() {
        TFrameLapTimer f;
        f.SetLapTime(5);
        QCOMPARE(LabelColor(f.LabelLap), clGreen);
        QCOMPARE(f.Digit8->Value(), 0);
        f.SetLapTime(10);
        QCOMPARE(LabelColor(f.LabelLap), clLime);
        QCOMPARE(f.Digit8->Value(), 1);
        QCOMPARE(f.Tag, 10);
    }

    void oneCarSequence_data() {
        QTest::addColumn<int>("laps");
        for (int l = 2; l <= 5; ++l)
            QTest::newRow(qPrintable(QStringLiteral("%1 laps").arg(l))) << l;
    }
    void oneCarSequence() {
        QFETCH(int, laps);
        Run.Cars = 1;
        Run.Laps = laps;
        TFormMain w(Run);
        QCOMPARE(Enabled(w), QStringLiteral("S---"));
        w.mStart->Click();
        for (int lap = 1; lap < laps; ++lap) {
            QCOMPARE(Enabled(w), QStringLiteral("-L--"));
            w.mStop->Click(); // not permitted: ignored
            w.mStart->Click();
            TickSource::Advance(1000 * lap);
            w.mLAP->Click();
            QCOMPARE(w.FLapTimers[1][lap]->Tag, 1000 * lap);
        }
        QCOMPARE(Enabled(w), QStringLiteral("--F-"));
        TickSource::Advance(500);
        w.mStop->Click();
        QCOMPARE(Enabled(w), QStringLiteral("---R"));
        QCOMPARE(w.FLapTimers[1][laps]->Tag, 500);
        QVERIFY(w.bReset->isVisibleTo(&w));
        QVERIFY(!w.bStart->isVisibleTo(&w));
        QCOMPARE(w.bReset->geometry().left(), 0);
        QCOMPARE(w.bLAP->Color(), clBlack);
        QCOMPARE(w.FEventCount, laps + 1);
    }

    void twoCarSequence() {
        TFormMain w(Run);
        const char* after[] = {"-L--", "S---", "--F-", "-L--", "--F-", "---R"};
        const int cars[] = {1, 1, 2, 1, 2, 2};
        TMenuItem* items[] = {w.mStart, w.mLAP, w.mStart, w.mStop, w.mLAP, w.mStop};
        for (int i = 0; i < 6; ++i) {
            TickSource::Advance(1000);
            items[i]->Click();
            QCOMPARE(w.FEventCount, i + 1);
            QCOMPARE(w.CurrentCar(), cars[i]);
            QCOMPARE(Enabled(w), QString::fromLatin1(after[i]));
        }
        QCOMPARE(w.bStart->Color(), clBlack);
    }

    void truncatedTotal() {
        Run.Cars = 1;
        Run.Laps = 3;
        TFormMain w(Run);
        w.mStart->Click();
        TickSource::Advance(1234);
        w.mLAP->Click();
        TickSource::Advance(1239);
        w.mLAP->Click();
        TickSource::Advance(2001);
        w.mStop->Click();
        QCOMPARE(w.FrameTimer1->FTotalMs, 4460);
        QCOMPARE(Digits(w.FrameTimer1), QStringLiteral("0000446"));
        QCOMPARE(w.FLapTimers[1][1]->Digit7->Value() * 10 + w.FLapTimers[1][1]->Digit8->Value(),
                 23);
        QCOMPARE(w.FLapTimers[1][3]->Tag, 2001);
    }

    void keyboardAndButtons() {
        TFormMain w(Run);
        w.show();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        QTest::keyClick(&w, Qt::Key_F9); // FINISH not permitted
        QCOMPARE(w.FEventCount, 0);
        QTest::mousePress(w.bStart, Qt::RightButton); // any button starts
        QCOMPARE(w.FEventCount, 1);
        QVERIFY(w.FrameTimer1->Clock->isActive());
        QTest::keyClick(w.FrameTimer1->hcbName->lineEdit(), Qt::Key_F9); // still not permitted
        QCOMPARE(w.FEventCount, 1);
        QTest::keyClick(w.FrameTimer1->hcbName->lineEdit(), Qt::Key_F4); // from a name box
        QCOMPARE(w.FEventCount, 2);
        QTest::mousePress(w.bStart, Qt::MiddleButton);
        QCOMPARE(w.FEventCount, 3);
        QTest::keyClick(&w, Qt::Key_F9);
        QTest::keyClick(&w, Qt::Key_F4);
        QTest::keyClick(&w, Qt::Key_F9);
        QCOMPARE(w.FEventCount, 6);
        QTest::mouseClick(w.bReset, Qt::LeftButton);
        QCOMPARE(w.FEventCount, 0);
        QCOMPARE(Enabled(w), QStringLiteral("S---"));
        QCOMPARE(w.bStart->Color(), clLime);
        QVERIFY(w.bStart->isVisible());
        QVERIFY(!w.bReset->isVisible());
        QCOMPARE(w.LedLock->Kind(), lkGreen);
        QCOMPARE(Digits(w.FrameTimer1), QStringLiteral("0000000"));
        QCOMPARE(LabelColor(w.FLapTimers[2][1]->LabelLap), clGreen);
    }

    void resetAdvancesNameBoxes_data() {
        QTest::addColumn<int>("index1");
        QTest::addColumn<int>("index2");
        QTest::addColumn<int>("new1");
        QTest::addColumn<int>("new2");
        QTest::newRow("0,1 -> 2,3") << 0 << 1 << 2 << 3;
        QTest::newRow("none -> Cars-1") << -1 << -1 << 1 << 1;
        QTest::newRow("past the end begins the next round") << 2 << 3 << 0 << 1;
    }
    void resetAdvancesNameBoxes() {
        QFETCH(int, index1);
        QFETCH(int, index2);
        QFETCH(int, new1);
        QFETCH(int, new2);
        TFormMain w(Run);
        w.Events->Recorder().Rounds.Clear(); // who drove in the other tests' runs of the day
        const QStringList names = {"A", "B", "C", "D"};
        w.FrameTimer1->hcbName->SetItems(names);
        w.FrameTimer2->hcbName->SetItems(names);
        w.FrameTimer1->hcbName->SetItemIndex(index1);
        w.FrameTimer2->hcbName->SetItemIndex(index2);
        for (TMenuItem* m : {w.mStart, w.mLAP, w.mStart, w.mStop, w.mLAP, w.mStop})
            m->Click();
        w.mReset->Click();
        QCOMPARE(w.FrameTimer1->hcbName->ItemIndex(), new1);
        QCOMPARE(w.FrameTimer2->hcbName->ItemIndex(), new2);
        if (new1 >= 0) QCOMPARE(w.FrameTimer1->hcbName->Text(), names[new1]);
    }

    // Only the list, RESET and loading move a name box's entry: a typed name that
    // equals an entry is not selected when START takes the focus away.
    void typedNameKeepsTheEntry_data() {
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("afterReset");
        QTest::newRow("C typed over A") << QStringList{"A", "B", "C", "D"} << "C"
                                        << "B";
        QTest::newRow("Max, empty list") << QStringList{} << "Max"
                                         << "Max";
    }
    void typedNameKeepsTheEntry() {
        QFETCH(QStringList, names);
        QFETCH(QString, typed);
        QFETCH(QString, afterReset);
        Run.Cars = 1;
        TFormMain w(Run);
        w.Events->Recorder().Rounds.Clear();
        THistoryComboBox* box = w.FrameTimer1->hcbName;
        box->SetItems(names);
        box->SetItemIndex(0);
        w.show();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        box->setFocus();
        box->lineEdit()->selectAll();
        QTest::keyClicks(box->lineEdit(), typed);
        for (Qt::Key key : {Qt::Key_F5, Qt::Key_F4, Qt::Key_F9}) {
            TickSource::Advance(10000);
            QTest::keyClick(&w, key);
        }
        QCOMPARE(w.SortGrid1->Cells(1, 1), typed);
        QTest::keyClick(&w, Qt::Key_F10);
        QCOMPARE(box->Text(), afterReset);
    }

    void enterInNameBox() {
        TFormMain w(Run);
        w.show();
        THistoryComboBox* box1 = w.FrameTimer1->hcbName;
        THistoryComboBox* box2 = w.FrameTimer2->hcbName;
        box2->SetText(QStringLiteral("Eva"));
        box1->SetText(QStringLiteral("  Max "));
        QTest::keyClick(box1->lineEdit(), Qt::Key_Return);
        QCOMPARE(box1->Text(), QStringLiteral("Max"));
        QCOMPARE(box1->Items(), QStringList{QStringLiteral("Max")});
        QCOMPARE(box1->lineEdit()->selectedText(), QStringLiteral("Max"));
        QTest::keyClick(box1->lineEdit(), Qt::Key_Return);
        QCOMPARE(box1->Items().size(), 2); // repeats are appended
        QCOMPARE(box2->Items(), box1->Items());
        QCOMPARE(box2->Text(), QStringLiteral("Eva")); // the other box keeps its text
        box2->SetText(QStringLiteral("   "));
        QTest::keyClick(box2->lineEdit(), Qt::Key_Return);
        QCOMPARE(box2->Items().size(), 2); // nothing for an empty box
        QCOMPARE(box2->Text(), QString());
    }

    void disabledItemIgnoresEveryRoute() {
        TFormMain w(Run);
        int calls = 0;
        w.mStop->OnClick = [&](QObject*) { ++calls; };
        w.mStop->Click();
        w.mStop->trigger();
        w.bFinishMouseDown(w.bFinish);
        QCOMPARE(calls, 0);
        w.mStop->SetEnabled(true);
        w.mStop->Click();
        QCOMPARE(calls, 1);
    }
};

QTEST_MAIN(TstTimingRun)
#include "tst_timingrun.moc"

