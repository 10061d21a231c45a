#pragma once
// Corrections at the track: taking back the last event (Ctrl+Z), a car that drops
// out (Ctrl+1/2, DNF), a driver who does not start (popup "DNS") and a typed lap
// time (double click). A listener of the main window: it remembers what the
// finished run's results changed in the protocol, so that they can be taken back.
#include "RunListener.h"

#include <QHash>
#include <QStringList>
#include <functional>
#include <vector>

class QObject;
class TFormMain;
class TMenuItem;

class TTrackCorrections : public TRunListener {
public:
    explicit TTrackCorrections(TFormMain& window); // adds its menu and popup entries

    void mUndoClick(QObject* sender);
    void mDNF1Click(QObject* sender);
    void mDNF2Click(QObject* sender);
    void DNS1Click(QObject* sender);
    void SortGrid1DblClick(QObject* sender);
    void EditLapCell(int col, int row);
    // Asks for a text; tests replace it. True when the user confirmed.
    static std::function<bool(const QString& label, QString& text)>& AskText;

    TMenuItem *mUndo, *mDNF1, *mDNF2, *DNS1;

    void RunEvent(const TRunNotice& n) override;
    void ResultsEntered(const TRunResults& results) override;

private:
    void CarDropsOut(int car);
    void TakeBackResults();

    struct TEnteredRow {
        bool Appended = false;
        QStringList Before;
    };
    TFormMain& FWindow;
    std::vector<TEnteredRow> FEnteredRows; // what the run's results changed, per car
    bool FResultsEntered = false;
    QHash<QString, QStringList> FBeforeDns; // a row's cells before its DNS, by driver
};
