// Check-box, drop-down and ellipsis cells and the validation of edits.
#include "GridFixture.h"

#include <QLineEdit>
#include <QListWidget>
#include <QScreen>
#include <QScrollBar>
#include <QWindow>

using namespace GridTest;

namespace {

// Column 1 is a check box, column 2 a drop-down, column 3 an ellipsis cell.
struct CellsFixture : Fixture {
    CellsFixture()
        : Fixture({{"Nr", "Dabei", "Klasse", "Datei"},
                   {"1", "V", "B", "a"},
                   {"2", "1", "A", "b"},
                   {"3", "true", "", "c"},
                   {"4", "True", "C", "d"},
                   {"5", "yes", "", "e"},
                   {"6", "", "", "f"}}) {
        grid.OnGetCellFormat = [](QObject*, int c, int r, TGridDrawState, TFormatOptions&,
                                  bool& checkBox, bool& comboBox, bool& ellipsis) {
            checkBox = r > 0 && c == 1;
            comboBox = r > 0 && c == 2;
            ellipsis = r > 0 && c == 3;
        };
    }
    // The pixel in the middle of the tick of a check box drawn in this cell.
    QRgb TickPixel(int col, int row) {
        const QImage img = grid.viewport()->grab().toImage();
        const int left = grid.columnViewportPosition(col) + (grid.ColWidths(col) - 16) / 2;
        const int top = grid.rowViewportPosition(row - 1) + grid.RowHeights(row) / 2 - 8;
        const qreal dpr = img.devicePixelRatio();
        return img.pixel(QPoint(left + 6, top + 10) * dpr);
    }
};

void ClickThroughWindow(QWidget* w, QPoint pos) {
    QWindow* win = w->window()->windowHandle();
    QTest::mouseClick(win, Qt::LeftButton, {}, win->mapFromGlobal(w->mapToGlobal(pos)));
}

} // namespace

class TstSortGridCells : public QObject {
    Q_OBJECT
private slots:
    void checkBoxTicksAndToggles_data() {
        QTest::addColumn<int>("row");
        QTest::addColumn<bool>("ticked");
        QTest::newRow("V") << 1 << true;
        QTest::newRow("1") << 2 << true;
        QTest::newRow("true") << 3 << true;
        QTest::newRow("True") << 4 << false;
        QTest::newRow("yes") << 5 << false;
        QTest::newRow("empty") << 6 << false;
    }
    void checkBoxTicksAndToggles() {
        QFETCH(int, row);
        QFETCH(bool, ticked);
        CellsFixture f;
        const QImage tick = TSortGrid::CellImage(ticked ? "CHECKED" : "UNCHECKED");
        QCOMPARE(f.TickPixel(1, row), tick.pixel(6, 10));
        QVERIFY(f.TickPixel(1, row) != TSortGrid::CellImage(ticked ? "UNCHECKED" : "CHECKED")
                                           .pixel(6, 10));
        QList<bool> states;
        f.grid.OnSetChecked = [&](QObject*, int c, int r, bool state) {
            QCOMPARE(c, 1);
            QCOMPARE(r, row);
            states << state;
        };
        QTest::mouseClick(f.grid.viewport(), Qt::LeftButton, {}, f.CellPoint(1, row));
        QCOMPARE(f.grid.Cells(1, row), ticked ? QString() : QStringLiteral("V"));
        QTest::keyClick(&f.grid, Qt::Key_Space); // the clicked cell is current now
        QCOMPARE(f.grid.Cells(1, row), ticked ? QStringLiteral("V") : QString());
        QCOMPARE(states, (QList<bool>{!ticked, ticked}));
        QVERIFY(f.grid.Modified());
    }

    void dropDownList_data() {
        QTest::addColumn<int>("items");
        QTest::addColumn<int>("heightAsked");
        QTest::addColumn<int>("shownItems");
        QTest::newRow("12 items") << 12 << 0 << 10;
        QTest::newRow("3 items") << 3 << 0 << 3;
        QTest::newRow("3 items, a height asked") << 3 << 40 << 10;
    }
    void dropDownList() {
        QFETCH(int, items);
        QFETCH(int, heightAsked);
        QFETCH(int, shownItems);
        CellsFixture f;
        f.grid.OnGetComboBox = [&](QObject*, int, int, QStringList& strs, int&, int& height,
                                   bool& sorted) {
            QVERIFY(sorted);
            for (int i = items; i >= 1; --i)
                strs << QStringLiteral("Klasse %1").arg(i, 2, 10, QLatin1Char('0'));
            height = heightAsked;
        };
        QStringList taken;
        f.grid.OnSetComboBox = [&](QObject*, int c, int r, const QString& s) {
            QCOMPARE(c, 2);
            QCOMPARE(r, 2);
            taken << s;
        };
        QTest::mouseClick(f.grid.viewport(), Qt::LeftButton, {}, f.CellPoint(2, 2));
        QListWidget* list = f.grid.ComboListBox();
        QVERIFY(list->isVisible());
        QCOMPARE(list->height(), shownItems * list->sizeHintForRow(0) + 5);
        QCOMPARE(list->currentItem()->text(), QStringLiteral("Klasse 01")); // sorted, "A" absent
        QTest::keyClick(list, Qt::Key_Down);
        QTest::keyClick(list, Qt::Key_Return);
        QVERIFY(!list->isVisible());
        QCOMPARE(f.grid.Cells(2, 2), QStringLiteral("Klasse 02"));
        QCOMPARE(taken, QStringList{"Klasse 02"});
        QVERIFY(f.grid.Modified());
        QTest::keyClick(&f.grid, Qt::Key_Space); // Space opens it again on its value
        QVERIFY(list->isVisible());
        QCOMPARE(list->currentItem()->text(), QStringLiteral("Klasse 02"));
        QTest::keyClick(list, Qt::Key_Escape); // Escape takes nothing
        QVERIFY(!list->isVisible());
        QCOMPARE(taken.size(), 1);
    }

    // Whole items: ten lines without a horizontal bar, and a list as wide as its items.
    void dropDownListShowsWholeItems_data() {
        QTest::addColumn<int>("items");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("cellWidth");
        QTest::addColumn<bool>("widened");
        QTest::newRow("12 items in a narrow cell") << 12 << "Klasse %1" << 50 << true;
        QTest::newRow("10 items in a narrow cell") << 10 << "Klasse %1" << 50 << true;
        QTest::newRow("12 short items") << 12 << "%1" << 80 << false;
        QTest::newRow("3 long items") << 3 << "Klasse %1 Jugend" << 60 << true;
        QTest::newRow("an item wider than the window") << 11 << QString(200, QLatin1Char('W')) + "%1"
                                                        << 80 << true;
    }
    void dropDownListShowsWholeItems() {
        QFETCH(int, items);
        QFETCH(QString, text);
        QFETCH(int, cellWidth);
        QFETCH(bool, widened);
        CellsFixture f;
        f.grid.SetColWidths(2, cellWidth);
        f.grid.OnGetComboBox = [&](QObject*, int, int, QStringList& strs, int&, int&, bool&) {
            for (int i = 1; i <= items; ++i)
                strs << text.arg(i, 2, 10, QLatin1Char('0'));
        };
        QTest::mouseClick(f.grid.viewport(), Qt::LeftButton, {}, f.CellPoint(2, 2));
        QListWidget* list = f.grid.ComboListBox();
        QVERIFY(list->isVisible());
        QVERIFY(!list->horizontalScrollBar()->isVisible());
        const int lines = std::min(items, 10);
        QVERIFY2(list->viewport()->height() >= lines * list->sizeHintForRow(0),
                 qPrintable(QStringLiteral("%1 lines shown").arg(list->viewport()->height() /
                                                                 list->sizeHintForRow(0))));
        QCOMPARE(list->width() > cellWidth + 1, widened);
        QVERIFY(list->width() >= cellWidth + 1);
        // A window of its own, bounded by the screen rather than by the grid's window.
        const QRect room = list->screen()->availableGeometry();
        QVERIFY(list->isWindow());
        QVERIFY(list->width() <= room.width());
        QVERIFY(room.contains(list->geometry()));
        if (list->width() < room.width())
            QVERIFY(list->viewport()->width() >= list->sizeHintForColumn(0));
    }

    // The list is a window of its own: as wide as its items up to the screen, inside the
    // screen, below the cell or above it, moved left at the right edge.
    void dropDownListStaysOnScreen_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("cellWidth");
        QTest::addColumn<QString>("corner");
        QTest::addColumn<bool>("above");
        QTest::addColumn<bool>("widerThanWindow");
        const QString longText = QStringLiteral("Klasse %1 – Jugendliche und Junioren bis 18 Jahre");
        const QString tooLong = QString(300, QLatin1Char('W')) + QStringLiteral("%1");
        QTest::newRow("long items, narrow window at the right edge")
            << longText << 60 << "top right" << false << true;
        QTest::newRow("long items at the bottom edge open above")
            << longText << 60 << "bottom right" << true << true;
        QTest::newRow("long items at the left edge") << longText << 60 << "top left" << false
                                                     << true;
        QTest::newRow("short items keep the cell width")
            << QStringLiteral("%1") << 90 << "top right" << false << false;
        QTest::newRow("short items at the bottom edge open above")
            << QStringLiteral("%1") << 90 << "bottom left" << true << false;
        QTest::newRow("an item wider than the screen")
            << tooLong << 60 << "top right" << false << true;
    }
    void dropDownListStaysOnScreen() {
        QFETCH(QString, text);
        QFETCH(int, cellWidth);
        QFETCH(QString, corner);
        QFETCH(bool, above);
        QFETCH(bool, widerThanWindow);
        CellsFixture f;
        const QRect room = f.grid.screen()->availableGeometry();
        f.grid.resize(260, 170);
        f.grid.SetColWidths(0, 30);
        f.grid.SetColWidths(1, 30);
        f.grid.SetColWidths(2, cellWidth);
        QApplication::processEvents();
        const QSize frame = f.grid.frameGeometry().size();
        f.grid.move(corner.endsWith("right") ? room.right() + 1 - frame.width() : room.left(),
                    corner.startsWith("bottom") ? room.bottom() + 1 - frame.height() : room.top());
        QApplication::processEvents();
        f.grid.OnGetComboBox = [&](QObject*, int, int, QStringList& strs, int&, int&, bool&) {
            for (int i = 1; i <= 12; ++i)
                strs << text.arg(i, 2, 10, QLatin1Char('0'));
        };
        QTest::mouseClick(f.grid.viewport(), Qt::LeftButton, {}, f.CellPoint(2, 2));
        QListWidget* list = f.grid.ComboListBox();
        QVERIFY(list->isVisible());
        QVERIFY(list->isWindow());
        const QRect g = list->geometry();
        QVERIFY2(room.contains(g), qPrintable(QStringLiteral("%1,%2 %3x%4 leaves the screen")
                                                  .arg(g.x()).arg(g.y()).arg(g.width())
                                                  .arg(g.height())));
        QVERIFY(g.width() >= cellWidth + 1);
        QCOMPARE(g.width() > f.grid.frameGeometry().width(), widerThanWindow);
        // Every item whole, unless the screen itself is too narrow.
        if (g.width() < room.width())
            QVERIFY(list->viewport()->width() >= list->sizeHintForColumn(0));
        else
            QCOMPARE(g.left(), room.left());
        QVERIFY(!list->horizontalScrollBar()->isVisible());
        QVERIFY(list->viewport()->height() >= 10 * list->sizeHintForRow(0));
        const QRect cell = f.grid.CellRect(2, 2);
        const QPoint at = f.grid.mapToGlobal(cell.topLeft());
        if (above)
            QVERIFY(g.bottom() < at.y());
        else
            QVERIFY(g.top() > at.y() + cell.height() - 1);
        // At the cell unless the right edge pushed it left.
        QVERIFY(g.left() == at.x() + 2 || g.right() == room.right());
        QVERIFY(g.left() <= at.x() + 2);
    }

    // Keys, clicks and the window decide about the list as they did when it lay on the window.
    void dropDownListKeysAndClosing_data() {
        QTest::addColumn<QString>("actions");
        QTest::addColumn<QString>("cell");
        QTest::addColumn<bool>("taken");
        QTest::addColumn<int>("col");
        QTest::addColumn<bool>("gridFocus");
        QTest::newRow("Down Down Enter") << "Down Down Enter" << "Clara" << true << 2 << true;
        QTest::newRow("Down Space") << "Down Space" << "Berta" << true << 2 << true;
        QTest::newRow("End Up Enter") << "End Up Enter" << "Doris" << true << 2 << true;
        QTest::newRow("typing a letter") << "Down d Enter" << "Doris" << true << 2 << true;
        QTest::newRow("Esc takes nothing") << "Down Esc" << "A" << false << 2 << true;
        QTest::newRow("Tab takes and moves on") << "Down Tab" << "Berta" << true << 3 << true;
        QTest::newRow("click on an item") << "clickItem2" << "Clara" << true << 2 << true;
        QTest::newRow("click on the grid takes nothing") << "Down clickGrid" << "A" << false << 2
                                                         << true;
        QTest::newRow("click on another window") << "Down clickOther" << "Berta" << true << 2
                                                 << false;
        QTest::newRow("the window moves") << "Down moveWindow" << "Berta" << true << 2 << true;
        QTest::newRow("another window gets the focus") << "Down focusOther" << "Berta" << true
                                                       << 2 << false;
    }
    void dropDownListKeysAndClosing() {
        QFETCH(QString, actions);
        QFETCH(QString, cell);
        QFETCH(bool, taken);
        QFETCH(int, col);
        QFETCH(bool, gridFocus);
        CellsFixture f;
        QWidget other;
        other.setGeometry(f.grid.geometry().translated(0, f.grid.frameGeometry().height() + 20));
        other.setFocusPolicy(Qt::StrongFocus);
        other.show();
        QVERIFY(QTest::qWaitForWindowExposed(&other));
        f.grid.activateWindow();
        f.grid.setFocus();
        QApplication::processEvents();
        f.grid.OnGetComboBox = [](QObject*, int, int, QStringList& strs, int&, int&, bool&) {
            strs << "Emma" << "Clara" << "Anna" << "Doris" << "Berta";
        };
        QStringList set;
        f.grid.OnSetComboBox = [&](QObject*, int, int, const QString& s) { set << s; };
        QTest::mouseClick(f.grid.viewport(), Qt::LeftButton, {}, f.CellPoint(2, 2));
        QApplication::processEvents();
        QListWidget* list = f.grid.ComboListBox();
        QVERIFY(list->isVisible());
        QCOMPARE(list->currentItem()->text(), QStringLiteral("Anna"));
        const QMap<QString, Qt::Key> keys{{"Down", Qt::Key_Down},     {"Up", Qt::Key_Up},
                                          {"End", Qt::Key_End},       {"Enter", Qt::Key_Return},
                                          {"Space", Qt::Key_Space},   {"Esc", Qt::Key_Escape},
                                          {"Tab", Qt::Key_Tab}};
        for (const QString& a : actions.split(QLatin1Char(' '))) {
            if (keys.contains(a))
                QTest::keyClick(list, keys[a]);
            else if (a.size() == 1)
                QTest::keyClicks(list, a);
            // Clicks come through the windows, as the pointer's would: the open list sees them.
            else if (a == "clickItem2")
                ClickThroughWindow(list->viewport(), list->visualItemRect(list->item(2)).center());
            else if (a == "clickGrid")
                ClickThroughWindow(f.grid.viewport(), f.CellPoint(0, 4));
            else if (a == "clickOther")
                ClickThroughWindow(&other, QPoint(20, 20));
            else if (a == "moveWindow")
                f.grid.move(f.grid.pos() + QPoint(15, 10));
            else if (a == "focusOther")
                other.windowHandle()->requestActivate();
            QApplication::processEvents();
        }
        QVERIFY(!list->isVisible());
        QCOMPARE(f.grid.Cells(2, 2), cell);
        QCOMPARE(set, taken ? QStringList{cell} : QStringList{});
        QCOMPARE(f.grid.Col(), col);
        QCOMPARE(f.grid.Modified(), taken);
        if (gridFocus) QCOMPARE(QApplication::focusWidget(), &f.grid);
    }

    // While the editor is open, check-box and drop-down cells cannot become current.
    void editorKeepsOffSpecialCells_data() {
        QTest::addColumn<int>("startCol");
        QTest::addColumn<QString>("action");
        QTest::addColumn<int>("col");
        QTest::addColumn<int>("row");
        QTest::addColumn<bool>("editing");
        QTest::newRow("click on a check box") << 3 << "click 1 4" << 3 << 2 << true;
        QTest::newRow("click on a drop-down") << 3 << "click 2 4" << 3 << 2 << true;
        QTest::newRow("click on a text cell moves") << 3 << "click 0 4" << 0 << 4 << false;
        QTest::newRow("Down onto a drop-down") << 3 << "Down" << 3 << 2 << true;
        QTest::newRow("Up onto an ellipsis cell moves") << 3 << "Up" << 3 << 1 << false;
        QTest::newRow("Tab onto a check box") << 0 << "Tab" << 0 << 2 << false;
    }
    void editorKeepsOffSpecialCells() {
        QFETCH(int, startCol);
        QFETCH(QString, action);
        QFETCH(int, col);
        QFETCH(int, row);
        QFETCH(bool, editing);
        CellsFixture f;
        // Cell (3, 3) is a drop-down below the edited cell (3, 2).
        f.grid.OnGetCellFormat = [](QObject*, int c, int r, TGridDrawState, TFormatOptions&,
                                    bool& checkBox, bool& comboBox, bool& ellipsis) {
            checkBox = r > 0 && c == 1;
            comboBox = r > 0 && (c == 2 || (c == 3 && r == 3));
            ellipsis = r > 0 && c == 3 && r != 3;
        };
        int lists = 0;
        f.grid.OnGetComboBox = [&](QObject*, int, int, QStringList& strs, int&, int&, bool&) {
            ++lists;
            strs << "A" << "B";
        };
        f.grid.SetOptions(f.grid.Options() | goEditing | goTabs);
        f.grid.GoToCell(startCol, 2, false);
        f.grid.setFocus();
        QTest::keyClick(&f.grid, Qt::Key_F2);
        QVERIFY(f.grid.EditorMode());
        const QStringList before = f.grid.Cols(1);
        const QStringList parts = action.split(QLatin1Char(' '));
        QWidget* editor = QApplication::focusWidget();
        if (parts[0] == "click")
            QTest::mouseClick(f.grid.viewport(), Qt::LeftButton, {},
                              f.CellPoint(parts[1].toInt(), parts[2].toInt()));
        else
            QTest::keyClick(editor, parts[0] == "Down" ? Qt::Key_Down
                                    : parts[0] == "Up" ? Qt::Key_Up
                                                       : Qt::Key_Tab);
        QCOMPARE(f.grid.Col(), col);
        QCOMPARE(f.grid.Row(), row);
        QCOMPARE(f.grid.EditorMode(), editing);
        QCOMPARE(f.grid.Cols(1), before); // no box ticked
        QCOMPARE(lists, 0);
        QVERIFY(!f.grid.ComboListBox()->isVisible());
    }

    void emptyListOpensNothing() {
        CellsFixture f;
        f.grid.OnGetComboBox = [](QObject*, int, int, QStringList&, int&, int&, bool&) {};
        f.grid.SetOptions(f.grid.Options() | goEditing);
        f.grid.GoToCell(2, 1, false);
        f.grid.ShowEditor(); // a drop-down cell gets no text editor
        QVERIFY(!f.grid.EditorMode());
        QVERIFY(!f.grid.ComboListBox()->isVisible());
        f.grid.GoToCell(1, 1, false);
        f.grid.ShowEditor(); // nor does a check box
        QVERIFY(!f.grid.EditorMode());
    }

    void ellipsisButton_data() {
        QTest::addColumn<int>("fromRight");
        QTest::addColumn<int>("calls");
        QTest::newRow("on the button") << 8 << 1;
        QTest::newRow("left of it") << 30 << 0;
    }
    void ellipsisButton() {
        QFETCH(int, fromRight);
        QFETCH(int, calls);
        CellsFixture f;
        int called = 0;
        f.grid.OnSetEllipsis = [&](QObject*, int c, int r) {
            QCOMPARE(c, 3);
            QCOMPARE(r, 4);
            ++called;
        };
        const QPoint p(f.grid.columnViewportPosition(3) + f.grid.ColWidths(3) - fromRight,
                       f.grid.rowViewportPosition(3) + 5);
        QTest::mouseClick(f.grid.viewport(), Qt::LeftButton, {}, p);
        QCOMPARE(called, calls);
        QTest::keyClick(&f.grid, Qt::Key_Space);
        QCOMPARE(called, calls + 1);
    }

    void validation_data() {
        QTest::addColumn<bool>("valid");
        QTest::addColumn<QString>("correction");
        QTest::addColumn<QString>("cell");
        QTest::addColumn<bool>("modified");
        QTest::newRow("accepted") << true << QString() << "Zoe" << true;
        QTest::newRow("accepted, corrected") << true << "ZOE" << "ZOE" << true;
        QTest::newRow("rejected") << false << QString() << "b" << false;
        QTest::newRow("rejected, corrected") << false << "Z" << "Z" << true;
    }
    void validation() {
        QFETCH(bool, valid);
        QFETCH(QString, correction);
        QFETCH(QString, cell);
        QFETCH(bool, modified);
        CellsFixture f;
        f.grid.SetOptions(f.grid.Options() | goEditing);
        QString seenOld;
        f.grid.OnCellValidate = [&](QObject*, int c, int r, const QString& oldValue,
                                    QString& newValue, bool& ok) {
            QCOMPARE(c, 3);
            QCOMPARE(r, 2);
            seenOld = oldValue;
            QCOMPARE(newValue, QStringLiteral("Zoe"));
            if (!correction.isEmpty()) newValue = correction;
            ok = valid;
        };
        f.grid.GoToCell(3, 2, false);
        f.grid.setFocus();
        QTest::keyClick(&f.grid, Qt::Key_F2);
        auto* editor = qobject_cast<QLineEdit*>(f.grid.indexWidget(f.grid.currentIndex()));
        QVERIFY(editor);
        editor->selectAll();
        QTest::keyClicks(editor, QStringLiteral("Zoe"));
        QTest::keyClick(editor, Qt::Key_Return);
        QTRY_VERIFY(!f.grid.EditorMode());
        QCOMPARE(seenOld, QStringLiteral("b"));
        QCOMPARE(f.grid.Cells(3, 2), cell);
        QCOMPARE(f.grid.Modified(), modified);
    }

    void lastColumnFillsTheGrid() {
        CellsFixture f;
        f.grid.resize(600, 300);
        QTRY_COMPARE(f.grid.columnViewportPosition(3) + f.grid.ColWidths(3) + 1,
                     f.grid.viewport()->width());
        f.grid.SetColWidths(3, -1); // a hidden last column stays hidden
        f.grid.resize(700, 300);
        QTRY_COMPARE(f.grid.width(), 700);
        QCOMPARE(f.grid.ColWidths(3), -1);
    }
};

QTEST_MAIN(TstSortGridCells)
#include "tst_sortgridcells.moc"
