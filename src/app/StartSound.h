#pragma once
#include <QObject>
#include <functional>

class QSoundEffect;

// The start-up sound: played once; start-up goes on when it has ended, but never
// waits longer than its length (at most MaxWaitMs) plus a margin, and not at all
// without a sound device.
class TStartSound : public QObject {
public:
    static constexpr int MaxWaitMs = 3000;
    static constexpr int MarginMs = 300;

    explicit TStartSound(QObject* parent = nullptr);
    // Plays a wave file and returns when it has ended or the wait is over;
    // false when nothing was played.
    bool PlayAndWait(const QString& file);

    // Whether a sound device is there; tests replace it.
    static std::function<bool()> HasOutput;

private:
    QSoundEffect* FEffect = nullptr; // kept: a long sound plays on after the wait
};
