// A timing device without hardware: timer_replay <file> [seconds between lines]
// opens a pseudo-terminal, prints its path (give it to the program as a port,
// e.g. [Ports] COM9=<path>, and choose COM9 as "Zeitgeber") and sends the file's
// lines one by one with CR, as a device sends its impulses. Lines starting with
// '#' are left out. "RSM" received from the program sends the whole file again.
#include <QByteArray>
#include <QFile>
#include <QList>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <poll.h>
#include <pty.h>
#include <thread>
#include <unistd.h>

int main(int argc, char* argv[]) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: timer_replay <file of lines> [seconds between lines]\n");
        return 2;
    }
    QFile file(QString::fromLocal8Bit(argv[1]));
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s\n", argv[1]);
        return 1;
    }
    QList<QByteArray> lines;
    for (QByteArray line : file.readAll().split('\n')) {
        line = line.trimmed().isEmpty() ? QByteArray() : line;
        while (line.endsWith('\r'))
            line.chop(1);
        if (!line.isEmpty() && !line.startsWith('#')) lines << line;
    }
    const int pauseMs = argc > 2 ? int(std::atof(argv[2]) * 1000) : 2000;
    int master = -1, slave = -1;
    char name[256] = {};
    if (openpty(&master, &slave, name, nullptr, nullptr) != 0) {
        std::perror("openpty");
        return 1;
    }
    std::printf("%s\n", name);
    std::fflush(stdout);
    auto send = [&](const QByteArray& line) {
        const QByteArray bytes = line + '\r';
        if (::write(master, bytes.constData(), bytes.size()) < 0) std::perror("write");
        std::printf("%s\n", line.constData());
        std::fflush(stdout);
    };
    QByteArray received;
    for (qsizetype next = 0;;) {
        pollfd p{master, POLLIN, 0};
        if (poll(&p, 1, next < lines.size() ? pauseMs : -1) > 0) {
            char buffer[64];
            const ssize_t n = ::read(master, buffer, sizeof buffer);
            if (n > 0) received.append(buffer, n);
            if (received.contains("RSM")) {
                received.clear();
                for (qsizetype i = 0; i < next; ++i)
                    send(lines[i]);
            }
            continue;
        }
        if (next < lines.size()) send(lines[next++]);
    }
}
