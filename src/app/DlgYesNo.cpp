#include "DlgYesNo.h"
#include "ProgramInfo.h"

#include "FMain.h"

#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

TFDlgYesNo::TFDlgYesNo(QWidget* owner) : QDialog(owner) {
    setObjectName(QStringLiteral("FDlgYesNo"));
    setWindowTitle(ProgramTitle());
    setWindowFlags(Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setModal(true);

    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setFixedSize(32, 32);
    Image1->setPixmap(QIcon(QStringLiteral(":/icons/yesno.svg")).pixmap(32, 32));
    Label1 = new QLabel(QStringLiteral("?"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setAlignment(Qt::AlignCenter);
    Label1->setWordWrap(true);
    QFont f = Label1->font();
    f.setPixelSize(16);
    f.setBold(true);
    Label1->setFont(f);

    YesBtn = new QPushButton(QStringLiteral("Ja"), this);
    YesBtn->setObjectName(QStringLiteral("YesBtn"));
    NoBtn = new QPushButton(QStringLiteral("Nein"), this);
    NoBtn->setObjectName(QStringLiteral("NoBtn"));
    YesBtn->setDefault(true);
    connect(YesBtn, &QPushButton::clicked, this, [this] { done(mrYes); });
    connect(NoBtn, &QPushButton::clicked, this, [this] { done(mrCancel); });

    auto* top = new QHBoxLayout;
    top->addWidget(Image1, 0, Qt::AlignTop);
    top->addWidget(Label1, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(YesBtn);
    buttons->addWidget(NoBtn);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(buttons);
    setFixedSize(260, 120);
}

int TFDlgYesNo::ShowModal() {
    // Escape and the close box reject: every answer but "Ja" is a refusal.
    const int r = exec();
    return r == mrYes ? mrYes : mrCancel;
}

void TFDlgYesNo::FitQuestion() {
    // The program's own short questions fit 260 × 120; one that names a driver and a
    // run grows the box until every word shows.
    const auto missing = [this] {
        layout()->activate();
        return Label1->heightForWidth(Label1->width()) - Label1->height();
    };
    int w = 260;
    setFixedSize(w, 120);
    while (missing() > 0 && w < 460)
        setFixedSize(w += 40, 120);
    if (const int more = missing(); more > 0) setFixedSize(w, 120 + more);
}

void TFDlgYesNo::showEvent(QShowEvent* event) {
    FitQuestion();
    if (QWidget* owner = parentWidget()) {
        const QRect g = owner->frameGeometry();
        move(g.center() - QPoint(width() / 2, height() / 2));
    }
    QDialog::showEvent(event);
}
