#pragma once
// What the event database at the window offers the other additions (standings,
// time checks), so that none of them needs to know the addition that owns it.
#include <QString>
#include <functional>
#include <vector>

class TEventStore;
class TEventRecorder;
class TRunChecker;
class TFormRuns;

class TEventServices {
public:
    virtual ~TEventServices() = default;
    virtual TEventStore& Store() = 0;
    virtual TEventRecorder& Recorder() = 0;
    virtual TRunChecker& Checker() = 0;
    virtual QString DatabasePath() const = 0;

    // Records were committed; othersArrived: another station's records were pulled.
    std::vector<std::function<void(bool othersArrived)>> OnRecordsChanged;
    // The window "Läufe" was made: others attach their commands and marks to it.
    std::vector<std::function<void(TFormRuns* runs)>> OnRunsWindow;

protected:
    void RecordsChanged(bool othersArrived) {
        for (const auto& f : OnRecordsChanged)
            if (f) f(othersArrived);
    }
    void RunsWindowMade(TFormRuns* runs) {
        for (const auto& f : OnRunsWindow)
            if (f) f(runs);
    }
};
