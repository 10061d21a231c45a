#pragma once
// The records of the event database. Every record is written once and never
// changed: a correction is a record of its own that points at the run (and, for
// a "Geprüft", at the flag) it changes. Each record carries a UUID, the station
// that made it and that station's sequence number, so records of several
// stations can meet in one database without clashing.
#include <QDate>
#include <QString>
#include <QStringList>
#include <array>
#include <vector>

// A new random UUID without braces.
QString NewRecordUuid();

// A text as it is stored: a tab becomes a blank, other control characters (a
// bell or an escape from a start list) go.
QString StoredText(const QString& text);

// Common head of every record.
struct TRecordHead {
    QString Uuid;      // set by the store when empty
    QString Station;   // the station's name when it was made (a label); set by the store
    QString StationId; // the station's identity, the key of Seq; set by the store
    qint64 Seq = 0;    // per station, set when written
    qint64 RecordedMs = 0; // wall clock (ms since 1970, UTC) when it was made
};

struct TEventInfo : TRecordHead {
    QString Title; // the latest title (renames are records of their own)
    QDate Date;
};

// A title change of an event (a typo fix must not split the event).
struct TEventRename : TRecordHead {
    QString EventUuid;
    QString Title;
};

// One timing event of a run, with where it came from.
struct TTimedEvent {
    QString Kind;   // "START", "LAP", "FINISH", "DNF"
    QString Source; // "LS" (barrier), "Taste", "Maus", "Fortsetzung" (restored)
    qint64 Tick = 0;   // tick counter reading
    qint64 WallMs = 0; // wall clock of the event
    bool operator==(const TTimedEvent&) const = default;
};

// Run status texts as stored.
inline const QString RunStatusOk = QStringLiteral("ok");
inline const QString RunStatusDnf = QStringLiteral("DNF");
inline const QString RunStatusDns = QStringLiteral("DNS");
inline const QString RunStatusDsq = QStringLiteral("DSQ");
inline const QString RunStatusRerun = QStringLiteral("Wiederholung");

constexpr int MaxLaps = 5;

// One car's run as its results entered the protocol.
struct TRunRecord : TRecordHead {
    QString EventUuid;
    qint64 StartMs = 0; // wall clock of START (0: not started)
    QString RunNo;      // the run number field as it read
    int Car = 1;
    QString StartNo, Name; // as entered in the name box
    int Laps = 2;          // laps of the run's setting
    std::array<int, MaxLaps> LapMs{-1, -1, -1, -1, -1}; // -1: no time
    int TotalMs = -1;
    int BestMs = -1;
    QString Status = RunStatusOk; // ok, DNF or DNS
    std::vector<TTimedEvent> Events;
};

// Correction kinds as stored.
namespace CorrectionKind {
inline const QString Undo = QStringLiteral("undo");           // results taken back (Ctrl+Z)
inline const QString Lap = QStringLiteral("lap");             // Field 1..5 typed, Ms
inline const QString Total = QStringLiteral("total");         // total typed (Ms)
inline const QString Dns = QStringLiteral("dns");             // marked as not started
inline const QString Dnf = QStringLiteral("dnf");             // dropped out
inline const QString RowDeleted = QStringLiteral("row_deleted");
inline const QString TableCleared = QStringLiteral("table_cleared");
inline const QString ToProtocol = QStringLiteral("to_protocol"); // run put back into the protocol
inline const QString Status = QStringLiteral("status");      // Text: ok, DSQ, Wiederholung; Reason
inline const QString Penalty = QStringLiteral("penalty");    // Text item, Ms per count, Count, Reason
inline const QString PenaltiesCleared = QStringLiteral("penalties_cleared"); // the run's penalties go
inline const QString Flag = QStringLiteral("flag");          // Field (0 total), Text code, Reason
inline const QString Checked = QStringLiteral("checked");    // "Geprüft": TargetUuid is the flag
inline const QString HandTime = QStringLiteral("hand");      // Field (0 total), Ms from a stopwatch
inline const QString Exclusion = QStringLiteral("exclusion"); // Text on/off: the driver's whole event; Reason
} // namespace CorrectionKind

struct TCorrection : TRecordHead {
    QString EventUuid;
    QString RunUuid;    // the run it changes; empty for the whole table
    QString TargetUuid; // a correction it refers to (a flag that was checked)
    QString Kind;
    int Field = -1; // lap 1..5, 0 the total, -1 none
    int Ms = -1;
    int Count = 0;
    QString Text, Reason;
    QString Name; // the protocol row's name when it was made
};

// A driver of an event's start list.
struct TEntrant : TRecordHead {
    QString EventUuid;
    QString StartNo, Name, Class, Club, Vehicle;
};

struct TPenalty {
    QString Item, Reason;
    int Ms = 0; // per count
    int Count = 1;
};

struct TFlag {
    QString Uuid;
    int Field = 0;
    QString Code, Reason;
};

// A run with its corrections applied in the order they were made.
struct TEffectiveRun {
    TRunRecord Run;             // laps, total, best and status as corrected
    bool Withdrawn = false;     // taken back (Ctrl+Z)
    QString StatusReason;       // for DSQ
    std::vector<TPenalty> Penalties;
    std::vector<TFlag> Flags;   // open flags
    std::vector<int> HandFields; // fields holding a hand time (0 total)
    std::vector<TCorrection> History;
    int PenaltyMs() const;
    // The stations that corrected the run, in the order of their first correction;
    // more than one: two timing points changed the same run.
    QStringList CorrectingStations() const;
    // Counts for standings: not withdrawn, not a rerun, not DSQ.
    bool Counts() const;
};

// Corrections must belong to the run (RunUuid) and be in the order they were made.
TEffectiveRun EffectiveRun(const TRunRecord& run, const std::vector<TCorrection>& corrections);

// Total and best lap from laps 1..laps, each lap truncated to hundredths as a
// timed run adds them; -1 when a lap is missing.
void RecomputeTotals(TRunRecord& run);

