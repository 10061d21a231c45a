#pragma once
// Serial port component: opens one port, applies its line settings and runs a
// watch thread that hands each batch of line events to the user-interface
// thread, where the port's events fire. No data is read or written.
#include "ComDevice.h"

#include <QObject>
#include <QString>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <thread>

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

// The system's message for an error code (on POSIX strerror).
QString SystemErrorText(int error);

// Where the platform devices come from: tests put in the simulated device.
struct TComBackend {
    std::function<std::unique_ptr<IComDevice>()> Create;
    std::function<QString(int port)> PathFor;
    static TComBackend& Current();
    static TComBackend Platform();
};

// Device path of COMn: a per-user override in the settings group "Ports"
// (value "COMn"), else on Linux COM1..4 = /dev/ttyS0..3, COM5..12 =
// /dev/ttyUSB0..7, COM13..16 = /dev/ttyACM0..3.
QString ComPortDevicePath(int port);

class TComPort;

// The watch thread and its synchronous hand-off to the user-interface thread.
class TComThread {
public:
    TComThread(TComPort* owner, IComDevice* device, uint32_t mask);
    // Stops the thread and joins it, running hand-offs that are still queued.
    ~TComThread();

    struct HandOff {
        std::mutex Mutex;
        std::condition_variable Changed;
        bool Pending = false;
        bool Finished = false;
        bool Dispatching = false;
        uint32_t EventMask = 0;
    };

private:
    void Execute();
    TComPort* FOwner;
    IComDevice* FDevice;
    std::shared_ptr<HandOff> FHandOff;
    std::atomic<bool> FStop{false};
    std::thread FThread;
};

class TComPort : public QObject {
    Q_OBJECT
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

    void Open();
    void Close();
    bool Connected() const { return FConnected; }
    bool HandleValid() const { return FDevice && FDevice->IsOpen(); }
    uint32_t ModemStatus();
    int InputCount();
    // The device control block values Open applies.
    TComSettings Settings() const;

    // User-interface thread: fires the events of one wait, in their fixed order.
    void DispatchEvents(uint32_t mask);

private:
    friend class TComThread;
    void ServiceHandOff(const std::shared_ptr<TComThread::HandOff>& handOff);

    uint8_t FDataBits = 8;
    bool FConnected = false;
    std::unique_ptr<IComDevice> FDevice;
    std::unique_ptr<TComThread> FThread;
};

// Ports COM1..COM16 present now: bit n-1 for COMn, the highest number in the upper
// 16 bits. Opens every device without exclusive mode and closes it again.
extern uint32_t AvailablePorts;
uint32_t ProbeComPorts();
