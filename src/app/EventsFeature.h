#pragma once
// The event database at the main window: its store and recorder listen to the
// window, the hidden-menu entries "Läufe", "Neue Veranstaltung" and "Protokoll aus
// Veranstaltung laden", and putting runs back into the protocol.
#include "EventRecorder.h"
#include "FRuns.h"

#include <QObject>
#include <QPointer>
#include <memory>

class TFormMain;
class TMenuItem;

class TEventsFeature : public QObject {
    Q_OBJECT
public:
    // Opens (or makes) the database beside the backup and listens to the window.
    explicit TEventsFeature(TFormMain* form);
    ~TEventsFeature() override;

    QString DatabasePath() const { return FStore.Path(); }
    TEventStore& Store() { return FStore; }
    TEventRecorder& Recorder() { return *FRecorder; }
    TFormRuns* Window() const { return FWindow; }

    void ShowRuns();
    void NewEvent();
    // The protocol row of the run's driver gets the run (a new row when there is none).
    void PutIntoProtocol(const TEffectiveRun& run);
    // The protocol becomes the latest run of every driver (asks first when it was changed).
    bool LoadProtocol(const std::vector<TEffectiveRun>& runs);
    // "Protokoll aus Veranstaltung laden" for the current event.
    void LoadCurrentEvent();

    TMenuItem *mRuns, *mNewEvent, *mLoadEvent;
    class TStandingsFeature* Standings = nullptr; // window "Wertung", penalties, classes

private:
    void Committed();
    TFormMain* FForm;
    TEventStore FStore;
    std::unique_ptr<TEventRecorder> FRecorder;
    QPointer<TFormRuns> FWindow;
    bool FReloadQueued = false;
};
