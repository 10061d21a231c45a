#pragma once
// The automatic backup follows every change of the protocol at once: a crash or a
// power loss at the track loses no typed lap, no DNS, no deleted row, no ranking.
#include "RunListener.h"

#include <functional>

class TBackupAutosave : public TRunListener {
public:
    explicit TBackupAutosave(std::function<void()> write) : FWrite(std::move(write)) {}
    void ProtocolChanged(const TProtocolChange&) override { FWrite(); }

private:
    std::function<void()> FWrite;
};
