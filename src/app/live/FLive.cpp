#include "FLive.h"

#include <QGridLayout>
#include <QPainter>

TQrView::TQrView(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("QrView"));
    setMinimumSize(160, 160);
}

void TQrView::SetText(const QString& text) {
    FMatrix = text.isEmpty() ? TQrMatrix{} : QrEncode(text.toUtf8());
    update();
}

void TQrView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    if (FMatrix.Size == 0) return;
    const int quiet = 4; // modules of white border a scanner needs
    const int modules = FMatrix.Size + 2 * quiet;
    const int scale = qMax(1, qMin(width(), height()) / modules);
    const int side = scale * modules;
    const QPoint origin((width() - side) / 2, (height() - side) / 2);
    p.fillRect(QRect(origin, QSize(side, side)), Qt::white);
    for (int y = 0; y < FMatrix.Size; ++y)
        for (int x = 0; x < FMatrix.Size; ++x)
            if (FMatrix.At(x, y))
                p.fillRect(origin.x() + (x + quiet) * scale, origin.y() + (y + quiet) * scale,
                           scale, scale, Qt::black);
}

TFormLive::TFormLive(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("FormLive"));
    setWindowTitle(QStringLiteral("Live-Ergebnisse"));
    cbLiveOn = new QCheckBox(QStringLiteral("Live-Ergebnisse im Netzwerk zeigen"), this);
    cbLiveOn->setObjectName(QStringLiteral("cbLiveOn"));
    auto* portLabel = new QLabel(QStringLiteral("Port:"), this);
    portLabel->setObjectName(QStringLiteral("lPort"));
    seLivePort = new QSpinBox(this);
    seLivePort->setObjectName(QStringLiteral("seLivePort"));
    seLivePort->setRange(1024, 65535);
    seLivePort->setToolTip(QStringLiteral("Port des Webservers (änderbar, solange er aus ist)"));
    portLabel->setBuddy(seLivePort);
    lStatus = new QLabel(this);
    lStatus->setObjectName(QStringLiteral("lStatus"));
    lStatus->setWordWrap(true);
    lbAddresses = new QListWidget(this);
    lbAddresses->setObjectName(QStringLiteral("lbAddresses"));
    QrView = new TQrView(this);
    lHint = new QLabel(QStringLiteral("Zuschauer und Teams öffnen die Adresse im Browser ihres "
                                      "Telefons (im selben Netzwerk) oder scannen den QR-Code. "
                                      "Die Seite zeigt nur an: niemand kann etwas ändern."),
                       this);
    lHint->setObjectName(QStringLiteral("lHint"));
    lHint->setWordWrap(true);
    bClose = new QPushButton(QStringLiteral("Schließen"), this);
    bClose->setObjectName(QStringLiteral("bClose"));

    auto* grid = new QGridLayout(this);
    grid->addWidget(cbLiveOn, 0, 0, 1, 3);
    grid->addWidget(portLabel, 1, 0);
    grid->addWidget(seLivePort, 1, 1);
    grid->setColumnStretch(2, 1);
    grid->addWidget(lStatus, 2, 0, 1, 3);
    grid->addWidget(lbAddresses, 3, 0, 1, 3);
    grid->addWidget(QrView, 4, 0, 1, 3, Qt::AlignCenter);
    grid->addWidget(lHint, 5, 0, 1, 3);
    grid->addWidget(bClose, 6, 2, Qt::AlignRight);
    setMinimumWidth(340);

    connect(cbLiveOn, &QCheckBox::clicked, this, [this](bool on) {
        if (OnSwitch) OnSwitch(this, on, seLivePort->value());
    });
    connect(lbAddresses, &QListWidget::currentRowChanged, this, [this] { AddressChosen(); });
    connect(bClose, &QPushButton::clicked, this, &QDialog::close);
}

void TFormLive::ShowState(bool on, int port, const QStringList& addresses, const QString& error) {
    cbLiveOn->setChecked(on);
    seLivePort->setValue(port);
    seLivePort->setEnabled(!on);
    QPalette pal = lStatus->palette();
    pal.setColor(QPalette::WindowText,
                 error.isEmpty() ? palette().color(QPalette::WindowText) : QColor(Qt::red));
    lStatus->setPalette(pal);
    lbAddresses->clear();
    if (!error.isEmpty())
        lStatus->setText(error);
    else if (!on)
        lStatus->setText(QStringLiteral("Aus: niemand im Netzwerk sieht die Ergebnisse."));
    else if (addresses.isEmpty())
        lStatus->setText(QStringLiteral("Eingeschaltet, aber dieser Rechner hat kein lokales "
                                        "Netzwerk. Auf ihm selbst: http://127.0.0.1:%1/")
                             .arg(port));
    else
        lStatus->setText(QStringLiteral("Eingeschaltet. Die Live-Seite ist erreichbar unter:"));
    if (on) lbAddresses->addItems(addresses);
    const int rows = qBound(1, lbAddresses->count(), 4);
    lbAddresses->setFixedHeight(rows * lbAddresses->sizeHintForRow(0) +
                                2 * lbAddresses->frameWidth() + 2);
    lbAddresses->setVisible(on && !addresses.isEmpty());
    QrView->setVisible(on && !addresses.isEmpty());
    if (lbAddresses->count() > 0) lbAddresses->setCurrentRow(0);
    AddressChosen();
    adjustSize();
}

void TFormLive::AddressChosen() {
    QListWidgetItem* item = lbAddresses->currentItem();
    QrView->SetText(item ? item->text() : QString());
}
