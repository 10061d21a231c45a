#include "FSeason.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QVBoxLayout>

#include <algorithm>

namespace {

QPushButton* SeasonButton(QWidget* parent, const char* name, const QString& caption) {
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(QLatin1String(name));
    b->setAutoDefault(false);
    return b;
}

QLabel* Label(QWidget* parent, const char* name) {
    auto* l = new QLabel(parent);
    l->setObjectName(QLatin1String(name));
    l->setWordWrap(true);
    return l;
}

} // namespace

TFormSeason::TFormSeason(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("FormSeason"));
    setWindowTitle(QStringLiteral("Saisonwertung"));
    lRule = Label(this, "lRule");
    lEvents = Label(this, "lEvents");
    lNotice = Label(this, "lNotice");
    lNotice->setStyleSheet(QStringLiteral("color: #b00000"));
    tbSeason = new QTableWidget(this);
    tbSeason->setObjectName(QStringLiteral("tbSeason"));
    tbSeason->setSelectionBehavior(QAbstractItemView::SelectRows);
    tbSeason->setSelectionMode(QAbstractItemView::ExtendedSelection);
    tbSeason->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tbSeason->verticalHeader()->setVisible(false);
    tbSeason->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    bSettings = SeasonButton(this, "bSettings", QStringLiteral("Saison einstellen …"));
    bJoin = SeasonButton(this, "bJoin", QStringLiteral("Fahrer zusammenführen"));
    bJoin->setToolTip(QStringLiteral("Die markierten Zeilen als einen Fahrer werten, "
                                     "unter Start-Nr. und Name der aktuellen Zeile"));
    bPrint = SeasonButton(this, "bPrint", QStringLiteral("Drucken …"));
    bHtml = SeasonButton(this, "bHtml", QStringLiteral("Als Webseite …"));
    bExcel = SeasonButton(this, "bExcel", QStringLiteral("Als Excel …"));
    bClose = SeasonButton(this, "bClose", QStringLiteral("Schließen"));
    auto* bottom = new QHBoxLayout;
    for (QPushButton* b : {bSettings, bJoin})
        bottom->addWidget(b);
    bottom->addStretch(1);
    for (QPushButton* b : {bPrint, bHtml, bExcel, bClose})
        bottom->addWidget(b);
    auto* v = new QVBoxLayout(this);
    v->addWidget(lRule);
    v->addWidget(lEvents);
    v->addWidget(tbSeason, 1);
    v->addWidget(lNotice);
    v->addLayout(bottom);
    resize(1000, 620);
    const auto forward = [this](QPushButton* b, std::function<void(QObject*)> TFormSeason::*event) {
        connect(b, &QPushButton::clicked, this, [this, event] {
            if (this->*event) (this->*event)(this);
        });
    };
    forward(bSettings, &TFormSeason::OnSettings);
    forward(bJoin, &TFormSeason::OnJoin);
    forward(bPrint, &TFormSeason::OnPrint);
    forward(bHtml, &TFormSeason::OnHtml);
    forward(bExcel, &TFormSeason::OnExcel);
    connect(bClose, &QPushButton::clicked, this, &QDialog::close);
}

void TFormSeason::Notice(const QString& text) {
    lNotice->setText(text);
    lNotice->setVisible(!text.isEmpty());
}

void TFormSeason::Show(const TSeasonPage& page, const QStringList& problems) {
    const QList<const TSeasonRow*> selected = SelectedDrivers();
    const QString key = selected.isEmpty() ? QString() : selected.front()->Key;
    FPage = page;
    FRowOf.clear();
    lRule->setText(QStringLiteral("<b>") + page.Name.toHtmlEscaped() + QStringLiteral("</b> – ") +
                   SeasonRuleLine(page).toHtmlEscaped());
    lEvents->setText(page.Events.isEmpty()
                         ? QStringLiteral("Noch keine Veranstaltung in der Saison: „Saison einstellen …“ wählt sie.")
                         : QStringLiteral("Veranstaltungen: ") + SeasonEventsLine(page.Events));
    Notice(problems.join(QLatin1Char('\n')));
    const QStringList captions = SeasonCaptions(page.Events);
    const int points = int(captions.size()) - 1;
    const QList<TSeasonSection> sections = SeasonSections(FPage.Rows);
    int count = 0;
    for (const TSeasonSection& s : sections)
        count += 1 + int(s.Rows.size());
    tbSeason->setUpdatesEnabled(false);
    tbSeason->clearSpans();
    tbSeason->clear();
    tbSeason->setColumnCount(int(captions.size()));
    tbSeason->setRowCount(count);
    tbSeason->setHorizontalHeaderLabels(captions);
    for (int e = 0; e < page.Events.size(); ++e)
        tbSeason->horizontalHeaderItem(secFirstEvent + e)->setToolTip(page.Events[e].Title);
    QFont bold = tbSeason->font();
    bold.setBold(true);
    int row = 0;
    for (const TSeasonSection& s : sections) {
        auto* caption = new QTableWidgetItem(s.Caption);
        caption->setFont(bold);
        caption->setBackground(QColor(0xDD, 0xDD, 0xDD));
        caption->setFlags(Qt::ItemIsEnabled);
        tbSeason->setItem(row, 0, caption);
        tbSeason->setSpan(row, 0, 1, int(captions.size()));
        FRowOf << nullptr;
        ++row;
        for (const TSeasonRow* r : s.Rows) {
            const QStringList t = SeasonTexts(*r);
            for (int c = 0; c < t.size(); ++c) {
                auto* item = new QTableWidgetItem(t[c]);
                item->setTextAlignment(c == secName || c == secClass ? Qt::AlignLeft | Qt::AlignVCenter
                                                                     : Qt::AlignRight | Qt::AlignVCenter);
                if (c == secName) item->setToolTip(t[c]); // shown whole when it is shortened
                if (c == points) {
                    item->setFont(bold);
                    item->setToolTip(r->Notes.join(QLatin1Char('\n')));
                }
                if (c >= secFirstEvent && c < points) {
                    const TSeasonResult& x = r->Results[c - secFirstEvent];
                    if (x.Place > 0)
                        item->setToolTip(QStringLiteral("%1. Platz – %2").arg(x.Place).arg(page.Events[c - secFirstEvent].Title));
                    if (x.Dropped) item->setForeground(QColor(0x80, 0x80, 0x80));
                }
                tbSeason->setItem(row, c, item);
            }
            FRowOf << r;
            ++row;
        }
    }
    // Every column as wide as its widest text: nothing is cut, except a very long name,
    // shortened with "…", or it would push the points out of the window.
    tbSeason->resizeColumnsToContents();
    tbSeason->setColumnWidth(secName, std::clamp(tbSeason->columnWidth(secName) + 8, 180,
                                                 40 * tbSeason->fontMetrics().averageCharWidth()));
    tbSeason->setColumnHidden(secClass, true); // the class is the caption above
    tbSeason->setUpdatesEnabled(true);
    if (!key.isEmpty()) SelectDriver(key);
}

QList<const TSeasonRow*> TFormSeason::SelectedDrivers() const {
    QList<const TSeasonRow*> out;
    const int current = tbSeason->currentRow();
    if (current >= 0 && current < FRowOf.size() && FRowOf[current] &&
        tbSeason->selectionModel()->isRowSelected(current, QModelIndex()))
        out << FRowOf[current];
    for (const QModelIndex& i : tbSeason->selectionModel()->selectedRows())
        if (i.row() < FRowOf.size() && FRowOf[i.row()] && !out.contains(FRowOf[i.row()])) out << FRowOf[i.row()];
    return out;
}

void TFormSeason::SelectDriver(const QString& key) {
    for (int r = 0; r < FRowOf.size(); ++r)
        if (FRowOf[r] && FRowOf[r]->Key == key) {
            tbSeason->setCurrentCell(r, secName);
            tbSeason->selectRow(r);
            return;
        }
}

std::function<QString(QWidget*)> TDlgSeason::AskFile = [](QWidget* parent) {
    return QFileDialog::getOpenFileName(parent, QStringLiteral("Veranstaltungsdatei hinzufügen"), QString(),
                                        QStringLiteral("Veranstaltungen (*.db)"));
};

TDlgSeason::TDlgSeason(QWidget* parent, const TSeasonSettings& settings, TCandidates candidates)
    : QDialog(parent), Result(settings), FCandidates(std::move(candidates)), FFiles(settings.Files) {
    setObjectName(QStringLiteral("DlgSeason"));
    setWindowTitle(QStringLiteral("Saison einstellen"));
    eName = new QLineEdit(settings.Name, this);
    eName->setObjectName(QStringLiteral("eName"));
    ePoints = new QLineEdit(PointsText(settings.Rules.Points), this);
    ePoints->setObjectName(QStringLiteral("ePoints"));
    seBestN = new QSpinBox(this);
    seBestN->setObjectName(QStringLiteral("seBestN"));
    seBestN->setRange(0, 100);
    seBestN->setSpecialValueText(QStringLiteral("alle"));
    seBestN->setSuffix(QStringLiteral(" Veranstaltungen"));
    seBestN->setValue(settings.Rules.BestN);
    lwEvents = new QListWidget(this);
    lwEvents->setObjectName(QStringLiteral("lwEvents"));
    lwJoined = new QListWidget(this);
    lwJoined->setObjectName(QStringLiteral("lwJoined"));
    for (auto it = settings.Rules.Joined.begin(); it != settings.Rules.Joined.end(); ++it) {
        const auto shown = [](const QString& key) { return QString(key).replace(QLatin1Char('|'), QLatin1Char(' ')); };
        auto* item = new QListWidgetItem(shown(it.key()) + QStringLiteral(" → ") + shown(it.value()), lwJoined);
        item->setData(Qt::UserRole, it.key());
    }
    lwJoined->sortItems();
    bAddFile = SeasonButton(this, "bAddFile", QStringLiteral("&Datei hinzufügen …"));
    bSplit = SeasonButton(this, "bSplit", QStringLiteral("&Trennen"));
    lProblem = Label(this, "lProblem");
    lProblem->setStyleSheet(QStringLiteral("color: #b00000"));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    OKBtn = buttons->button(QDialogButtonBox::Ok);
    OKBtn->setObjectName(QStringLiteral("OKBtn"));
    CancelBtn = buttons->button(QDialogButtonBox::Cancel);
    CancelBtn->setObjectName(QStringLiteral("CancelBtn"));
    CancelBtn->setText(QStringLiteral("Abbrechen"));

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("&Name:"), eName);
    form->addRow(QStringLiteral("&Punkte je Platz:"), ePoints);
    form->addRow(QStringLiteral("&Es zählen die besten:"), seBestN);
    auto* v = new QVBoxLayout(this);
    v->addLayout(form);
    v->addWidget(new QLabel(QStringLiteral("Veranstaltungen der Saison:"), this));
    v->addWidget(lwEvents, 2);
    auto* fileRow = new QHBoxLayout;
    fileRow->addWidget(bAddFile);
    fileRow->addStretch(1);
    v->addLayout(fileRow);
    v->addWidget(new QLabel(QStringLiteral("Zusammengeführte Fahrer:"), this));
    v->addWidget(lwJoined, 1);
    auto* splitRow = new QHBoxLayout;
    splitRow->addWidget(bSplit);
    splitRow->addStretch(1);
    v->addLayout(splitRow);
    v->addWidget(lProblem);
    v->addWidget(buttons);
    resize(520, 560);

    connect(bAddFile, &QPushButton::clicked, this, [this] {
        const QString file = AskFile(this);
        if (!file.isEmpty()) AddFile(file);
    });
    connect(bSplit, &QPushButton::clicked, this, [this] { delete lwJoined->currentItem(); });
    connect(buttons, &QDialogButtonBox::accepted, this, &TDlgSeason::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    FillEvents(settings.Events);
}

void TDlgSeason::FillEvents(const QList<TSeasonEventRef>& checked) {
    QStringList problems;
    FShown = FCandidates(FFiles, &problems);
    lwEvents->clear();
    for (const TSeasonCandidate& c : FShown) {
        QString text = (c.Date.isValid() ? c.Date.toString(QStringLiteral("dd.MM.yyyy ")) : QString()) + c.Title;
        if (!c.Ref.File.isEmpty()) text += QStringLiteral(" – ") + QFileInfo(c.Ref.File).fileName();
        auto* item = new QListWidgetItem(text, lwEvents);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable | Qt::ItemIsSelectable);
        item->setCheckState(checked.contains(c.Ref) ? Qt::Checked : Qt::Unchecked);
    }
    lProblem->setText(problems.join(QLatin1Char('\n')));
}

bool TDlgSeason::AddFile(const QString& file) {
    QList<TSeasonEventRef> checked;
    Read(Result); // keeps what is checked so far, whatever the points read
    checked = Result.Events;
    const QString path = QFileInfo(file).absoluteFilePath();
    QStringList problems;
    const QList<TSeasonCandidate> found = FCandidates({path}, &problems);
    const bool any = std::ranges::any_of(found, [&path](const TSeasonCandidate& c) { return c.Ref.File == path; });
    if (!any) {
        lProblem->setText(problems.isEmpty()
                              ? QStringLiteral("„%1“ enthält keine Veranstaltung, die nicht schon in der Liste steht.").arg(QFileInfo(file).fileName())
                              : problems.join(QLatin1Char('\n')));
        return false;
    }
    if (!FFiles.contains(path)) FFiles << path;
    FillEvents(checked);
    return true;
}

bool TDlgSeason::Read(TSeasonSettings& s) const {
    const QString name = eName->text().simplified();
    s.Name = name.isEmpty() ? QStringLiteral("Saison") : name;
    s.Rules.BestN = seBestN->value();
    s.Files = FFiles;
    s.Events.clear();
    for (int i = 0; i < lwEvents->count() && i < FShown.size(); ++i)
        if (lwEvents->item(i)->checkState() == Qt::Checked) s.Events << FShown[i].Ref;
    QHash<QString, QString> joined;
    for (int i = 0; i < lwJoined->count(); ++i) {
        const QString alias = lwJoined->item(i)->data(Qt::UserRole).toString();
        joined.insert(alias, s.Rules.Joined.value(alias, Result.Rules.Joined.value(alias)));
    }
    s.Rules.Joined = joined;
    if (!ParsePoints(ePoints->text(), s.Rules.Points)) {
        lProblem->setText(QStringLiteral("Die Punkte sind ganze Zahlen von 0 bis 1000, je Platz eine, "
                                         "keine größer als die davor (zum Beispiel 20, 17, 15)."));
        return false;
    }
    lProblem->clear();
    return true;
}

void TDlgSeason::accept() {
    TSeasonSettings s = Result;
    if (!Read(s)) return; // the dialog stays open with what was typed
    Result = s;
    QDialog::accept();
}
