#pragma once
// Penalties and status of a run, entered in the windows "Läufe" and "Wertung":
// the same commands with the same Ctrl keys in both, each one confirmed in a
// dialog naming driver, run and change, and recorded as a correction. Letters
// alone only search a driver: a text typed into the wrong window changes nothing.
#include "StandingsSettings.h"

#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QMenu>
#include <QSpinBox>
#include <functional>

class QAction;
class QTableView;

// "7 Zoë Fuchs, Lauf 3": whom and which run a question is about.
QString RunDriverText(const TRunRecord& run);

// Typed letters in the view go to the next row whose name (in that column) starts
// with them, as in the protocol; they are swallowed either way.
void SearchByName(QTableView* view, int nameColumn);

// "Strafe": an item of the catalogue, how often, and why.
class TDlgPenalty : public QDialog {
public:
    // driver: "7 Zoë Fuchs, Lauf 3". Enter alone does not take it: the button does.
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

    QAction *aPenalty, *aClearPenalties, *aDisqualify, *aRerun, *aCounts, *aExclude, *aReadmit;
    QMenu* Menu; // for a button and the context menu

    // Enables what fits the run now selected.
    void Update();

    // Where the catalogue comes from and where a correction goes.
    std::function<QList<TPenaltyItem>()> Catalogue;
    std::function<void(QObject* sender, const TCorrection& c)> OnCorrection;
    // Whether the run's driver is excluded from the event now; unset: never.
    std::function<bool(const TEffectiveRun& run)> Excluded;

    // Runs the penalty dialog; tests replace it.
    static std::function<int(TDlgPenalty*)> ExecPenalty;

private:
    void Penalty();
    void Disqualify();
    void Exclude(bool excluded);
    void SetStatus(const QString& status);
    // The reason asked for a DSQ or an exclusion; empty: cancelled or none given.
    QString AskReason(const QString& what);
    std::function<const TEffectiveRun*()> FSelected;
    QWidget* FHost;
};
