#include "DlgPenaltyByNumber.h"

#include "RunCorrections.h"
#include "TimeText.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QRegularExpressionValidator>
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
    bOK = new QPushButton(QStringLiteral("Strafe &vergeben"), this);
    bOK->setObjectName(QStringLiteral("bOK"));
    bCancel = new QPushButton(QStringLiteral("Schließen"), this);
    bCancel->setObjectName(QStringLiteral("bCancel"));
    // Enter in a field gives nothing: the button does, once the driver shows.
    for (QPushButton* b : {bOK, bCancel})
        b->setAutoDefault(false);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("&Start-Nr.:"), eStartNo);
    form->addRow(QStringLiteral("&Lauf:"), eRun);
    form->addRow(QStringLiteral("Fahrer:"), lDriver);
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
    return RunOfStartNo(Runs(), eStartNo->text(), eRun->text());
}

void TDlgPenaltyByNumber::ShowDriver() {
    const TEffectiveRun* e = Run();
    if (e) {
        QString text = RunDriverText(e->Run);
        if (e->PenaltyMs() > 0) text += QStringLiteral(" (schon +") + TimeToText(e->PenaltyMs()) + QLatin1Char(')');
        lDriver->setText(text);
    } else {
        lDriver->setText(eStartNo->text().trimmed().isEmpty()
                             ? QStringLiteral("–")
                             : QStringLiteral("Start-Nr. %1 hat keinen Lauf %2.")
                                   .arg(eStartNo->text().trimmed(), eRun->text().trimmed()));
    }
    lDriver->setStyleSheet(e || eStartNo->text().trimmed().isEmpty() ? QString()
                                                                      : QStringLiteral("color: #b00000;"));
    bOK->setEnabled(e && cbItem->currentIndex() >= 0);
}

void TDlgPenaltyByNumber::Give() {
    const TEffectiveRun* e = Run();
    const int i = cbItem->currentIndex();
    if (!e || i < 0 || i >= FCatalogue.size()) return;
    const TCorrection c = PenaltyCorrection(e->Run, FCatalogue[i], seCount->value(), eReason->text());
    if (OnPenalty) OnPenalty(this, c);
    close();
}
