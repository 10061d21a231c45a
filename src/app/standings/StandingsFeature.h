#pragma once
// The standings at the main window: scoring settings, the window "Wertung"
// (Ctrl+Shift+W), counting runs marked in "Läufe", penalties and status recorded
// as corrections, the start list's classes written to the event database, and
// the standings for printout, page, workbook and live page.
#include "EventRunsCache.h"
#include "EventServices.h"
#include "FStandings.h"
#include "ReportPrint.h"
#include "RunListener.h"
#include "StandingsSettings.h"

#include <QObject>
#include <QPointer>
#include <QSet>

class TDlgDoubleRun;
class TDlgPenaltyByNumber;
class TFormMain;
class TMenuItem;
class QTimer;

class TStandingsFeature : public QObject, public TRunListener {
public:
    TStandingsFeature(TFormMain* form, TEventServices& events);
    ~TStandingsFeature() override;

    TStandingsSettings Settings;
    TMenuItem *mStandings, *mPenaltyByNumber;

    void ShowStandings();
    // Ctrl+Shift+S at the timing desk: the small penalty dialog, the current run proposed.
    TDlgPenaltyByNumber* PenaltyByNumber();
    TFormStandings* Window() const { return FWindow; }
    // Scoring rule and catalogue changed: kept at once, the standings follow.
    void Apply(const TStandingsSettings& s);
    void EditScoring();
    // A record was committed: the standings are computed again shortly, from the
    // records new since the last read. othersArrived: another station's records were pulled.
    void Changed(bool othersArrived = false);
    // Reads what is new in the current event and computes its standings now.
    void Recompute();
    const QList<TStandingRow>& Rows() const { return FRows; }
    const std::vector<TEffectiveRun>& Runs() const { return FCache.Runs(); }
    // A penalty or status from one of the windows.
    void Record(const TCorrection& c);
    // The "Läufe" window gets the commands and marks the counting runs.
    void AttachRuns(TFormRuns* runs);

    bool WriteHtml(const QString& fileName);
    bool WriteXlsx(const QString& fileName);
    // Printout and PDF of the standings as the window shows them (per class or overall).
    bool Print();
    ReportPrint::TPrintTable PrintTable(bool byClass) const;
    TStandingsPage Page() const;

    // The standings for the live page: per class, or overall without classes.
    void FillLive(struct TLiveState& state) const;

    void ProtocolChanged(const TProtocolChange& c) override;
    // Under a sum: a run entered in a round its driver drove already is asked about
    // after the run (which one counts); a START puts an open question back.
    void ResultsEntered(const TRunResults& r) override;
    void RunEvent(const TRunNotice& n) override;

    // Asks for a file to save to; tests replace it. Empty: cancelled.
    static std::function<QString(QWidget*, const QString& caption, const QString& filter)> AskSaveFile;
    // Runs the scoring dialog; tests replace it.
    static std::function<int(class TDlgScoring*)> ExecScoring;
    // Runs the question which run of a round counts; tests replace it.
    static std::function<int(TDlgDoubleRun*)> ExecDoubleRun;

private:
    void SaveAs(bool xlsx);
    QString Title() const; // as typed in the window, else the event's
    QList<std::pair<QString, QString>> Entrants() const; // start number, name
    void AskDoubleRuns(const QStringList& entered);

    TFormMain* FForm;
    TEventServices& FEvents;
    QPointer<TFormStandings> FWindow;
    QPointer<TFormRuns> FRunsWindow;
    QPointer<TDlgPenaltyByNumber> FPenaltyDialog;
    QTimer* FTimer;
    QList<TStandingRow> FRows;
    TEventRunsCache FCache;
    bool FOthersArrived = false;
    QHash<QString, QString> FClasses; // of the cache's entrants
    QStringList FClassOrder;          // as their start list names the classes
    int FClassesOf = -1;              // their version
    QStringList FDoubleQueue;         // entered runs to look at after the run
    QPointer<TDlgDoubleRun> FDoubleDialog;
    QSet<QString> FLeftOpen;          // runs of a round the official decides later
    QSet<QString> FCountedAgain;      // reruns put back once their round's chosen run went
    void CountAgainLeftAlone();
};
