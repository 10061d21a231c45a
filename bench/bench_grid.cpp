// Sorting, filtering, searching and clearing the grid with protocol-like rows, beside a
// bare std::stable_sort of the same key texts with the same comparison.
#include "SortGrid.h"
#include "TimeText.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QScrollBar>
#include <cstdio>
#include <ctime>

namespace {

const char* const Names[] = {"Hans Meier", "Peter Schulz", "Anna Becker", "Jürgen Groß",
                             "Eva Lang",   "Max Müller",   "Lena Koch",   "Tom Weber"};

void Fill(TSortGrid& g, int rows) {
    QRandomGenerator rng(42);
    g.BeginUpdate();
    g.SetColCount(10);
    g.SetRowCount(rows + 1);
    for (int r = 1; r <= rows; ++r) {
        g.SetCells(0, r, QString::number(rng.bounded(1, 500)));
        g.SetCells(1, r, QString::fromUtf8(Names[rng.bounded(8)]) + QString::number(r % 97));
        int total = 0;
        for (int lap = 0; lap < 5; ++lap) {
            const int t = 50000 + rng.bounded(30000);
            total += t;
            g.SetCells(2 + lap, r, TimeToText(t));
        }
        g.SetCells(7, r, TimeToText(total));
        g.SetCells(8, r, TimeToText(50000 + rng.bounded(3000)));
    }
    g.EndUpdate();
}

double Ms(QElapsedTimer& t) {
    return t.nsecsElapsed() / 1e6;
}

// CPU time of this thread: steady on a machine that other work keeps busy.
double CpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

void SortCase(int rows, bool secondary) {
    TSortGrid g;
    Fill(g, rows);
    g.SortOptions().SecondaryIndex = secondary ? QStringLiteral("0,1") : QString();
    g.OnGetSortStyle = [&g](QObject*, int col, TSortStyle& style) {
        if (col == 0) {
            style = ssNumeric;
        } else if (col == 1) {
            style = ssNormal;
        } else {
            style = ssCustom;
            g.SortOptions().SortCompare = CompareTimeTexts;
        }
    };
    double cpu = CpuMs();
    g.SortByColumn(7);
    const double grid = CpuMs() - cpu;

    // The bare sort: the same key texts, folded once, with the same comparisons.
    Fill(g, rows);
    const TSortLocale loc = TSortLocale::From();
    struct Row {
        QString total, number, name;
    };
    std::vector<Row> keys;
    keys.reserve(rows);
    for (int r = 1; r <= rows; ++r)
        keys.push_back({SortRules::FoldAscii(g.Cells(7, r)), SortRules::FoldAscii(g.Cells(0, r)),
                        SortRules::FoldAscii(g.Cells(1, r))});
    cpu = CpuMs();
    std::stable_sort(keys.begin(), keys.end(), [&](const Row& a, const Row& b) {
        int c = CompareTimeTexts(a.total, b.total);
        if (c == 0 && secondary)
            c = SortRules::CompareTexts(a.number, b.number, ssNumeric, nullptr, loc);
        if (c == 0 && secondary) c = SortRules::Ordinal(a.name, b.name);
        return c < 0;
    });
    const double bare = CpuMs() - cpu;
    std::printf("sort %6d rows, %s: grid %8.2f ms, bare stable_sort %7.2f ms (CPU), ratio %.2f\n",
                rows,
                secondary ? "2 secondary keys" : "single key      ", grid, bare, grid / bare);
}

// Filtering on and off with the protocol's sort column and styles: on keeps about half
// of a ranked table.
void FilterCase(int rows, bool ranked) {
    TSortGrid g;
    Fill(g, rows);
    g.SortOptions().SortCol = 7;
    g.OnGetSortStyle = [&g](QObject*, int col, TSortStyle& style) {
        style = col == 0 ? ssNumeric : col == 1 ? ssNormal : ssCustom;
        if (style == ssCustom) g.SortOptions().SortCompare = CompareTimeTexts;
    };
    g.OnSetFilter = [](const QStringList& row, bool& accept) {
        accept = row.at(1).at(0) < QLatin1Char('L');
    };
    // The protocol is normally ranked: filtering then keeps its order.
    if (ranked) g.SortByColumn(7);
    QElapsedTimer t;
    t.start();
    double cpu = CpuMs();
    g.SetFiltered(true);
    const double on = Ms(t), onCpu = CpuMs() - cpu;
    const int shown = g.RowCount() - 1;
    t.restart();
    cpu = CpuMs();
    g.SetFiltered(false);
    const double off = Ms(t), offCpu = CpuMs() - cpu;
    std::printf("filter %d %s rows: on %.2f ms (CPU %.2f ms, %d shown), off %.2f ms (CPU %.2f "
                "ms)\n",
                rows, ranked ? "ranked" : "unranked", on, onCpu, shown, off, offCpu);
}

} // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    for (int rows : {10000, 100000})
        for (bool secondary : {false, true})
            SortCase(rows, secondary);

    FilterCase(100000, true);
    FilterCase(100000, false);

    TSortGrid g;
    Fill(g, 100000);
    g.SetCells(1, 100000, QStringLiteral("Zuletzt"));
    QElapsedTimer t;
    t.start();
    const int found = g.FindRow(1, QStringLiteral("Zuletzt"), false);
    std::printf("FindRow over 100000 rows: %.2f ms (row %d)\n", Ms(t), found);
    t.restart();
    g.FindRow(1, QStringLiteral("zuletzt"), true);
    std::printf("FindRow ignoring case over 100000 rows: %.2f ms\n", Ms(t));
    t.restart();
    g.Clear();
    std::printf("Clear of 100000 rows: %.2f ms\n", Ms(t));

    TSortGrid view;
    Fill(view, 10000);
    view.resize(742, 400);
    view.show();
    QApplication::processEvents();
    const int pages = 50;
    double worst = 0, sum = 0;
    for (int i = 0; i < pages; ++i) {
        t.restart();
        view.SetTopRow(view.TopRow() + view.VisibleRowCount());
        view.viewport()->repaint();
        const double ms = Ms(t);
        worst = std::max(worst, ms);
        sum += ms;
    }
    std::printf("scrolling a page of a 10000-row grid: %.2f ms average, %.2f ms worst\n",
                sum / pages, worst);
    return 0;
}
