// Plays a small event with classes, penalties, a disqualification and a rerun and
// saves pictures of the windows "Wertung" and "Läufe": standings_shot <prefix>
// writes <prefix>-wertung.png, <prefix>-laeufe.png and the printout <prefix>-wertung.pdf;
// Hans drives run 3 twice, the question after it is <prefix>-doppelt.png (left open);
// a guest with a very long name shares his start number, the penalty dialog asks which.
#include "DlgDoubleRun.h"
#include "DlgPenaltyByNumber.h"
#include "DlgYesNo.h"
#include "EventsFeature.h"
#include "FMain.h"
#include "ProtocolDocuments.h"
#include "StandingsFeature.h"
#include "StartListImport.h"
#include "TickSource.h"

#include <QApplication>
#include <QPrinter>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    if (argc < 2) return 2;
    const QString prefix = QFileInfo(QString::fromLocal8Bit(argv[1])).absoluteFilePath();
    QTemporaryDir scratch;
    QDir::setCurrent(scratch.path());
    TRunSettings runSettings;
    runSettings.Cars = 1;
    runSettings.Laps = 2;
    TFormMain w(runSettings);
    w.eTitle->setText(QStringLiteral("Slalom Hockenheim"));
    w.show();
    QFile list(scratch.filePath(QStringLiteral("starter.csv")));
    list.open(QIODevice::WriteOnly);
    list.write("Start-Nr.;Name;Klasse\n12;Hans Meier;Gruppe G\n7;Anna Becker;Gruppe G\n"
               "21;Eva Lang;Gruppe F\n9;Max M\xc3\xbcller;Gruppe F\n3;Tom Berger;Gruppe G\n");
    list.close();
    StartListImport::ExecDialog = [](auto*) { return int(QDialog::Accepted); };
    w.LoadProtocolText(list.fileName());
    TickSource::SetManual(100000);
    const auto run = [&](const char* name, int lap1, int lap2) {
        w.FrameTimer1->hcbName->SetText(QString::fromUtf8(name));
        w.mStart->Click();
        TickSource::Advance(lap1);
        w.mLAP->Click();
        TickSource::Advance(lap2);
        w.mStop->Click();
        w.mReset->Click();
        TickSource::Advance(60000);
    };
    const char* names[] = {"Hans Meier", "Anna Becker", "Eva Lang", "Max M\xc3\xbcller", "Tom Berger"};
    const int laps[3][5] = {{55100, 54200, 56730, 55980, 57100},
                            {54870, 54010, 55020, 56440, 56300},
                            {54500, 54900, 54800, 55500, 56050}};
    TStandingsFeature* s = w.Standings;
    TStandingsSettings settings = s->Settings;
    settings.Scoring = {srSumAll, 2};
    s->Apply(settings);
    TStandingsFeature::ExecDoubleRun = [&prefix](TDlgDoubleRun* d) {
        d->show();
        QTest::qWait(300);
        d->grab().save(prefix + QStringLiteral("-doppelt.png"));
        return int(QDialog::Rejected);
    };
    for (int r = 0; r < 3; ++r) {
        w.eNR->setText(QString::number(r + 1));
        for (int d = 0; d < 5; ++d)
            run(names[d], laps[r][d], laps[r][(d + 1) % 5]);
    }
    w.eNR->setText(QStringLiteral("3")); // RESET began run 4
    run(names[0], 54100, 54300);         // Hans again in run 3, nobody marked a rerun
    // A guest under Hans's number with a name too long for its column.
    w.eNR->setText(QStringLiteral("3"));
    run("12 Karl-Theodor Maria Nikolaus Johann Jacob Philipp Franz Joseph Sylvester von Gutenberg",
        56000, 56200);
    w.Events->Store().Flush();
    s->Recompute();
    // Two cones for Anna, Max disqualified in a run, one of Tom's runs a rerun.
    const auto best = [&](const QString& name) {
        for (const TStandingRow& r : s->Rows())
            if (r.Name == name && !r.CountingRuns.isEmpty())
                for (const TEffectiveRun& e : s->Runs())
                    if (e.Run.Uuid == r.CountingRuns.first()) return e.Run;
        return TRunRecord();
    };
    s->Record(PenaltyCorrection(best(QStringLiteral("Anna Becker")), settings.Catalogue[0], 2,
                                QStringLiteral("Tor 3")));
    s->Record(StatusCorrection(best(QStringLiteral("Max Müller")), RunStatusDsq,
                               QStringLiteral("Frühstart")));
    s->Record(StatusCorrection(best(QStringLiteral("Tom Berger")), RunStatusRerun,
                               QStringLiteral("rote Flagge")));
    w.Events->Store().Flush();
    s->ShowStandings();
    TFormStandings* f = s->Window();
    f->cbView->setCurrentIndex(argc > 2 ? 0 : 1);
    emit f->cbView->activated(f->cbView->currentIndex());
    f->SelectDriver(s->Rows()[1].Key);
    QTimer::singleShot(3500, [&] { // after the question that follows the last run
        s->Recompute();
        f->grab().save(prefix + QStringLiteral("-wertung.png"));
        w.Events->ShowRuns();
        QTimer::singleShot(500, [&] {
            w.Events->Window()->grab().save(prefix + QStringLiteral("-laeufe.png"));
            ProtocolDocuments::ExecPrintDialog = [&prefix](QPrinter* p) {
                p->setOutputFormat(QPrinter::PdfFormat);
                p->setOutputFileName(prefix + QStringLiteral("-wertung.pdf"));
                return true;
            };
            s->Print();
            // The small dialogs of the timing desk and the commands of a run.
            TDlgPenaltyByNumber* d = s->PenaltyByNumber();
            d->eStartNo->setText(QStringLiteral("12"));
            d->eRun->setText(QStringLiteral("3")); // Hans and the guest
            d->eReason->setText(QStringLiteral("Tor 3"));
            f->Corrections->Update();
            f->Corrections->Menu->popup(f->mapToGlobal(QPoint(40, 40)));
            w.FDlgYesNo->Label1->setText(QStringLiteral(
                "Nicht gestartet: 7 Anna Becker, Lauf 3?\nDie Rundenzeiten der Zeile werden gelöscht."));
            w.FDlgYesNo->show();
            QTimer::singleShot(500, [&, d] {
                d->grab().save(prefix + QStringLiteral("-strafe.png"));
                f->Corrections->Menu->grab().save(prefix + QStringLiteral("-menu.png"));
                w.FDlgYesNo->grab().save(prefix + QStringLiteral("-dns.png"));
                QCoreApplication::exit(0);
            });
        });
    });
    return app.exec();
}
