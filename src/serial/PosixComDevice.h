#pragma once
// POSIX serial backend (Linux first): termios for the line settings,
// TIOCMIWAIT on the watch thread for modem-line events, the interrupt counters
// (TIOCGICOUNT) to see every change, also one made while no wait was pending,
// and TIOCMGET for the status word. The system calls go through TPosixIo.
//
// What a POSIX port cannot report: EV_TXEMPTY, EV_RXFLAG, EV_BREAK and EV_ERR
// never arrive. EV_RXCHAR is reported only when no modem-line event is watched
// (TIOCMIWAIT and poll cannot wait together on one thread); received bytes are
// moved into the component's own input queue of ReadBufSize bytes, so one
// arrival is one event. One and a half stop bits are sent as two.
#include "ComDevice.h"
#include "PosixIo.h"

#include <atomic>
#include <memory>
#include <pthread.h>

class TPosixComDevice : public IComDevice {
public:
    explicit TPosixComDevice(std::shared_ptr<TPosixIo> io = TPosixIo::System());
    ~TPosixComDevice() override;

    bool Open(const QString& path, bool exclusive) override;
    bool ApplySettings(const TComSettings& settings) override;
    bool SetEventMask(uint32_t mask) override;
    TWaitResult WaitEvents(std::vector<TLineEvent>& events) override;
    void InterruptWait() override;
    bool ModemStatus(uint32_t& status) override;
    bool ClearErrors(uint32_t& inQueue) override;
    void Purge() override;
    void Close() override;
    bool IsOpen() const override { return FFd >= 0; }
    bool IsCharacterDevice() override;
    int LastError() const override { return FError; }

private:
    bool Fail();
    // Line changes since the last report, appended to events; true when any.
    bool CollectLineEvents(uint32_t lineEvents, std::vector<TLineEvent>& events);
    TWaitResult WaitCharacters(std::vector<TLineEvent>& events);
    // Moves what the driver holds into the input queue; the number of bytes moved.
    uint32_t Drain();

    std::shared_ptr<TPosixIo> FIo;
    int FFd = -1;
    int FWakeFd[2] = {-1, -1}; // wakes a poll() wait
    bool FExclusive = false;
    uint32_t FMask = 0;
    std::atomic<int> FError{0};
    std::atomic<bool> FInterrupt{false};
    std::atomic<bool> FWaiting{false};
    std::atomic<pthread_t> FWaiter{};
    TLineCounts FCounts;
    bool FHaveCounts = false;
    uint32_t FLastStatus = 0;
    uint32_t FQueueSize = 2048;
    std::atomic<uint32_t> FQueued{0};
};
