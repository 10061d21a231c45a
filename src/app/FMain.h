#pragma once
// The main window: the described controls and handlers, and one way to announce
// what happens. Journal, corrections, live page, backup and event database listen
// (docs/architecture.md); their state lives in their own units.
#include "FMainControls.h"
#include "RunListener.h"
#include "RunSequence.h"
#include "RunSettings.h"
#include "Settings.h"
#include "StartList.h"

#include <QList>
#include <QPair>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>

class TCfgDialog;
class TEventsFeature;
class THelpViewer;
class TLiveResults;
class TNoticeLine;
class TRecovery;
class TStandingsFeature;
class TSeasonFeature;
class TStartSound;
class TTimeChecks;
class TTimerInput;
class TTrackCorrections;

// The designed components are members by their names through TFormMainControls.
class TFormMain : public QWidget, public TFormMainControls {
    Q_OBJECT
public:
    // The run settings start from run until the store's values are read.
    explicit TFormMain(const TRunSettings& run = TRunSettings(), QWidget* parent = nullptr);
    ~TFormMain() override;

    // --- listeners hear everything through Announce; not owned, they stay until removed
    void AddRunListener(TRunListener* listener);
    void RemoveRunListener(TRunListener* listener);
    // A hidden-menu item with its shortcut, for the window and its additions.
    TMenuItem* AddMenuItem(const char* name, const QString& caption, const QKeySequence& shortcut);
    // A change of the protocol, the window's own or an addition's, told to every listener.
    void AnnounceProtocol(TProtocolChangeKind kind, int row = -1, int col = -1,
                          const QString& text = QString(), const QString& name = QString());
    TRecovery& Recovery();            // journal and recovery
    QStringList JournalFiles() const; // the journal before the current one, and the current one
    bool RecoveryPending() const;     // an interrupted run waits for the question whether it goes on
    TTrackCorrections& Corrections(); // Ctrl+Z, DNF, DNS, typed laps
    TLiveResults* Live() const;       // live page
    TEventsFeature* Events = nullptr; // the event database's window
    // The protocol from the event database's runs of the current event; false: none.
    bool LoadProtocolFromEvents();
    TStandingsFeature* Standings = nullptr; // "Wertung", penalties, classes
    TSeasonFeature* Season = nullptr;       // "Saisonwertung" over several events
    TTimeChecks* Checks = nullptr;    // suspicious times and hand times
    TTimerInput* Timer = nullptr;     // the timing device as the clock
    // One line of the journal from an addition (what it took, as it came).
    void JournalLine(const QString& event, const QList<QPair<QString, QString>>& fields);
    // A message about something that has happened, in the status bar's second panel; it
    // fades after fadeMs (the notice area keeps what still needs attention).
    void ShowStatus(const QString& text, int fadeMs = StatusFadeMs);
    static int StatusFadeMs; // two minutes
    // The live page follows a change the window announces nothing of (standings, marks).
    void LiveChanged();
    // A row's cells as corrected; a ranked table is ranked again (typed laps, hand times).
    void PutRow(int row, const QStringList& cells);
    TMenuItem* mLive = nullptr;
    // The notice area: a red line above the protocol, the details on a click. For every
    // problem found while the operator times (database, station link, backup): no box,
    // keys keep working. Any thread may call it; it shows on the window's thread.
    void Notice(const QString& text, const QString& details = QString());
    TNoticeLine* NoticeLine = nullptr;
    // A car is on the track, or the last timing event was a moment ago (RESET follows a
    // FINISH within that moment): message boxes go to the notice area then.
    bool RunInProgress() const;
    // A question asked now, or once the run is over.
    void AfterRun(std::function<void()> question);

    // Who drives after RESET: the list index of each car's entrant from the name list,
    // the indices of the run just driven and the run number, which it may set to the
    // next round. Empty: each box moves on by the number of cars.
    std::function<std::vector<int>(const QStringList& entries, const std::vector<int>& current,
                                   QString& runNumber)>
        NextEntrants;
    // Where a list taken up anew goes on (a loaded start list, a program start within
    // the event): each car's list index in the round of the run number, which it may
    // set to the next round. Empty result: the list's first entrants.
    std::function<std::vector<int>(const QStringList& entries, int cars, QString& runNumber)>
        FirstEntrants;
    // Fixes the identities of a correction before it is announced (typed lap, hand
    // time, DNS): the journal and the event database then name the same records.
    std::function<void(TProtocolChange& change)> IdentifyChange;
    // Whether the event database holds that run (by its identity); empty: unknown.
    std::function<bool(const QString& runId)> RunRecorded;

    // --- timing run
    TRunSettings RunSettings;              // cars, laps and what the run carries between events
    std::array<TFrameTimer*, 3> FTimers{}; // [1..2]
    std::array<std::array<TFrameLapTimer*, 6>, 3> FLapTimers{}; // [1..2][1..5]
    int FEventCount = 0;

    int CurrentCar() const;
    void UpdateEventControls();
    void PlaceCursorOnButton(TLbButton* button);
    void mStartClick(QObject* sender);
    void mLAPClick(QObject* sender);
    void mStopClick(QObject* sender);
    void mResetClick(QObject* sender);
    // The name boxes go on with the next entrants (RESET; a DNS before the start).
    void MoveToNextEntrants();
    // The name boxes go to the list's first entrants who still have to drive.
    void MoveToFirstEntrants();
    void bStartMouseDown(QObject* sender);
    void bLAPMouseDown(QObject* sender);
    void bFinishMouseDown(QObject* sender);
    void bResetClick(QObject* sender);
    void FrameTimer1hcbNameKeyPress(QObject* sender, QChar& key);
    void FrameTimer2hcbNameKeyPress(QObject* sender, QChar& key);

    // --- light-barrier lock (FMainBarrier.cpp)
    void LockBarrier();
    void TimerGesperrtTimer();
    // The tick at which the running dead time ends: the stamp of the event that
    // started it plus the dead time; none while it does not run.
    std::optional<uint32_t> DeadTimeEnd() const;
    void LedLockClick(QObject* sender);
    void ComPortDSR(QObject* sender);
    void ComPortDropped(QObject* sender, int dropped); // changes the port could not keep
    QString BarrierWatchText() const; // the port and its watch thread's priority (info box)
    void ComPortOpen(QObject* sender);
    void ComPortClose(QObject* sender);
    void ComPortLost(QObject* sender, int error); // the watch failed: keys only until it is back
    void ComPortWatchPriority(QObject* sender, const TThreadPriority& priority);
    void CreateBarrierPanels();
    void ArrangeBarrierPanels(); // the visible barrier panels side by side in the status bar
    void ShowBarrierNotice(const QString& text, bool alarm); // empty: none
    // The light barrier's port is open and watched.
    bool BarrierConnected() const;
    // An addition that takes the barrier's passes over (a second time system) gets each
    // edge the barrier would count, with its stamp; true: taken, the window counts nothing.
    std::function<bool(uint32_t tick)> OnBarrierPass;

    // --- protocol table
    void EnterRunResults();
    void Sortierenprotokoll1Click(QObject* sender);
    void Erase1Click(QObject* sender);
    void sbClsAllClick(QObject* sender);
    void SortGrid1SelectCell(QObject* sender, int col, int row, bool& canSelect);
    void SortGrid1GetSortStyle(QObject* sender, int col, TSortStyle& sortStyle);
    void SortGrid1GetCellFormat(QObject* sender, int col, int row, TGridDrawState state,
                                TFormatOptions& formatOptions, bool& checkBox, bool& comboBox,
                                bool& ellipsis);
    void SetProtocolColumnWidths();
    void UpdateProtocolButtons();
    void ShowRowPosition(int row);
    void SelectFirstUnnamedRow();
    void SelectWholeRow(int row);
    void eNRKeyPress(QObject* sender, QChar& key);

    // --- protocol file, start list, backup (FMainFile.cpp)
    // false: not written, nothing half-written; error gets the cause.
    bool SaveProtocolText(const QString& fileName, QString* error = nullptr);
    void LoadProtocolText(const QString& fileName);
    void FillStartList(const QList<QStringList>& rows); // a start list's rows as the data rows
    QList<StartList::TEntrant> Entrants; // class, club, vehicle from a list with named columns
    void sbSaveClick(QObject* sender);
    void sbLoadClick(QObject* sender);
    // The automatic backup: program title + ".txt" in the current folder, else in the
    // user's application data folder.
    void WriteBackup();
    QString BackupFileName() const;
    QString PreviousBackupFileName() const;
    QString OpenFilter() const; // "description|pattern|..."
    QString SaveFilter() const;
    int OpenFilterIndex = 1; // 1-based, as stored
    int SaveFilterIndex = 1;
    QString TextFileTypeName = QStringLiteral("Textdatei");
    QString WordFileTypeName = QStringLiteral("MS Word");
    QString HtmlFileTypeName = QStringLiteral("Webseite");

    // --- web page and printing (FMainReport.cpp), Word and Excel (FMainOffice.cpp);
    // their content and the print itself: ProtocolDocuments.h
    bool WriteHtmlReport(const QString& fileName);        // an error box when not written
    void sbHTMLClick(QObject* sender);                    // Tag 0 opens the page, Tag 1 prints
    bool ExportToWord(int mode, const QString& fileName); // silent; false when not written
    void ExportToExcel(const QString& fileName);          // errors in an error box
    void ImportExcelSheet(const QString& fileName);       // the table stays as it was on errors
    void sbWordClick(QObject* sender);
    void sbExcelClick(QObject* sender);
    QString WordTemplatePath;
    bool ExcelAvailable = false;
    QString ExcelFileTypeName = QStringLiteral("MS Excel");

    // Stand-ins tests replace: boxes and dialogs.
    static std::function<void(const QString&)>& ShowMessage;
    static std::function<void(const QString&)>& ShowError;   // error icon, OK
    static std::function<bool(QFileDialog*)> ExecFileDialog; // true: a file was chosen
    static std::function<int(TCfgDialog*)> ExecCfgDialog;

    // --- the run in progress (FMainRunState.cpp)
    TRunEventSource FEventSource = TRunEventSource::Key; // of the event being handled
    TTwoSystems FEventSystems;                           // of the event being handled
    TRunEvents FRun{2, 2};                               // since the last RESET
    // Remembered and announced; a dropped-out car's events passed over.
    void RecordRunEvent(TRunEventKind kind, int car, uint32_t tick);
    bool RunComplete() const;
    void ApplyRunState(); // clocks, lap displays, counter and controls from the run's events
    // The rows a run's results went into carry their car's mark through sorting and edits.
    static QObject* EnteredMark(int car);
    void ClearEnteredMarks();

    // --- layout and lifecycle (FMainStartup.cpp, FMainCfg.cpp)
    void ArrangeForCars();
    void TimerDateTimer();
    void bInfoClick(QObject* sender);
    void LogoClick();
    void bHelpClick(QObject* sender);
    void bCFGClick(QObject* sender); // settings dialog: fill, show, apply (bCFG and F2)
    TCfgDialog* CfgDialog = nullptr;
    TStoredSettings CurrentSettings() const; // as the window holds them now
    void ApplySettings(const TStoredSettings& s);
    // The store of this program title; further named values may sit beside ours.
    TSettingsStore& SettingsStore();
    QString HelpFile; // a club's own help beside the program, else the built-in one
    THelpViewer* HelpViewer = nullptr;
    TStartSound* StartSound = nullptr;
    TColor TimerFontColor = clBlack; // "C2": font colour of PanelTimer

protected:
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool event(QEvent* e) override;

private:
    void FormCreate(); // the start-up sequence after the controls exist
    void FormDestroy();
    void ApplyStoredBounds(const TStoredSettings& s);
    void PlaceCursorOnStart();
    void CreateControls();
    void CreateMenu();
    void CreateProtocol();
    void CreateFileDialogs();
    void PlaceFileDialogs(); // in the folder last used for protocols and start lists
    void CreateOfficeCommands();
    void LayoutControls();
    void FormResize(); // also after clearing the protocol

    // The one place that calls the listeners (FMainListeners.cpp); an invalid wall time is now.
    void Announce(const std::function<void(TRunListener&)>& call);
    void AnnounceRunEvent(TRunNoticeKind kind, int car, uint32_t tick,
                          const QDateTime& wall = QDateTime());
    void CreateListeners();
    // The barrier takes edges stamped from since on; deadTimeEnd: the dead time that ended then.
    void ArmBarrier(std::optional<uint32_t> since, std::optional<uint32_t> deadTimeEnd = {});
    bool DeadTimeOverAt(uint32_t tick) const;
    // The window's own bookkeeping: listeners, the barrier's dead time, the backup, the
    // settings as read (FMainPrivate.h).
    struct TPrivate;
    std::unique_ptr<TPrivate> P;
    friend class TRecovery;
    friend class TTrackCorrections;
};
