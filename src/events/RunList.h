#pragma once
// The runs of an event as the "Läufe" window lists them: newest first, filtered
// by driver or start number as the user types, and as CSV for spreadsheets.
#include "EventRecords.h"

#include <QAbstractTableModel>
#include <QSet>

// "Auffällig: …" for every open flag of the run, "Handzeit Gesamtzeit" or
// "Handzeit Runde 2" for every hand-timed field.
QStringList RunNotes(const TEffectiveRun& e);

// The latest run of every driver (by name) that is not taken back, oldest first,
// from runs listed newest first.
std::vector<TEffectiveRun> LatestRunPerDriver(const std::vector<TEffectiveRun>& newestFirst);

class TRunListModel : public QAbstractTableModel {
public:
    explicit TRunListModel(QObject* parent = nullptr);
    // Data roles telling how a row is shown: the counting run bold, a run taken back struck out.
    enum { CountingRole = Qt::UserRole + 1, WithdrawnRole, FlaggedRole, HandTimeRole };

    // Runs in recorded order (as the database gives them); shown newest first.
    void SetRuns(std::vector<TEffectiveRun> runs);
    // Older runs, newest first, after those listed: a long list is read on a
    // slice at a time. The filter applies to them as they come.
    void AddOlderRuns(std::vector<TEffectiveRun> runs);
    // Keeps the runs whose start number or name contains the text (any case).
    void SetFilter(const QString& text);
    QString Filter() const { return FFilter; }
    // The run shown in that row.
    const TEffectiveRun* RunAt(int row) const;
    int RunCount() const { return int(FRuns.size()); }
    const std::vector<TEffectiveRun>& AllRuns() const { return FRuns; } // newest first

    // The counting runs (marked) once standings exist; by run UUID.
    void SetCounting(const QStringList& uuids);

    QStringList Header() const;
    QStringList RowTexts(int row) const;
    // The shown rows with the header: UTF-8 with a byte-order mark, semicolons,
    // fields quoted where needed, CR LF, as spreadsheets expect.
    QByteArray Csv() const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation o, int role = Qt::DisplayRole) const override;

    // Texts of a correction in the history list ("14:32:05 Runde 1 getippt: 59,99").
    static QString HistoryText(const TCorrection& c);
    static QString StatusText(const TEffectiveRun& e);
    // "Änderungen": how many corrections, and from how many stations when more than one.
    static QString ChangesText(const TEffectiveRun& e);
    // "Auffällig: …" for every open flag, "Handzeit …" for every hand-timed field,
    // "Strafe: 2 × Pylone – Tor 3" for every penalty.
    static QString NotesText(const TEffectiveRun& e);

private:
    void Refilter(const QString& previous);
    QString CellText(const TEffectiveRun& e, int column) const;
    int FieldOfColumn(int col) const; // lap 1..5, 0 the total, -1 none
    std::vector<TEffectiveRun> FRuns; // newest first
    std::vector<QString> FKeys;      // folded "start number name" per run
    std::vector<int> FShown;         // indexes into FRuns
    QString FFilter;
    QString FFolded;                 // the filter as the keys are folded
    QSet<QString> FCounting;
    int FLaps = 2;
};

// The protocol row of a run: start number, name, laps, total ("DNF"/"DNS" without
// a time) and best lap as a timed run writes them; the rank stays empty.
QStringList ProtocolCells(const TEffectiveRun& e);
