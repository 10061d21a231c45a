// A grid in a window with a few protocol-like rows. Ctrl+Insert and Ctrl+Delete
// insert and delete rows, F2 or typing edits a cell, a header click sorts.
// "Dabei" is a check box, "Klasse" a drop-down list and "Notiz" has an ellipsis
// button (click, or Space on the current cell); Ctrl+F filters on "Dabei".
// With a file argument it sorts by the total time, inserts a row, types a name
// into it, deletes another row, selects one and saves a picture of itself.
#include "SortGrid.h"
#include "TimeText.h"

#include <QApplication>
#include <QLineEdit>
#include <QShortcut>
#include <QTest>
#include <QTimer>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    TSortGrid grid;
    grid.setWindowTitle(QStringLiteral("TSortGrid"));
    grid.resize(900, 260);
    QFont f(QStringLiteral("Courier New"));
    f.setPixelSize(16);
    grid.setFont(f);
    grid.SetDefaultRowHeight(20);
    grid.SetOptions(goFixedVertLine | goFixedHorzLine | goVertLine | goHorzLine | goColSizing |
                    goEditing | goDrawFocusSelected);
    grid.SetExtendedKeys(true);
    grid.SetAlignmentHorz(taRightJustify);
    grid.SetColCount(7);
    grid.SetRowCount(7);
    const QStringList head{"Start-Nr.", "Name",   "Gesamtzeit", "Beste Runde",
                           "Dabei",     "Klasse", "Notiz"};
    const char* rows[][2] = {{"12", "Hans Meier"}, {"7", "Anna Becker"}, {"3", "Jürgen Groß"},
                             {"21", "Eva Lang"},   {"9", "Max Müller"},  {"15", "Lena Koch"}};
    const int totals[] = {110300, 108950, 121040, 109500, 108950, 0};
    for (int c = 0; c < 7; ++c)
        grid.SetCells(c, 0, head[c]);
    const char* classes[] = {"Klasse 3", "Klasse 1", "", "Klasse 2", "Klasse 1", ""};
    for (int r = 1; r <= 6; ++r) {
        grid.SetCells(0, r, QString::fromUtf8(rows[r - 1][0]));
        grid.SetCells(1, r, QString::fromUtf8(rows[r - 1][1]));
        grid.SetCells(2, r, totals[r - 1] ? TimeToText(totals[r - 1]) : QString());
        grid.SetCells(3, r, totals[r - 1] ? TimeToText(totals[r - 1] / 2 - 1234) : QString());
        grid.SetCells(4, r, r % 3 ? QStringLiteral("V") : QString());
        grid.SetCells(5, r, QString::fromUtf8(classes[r - 1]));
    }
    grid.SetColWidths(0, 90);
    grid.SetColWidths(1, 200);
    grid.SetColWidths(2, 120);
    grid.SetColWidths(3, 130);
    grid.SetColWidths(4, 60);
    grid.SetColWidths(5, 110);
    grid.SetColWidths(6, 100);
    grid.OnGetCellFormat = [](QObject*, int col, int row, TGridDrawState, TFormatOptions& fo,
                              bool& checkBox, bool& comboBox, bool& ellipsis) {
        checkBox = row > 0 && col == 4;
        comboBox = row > 0 && col == 5;
        ellipsis = row > 0 && col == 6;
        if (row == 0) {
            fo.AlignmentHorz = taCenter;
            fo.Font.setFamily(QStringLiteral("Arial"));
            fo.Font.setBold(true);
        } else if (col == 1) {
            fo.AlignmentHorz = taLeftJustify;
        }
    };
    grid.OnGetSortStyle = [&grid](QObject*, int col, TSortStyle& style) {
        style = col == 1 ? ssNormal : ssCustom;
        if (col == 0) style = ssNumeric;
        grid.SortOptions().SortCompare = CompareTimeTexts;
    };
    grid.OnGetComboBox = [](QObject*, int, int, QStringList& strs, int&, int&, bool&) {
        // Twelve classes, one with a long name: the list shows ten and is as wide as that name.
        for (int i = 1; i <= 10; ++i)
            strs << QStringLiteral("Klasse %1").arg(i);
        strs << "Gast" << "Klasse 11 – Jugendliche und Junioren bis 18 Jahre";
    };
    grid.OnSetEllipsis = [&grid](QObject*, int col, int row) {
        grid.SetCells(col, row, QStringLiteral("bearbeitet"));
    };
    grid.OnSetFilter = [](const QStringList& row, bool& accept) {
        accept = TSortGrid::IsTicked(row.at(4));
    };
    auto* filter = new QShortcut(QKeySequence(QStringLiteral("Ctrl+F")), &grid);
    QObject::connect(filter, &QShortcut::activated, &grid,
                     [&grid] { grid.SetFiltered(!grid.Filtered()); });
    grid.show();
    if (argc > 1) {
        const QString file = QString::fromLocal8Bit(argv[1]);
        QTimer::singleShot(300, [&grid, &app, file] {
            grid.SortByColumn(2);
            grid.InsertRow(2);
            grid.SetCells(0, 2, QStringLiteral("33"));
            grid.GoToCell(1, 2, true);
            grid.ShowEditor();
            auto* editor = grid.findChild<QLineEdit*>(QStringLiteral("InplaceEditor"));
            QTest::keyClicks(editor, QStringLiteral("Neu Eingetragen"));
            QTest::keyClick(editor, Qt::Key_Return);
            QApplication::processEvents();
            grid.DeleteRow(5);
            grid.GoToCell(1, 3, true);
            grid.grab().save(file);
            QCoreApplication::exit(0);
        });
    }
    return app.exec();
}
