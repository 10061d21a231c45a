#pragma once
// Raising the serial watch thread's priority, so that a line change is stamped
// within a millisecond also while other programs load every core. The platform
// calls sit behind IThreadPriorityApi (Linux: RealtimeKit over D-Bus,
// SCHED_FIFO, nice values) so that the choice can be tested without them.
#include <QString>
#include <memory>

// What a thread got.
struct TThreadPriority {
    enum TKind { Unknown, RealtimeKit, Fifo, Normal };
    TKind Kind = Unknown;
    int Level = 0; // the real-time priority; for Normal the nice value
    bool Realtime() const { return Kind == RealtimeKit || Kind == Fifo; }
    // German, for the info box.
    QString Text() const;
    bool operator==(const TThreadPriority&) const = default;
};

// Calls on the calling thread.
class IThreadPriorityApi {
public:
    virtual ~IThreadPriorityApi() = default;
    // The highest real-time priority the desktop's RealtimeKit grants; 0 when
    // it is not there. It limits the thread's CPU time without a block first.
    virtual int RealtimeKitMax() = 0;
    virtual bool RealtimeKitMakeRealtime(int priority) = 0;
    // The highest SCHED_FIFO priority RLIMIT_RTPRIO allows (0: none; a
    // privileged process may still get it).
    virtual int FifoLimit() = 0;
    virtual bool SetFifo(int priority) = 0;
    // Nice values: the thread's now and the lowest (highest priority) allowed.
    virtual int CurrentNice() = 0;
    virtual int LowestNice() = 0;
    virtual bool SetNice(int nice) = 0;
    static std::unique_ptr<IThreadPriorityApi> Platform();
};

// Raises the calling thread: real-time through RealtimeKit, else SCHED_FIFO,
// else the highest normal priority allowed. Never more than wanted.
TThreadPriority RaiseThreadPriority(IThreadPriorityApi& api, int wanted);

// The real-time priority the watch thread asks for.
constexpr int WatchThreadPriority = 20;
