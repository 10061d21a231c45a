// Loading a 10,000-line start list (Windows-1252, and as quoted UTF-8 CSV) and
// saving 10,000 protocol rows.
#include "FMain.h"
#include "TimeText.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    QDir::setCurrent(dir.path());
    const QString list = dir.filePath(QStringLiteral("start.txt"));
    {
        QFile f(list);
        f.open(QIODevice::WriteOnly);
        f.write("Start-Nr.;Name\r\n");
        for (int i = 1; i <= 10000; ++i)
            f.write(QByteArray::number(i) + ";Fahrer M\xfcller " + QByteArray::number(i) + "\r\n");
    }
    // The same list as a current spreadsheet exports it: UTF-8 without mark, quoted.
    const QString csv = dir.filePath(QStringLiteral("start.csv"));
    {
        QFile f(csv);
        f.open(QIODevice::WriteOnly);
        f.write("\"Start-Nr.\";\"Name\"\r\n");
        for (int i = 1; i <= 10000; ++i)
            f.write(QByteArray::number(i) + ";\"M\xc3\xbcller; Fahrer " + QByteArray::number(i) +
                    "\"\r\n");
    }
    TFormMain w;
    QElapsedTimer t;
    t.start();
    w.LoadProtocolText(csv);
    const double loadCsv = t.nsecsElapsed() / 1e6;
    t.restart();
    w.LoadProtocolText(list);
    const double load = t.nsecsElapsed() / 1e6;
    for (int r = 1; r < w.SortGrid1->RowCount(); ++r)
        for (int c = 2; c <= 8; ++c)
            w.SortGrid1->SetCells(c, r, TimeToText(50000 + r * 7 + c));
    t.restart();
    const bool ok = w.SaveProtocolText(dir.filePath(QStringLiteral("p.txt")));
    const double save = t.nsecsElapsed() / 1e6;
    std::printf("load of a 10000-line start list: %.1f ms (%d rows)\n", load,
                w.SortGrid1->RowCount() - 1);
    std::printf("load of the same list as quoted UTF-8 CSV: %.1f ms\n", loadCsv);
    std::printf("save of 10000 rows: %.1f ms (%s)\n", save, ok ? "written" : "FAILED");
    return 0;
}
