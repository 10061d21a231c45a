#pragma once
// Serial port component: opens one port, applies its line settings and runs a
// watch thread that hands each batch of line events to the user-interface
// thread, where the port's events fire. No data is read or written.
#include "ComDevice.h"
#include "ThreadPriority.h"

#include <QObject>
#include <QString>
#include <QTimer>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

enum TBaudRate {
    br110,
    br300,
    br600,
    br1200,
    br2400,
    br4800,
    br9600,
    br14400,
    br19200,
    br38400,
    br56000,
    br57600,
    br115200,
    br128000,
    br256000,
    brUser
};
enum TParity { prNone, prOdd, prEven, prMark, prSpace };
enum TStopBits { sbOneStopBit, sbOne5StopBits, sbTwoStopBits };
enum TFlowControl { fcNone, fcRtsCts, fcXonXoff };
enum TEvent { evRxChar, evTxEmpty, evRxFlag, evRing, evBreak, evCTS, evDSR, evError, evRLSD };
using TEvents = uint16_t; // bit k = TEvent k
constexpr TEvents EventBit(TEvent e) {
    return static_cast<TEvents>(1u << e);
}
constexpr TEvents AllEvents = 0x1FF;

// Bit rate of a TBaudRate value (brUser has none of its own).
int BaudRateValue(TBaudRate rate);
// Line-event mask of an event set.
uint32_t EventMaskOf(TEvents events);

class EComError : public std::runtime_error {
public:
    explicit EComError(const QString& message)
        : std::runtime_error(message.toStdString()), FMessage(message) {}
    QString Message() const { return FMessage; }

private:
    QString FMessage;
};
class EComHandle : public EComError {
    using EComError::EComError;
};
class EComState : public EComError {
    using EComError::EComError;
};

// The system's message for an error code (on POSIX strerror); the code in
// decimal when the system has none.
QString SystemErrorText(int error);

// Where the platform devices come from: tests put in the simulated device.
struct TComBackend {
    std::function<std::unique_ptr<IComDevice>()> Create;
    std::function<QString(int port)> PathFor;
    // Run by each watch thread before its first wait (none: it keeps what it has).
    std::function<TThreadPriority()> RaisePriority;
    static TComBackend& Current();
    static TComBackend Platform();
};

// Device path of COMn: a per-user override in the settings group "Ports"
// (value "COMn"), else on Linux COM1..4 = /dev/ttyS0..3, COM5..12 =
// /dev/ttyUSB0..7, COM13..16 = /dev/ttyACM0..3.
QString ComPortDevicePath(int port);

class TComPort;

// The watch thread of one open port and its hand-off to the user-interface
// thread. The thread goes back to waiting as soon as it has queued what a wait
// reported, so every change is taken (and timed) when it happens, also while
// the window is busy; the user-interface thread runs the queue in order. Shared,
// so that a handler closing or reopening the port while a dispatch of this
// thread runs (also one served inside an outer Close) frees nothing that the
// outer call still uses.
class TComThread : public std::enable_shared_from_this<TComThread> {
public:
    // Changes held for a window that does not serve: seconds of a line
    // flickering every millisecond. Read when a wait reports; tests make it small.
    static inline size_t MaxQueued = 16384;

    TComThread(TComPort* owner, std::shared_ptr<IComDevice> device);
    ~TComThread();
    void Start(uint32_t mask, std::function<TThreadPriority()> raisePriority);
    // User-interface thread: stops the watch and joins it, then runs what was
    // handed off before. Safe again and from inside a dispatch (which then
    // runs nothing more).
    void Stop();
    // User-interface thread: runs the queued line events, in order.
    void Serve();
    // The port's close of this thread is complete: nothing of it dispatches again.
    bool Closed = false;
    // What the thread got; Unknown until it has asked.
    TThreadPriority Priority();

private:
    void Execute();
    bool Finished();
    // Watch thread, under the mutex: appends what a wait reported. The watch
    // never waits for room (a change would then be timed late): a full queue
    // gives up its oldest changes but the first, in pairs, so what is kept
    // stays in order with its own stamps and the first edge of a burst stays.
    void Enqueue(const std::vector<TLineEvent>& events);
    TComPort* FOwner;
    std::shared_ptr<IComDevice> FDevice;
    std::mutex FMutex;
    std::condition_variable FChanged;
    bool FStop = false;
    bool FPosted = false;      // a call of Serve is on its way
    bool FDispatching = false; // Serve runs on the user-interface thread
    bool FFinished = false;
    std::deque<TLineEvent> FQueue;
    TThreadPriority FPriority;
    std::thread FThread;
};

class TComPort : public QObject {
public:
    explicit TComPort(QObject* owner = nullptr);
    ~TComPort() override;

    TBaudRate BaudRate = br9600;
    int BaudRateUser = 9600;
    uint8_t Port = 1;
    TParity Parity = prNone;
    TStopBits StopBits = sbOneStopBit;
    TFlowControl FlowControl = fcNone;
    TEvents Events = AllEvents;
    bool EnableDTR = true;
    int WriteBufSize = 2048;
    int ReadBufSize = 2048;
    int Tag = 0;

    uint8_t DataBits() const { return FDataBits; }
    void SetDataBits(int value);

    std::function<void(QObject* sender, int inQue)> OnRxChar;
    std::function<void(QObject*sender)> OnTxEmpty, OnBreak, OnRing, OnCTS, OnDSR, OnRLSD, OnError,
        OnRxFlag, OnOpen, OnClose;
    // Line changes that could not be kept (the window did not serve for too
    // long, or a line flickered faster than any wait): fired before the events
    // that follow the gap, with the number left out there.
    std::function<void(QObject* sender, int dropped)> OnDropped;
    // The watch ended by itself (an adapter pulled out or without power): the
    // device is closed, the port is Lost, and with ReopenInterval it is opened
    // again as it was until that works (then OnOpen fires). error: the system's code.
    std::function<void(QObject* sender, int error)> OnLost;
    // The scheduling the watch thread got, once it knows, for each opened watch.
    std::function<void(QObject* sender, const TThreadPriority& priority)> OnWatchPriority;
    // Milliseconds between tries to open a lost port again; 0: it stays lost.
    int ReopenInterval = 0;

    // Inside Close (also from a handler it runs, and from OnClose) Open does
    // nothing: Close means closed when it returns. On a lost port Open tries
    // once more at once; failing, the port stays lost and is tried again.
    void Open();
    // Also ends a lost port's tries, with OnClose.
    void Close();
    bool Connected() const { return FConnected; }
    // The watch ended by itself and the port waits to be opened again.
    bool Lost() const { return FLost; }
    // Lost and tried again every ReopenInterval (not when the driver cannot wait at all).
    bool Retrying() const { return FLost && FRetrying; }
    int LostError() const { return FLostError; }
    bool HandleValid() const { return FDevice && FDevice->IsOpen(); }
    // The modem-status word; while a line event is dispatched, the one read with
    // that event (a later change has an event of its own).
    uint32_t ModemStatus();
    int InputCount();
    // While an event of this port is dispatched: true, with the tick count taken
    // when the watch thread woke for it.
    bool EventTick(uint32_t& tick) const;
    // The scheduling the watch thread got (Unknown while the port is closed).
    TThreadPriority WatchPriority() const;
    // Line changes left out since the port was opened.
    int DroppedChanges() const { return FDropped; }
    // The device control block values Open applies.
    TComSettings Settings() const;

    // User-interface thread: fires the events of one wait, in their fixed order.
    void DispatchEvents(uint32_t mask);

private:
    friend class TComThread;
    void DispatchLineEvents(TComThread* thread, const std::deque<TLineEvent>& events);
    // Opens the device and starts the watch (throws as Open).
    void OpenDevice();
    // User-interface thread: the watch of thread ended without a stop.
    void WatchEnded(TComThread* thread, int error);
    void WatchPriorityKnown(TComThread* thread, const TThreadPriority& priority);
    void TryReopen();

    uint8_t FDataBits = 8;
    bool FConnected = false;
    bool FLost = false;
    int FLostError = 0;
    bool FRetrying = false;
    QTimer* FReopen = nullptr;
    bool FDestroying = false;
    int FClosing = 0; // depth of Close calls under way
    int FDropped = 0;
    uint64_t FGeneration = 0; // moves on at every open and close
    const TLineEvent* FEvent = nullptr; // the line event being dispatched
    std::shared_ptr<IComDevice> FDevice;
    std::shared_ptr<TComThread> FThread;
};

// Ports COM1..COM16 present now: bit n-1 for COMn, the highest number in the upper
// 16 bits. Opens every device without exclusive mode and closes it again.
extern uint32_t AvailablePorts;
uint32_t ProbeComPorts();
