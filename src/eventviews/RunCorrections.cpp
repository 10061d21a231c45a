#include "RunCorrections.h"
#include "Corrections.h"
#include "Exclusion.h"
#include "Questions.h"
#include "TimeText.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QPushButton>
#include <QTableView>

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
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
    QPushButton* take = buttons->addButton(QStringLiteral("Strafe &vergeben"), QDialogButtonBox::AcceptRole);
    take->setObjectName(QStringLiteral("bOK"));
    for (QAbstractButton* b : buttons->buttons())
        if (auto* p = qobject_cast<QPushButton*>(b)) p->setAutoDefault(false), p->setDefault(false);
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

QString RunDriverText(const TRunRecord& run) {
    return RowDriverText({run.StartNo, run.Name}, run.RunNo);
}

namespace {

// Letters typed within a second make one search text, as a list's own search does.
class TNameSearch : public QObject {
public:
    TNameSearch(QTableView* view, int col) : QObject(view), FView(view), FCol(col) {}

    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() != QEvent::KeyPress) return false;
        auto* k = static_cast<QKeyEvent*>(event);
        if (k->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) return false;
        const QString text = k->text();
        if (text.isEmpty() || !text[0].isPrint() || text[0].isSpace()) return false;
        if (!FTyped.isValid() || FTyped.elapsed() > 1000) FText.clear();
        FTyped.start();
        FText += text;
        Find(FText.size() == 1);
        return true; // never a command
    }

private:
    void Find(bool next) {
        const QAbstractItemModel* m = FView->model();
        const int rows = m->rowCount();
        const int current = std::max(0, FView->currentIndex().row());
        for (int i = 0; i < rows; ++i) {
            const int row = (current + i + (next ? 1 : 0)) % rows;
            const QString name = m->data(m->index(row, FCol)).toString().trimmed();
            if (!name.isEmpty() && name.startsWith(FText, Qt::CaseInsensitive)) {
                FView->setCurrentIndex(m->index(row, FCol));
                FView->selectRow(row);
                return;
            }
        }
    }
    QTableView* FView;
    int FCol;
    QString FText;
    QElapsedTimer FTyped;
};

} // namespace

void SearchByName(QTableView* view, int nameColumn) {
    view->installEventFilter(new TNameSearch(view, nameColumn));
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
    // Ctrl with a letter only: a letter alone searches a name.
    aPenalty = action("aPenalty", QStringLiteral("Strafe …"), QKeySequence(Qt::CTRL | Qt::Key_P));
    aClearPenalties = action("aClearPenalties", QStringLiteral("Strafen aufheben …"),
                             QKeySequence(Qt::CTRL | Qt::Key_E));
    aDisqualify = action("aDisqualify", QStringLiteral("Lauf disqualifizieren (DSQ) …"),
                         QKeySequence(Qt::CTRL | Qt::Key_D));
    aRerun = action("aRerun", QStringLiteral("Wiederholung …"), QKeySequence(Qt::CTRL | Qt::Key_W));
    aCounts = action("aCounts", QStringLiteral("Wieder werten …"), QKeySequence(Qt::CTRL | Qt::Key_G));
    aExclude = action("aExclude", QStringLiteral("Ausschluss von der Veranstaltung …"),
                      QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_D));
    aReadmit = action("aReadmit", QStringLiteral("Ausschluss aufheben …"),
                      QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_A));
    Menu = new QMenu(host);
    Menu->setObjectName(QStringLiteral("RunCorrectionMenu"));
    Menu->addActions({aPenalty, aClearPenalties});
    Menu->addSeparator();
    Menu->addActions({aDisqualify, aRerun, aCounts});
    Menu->addSeparator();
    Menu->addActions({aExclude, aReadmit});
    connect(aPenalty, &QAction::triggered, this, [this] { Penalty(); });
    connect(aClearPenalties, &QAction::triggered, this, [this] {
        const TEffectiveRun* e = FSelected();
        if (!e || e->Penalties.empty() || !OnCorrection) return;
        const TRunRecord run = e->Run;
        if (!Questions::AskYesNo(QStringLiteral("Strafen aufheben: ") + RunDriverText(run) +
                                 QStringLiteral(" (") + TimeToText(e->PenaltyMs()) +
                                 QStringLiteral(" s)?")))
            return;
        OnCorrection(this, PenaltiesClearedCorrection(run));
    });
    connect(aDisqualify, &QAction::triggered, this, [this] { Disqualify(); });
    connect(aRerun, &QAction::triggered, this, [this] { SetStatus(RunStatusRerun); });
    connect(aCounts, &QAction::triggered, this, [this] { SetStatus(RunStatusOk); });
    connect(aExclude, &QAction::triggered, this, [this] { Exclude(true); });
    connect(aReadmit, &QAction::triggered, this, [this] { Exclude(false); });
    Update();
}

void TRunCorrectionActions::Update() {
    const TEffectiveRun* e = FSelected();
    const bool run = e && !e->Withdrawn;
    const QString& s = run ? e->Run.Status : QString();
    const bool excluded = run && Excluded && Excluded(*e);
    aPenalty->setEnabled(run);
    aClearPenalties->setEnabled(run && !e->Penalties.empty());
    aDisqualify->setEnabled(run && s != RunStatusDsq);
    aRerun->setEnabled(run && s != RunStatusRerun);
    aCounts->setEnabled(run && (s == RunStatusDsq || s == RunStatusRerun));
    aExclude->setEnabled(run && !excluded);
    aReadmit->setEnabled(run && excluded);
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
    TDlgPenalty dialog(FHost, catalogue, RunDriverText(run));
    if (ExecPenalty(&dialog) != QDialog::Accepted) return;
    const TPenaltyItem item = dialog.Item();
    if (item.Name.isEmpty()) return;
    OnCorrection(this, PenaltyCorrection(run, item, dialog.seCount->value(), dialog.eReason->text()));
}

QString TRunCorrectionActions::AskReason(const QString& what) {
    QString reason;
    if (!Questions::AskText(what + QStringLiteral(" – Grund:"), reason)) return {};
    reason = reason.simplified();
    if (reason.isEmpty()) Questions::ShowMessage(QStringLiteral("Ohne Grund wird nicht disqualifiziert."));
    return reason;
}

void TRunCorrectionActions::Disqualify() {
    const TEffectiveRun* e = FSelected();
    if (!e || e->Withdrawn || !OnCorrection) return;
    const TRunRecord run = e->Run;
    const QString what = QStringLiteral("DSQ für ") + RunDriverText(run);
    const QString reason = AskReason(what);
    if (reason.isEmpty() || !Questions::AskYesNo(what + QStringLiteral("?\nGrund: ") + reason)) return;
    OnCorrection(this, StatusCorrection(run, RunStatusDsq, reason));
}

void TRunCorrectionActions::Exclude(bool excluded) {
    const TEffectiveRun* e = FSelected();
    if (!e || e->Withdrawn || !OnCorrection) return;
    const TRunRecord run = e->Run;
    const QString driver = RowDriverText({run.StartNo, run.Name}, QString());
    if (!excluded) {
        if (Questions::AskYesNo(QStringLiteral("Ausschluss aufheben: ") + driver +
                                QStringLiteral(" wird wieder gewertet?")))
            OnCorrection(this, ExclusionCorrection(run, false, QString()));
        return;
    }
    const QString what = QStringLiteral("Ausschluss von der Veranstaltung für ") + driver;
    const QString reason = AskReason(what);
    if (reason.isEmpty() ||
        !Questions::AskYesNo(what + QStringLiteral(" (alle Läufe)?\nGrund: ") + reason))
        return;
    OnCorrection(this, ExclusionCorrection(run, true, reason));
}

void TRunCorrectionActions::SetStatus(const QString& status) {
    const TEffectiveRun* e = FSelected();
    if (!e || e->Withdrawn || e->Run.Status == status || !OnCorrection) return;
    const TRunRecord run = e->Run;
    const QString change = status == RunStatusRerun
                               ? QStringLiteral("als Wiederholung markieren (zählt nicht)")
                               : QStringLiteral("wieder werten (%1 aufgehoben)").arg(run.Status);
    // A round driven twice has two runs "Lauf 2": the time and start say which one.
    QString which = run.TotalMs >= 0 ? TimeToText(run.TotalMs) : run.Status;
    if (const qint64 at = run.StartMs ? run.StartMs : run.RecordedMs; at > 0)
        which += QStringLiteral(", gestartet ") +
                 QDateTime::fromMSecsSinceEpoch(at).toString(QStringLiteral("HH:mm:ss"));
    if (!Questions::AskYesNo(QStringLiteral("%1 (%2) %3?").arg(RunDriverText(run), which, change))) return;
    OnCorrection(this, StatusCorrection(run, status, QString()));
}
