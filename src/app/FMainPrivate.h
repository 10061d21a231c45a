#pragma once
// The main window's own bookkeeping, apart from its described members. Only the
// window's units and its friends (recovery, corrections) include this.
#include "BackupAutosave.h"
#include "BackupFile.h"
#include "FMain.h"
#include "LiveResults.h"
#include "ProgramInfo.h"
#include "Recovery.h"
#include "TrackCorrections.h"

#include <QElapsedTimer>
#include <array>
#include <functional>
#include <optional>
#include <vector>

struct TFormMain::TPrivate {
    std::vector<TRunListener*> FRunListeners;
    bool Listening(const TRunListener* listener) const;
    std::unique_ptr<TBackupAutosave> FBackupAutosave;
    std::unique_ptr<TLiveResults> FLive;
    std::unique_ptr<TRecovery> FRecovery;
    std::unique_ptr<TTrackCorrections> FCorrections;
    QTimer* FStatusFade = nullptr; // clears the status message of a past event
    bool FRanking = false; // the ranking's own sort is no change of its own
    // The identity of each car's run, fixed at its START; a recovered run brings its own.
    std::array<QString, 3> FRunIds, FRestoredRunIds;

    // The dead time runs from the stamp of the event that started it: FDeadTimeEnd
    // ends it that much earlier than TimerGesperrtStart would.
    QTimer* FDeadTimeEnd = nullptr;
    uint32_t FLockTick = 0;                   // stamp of the event that started the dead time
    std::optional<uint32_t> FArmedSince;      // the barrier takes edges stamped from here on
    std::optional<uint32_t> FDeadTimeEndedAt; // the end of the dead time that armed it

    // The barrier's watch in the status bar, until a general notice area takes it:
    // its port lost or back, and a watch without real-time priority.
    QLabel* FBarrierNotice = nullptr;
    QLabel* FPriorityPanel = nullptr;
    QTimer* FBarrierNoticeEnd = nullptr; // "wieder verbunden" goes after a while
    bool FBarrierLost = false;           // the port's watch failed; told again when it is back

    TBackupFile FBackup{ProgramTitle()};
    bool FResetAlignedLeft = false; // RESET stands where START was once a run is complete
    bool FCursorPlaced = false;     // START gets the pointer once, at the first showing
    std::unique_ptr<TSettingsStore> FSettingsStore;
    TStoredSettings FStored; // as read at start-up

    QElapsedTimer FLastTimingEvent;                 // START, LAP, FINISH, RESET
    std::vector<std::function<void()>> FAfterRun;   // questions waiting for the run's end
    QTimer* FAfterRunTimer = nullptr;
    QString FBackupFailure; // file and cause while the backup cannot be written
};
