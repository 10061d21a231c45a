#pragma once
#include <QCoreApplication>
#include <QElapsedTimer>

// Runs the event loop until pred holds, at most timeoutMs; returns pred().
template <class F> bool WaitUntil(F pred, int timeoutMs = 2000) {
    QElapsedTimer t;
    t.start();
    while (!pred() && t.elapsed() < timeoutMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return pred();
}
