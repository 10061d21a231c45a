#pragma once
// The settings dialog: cars, laps, the light barrier's port, trigger rule and dead time.
#include "FlEdit.h"
#include "Spin.h"

#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

class TComPort;

class TCfgDialog : public QDialog {
public:
    // Made once, after the main window's start-up: the port list comes from its probe.
    TCfgDialog(QWidget* owner, TComPort* port);

    void FormCreate();
    void FormShow();
    void cbPortChange();
    void seCarsChange();

    // While a run is in progress cars and laps stay as they are: changing them would
    // scramble the running clocks.
    void SetRunInProgress(bool running);
    bool RunInProgress() const { return FRunInProgress; }

    TSpinEdit *seCars, *seLaps;
    QComboBox *cbPort, *cbAlg;
    TSpinFloatEdit* seWait;
    QLabel *LabelWiring, *LabelRunning;
    // The timing device: port as the barrier's, baud rate, the channels that count.
    QComboBox *cbTimerPort, *cbTimerBaud;
    QLineEdit* eTimerChannels;
    QPushButton *OKBtn, *CancelBtn;

protected:
    void showEvent(QShowEvent* event) override;

private:
    TComPort* FComPort;
    bool FRunInProgress = false;
};
