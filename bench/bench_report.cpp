// The web page of 10,000 rows and the printed PDF of 1,000 rows.
#include "HtmlReport.h"
#include "Protocol.h"
#include "ReportPrint.h"
#include "TimeText.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QPrinter>
#include <QTemporaryDir>
#include <cstdio>

namespace {

THtmlReport Report(int rows) {
    THtmlReport r;
    r.Title = QStringLiteral("Porsche Cup Trainingslauf in Hockenheim");
    r.RunNumber = QStringLiteral("1");
    r.AppTitle = QStringLiteral("Zeitnahme");
    r.LongDate = QStringLiteral("Montag, 7. Dezember 2026");
    r.Laps = 5;
    r.Rows << QStringList(ProtocolCaptions.begin(), ProtocolCaptions.end());
    for (int i = 1; i <= rows; ++i) {
        QStringList row{QString::number(i), QStringLiteral("Fahrer M\u00fcller & Sohn %1").arg(i)};
        for (int c = 2; c <= 8; ++c)
            row << TimeToText(50000 + i * 7 + c);
        row << QString::number(i);
        r.Rows << row;
    }
    for (int c = 0; c < 10; ++c)
        r.ColWidths << (c == pcRank ? -1 : 72);
    return r;
}

} // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;

    const THtmlReport big = Report(10000);
    const QString html = dir.filePath(QStringLiteral("p.html"));
    // Best of five: the machine is shared, the best run is the page's own cost.
    double page = 1e9, text = 1e9;
    bool ok = true;
    QElapsedTimer t;
    for (int run = 0; run < 5; ++run) {
        t.restart();
        const QByteArray bytes = HtmlReport::Page(big);
        text = qMin(text, t.nsecsElapsed() / 1e6);
        t.restart();
        ok = WriteHtmlReport(html, big) && ok;
        page = qMin(page, t.nsecsElapsed() / 1e6);
    }
    std::printf("web page of 10000 rows: %.1f ms written to disk, %.1f ms of it the text "
                "(%lld bytes, %s; target < 50 ms)\n",
                page, text, QFileInfo(html).size(), ok ? "written" : "FAILED");

    const THtmlReport small = Report(1000);
    const QString pdf = dir.filePath(QStringLiteral("p.pdf"));
    for (int run = 0; run < 2; ++run) { // the first run loads the fonts
        QPrinter printer(QPrinter::HighResolution);
        ReportPrint::PreparePrinter(printer, small);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(pdf);
        t.restart();
        const int pages = ReportPrint::Print(printer, small);
        const double ms = t.nsecsElapsed() / 1e6;
        std::printf("PDF of 1000 rows (%s): %.1f ms (%d pages, %lld bytes; target < 1000 ms)\n",
                    run == 0 ? "first" : "again", ms, pages, QFileInfo(pdf).size());
    }
    return 0;
}
