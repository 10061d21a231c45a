#include "DlgDoubleRun.h"

#include "Corrections.h"
#include "TimeText.h"

#include <QDateTime>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

TDlgDoubleRun::TDlgDoubleRun(QWidget* parent, const std::vector<const TEffectiveRun*>& runs)
    : QDialog(parent) {
    setObjectName(QStringLiteral("DlgDoubleRun"));
    setWindowTitle(QStringLiteral("Welcher Lauf zählt?"));
    const TRunRecord& first = runs.front()->Run;
    auto* text = new QLabel(
        QStringLiteral("%1 ist Lauf %2 %3 gefahren.\nDie Summe wertet einen Lauf je Durchgang. Welcher "
                       "zählt? %4 als Wiederholung markiert und zählt nicht.")
            .arg(RowDriverText({first.StartNo, first.Name}, QString()), first.RunNo.trimmed(),
                 runs.size() == 2 ? QStringLiteral("zweimal") : QStringLiteral("%1-mal").arg(runs.size()),
                 runs.size() == 2 ? QStringLiteral("Der andere wird") : QStringLiteral("Die anderen werden")),
        this);
    text->setWordWrap(true);
    text->setMinimumWidth(360);
    auto* v = new QVBoxLayout(this);
    v->addWidget(text);
    for (const TEffectiveRun* e : runs) {
        auto* rb = new QRadioButton(RunText(*e), this);
        rb->setObjectName(QStringLiteral("rbRun%1").arg(rbRuns.size() + 1));
        rbRuns << rb;
        v->addWidget(rb);
    }
    rbRuns.front()->setChecked(true);
    bOK = new QPushButton(QStringLiteral("Dieser Lauf &zählt"), this);
    bOK->setObjectName(QStringLiteral("bOK"));
    bLater = new QPushButton(QStringLiteral("&Später entscheiden"), this);
    bLater->setObjectName(QStringLiteral("bLater"));
    // Enter alone decides nothing: a button does.
    for (QPushButton* b : {bOK, bLater})
        b->setAutoDefault(false);
    connect(bOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(bLater, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(bOK);
    buttons->addWidget(bLater);
    v->addLayout(buttons);
}

int TDlgDoubleRun::Chosen() const {
    for (int i = 0; i < rbRuns.size(); ++i)
        if (rbRuns[i]->isChecked()) return i;
    return 0;
}

QString TDlgDoubleRun::RunText(const TEffectiveRun& e) {
    QString t = e.Run.Status == RunStatusOk && e.Run.TotalMs >= 0 ? TimeToText(e.Run.TotalMs) : e.Run.Status;
    if (e.PenaltyMs() > 0) t += QStringLiteral(" (Strafe +") + TimeToText(e.PenaltyMs()) + QLatin1Char(')');
    const qint64 at = e.Run.StartMs ? e.Run.StartMs : e.Run.RecordedMs;
    if (at > 0)
        t += QStringLiteral(", gestartet ") + QDateTime::fromMSecsSinceEpoch(at).toString(QStringLiteral("HH:mm:ss"));
    return t;
}
