#pragma once
// "Wertung einstellen": the scoring rule with its N and the catalogue of penalty
// items. A dialog of its own, so the settings dialog keeps its layout.
#include "StandingsSettings.h"

#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>

class TDlgScoring : public QDialog {
public:
    TDlgScoring(QWidget* parent, const TStandingsSettings& settings);

    QComboBox* cbRule;
    QSpinBox* seN;
    QLineEdit* eTarget; // "Sollzeit", as a time is written in the protocol
    QTableWidget* tbCatalogue; // "Strafe", "Sekunden"
    QPushButton *bAdd, *bRemove, *OKBtn, *CancelBtn;
    QLabel* lProblem;

    // The settings as entered; false (and lProblem says why) while a line of the
    // catalogue is not an item with its seconds.
    bool Read(TStandingsSettings& settings) const;
    TStandingsSettings Result;

    void accept() override;

private:
    void UpdateN();
};
