#include "DlgPenaltyByNumber.h"

#include "RunCorrections.h"
#include "TimeText.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QRegularExpressionValidator>
#include <QSignalBlocker>
#include <QVBoxLayout>

TDlgPenaltyByNumber::TDlgPenaltyByNumber(QWidget* parent, const QList<TPenaltyItem>& catalogue)
    : QDialog(parent), FCatalogue(catalogue) {
    setObjectName(QStringLiteral("DlgPenaltyByNumber"));
    setWindowTitle(QStringLiteral("Strafe nach Start-Nr."));
    setModal(false);
    const auto edit = [this](const char* name, int length) {
        auto* e = new QLineEdit(this);
        e->setObjectName(QLatin1String(name));
        e->setMaxLength(length);
        return e;
    };
    eStartNo = edit("eStartNo", 10);
    eStartNo->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("\\d*")), eStartNo));
    eRun = edit("eRun", 3);
    eRun->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("\\d*")), eRun));
    eReason = edit("eReason", 200);
    cbItem = new QComboBox(this);
    cbItem->setObjectName(QStringLiteral("cbItem"));
    for (const TPenaltyItem& i : catalogue)
        cbItem->addItem(PenaltyItemCaption(i));
    seCount = new QSpinBox(this);
    seCount->setObjectName(QStringLiteral("seCount"));
    seCount->setRange(1, 99);
    lDriver = new QLabel(this);
    lDriver->setObjectName(QStringLiteral("lDriver"));
    lDriver->setMinimumWidth(280);
    lDriver->setWordWrap(true);
    cbDriver = new QComboBox(this);
    cbDriver->setObjectName(QStringLiteral("cbDriver"));
    cbDriver->setPlaceholderText(QStringLiteral("– bitte wählen –"));
    cbDriver->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon); // a long name stays in its list
    cbDriver->setMinimumContentsLength(30);
    bOK = new QPushButton(QStringLiteral("Strafe &vergeben"), this);
    bOK->setObjectName(QStringLiteral("bOK"));
    bCancel = new QPushButton(QStringLiteral("Schließen"), this);
    bCancel->setObjectName(QStringLiteral("bCancel"));
    // Enter in a field gives nothing: the button does, once the driver shows.
    for (QPushButton* b : {bOK, bCancel})
        b->setAutoDefault(false);

    auto* form = FForm = new QFormLayout;
    form->addRow(QStringLiteral("&Start-Nr.:"), eStartNo);
    form->addRow(QStringLiteral("&Lauf:"), eRun);
    form->addRow(QStringLiteral("Fahrer:"), lDriver);
    form->addRow(QStringLiteral("&Welcher:"), cbDriver);
    form->setRowVisible(cbDriver, false);
    form->addRow(QStringLiteral("S&trafe:"), cbItem);
    form->addRow(QStringLiteral("&Anzahl:"), seCount);
    form->addRow(QStringLiteral("&Grund:"), eReason);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(bOK);
    buttons->addWidget(bCancel);
    auto* v = new QVBoxLayout(this);
    v->addLayout(form);
    v->addLayout(buttons);
    connect(eStartNo, &QLineEdit::textChanged, this, [this] { ShowDriver(); });
    connect(eRun, &QLineEdit::textChanged, this, [this] { ShowDriver(); });
    connect(cbDriver, &QComboBox::currentIndexChanged, this, [this] { ShowDriver(); });
    connect(bOK, &QPushButton::clicked, this, [this] { Give(); });
    connect(bCancel, &QPushButton::clicked, this, &QDialog::close);
}

void TDlgPenaltyByNumber::Prepare(const QString& runNo) {
    eStartNo->clear();
    eRun->setText(runNo.trimmed());
    eReason->clear();
    seCount->setValue(1);
    if (cbItem->count() > 0) cbItem->setCurrentIndex(0);
    ShowDriver();
    eStartNo->setFocus();
}

const TEffectiveRun* TDlgPenaltyByNumber::Run() const {
    if (!Runs) return nullptr;
    const std::vector<const TEffectiveRun*> runs = RunsOfStartNo(Runs(), eStartNo->text(), eRun->text());
    if (runs.size() == 1) return runs.front();
    // Never one of them silently: only the driver the official chose.
    const QString chosen = cbDriver->currentData().toString();
    for (const TEffectiveRun* e : runs)
        if (!chosen.isEmpty() && e->Run.Uuid == chosen) return e;
    return nullptr;
}

void TDlgPenaltyByNumber::OfferDrivers(const std::vector<const TEffectiveRun*>& runs) {
    QStringList uuids, offered;
    for (const TEffectiveRun* e : runs)
        uuids << e->Run.Uuid;
    for (int i = 0; i < cbDriver->count(); ++i)
        offered << cbDriver->itemData(i).toString();
    if (uuids != offered) {
        const QSignalBlocker quiet(cbDriver);
        cbDriver->clear();
        for (const TEffectiveRun* e : runs)
            cbDriver->addItem(RunDriverText(e->Run), e->Run.Uuid);
        cbDriver->setCurrentIndex(-1);
    }
    FForm->setRowVisible(cbDriver, runs.size() > 1);
}

void TDlgPenaltyByNumber::ShowDriver() {
    const std::vector<const TEffectiveRun*> runs =
        Runs ? RunsOfStartNo(Runs(), eStartNo->text(), eRun->text()) : std::vector<const TEffectiveRun*>{};
    OfferDrivers(runs);
    const TEffectiveRun* e = Run();
    if (runs.size() > 1 && !e) {
        QStringList names;
        for (const TEffectiveRun* r : runs)
            names << r->Run.Name.simplified();
        lDriver->setText(QStringLiteral("Start-Nr. %1 fuhren in Lauf %2 mehrere: %3. Bitte wählen.")
                             .arg(eStartNo->text().trimmed(), eRun->text().trimmed(),
                                  names.join(QStringLiteral(", "))));
    } else if (e) {
        QString text = RunDriverText(e->Run);
        if (e->PenaltyMs() > 0) text += QStringLiteral(" (schon +") + TimeToText(e->PenaltyMs()) + QLatin1Char(')');
        lDriver->setText(text);
    } else {
        lDriver->setText(eStartNo->text().trimmed().isEmpty()
                             ? QStringLiteral("–")
                             : QStringLiteral("Start-Nr. %1 hat keinen Lauf %2.")
                                   .arg(eStartNo->text().trimmed(), eRun->text().trimmed()));
    }
    lDriver->setStyleSheet(!runs.empty() || eStartNo->text().trimmed().isEmpty()
                               ? QString()
                               : QStringLiteral("color: #b00000;"));
    bOK->setEnabled(e && cbItem->currentIndex() >= 0);
    // Grows with a long name or the choice shown, never shrinks while typed in.
    if (isVisible() && height() < heightForWidth(width())) resize(width(), heightForWidth(width()));
}

void TDlgPenaltyByNumber::Give() {
    const TEffectiveRun* e = Run();
    const int i = cbItem->currentIndex();
    if (!e || i < 0 || i >= FCatalogue.size()) return;
    const TCorrection c = PenaltyCorrection(e->Run, FCatalogue[i], seCount->value(), eReason->text());
    if (OnPenalty) OnPenalty(this, c);
    close();
}
