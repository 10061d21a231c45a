#include "FMain.h"
#include "Protocol.h"
#include "TickSource.h"
#include "TimeText.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

// What the next window starts from, as a program start would find it.
static TRunSettings Run;

namespace {

// Plays one run: each car's laps take the given times (ms).
void PlayRun(TFormMain& w, const QList<int>& lapMs1, const QList<int>& lapMs2 = {}) {
    if (w.RunSettings.Cars == 1) {
        w.mStart->Click();
        for (int i = 0; i < lapMs1.size(); ++i) {
            TickSource::Advance(lapMs1[i]);
            (i + 1 < lapMs1.size() ? w.mLAP : w.mStop)->Click();
        }
        return;
    }
    // Two cars, two laps: START 1, LAP 1, START 2, FINISH 1, LAP 2, FINISH 2.
    w.mStart->Click();
    TickSource::Advance(lapMs1[0]);
    w.mLAP->Click();
    w.mStart->Click();
    TickSource::Advance(lapMs1[1]);
    w.mStop->Click();
    TickSource::Advance(lapMs2[0] - lapMs1[1]);
    w.mLAP->Click();
    TickSource::Advance(lapMs2[1]);
    w.mStop->Click();
}

QStringList Row(const TFormMain& w, int r) {
    QStringList l;
    for (int c = 0; c < pcCount; ++c)
        l << w.SortGrid1->Cells(c, r);
    return l;
}

// Answers the next modal yes/no dialog with the given button.
void Answer(bool yes) {
    QTimer::singleShot(0, [yes] {
        auto* d = qobject_cast<TFDlgYesNo*>(QApplication::activeModalWidget());
        QVERIFY(d);
        (yes ? d->YesBtn : d->NoBtn)->click();
    });
}

} // namespace

class TstProtocol : public QObject {
    Q_OBJECT
private slots:
    void init() {
        TickSource::SetManual(5000);
        Run.Cars = 1;
        Run.Laps = 2;
    }
    void cleanup() { TickSource::UseSystem(); }

    void oneCarEntersRowOne() {
        TFormMain w(Run);
        w.FrameTimer1->hcbName->SetText(QStringLiteral("12 Hans"));
        PlayRun(w, {55100, 54200});
        QCOMPARE(w.SortGrid1->RowCount(), 2);
        QCOMPARE(Row(w, 1),
                 (QStringList{"12", "Hans", "55,10", "54,20", "", "", "", "1.49,30", "54,20", ""}));
        QCOMPARE(w.StatusPanels[0]->text(), QStringLiteral("1 von 1"));
        QVERIFY(w.sbSave->isEnabled());
        QVERIFY(w.sbClsAll->isEnabled() && w.sbHTML->isEnabled() && w.sbWord->isEnabled());
        QVERIFY(w.SortGrid1->Modified() == false); // filling the blank row changes no count

        // A second run appends; no start number leaves column 0 empty.
        w.mReset->Click();
        w.FrameTimer1->hcbName->SetText(QStringLiteral("Peter"));
        PlayRun(w, {60000, 61000});
        QCOMPARE(w.SortGrid1->RowCount(), 3);
        QCOMPARE(w.SortGrid1->Cells(0, 2), QString());
        QCOMPARE(w.SortGrid1->Cells(1, 2), QStringLiteral("Peter"));
        QVERIFY(w.SortGrid1->Modified());
        QCOMPARE(w.SortGrid1->Row(), 2);
        QCOMPARE(w.StatusPanels[0]->text(), QStringLiteral("2 von 2"));

        // An existing name is filled in place and keeps its start number.
        w.SortGrid1->SetCells(0, 2, QStringLiteral("7"));
        w.mReset->Click();
        w.FrameTimer1->hcbName->SetText(QStringLiteral("Peter"));
        PlayRun(w, {50000, 50010});
        QCOMPARE(w.SortGrid1->RowCount(), 3);
        QCOMPARE(Row(w, 2).mid(0, 4), (QStringList{"7", "Peter", "50,00", "50,01"}));
    }

    void twoCarsCarOneFirst() {
        Run.Cars = 2;
        TFormMain w(Run);
        w.FrameTimer1->hcbName->SetText(QStringLiteral("3 Anna"));
        w.FrameTimer2->hcbName->SetText(QStringLiteral("4 Bert"));
        PlayRun(w, {40000, 41000}, {42000, 43000});
        QCOMPARE(w.SortGrid1->RowCount(), 3);
        QCOMPARE(Row(w, 1).mid(0, 4), (QStringList{"3", "Anna", "40,00", "41,00"}));
        QCOMPARE(Row(w, 2).mid(0, 4), (QStringList{"4", "Bert", "42,00", "43,00"}));
        QCOMPARE(w.SortGrid1->Cells(pcTotal, 2), QStringLiteral("1.25,00"));
    }

    void appendedRowDoesNotInheritADeletedRow() {
        TFormMain w(Run);
        TSortGrid* g = w.SortGrid1;
        g->SetRowCount(3);
        g->SetRows(1, {"1", "A", "1,00", "1,00", "", "", "", "2,00", "1,00", ""});
        g->SetRows(2, {"99", "Gone", "9,00", "9,00", "9,00", "", "", "27,00", "9,00", "3"});
        g->SetRow(2);
        w.Erase1Click(nullptr);
        w.FrameTimer1->hcbName->SetText(QStringLiteral("Peter"));
        PlayRun(w, {1000, 1000});
        QCOMPARE(Row(w, 2),
                 (QStringList{"", "Peter", "1,00", "1,00", "", "", "", "2,00", "1,00", ""}));
    }

    void ranking() {
        TFormMain w(Run);
        TSortGrid* g = w.SortGrid1;
        g->SetRowCount(5);
        const QStringList totals{"55,10", "1.02,00", "55,10", ""};
        for (int r = 1; r <= 4; ++r) {
            g->SetCells(1, r, QStringLiteral("N%1").arg(r));
            g->SetCells(pcTotal, r, totals[r - 1]);
        }
        w.Sortierenprotokoll1Click(nullptr);
        QStringList sorted, ranks, names;
        for (int r = 1; r <= 4; ++r) {
            sorted << g->Cells(pcTotal, r);
            ranks << g->Cells(pcRank, r);
            names << g->Cells(1, r);
        }
        QCOMPARE(sorted, (QStringList{"55,10", "55,10", "1.02,00", ""}));
        QCOMPARE(ranks, (QStringList{"1", "1", "3", "-"}));
        QCOMPARE(names, (QStringList{"N1", "N3", "N2", "N4"}));
        QVERIFY(g->SortOptions().SortCompare == nullptr);
    }

    void competitionRanks() {
        QCOMPARE(CompetitionRanks({"1,00", "2,00", "2,00", "3,00", " "}),
                 (QStringList{"1", "2", "2", "4", "-"}));
    }

    void startNumberSplit_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("has");
        QTest::addColumn<QString>("number");
        QTest::addColumn<QString>("name");
        QTest::newRow("number and name") << "12 Hans Meier" << true << "12"
                                         << "Hans Meier";
        QTest::newRow("name only") << "Hans" << false << ""
                                   << "Hans";
        QTest::newRow("number only") << "007" << true << "007"
                                     << "";
        QTest::newRow("leading blanks") << "  Anna" << false << ""
                                        << "  Anna";
        QTest::newRow("blank digits blank") << " 5  Eva" << true << "5"
                                            << "Eva";
    }
    void startNumberSplit() {
        QFETCH(QString, text);
        QFETCH(bool, has);
        QFETCH(QString, number);
        QFETCH(QString, name);
        const TStartNumberSplit s = SplitStartNumber(text);
        QCOMPARE(s.HasNumber, has);
        QCOMPARE(s.Number, number);
        QCOMPARE(s.Name, name);
    }

    void columnWidthsFollowLaps() {
        Run.Laps = 3;
        TFormMain w3(Run);
        Run.Laps = 5;
        TFormMain w5(Run);
        QCOMPARE(w3.SortGrid1->ColWidths(5), -1);
        QCOMPARE(w3.SortGrid1->ColWidths(6), -1);
        QCOMPARE(w5.SortGrid1->ColWidths(6), 72);
        QCOMPARE(w5.SortGrid1->ColWidths(pcRank), -1);
        QCOMPARE(w3.SortGrid1->ColWidths(1) - w5.SortGrid1->ColWidths(1), 146);
        // The visible columns (each with its grid line) fill the grid exactly.
        int sum = 0;
        for (int c = 0; c < pcCount; ++c)
            if (w5.SortGrid1->ColWidths(c) >= 0) sum += w5.SortGrid1->ColWidths(c) + 1;
        QCOMPARE(sum, w5.SortGrid1->ClientWidth());
    }

    void clickSelectsOrEdits() {
        TFormMain w(Run);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        TSortGrid* g = w.SortGrid1;
        g->SetRowCount(3);
        g->SetRows(1, {"1", "Anna", "1,00"});
        g->SetRows(2, {"2", "Bert", "2,00"});
        auto point = [g](int c, int r) {
            return QPoint(g->columnViewportPosition(c) + 5, g->rowViewportPosition(r - 1) + 5);
        };
        QTest::mouseClick(g->viewport(), Qt::LeftButton, {}, point(2, 2));
        QCOMPARE(g->Row(), 2);
        QCOMPARE(g->Selection(), (TGridRect{0, 2, pcCount - 1, 2}));
        QVERIFY(!g->HasOption(goEditing));
        QCOMPARE(w.StatusPanels[0]->text(), QStringLiteral("2 von 2"));
        QTest::mouseClick(g->viewport(), Qt::LeftButton, {}, point(1, 1));
        QVERIFY(g->HasOption(goEditing));
        QCOMPARE(g->Col(), 1);
        QTest::keyClicks(g, QStringLiteral("X"));
        QVERIFY(g->EditorMode());
    }

    void buttonsLookAtRowOneOnly() {
        TFormMain w(Run);
        TSortGrid* g = w.SortGrid1;
        g->SetRowCount(3);
        g->SetCells(1, 2, QStringLiteral("Bert"));
        w.UpdateProtocolButtons();
        for (TLbSpeedButton* b : {w.sbSave, w.sbPrint, w.sbClsAll, w.sbWord, w.sbExcel, w.sbHTML})
            QVERIFY(!b->isEnabled());
    }

    // A row that holds anything is never taken over by the next driver.
    void singleRowTakenOnlyWhenBlank_data() {
        QTest::addColumn<QStringList>("row1");
        QTest::addColumn<int>("peterRow");
        QTest::newRow("start list 12;Hans") << QStringList{"12", "Hans"} << 2;
        QTest::newRow("name only") << QStringList{"", "Hans"} << 2;
        QTest::newRow("loaded blank row") << QStringList(9, QStringLiteral(" ")) << 1;
        QTest::newRow("ranked blank row")
            << QStringList{"", "", "", "", "", "", "", "", "", "-"} << 1;
    }
    void singleRowTakenOnlyWhenBlank() {
        QFETCH(QStringList, row1);
        QFETCH(int, peterRow);
        TFormMain w(Run);
        w.SortGrid1->SetRows(1, row1);
        w.FrameTimer1->hcbName->SetText(QStringLiteral("Peter"));
        PlayRun(w, {1000, 2000});
        QCOMPARE(w.SortGrid1->RowCount(), peterRow + 1);
        QCOMPARE(w.SortGrid1->Cells(1, peterRow), QStringLiteral("Peter"));
        QCOMPARE(w.SortGrid1->Cells(0, peterRow).trimmed(), QString());
        if (peterRow == 2) QCOMPARE(Row(w, 1).mid(0, row1.size()), row1);
    }

    void runNumberKeys_data() {
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("keys");
        QTest::addColumn<QString>("result");
        QTest::newRow("+ on 9") << "9"
                                << "+"
                                << "10";
        QTest::newRow("+ on 999") << "999"
                                  << "+"
                                  << "1000";
        QTest::newRow("typing stops at three") << "123"
                                               << "4"
                                               << "123";
        QTest::newRow("- on 1") << "1"
                                << "-"
                                << "1";
        QTest::newRow("- on 0") << "0"
                                << "-"
                                << "0";
        QTest::newRow("- on 5") << "5"
                                << "-"
                                << "4";
        QTest::newRow("letter ignored") << "5"
                                        << "a"
                                        << "5";
        QTest::newRow("digit typed") << "5"
                                     << "7"
                                     << "57";
        QTest::newRow("not a number") << ""
                                      << "+"
                                      << "";
    }
    void runNumberKeys() {
        QFETCH(QString, start);
        QFETCH(QString, keys);
        QFETCH(QString, result);
        TFormMain w(Run);
        w.eNR->setText(start);
        w.eNR->end(false);
        QTest::keyClicks(w.eNR, keys);
        QCOMPARE(w.eNR->text(), result);
    }

    void clearAsksFirst() {
        TFormMain w(Run);
        TSortGrid* g = w.SortGrid1;
        g->SetRowCount(3);
        g->SetRows(1, {"1", "Anna"});
        w.UpdateProtocolButtons();
        Answer(false);
        w.sbClsAllClick(nullptr);
        QCOMPARE(w.FDlgYesNo->Label1->text(), QStringLiteral("Protokoll löschen?"));
        QCOMPARE(g->RowCount(), 3);
        Answer(true);
        w.sbClsAllClick(nullptr);
        QCOMPARE(g->RowCount(), 2);
        QVERIFY(g->IsRowEmpty(1));
        QVERIFY(!w.sbSave->isEnabled());
        QVERIFY(!g->Modified());
        QCOMPARE(g->ColWidths(pcRank), -1);
    }

    void escapeIsNo() {
        TFDlgYesNo d;
        QTimer::singleShot(0, [&d] { QTest::keyClick(&d, Qt::Key_Escape); });
        QCOMPARE(d.ShowModal(), TFDlgYesNo::mrCancel);
        QCOMPARE(d.windowTitle(), QStringLiteral("tst_protocol"));
    }

    void deleteRows() {
        TFormMain w(Run);
        TSortGrid* g = w.SortGrid1;
        g->SetRows(1, {"1", "Anna"});
        g->SetRow(1);
        w.Erase1Click(nullptr);
        QCOMPARE(g->RowCount(), 2);
        QVERIFY(g->IsRowEmpty(1));
        g->SetRowCount(4);
        for (int r = 1; r <= 3; ++r)
            g->SetCells(1, r, QStringLiteral("N%1").arg(r));
        g->SetRow(3);
        w.Erase1Click(nullptr);
        QCOMPARE(g->RowCount(), 3);
        QCOMPARE(g->Row(), 2);
        QCOMPARE(g->Selection(), (TGridRect{0, 2, pcCount - 1, 2}));
    }
};

QTEST_MAIN(TstProtocol)
#include "tst_protocol.moc"

