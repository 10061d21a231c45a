#include "TerminationRequest.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

int Pipe[2] = {-1, -1};
bool Requested = false;

// Only async-signal-safe work here: the event loop does the rest.
void OnSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const auto n = ::write(Pipe[1], &byte, 1);
}

} // namespace

void QuitOnTerminationRequest() {
    if (Pipe[0] >= 0 || ::pipe(Pipe) != 0) return;
    for (const int fd : Pipe) {
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
        ::fcntl(fd, F_SETFL, O_NONBLOCK);
    }
    auto* notifier = new QSocketNotifier(Pipe[0], QSocketNotifier::Read, qApp);
    QObject::connect(notifier, &QSocketNotifier::activated, qApp, [] {
        char buffer[16];
        while (::read(Pipe[0], buffer, sizeof buffer) > 0) {
        }
        Requested = true;
        // exit, not quit: quit asks every window to close first, which brings up the
        // "Beenden?" question. exit ends the modal loops too, and every later one at once.
        QCoreApplication::exit(0);
    });
    struct sigaction action = {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int sig : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(sig, &action, nullptr);
}

bool TerminationRequested() {
    return Requested;
}
