// Times a small regularity trial and saves pictures of "Wertung" under "Sollzeit",
// its scoring dialog and the window "Saisonwertung" with the trial in a season:
// season_shot <prefix> writes <prefix>-wertung.png, <prefix>-regel.png, <prefix>-saison.png.
#include "DlgScoring.h"
#include "EventsFeature.h"
#include "EventStore.h"
#include "FMain.h"
#include "SeasonFeature.h"
#include "StandingsFeature.h"
#include "TickSource.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

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
    w.eTitle->setText(QStringLiteral("Gleichmäßigkeitsprüfung Hockenheim"));
    w.show();
    TickSource::SetManual(100000);
    const char* names[] = {"12 Hans Meier", "7 Anna Becker", "21 Eva Lang", "9 Max M\xc3\xbcller"};
    const int laps[2][4] = {{30120, 29870, 31050, 30400}, {30010, 30230, 29540, 30880}};
    for (int r = 0; r < 2; ++r)
        for (int d = 0; d < 4; ++d) {
            w.FrameTimer1->hcbName->SetText(QString::fromUtf8(names[d]));
            w.mStart->Click();
            TickSource::Advance(laps[r][d]);
            w.mLAP->Click();
            TickSource::Advance(laps[(r + 1) % 2][d]);
            w.mStop->Click();
            w.mReset->Click();
            TickSource::Advance(60000);
        }
    w.Events->Store().Flush();
    TStandingsFeature* s = w.Standings;
    TStandingsSettings settings = s->Settings;
    settings.Scoring.Rule = srTargetTime;
    s->Apply(settings);
    s->ShowStandings();
    s->Window()->resize(1000, 420);
    app.processEvents();
    s->Window()->grab().save(prefix + QStringLiteral("-wertung.png"));
    TStandingsFeature::ExecScoring = [&](TDlgScoring* d) {
        d->show();
        app.processEvents();
        d->grab().save(prefix + QStringLiteral("-regel.png"));
        return int(QDialog::Rejected);
    };
    s->EditScoring();
    TSeasonFeature* season = w.Season;
    TSeasonFeature::ExecSettings = [](TDlgSeason* d) {
        for (int i = 0; i < d->lwEvents->count(); ++i)
            d->lwEvents->item(i)->setCheckState(Qt::Checked);
        d->eName->setText(QStringLiteral("Gleichmäßigkeitspokal 2026"));
        d->OKBtn->click();
        return d->result();
    };
    season->ShowSeason();
    season->EditSettings();
    season->Window()->resize(800, 360);
    app.processEvents();
    season->Window()->grab().save(prefix + QStringLiteral("-saison.png"));
    return 0;
}
