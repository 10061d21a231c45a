#pragma once
#include <QByteArray>
#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>

// What the live page shows: a copy of the window's run and protocol, taken on
// the user-interface thread and handed to the server thread as a value.
struct TLiveCar {
    enum TState { Ready, Running, Finished, Dnf };
    int Car = 1;
    QString Name;
    TState State = Ready;
    qint64 StartEpochMs = 0;    // wall-clock time of START (running cars)
    qint64 LapStartEpochMs = 0; // wall-clock time the current lap began
    QList<int32_t> LapMs;       // completed laps, in order
    int32_t TotalMs = 0;        // finished cars
};

struct TLiveRow {
    QString Rank; // "Platz" after ranking, else empty
    QStringList Cells;
    QStringList Marks; // per cell: "!" suspicious, "H" hand time, ""; empty: none at all
};

// The standings beside the current run: per class, or overall without classes.
struct TLiveStandingRow {
    QString Rank, StartNo, Name;
    QString Time;    // the counting time, or DNF, DNS, DSQ
    QString Penalty; // "+4,00", empty without
    QString Gap;     // to the leader, "+0,42"
    QString Marks;   // footnote marks of its notes, "¹" or "¹ ³"; empty without
};

struct TLiveStandingClass {
    QString Name; // the class, or "Gesamt"
    QList<TLiveStandingRow> Rows;
    QStringList Notes; // "¹ DSQ Lauf 2: Frühstart", the notes of its rows as the printout lists them
};

// The season's standings: a table per class, the texts as the window shows them.
struct TLiveSeasonClass {
    QString Name;
    QList<QStringList> Rows; // in the order of TLiveState::SeasonColumns
};

struct TLiveState {
    QString Title;
    QString RunNumber;
    QDate Date;
    int Cars = 2;
    int Laps = 2;
    QList<TLiveCar> Current;
    QStringList Columns; // captions of the protocol's visible columns
    QList<TLiveRow> Rows;
    QString StandingsRule; // "Bester Lauf"; empty: no standings yet
    QList<TLiveStandingClass> Standings;
    QString SeasonName; // empty: no season
    QString SeasonRule; // "Punkte: 20, 17, … – beste 5 von 7 Veranstaltungen"
    int SeasonStamp = 0; // changes with the season: the page reads /api/season again
    QStringList SeasonColumns;
    QList<TLiveSeasonClass> Season;
};

// The state document without its leading "{": the server puts the send time in
// front of it, so a running clock stays right however late a copy is sent.
QByteArray LiveStateJsonBody(const TLiveState& state, qint64 seq);

// The standings alone (/api/standings), without the leading "{" as above.
QByteArray LiveStandingsJsonBody(const TLiveState& state, qint64 seq);

// The season alone (/api/season), without the leading "{" as above.
QByteArray LiveSeasonJsonBody(const TLiveState& state, qint64 seq);

// The whole document, sent at serverTimeMs.
QByteArray LiveStateJson(const QByteArray& body, qint64 serverTimeMs);

// '<', '>' and '&' as \u escapes: a document can sit inside an HTML page and is
// never read as markup by a browser that guesses the type.
QByteArray EscapeJsonForHtml(const QByteArray& json);
