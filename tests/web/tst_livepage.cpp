// The live page in a real browser: headless Chromium loads it from the server
// during a two-car run, renders its script's view and takes screenshots at
// phone and desktop widths.
#include "FMain.h"
#include "LiveResults.h"
#include "HttpClient.h"
#include "TickSource.h"
#include "WaitUntil.h"

#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

class TstLivePage : public QObject {
    Q_OBJECT
    QTemporaryDir FConfig, FProfile, FScratch;
    QString FShotDir; // the screenshots go to the folder the test was started in
    QString FChromium;
    quint16 FPort = 0;
    std::unique_ptr<TFormMain> FWindow;

    // Runs the browser on the page; its output (the rendered page with --dump-dom).
    QByteArray Chromium(const QStringList& extra) {
        QProcess p;
        QStringList args{QStringLiteral("--headless"),
                         QStringLiteral("--no-sandbox"),
                         QStringLiteral("--disable-gpu"),
                         QStringLiteral("--disable-dev-shm-usage"),
                         QStringLiteral("--no-first-run"),
                         QStringLiteral("--no-default-browser-check"),
                         QStringLiteral("--disable-background-networking"),
                         QStringLiteral("--disable-component-update"),
                         QStringLiteral("--disable-sync"),
                         QStringLiteral("--disable-extensions"),
                         QStringLiteral("--hide-scrollbars"),
                         QStringLiteral("--user-data-dir=") + FProfile.path()};
        args << extra << QStringLiteral("http://127.0.0.1:%1/").arg(FPort);
        p.start(FChromium, args);
        if (!p.waitForFinished(60000)) {
            p.kill();
            p.waitForFinished();
        }
        return p.readAllStandardOutput();
    }

    void Shot(const QString& file, int width, int height) {
        QFile::remove(file);
        Chromium({QStringLiteral("--window-size=%1,%2").arg(width).arg(height),
                  QStringLiteral("--screenshot=") + file});
        const QImage img(file);
        QCOMPARE(img.size(), QSize(width, height));
        QSet<QRgb> colours;
        for (int y = 0; y < img.height(); y += 4)
            for (int x = 0; x < img.width(); x += 4)
                colours.insert(img.pixel(x, y));
        QVERIFY2(colours.size() > 20, "the page looks empty");
    }

private slots:
    void initTestCase() {
        qputenv("XDG_CONFIG_HOME", FConfig.path().toLocal8Bit());
        FShotDir = QDir::currentPath();
        QDir::setCurrent(FScratch.path()); // the window's backup file lands there
        TLiveResults::BindAddress = QStringLiteral("127.0.0.1");
        FChromium = QStandardPaths::findExecutable(QStringLiteral("chromium"));
        QVERIFY2(!FChromium.isEmpty(), "chromium is missing: scripts/install-deps.sh installs it");

        // One finished and ranked run, then a second run with both cars on the track.
        TickSource::SetManual(1000);
        Cars = 2;
        Laps = 2;
        FWindow = std::make_unique<TFormMain>();
        TFormMain& w = *FWindow;
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        FPort = probe.serverPort();
        probe.close();
        QVERIFY(w.Live()->Switch(true, FPort));
        const auto event = [&](TMenuItem* item, int afterMs) {
            TickSource::Advance(afterMs);
            item->Click();
        };
        const auto run = [&](const char* car1, const char* car2, int a, int b, int c, int d) {
            w.FrameTimer1->hcbName->SetText(QString::fromUtf8(car1));
            w.FrameTimer2->hcbName->SetText(QString::fromUtf8(car2));
            event(w.mStart, 0);
            event(w.mLAP, a);
            event(w.mStart, 700);
            event(w.mStop, b);
            event(w.mLAP, c);
            event(w.mStop, d);
        };
        run("7 Lena Vogt", "12 Max Huber", 58312, 57045, 59980, 58770);
        w.mResetClick(nullptr);
        run("31 Jörg Weiß", "5 Sophie Krämer", 61004, 59871, 58123, 60432);
        w.Sortierenprotokoll1Click(nullptr);
        w.mResetClick(nullptr);
        w.eNR->setText(QStringLiteral("3"));
        w.FrameTimer1->hcbName->SetText(QStringLiteral("3 Tom Berger"));
        w.FrameTimer2->hcbName->SetText(QStringLiteral("21 Jana Lehmann"));
        event(w.mStart, 0);
        event(w.mLAP, 57466);
        event(w.mStart, 700);
        TickSource::Advance(12000);
        QVERIFY(WaitUntil(
            [&] { return HttpClient::Get(FPort, "/api/state").count("\"lapStart\"") == 2; }));
    }
    void cleanupTestCase() {
        FWindow.reset();
        TickSource::UseSystem();
    }

    void rendersRunAndProtocol() {
        const QString dom = QString::fromUtf8(Chromium({QStringLiteral("--dump-dom")}));
        QVERIFY2(dom.contains(QStringLiteral("Porsche Cup Trainingslauf in Hockenheim")),
                 qPrintable(dom));
        QVERIFY(dom.contains(QStringLiteral("Lauf 3")));
        QVERIFY(dom.contains(QStringLiteral("auf der Strecke")));
        QVERIFY(dom.contains(QStringLiteral("57,46"))); // Tom Berger's first lap
        QVERIFY(dom.contains(QStringLiteral("Jörg Weiß")));
        // The running clock is computed in the page from the start time.
        QVERIFY(dom.contains(
            QRegularExpression(QStringLiteral("class=\"clock\">1\\.[01]\\d,\\d\\d<"))));
        // Ranked: the "Platz" column comes first.
        QVERIFY(dom.contains(QStringLiteral("<th>Platz</th>")));
    }

    void shots() {
        Shot(FShotDir + QStringLiteral("/live-phone.png"), 390, 844);
        Shot(FShotDir + QStringLiteral("/live-desktop.png"), 1280, 800);
    }

    // Names are shown as text: markup in a name never becomes part of the page.
    void markupStaysText() {
        FWindow->FrameTimer2->hcbName->SetText(
            QStringLiteral("<img src=x onerror=document.title='hacked'>"));
        QVERIFY(
            WaitUntil([&] { return HttpClient::Get(FPort, "/api/state").contains("onerror"); }));
        const QString dom = QString::fromUtf8(Chromium({QStringLiteral("--dump-dom")}));
        QVERIFY(dom.contains(QStringLiteral("&lt;img src=x onerror=")));
        QVERIFY(!dom.contains(QStringLiteral("<img")));
        QVERIFY(!dom.contains(QStringLiteral("hacked</title>")));
    }
};

QTEST_MAIN(TstLivePage)
#include "tst_livepage.moc"
