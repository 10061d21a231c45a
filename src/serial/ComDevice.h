#pragma once
// The platform side of a serial port, small enough that a simulated device and
// each operating system's backend slot in behind it.
#include <QString>
#include <cstdint>
#include <vector>

// Line-event mask bits, as the port's events use them.
constexpr uint32_t EV_RXCHAR = 0x0001;
constexpr uint32_t EV_RXFLAG = 0x0002;
constexpr uint32_t EV_TXEMPTY = 0x0004;
constexpr uint32_t EV_CTS = 0x0008;
constexpr uint32_t EV_DSR = 0x0010;
constexpr uint32_t EV_RLSD = 0x0020;
constexpr uint32_t EV_BREAK = 0x0040;
constexpr uint32_t EV_ERR = 0x0080;
constexpr uint32_t EV_RING = 0x0100;

// Modem-status word bits.
constexpr uint32_t MS_CTS_ON = 0x0010;
constexpr uint32_t MS_DSR_ON = 0x0020;
constexpr uint32_t MS_RING_ON = 0x0040;
constexpr uint32_t MS_RLSD_ON = 0x0080;

struct TComSettings {
    int BaudRate = 9600;
    int DataBits = 8;
    int Parity = 0;      // none, odd, even, mark, space
    int StopBits = 0;    // one, one and a half, two
    int FlowControl = 0; // none, RTS/CTS, XON/XOFF
    bool EnableDTR = true;
    int XonLimit = 512;
    int XoffLimit = 1;
    int ReadBufSize = 2048;
    int WriteBufSize = 2048;
};

enum class TWaitResult { Events, Interrupted, Failed, Broken };

// One report of a wait: the events and, for modem-line changes, the status word
// right after them. Tick is the tick count when the wait returned. Dropped
// counts the changes left out just before this one (see LineEventsBetween).
struct TLineEvent {
    uint32_t Mask = 0;
    uint32_t Status = 0;
    bool HasStatus = false;
    uint32_t Tick = 0;
    int Dropped = 0;
};

// Per-line change counters (the driver's interrupt counters).
struct TLineCounts {
    int Cts = 0, Dsr = 0, Ring = 0, Dcd = 0;
    bool operator==(const TLineCounts&) const = default;
};

// What changed between two reports, as line events in the order they happened,
// each with the status word after it. The counters tell how often each line
// changed: a line that reads as before but changed twice (a pulse shorter than
// any wait) is reported as its two changes. Beyond four changes of one line
// the first three or four are reported, ending at the level now; the others
// are counted in the last event's Dropped. Only the lines of watchedMask take part.
std::vector<TLineEvent> LineEventsBetween(const TLineCounts& before, uint32_t statusBefore,
                                          const TLineCounts& now, uint32_t statusNow,
                                          uint32_t watchedMask);

class IComDevice {
public:
    virtual ~IComDevice() = default;
    // Opens the device for reading and writing; exclusive keeps other programs out.
    virtual bool Open(const QString& path, bool exclusive) = 0;
    virtual bool ApplySettings(const TComSettings& settings) = 0;
    virtual bool SetEventMask(uint32_t mask) = 0;
    // Blocks until events of the mask (Events, appended to events in the order
    // they happened; a change made since the last report returns at once), an
    // interrupt (Interrupted), a failed wait that may be retried (Failed) or a
    // failure of the wait itself (Broken). Called on the watch thread only.
    virtual TWaitResult WaitEvents(std::vector<TLineEvent>& events) = 0;
    // Wakes a pending or the next WaitEvents; safe from any thread.
    virtual void InterruptWait() = 0;
    virtual bool ModemStatus(uint32_t& status) = 0;
    // Clears pending line errors and reports the input queue count.
    virtual bool ClearErrors(uint32_t& inQueue) = 0;
    virtual void Purge() = 0;
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;
    virtual bool IsCharacterDevice() = 0;
    // The system's error code of the last failed call.
    virtual int LastError() const = 0;
};
