#include "EventsFeature.h"

#include "FMain.h"
#include "FRuns.h"
#include "Protocol.h"
#include "StandingsFeature.h"

#include <QDir>
#include <QFileInfo>
#include <QSysInfo>
#include <QTimer>

TEventsFeature::TEventsFeature(TFormMain* form) : QObject(form), FForm(form) {
    const QString dir = QFileInfo(form->BackupFileName()).absolutePath();
    FStore.OnProblem = [this](TEventStore*, const QString& text) {
        // From the writer thread: shown by the window's thread.
        QMetaObject::invokeMethod(this, [text] { TFormMain::ShowMessage(text); },
                                  Qt::QueuedConnection);
    };
    FStore.OnCommitted = [this](TEventStore*) {
        QMetaObject::invokeMethod(this, [this] { Committed(); }, Qt::QueuedConnection);
    };
    FStore.Start(QDir(dir).absoluteFilePath(ProgramTitle() + QStringLiteral(".db")),
                 QSysInfo::machineHostName());
    FRecorder = std::make_unique<TEventRecorder>(FStore);
    {
        TEventDb reader;
        FStore.Flush(2000); // opened, checked and migrated by the writer
        if (reader.OpenForReading(FStore.Path())) FRecorder->Resume(reader);
    }
    form->AddRunListener(FRecorder.get());

    const auto item = [form](const char* name, const QString& caption, const QKeySequence& key) {
        auto* m = new TMenuItem(caption, key, form);
        m->setObjectName(QLatin1String(name));
        form->HideMenu1->addAction(m);
        form->addAction(m); // shortcuts of a never-shown menu work through the window
        return m;
    };
    mRuns = item("mRuns", QStringLiteral("Läufe"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_L));
    mNewEvent = item("mNewEvent", QStringLiteral("Neue Veranstaltung"),
                     QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_N));
    mLoadEvent = item("mLoadEvent", QStringLiteral("Protokoll aus Veranstaltung laden"),
                      QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_P));
    mRuns->OnClick = [this](QObject*) { ShowRuns(); };
    mNewEvent->OnClick = [this](QObject*) { NewEvent(); };
    mLoadEvent->OnClick = [this](QObject*) { LoadCurrentEvent(); };
    Standings = new TStandingsFeature(form, *this);
}

// The window no longer announces while it is destroyed, so the recorder may go with it.
TEventsFeature::~TEventsFeature() {
    FStore.Stop();
}

void TEventsFeature::Committed() {
    if (Standings) Standings->Changed();
    if (!FWindow || !FWindow->isVisible() || FReloadQueued) return;
    // A burst of commits is read once.
    FReloadQueued = true;
    QTimer::singleShot(50, this, [this] {
        FReloadQueued = false;
        if (FWindow) FWindow->Reload();
    });
}

void TEventsFeature::ShowRuns() {
    if (!FWindow) {
        FWindow = new TFormRuns(FForm);
        FWindow->OnToProtocol = [this](QObject*, const TEffectiveRun& e) { PutIntoProtocol(e); };
        FWindow->OnLoadProtocol = [this](QObject*, const std::vector<TEffectiveRun>& runs) {
            LoadProtocol(runs);
        };
        Standings->AttachRuns(FWindow);
    }
    FStore.Flush(1000);
    FWindow->Load(FStore.Path(), FRecorder->CurrentEvent());
    FWindow->show();
    FWindow->raise();
    FWindow->activateWindow();
}

void TEventsFeature::NewEvent() {
    FRecorder->NewEvent(FForm->eTitle->text());
    TFormMain::ShowMessage(QStringLiteral("Neue Veranstaltung begonnen: ") + FForm->eTitle->text());
}

void TEventsFeature::PutIntoProtocol(const TEffectiveRun& e) {
    TSortGrid* g = FForm->SortGrid1;
    int row = g->FindRow(pcName, e.Run.Name, false);
    if (row <= 0) {
        if (g->RowCount() == 2 && IsBlankRow(g->Rows(1))) {
            row = 1;
        } else {
            g->SetRowCount(g->RowCount() + 1);
            row = g->RowCount() - 1;
        }
    }
    const QStringList cells = ProtocolCells(e);
    for (int c = 0; c < pcCount; ++c)
        g->SetCells(c, row, cells.value(c));
    g->SetModified(true);
    FRecorder->RunToProtocol(e.Run);
    FForm->UpdateProtocolButtons();
    FForm->AnnounceProtocolChange(TProtocolChangeKind::Loaded); // backup and live page follow
}

bool TEventsFeature::LoadProtocol(const std::vector<TEffectiveRun>& runs) {
    if (runs.empty()) return false;
    if (FForm->SortGrid1->Modified()) {
        FForm->FDlgYesNo->Label1->setText(
            QStringLiteral("Das Protokoll wurde geändert. Durch die Läufe der Veranstaltung ersetzen?"));
        if (FForm->FDlgYesNo->ShowModal() != TFDlgYesNo::mrYes) return false;
    }
    TSortGrid* g = FForm->SortGrid1;
    g->BeginUpdate();
    g->SetRowCount(int(runs.size()) + 1);
    for (size_t i = 0; i < runs.size(); ++i) {
        const QStringList cells = ProtocolCells(runs[i]);
        for (int c = 0; c < pcCount; ++c)
            g->SetCells(c, int(i) + 1, cells.value(c));
    }
    g->EndUpdate();
    g->SetModified(true);
    for (const TEffectiveRun& e : runs)
        FRecorder->RunToProtocol(e.Run);
    FForm->UpdateProtocolButtons();
    FForm->AnnounceProtocolChange(TProtocolChangeKind::Loaded); // backup and live page follow
    return true;
}

void TEventsFeature::LoadCurrentEvent() {
    FStore.Flush(1000);
    TEventDb reader;
    if (!reader.OpenForReading(FStore.Path()) || FRecorder->CurrentEvent().isEmpty()) {
        TFormMain::ShowMessage(QStringLiteral("Die Veranstaltung hat noch keine Läufe."));
        return;
    }
    std::vector<TEffectiveRun> runs = reader.EffectiveRuns(FRecorder->CurrentEvent());
    std::reverse(runs.begin(), runs.end());
    if (!LoadProtocol(LatestRunPerDriver(runs)))
        if (runs.empty()) TFormMain::ShowMessage(QStringLiteral("Die Veranstaltung hat noch keine Läufe."));
}
