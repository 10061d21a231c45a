#pragma once
// The event journal and the recovery of an interrupted run: a listener of the main
// window that owns the journal file. At start-up it reads the journal of the last
// program run; after an end without the closing line it brings the protocol back
// as it stood, and once the window shows it offers the interrupted run again.
#include "Journal.h"
#include "JournalListener.h"

#include <QDir>
#include <functional>

class TFormMain;

class TRecovery : public TJournalListener {
public:
    explicit TRecovery(TFormMain& window);

    // At start-up, listening already: reads the last journal, restores the protocol
    // after an unclean end, and starts the new journal unless a run waits for an answer.
    void Open();
    // After the window shows: reports a journal that could not be read and asks
    // whether the interrupted run goes on.
    void Offer();
    void Closing() override; // the closing line, once the journal was started

    QString JournalFileName() const;
    QString PreviousJournalFileName() const;
    // An invalid wall time stands for now.
    void Line(const QString& event, const Journal::TFields& fields,
              const QDateTime& wall = QDateTime());

    TJournalWriter FJournal;
    Journal::TInterruptedRun FInterrupted; // found at start-up, offered once
    bool FProtocolRestored = false;
    // The boot the ticks count from; tests replace it.
    static std::function<QString()> BootId;

private:
    // Retires the old journal once the new one holds the lines waiting for it.
    void Start();
    void RestoreProtocol(const Journal::TInterruptedRun& run);
    // Settings, title, run number and name boxes; with replay the run's events too.
    void RestoreRun(const Journal::TInterruptedRun& run, bool replay = true);
    // The run finished and the event database holds each of its cars' runs.
    bool Recorded(const Journal::TInterruptedRun& run) const;
    // The protocol has a row of each car's driver with the run's total.
    bool ShownInProtocol(const Journal::TInterruptedRun& run) const;

    TFormMain& FWindow;
    QDir FDir;               // the backup's folder at start-up; a later move of the backup keeps it
    QByteArray FWaiting;     // lines written before the journal was started
    QString FProblem;        // reported once the window shows
};
