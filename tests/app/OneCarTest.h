#pragma once
// What the window tests of the event database share: each test in a folder of
// its own, a manual tick, one car over two laps, the window's messages caught.
#include "FMain.h"
#include "TickSource.h"

#include <QDir>
#include <QTemporaryDir>
#include <memory>

class TOneCarTest : public QObject {
protected:
    std::unique_ptr<QTemporaryDir> FDir;
    QStringList FMessages;

    void InitOneCar(TRunSettings& run) {
        FDir = std::make_unique<QTemporaryDir>();
        QDir::setCurrent(FDir->path());
        TickSource::SetManual(1000);
        run.Cars = 1;
        run.Laps = 2;
        FMessages.clear();
        TFormMain::ShowMessage = [this](const QString& text) { FMessages << text; };
    }
};
