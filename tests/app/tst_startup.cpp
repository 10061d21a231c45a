// Start-up and shutdown of the main window against a temporary settings store:
// stored values, the port opened at start-up, values written at shutdown, an
// unwritable store, the bounded start-up sound, another program name, the help.
#include "Cfg.h"
#include "ProgramInfo.h"
#include "FMain.h"
#include "ProtocolDocuments.h"
#include "Recovery.h"
#include "HelpViewer.h"
#include "Journal.h"
#include "SimComDevice.h"
#include "StartSound.h"
#include "TerminationRequest.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QScreen>
#include <QScrollBar>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QtEndian>
#include <climits>
#include <csignal>

// What the next window starts from, as a program start would find it.
static TRunSettings Run;

namespace {

void WriteWave(const QString& file, int ms) {
    const quint32 rate = 8000;
    const quint32 size = rate * ms / 1000;
    QByteArray b("RIFF", 4);
    auto u32 = [&](quint32 v) {
        char c[4];
        qToLittleEndian(v, c);
        b.append(c, 4);
    };
    auto u16 = [&](quint16 v) {
        char c[2];
        qToLittleEndian(v, c);
        b.append(c, 2);
    };
    u32(36 + size);
    b.append("WAVEfmt ");
    u32(16);
    u16(1);
    u16(1);
    u32(rate);
    u32(rate);
    u16(1);
    u16(8);
    b.append("data");
    u32(size);
    b.append(QByteArray(size, '\x80'));
    QFile f(file);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(b);
}

} // namespace

class TstStartup : public QObject {
    Q_OBJECT
    QTemporaryDir FDir;

    QString StoreFile() const { return FDir.filePath(ProgramTitle() + QStringLiteral(".conf")); }
    void Store(const QVariantMap& values) {
        QSettings file(StoreFile(), QSettings::IniFormat);
        for (auto it = values.cbegin(); it != values.cend(); ++it)
            file.setValue(it.key(), it.value());
    }
    static QVariantMap Full() {
        return {{"Port", 0},       {"Alg", 0},      {"Left", 10},     {"Top", 20},
                {"Width", 750},    {"Height", 549}, {"Sound", 1},     {"C1", 0},
                {"C2", 0},         {"C3", 4210752}, {"FilterInd", 1}, {"WaitStart", 3000},
                {"AutoStart", 30}, {"Cars", 2},     {"Laps", 2},      {"Title", "Lauf"}};
    }

private slots:
    void init() {
        QVERIFY(FDir.isValid());
        QDir::setCurrent(FDir.path()); // backups land here
        QFile::remove(StoreFile());
        QFile::remove(FDir.filePath(QStringLiteral("START.wav")));
        TSettingsStore::UseFolder(FDir.path());
        TSimComBus::DetachAll();
        Run.Cars = 2;
        Run.Laps = 2;
    }
    void cleanup() {
        TSettingsStore::UseNone();
        TStartSound::HasOutput = [] { return false; };
        TSimComBus::DetachAll();
    }

    void storedValuesApply_data() {
        QTest::addColumn<QVariantMap>("stored");
        QTest::addColumn<int>("laps");
        QTest::addColumn<int>("deadTime");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<int>("visibleLapFrames");
        QVariantMap v = Full();
        v.insert("Cars", 2);
        v.insert("Laps", 4);
        QTest::newRow("2 cars with 4 laps") << v << 2 << 3000 << "Lauf" << QSize(742, 515) << 2;
        v = Full();
        v.insert("Cars", 1);
        v.insert("Laps", 4);
        v.insert("WaitStart", 0);
        v.insert("Title", "");
        QTest::newRow("1 car, 4 laps, dead time 0, empty title")
            << v << 4 << 3000 << "Porsche Cup Trainingslauf in Hockenheim" << QSize(742, 515) << 4;
        v = Full();
        v.insert("Laps", 0);
        v.insert("Cars", 0);
        v.insert("Width", 790); // within the offscreen screen
        v.insert("Height", 100);
        QTest::newRow("cars and laps 0, height below the minimum")
            << v << 2 << 3000 << "Lauf" << QSize(782, 194 + 136 - 34) << 2;
        v = {{"Port", 3}, {"Alg", 1}, {"Cars", 1}, {"Laps", 5}, {"WaitStart", 100}};
        QTest::newRow("port and sense but no left")
            << v << 2 << 3000 << "Porsche Cup Trainingslauf in Hockenheim" << QSize(742, 515) << 2;
    }
    void storedValuesApply() {
        QFETCH(QVariantMap, stored);
        QFETCH(int, laps);
        QFETCH(int, deadTime);
        QFETCH(QString, title);
        QFETCH(QSize, size);
        QFETCH(int, visibleLapFrames);
        Store(stored);
        TFormMain w(Run);
        QCOMPARE(w.RunSettings.Laps, laps);
        QCOMPARE(w.TimerGesperrtStart->interval(), deadTime);
        QCOMPARE(w.eTitle->text(), title);
        QCOMPARE(w.size(), size);
        int visible = 0;
        for (int j = 1; j <= 5; ++j)
            visible += w.FLapTimers[1][j]->isVisibleTo(&w);
        QCOMPARE(visible, visibleLapFrames);
        QCOMPARE(int(w.ComPort->Port), stored.value("Port").toInt());
        QCOMPARE(w.ComPort->Tag, stored.value("Alg").toInt());
    }

    void positionOffEveryScreenIsIgnored_data() {
        QTest::addColumn<QPoint>("stored");
        QTest::addColumn<bool>("applied");
        QTest::newRow("on the screen") << QPoint(30, 40) << true;
        QTest::newRow("monitor gone") << QPoint(5000, 4000) << false;
        QTest::newRow("far left") << QPoint(-3000, 40) << false;
    }
    void positionOffEveryScreenIsIgnored() {
        QFETCH(QPoint, stored);
        QFETCH(bool, applied);
        QVariantMap v = Full();
        v.insert("Left", stored.x());
        v.insert("Top", stored.y());
        Store(v);
        TFormMain w(Run);
        QCOMPARE(w.pos() == stored, applied);
    }

    // The restored kind of the save dialog also gives a name typed without extension its
    // extension: never a workbook saved as "bericht.txt".
    void restoredSaveKindGivesItsExtension_data() {
        QTest::addColumn<int>("filterInd");
        QTest::addColumn<QString>("extension");
        QTest::newRow("Excel") << 2 << "xlsx";
        QTest::newRow("Word") << 3 << "docx";
        QTest::newRow("web page") << 4 << "html";
    }
    void restoredSaveKindGivesItsExtension() {
        QFETCH(int, filterInd);
        QFETCH(QString, extension);
        QVariantMap v = Full();
        v.insert("FilterInd", filterInd);
        Store(v);
        TFormMain::ShowError = [](const QString&) {};
        ProtocolDocuments::OpenDocument = [](const QString&) {};
        const QString typed = FDir.filePath(QStringLiteral("bericht"));
        TFormMain::ExecFileDialog = [typed](QFileDialog* d) {
            d->selectFile(typed);
            return true;
        };
        TFormMain w(Run);
        w.sbSaveClick(w.sbSave);
        TFormMain::ExecFileDialog = nullptr;
        QVERIFY(QFile::exists(typed + QLatin1Char('.') + extension));
        QVERIFY(!QFile::exists(typed + QStringLiteral(".txt")));
    }

    // Values no control shows still go back as they were read.
    void storedValuesComeBack_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("stored");
        QTest::newRow("Sound off") << "Sound" << 0;
        QTest::newRow("AutoStart 10") << "AutoStart" << 10;
        QTest::newRow("AutoStart 0") << "AutoStart" << 0;
        QTest::newRow("C3") << "C3" << 123456;
    }
    void storedValuesComeBack() {
        QFETCH(QString, name);
        QFETCH(int, stored);
        QVariantMap v = Full();
        v.insert(name, stored);
        Store(v);
        { TFormMain w(Run); }
        QCOMPARE(QSettings(StoreFile(), QSettings::IniFormat).value(name).toInt(), stored);
    }

    // A sense the dialog has no entry for must not come back from F2 and OK as "none",
    // which would lock the port choice for good; a negative one keeps locking it.
    void storedSenseIsReadIntoItsRange_data() {
        QTest::addColumn<int>("stored");
        QTest::addColumn<int>("sense");
        QTest::newRow("2") << 2 << 1;
        QTest::newRow("1000") << 1000 << 1;
        QTest::newRow("1") << 1 << 1;
        QTest::newRow("0") << 0 << 0;
        QTest::newRow("-1 locks") << -1 << -1;
        QTest::newRow("-7 locks") << -7 << -1;
    }
    void storedSenseIsReadIntoItsRange() {
        QFETCH(int, stored);
        QFETCH(int, sense);
        TSimComBus::Attach(5);
        QVariantMap v = Full();
        v.insert("Port", 5);
        v.insert("Alg", stored);
        Store(v);
        TFormMain w(Run);
        QCOMPARE(w.ComPort->Tag, sense);
        QList<bool> portChoice;
        const auto exec = TFormMain::ExecCfgDialog;
        TFormMain::ExecCfgDialog = [&portChoice](TCfgDialog* d) {
            d->show();
            portChoice << d->cbPort->isEnabled();
            d->hide();
            return int(QDialog::Accepted);
        };
        w.bCFGClick(w.bCFG);
        w.bCFGClick(w.bCFG);
        TFormMain::ExecCfgDialog = exec;
        QCOMPARE(w.ComPort->Tag, sense);
        QCOMPARE(portChoice, QList<bool>({sense >= 0, sense >= 0}));
    }

    // Whatever was stored, the window opens wholly on the screen, no larger than it.
    void restoredBoundsFitTheScreen_data() {
        QTest::addColumn<QList<int>>("stored"); // Left, Top, Width, Height
        QTest::addColumn<QRect>("expected");    // outer bounds; null: the system places it
        const QRect a = QGuiApplication::primaryScreen()->availableGeometry();
        QTest::newRow("huge size") << QList<int>{10, 20, 100000, 100000} << a;
        QTest::newRow("size from a bigger monitor")
            << QList<int>{a.left(), a.top(), a.width() + 1280, a.height() + 416} << a;
        QTest::newRow("near the lower right corner")
            << QList<int>{a.right() - 30, a.bottom() - 20, 750, 549}
            << QRect(a.right() + 1 - 750, a.bottom() + 1 - 549, 750, 549);
        QTest::newRow("partly above and left") << QList<int>{a.left() - 100, a.top() - 10, 750, 549}
                                               << QRect(a.left(), a.top(), 750, 549);
        QTest::newRow("too wide, right of the screen")
            << QList<int>{a.right() - 100, a.top() + 5, a.width() * 3, 549}
            << QRect(a.left(), a.top() + 5, a.width(), 549);
        QTest::newRow("extreme numbers")
            << QList<int>{INT_MAX, INT_MIN, INT_MAX, INT_MIN} << QRect();
    }
    void restoredBoundsFitTheScreen() {
        QFETCH(QList<int>, stored);
        QFETCH(QRect, expected);
        const QRect a = QGuiApplication::primaryScreen()->availableGeometry();
        QVariantMap v = Full();
        v.insert("Left", stored[0]);
        v.insert("Top", stored[1]);
        v.insert("Width", stored[2]);
        v.insert("Height", stored[3]);
        Store(v);
        {
            TFormMain w(Run);
            const QSize frame(750 - TFormMain::DesignClientWidth, TFormMain::FrameExtraHeight);
            const QRect outer(w.pos(), w.size() + frame);
            if (expected.isNull()) { // no larger than the screen
                QVERIFY(outer.width() <= a.width());
                QVERIFY(outer.height() <= a.height());
                return;
            }
            QCOMPARE(outer, expected);
        }
        const QSettings file(StoreFile(), QSettings::IniFormat); // written back fitted
        QCOMPARE(file.value("Width").toInt(), expected.width());
        QCOMPARE(file.value("Height").toInt(), expected.height());
    }

    // A store that cannot be written is told once, with its place; the program goes on.
    void unwritableStoreIsToldOnce_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("messages");
        QTest::newRow("store is a folder") << "folder" << 1;
        QTest::newRow("store's folder is a file") << "file" << 1;
        QTest::newRow("writable store") << "writable" << 0;
    }
    void unwritableStoreIsToldOnce() {
        QFETCH(QString, kind);
        QFETCH(int, messages);
        QString place = StoreFile();
        if (kind == QLatin1String("folder")) QVERIFY(QDir().mkpath(StoreFile()));
        if (kind == QLatin1String("file")) {
            QFile blocker(FDir.filePath(QStringLiteral("blocker")));
            QVERIFY(blocker.open(QIODevice::WriteOnly));
            TSettingsStore::UseFolder(blocker.fileName());
            place = blocker.fileName();
        }
        QStringList shown;
        const auto show = TFormMain::ShowMessage;
        TFormMain::ShowMessage = [&shown](const QString& m) { shown << m; };
        {
            TFormMain w(Run);
            w.show();
            QTest::qWait(50);
            QCoreApplication::processEvents();
        }
        QCoreApplication::processEvents();
        TFormMain::ShowMessage = show;
        QDir(StoreFile()).removeRecursively();
        QCOMPARE(shown.size(), messages);
        if (messages) {
            QVERIFY2(shown[0].contains(QDir::toNativeSeparators(place)), qPrintable(shown[0]));
            QVERIFY(shown[0].contains(QStringLiteral("Einstellungen")));
        }
    }

    void configuredPortOpensSilently_data() {
        QTest::addColumn<bool>("present");
        QTest::newRow("present") << true;
        QTest::newRow("absent") << false;
    }
    void configuredPortOpensSilently() {
        QFETCH(bool, present);
        std::shared_ptr<TSimComLine> line;
        if (present) line = TSimComBus::Attach(3);
        QVariantMap v = Full();
        v.insert("Port", 3);
        Store(v);
        {
            TFormMain w(Run);
            QCOMPARE(w.ComPort->Connected(), present);
            QCOMPARE(w.LedLock->isVisibleTo(&w), present);
            QCOMPARE(int(w.ComPort->Port), 3);
            QCOMPARE(AvailablePorts, present ? (1u << 2 | 3u << 16) : 0u);
        }
        if (line) QVERIFY(!line->IsOpen()); // closed at shutdown
        QCOMPARE(QSettings(StoreFile(), QSettings::IniFormat).value("Port").toInt(), 3);
    }

    void shutdownWritesTheCurrentValues() {
        TSimComBus::Attach(2);
        {
            TFormMain w(Run);
            w.show();
            w.move(40, 70);
            w.resize(745, 560); // fits the offscreen screen with the design's frame
            w.RunSettings.Cars = 1;
            w.RunSettings.Laps = 3;
            w.ArrangeForCars();
            w.TimerGesperrtStart->setInterval(2500);
            w.eTitle->setText(QStringLiteral("Großer Preis"));
            w.ComPort->Port = 2;
            w.ComPort->Tag = 1;
            w.ComPort->Open();
        }
        const QSettings file(StoreFile(), QSettings::IniFormat);
        const QVariantMap want{{"Left", 40},
                               {"Top", 70},
                               {"Width", 753},
                               {"Height", 594},
                               {"Port", 2},
                               {"Alg", 1},
                               {"Cars", 1},
                               {"Laps", 3},
                               {"WaitStart", 2500},
                               {"Acc", 2},
                               {"Sound", 1},
                               {"FilterInd", 1},
                               {"Title", "Großer Preis"}};
        for (auto it = want.cbegin(); it != want.cend(); ++it)
            QCOMPARE(file.value(it.key()).toString(), it.value().toString());

        Run.Cars = 2;
        Run.Laps = 2;
        TFormMain next(Run); // starts where the last one ended
        QCOMPARE(next.pos(), QPoint(40, 70));
        QCOMPARE(next.size(), QSize(745, 560));
        QCOMPARE(next.RunSettings.Laps, 3);
        QVERIFY(next.ComPort->Connected());
    }

    void unwritableStoreStillClosesAndSaves() {
        QFile blocker(FDir.filePath(QStringLiteral("blocker")));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        TSettingsStore::UseFolder(blocker.fileName()); // a file where the folder should be
        auto line = TSimComBus::Attach(2);
        QString backup;
        {
            TFormMain w(Run);
            w.ComPort->Port = 2;
            w.ComPort->Open();
            w.SortGrid1->SetCells(0, 1, QStringLiteral("12"));
            w.SortGrid1->SetCells(1, 1, QStringLiteral("Hans"));
            backup = w.BackupFileName();
        }
        QVERIFY(!line->IsOpen());
        QFile saved(backup);
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QVERIFY(saved.readAll().contains("Hans"));
    }

    void startSoundIsBounded_data() {
        QTest::addColumn<bool>("device");
        QTest::addColumn<int>("soundMs");
        QTest::addColumn<int>("atLeastMs");
        QTest::addColumn<int>("atMostMs");
        QTest::newRow("no sound device") << false << 20000 << 0 << 1500;
        QTest::newRow("short sound") << true << 400 << 350 << 2500;
        QTest::newRow("long sound is cut short")
            << true << 60000 << TStartSound::MaxWaitMs
            << TStartSound::MaxWaitMs + TStartSound::MarginMs + 2000;
    }
    void startSoundIsBounded() {
        QFETCH(bool, device);
        QFETCH(int, soundMs);
        QFETCH(int, atLeastMs);
        QFETCH(int, atMostMs);
        WriteWave(FDir.filePath(QStringLiteral("START.wav")), soundMs);
        TStartSound::HasOutput = [device] { return device; };
        QElapsedTimer t;
        t.start();
        TFormMain w(Run);
        const qint64 ms = t.elapsed();
        QVERIFY2(ms >= atLeastMs && ms <= atMostMs, qPrintable(QString::number(ms)));
    }

    // A fresh machine often knows only the C locale: the window stays German.
    void datesGermanWhateverTheLocale_data() {
        QTest::addColumn<QLocale>("system");
        QTest::newRow("C only") << QLocale::c();
        QTest::newRow("English") << QLocale(QLocale::English, QLocale::UnitedStates);
    }
    void datesGermanWhateverTheLocale() {
        QFETCH(QLocale, system);
        QLocale::setDefault(system);
        TFormMain w(Run);
        w.TimerDateTimer();
        const QString shown =
            w.PanelDate->findChild<QLabel*>(QStringLiteral("PanelDateCaption"))->text();
        QVERIFY2(QRegularExpression(QStringLiteral("^\\d\\d\\.\\d\\d\\.\\d\\d   \\d\\d:\\d\\d$"))
                     .match(shown)
                     .hasMatch(),
                 qPrintable(shown));
        QCOMPARE(QLocale().toString(1234.5, 'f', 2), QStringLiteral("1.234,50"));
    }

    void helpOpensOnItsContents_data() {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::newRow("F1") << int(Qt::Key_F1) << 0;
        QTest::newRow("Alt+I") << int(Qt::Key_I) << int(Qt::AltModifier);
        QTest::newRow("help button") << 0 << 0;
    }
    void helpOpensOnItsContents() {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        TFormMain w(Run);
        w.show();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        if (key)
            QTest::keyClick(&w, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        else
            w.bHelp->Click();
        QVERIFY(w.HelpViewer);
        QVERIFY(w.HelpViewer->isVisible());
        const QString text = w.HelpViewer->Browser->toPlainText();
        for (const char* part :
             {"Ein Veranstaltungstag", "Einen Lauf stoppen", "Lichtschranke", "LS-Totzeit",
              "Startliste öffnen"})
            QVERIFY2(text.contains(QString::fromUtf8(part)), part);
        QVERIFY(text.contains(ProgramTitle() + QStringLiteral(".vorher.txt")));
        QCOMPARE(w.HelpViewer->Browser->verticalScrollBar()->value(), 0);
        QVERIFY(!w.HelpFile.endsWith(ProgramTitle() + QStringLiteral(".html")));
    }

    // A logout, kill or Ctrl+C ends the program at once whatever is open: no question,
    // settings and backup written, the run in progress kept in the journal for the next start.
    void terminationEndsWithoutQuestion_data() {
        QTest::addColumn<QString>("open");
        QTest::addColumn<int>("signal");
        QTest::newRow("nothing open, SIGTERM") << "nothing" << SIGTERM;
        QTest::newRow("Beenden? question, SIGTERM") << "question" << SIGTERM;
        QTest::newRow("settings dialog, SIGHUP") << "settings" << SIGHUP;
        QTest::newRow("file dialog, SIGINT") << "file" << SIGINT;
        QTest::newRow("help window, SIGTERM") << "help" << SIGTERM;
        QTest::newRow("live window, SIGTERM") << "live" << SIGTERM;
        QTest::newRow("recovery question, SIGTERM") << "recovery" << SIGTERM;
    }
    void terminationEndsWithoutQuestion() {
        QFETCH(QString, open);
        QFETCH(int, signal);
        QTemporaryDir dir;
        QProcess child;
        child.setWorkingDirectory(dir.path());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("ZN_TERMINATION_CHILD"), open);
        env.insert(QStringLiteral("ZN_TERMINATION_DIR"), dir.path());
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("terminationChild")});
        QVERIFY(child.waitForStarted());
        QString out;
        for (int i = 0; i < 600 && !out.contains(QLatin1String("bereit")); ++i) {
            child.waitForReadyRead(100);
            out += QString::fromUtf8(child.readAllStandardOutput());
        }
        QVERIFY2(out.contains(QLatin1String("bereit")), qPrintable(out));
        ::kill(pid_t(child.processId()), signal);
        const bool ended = child.waitForFinished(10000);
        if (!ended) child.kill();
        out += QString::fromUtf8(child.readAll());
        QVERIFY2(ended, qPrintable(out));
        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
        QVERIFY2(child.exitCode() == 0, qPrintable(out));
        QVERIFY2(out.contains(QLatin1String("beendet")), qPrintable(out));
        const QSettings store(dir.filePath(ProgramTitle() + QStringLiteral(".conf")),
                              QSettings::IniFormat);
        QCOMPARE(store.value("Title").toString(), QStringLiteral("Abmeldung"));
        QFile backup(dir.filePath(ProgramTitle() + QStringLiteral(".txt")));
        QVERIFY(backup.open(QIODevice::ReadOnly));
        if (open != QLatin1String("recovery")) QVERIFY(backup.readAll().contains("Hans"));
        QVERIFY(Journal::ReadInterruptedRun(
                    dir.filePath(ProgramTitle() + QStringLiteral(".journal")), ProgramTitle())
                    .Found);
    }
    void terminationChild() {
        const QString open = qEnvironmentVariable("ZN_TERMINATION_CHILD");
        if (open.isEmpty()) QSKIP("runs only as the child of terminationEndsWithoutQuestion");
        QDir::setCurrent(qEnvironmentVariable("ZN_TERMINATION_DIR"));
        TSettingsStore::UseFolder(QDir::currentPath());
        TStartSound::HasOutput = [] { return false; };
        QuitOnTerminationRequest();
        if (open == QLatin1String("recovery")) {
            auto* abandoned = new TFormMain(Run); // never shut down, as after a crash
            abandoned->mStart->Click();
            abandoned->Recovery().FJournal.Flush();
            abandoned->FrameTimer1->Clock->stop();
        }
        TFormMain w(Run);
        w.eTitle->setText(QStringLiteral("Abmeldung"));
        w.FrameTimer1->hcbName->SetText(QStringLiteral("12 Hans Meier"));
        w.FrameTimer2->hcbName->SetText(QStringLiteral("7 Anna Berg"));
        w.show();
        if (open != QLatin1String("recovery")) {
            for (int i = 0; i < 6; ++i) // a whole two-car run: the protocol is modified
                for (TMenuItem* m : {w.mStart, w.mLAP, w.mStop})
                    if (m->Enabled()) {
                        m->Click();
                        break;
                    }
            QVERIFY(w.SortGrid1->Modified());
            w.mReset->Click();
            w.mStart->Click(); // the next run is under way
        }
        QTimer::singleShot(0, &w, [&w, open] {
            if (open == QLatin1String("question")) w.close();
            if (open == QLatin1String("settings")) w.bCFGClick(w.bCFG);
            if (open == QLatin1String("file")) w.sbLoadClick(w.sbLoad);
            if (open == QLatin1String("help")) w.bHelpClick(w.bHelp);
            if (open == QLatin1String("live")) w.mLive->Click();
            if (open == QLatin1String("recovery")) w.Recovery().Offer();
        });
        QTimer::singleShot(300, [] {
            // What is open by now stays open until the request comes.
            std::fputs(QApplication::activeModalWidget() ? "bereit modal\n" : "bereit\n", stdout);
            std::fflush(stdout);
        });
        QCoreApplication::exec();
        std::puts("beendet");
        std::fflush(stdout);
    }

    // Every key of the window is in the help's key table.
    void helpListsEveryKey_data() {
        QTest::addColumn<QString>("key");
        TFormMain w(Run);
        for (const QAction* a : w.actions()) {
            // "&Beenden" (Alt+B) has no action: closing goes through the window.
            if (a->shortcut().isEmpty() || a->objectName() == QLatin1String("Beenden1")) continue;
            const QString key = a->shortcut().toString(QKeySequence::PortableText);
            QTest::newRow(qPrintable(a->objectName() + QLatin1Char(' ') + key))
                << QString(key)
                       .replace(QLatin1String("Ctrl+"), QLatin1String("Strg+"))
                       .replace(QLatin1String("Shift+"), QLatin1String("Umschalt+"));
        }
    }
    void helpListsEveryKey() {
        QFETCH(QString, key);
        QFile f(QStringLiteral(":/help/hilfe.html"));
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QString html = QString::fromUtf8(f.readAll());
        const qsizetype from = html.indexOf(QLatin1String("id=\"tasten\""));
        const QString table = html.mid(from, html.indexOf(QLatin1String("</table>"), from) - from);
        QStringList keys;
        static const QRegularExpression firstCell(QStringLiteral("<tr><td>([^<]*)</td>"));
        for (const QRegularExpressionMatch& m : firstCell.globalMatch(table))
            keys << m.captured(1).split(QStringLiteral(", "));
        QVERIFY2(keys.contains(key), qPrintable(keys.join(QLatin1Char('|'))));
    }

    // File names in the built-in help follow the program title; other texts stay.
    void helpNamesFollowTheTitle_data() {
        QTest::addColumn<QString>("html");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("shown");
        QTest::newRow("backup") << "<code>Zeitnahme.vorher.txt</code>"
                                << "Rennen"
                                << "<code>Rennen.vorher.txt</code>";
        QTest::newRow("folder and store")
            << "in <code>~/.local/share/Zeitnahme/</code> "
               "und\n<code>~/.config/Zeitnahme.conf</code>"
            << "Rennen"
            << "in <code>~/.local/share/Rennen/</code> und\n<code>~/.config/Rennen.conf</code>";
        QTest::newRow("package name stays") << "<code>./Zeitnahme_1.6_amd64.deb</code>"
                                            << "Rennen"
                                            << "<code>./Zeitnahme_1.6_amd64.deb</code>";
        QTest::newRow("text outside names stays") << "„Zeitnahme“ im Menü"
                                                  << "Rennen"
                                                  << "„Zeitnahme“ im Menü";
        QTest::newRow("title escaped") << "<code>Zeitnahme.txt</code>"
                                       << "A&B"
                                       << "<code>A&amp;B.txt</code>";
    }
    void helpNamesFollowTheTitle() {
        QFETCH(QString, html);
        QFETCH(QString, title);
        QFETCH(QString, shown);
        QCOMPARE(THelpViewer::FollowTitle(html, title), shown);
    }

    // Runs this test program under another name: caption, store, help and backup follow it.
    void anotherProgramName() {
        QTemporaryDir dir(QCoreApplication::applicationDirPath() + QStringLiteral("/nameXXXXXX"));
        const QString copy = dir.filePath(QStringLiteral("Rennen"));
        QVERIFY(QFile::copy(QCoreApplication::applicationFilePath(), copy));
        QProcess child;
        child.setWorkingDirectory(dir.path());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.path());
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        child.setProcessEnvironment(env);
        child.start(copy, {QStringLiteral("underAnotherName")});
        QVERIFY(child.waitForFinished(60000));
        QVERIFY2(child.exitCode() == 0, child.readAllStandardOutput().constData());
        QVERIFY(QFile::exists(dir.filePath(QStringLiteral("Rennen.conf"))));
        QVERIFY(QFile::exists(dir.filePath(QStringLiteral("Rennen.txt"))));
    }
    void underAnotherName() {
        if (ProgramTitle() != QStringLiteral("Rennen")) QSKIP("runs only as Rennen");
        TSettingsStore::UsePlatform(); // $XDG_CONFIG_HOME/<title>.conf
        QDir::setCurrent(QCoreApplication::applicationDirPath());
        TFormMain w(Run);
        QCOMPARE(w.windowTitle(), QStringLiteral("Rennen v 1.6"));
        QVERIFY(w.HelpFile.endsWith(QStringLiteral("/Rennen-Hilfe.html")));
        QCOMPARE(QFileInfo(w.BackupFileName()).fileName(), QStringLiteral("Rennen.txt"));
        QVERIFY(QFileInfo(w.SaveDialog1->selectedFiles().value(0))
                    .fileName()
                    .startsWith(QStringLiteral("Rennen")));
        w.bHelpClick(w.bHelp);
        const QString help = w.HelpViewer->Browser->toPlainText();
        QVERIFY(help.contains(QStringLiteral("Rennen.vorher.txt")));
        QVERIFY(help.contains(QStringLiteral("Rennen.journal")));
        QVERIFY(!help.contains(QStringLiteral("Zeitnahme.txt")));
    }
};

QTEST_MAIN(TstStartup)
#include "tst_startup.moc"

