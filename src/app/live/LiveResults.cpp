// Live results: the window hands a copy of its run and protocol to the web
// server after every change; the server serves it on its own thread.
#include "LiveResults.h"
#include "Protocol.h"
#include "FLive.h"
#include "FMain.h"
#include "NetAddresses.h"
#include "TickSource.h"

#include <QDateTime>
#include <QTimer>

QString TLiveResults::BindAddress = QStringLiteral("0.0.0.0");

namespace {

constexpr int DefaultLivePort = 8080;

} // namespace

TLiveResults::TLiveResults(TFormMain& window) : FWindow(window) {
    TFormMain& w = FWindow;
    w.mLive = w.AddMenuItem("mLive", QStringLiteral("Live-Ergebnisse"),
                            QKeySequence(Qt::CTRL | Qt::Key_L));
    w.mLive->OnClick = [this](QObject*) { ShowWindow(); };
    FServer = std::make_unique<TLiveServer>();
    FTimer = new QTimer(this);
    FTimer->setObjectName(QStringLiteral("LiveTimer"));
    FTimer->setSingleShot(true);
    FTimer->setInterval(0); // many changes of one handler make one snapshot
    connect(FTimer, &QTimer::timeout, this, &TLiveResults::Publish);

    // Every change of the table and the texts reaches the page, whichever command made it.
    const QAbstractItemModel* m = w.SortGrid1->model();
    const auto changed = [this] { Changed(); };
    FConnections = {
        connect(m, &QAbstractItemModel::dataChanged, this, changed),
        connect(m, &QAbstractItemModel::modelReset, this, changed),
        connect(m, &QAbstractItemModel::layoutChanged, this, changed),
        connect(m, &QAbstractItemModel::rowsInserted, this, changed),
        connect(m, &QAbstractItemModel::rowsRemoved, this, changed),
        connect(w.eTitle, &QLineEdit::textChanged, this, changed),
        connect(w.eNR, &QLineEdit::textChanged, this, changed),
        connect(w.FrameTimer1->hcbName, &QComboBox::editTextChanged, this, changed),
        connect(w.FrameTimer2->hcbName, &QComboBox::editTextChanged, this, changed),
    };

    // Beside the other settings, under value names of their own.
    int port = DefaultLivePort;
    if (!w.SettingsStore().ReadInt(QStringLiteral("WebPort"), port) || port < 1 || port > 65535)
        port = DefaultLivePort;
    FPort = port;
    if (w.SettingsStore().Value(QStringLiteral("WebOn"), false).toBool()) {
        QString error;
        if (!Start(error)) // told once the window is up, not in the middle of its creation
            QTimer::singleShot(0, this, [error] { TFormMain::ShowMessage(error); });
    }
}

TLiveResults::~TLiveResults() {
    Close();
}

void TLiveResults::Close() {
    for (const QMetaObject::Connection& c : FConnections)
        disconnect(c);
    FConnections.clear();
    FServer.reset();
}

bool TLiveResults::Start(QString& error) {
    if (!FServer->Start(static_cast<quint16>(FPort), QHostAddress(BindAddress), error))
        return false;
    Publish();
    return true;
}

void TLiveResults::Changed() {
    if (FServer && FServer->IsListening() && FTimer && !FTimer->isActive()) FTimer->start();
}

void TLiveResults::Publish() {
    FTimer->stop();
    if (FServer) FServer->Publish(Snapshot());
}

TLiveState TLiveResults::Snapshot() const {
    TLiveState s;
    s.Title = FWindow.eTitle->text();
    s.RunNumber = FWindow.eNR->text();
    s.Date = QDate::currentDate();
    s.Cars = qBound(1, FWindow.RunSettings.Cars, 2);
    s.Laps = qBound(2, FWindow.RunSettings.Laps, 5);
    const qint64 epoch = QDateTime::currentMSecsSinceEpoch();
    const uint32_t tick = TickSource::Now();
    for (int car = 1; car <= s.Cars; ++car) {
        const TFrameTimer* t = FWindow.FTimers[car];
        TLiveCar c;
        c.Car = car;
        c.Name = t->hcbName->Text();
        const int done = qBound(0, t->Tag, 5);
        for (int lap = 1; lap <= done; ++lap)
            c.LapMs << FWindow.FLapTimers[car][lap]->Tag;
        if (t->DroppedOut()) {
            c.State = TLiveCar::Dnf;
        } else if (t->Clock->isActive()) {
            c.State = TLiveCar::Running;
            c.StartEpochMs = epoch - TickSource::Diff(tick, t->FStartTick);
            c.LapStartEpochMs = epoch - TickSource::Diff(tick, t->FLapTick);
        } else if (done > 0 && done >= s.Laps) {
            c.State = TLiveCar::Finished;
            c.TotalMs = t->FTotalMs;
        }
        s.Current << c;
    }
    // The protocol as the reports show it: visible columns, blank rows left out.
    QList<int> cols;
    for (int col = 0; col < FWindow.SortGrid1->ColCount(); ++col)
        if (col != pcRank && (col == pcName || FWindow.SortGrid1->ColWidths(col) >= 0)) {
            cols << col;
            s.Columns << FWindow.SortGrid1->Cells(col, 0);
        }
    for (int row = 1; row < FWindow.SortGrid1->RowCount(); ++row) {
        TLiveRow r;
        bool blank = true;
        bool marked = false;
        for (int col : cols) {
            r.Cells << FWindow.SortGrid1->Cells(col, row);
            blank = blank && IsBlank(r.Cells.last());
            r.Marks << (CellMark ? CellMark(col, row) : QString());
            marked = marked || !r.Marks.last().isEmpty();
        }
        if (blank) continue;
        if (!marked) r.Marks.clear();
        r.Rank = FWindow.SortGrid1->Cells(pcRank, row).trimmed();
        s.Rows << r;
    }
    if (FillStandings) FillStandings(s);
    return s;
}

void TLiveResults::ShowWindow() {
    if (!FForm) {
        FForm = new TFormLive(&FWindow);
        FForm->OnSwitch = [this](QObject*, bool on, int port) { Switch(on, port); };
        // F5, F4, F9 and the other keys keep working while this window has the focus.
        FForm->addActions(FWindow.actions());
    }
    FForm->ShowState(FServer->IsListening(), FPort, LiveAddresses(FPort), QString());
    FForm->show();
    FForm->raise();
    FForm->activateWindow();
}

bool TLiveResults::Switch(bool on, int port) {
    QString error;
    bool ok = true;
    if (on) {
        if (!FServer->IsListening() || FServer->Port() != port) {
            FPort = port;
            ok = Start(error);
        }
    } else {
        FServer->Stop();
    }
    // Kept at once: the choice survives a crash as well as a normal end.
    FWindow.SettingsStore().SetValue(QStringLiteral("WebPort"), FPort);
    FWindow.SettingsStore().SetValue(QStringLiteral("WebOn"), FServer->IsListening());
    FWindow.SettingsStore().Sync();
    if (FForm)
        FForm->ShowState(FServer->IsListening(), FPort, LiveAddresses(FPort), error);
    if (!ok) TFormMain::ShowMessage(error);
    return ok;
}
