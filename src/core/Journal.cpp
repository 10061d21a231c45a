#include "Journal.h"

#include <algorithm>

#include "DurableFile.h"
#include "Protocol.h"
#include "TickSource.h"

#include <QFile>
#include <QUuid>

#ifndef _WIN32
#include <unistd.h>
#endif
#include <QFileInfo>

namespace Journal {

const QString EndEvent = QStringLiteral("ENDE");
const QString BackupEvent = QStringLiteral("SICHERUNG");

namespace {

const QString Magic = QStringLiteral("JOURNAL");

QString Escape(const QString& s) {
    QString out;
    out.reserve(s.size());
    for (const QChar c : s) {
        if (c == QLatin1Char('\\'))
            out += QLatin1String("\\\\");
        else if (c == QLatin1Char('\t'))
            out += QLatin1String("\\t");
        else if (c == QLatin1Char('\n'))
            out += QLatin1String("\\n");
        else if (c == QLatin1Char('\r'))
            out += QLatin1String("\\r");
        else
            out += c;
    }
    return out;
}

QString Unescape(const QString& s) {
    QString out;
    out.reserve(s.size());
    for (int i = 0; i < s.size(); ++i) {
        const QChar c = s.at(i);
        if (c != QLatin1Char('\\') || i + 1 == s.size()) {
            out += c;
            continue;
        }
        const QChar n = s.at(++i);
        out += n == QLatin1Char('t')   ? QChar(QLatin1Char('\t'))
               : n == QLatin1Char('n') ? QChar(QLatin1Char('\n'))
               : n == QLatin1Char('r') ? QChar(QLatin1Char('\r'))
                                       : n;
    }
    return out;
}

QString WallText(const QDateTime& t) {
    return t.toOffsetFromUtc(t.offsetFromUtc()).toString(Qt::ISODateWithMs);
}

bool ParseFields(const QStringList& parts, int from, TFields& out) {
    for (int i = from; i < parts.size(); ++i) {
        const int eq = parts[i].indexOf(QLatin1Char('='));
        if (eq <= 0) return false;
        out << qMakePair(parts[i].left(eq), Unescape(parts[i].mid(eq + 1)));
    }
    return true;
}

bool FieldToInt(const QString& s, int& v) {
    bool ok = false;
    v = s.toInt(&ok);
    return ok;
}

bool ToTick(const QString& s, uint32_t& v) {
    bool ok = false;
    const qulonglong n = s.toULongLong(&ok);
    v = static_cast<uint32_t>(n);
    return ok && n <= 0xFFFFFFFFull;
}

QString DerivedId(const QString& id, const char* what) {
    if (id.isEmpty()) return QString();
    return QUuid::createUuidV5(QUuid(id), id + QLatin1Char('/') + QLatin1String(what))
        .toString(QUuid::WithoutBraces);
}

// A correction line as the journal listener wrote it; false for lines without identity.
bool CorrectionOfLine(const TLine& l, TProtocolChange& c) {
    c = TProtocolChange();
    c.CorrectionId = l.Value(QStringLiteral("Id"));
    c.RunId = l.Value(QStringLiteral("LaufId"));
    if (c.CorrectionId.isEmpty() || c.RunId.isEmpty()) return false;
    c.NewRun = l.Value(QStringLiteral("Neu")) == QLatin1String("1");
    c.StartNr = l.Value(QStringLiteral("StartNr"));
    c.Name = l.Value(QStringLiteral("Name"));
    c.RunNumber = l.Value(QStringLiteral("Lauf"));
    c.Text = l.Value(QStringLiteral("Text"));
    c.Row = l.Value(QStringLiteral("Zeile")).toInt();
    if (l.Event == QLatin1String("DNS")) {
        c.Kind = l.Value(QStringLiteral("Zurueck")) == QLatin1String("1") ? TProtocolChangeKind::StartedAgain
                                                                          : TProtocolChangeKind::NotStarted;
        return true;
    }
    c.Kind = l.Value(QStringLiteral("Quelle")) == QLatin1String("Handzeit") ? TProtocolChangeKind::HandTime
                                                                             : TProtocolChangeKind::LapTyped;
    const auto col = std::find(ProtocolCaptions.begin(), ProtocolCaptions.end(), l.Value(QStringLiteral("Spalte")));
    if (col == ProtocolCaptions.end()) return false;
    c.Col = int(col - ProtocolCaptions.begin());
    return true;
}

} // namespace

QString RetakenRunId(const QString& runId) {
    return DerivedId(runId, "neu");
}

QString TakeBackId(const QString& runId) {
    return DerivedId(runId, "zurueck");
}

QString TLine::Value(const QString& key) const {
    for (const auto& f : Fields)
        if (f.first == key) return f.second;
    return QString();
}

bool TLine::Has(const QString& key) const {
    for (const auto& f : Fields)
        if (f.first == key) return true;
    return false;
}

QByteArray HeaderLine(const QString& program, const QString& bootId, const QDateTime& now) {
    return (Magic + QStringLiteral("\tProgramm=") + Escape(program) + QStringLiteral("\tBoot=") +
            Escape(bootId) + QStringLiteral("\tBeginn=") + WallText(now) + QLatin1Char('\n'))
        .toUtf8();
}

QByteArray EventLine(const QDateTime& wall, const QString& event, const TFields& fields) {
    QString line = WallText(wall) + QLatin1Char('\t') + event;
    for (const auto& f : fields)
        line += QLatin1Char('\t') + f.first + QLatin1Char('=') + Escape(f.second);
    line += QLatin1Char('\n');
    return line.toUtf8();
}

bool ParseLine(const QByteArray& line, TLine& out) {
    if (line.isEmpty()) return false;
    const QString text = QString::fromUtf8(line);
    if (text.contains(QChar::ReplacementCharacter)) return false;
    const QStringList parts = text.split(QLatin1Char('\t'));
    if (parts.size() < 2) return false;
    out = TLine();
    out.Wall = QDateTime::fromString(parts[0], Qt::ISODateWithMs);
    if (!out.Wall.isValid()) return false;
    out.Event = parts[1];
    for (const QChar c : out.Event)
        if (c < QLatin1Char('A') || c > QLatin1Char('Z')) return false;
    return ParseFields(parts, 2, out.Fields);
}

TInterruptedRun AnalyseJournal(const QByteArray& head, const QByteArray& tail,
                               const QString& program) {
    TInterruptedRun run;
    if (head.isEmpty()) return run;
    run.Problem = QStringLiteral("ist kein Ereignisprotokoll dieses Programms");
    const int headEnd = head.indexOf('\n');
    if (headEnd < 0) return run;
    const QStringList header = QString::fromUtf8(head.left(headEnd)).split(QLatin1Char('\t'));
    TFields hf;
    if (header.value(0) != Magic || !ParseFields(header, 1, hf)) return run;
    TLine h;
    h.Fields = hf;
    if (h.Value(QStringLiteral("Programm")) != program) return run;
    run.Problem.clear();
    run.BootId = h.Value(QStringLiteral("Boot"));

    TRunEvents events(2, 2);
    bool resultsEntered = false;
    bool closed = false;
    QList<QPair<QDateTime, uint32_t>> refs; // wall and tick of each accepted event
    std::vector<TJournalEvent> lined;        // each accepted event as its line gave it
    std::array<QString, 3> ids, names;
    // The results of the run are in the protocol: its cars' runs count as entered.
    const auto enter = [&] {
        const bool was = resultsEntered;
        resultsEntered = events.Complete();
        if (!resultsEntered || was) return;
        for (int car = 1; car <= events.Cars(); ++car) {
            if (!ids[car].isEmpty() &&
                std::any_of(run.Entered.begin(), run.Entered.end(),
                            [&](const TEnteredRun& e) { return e.Id == ids[car]; }))
                continue;
            const TCarRunState& c = events.State().Car[car];
            TEnteredRun e;
            e.Id = ids[car];
            e.Car = car;
            e.Laps = events.Laps();
            e.RunNumber = run.RunNumber;
            e.Title = run.Title;
            e.NameText = names[car];
            e.Dnf = c.Dnf;
            const int done = c.Dnf ? c.LapsDone : events.Laps();
            for (int k = 1; k <= done && k <= 5; ++k)
                e.LapMs.push_back(c.LapMs[k]);
            e.TotalMs = c.Dnf ? -1 : c.TotalMs;
            for (size_t i = 0; i < events.Events().size() && i < lined.size(); ++i)
                if (events.Events()[i].Car == car) e.Events.push_back(lined[i]);
            run.Entered.push_back(e);
        }
    };
    // A line counts only when its line break was written: the last one may be torn.
    const QList<QByteArray> lines = tail.split('\n');
    for (int i = 0; i + 1 < lines.size(); ++i) {
        TLine l;
        if (!ParseLine(lines[i], l)) continue;
        closed = l.Event == EndEvent;
        if (closed) continue;
        if (l.Event == QLatin1String("RESET")) {
            events = TRunEvents(2, 2);
            refs.clear();
            lined.clear();
            ids = {};
            resultsEntered = false;
            continue;
        }
        if (l.Event == QLatin1String("UNDO")) {
            if (events.TakeBack()) {
                refs.removeLast();
                lined.pop_back();
                // Results taken back: their runs were withdrawn, and entered again
                // they are new runs.
                if (resultsEntered) {
                    std::erase_if(run.Entered, [&](const TEnteredRun& e) {
                        return !e.Id.isEmpty() && (e.Id == ids[1] || e.Id == ids[2]);
                    });
                    for (int car = 1; car <= events.Cars(); ++car)
                        if (!ids[car].isEmpty()) {
                            run.TakenBack << ids[car];
                            ids[car] = RetakenRunId(ids[car]);
                        }
                }
                resultsEntered = false;
            }
            continue;
        }
        if (l.Event == QLatin1String("RESULT")) {
            enter();
            continue;
        }
        if (l.Event == BackupEvent) {
            run.BackupFile = l.Value(QStringLiteral("Datei"));
            run.BackupModified = l.Value(QStringLiteral("Geaendert")) == QLatin1String("1");
            // A backup that holds the run's results counts as entered, even when the
            // kill came before the RESULT line reached the disk.
            if (l.Value(QStringLiteral("Ergebnis")) == QLatin1String("1")) enter();
            continue;
        }
        if (l.Event == QLatin1String("DNS") || l.Event == QLatin1String("EDIT")) {
            TProtocolChange c;
            if (CorrectionOfLine(l, c)) run.Corrections.push_back(c);
            continue;
        }
        TRunEvent e;
        if (l.Event == QLatin1String("START"))
            e.Kind = TRunEventKind::Start;
        else if (l.Event == QLatin1String("LAP"))
            e.Kind = TRunEventKind::Lap;
        else if (l.Event == QLatin1String("FINISH"))
            e.Kind = TRunEventKind::Finish;
        else if (l.Event == QLatin1String("DNF"))
            e.Kind = TRunEventKind::Dnf;
        else
            continue;
        int cars = 0, laps = 0;
        if (!FieldToInt(l.Value(QStringLiteral("Auto")), e.Car) ||
            !ToTick(l.Value(QStringLiteral("Tick")), e.Tick) ||
            !FieldToInt(l.Value(QStringLiteral("Autos")), cars) ||
            !FieldToInt(l.Value(QStringLiteral("Runden")), laps))
            continue;
        if (events.Events().empty()) {
            if (e.Kind != TRunEventKind::Start) continue;
            events = TRunEvents(cars, laps);
            ids = {};
        }
        if (!events.Add(e)) continue;
        refs << qMakePair(l.Wall, e.Tick);
        lined.push_back({l.Event, l.Value(QStringLiteral("Quelle")), e.Tick, l.Wall.toMSecsSinceEpoch()});
        if (e.Kind == TRunEventKind::Start && e.Car >= 1 && e.Car <= 2) ids[e.Car] = l.Value(QStringLiteral("Id"));
        resultsEntered = false;
        run.Cars = events.Cars();
        run.Laps = events.Laps();
        run.RunNumber = l.Value(QStringLiteral("Lauf"));
        run.Title = l.Value(QStringLiteral("Titel"));
        run.Name1 = l.Value(QStringLiteral("Name1"));
        run.Name2 = l.Value(QStringLiteral("Name2"));
        names = {QString(), run.Name1, run.Name2};
    }
    run.Unclean = !closed;
    if (events.Events().empty() || resultsEntered) return run;
    run.Found = true;
    run.RunIds = ids;
    run.Events = events.Events();
    for (const auto& ref : refs)
        run.Walls.push_back(ref.first);
    run.RefWall = refs.last().first;
    run.RefTick = refs.last().second;
    return run;
}

TInterruptedRun ReadInterruptedRun(const QString& path, const QString& program) {
    TInterruptedRun none;
    const QFileInfo fi(path);
    if (!fi.exists() && !fi.isSymLink()) return none;
    // A pipe or device of that name would block the start-up: never opened.
    if (!fi.isFile()) {
        none.Problem = QStringLiteral("ist keine gewöhnliche Datei");
        return none;
    }
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        none.Problem = QStringLiteral("kann nicht gelesen werden");
        return none;
    }
    const QByteArray head = f.read(4096);
    const qint64 size = f.size();
    QByteArray tail;
    if (size <= MaxTail) {
        f.seek(0);
        tail = f.read(MaxTail);
    } else {
        f.seek(size - MaxTail);
        tail = f.read(MaxTail);
        tail.remove(0, tail.indexOf('\n') + 1); // the first line is cut
    }
    return AnalyseJournal(head, tail, program);
}

QString RunLabel(const TInterruptedRun& run) {
    QStringList names;
    for (const QString& n : {run.Name1, run.Cars >= 2 ? run.Name2 : QString()})
        if (!n.trimmed().isEmpty()) names << n.trimmed();
    QString what = QStringLiteral("Lauf");
    if (!run.RunNumber.trimmed().isEmpty()) what += QLatin1Char(' ') + run.RunNumber.trimmed();
    if (!names.isEmpty()) what += QStringLiteral(" (") + names.join(QStringLiteral(", ")) + ')';
    return what;
}

QString RecoveryQuestion(const TInterruptedRun& run) {
    QString what = RunLabel(run);
    if (!run.Walls.empty())
        what += QStringLiteral(", letztes Ereignis ") +
                run.Walls.back().toLocalTime().toString(QStringLiteral("HH:mm:ss"));
    QString question = QStringLiteral("Der letzte Lauf wurde unterbrochen:\n");
    if (!run.Title.trimmed().isEmpty()) question += run.Title.trimmed() + QLatin1Char('\n');
    return question + what + QStringLiteral(": fortsetzen?");
}

bool RunFinished(const TInterruptedRun& run) {
    TRunEvents events(run.Cars, run.Laps);
    for (const TRunEvent& e : run.Events)
        events.Add(e);
    return !run.Events.empty() && events.Complete();
}

uint32_t TickOffset(const TInterruptedRun& run, const QString& bootId, uint32_t nowTick,
                    const QDateTime& nowWall) {
    if (!run.BootId.isEmpty() && run.BootId == bootId) return 0;
    const qint64 elapsed = qMax<qint64>(0, run.RefWall.msecsTo(nowWall));
    return nowTick - static_cast<uint32_t>(elapsed) - run.RefTick;
}

} // namespace Journal

TJournalWriter::~TJournalWriter() {
    if (FThread.joinable()) {
        {
            std::lock_guard<std::mutex> lock(FMutex);
            FStop = true;
        }
        FWake.notify_all();
        FThread.join();
    }
    delete FFile;
}

bool TJournalWriter::Start(const QString& path, const QString& previousPath,
                           const QByteArray& firstLines) {
    if (FStarted) return true;
    const QFileInfo old(path);
    if (old.exists() || old.isSymLink()) {
        const QFileInfo previous(previousPath);
        if (previous.exists() && !previous.isFile()) QFile::remove(previousPath);
        // Never copied (a damaged journal may be any size): a second name for the same
        // file keeps the old journal in place until the new one replaces it; where the
        // disk has no such names, it is renamed.
        QFile::remove(previousPath);
        bool kept = false;
#ifndef _WIN32
        kept = old.isFile() && !old.isSymLink() &&
               ::link(QFile::encodeName(path).constData(), QFile::encodeName(previousPath).constData()) == 0;
#endif
        if (!kept) QFile::rename(path, previousPath);
    }
    if (!ReplaceFileContents(path, firstLines)) return false;
    delete FFile; // of a start that failed before
    FFile = new TDurableFile;
    if (!FFile->OpenToAppend(path)) return false;
    FStarted = true;
    FThread = std::thread([this] { Run(); });
    return true;
}

void TJournalWriter::Append(QByteArray line) {
    if (!FStarted) return;
    {
        std::lock_guard<std::mutex> lock(FMutex);
        FQueue.push_back(std::move(line));
    }
    FWake.notify_one();
}

void TJournalWriter::Flush() {
    if (!FStarted) return;
    std::unique_lock<std::mutex> lock(FMutex);
    FIdle.wait(lock, [this] { return FQueue.empty() && !FBusy; });
}

int TJournalWriter::Failures() const {
    std::lock_guard<std::mutex> lock(FMutex);
    return FFailures;
}

void TJournalWriter::Run() {
    std::unique_lock<std::mutex> lock(FMutex);
    for (;;) {
        FWake.wait(lock, [this] { return FStop || !FQueue.empty(); });
        if (FQueue.empty()) break; // stopping, everything written
        // Everything waiting goes to the disk with one write and one sync.
        QByteArray bytes;
        while (!FQueue.empty()) {
            bytes += FQueue.front();
            FQueue.pop_front();
        }
        FBusy = true;
        lock.unlock();
        const bool ok = FFile->AppendDurably(bytes);
        lock.lock();
        FBusy = false;
        if (!ok) ++FFailures;
        if (FQueue.empty()) FIdle.notify_all();
    }
    FIdle.notify_all();
}
