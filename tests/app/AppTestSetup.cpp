// Linked into every test and benchmark of the main window: no stored settings are read or
// written, and the port probe and ports see only the simulated devices. A test that
// needs either sets it itself.
#include "Comms.h"
#include "Settings.h"
#include "SimComDevice.h"

namespace {

struct TAppTestSetup {
    TAppTestSetup() {
        TSettingsStore::UseNone();
        TComBackend::Current() = TSimComBus::Backend();
    }
} const AppTestSetup;

} // namespace
