// Start-up and shutdown of the main window: the stored settings, the start-up sound,
// the port opened at start-up, the help window.
#include "FMainPrivate.h"
#include "Protocol.h"
#include "RecentFolders.h"
#include "Recovery.h"

#include "ColorUtil.h"
#include "FileTypes.h"
#include "HelpViewer.h"
#include "LiveResults.h"
#include "StartSound.h"
#include "TerminationRequest.h"
#include "Translations.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QScreen>
#include <QShowEvent>
#include <QTimer>

void TFormMain::FormCreate() {
    // 1-3: the program's own name decides caption, settings and file names.
    const QString title = ProgramTitle();
    QCoreApplication::setOrganizationName(title);
    QCoreApplication::setApplicationName(title);
    setWindowTitle(title + QStringLiteral(" v 1.6"));
    UseGermanFormats(); // the window's dates and numbers, whatever the system's locale

    // 4
    const TFileTypeNames types = ReadFileTypeNames();
    TextFileTypeName = types.Text;
    WordFileTypeName = types.Word;
    HtmlFileTypeName = types.Html;
    ExcelFileTypeName = types.Excel;

    // 5
    P->FSettingsStore = std::make_unique<TSettingsStore>(title);
    TStoredSettings stored = CurrentSettings();
    P->FSettingsStore->Read(stored);
    P->FStored = stored;
    ApplySettings(stored);
    RecentFolders::Attach(P->FSettingsStore.get());
    if (!P->FSettingsStore->IsWritable())
        // Once, after the window shows; the program goes on with what it has.
        QTimer::singleShot(0, this, [this, place = P->FSettingsStore->Place()] {
            ShowMessage(QStringLiteral("Die Einstellungen können nicht gespeichert werden:\n") +
                        place +
                        QStringLiteral("\nDas Programm arbeitet weiter; Änderungen der "
                                       "Einstellungen gelten nur bis zum Beenden."));
        });

    // 6-8
    FTimers = {nullptr, FrameTimer1, FrameTimer2};
    for (int car = 1; car <= 2; ++car)
        for (int lap = 1; lap <= 5; ++lap)
            FLapTimers[car][lap] = FrameLapTimers[(car - 1) * 5 + lap];
    ArrangeForCars();
    ApplyStoredBounds(stored);
    FEventCount = 0;

    // 9
    StartSound = new TStartSound(this);
    const QString sound = QDir::current().absoluteFilePath(QStringLiteral("START.wav"));
    if (QFile::exists(sound)) StartSound->PlayAndWait(sound);

    // 10-13 (the Word template and ExcelAvailable come with the file dialogs)
    CreateFileDialogs();
    PlaceFileDialogs();
    // The restored position of the save dialog; the open dialog starts there when it has it.
    const auto saveCount = SaveDialog1->nameFilters().size();
    SaveFilterIndex = stored.FilterInd >= 1 && stored.FilterInd <= saveCount ? stored.FilterInd : 1;
    OpenFilterIndex = SaveFilterIndex <= OpenDialog1->nameFilters().size() ? SaveFilterIndex : 1;
    SaveDialog1->selectNameFilter(SaveDialog1->nameFilters().value(SaveFilterIndex - 1));
    OpenDialog1->selectNameFilter(OpenDialog1->nameFilters().value(OpenFilterIndex - 1));
    // Named after the program, but never the report's "<title>.html" in the same folder.
    HelpFile = QDir(ProgramDir()).absoluteFilePath(title + QStringLiteral("-Hilfe.html"));

    // 14-16
    for (int c = 0; c < pcCount; ++c)
        SortGrid1->SetCells(c, 0, ProtocolCaptions[c]);
    SetProtocolColumnWidths();
    SelectWholeRow(1);

    // 17-21: the probe runs before our own port is opened (it would not find it).
    ProbeComPorts();
    TimerDateTimer();
    if (ComPort->Port != 0) {
        try {
            ComPort->Open();
        } catch (...) {
            // Silent at start-up: the official sees the hidden "LS:" and picks a port in the
            // settings.
        }
    }
    UpdateProtocolButtons();
    // 22 follows in showEvent, once the window stands where it will stay.
}

TSettingsStore& TFormMain::SettingsStore() {
    return *P->FSettingsStore;
}

TStoredSettings TFormMain::CurrentSettings() const {
    TStoredSettings s = P->FStored; // values no control holds go back as they were read
    s.Port = ComPort->Port;
    s.Alg = ComPort->Tag;
    // Outer bounds: the client size plus the frame of the design, so that the same
    // numbers come back whatever frame the window manager draws.
    s.Left = x();
    s.Top = y();
    s.Width = width() + (750 - DesignClientWidth);
    s.Height = height() + FrameExtraHeight;
    s.C1 = static_cast<int>(PanelTimer->Color());
    s.C2 = static_cast<int>(TimerFontColor);
    s.C3 = PanelTimer->Tag;
    s.FilterInd = SaveFilterIndex;
    s.WaitStart = TimerGesperrtStart->interval();
    s.Cars = RunSettings.Cars;
    s.Laps = RunSettings.Laps;
    s.Title = eTitle->text();
    return s;
}

void TFormMain::ApplySettings(const TStoredSettings& s) {
    ComPort->Port = static_cast<uint8_t>(s.Port & 0xFF);
    ComPort->Tag = s.Alg;
    PanelTimer->SetColor(static_cast<TColor>(s.C1));
    TimerFontColor = static_cast<TColor>(s.C2);
    QPalette pal = PanelTimer->palette();
    pal.setColor(QPalette::WindowText, ToQColor(TimerFontColor));
    PanelTimer->setPalette(pal);
    PanelTimer->Tag = s.C3;
    SaveFilterIndex = s.FilterInd;
    TimerGesperrtStart->setInterval(s.WaitStart);
    RunSettings.Cars = s.Cars;
    RunSettings.Laps = s.Laps;
    if (eTitle->text() != s.Title) {
        eTitle->setText(s.Title);
        eTitle->setCursorPosition(0);
    }
}

void TFormMain::ApplyStoredBounds(const TStoredSettings& s) {
    // A position on no screen (a monitor that is gone) is ignored: the window never
    // opens where nobody can see it, the system places it.
    QScreen* screen = nullptr;
    constexpr int far = 1 << 24; // beyond any desktop; also keeps the sums below in range
    if (s.PositionRead && qAbs(s.Left) < far && qAbs(s.Top) < far)
        for (QScreen* candidate : QGuiApplication::screens())
            if (candidate->availableGeometry().intersects(QRect(s.Left, s.Top, 200, 30))) {
                screen = candidate;
                break;
            }
    const bool placed = screen != nullptr;
    if (!screen) screen = QGuiApplication::primaryScreen();
    // The frame is not known before the window manager has the window: the design's.
    const QSize frame(750 - DesignClientWidth, FrameExtraHeight);
    QSize client(qBound(0, s.Width, far) - frame.width(),
                 qBound(0, s.Height, far) - frame.height());
    // Never larger than the screen it goes to (a size from a bigger monitor, or a
    // broken value), never smaller than the layout needs.
    if (screen) client = client.boundedTo(screen->availableGeometry().size() - frame);
    resize(client.expandedTo(minimumSize()));
    if (!placed) return;
    // Wholly on that screen; when it is larger, its title bar at least.
    const QRect area = screen->availableGeometry();
    const QSize outer = size() + frame;
    move(qMax(area.left(), qMin(s.Left, area.right() + 1 - outer.width())),
         qMax(area.top(), qMin(s.Top, area.bottom() + 1 - outer.height())));
}

void TFormMain::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (P->FCursorPlaced || event->spontaneous()) return;
    // The window manager places the window after it is mapped: the pointer goes to
    // START once the window is active there, or after a short while without that.
    QTimer::singleShot(500, this, [this] { PlaceCursorOnStart(); });
}

void TFormMain::PlaceCursorOnStart() {
    if (P->FCursorPlaced || !isVisible()) return;
    P->FCursorPlaced = true;
    if (bStart->isVisible()) PlaceCursorOnButton(bStart);
}

bool TFormMain::event(QEvent* e) {
    const bool result = QWidget::event(e);
    if (e->type() == QEvent::WindowActivate && !P->FCursorPlaced)
        QTimer::singleShot(0, this, [this] { PlaceCursorOnStart(); });
    return result;
}

void TFormMain::FormDestroy() {
    // A store that cannot be written must not keep the port open or lose the backup.
    bool settingsWritten = false;
    try {
        settingsWritten = !P->FSettingsStore || P->FSettingsStore->Write(CurrentSettings());
    } catch (...) {
    }
    RecentFolders::Detach(P->FSettingsStore.get());
    // The port's watch thread must end before the window's controls go.
    ComPort->Close();
    if (P->FLive) {
        RemoveRunListener(P->FLive.get());
        P->FLive->Close();
    }
    WriteBackup();
    Announce([](TRunListener& l) { l.Closing(); });
    // The last word: nothing runs any more, a box stops nobody.
    QStringList lost;
    if (!settingsWritten)
        lost << QStringLiteral("Die Einstellungen konnten nicht gespeichert werden: ") +
                    P->FSettingsStore->Place();
    if (!P->FBackupFailure.isEmpty())
        lost << QStringLiteral("Die Sicherung konnte nicht geschrieben werden: ") +
                    P->FBackupFailure + QStringLiteral("\nDie letzte vollständige Sicherung bleibt erhalten.");
    if (!lost.isEmpty() && !TerminationRequested()) ShowError(lost.join(QStringLiteral("\n\n")));
}

void TFormMain::bHelpClick(QObject*) {
    if (!HelpViewer) {
        HelpViewer = new THelpViewer(this);
        HelpViewer->addActions(actions()); // read during a run: the timing keys keep working
    }
    HelpViewer->ShowContents(HelpFile);
}
