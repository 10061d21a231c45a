// Loading a 10,000-line start list (Windows-1252, and as quoted UTF-8 CSV),
// saving 10,000 protocol rows, and a registration export of 10,000 rows with named
// columns from the file to the mapping dialog ready to show, and on to the protocol.
#include "DlgStartList.h"
#include "FMain.h"
#include "StartListImport.h"
#include "TimeText.h"

#include <QDir>
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
    const QString named = dir.filePath(QStringLiteral("meldungen.csv"));
    {
        QFile f(named);
        f.open(QIODevice::WriteOnly);
        f.write("\xEF\xBB\xBFStartnummer;Nachname;Vorname;Verein;Klasse;Fahrzeug\r\n");
        for (int i = 1; i <= 10000; ++i)
            f.write(QByteArray::number(i) + ";M\xc3\xbcller;\"Fahrer " + QByteArray::number(i) +
                    "\";MSC Hockenheim;A" + QByteArray::number(i % 7) + ";Porsche 911\r\n");
    }
    TFormMain w;
    QElapsedTimer t;
    double preview = 0;
    StartListImport::ExecDialog = [&](TDlgStartList*) {
        preview = t.nsecsElapsed() / 1e6; // everything the user waits for before the dialog
        return int(QDialog::Accepted);
    };
    t.start();
    w.LoadProtocolText(named);
    const double namedTotal = t.nsecsElapsed() / 1e6;
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
    std::printf("named-column list of 10000 rows: mapping dialog ready %.1f ms, in the protocol "
                "%.1f ms\n",
                preview, namedTotal);
    return 0;
}
