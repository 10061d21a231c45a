#include "FStandings.h"

#include <algorithm>

#include <QFont>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QStyle>
#include <QVBoxLayout>

void TStandingsModel::Set(const QList<TStandingRow>& rows, bool byClass) {
    beginResetModel();
    FRows = rows;
    FByClass = byClass;
    FLines.clear();
    FTexts.clear();
    for (const TStandingSection& s : StandingSections(FRows, byClass)) {
        if (byClass) {
            FLines << TLine{s.Caption, nullptr};
            FTexts << QStringList{};
        }
        for (const TStandingRow* r : s.Rows) {
            FLines << TLine{QString(), r};
            FTexts << StandingTexts(*r, byClass);
        }
    }
    FBold.setBold(true);
    endResetModel();
}

int TStandingsModel::TextWidth(int col, const QFont& font) const {
    if (font != FMeasured || FWidths[0].size() + FWidths[1].size() > 100000) {
        FMeasured = font;
        FWidths[0].clear();
        FWidths[1].clear();
    }
    QFont bold = font;
    bold.setBold(true);
    const QFontMetrics metrics[2] = {QFontMetrics(font), QFontMetrics(bold)};
    const auto measure = [&](const QString& t, bool strong) {
        auto it = FWidths[strong].find(t);
        if (it == FWidths[strong].end()) it = FWidths[strong].insert(t, metrics[strong].horizontalAdvance(t));
        return *it;
    };
    int width = 0;
    for (qsizetype i = 0; i < FLines.size(); ++i) {
        if (!FLines[i].Row) {
            if (col == scName) width = std::max(width, measure(FLines[i].Caption, true));
            continue;
        }
        const QString& t = FTexts[i][col];
        if (!t.isEmpty()) width = std::max(width, measure(t, col == scCounting));
    }
    return width;
}

const TStandingRow* TStandingsModel::RowAt(int row) const {
    return row >= 0 && row < FLines.size() ? FLines[row].Row : nullptr;
}

bool TStandingsModel::IsCaption(int row) const {
    return row >= 0 && row < FLines.size() && !FLines[row].Row;
}

int TStandingsModel::RowOf(const QString& driverKey) const {
    for (int i = 0; i < FLines.size(); ++i)
        if (FLines[i].Row && FLines[i].Row->Key == driverKey) return i;
    return -1;
}

int TStandingsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(FLines.size());
}

int TStandingsModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : scColumnCount;
}

QVariant TStandingsModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= FLines.size()) return {};
    const TLine& line = FLines[index.row()];
    const int col = index.column();
    if (!line.Row) {
        if (role == Qt::DisplayRole) return col == scName ? line.Caption : QString();
        if (role == Qt::FontRole) return FBold;
        if (role == Qt::BackgroundRole) return QColor(0xDD, 0xDD, 0xDD);
        return {};
    }
    switch (role) {
    case Qt::DisplayRole:
        return FTexts[index.row()].value(col);
    case Qt::FontRole:
        return col == scCounting ? QVariant(FBold) : QVariant();
    case Qt::ToolTipRole:
        if (col == scName) return line.Row->Name; // whole where the column cuts it short
        return col == scNote || col == scCounting ? line.Row->Notes.join(QLatin1Char('\n'))
                                                  : QVariant();
    case Qt::TextAlignmentRole:
        return col == scName || col == scClass || col == scNote
                   ? int(Qt::AlignLeft | Qt::AlignVCenter)
                   : int(Qt::AlignRight | Qt::AlignVCenter);
    default:
        return {};
    }
}

QVariant TStandingsModel::headerData(int section, Qt::Orientation o, int role) const {
    if (role != Qt::DisplayRole || o != Qt::Horizontal) return {};
    return StandingCaptions().value(section);
}

TFormStandings::TFormStandings(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("FormStandings"));
    MakeSideWindow(this);
    setWindowTitle(QStringLiteral("Wertung"));
    Model = new TStandingsModel(this);
    RunsModel = new TRunTableModel(this);

    cbView = new QComboBox(this);
    cbView->setObjectName(QStringLiteral("cbView"));
    cbView->addItems({QStringLiteral("Gesamt"), QStringLiteral("Nach Klassen")});
    lRule = new QLabel(this);
    lRule->setObjectName(QStringLiteral("lRule"));

    Tables = new QWidget(this);
    Tables->setObjectName(QStringLiteral("Tables"));
    const auto table = [this](const char* name) {
        auto* t = new QTableView(Tables);
        t->setObjectName(QLatin1String(name));
        t->setSelectionBehavior(QAbstractItemView::SelectRows);
        t->setSelectionMode(QAbstractItemView::SingleSelection);
        t->setEditTriggers(QAbstractItemView::NoEditTriggers);
        t->verticalHeader()->setVisible(false);
        t->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
        t->setWordWrap(false); // a name too long for its column ends in "…" on its one line
        t->horizontalHeader()->setStretchLastSection(true);
        t->setContextMenuPolicy(Qt::CustomContextMenu);
        return t;
    };
    tvStandings = table("tvStandings");
    tvStandings->setModel(Model);
    tvDriverRuns = table("tvDriverRuns");
    tvDriverRuns->setModel(RunsModel);
    lDriverRuns = new QLabel(QStringLiteral("Läufe des Fahrers:"), Tables);
    lDriverRuns->setObjectName(QStringLiteral("lDriverRuns"));
    auto* tv = new QVBoxLayout(Tables);
    tv->setContentsMargins(0, 0, 0, 0);
    tv->addWidget(tvStandings, 3);
    tv->addWidget(lDriverRuns);
    tv->addWidget(tvDriverRuns, 1);

    Corrections = new TRunCorrectionActions(Tables, [this] { return SelectedRun(); });
    Corrections->Excluded = [this](const TEffectiveRun&) {
        const TStandingRow* d = SelectedDriver();
        return d && d->Excluded;
    };
    SearchByName(tvStandings, scName);
    const auto button = [this](const char* name, const QString& caption) {
        auto* b = new QPushButton(caption, this);
        b->setObjectName(QLatin1String(name));
        b->setAutoDefault(false);
        return b;
    };
    bCorrection = button("bCorrection", QStringLiteral("Strafe/Status"));
    bCorrection->setMenu(Corrections->Menu);
    bScoring = button("bScoring", QStringLiteral("Wertung einstellen …"));
    bPrint = button("bPrint", QStringLiteral("Drucken …"));
    bHtml = button("bHtml", QStringLiteral("Als Webseite …"));
    bExcel = button("bExcel", QStringLiteral("Als Excel …"));
    bClose = button("bClose", QStringLiteral("Schließen"));

    auto* top = new QHBoxLayout;
    auto* lView = new QLabel(QStringLiteral("&Ansicht:"), this);
    lView->setBuddy(cbView);
    top->addWidget(lView);
    top->addWidget(cbView);
    top->addSpacing(16);
    top->addWidget(lRule, 1);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(bCorrection);
    bottom->addWidget(bScoring);
    bottom->addStretch(1);
    bottom->addWidget(bPrint);
    bottom->addWidget(bHtml);
    bottom->addWidget(bExcel);
    bottom->addWidget(bClose);
    auto* v = new QVBoxLayout(this);
    v->addLayout(top);
    v->addWidget(Tables, 1);
    v->addLayout(bottom);
    resize(1000, 620);

    connect(cbView, &QComboBox::activated, this, [this] {
        const TStandingRow* d = SelectedDriver();
        const QString key = d ? d->Key : QString();
        const TEffectiveRun* e = SelectedRun();
        const QString run = e ? e->Run.Uuid : QString();
        Model->Set(FRows, cbView->currentIndex() == 1);
        tvStandings->setColumnHidden(scClass, Model->ByClass());
        SelectDriver(key);
        SelectRun(run);
    });
    connect(tvStandings->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this] {
                if (!FFilling) ShowDriverRuns();
            });
    connect(tvDriverRuns->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this] { Corrections->Update(); });
    for (QTableView* t : {tvStandings, tvDriverRuns})
        connect(t, &QWidget::customContextMenuRequested, this, [this, t](const QPoint& pos) {
            Corrections->Update();
            Corrections->Menu->popup(t->viewport()->mapToGlobal(pos));
        });
    const auto forward = [this](QPushButton* b, std::function<void(QObject*)> TFormStandings::*event) {
        connect(b, &QPushButton::clicked, this, [this, event] {
            if (this->*event) (this->*event)(this);
        });
    };
    forward(bScoring, &TFormStandings::OnScoring);
    forward(bPrint, &TFormStandings::OnPrint);
    forward(bHtml, &TFormStandings::OnHtml);
    forward(bExcel, &TFormStandings::OnExcel);
    connect(bClose, &QPushButton::clicked, this, &QDialog::close);
}

void TFormStandings::Show(const QList<TStandingRow>& rows, const std::vector<TEffectiveRun>& runs,
                          const QString& rule, const QString& title) {
    const TStandingRow* d = SelectedDriver();
    const QString key = d ? d->Key : QString();
    const TEffectiveRun* e = SelectedRun();
    const QString run = e ? e->Run.Uuid : QString();
    FRows = rows;
    FRuns = runs;
    FRunsOf.clear();
    for (size_t i = 0; i < FRuns.size(); ++i)
        FRunsOf[DriverKey(FRuns[i].Run.StartNo, FRuns[i].Run.Name)].push_back(i);
    FTitle = title;
    lRule->setText(QStringLiteral("Wertung: ") + rule +
                   (title.isEmpty() ? QString() : QStringLiteral(" – ") + title));
    // Without classes there is nothing to show per class.
    const bool classes = !StandingClasses(FRows).isEmpty();
    if (!classes) cbView->setCurrentIndex(0);
    cbView->setEnabled(classes);
    FFilling = true;
    Model->Set(FRows, cbView->currentIndex() == 1);
    tvStandings->setColumnHidden(scClass, Model->ByClass() || !classes);
    tvStandings->setColumnHidden(scNote, false);
    // Sized from the model's texts: asking the view would lay out every cell of
    // a long list after each run.
    const int margin = 2 * (tvStandings->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr,
                                                             tvStandings) + 1);
    // A very long name must not push the times out of sight: its column has a limit.
    const int nameLimit = std::max(200, 30 * tvStandings->fontMetrics().averageCharWidth());
    for (int c = 0; c < scNote; ++c) { // the hint takes the rest
        const int content = std::max(Model->TextWidth(c, tvStandings->font()) + margin,
                                     tvStandings->horizontalHeader()->sectionSizeHint(c));
        tvStandings->setColumnWidth(c, c == scName ? std::clamp(content + 8, 200, nameLimit)
                                                   : std::max(content + 8, 64));
    }
    if (!key.isEmpty() && Model->RowOf(key) >= 0)
        SelectDriver(key);
    else
        SelectDriver(Model->RowAt(Model->ByClass() ? 1 : 0) ? Model->RowAt(Model->ByClass() ? 1 : 0)->Key
                                                             : QString());
    FFilling = false;
    ShowDriverRuns(); // the run chosen before stays chosen
    if (!run.isEmpty()) SelectRun(run);
}

const TStandingRow* TFormStandings::SelectedDriver() const {
    return Model->RowAt(tvStandings->currentIndex().row());
}

const TEffectiveRun* TFormStandings::SelectedRun() const {
    return RunsModel->RunAt(tvDriverRuns->currentIndex().row());
}

void TFormStandings::SelectDriver(const QString& key) {
    const int row = Model->RowOf(key);
    if (row < 0) {
        tvStandings->setCurrentIndex(QModelIndex());
        if (!FFilling) ShowDriverRuns();
        return;
    }
    tvStandings->setCurrentIndex(Model->index(row, 0));
    tvStandings->selectRow(row);
}

void TFormStandings::SelectRun(const QString& uuid) {
    for (int row = 0; row < RunsModel->rowCount(); ++row)
        if (RunsModel->RunAt(row)->Run.Uuid == uuid) {
            tvDriverRuns->setCurrentIndex(RunsModel->index(row, 0));
            tvDriverRuns->selectRow(row);
            return;
        }
}

void TFormStandings::ShowDriverRuns() {
    const TStandingRow* d = SelectedDriver();
    const TEffectiveRun* sel = SelectedRun();
    const QString selected = sel ? sel->Run.Uuid : QString();
    std::vector<TEffectiveRun> mine;
    if (d)
        for (const size_t i : FRunsOf.value(d->Key))
            mine.push_back(FRuns[i]);
    RunsModel->SetRuns(std::move(mine));
    RunsModel->SetCounting(d ? d->CountingRuns : QStringList());
    lDriverRuns->setText(d ? QStringLiteral("Läufe von ") + d->Name + QLatin1Char(':')
                           : QStringLiteral("Läufe des Fahrers:"));
    tvDriverRuns->resizeColumnsToContents();
    for (int c = 0; c < RunsModel->columnCount(); ++c)
        tvDriverRuns->setColumnWidth(c, std::max(tvDriverRuns->columnWidth(c) + 8, c == 4 ? 200 : 56));
    // The run chosen before, else the first counting run, else the newest.
    int row = -1;
    for (int r = 0; r < RunsModel->rowCount(); ++r) {
        const QString uuid = RunsModel->RunAt(r)->Run.Uuid;
        if (uuid == selected) {
            row = r;
            break;
        }
        if (row < 0 && d && d->CountingRuns.contains(uuid)) row = r;
    }
    if (row < 0 && RunsModel->rowCount() > 0) row = 0;
    if (row >= 0) {
        tvDriverRuns->setCurrentIndex(RunsModel->index(row, 0));
        tvDriverRuns->selectRow(row);
    }
    Corrections->Update();
}
