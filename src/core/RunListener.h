#pragma once
// What the main window announces: the timing events of the run, the results it
// enters into the protocol and every other change of the protocol. Additions
// (backup, journal, live page, ...) listen here instead of being called from the
// window's handlers. Every call comes on the user-interface thread, after the
// window's own state has changed; a listener must not start another event.
#include "RunEvents.h"

#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>
#include <vector>

// Where a timing event came from.
enum class TRunEventSource { Key, Mouse, Barrier, Restored };

enum class TRunNoticeKind { Start, Lap, Finish, Dnf, Undo, Reset };

inline TRunNoticeKind NoticeKind(TRunEventKind kind) {
    switch (kind) {
    case TRunEventKind::Lap:
        return TRunNoticeKind::Lap;
    case TRunEventKind::Finish:
        return TRunNoticeKind::Finish;
    case TRunEventKind::Dnf:
        return TRunNoticeKind::Dnf;
    case TRunEventKind::Start:
        break;
    }
    return TRunNoticeKind::Start;
}

// A pass timed by two systems, the light barrier and a timing device.
struct TTwoSystems {
    enum TKind { None, Both, BarrierOnly, DeviceOnly };
    TKind Kind = None;
    int DifferenceUnits = 0; // Both: device minus barrier, 1/10000 s
};

struct TRunNotice {
    TRunNoticeKind Kind = TRunNoticeKind::Start;
    int Car = 0;       // 1 or 2; 0 for RESET
    uint32_t Tick = 0; // tick counter reading of the event (for Undo: of the event taken back)
    qint64 WallMs = 0; // wall clock of the announcement, ms since the epoch
    TRunEventSource Source = TRunEventSource::Key;
    int EventCount = 0; // the run's event counter after it (a DNF passes over the car's rest)
    int Cars = 2;
    int Laps = 2;
    QString RunNumber; // the run number field as typed
    QString Title;
    std::array<QString, 3> Names; // name box texts of cars [1..2], start number included
    // Barrier events: ms from the end of the dead time before it to the edge; -1
    // when the barrier was armed otherwise (RESET, F11) or for other sources.
    int AfterDeadTimeMs = -1;
    // The identity of the car's run, fixed at its START; the journal, the event
    // database and a replay after a crash all use it.
    QString RunId;
    // Barrier and timing device both connected: how they saw this pass.
    TTwoSystems Systems;
};

// One row the finished run wrote into the protocol.
struct TEnteredResult {
    enum TStatus { Finished, Dnf };
    int Car = 1;
    int Row = 0;           // protocol row, 1-based as in the table
    bool Appended = false; // a new row, not a driver's row of the start list
    QStringList Before;    // the row's cells before, unless appended
    QString StartNumber;
    QString Name;
    QStringList LapTexts;       // laps 1..Laps as the protocol shows them, blank when not driven
    std::vector<int32_t> LapMs; // the completed laps
    QString TotalText;
    int32_t TotalMs = 0; // 0 for a car that dropped out
    QString BestText;
    int32_t BestMs = 0;
    TStatus Status = Finished;
};

struct TRunResults {
    QString RunNumber;
    QString Title;
    int Cars = 2;
    int Laps = 2;
    std::vector<TEnteredResult> Rows;
};

enum class TProtocolChangeKind {
    ResultsEntered,
    ResultsTakenBack, // the FINISH of the entered run was taken back
    LapTyped,
    CellEdited, // start number or name typed into the table
    NotStarted, // DNS
    RowDeleted,
    Cleared,
    Ranked,
    Sorted, // by a column header
    Loaded, // text file or start list
    Imported, // Excel sheet
    HandTime, // a lap (Col) or the total typed from a backup stopwatch
    StartedAgain // a DNS of the current round taken back
};

struct TProtocolChange {
    TProtocolChangeKind Kind = TProtocolChangeKind::ResultsEntered;
    int Row = -1; // the row concerned, before the change for a deleted row
    int Col = -1;
    QString Text; // the cell's new text
    QString Name; // the row's name before the change
    QString RunNumber; // the run number field: the round a DNS or a new run belongs to
    QString StartNr;   // the row's start number, while the row stands
    // A correction's identities, fixed before it is announced: the run it concerns
    // (one it makes itself with NewRun) and its own record. The journal line carries
    // them, so a replay after a crash records it once and for the same run.
    QString RunId, CorrectionId;
    bool NewRun = false;
};

struct TBarrierWatchNotice {
    enum TKind { Lost, Back, NoRealtime };
    TKind Kind = Lost;
    int Port = 0;   // COMn
    QString Detail; // the system's error text (Lost) or the priority got (NoRealtime)
};

class TRunListener {
public:
    virtual ~TRunListener() = default;
    virtual void RunEvent(const TRunNotice&) {}
    // Before the matching ProtocolChanged(ResultsEntered).
    virtual void ResultsEntered(const TRunResults&) {}
    virtual void ProtocolChanged(const TProtocolChange&) {}
    // The window was arranged for its number of cars and laps (start-up, settings,
    // a recovered run).
    virtual void RunArranged() {}
    // The automatic backup was written: its file, and whether the protocol was modified.
    virtual void BackupWritten(const QString& /*file*/, bool /*modified*/) {}
    // Line changes of the light barrier that could not be kept: this time and in all.
    virtual void BarrierDropped(int /*dropped*/, int /*total*/) {}
    // The settings dialog was confirmed; values kept beside the window's may have changed.
    virtual void SettingsApplied() {}
    // The light barrier's watch: its port lost, back, or watched without real-time priority.
    virtual void BarrierWatch(const TBarrierWatchNotice&) {}
    // The program ends properly, after its last backup.
    virtual void Closing() {}
};
