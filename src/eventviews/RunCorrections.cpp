#include "RunCorrections.h"
#include "Questions.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>

std::function<int(TDlgPenalty*)> TRunCorrectionActions::ExecPenalty = [](TDlgPenalty* d) {
    return d->exec();
};

TDlgPenalty::TDlgPenalty(QWidget* parent, const QList<TPenaltyItem>& catalogue,
                         const QString& driver)
    : QDialog(parent) {
    setObjectName(QStringLiteral("DlgPenalty"));
    setWindowTitle(QStringLiteral("Strafe"));
    cbItem = new QComboBox(this);
    cbItem->setObjectName(QStringLiteral("cbItem"));
    for (const TPenaltyItem& i : catalogue)
        cbItem->addItem(PenaltyItemCaption(i), QVariant::fromValue(i.Ms));
    for (int k = 0; k < catalogue.size(); ++k)
        cbItem->setItemData(k, catalogue[k].Name, Qt::UserRole + 1);
    seCount = new QSpinBox(this);
    seCount->setObjectName(QStringLiteral("seCount"));
    seCount->setRange(1, 99);
    eReason = new QLineEdit(this);
    eReason->setObjectName(QStringLiteral("eReason"));
    eReason->setMaxLength(200);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* form = new QFormLayout(this);
    form->addRow(new QLabel(QStringLiteral("Fahrer: ") + driver, this));
    form->addRow(QStringLiteral("&Strafe:"), cbItem);
    form->addRow(QStringLiteral("&Anzahl:"), seCount);
    form->addRow(QStringLiteral("&Grund:"), eReason);
    form->addRow(buttons);
}

TPenaltyItem TDlgPenalty::Item() const {
    const int i = cbItem->currentIndex();
    if (i < 0) return {};
    return {cbItem->itemData(i, Qt::UserRole + 1).toString(), cbItem->itemData(i).toInt()};
}

TRunCorrectionActions::TRunCorrectionActions(QWidget* host,
                                             std::function<const TEffectiveRun*()> selected)
    : QObject(host), FSelected(std::move(selected)), FHost(host) {
    const auto action = [host](const char* name, const QString& caption, const QKeySequence& key) {
        auto* a = new QAction(caption, host);
        a->setObjectName(QLatin1String(name));
        a->setShortcut(key);
        a->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        host->addAction(a);
        return a;
    };
    aPenalty = action("aPenalty", QStringLiteral("Strafe …"), QKeySequence(Qt::Key_P));
    aClearPenalties = action("aClearPenalties", QStringLiteral("Strafen aufheben"),
                             QKeySequence(Qt::SHIFT | Qt::Key_P));
    aDisqualify = action("aDisqualify", QStringLiteral("Disqualifiziert …"), QKeySequence(Qt::Key_D));
    aRerun = action("aRerun", QStringLiteral("Wiederholung"), QKeySequence(Qt::Key_W));
    aCounts = action("aCounts", QStringLiteral("Wieder werten"), QKeySequence(Qt::Key_G));
    Menu = new QMenu(host);
    Menu->setObjectName(QStringLiteral("RunCorrectionMenu"));
    Menu->addActions({aPenalty, aClearPenalties});
    Menu->addSeparator();
    Menu->addActions({aDisqualify, aRerun, aCounts});
    connect(aPenalty, &QAction::triggered, this, [this] { Penalty(); });
    connect(aClearPenalties, &QAction::triggered, this, [this] {
        if (const TEffectiveRun* e = FSelected(); e && !e->Penalties.empty() && OnCorrection)
            OnCorrection(this, PenaltiesClearedCorrection(e->Run));
    });
    connect(aDisqualify, &QAction::triggered, this, [this] { Disqualify(); });
    connect(aRerun, &QAction::triggered, this, [this] { SetStatus(RunStatusRerun); });
    connect(aCounts, &QAction::triggered, this, [this] { SetStatus(RunStatusOk); });
    Update();
}

void TRunCorrectionActions::Update() {
    const TEffectiveRun* e = FSelected();
    const bool run = e && !e->Withdrawn;
    const QString& s = run ? e->Run.Status : QString();
    aPenalty->setEnabled(run);
    aClearPenalties->setEnabled(run && !e->Penalties.empty());
    aDisqualify->setEnabled(run && s != RunStatusDsq);
    aRerun->setEnabled(run && s != RunStatusRerun);
    aCounts->setEnabled(run && (s == RunStatusDsq || s == RunStatusRerun));
}

void TRunCorrectionActions::Penalty() {
    const TEffectiveRun* e = FSelected();
    if (!e || e->Withdrawn || !OnCorrection) return;
    const QList<TPenaltyItem> catalogue = Catalogue ? Catalogue() : QList<TPenaltyItem>();
    if (catalogue.isEmpty()) {
        Questions::ShowMessage(QStringLiteral(
            "Der Strafenkatalog ist leer. Strafen unter „Wertung einstellen …“ anlegen."));
        return;
    }
    const TRunRecord run = e->Run; // the list may be read again while the dialog is open
    TDlgPenalty dialog(FHost, catalogue, run.StartNo + QLatin1Char(' ') + run.Name);
    if (ExecPenalty(&dialog) != QDialog::Accepted) return;
    const TPenaltyItem item = dialog.Item();
    if (item.Name.isEmpty()) return;
    OnCorrection(this, PenaltyCorrection(run, item, dialog.seCount->value(), dialog.eReason->text()));
}

void TRunCorrectionActions::Disqualify() {
    const TEffectiveRun* e = FSelected();
    if (!e || e->Withdrawn || !OnCorrection) return;
    const TRunRecord run = e->Run;
    QString reason;
    if (!Questions::AskText(QStringLiteral("Grund der Disqualifikation (") + run.Name +
                                QStringLiteral("):"),
                            reason))
        return;
    if (reason.simplified().isEmpty()) {
        Questions::ShowMessage(QStringLiteral("Ohne Grund wird nicht disqualifiziert."));
        return;
    }
    OnCorrection(this, StatusCorrection(run, RunStatusDsq, reason));
}

void TRunCorrectionActions::SetStatus(const QString& status) {
    const TEffectiveRun* e = FSelected();
    if (!e || e->Withdrawn || e->Run.Status == status || !OnCorrection) return;
    OnCorrection(this, StatusCorrection(e->Run, status, QString()));
}
