#pragma once
// The season at the main window: the window "Saisonwertung" (Ctrl+Shift+M), its
// settings kept beside the others, the events read from the event database and
// the files the official added, and the season for printout, page, workbook and
// live page. The events are scored by the rule "Wertung" is set to.
#include "EventServices.h"
#include "FSeason.h"
#include "ReportPrint.h"
#include "Season.h"

#include <QObject>
#include <QPointer>

class TFormMain;
class TMenuItem;
class QTimer;
struct TLiveState;

class TSeasonFeature : public QObject {
public:
    TSeasonFeature(TFormMain* form, TEventServices& events);

    TSeasonSettings Settings;
    TMenuItem* mSeason;

    void ShowSeason();
    TFormSeason* Window() const { return FWindow; }
    // Reads the season's events again and scores them now.
    void Recompute();
    // Records were committed: read again shortly when someone looks at the season.
    void Changed();
    // Kept at once, the season follows.
    void Apply(const TSeasonSettings& s);
    void EditSettings();
    // The selected rows count as one driver, under the current row's start number and name.
    bool JoinSelected();

    const QList<TSeasonRow>& Rows() const { return FPage.Rows; }
    const TSeasonPage& Page() const { return FPage; }
    const QStringList& Problems() const { return FProblems; }

    bool WriteHtml(const QString& fileName);
    bool WriteXlsx(const QString& fileName);
    bool Print();
    ReportPrint::TPrintTable PrintTable() const;
    void FillLive(TLiveState& state) const;

    static std::function<QString(QWidget*, const QString& caption, const QString& filter)> AskSaveFile;
    static std::function<int(TDlgSeason*)> ExecSettings;

private:
    void SaveAs(bool xlsx);
    QList<TSeasonCandidate> Candidates(const QStringList& files, QStringList* problems) const;
    TFormMain* FForm;
    TEventServices& FEvents;
    QPointer<TFormSeason> FWindow;
    QTimer* FTimer;
    TSeasonPage FPage;
    QStringList FProblems;
    int FStamp = 0; // the live page reads the season again when it changes
};
