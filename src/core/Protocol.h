#pragma once
#include <QString>
#include <QStringList>
#include <array>

// Column captions of the results protocol, in column order.
extern const std::array<QString, 10> ProtocolCaptions;

enum TProtocolColumn {
    pcStartNr = 0,
    pcName = 1,
    pcLap1 = 2,
    pcTotal = 7,
    pcBest = 8,
    pcRank = 9,
    pcCount = 10
};

// A name box text split into start number and name: the longest prefix of blanks
// and digits, trimmed, is the start number; the name is the rest. Without a
// number the name is the whole text and hasNumber is false.
struct TStartNumberSplit {
    bool HasNumber = false;
    QString Number;
    QString Name;
};
TStartNumberSplit SplitStartNumber(const QString& text);

// A cell is blank when it is empty or holds blanks only.
bool IsBlank(const QString& text);
// A row is blank when its cells 0..8 (everything but the rank) are blank.
bool IsBlankRow(const QStringList& cells);

// Competition ranks for totals in table order: equal totals share the rank of the
// first of them, the next different total takes its row number; blank, "DNF"
// and "DNS" give "-".
QStringList CompetitionRanks(const QStringList& totals);
