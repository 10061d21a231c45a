#include "EventStore.h"

#include "DurableFile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <chrono>

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace {

enum TReportKind { rkMoved = 100, rkOpen = 200, rkGone = 300, rkRescueFailed, rkLogGone };

QString Native(const QString& path) {
    return QDir::toNativeSeparators(path);
}

void PutHead(QJsonObject& o, const TRecordHead& h) {
    o[QStringLiteral("uuid")] = h.Uuid;
    o[QStringLiteral("station")] = h.Station;
    o[QStringLiteral("sid")] = h.StationId;
    o[QStringLiteral("seq")] = h.Seq;
    o[QStringLiteral("recorded")] = h.RecordedMs;
}

void GetHead(const QJsonObject& o, TRecordHead& h) {
    h.Uuid = o[QStringLiteral("uuid")].toString();
    h.Station = o[QStringLiteral("station")].toString();
    h.StationId = o[QStringLiteral("sid")].toString();
    h.Seq = o[QStringLiteral("seq")].toInteger();
    h.RecordedMs = o[QStringLiteral("recorded")].toInteger();
}

// Every text of a record without control characters.
void CleanTexts(TEventDb::TRecord& rec) {
    const auto clean = [](std::initializer_list<QString*> texts) {
        for (QString* t : texts)
            if (!t->isEmpty()) *t = StoredText(*t);
    };
    if (auto* e = std::get_if<TEventInfo>(&rec)) clean({&e->Title});
    else if (auto* t = std::get_if<TEventRename>(&rec)) clean({&t->Title});
    else if (auto* r = std::get_if<TRunRecord>(&rec)) clean({&r->RunNo, &r->StartNo, &r->Name});
    else if (auto* c = std::get_if<TCorrection>(&rec)) clean({&c->Text, &c->Reason, &c->Name});
    else if (auto* n = std::get_if<TEntrant>(&rec))
        clean({&n->StartNo, &n->Name, &n->Class, &n->Club, &n->Vehicle});
}

} // namespace


QByteArray TEventStore::Encode(const TEventDb::TRecord& rec) {
    QJsonObject o;
    std::visit([&o](const auto& r) { PutHead(o, r); }, rec);
    if (auto* e = std::get_if<TEventInfo>(&rec)) {
        o[QStringLiteral("t")] = QStringLiteral("event");
        o[QStringLiteral("title")] = e->Title;
        o[QStringLiteral("date")] = e->Date.toString(Qt::ISODate);
    } else if (auto* t = std::get_if<TEventRename>(&rec)) {
        o[QStringLiteral("t")] = QStringLiteral("rename");
        o[QStringLiteral("event")] = t->EventUuid;
        o[QStringLiteral("title")] = t->Title;
    } else if (auto* r = std::get_if<TRunRecord>(&rec)) {
        o[QStringLiteral("t")] = QStringLiteral("run");
        o[QStringLiteral("event")] = r->EventUuid;
        o[QStringLiteral("start")] = r->StartMs;
        o[QStringLiteral("runNo")] = r->RunNo;
        o[QStringLiteral("car")] = r->Car;
        o[QStringLiteral("startNo")] = r->StartNo;
        o[QStringLiteral("name")] = r->Name;
        o[QStringLiteral("laps")] = r->Laps;
        QJsonArray lapMs;
        for (int ms : r->LapMs)
            lapMs.append(ms);
        o[QStringLiteral("lapMs")] = lapMs;
        o[QStringLiteral("total")] = r->TotalMs;
        o[QStringLiteral("best")] = r->BestMs;
        o[QStringLiteral("status")] = r->Status;
        QJsonArray events;
        for (const TTimedEvent& x : r->Events)
            events.append(QJsonObject{{QStringLiteral("kind"), x.Kind},
                                      {QStringLiteral("source"), x.Source},
                                      {QStringLiteral("tick"), x.Tick},
                                      {QStringLiteral("wall"), x.WallMs}});
        o[QStringLiteral("events")] = events;
    } else if (auto* c = std::get_if<TCorrection>(&rec)) {
        o[QStringLiteral("t")] = QStringLiteral("correction");
        o[QStringLiteral("event")] = c->EventUuid;
        o[QStringLiteral("run")] = c->RunUuid;
        o[QStringLiteral("target")] = c->TargetUuid;
        o[QStringLiteral("kind")] = c->Kind;
        o[QStringLiteral("field")] = c->Field;
        o[QStringLiteral("ms")] = c->Ms;
        o[QStringLiteral("count")] = c->Count;
        o[QStringLiteral("text")] = c->Text;
        o[QStringLiteral("reason")] = c->Reason;
        o[QStringLiteral("name")] = c->Name;
    } else if (auto* n = std::get_if<TEntrant>(&rec)) {
        o[QStringLiteral("t")] = QStringLiteral("entrant");
        o[QStringLiteral("event")] = n->EventUuid;
        o[QStringLiteral("startNo")] = n->StartNo;
        o[QStringLiteral("name")] = n->Name;
        o[QStringLiteral("class")] = n->Class;
        o[QStringLiteral("club")] = n->Club;
        o[QStringLiteral("vehicle")] = n->Vehicle;
    }
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

bool TEventStore::Decode(const QByteArray& line, TEventDb::TRecord& rec) {
    QJsonParseError err;
    const QJsonDocument doc = QJsonDocument::fromJson(line, &err);
    if (err.error != QJsonParseError::NoError || !doc.isObject()) return false;
    const QJsonObject o = doc.object();
    const QString t = o[QStringLiteral("t")].toString();
    const auto s = [&o](const char* key) { return o[QLatin1String(key)].toString(); };
    const auto i = [&o](const char* key) { return o[QLatin1String(key)].toInt(-1); };
    if (t == QLatin1String("event")) {
        TEventInfo e;
        e.Title = s("title");
        e.Date = QDate::fromString(s("date"), Qt::ISODate);
        rec = e;
    } else if (t == QLatin1String("rename")) {
        TEventRename r;
        r.EventUuid = s("event");
        r.Title = s("title");
        rec = r;
    } else if (t == QLatin1String("run")) {
        TRunRecord r;
        r.EventUuid = s("event");
        r.StartMs = o[QStringLiteral("start")].toInteger();
        r.RunNo = s("runNo");
        r.Car = i("car");
        r.StartNo = s("startNo");
        r.Name = s("name");
        r.Laps = i("laps");
        const QJsonArray lapMs = o[QStringLiteral("lapMs")].toArray();
        for (int k = 0; k < MaxLaps && k < lapMs.size(); ++k)
            r.LapMs[k] = lapMs[k].toInt(-1);
        r.TotalMs = i("total");
        r.BestMs = i("best");
        r.Status = s("status");
        for (const QJsonValue& v : o[QStringLiteral("events")].toArray()) {
            const QJsonObject x = v.toObject();
            r.Events.push_back({x[QStringLiteral("kind")].toString(),
                                x[QStringLiteral("source")].toString(),
                                x[QStringLiteral("tick")].toInteger(),
                                x[QStringLiteral("wall")].toInteger()});
        }
        rec = r;
    } else if (t == QLatin1String("correction")) {
        TCorrection c;
        c.EventUuid = s("event");
        c.RunUuid = s("run");
        c.TargetUuid = s("target");
        c.Kind = s("kind");
        c.Field = i("field");
        c.Ms = i("ms");
        c.Count = i("count");
        c.Text = s("text");
        c.Reason = s("reason");
        c.Name = s("name");
        rec = c;
    } else if (t == QLatin1String("entrant")) {
        TEntrant n;
        n.EventUuid = s("event");
        n.StartNo = s("startNo");
        n.Name = s("name");
        n.Class = s("class");
        n.Club = s("club");
        n.Vehicle = s("vehicle");
        rec = n;
    } else {
        return false;
    }
    std::visit([&o](auto& r) { GetHead(o, r); }, rec);
    return !std::visit([](const auto& r) { return r.Uuid; }, rec).isEmpty();
}

TEventStore::~TEventStore() {
    Stop();
}

void TEventStore::Start(const QString& dbPath, const QString& station, const QString& stationId) {
    Stop();
    FPath = dbPath;
    FStation = station;
    FStationId = stationId.isEmpty() ? station : stationId;
    FStop = false;
    FFailing = false;
    FReported.clear();
    // Records an earlier program run could not write come first.
    QFile spool(SpoolPath());
    if (spool.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : spool.readAll().split('\n')) {
            TEventDb::TRecord rec;
            if (Decode(line, rec)) FQueue.push_back(rec);
        }
    }
    FBusy = true; // until the database is opened: Flush waits for it
    FThread = std::thread([this] { Run(); });
}

void TEventStore::Stop() {
    if (!FThread.joinable()) return;
    {
        std::lock_guard lock(FMutex);
        FStop = true;
    }
    FWake.notify_all();
    FThread.join();
}

QString TEventStore::Add(TEventDb::TRecord rec) {
    CleanTexts(rec);
    QString uuid;
    std::visit(
        [&](auto& r) {
            if (r.Uuid.isEmpty()) r.Uuid = NewRecordUuid();
            if (r.Station.isEmpty()) r.Station = FStation;
            if (r.StationId.isEmpty()) r.StationId = FStationId;
            if (r.RecordedMs == 0) r.RecordedMs = QDateTime::currentMSecsSinceEpoch();
            uuid = r.Uuid;
        },
        rec);
    {
        std::lock_guard lock(FMutex);
        FQueue.push_back(std::move(rec));
    }
    FWake.notify_all();
    return uuid;
}

bool TEventStore::Flush(int timeoutMs) {
    std::unique_lock lock(FMutex);
    FWake.notify_all();
    FIdle.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                   [this] { return !FBusy && (FQueue.empty() || FFailing || !FThread.joinable()); });
    return FQueue.empty();
}

int TEventStore::Pending() const {
    std::lock_guard lock(FMutex);
    return int(FQueue.size());
}

int TEventStore::Written() const {
    std::lock_guard lock(FMutex);
    return FWritten;
}

void TEventStore::Report(int kind, const QString& text) {
    if (!FReported.insert(kind).second) return;
    if (OnProblem) OnProblem(this, text);
}

QString TEventStore::ProblemText(TSqlDialect::TErrorKind kind, const QString& detail) const {
    const QString waiting = QStringLiteral(" Die Zeitnahme läuft weiter; die Läufe warten im "
                                           "Speicher und in %1 und werden gespeichert, sobald "
                                           "es wieder geht.")
                                .arg(Native(SpoolPath()));
    switch (kind) {
    case TSqlDialect::TErrorKind::Locked:
        return QStringLiteral("Die Veranstaltungsdatenbank %1 ist von einem anderen Programm "
                              "gesperrt.")
                   .arg(Native(FPath)) + waiting;
    case TSqlDialect::TErrorKind::ReadOnly:
        return QStringLiteral("Die Veranstaltungsdatenbank %1 ist schreibgeschützt.")
                   .arg(Native(FPath)) + waiting;
    case TSqlDialect::TErrorKind::DiskFull:
        return QStringLiteral("Der Datenträger der Veranstaltungsdatenbank %1 ist voll.")
                   .arg(Native(FPath)) + waiting;
    default:
        return QStringLiteral("Die Veranstaltungsdatenbank %1 kann nicht geschrieben werden "
                              "(%2).")
                   .arg(Native(FPath), detail) + waiting;
    }
}

bool TEventStore::EnsureOpen(TEventDb& db) {
    if (db.IsOpen()) return true;
    const TEventDb::TOpenResult r = db.OpenForWriting(FPath);
    if (!r.KeptAs.isEmpty()) {
        QString what;
        if (r.Problem == TEventDb::TProblem::Damaged)
            what = QStringLiteral("Die Veranstaltungsdatenbank %1 ist beschädigt.").arg(Native(FPath));
        else if (r.Problem == TEventDb::TProblem::Newer)
            what = QStringLiteral("Die Veranstaltungsdatenbank %1 stammt von einer neueren "
                                  "Programmversion (Schema %2).")
                       .arg(Native(FPath))
                       .arg(r.FoundVersion);
        else
            what = QStringLiteral("Die Datei %1 ist keine Veranstaltungsdatenbank dieses "
                                  "Programms.").arg(Native(FPath));
        Report(rkMoved + int(r.Problem),
               what +
                   QStringLiteral(" Sie bleibt unverändert als %1 erhalten; die Läufe kommen "
                                  "in eine neue Datenbank %2.")
                       .arg(Native(r.KeptAs), Native(FPath)));
    }
    if (r.Ok()) return true;
    TSqlDialect::TErrorKind kind = TSqlDialect::TErrorKind::Other;
    if (r.Problem == TEventDb::TProblem::Locked) kind = TSqlDialect::TErrorKind::Locked;
    if (r.Problem == TEventDb::TProblem::ReadOnly) kind = TSqlDialect::TErrorKind::ReadOnly;
    Report(rkOpen + int(kind), ProblemText(kind, r.Detail));
    return false;
}

void TEventStore::WriteSpool(const std::deque<TEventDb::TRecord>& records) {
    QByteArray bytes;
    for (const TEventDb::TRecord& rec : records)
        bytes += Encode(rec) + '\n';
    ReplaceFileContents(SpoolPath(), bytes);
}

TEventStore::TFileId TEventStore::FileId(const QString& path) {
#ifndef _WIN32
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) == 0)
        return {quint64(st.st_dev), quint64(st.st_ino)};
#else
    Q_UNUSED(path);
#endif
    return {};
}

bool TEventStore::Guard(TEventDb& db, TFileId& dbId, TFileId& walId) {
    if (!db.IsOpen() || !dbId.Valid()) return true;
    const QString wal = FPath + QStringLiteral("-wal");
    if (FileId(FPath) != dbId) {
        // Deleted, moved or replaced while we write: SQLite would go on writing into a file
        // nobody finds. The open connection still reads all of it: a copy takes its place.
        const QString rescue = KeptAsideName(FPath, QStringLiteral("gerettet"));
        if (!db.CopyTo(rescue)) {
            QFile::remove(rescue);
            Report(rkRescueFailed,
                   ProblemText(TSqlDialect::TErrorKind::Other,
                               QStringLiteral("gelöscht oder ersetzt; ") + db.LastError()));
            return false;
        }
        db.Close();
        QString other;
        if (QFileInfo::exists(FPath)) {
            other = KeptAsideName(FPath, QStringLiteral("ersetzt"));
            QFile::rename(FPath, other);
        }
        for (const char* suffix : {"-wal", "-shm"}) // the other file's, or stale ones
            if (QFileInfo::exists(FPath + QLatin1String(suffix))) {
                if (!other.isEmpty()) QFile::rename(FPath + QLatin1String(suffix), other + QLatin1String(suffix));
                else QFile::remove(FPath + QLatin1String(suffix));
            }
        if (QFileInfo::exists(FPath) || !QFile::rename(rescue, FPath)) {
            Report(rkRescueFailed,
                   QStringLiteral("Die Veranstaltungsdatenbank %1 wurde ersetzt; ihr Inhalt liegt in %2.")
                       .arg(Native(FPath), Native(rescue)));
            return false;
        }
        QString text = QStringLiteral("Die Veranstaltungsdatenbank %1 wurde gelöscht oder durch eine "
                                      "andere Datei ersetzt, während das Programm lief. Sie ist "
                                      "vollständig wiederhergestellt; alle Läufe kommen weiter "
                                      "hinein.").arg(Native(FPath));
        if (!other.isEmpty())
            text += QStringLiteral(" Die andere Datei bleibt unverändert als %1 erhalten.").arg(Native(other));
        Report(rkGone, text);
        dbId = walId = {};
        return true;
    }
    if (walId.Valid() && FileId(wal) != walId) {
        // The log still open holds records the file lacks: folded in before it is let go.
        const bool kept = db.CheckpointFully();
        const QString error = db.LastError();
        db.Close();
        dbId = walId = {};
        Report(rkLogGone,
               QStringLiteral("Das Schreibprotokoll %1 der Veranstaltungsdatenbank wurde gelöscht, "
                              "während das Programm lief. %2")
                   .arg(Native(wal),
                        kept ? QStringLiteral("Die Läufe darin sind in die Datenbank übernommen.")
                             : QStringLiteral("Die Läufe darin konnten nicht übernommen werden (%1).")
                                   .arg(error)));
        return true;
    }
    return true;
}

void TEventStore::Run() {
    TEventDb db;
    bool spooled = QFile::exists(SpoolPath());
    TFileId dbId, walId; // of the files the connection writes
    const auto open = [&] {
        const bool was = db.IsOpen();
        const bool ok = EnsureOpen(db);
        if (ok && !was) {
            dbId = FileId(FPath);
            walId = {};
        }
        return ok;
    };
    // Opened at once, so a file that cannot be used is reported at start-up.
    open();
    std::unique_lock lock(FMutex);
    FBusy = false;
    FIdle.notify_all();
    int commits = 0; // since the last checkpoint
    const auto checkpoint = [&] {
        lock.unlock();
        db.Checkpoint();
        lock.lock();
        commits = 0;
    };
    for (;;) {
        if (FQueue.empty()) {
            if (FStop) break;
            const auto work = [this] { return FStop || !FQueue.empty(); };
            if (commits == 0) FWake.wait(lock, work);
            else if (!FWake.wait_for(lock, std::chrono::milliseconds(CheckpointIdleMs), work)) checkpoint();
            continue;
        }
        std::vector<TEventDb::TRecord> batch(FQueue.begin(), FQueue.end());
        FBusy = true;
        lock.unlock();
        const bool guarded = Guard(db, dbId, walId);
        const bool ok = guarded && open() && db.Write(batch);
        if (ok && !walId.Valid()) walId = FileId(FPath + QStringLiteral("-wal"));
        const auto kind = db.LastErrorKind();
        const QString detail = db.LastError();
        if (!ok && guarded && db.IsOpen()) {
            Report(int(kind), ProblemText(kind, detail));
            // A file damaged under us is moved aside at the next opening.
            if (kind == TSqlDialect::TErrorKind::Damaged) db.Close();
        }
        lock.lock();
        // The batch took its sequence numbers: keep them for the next try.
        for (size_t i = 0; i < batch.size(); ++i)
            FQueue[i] = batch[i];
        if (ok) {
            FQueue.erase(FQueue.begin(), FQueue.begin() + long(batch.size()));
            FWritten += int(batch.size());
            FFailing = false;
            if (spooled && FQueue.empty()) {
                QFile::remove(SpoolPath());
                spooled = false;
            }
        } else {
            FFailing = true;
            WriteSpool(FQueue);
            spooled = true;
        }
        FBusy = false;
        FIdle.notify_all();
        if (ok) {
            ++commits;
            if (OnCommitted) {
                lock.unlock();
                OnCommitted(this);
                lock.lock();
            }
            continue;
        }
        if (FStop) break; // the spool keeps them for the next program run
        FWake.wait_for(lock, std::chrono::milliseconds(RetryMs), [this] { return FStop; });
    }
    FBusy = false;
    FIdle.notify_all();
}
