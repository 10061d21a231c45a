#pragma once
// Suspicious times and hand times in the protocol: a flagged cell gets a colour
// of its own and a tooltip with the reason (unflagged cells keep theirs), the
// popup entries "Geprüft" and "Handzeit …", and the hidden-menu entry
// "Plausibilität …" with the limits of the checks.
#include "DlgTimeChecks.h"
#include "EventServices.h"
#include "RunChecker.h"

#include <QColor>
#include <QObject>
#include <functional>

class TFormMain;
class TMenuItem;

class TTimeChecks : public QObject {
public:
    // After the event database's feature: its checker does the work.
    TTimeChecks(TFormMain* form, TEventServices& events);

    static const QColor FlagColor; // a suspicious time
    static const QColor HandColor; // a time from a backup stopwatch

    TRunChecker& Checker() const;
    // What a protocol cell is marked with: tooltip text, empty for none.
    QString CellNote(int col, int row) const;
    bool CellFlagged(int col, int row) const;
    bool CellHandTime(int col, int row) const;
    // Live page and reports: "!" flagged, "H" hand time, "" neither.
    QString CellMark(int col, int row) const;

    // "Geprüft" on the row the popup was opened on: every open flag of its run cleared.
    void CheckedClick();
    // "Handzeit …" on that row: asks for the time and enters it.
    void HandTimeClick();
    // The hand time into a protocol row (field 0 the total); false when refused.
    bool EnterHandTime(int row, int field, int ms);
    void ThresholdsClick();

    TMenuItem *mChecked, *mHandTime, *mThresholds;
    // Run a dialog modally; tests replace them.
    static std::function<int(TDlgHandTime*)> ExecHandTime;
    static std::function<int(TDlgPlausibility*)> ExecThresholds;

private:
    const TRunChecker::TMarks* MarksOfRow(int row) const;
    QString RowText(int row) const; // "7 Zoë Fuchs, Lauf 3"

    bool eventFilter(QObject* watched, QEvent* event) override;
    void UpdatePopup();

    TFormMain* FForm;
    TEventServices& FEvents;
};
