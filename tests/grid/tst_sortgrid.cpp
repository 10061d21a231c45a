// The sortable grid as a widget: header clicks, sort events, rows, selection,
// the modified flag and the mouse and keyboard rules.
#include "SortGrid.h"

#include <QLineEdit>
#include <QMenu>
#include <QScrollBar>
#include <QSet>
#include <QTest>

namespace {

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
        for (int c = 0; c < grid.ColCount(); ++c)
            grid.SetColWidths(c, 80);
        grid.SetModified(false);
        grid.show();
        QVERIFY2(QTest::qWaitForWindowExposed(&grid), "grid not shown");
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

const QList<QStringList> Names{{"Nr", "Name"}, {"3", "b"}, {"1", "a"}, {"2", "B"}, {"10", "c"}};

} // namespace

class TstSortGrid : public QObject {
    Q_OBJECT
private slots:
    void headerClicksToggleDirection() {
        Fixture f(Names);
        f.grid.SortOptions().SortCol = 1;
        f.ClickHeader(0);
        QCOMPARE(f.grid.SortOptions().SortDirection, sdAscending);
        QCOMPARE(f.Column(0), (QStringList{"1", "10", "2", "3"})); // ssNormal: ordinal
        f.ClickHeader(0);
        QCOMPARE(f.grid.SortOptions().SortDirection, sdDescending);
        QCOMPARE(f.Column(0), (QStringList{"3", "2", "10", "1"}));
        f.ClickHeader(0);
        QCOMPARE(f.grid.SortOptions().SortDirection, sdAscending);
        f.ClickHeader(1, Qt::RightButton);
        QCOMPARE(f.grid.SortOptions().SortDirection, sdDescending);
        QCOMPARE(f.grid.SortOptions().SortCol, 1);
        f.ClickHeader(1, Qt::RightButton); // stays descending
        QCOMPARE(f.grid.SortOptions().SortDirection, sdDescending);
        QCOMPARE(f.Column(1), (QStringList{"c", "B", "b", "a"})); // b and B tie: prior order stays
        QVERIFY(!f.grid.Modified());                              // a sort does not modify
    }

    void headerClicksThatDoNotSort_data() {
        QTest::addColumn<int>("pressDx");
        QTest::addColumn<int>("pressCol");
        QTest::addColumn<int>("releaseDx");
        QTest::newRow("other column") << 40 << 1 << 40;
        QTest::newRow("near left edge") << 3 << 0 << 3;
        QTest::newRow("near right edge") << 78 << 0 << 78;
    }
    void headerClicksThatDoNotSort() {
        QFETCH(int, pressDx);
        QFETCH(int, pressCol);
        QFETCH(int, releaseDx);
        Fixture f(Names);
        f.grid.SetOptions(f.grid.Options() & ~goColSizing);
        int sorts = 0;
        f.grid.OnBeginSort = [&](QObject*, int&) { ++sorts; };
        QTest::mousePress(f.grid.Header()->viewport(), Qt::LeftButton, {},
                          f.HeaderPoint(pressCol, pressDx));
        QTest::mouseRelease(f.grid.Header()->viewport(), Qt::LeftButton, {},
                            f.HeaderPoint(0, releaseDx));
        QCOMPARE(sorts, 0);
    }

    void sortEventsAndCompareReset() {
        Fixture f(Names);
        QStringList log;
        f.grid.OnBeginSort = [&](QObject*, int& col) {
            log << QStringLiteral("begin %1").arg(col);
            col = 0; // the handler may redirect the sort
        };
        f.grid.OnGetSortStyle = [&](QObject*, int col, TSortStyle& style) {
            log << QStringLiteral("style %1").arg(col);
            style = ssCustom;
            f.grid.SortOptions().SortCompare = [](const QString& a, const QString& b) {
                return a.toInt() - b.toInt();
            };
        };
        f.grid.OnEndSort = [&](QObject*, int col) { log << QStringLiteral("end %1").arg(col); };
        f.grid.OnEndUpdate = [&](QObject*) { log << QStringLiteral("endupdate"); };
        f.grid.SortByColumn(1);
        QCOMPARE(log, (QStringList{"begin 1", "style 0", "end 0", "endupdate"}));
        QCOMPARE(f.grid.SortOptions().SortCol, 1);
        QCOMPARE(f.Column(0), (QStringList{"1", "2", "3", "10"}));
        QVERIFY(f.grid.SortOptions().SortCompare == nullptr);
    }

    void cannotSort() {
        Fixture f(Names);
        f.grid.SortOptions().CanSort = false;
        int events = 0;
        f.grid.OnBeginSort = [&](QObject*, int&) { ++events; };
        f.grid.OnEndUpdate = [&](QObject*) { ++events; };
        f.ClickHeader(1, Qt::RightButton);
        QCOMPARE(events, 0);
        QCOMPARE(f.grid.SortOptions().SortDirection, sdDescending); // click rule still applies
        QCOMPARE(f.Column(1), (QStringList{"b", "a", "B", "c"}));
    }

    void selectionFollowsItsRow() {
        Fixture f(Names);
        f.grid.GoToCell(0, 4, false); // "10", "c"
        f.grid.SortOptions().SortStyle = ssNumeric;
        f.grid.SortByColumn(0);
        QCOMPARE(f.grid.Row(), 4);
        f.grid.GoToCell(0, 1, false); // "1"
        f.grid.SortOptions().SortDirection = sdDescending;
        f.grid.SortByColumn(0);
        QCOMPARE(f.grid.Row(), 4);
        QCOMPARE(f.grid.Cells(1, f.grid.Row()), QStringLiteral("a"));
        QCOMPARE(f.grid.SelectedRows(), QStringList{"4"});
    }

    void glyphAndShortCaption() {
        Fixture f(Names);
        f.grid.SetCells(1, 0, QStringLiteral("A very long caption"));
        f.grid.SortOptions().SortCol = 1;
        const QFontMetrics fm(f.grid.font());
        const QString s = f.grid.ShortenedCaption(1, fm);
        QVERIFY(s.endsWith(QStringLiteral("..")));
        QVERIFY(fm.horizontalAdvance(s) <= 80 - 12 || s.size() <= 3);
        QCOMPARE(f.grid.ShortenedCaption(0, fm), QStringLiteral("Nr"));
        const QImage up = TSortGrid::GlyphImage(sdAscending);
        QCOMPARE(up.size(), QSize(8, 7));
        QCOMPARE(QColor(up.pixel(3, 0)), QColor(Qt::white));
        QCOMPARE(QColor(up.pixel(4, 6)), QColor(128, 128, 128));
    }

    void findRow_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("ignoreCase");
        QTest::addColumn<int>("row");
        QTest::newRow("exact") << "B" << false << 3;
        QTest::newRow("case differs") << "C" << false << -1;
        QTest::newRow("ignore case") << "C" << true << 4;
        QTest::newRow("upper of two") << "b" << true << 1;
        QTest::newRow("empty finds empty") << "" << false << 5;
        QTest::newRow("header never") << "Name" << false << -1;
    }
    void findRow() {
        QFETCH(QString, text);
        QFETCH(bool, ignoreCase);
        QFETCH(int, row);
        Fixture f({{"Nr", "Name"}, {"3", "b"}, {"1", "a"}, {"2", "B"}, {"10", "c"}, {"", ""}});
        QCOMPARE(f.grid.FindRow(1, text, ignoreCase), row);
    }

    void clearLeavesOneRow() {
        Fixture f(Names);
        int sizeEvents = 0, selected = 0;
        f.grid.OnSizeChanged = [&](QObject*, int, int) { ++sizeEvents; };
        f.grid.OnRowSelected = [&](QObject*) { ++selected; };
        f.grid.GoToCell(1, 3, false);
        f.grid.SetModified(true);
        f.grid.Clear();
        QCOMPARE(f.grid.RowCount(), 2);
        QCOMPARE(f.grid.Row(), 1);
        QVERIFY(f.grid.IsRowEmpty(1));
        QVERIFY(!f.grid.Modified());
        QCOMPARE(sizeEvents, 0);
        QVERIFY(selected >= 1);
        QCOMPARE(f.grid.Cells(1, 0), QStringLiteral("Name"));
    }

    void modifiedFlagRules() {
        Fixture f(Names);
        int events = 0;
        f.grid.OnModified = [&](QObject*) { ++events; };
        f.grid.SetCells(1, 2, QStringLiteral("z"));
        QVERIFY(!f.grid.Modified());
        f.grid.BeginUpdate();
        f.grid.SetRowCount(8);
        f.grid.EndUpdate();
        QVERIFY(!f.grid.Modified()); // inside the bracket: only stored
        f.grid.SetRowCount(9);
        QVERIFY(f.grid.Modified());
        QCOMPARE(events, 1);
    }

    void sizeChangeJumpsToFirstCell() {
        Fixture f(Names);
        f.grid.GoToCell(1, 4, true);
        int oldRows = -1;
        f.grid.OnSizeChanged = [&](QObject*, int, int oldRowCount) { oldRows = oldRowCount; };
        f.grid.SetRowCount(7);
        QCOMPARE(f.grid.Col(), 0);
        QCOMPARE(f.grid.Row(), 1);
        QCOMPARE(f.grid.TopRow(), 1);
        QCOMPARE(oldRows, 5);
        QVERIFY(f.messages.isEmpty());
        f.grid.SetRowCount(1);
        QCOMPARE(f.messages, QStringList{QStringLiteral("Rowsize too small")});
        QCOMPARE(f.grid.RowCount(), 1);
    }

    void storeKeepsRowsBeyondCount() {
        Fixture f(Names);
        f.grid.BeginUpdate();
        f.grid.SetRowCount(3);
        f.grid.SetRowCount(5);
        f.grid.EndUpdate();
        QCOMPARE(f.grid.Cells(1, 4), QStringLiteral("c"));
    }

    void deleteRow() {
        Fixture f({{"Nr", "Name"}, {"1", "a"}});
        f.grid.DeleteRow(1);
        QCOMPARE(f.grid.RowCount(), 2);
        QVERIFY(f.grid.IsRowEmpty(1));
        QVERIFY(f.grid.Modified());
        Fixture g(Names);
        int deleted = -1;
        g.grid.OnRowDelete = [&](QObject*, int r) { deleted = r; };
        g.grid.DeleteRow(2);
        QCOMPARE(g.Column(1), (QStringList{"b", "B", "c"}));
        QCOMPARE(deleted, 2);
    }

    void insertRow() {
        Fixture f(Names);
        int inserted = -1;
        f.grid.OnRowInsert = [&](QObject*, int r) { inserted = r; };
        f.grid.InsertRow(4); // at the last row: appends after it
        QCOMPARE(f.Column(1), (QStringList{"b", "a", "B", "c", ""}));
        QCOMPARE(inserted, 5);
        QCOMPARE(f.grid.Row(), 5);
        f.grid.InsertRow(2); // elsewhere: before it
        QCOMPARE(f.Column(1), (QStringList{"b", "", "a", "B", "c", ""}));
        QCOMPARE(f.grid.Row(), 2);
        QCOMPARE(f.grid.SelectedRows(), QStringList{"2"});
    }

    void swapAndMoveKeepSortColumn() {
        Fixture f(Names);
        f.grid.SwapRows(1, 4);
        QCOMPARE(f.Column(1), (QStringList{"c", "a", "B", "b"}));
        f.grid.SortOptions().SortCol = 1;
        f.grid.MoveColumn(1, 0);
        QCOMPARE(f.grid.SortOptions().SortCol, 0);
        QCOMPARE(f.grid.Cells(0, 0), QStringLiteral("Name"));
    }

    void popupOnDataRowsOnly() {
        Fixture f(Names);
        QMenu menu;
        menu.addAction(QStringLiteral("x"));
        f.grid.PopupMenu = &menu;
        int sorts = 0;
        f.grid.OnBeginSort = [&](QObject*, int&) { ++sorts; };
        f.ClickHeader(1, Qt::RightButton);
        QVERIFY(!menu.isVisible());
        QCOMPARE(sorts, 1);
        QTest::mouseClick(f.grid.viewport(), Qt::RightButton, {}, f.CellPoint(1, 2));
        QVERIFY(menu.isVisible());
        menu.hide();
    }

    void wheelSteps() {
        QList<QStringList> rows{{"n"}};
        for (int i = 1; i <= 100; ++i)
            rows << QStringList{QString::number(i)};
        Fixture f(rows);
        f.grid.SetTopRow(20);
        QCOMPARE(f.grid.TopRow(), 20);
        const QPoint p = f.CellPoint(0, 21);
        QWheelEvent down(p, f.grid.viewport()->mapToGlobal(p), {}, {0, -120}, Qt::NoButton, {},
                         Qt::NoScrollPhase, false);
        QApplication::sendEvent(f.grid.viewport(), &down);
        QCOMPARE(f.grid.TopRow(), 21);
        QWheelEvent up(p, f.grid.viewport()->mapToGlobal(p), {}, {0, 120}, Qt::NoButton, {},
                       Qt::NoScrollPhase, false);
        QApplication::sendEvent(f.grid.viewport(), &up);
        QCOMPARE(f.grid.TopRow(), 18);
        QCOMPARE(f.grid.Row(), 1); // the wheel never moves the current cell
    }

    void multiSelectWithCtrlAndShift() {
        Fixture f({{"n"}, {"1"}, {"2"}, {"3"}, {"4"}, {"5"}});
        f.grid.SetMultiSelect(true);
        QVERIFY(f.grid.HasOption(goRowSelect));
        QWidget* vp = f.grid.viewport();
        QTest::mouseClick(vp, Qt::LeftButton, {}, f.CellPoint(0, 2));
        QCOMPARE(f.grid.SelectedRows(), QStringList{"2"});
        QTest::mouseClick(vp, Qt::LeftButton, Qt::ControlModifier, f.CellPoint(0, 4));
        QCOMPARE(f.grid.SelectedRows(), (QStringList{"2", "4"}));
        QCOMPARE(f.grid.Row(), 4);
        QTest::mouseClick(vp, Qt::LeftButton, Qt::ControlModifier, f.CellPoint(0, 4));
        QCOMPARE(f.grid.SelectedRows(), QStringList{"2"}); // ctrl again deselects
        QCOMPARE(f.grid.Row(), 2);
        QTest::keyPress(&f.grid, Qt::Key_Shift);
        QVERIFY(f.grid.HasOption(goRangeSelect));
        QTest::mouseClick(vp, Qt::LeftButton, Qt::ShiftModifier, f.CellPoint(0, 5));
        QTest::keyRelease(&f.grid, Qt::Key_Shift);
        QCOMPARE(f.grid.SelectedRows(), (QStringList{"2", "3", "4", "5"}));
        QVERIFY(f.grid.IsRowSelected(3));
    }

    void typeToFindOnSortColumn() {
        Fixture f({{"n", "name"}, {"1", "anna"}, {"2", "Bert"}, {"3", "berta"}});
        f.grid.SortOptions().SortCol = 1;
        f.grid.setFocus();
        QTest::keyClick(&f.grid, Qt::Key_B, {}, 5);
        QCOMPARE(f.grid.Row(), 2);
        QTest::keyClicks(&f.grid, QStringLiteral("b"));
        QCOMPARE(f.grid.Row(), 3);
        QTest::keyClicks(&f.grid, QStringLiteral("b"));
        QCOMPARE(f.grid.Row(), 2); // wraps around
    }

    void extendedKeys() {
        Fixture f(Names);
        f.grid.SetExtendedKeys(true);
        f.grid.GoToCell(0, 2, false);
        QTest::keyClick(&f.grid, Qt::Key_Insert, Qt::ControlModifier);
        QCOMPARE(f.grid.RowCount(), 6);
        QTest::keyClick(&f.grid, Qt::Key_Insert, Qt::ControlModifier | Qt::AltModifier);
        QCOMPARE(f.grid.RowCount(), 6); // modifiers must match exactly
        QTest::keyClick(&f.grid, Qt::Key_Delete, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(f.grid.ColCount(), 1);
    }

    void editingSetsModified() {
        Fixture f(Names);
        f.grid.SetOptions(f.grid.Options() | goEditing);
        f.grid.GoToCell(1, 2, false);
        f.grid.setFocus();
        QTest::keyClick(&f.grid, Qt::Key_F2);
        QVERIFY(f.grid.EditorMode());
        auto* editor = f.grid.findChild<QLineEdit*>(QStringLiteral("InplaceEditor"));
        QVERIFY(editor);
        editor->selectAll();
        QTest::keyClicks(editor, QStringLiteral("Zoe"));
        QTest::keyClick(editor, Qt::Key_Return);
        QTRY_COMPARE(f.grid.Cells(1, 2), QStringLiteral("Zoe")); // committed by a queued call
        QVERIFY(f.grid.Modified());
    }

    void autoSizeColumn() {
        Fixture f({{"N", "Name"}, {"", "a rather long name"}});
        f.grid.AutoSizeColumn(1, false);
        const QFontMetrics fm(f.grid.font());
        QCOMPARE(f.grid.ColWidths(1),
                 fm.horizontalAdvance(QStringLiteral("X")) +
                     fm.horizontalAdvance(QStringLiteral("a rather long name")));
        f.grid.SetColWidths(0, -1);
        f.grid.AutoSizeColumn(0, false);
        QCOMPARE(f.grid.ColWidths(0), -1); // hidden and not forced
        f.grid.SetCells(0, 0, QString());
        f.grid.SortOptions().SortCol = 1; // the sort column's caption counts 12 wider
        f.grid.AutoSizeColumn(0, true);
        QCOMPARE(f.grid.ColWidths(0), fm.horizontalAdvance(QStringLiteral("xx")));
    }
    void blankRowsWhileHiddenOrUpdating() {
        Fixture f(Names);
        auto pixelOfText = [&f] {
            const QImage img = f.grid.viewport()->grab().toImage();
            // Any dark pixel in the second data row (not selected) means text was drawn.
            const int top = f.grid.rowViewportPosition(1);
            for (int x = 0; x < 160; ++x)
                for (int y = top + 2; y < top + 18; ++y)
                    if (qGray(img.pixel(x, y)) < 100) return true;
            return false;
        };
        QVERIFY(pixelOfText());
        f.grid.SetHideRows(true);
        QVERIFY(!pixelOfText());
        QCOMPARE(f.grid.Row(), 1);
        f.grid.SetHideRows(false);
        QVERIFY(pixelOfText());
    }

    void cellFormatAskedForEveryDrawnCell() {
        Fixture f(Names);
        QSet<QPair<int, int>> asked;
        f.grid.OnGetCellFormat = [&](QObject*, int c, int r, TGridDrawState state,
                                     TFormatOptions& fo, bool&, bool&, bool&) {
            asked.insert({c, r});
            if (r == 0) QVERIFY(state & gdFixed);
            fo.AlignmentHorz = taRightJustify;
        };
        f.grid.viewport()->grab();
        f.grid.Header()->viewport()->grab();
        for (int r = 0; r < f.grid.RowCount(); ++r)
            for (int c = 0; c < f.grid.ColCount(); ++c)
                QVERIFY2(asked.contains({c, r}), qPrintable(QStringLiteral("%1,%2").arg(c).arg(r)));
    }

    void doubleClickNearHeaderEdgeFits() {
        Fixture f({{"N", "Name"}, {"1", "a rather long name indeed"}});
        int dbl = 0;
        f.grid.OnDblClick = [&](QObject*) { ++dbl; };
        const int edge = f.grid.Header()->sectionViewportPosition(1) + f.grid.ColWidths(1);
        QTest::mouseDClick(f.grid.Header()->viewport(), Qt::LeftButton, {}, QPoint(edge - 2, 5));
        const QFontMetrics fm(f.grid.font());
        QCOMPARE(f.grid.ColWidths(1),
                 fm.horizontalAdvance(QStringLiteral("X")) +
                     fm.horizontalAdvance(QStringLiteral("a rather long name indeed")));
        QCOMPARE(dbl, 1);
    }

    void dragStartsAfterTenPixels() {
        Fixture f(Names);
        int drags = 0;
        f.grid.OnStartDrag = [&](QObject*) { ++drags; };
        QWidget* vp = f.grid.viewport();
        const QPoint p = f.CellPoint(1, 1); // row 1 is selected
        QTest::mousePress(vp, Qt::LeftButton, {}, p);
        QMouseEvent near(QEvent::MouseMove, p + QPoint(8, 0), vp->mapToGlobal(p + QPoint(8, 0)),
                         Qt::NoButton, Qt::LeftButton, {});
        QApplication::sendEvent(vp, &near);
        QCOMPARE(drags, 0);
        QMouseEvent far(QEvent::MouseMove, p + QPoint(0, 11), vp->mapToGlobal(p + QPoint(0, 11)),
                        Qt::NoButton, Qt::LeftButton, {});
        QApplication::sendEvent(vp, &far);
        QCOMPARE(drags, 1);
        QApplication::sendEvent(vp, &far);
        QCOMPARE(drags, 1); // once per press
        QTest::mouseRelease(vp, Qt::LeftButton, {}, p);
    }

    void resortOnSizeChange() {
        Fixture f(Names);
        f.grid.SortOptions().SortCol = 1;
        f.grid.SortOptions().UpdateOnSizeChange = true;
        f.grid.SetRowCount(6);
        f.grid.SetCells(1, 5, QStringLiteral("0"));
        QCOMPARE(f.Column(1).first(), QStringLiteral("")); // the new empty row sorted first
        f.grid.BeginUpdate();
        QVERIFY(!f.grid.SortOptions().UpdateOnSizeChange); // off while the bracket is open
        f.grid.EndUpdate();
        QVERIFY(f.grid.SortOptions().UpdateOnSizeChange);
    }

    void columnsInsertAndDelete() {
        Fixture f(Names);
        int inserted = -1, deleted = -1;
        f.grid.OnColumnInsert = [&](QObject*, int c) { inserted = c; };
        f.grid.OnColumnDelete = [&](QObject*, int c) { deleted = c; };
        f.grid.InsertColumn(1);
        QCOMPARE(f.grid.ColCount(), 3);
        QCOMPARE(inserted, 1);
        QCOMPARE(f.grid.Cells(1, 1), QString());
        QCOMPARE(f.grid.Cells(2, 1), QStringLiteral("b"));
        QCOMPARE(f.grid.Col(), 1);
        f.grid.DeleteColumn(0);
        QCOMPARE(deleted, 0);
        QCOMPARE(f.grid.Cells(1, 0), QStringLiteral("Name"));
    }

    void goToCellScrolls() {
        QList<QStringList> rows{{"n"}};
        for (int i = 1; i <= 200; ++i)
            rows << QStringList{QString::number(i)};
        Fixture f(rows);
        f.grid.GoToCell(0, 150, true);
        QCOMPARE(f.grid.Row(), 150);
        QCOMPARE(f.grid.TopRow(), 149);
        QCOMPARE(f.grid.SelectedRows(), QStringList{"150"});
        f.grid.GoToCell(0, 500, true); // clamped to the last row
        QCOMPARE(f.grid.Row(), 200);
        QCOMPARE(f.grid.TopRow(), f.grid.RowCount() - f.grid.VisibleRowCount());
        QTest::keyClick(&f.grid, Qt::Key_Home);
        QCOMPARE(f.grid.Row(), 200); // without goRowSelect Home goes to the first column
        QTest::keyClick(&f.grid, Qt::Key_Home, Qt::ControlModifier);
        QCOMPARE(f.grid.Row(), 1);
    }
};

QTEST_MAIN(TstSortGrid)
#include "tst_sortgrid.moc"
