#include "FMainPrivate.h"
#include "Cfg.h"
#include "HtmlReport.h"
#include "NoticeLine.h"
#include "Questions.h"

#include "ColorUtil.h"
#include "TickSource.h"

#include <QCoreApplication>
#include <QCursor>
#include <QDateTime>
#include <QDesktopServices>
#include <QFileInfo>
#include <QLocale>
#include <QMessageBox>
#include <QMouseEvent>
#include <QRegularExpressionValidator>
#include <QResizeEvent>
#include <QUrl>

namespace {

constexpr TColor clBtnFace = 0xC8D0D4;
constexpr TColor clBtnShadow = clGray;
constexpr TColor LogoGreen = 49152;

QFont PixelFont(const QString& family, int pixels, bool bold = false) {
    QFont f(family);
    f.setPixelSize(pixels);
    f.setBold(bold);
    return f;
}

void SetTextColor(QWidget* w, TColor color) {
    QPalette pal = w->palette();
    pal.setColor(QPalette::WindowText, ToQColor(color));
    pal.setColor(QPalette::Text, ToQColor(color));
    w->setPalette(pal);
}

// Clickable label of the brand logo.
class TLogoLabel : public QLabel {
public:
    TLogoLabel(const QString& text, QWidget* parent, std::function<void()> onClick)
        : QLabel(text, parent), FOnClick(std::move(onClick)) {
        setCursor(Qt::PointingHandCursor);
        setAttribute(Qt::WA_TranslucentBackground);
    }

protected:
    void mouseReleaseEvent(QMouseEvent* e) override {
        if (e->button() == Qt::LeftButton && rect().contains(e->position().toPoint()) && FOnClick)
            FOnClick();
    }

private:
    std::function<void()> FOnClick;
};

} // namespace

static void InitResources() {
    Q_INIT_RESOURCE(resources);
}

TFormMain::TFormMain(const TRunSettings& run, QWidget* parent)
    : QWidget(parent), RunSettings(run), P(std::make_unique<TPrivate>()) {
    InitResources();
    setObjectName(QStringLiteral("FormMain"));
    setFont(PixelFont(QStringLiteral("MS Sans Serif"), 11));
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::black);
    setPalette(pal);

    CreateControls();
    CreateMenu();
    CreateProtocol();
    FDlgYesNo = new TFDlgYesNo(this);
    resize(DesignClientWidth, DesignClientHeight);
    FormCreate();
    CreateListeners(); // after the start-up: the live results read the settings store
    CfgDialog = new TCfgDialog(this, ComPort); // after the start-up: it lists the probed ports
    eTitle->setFocus();
    P->FCorrections = std::make_unique<TTrackCorrections>(*this);
    AddRunListener(P->FCorrections.get());
    P->FRecovery->Open();
    // While the operator times, a box would swallow F5, F4, F9 and F10.
    Questions::Divert = [this](const QString& text, bool) {
        if (!RunInProgress()) return false;
        Notice(text);
        return true;
    };
}

TFormMain::~TFormMain() {
    Questions::Divert = nullptr;
    FormDestroy();
    // An editor still open commits while the base class closes the window: nobody listens then.
    SortGrid1->OnCellEdited = nullptr;
    SortGrid1->OnEndSort = nullptr;
    P->FRunListeners.clear();
}

TMenuItem* TFormMain::AddMenuItem(const char* name, const QString& caption,
                                  const QKeySequence& shortcut) {
    auto* item = new TMenuItem(caption, shortcut, this);
    item->setObjectName(QLatin1String(name));
    HideMenu1->addAction(item);
    addAction(item); // shortcuts of a never-shown menu work through the window
    return item;
}

void TFormMain::CreateMenu() {
    HideMenu1 = new QMenu(QStringLiteral("HideMenu"), this);
    HideMenu1->setObjectName(QStringLiteral("HideMenu1"));
    mStart = AddMenuItem("mStart", QStringLiteral("Start"), Qt::Key_F5);
    mLAP = AddMenuItem("mLAP", QStringLiteral("LAP"), Qt::Key_F4);
    mStop = AddMenuItem("mStop", QStringLiteral("Finish"), Qt::Key_F9);
    mReset = AddMenuItem("mReset", QStringLiteral("0,00"), Qt::Key_F10);
    LockLSStart1 = AddMenuItem("LockLSStart1", QStringLiteral("Lock LS"), Qt::Key_F11);
    HideMenu1->addSeparator();
    mHilfe = AddMenuItem("mHilfe", QStringLiteral("Hilfe"), Qt::Key_F1);
    mCFG = AddMenuItem("mCFG", QStringLiteral("&Einstellungen"), Qt::Key_F2);
    Info1 = AddMenuItem("Info1", QStringLiteral("Info"), Qt::Key_F3);
    Hilfe1 = AddMenuItem("Hilfe1", QStringLiteral("H&ilfe"), QKeySequence(Qt::ALT | Qt::Key_I));
    Drucker1 =
        AddMenuItem("Drucker1", QStringLiteral("&Drucker"), QKeySequence(Qt::ALT | Qt::Key_D));
    Drucker1->Tag = 1;
    Beenden1 =
        AddMenuItem("Beenden1", QStringLiteral("&Beenden"), QKeySequence(Qt::ALT | Qt::Key_B));

    mLAP->SetEnabled(false);
    mStop->SetEnabled(false);
    mReset->SetEnabled(false);
    mStart->OnClick = [this](QObject* s) { mStartClick(s); };
    mLAP->OnClick = [this](QObject* s) { mLAPClick(s); };
    mStop->OnClick = [this](QObject* s) { mStopClick(s); };
    mReset->OnClick = [this](QObject* s) { mResetClick(s); };
    LockLSStart1->OnClick = [this](QObject* s) { LedLockClick(s); };
    Info1->OnClick = [this](QObject* s) { bInfoClick(s); };
    Drucker1->OnClick = [this](QObject* s) { sbHTMLClick(s); };
    mHilfe->OnClick = [this](QObject* s) { bHelpClick(s); };
    Hilfe1->OnClick = [this](QObject* s) { bHelpClick(s); };
    mCFG->OnClick = [this](QObject* s) { bCFGClick(s); };
}

void TFormMain::CreateControls() {
    // Top bar.
    Panel1 = new TPanel(this, "Panel1", clBtnFace);
    Panel1->setFont(PixelFont(QStringLiteral("MS Sans Serif"), 16, true));
    auto speedButton = [](QWidget* parent, const char* name, const QString& hint,
                          const QString& icon) {
        auto* b = new TLbSpeedButton(parent);
        b->setObjectName(QLatin1String(name));
        b->SetHint(hint);
        b->SetPicture(QIcon(QStringLiteral(":/icons/") + icon + QStringLiteral(".svg")));
        b->SetColor(clBtnFace);
        b->SetHotTrackColor(clWhite);
        b->SetLightColor(clSilver);
        return b;
    };
    bHelp = speedButton(Panel1, "bHelp", QStringLiteral("Hilfe (F1)"), QStringLiteral("help"));
    bHelp->setGeometry(1, -1, 38, 40);
    bCFG = speedButton(Panel1, "bCFG", QStringLiteral("Einstellungen (F2)"),
                       QStringLiteral("settings"));
    bCFG->setGeometry(39, 0, 38, 40);
    bInfo = speedButton(Panel1, "bInfo", QStringLiteral("Info (F3)"), QStringLiteral("info"));
    bInfo->setGeometry(77, 1, 38, 40);
    bInfo->OnClick = [this](QObject* s) { bInfoClick(s); };
    bHelp->OnClick = [this](QObject* s) { bHelpClick(s); };
    bCFG->OnClick = [this](QObject* s) { bCFGClick(s); };

    // Brand logo: "Tem" red, "po" green, "ra" blue; the first two over black shadows.
    const QFont big = PixelFont(QStringLiteral("Arial"), 27, true);
    const QFont small = PixelFont(QStringLiteral("Arial"), 19, true);
    auto logo = [this](const char* name, const QString& text, const QFont& font, TColor color) {
        auto* l = new TLogoLabel(text, Panel1, [this] { LogoClick(); });
        l->setObjectName(QLatin1String(name));
        l->setFont(font);
        SetTextColor(l, color);
        l->adjustSize();
        return l;
    };
    LogoShadow1 = logo("LogoShadow1", QStringLiteral("Tem"), big, clBlack);
    LogoShadow2 = logo("LogoShadow2", QStringLiteral("po"), big, clBlack);
    LogoPart1 = logo("LogoPart1", QStringLiteral("Tem"), big, clRed);
    LogoPart2 = logo("LogoPart2", QStringLiteral("po"), big, LogoGreen);
    LogoPart3 = logo("LogoPart3", QStringLiteral("ra"), small, clBlue);
    LogoPart1->move(121, 3);
    LogoPart2->move(LogoPart1->geometry().right() + 1, 3);
    LogoPart3->move(LogoPart2->geometry().right() + 1, 11);
    LogoShadow1->move(LogoPart1->pos() + QPoint(2, 2));
    LogoShadow2->move(LogoPart2->pos() + QPoint(2, 2));

    LedLabel = new QLabel(QStringLiteral("LS:"), Panel1);
    LedLabel->setObjectName(QStringLiteral("LedLabel"));
    LedLabel->setGeometry(454, 8, 28, 20);
    LedLabel->setVisible(false);
    LedLock = new TLed(Panel1);
    LedLock->setObjectName(QStringLiteral("LedLock"));
    LedLock->move(483, 11);
    LedLock->SetKind(lkRed);
    LedLock->SetShape(lsCircle);
    LedLock->SetValue(true);
    LedLock->setToolTip(QStringLiteral("LS sperren [F11]"));
    LedLock->setVisible(false);
    LedLock->OnClick = [this](QObject* s) { LedLockClick(s); };

    PanelDate = new TPanel(Panel1, "PanelDate", clBlack);
    PanelDate->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    PanelDate->setLineWidth(2);
    auto* dateLabel = new QLabel(QStringLiteral("DD MM YY  00:00"), PanelDate);
    dateLabel->setObjectName(QStringLiteral("PanelDateCaption"));
    dateLabel->setFont(PixelFont(QStringLiteral("Arial"), 24));
    dateLabel->setAlignment(Qt::AlignCenter);
    SetTextColor(dateLabel, clSilver);

    // Timing area.
    PanelResize = new TPanel(this, "PanelResize", clBlack);
    PanelControl = new TPanel(PanelResize, "PanelControl", clBlack);
    PanelControl->setFont(PixelFont(QStringLiteral("Arial"), 19));
    PanelTimerOwner = new TPanel(PanelControl, "PanelTimerOwner", clBlack);
    Panel8 = new TPanel(PanelTimerOwner, "Panel8", clBlack);
    PanelTimer = new TPanel(Panel8, "PanelTimer", clBlack);
    PanelTimer->Tag = 4210752;
    Panel3 = new TPanel(PanelTimerOwner, "Panel3", clBlack);
    PanelRight = new TPanel(Panel3, "PanelRight", clBlack);

    auto bigButton = [](QWidget* parent, const char* name, const QString& caption,
                        const QString& hint, TColor color, TColor hot, TColor light) {
        auto* b = new TLbButton(parent);
        b->setObjectName(QLatin1String(name));
        b->SetCaption(caption);
        b->SetHint(hint);
        b->SetColor(color);
        b->SetHotTrackColor(hot);
        b->SetLightColor(light);
        b->SetFontColor(clBlack);
        b->SetHotTrackFontColor(clWhite);
        return b;
    };
    bStart = bigButton(Panel8, "bStart", QStringLiteral("S T A R T"), QStringLiteral("F5"), clLime,
                       clLime, clGreen);
    bLAP = bigButton(Panel8, "bLAP", QStringLiteral("L A P"), QStringLiteral("F4"), clBlack,
                     clYellow, clOlive);
    bLAP->setEnabled(false);
    bFinish = bigButton(Panel3, "bFinish", QStringLiteral("F I N I S H"), QStringLiteral("F9"),
                        clBlack, clRed, clMaroon);
    bFinish->setEnabled(false);
    bReset = bigButton(Panel8, "bReset", QStringLiteral("R E S E T"), QStringLiteral("F10"), clRed,
                       clRed, clMaroon);
    bReset->setVisible(false);
    bStart->OnMouseDown = [this](QObject* s, Qt::MouseButton, Qt::KeyboardModifiers, int, int) {
        bStartMouseDown(s);
    };
    bLAP->OnMouseDown = [this](QObject* s, Qt::MouseButton, Qt::KeyboardModifiers, int, int) {
        bLAPMouseDown(s);
    };
    bFinish->OnMouseDown = [this](QObject* s, Qt::MouseButton, Qt::KeyboardModifiers, int, int) {
        bFinishMouseDown(s);
    };
    bReset->OnClick = [this](QObject* s) { bResetClick(s); };

    FrameTimer1 = new TFrameTimer(PanelTimer);
    FrameTimer1->setObjectName(QStringLiteral("FrameTimer1"));
    FrameTimer2 = new TFrameTimer(PanelTimer);
    FrameTimer2->setObjectName(QStringLiteral("FrameTimer2"));
    FrameTimer1->hcbName->OnKeyPress = [this](QObject* s, QChar& k) {
        FrameTimer1hcbNameKeyPress(s, k);
    };
    FrameTimer2->hcbName->OnKeyPress = [this](QObject* s, QChar& k) {
        FrameTimer2hcbNameKeyPress(s, k);
    };
    for (int i = 1; i <= 10; ++i) {
        auto* f = new TFrameLapTimer(Panel3);
        f->setObjectName(QStringLiteral("FrameLapTimer%1").arg(i));
        f->LabelLap->setText(QStringLiteral("LAP %1").arg((i - 1) % 5 + 1));
        FrameLapTimers[i] = f;
    }
    LapSpacers[0] = new TPanel(Panel3, "PanelLapSpacer1", clBlack);
    LapSpacers[1] = new TPanel(Panel3, "PanelLapSpacer2", clBlack);

    // Strip with title, run number and the protocol buttons.
    PanelButtons = new TPanel(PanelResize, "PanelButtons", clBtnShadow);
    const QFont stripFont = PixelFont(QStringLiteral("MS Sans Serif"), 21, true);
    eTitle = new QLineEdit(QStringLiteral("Porsche Cup Trainingslauf in Hockenheim"), PanelButtons);
    eTitle->setObjectName(QStringLiteral("eTitle"));
    eTitle->setFont(stripFont);
    eTitle->setToolTip(QStringLiteral("Titel"));
    eTitle->setCursorPosition(0);
    eNR = new QLineEdit(QStringLiteral("1"), PanelButtons);
    eNR->setObjectName(QStringLiteral("eNR"));
    eNR->setFont(stripFont);
    // Three digits for typing only: a length limit would also cut "+" on 999.
    eNR->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,3}")), eNR));
    eNR->setToolTip(QStringLiteral("Trainingslauf Nr.:"));
    sbLoad = speedButton(PanelButtons, "sbLoad", QString(), QStringLiteral("open"));
    sbLoad->SetColor(clBtnShadow);
    sbLoad->SetLightColor(clBtnFace);

    Panel4 = new TPanel(PanelButtons, "Panel4", clBtnShadow);
    Panel4Caption = new QLabel(QStringLiteral("Protokoll"), Panel4);
    Panel4Caption->setObjectName(QStringLiteral("Panel4Caption"));
    Panel4Caption->setFont(PixelFont(QStringLiteral("MS Sans Serif"), 19, true));
    Panel4Caption->setAlignment(Qt::AlignCenter);
    Panel4Caption->setGeometry(124, 0, 110, 40);
    struct Def {
        TLbSpeedButton** target;
        const char* name;
        const char* hint;
        const char* icon;
        int x;
        int tag;
    };
    const Def defs[] = {
        {&sbSave, "sbSave", "Protokoll speichern unter", "save", 4, 0},
        {&sbPrint, "sbPrint", "Protokoll drucken", "print", 44, 1},
        {&sbClsAll, "sbClsAll", "Protokoll entfernen", "clear", 84, 0},
        {&sbWord, "sbWord", "Datei in MS Word", "word", 238, 0},
        {&sbExcel, "sbExcel", "Datei in MS Excel", "excel", 278, 0},
        {&sbHTML, "sbHTML", "Als Webseite", "html", 318, 0},
    };
    for (const Def& d : defs) {
        auto* b = speedButton(Panel4, d.name, QString::fromUtf8(d.hint), QLatin1String(d.icon));
        b->SetColor(clBtnShadow);
        b->SetLightColor(clBtnFace);
        b->setGeometry(d.x, 3, 36, 37);
        b->Tag = d.tag;
        b->setEnabled(false);
        *d.target = b;
    }
    sbPrint->OnClick = [this](QObject* s) { sbHTMLClick(s); };
    sbHTML->OnClick = [this](QObject* s) { sbHTMLClick(s); };

    // Protocol area: the grid fills it.
    PanelProtocol = new TPanel(this, "PanelProtocol", clBlack);
    NoticeLine = new TNoticeLine(PanelProtocol);
    NoticeLine->OnChanged = [this](TNoticeLine*) { LayoutControls(); };
    eNR->installEventFilter(this);

    StatusBar1 = new TPanel(this, "StatusBar1", clBtnFace);
    for (int i = 0; i < 3; ++i) {
        auto* l = new QLabel(StatusBar1);
        l->setObjectName(QStringLiteral("StatusPanel%1").arg(i + 1));
        l->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        static const int left[] = {0, 70, 120}, width[] = {70, 50, 260};
        l->setGeometry(left[i], 1, width[i], 18);
        if (i == 0) l->setAlignment(Qt::AlignCenter);
        StatusPanels[i] = l;
    }
    StatusPanels[2]->setVisible(false); // until the barrier has something to tell
    P->FStatusFade = new QTimer(this);
    P->FStatusFade->setObjectName(QStringLiteral("TimerStatusFade"));
    P->FStatusFade->setSingleShot(true);
    connect(P->FStatusFade, &QTimer::timeout, this, [this] { StatusPanels[1]->clear(); });
    CreateBarrierPanels();

    TimerDate = new QTimer(this);
    TimerDate->setObjectName(QStringLiteral("TimerDate"));
    TimerDate->setInterval(5000);
    connect(TimerDate, &QTimer::timeout, this, &TFormMain::TimerDateTimer);
    TimerDate->start();
    TimerGesperrtStart = new QTimer(this);
    TimerGesperrtStart->setObjectName(QStringLiteral("TimerGesperrtStart"));
    TimerGesperrtStart->setInterval(3000);
    connect(TimerGesperrtStart, &QTimer::timeout, this, &TFormMain::TimerGesperrtTimer);
    P->FDeadTimeEnd = new QTimer(this);
    P->FDeadTimeEnd->setObjectName(QStringLiteral("TimerGesperrtEnde"));
    P->FDeadTimeEnd->setSingleShot(true);
    P->FDeadTimeEnd->setTimerType(Qt::PreciseTimer);
    connect(P->FDeadTimeEnd, &QTimer::timeout, this, &TFormMain::TimerGesperrtTimer);

    // The light barrier's port; Port 0 means none until the settings choose one.
    ComPort = new TComPort(this);
    ComPort->setObjectName(QStringLiteral("ComPort"));
    ComPort->BaudRate = br9600;
    ComPort->BaudRateUser = 28800;
    ComPort->Port = 0;
    ComPort->Parity = prNone;
    ComPort->StopBits = sbOneStopBit;
    ComPort->FlowControl = fcRtsCts;
    ComPort->SetDataBits(5);
    ComPort->Events = EventBit(evCTS) | EventBit(evDSR);
    ComPort->EnableDTR = true;
    ComPort->WriteBufSize = 64;
    ComPort->ReadBufSize = 64;
    ComPort->Tag = 0; // trigger rule "Ein"
    ComPort->OnCTS = [this](QObject* s) { ComPortDSR(s); };
    ComPort->OnDSR = [this](QObject* s) { ComPortDSR(s); };
    ComPort->OnDropped = [this](QObject* s, int n) { ComPortDropped(s, n); };
    ComPort->OnOpen = [this](QObject* s) { ComPortOpen(s); };
    ComPort->OnClose = [this](QObject* s) { ComPortClose(s); };
    ComPort->OnLost = [this](QObject* s, int error) { ComPortLost(s, error); };
    ComPort->OnWatchPriority = [this](QObject* s, const TThreadPriority& p) {
        ComPortWatchPriority(s, p);
    };
    ComPort->ReopenInterval = 1000; // an adapter plugged in again is back within a second

    setTabOrder(eTitle, eNR);
}

void TFormMain::LayoutControls() {
    const int W = width();
    const int H = height();
    const int extra = W - DesignClientWidth;

    Panel1->setGeometry(0, 0, W, 38);
    PanelDate->setGeometry(W - 240, 0, 240, 38);
    PanelDate->findChild<QLabel*>(QStringLiteral("PanelDateCaption"))->setGeometry(2, 2, 236, 34);

    const int resizeH = PanelResize->height();
    PanelResize->setGeometry(0, 38, W, resizeH);
    const int buttonsH = PanelButtons->isHidden() ? 0 : 40;
    PanelButtons->setGeometry(0, resizeH - 40, W, 40);
    const int hc = resizeH - buttonsH;
    PanelControl->setGeometry(0, 0, W, hc);
    PanelTimerOwner->setGeometry(0, 0, W, hc);
    Panel8->setGeometry(0, 0, 497, hc);
    bStart->setGeometry(0, 0, 41, hc);
    PanelTimer->setGeometry(41, 0, 415, hc);
    bLAP->setGeometry(456, 0, 41, hc);
    bReset->setGeometry(P->FResetAlignedLeft ? QRect(0, 0, 41, hc) : QRect(28, 48, 41, 236));
    FrameTimer1->setGeometry(0, 0, 415, 156);
    FrameTimer2->setGeometry(0, 156, 415, 157);
    const int w3 = W - 497;
    Panel3->setGeometry(497, 0, w3, hc);
    const int rightW = qMax(0, extra);
    PanelRight->setGeometry(w3 - rightW, 0, rightW, hc);
    bFinish->setGeometry(w3 - rightW - 41, 0, 41, hc);
    LapSpacers[0]->setGeometry(0, 152, 203, 3);
    LapSpacers[1]->setGeometry(0, 308, 203, 3);

    eTitle->setGeometry(2, 4, 295 + extra, 32);
    eNR->setGeometry(300 + extra, 4, 46, 32);
    sbLoad->setGeometry(350 + extra, 4, 38, 38);
    Panel4->setGeometry(W - 356, 0, 356, 40);

    const int gridTop = 38 + resizeH;
    StatusBar1->setGeometry(0, H - 19, W, 19);
    PanelProtocol->setGeometry(0, gridTop, W, qMax(0, H - 19 - gridTop));
    // The notice line pushes the table down rather than covering its first rows.
    const int noticeH = qMin(NoticeLine->Height(), PanelProtocol->height() / 2);
    NoticeLine->setGeometry(0, 0, W, noticeH);
    SortGrid1->setGeometry(0, noticeH, W, qMax(0, PanelProtocol->height() - noticeH));
}

void TFormMain::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    FormResize();
}

void TFormMain::FormResize() {
    LayoutControls();
    SetProtocolColumnWidths();
    bFinish->update();
}

// ---------------------------------------------------------------- timing run

int TFormMain::CurrentCar() const {
    return ::CurrentCar(FEventCount, RunSettings.Cars, RunSettings.Laps);
}

void TFormMain::UpdateEventControls() {
    const TNextEvent state = NextEventFor(FEventCount, RunSettings.Cars, RunSettings.Laps);
    if (state == TNextEvent::None) {
        for (TMenuItem* m : {mStart, mLAP, mStop})
            m->SetEnabled(false);
        for (TLbButton* b : {bStart, bLAP, bFinish}) {
            b->setEnabled(false);
            b->SetColor(clBlack);
        }
        P->FResetAlignedLeft = true;
        bReset->setGeometry(0, 0, 41, Panel8->height());
        bStart->setVisible(false);
        bReset->setVisible(true);
        mReset->SetEnabled(true);
        return;
    }
    const struct {
        TMenuItem* item;
        TLbButton* button;
        TNextEvent event;
    } controls[] = {{mStart, bStart, TNextEvent::Start},
                    {mLAP, bLAP, TNextEvent::Lap},
                    {mStop, bFinish, TNextEvent::Finish}};
    for (const auto& c : controls) {
        const bool on = c.event == state;
        c.item->SetEnabled(on);
        c.button->setEnabled(on);
        c.button->SetColor(on ? c.button->HotTrackColor() : clBlack);
    }
}

void TFormMain::PlaceCursorOnButton(TLbButton* button) {
    if (button->isVisible() && isVisible()) button->setFocus();
    const QPoint origin = button->mapToGlobal(QPoint(0, 0));
    QCursor::setPos(origin.x() + button->width() / 2 - 4, origin.y() + button->height() / 2 - 4);
}

void TFormMain::mStartClick(QObject*) {
    ++FEventCount;
    RunSettings.CarHundredths[CurrentCar()] = 0;
    FTimers[CurrentCar()]->StartClock();
    LockBarrier();
    RecordRunEvent(TRunEventKind::Start, CurrentCar(), FTimers[CurrentCar()]->FStartTick);
    UpdateEventControls();
    eTitle->setFocus();
}

void TFormMain::mLAPClick(QObject*) {
    ++FEventCount;
    const int car = CurrentCar();
    const uint32_t now = TickSource::EventTick();
    LockBarrier();
    TFrameTimer* timer = FTimers[car];
    const int32_t lap = TickSource::Diff(now, timer->FLapTick);
    timer->FLapTick = now;
    ++timer->Tag;
    if (timer->Tag >= 1 && timer->Tag <= 5) FLapTimers[car][timer->Tag]->SetLapTime(lap);
    RunSettings.CarHundredths[car] += lap / 10;
    RecordRunEvent(TRunEventKind::Lap, car, now);
    UpdateEventControls();
}

void TFormMain::mStopClick(QObject*) {
    ++FEventCount;
    const int car = CurrentCar();
    TFrameTimer* timer = FTimers[car];
    timer->StopClock();
    const int32_t last = TickSource::Diff(timer->FStopTick, timer->FLapTick);
    RunSettings.CarHundredths[car] += last / 10;
    timer->FTotalMs = RunSettings.CarHundredths[car] * 10;
    timer->ShowTime(timer->FTotalMs);
    ++timer->Tag;
    if (RunSettings.Laps >= 1 && RunSettings.Laps <= 5) FLapTimers[car][RunSettings.Laps]->SetLapTime(last);
    LockBarrier();
    RecordRunEvent(TRunEventKind::Finish, car, timer->FStopTick);
    if (car == RunSettings.Cars || RunComplete()) EnterRunResults();
    UpdateEventControls();
}

void TFormMain::mResetClick(QObject*) {
    mReset->SetEnabled(false);
    mStop->SetEnabled(false);
    mStart->SetEnabled(true);
    bStart->SetColor(bStart->HotTrackColor());
    bStart->setEnabled(true);
    PlaceCursorOnButton(bStart);
    for (int car = 1; car <= std::clamp(RunSettings.Cars, 1, 2); ++car) {
        FTimers[car]->ResetClock();
        for (int lap = 1; lap <= 5; ++lap)
            FLapTimers[car][lap]->SetLapTime(0);
    }
    MoveToNextEntrants();
    bStart->setVisible(true);
    bReset->setVisible(false);
    ArmBarrier(TickSource::Now());
    FEventCount = 0;
    FRun = TRunEvents(RunSettings.Cars, RunSettings.Laps);
    AnnounceRunEvent(TRunNoticeKind::Reset, 0, 0);
}

void TFormMain::MoveToNextEntrants() {
    const int cars = std::clamp(RunSettings.Cars, 1, 2);
    std::vector<int> next;
    QString runNumber = eNR->text();
    for (int car = 1; car <= cars; ++car)
        next.push_back(FTimers[car]->hcbName->ItemIndex());
    const QStringList entries = FTimers[1]->hcbName->Items();
    if (NextEntrants && (cars == 1 || FTimers[2]->hcbName->Items() == entries))
        next = NextEntrants(entries, next, runNumber);
    else
        for (int& i : next)
            i += RunSettings.Cars;
    for (int car = 1; car <= cars; ++car)
        FTimers[car]->hcbName->SetItemIndex(next.at(car - 1));
    if (runNumber != eNR->text()) {
        eNR->setText(runNumber);
        ShowStatus(QStringLiteral("Lauf %1 beginnt").arg(runNumber));
    }
}

void TFormMain::MoveToFirstEntrants() {
    const int cars = std::clamp(RunSettings.Cars, 1, 2);
    const QStringList entries = FTimers[1]->hcbName->Items();
    QString runNumber = eNR->text();
    std::vector<int> first;
    if (FirstEntrants && !entries.isEmpty() && (cars == 1 || FTimers[2]->hcbName->Items() == entries))
        first = FirstEntrants(entries, cars, runNumber);
    if (first.size() != size_t(cars)) {
        FTimers[1]->hcbName->SetItemIndex(0);
        FTimers[2]->hcbName->SetItemIndex(1);
        return;
    }
    for (int car = 1; car <= cars; ++car)
        FTimers[car]->hcbName->SetItemIndex(first.at(car - 1));
    if (runNumber != eNR->text()) {
        eNR->setText(runNumber);
        ShowStatus(QStringLiteral("Lauf %1 beginnt").arg(runNumber));
    }
}

void TFormMain::bStartMouseDown(QObject*) {
    FEventSource = TRunEventSource::Mouse;
    mStart->Click();
    FEventSource = TRunEventSource::Key;
}
void TFormMain::bLAPMouseDown(QObject*) {
    FEventSource = TRunEventSource::Mouse;
    mLAP->Click();
    FEventSource = TRunEventSource::Key;
}
void TFormMain::bFinishMouseDown(QObject*) {
    FEventSource = TRunEventSource::Mouse;
    mStop->Click();
    FEventSource = TRunEventSource::Key;
}
void TFormMain::bResetClick(QObject*) {
    mReset->Click();
}

void TFormMain::FrameTimer1hcbNameKeyPress(QObject* sender, QChar& key) {
    FrameTimer1->hcbNameKeyPress(sender, key);
    if (key == QLatin1Char('\r')) FrameTimer2->hcbName->SetItems(FrameTimer1->hcbName->Items());
}

void TFormMain::FrameTimer2hcbNameKeyPress(QObject* sender, QChar& key) {
    FrameTimer2->hcbNameKeyPress(sender, key);
    if (key == QLatin1Char('\r')) FrameTimer1->hcbName->SetItems(FrameTimer2->hcbName->Items());
}

// ---------------------------------------------------------------- layout and lifecycle

void TFormMain::ArrangeForCars() {
    const int cars = qBound(1, RunSettings.Cars, 2);
    const int laps = qBound(2, RunSettings.Laps, 5);
    const int points = 5 * cars + 14;
    for (TLbButton* b : {bStart, bReset, bLAP, bFinish}) {
        QFont f(QStringLiteral("Arial"));
        f.setPointSize(points);
        f.setBold(true);
        b->setFont(f);
        b->SetHotTrackFont(f);
    }
    const int g = 150 / laps;
    for (int car = 1; car <= 2; ++car)
        for (int lap = 1; lap <= 5; ++lap) {
            TFrameLapTimer* f = FLapTimers[car][lap];
            f->setVisible(lap <= laps);
            f->setGeometry(0, (car - 1) * 156 + g * (lap - 1) + (g - 30) / 2, 203, 30);
        }
    SetProtocolColumnWidths();
    const int panelH = (PanelButtons->isHidden() ? 0 : 40) + 154 * cars;
    PanelResize->resize(PanelResize->width(), panelH);
    setMinimumSize(DesignClientWidth, panelH + 136 - FrameExtraHeight);
    LayoutControls();
    Announce([](TRunListener& l) { l.RunArranged(); });
}

int TFormMain::StatusFadeMs = 120000;

void TFormMain::ShowStatus(const QString& text, int fadeMs) {
    QLabel* status = StatusPanels[1];
    status->setText(text);
    status->resize(status->sizeHint().width() + 8, status->height());
    if (fadeMs > 0)
        P->FStatusFade->start(fadeMs);
    else
        P->FStatusFade->stop();
}

void TFormMain::TimerDateTimer() {
    const QLocale locale;
    const QDateTime now = QDateTime::currentDateTime();
    PanelDate->findChild<QLabel*>(QStringLiteral("PanelDateCaption"))
        ->setText(locale.toString(now.date(), QLocale::ShortFormat) + QStringLiteral("   ") +
                  locale.toString(now.time(), QLocale::ShortFormat));
}

void TFormMain::bInfoClick(QObject*) {
    QMessageBox::information(this, ProgramTitle(),
                             ProgramTitle() + QStringLiteral(" v 1.6\n\n") +
                                 QStringLiteral("Zeitnahme für Trainingsläufe und Zeitfahren: "
                                                "ein oder zwei Autos, zwei bis fünf Runden.") +
                                 QStringLiteral("\n\nKorrekturen:\n"
                                                "Strg+Z\tLetztes Ereignis zurücknehmen\n"
                                                "Strg+1\tAuto 1 ausgefallen (DNF)\n"
                                                "Strg+2\tAuto 2 ausgefallen (DNF)") +
                                 QStringLiteral("\n\nLichtschranke: ") + BarrierWatchText());
}

void TFormMain::LogoClick() {
    QDesktopServices::openUrl(
        QUrl(QStringLiteral("https://") + HtmlReport::MakerHost() + QLatin1Char('/')));
}
