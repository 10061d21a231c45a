// The live page in a real browser: headless Chromium loads it from the server
// during a two-car run, renders its script's view and takes screenshots at
// phone and desktop widths.
#include "FMain.h"
#include "TrackCorrections.h"
#include "LiveResults.h"
#include "HttpClient.h"
#include "LiveState.h"
#include "TickSource.h"
#include "WaitUntil.h"

#include <QDir>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

// A page that holds the live page in a frame as wide as a phone (the browser's own
// window is never narrower than 500 px) and reports what it made of the protocol:
// the width, whether the scroll hint shows, scroll and client width, the columns shown.
static QByteArray InPhoneFrame(QByteArray page) {
    page.replace("&", "&amp;").replace("\"", "&quot;");
    return "<!DOCTYPE html><html><body style=\"margin:0\">"
           "<iframe id=\"f\" style=\"width:390px;height:844px;border:0\" srcdoc=\"" + page + "\"></iframe>"
           "<script>document.getElementById('f').onload = function () {"
           " var d = this.contentDocument, h = d.querySelector('h2 + .scrollhint'), w = h.nextElementSibling;"
           " var shown = Array.prototype.filter.call(d.querySelectorAll('#protocol th'),"
           "   function (t) { return t.offsetWidth > 0; }).length;"
           " var pre = document.createElement('pre'); pre.id = 'measured';"
           " pre.textContent = this.contentWindow.innerWidth + ' ' + (h.hidden ? 'fits' : 'hint') + ' ' +"
           "   w.scrollWidth + '/' + w.clientWidth + ' ' + shown;"
           " document.body.appendChild(pre); };</script></body></html>";
}

class TstLivePage : public QObject {
    Q_OBJECT
    QTemporaryDir FConfig, FProfile, FScratch;
    QString FShotDir; // the screenshots go to the folder the test was started in
    QString FChromium;
    quint16 FPort = 0;
    std::unique_ptr<TFormMain> FWindow;

    // Runs the browser on the page; its output (the rendered page with --dump-dom).
    QByteArray Chromium(const QStringList& extra, const QString& url = {}) {
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
        args << extra << (url.isEmpty() ? QStringLiteral("http://127.0.0.1:%1/").arg(FPort) : url);
        p.start(FChromium, args);
        if (!p.waitForFinished(60000)) {
            p.kill();
            p.waitForFinished();
        }
        return p.readAllStandardOutput();
    }

    void Shot(const QString& file, int width, int height, bool dark) {
        QFile::remove(file);
        Chromium({QStringLiteral("--window-size=%1,%2").arg(width).arg(height), Scheme(dark),
                  QStringLiteral("--screenshot=") + file});
        const QImage img(file);
        QCOMPARE(img.size(), QSize(width, height));
        QSet<QRgb> colours;
        for (int y = 0; y < img.height(); y += 4)
            for (int x = 0; x < img.width(); x += 4)
                colours.insert(img.pixel(x, y));
        QVERIFY2(colours.size() > 20, "the page looks empty");
    }

    // The phone's light or dark setting, as prefers-color-scheme tells the page.
    static QString Scheme(bool dark) {
        return QStringLiteral("--blink-settings=preferredColorScheme=%1").arg(dark ? 0 : 1);
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
        FWindow = std::make_unique<TFormMain>(); // two cars, two laps: a fresh window's own
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

    // On a 390-px phone the protocol of two laps fits: the best lap, which another
    // column holds, is left out, the start number goes in front of the name; a
    // table that still does not fit says that it scrolls.
    void phoneProtocolFits() {
        QFile resource(QStringLiteral(":/web/live.html"));
        QVERIFY(resource.open(QIODevice::ReadOnly));
        QByteArray page = resource.readAll();
        page.replace("@LIVE_STATE@", EscapeJsonForHtml(QJsonDocument::fromJson(HttpClient::Get(FPort, "/api/state"))
                                                           .toJson(QJsonDocument::Compact)));
        page = InPhoneFrame(page);
        const QString file = FScratch.filePath(QStringLiteral("phone.html"));
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(page);
        f.close();
        const QString dom = QString::fromUtf8(Chromium(
            {QStringLiteral("--dump-dom"), QStringLiteral("--window-size=500,900")}, QUrl::fromLocalFile(file).toString()));
        const QRegularExpressionMatch m =
            QRegularExpression(QStringLiteral("<pre id=\"measured\">(\\d+) (\\w+) ([\\d/]+) (\\d+)</pre>")).match(dom);
        QVERIFY2(m.hasMatch(), qPrintable(dom.right(2000)));
        QCOMPARE(m.captured(1), QStringLiteral("390"));
        QVERIFY2(m.captured(2) == QLatin1String("fits"), qPrintable(m.captured(0)));
        QCOMPARE(m.captured(4), QStringLiteral("5")); // Platz, Name, two laps, Gesamtzeit
    }

    void shots() {
        Shot(FShotDir + QStringLiteral("/live-phone.png"), 390, 844, true);
        Shot(FShotDir + QStringLiteral("/live-phone-light.png"), 390, 844, false);
        Shot(FShotDir + QStringLiteral("/live-desktop.png"), 1280, 800, true);
    }

    // At the track: every text at least 16 px and at least 4.5:1 against its background,
    // in both schemes, for every kind of card, lap line, table cell and connection state.
    void readability_data() {
        QTest::addColumn<bool>("dark");
        QTest::addColumn<int>("width");
        QTest::newRow("dark phone") << true << 390;
        QTest::newRow("light phone") << false << 390;
        QTest::newRow("dark desktop") << true << 1280;
        QTest::newRow("light desktop") << false << 1280;
    }
    void readability() {
        QFETCH(bool, dark);
        QFETCH(int, width);
        // The page as served, with every state a card can be in, and a script that
        // measures what the browser made of it.
        QJsonObject state = QJsonDocument::fromJson(HttpClient::Get(FPort, "/api/state")).object();
        QJsonArray cars = state[QStringLiteral("current")].toArray();
        QVERIFY(cars.size() == 2);
        QJsonObject dnf = cars[0].toObject(), ready = dnf, finished = dnf;
        dnf[QStringLiteral("state")] = QStringLiteral("dnf");
        ready[QStringLiteral("state")] = QStringLiteral("ready");
        ready[QStringLiteral("laps")] = QJsonArray();
        finished[QStringLiteral("state")] = QStringLiteral("finished");
        finished[QStringLiteral("laps")] =
            QJsonArray{QJsonObject{{QStringLiteral("ms"), 58310},
                                   {QStringLiteral("text"), QStringLiteral("58,31")}},
                       QJsonObject{{QStringLiteral("ms"), 57740},
                                   {QStringLiteral("text"), QStringLiteral("57,74")}}};
        finished[QStringLiteral("total")] = QJsonObject{
            {QStringLiteral("ms"), 116050}, {QStringLiteral("text"), QStringLiteral("1.56,05")}};
        cars << dnf << ready << finished;
        state[QStringLiteral("current")] = cars;
        QFile resource(QStringLiteral(":/web/live.html"));
        QVERIFY(resource.open(QIODevice::ReadOnly));
        QByteArray page = resource.readAll();
        page.replace("@LIVE_STATE@",
                     EscapeJsonForHtml(QJsonDocument(state).toJson(QJsonDocument::Compact)));
        page.replace("</body>", R"(<script>
(function () {
  var conn = document.getElementById("conn");
  ["ok", "bad"].forEach(function (k) {
    var x = conn.cloneNode(true); x.id = ""; x.className = "conn " + k; x.textContent = k;
    conn.parentNode.appendChild(x);
  });
  function rgba(c) { return (c.match(/[\d.]+/g) || []).map(Number); }
  function lum(c) {
    var v = c.slice(0, 3).map(function (x) {
      x /= 255; return x <= 0.03928 ? x / 12.92 : Math.pow((x + 0.055) / 1.055, 2.4);
    });
    return 0.2126 * v[0] + 0.7152 * v[1] + 0.0722 * v[2];
  }
  function background(e) {
    for (; e; e = e.parentElement) {
      var c = rgba(getComputedStyle(e).backgroundColor);
      if (c.length < 4 || c[3] > 0) return c;
    }
    return [255, 255, 255];
  }
  var out = [];
  document.querySelectorAll("body *").forEach(function (e) {
    var text = Array.prototype.some.call(e.childNodes, function (n) {
      return n.nodeType === 3 && n.textContent.trim() !== "";
    });
    if (!text || e.tagName === "SCRIPT" || !e.getClientRects().length) return;
    var st = getComputedStyle(e), a = lum(rgba(st.color)), b = lum(background(e));
    out.push(e.tagName.toLowerCase() + "." + e.className + " '" + e.textContent.trim().slice(0, 16) +
             "' " + parseFloat(st.fontSize).toFixed(1) + " " +
             ((Math.max(a, b) + 0.05) / (Math.min(a, b) + 0.05)).toFixed(2));
  });
  var pre = document.createElement("pre"); pre.id = "measured"; pre.textContent = out.join("\n");
  document.body.appendChild(pre);
})();
</script></body>)");
        const QString file = FScratch.filePath(QStringLiteral("measure.html"));
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(page);
        f.close();
        const QString dom =
            QString::fromUtf8(Chromium({QStringLiteral("--dump-dom"), Scheme(dark),
                                        QStringLiteral("--window-size=%1,800").arg(width)},
                                       QUrl::fromLocalFile(file).toString()));
        const int at = dom.indexOf(QStringLiteral("<pre id=\"measured\">"));
        QVERIFY2(at >= 0, qPrintable(dom.right(2000)));
        const QStringList lines =
            dom.mid(at, dom.indexOf(QStringLiteral("</pre>"), at) - at).split(QLatin1Char('\n'));
        QVERIFY(lines.size() > 40);
        for (const QString& kind : {QStringLiteral("DNF"), QStringLiteral("bereit"),
                                    QStringLiteral("im Ziel"), QStringLiteral("Platz")})
            QVERIFY2(dom.contains(kind), qPrintable(kind));
        QStringList bad;
        for (const QString& line : lines) {
            const QStringList parts = line.split(QLatin1Char(' '));
            if (parts.size() < 3) continue;
            const double px = parts[parts.size() - 2].toDouble();
            const double contrast = parts.last().toDouble();
            if (px < 16 || contrast < 4.5) bad << line;
        }
        QVERIFY2(bad.isEmpty(), qPrintable(bad.join(QLatin1Char('\n'))));
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

    // A car that dropped out is "DNF" on its card, not a clock that is "bereit" at 0,00.
    void dropOutShownAsDnf() {
        FWindow->Corrections().mDNF2Click(nullptr);
        QVERIFY(WaitUntil(
            [&] { return HttpClient::Get(FPort, "/api/state").contains("\"state\":\"dnf\""); }));
        const QString dom = QString::fromUtf8(Chromium({QStringLiteral("--dump-dom")}));
        QVERIFY2(dom.contains(QStringLiteral("<div class=\"clock\">DNF</div>")), qPrintable(dom));
        QVERIFY(dom.contains(QStringLiteral("ausgefallen")));
        QVERIFY(!dom.contains(QStringLiteral(">bereit<")));
    }
};

QTEST_MAIN(TstLivePage)
#include "tst_livepage.moc"
