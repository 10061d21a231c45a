#include "FServer.h"

#include "ProgramInfo.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QMessageBox>
#include <QVBoxLayout>

std::function<void(QWidget*, const QString&)> TFormServer::ShowMessage = [](QWidget* parent,
                                                                           const QString& text) {
    QMessageBox::warning(parent, ProgramTitle(), text);
};

TFormServer::TFormServer(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("FormServer"));
    setWindowTitle(QStringLiteral("Server und Station"));
    eServer = new QLineEdit(this);
    eServer->setObjectName(QStringLiteral("eServer"));
    eServer->setPlaceholderText(QStringLiteral("leer: kein Server"));
    eServer->setMinimumWidth(460);
    eStation = new QLineEdit(this);
    eStation->setObjectName(QStringLiteral("eStation"));
    eStation->setMaxLength(100);
    cbToProtocol = new QCheckBox(QStringLiteral("Läufe anderer Stationen ins &Protokoll übernehmen"), this);
    cbToProtocol->setObjectName(QStringLiteral("cbToProtocol"));
    cbToProtocol->setToolTip(QStringLiteral("Dann zeigen Protokoll, Rangliste, Druck und Live-Seite "
                                            "die Läufe aller Stationen."));
    lState = new QLabel(this);
    lState->setObjectName(QStringLiteral("lState"));
    auto* hint = new QLabel(
        QStringLiteral("Ein Dienstname aus ~/.pg_service.conf (z. B. <i>verein</i>)<br>oder "
                       "<i>host=… dbname=… user=…</i>. Das Passwort gehört in ~/.pgpass,<br>"
                       "nicht hierher."),
        this);
    hint->setObjectName(QStringLiteral("lHint"));
    hint->setWordWrap(false); // wrapped, the form reserves an empty line above it
    bOk = new QPushButton(QStringLiteral("OK"), this);
    bOk->setObjectName(QStringLiteral("bOk"));
    bOk->setDefault(true);
    bCancel = new QPushButton(QStringLiteral("Abbrechen"), this);
    bCancel->setObjectName(QStringLiteral("bCancel"));

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("&Server:"), eServer);
    form->addRow(QString(), hint);
    form->addRow(QStringLiteral("S&tation:"), eStation);
    form->addRow(QString(), cbToProtocol);
    form->addRow(QStringLiteral("Zustand:"), lState);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(bOk);
    buttons->addWidget(bCancel);
    auto* v = new QVBoxLayout(this);
    v->addLayout(form);
    v->addLayout(buttons);
    connect(bOk, &QPushButton::clicked, this, [this] {
        if (Check()) accept();
    });
    connect(bCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void TFormServer::SetValues(const QString& server, const QString& station, bool toProtocol,
                            const QString& state) {
    eServer->setText(server);
    eServer->setCursorPosition(0);
    eStation->setText(station);
    cbToProtocol->setChecked(toProtocol);
    lState->setText(state);
}

bool TFormServer::Check() {
    FConnection = ParseServerConnection(eServer->text());
    if (!FConnection.Ok) {
        eServer->setText(FConnection.Cleaned);
        ShowMessage(this, FConnection.Message);
        eServer->setFocus();
        return false;
    }
    if (Station().isEmpty()) {
        ShowMessage(this, QStringLiteral("Die Station braucht einen Namen, zum Beispiel „Start“ "
                                         "oder „Ziel“."));
        eStation->setFocus();
        return false;
    }
    eServer->setText(FConnection.Cleaned);
    if (!FConnection.Message.isEmpty()) ShowMessage(this, FConnection.Message);
    return true;
}
