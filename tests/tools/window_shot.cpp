// Plays two timed runs from the keyboard in the real main window, ranks the
// protocol and saves a picture: window_shot <file.png>. The light barrier runs
// on the simulated port so that its lock LED shows. window_shot <file.png> dnf
// shows a third run in which car 2 dropped out while car 1 is on the track;
// window_shot <file.png> checks adds a run with a bouncing barrier and a hand
// time, and saves the dialogs and "Läufe" beside it (<file>-handzeit.png, ...);
// window_shot <file.png> unplugged pulls the barrier's adapter out after the
// runs (a watch without real-time priority before) and saves <file>-wieder.png
// once it is plugged in again. window_shot <file.png> rounds times a day in rounds
// from a start list of four (a DNS, "Lauf 2 beginnt", a DNS taken back, a run
// killed on the track and recovered) and saves a picture at each step
// (<file>-1.png ...).
#include "EventsFeature.h"
#include "Protocol.h"
#include "FMain.h"
#include "FRuns.h"
#include "TimeChecks.h"
#include "Recovery.h"
#include "TrackCorrections.h"
#include "SimComDevice.h"
#include "TickSource.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <cerrno>

namespace {

// One car through a start list of four, round after round, and a crash on the track.
int RoundsShots(const QString& file) {
    const QString base = file.chopped(4);
    int shot = 0;
    const auto save = [&](QWidget& w) {
        QApplication::processEvents();
        w.grab().save(base + QStringLiteral("-%1.png").arg(++shot));
    };
    TickSource::SetManual(100000);
    auto* w = new TFormMain; // left behind as a crash leaves it
    w->RunSettings.Cars = 1;
    w->ArrangeForCars();
    w->eTitle->setText(QStringLiteral("Clubslalom"));
    w->show();
    QApplication::setActiveWindow(w);
    w->FillStartList({{"1", "Anna Berg"}, {"2", "Bert K\u00fchn"}, {"3", "Cleo Maas"}, {"4", "Dora Wei\u00df"}});
    uint32_t tick = 100000;
    const auto run = [&](TFormMain& f, int events) {
        for (int i = 0; i < events; ++i) {
            TickSource::SetManual(tick += 55000 + 730 * i);
            for (TMenuItem* m : {f.mStart, f.mLAP, f.mStop})
                if (m->Enabled()) {
                    m->Click();
                    break;
                }
        }
    };
    const auto dns = [&](TFormMain& f, const QString& name) {
        f.SelectWholeRow(f.SortGrid1->FindRow(pcName, name, false));
        QTimer::singleShot(0, &f, [&f] {
            if (f.FDlgYesNo->isVisible()) f.FDlgYesNo->YesBtn->click();
        });
        f.Corrections().DNS1->Click();
    };
    run(*w, 3); // Anna
    w->mReset->Click();
    run(*w, 3); // Bert
    dns(*w, QStringLiteral("Cleo Maas"));
    w->mReset->Click(); // Cleo is passed over
    save(*w);
    run(*w, 3); // Dora
    w->mReset->Click(); // "Lauf 2 beginnt"
    save(*w);
    run(*w, 3); // Anna, round 2
    w->mReset->Click();
    dns(*w, QStringLiteral("Bert K\u00fchn")); // the box goes on with Cleo
    save(*w);
    dns(*w, QStringLiteral("Bert K\u00fchn")); // taken back: he drives after all, now
    save(*w);
    run(*w, 3); // Bert, round 2
    w->mReset->Click();
    run(*w, 2); // Cleo on the track: killed
    w->Recovery().FJournal.Flush();
    w->Events->Store().Flush();
    w->FrameTimer1->Clock->stop();
    w->hide();
    TickSource::SetManual(tick += 4000);
    auto* again = new TFormMain;
    again->show();
    QApplication::setActiveWindow(again);
    QTimer::singleShot(0, again, [&] {
        save(*again->FDlgYesNo);
        again->FDlgYesNo->YesBtn->click();
    });
    again->Recovery().Offer();
    save(*again);
    run(*again, 1);
    again->mReset->Click();
    save(*again);
    again->Events->ShowRuns();
    QApplication::processEvents();
    save(*again->Events->Window());
    return 0;
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    if (argc < 2) return 2;
    const QString file = QFileInfo(QString::fromLocal8Bit(argv[1])).absoluteFilePath();
    QTemporaryDir scratch; // the window writes its backup protocol into the current folder
    QDir::setCurrent(scratch.path());
    if (argc > 2 && QByteArray(argv[2]) == "rounds") return RoundsShots(file);
    TComBackend::Current() = TSimComBus::Backend();
    const bool unplugged = argc > 2 && QByteArray(argv[2]) == "unplugged";
    if (unplugged)
        TComBackend::Current().RaisePriority = [] {
            return TThreadPriority{TThreadPriority::Normal, 0};
        };
    const auto line = TSimComBus::Attach(1);
    TFormMain w;
    w.ComPort->Port = 1;
    w.ComPort->Open();
    w.show();
    QTimer::singleShot(500, [&] {
        QApplication::setActiveWindow(&w);
        TickSource::SetManual(100000);
        auto run = [&](const char* car1, const char* car2, const int laps[4]) {
            w.FrameTimer1->hcbName->SetText(QString::fromUtf8(car1));
            w.FrameTimer2->hcbName->SetText(QString::fromUtf8(car2));
            const Qt::Key keys[] = {Qt::Key_F5, Qt::Key_F4, Qt::Key_F5,
                                    Qt::Key_F9, Qt::Key_F4, Qt::Key_F9};
            const int advance[] = {0,      laps[0], 1500, laps[1] - 1500, laps[2] - laps[1] + 1500,
                                   laps[3]};
            for (int i = 0; i < 6; ++i) {
                TickSource::Advance(advance[i]);
                QTest::keyClick(&w, keys[i]);
            }
        };
        const bool checks = argc > 2 && QByteArray(argv[2]) == "checks";
        if (checks) w.Checks->Checker().Thresholds.MinLapMs = 30000;
        const int a[] = {55100, 54200, 56730, 55980};
        run("12 Hans Meier", "7 Anna Becker", a);
        QTest::keyClick(&w, Qt::Key_F10);
        const int b[] = {53870, 54010, 57020, 56440};
        run("21 Eva Lang", "9 Max M\u00fcller", b);
        w.Sortierenprotokoll1Click(nullptr);
        if (argc > 2 && QByteArray(argv[2]) == "dnf") {
            QTest::keyClick(&w, Qt::Key_F10);
            w.FrameTimer1->hcbName->SetText(QStringLiteral("3 Tom Berger"));
            w.FrameTimer2->hcbName->SetText(QStringLiteral("5 Sophie Kr\u00e4mer"));
            QTest::keyClick(&w, Qt::Key_F5);
            TickSource::Advance(56120);
            QTest::keyClick(&w, Qt::Key_F4);
            TickSource::Advance(1500);
            QTest::keyClick(&w, Qt::Key_F5);
            TickSource::Advance(31480);
            QTest::keyClick(&w, Qt::Key_2, Qt::ControlModifier);
            TickSource::Advance(4000);
        }
        if (checks) {
            QTest::keyClick(&w, Qt::Key_F10);
            const int c[] = {400, 54500, 56100, 55870};
            run("3 Tom Berger", "5 Sophie Kr\u00e4mer", c);
            w.SortGrid1->SetRow(w.SortGrid1->FindRow(pcName, QStringLiteral("Max M\u00fcller"), false));
            const QString base = file.chopped(4);
            TTimeChecks::ExecHandTime = [&](TDlgHandTime* d) {
                d->cbField->setCurrentIndex(1);
                d->eTime->setText(QStringLiteral("54,1"));
                d->show();
                QApplication::processEvents();
                d->grab().save(base + QStringLiteral("-handzeit.png"));
                d->bOK->click();
                return d->result();
            };
            w.Checks->mHandTime->Click();
            TTimeChecks::ExecThresholds = [&](TDlgPlausibility* d) {
                d->show();
                QApplication::processEvents();
                d->grab().save(base + QStringLiteral("-plausi.png"));
                return int(QDialog::Rejected);
            };
            w.Checks->mThresholds->Click();
            w.Events->ShowRuns();
            QApplication::processEvents();
            w.Events->Window()->grab().save(base + QStringLiteral("-laeufe.png"));
            w.Events->Window()->hide();
            w.SortGrid1->SetRow(w.SortGrid1->FindRow(pcName, QStringLiteral("Tom Berger"), false));
        }
        w.TimerGesperrtStart->stop(); // armed for the picture
        if (w.LedLock->Kind() != lkGreen) w.LedLockClick(nullptr);
        if (unplugged) {
            QTest::qWait(100);
            w.grab().save(file.chopped(4) + QStringLiteral("-normal.png"));
            line->Unplug(EIO);
            QTest::qWait(200);
        }
        QApplication::processEvents();
        w.grab().save(file);
        if (unplugged) {
            line->Plug();
            QTest::qWait(1500); // the next try
            w.grab().save(file.chopped(4) + QStringLiteral("-wieder.png"));
        }
        QCoreApplication::exit(0);
    });
    return app.exec();
}
