#include "DlgScoring.h"

#include "Corrections.h"
#include "TimeText.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QVBoxLayout>

TDlgScoring::TDlgScoring(QWidget* parent, const TStandingsSettings& settings)
    : QDialog(parent), Result(settings) {
    setObjectName(QStringLiteral("DlgScoring"));
    setWindowTitle(QStringLiteral("Wertung einstellen"));
    cbRule = new QComboBox(this);
    cbRule->setObjectName(QStringLiteral("cbRule"));
    for (TScoringRule r : {srLastRun, srBestRun, srSumAll, srSumBestN, srRegularity, srTargetTime})
        cbRule->addItem(ScoringRuleCaption(r), int(r));
    cbRule->setCurrentIndex(int(settings.Scoring.Rule));
    seN = new QSpinBox(this);
    seN->setObjectName(QStringLiteral("seN"));
    seN->setRange(1, TStandingsSettings::MaxN);
    seN->setValue(settings.Scoring.N);
    eTarget = new QLineEdit(TimeToText(settings.Scoring.TargetMs), this);
    eTarget->setObjectName(QStringLiteral("eTarget"));
    eTarget->setPlaceholderText(QStringLiteral("1.05,30"));

    tbCatalogue = new QTableWidget(0, 2, this);
    tbCatalogue->setObjectName(QStringLiteral("tbCatalogue"));
    tbCatalogue->setHorizontalHeaderLabels({QStringLiteral("Strafe"), QStringLiteral("Sekunden")});
    tbCatalogue->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    tbCatalogue->verticalHeader()->setVisible(false);
    for (const TPenaltyItem& i : settings.Catalogue) {
        const int row = tbCatalogue->rowCount();
        tbCatalogue->insertRow(row);
        tbCatalogue->setItem(row, 0, new QTableWidgetItem(i.Name));
        auto* secs = new QTableWidgetItem(PenaltySecondsText(i.Ms));
        secs->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        tbCatalogue->setItem(row, 1, secs);
    }
    bAdd = new QPushButton(QStringLiteral("&Hinzufügen"), this);
    bAdd->setObjectName(QStringLiteral("bAdd"));
    bRemove = new QPushButton(QStringLiteral("&Entfernen"), this);
    bRemove->setObjectName(QStringLiteral("bRemove"));
    lProblem = new QLabel(this);
    lProblem->setObjectName(QStringLiteral("lProblem"));
    lProblem->setStyleSheet(QStringLiteral("color: #b00000"));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    OKBtn = buttons->button(QDialogButtonBox::Ok);
    OKBtn->setObjectName(QStringLiteral("OKBtn"));
    CancelBtn = buttons->button(QDialogButtonBox::Cancel);
    CancelBtn->setObjectName(QStringLiteral("CancelBtn"));
    CancelBtn->setText(QStringLiteral("Abbrechen"));

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("&Regel:"), cbRule);
    form->addRow(QStringLiteral("&N (beste Läufe):"), seN);
    form->addRow(QStringLiteral("&Sollzeit:"), eTarget);
    auto* rowButtons = new QHBoxLayout;
    rowButtons->addWidget(bAdd);
    rowButtons->addWidget(bRemove);
    rowButtons->addStretch(1);
    auto* v = new QVBoxLayout(this);
    v->addLayout(form);
    v->addWidget(new QLabel(QStringLiteral("Strafenkatalog:"), this));
    v->addWidget(tbCatalogue, 1);
    v->addLayout(rowButtons);
    v->addWidget(lProblem);
    v->addWidget(buttons);
    resize(420, 380);

    connect(cbRule, &QComboBox::currentIndexChanged, this, [this] { UpdateN(); });
    connect(bAdd, &QPushButton::clicked, this, [this] {
        const int row = tbCatalogue->rowCount();
        tbCatalogue->insertRow(row);
        tbCatalogue->setItem(row, 0, new QTableWidgetItem);
        tbCatalogue->setItem(row, 1, new QTableWidgetItem(QStringLiteral("2")));
        tbCatalogue->setCurrentCell(row, 0);
        tbCatalogue->editItem(tbCatalogue->item(row, 0));
    });
    connect(bRemove, &QPushButton::clicked, this, [this] {
        if (tbCatalogue->currentRow() >= 0) tbCatalogue->removeRow(tbCatalogue->currentRow());
    });
    connect(buttons, &QDialogButtonBox::accepted, this, &TDlgScoring::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    UpdateN();
}

void TDlgScoring::UpdateN() {
    seN->setEnabled(cbRule->currentData().toInt() == srSumBestN);
    eTarget->setEnabled(cbRule->currentData().toInt() == srTargetTime);
}

bool TDlgScoring::Read(TStandingsSettings& s) const {
    s.Scoring.Rule = TScoringRule(cbRule->currentData().toInt());
    s.Scoring.N = seN->value();
    const int target = ParseTimeText(eTarget->text().trimmed());
    if (target > 0 && target <= TStandingsSettings::MaxTargetMs) {
        s.Scoring.TargetMs = target;
    } else if (s.Scoring.Rule == srTargetTime) {
        lProblem->setText(QStringLiteral("Die Sollzeit ist keine Zeit über null (zum Beispiel 1.05,30)."));
        return false;
    }
    s.Catalogue.clear();
    for (int row = 0; row < tbCatalogue->rowCount(); ++row) {
        const auto text = [this, row](int col) {
            const QTableWidgetItem* i = tbCatalogue->item(row, col);
            return i ? i->text().simplified() : QString();
        };
        const QString name = text(0);
        if (name.isEmpty() && text(1).isEmpty()) continue; // an empty line is no item
        const int ms = ParsePenaltySeconds(text(1));
        if (name.isEmpty() || ms < 0) {
            lProblem->setText(
                QStringLiteral("Zeile %1: eine Strafe braucht eine Bezeichnung und Sekunden "
                               "zwischen 0 und 3600 (zum Beispiel 2 oder 2,5).")
                    .arg(row + 1));
            return false;
        }
        for (const TPenaltyItem& i : s.Catalogue)
            if (i.Name.compare(name, Qt::CaseInsensitive) == 0) {
                lProblem->setText(QStringLiteral("„%1“ steht zweimal im Katalog.").arg(name));
                return false;
            }
        s.Catalogue << TPenaltyItem{name, ms};
    }
    lProblem->clear();
    return true;
}

void TDlgScoring::accept() {
    TStandingsSettings s = Result;
    if (!Read(s)) return; // the dialog stays open with what was typed
    Result = s;
    QDialog::accept();
}
