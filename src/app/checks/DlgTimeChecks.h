#pragma once
// The two small dialogs around suspicious times: the limits of the checks
// ("Plausibilität") and a time from a backup stopwatch ("Handzeit").
#include "Plausibility.h"

#include <QComboBox>
#include <QDialog>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <functional>

class TSettingsStore;

// The limits under value names of their own beside the other settings.
Plausibility::TThresholds ReadThresholds(const TSettingsStore& store);
void WriteThresholds(TSettingsStore& store, const Plausibility::TThresholds& t);

class TDlgPlausibility : public QDialog {
public:
    explicit TDlgPlausibility(QWidget* parent = nullptr);
    void SetThresholds(const Plausibility::TThresholds& t);
    Plausibility::TThresholds Thresholds() const;

    QDoubleSpinBox *seMinLap, *seLow, *seHigh;
    QSpinBox *seFieldRuns, *seAfterDeadTime;
    QPushButton *bOK, *bCancel;
};

class TDlgHandTime : public QDialog {
public:
    explicit TDlgHandTime(QWidget* parent = nullptr);
    // The row's driver, its number of laps and the field proposed (0 the total).
    void Prepare(const QString& driver, int laps, int field);
    int Field() const; // 1..laps, 0 the total
    int TimeMs() const; // -1: not a time
    QString TimeText() const; // as the protocol writes it

    QLabel* lDriver;
    QComboBox* cbField;
    QLineEdit* eTime;
    QPushButton *bOK, *bCancel;

    // Message for a text that is no time; tests replace it.
    static std::function<void(QWidget*, const QString&)> ShowError;

private:
    void Accept();
};
