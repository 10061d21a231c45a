// The sortable grid as a widget: header clicks, sort events, rows, selection,
// the modified flag and the mouse and keyboard rules.
#include "GridFixture.h"

#include <QLineEdit>
#include <QMenu>
#include <QScrollBar>
#include <QSet>
#include <QStyleOptionSlider>
#include <QTest>

using namespace GridTest;

namespace {

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
        QTest::addColumn<int>("releaseY");
        QTest::newRow("other column") << 40 << 1 << 40 << 5;
        QTest::newRow("near left edge") << 3 << 0 << 3 << 5;
        QTest::newRow("near right edge") << 78 << 0 << 78 << 5;
        QTest::newRow("released in the data area") << 40 << 0 << 40 << 105;
    }
    void headerClicksThatDoNotSort() {
        QFETCH(int, pressDx);
        QFETCH(int, pressCol);
        QFETCH(int, releaseDx);
        QFETCH(int, releaseY);
        Fixture f(Names);
        f.grid.SetOptions(f.grid.Options() & ~goColSizing);
        int sorts = 0;
        f.grid.OnBeginSort = [&](QObject*, int&) { ++sorts; };
        QTest::mousePress(f.grid.Header()->viewport(), Qt::LeftButton, {},
                          f.HeaderPoint(pressCol, pressDx));
        QTest::mouseRelease(f.grid.Header()->viewport(), Qt::LeftButton, {},
                            f.HeaderPoint(0, releaseDx) + QPoint(0, releaseY - 5));
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
        for (int i = 0; i < 4; ++i) { // a touchpad: quarter notches add up
            QWheelEvent part(p, f.grid.viewport()->mapToGlobal(p), {}, {0, -30}, Qt::NoButton, {},
                             Qt::NoScrollPhase, false);
            QApplication::sendEvent(f.grid.viewport(), &part);
        }
        QCOMPARE(f.grid.TopRow(), 19);
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
        f.grid.SortOptions().SortCol = 1;
        f.grid.InsertColumn(1);
        QCOMPARE(f.grid.SortOptions().SortCol, 2); // still "Name"
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
    void outOfRangeArgumentsChangeNothing_data() {
        QTest::addColumn<int>("op");
        QTest::addColumn<int>("a");
        QTest::addColumn<int>("b");
        // op: 0 InsertRow, 1 DeleteRow, 2 MoveRow, 3 SwapRows, 4 InsertColumn, 5 DeleteColumn,
        // 6 MoveColumn, 7 SortByColumn
        QTest::newRow("InsertRow(-1)") << 0 << -1 << 0;
        QTest::newRow("InsertRow(99)") << 0 << 99 << 0;
        QTest::newRow("DeleteRow(-1)") << 1 << -1 << 0;
        QTest::newRow("DeleteRow(0) header") << 1 << 0 << 0;
        QTest::newRow("DeleteRow(99)") << 1 << 99 << 0;
        QTest::newRow("MoveRow(0, 2) header") << 2 << 0 << 2;
        QTest::newRow("MoveRow(1, 99)") << 2 << 1 << 99;
        QTest::newRow("SwapRows(0, 2) header") << 3 << 0 << 2;
        QTest::newRow("SwapRows(2, 99)") << 3 << 2 << 99;
        QTest::newRow("InsertColumn(-1)") << 4 << -1 << 0;
        QTest::newRow("InsertColumn(99)") << 4 << 99 << 0;
        QTest::newRow("DeleteColumn(-1)") << 5 << -1 << 0;
        QTest::newRow("DeleteColumn(2)") << 5 << 2 << 0;
        QTest::newRow("MoveColumn(-1, 1)") << 6 << -1 << 1;
        QTest::newRow("SortByColumn(7)") << 7 << 7 << 0;
    }
    void outOfRangeArgumentsChangeNothing() {
        QFETCH(int, op);
        QFETCH(int, a);
        QFETCH(int, b);
        Fixture f(Names);
        auto texts = [&f] {
            QStringList all;
            for (int r = 0; r < f.grid.RowCount(); ++r)
                all << f.grid.Rows(r).join(QLatin1Char('|'));
            return all;
        };
        const QStringList before = texts();
        int events = 0;
        f.grid.OnBeginSort = [&](QObject*, int&) { ++events; };
        f.grid.OnRowInsert = f.grid.OnRowDelete = [&](QObject*, int) { ++events; };
        f.grid.OnColumnInsert = f.grid.OnColumnDelete = [&](QObject*, int) { ++events; };
        switch (op) {
        case 0: f.grid.InsertRow(a); break;
        case 1: f.grid.DeleteRow(a); break;
        case 2: f.grid.MoveRow(a, b); break;
        case 3: f.grid.SwapRows(a, b); break;
        case 4: f.grid.InsertColumn(a); break;
        case 5: f.grid.DeleteColumn(a); break;
        case 6: f.grid.MoveColumn(a, b); break;
        case 7: f.grid.SortByColumn(a); break;
        }
        QCOMPARE(texts(), before);
        QCOMPARE(f.grid.ColCount(), 2);
        QCOMPARE(events, 0);
        QVERIFY(!f.grid.Modified());
        QCOMPARE(f.grid.SortOptions().SortCol, 0);
        QCOMPARE(f.grid.FindRow(5, QString(), false), -1); // no column 5: not "found" empty
    }

    void insertRowWhileResortingKeepsEveryRow() {
        Fixture f(Names);
        f.grid.SortOptions().SortCol = 1;
        f.grid.SortByColumn(1);
        f.grid.SortOptions().UpdateOnSizeChange = true;
        int inserted = -1;
        f.grid.OnRowInsert = [&](QObject*, int r) { inserted = r; };
        f.grid.InsertRow(2);
        QVERIFY(f.grid.IsRowEmpty(inserted));
        QCOMPARE(f.grid.Row(), inserted);
        f.grid.InsertRow(2);
        QCOMPARE(f.grid.RowCount(), 7);
        QStringList names = f.Column(1);
        names.sort();
        QCOMPARE(names, (QStringList{"", "", "B", "a", "b", "c"}));
        QVERIFY(f.grid.IsRowEmpty(f.grid.Row()));
    }

    void insertRowNeverTouchesTheHeader_data() {
        QTest::addColumn<int>("rowCount");
        QTest::addColumn<int>("at");
        QTest::addColumn<int>("newRow");
        QTest::newRow("no data rows, at 0") << 1 << 0 << 1;
        QTest::newRow("no rows at all, at 1") << 0 << 1 << 1;
        QTest::newRow("data rows, at 0") << 5 << 0 << 1;
    }
    void insertRowNeverTouchesTheHeader() {
        QFETCH(int, rowCount);
        QFETCH(int, at);
        QFETCH(int, newRow);
        Fixture f(Names);
        f.grid.SetRowCount(rowCount);
        f.grid.InsertRow(at);
        QCOMPARE(f.grid.Rows(0), (QStringList{"Nr", "Name"}));
        QCOMPARE(f.grid.Row(), newRow);
        QVERIFY(f.grid.IsRowEmpty(newRow));
        QCOMPARE(f.grid.RowCount(), std::max(rowCount + 1, 2));
    }

    void widthAndHeightChangesFireOnce_data() {
        QTest::addColumn<int>("op");
        QTest::addColumn<int>("widthEvents");
        QTest::addColumn<int>("heightEvents");
        QTest::newRow("SetColWidths") << 0 << 1 << 0;
        QTest::newRow("same width again") << 1 << 0 << 0;
        QTest::newRow("AutoSizeColumns") << 2 << 1 << 0;
        QTest::newRow("SetRowHeights") << 3 << 0 << 1;
        QTest::newRow("SetDefaultRowHeight") << 4 << 0 << 1;
        QTest::newRow("user drags a column edge") << 5 << 1 << 0;
    }
    void widthAndHeightChangesFireOnce() {
        QFETCH(int, op);
        QFETCH(int, widthEvents);
        QFETCH(int, heightEvents);
        Fixture f(Names);
        f.grid.SetOptions(f.grid.Options() | goColSizing);
        int widths = 0, heights = 0;
        f.grid.OnColumnWidthsChanged = [&](QObject*) { ++widths; };
        f.grid.OnRowHeightsChanged = [&](QObject*) { ++heights; };
        QWidget* hv = f.grid.Header()->viewport();
        switch (op) {
        case 0: f.grid.SetColWidths(1, 120); break;
        case 1: f.grid.SetColWidths(1, 80); break;
        case 2: f.grid.AutoSizeColumns(true); break;
        case 3: f.grid.SetRowHeights(2, 40); break;
        case 4: f.grid.SetDefaultRowHeight(30); break;
        case 5: {
            const QPoint edge = f.HeaderPoint(0, 80);
            QTest::mousePress(hv, Qt::LeftButton, {}, edge);
            QMouseEvent move(QEvent::MouseMove, edge + QPoint(30, 0),
                             hv->mapToGlobal(edge + QPoint(30, 0)), Qt::NoButton, Qt::LeftButton,
                             {});
            QApplication::sendEvent(hv, &move);
            QTest::mouseRelease(hv, Qt::LeftButton, {}, edge + QPoint(30, 0));
            QCOMPARE(f.grid.ColWidths(0), 110);
            break;
        }
        }
        QCOMPARE(widths, widthEvents);
        QCOMPARE(heights, heightEvents);
    }

    void currentRowStaysSelected() {
        Fixture f({{"n"}, {"1"}, {"2"}, {"3"}, {"4"}, {"5"}});
        f.grid.SetMultiSelect(true);
        QWidget* vp = f.grid.viewport();
        QTest::mouseClick(vp, Qt::LeftButton, {}, f.CellPoint(0, 2));
        QTest::mouseClick(vp, Qt::LeftButton, Qt::ControlModifier, f.CellPoint(0, 4));
        QTest::mouseClick(vp, Qt::LeftButton, Qt::ControlModifier, f.CellPoint(0, 5));
        QTest::mouseClick(vp, Qt::LeftButton, {}, f.CellPoint(0, 3)); // a plain click starts anew
        QCOMPARE(f.grid.SelectionOrder(), QStringList{"3"});
        QTest::mouseClick(vp, Qt::LeftButton, Qt::ControlModifier, f.CellPoint(0, 5));
        QTest::mouseClick(vp, Qt::LeftButton, Qt::ControlModifier, f.CellPoint(0, 5));
        QCOMPARE(f.grid.SelectedRows(), QStringList{"3"});
        QCOMPARE(f.grid.Row(), 3);
    }

    void clickEventsFireOnce_data() {
        QTest::addColumn<bool>("multi");
        QTest::addColumn<int>("button");
        QTest::addColumn<bool>("dbl");
        QTest::addColumn<int>("selectedEvents");
        QTest::addColumn<int>("dblEvents");
        QTest::newRow("single select, click") << false << int(Qt::LeftButton) << false << 1 << 0;
        QTest::newRow("multi select, click") << true << int(Qt::LeftButton) << false << 1 << 0;
        QTest::newRow("left double-click") << false << int(Qt::LeftButton) << true << 0 << 1;
        QTest::newRow("right double-click") << false << int(Qt::RightButton) << true << 0 << 0;
    }
    void clickEventsFireOnce() {
        QFETCH(bool, multi);
        QFETCH(int, button);
        QFETCH(bool, dbl);
        QFETCH(int, selectedEvents);
        QFETCH(int, dblEvents);
        Fixture f({{"n"}, {"1"}, {"2"}, {"3"}});
        f.grid.SetMultiSelect(multi);
        int selected = 0, doubles = 0;
        f.grid.OnRowSelected = [&](QObject*) { ++selected; };
        f.grid.OnDblClick = [&](QObject*) { ++doubles; };
        const auto b = Qt::MouseButton(button);
        if (dbl)
            QTest::mouseDClick(f.grid.viewport(), b, {}, f.CellPoint(0, 3));
        else
            QTest::mouseClick(f.grid.viewport(), b, {}, f.CellPoint(0, 3));
        QCOMPARE(selected, selectedEvents);
        QCOMPARE(doubles, dblEvents);
    }

    void userMovesColumnsAndRows() {
        Fixture f({{"A", "B", "C"}, {"a1", "b1", "c1"}, {"a2", "b2", "c2"}, {"a3", "b3", "c3"}});
        f.grid.SetOptions(f.grid.Options() | goColMoving | goRowMoving);
        f.grid.SortOptions().SortCol = 0;
        Drag(f.grid.Header()->viewport(), f.HeaderPoint(0, 40),
             f.HeaderPoint(2, f.grid.ColWidths(2) - 5));
        QCOMPARE(f.grid.Rows(0), (QStringList{"B", "C", "A"}));
        QCOMPARE(f.grid.Rows(1), (QStringList{"b1", "c1", "a1"}));
        QCOMPARE(f.grid.SortOptions().SortCol, 2); // stays on "A"
        QVERIFY(f.grid.Modified());
        QCOMPARE(f.grid.Header()->visualIndex(0), 0); // the view keeps its own order
        f.grid.SetModified(false);
        QHeaderView* rows = f.grid.verticalHeader();
        QVERIFY(rows->isVisible());
        const auto rowPoint = [&](int row) {
            return QPoint(5, rows->sectionViewportPosition(row - 1) + 5);
        };
        Drag(rows->viewport(), rowPoint(3), rowPoint(1));
        QCOMPARE(f.Column(2), (QStringList{"a3", "a1", "a2"}));
        QVERIFY(f.grid.Modified());
    }

    void userSizesRows() {
        Fixture f(Names);
        f.grid.SetOptions(f.grid.Options() | goRowSizing);
        int heights = 0;
        f.grid.OnRowHeightsChanged = [&](QObject*) { ++heights; };
        QHeaderView* rows = f.grid.verticalHeader();
        const int bottom = rows->sectionViewportPosition(1) + rows->sectionSize(1) - 1;
        Drag(rows->viewport(), QPoint(5, bottom), QPoint(5, bottom + 20));
        QCOMPARE(f.grid.RowHeights(2), f.grid.DefaultRowHeight() + 20);
        QVERIFY(heights >= 1);
    }

    void editorStaysOpenWhenAlwaysShown() {
        Fixture f(Names);
        f.grid.SetOptions(f.grid.Options() | goEditing | goAlwaysShowEditor);
        QVERIFY(f.grid.EditorMode());
        f.grid.GoToCell(1, 3, false);
        QVERIFY(f.grid.EditorMode());
        QWidget* editor = f.grid.indexWidget(f.grid.currentIndex());
        QVERIFY(editor);
        QCOMPARE(editor->objectName(), QStringLiteral("InplaceEditor"));
        editor->setFocus();
        static_cast<QLineEdit*>(editor)->selectAll();
        QTest::keyClicks(editor, QStringLiteral("Zoe"));
        QTest::keyClick(editor, Qt::Key_Down);
        QCOMPARE(f.grid.Cells(1, 3), QStringLiteral("Zoe"));
        QCOMPARE(f.grid.Row(), 4);
        QTRY_VERIFY(f.grid.EditorMode());
    }

    void thumbTracking_data() {
        QTest::addColumn<bool>("tracking");
        QTest::newRow("follows the thumb") << true;
        QTest::newRow("on release") << false;
    }
    void thumbTracking() {
        QFETCH(bool, tracking);
        QList<QStringList> rows{{"n"}};
        for (int i = 1; i <= 100; ++i)
            rows << QStringList{QString::number(i)};
        Fixture f(rows);
        if (tracking) f.grid.SetOptions(f.grid.Options() | goThumbTracking);
        QScrollBar* bar = f.grid.verticalScrollBar();
        bar->setSliderDown(true);
        bar->setSliderPosition(50);
        QCOMPARE(f.grid.TopRow(), tracking ? 51 : 1);
        bar->setSliderDown(false);
        QCOMPARE(f.grid.TopRow(), 51);
    }

    void proportionalThumb() {
        QList<QStringList> rows{{"n"}};
        for (int i = 1; i <= 500; ++i)
            rows << QStringList{QString::number(i)};
        Fixture f(rows);
        QScrollBar* bar = f.grid.verticalScrollBar();
        auto thumb = [bar] {
            QStyleOptionSlider opt;
            opt.initFrom(bar);
            opt.orientation = bar->orientation();
            opt.minimum = bar->minimum();
            opt.maximum = bar->maximum();
            opt.sliderPosition = bar->sliderPosition();
            opt.pageStep = bar->pageStep();
            opt.singleStep = bar->singleStep();
            return bar->style()->subControlRect(QStyle::CC_ScrollBar, &opt,
                                                QStyle::SC_ScrollBarSlider, bar);
        };
        const QRect fixed = thumb();
        QCOMPARE(fixed.height(), fixed.width()); // a square thumb
        f.grid.SetProportionalScrollBars(true);
        f.grid.SetRowCount(12); // a few rows: the thumb grows with the visible share
        QTRY_VERIFY(thumb().height() > 3 * fixed.height());
        f.grid.SetProportionalScrollBars(false);
        QCOMPARE(thumb().height(), fixed.height());
    }
};

QTEST_MAIN(TstSortGrid)
#include "tst_sortgrid.moc"
