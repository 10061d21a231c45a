#pragma once
#include "BackupAutosave.h"
#include "BackupFile.h"
#include "Comms.h"
#include "DlgYesNo.h"
#include "Dmn_led.h"
#include "FrLapTimer.h"
#include "FrTimer.h"
#include "HtmlReport.h"
#include "Journal.h"
#include "JournalListener.h"
#include "LbButton.h"
#include "MenuItem.h"
#include "OfficeExport.h"
#include "ProgramInfo.h"
#include "Protocol.h"
#include "RunEvents.h"
#include "RunListener.h"
#include "RunSequence.h"
#include "Settings.h"
#include "SortGrid.h"
#include "StartList.h"

#include <QDir>
#include <QFileDialog>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QTimer>
#include <QWidget>
#include <functional>

class QPrinter;
#include <array>
#include <memory>
#include <optional>

class TLiveResults;
class TCfgDialog;
class THelpViewer;
class TStartSound;

// Settings of the run, globals of the main window as the rest of the program reads them.
extern int Cars;                             // 1 or 2
extern int Laps;                             // 2..5, always 2 with two cars
extern std::array<int32_t, 3> CarHundredths; // per car 1..2: sum of truncated lap times
// Modem-status word of the previous light-barrier event; no real word equals the start value.
extern uint32_t LastModemStatus;
// Shown after "Ergebnisliste" in the report; set by an imported sheet.
extern QString ListSubtitle;

// A plain panel of the window: a frame with a solid background colour.
class TPanel : public QFrame {
    Q_OBJECT
public:
    explicit TPanel(QWidget* parent, const char* name, TColor color);
    void SetColor(TColor color);
    TColor Color() const { return FColor; }
    int Tag = 0;

private:
    TColor FColor = clBlack;
};

class TFormMain : public QWidget {
    Q_OBJECT
public:
    // Design client size; the outer design size is 750 x 549.
    static constexpr int DesignClientWidth = 742;
    static constexpr int DesignClientHeight = 515;
    static constexpr int FrameExtraHeight = 34; // caption and borders of the design's outer size

    explicit TFormMain(QWidget* parent = nullptr);
    ~TFormMain() override;

    // --- listeners: every addition hears what happens here through Announce alone
    void AddRunListener(TRunListener* listener); // not owned; stays until removed
    void RemoveRunListener(TRunListener* listener);
    // A hidden-menu item with its shortcut, for the window and its additions.
    TMenuItem* AddMenuItem(const char* name, const QString& caption, const QKeySequence& shortcut);
    class TEventsFeature* Events = nullptr; // every run kept in the event database
    // A change of the protocol made by an addition, told to every listener.
    void AnnounceProtocolChange(TProtocolChangeKind kind, int row = -1, int col = -1,
                                const QString& text = QString(), const QString& name = QString()) {
        AnnounceProtocol(kind, row, col, text, name);
    }
    class TTimeChecks* Checks = nullptr; // suspicious times and hand times in the protocol

    // --- timing run
    std::array<TFrameTimer*, 3> FTimers{};                      // [1..2]
    std::array<std::array<TFrameLapTimer*, 6>, 3> FLapTimers{}; // [1..2][1..5]
    int FEventCount = 0;

    int CurrentCar() const;
    void UpdateEventControls();
    void PlaceCursorOnButton(TLbButton* button);
    void mStartClick(QObject* sender);
    void mLAPClick(QObject* sender);
    void mStopClick(QObject* sender);
    void mResetClick(QObject* sender);
    void bStartMouseDown(QObject* sender);
    void bLAPMouseDown(QObject* sender);
    void bFinishMouseDown(QObject* sender);
    void bResetClick(QObject* sender);
    void FrameTimer1hcbNameKeyPress(QObject* sender, QChar& key);
    void FrameTimer2hcbNameKeyPress(QObject* sender, QChar& key);

    // --- light-barrier lock
    void LockBarrier();
    void TimerGesperrtTimer();
    void LedLockClick(QObject* sender);
    void ComPortDSR(QObject* sender);
    // Line changes the port could not keep: shown in the status bar and journalled.
    void ComPortDropped(QObject* sender, int dropped);
    // The port and the priority its watch thread got (info box).
    QString BarrierWatchText() const;
    void ComPortOpen(QObject* sender);
    void ComPortClose(QObject* sender);

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

    // --- protocol file, start list, backup
    // Writes the table; false when the file could not be written (nothing is half-written).
    bool SaveProtocolText(const QString& fileName);
    void LoadProtocolText(const QString& fileName);
    // Replaces the data rows with a start list's rows; name histories and selection follow.
    void FillStartList(const QList<QStringList>& rows);
    // Class, club and vehicle of the drivers of the last start list with named columns.
    QList<StartList::TEntrant> Entrants;
    void sbSaveClick(QObject* sender);
    void sbLoadClick(QObject* sender);
    // The automatic backup: program title + ".txt" in the current folder (or the
    // user's application data folder when that cannot be written or is a file the
    // user saved or loaded).
    void WriteBackup();
    QString BackupFileName() const;
    QString PreviousBackupFileName() const;
    // Filter strings of the file dialogs ("description|pattern|...").
    QString OpenFilter() const;
    QString SaveFilter() const;

    // --- web page and printing
    // The report's content from the table and the texts of the window.
    THtmlReport ReportContent() const;
    // Writes the page; an error box when the file cannot be written.
    bool WriteHtmlReport(const QString& fileName);
    // The page of the buttons: program title + ".html" in the current folder (or
    // the application data folder when that cannot be written).
    QString ReportFileName() const;
    void sbHTMLClick(QObject* sender); // Tag 0 opens the page, Tag 1 prints
    bool PrintProtocol();
    // Tells why a printout did not come out (the PDF file or the printer).
    static void ReportPrintFailed(const QPrinter& printer);
    // Opens a file with the desktop's default application; tests replace it.
    static std::function<void(const QString&)> OpenDocument;
    // Runs the print dialog on the printer; tests replace it. True to print.
    static std::function<bool(QPrinter*)> ExecPrintDialog;
    // Error box (error icon, OK); tests replace it.
    static std::function<void(const QString&)> ShowError;

    // --- Word and Excel
    TProtocolExport OfficeContent() const;
    // The export itself shows nothing; false when the document was not written.
    bool ExportToWord(int mode, const QString& fileName);
    void ExportToExcel(const QString& fileName);    // errors in an error box
    void ImportExcelSheet(const QString& fileName); // the table stays as it was on errors
    void sbWordClick(QObject* sender);
    void sbExcelClick(QObject* sender);
    // The document engines; tests put recording stand-ins here.
    static TWordFactory CreateWordBasic;
    static TExcelFactory CreateExcelApplication;
    QString WordTemplatePath;
    bool ExcelAvailable = false;
    QString ExcelFileTypeName = QStringLiteral("MS Excel");

    // Messages to the user; tests replace it.
    static std::function<void(const QString&)> ShowMessage;
    // Runs a file dialog modally; tests replace it. True when a file was chosen.
    static std::function<bool(QFileDialog*)> ExecFileDialog;

    // --- live results on the local network (LiveResults.cpp), a listener like any other
    TMenuItem* mLive = nullptr;
    TLiveResults* Live() const { return FLive.get(); }

    // --- event journal and recovery (FMainJournal.cpp)
    enum TEventSource { esKey, esMouse, esBarrier, esRestored };
    TEventSource FEventSource = esKey; // of the event being handled
    TRunEvents FRun{2, 2};             // the run in progress, since the last RESET
    TJournalWriter FJournal;
    Journal::TInterruptedRun FInterrupted; // found at start-up, offered once
    QDir FJournalDir; // the backup's folder at start-up; a later move of the backup keeps it
    QString JournalFileName() const;
    QString PreviousJournalFileName() const;
    // Retires the old journal once the new one holds the lines waiting for it.
    void StartJournal();
    // An invalid wall time stands for now.
    void JournalLine(const QString& event, const Journal::TFields& fields,
                     const QDateTime& wall = QDateTime());
    QByteArray FJournalWaiting; // lines written before the journal was started
    QString FJournalProblem;    // reported once the window shows
    bool FProtocolRestored = false;
    // After a program run that did not end properly: the protocol as it stood then.
    void RestoreProtocol(const Journal::TInterruptedRun& run);
    // The boot the ticks count from; tests replace it.
    static std::function<QString()> BootId;
    // After START, LAP or FINISH: remembered, journalled, a dropped-out car's events passed over.
    void RecordRunEvent(TRunEventKind kind, int car, uint32_t tick);
    bool RunComplete() const;
    // Reports a journal that could not be read and asks whether the interrupted run of
    // the last program run goes on (after the window shows).
    void OfferRecovery();
    void RestoreRun(const Journal::TInterruptedRun& run);
    // Clocks, lap displays, counter and controls from the run's events.
    void ApplyRunState();

    // --- corrections (FMainCorrections.cpp)
    void mUndoClick(QObject* sender);
    void mDNF1Click(QObject* sender);
    void mDNF2Click(QObject* sender);
    void CarDropsOut(int car);
    void TakeBackResults();
    void DNS1Click(QObject* sender);
    void SortGrid1DblClick(QObject* sender);
    void EditLapCell(int col, int row);
    // Asks for a text; tests replace it. True when the user confirmed.
    static std::function<bool(const QString& label, QString& text)> AskText;
    struct TEnteredRow {
        bool Appended = false;
        QStringList Before, After;
    };
    // The rows a run's results went into carry a mark of their car, which moves with
    // them through sorting and stays when the row is edited.
    static QObject* EnteredMark(int car);
    void ClearEnteredMarks();
    std::vector<TEnteredRow> FEnteredRows; // what the run's results changed in the protocol
    bool FResultsEntered = false;

    // --- layout and lifecycle
    void ArrangeForCars();
    void TimerDateTimer();
    void bInfoClick(QObject* sender);
    void LogoClick();
    void bHelpClick(QObject* sender);
    // Settings dialog: fill, show, apply (bCFG and F2).
    void bCFGClick(QObject* sender);
    TCfgDialog* CfgDialog = nullptr;
    // Runs the settings dialog modally; tests replace it.
    static std::function<int(TCfgDialog*)> ExecCfgDialog;
    // The stored values as the window holds them now, and applying a read set.
    TStoredSettings CurrentSettings() const;
    void ApplySettings(const TStoredSettings& s);
    // The per-user store of this program title; further named values may sit beside ours.
    TSettingsStore& SettingsStore() { return *FSettingsStore; }
    QString HelpFile; // a club's own help beside the program, else the built-in one
    THelpViewer* HelpViewer = nullptr;
    TStartSound* StartSound = nullptr;
    TColor TimerFontColor = clBlack; // "C2": font colour of PanelTimer

    // Components, by their names.
    TPanel *Panel1, *PanelResize, *PanelControl, *PanelTimerOwner, *Panel8, *PanelTimer, *Panel3,
        *PanelRight, *PanelButtons, *Panel4, *PanelDate, *PanelProtocol;
    std::array<TPanel*, 2> LapSpacers{};
    TLbSpeedButton *bHelp, *bCFG, *bInfo;
    QLabel *LogoPart1, *LogoPart2, *LogoPart3, *LogoShadow1, *LogoShadow2;
    QLabel* LedLabel;
    TLed* LedLock;
    TLbButton *bStart, *bLAP, *bFinish, *bReset;
    TFrameTimer *FrameTimer1, *FrameTimer2;
    std::array<TFrameLapTimer*, 11> FrameLapTimers{}; // FrameLapTimer1..10
    QLineEdit *eTitle, *eNR;
    TLbSpeedButton *sbLoad, *sbSave, *sbPrint, *sbClsAll, *sbWord, *sbExcel, *sbHTML;
    QLabel* Panel4Caption;
    QFrame* StatusBar1;
    std::array<QLabel*, 3> StatusPanels{}; // the third: light-barrier notices
    QMenu* HideMenu1;
    TMenuItem *mStart, *mLAP, *mStop, *mReset, *LockLSStart1, *mHilfe, *mCFG, *Info1, *Hilfe1,
        *Drucker1, *Beenden1;
    QTimer *TimerDate, *TimerGesperrtStart;
    TSortGrid* SortGrid1;
    TComPort* ComPort;
    QMenu* PopupMenuList;
    TMenuItem *Sortierenprotokoll1, *Erase1, *DNS1;
    TMenuItem *mUndo, *mDNF1, *mDNF2;
    TFDlgYesNo* FDlgYesNo;
    QFileDialog *OpenDialog1, *SaveDialog1;
    int OpenFilterIndex = 1; // 1-based, as stored
    int SaveFilterIndex = 1;
    QString TextFileTypeName = QStringLiteral("Textdatei");
    QString WordFileTypeName = QStringLiteral("MS Word");
    QString HtmlFileTypeName = QStringLiteral("Webseite");

protected:
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool event(QEvent* e) override;

private:
    // Start-up sequence after the controls exist, and the shutdown.
    void FormCreate();
    void FormDestroy();
    void ApplyStoredBounds(const TStoredSettings& s);
    void PlaceCursorOnStart();
    void CreateControls();
    void CreateMenu();
    void CreateProtocol();
    void CreateFileDialogs();
    void CreateOfficeCommands();
    void CreateCorrections();
    void LayoutControls();
    // What a change of the window size runs (also after clearing the protocol).
    void FormResize();
    // The one place that calls the listeners, and what it is called with.
    void Announce(const std::function<void(TRunListener&)>& call);
    // An invalid wall time stands for now.
    void AnnounceRunEvent(TRunNoticeKind kind, int car, uint32_t tick,
                          const QDateTime& wall = QDateTime());
    bool FRanking = false; // the ranking's own sort is no change of its own
    void AnnounceProtocol(TProtocolChangeKind kind, int row = -1, int col = -1,
                          const QString& text = QString(), const QString& name = QString());
    void CreateListeners();
    std::vector<TRunListener*> FRunListeners;
    std::unique_ptr<TBackupAutosave> FBackupAutosave;
    std::unique_ptr<TLiveResults> FLive;
    std::unique_ptr<TJournalListener> FJournalListener;

    // The dead time runs from the stamped time of the event that started it:
    // FDeadTimeEnd ends it that much earlier than TimerGesperrtStart would.
    // deadTimeEnd: armed because the dead time that ended then ran out.
    void ArmBarrier(std::optional<uint32_t> since, std::optional<uint32_t> deadTimeEnd = {});
    bool DeadTimeOverAt(uint32_t tick) const;
    QTimer* FDeadTimeEnd = nullptr;
    uint32_t FLockTick = 0;              // stamp of the event that started the dead time
    std::optional<uint32_t> FArmedSince; // the barrier takes edges stamped from here on
    std::optional<uint32_t> FDeadTimeEndedAt; // the end of the dead time that armed it

    TBackupFile FBackup{ProgramTitle()};
    bool FResetAlignedLeft = false; // RESET stands where START was once a run is complete
    bool FCursorPlaced = false;     // START gets the pointer once, at the first showing
    std::unique_ptr<TSettingsStore> FSettingsStore;
    TStoredSettings FStored; // as read at start-up
};
