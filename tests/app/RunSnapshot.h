#pragma once
// What the window shows of a run, to compare two windows that should agree.
#include "FMain.h"
#include "TickSource.h"

inline QString Enabled(const TFormMain& w) {
    QString s;
    s += w.mStart->Enabled() ? QLatin1Char('S') : QLatin1Char('-');
    s += w.mLAP->Enabled() ? QLatin1Char('L') : QLatin1Char('-');
    s += w.mStop->Enabled() ? QLatin1Char('F') : QLatin1Char('-');
    s += w.mReset->Enabled() ? QLatin1Char('R') : QLatin1Char('-');
    return s;
}

// Everything of the run that the window shows or enters into the protocol.
inline QString Snapshot(const TFormMain& w) {
    QStringList s;
    s << QString::number(w.FEventCount) << Enabled(w) << (w.bStart->isVisibleTo(&w) ? "S" : "R");
    for (int car = 1; car <= w.RunSettings.Cars; ++car) {
        const TFrameTimer* t = w.FTimers[car];
        const bool running = t->Clock->isActive();
        s << QStringLiteral("car%1 laps=%2 total=%3 %4")
                 .arg(car)
                 .arg(t->Tag)
                 .arg(t->FTotalMs)
                 .arg(running ? "running" : "stopped");
        if (running || t->Tag > 0)
            s << QStringLiteral("sum=%1 start=%2 lap=%3")
                     .arg(w.RunSettings.CarHundredths[car])
                     .arg(t->FStartTick)
                     .arg(t->FLapTick);
        if (!running) {
            QString digits;
            for (const TDigit* d :
                 {t->Digit2, t->Digit3, t->Digit4, t->Digit5, t->Digit6, t->Digit7, t->Digit8})
                digits += QString::number(d->Value());
            s << digits;
        }
        for (int lap = 1; lap <= 5; ++lap)
            s << QString::number(w.FLapTimers[car][lap]->Tag);
    }
    return s.join(QLatin1Char(' '));
}

inline QStringList Rows(const TFormMain& w) {
    QStringList rows;
    for (int r = 1; r < w.SortGrid1->RowCount(); ++r)
        rows << w.SortGrid1->Rows(r).join(QLatin1Char('|'));
    return rows;
}

// The next event of the run at an exact tick, as the barrier gives it.
inline void Next(TFormMain& w, uint32_t tick) {
    TickSource::SetManual(tick);
    for (TMenuItem* m : {w.mStart, w.mLAP, w.mStop})
        if (m->Enabled()) {
            m->Click();
            return;
        }
}

// One car over two laps under the name at exact ticks; RESET after it when asked.
inline void TimeLaps(TFormMain& w, const QString& name, uint32_t start, int lap1, int lap2,
                     bool reset = false) {
    w.FrameTimer1->hcbName->SetText(name);
    Next(w, start);
    Next(w, start + uint32_t(lap1));
    Next(w, start + uint32_t(lap1 + lap2));
    if (reset) w.mReset->Click();
}
