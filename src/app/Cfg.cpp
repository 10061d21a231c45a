#include "Cfg.h"

#include "Comms.h"

#include <QGridLayout>
#include <QHBoxLayout>

TCfgDialog::TCfgDialog(QWidget* owner, TComPort* port) : QDialog(owner), FComPort(port) {
    setObjectName(QStringLiteral("CfgDialog"));
    setWindowTitle(QStringLiteral("Einstellungen"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setModal(true);

    seCars = new TSpinEdit(this);
    seCars->setObjectName(QStringLiteral("seCars"));
    seCars->setMaxLength(1);
    seCars->SetMinValue(1);
    seCars->SetMaxValue(2);
    seCars->SetValue(2);
    seLaps = new TSpinEdit(this);
    seLaps->setObjectName(QStringLiteral("seLaps"));
    seLaps->setMaxLength(1);
    seLaps->SetMinValue(2);
    seLaps->SetMaxValue(5);
    seLaps->SetValue(2);
    seLaps->setEnabled(false);

    cbPort = new QComboBox(this);
    cbPort->setObjectName(QStringLiteral("cbPort"));
    cbPort->setMaxVisibleItems(20);
    cbPort->addItem(QStringLiteral("Keine"));
    cbPort->setToolTip(QStringLiteral("4+6"));
    LabelWiring = new QLabel(QStringLiteral("4+6"), this);
    LabelWiring->setObjectName(QStringLiteral("LabelWiring"));
    LabelWiring->setToolTip(QStringLiteral("4+6"));

    cbAlg = new QComboBox(this);
    cbAlg->setObjectName(QStringLiteral("cbAlg"));
    cbAlg->addItems({QStringLiteral("Ein"), QStringLiteral("Aus")});

    seWait = new TSpinFloatEdit(this);
    seWait->setObjectName(QStringLiteral("seWait"));
    seWait->SetDigits(1);
    seWait->SetMax(600.0);
    seWait->SetMin(1.0);
    seWait->Increment = 0.1;
    seWait->SetValue(3.0);
    seWait->setEnabled(false);

    cbTimerPort = new QComboBox(this);
    cbTimerPort->setObjectName(QStringLiteral("cbTimerPort"));
    cbTimerPort->setMaxVisibleItems(20);
    cbTimerPort->addItem(QStringLiteral("Keine"));
    cbTimerBaud = new QComboBox(this);
    cbTimerBaud->setObjectName(QStringLiteral("cbTimerBaud"));
    cbTimerBaud->addItems({QStringLiteral("9600"), QStringLiteral("19200"), QStringLiteral("38400")});
    eTimerChannels = new QLineEdit(QStringLiteral("C0,C1"), this);
    eTimerChannels->setObjectName(QStringLiteral("eTimerChannels"));
    eTimerChannels->setToolTip(
        QStringLiteral("Kanäle, deren Impulse zählen, durch Komma getrennt (C0 Start, C1 Ziel)"));
    connect(cbTimerPort, &QComboBox::currentIndexChanged, this, [this] {
        cbTimerBaud->setEnabled(cbTimerPort->currentIndex() > 0);
        eTimerChannels->setEnabled(cbTimerPort->currentIndex() > 0);
        cbPortChange();
    });

    LabelRunning = new QLabel(
        QStringLiteral("Während eines Laufs bleiben Autos und Runden, wie sie sind."), this);
    LabelRunning->setObjectName(QStringLiteral("LabelRunning"));
    LabelRunning->setWordWrap(true);
    LabelRunning->setVisible(false);

    OKBtn = new QPushButton(QStringLiteral("OK"), this);
    OKBtn->setObjectName(QStringLiteral("OKBtn"));
    OKBtn->setDefault(true);
    CancelBtn = new QPushButton(QStringLiteral("Abbrechen"), this);
    CancelBtn->setObjectName(QStringLiteral("CancelBtn"));
    connect(OKBtn, &QPushButton::clicked, this, &QDialog::accept);
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject); // Escape too

    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(8);
    grid->setVerticalSpacing(6);
    const struct {
        const char* label;
        QWidget* field;
        QWidget* after;
    } rows[] = {{"Auto/s:", seCars, nullptr},
                {"Runden:", seLaps, nullptr},
                {"Lichtschranke:", cbPort, LabelWiring},
                {"Algorithmus:", cbAlg, nullptr},
                {"LS-Totzeit:", seWait, nullptr},
                {"Zeitgeber:", cbTimerPort, nullptr},
                {"Baudrate:", cbTimerBaud, nullptr},
                {"Kanäle:", eTimerChannels, nullptr}};
    int r = 0;
    for (const auto& row : rows) {
        auto* label = new QLabel(QString::fromUtf8(row.label), this);
        label->setBuddy(row.field);
        label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        grid->addWidget(label, r, 0);
        grid->addWidget(row.field, r, 1);
        if (row.after) grid->addWidget(row.after, r, 2);
        ++r;
    }
    auto* unit = new QLabel(QStringLiteral("Sek."), this);
    unit->setObjectName(QStringLiteral("LabelSeconds"));
    grid->addWidget(unit, 4, 2);
    grid->setColumnMinimumWidth(1, 110);
    grid->setColumnStretch(2, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(OKBtn);
    buttons->addWidget(CancelBtn);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(14, 14, 14, 12);
    layout->addLayout(grid);
    layout->addWidget(LabelRunning);
    layout->addSpacing(6);
    layout->addLayout(buttons);

    connect(cbPort, &QComboBox::currentIndexChanged, this, [this] { cbPortChange(); });
    seCars->OnChange = [this](QObject*) { seCarsChange(); };

    FormCreate();
    setFixedSize(sizeHint().expandedTo(QSize(300, 0)));
}

void TCfgDialog::FormCreate() {
    // Ports found at start-up; ports plugged in later need a restart.
    const int highest = int(AvailablePorts >> 16);
    for (int n = 1; n <= highest && n <= 16; ++n)
        if (AvailablePorts & (1u << (n - 1))) {
            cbPort->addItem(QStringLiteral("COM%1").arg(n));
            cbPort->setItemData(cbPort->count() - 1, TComBackend::Current().PathFor(n),
                                Qt::ToolTipRole);
            cbTimerPort->addItem(QStringLiteral("COM%1").arg(n));
            cbTimerPort->setItemData(cbTimerPort->count() - 1, TComBackend::Current().PathFor(n),
                                     Qt::ToolTipRole);
        }
    seWait->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
}

void TCfgDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    FormShow();
}

void TCfgDialog::FormShow() {
    cbPort->setEnabled(FComPort->Tag >= 0);
    // The fields keep their last state otherwise: fix their enabled states to the fill.
    seCarsChange();
}

void TCfgDialog::cbPortChange() {
    cbAlg->setEnabled(cbPort->currentIndex() > 0);
    // The dead time holds for the timing device's impulses too.
    seWait->setEnabled(cbAlg->isEnabled() || cbTimerPort->currentIndex() > 0);
}

void TCfgDialog::seCarsChange() {
    if (seCars->Value() == 2) seLaps->SetValue(2);
    seLaps->setEnabled(seCars->Value() == 1 && !FRunInProgress);
}

void TCfgDialog::SetRunInProgress(bool running) {
    FRunInProgress = running;
    seCars->setEnabled(!running);
    LabelRunning->setVisible(running);
    seCarsChange();
    setFixedSize(sizeHint().expandedTo(QSize(300, 0)));
}
