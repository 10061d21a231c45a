#include "EventsFeature.h"
#include "ProgramInfo.h"

#include "FMain.h"
#include "FRuns.h"
#include "FServer.h"
#include "Protocol.h"

#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QSysInfo>
#include <QTimer>

std::function<bool(QWidget*, const QString&)> TEventsFeature::AskReplace = [](QWidget* parent,
                                                                            const QString& text) {
    QMessageBox box(QMessageBox::Question, ProgramTitle(), text, QMessageBox::NoButton, parent);
    box.addButton(OtherNameChoice, QMessageBox::RejectRole);
    QPushButton* replace = box.addButton(ReplaceChoice, QMessageBox::AcceptRole);
    box.exec();
    return box.clickedButton() == replace;
};

TEventsFeature::TEventsFeature(TFormMain* form) : QObject(form), FForm(form) {
    const QString dir = QFileInfo(form->BackupFileName()).absolutePath();
    // From the writer threads, at any moment of a run: the notice area, never a box.
    FStore.OnProblem = [this](TEventStore*, const QString& text) {
        QMetaObject::invokeMethod(this, [this, text] { FForm->Notice(text); }, Qt::QueuedConnection);
    };
    FStore.OnCommitted = [this](TEventStore*) {
        FLink.Notify(); // forwarded at once, not at the next look
        QMetaObject::invokeMethod(this, [this] { Committed(); }, Qt::QueuedConnection);
    };
    TSettingsStore& settings = form->SettingsStore();
    QString station = CleanStationName(settings.Value(StationValueName).toString());
    if (station.isEmpty()) station = CleanStationName(QSysInfo::machineHostName());
    if (station.isEmpty()) station = QStringLiteral("Station");
    // The station's identity, made once; its name is only a label.
    QString identityProblem;
    FIdentityPath = QDir(dir).absoluteFilePath(ProgramTitle() + QStringLiteral(".station"));
    FIdentity = TStationIdentity::LoadOrMake(FIdentityPath, &identityProblem);
    if (!identityProblem.isEmpty())
        QTimer::singleShot(0, this, [this, identityProblem] { FForm->Notice(identityProblem); });
    FStore.Start(QDir(dir).absoluteFilePath(ProgramTitle() + QStringLiteral(".db")), station, FIdentity.Id);
    FRecorder = std::make_unique<TEventRecorder>(FStore);
    FChecker = std::make_unique<TRunChecker>(FStore, *FRecorder);
    {
        TEventDb reader;
        FStore.Flush(2000); // opened, checked and migrated by the writer
        // The last program run's journal: a run still in progress keeps its event
        // after midnight, and runs it entered that the database lacks are added.
        const Journal::TInterruptedRun last = Journal::ReadInterruptedRun(
            QDir(dir).absoluteFilePath(ProgramTitle() + QStringLiteral(".journal")), ProgramTitle());
        if (reader.OpenForReading(FStore.Path())) {
            FRecorder->Resume(reader, last.Found);
            // Runs it entered that the database lacks, then their corrections, each once.
            QStringList text{FRecorder->AddFromJournal(reader, last)};
            text << ContinueEvent();
            text.removeAll(QString());
            if (!text.isEmpty())
                QTimer::singleShot(0, form, [form, text] { form->ShowStatus(text.join(QStringLiteral("; "))); });
            FChecker->Load(reader);
        }
    }
    // A list taken up anew goes on with who still has to drive in the round.
    form->FirstEntrants = [this](const QStringList& entries, int cars, QString& runNumber) {
        if (FRecorder->Rounds.LatestRound() == 0) return std::vector<int>(); // nobody timed yet
        const TRounds::TNext first = FRecorder->Rounds.First(entries, cars, TRounds::RoundOf(runNumber));
        if (first.NewRound) runNumber = QString::number(first.Round);
        return first.Index;
    };
    // RESET goes on with the next entrant who still has to drive, then the next round.
    form->NextEntrants = [this](const QStringList& entries, const std::vector<int>& current,
                                QString& runNumber) {
        const TRounds::TNext next =
            FRecorder->Rounds.Next(entries, current, TRounds::RoundOf(runNumber));
        if (next.NewRound) runNumber = QString::number(next.Round);
        return next.Index;
    };
    // A correction names its run and itself before the journal writes it.
    form->IdentifyChange = [this](TProtocolChange& c) { FRecorder->Identify(c); };
    // A run the database holds is safely recorded: the recovery need not offer it.
    form->RunRecorded = [this](const QString& runId) {
        FStore.Flush(2000);
        TEventDb reader;
        return reader.OpenForReading(FStore.Path()) && reader.HasRun(runId);
    };
    form->AddRunListener(FRecorder.get());
    form->AddRunListener(FChecker.get());

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
    mServer = item("mServer", QStringLiteral("Server und Station …"),
                   QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_T));
    mServer->OnClick = [this](QObject*) { ShowServerSettings(); };
    mRuns->OnClick = [this](QObject*) { ShowRuns(); };
    mNewEvent->OnClick = [this](QObject*) { NewEvent(); };
    mLoadEvent->OnClick = [this](QObject*) { LoadCurrentEvent(); };

    FServerStatus = new QLabel(form->StatusBar1);
    FServerStatus->setObjectName(QStringLiteral("StatusServer"));
    FServerStatus->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    FServerStatus->setAlignment(Qt::AlignCenter);
    FServerStatus->setVisible(false);
    form->StatusBar1->installEventFilter(this);
    FLink.OnState = [this](TStationLink*, bool up, const QString& detail) {
        QMetaObject::invokeMethod(this, [this, up, detail] { ShowServerState(up, detail); },
                                  Qt::QueuedConnection);
    };
    FLink.OnProblem = [this](TStationLink*, const QString& text) {
        QMetaObject::invokeMethod(this, [this, text] { FForm->Notice(text); }, Qt::QueuedConnection);
    };
    FLink.OnPulled = [this](TStationLink*, int, bool events) {
        QMetaObject::invokeMethod(this, [this, events] { Pulled(events); }, Qt::QueuedConnection);
    };
    FLink.OnNameTaken = [this](TStationLink*, const QString&, const QStringList& others) {
        QMetaObject::invokeMethod(
            this, [this, others] { FForm->AfterRun([this, others] { AskNameTaken(others); }); },
            Qt::QueuedConnection);
    };
    // The status follows a server that stops answering.
    FSilenceTimer = new QTimer(this);
    FSilenceTimer->setInterval(1000);
    connect(FSilenceTimer, &QTimer::timeout, this, [this] { ShowServerSilence(); });
    FOthersToProtocol = settings.Value(OthersToProtocolValueName, true).toBool();
    StartLink(settings.Value(ServerValueName).toString());
}

QString TEventsFeature::ContinueEvent() {
    if (FRecorder->CurrentEvent().isEmpty()) return QString();
    // Settings without a title of their own would rename the event with the default.
    const QString title = FRecorder->CurrentTitle();
    if (FForm->SettingsStore().Value(QStringLiteral("Title")).toString().isEmpty() && !title.isEmpty() &&
        FForm->eTitle->text() != title) {
        FForm->eTitle->setText(title);
        FForm->eTitle->setCursorPosition(0);
    }
    const int round = FRecorder->Rounds.LatestRound();
    if (round == 0 || QString::number(round) == FForm->eNR->text()) return QString();
    FForm->eNR->setText(QString::number(round));
    return QStringLiteral("Veranstaltung „%1“ geht weiter mit Lauf %2").arg(title).arg(round);
}

bool TEventsFeature::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Resize && watched == FForm->StatusBar1) PlaceServerStatus();
    return QObject::eventFilter(watched, event);
}

void TEventsFeature::PlaceServerStatus() {
    const int w = 170;
    FServerStatus->setGeometry(std::max(0, FForm->StatusBar1->width() - w - 1), 1, w, 18);
}

void TEventsFeature::StartLink(const QString& server) {
    FLink.Stop(0);
    const TServerConnection c = ParseServerConnection(server);
    FServerText = c.Cleaned;
    if (!c.Message.isEmpty()) {
        if (c.Cleaned != server.trimmed()) {
            // Never kept: the value goes back without its password at once.
            FForm->SettingsStore().SetValue(ServerValueName, c.Cleaned);
            FForm->SettingsStore().Sync();
        }
        QTimer::singleShot(0, this, [text = c.Message] { TFormMain::ShowMessage(text); });
    }
    FServerStatus->setVisible(!c.ConnInfo.isEmpty());
    FServerUp = false;
    FSilenceTimer->stop();
    if (c.ConnInfo.isEmpty()) return;
    FServerStatus->setText(QStringLiteral("Server: verbinde …"));
    FServerStatus->setStyleSheet(QString());
    FServerStatus->setToolTip(QString());
    PlaceServerStatus();
    FLink.Start(FStore.Path(), c.ConnInfo, FStore.Station(), FIdentity.Id, FIdentity.Replaces);
    FSilenceTimer->start();
}

void TEventsFeature::ShowServerSilence() {
    if (!FLink.IsStarted() || !FServerUp) return;
    const qint64 silent = FLink.SilentMs();
    const QString text = silent >= ServerSilentAfterMs ? ServerSilentText(silent)
                                                       : QStringLiteral("Server verbunden");
    if (FServerStatus->text() == text) return;
    FServerStatus->setText(text);
    FServerStatus->setStyleSheet(silent >= ServerSilentAfterMs
                                     ? QStringLiteral("color: #b00000; font-weight: bold;")
                                     : QString());
}

void TEventsFeature::AskNameTaken(const QStringList& others) {
    if (AskReplace(FForm, NameTakenText(FStore.Station()))) {
        for (const QString& id : others)
            if (!FIdentity.Replaces.contains(id)) FIdentity.Replaces << id;
        if (!FIdentity.Save(FIdentityPath))
            FForm->Notice(QStringLiteral("Die Kennung dieser Station kann nicht in %1 gespeichert "
                                         "werden.")
                              .arg(FIdentityPath));
        StartLink(FForm->SettingsStore().Value(ServerValueName).toString());
        return;
    }
    ShowServerSettings();
}

void TEventsFeature::ShowServerState(bool up, const QString& detail) {
    if (!FLink.IsStarted()) return;
    FServerUp = up;
    if (up) {
        FServerStatus->setText(QStringLiteral("Server verbunden"));
        FServerStatus->setStyleSheet(QString());
        FServerStatus->setToolTip(QStringLiteral("Station „%1“, Server %2").arg(FStore.Station(), FServerText));
    } else {
        FServerStatus->setText(QStringLiteral("Server nicht erreichbar"));
        FServerStatus->setStyleSheet(QStringLiteral("color: #b00000; font-weight: bold;"));
        FServerStatus->setToolTip(
            QStringLiteral("Die Zeitnahme läuft weiter; die Läufe werden hier gespeichert und "
                           "weitergeleitet, sobald der Server wieder erreichbar ist.") +
            (detail.isEmpty() ? QString() : QStringLiteral("\n") + detail));
    }
}

void TEventsFeature::Pulled(bool events) {
    if (events) {
        // The newest event of the day, wherever it began, is this station's too.
        TEventDb reader;
        if (reader.OpenForReading(FStore.Path()) && !FRecorder->Follow(reader))
            FRecorder->NoteExclusions(reader); // another station's exclusion counts for the rounds
    }
    if (FOthersToProtocol) OthersIntoProtocol();
    if (FWindow && FWindow->isVisible() && FWindow->ShownEvent().isEmpty())
        FWindow->Load(FStore.Path(), FRecorder->CurrentEvent());
    RecordsChanged(true); // stations new here are looked for
    Committed(); // "Läufe" and standings (and through them the live page) read again
    if (OnRunsPulled) OnRunsPulled(this);
}

void TEventsFeature::OthersIntoProtocol() {
    TEventDb reader;
    if (FRecorder->CurrentEvent().isEmpty() || !reader.OpenForReading(FStore.Path())) return;
    const std::vector<TEffectiveRun> runs = reader.EffectiveRuns(FRecorder->CurrentEvent());
    QHash<QString, const TEffectiveRun*> byUuid;
    for (const TEffectiveRun& e : runs)
        byUuid.insert(e.Run.Uuid, &e);
    TSortGrid* g = FForm->SortGrid1;
    bool changed = false;
    for (const TEffectiveRun& e : runs) {
        if (e.Withdrawn || e.Run.Name.trimmed().isEmpty()) continue;
        const QString inRow = FRecorder->RunOfRow(e.Run.Name);
        if (e.Run.StationId == FStore.StationId()) {
            // Our own run follows only what another station corrected in it.
            const QStringList by = e.CorrectingStations();
            if (inRow != e.Run.Uuid || by.isEmpty() || (by.size() == 1 && by[0] == FStore.Station()))
                continue;
        }
        const TEffectiveRun* shown = byUuid.value(inRow);
        // A row keeps a newer run, whichever station timed it.
        if (shown && shown != &e && shown->Run.RecordedMs > e.Run.RecordedMs) continue;
        int row = g->FindRow(pcName, e.Run.Name, false);
        const QStringList cells = ProtocolCells(e);
        if (row > 0) {
            bool same = true;
            for (int c = 0; c < pcCount && same; ++c)
                same = c == pcRank || g->Cells(c, row) == cells.value(c);
            if (same) continue;
        } else if (g->RowCount() == 2 && IsBlankRow(g->Rows(1))) {
            row = 1;
        } else {
            g->SetRowCount(g->RowCount() + 1);
            row = g->RowCount() - 1;
        }
        for (int c = 0; c < pcCount; ++c)
            g->SetCells(c, row, cells.value(c));
        // No correction of ours: the row only shows what the other station timed.
        FRecorder->MapRow(e.Run);
        changed = true;
    }
    if (!changed) return;
    g->SetModified(true);
    FForm->UpdateProtocolButtons();
    FForm->AnnounceProtocol(TProtocolChangeKind::Loaded); // ranks, backup and live page follow
}

void TEventsFeature::ShowServerSettings() {
    TFormServer dialog(FForm);
    const QString state = !FLink.IsStarted() ? QStringLiteral("kein Server")
                          : FLink.IsUp()     ? QStringLiteral("verbunden")
                                             : QStringLiteral("nicht erreichbar");
    dialog.SetValues(FServerText, FStore.Station(), FOthersToProtocol, state);
    if (dialog.exec() != QDialog::Accepted) return;
    ApplyServerSettings(dialog.Connection().Cleaned, dialog.Station(), dialog.cbToProtocol->isChecked());
}

void TEventsFeature::ApplyServerSettings(const QString& server, const QString& station,
                                         bool othersToProtocol) {
    const QString name = CleanStationName(station);
    TSettingsStore& settings = FForm->SettingsStore();
    FOthersToProtocol = othersToProtocol;
    settings.SetValue(OthersToProtocolValueName, othersToProtocol);
    settings.SetValue(ServerValueName, server);
    if (!name.isEmpty()) settings.SetValue(StationValueName, name);
    settings.Sync();
    // The name is a label: records still waiting keep the one they were made under.
    if (!name.isEmpty()) FStore.SetStation(name);
    StartLink(server); // a link hung in the old server is left behind, never waited for
}

// The window no longer announces while it is destroyed, so the recorder may go with it.
TEventsFeature::~TEventsFeature() {
    delete FWindow; // a window of its own beside the main window, not its child
    FLink.Stop(1000); // a hung server keeps the program at most a second
    FStore.Stop();
}

void TEventsFeature::Committed() {
    RecordsChanged(false);
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
        FWindow = new TFormRuns(nullptr);
        FWindow->addActions(FForm->actions()); // the timing keys keep working
        FWindow->OnToProtocol = [this](QObject*, const TEffectiveRun& e) { PutIntoProtocol(e); };
        FWindow->OnChecked = [this](QObject*, const TEffectiveRun& e) {
            if (FChecker->CheckRun(e) == 0) return;
            FStore.Flush(1000);
            FWindow->Reload();
        };
        FWindow->OnLoadProtocol = [this](QObject*, const std::vector<TEffectiveRun>& runs) {
            LoadProtocol(runs);
        };
        RunsWindowMade(FWindow);
    }
    FStore.Flush(1000);
    FWindow->Load(FStore.Path(), FRecorder->CurrentEvent());
    FWindow->show();
    FWindow->raise();
    FWindow->activateWindow();
}

void TEventsFeature::NewEvent() {
    FRecorder->NewEvent(FForm->eTitle->text());
    FForm->eNR->setText(QStringLiteral("1")); // a new event begins with its first round
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
    FForm->AnnounceProtocol(TProtocolChangeKind::Loaded); // backup and live page follow
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
    // The status bar counts the new rows, as after any load.
    FForm->SelectWholeRow(1);
    FForm->ShowRowPosition(1);
    for (const TEffectiveRun& e : runs)
        FRecorder->RunToProtocol(e.Run);
    FForm->UpdateProtocolButtons();
    FForm->AnnounceProtocol(TProtocolChangeKind::Loaded); // backup and live page follow
    return true;
}

bool TEventsFeature::RestoreProtocol() {
    FStore.Flush(2000);
    TEventDb reader;
    if (FRecorder->CurrentEvent().isEmpty() || !reader.OpenForReading(FStore.Path())) return false;
    std::vector<TEffectiveRun> runs = reader.EffectiveRuns(FRecorder->CurrentEvent());
    std::reverse(runs.begin(), runs.end());
    FForm->SortGrid1->SetModified(false);
    return LoadProtocol(LatestRunPerDriver(runs));
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
