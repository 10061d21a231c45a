#pragma once
// The window "Läufe": every run of an event from the event database, newest
// first, with the history of the chosen run.
#include "EventDb.h"
#include "RunCorrections.h"
#include "RunList.h"

#include <QColor>
#include <QComboBox>
#include <QDialog>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <functional>

// The colours of marked times, alike in the protocol and the windows of runs.
namespace RunMarkColors {
inline const QColor Flag{255, 196, 112}; // a suspicious time
inline const QColor Hand{176, 214, 255}; // a time from a backup stopwatch
} // namespace RunMarkColors

// The run list with its marks as fonts: the counting run bold, a run taken back struck out.
class TRunTableModel : public TRunListModel {
public:
    using TRunListModel::TRunListModel;
    QVariant data(const QModelIndex& index, int role) const override;
};

// "Läufe" and "Wertung" are ordinary windows beside the main window: never kept
// above it (a click meant for the title must not land in them), and they do not
// keep the program running once the main window is closed. Made without a parent.
void MakeSideWindow(QWidget* w);

class TFormRuns : public QDialog {
public:
    explicit TFormRuns(QWidget* parent = nullptr);

    QComboBox* cbEvent;
    QLineEdit* eFilter;
    QTableView* tvRuns;
    QLabel* lHistory;
    QListWidget* lbHistory;
    QPushButton *bToProtocol, *bLoadProtocol, *bCorrection, *bChecked, *bExcel, *bCsv, *bClose;
    // Penalty and status of the chosen run (keys P, D, W, G while the list has the focus).
    TRunCorrectionActions* Corrections;
    TRunListModel* Model;

    // Reads the events and the runs of the chosen one (the current event when
    // eventUuid is empty) from the database file.
    void Load(const QString& dbPath, const QString& eventUuid = QString());
    // Reads the chosen event again, keeping filter and selection.
    void Reload();
    QString ShownEvent() const;
    QString ShownEventTitle() const;
    const TEffectiveRun* SelectedRun() const;
    void SelectRow(int row);
    bool ExportCsv(const QString& fileName);
    bool ExportXlsx(const QString& fileName);
    // The latest counting run of every driver of the shown event, oldest first.
    std::vector<TEffectiveRun> LatestRunPerDriver();
    // A long list shows its newest runs at once and reads the older ones on
    // while the window stays usable.
    bool Loading() const { return !FCursor.AtEnd(); }
    // Reads the rest of the list now (an export or the protocol needs all of it).
    void FinishLoading();

    // "In Protokoll übernehmen" on the chosen run.
    std::function<void(QObject* sender, const TEffectiveRun& run)> OnToProtocol;
    // "Geprüft" on the chosen run: its suspicious times are cleared.
    std::function<void(QObject* sender, const TEffectiveRun& run)> OnChecked;
    // "Protokoll aus Veranstaltung laden": the latest run of every driver.
    std::function<void(QObject* sender, const std::vector<TEffectiveRun>& runs)> OnLoadProtocol;
    // Asks for a file to save to; tests replace it. Empty: cancelled.
    static std::function<QString(QWidget*, const QString& caption, const QString& filter)> AskSaveFile;
    // After every run of the shown event was read (the standings mark the counting ones).
    std::function<void(QObject* sender)> OnRunsShown;
    // Error box; tests replace it.
    static std::function<void(QWidget*, const QString&)> ShowError;

private:
    void ShowEvent(int index);
    void ShowHistory();
    void SaveAs(bool xlsx);
    void ReadMore();
    void AddOlder(std::vector<TEffectiveRun> runs);
    void AllRead();

    QString FPath;
    std::vector<TEventInfo> FEvents;
    TEventDb FDb;
    TRunCursor FCursor; // closed before the connection it reads on
    QTimer FReadTimer;
    std::vector<TEffectiveRun> FRead; // read, not yet listed
    QElapsedTimer FSinceListed;
    QString FSelectWhenRead; // the run chosen before a reload, until it is read again
};
