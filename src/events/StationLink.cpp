#include "StationLink.h"

#include <QSet>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>

namespace {

enum TLinkReportKind { rkForeign = 1, rkNewer, rkRefused, rkLocal };

using TClock = std::chrono::steady_clock;

qint64 LastSeq(const std::vector<TEventDb::TRecord>& recs) {
    return std::visit([](const auto& x) { return x.Seq; }, recs.back());
}

qint64 NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(TClock::now().time_since_epoch()).count();
}

} // namespace

QString NameTakenText(const QString& name) {
    return QStringLiteral("Auf dem Server gibt es schon eine andere Station „%1“. Diese Station "
                          "ist eine neue (ein anderer Rechner oder eine neu eingerichtete "
                          "Zeitnahme). Die Läufe beider Stationen bleiben erhalten und gehen an "
                          "den Server; nur der Name wäre doppelt. Bitte wählen: „%2“ oder – wenn "
                          "die andere Station nicht mehr zeitet – „%3“.")
        .arg(name, OtherNameChoice, ReplaceChoice);
}

QString ServerSilentText(qint64 silentMs) {
    return QStringLiteral("Server antwortet nicht (seit %1 s)").arg(silentMs / 1000);
}

// What the link's thread works with; it outlives the link when the thread hangs.
struct TStationLink::TRun {
    TStationLink* Owner = nullptr; // handed to the callbacks, never touched otherwise
    QString LocalPath, ConnInfo, Station, StationId;
    QStringList Replaces;
    int PollMs = 300, RetryMs = 1000, BatchSize = 500;
    decltype(TStationLink::OnState) OnState;
    decltype(TStationLink::OnProblem) OnProblem;
    decltype(TStationLink::OnPulled) OnPulled;
    decltype(TStationLink::OnForwarded) OnForwarded;
    decltype(TStationLink::OnNameTaken) OnNameTaken;

    mutable std::mutex Mutex;
    std::condition_variable Wake, Ended;
    bool Stop = false, Notified = false, Up = false, StateTold = false, Done = false;
    qint64 Forwarded = 0, Pulled = 0;
    qint64 LastAckMs = 0; // the server's last answer that moved something on
    // Callbacks run under this lock; Stop silences them before it returns.
    std::mutex TellMutex;
    bool Silenced = false;

    // The thread's own.
    std::set<int> Reported;
    QHash<QString, TClock::time_point> PushAgain; // an identity the server refused: not before
    bool NameChecked = false;

    template <class F> void Tell(const F& call) {
        std::lock_guard lock(TellMutex);
        if (!Silenced) call();
    }
    bool Stopping() const {
        std::lock_guard lock(Mutex);
        return Stop;
    }
    void Acknowledged() {
        std::lock_guard lock(Mutex);
        LastAckMs = NowMs();
    }
    void Report(int kind, const QString& text) {
        if (!Reported.insert(kind).second) return;
        Tell([&] {
            if (OnProblem) OnProblem(Owner, text);
        });
    }
    void SetUp(bool up, const QString& detail) {
        {
            std::lock_guard lock(Mutex);
            if (StateTold && Up == up) return;
            Up = up;
            StateTold = true;
            if (up) LastAckMs = NowMs();
        }
        Tell([&] {
            if (OnState) OnState(Owner, up, detail);
        });
    }
    void ServerFailed(TEventDb& server) {
        const QString detail = server.LastError();
        server.Close();
        SetUp(false, detail);
    }
    // A statement that ran into a held lock or its time limit leaves the
    // connection as it is: tried again next time.
    bool Busy(TEventDb& server) {
        return server.LastErrorKind() == TSqlDialect::TErrorKind::Locked && server.Ping();
    }

    void Main();
    int Cycle(TEventDb& local, TEventDb& server);
    bool Connect(TEventDb& server);
    bool CheckName(TEventDb& server);
    bool Pull(TEventDb& local, TEventDb& server, QHash<QString, qint64>& have,
              QHash<QString, qint64>& marks, bool& more);
    bool Push(TEventDb& local, TEventDb& server, const QHash<QString, qint64>& have,
              QHash<QString, qint64>& marks, bool& acknowledged);
};

TStationLink::~TStationLink() {
    Stop();
}

void TStationLink::Start(const QString& localPath, const QString& connInfo, const QString& station,
                         const QString& stationId, const QStringList& replaces) {
    Stop(0);
    auto run = std::make_shared<TRun>();
    run->Owner = this;
    run->LocalPath = localPath;
    run->ConnInfo = connInfo;
    run->Station = station;
    run->StationId = stationId.isEmpty() ? station : stationId;
    run->Replaces = replaces;
    run->PollMs = PollMs, run->RetryMs = RetryMs, run->BatchSize = BatchSize;
    run->OnState = OnState, run->OnProblem = OnProblem, run->OnPulled = OnPulled;
    run->OnForwarded = OnForwarded, run->OnNameTaken = OnNameTaken;
    run->LastAckMs = NowMs();
    FRun = run;
    FThread = std::thread([run] { run->Main(); });
}

void TStationLink::Stop(int waitMs) {
    if (!FRun) return;
    const std::shared_ptr<TRun> run = std::exchange(FRun, nullptr);
    {
        std::lock_guard lock(run->Mutex);
        run->Stop = true;
    }
    run->Wake.notify_all();
    {
        std::lock_guard lock(run->TellMutex); // a callback under way ends first
        run->Silenced = true;
    }
    bool done = false;
    {
        std::unique_lock lock(run->Mutex);
        done = run->Ended.wait_for(lock, std::chrono::milliseconds(std::max(0, waitMs)),
                                   [&] { return run->Done; });
    }
    if (done)
        FThread.join();
    else
        FThread.detach(); // it holds its own state and ends when its call times out
}

void TStationLink::Notify() {
    if (!FRun) return;
    {
        std::lock_guard lock(FRun->Mutex);
        FRun->Notified = true;
    }
    FRun->Wake.notify_all();
}

bool TStationLink::IsUp() const {
    if (!FRun) return false;
    std::lock_guard lock(FRun->Mutex);
    return FRun->Up;
}

qint64 TStationLink::Forwarded() const {
    if (!FRun) return 0;
    std::lock_guard lock(FRun->Mutex);
    return FRun->Forwarded;
}

qint64 TStationLink::Pulled() const {
    if (!FRun) return 0;
    std::lock_guard lock(FRun->Mutex);
    return FRun->Pulled;
}

qint64 TStationLink::SilentMs() const {
    if (!FRun) return 0;
    std::lock_guard lock(FRun->Mutex);
    return FRun->Up ? std::max<qint64>(0, NowMs() - FRun->LastAckMs) : 0;
}

void TStationLink::TRun::Main() {
    {
        TEventDb local;
        TEventDb server(TSqlDialect::Postgres());
        std::unique_lock lock(Mutex);
        while (!Stop) {
            Notified = false;
            lock.unlock();
            const int waitMs = Cycle(local, server);
            lock.lock();
            if (waitMs > 0)
                Wake.wait_for(lock, std::chrono::milliseconds(waitMs), [this] { return Stop || Notified; });
        }
    }
    std::lock_guard lock(Mutex);
    Done = true;
    Ended.notify_all();
}

int TStationLink::TRun::Cycle(TEventDb& local, TEventDb& server) {
    // The store makes and checks the file; the link only opens it when it is there.
    if (!local.IsOpen() && !local.OpenForReading(LocalPath)) return RetryMs;
    if (!server.IsOpen() && !Connect(server)) return RetryMs;
    if (!NameChecked && !CheckName(server)) return RetryMs;
    // Where the file stands with every station.
    QHash<QString, qint64> have;
    if (!local.BeginRead()) return RetryMs; // the file is busy: next time
    const bool read = local.StationMarks(have);
    local.EndRead();
    if (!read) {
        local.Close();
        return RetryMs;
    }
    bool more = false, acknowledged = true;
    QHash<QString, qint64> marks;
    if (!Pull(local, server, have, marks, more)) return RetryMs;
    if (!Push(local, server, have, marks, acknowledged)) return RetryMs;
    if (acknowledged) Acknowledged();
    return more ? 0 : PollMs;
}

bool TStationLink::TRun::Connect(TEventDb& server) {
    const TEventDb::TOpenResult r = server.OpenServer(ConnInfo);
    if (r.Problem == TEventDb::TProblem::Foreign)
        Report(rkForeign, QStringLiteral("Die Datenbank auf dem Server gehört nicht zu Zeitnahme. "
                                         "Diese Station schreibt nichts hinein; die Läufe bleiben "
                                         "hier gespeichert. Bitte eine eigene, leere Datenbank "
                                         "für die Zeitnahme anlegen (siehe Hilfe)."));
    if (r.Problem == TEventDb::TProblem::Newer)
        Report(rkNewer, QStringLiteral("Die Datenbank auf dem Server stammt von einer neueren "
                                       "Programmversion (Schema %1). Diese Station leitet ihre "
                                       "Läufe erst nach einer Aktualisierung weiter; sie bleiben "
                                       "hier gespeichert.")
                            .arg(r.FoundVersion));
    if (r.Problem != TEventDb::TProblem::None) {
        SetUp(false, r.Detail);
        return false;
    }
    SetUp(true, QString());
    return true;
}

bool TStationLink::TRun::CheckName(TEventDb& server) {
    // A new identity under a name the server knows: told, once per start.
    QHash<QString, QString> names;
    if (!server.StationNames(names)) {
        if (!Busy(server)) ServerFailed(server);
        return false;
    }
    QStringList others;
    for (auto it = names.cbegin(); it != names.cend(); ++it)
        // An identity that is its name dates from before identities: this station's own.
        if (it.value() == Station && it.key() != StationId && it.key() != Station &&
            !Replaces.contains(it.key()))
            others << it.key();
    NameChecked = true;
    others.sort();
    if (!others.isEmpty())
        Tell([&] {
            if (OnNameTaken) OnNameTaken(Owner, Station, others);
        });
    return true;
}

bool TStationLink::TRun::Pull(TEventDb& local, TEventDb& server, QHash<QString, qint64>& have,
                              QHash<QString, qint64>& marks, bool& more) {
    std::vector<TEventDb::TRecord> batch;
    // One state of the server: a station's records are taken without gaps.
    if (!server.BeginRead()) {
        if (!Busy(server)) ServerFailed(server);
        return false;
    }
    bool ok = server.StationMarks(marks);
    for (auto it = marks.begin(); ok && it != marks.end(); ++it) {
        if (it.value() <= have.value(it.key())) continue;
        std::vector<TEventDb::TRecord> recs;
        if (!(ok = server.RecordsOf(it.key(), have.value(it.key()), BatchSize, recs))) break;
        if (recs.empty()) continue;
        more = more || LastSeq(recs) < it.value();
        batch.insert(batch.end(), std::make_move_iterator(recs.begin()), std::make_move_iterator(recs.end()));
    }
    server.EndRead();
    if (!ok) {
        if (!Busy(server)) ServerFailed(server);
        return false;
    }
    if (batch.empty()) return true;
    // The server checked the references; in the file a run may arrive before its
    // event, so this connection leaves foreign keys to the server.
    if (!local.Write(batch)) {
        Report(rkLocal, QStringLiteral("Läufe anderer Stationen können nicht in die "
                                       "Veranstaltungsdatenbank %1 übernommen werden (%2); es "
                                       "wird weiter versucht.")
                            .arg(LocalPath, local.LastError()));
        local.Close();
        more = false;
        return true;
    }
    bool events = false;
    for (const TEventDb::TRecord& r : batch) {
        std::visit(
            [&have](const auto& x) {
                qint64& h = have[x.StationId];
                h = std::max(h, x.Seq);
            },
            r);
        events = events || std::holds_alternative<TEventInfo>(r);
    }
    {
        std::lock_guard lock(Mutex);
        Pulled += qint64(batch.size());
    }
    Tell([&] {
        if (OnPulled) OnPulled(Owner, int(batch.size()), events);
    });
    return true;
}

bool TStationLink::TRun::Push(TEventDb& local, TEventDb& server, const QHash<QString, qint64>& have,
                              QHash<QString, qint64>& marks, bool& acknowledged) {
    // Every identity of the file the server is behind with: this station's own
    // first, then what it recorded under another name or before identities, and
    // what the server lost.
    QStringList ids;
    const TClock::time_point now = TClock::now();
    for (auto it = have.cbegin(); it != have.cend(); ++it)
        if (it.value() > marks.value(it.key()) && now >= PushAgain.value(it.key()))
            ids << it.key();
    std::sort(ids.begin(), ids.end(), [this](const QString& a, const QString& b) {
        return (a == StationId) != (b == StationId) ? a == StationId : a < b;
    });
    // A run of one identity may point at an event of another: those that failed
    // are tried again as long as others went through.
    QHash<QString, QString> failed;
    bool progress = true;
    while (progress && !ids.isEmpty() && !Stopping()) {
        progress = false;
        for (auto id = ids.begin(); id != ids.end() && !Stopping();) {
            std::vector<TEventDb::TRecord> recs;
            if (!local.BeginRead()) return true; // the file is busy: next time
            const bool read = local.RecordsOf(*id, marks.value(*id), BatchSize, recs);
            local.EndRead();
            if (!read) {
                local.Close();
                return true;
            }
            if (recs.empty()) {
                id = ids.erase(id);
                continue;
            }
            if (!server.Write(recs)) {
                if (!server.Ping()) {
                    ServerFailed(server);
                    return false;
                }
                failed.insert(*id, server.LastErrorKind() == TSqlDialect::TErrorKind::Locked
                                       ? QString()
                                       : server.LastError());
                ++id;
                continue;
            }
            failed.remove(*id);
            marks[*id] = LastSeq(recs);
            progress = true;
            {
                std::lock_guard lock(Mutex);
                Forwarded += qint64(recs.size());
            }
            Tell([&] {
                if (OnForwarded) OnForwarded(Owner, int(recs.size()));
            });
        }
    }
    for (auto it = failed.cbegin(); it != failed.cend(); ++it) {
        acknowledged = false;
        if (it.value().isEmpty()) { // a held lock or the time limit: soon again
            PushAgain.insert(it.key(), TClock::now() + std::chrono::milliseconds(RetryMs));
            continue;
        }
        PushAgain.insert(it.key(), TClock::now() + std::chrono::milliseconds(5 * RetryMs));
        Report(rkRefused, QStringLiteral("Der Server nimmt Läufe dieser Station nicht an; sie "
                                         "bleiben hier gespeichert, es wird weiter versucht. "
                                         "(Meldung des Servers: %1)")
                              .arg(it.value()));
    }
    return true;
}
