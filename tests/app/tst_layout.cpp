#include "FMain.h"

#include <QTest>

// What the next window starts from, as a program start would find it.
static TRunSettings Run;

class TstLayout : public QObject {
    Q_OBJECT
private:
    static QRect InTiming(const TFormMain& w, const QWidget* c) {
        return QRect(c->mapTo(w.PanelTimerOwner, QPoint(0, 0)), c->size());
    }

private slots:
    void init() {
        Run.Cars = 2;
        Run.Laps = 2;
    }

    void designGeometry() {
        TFormMain w(Run);
        QCOMPARE(w.size(), QSize(742, 515));
        QCOMPARE(InTiming(w, w.bStart), QRect(0, 0, 41, 308));
        QCOMPARE(InTiming(w, w.FrameTimer1), QRect(41, 0, 415, 156));
        QCOMPARE(InTiming(w, w.FrameTimer2), QRect(41, 156, 415, 157));
        QCOMPARE(InTiming(w, w.bLAP), QRect(456, 0, 41, 308));
        QCOMPARE(InTiming(w, w.FrameLapTimers[1]).left(), 497);
        QCOMPARE(InTiming(w, w.FrameLapTimers[1]).width(), 203);
        QCOMPARE(InTiming(w, w.bFinish).left(), 497 + 203 + 1);
        QCOMPARE(w.PanelResize->height(), 348);
        QCOMPARE(w.PanelButtons->geometry(), QRect(0, 308, 742, 40));
        QCOMPARE(w.eTitle->geometry(), QRect(2, 4, 295, 32));
        QCOMPARE(w.Panel4->geometry(), QRect(386, 0, 356, 40));
        QCOMPARE(w.sbHTML->geometry(), QRect(318, 3, 36, 37));
        QCOMPARE(w.StatusBar1->geometry(), QRect(0, 496, 742, 19));
        QCOMPARE(w.PanelProtocol->geometry(), QRect(0, 386, 742, 110));
        QCOMPARE(w.PanelDate->geometry(), QRect(502, 0, 240, 38));
        QCOMPARE(w.minimumHeight(), 348 + 136 - TFormMain::FrameExtraHeight);
    }

    void lapFramesFollowLaps_data() {
        QTest::addColumn<int>("cars");
        QTest::addColumn<int>("laps");
        QTest::addColumn<QList<int>>("tops");
        QTest::addColumn<int>("fontPoints");
        QTest::addColumn<int>("panelHeight");
        QTest::newRow("2 cars") << 2 << 2 << QList<int>{22, 97} << 24 << 348;
        QTest::newRow("1 car 5 laps") << 1 << 5 << QList<int>{0, 30, 60, 90, 120} << 19 << 194;
    }
    void lapFramesFollowLaps() {
        QFETCH(int, cars);
        QFETCH(int, laps);
        QFETCH(QList<int>, tops);
        QFETCH(int, fontPoints);
        QFETCH(int, panelHeight);
        Run.Cars = cars;
        Run.Laps = laps;
        TFormMain w(Run);
        for (int j = 1; j <= 5; ++j) {
            QCOMPARE(w.FLapTimers[1][j]->isVisibleTo(&w), j <= laps);
            if (j <= laps) {
                QCOMPARE(w.FLapTimers[1][j]->y(), tops[j - 1]);
                QCOMPARE(w.FLapTimers[2][j]->y(), 156 + tops[j - 1]);
            }
        }
        QCOMPARE(w.bStart->font().pointSize(), fontPoints);
        QCOMPARE(w.PanelResize->height(), panelHeight);
    }

    void widening() {
        TFormMain w(Run);
        w.show();
        const QRect start = InTiming(w, w.bStart), lap = InTiming(w, w.bLAP),
                    finish = InTiming(w, w.bFinish), frame = InTiming(w, w.FrameLapTimers[3]);
        const int title = w.eTitle->width(), right = w.PanelRight->width();
        w.resize(w.width() + 100, w.height());
        QCOMPARE(w.PanelRight->width(), right + 100);
        QCOMPARE(w.eTitle->width(), title + 100);
        QCOMPARE(InTiming(w, w.bStart), start);
        QCOMPARE(InTiming(w, w.bLAP), lap);
        QCOMPARE(InTiming(w, w.bFinish), finish);
        QCOMPARE(InTiming(w, w.FrameLapTimers[3]), frame);
        QCOMPARE(w.Panel4->x(), 386 + 100);
        QCOMPARE(w.eNR->x(), 400);
    }

    void hintsAndHiddenLed() {
        TFormMain w(Run);
        w.show();
        QCOMPARE(w.bInfo->Hint(), QStringLiteral("Info (F3)"));
        QCOMPARE(w.bCFG->Hint(), QStringLiteral("Einstellungen (F2)"));
        QCOMPARE(w.bHelp->Hint(), QStringLiteral("Hilfe (F1)"));
        QCOMPARE(w.LedLock->toolTip(), QStringLiteral("LS sperren [F11]"));
        QVERIFY(!w.LedLock->isVisible());
        QVERIFY(!w.LedLabel->isVisible());
        QVERIFY(!w.HideMenu1->isVisible());
        QCOMPARE(w.windowTitle(), QStringLiteral("tst_layout v 1.6"));
        for (TLbSpeedButton* b : {w.sbSave, w.sbPrint, w.sbClsAll, w.sbWord, w.sbExcel, w.sbHTML})
            QVERIFY(!b->isEnabled());
        QCOMPARE(w.focusWidget(), w.eTitle);
    }

    void shortcutsReachTheirItems_data() {
        QTest::addColumn<QString>("item");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::newRow("F5") << "mStart" << int(Qt::Key_F5) << 0;
        QTest::newRow("F4") << "mLAP" << int(Qt::Key_F4) << 0;
        QTest::newRow("F9") << "mStop" << int(Qt::Key_F9) << 0;
        QTest::newRow("F10") << "mReset" << int(Qt::Key_F10) << 0;
        QTest::newRow("F11") << "LockLSStart1" << int(Qt::Key_F11) << 0;
        QTest::newRow("F1") << "mHilfe" << int(Qt::Key_F1) << 0;
        QTest::newRow("F2") << "mCFG" << int(Qt::Key_F2) << 0;
        QTest::newRow("F3") << "Info1" << int(Qt::Key_F3) << 0;
        QTest::newRow("Alt+I") << "Hilfe1" << int(Qt::Key_I) << int(Qt::AltModifier);
        QTest::newRow("Alt+D") << "Drucker1" << int(Qt::Key_D) << int(Qt::AltModifier);
        QTest::newRow("Alt+B") << "Beenden1" << int(Qt::Key_B) << int(Qt::AltModifier);
    }
    void shortcutsReachTheirItems() {
        QFETCH(QString, item);
        QFETCH(int, key);
        QFETCH(int, modifiers);
        TFormMain w(Run);
        w.show();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        auto* m = w.findChild<TMenuItem*>(item);
        QVERIFY(m);
        m->SetEnabled(true);
        int hits = 0;
        m->OnClick = [&](QObject* s) {
            QCOMPARE(s, m);
            ++hits;
        };
        QTest::keyClick(&w, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QCOMPARE(hits, 1);
    }

    // F5 starts the run while another window of the program has the focus.
    void timingKeysInTheOtherWindows_data() {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::newRow("Läufe") << int(Qt::Key_L) << int(Qt::ControlModifier | Qt::ShiftModifier);
        QTest::newRow("Hilfe") << int(Qt::Key_F1) << 0;
    }
    void timingKeysInTheOtherWindows() {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        TFormMain w(Run);
        w.show();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        QTest::keyClick(&w, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QTRY_VERIFY(QApplication::activeWindow() && QApplication::activeWindow() != &w);
        QTest::keyClick(QApplication::activeWindow(), Qt::Key_F5);
        QCOMPARE(w.FEventCount, 1);
        QApplication::activeWindow()->close();
    }

    void altBDoesNothing() {
        TFormMain w(Run);
        w.show();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        QVERIFY(!w.Beenden1->OnClick);
        QTest::keyClick(&w, Qt::Key_B, Qt::AltModifier);
        QVERIFY(w.isVisible());
        QCOMPARE(w.FEventCount, 0);
    }
};

QTEST_MAIN(TstLayout)
#include "tst_layout.moc"

