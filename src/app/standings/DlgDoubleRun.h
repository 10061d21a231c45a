#pragma once
// "Welcher Lauf zählt?": a driver drove a round twice and a sum counts one run per
// round. The run chosen counts, the others become reruns. Asked after the run, never
// during one; "Später entscheiden" leaves the first counting, as the standings note.
#include "EventRecords.h"

#include <QDialog>
#include <QList>
#include <QPushButton>
#include <QRadioButton>

class TDlgDoubleRun : public QDialog {
public:
    // runs: the runs of the round in driving order; the first is proposed.
    TDlgDoubleRun(QWidget* parent, const std::vector<const TEffectiveRun*>& runs);

    QList<QRadioButton*> rbRuns;
    QPushButton *bOK, *bLater;

    // The index of the run chosen.
    int Chosen() const;
    // "1.02,34 (Strafe +4,00), gestartet 14:32:05" or "DNF, gestartet …": a run as the choice shows it.
    static QString RunText(const TEffectiveRun& e);
};
