// The settings dialog from the main window: fill, show, apply.
#include "Cfg.h"
#include "FMain.h"

#include <cmath>

std::function<int(TCfgDialog*)> TFormMain::ExecCfgDialog = [](TCfgDialog* dialog) {
    return dialog->exec();
};

void TFormMain::bCFGClick(QObject*) {
    TCfgDialog* d = CfgDialog;
    const int port = ComPort->Port;
    if (port != 0)
        d->cbPort->setCurrentIndex(d->cbPort->findText(QStringLiteral("COM%1").arg(port)));
    else
        d->cbPort->setCurrentIndex(0);
    d->cbAlg->setEnabled(port != 0);
    d->cbAlg->setCurrentIndex(ComPort->Tag >= 0 && ComPort->Tag < d->cbAlg->count() ? ComPort->Tag
                                                                                    : -1);
    const int oldPort = d->cbPort->currentIndex();
    d->seWait->setEnabled(d->cbAlg->isEnabled());
    d->seWait->SetValue(TimerGesperrtStart->interval() / 1000.0);
    d->seLaps->SetValue(RunSettings.Laps);
    d->seCars->SetValue(RunSettings.Cars);
    d->SetRunInProgress(FEventCount > 0); // between START and RESET
    TTimerSettings timer;
    timer.Read(SettingsStore());
    d->cbTimerPort->setCurrentIndex(
        timer.Port ? d->cbTimerPort->findText(QStringLiteral("COM%1").arg(timer.Port)) : 0);
    d->cbTimerBaud->setCurrentIndex(d->cbTimerBaud->findText(QString::number(timer.Baud)));
    if (d->cbTimerBaud->currentIndex() < 0) {
        d->cbTimerBaud->addItem(QString::number(timer.Baud));
        d->cbTimerBaud->setCurrentIndex(d->cbTimerBaud->count() - 1);
    }
    d->eTimerChannels->setText(timer.Channels);
    d->cbTimerBaud->setEnabled(d->cbTimerPort->currentIndex() > 0);
    d->eTimerChannels->setEnabled(d->cbTimerPort->currentIndex() > 0);
    d->seWait->setEnabled(d->cbAlg->isEnabled() || d->cbTimerPort->currentIndex() > 0);

    if (ExecCfgDialog(d) == QDialog::Accepted) {
        if (!d->RunInProgress()) {
            RunSettings.Cars = d->seCars->Value();
            RunSettings.Laps = RunSettings.Cars == 2 ? 2 : d->seLaps->Value();
        }
        ArrangeForCars();
        // Nearest millisecond, an exact half to the even one.
        TimerGesperrtStart->setInterval(
            static_cast<int>(std::nearbyint(d->seWait->Value() * 1000)));
        const int timerSelected = d->cbTimerPort->currentIndex();
        timer.Port = timerSelected > 0 ? d->cbTimerPort->itemText(timerSelected).mid(3).toInt() : 0;
        timer.Baud = d->cbTimerBaud->currentText().toInt();
        if (timer.Baud <= 0) timer.Baud = 9600;
        const QString typed = d->eTimerChannels->text().simplified();
        const QString channels = TTimerSettings::ChannelList(typed);
        if (!channels.isEmpty())
            timer.Channels = channels;
        else if (!typed.isEmpty()) // "C0 C1" once counted nothing, without a word
            Notice(QStringLiteral("Zeitgeber: Kanäle „%1“ nicht lesbar").arg(typed),
                   QStringLiteral("Kanäle sind C0 bis C9, durch Komma getrennt; es bleiben „%1“.")
                       .arg(timer.Channels));
        timer.Write(SettingsStore());
        SettingsStore().Sync();
        Announce([](TRunListener& l) { l.SettingsApplied(); });
        const int selected = d->cbPort->currentIndex();
        if (selected != oldPort) ComPort->Close();
        if (selected != 0) {
            bool ok = false;
            const int n = d->cbPort->itemText(selected).mid(3).toInt(&ok);
            ComPort->Port = static_cast<uint8_t>(ok ? n : 0);
            ComPort->Tag = d->cbAlg->currentIndex();
            // Also the same port when it is not watched (it failed to open, or its
            // adapter was pulled out): OK is the way to try it now.
            if (selected != oldPort || !ComPort->Connected()) {
                try {
                    ComPort->Open();
                } catch (const EComError& e) {
                    ShowError(e.Message()); // what was applied before stays
                    return;
                }
            }
        } else {
            ComPort->Port = 0;
        }
    }
    PanelControl->setFocus();
}
