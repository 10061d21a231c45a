// The stored settings: reading order, the stop at the first gap, the limits, writing
// back, an unwritable store; and the length of a wave file.
#include "RecentFolders.h"
#include "Settings.h"
#include "WaveFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

namespace {

const QString Title = QStringLiteral("Rennen");

QVariantMap FullStore() {
    return {{"Port", 2},       {"Alg", 1},      {"Left", 40},     {"Top", 50},
            {"Width", 900},    {"Height", 700}, {"Sound", 0},     {"C1", 255},
            {"C2", 65280},     {"C3", 7},       {"FilterInd", 2}, {"WaitStart", 4500},
            {"AutoStart", 10}, {"Cars", 1},     {"Laps", 4},      {"Title", "Großer Preis"}};
}

QVariantMap AsMap(const TStoredSettings& s) {
    return {{"Port", s.Port},
            {"Alg", s.Alg},
            {"Left", s.Left},
            {"Top", s.Top},
            {"Width", s.Width},
            {"Height", s.Height},
            {"Sound", s.Sound ? 1 : 0},
            {"C1", s.C1},
            {"C2", s.C2},
            {"C3", s.C3},
            {"FilterInd", s.FilterInd},
            {"WaitStart", s.WaitStart},
            {"AutoStart", s.AutoStart},
            {"Cars", s.Cars},
            {"Laps", s.Laps},
            {"Title", s.Title}};
}

QByteArray Wave(quint32 byteRate, quint32 dataSize, qsizetype present, bool oddChunk = false) {
    QByteArray b("RIFF\0\0\0\0WAVEfmt ", 16);
    auto u32 = [&](quint32 v) {
        char c[4];
        qToLittleEndian(v, c);
        b.append(c, 4);
    };
    u32(16);
    b.append(QByteArray("\x01\x00\x01\x00", 4)); // PCM, mono
    u32(byteRate);                               // sample rate (unused here)
    u32(byteRate);
    b.append(QByteArray("\x01\x00\x08\x00", 4));
    if (oddChunk) {
        b.append("LIST");
        u32(3);
        b.append("abc\0", 4); // padded to an even size
    }
    b.append("data");
    u32(dataSize);
    b.append(QByteArray(present, '\x80'));
    return b;
}

} // namespace

class TstSettings : public QObject {
    Q_OBJECT
private:
    QTemporaryDir FDir;

private slots:
    void init() {
        QFile::remove(FDir.filePath(Title + QStringLiteral(".conf")));
        TSettingsStore::UseFolder(FDir.path());
    }
    void cleanupTestCase() { TSettingsStore::UsePlatform(); }

    void reading_data() {
        QTest::addColumn<QVariantMap>("stored"); // "-" removes a value of the full store
        QTest::addColumn<int>("count");
        QTest::addColumn<QVariantMap>("expected"); // differences to the defaults

        const QVariantMap full = FullStore();
        QVariantMap all = full;
        all.insert("Sound", 0);
        QTest::newRow("no store") << QVariantMap{{"*", "-"}} << 0 << QVariantMap{};
        QTest::newRow("every value") << QVariantMap{} << 16 << all;
        QVariantMap twoCars = all;
        twoCars.insert("Cars", 2);
        twoCars.insert("Laps", 2);
        QTest::newRow("2 cars with 4 laps run 2") << QVariantMap{{"Cars", 2}} << 16 << twoCars;
        QVariantMap keepWait = all;
        keepWait.insert("WaitStart", 3000);
        QTest::newRow("dead time 0") << QVariantMap{{"WaitStart", 0}} << 16 << keepWait;
        QTest::newRow("dead time negative") << QVariantMap{{"WaitStart", -200}} << 16 << keepWait;
        QVariantMap keepTitle = all;
        keepTitle.insert("Title", TStoredSettings().Title);
        QTest::newRow("empty title") << QVariantMap{{"Title", ""}} << 16 << keepTitle;
        QTest::newRow("port and sense, no left")
            << QVariantMap{{"Left", "-"}} << 2 << QVariantMap{{"Port", 2}, {"Alg", 1}};
        QTest::newRow("mistyped width stops the reading")
            << QVariantMap{{"Width", "breit"}} << 4
            << QVariantMap{{"Port", 2}, {"Alg", 1}, {"Left", 40}, {"Top", 50}};
        QVariantMap limited = all;
        limited.insert("Cars", 1);
        limited.insert("Laps", 2);
        QTest::newRow("cars 0 and laps 0 limited")
            << QVariantMap{{"Cars", 0}, {"Laps", 0}} << 16 << limited;
        limited.insert("Laps", 5);
        QTest::newRow("laps 9 limited") << QVariantMap{{"Laps", 9}} << 16 << limited;
        QVariantMap manyCars = all;
        manyCars.insert("Cars", 2);
        manyCars.insert("Laps", 2);
        QTest::newRow("cars 7 limited") << QVariantMap{{"Cars", 7}} << 16 << manyCars;
    }
    void reading() {
        QFETCH(QVariantMap, stored);
        QFETCH(int, count);
        QFETCH(QVariantMap, expected);
        if (!stored.contains("*")) {
            QSettings file(FDir.filePath(Title + QStringLiteral(".conf")), QSettings::IniFormat);
            QVariantMap values = FullStore();
            for (auto it = stored.cbegin(); it != stored.cend(); ++it)
                if (it.value() == QStringLiteral("-"))
                    values.remove(it.key());
                else
                    values.insert(it.key(), it.value());
            for (auto it = values.cbegin(); it != values.cend(); ++it)
                file.setValue(it.key(), it.value());
        }
        TStoredSettings s;
        QCOMPARE(TSettingsStore(Title).Read(s), count);
        QVariantMap want = AsMap(TStoredSettings());
        for (auto it = expected.cbegin(); it != expected.cend(); ++it)
            want.insert(it.key(), it.value());
        const QVariantMap got = AsMap(s);
        for (auto it = want.cbegin(); it != want.cend(); ++it)
            QCOMPARE(got.value(it.key()).toString(), it.value().toString());
        QCOMPARE(s.PositionRead, count >= 3);
    }

    void writtenValuesComeBack() {
        TStoredSettings s;
        s.Port = 5;
        s.Alg = -1;
        s.Left = -20; // a second monitor left of the first
        s.Width = 1000;
        s.C1 = int(0xFF00000F); // a system colour keeps its bits
        s.WaitStart = 2500;
        s.Cars = 1;
        s.Laps = 5;
        s.Title = QStringLiteral("Łukasz fährt");
        TSettingsStore store(Title);
        store.SetValue(QStringLiteral("WebPort"), 8080);
        QVERIFY(store.Write(s));

        TStoredSettings back;
        TSettingsStore again(Title);
        QCOMPARE(again.Read(back), 16);
        QCOMPARE(AsMap(back), AsMap(s));
        int acc = 0, webPort = 0;
        QVERIFY(again.ReadInt(QStringLiteral("Acc"), acc));
        QCOMPARE(acc, 2);
        QVERIFY(again.ReadInt(QStringLiteral("WebPort"), webPort));
        QCOMPARE(webPort, 8080);
    }

    void unwritableStoreReportsFailure() {
        QFile blocker(FDir.filePath(QStringLiteral("blocker")));
        QVERIFY(blocker.open(QIODevice::WriteOnly)); // a file where the folder should be
        blocker.close();
        TSettingsStore::UseFolder(blocker.fileName());
        TSettingsStore store(Title);
        QVERIFY(!store.Write(TStoredSettings()));
    }

    // Where a file dialog starts: never the program's folder, a clone or a build folder.
    void dialogFolders_data() {
        QTest::addColumn<QString>("chosen"); // relative to the test folder; "" none
        QTest::addColumn<bool>("removeIt");
        QTest::addColumn<bool>("restart"); // a new store, as at the next program start
        QTest::addColumn<QString>("expected"); // relative; "DOCS" the documents folder
        QTest::newRow("nothing chosen yet") << "" << false << false << "DOCS";
        QTest::newRow("the folder of the last file") << "listen/nennung.csv" << false << false << "listen";
        QTest::newRow("kept for the next start") << "listen/nennung.csv" << false << true << "listen";
        QTest::newRow("a stick taken out since") << "stick/x.txt" << true << true << "DOCS";
    }
    void dialogFolders() {
        QFETCH(QString, chosen);
        QFETCH(bool, removeIt);
        QFETCH(bool, restart);
        QFETCH(QString, expected);
        QStandardPaths::setTestModeEnabled(true);
        const QString docs = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
        {
            TSettingsStore store(Title);
            RecentFolders::Attach(&store);
            if (!chosen.isEmpty()) {
                QDir(FDir.path()).mkpath(QFileInfo(chosen).path());
                RecentFolders::Remember(RecentFolders::Standings, FDir.filePath(chosen));
            }
            QVERIFY(store.Sync());
            RecentFolders::Detach(&store);
        }
        if (removeIt) QDir(FDir.filePath(QFileInfo(chosen).path())).removeRecursively();
        TSettingsStore store(Title);
        if (restart) RecentFolders::Attach(&store);
        const QString want = expected == QLatin1String("DOCS") ? docs : FDir.filePath(expected);
        QCOMPARE(QFileInfo(RecentFolders::Folder(RecentFolders::Standings)).absoluteFilePath(),
                 QFileInfo(want).absoluteFilePath());
        QVERIFY(QFileInfo(RecentFolders::Folder(RecentFolders::Runs)).isDir()); // made when missing
        RecentFolders::Detach(&store);
    }

    void waveLength_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<qint64>("fileSize");
        QTest::addColumn<int>("ms");
        QTest::newRow("1 s") << Wave(8000, 8000, 8000) << qint64(-1) << 1000;
        QTest::newRow("header only, size from the file")
            << Wave(44100 * 4, 44100 * 2, 0) << qint64(44 + 44100 * 2) << 500;
        QTest::newRow("data shorter than claimed") << Wave(1000, 100000, 250) << qint64(-1) << 250;
        QTest::newRow("odd chunk before the data")
            << Wave(1000, 500, 500, true) << qint64(-1) << 500;
        QTest::newRow("no byte rate") << Wave(0, 500, 500) << qint64(-1) << -1;
        QTest::newRow("not a wave") << QByteArray("ID3\x04 mp3 bytes") << qint64(-1) << -1;
        QTest::newRow("cut header") << Wave(8000, 8000, 0).left(30) << qint64(-1) << -1;
    }
    void waveLength() {
        QFETCH(QByteArray, bytes);
        QFETCH(qint64, fileSize);
        QFETCH(int, ms);
        QCOMPARE(WaveDurationMs(bytes, fileSize), ms);
    }
};

QTEST_GUILESS_MAIN(TstSettings)
#include "tst_settings.moc"
