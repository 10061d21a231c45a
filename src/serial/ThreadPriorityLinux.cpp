// Linux: RealtimeKit (the desktop's service that sound servers use) over the
// system D-Bus, else SCHED_FIFO within RLIMIT_RTPRIO, else nice values within
// RLIMIT_NICE. Every call acts on the calling thread only.
#include "ThreadPriority.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <cerrno>
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

const QString RtkitService = QStringLiteral("org.freedesktop.RealtimeKit1");
const QString RtkitPath = QStringLiteral("/org/freedesktop/RealtimeKit1");
constexpr int BusTimeoutMs = 500; // the watch must not hang on a slow bus

class TLinuxPriorityApi : public IThreadPriorityApi {
public:
    int RealtimeKitMax() override {
        if (!Bus().isConnected()) return 0;
        const qlonglong rtTimeMax = Property(QStringLiteral("RTTimeUSecMax")).toLongLong();
        const int max = Property(QStringLiteral("MaxRealtimePriority")).toInt();
        if (rtTimeMax <= 0 || max <= 0) return 0;
        FRtTimeMax = rtTimeMax;
        return max;
    }

    bool RealtimeKitMakeRealtime(int priority) override {
        // RealtimeKit only serves a process whose real-time CPU time without a
        // block is limited to its maximum: a runaway thread cannot lock up the machine.
        rlimit rl{};
        if (getrlimit(RLIMIT_RTTIME, &rl) != 0) return false;
        const rlim_t max = static_cast<rlim_t>(FRtTimeMax);
        if (rl.rlim_max == RLIM_INFINITY || rl.rlim_max > max) {
            rl.rlim_cur = rl.rlim_max = max;
            if (setrlimit(RLIMIT_RTTIME, &rl) != 0) return false;
        }
        QDBusMessage call = QDBusMessage::createMethodCall(RtkitService, RtkitPath, RtkitService,
                                                           QStringLiteral("MakeThreadRealtime"));
        call << QVariant::fromValue(static_cast<quint64>(gettid()))
             << QVariant::fromValue(static_cast<quint32>(priority));
        return Bus().call(call, QDBus::Block, BusTimeoutMs).type() == QDBusMessage::ReplyMessage;
    }

    int FifoLimit() override {
        rlimit rl{};
        if (getrlimit(RLIMIT_RTPRIO, &rl) != 0) return 0;
        const int max = sched_get_priority_max(SCHED_FIFO);
        return rl.rlim_cur == RLIM_INFINITY ? max
                                            : static_cast<int>(std::min<rlim_t>(rl.rlim_cur, max));
    }

    bool SetFifo(int priority) override {
        sched_param sp{};
        sp.sched_priority = priority;
        return pthread_setschedparam(pthread_self(), SCHED_FIFO, &sp) == 0;
    }

    int CurrentNice() override {
        errno = 0;
        const int nice = getpriority(PRIO_PROCESS, static_cast<id_t>(gettid()));
        return errno ? 0 : nice;
    }

    int LowestNice() override {
        rlimit rl{};
        if (getrlimit(RLIMIT_NICE, &rl) != 0) return CurrentNice();
        if (rl.rlim_cur == RLIM_INFINITY) return -20;
        return 20 - static_cast<int>(std::min<rlim_t>(rl.rlim_cur, 40));
    }

    bool SetNice(int nice) override {
        return setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), nice) == 0;
    }

private:
    static QDBusConnection Bus() { return QDBusConnection::systemBus(); }
    static QVariant Property(const QString& name) {
        QDBusMessage get = QDBusMessage::createMethodCall(
            RtkitService, RtkitPath, QStringLiteral("org.freedesktop.DBus.Properties"),
            QStringLiteral("Get"));
        get << RtkitService << name;
        const QDBusMessage reply = Bus().call(get, QDBus::Block, BusTimeoutMs);
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return {};
        return qvariant_cast<QDBusVariant>(reply.arguments().constFirst()).variant();
    }
    qlonglong FRtTimeMax = 0;
};

} // namespace

std::unique_ptr<IThreadPriorityApi> IThreadPriorityApi::Platform() {
    return std::make_unique<TLinuxPriorityApi>();
}
