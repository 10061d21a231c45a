#pragma once
// What the standings are scored by and which penalty items the user keeps: beside
// the other settings, under value names of their own.
#include "Standings.h"

#include <QList>
#include <QString>

class TSettingsStore;

struct TPenaltyItem {
    QString Name; // "Pylone"
    int Ms = 0;   // added per count
    bool operator==(const TPenaltyItem&) const = default;
};

struct TStandingsSettings {
    TScoring Scoring;
    QList<TPenaltyItem> Catalogue = DefaultCatalogue();

    static QList<TPenaltyItem> DefaultCatalogue(); // "Pylone" +2 s, "Tor ausgelassen" +10 s
    static constexpr int MaxN = 20;
    static constexpr int MaxTargetMs = 99 * 3600000; // below the hours a time text holds

    // A missing or unusable value keeps its default.
    void Read(const TSettingsStore& store);
    void Write(TSettingsStore& store) const;
};

// The catalogue as one stored text: a line per item, name and milliseconds
// separated by a tab. Decoding passes over lines that are not such items; an
// empty result means none was usable.
QString EncodeCatalogue(const QList<TPenaltyItem>& items);
QList<TPenaltyItem> DecodeCatalogue(const QString& text);

// Seconds as the user types them ("2", "2,5", "10,25"): milliseconds, or -1 when
// the text is no time from 0 to 3600 s.
int ParsePenaltySeconds(const QString& text);
// "2", "2,5", "10,25": the shortest form.
QString PenaltySecondsText(int ms);
// "Pylone (+2 s)"
QString PenaltyItemCaption(const TPenaltyItem& item);

// The corrections the standings' commands record on a run.
TCorrection PenaltyCorrection(const TRunRecord& run, const TPenaltyItem& item, int count,
                              const QString& reason);
TCorrection StatusCorrection(const TRunRecord& run, const QString& status, const QString& reason);
TCorrection PenaltiesClearedCorrection(const TRunRecord& run);

// The runs a penalty typed at the timing desk may concern, in recorded order: per
// driver the latest, not taken back, with that start number and run number (blanks
// and leading zeros ignored). More than one: drivers shared the number in that run.
std::vector<const TEffectiveRun*> RunsOfStartNo(const std::vector<TEffectiveRun>& runs,
                                               const QString& startNo, const QString& runNo);
