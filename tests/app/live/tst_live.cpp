#include "EventsFeature.h"
#include "ProgramInfo.h"
#include "FLive.h"
#include "FMain.h"
#include "FrTimer.h"
#include "LiveResults.h"
#include "HttpClient.h"
#include "Settings.h"
#include "StandingsFeature.h"
#include "TickSource.h"
#include "WaitUntil.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <vector>

// What the next window starts from, as a program start would find it.
static TRunSettings Run;

namespace {

quint16 FreePort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

QJsonObject State(quint16 port) {
    return QJsonDocument::fromJson(HttpClient::Get(port, "/api/state")).object();
}

QVariant Stored(const char* name) {
    return TSettingsStore(ProgramTitle()).Value(QLatin1String(name));
}

// A value by a dotted path of keys and indexes, "protocol.rows.0.cells.1".
QJsonValue P(const QJsonValue& root, const char* path) {
    QJsonValue v = root;
    for (const QString& k : QString::fromLatin1(path).split(QLatin1Char('.'))) {
        bool isIndex = false;
        const int i = k.toInt(&isIndex);
        v = isIndex ? v.toArray().at(i) : v.toObject().value(k);
    }
    return v;
}
QJsonValue P(const QJsonObject& root, const char* path) {
    return P(QJsonValue(root), path);
}

const QString Markup = QStringLiteral("12 <b>Max</b> & \"Co\" \\");

} // namespace

class TstLive : public QObject {
    Q_OBJECT
    QTemporaryDir FConfig;
    QStringList FMessages;

    // Car 1 starts at 1000 and laps after 61.234 s, car 2 starts.
    void HalfRun(TFormMain& w) {
        w.FrameTimer1->hcbName->SetText(Markup);
        w.FrameTimer2->hcbName->SetText(QStringLiteral("Anna"));
        QTest::keyClick(&w, Qt::Key_F5);
        TickSource::Advance(61234);
        QTest::keyClick(&w, Qt::Key_F4);
        TickSource::Advance(500);
        QTest::keyClick(&w, Qt::Key_F5);
    }
    // Car 1 finishes 30.009 s after its lap (total 1.31,23); car 2 laps at 40 s
    // and finishes 25.5 s later (total 1.05,50).
    void FinishRun(TFormMain& w) {
        TickSource::Advance(29509);
        QTest::keyClick(&w, Qt::Key_F9);
        TickSource::Advance(40000 - 29509);
        QTest::keyClick(&w, Qt::Key_F4);
        TickSource::Advance(25500);
        QTest::keyClick(&w, Qt::Key_F9);
    }
    quint16 SwitchOn(TFormMain& w) {
        const quint16 port = FreePort();
        if (!w.Live()->Switch(true, port)) return 0;
        return port;
    }

private slots:
    void initTestCase() {
        // A settings file of this test's own: no other test ever starts a server.
        TSettingsStore::UseFolder(FConfig.path());
        TLiveResults::BindAddress = QStringLiteral("127.0.0.1");
    }
    void init() {
        TickSource::SetManual(1000);
        Run.Cars = 2;
        Run.Laps = 2;
        FMessages.clear();
        TFormMain::ShowMessage = [this](const QString& m) { FMessages << m; };
    }
    void cleanup() {
        TickSource::UseSystem();
        QFile::remove(FConfig.filePath(ProgramTitle() + QStringLiteral(".conf")));
    }

    // The standings beside the run: in the page's state and alone at /api/standings,
    // following a correction at once.
    void standings_data() {
        QTest::addColumn<QString>("correction");
        QTest::addColumn<QString>("expected"); // rank name time penalty gap; ...
        QTest::newRow("as timed") << "" << "1 Anna 1.05,50  ; 2 " + Markup + " 1.31,23  +25,73";
        QTest::newRow("a missed gate") << "penalty"
                                       << "1 Anna 1.15,50 +10,00 ; 2 " + Markup + " 1.31,23  +15,73";
        // Marked and noted as on the printout.
        QTest::newRow("disqualified") << "dsq" << "1 " + Markup + " 1.31,23  ;  Anna DSQ¹   | ¹ DSQ Lauf 1: Frühstart";
    }
    void standings() {
        QFETCH(QString, correction);
        QFETCH(QString, expected);
        QTemporaryDir dir; // an event database of this test's own
        QDir::setCurrent(dir.path());
        TFormMain w;
        w.show();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        const quint16 port = SwitchOn(w);
        QVERIFY(port);
        HalfRun(w);
        FinishRun(w);
        w.Events->Store().Flush();
        TStandingsFeature* s = w.Standings;
        QVERIFY(WaitUntil([&] { return s->Rows().size() == 2; }));
        if (!correction.isEmpty()) {
            const TEffectiveRun* anna = nullptr;
            for (const TEffectiveRun& e : s->Runs())
                if (e.Run.Name == QLatin1String("Anna")) anna = &e;
            QVERIFY(anna);
            s->Record(correction == QLatin1String("dsq")
                          ? StatusCorrection(anna->Run, RunStatusDsq, QStringLiteral("Frühstart"))
                          : PenaltyCorrection(anna->Run, s->Settings.Catalogue[1], 1, QString()));
            w.Events->Store().Flush();
        }
        const auto table = [](const QJsonObject& standings) {
            QStringList rows;
            for (const QJsonValue& r : P(standings, "classes.0.rows").toArray())
                rows << QStringList{r["rank"].toString(), r["startNo"].toString().isEmpty()
                                                              ? r["name"].toString()
                                                              : r["startNo"].toString() + ' ' + r["name"].toString(),
                                    r["time"].toString() + r["marks"].toString(), r["penalty"].toString(),
                                    r["gap"].toString()}
                            .join(' ');
            QStringList notes;
            for (const QJsonValue& n : P(standings, "classes.0.notes").toArray())
                notes << n.toString();
            return rows.join(QStringLiteral("; ")) + (notes.isEmpty() ? QString() : " | " + notes.join(" | "));
        };
        QVERIFY(WaitUntil([&] { return table(P(State(port), "standings").toObject()) == expected; }));
        const QByteArray raw = HttpClient::Get(port, "/api/standings");
        const QJsonObject alone = QJsonDocument::fromJson(raw).object();
        QCOMPARE(table(alone), expected);
        QCOMPARE(alone["rule"].toString(), QStringLiteral("Letzter Lauf"));
        QCOMPARE(P(alone, "classes.0.name").toString(), QStringLiteral("Gesamt"));
        QVERIFY(alone["serverTime"].toDouble() > 0);
        QVERIFY(!raw.contains("<b>")); // markup never reaches a page unescaped
        QDir::setCurrent(QDir::tempPath());
    }

    void stateDuringAndAfterRun() {
        TFormMain w(Run);
        w.show();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        const quint16 port = SwitchOn(w);
        QVERIFY(port);
        HalfRun(w);
        QVERIFY(WaitUntil(
            [&] { return P(State(port), "current.1.state") == QStringLiteral("running"); }));
        const QByteArray raw = HttpClient::Get(port, "/api/state");
        QVERIFY(!raw.contains('<') && !raw.contains('>') && !raw.contains('&'));
        QJsonObject s = QJsonDocument::fromJson(raw).object();
        QCOMPARE(s["title"].toString(), w.eTitle->text());
        QJsonObject car1 = P(s, "current.0").toObject();
        QCOMPARE(car1["name"].toString(), Markup);
        QCOMPARE(car1["state"].toString(), QStringLiteral("running"));
        QCOMPARE(P(car1, "laps.0.text").toString(), QStringLiteral("1.01,23"));
        QCOMPARE(P(car1, "laps.0.ms").toInt(), 61234);
        // The page's clock: the server's time less the start is the time since START.
        const qint64 elapsed = qint64(s["serverTime"].toDouble() - car1["start"].toDouble());
        QVERIFY2(elapsed >= 61734 && elapsed < 61734 + 2000, QByteArray::number(elapsed));
        QCOMPARE(qint64(car1["lapStart"].toDouble() - car1["start"].toDouble()), 61234);
        QVERIFY(P(s, "protocol.rows").toArray().isEmpty());

        FinishRun(w);
        QVERIFY(WaitUntil([&] { return P(State(port), "protocol.rows").toArray().size() == 2; }));
        s = State(port);
        const QJsonArray columns = P(s, "protocol.columns").toArray();
        QCOMPARE(columns.size(), 6); // Laps 2: no "Runde 3" to "Runde 5", no rank
        const QJsonArray rows = P(s, "protocol.rows").toArray();
        for (int r = 0; r < 2; ++r)
            for (int c = 0; c < 6; ++c) {
                const int col = c < 4 ? c : c + 3; // columns 0..3, 7, 8 of the table
                QCOMPARE(P(rows[r], "cells").toArray()[c].toString(),
                         w.SortGrid1->Cells(col, r + 1));
            }
        QCOMPARE(P(rows[0], "cells.1").toString(), QStringLiteral("<b>Max</b> & \"Co\" \\"));
        QCOMPARE(P(rows[0], "cells.4").toString(), QStringLiteral("1.31,23"));
        car1 = P(s, "current.0").toObject();
        QCOMPARE(car1["state"].toString(), QStringLiteral("finished"));
        QCOMPARE(P(car1, "total.text").toString(), QStringLiteral("1.31,23"));
        QVERIFY(!car1.contains("start"));

        w.Sortierenprotokoll1Click(nullptr);
        QVERIFY(WaitUntil(
            [&] { return P(State(port), "protocol.rows.0.rank") == QStringLiteral("1"); }));
        QCOMPARE(P(State(port), "protocol.rows.0.cells.1").toString(), QStringLiteral("Anna"));
    }

    // From a key press to a page's receipt, through the event stream.
    void eventReachesPageWithin300ms() {
        TFormMain w(Run);
        w.show();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        const quint16 port = SwitchOn(w);
        QVERIFY(port);
        QTcpSocket page;
        page.connectToHost(QHostAddress::LocalHost, port);
        QVERIFY(page.waitForConnected(2000));
        page.write("GET /events HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
        QByteArray got;
        QVERIFY(WaitUntil([&] { return (got += page.readAll()).contains("\"state\":\"ready\""); }));
        got.clear();
        QElapsedTimer t;
        t.start();
        QTest::keyClick(&w, Qt::Key_F5);
        QVERIFY(
            WaitUntil([&] { return (got += page.readAll()).contains("\"state\":\"running\""); }));
        QVERIFY2(t.elapsed() < 300, QByteArray::number(t.elapsed()));
    }

    void attacksLeaveTimingUntouched_data() {
        QTest::addColumn<int>("attack");
        QTest::newRow("POST") << 0;
        QTest::newRow("huge headers") << 1;
        QTest::newRow("path traversal") << 2;
        QTest::newRow("200 connections") << 3;
        QTest::newRow("client never reads") << 4;
    }
    void attacksLeaveTimingUntouched() {
        QFETCH(int, attack);
        TFormMain w(Run);
        w.show();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        const quint16 port = SwitchOn(w);
        QVERIFY(port);
        HalfRun(w);
        std::vector<std::unique_ptr<QTcpSocket>> open;
        const auto connectOne = [&] {
            open.push_back(std::make_unique<QTcpSocket>());
            open.back()->connectToHost(QHostAddress::LocalHost, port);
            return open.back()->waitForConnected(2000);
        };
        const QByteArray head = " HTTP/1.1\r\nHost: 127.0.0.1\r\n";
        switch (attack) {
        case 0:
            HttpClient::Exchange(port, "POST /api/state" + head + "Content-Length: 2\r\n\r\n{}");
            break;
        case 1:
            HttpClient::Exchange(port, "GET /" + head + "X: " + QByteArray(100000, 'x'));
            break;
        case 2:
            HttpClient::Exchange(port, "GET /../../etc/passwd" + head + "\r\n");
            break;
        case 3:
            for (int i = 0; i < 200; ++i)
                QVERIFY(connectOne());
            break;
        case 4: {
            QVERIFY(connectOne());
            open.back()->setReadBufferSize(1024);
            QByteArray flood;
            for (int i = 0; i < 2000; ++i)
                flood += "GET /" + head + "\r\n";
            open.back()->write(flood);
            break;
        }
        }
        FinishRun(w);
        QCOMPARE(w.SortGrid1->Cells(7, 1), QStringLiteral("1.31,23"));
        QCOMPARE(w.SortGrid1->Cells(7, 2), QStringLiteral("1.05,50"));
        if (attack == 3) open.clear(); // the 64 places are free again
        QVERIFY(
            WaitUntil([&] { return P(State(port), "protocol.rows").toArray().size() == 2; }, 5000));
    }

    // A car that dropped out is "dnf" on the page and marked on its clock frame until RESET.
    void dropOutShown_data() {
        QTest::addColumn<QString>("keys"); // S F5, L F4, F F9, 1 Ctrl+1, 2 Ctrl+2
        QTest::addColumn<QString>("car1");
        QTest::addColumn<QString>("car2");
        QTest::newRow("car 1 on its first lap") << "S1"
                                                << "dnf"
                                                << "ready";
        QTest::newRow("car 2 before its start") << "SL2"
                                                << "running"
                                                << "dnf";
        QTest::newRow("car 1 with car 2 running") << "SLS1"
                                                  << "dnf"
                                                  << "running";
        QTest::newRow("car 2 after car 1 finished") << "SLSF2"
                                                    << "finished"
                                                    << "dnf";
        QTest::newRow("both") << "SLS12"
                              << "dnf"
                              << "dnf";
    }
    void dropOutShown() {
        QFETCH(QString, keys);
        QFETCH(QString, car1);
        QFETCH(QString, car2);
        TFormMain w(Run);
        w.show();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        const quint16 port = SwitchOn(w);
        QVERIFY(port);
        for (QChar k : keys) {
            TickSource::Advance(20000);
            if (k == QLatin1Char('1') || k == QLatin1Char('2'))
                QTest::keyClick(&w, k == QLatin1Char('1') ? Qt::Key_1 : Qt::Key_2,
                                Qt::ControlModifier);
            else
                QTest::keyClick(&w, k == QLatin1Char('S')   ? Qt::Key_F5
                                    : k == QLatin1Char('L') ? Qt::Key_F4
                                                            : Qt::Key_F9);
        }
        const QStringList expected{car1, car2};
        QVERIFY(WaitUntil([&] {
            const QJsonObject s = State(port);
            return P(s, "current.0.state") == car1 && P(s, "current.1.state") == car2;
        }));
        for (int car = 1; car <= 2; ++car) {
            const bool out = expected[car - 1] == QStringLiteral("dnf");
            QCOMPARE(w.FTimers[car]->DroppedOut(), out);
            QCOMPARE(w.FTimers[car]->LabDnf->isVisible(), out);
            if (out) // the stopped time stays, dimmed
                QCOMPARE(w.FTimers[car]->Digit8->ColorOn(), TFrameTimer::DimColor);
        }
        // The run ends with the other car out as well; then RESET.
        QTest::keyClick(&w, Qt::Key_1, Qt::ControlModifier);
        QTest::keyClick(&w, Qt::Key_2, Qt::ControlModifier);
        QVERIFY(w.mReset->Enabled());
        QTest::keyClick(&w, Qt::Key_F10);
        QVERIFY(WaitUntil([&] {
            const QJsonObject s = State(port);
            return P(s, "current.0.state") == QStringLiteral("ready") &&
                   P(s, "current.1.state") == QStringLiteral("ready");
        }));
        for (int car = 1; car <= 2; ++car) {
            QVERIFY(!w.FTimers[car]->DroppedOut());
            QCOMPARE(w.FTimers[car]->Digit8->ColorOn(), TFrameTimer::LitColor);
        }
    }

    void portInUseGivesMessage() {
        QTcpServer other;
        QVERIFY(other.listen(QHostAddress::LocalHost, 0));
        TFormMain w(Run);
        w.show();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        QVERIFY(!w.Live()->Switch(true, other.serverPort()));
        QCOMPARE(FMessages.size(), 1);
        QVERIFY2(FMessages[0].contains(QStringLiteral("schon belegt")), qPrintable(FMessages[0]));
        QVERIFY(!w.Live()->Server()->IsListening());
        QCOMPARE(Stored("WebOn").toBool(), false);
        QTest::keyClick(&w, Qt::Key_F5);
        QCOMPARE(w.FEventCount, 1);
    }

    void switchIsPersisted() {
        quint16 port;
        {
            TFormMain w(Run);
            port = SwitchOn(w);
            QVERIFY(port);
            QCOMPARE(Stored("WebOn").toBool(), true);
            QCOMPARE(Stored("WebPort").toInt(), int(port));
        }
        {
            TFormMain w(Run); // comes up serving on the same port
            QVERIFY(w.Live()->Server()->IsListening());
            QCOMPARE(w.Live()->Server()->Port(), port);
            QVERIFY(!State(port).isEmpty());
            QVERIFY(w.Live()->Switch(false, port));
        }
        TFormMain w(Run);
        QVERIFY(!w.Live()->Server()->IsListening());
        QVERIFY(FMessages.isEmpty());
    }

    void ctrlLOpensWindowAndSwitches() {
        TFormMain w(Run);
        w.show();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        QVERIFY(QTest::qWaitForWindowActive(&w));
        QTest::keyClick(&w, Qt::Key_L, Qt::ControlModifier);
        QVERIFY(w.Live()->Form() && w.Live()->Form()->isVisible());
        QVERIFY(QTest::qWaitForWindowActive(w.Live()->Form()));
        QTest::keyClick(w.Live()->Form(), Qt::Key_F5); // timing keys work in the live window too
        QCOMPARE(w.FEventCount, 1);
        w.Live()->Form()->seLivePort->setValue(FreePort());
        w.Live()->Form()->cbLiveOn->click();
        QVERIFY(w.Live()->Server()->IsListening());
        QCOMPARE(int(w.Live()->Server()->Port()), w.Live()->Form()->seLivePort->value());
        QVERIFY(!w.Live()->Form()->seLivePort->isEnabled());
        w.Live()->Form()->ShowState(true, 8080, {QStringLiteral("http://192.168.1.20:8080/")}, QString());
        QVERIFY(w.Live()->Form()->QrView->Matrix().Size >= 21);
        w.Live()->Form()->cbLiveOn->click();
        QVERIFY(!w.Live()->Server()->IsListening());
    }
};

QTEST_MAIN(TstLive)
#include "tst_live.moc"

