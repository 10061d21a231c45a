#pragma once
#include <QString>
#include <QStringList>

// Total-time texts of rows that have no time.
extern const QString DnfText; // "DNF": dropped out during the run
extern const QString DnsText; // "DNS": did not start

// The milliseconds of a protocol time text ("1:02.03,45", "2.03,45", "3,45"; one
// or two digits of hundredths), or -1 when the text is no time.
int32_t ParseTimeText(const QString& text);

// A protocol row after a lap cell was typed: when each of the lap cells 1..laps
// holds a time, the laps are written in their protocol form and the total and
// best lap are computed again as a timed run computes them (each lap truncated to
// hundredths); otherwise the row stays as it is. cells: columns 0..9.
QStringList RecomputeRowTimes(const QStringList& cells, int laps);

// Whether any lap cell 1..5 of the row holds a text.
bool RowHasLapTimes(const QStringList& cells);
// The row marked as not started: "DNS" as total, lap and best lap cells emptied.
QStringList MarkNotStarted(const QStringList& cells);

// Who and which run a question about a protocol row concerns: "7 Zoë Fuchs, Lauf 3";
// without start number "Zoë Fuchs, Lauf 3", without a run number no ", Lauf …".
QString RowDriverText(const QStringList& cells, const QString& runNo);
