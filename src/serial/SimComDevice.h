#pragma once
// A simulated serial device: a test (or a benchmark) switches its modem lines
// and characters arrive; a pending wait wakes exactly as on hardware.
#include "Comms.h"

#include <QString>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>

class TSimComLine {
public:
    // Sets the modem-status word; every changed line raises its event.
    void SetModemStatus(uint32_t status);
    // Switches the lines on and off again at once, faster than any wait wakes.
    void Pulse(uint32_t lines);
    uint32_t ModemStatusWord() const;
    // Characters arrive in the input queue.
    void Receive(int count);
    // Raises events without a line change (for example CTS and DSR in one wait).
    void Raise(uint32_t events);
    void SetFailApply(bool fail);
    // The adapter pulled out: a wait fails with error, opening finds no device.
    // Plugged in again, it opens as before.
    void Unplug(int error);
    void Plug();

    bool IsOpen() const;
    bool IsExclusive() const;
    int OpenCount() const;
    bool WaitPending() const;
    // How many reports a wait has taken from the line so far.
    int Reports() const;
    TComSettings LastSettings() const;

private:
    friend class TSimComDevice;
    mutable std::mutex FMutex;
    std::condition_variable FChanged;
    void Count(uint32_t changedLines);
    uint32_t FStatus = 0;
    TLineCounts FCounts;
    uint32_t FRaised = 0;
    int FArrivals = 0;
    uint32_t FMask = 0;
    int FInQueue = 0;
    bool FOpen = false;
    bool FExclusive = false;
    bool FInterrupt = false;
    bool FWaiting = false;
    bool FFailApply = false;
    int FGoneError = 0; // unplugged with this error
    int FOpenCount = 0;
    int FReports = 0;
    TComSettings FSettings;
};

// The simulated ports by path ("sim:COM1" .. "sim:COM16").
class TSimComBus {
public:
    static std::shared_ptr<TSimComLine> Attach(int port);
    static void Detach(int port);
    static void DetachAll();
    static std::shared_ptr<TSimComLine> Find(const QString& path);
    static QString PathFor(int port) { return QStringLiteral("sim:COM%1").arg(port); }
    // The backend that opens the simulated ports instead of the platform's.
    static TComBackend Backend();
};

class TSimComDevice : public IComDevice {
public:
    bool Open(const QString& path, bool exclusive) override;
    bool ApplySettings(const TComSettings& settings) override;
    bool SetEventMask(uint32_t mask) override;
    TWaitResult WaitEvents(std::vector<TLineEvent>& events) override;
    void InterruptWait() override;
    bool ModemStatus(uint32_t& status) override;
    bool ClearErrors(uint32_t& inQueue) override;
    void Purge() override;
    void Close() override;
    bool IsOpen() const override { return FLine != nullptr; }
    bool IsCharacterDevice() override { return FLine != nullptr; }
    int LastError() const override { return FError; }

private:
    std::shared_ptr<TSimComLine> FLine;
    int FError = 0;
    // What the last report told (line mutex).
    TLineCounts FReportedCounts;
    uint32_t FReportedStatus = 0;
    int FReportedArrivals = 0;
};
