#pragma once
// Standings of an event from its runs: a scoring rule picks each driver's runs
// that count, penalties are added, and drivers are ranked overall and within
// their class. Window-free; the protocol and its ranking are not touched.
#include "EventRecords.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

enum TScoringRule {
    srLastRun = 0,  // "Letzter Lauf": as the protocol ranks
    srBestRun = 1,  // "Bester Lauf"
    srSumAll = 2,   // "Summe aller Läufe"
    srSumBestN = 3, // "Summe der besten N Läufe"
    // Regularity trials: the smallest difference wins, not the fastest time.
    srRegularity = 4, // "Gleichmäßigkeit": between a driver's first two counting runs
    srTargetTime = 5, // "Sollzeit": the run nearest the target time
};

struct TScoring {
    TScoringRule Rule = srLastRun;
    int N = 2; // for srSumBestN
    int TargetMs = 60000; // for srTargetTime
    bool operator==(const TScoring&) const = default;
};

QString ScoringRuleCaption(TScoringRule rule); // the texts above ("… N …" without a number)
QString ScoringDescription(const TScoring& s); // "Summe der besten 2 Läufe", "Sollzeit 1.00,00"

struct TStandingRow {
    QString Key; // identifies the driver: start number and name
    QString StartNo, Name, Class;
    QString Status;           // "" timed, else "DNF", "DNS", "DSQ"
    bool Excluded = false;    // "Ausschluss": DSQ for the whole event
    int Runs = 0;             // runs of the driver (reruns and DSQ included, taken-back not)
    int Counted = 0;          // runs that make the counting time
    int RawMs = -1;           // counted runs' times as timed; a regularity rule's difference
    int PenaltyMs = 0;        // their penalties
    int CountingMs = -1;      // RawMs + PenaltyMs; -1 without a time
    QStringList CountingRuns; // UUIDs of the runs that count (shown bold)
    bool HandTime = false;    // a counted time holds a hand time
    bool Flagged = false;     // a counted time carries an open flag
    QStringList Notes;        // open flags and hand times of the counted runs, a DSQ's reason
    int ClassOrder = -1;      // where the start list names the class first; -1: not named
    QString Rank, ClassRank;  // "1", "2", "2", "4" …; empty without a time
    QString Gap, GapAhead;    // to the leader and to the driver ahead, "+0,42"
    QString ClassGap, ClassGapAhead;
};

// The driver of a run, as standings group runs: start number and name, blanks
// and case ignored.
QString DriverKey(const QString& startNo, const QString& name);

// Rows ranked overall, timed drivers first (more counted runs before fewer where
// a sum is still being driven; a sum counts one run per round), then DNF, DNS and DSQ. classes: DriverKey -> class;
// classOrder: the classes in the order the start list names them.
QList<TStandingRow> ComputeStandings(const std::vector<TEffectiveRun>& runs,
                                     const TScoring& scoring,
                                     const QHash<QString, QString>& classes = {},
                                     const QStringList& classOrder = {});

// The entrants of the start list (start number, name) who have no row yet join the
// standings below the others, "–" until their first run; their class as above.
void AddEntrantsWithoutRuns(QList<TStandingRow>& rows,
                            const QList<std::pair<QString, QString>>& entrants,
                            const QHash<QString, QString>& classes = {});

// Classes of the event's entrants (the latest record of a start number counts),
// found by start number and name, by start number alone, or by name alone.
QHash<QString, QString> EntrantClasses(const std::vector<TEntrant>& entrants);

// The classes of the entrants in the order the start list names them first.
QStringList EntrantClassOrder(const std::vector<TEntrant>& entrants);

// The classes that occur, in one order all day: as the start list names them, then
// those it does not name, alphabetically.
QStringList StandingClasses(const QList<TStandingRow>& rows);

// "DSQ Lauf 2: Frühstart", the note of a disqualified run.
QString DsqNote(const TEffectiveRun& run);

// Sum rules sum rounds: one run of each round (its run number) counts.
bool SumsRounds(TScoringRule rule);
// The round of a run as standings group them; a run without a run number is one of its own.
QString RunRound(const TRunRecord& run);
// The runs the run's driver drove in its round (not taken back, not a rerun, not a
// DNS), in driving order. More than one: the official says which counts.
std::vector<const TEffectiveRun*> RunsOfItsRound(const std::vector<TEffectiveRun>& runs,
                                                 const QString& runUuid);
// "Lauf 2 zweimal gefahren: …": two runs of a round, neither marked a rerun.
QString DoubleRunNote(const QString& round);
// "Lauf 2 zweimal gefahren": why the answer to "Welcher Lauf zählt?" made the other a rerun.
QString DoubleRunReason(const QString& round);
// Runs that answer made a rerun whose round has no other run left (the one chosen
// was taken back or marked DNS): they should count again.
std::vector<const TEffectiveRun*> DoubleRunRerunsLeftAlone(const std::vector<TEffectiveRun>& runs);
// "1 von 2 Wertungsläufen": a row behind those with more counted rounds.
QString CountedRoundsNote(int counted, int of);

// "+0,42"; empty for the leader itself.
QString GapText(int ms);

// The standings as a table: window, printout, page, workbook and live page show these.
enum TStandingColumn {
    scRank, scStartNo, scName, scClass, scRuns, scRaw, scPenalty, scCounting, scGap, scGapAhead,
    scNote, scColumnCount
};
QStringList StandingCaptions();
// A row's texts; inClass: rank and gaps within the driver's class.
QStringList StandingTexts(const TStandingRow& row, bool inClass);

struct TStandingSection {
    QString Class;   // empty: overall, or the drivers without a class
    QString Caption; // "Gesamt", the class, "Ohne Klasse"
    QList<const TStandingRow*> Rows;
};
// Overall: one section. By class: one per class in order, the drivers without a
// class last.
QList<TStandingSection> StandingSections(const QList<TStandingRow>& rows, bool byClass);

// The notes of posted standings as footnotes: every different note gets a
// number in the order it first appears, marked in superscript at the row's
// counting time, and the list of them goes below the table.
QString FootnoteMark(int n); // 1 -> "¹", 12 -> "¹²"
bool IsFootnoteMark(QChar c); // a mark's digit or the space between two marks
struct TStandingFootnotes {
    QStringList Texts; // note i carries the mark FootnoteMark(i + 1)
    // The row's marks, "¹" or "¹ ³"; empty without notes.
    QString MarksOf(const TStandingRow& row) const;
    // "¹ Auffällig: Runde 1 kürzer als 0,50" for the notes of these rows, in number order.
    QStringList Lines(const QList<const TStandingRow*>& rows) const;

private:
    QList<int> Numbers(const QList<const TStandingRow*>& rows) const; // sorted, each once
};
TStandingFootnotes StandingFootnotes(const QList<TStandingSection>& sections);
// A row's texts for a printed or exported sheet: its marks at the counting time.
QStringList StandingSheetTexts(const TStandingRow& row, bool inClass, const TStandingFootnotes& notes);

// The standings as a web page of their own (UTF-8, CR LF): a footnote list
// below each table, the notes numbered once for the page.
struct TStandingsPage {
    QString Title, Rule, Date;
    QList<TStandingRow> Rows;
};
QByteArray StandingsHtml(const TStandingsPage& page);
