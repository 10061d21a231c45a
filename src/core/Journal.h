#pragma once
#include "RunEvents.h"
#include "RunListener.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QPair>
#include <QString>
#include <array>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

// The event journal: every timing event and correction as one line of plain
// UTF-8 text, on the disk within milliseconds. The first line names the program
// and the boot of the machine; each further line is
//   <time with ms and UTC offset> TAB <EVENT> TAB key=value TAB ...
// with tab, line breaks and backslash in values written as \t, \n, \r and \\.
namespace Journal {

using TFields = QList<QPair<QString, QString>>;

QByteArray HeaderLine(const QString& program, const QString& bootId, const QDateTime& now);
QByteArray EventLine(const QDateTime& wall, const QString& event, const TFields& fields);

struct TLine {
    QDateTime Wall;
    QString Event;
    TFields Fields;
    QString Value(const QString& key) const;
    bool Has(const QString& key) const;
};
// False for a line that is not a complete event line.
bool ParseLine(const QByteArray& line, TLine& out);

// Lines of their own: the program ended properly, and the backup of the protocol
// was written (its file, whether it was modified since the last save, whether it
// holds the results of the run in progress).
extern const QString EndEvent;    // "ENDE"
extern const QString BackupEvent; // "SICHERUNG"

// One timing event of a run as the journal holds it.
struct TJournalEvent {
    QString Kind, Source; // START, LAP, FINISH, DNF; LS, Taste, Maus, Fortsetzung
    uint32_t Tick = 0;
    qint64 WallMs = 0;
};

// A car's run whose results the journal shows as entered into the protocol.
struct TEnteredRun {
    QString Id; // from its START line; empty in journals of older versions
    int Car = 1;
    int Laps = 2;
    QString RunNumber, Title, NameText; // the name box's text
    std::vector<int32_t> LapMs;         // the laps completed
    int32_t TotalMs = -1;               // -1 for a car that dropped out
    bool Dnf = false;
    std::vector<TJournalEvent> Events;
};

// What the journal tells about the last program run.
struct TInterruptedRun {
    bool Found = false;   // its last run was interrupted
    bool Unclean = false; // it has no closing line: the program did not end properly
    QString Problem;      // why an existing journal could not be read
    QString BootId;       // of the machine that wrote the journal
    int Cars = 2;
    int Laps = 2;
    QString RunNumber, Title, Name1, Name2;
    std::array<QString, 3> RunIds; // [1..2] the identities of the cars' runs
    std::vector<TRunEvent> Events;
    std::vector<QDateTime> Walls; // each event's wall-clock time when it happened
    // The protocol as that program run last wrote it; no file when it wrote none.
    QString BackupFile;
    bool BackupModified = false;
    // One event's wall-clock time and tick, to carry the run across a reboot.
    QDateTime RefWall;
    uint32_t RefTick = 0;
    // Every run whose results were entered and not taken back, in journal order.
    std::vector<TEnteredRun> Entered;
    // Runs whose entered results were taken back (Ctrl+Z after F9).
    QStringList TakenBack;
    // Typed laps, hand times and DNS with their identities, in journal order; lines
    // of older versions carry none and are not among them.
    std::vector<TProtocolChange> Corrections;
};

// A run whose entered results were taken back is entered again under a new
// identity, derived from the old one so that the journal and the database agree.
QString RetakenRunId(const QString& runId);
// The identity of the record that takes a run's entered results back.
QString TakeBackId(const QString& runId);

// The largest tail of a journal that is read; the last run always lies in it.
constexpr qint64 MaxTail = 1 << 20;

// Reads the journal of that program: readable lines count, everything else is
// passed over. Found when the last run has events and its results were not
// entered after its last event.
TInterruptedRun ReadInterruptedRun(const QString& path, const QString& program);
TInterruptedRun AnalyseJournal(const QByteArray& head, const QByteArray& tail,
                               const QString& program);

// "Lauf 2 (7 Anna)": the run's number and drivers.
QString RunLabel(const TInterruptedRun& run);
// Every car of the run finished or dropped out: only its results were not entered.
bool RunFinished(const TInterruptedRun& run);

// The question whether the run goes on: title, run number, drivers and the time of
// its last event.
QString RecoveryQuestion(const TInterruptedRun& run);

// Added to every tick of the journal's run so that the running clocks go on in
// this boot's tick counter: 0 on the same boot (the monotonic clock is shared),
// else the wall-clock time that passed since the reference event.
uint32_t TickOffset(const TInterruptedRun& run, const QString& bootId, uint32_t nowTick,
                    const QDateTime& nowWall);

} // namespace Journal

// Appends lines to the journal on a thread of its own, so a handler only hands a
// line over and never waits for the disk.
class TJournalWriter {
public:
    TJournalWriter() = default;
    ~TJournalWriter();

    // Keeps an existing journal as <previous>, then puts a journal holding the
    // first lines in its place and appends to it. At every moment path holds
    // either the old journal or the new one with all of the first lines.
    bool Start(const QString& path, const QString& previousPath, const QByteArray& firstLines);
    bool IsStarted() const { return FStarted; }
    void Append(QByteArray line);
    // Waits until every line handed over is on the disk (or failed).
    void Flush();
    // Lines that could not be written.
    int Failures() const;

private:
    void Run();
    mutable std::mutex FMutex;
    std::condition_variable FWake, FIdle;
    std::deque<QByteArray> FQueue;
    bool FBusy = false;
    bool FStop = false;
    bool FStarted = false;
    int FFailures = 0;
    std::thread FThread;
    class TDurableFile* FFile = nullptr;
};
