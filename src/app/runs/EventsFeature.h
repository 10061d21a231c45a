#pragma once
// The event database at the main window: its store and recorder listen to the
// window, the hidden-menu entries "Läufe", "Neue Veranstaltung" and "Protokoll aus
// Veranstaltung laden", putting runs back into the protocol, and the flags of
// suspicious times.
#include "EventRecorder.h"
#include "EventServices.h"
#include "RunChecker.h"
#include "FRuns.h"
#include "StationIdentity.h"
#include "StationLink.h"

#include <QLabel>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <memory>

class TFormMain;
class TMenuItem;

class TEventsFeature : public QObject, public TEventServices {
public:
    // Opens (or makes) the database beside the backup and listens to the window.
    explicit TEventsFeature(TFormMain* form);
    ~TEventsFeature() override;

    QString DatabasePath() const override { return FStore.Path(); }
    TEventStore& Store() override { return FStore; }
    TStationLink& Link() { return FLink; }
    QLabel* ServerStatus() const { return FServerStatus; }
    TEventRecorder& Recorder() override { return *FRecorder; }
    TRunChecker& Checker() override { return *FChecker; }
    TFormRuns* Window() const { return FWindow; }

    void ShowRuns();
    void NewEvent();
    // The protocol row of the run's driver gets the run (a new row when there is none).
    void PutIntoProtocol(const TEffectiveRun& run);
    // The protocol becomes the latest run of every driver (asks first when it was changed).
    bool LoadProtocol(const std::vector<TEffectiveRun>& runs);
    // "Protokoll aus Veranstaltung laden" for the current event.
    void LoadCurrentEvent();
    // The protocol from the current event's runs, without a question (a lost backup
    // after a crash); false when the event has none.
    bool RestoreProtocol();

    // "Server und Station": the dialog, and taking over its values.
    void ShowServerSettings();
    void ApplyServerSettings(const QString& server, const QString& station, bool othersToProtocol = true);
    // Runs of other stations into the protocol rows of their drivers, where newer.
    void OthersIntoProtocol();

    // Another station goes by this station's name: the question (text, the two
    // choices); true chooses to replace it. Tests replace it.
    static std::function<bool(QWidget*, const QString& text)> AskReplace;
    QString IdentityPath() const { return FIdentityPath; }

    TMenuItem *mRuns, *mNewEvent, *mLoadEvent, *mServer;
    // Records of other stations arrived (standings and live page may read again).
    std::function<void(TEventsFeature*)> OnRunsPulled;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Committed();
    // A start within today's event: its round and, without a title of the settings,
    // its title. Returns the status line ("" nothing changed).
    QString ContinueEvent();
    void StartLink(const QString& server);
    void ShowServerState(bool up, const QString& detail);
    void ShowServerSilence();
    void AskNameTaken(const QStringList& others); // once no run is timed
    void Pulled(bool events);
    void PlaceServerStatus();
    TFormMain* FForm;
    TEventStore FStore;
    TStationLink FLink;
    std::unique_ptr<TEventRecorder> FRecorder;
    QLabel* FServerStatus = nullptr;
    QString FServerText; // as in the settings, without a password
    QString FIdentityPath;
    TStationIdentity FIdentity;
    bool FServerUp = false;
    QTimer* FSilenceTimer = nullptr;
    bool FOthersToProtocol = true;
    std::unique_ptr<TRunChecker> FChecker; // listens after the recorder
    QPointer<TFormRuns> FWindow;
    bool FReloadQueued = false;
};
