#include "StationLink.h"

#include <chrono>

namespace {

enum TLinkReportKind { rkForeign = 1, rkNewer, rkRefused, rkLocal };

qint64 LastSeq(const std::vector<TEventDb::TRecord>& recs) {
    return std::visit([](const auto& x) { return x.Seq; }, recs.back());
}

} // namespace

TStationLink::~TStationLink() {
    Stop();
}

void TStationLink::Start(const QString& localPath, const QString& connInfo, const QString& station) {
    Stop();
    FLocalPath = localPath;
    FConnInfo = connInfo;
    FStation = station;
    FStop = FNotified = FUp = FStateTold = FHaveRead = false;
    FForwarded = FPulled = FForwardMark = 0;
    FForwardAgain = {};
    FHave.clear();
    FReported.clear();
    FThread = std::thread([this] { Run(); });
}

void TStationLink::Stop() {
    if (!FThread.joinable()) return;
    {
        std::lock_guard lock(FMutex);
        FStop = true;
    }
    FWake.notify_all();
    FThread.join();
}

void TStationLink::Notify() {
    {
        std::lock_guard lock(FMutex);
        FNotified = true;
    }
    FWake.notify_all();
}

bool TStationLink::IsUp() const {
    std::lock_guard lock(FMutex);
    return FUp;
}

qint64 TStationLink::Forwarded() const {
    std::lock_guard lock(FMutex);
    return FForwarded;
}

qint64 TStationLink::Pulled() const {
    std::lock_guard lock(FMutex);
    return FPulled;
}

bool TStationLink::Stopping() const {
    std::lock_guard lock(FMutex);
    return FStop;
}

void TStationLink::Report(int kind, const QString& text) {
    if (!FReported.insert(kind).second) return;
    if (OnProblem) OnProblem(this, text);
}

void TStationLink::SetUp(bool up, const QString& detail) {
    {
        std::lock_guard lock(FMutex);
        if (FStateTold && FUp == up) return;
        FUp = up;
        FStateTold = true;
    }
    if (OnState) OnState(this, up, detail);
}

void TStationLink::Run() {
    TEventDb local;
    TEventDb server(TSqlDialect::Postgres());
    std::unique_lock lock(FMutex);
    while (!FStop) {
        FNotified = false;
        lock.unlock();
        const int waitMs = Cycle(local, server);
        lock.lock();
        if (waitMs > 0)
            FWake.wait_for(lock, std::chrono::milliseconds(waitMs),
                           [this] { return FStop || FNotified; });
    }
}

int TStationLink::Cycle(TEventDb& local, TEventDb& server) {
    // The store makes and checks the file; the link only opens it when it is there.
    if (!local.IsOpen() && !local.OpenForReading(FLocalPath)) return RetryMs;
    if (!server.IsOpen() && !Connect(local, server)) return RetryMs;
    // A station the server refuses still sees the others' runs.
    if (std::chrono::steady_clock::now() >= FForwardAgain && !Forward(local, server)) {
        if (!server.IsOpen()) return RetryMs;
        FForwardAgain = std::chrono::steady_clock::now() + std::chrono::milliseconds(5 * RetryMs);
    }
    bool more = false;
    if (!Pull(local, server, more)) return RetryMs;
    return more ? 0 : PollMs;
}

bool TStationLink::Connect(TEventDb& local, TEventDb& server) {
    const TEventDb::TOpenResult r = server.OpenServer(FConnInfo);
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
    // Where the server stands with our records, and we with the others'.
    if (!server.BeginRead()) {
        ServerFailed(server);
        return false;
    }
    QHash<QString, qint64> marks;
    const bool ok = server.StationMarks(marks);
    server.EndRead();
    if (!ok) {
        ServerFailed(server);
        return false;
    }
    FForwardMark = marks.value(FStation);
    if (!FHaveRead) FHaveRead = local.StationMarks(FHave);
    SetUp(true, QString());
    return true;
}

void TStationLink::ServerFailed(TEventDb& server) {
    const QString detail = server.LastError();
    server.Close();
    SetUp(false, detail);
}

bool TStationLink::Forward(TEventDb& local, TEventDb& server) {
    while (!Stopping()) {
        std::vector<TEventDb::TRecord> recs;
        if (!local.BeginRead()) return true; // the file is busy: next time
        const bool read = local.RecordsOf(FStation, FForwardMark, BatchSize, recs);
        local.EndRead();
        if (!read) local.Close();
        if (recs.empty()) return true;
        if (!server.Write(recs)) {
            if (!server.Ping()) {
                ServerFailed(server);
                return false;
            }
            Report(rkRefused,
                   QStringLiteral("Der Server nimmt die Läufe dieser Station nicht an (%1). Ist "
                                  "der Stationsname „%2“ schon von einer anderen Station belegt? "
                                  "Die Läufe bleiben hier gespeichert.")
                       .arg(server.LastError(), FStation));
            return false;
        }
        FForwardMark = LastSeq(recs);
        {
            std::lock_guard lock(FMutex);
            FForwarded += qint64(recs.size());
        }
        if (OnForwarded) OnForwarded(this, int(recs.size()));
    }
    return true;
}

bool TStationLink::Pull(TEventDb& local, TEventDb& server, bool& more) {
    std::vector<TEventDb::TRecord> batch;
    // One state of the server: a station's records are taken without gaps.
    if (!server.BeginRead()) {
        ServerFailed(server);
        return false;
    }
    QHash<QString, qint64> marks;
    bool ok = server.StationMarks(marks);
    for (auto it = marks.begin(); ok && it != marks.end(); ++it) {
        if (it.key() == FStation || it.value() <= FHave.value(it.key())) continue;
        std::vector<TEventDb::TRecord> recs;
        if (!(ok = server.RecordsOf(it.key(), FHave.value(it.key()), BatchSize, recs))) break;
        if (recs.empty()) continue;
        more = more || LastSeq(recs) < it.value();
        batch.insert(batch.end(), std::make_move_iterator(recs.begin()),
                     std::make_move_iterator(recs.end()));
    }
    server.EndRead();
    if (!ok) {
        ServerFailed(server);
        return false;
    }
    if (batch.empty()) return true;
    // The server checked the references; in the file a run may arrive before its
    // event, so this connection leaves foreign keys to the server.
    if (!local.Write(batch)) {
        Report(rkLocal, QStringLiteral("Läufe anderer Stationen können nicht in die "
                                       "Veranstaltungsdatenbank %1 übernommen werden (%2); es "
                                       "wird weiter versucht.")
                            .arg(FLocalPath, local.LastError()));
        local.Close();
        more = false;
        return true;
    }
    bool events = false;
    for (const TEventDb::TRecord& r : batch) {
        std::visit(
            [this](const auto& x) {
                qint64& have = FHave[x.Station];
                have = std::max(have, x.Seq);
            },
            r);
        events = events || std::holds_alternative<TEventInfo>(r);
    }
    {
        std::lock_guard lock(FMutex);
        FPulled += qint64(batch.size());
    }
    if (OnPulled) OnPulled(this, int(batch.size()), events);
    return true;
}
