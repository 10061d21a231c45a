// Start-up to the first painted main window, offscreen and without sound: each of
// ten runs starts this program anew (so loading and linking count) and reports the
// time from main() to the first paint of the window; the parent adds the wall time
// from starting the process to that report.
#include "FMain.h"
#include "SimComDevice.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>

namespace {

class TFirstPaint : public QObject {
public:
    explicit TFirstPaint(const QElapsedTimer& t) : FTimer(t) {}
    bool eventFilter(QObject* o, QEvent* e) override {
        if (e->type() == QEvent::Paint && !FDone && o->isWidgetType()) {
            FDone = true;
            std::printf("%.2f\n", FTimer.nsecsElapsed() / 1e6);
            std::fflush(stdout);
            QTimer::singleShot(0, qApp, &QCoreApplication::quit);
        }
        return QObject::eventFilter(o, e);
    }

private:
    const QElapsedTimer& FTimer;
    bool FDone = false;
};

int Child(int argc, char* argv[], const QElapsedTimer& t) {
    QApplication app(argc, argv);
    QTemporaryDir scratch; // settings and backup of this run only, no START.wav
    QDir::setCurrent(scratch.path());
    TSettingsStore::UseFolder(scratch.path());
    TComBackend::Current() = TSimComBus::Backend(); // the probe never opens a real device
    TFormMain w;
    TFirstPaint watch(t);
    app.installEventFilter(&watch); // the first paint of any of the window's widgets
    w.show();
    return app.exec();
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char* argv[]) {
    QElapsedTimer t;
    t.start();
    qputenv("QT_QPA_PLATFORM", "offscreen");
    if (argc > 1 && QByteArray(argv[1]) == "child") return Child(argc, argv, t);

    QCoreApplication app(argc, argv);
    std::vector<double> inside, wall;
    for (int i = 0; i < 10; ++i) {
        QProcess p;
        QElapsedTimer w;
        w.start();
        p.start(QCoreApplication::applicationFilePath(), {QStringLiteral("child")});
        if (!p.waitForReadyRead(30000)) {
            std::printf("run %d: no window\n", i);
            return 1;
        }
        const double ms = w.nsecsElapsed() / 1e6;
        inside.push_back(p.readLine().trimmed().toDouble());
        wall.push_back(ms);
        p.waitForFinished(30000);
    }
    std::printf("start-up to first painted window (offscreen, no sound, 10 runs)\n");
    std::printf("  main() to first paint:   median %.1f ms, max %.1f ms\n", Median(inside),
                *std::max_element(inside.begin(), inside.end()));
    std::printf("  process start to paint:  median %.1f ms, max %.1f ms\n", Median(wall),
                *std::max_element(wall.begin(), wall.end()));
    return 0;
}
