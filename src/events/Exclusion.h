#pragma once
// "Ausschluss": a driver disqualified for the whole event, not one run. It is
// recorded on one of the driver's runs (the one chosen when it was given) and
// concerns every run of that driver; the latest such record of the driver,
// given or taken back, decides. Window-free: standings and the next run's
// order both ask it.
#include "EventRecords.h"

#include <QHash>

struct TExclusion {
    bool Excluded = false;
    QString Reason;
    qint64 RecordedMs = -1; // -1: no record
};

// The latest exclusion record among the run's corrections.
TExclusion RunExclusion(const TEffectiveRun& e);
// Drivers (DriverKey) excluded from the event, with their exclusion.
QHash<QString, TExclusion> ExcludedDrivers(const std::vector<TEffectiveRun>& runs);
// The record that excludes the run's driver (excluded) or takes it back.
TCorrection ExclusionCorrection(const TRunRecord& run, bool excluded, const QString& reason);
// "Ausschluss: Reifen nicht zugelassen", as every output notes it.
QString ExclusionNote(const TExclusion& x);
