#pragma once
// The main window's designed components, by their names: what the window's design
// lays out. TFormMain creates them (FMain.cpp) and gives them their handlers.
#include "Comms.h"
#include "DlgYesNo.h"
#include "Dmn_led.h"
#include "FrLapTimer.h"
#include "FrTimer.h"
#include "LbButton.h"
#include "MenuItem.h"
#include "Panel.h"
#include "SortGrid.h"

#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QTimer>
#include <array>

struct TFormMainControls {
    // Design client size; the outer design size is 750 x 549.
    static constexpr int DesignClientWidth = 742;
    static constexpr int DesignClientHeight = 515;
    static constexpr int FrameExtraHeight = 34; // caption and borders of the design's outer size

    TPanel *Panel1, *PanelResize, *PanelControl, *PanelTimerOwner, *Panel8, *PanelTimer, *Panel3,
        *PanelRight, *PanelButtons, *Panel4, *PanelDate, *PanelProtocol;
    std::array<TPanel*, 2> LapSpacers{};
    TLbSpeedButton *bHelp, *bCFG, *bInfo;
    QLabel *LogoPart1, *LogoPart2, *LogoPart3, *LogoShadow1, *LogoShadow2;
    QLabel* LedLabel;
    TLed* LedLock;
    TLbButton *bStart, *bLAP, *bFinish, *bReset;
    TFrameTimer *FrameTimer1, *FrameTimer2;
    std::array<TFrameLapTimer*, 11> FrameLapTimers{}; // FrameLapTimer1..10
    QLineEdit *eTitle, *eNR;
    TLbSpeedButton *sbLoad, *sbSave, *sbPrint, *sbClsAll, *sbWord, *sbExcel, *sbHTML;
    QLabel* Panel4Caption;
    QFrame* StatusBar1;
    std::array<QLabel*, 3> StatusPanels{}; // the third: light-barrier notices
    QMenu* HideMenu1;
    TMenuItem *mStart, *mLAP, *mStop, *mReset, *LockLSStart1, *mHilfe, *mCFG, *Info1, *Hilfe1,
        *Drucker1, *Beenden1;
    QTimer *TimerDate, *TimerGesperrtStart;
    TSortGrid* SortGrid1;
    TComPort* ComPort;
    QMenu* PopupMenuList;
    TMenuItem *Sortierenprotokoll1, *Erase1;
    TFDlgYesNo* FDlgYesNo;
    QFileDialog *OpenDialog1, *SaveDialog1;
};
