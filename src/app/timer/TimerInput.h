#pragma once
// The timing device ("Zeitgeber") as the clock: lines read from its port on a
// thread of their own, each impulse of a chosen channel a pass like the light
// barrier's, at the device's time. Impulses are journaled as they came; their
// numbers are their identity, so nothing is taken twice.
#include "RunListener.h"
#include "Settings.h"
#include "TimerLines.h"

#include <QObject>
#include <array>
#include <atomic>
#include <functional>
#include <optional>
#include <thread>

class TFormMain;

class TTimerInput : public QObject, public TRunListener {
public:
    explicit TTimerInput(TFormMain& window);
    ~TTimerInput() override;

    // Opens the port of the settings (closes it when none); false with a notice when it fails.
    bool Open();
    void Close();
    bool IsOpen() const { return FFd >= 0; }
    // User-interface thread: one line as it came (tests and tools feed lines here too).
    void Line(const QByteArray& line);

    void SettingsApplied() override;
    void RunEvent(const TRunNotice& notice) override;

    TTimerSettings Settings;
    // The device path of COMn; tests put in a pseudo-terminal.
    static std::function<QString(int port)> PathFor;

private:
    void Read(int fd, int wake);
    void Pass(const TTimerImpulse& impulse);

    TFormMain& FWindow;
    int FFd = -1;
    int FWake[2] = {-1, -1};
    std::thread FThread;
    TImpulseNumbers FNumbers;
    // Per car the device time and tick of its last pass from the device: the
    // next lap is the difference of the device's times, not of two ticks.
    struct TAnchor {
        int64_t Time = 0;
        uint32_t Tick = 0;
    };
    std::array<std::optional<TAnchor>, 3> FCar;
    std::optional<TAnchor> FLast; // the run's last pass from the device
    std::optional<TAnchor> FDelivering; // the pass being handed to the window
};
