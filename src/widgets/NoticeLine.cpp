#include "NoticeLine.h"

#include <QLabel>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QToolButton>

namespace {
constexpr int LineHeight = 22;
constexpr int DetailsHeight = 130;
constexpr int MaxEntries = 200; // a problem that repeats all day must not grow without end
} // namespace

TNoticeLine::TNoticeLine(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("NoticeLine"));
    setFocusPolicy(Qt::NoFocus);
    setCursor(Qt::PointingHandCursor);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(0xC0, 0x10, 0x10));
    pal.setColor(QPalette::WindowText, Qt::white);
    setPalette(pal);
    FLine = new QLabel(this);
    FLine->setObjectName(QStringLiteral("NoticeText"));
    QFont bold = FLine->font();
    bold.setBold(true);
    FLine->setFont(bold);
    FLine->setTextFormat(Qt::PlainText);
    FLine->setAttribute(Qt::WA_TransparentForMouseEvents);
    FClose = new QToolButton(this);
    FClose->setObjectName(QStringLiteral("NoticeClose"));
    FClose->setText(QStringLiteral("×"));
    FClose->setToolTip(QStringLiteral("Hinweis ausblenden"));
    FClose->setAutoRaise(true);
    FClose->setFocusPolicy(Qt::NoFocus);
    FClose->setPalette(pal);
    connect(FClose, &QToolButton::clicked, this, [this] { Dismiss(); });
    FDetails = new QPlainTextEdit(this);
    FDetails->setObjectName(QStringLiteral("NoticeDetails"));
    FDetails->setReadOnly(true);
    FDetails->setFocusPolicy(Qt::NoFocus);
    FDetails->setCursor(Qt::ArrowCursor);
    FDetails->hide();
    setToolTip(QStringLiteral("Klicken: alle Hinweise mit Einzelheiten"));
    hide();
}

void TNoticeLine::Notice(const QString& text, const QString& details) {
    if (!FEntries.isEmpty() && FEntries.last().Text == text && FEntries.last().Details == details) {
        ++FEntries.last().Count;
        FEntries.last().When = QDateTime::currentDateTime();
    } else {
        FEntries << TEntry{QDateTime::currentDateTime(), text, details};
        if (FEntries.size() > MaxEntries) FEntries.removeFirst();
    }
    Fill();
    const bool wasHidden = isHidden();
    show();
    raise();
    if (wasHidden) Changed();
}

void TNoticeLine::Dismiss() {
    if (isHidden()) return;
    FDetails->hide();
    hide();
    Changed();
}

bool TNoticeLine::DetailsOpen() const {
    return !FDetails->isHidden();
}

void TNoticeLine::SetDetailsOpen(bool open) {
    if (open == DetailsOpen() || isHidden()) return;
    FDetails->setVisible(open);
    Changed();
}

QString TNoticeLine::Text() const {
    return FLine->text();
}

QStringList TNoticeLine::Notices() const {
    QStringList out;
    for (const TEntry& e : FEntries)
        out << e.Text;
    return out;
}

int TNoticeLine::Height() const {
    if (isHidden()) return 0;
    return LineHeight + (DetailsOpen() ? DetailsHeight : 0);
}

void TNoticeLine::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) SetDetailsOpen(!DetailsOpen());
    event->accept(); // never reaches the window: a click here is no click on the table
}

void TNoticeLine::resizeEvent(QResizeEvent*) {
    FClose->setGeometry(width() - LineHeight, 0, LineHeight, LineHeight);
    FLine->setGeometry(6, 0, qMax(0, width() - LineHeight - 8), LineHeight);
    FDetails->setGeometry(0, LineHeight, width(), qMax(0, height() - LineHeight));
    if (!FEntries.isEmpty()) Fill(); // elided to the new width
}

void TNoticeLine::Fill() {
    const TEntry& last = FEntries.last();
    QString line = QStringLiteral("⚠ ") + last.Text.simplified();
    if (last.Count > 1) line += QStringLiteral(" (%1×)").arg(last.Count);
    FLine->setText(FLine->fontMetrics().elidedText(line, Qt::ElideRight, qMax(40, FLine->width())));
    FLine->setToolTip(last.Text);
    QString all;
    for (qsizetype i = FEntries.size() - 1; i >= 0; --i) {
        const TEntry& e = FEntries[i];
        all += e.When.toString(QStringLiteral("HH:mm:ss")) + QStringLiteral("  ") + e.Text;
        if (e.Count > 1) all += QStringLiteral(" (%1×)").arg(e.Count);
        all += QLatin1Char('\n');
        if (!e.Details.isEmpty()) all += QStringLiteral("          ") + e.Details + QLatin1Char('\n');
    }
    FDetails->setPlainText(all);
}

void TNoticeLine::Changed() {
    if (OnChanged) OnChanged(this);
}
