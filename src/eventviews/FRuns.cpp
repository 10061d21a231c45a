#include "FRuns.h"

#include "DurableFile.h"
#include "ProgramInfo.h"
#include "Questions.h"
#include "RecentFolders.h"
#include "SheetModel.h"
#include "WorkbookFiles.h"
#include "OfficeError.h"

#include <QDateTime>
#include <QFileDialog>
#include <QFont>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QMessageBox>
#include <QVBoxLayout>
#include <limits>
#include <utility>

std::function<QString(QWidget*, const QString&, const QString&)> TFormRuns::AskSaveFile =
    [](QWidget* parent, const QString& caption, const QString& filter) {
        const QString name = Questions::SaveFileName(
            parent, caption, filter, RecentFolders::Folder(RecentFolders::Runs));
        RecentFolders::Remember(RecentFolders::Runs, name);
        return name;
    };

std::function<void(QWidget*, const QString&)> TFormRuns::ShowError = [](QWidget* parent,
                                                                        const QString& text) {
    QMessageBox::critical(parent, ProgramTitle(), text);
};

namespace {

// Runs read before the window is first painted: more than a screen holds.
constexpr int FirstSlice = 300;
// Reading on takes at most this long before the window gets its events again.
constexpr int SliceMs = 15;
// Runs read on are listed this often: each listing paints the table again.
constexpr int ListEveryMs = 250;

} // namespace

QVariant TRunTableModel::data(const QModelIndex& index, int role) const {
    // Suspicious and hand-timed cells coloured as in the protocol.
    if (role == Qt::BackgroundRole) {
        if (TRunListModel::data(index, FlaggedRole).toBool()) return RunMarkColors::Flag;
        if (TRunListModel::data(index, HandTimeRole).toBool()) return RunMarkColors::Hand;
        return {};
    }
    if (role == Qt::ForegroundRole)
        return TRunListModel::data(index, FlaggedRole).toBool() ||
                       TRunListModel::data(index, HandTimeRole).toBool()
                   ? QVariant(QColor(Qt::black))
                   : QVariant();
    if (role != Qt::FontRole) return TRunListModel::data(index, role);
    QFont f;
    f.setBold(TRunListModel::data(index, CountingRole).toBool());
    f.setStrikeOut(TRunListModel::data(index, WithdrawnRole).toBool());
    return f;
}

void MakeSideWindow(QWidget* w) {
    w->setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                      Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
    w->setAttribute(Qt::WA_QuitOnClose, false);
}

TFormRuns::TFormRuns(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("FormRuns"));
    MakeSideWindow(this);
    setWindowTitle(QStringLiteral("Läufe"));
    Model = new TRunTableModel(this);

    cbEvent = new QComboBox(this);
    cbEvent->setObjectName(QStringLiteral("cbEvent"));
    cbEvent->setMinimumContentsLength(30);
    eFilter = new QLineEdit(this);
    eFilter->setObjectName(QStringLiteral("eFilter"));
    eFilter->setPlaceholderText(QStringLiteral("Fahrer oder Start-Nr."));
    eFilter->setClearButtonEnabled(true);
    tvRuns = new QTableView(this);
    tvRuns->setObjectName(QStringLiteral("tvRuns"));
    tvRuns->setModel(Model);
    tvRuns->setSelectionBehavior(QAbstractItemView::SelectRows);
    tvRuns->setSelectionMode(QAbstractItemView::SingleSelection);
    tvRuns->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tvRuns->verticalHeader()->setVisible(false);
    tvRuns->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    tvRuns->horizontalHeader()->setStretchLastSection(true);
    lHistory = new QLabel(QStringLiteral("Verlauf des gewählten Laufs:"), this);
    lHistory->setObjectName(QStringLiteral("lHistory"));
    lbHistory = new QListWidget(this);
    lbHistory->setObjectName(QStringLiteral("lbHistory"));
    lbHistory->setMaximumHeight(110);

    const auto button = [this](const char* name, const QString& caption) {
        auto* b = new QPushButton(caption, this);
        b->setObjectName(QLatin1String(name));
        b->setAutoDefault(false);
        return b;
    };
    bToProtocol = button("bToProtocol", QStringLiteral("In Protokoll übernehmen"));
    bLoadProtocol = button("bLoadProtocol", QStringLiteral("Protokoll aus Veranstaltung laden"));
    bCorrection = button("bCorrection", QStringLiteral("Strafe/Status"));
    Corrections = new TRunCorrectionActions(tvRuns, [this] { return SelectedRun(); });
    SearchByName(tvRuns, 4);
    bCorrection->setMenu(Corrections->Menu);
    tvRuns->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(tvRuns, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        Corrections->Update();
        Corrections->Menu->popup(tvRuns->viewport()->mapToGlobal(pos));
    });
    bChecked = button("bChecked", QStringLiteral("Geprüft"));
    bChecked->setToolTip(QStringLiteral("Die auffälligen Zeiten des gewählten Laufs sind geprüft"));
    bExcel = button("bExcel", QStringLiteral("Als Excel …"));
    bCsv = button("bCsv", QStringLiteral("Als CSV …"));
    bClose = button("bClose", QStringLiteral("Schließen"));

    auto* top = new QHBoxLayout;
    auto* lEvent = new QLabel(QStringLiteral("&Veranstaltung:"), this);
    lEvent->setBuddy(cbEvent);
    auto* lFilter = new QLabel(QStringLiteral("&Suche:"), this);
    lFilter->setBuddy(eFilter);
    top->addWidget(lEvent);
    top->addWidget(cbEvent, 2);
    top->addSpacing(12);
    top->addWidget(lFilter);
    top->addWidget(eFilter, 1);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(bToProtocol);
    bottom->addWidget(bLoadProtocol);
    bottom->addWidget(bCorrection);
    bottom->addWidget(bChecked);
    bottom->addStretch(1);
    bottom->addWidget(bExcel);
    bottom->addWidget(bCsv);
    bottom->addWidget(bClose);
    auto* v = new QVBoxLayout(this);
    v->addLayout(top);
    v->addWidget(tvRuns, 1);
    v->addWidget(lHistory);
    v->addWidget(lbHistory);
    v->addLayout(bottom);
    resize(980, 560);

    connect(cbEvent, &QComboBox::activated, this, [this](int i) { ShowEvent(i); });
    connect(eFilter, &QLineEdit::textChanged, this, [this](const QString& t) {
        Model->SetFilter(t);
        ShowHistory();
    });
    connect(tvRuns->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this] { ShowHistory(); });
    connect(bToProtocol, &QPushButton::clicked, this, [this] {
        if (const TEffectiveRun* e = SelectedRun(); e && OnToProtocol) OnToProtocol(this, *e);
    });
    connect(bLoadProtocol, &QPushButton::clicked, this, [this] {
        if (OnLoadProtocol) OnLoadProtocol(this, LatestRunPerDriver());
    });
    connect(bChecked, &QPushButton::clicked, this, [this] {
        if (const TEffectiveRun* e = SelectedRun(); e && OnChecked) OnChecked(this, *e);
    });
    connect(bExcel, &QPushButton::clicked, this, [this] { SaveAs(true); });
    connect(bCsv, &QPushButton::clicked, this, [this] { SaveAs(false); });
    connect(bClose, &QPushButton::clicked, this, &QDialog::close);
    FReadTimer.setSingleShot(true);
    FReadTimer.setInterval(0);
    connect(&FReadTimer, &QTimer::timeout, this, [this] { ReadMore(); });
    ShowHistory();
}

void TFormRuns::Load(const QString& dbPath, const QString& eventUuid) {
    FPath = dbPath;
    FEvents.clear();
    FCursor.Close(); // its query goes before the connection it reads on
    if (FDb.Path() != dbPath || !FDb.IsOpen()) FDb.OpenForReading(dbPath);
    if (FDb.IsOpen()) FEvents = FDb.Events();
    cbEvent->clear();
    int current = 0;
    for (size_t i = 0; i < FEvents.size(); ++i) {
        const TEventInfo& e = FEvents[i];
        cbEvent->addItem(e.Date.toString(QStringLiteral("dd.MM.yyyy")) + QStringLiteral("  ") +
                         (e.Title.isEmpty() ? QStringLiteral("(ohne Titel)") : e.Title));
        if (e.Uuid == eventUuid) current = int(i);
    }
    cbEvent->setCurrentIndex(FEvents.empty() ? -1 : current);
    ShowEvent(FEvents.empty() ? -1 : current);
}

void TFormRuns::Reload() {
    const QString shown = ShownEvent();
    const TEffectiveRun* sel = SelectedRun();
    const QString selected = sel ? sel->Run.Uuid : QString();
    FCursor.Close();
    FDb.Close(); // a fresh read sees the writer's latest commit
    Load(FPath, shown);
    for (int row = 0; row < Model->rowCount(); ++row)
        if (Model->RunAt(row)->Run.Uuid == selected) return SelectRow(row);
    if (Loading()) FSelectWhenRead = selected;
}

void TFormRuns::ShowEvent(int index) {
    FCursor.Close();
    FRead.clear();
    FSelectWhenRead.clear();
    Model->SetRuns({});
    if (index >= 0 && index < int(FEvents.size()) && FDb.IsOpen() &&
        FCursor.Start(FDb, FEvents[size_t(index)].Uuid))
        Model->AddOlderRuns(FCursor.Next(FirstSlice));
    for (int c = 0; c < Model->columnCount(); ++c)
        tvRuns->setColumnWidth(c, c == 4 ? 200 : 78);
    if (Model->rowCount() > 0) SelectRow(0);
    ShowHistory();
    FSinceListed.start();
    if (Loading()) FReadTimer.start();
    else AllRead();
}

void TFormRuns::ReadMore() {
    QElapsedTimer t;
    t.start();
    while (Loading() && t.elapsed() < SliceMs)
        for (TEffectiveRun& e : FCursor.Next(100))
            FRead.push_back(std::move(e));
    if (!Loading() || FSinceListed.elapsed() >= ListEveryMs) {
        AddOlder(std::exchange(FRead, {}));
        FSinceListed.start();
    }
    if (Loading()) FReadTimer.start();
    else AllRead();
}

void TFormRuns::AddOlder(std::vector<TEffectiveRun> runs) {
    const int before = Model->rowCount();
    const int columns = Model->columnCount();
    Model->AddOlderRuns(std::move(runs));
    for (int c = columns; c < Model->columnCount(); ++c) // an older run had more laps
        tvRuns->setColumnWidth(c, 78);
    if (FSelectWhenRead.isEmpty()) return;
    if (tvRuns->currentIndex().row() > 0) return FSelectWhenRead.clear(); // chosen meanwhile
    for (int row = before; row < Model->rowCount(); ++row)
        if (Model->RunAt(row)->Run.Uuid == FSelectWhenRead) {
            FSelectWhenRead.clear();
            return SelectRow(row);
        }
}

void TFormRuns::FinishLoading() {
    if (!Loading()) return;
    FReadTimer.stop();
    for (TEffectiveRun& e : FCursor.Next(std::numeric_limits<int>::max()))
        FRead.push_back(std::move(e));
    if (!FRead.empty()) AddOlder(std::exchange(FRead, {}));
    AllRead();
}

// Every run of the shown event is in the list now.
void TFormRuns::AllRead() {
    FSelectWhenRead.clear();
    if (OnRunsShown) OnRunsShown(this);
}

QString TFormRuns::ShownEvent() const {
    const int i = cbEvent->currentIndex();
    return i >= 0 && i < int(FEvents.size()) ? FEvents[size_t(i)].Uuid : QString();
}

QString TFormRuns::ShownEventTitle() const {
    const int i = cbEvent->currentIndex();
    return i >= 0 && i < int(FEvents.size()) ? FEvents[size_t(i)].Title : QString();
}

const TEffectiveRun* TFormRuns::SelectedRun() const {
    return Model->RunAt(tvRuns->currentIndex().row());
}

void TFormRuns::SelectRow(int row) {
    tvRuns->setCurrentIndex(Model->index(row, 0));
    tvRuns->selectRow(row);
}

void TFormRuns::ShowHistory() {
    lbHistory->clear();
    const TEffectiveRun* e = SelectedRun();
    bToProtocol->setEnabled(e != nullptr);
    Corrections->Update();
    bChecked->setEnabled(e && !e->Flags.empty());
    bLoadProtocol->setEnabled(Model->RunCount() > 0);
    lHistory->setText(QStringLiteral("Verlauf des gewählten Laufs:"));
    lHistory->setStyleSheet(QString());
    if (!e) return;
    QStringList stations = e->CorrectingStations();
    if (!stations.contains(e->Run.Station)) stations.prepend(e->Run.Station);
    // With several stations each line tells where it was made.
    const auto where = [&stations](const QString& station) {
        return stations.size() > 1 ? QStringLiteral(" – Station ") + station : QString();
    };
    lbHistory->addItem(QDateTime::fromMSecsSinceEpoch(e->Run.RecordedMs).toString(QStringLiteral("HH:mm:ss")) +
                       QStringLiteral(" gezeitet, Lauf ") + e->Run.RunNo + where(e->Run.Station));
    for (const TCorrection& c : e->History)
        lbHistory->addItem(TRunListModel::HistoryText(c) + where(c.Station));
    const QStringList correcting = e->CorrectingStations();
    if (correcting.size() > 1) {
        lHistory->setText(QStringLiteral("Verlauf des gewählten Laufs: von %1 Stationen korrigiert (%2); "
                                         "alle Korrekturen gelten in der Reihenfolge ihrer Zeit.")
                              .arg(correcting.size())
                              .arg(correcting.join(QStringLiteral(", "))));
        lHistory->setStyleSheet(QStringLiteral("color: #b00000; font-weight: bold;"));
    }
}

std::vector<TEffectiveRun> TFormRuns::LatestRunPerDriver() {
    FinishLoading();
    return ::LatestRunPerDriver(Model->AllRuns());
}

bool TFormRuns::ExportCsv(const QString& fileName) {
    FinishLoading();
    if (ReplaceFileContents(fileName, Model->Csv())) return true;
    ShowError(this, QStringLiteral("Der Schreibfehler der Datei: ") + fileName);
    return false;
}

bool TFormRuns::ExportXlsx(const QString& fileName) {
    FinishLoading();
    TWorkbookModel book;
    book.Title = QStringLiteral("Läufe");
    TSheetModel sheet;
    sheet.Name = QStringLiteral("Läufe");
    sheet.BoldRows.insert(1);
    const QStringList header = Model->Header();
    for (int c = 0; c < header.size(); ++c)
        sheet.At(1, c + 1).Value = header[c];
    for (int row = 0; row < Model->rowCount(); ++row) {
        const QStringList t = Model->RowTexts(row);
        for (int c = 0; c < t.size(); ++c)
            if (!t[c].isEmpty()) sheet.At(row + 2, c + 1).Value = t[c];
    }
    book.Sheets << sheet;
    try {
        WorkbookFiles::WriteXlsx(book, fileName);
        return true;
    } catch (const EOfficeError&) {
        ShowError(this, QStringLiteral("Der Schreibfehler der Datei: ") + fileName);
        return false;
    }
}

void TFormRuns::SaveAs(bool xlsx) {
    QString name = AskSaveFile(this, QStringLiteral("Läufe speichern"),
                               xlsx ? QStringLiteral("Excel-Arbeitsmappe (*.xlsx)")
                                    : QStringLiteral("CSV-Datei (*.csv)"));
    if (name.isEmpty()) return;
    const QString ext = xlsx ? QStringLiteral(".xlsx") : QStringLiteral(".csv");
    if (!name.endsWith(ext, Qt::CaseInsensitive)) name += ext;
    if (xlsx)
        ExportXlsx(name);
    else
        ExportCsv(name);
}
