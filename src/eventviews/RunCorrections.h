#pragma once
// Penalties and status of a run, entered in the windows "Läufe" and "Wertung":
// the same commands with the same keys in both, each one a recorded correction.
#include "StandingsSettings.h"

#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QMenu>
#include <QSpinBox>
#include <functional>

class QAction;

// "Strafe": an item of the catalogue, how often, and why.
class TDlgPenalty : public QDialog {
public:
    TDlgPenalty(QWidget* parent, const QList<TPenaltyItem>& catalogue, const QString& driver);
    QComboBox* cbItem;
    QSpinBox* seCount;
    QLineEdit* eReason;
    TPenaltyItem Item() const;
};

class TRunCorrectionActions : public QObject {
public:
    // The actions act on host's run; their keys work while focus is inside host.
    TRunCorrectionActions(QWidget* host, std::function<const TEffectiveRun*()> selected);

    QAction *aPenalty, *aClearPenalties, *aDisqualify, *aRerun, *aCounts;
    QMenu* Menu; // for a button and the context menu

    // Enables what fits the run now selected.
    void Update();

    // Where the catalogue comes from and where a correction goes.
    std::function<QList<TPenaltyItem>()> Catalogue;
    std::function<void(QObject* sender, const TCorrection& c)> OnCorrection;

    // Runs the penalty dialog; tests replace it.
    static std::function<int(TDlgPenalty*)> ExecPenalty;

private:
    void Penalty();
    void Disqualify();
    void SetStatus(const QString& status);
    std::function<const TEffectiveRun*()> FSelected;
    QWidget* FHost;
};
