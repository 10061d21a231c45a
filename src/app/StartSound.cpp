#include "StartSound.h"

#include "WaveFile.h"

#include <QAudioDevice>
#include <QEventLoop>
#include <QFile>
#include <QMediaDevices>
#include <QSoundEffect>
#include <QTimer>
#include <QUrl>

std::function<bool()> TStartSound::HasOutput = [] {
    return !QMediaDevices::audioOutputs().isEmpty();
};

TStartSound::TStartSound(QObject* parent) : QObject(parent) {}

bool TStartSound::PlayAndWait(const QString& file) {
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly)) return false;
    // The header and the size tell the length; the samples are not needed for that.
    const int lengthMs = WaveDurationMs(f.read(64 * 1024), f.size());
    f.close();
    if (lengthMs < 0 || !HasOutput || !HasOutput()) return false;

    if (!FEffect) FEffect = new QSoundEffect(this);
    FEffect->setSource(QUrl::fromLocalFile(file));
    QEventLoop wait;
    QTimer limit;
    limit.setSingleShot(true);
    connect(&limit, &QTimer::timeout, &wait, &QEventLoop::quit);
    bool started = false;
    connect(FEffect, &QSoundEffect::playingChanged, &wait, [&] {
        if (FEffect->isPlaying())
            started = true;
        else if (started)
            wait.quit();
    });
    connect(FEffect, &QSoundEffect::statusChanged, &wait, [&] {
        if (FEffect->status() == QSoundEffect::Error) wait.quit();
    });
    FEffect->play();
    limit.start(qMin(lengthMs, MaxWaitMs) + MarginMs);
    wait.exec(QEventLoop::ExcludeUserInputEvents);
    return true;
}
