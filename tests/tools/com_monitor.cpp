// Watches a real serial port's modem lines: com_monitor <n> opens COMn (see the
// README for the device each number means) and prints every CTS, DSR, carrier
// and ring change with its time in milliseconds since the start.
#include "Comms.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <cstdio>

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Zeitnahme"));
    if (argc < 2) {
        std::fprintf(stderr, "usage: com_monitor <port number 1..16>\n");
        return 2;
    }
    TComPort port;
    port.Port = static_cast<uint8_t>(QByteArray(argv[1]).toInt());
    port.FlowControl = fcRtsCts;
    port.Events = EventBit(evCTS) | EventBit(evDSR) | EventBit(evRLSD) | EventBit(evRing);
    QElapsedTimer clock;
    clock.start();
    auto show = [&](const char* what) {
        const uint32_t s = port.ModemStatus();
        std::printf("%10lld ms  %-4s  CTS %d  DSR %d  DCD %d  RI %d\n",
                    static_cast<long long>(clock.elapsed()), what, (s & MS_CTS_ON) ? 1 : 0,
                    (s & MS_DSR_ON) ? 1 : 0, (s & MS_RLSD_ON) ? 1 : 0, (s & MS_RING_ON) ? 1 : 0);
        std::fflush(stdout);
    };
    port.OnCTS = [&](QObject*) { show("CTS"); };
    port.OnDSR = [&](QObject*) { show("DSR"); };
    port.OnRLSD = [&](QObject*) { show("DCD"); };
    port.OnRing = [&](QObject*) { show("RI"); };
    try {
        port.Open();
    } catch (const EComError& e) {
        std::fprintf(stderr, "COM%d (%s): %s\n", int(port.Port),
                     qPrintable(ComPortDevicePath(port.Port)), qPrintable(e.Message()));
        return 1;
    }
    std::printf("watching COM%d (%s), Ctrl+C ends\n", int(port.Port),
                qPrintable(ComPortDevicePath(port.Port)));
    show("now");
    return app.exec();
}
