// Runs both car clocks for five seconds and reports how much they cost:
// digit repaints per second and process CPU time per second of wall time.
#include "FMain.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QElapsedTimer>
#include <QTimer>
#include <cstdio>
#include <ctime>

static double CpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec + ts.tv_nsec / 1e9;
}

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    QTemporaryDir scratch; // the window writes its backup protocol into the current folder
    QDir::setCurrent(scratch.path());
    TFormMain w;
    w.show();
    QApplication::processEvents();

    w.mStart->Click(); // car 1
    w.mLAP->Click();
    w.mStart->Click(); // car 2: both clocks run now

    int ticks = 0;
    QObject::connect(w.FrameTimer1->Clock, &QTimer::timeout, [&] { ++ticks; });
    const int repaints0 = TDigit::TotalRepaintRequests();
    const double cpu0 = CpuSeconds();
    QElapsedTimer wall;
    wall.start();
    QTimer::singleShot(5000, &app, &QCoreApplication::quit);
    app.exec();
    const double seconds = wall.elapsed() / 1000.0;
    const double cpu = CpuSeconds() - cpu0;
    const int repaints = TDigit::TotalRepaintRequests() - repaints0;

    std::printf("clocks: %.2f s wall, %d ticks of clock 1 (%.1f/s)\n", seconds, ticks,
                ticks / seconds);
    std::printf("clocks: digit repaints %.1f/s, %.2f per clock per tick\n", repaints / seconds,
                ticks ? repaints / (2.0 * ticks) : 0.0);
    std::printf("clocks: process CPU %.1f ms/s (%.2f %% of one core)\n", 1000 * cpu / seconds,
                100 * cpu / seconds);
    return 0;
}
