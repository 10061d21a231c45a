#include "Comms.h"

#include "PosixComDevice.h"
#include "TickSource.h"

#include <QCoreApplication>
#include <QSettings>
#include <QThread>
#include <cerrno>
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
#ifdef __GLIBC__
    // strerror makes up "Unknown error N" for codes it has no text for.
    if (!strerrordesc_np(error)) return QString::number(error);
#endif
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
    return {[] { return std::unique_ptr<IComDevice>(new TPosixComDevice); }, ComPortDevicePath,
            [] {
                const auto api = IThreadPriorityApi::Platform();
                return RaiseThreadPriority(*api, WatchThreadPriority);
            }};
}

TComBackend& TComBackend::Current() {
    static TComBackend backend = Platform();
    return backend;
}

// ---------------------------------------------------------------- watch thread

TComThread::TComThread(TComPort* owner, std::shared_ptr<IComDevice> device)
    : FOwner(owner), FDevice(std::move(device)) {}

void TComThread::Start(uint32_t mask, std::function<TThreadPriority()> raisePriority) {
    FDevice->SetEventMask(mask);
    FThread = std::thread([this, raise = std::move(raisePriority)] {
        // Only this thread: it spends its life blocked in the line-change wait,
        // so a raised priority costs the others nothing but lets it stamp at once.
        if (raise) {
            const TThreadPriority got = raise();
            {
                std::lock_guard lock(FMutex);
                FPriority = got;
            }
            QMetaObject::invokeMethod(
                FOwner,
                [self = weak_from_this(), got] {
                    if (const auto thread = self.lock())
                        thread->FOwner->WatchPriorityKnown(thread.get(), got);
                },
                Qt::QueuedConnection);
        }
        Execute();
    });
}

TThreadPriority TComThread::Priority() {
    std::lock_guard lock(FMutex);
    return FPriority;
}

TComThread::~TComThread() {
    // The port always stops its thread; this only keeps a forgotten one from
    // outliving its object.
    if (FThread.joinable()) {
        {
            std::lock_guard lock(FMutex);
            FStop = true;
            FChanged.notify_all();
        }
        while (!Finished()) {
            FDevice->InterruptWait();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        FThread.join();
    }
}

bool TComThread::Finished() {
    std::lock_guard lock(FMutex);
    return FFinished;
}

void TComThread::Execute() {
    const std::weak_ptr<TComThread> self = weak_from_this();
    bool broken = false;
    for (;;) {
        {
            std::lock_guard lock(FMutex);
            if (FStop) break;
        }
        std::vector<TLineEvent> events;
        const TWaitResult r = FDevice->WaitEvents(events);
        // The time of the line change: taken here, not when the user-interface
        // thread gets round to the event.
        const uint32_t tick = TickSource::Now();
        if (r == TWaitResult::Broken) {
            broken = true; // the device is gone: the port hears of it below
            break;
        }
        // Never spin on a failing wait, least of all with a raised priority.
        if (r == TWaitResult::Failed)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (r != TWaitResult::Events || events.empty()) continue;
        for (TLineEvent& e : events)
            e.Tick = tick;
        std::unique_lock lock(FMutex);
        // Queued even when a stop came meanwhile: Stop runs it.
        Enqueue(events);
        if (FPosted) continue;
        FPosted = true;
        lock.unlock();
        QMetaObject::invokeMethod(
            FOwner,
            [self] {
                if (const auto thread = self.lock()) thread->Serve();
            },
            Qt::QueuedConnection);
    }
    const int error = FDevice->LastError();
    FDevice->Purge();
    std::lock_guard lock(FMutex);
    FFinished = true;
    FChanged.notify_all();
    // Not stopped, yet ended: without this the port would look watched while
    // every later pass is missed.
    if (broken && !FStop)
        QMetaObject::invokeMethod(
            FOwner,
            [self, error] {
                if (const auto thread = self.lock())
                    thread->FOwner->WatchEnded(thread.get(), error);
            },
            Qt::QueuedConnection);
}

void TComThread::Enqueue(const std::vector<TLineEvent>& events) {
    for (const TLineEvent& e : events) {
        if (FQueue.size() >= MaxQueued && FQueue.size() >= 4) {
            // Two changes out of the oldest flicker (after the first, which
            // started the dead time): the levels kept still alternate.
            TLineEvent& next = FQueue[3];
            next.Mask |= FQueue[1].Mask | FQueue[2].Mask;
            next.Dropped += FQueue[1].Dropped + FQueue[2].Dropped + 2;
            FQueue.erase(FQueue.begin() + 1, FQueue.begin() + 3);
        }
        FQueue.push_back(e);
    }
}

void TComThread::Serve() {
    struct Done { // also when a handler throws
        TComThread* t;
        bool armed = false;
        ~Done() {
            if (!armed) return;
            std::lock_guard lock(t->FMutex);
            t->FDispatching = false;
        }
    } done{this};
    std::unique_lock lock(FMutex);
    FPosted = false;
    // A handler that runs the event loop: the outer Serve goes on in order.
    if (FDispatching) return;
    FDispatching = true;
    done.armed = true;
    while (!FQueue.empty() && !Closed) {
        std::deque<TLineEvent> events;
        events.swap(FQueue);
        lock.unlock();
        FOwner->DispatchLineEvents(this, events);
        lock.lock();
    }
}

void TComThread::Stop() {
    {
        std::lock_guard lock(FMutex);
        FStop = true;
        FChanged.notify_all();
    }
    for (;;) {
        std::unique_lock lock(FMutex);
        if (FFinished) break;
        lock.unlock();
        FDevice->InterruptWait();
        lock.lock();
        // The interrupt may land before the watch thread blocks: send it again soon.
        FChanged.wait_for(lock, std::chrono::milliseconds(10), [&] { return FFinished; });
    }
    if (FThread.joinable()) FThread.join();
    Serve(); // what was handed off before the stop runs now, not after Close
}

// ---------------------------------------------------------------- port

TComPort::TComPort(QObject* owner) : QObject(owner), FReopen(new QTimer(this)) {
    FReopen->setSingleShot(true);
    connect(FReopen, &QTimer::timeout, this, [this] { TryReopen(); });
}

TComPort::~TComPort() {
    FDestroying = true; // a handler reopening the port now would outlive it
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
    if (FDestroying || FClosing) return;
    if (FLost) {
        OpenDevice(); // not closed first: failing, the port goes on being tried
        return;
    }
    Close();
    OpenDevice();
}

void TComPort::OpenDevice() {
    const TComBackend& backend = TComBackend::Current();
    std::shared_ptr<IComDevice> device = backend.Create();
    if (!device->Open(backend.PathFor(Port), true))
        throw EComHandle(QStringLiteral("Unable to open com port: ") +
                         SystemErrorText(device->LastError()));
    if (!device->ApplySettings(Settings())) {
        const int error = device->LastError();
        device->Close(); // release the port before reporting: it stays usable for others
        throw EComState(QStringLiteral("Unable to set com state: ") + SystemErrorText(error));
    }
    FDevice = device;
    FThread = std::make_shared<TComThread>(this, device);
    FThread->Start(EventMaskOf(Events), backend.RaisePriority);
    FConnected = true;
    FLost = false;
    FReopen->stop();
    FDropped = 0;
    ++FGeneration;
    if (OnOpen) OnOpen(this);
}

void TComPort::TryReopen() {
    if (!FLost || FDestroying || FClosing) return;
    try {
        OpenDevice();
    } catch (const EComError&) {
        if (FLost && FRetrying) FReopen->start(ReopenInterval);
    }
}

void TComPort::WatchEnded(TComThread* thread, int error) {
    if (thread->Closed || FThread.get() != thread || FClosing) return;
    const std::shared_ptr<TComThread> held = FThread;
    const std::shared_ptr<IComDevice> device = FDevice;
    thread->Stop(); // ended already: runs what it handed off before the failure
    if (thread->Closed || FThread.get() != thread) return; // a handler closed or reopened it
    thread->Closed = true;
    ++FGeneration;
    FThread.reset();
    device->Close(); // a reopen needs the exclusive hold given up
    FDevice.reset();
    FConnected = false;
    FLost = true;
    FLostError = error;
    // A driver that cannot wait for line changes at all fails again at once:
    // opening it every second would only flicker between lost and back.
    FRetrying = ReopenInterval > 0 && error != ENOTTY && error != EINVAL;
    if (FRetrying) FReopen->start(ReopenInterval);
    if (OnLost) OnLost(this, error);
}

void TComPort::WatchPriorityKnown(TComThread* thread, const TThreadPriority& priority) {
    if (thread->Closed || FThread.get() != thread) return;
    if (OnWatchPriority) OnWatchPriority(this, priority);
}

void TComPort::Close() {
    if (FLost) { // the device is closed already: only the tries end
        FLost = false;
        FReopen->stop();
        if (OnClose) OnClose(this);
        return;
    }
    if (!FConnected) return;
    ++FClosing;
    struct Depth {
        int& n;
        ~Depth() { --n; }
    } depth{FClosing};
    // Held here: a handler run by the join may close or reopen the port meanwhile.
    const std::shared_ptr<TComThread> thread = FThread;
    const std::shared_ptr<IComDevice> device = FDevice;
    thread->Stop();
    if (thread->Closed) return; // a handler closed it already, with its OnClose
    thread->Closed = true;
    ++FGeneration;
    FThread.reset();
    device->Close();
    FDevice.reset();
    FConnected = false;
    if (OnClose) OnClose(this);
}

uint32_t TComPort::ModemStatus() {
    uint32_t status = 0, queue = 0;
    if (!FDevice) return 0;
    FDevice->ClearErrors(queue);
    // The level that belongs to the event: by now the line may have changed
    // again, and that change comes as an event of its own.
    if (FEvent && FEvent->HasStatus) return FEvent->Status;
    FDevice->ModemStatus(status);
    return status;
}

int TComPort::InputCount() {
    uint32_t queue = 0;
    if (FDevice) FDevice->ClearErrors(queue);
    return static_cast<int>(queue);
}

TThreadPriority TComPort::WatchPriority() const {
    return FThread ? FThread->Priority() : TThreadPriority();
}

bool TComPort::EventTick(uint32_t& tick) const {
    if (!FEvent) return false;
    tick = FEvent->Tick;
    return true;
}

void TComPort::DispatchLineEvents(TComThread* thread, const std::deque<TLineEvent>& events) {
    const TLineEvent* outer = FEvent;
    for (const TLineEvent& e : events) {
        if (thread->Closed || FThread.get() != thread) break; // closed or reopened by a handler
        if (e.Dropped) {
            FDropped += e.Dropped;
            FEvent = nullptr;
            if (OnDropped) OnDropped(this, e.Dropped);
            if (thread->Closed || FThread.get() != thread) break;
        }
        FEvent = &e;
        DispatchEvents(e.Mask);
    }
    FEvent = outer;
}

void TComPort::DispatchEvents(uint32_t mask) {
    // A handler that closes or reopens the port ends the dispatch: nothing of
    // the old port runs after its Close.
    const uint64_t generation = FGeneration;
    auto fire = [&](uint32_t bit, const std::function<void(QObject*)>& handler) {
        if ((mask & bit) && handler && generation == FGeneration) handler(this);
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
