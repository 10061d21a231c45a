#pragma once
// The event journal hears every timing event and correction and writes it as one
// line; the window's handlers do not know it is there.
#include "Journal.h"
#include "RunListener.h"

#include <functional>

class TJournalListener : public TRunListener {
public:
    using TWriteLine = std::function<void(const QString& event, const Journal::TFields& fields)>;
    explicit TJournalListener(TWriteLine write) : FWrite(std::move(write)) {}
    void RunEvent(const TRunNotice& n) override;
    void ProtocolChanged(const TProtocolChange& c) override;

private:
    TWriteLine FWrite;
};
