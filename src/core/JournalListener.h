#pragma once
// The event journal hears every timing event and correction and writes it as one
// line; the window's handlers do not know it is there.
#include "Journal.h"
#include "RunListener.h"

#include <functional>

class TJournalListener : public TRunListener {
public:
    using TWriteLine = std::function<void(const QString& event, const Journal::TFields& fields)>;
    // With the wall time of a run event (ms since 1970), 0 for now.
    using TWriteTimedLine =
        std::function<void(const QString& event, const Journal::TFields& fields, qint64 wallMs)>;
    explicit TJournalListener(TWriteTimedLine write) : FWrite(std::move(write)) {}
    explicit TJournalListener(TWriteLine write)
        : FWrite([write](const QString& e, const Journal::TFields& f, qint64) { write(e, f); }) {}
    void RunEvent(const TRunNotice& n) override;
    void ProtocolChanged(const TProtocolChange& c) override;
    void ResultsEntered(const TRunResults&) override { FResultsEntered = true; }
    void BackupWritten(const QString& file, bool modified) override;
    void BarrierDropped(int dropped, int total) override;
    void BarrierWatch(const TBarrierWatchNotice& n) override;

protected:
    TWriteTimedLine FWrite;
    // Whether the protocol holds the results of the run in progress: the backup line says so.
    bool FResultsEntered = false;
};
