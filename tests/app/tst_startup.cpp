// Start-up and shutdown of the main window against a temporary settings store:
// stored values, the port opened at start-up, values written at shutdown, an
// unwritable store, the bounded start-up sound, another program name, the help.
#include "FMain.h"
#include "HelpViewer.h"
#include "SimComDevice.h"
#include "StartSound.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QScrollBar>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QtEndian>

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
        Cars = 2;
        Laps = 2;
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
        v.insert("Width", 900);
        v.insert("Height", 100);
        QTest::newRow("cars and laps 0, height below the minimum")
            << v << 2 << 3000 << "Lauf" << QSize(892, 194 + 136 - 34) << 2;
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
        TFormMain w;
        QCOMPARE(Laps, laps);
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
        TFormMain w;
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
        TFormMain::OpenDocument = [](const QString&) {};
        const QString typed = FDir.filePath(QStringLiteral("bericht"));
        TFormMain::ExecFileDialog = [typed](QFileDialog* d) {
            d->selectFile(typed);
            return true;
        };
        TFormMain w;
        w.sbSaveClick(w.sbSave);
        TFormMain::ExecFileDialog = nullptr;
        QVERIFY(QFile::exists(typed + QLatin1Char('.') + extension));
        QVERIFY(!QFile::exists(typed + QStringLiteral(".txt")));
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
            TFormMain w;
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
            TFormMain w;
            w.show();
            w.move(60, 70);
            w.resize(800, 560);
            Cars = 1;
            Laps = 3;
            w.ArrangeForCars();
            w.TimerGesperrtStart->setInterval(2500);
            w.eTitle->setText(QStringLiteral("Großer Preis"));
            w.ComPort->Port = 2;
            w.ComPort->Tag = 1;
            w.ComPort->Open();
        }
        const QSettings file(StoreFile(), QSettings::IniFormat);
        const QVariantMap want{{"Left", 60},
                               {"Top", 70},
                               {"Width", 808},
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

        Cars = 2;
        Laps = 2;
        TFormMain next; // starts where the last one ended
        QCOMPARE(next.pos(), QPoint(60, 70));
        QCOMPARE(next.size(), QSize(800, 560));
        QCOMPARE(Laps, 3);
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
            TFormMain w;
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
        TFormMain w;
        const qint64 ms = t.elapsed();
        QVERIFY2(ms >= atLeastMs && ms <= atMostMs, qPrintable(QString::number(ms)));
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
        TFormMain w;
        w.show();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        if (key)
            QTest::keyClick(&w, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        else
            w.bHelp->Click();
        QVERIFY(w.HelpViewer);
        QVERIFY(w.HelpViewer->isVisible());
        const QString text = w.HelpViewer->Browser->toPlainText();
        for (const char* part : {"Einen Lauf stoppen", "Lichtschranke", "LS-Totzeit",
                                 "Startliste öffnen", "Zeitnahme.vorher.txt"})
            QVERIFY2(text.contains(QString::fromUtf8(part)), part);
        QCOMPARE(w.HelpViewer->Browser->verticalScrollBar()->value(), 0);
        QVERIFY(!w.HelpFile.endsWith(ProgramTitle() + QStringLiteral(".html")));
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
        TFormMain w;
        QCOMPARE(w.windowTitle(), QStringLiteral("Rennen v 1.6"));
        QVERIFY(w.HelpFile.endsWith(QStringLiteral("/Rennen-Hilfe.html")));
        QCOMPARE(QFileInfo(w.BackupFileName()).fileName(), QStringLiteral("Rennen.txt"));
        QVERIFY(QFileInfo(w.SaveDialog1->selectedFiles().value(0))
                    .fileName()
                    .startsWith(QStringLiteral("Rennen")));
    }
};

QTEST_MAIN(TstStartup)
#include "tst_startup.moc"
