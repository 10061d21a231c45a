#pragma once
// "Startliste übernehmen": a start list, the lines above its header (the first
// offered as the event's title), its first rows, a drop-down per column for what it
// holds, and the drivers it gives, with duplicate start numbers and missing start
// numbers and names marked. Taken only when a column gives names.
#include "StartList.h"

#include <QDialog>
#include <functional>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QTableView;
class QTableWidget;
class TStartListResultModel;

class TDlgStartList : public QDialog {
public:
    TDlgStartList(QWidget* owner, const StartList::TTable& table,
                  const StartList::TMapping& mapping, StartList::TNameOrder order);

    StartList::TMapping Mapping() const;
    StartList::TNameOrder NameOrder() const;
    QList<StartList::TEntrant> Entrants() const { return FEntrants; }
    // The line offered as the event's title when it is ticked, else empty.
    QString Title() const;
    QComboBox* Column(int c) const { return FColumns.value(c); }

    QTableWidget* tbFile;   // the file's first rows under the drop-downs
    QTableView* tvDrivers;  // what the protocol gets
    QComboBox* cbNameOrder; // "Vorname Name" / "Name, Vorname"
    QLabel* lSummary;
    QLabel* lAbove;      // the lines above the header; hidden without any
    QCheckBox* cbTitle;  // take the first of them as the event's title
    QPushButton* OKBtn;  // "Übernehmen", only with a name column

    // How many of the file's rows the upper table shows.
    static constexpr int PreviewRows = 8;

private:
    void Recompute();

    StartList::TTable FTable;
    QList<QComboBox*> FColumns;
    QList<StartList::TEntrant> FEntrants;
    TStartListResultModel* FModel;
    QString FTitle;
};
