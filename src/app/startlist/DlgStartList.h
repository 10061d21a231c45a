#pragma once
// "Startliste übernehmen": a start list with named columns, its first rows, a
// drop-down per column for what it holds, and the drivers it gives, with
// duplicate start numbers and missing names marked.
#include "StartList.h"

#include <QDialog>
#include <functional>

class QComboBox;
class QLabel;
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
    QComboBox* Column(int c) const { return FColumns.value(c); }

    QTableWidget* tbFile;   // the file's first rows under the drop-downs
    QTableView* tvDrivers;  // what the protocol gets
    QComboBox* cbNameOrder; // "Vorname Name" / "Name, Vorname"
    QLabel* lSummary;

    // How many of the file's rows the upper table shows.
    static constexpr int PreviewRows = 8;

private:
    void Recompute();

    StartList::TTable FTable;
    QList<QComboBox*> FColumns;
    QList<StartList::TEntrant> FEntrants;
    TStartListResultModel* FModel;
};
