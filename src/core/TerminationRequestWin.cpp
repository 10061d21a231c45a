#include "TerminationRequest.h"

// Windows ends a GUI program through WM_QUERYENDSESSION/WM_CLOSE, which Qt
// already turns into a normal close.
void QuitOnTerminationRequest() {}

bool TerminationRequested() {
    return false;
}
