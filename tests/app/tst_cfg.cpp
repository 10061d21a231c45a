// The settings dialog through the main window: fill, the reactions inside the
// dialog, applying, port changes on the simulated device, a run in progress.
#include "Cfg.h"
#include "FMain.h"
#include "SimComDevice.h"
#include "WaitUntil.h"

#include <QTemporaryDir>
#include <QTest>
#include <atomic>
#include <cerrno>
#include <thread>

// What the next window starts from, as a program start would find it.
static TRunSettings Run;

namespace {

struct Window {
    std::shared_ptr<TSimComLine> com1 = TSimComBus::Attach(1);
    std::shared_ptr<TSimComLine> com2 = TSimComBus::Attach(2);
    std::shared_ptr<TSimComLine> com3 = TSimComBus::Attach(3);
    QString events; // before the window: its shutdown still closes the port
    QStringList errors;
    TFormMain w{Run}; // probes COM1..COM3
    Window(int port, int alg) {
        w.ComPort->Port = static_cast<uint8_t>(port);
        w.ComPort->Tag = alg;
        if (port) w.ComPort->Open();
        const auto onOpen = w.ComPort->OnOpen, onClose = w.ComPort->OnClose;
        w.ComPort->OnOpen = [this, onOpen](QObject* s) {
            events += QLatin1Char('O');
            onOpen(s);
        };
        w.ComPort->OnClose = [this, onClose](QObject* s) {
            events += QLatin1Char('C');
            onClose(s);
        };
        TFormMain::ShowError = [this](const QString& m) { errors << m; };
    }
    // Opens the dialog; act runs while it is shown and returns the result.
    void Settings(const std::function<int(TCfgDialog*)>& act) {
        TFormMain::ExecCfgDialog = [act](TCfgDialog* d) {
            d->show();
            const int result = act(d);
            d->hide();
            return result;
        };
        w.bCFGClick(nullptr);
    }
};

void Choose(QComboBox* box, const QString& text) {
    box->setCurrentIndex(box->findText(text));
}

void Type(QLineEdit* field, const QString& text) {
    field->setFocus();
    field->selectAll();
    QTest::keyClick(field, Qt::Key_Backspace);
    QTest::keyClicks(field, text);
}

} // namespace

class TstCfg : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany)); }
    void init() {
        TSimComBus::DetachAll();
        Run.Cars = 2;
        Run.Laps = 2;
    }
    void cleanup() {
        TSimComBus::DetachAll();
        TFormMain::ExecCfgDialog = [](TCfgDialog* d) { return d->exec(); };
        TFormMain::ShowError = [](const QString&) {};
    }

    void portListAndEnabledStates() {
        Window t(0, 0);
        QStringList entries;
        for (int i = 0; i < t.w.CfgDialog->cbPort->count(); ++i)
            entries << t.w.CfgDialog->cbPort->itemText(i);
        QCOMPARE(entries, (QStringList{"Keine", "COM1", "COM2", "COM3"}));
        QCOMPARE(t.w.CfgDialog->cbPort->itemData(2, Qt::ToolTipRole).toString(),
                 TSimComBus::PathFor(2));
        QString states;
        t.Settings([&](TCfgDialog* d) {
            auto state = [&] {
                states += QStringLiteral("%1%2%3 ")
                              .arg(d->cbPort->currentText())
                              .arg(d->cbAlg->isEnabled() ? "+" : "-")
                              .arg(d->seWait->isEnabled() ? "+" : "-");
            };
            state();
            Choose(d->cbPort, "COM2");
            state();
            Choose(d->cbPort, "Keine");
            state();
            Choose(d->cbTimerPort, "COM3"); // the dead time holds for the timing device too
            state();
            Choose(d->cbTimerPort, "Keine");
            d->seCars->SetValue(1);
            d->seLaps->SetValue(4);
            d->seCars->SetValue(2);
            states += QStringLiteral("laps %1%2 ")
                          .arg(d->seLaps->Value())
                          .arg(d->seLaps->isEnabled() ? "+" : "-");
            d->seCars->SetValue(1);
            states += QStringLiteral("laps %1%2")
                          .arg(d->seLaps->Value())
                          .arg(d->seLaps->isEnabled() ? "+" : "-");
            return int(QDialog::Rejected);
        });
        QCOMPARE(states, QStringLiteral("Keine-- COM2++ Keine-- Keine-+ laps 2- laps 2+"));
    }

    void applying_data() {
        QTest::addColumn<int>("port");       // before
        QTest::addColumn<int>("alg");        // before
        QTest::addColumn<QString>("choose"); // port entry, empty: untouched
        QTest::addColumn<int>("sense");      // -2: untouched
        QTest::addColumn<QString>("wait");   // typed dead time, empty: untouched
        QTest::addColumn<int>("cars");
        QTest::addColumn<int>("laps");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<int>("newPort");
        QTest::addColumn<int>("newAlg");
        QTest::addColumn<int>("interval");
        QTest::addColumn<QString>("events");
        QTest::addColumn<QString>("timer");  // timing device "port|baud|channels", empty: untouched
        QTest::addColumn<QString>("timerStored");
        QTest::addColumn<QString>("before"); // the port not watched: "closed", "pulled out"
        QTest::newRow("dead time 2,5")
            << 0 << 0 << "" << -2 << "2,5" << 2 << 2 << true << 0 << 0 << 2500 << "" << "" << "0 9600 C0,C1" << "";
        QTest::newRow("same port, other sense: no close or open")
            << 1 << 0 << "" << 1 << "" << 2 << 2 << true << 1 << 1 << 3000 << "" << "" << "0 9600 C0,C1" << "";
        QTest::newRow("COM1 to COM3 closes, then opens")
            << 1 << 0 << "COM3" << -2 << "" << 2 << 2 << true << 3 << 0 << 3000 << "CO" << "" << "0 9600 C0,C1" << "";
        QTest::newRow("Keine closes and keeps the sense")
            << 2 << 1 << "Keine" << -2 << "" << 2 << 2 << true << 0 << 1 << 3000 << "C" << "" << "0 9600 C0,C1" << "";
        QTest::newRow("one car, four laps")
            << 0 << 0 << "" << -2 << "" << 1 << 4 << true << 0 << 0 << 3000 << "" << "" << "0 9600 C0,C1" << "";
        QTest::newRow("cancel changes nothing")
            << 1 << 0 << "COM2" << 1 << "9" << 1 << 5 << false << 1 << 0 << 3000 << "" << "COM2|38400|C2" << "0 9600 C0,C1" << "";
        QTest::newRow("timing device on COM2, its own channels")
            << 0 << 0 << "" << -2 << "" << 2 << 2 << true << 0 << 0 << 3000 << ""
            << "COM2|38400|c0, c2" << "2 38400 C0,C2" << "";
        QTest::newRow("timing device channels by semicolons and spaces")
            << 0 << 0 << "" << -2 << "" << 2 << 2 << true << 0 << 0 << 3000 << ""
            << "COM2|9600|C0; C2 c1" << "2 9600 C0,C2,C1" << "";
        QTest::newRow("timing device channels that are none keep the ones before")
            << 0 << 0 << "" << -2 << "" << 2 << 2 << true << 0 << 0 << 3000 << ""
            << "COM2|9600|Start,Ziel" << "2 9600 C0,C1" << "";
        QTest::newRow("same port, not open: OK opens it")
            << 2 << 0 << "" << -2 << "" << 2 << 2 << true << 2 << 0 << 3000 << "O" << ""
            << "0 9600 C0,C1" << "closed";
        QTest::newRow("same port, pulled out and back: OK opens it")
            << 2 << 0 << "" << -2 << "" << 2 << 2 << true << 2 << 0 << 3000 << "O" << ""
            << "0 9600 C0,C1" << "pulled out";
    }
    void applying() {
        QFETCH(int, port);
        QFETCH(int, alg);
        QFETCH(QString, choose);
        QFETCH(int, sense);
        QFETCH(QString, wait);
        QFETCH(int, cars);
        QFETCH(int, laps);
        QFETCH(bool, ok);
        QFETCH(int, newPort);
        QFETCH(int, newAlg);
        QFETCH(int, interval);
        QFETCH(QString, events);
        QFETCH(QString, timer);
        QFETCH(QString, timerStored);
        QTemporaryDir store;
        TSettingsStore::UseFolder(store.path());
        QFETCH(QString, before);
        Window t(port, alg);
        if (before == QStringLiteral("closed")) { // as after a failed open at start-up
            t.w.ComPort->Close();
            t.events.clear();
        } else if (!before.isEmpty()) {
            t.w.ComPort->ReopenInterval = 0; // only OK opens it again
            t.com2->Unplug(EIO);
            QVERIFY(WaitUntil([&] { return t.w.ComPort->Lost(); }));
            t.com2->Plug();
        }
        t.Settings([&](TCfgDialog* d) {
            if (!choose.isEmpty()) Choose(d->cbPort, choose);
            if (sense != -2) d->cbAlg->setCurrentIndex(sense);
            if (!wait.isEmpty()) {
                d->seWait->setEnabled(true);
                Type(d->seWait, wait);
            }
            d->seCars->SetValue(cars);
            d->seLaps->SetValue(laps);
            if (!timer.isEmpty()) {
                const QStringList parts = timer.split(QLatin1Char('|'));
                Choose(d->cbTimerPort, parts[0]);
                Choose(d->cbTimerBaud, parts[1]);
                d->eTimerChannels->setText(parts[2]);
            }
            return ok ? int(QDialog::Accepted) : int(QDialog::Rejected);
        });
        TTimerSettings stored;
        stored.Read(t.w.SettingsStore());
        TSettingsStore::UseNone();
        QCOMPARE(QStringLiteral("%1 %2 %3").arg(stored.Port).arg(stored.Baud).arg(stored.Channels),
                 timerStored);
        QCOMPARE(int(t.w.ComPort->Port), newPort);
        QCOMPARE(t.w.ComPort->Tag, newAlg);
        QCOMPARE(t.w.TimerGesperrtStart->interval(), interval);
        QCOMPARE(t.events, events);
        QCOMPARE(t.w.RunSettings.Cars, ok ? cars : 2);
        QCOMPARE(t.w.RunSettings.Laps, ok ? laps : 2);
        QCOMPARE(t.w.ComPort->Connected(), newPort != 0);
        QVERIFY(t.errors.isEmpty());
    }

    void failingPortIsReportedAndKept() {
        Window t(1, 0);
        TSimComBus::Detach(3); // listed at start-up, gone now
        t.Settings([](TCfgDialog* d) {
            Choose(d->cbPort, "COM3");
            return int(QDialog::Accepted);
        });
        QCOMPARE(t.errors.size(), 1);
        QVERIFY(t.errors[0].startsWith(QStringLiteral("Unable to open com port: ")));
        QCOMPARE(int(t.w.ComPort->Port), 3);
        QVERIFY(!t.w.ComPort->Connected());
        QString shown;
        t.Settings([&](TCfgDialog* d) {
            shown = d->cbPort->currentText();
            return int(QDialog::Rejected);
        });
        QCOMPARE(shown, QStringLiteral("COM3"));
    }

    void negativeSenseLocksThePort() {
        Window t(2, -1);
        t.Settings([](TCfgDialog* d) {
            [&] {
                QVERIFY(!d->cbPort->isEnabled());
                QCOMPARE(d->cbAlg->currentIndex(), -1);
            }();
            return int(QDialog::Rejected);
        });
    }

    void runInProgressKeepsCarsAndLaps() {
        Window t(0, 0);
        t.w.mStart->Click();
        t.Settings([](TCfgDialog* d) {
            [&] {
                QVERIFY(!d->seCars->isEnabled());
                QVERIFY(!d->seLaps->isEnabled());
                QVERIFY(d->LabelRunning->isVisible());
            }();
            d->seCars->SetValue(1); // even set from code, nothing changes the run
            return int(QDialog::Accepted);
        });
        QCOMPARE(t.w.RunSettings.Cars, 2);
        QCOMPARE(t.w.RunSettings.Laps, 2);
    }

    void barrierFiringWhileThePortChanges() {
        Window t(1, 0);
        QVERIFY(WaitUntil([&] { return t.com1->WaitPending(); }));
        int beforeClose = 0, afterClose = 0;
        bool closed = false;
        const auto onDsr = t.w.ComPort->OnDSR;
        t.w.ComPort->OnDSR = [&](QObject*) {
            ++(closed ? afterClose : beforeClose); // COM3 never changes: later ones are COM1's
        };
        const auto onClose = t.w.ComPort->OnClose;
        t.w.ComPort->OnClose = [&](QObject* s) {
            closed = true;
            onClose(s);
        };
        std::atomic<bool> stop{false};
        std::thread barrier([&] {
            for (uint32_t i = 0; !stop; ++i)
                t.com1->SetModemStatus(i & 1 ? MS_DSR_ON : 0);
        });
        QTest::qWait(20);
        t.Settings([](TCfgDialog* d) {
            Choose(d->cbPort, "COM3");
            return int(QDialog::Accepted);
        });
        QTest::qWait(50);
        stop = true;
        barrier.join();
        QTest::qWait(20);
        QVERIFY(closed);
        QVERIFY(t.w.ComPort->Connected());
        // The handlers above use locals of this test: the window's own ones back.
        t.w.ComPort->OnDSR = onDsr;
        t.w.ComPort->OnClose = onClose;
        QVERIFY(beforeClose > 0);
        QCOMPARE(afterClose, 0);
    }
};

QTEST_MAIN(TstCfg)
#include "tst_cfg.moc"
