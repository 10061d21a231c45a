#pragma once
// The window "Wertung": the standings of the current event overall or per class,
// the runs of the chosen driver below with the counting ones bold, penalties and
// status entered on a run, printout, web page and workbook.
#include "FRuns.h"
#include "RunCorrections.h"
#include "Standings.h"

#include <QAbstractTableModel>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <functional>

// The standings as rows of a table: in the class view each class starts with a row
// of its own holding its caption.
class TStandingsModel : public QAbstractTableModel {
public:
    using QAbstractTableModel::QAbstractTableModel;
    void Set(const QList<TStandingRow>& rows, bool byClass);
    bool ByClass() const { return FByClass; }
    // The driver of a table row; nullptr for a class caption.
    const TStandingRow* RowAt(int row) const;
    bool IsCaption(int row) const;
    int RowOf(const QString& driverKey) const;
    // The widest text of a column in this font (its bold cells in bold), as
    // sizing the column to its contents would find it, without a pass through the view.
    int TextWidth(int col, const QFont& font) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation o, int role = Qt::DisplayRole) const override;

private:
    struct TLine {
        QString Caption; // a class caption row when Row is null
        const TStandingRow* Row = nullptr;
    };
    QList<TStandingRow> FRows;
    QList<TLine> FLines;
    QList<QStringList> FTexts; // per line, made once: a repaint asks for every cell
    QFont FBold;
    bool FByClass = false;
    // Widths of texts met before, plain and bold: names and most times stay from run to run.
    mutable QFont FMeasured;
    mutable QHash<QString, int> FWidths[2];
};

class TFormStandings : public QDialog {
public:
    explicit TFormStandings(QWidget* parent = nullptr);

    QComboBox* cbView; // "Gesamt", "Nach Klassen"
    QLabel *lRule, *lDriverRuns;
    QTableView *tvStandings, *tvDriverRuns;
    QWidget* Tables; // holds both tables: the correction keys work inside it
    QPushButton *bCorrection, *bScoring, *bPrint, *bHtml, *bExcel, *bClose;
    TStandingsModel* Model;
    TRunTableModel* RunsModel;
    TRunCorrectionActions* Corrections;

    // Shows new standings, keeping the chosen driver and run.
    void Show(const QList<TStandingRow>& rows, const std::vector<TEffectiveRun>& runs,
              const QString& rule, const QString& title);
    const QList<TStandingRow>& Rows() const { return FRows; }
    const TStandingRow* SelectedDriver() const;
    const TEffectiveRun* SelectedRun() const;
    void SelectDriver(const QString& key);
    void SelectRun(const QString& uuid);

    std::function<void(QObject* sender)> OnScoring, OnPrint, OnHtml, OnExcel;

private:
    void ShowDriverRuns();
    QList<TStandingRow> FRows;
    std::vector<TEffectiveRun> FRuns;
    QHash<QString, std::vector<size_t>> FRunsOf; // a driver's runs in FRuns
    bool FFilling = false; // Show fills the driver's runs once at its end
    QString FTitle;
};
