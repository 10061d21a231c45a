#pragma once
// "Strafe nach Start-Nr.": a penalty given at the timing desk without opening
// "Wertung": start number, run (the current one proposed) and item. Not modal:
// the keys of the timing run keep working while it is open.
#include "StandingsSettings.h"

#include <QComboBox>
#include <QFormLayout>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <functional>

class TDlgPenaltyByNumber : public QDialog {
public:
    TDlgPenaltyByNumber(QWidget* parent, const QList<TPenaltyItem>& catalogue);

    QLineEdit *eStartNo, *eRun, *eReason;
    QComboBox* cbItem;
    QSpinBox* seCount;
    QLabel* lDriver; // whom and which run it concerns, or why none
    QComboBox* cbDriver; // shown when drivers shared the start number in that run: none chosen first
    QPushButton *bOK, *bCancel;

    // The runs it looks in (recorded order); asked at every change of the fields.
    std::function<const std::vector<TEffectiveRun>&()> Runs;
    // The penalty, once the button was pressed for a run that exists.
    std::function<void(QObject* sender, const TCorrection& c)> OnPenalty;

    void Prepare(const QString& runNo);
    // The run the fields name now; nullptr: none, or a shared start number not yet chosen.
    const TEffectiveRun* Run() const;
    void Give();

private:
    void ShowDriver();
    void OfferDrivers(const std::vector<const TEffectiveRun*>& runs);
    QList<TPenaltyItem> FCatalogue;
    QFormLayout* FForm;
};
