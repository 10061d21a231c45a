#pragma once
// A shown grid filled with rows, and mouse helpers, for the grid tests.
#include "SortGrid.h"

#include <QApplication>
#include <QTest>

namespace GridTest {

struct Fixture {
    TSortGrid grid;
    QStringList messages;
    explicit Fixture(const QList<QStringList>& rows) {
        TSortGrid::ShowMessage = [this](const QString& m) { messages << m; };
        grid.resize(400, 300);
        grid.SetColCount(rows[0].size());
        grid.BeginUpdate();
        grid.SetRowCount(rows.size());
        for (int r = 0; r < rows.size(); ++r)
            for (int c = 0; c < rows[r].size(); ++c)
                grid.SetCells(c, r, rows[r][c]);
        grid.EndUpdate();
        grid.show();
        QVERIFY2(QTest::qWaitForWindowExposed(&grid), "grid not shown");
        // After showing: the last column fills the grid when it is resized.
        QApplication::processEvents();
        for (int c = 0; c < grid.ColCount(); ++c)
            grid.SetColWidths(c, 80);
        grid.SetModified(false);
    }
    QStringList Column(int c) const {
        QStringList l;
        for (int r = 1; r < grid.RowCount(); ++r)
            l << grid.Cells(c, r);
        return l;
    }
    QPoint HeaderPoint(int col, int dx) const {
        return QPoint(grid.Header()->sectionViewportPosition(col) + dx, 5);
    }
    void ClickHeader(int col, Qt::MouseButton button = Qt::LeftButton, int dx = 40) {
        QTest::mouseClick(grid.Header()->viewport(), button, {}, HeaderPoint(col, dx));
    }
    QPoint CellPoint(int col, int row) const {
        return QPoint(grid.columnViewportPosition(col) + 10, grid.rowViewportPosition(row - 1) + 5);
    }
};

// Press, move in steps and release with the left button held throughout.
inline void Drag(QWidget* w, QPoint from, QPoint to) {
    QTest::mousePress(w, Qt::LeftButton, {}, from);
    for (int i = 1; i <= 10; ++i) {
        const QPoint p = from + (to - from) * i / 10;
        QMouseEvent move(QEvent::MouseMove, p, w->mapToGlobal(p), Qt::NoButton, Qt::LeftButton,
                         {});
        QApplication::sendEvent(w, &move);
    }
    QTest::mouseRelease(w, Qt::LeftButton, {}, to);
}

} // namespace GridTest
