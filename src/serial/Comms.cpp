#include "Comms.h"

#include "PosixComDevice.h"

#include <QCoreApplication>
#include <QSettings>
#include <QThread>
#include <cstring>

uint32_t AvailablePorts = 0;

int BaudRateValue(TBaudRate rate) {
    static const int rates[] = {110,   300,   600,   1200,  2400,   4800,   9600,  14400,
                                19200, 38400, 56000, 57600, 115200, 128000, 256000};
    return rate >= br110 && rate <= br256000 ? rates[rate] : 0;
}

uint32_t EventMaskOf(TEvents events) {
    static const uint32_t bits[] = {EV_RXCHAR, EV_TXEMPTY, EV_RXFLAG, EV_RING, EV_BREAK,
                                    EV_CTS,    EV_DSR,     EV_ERR,    EV_RLSD};
    uint32_t mask = 0;
    for (int e = evRxChar; e <= evRLSD; ++e)
        if (events & (1u << e)) mask |= bits[e];
    return mask;
}

QString SystemErrorText(int error) {
    const char* text = std::strerror(error);
    return text ? QString::fromLocal8Bit(text) : QString::number(error);
}

QString ComPortDevicePath(int port) {
    QSettings settings(QCoreApplication::organizationName());
    const QString over = settings.value(QStringLiteral("Ports/COM%1").arg(port)).toString();
    if (!over.isEmpty()) return over;
    if (port >= 1 && port <= 4) return QStringLiteral("/dev/ttyS%1").arg(port - 1);
    if (port >= 5 && port <= 12) return QStringLiteral("/dev/ttyUSB%1").arg(port - 5);
    if (port >= 13 && port <= 16) return QStringLiteral("/dev/ttyACM%1").arg(port - 13);
    return QStringLiteral("COM%1").arg(port); // no such device
}

TComBackend TComBackend::Platform() {
    return {[] { return std::unique_ptr<IComDevice>(new TPosixComDevice); }, ComPortDevicePath};
}

TComBackend& TComBackend::Current() {
    static TComBackend backend = Platform();
    return backend;
}

// ---------------------------------------------------------------- watch thread

TComThread::TComThread(TComPort* owner, IComDevice* device, uint32_t mask)
    : FOwner(owner), FDevice(device), FHandOff(std::make_shared<HandOff>()) {
    FDevice->SetEventMask(mask);
    FThread = std::thread([this] { Execute(); });
}

void TComThread::Execute() {
    const std::shared_ptr<HandOff> h = FHandOff;
    while (!FStop) {
        uint32_t mask = 0;
        const TWaitResult r = FDevice->WaitEvents(mask);
        if (FStop || r == TWaitResult::Interrupted) {
            if (FStop) break;
            continue;
        }
        if (r == TWaitResult::Broken)
            break; // the device is gone: the watch ends, the port stays open until Close
        if (r == TWaitResult::Failed) continue;
        {
            std::unique_lock lock(h->Mutex);
            h->EventMask = mask;
            h->Pending = true;
        }
        // Wake the user-interface thread; the call is dropped if the port is gone.
        QMetaObject::invokeMethod(
            FOwner, [owner = FOwner, h] { owner->ServiceHandOff(h); }, Qt::QueuedConnection);
        std::unique_lock lock(h->Mutex);
        h->Changed.wait(lock, [&] { return !h->Pending || FStop; });
    }
    FDevice->Purge();
    std::lock_guard lock(h->Mutex);
    h->Finished = true;
    h->Changed.notify_all();
}

TComThread::~TComThread() {
    FStop = true;
    const std::shared_ptr<HandOff> h = FHandOff;
    {
        // Called from inside a dispatch (a handler closing the port): that hand-off
        // counts as done, so the watch thread is free to end.
        std::lock_guard lock(h->Mutex);
        if (h->Dispatching) h->Pending = false;
        h->Changed.notify_all();
    }
    for (;;) {
        FDevice->InterruptWait();
        std::unique_lock lock(h->Mutex);
        if (h->Finished) break;
        if (h->Pending && !h->Dispatching) {
            lock.unlock();
            FOwner->ServiceHandOff(h); // keep serving queued hand-offs: no deadlock
            continue;
        }
        // The interrupt may land before the watch thread blocks: send it again soon.
        h->Changed.wait_for(lock, std::chrono::milliseconds(10));
    }
    FThread.join();
}

// ---------------------------------------------------------------- port

TComPort::TComPort(QObject* owner) : QObject(owner) {}

TComPort::~TComPort() {
    Close();
}

void TComPort::SetDataBits(int value) {
    if (value == FDataBits) return;
    FDataBits = static_cast<uint8_t>(std::clamp(value, 5, 8));
}

TComSettings TComPort::Settings() const {
    TComSettings s;
    s.BaudRate = BaudRate == brUser ? BaudRateUser : BaudRateValue(BaudRate);
    s.DataBits = FDataBits;
    s.Parity = Parity;
    s.StopBits = StopBits;
    s.FlowControl = FlowControl;
    s.EnableDTR = EnableDTR;
    s.XonLimit = WriteBufSize / 4;
    s.XoffLimit = 1;
    s.ReadBufSize = ReadBufSize;
    s.WriteBufSize = WriteBufSize;
    return s;
}

void TComPort::Open() {
    Close();
    const TComBackend& backend = TComBackend::Current();
    auto device = backend.Create();
    if (!device->Open(backend.PathFor(Port), true))
        throw EComHandle(QStringLiteral("Unable to open com port: ") +
                         SystemErrorText(device->LastError()));
    if (!device->ApplySettings(Settings())) {
        const int error = device->LastError();
        device->Close(); // release the port before reporting: it stays usable for others
        throw EComState(QStringLiteral("Unable to set com state: ") + SystemErrorText(error));
    }
    FDevice = std::move(device);
    FThread = std::make_unique<TComThread>(this, FDevice.get(), EventMaskOf(Events));
    FConnected = true;
    if (OnOpen) OnOpen(this);
}

void TComPort::Close() {
    if (!FConnected) return;
    FThread.reset();
    if (FDevice) FDevice->Close();
    FDevice.reset();
    FConnected = false;
    if (OnClose) OnClose(this);
}

uint32_t TComPort::ModemStatus() {
    uint32_t status = 0, queue = 0;
    if (!FDevice) return 0;
    FDevice->ClearErrors(queue);
    FDevice->ModemStatus(status);
    return status;
}

int TComPort::InputCount() {
    uint32_t queue = 0;
    if (FDevice) FDevice->ClearErrors(queue);
    return static_cast<int>(queue);
}

void TComPort::ServiceHandOff(const std::shared_ptr<TComThread::HandOff>& h) {
    uint32_t mask;
    {
        std::lock_guard lock(h->Mutex);
        if (!h->Pending || h->Dispatching) return;
        h->Dispatching = true;
        mask = h->EventMask;
    }
    DispatchEvents(mask);
    std::lock_guard lock(h->Mutex);
    h->Dispatching = false;
    h->Pending = false;
    h->Changed.notify_all();
}

void TComPort::DispatchEvents(uint32_t mask) {
    auto fire = [&](uint32_t bit, const std::function<void(QObject*)>& handler) {
        if ((mask & bit) && handler) handler(this);
    };
    if ((mask & EV_RXCHAR) && OnRxChar) OnRxChar(this, InputCount());
    fire(EV_TXEMPTY, OnTxEmpty);
    fire(EV_BREAK, OnBreak);
    fire(EV_RING, OnRing);
    fire(EV_CTS, OnCTS);
    fire(EV_DSR, OnDSR);
    fire(EV_RXFLAG, OnRxFlag);
    fire(EV_RLSD, OnRLSD);
    fire(EV_ERR, OnError);
}

uint32_t ProbeComPorts() {
    const TComBackend& backend = TComBackend::Current();
    uint32_t result = 0;
    for (int n = 1; n <= 16; ++n) {
        auto device = backend.Create();
        // Not exclusive: exclusive mode would outlive our close while another
        // program still holds the port.
        if (device->Open(backend.PathFor(n), false)) {
            if (device->IsCharacterDevice())
                result = (result & 0xFFFF) | (1u << (n - 1)) | (static_cast<uint32_t>(n) << 16);
            device->Close();
        }
    }
    AvailablePorts = result;
    return result;
}
