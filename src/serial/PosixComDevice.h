#pragma once
// POSIX serial backend (Linux first): termios for the line settings, TIOCMIWAIT
// on the watch thread for modem-line events, TIOCMGET for the status word.
//
// What a POSIX port cannot report: EV_TXEMPTY, EV_RXFLAG, EV_BREAK and EV_ERR
// never arrive. EV_RXCHAR is reported only when no modem-line event is watched
// (TIOCMIWAIT and poll cannot wait together on one thread). Queue sizes are the
// driver's own; one and a half stop bits are sent as two.
#include "ComDevice.h"

#include <atomic>
#include <pthread.h>

class TPosixComDevice : public IComDevice {
public:
    TPosixComDevice();
    ~TPosixComDevice() override;

    bool Open(const QString& path, bool exclusive) override;
    bool ApplySettings(const TComSettings& settings) override;
    bool SetEventMask(uint32_t mask) override;
    TWaitResult WaitEvents(uint32_t& mask) override;
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
    int FFd = -1;
    int FWakeFd[2] = {-1, -1}; // wakes a poll() wait
    bool FExclusive = false;
    uint32_t FMask = 0;
    int FError = 0;
    std::atomic<bool> FInterrupt{false};
    std::atomic<bool> FWaiting{false};
    std::atomic<pthread_t> FWaiter{};
    struct Counts {
        int cts = 0, dsr = 0, rng = 0, dcd = 0;
    } FCounts;
    bool FHaveCounts = false;
    uint32_t FLastStatus = 0;
};
