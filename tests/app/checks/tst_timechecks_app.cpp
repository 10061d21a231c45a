// Suspicious times and hand times at the main window: each rule marks the protocol
// cell (colour and tooltip) while unflagged cells keep the window's colours,
// "Geprüft" clears a mark, a hand time enters the protocol marked and recorded,
// the protocol file stays as it is, and the limits live in the settings.
#include "EventsFeature.h"
#include "ProgramInfo.h"
#include "FRuns.h"
#include "LiveResults.h"
#include "FMain.h"
#include "OneCarTest.h"
#include "Protocol.h"
#include "RunSnapshot.h"
#include "SimBarrier.h"
#include "TimeChecks.h"
#include "TimeText.h"
#include "TrackCorrections.h"

#include <QHelpEvent>
#include <QTimer>
#include <QTemporaryDir>
#include <QToolTip>

namespace {

// The brush a protocol cell is painted with.
QColor Brush(TFormMain& w, int col, int row) {
    TFormatOptions fo;
    fo.Brush = Qt::white;
    bool cb = false, combo = false, el = false;
    w.SortGrid1->OnGetCellFormat(w.SortGrid1, col, row, TGridDrawState(0), fo, cb, combo, el);
    return fo.Brush;
}

// One car, two laps of "Hans"; source per event: 'T' key, 'M' mouse, 'L' barrier.
void TimeRun(TFormMain& w, uint32_t start, int lap1, int lap2, const QString& sources = "TTT",
             const QString& name = QStringLiteral("Hans")) {
    w.FrameTimer1->hcbName->SetText(name);
    const uint32_t ticks[] = {start, start + uint32_t(lap1), start + uint32_t(lap1 + lap2)};
    for (int i = 0; i < 3; ++i) {
        w.FEventSource = sources[i] == 'L'   ? TRunEventSource::Barrier
                         : sources[i] == 'M' ? TRunEventSource::Mouse
                                             : TRunEventSource::Key;
        Next(w, ticks[i]);
        w.FEventSource = TRunEventSource::Key;
    }
    w.mReset->Click();
}

int RowOf(TFormMain& w, const QString& name) {
    return w.SortGrid1->FindRow(pcName, name, false);
}

TEffectiveRun LatestRunOf(TFormMain& w, const QString& name) {
    w.Events->Store().Flush();
    TEventDb db;
    TEffectiveRun found;
    if (db.OpenForReading(w.Events->DatabasePath()))
        for (const TEffectiveRun& e : db.EffectiveRuns(w.Events->Recorder().CurrentEvent()))
            if (e.Run.Name == name) found = e;
    return found;
}

} // namespace

class TstTimeChecksApp : public TOneCarTest {
    Q_OBJECT

private slots:
    void init() {
        InitOneCar(Run);
        TDlgHandTime::ShowError = [this](QWidget*, const QString& text) { FMessages << text; };
    }
    void cleanup() {
        TickSource::UseSystem();
        TSettingsStore::UseNone();
    }

    // Each rule through the window: the cell it concerns is coloured with the reason
    // as its tooltip; the other time cells keep the window's own colours.
    void ruleMarksTheCell_data() {
        QTest::addColumn<QList<int>>("laps");
        QTest::addColumn<QString>("sources");
        QTest::addColumn<int>("fieldRuns");
        QTest::addColumn<int>("col");
        QTest::addColumn<QString>("reason");
        QTest::newRow("a lap of 0,40 under the minimum lap") << QList<int>{400, 60000} << "TTT" << 0
                                                             << int(pcLap1) << "kürzer als 30,00";
        QTest::newRow("lap 2 far over the field's median")
            << QList<int>{60000, 150000} << "TTT" << 5 << int(pcLap1 + 1) << "weit weg vom Feld";
        QTest::newRow("barrier START, LAP and FINISH by key") << QList<int>{60000, 60000} << "LTT"
                                                             << 0 << int(pcTotal) << "von Hand";
        QTest::newRow("the mouse counts as by hand too")
            << QList<int>{60000, 60000} << "MLL" << 0 << int(pcTotal) << "von Hand";
    }
    void ruleMarksTheCell() {
        QFETCH(QList<int>, laps);
        QFETCH(QString, sources);
        QFETCH(int, fieldRuns);
        QFETCH(int, col);
        QFETCH(QString, reason);
        TFormMain w(Run);
        w.Checks->Checker().Thresholds.MinLapMs = 30000;
        uint32_t t = 10000;
        for (int i = 0; i < fieldRuns; ++i, t += 200000)
            TimeRun(w, t, 60000 + 100 * i, 61000, "TTT", QStringLiteral("Feld %1").arg(i));
        TimeRun(w, t, laps[0], laps[1], sources);
        const int row = RowOf(w, QStringLiteral("Hans"));
        QVERIFY(row > 0);
        for (int c = pcLap1; c <= pcBest; ++c) {
            const bool marked = c == col;
            QCOMPARE(Brush(w, c, row), marked ? TTimeChecks::FlagColor : QColor(Qt::white));
            QCOMPARE(w.Checks->CellNote(c, row).contains(reason), marked);
        }
        // The times stay exactly as timed.
        QCOMPARE(w.SortGrid1->Cells(pcLap1, row), TimeToText(laps[0]));
        QCOMPARE(w.SortGrid1->Cells(pcLap1 + 1, row), TimeToText(laps[1]));
        // The tooltip over the cell.
        const QRect r = w.SortGrid1->CellRect(col, row);
        QHelpEvent help(QEvent::ToolTip, r.center() - w.SortGrid1->viewport()->pos(),
                        w.SortGrid1->viewport()->mapToGlobal(r.center()));
        QApplication::sendEvent(w.SortGrid1->viewport(), &help);
        QVERIFY(QToolTip::text().contains(reason));
        QToolTip::hideText();
    }

    // The barrier's dead time reaches the rule: an edge 20 ms after it ended is
    // flagged, one well after it is not.
    void barrierEdgeAfterTheDeadTime_data() {
        QTest::addColumn<int>("after");
        QTest::addColumn<bool>("flagged");
        QTest::newRow("20 ms after the dead time") << 20 << true;
        QTest::newRow("49 ms after the dead time") << 49 << true;
        QTest::newRow("a second after the dead time") << 1000 << false;
    }
    void barrierEdgeAfterTheDeadTime() {
        QFETCH(int, after);
        QFETCH(bool, flagged);
        TComBackend::Current() = TSimComBus::Backend();
        Run.LastModemStatus = 0x55555555;
        {
            Barrier b(0); // "Ein", dead time 3000 ms
            b.w.FrameTimer1->hcbName->SetText(QStringLiteral("Hans"));
            b.w.LedLockClick(nullptr);
            if (b.w.LedLock->Kind() != lkGreen) b.w.LedLockClick(nullptr);
            uint32_t t = 5000;
            for (int pass = 0; pass < 3; ++pass) {
                TickSource::SetManual(t);
                b.Set(MS_DSR_ON);
                TickSource::SetManual(t + 100);
                b.Set(0);
                // The dead time runs out; the next pass comes "after" later (the first
                // lap) or well after.
                TickSource::SetManual(t + 3000);
                if (pass < 2) b.EndDeadTime();
                t += 3000 + uint32_t(pass == 0 ? after : 20000);
            }
            QCOMPARE(b.w.SortGrid1->Cells(pcName, 1), QStringLiteral("Hans"));
            QCOMPARE(Brush(b.w, pcTotal, 1) == TTimeChecks::FlagColor, flagged);
            QCOMPARE(b.w.Checks->CellNote(pcTotal, 1).contains(QStringLiteral("nach Ende der Totzeit")),
                     flagged);
        }
        TSimComBus::DetachAll();
        TComBackend::Current() = TSimComBus::Backend();
    }

    // The popup's entries act on the row right-clicked, not on the row the last
    // results selected, and their questions name driver and run; "Zeile entfernen"
    // keeps its own row and names it.
    void popupTargets_data() {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QString>("changed");  // the driver whose row changes
        QTest::addColumn<QString>("question"); // the question or the dialog's driver line
        QTest::newRow("Geprüft, offered on the flagged row") << "Geprüft" << "Hans" << "";
        QTest::newRow("Handzeit for the clicked lap") << "Handzeit" << "Hans" << "Hans, Lauf 1";
        QTest::newRow("DNS names driver and run") << "DNS" << "Hans" << "Nicht gestartet: Hans, Lauf 1?";
        QTest::newRow("Zeile entfernen: the selected row, named")
            << "Zeile entfernen" << "Eva" << "Zeile 3 entfernen: Eva?";
    }
    void popupTargets() {
        QFETCH(QString, entry);
        QFETCH(QString, changed);
        QFETCH(QString, question);
        TFormMain w(Run);
        w.show();
        w.Checks->Checker().Thresholds.MinLapMs = 30000;
        TimeRun(w, 10000, 60000, 61000, "TTT", QStringLiteral("Otto"));
        TimeRun(w, 200000, 400, 60000); // Hans: lap 1 flagged
        TimeRun(w, 400000, 60000, 60500, "TTT", QStringLiteral("Eva"));
        TSortGrid* g = w.SortGrid1;
        QCOMPARE(g->Row(), 3); // the last results selected Eva
        const auto rows = [g] {
            QStringList r;
            for (int row = 1; row < g->RowCount(); ++row)
                r << g->Rows(row).mid(0, pcRank).join(QLatin1Char('|'));
            return r;
        };
        const QStringList before = rows();
        const QPoint at = g->CellRect(pcLap1, 2).center() - g->viewport()->pos();
        QTest::mouseClick(g->viewport(), Qt::RightButton, {}, at);
        QTRY_VERIFY(w.PopupMenuList->isVisible());
        QCOMPARE(g->PopupRow(), 2);
        QVERIFY(w.Checks->mChecked->Enabled());
        w.PopupMenuList->close();
        QString asked;
        QTimer::singleShot(0, &w, [&w, &asked] {
            asked = w.FDlgYesNo->Label1->text();
            w.FDlgYesNo->YesBtn->click();
        });
        const auto saved = TTimeChecks::ExecHandTime;
        TTimeChecks::ExecHandTime = [&asked](TDlgHandTime* d) {
            asked = d->lDriver->text();
            if (d->Field() != 1) return int(QDialog::Rejected); // the lap clicked is proposed
            d->eTime->setText(QStringLiteral("59,40"));
            return int(QDialog::Accepted);
        };
        if (entry == QStringLiteral("Geprüft")) w.Checks->mChecked->Click();
        if (entry == QLatin1String("Handzeit")) w.Checks->mHandTime->Click();
        if (entry == QLatin1String("DNS")) w.Corrections().DNS1->Click();
        if (entry == QLatin1String("Zeile entfernen")) w.Erase1->Click();
        TTimeChecks::ExecHandTime = saved;
        QTRY_COMPARE(asked.section(QLatin1Char('\n'), 0, 0), question);
        const QStringList after = rows();
        for (int i = 0; i < before.size(); ++i) {
            const bool mine = before[i].section(QLatin1Char('|'), 1, 1) == changed;
            // "Geprüft" changes no text: only the flag goes.
            if (entry != QStringLiteral("Geprüft") && after.value(i) != before[i]) QVERIFY2(mine, qPrintable(before[i]));
        }
        QCOMPARE(after != before, entry != QStringLiteral("Geprüft"));
        QCOMPARE(Brush(w, pcLap1, RowOf(w, QStringLiteral("Hans"))) == TTimeChecks::FlagColor,
                 entry == QLatin1String("Zeile entfernen"));
    }

    // A start list loaded over a flagged run: the row shows no time, so nothing is marked.
    void noMarkWithoutATime() {
        TFormMain w(Run);
        w.Checks->Checker().Thresholds.MinLapMs = 30000;
        TimeRun(w, 10000, 400, 60000);
        QCOMPARE(Brush(w, pcLap1, RowOf(w, QStringLiteral("Hans"))), TTimeChecks::FlagColor);
        QTemporaryDir dir;
        QFile f(dir.filePath(QStringLiteral("liste.txt")));
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write("1;Hans\r\n") > 0);
        f.close();
        w.LoadProtocolText(f.fileName());
        const int row = RowOf(w, QStringLiteral("Hans"));
        QCOMPARE(Brush(w, pcLap1, row), QColor(Qt::white));
        QCOMPARE(w.Checks->CellMark(pcLap1, row), QString());
    }

    // A mark goes only by a record, and with it the colour.
    void checkedClearsTheMark_data() {
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("stays");
        QTest::newRow("Geprüft on the row") << "checked" << false;
        QTest::newRow("Geprüft on another row") << "other" << true;
        QTest::newRow("a typed lap over it") << "typed" << false;
        QTest::newRow("a hand time over it") << "hand" << false;
    }
    void checkedClearsTheMark() {
        QFETCH(QString, how);
        QFETCH(bool, stays);
        TFormMain w(Run);
        w.Checks->Checker().Thresholds.MinLapMs = 30000;
        TimeRun(w, 10000, 60000, 61000, "TTT", QStringLiteral("Otto"));
        TimeRun(w, 200000, 400, 60000);
        const int row = RowOf(w, QStringLiteral("Hans"));
        QCOMPARE(Brush(w, pcLap1, row), TTimeChecks::FlagColor);
        w.SortGrid1->SetRow(how == QLatin1String("other") ? RowOf(w, QStringLiteral("Otto")) : row);
        emit w.PopupMenuList->aboutToShow();
        QCOMPARE(w.Checks->mChecked->Enabled(), how != QLatin1String("other"));
        if (how == QLatin1String("checked") || how == QLatin1String("other"))
            w.Checks->mChecked->Click();
        if (how == QLatin1String("typed")) {
            const auto saved = TTrackCorrections::AskText;
            TTrackCorrections::AskText = [](const QString&, QString& text) {
                text = QStringLiteral("59,40");
                return true;
            };
            w.Corrections().EditLapCell(pcLap1, row);
            TTrackCorrections::AskText = saved;
        }
        if (how == QLatin1String("hand")) QVERIFY(w.Checks->EnterHandTime(row, 1, 59400));
        QCOMPARE(Brush(w, pcLap1, row) == TTimeChecks::FlagColor, stays);
        const TEffectiveRun e = LatestRunOf(w, QStringLiteral("Hans"));
        QCOMPARE(e.Flags.size(), size_t(stays ? 1 : 0));
        QCOMPARE(std::any_of(e.History.begin(), e.History.end(),
                             [](const TCorrection& c) { return c.Kind == CorrectionKind::Checked; }),
                 !stays);
    }

    // "Handzeit …" where the barrier missed: the time goes into the protocol marked,
    // total and best lap follow, the database keeps it as a hand time, and the
    // protocol file holds the plain time.
    void handTime_data() {
        QTest::addColumn<QString>("field"); // as the dialog lists it
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QStringList>("cells"); // lap 1, lap 2, total, best after it
        QTest::addColumn<QList<int>>("handCols");
        QTest::addColumn<bool>("refused");
        QTest::newRow("the total from the stopwatch")
            << "Gesamtzeit" << "2.00,57" << QStringList{"1.00,00", "1,20", "2.00,57", "1,20"}
            << QList<int>{int(pcTotal)} << false;
        QTest::newRow("lap 2 from the stopwatch")
            << "Runde 2" << "1.01,0" << QStringList{"1.00,00", "1.01,00", "2.01,00", "1.00,00"}
            << QList<int>{int(pcLap1 + 1), int(pcTotal)} << false;
        QTest::newRow("no time typed: told, nothing changes")
            << "Runde 2" << "eine Minute" << QStringList{"1.00,00", "1,20", "1.01,20", "1,20"}
            << QList<int>{} << true;
    }
    void handTime() {
        QFETCH(QString, field);
        QFETCH(QString, typed);
        QFETCH(QStringList, cells);
        QFETCH(QList<int>, handCols);
        QFETCH(bool, refused);
        TFormMain w(Run);
        TimeRun(w, 10000, 60000, 1200); // the barrier missed the car: lap 2 is a bounce
        w.SortGrid1->SetRow(1);
        const auto saved = TTimeChecks::ExecHandTime;
        TTimeChecks::ExecHandTime = [&](TDlgHandTime* d) {
            d->cbField->setCurrentIndex(d->cbField->findText(field));
            d->eTime->setText(typed);
            d->bOK->click();
            return d->result();
        };
        w.Checks->mHandTime->Click();
        TTimeChecks::ExecHandTime = saved;
        QCOMPARE(FMessages.size(), refused ? 1 : 0);
        QStringList got;
        for (const int c : {int(pcLap1), pcLap1 + 1, int(pcTotal), int(pcBest)})
            got << w.SortGrid1->Cells(c, 1);
        QCOMPARE(got, cells);
        for (const int c : {int(pcLap1), pcLap1 + 1, int(pcTotal), int(pcBest)}) {
            QCOMPARE(Brush(w, c, 1) == TTimeChecks::HandColor, handCols.contains(c));
            QCOMPARE(w.Checks->CellNote(c, 1).contains(QStringLiteral("Handzeit")), handCols.contains(c));
            QCOMPARE(w.Checks->CellMark(c, 1) == QLatin1String("H"), handCols.contains(c));
        }
        const TEffectiveRun e = LatestRunOf(w, QStringLiteral("Hans"));
        QCOMPARE(e.HandFields.empty(), refused);
        // The protocol file's format stays: the plain time, no mark.
        QVERIFY(w.SaveProtocolText(FDir->filePath(QStringLiteral("p.txt"))));
        QFile f(FDir->filePath(QStringLiteral("p.txt")));
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray text = f.readAll();
        QVERIFY(!text.contains("Hand"));
        QVERIFY(text.contains(cells[2].toLatin1()));
    }

    // The marks wherever the time appears: "Läufe" (colour, notes) with its
    // "Geprüft", and the live page's document.
    void marksInLaeufeAndLive_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("note");
        QTest::addColumn<QString>("liveMark");
        QTest::newRow("a suspicious lap") << "flag" << "Auffällig: Runde 1 kürzer als 30,00" << "!";
        QTest::newRow("a hand-timed lap") << "hand" << "Handzeit Runde 1" << "H";
    }
    void marksInLaeufeAndLive() {
        QFETCH(QString, kind);
        QFETCH(QString, note);
        QFETCH(QString, liveMark);
        TFormMain w(Run);
        w.Checks->Checker().Thresholds.MinLapMs = 30000;
        TimeRun(w, 10000, kind == QLatin1String("flag") ? 400 : 60000, 61000);
        if (kind == QLatin1String("hand")) QVERIFY(w.Checks->EnterHandTime(1, 1, 59000));
        const TLiveState live = w.Live()->Snapshot();
        QCOMPARE(live.Rows.size(), 1);
        const int lapCol = live.Columns.indexOf(QStringLiteral("Runde 1"));
        QCOMPARE(live.Rows[0].Marks.value(lapCol), liveMark);
        QCOMPARE(live.Rows[0].Marks.value(live.Columns.indexOf(QStringLiteral("Name"))), QString());

        w.Events->mRuns->Click();
        TFormRuns* f = w.Events->Window();
        QVERIFY(f);
        const QStringList header = f->Model->Header();
        const QModelIndex lap = f->Model->index(0, header.indexOf(QStringLiteral("Runde 1")));
        const QModelIndex name = f->Model->index(0, header.indexOf(QStringLiteral("Name")));
        const int notes = header.indexOf(QStringLiteral("Hinweise"));
        QCOMPARE(f->Model->RowTexts(0).value(notes), note);
        QCOMPARE(lap.data(Qt::BackgroundRole).value<QColor>(),
                 kind == QLatin1String("flag") ? TTimeChecks::FlagColor : TTimeChecks::HandColor);
        QVERIFY(!name.data(Qt::BackgroundRole).isValid());
        f->SelectRow(0);
        QCOMPARE(f->bChecked->isEnabled(), kind == QLatin1String("flag"));
        if (kind != QLatin1String("flag")) return;
        f->bChecked->click();
        QCOMPARE(f->Model->RowTexts(0).value(notes), QString());
        QCOMPARE(Brush(w, pcLap1, 1), QColor(Qt::white)); // the protocol follows
        QVERIFY(w.Live()->Snapshot().Rows[0].Marks.isEmpty());
    }

    // The limits under value names of their own; a value out of range is not taken.
    void thresholdsInTheSettings_data() {
        QTest::addColumn<QString>("stored"); // PruefKuerzesteRundeMs as stored
        QTest::addColumn<int>("minLap");
        QTest::newRow("set in the dialog") << "" << 30500;
        QTest::newRow("a stored value") << "45000" << 45000;
        QTest::newRow("a negative value is not taken") << "-5" << 0;
        QTest::newRow("text is not taken") << "kurz" << 0;
    }
    void thresholdsInTheSettings() {
        QFETCH(QString, stored);
        QFETCH(int, minLap);
        TSettingsStore::UseFolder(FDir->filePath(QStringLiteral("settings")));
        if (!stored.isEmpty()) {
            TSettingsStore store(ProgramTitle());
            store.SetValue(QStringLiteral("PruefKuerzesteRundeMs"), stored);
            QVERIFY(store.Sync());
        } else {
            TFormMain w(Run);
            const auto saved = TTimeChecks::ExecThresholds;
            TTimeChecks::ExecThresholds = [](TDlgPlausibility* d) {
                d->seMinLap->setValue(30.5);
                return int(QDialog::Accepted);
            };
            w.Checks->mThresholds->Click();
            TTimeChecks::ExecThresholds = saved;
        }
        TFormMain w(Run);
        QCOMPARE(w.Checks->Checker().Thresholds.MinLapMs, minLap);
        QCOMPARE(w.Checks->Checker().Thresholds.MinFieldRuns, 5);
    }
};

QTEST_MAIN(TstTimeChecksApp)
#include "tst_timechecks_app.moc"
