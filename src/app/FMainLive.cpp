// Live results: the window hands a copy of its run and protocol to the web
// server after every change; the server serves it on its own thread.
#include "FLive.h"
#include "FMain.h"
#include "NetAddresses.h"
#include "TickSource.h"

#include <QDateTime>

QString TFormMain::LiveBindAddress = QStringLiteral("0.0.0.0");

namespace {

constexpr int DefaultLivePort = 8080;

} // namespace

void TFormMain::CreateLive() {
    mLive =
        AddMenuItem("mLive", QStringLiteral("Live-Ergebnisse"), QKeySequence(Qt::CTRL | Qt::Key_L));
    mLive->OnClick = [this](QObject* s) { mLiveClick(s); };
    LiveServer = std::make_unique<TLiveServer>();
    FLiveTimer = new QTimer(this);
    FLiveTimer->setObjectName(QStringLiteral("LiveTimer"));
    FLiveTimer->setSingleShot(true);
    FLiveTimer->setInterval(0); // many changes of one handler make one snapshot
    connect(FLiveTimer, &QTimer::timeout, this, &TFormMain::PublishLive);

    // Every change of the table reaches the page, whichever command made it.
    const QAbstractItemModel* m = SortGrid1->model();
    const auto changed = [this] { LiveChanged(); };
    FLiveConnections = {
        connect(m, &QAbstractItemModel::dataChanged, this, changed),
        connect(m, &QAbstractItemModel::modelReset, this, changed),
        connect(m, &QAbstractItemModel::layoutChanged, this, changed),
        connect(m, &QAbstractItemModel::rowsInserted, this, changed),
        connect(m, &QAbstractItemModel::rowsRemoved, this, changed),
        connect(eTitle, &QLineEdit::textChanged, this, changed),
        connect(eNR, &QLineEdit::textChanged, this, changed),
        connect(FrameTimer1->hcbName, &QComboBox::editTextChanged, this, changed),
        connect(FrameTimer2->hcbName, &QComboBox::editTextChanged, this, changed),
    };

    // Beside the other settings, under value names of their own.
    int port = DefaultLivePort;
    if (!SettingsStore().ReadInt(QStringLiteral("WebPort"), port) || port < 1 || port > 65535)
        port = DefaultLivePort;
    FLivePort = port;
    if (SettingsStore().Value(QStringLiteral("WebOn"), false).toBool()) {
        QString error;
        if (!StartLive(error)) // told once the window is up, not in the middle of its creation
            QTimer::singleShot(0, this, [error] { ShowMessage(error); });
    }
}

// The controls go after the window's own members: nothing may reach the server then.
void TFormMain::CloseLive() {
    for (const QMetaObject::Connection& c : FLiveConnections)
        disconnect(c);
    FLiveConnections.clear();
    LiveServer.reset();
}

bool TFormMain::StartLive(QString& error) {
    if (!LiveServer->Start(static_cast<quint16>(FLivePort), QHostAddress(LiveBindAddress), error))
        return false;
    PublishLive();
    return true;
}

void TFormMain::LiveChanged() {
    if (LiveServer && LiveServer->IsListening() && FLiveTimer && !FLiveTimer->isActive())
        FLiveTimer->start();
}

void TFormMain::PublishLive() {
    FLiveTimer->stop();
    if (LiveServer) LiveServer->Publish(LiveSnapshot());
}

TLiveState TFormMain::LiveSnapshot() const {
    TLiveState s;
    s.Title = eTitle->text();
    s.RunNumber = eNR->text();
    s.Date = QDate::currentDate();
    s.Cars = qBound(1, Cars, 2);
    s.Laps = qBound(2, Laps, 5);
    const qint64 epoch = QDateTime::currentMSecsSinceEpoch();
    const uint32_t tick = TickSource::Now();
    for (int car = 1; car <= s.Cars; ++car) {
        const TFrameTimer* t = FTimers[car];
        TLiveCar c;
        c.Car = car;
        c.Name = t->hcbName->Text();
        const int done = qBound(0, t->Tag, 5);
        for (int lap = 1; lap <= done; ++lap)
            c.LapMs << FLapTimers[car][lap]->Tag;
        if (t->Clock->isActive()) {
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
    for (int col = 0; col < SortGrid1->ColCount(); ++col)
        if (col != pcRank && (col == pcName || SortGrid1->ColWidths(col) >= 0)) {
            cols << col;
            s.Columns << SortGrid1->Cells(col, 0);
        }
    for (int row = 1; row < SortGrid1->RowCount(); ++row) {
        TLiveRow r;
        bool blank = true;
        for (int col : cols) {
            r.Cells << SortGrid1->Cells(col, row);
            blank = blank && IsBlank(r.Cells.last());
        }
        if (blank) continue;
        r.Rank = SortGrid1->Cells(pcRank, row).trimmed();
        s.Rows << r;
    }
    return s;
}

void TFormMain::mLiveClick(QObject*) {
    if (!FormLive) {
        FormLive = new TFormLive(this);
        FormLive->OnSwitch = [this](QObject*, bool on, int port) { LiveSwitch(on, port); };
        // F5, F4, F9 and the other keys keep working while this window has the focus.
        FormLive->addActions(actions());
    }
    FormLive->ShowState(LiveServer->IsListening(), FLivePort, LiveAddresses(FLivePort), QString());
    FormLive->show();
    FormLive->raise();
    FormLive->activateWindow();
}

bool TFormMain::LiveSwitch(bool on, int port) {
    QString error;
    bool ok = true;
    if (on) {
        if (!LiveServer->IsListening() || LiveServer->Port() != port) {
            FLivePort = port;
            ok = StartLive(error);
        }
    } else {
        LiveServer->Stop();
    }
    // Kept at once: the choice survives a crash as well as a normal end.
    SettingsStore().SetValue(QStringLiteral("WebPort"), FLivePort);
    SettingsStore().SetValue(QStringLiteral("WebOn"), LiveServer->IsListening());
    SettingsStore().Sync();
    if (FormLive)
        FormLive->ShowState(LiveServer->IsListening(), FLivePort, LiveAddresses(FLivePort), error);
    if (!ok) ShowMessage(error);
    return ok;
}
