#pragma once
// The window "Saisonwertung": the season's points per class, one column per event,
// dropped results in brackets; and "Saison einstellen": name, points table, best N,
// the events that belong to the season and the drivers joined.
#include "Season.h"

#include <QCheckBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <functional>

class TFormSeason : public QDialog {
public:
    explicit TFormSeason(QWidget* parent = nullptr);

    QLabel *lRule, *lEvents, *lNotice;
    QTableWidget* tbSeason;
    QPushButton *bSettings, *bJoin, *bPrint, *bHtml, *bExcel, *bClose;

    void Show(const TSeasonPage& page, const QStringList& problems);
    // Below the table: what just happened, or what could not be read.
    void Notice(const QString& text);
    // The drivers of the selected rows, the current one first.
    QList<const TSeasonRow*> SelectedDrivers() const;
    void SelectDriver(const QString& key);

    std::function<void(QObject* sender)> OnSettings, OnJoin, OnPrint, OnHtml, OnExcel;

private:
    TSeasonPage FPage;
    QList<const TSeasonRow*> FRowOf; // per table row; nullptr for a class caption
};

class TDlgSeason : public QDialog {
public:
    // candidates: the events of the program's own file and of the files given.
    using TCandidates = std::function<QList<TSeasonCandidate>(const QStringList& files, QStringList* problems)>;
    TDlgSeason(QWidget* parent, const TSeasonSettings& settings, TCandidates candidates);

    QLineEdit *eName, *ePoints;
    QSpinBox* seBestN; // 0 reads "alle"
    QListWidget* lwEvents; // checked: in the season
    QListWidget* lwJoined; // "7 Max Mueller → 7 Max Müller"
    QPushButton *bAddFile, *bSplit, *OKBtn, *CancelBtn;
    QLabel* lProblem;

    // The settings as entered; false (and lProblem says why) while the points are no table.
    bool Read(TSeasonSettings& settings) const;
    TSeasonSettings Result;
    void accept() override;
    // Adds an event file's events; false when it holds none that can be read.
    bool AddFile(const QString& file);

    // Asks for an event file; tests replace it. Empty: cancelled.
    static std::function<QString(QWidget*)> AskFile;

private:
    void FillEvents(const QList<TSeasonEventRef>& checked);
    TCandidates FCandidates;
    QStringList FFiles;
    QList<TSeasonCandidate> FShown;
};
