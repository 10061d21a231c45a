#pragma once
// The timing device ("Zeitgeber") as the clock: lines read from its port on a
// thread of their own, each impulse of a chosen channel a pass like the light
// barrier's, at the device's time. Impulses are journaled as they came; their
// numbers are their identity, so nothing is taken twice, after a restart too.
// With the light barrier connected as well, each of its passes waits for the
// device's impulse (two time systems); "Zeitgeber-Speicher lesen" reads the
// device's memory back.
#include "Journal.h"
#include "RunListener.h"
#include "Settings.h"
#include "TimeSystems.h"
#include "TimerLines.h"
#include "TimerPort.h"

#include <QElapsedTimer>
#include <QObject>
#include <QSet>
#include <array>
#include <functional>
#include <map>
#include <memory>
#include <optional>

class QTimer;
class TFormMain;
class TMenuItem;

class TTimerInput : public QObject, public TRunListener {
public:
    explicit TTimerInput(TFormMain& window);
    ~TTimerInput() override;

    // Opens the port of the settings (closes it when none); false with a notice when it fails.
    bool Open();
    void Close();
    bool IsOpen() const;
    // User-interface thread: one line as it came (tests and tools feed lines here too).
    void Line(const QByteArray& line);
    // "Zeitgeber-Speicher lesen": sends RSM and offers what comes back once it is quiet.
    void ReadMemoryClick();
    bool ReadingMemory() const { return FReading; }

    void SettingsApplied() override;
    void RunEvent(const TRunNotice& notice) override;

    TTimerSettings Settings;
    TMenuItem* mReadMemory = nullptr;
    // The device path of COMn; tests put in a pseudo-terminal.
    static std::function<QString(int port)> PathFor;
    // Quiet this long after RSM (or its last line): the read-back is complete.
    static int ReadQuietMs;

private:
    // The impulses of the last journals taken again, and the passes of an interrupted run.
    void ReadJournals();
    bool Waiting() const; // lines wait for the recovery's question or a box
    void Impulse(const TTimerImpulse& impulse);
    // An impulse taken now and journaled; false when it was taken before.
    bool Take(const TTimerImpulse& impulse, const Journal::TFields& extra = {});
    TMenuItem* NextItem() const; // START, LAP or FINISH, whichever the run waits for
    // A pass to the window at the device's time (a barrier's tick when it has none).
    void Deliver(const TTimeSystems::TPass& pass, bool twoSystems,
                 const Journal::TFields& how = {});
    void Deliver(const std::vector<TTimeSystems::TPass>& passes); // of the two time systems
    bool BarrierPass(uint32_t tick);
    void UncountedChannel(const TTimerImpulse& i);
    void MemoryRead();
    std::optional<int64_t> DeviceTimeAt(uint32_t tick) const;

    TFormMain& FWindow;
    std::unique_ptr<TTimerPort> FPort;
    TImpulseNumbers FNumbers;
    // Per car the device time and tick of its last pass from the device: the
    // next lap is the difference of the device's times, not of two ticks.
    struct TAnchor {
        int64_t Time = 0;
        uint32_t Tick = 0;
    };
    std::array<std::optional<TAnchor>, 3> FCar;
    std::optional<TAnchor> FLast;       // the run's last pass from the device
    std::optional<TAnchor> FDelivering; // the pass being handed to the window
    std::optional<TAnchor> FClock;      // the latest impulse and the tick it arrived at
    std::optional<int64_t> FRunStart;   // device time of the last run's START
    std::optional<int64_t> FLastPass;   // device time of its last pass
    TTimeSystems FSystems;
    QTimer* FExpire = nullptr;
    // From the journal of an interrupted run: device time by the tick of its pass.
    std::map<uint32_t, int64_t> FJournalPasses;
    std::vector<uint32_t> FJournalTicks; // the ticks of that run's events
    std::optional<int32_t> FRestoredOffset;
    bool FJournalsRead = false;
    bool FRecoveryRead = false; // the memory was read once after a recovered run
    QElapsedTimer FReadSince;
    bool FReading = false;
    std::vector<TTimerImpulse> FReadBack;
    QTimer* FReadEnd = nullptr;
    QList<QByteArray> FWaiting; // lines come while a box was open
    QTimer* FWaitEnd = nullptr;
    QSet<QString> FToldChannels; // channels not counted that were told once
};
