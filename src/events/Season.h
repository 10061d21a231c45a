#pragma once
// A season: the standings of several events scored together. Each event gives
// points per class by a points table, the best N of M events count, ties go to
// the better placings and then to the last event. Window-free.
#include "Standings.h"

#include <QDate>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

class TSettingsStore;

struct TSeasonRules {
    QList<int> Points = DefaultPoints(); // points of class places 1, 2, …; further places get none
    int BestN = 0;                       // results that count; 0: all
    // Driver keys joined to another spelling: key -> the key it counts as.
    QHash<QString, QString> Joined;

    static QList<int> DefaultPoints(); // 20, 17, 15, 13, 11, 10, 9, …, 1
    bool operator==(const TSeasonRules&) const = default;
};

// "20, 17, 15"
QString PointsText(const QList<int>& points);
// A points table as typed ("20, 17, 15" or "20 17 15"); false (points untouched)
// unless it is one to 100 whole numbers from 0 to 1000, none above the one before.
bool ParsePoints(const QString& text, QList<int>& points);

// An event of the season: in a file of events (empty: the program's own) by its UUID.
struct TSeasonEventRef {
    QString File, Uuid;
    bool operator==(const TSeasonEventRef&) const = default;
};

struct TSeasonSettings {
    QString Name = QStringLiteral("Saison");
    TSeasonRules Rules;
    QStringList Files; // event files the official added beside the program's own
    QList<TSeasonEventRef> Events;

    // A missing or unusable value keeps its default.
    void Read(const TSettingsStore& store);
    void Write(TSettingsStore& store) const;
};

// An event as the season reads it: its standings under the event's scoring.
struct TSeasonEvent {
    QString Title;
    QDate Date;
    QList<TStandingRow> Rows;
};

struct TSeasonResult {
    bool Entered = false; // the driver is in the event's standings
    int Points = 0;
    int Place = 0;        // the class place; 0 without one
    QString Status;       // "DNF", "DNS", "DSQ", "-" without a place
    bool Dropped = false; // not among the best N
};

struct TSeasonRow {
    QString Key; // the driver key the results are joined under
    QString StartNo, Name, Class;
    QList<TSeasonResult> Results; // one per event, in the season's order
    int Points = 0;               // of the counted results
    QString Rank;                 // within the class: "1", "2", "2", "4"
    QStringList Notes;            // dropped results, a tie decided
};

// The events' keys of a driver joined as the rules say (a chain is followed).
QString SeasonKey(const QString& key, const TSeasonRules& rules);

// Rows by class (in order of first appearance, drivers without a class last),
// ranked within it. events: in the order they were driven.
QList<TSeasonRow> ComputeSeason(const QList<TSeasonEvent>& events, const TSeasonRules& rules);

// The season as a table: window, printout, page, workbook and live page show these.
// Columns: "Platz", "Start-Nr.", "Name", "Klasse", one per event, "Punkte".
enum TSeasonColumn { secRank, secStartNo, secName, secClass, secFirstEvent };
// An event's column caption: its date "12.04.", the title when it has none.
QString SeasonEventCaption(const TSeasonEvent& e);
QStringList SeasonCaptions(const QList<TSeasonEvent>& events);
// "20", "(9)" dropped, "DNF", "(DNS)", empty where the driver did not drive.
QString SeasonResultText(const TSeasonResult& r);
QStringList SeasonTexts(const TSeasonRow& row);
// "beste 5 von 7 Veranstaltungen", "alle 7 Veranstaltungen"
QString SeasonCountText(const TSeasonRules& rules, int events);

struct TSeasonSection {
    QString Caption; // the class, "Ohne Klasse"
    QList<const TSeasonRow*> Rows;
};
QList<TSeasonSection> SeasonSections(const QList<TSeasonRow>& rows);

// Notes numbered in order of appearance; a row's marks go to its points.
struct TSeasonFootnotes {
    QStringList Texts;
    QString MarksOf(const TSeasonRow& row) const;
    QStringList Lines(const QList<const TSeasonRow*>& rows) const;
};
TSeasonFootnotes SeasonFootnotes(const QList<TSeasonSection>& sections);
QStringList SeasonSheetTexts(const TSeasonRow& row, const TSeasonFootnotes& notes);

struct TSeasonPage {
    QString Name, Date;
    TSeasonRules Rules;
    QList<TSeasonEvent> Events;
    QList<TSeasonRow> Rows;
};
// "Punkte: 20, 17, … – beste 5 von 7 Veranstaltungen"
QString SeasonRuleLine(const TSeasonPage& page);
// "12.04. Frühjahrsslalom, 10.05. Pfingstslalom"
QString SeasonEventsLine(const QList<TSeasonEvent>& events);
// The season as a web page of its own (UTF-8, CR LF), a table per class.
QByteArray SeasonHtml(const TSeasonPage& page);

// --- reading the events
struct TSeasonCandidate {
    TSeasonEventRef Ref;
    QString Title;
    QDate Date;
};
// The events of the files (the program's own first, as File ""), newest first.
// Files that cannot be read are named in problems.
QList<TSeasonCandidate> SeasonCandidates(const QString& ownFile, const QStringList& files,
                                         QStringList* problems = nullptr);
// The season's events with their standings under the scoring, in date order.
// An event that is gone or a file that cannot be read is named in problems.
QList<TSeasonEvent> ReadSeasonEvents(const QString& ownFile, const QList<TSeasonEventRef>& refs,
                                     const TScoring& scoring, QStringList* problems = nullptr);
