// What the main window announces becomes records of the event database, and the
// "Läufe" list shows them.
#include "EventRecorder.h"
#include "Protocol.h"
#include "RunList.h"

#include <QDateTime>
#include <QTemporaryDir>
#include <QTest>

namespace {

// One step the window announces: "S1" START car 1, "L2" LAP car 2, "F1" FINISH,
// "D1" DNF, "U1" take back, "R" RESET, "E<title>" results entered (one row per car
// from the named drivers "A"/"B"), "B" results taken back, "T<name>=<lap>,<ms>" lap
// typed, "N<name>" DNS, "G<name>" DNS taken back, "H<name>=<field>" hand time,
// "X<name>" row deleted, "C" table cleared, "+" next day, "#<n>" round n from here.
struct TScript {
    QStringList Steps;
};

TEnteredResult Row(int car, const QString& name, bool dnf) {
    TEnteredResult r;
    r.Car = car;
    r.Name = name;
    r.StartNumber = QString::number(car * 10);
    r.LapMs = {60000, 61000};
    r.TotalMs = dnf ? 0 : 121000;
    r.BestMs = 60000;
    r.Status = dnf ? TEnteredResult::Dnf : TEnteredResult::Finished;
    return r;
}

} // namespace

class TstEventRecorder : public QObject {
    Q_OBJECT
private slots:
    void records_data();
    void records();
    void runList_data();
    void runList();
    void sharedEvent_data();
    void sharedEvent();
    void correctionKeepsItsEvent();
    void controlCharacters_data();
    void controlCharacters();
    void runOfARowKeepsItsNumber_data();
    void runOfARowKeepsItsNumber();
};

// A correction on a row without any run makes one: it carries the row's start number.
void TstEventRecorder::runOfARowKeepsItsNumber_data() {
    QTest::addColumn<int>("kind");
    QTest::newRow("typed lap") << int(TProtocolChangeKind::LapTyped);
    QTest::newRow("hand time") << int(TProtocolChangeKind::HandTime);
    QTest::newRow("DNS") << int(TProtocolChangeKind::NotStarted);
}

void TstEventRecorder::runOfARowKeepsItsNumber() {
    QFETCH(int, kind);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Zeitnahme.db"));
    TEventStore store;
    store.Start(path, QStringLiteral("Start"));
    TEventRecorder rec(store);
    rec.ProtocolChanged({TProtocolChangeKind(kind), 1, int(pcLap1), QStringLiteral("59,99"),
                         QStringLiteral("Hans"), QStringLiteral("1"), QStringLiteral("12")});
    QVERIFY(store.Flush());
    store.Stop();
    TEventDb db;
    QVERIFY(db.OpenForReading(path));
    const std::vector<TRunRecord> runs = db.Runs(db.Events().at(0).Uuid);
    QCOMPARE(int(runs.size()), 1);
    QCOMPARE(runs[0].StartNo, QStringLiteral("12"));
}

// A start list or a typed name with control characters: stored without them.
void TstEventRecorder::controlCharacters_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("stored");
    QTest::newRow("bell") << QStringLiteral("\aAnna") << "Anna";
    QTest::newRow("escape") << QStringLiteral("Anna\x1b[1m") << "Anna[1m";
    QTest::newRow("0x01") << QStringLiteral("An\x01na") << "Anna";
    QTest::newRow("tab") << QStringLiteral("Anna\tBerg") << "Anna Berg";
    QTest::newRow("umlauts stay") << QStringLiteral("Jürgen Weiß") << "Jürgen Weiß";
}

void TstEventRecorder::controlCharacters() {
    QFETCH(QString, text);
    QFETCH(QString, stored);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Zeitnahme.db"));
    TEventStore store;
    store.Start(path, QStringLiteral("Start"));
    TEventRecorder rec(store);
    StartList::TEntrant n;
    n.StartNr = QStringLiteral("7");
    n.Name = text;
    n.Class = text;
    n.Club = text;
    n.Vehicle = text;
    QCOMPARE(rec.RecordEntrants({n}, text), 1);
    TRunResults r;
    r.Title = text;
    r.RunNumber = QStringLiteral("1");
    r.Rows.push_back(Row(1, text, false));
    rec.ResultsEntered(r);
    QVERIFY(store.Flush());
    TEventDb db;
    QVERIFY(db.OpenForReading(path));
    const std::vector<TEventInfo> events = db.Events();
    QCOMPARE(events.size(), size_t(1));
    QCOMPARE(events[0].Title, stored);
    const std::vector<TEntrant> entrants = db.Entrants(events[0].Uuid);
    QCOMPARE(entrants.size(), size_t(1));
    QCOMPARE(QStringList({entrants[0].Name, entrants[0].Class, entrants[0].Club, entrants[0].Vehicle}),
             QStringList({stored, stored, stored, stored}));
    QCOMPARE(db.Runs(events[0].Uuid).at(0).Name, stored);
}

void TstEventRecorder::records_data() {
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<int>("events");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QStringList>("runs"); // per run: name status total withdrawn corrections
    const QStringList run1{"S1", "L1", "F1", "EA:Training"};
    QTest::newRow("two runs of one driver give two records")
        << (run1 + QStringList{"R"} + run1) << 1 << "Training"
        << QStringList{"A ok 121000 0 0", "A ok 121000 0 0"};
    QTest::newRow("Ctrl+Z after FINISH takes the run back but keeps it")
        << (run1 + QStringList{"U1", "B", "F1", "EA:Training"}) << 1 << "Training"
        << QStringList{"A ok 121000 1 1", "A ok 121000 0 0"};
    QTest::newRow("typed lap points at the driver's latest run")
        << (run1 + QStringList{"R"} + run1 + QStringList{"TA=1,59990"}) << 1 << "Training"
        << QStringList{"A ok 121000 0 0", "A ok 120990 0 1"};
    QTest::newRow("DNS, deleted row and cleared table are recorded")
        << (run1 + QStringList{"NA", "XA", "C"}) << 1 << "Training"
        << QStringList{"A DNS -1 0 2"};
    QTest::newRow("a corrected title renames the event")
        << (QStringList{"S1", "L1", "F1", "EA:Trainnig", "R", "S1", "L1", "F1", "EA:Training"})
        << 1 << "Training" << QStringList{"A ok 121000 0 0", "A ok 121000 0 0"};
    QTest::newRow("an evening event goes on after midnight")
        << (run1 + QStringList{"R", "+"} + run1) << 1 << "Training"
        << QStringList{"A ok 121000 0 0", "A ok 121000 0 0"};
    QTest::newRow("DNS in a later round is a run of that round, the earlier stays")
        << (run1 + QStringList{"R", "#2", "NA"}) << 1 << "Training"
        << QStringList{"A ok 121000 0 0", "A DNS -1 0 0"};
    QTest::newRow("DNS given twice in a round is one")
        << (run1 + QStringList{"R", "#2", "NA", "NA"}) << 1 << "Training"
        << QStringList{"A ok 121000 0 0", "A DNS -1 0 0"};
    QTest::newRow("DNS taken back withdraws its own run only")
        << (run1 + QStringList{"R", "#2", "NA", "GA"}) << 1 << "Training"
        << QStringList{"A ok 121000 0 0", "A DNS -1 1 1"};
    QTest::newRow("DNS of round 2 taken back in round 3, the row still showing it")
        << (run1 + QStringList{"R", "#2", "NA", "#3", "GA"}) << 1 << "Training"
        << QStringList{"A ok 121000 0 0", "A DNS -1 1 1"};
    QTest::newRow("hand time on a row without any run makes a run of the round")
        << QStringList{"#2", "HA=0"} << 1 << "" << QStringList{"A ok 59990 0 1"};
    QTest::newRow("hand time after a DNS times the round's run")
        << (run1 + QStringList{"R", "#2", "NA", "HA=0"}) << 1 << "Training"
        << QStringList{"A ok 121000 0 0", "A ok 59990 0 1"};
    QTest::newRow("typed lap on a row without any run makes a run")
        << QStringList{"TB=1,59990"} << 1 << "" << QStringList{"B ok -1 0 1"};
    QTest::newRow("deleting a row without any run records nothing")
        << QStringList{"XB", "S1", "L1", "F1", "EA:"} << 1 << "" << QStringList{"A ok 121000 0 0"};
    QTest::newRow("a car that dropped out is a DNF run")
        << QStringList{"S1", "S2", "L1", "D2", "F1", "EAB:Training"} << 1 << "Training"
        << QStringList{"A ok 121000 0 0", "B DNF -1 0 0"};
}

void TstEventRecorder::records() {
    QFETCH(QStringList, steps);
    QFETCH(int, events);
    QFETCH(QString, title);
    QFETCH(QStringList, runs);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Zeitnahme.db"));
    TEventStore store;
    store.Start(path, QStringLiteral("Start"));
    TEventRecorder rec(store);
    QDate today(2026, 12, 7);
    rec.Today = [&today] { return today; };
    int count = 0;
    QString round = QStringLiteral("1");
    for (const QString& s : steps) {
        const QChar k = s[0];
        if (k == '#') {
            round = s.mid(1);
            continue;
        }
        TRunNotice n;
        n.Car = s.size() > 1 ? s.mid(1, 1).toInt() : 0;
        n.WallMs = 1796636673325 + count * 1000;
        n.Tick = uint32_t(count * 1000);
        if (k == 'S' || k == 'L' || k == 'F' || k == 'D' || k == 'U' || k == 'R') {
            n.Kind = k == 'S'   ? TRunNoticeKind::Start
                     : k == 'L' ? TRunNoticeKind::Lap
                     : k == 'F' ? TRunNoticeKind::Finish
                     : k == 'D' ? TRunNoticeKind::Dnf
                     : k == 'U' ? TRunNoticeKind::Undo
                                : TRunNoticeKind::Reset;
            count = n.Kind == TRunNoticeKind::Reset ? 0 : count + 1;
            n.EventCount = count;
            // As the window does: a run's identity is fixed at its START.
            if (n.Kind == TRunNoticeKind::Start) n.RunId = NewRecordUuid();
            rec.RunEvent(n);
        } else if (k == 'E') {
            const QString who = s.mid(1).section(QLatin1Char(':'), 0, 0);
            TRunResults r;
            r.Title = s.section(QLatin1Char(':'), 1);
            r.RunNumber = round;
            for (int i = 0; i < who.size(); ++i)
                r.Rows.push_back(Row(i + 1, who.mid(i, 1), steps.contains(QStringLiteral("D%1").arg(i + 1))));
            rec.ResultsEntered(r);
        } else if (k == '+') {
            today = today.addDays(1);
        } else {
            TProtocolChange c;
            c.Name = s.mid(1).section(QLatin1Char('='), 0, 0);
            c.RunNumber = round;
            if (k == 'G') c.Kind = TProtocolChangeKind::StartedAgain;
            if (k == 'H') {
                c.Kind = TProtocolChangeKind::HandTime;
                const int field = s.section(QLatin1Char('='), 1).toInt();
                c.Col = field == 0 ? int(pcTotal) : 1 + field;
                c.Text = QStringLiteral("59,99");
            }
            if (k == 'B') c.Kind = TProtocolChangeKind::ResultsTakenBack;
            if (k == 'N') c.Kind = TProtocolChangeKind::NotStarted;
            if (k == 'X') c.Kind = TProtocolChangeKind::RowDeleted;
            if (k == 'C') c.Kind = TProtocolChangeKind::Cleared;
            if (k == 'T') {
                c.Kind = TProtocolChangeKind::LapTyped;
                const QStringList v = s.section(QLatin1Char('='), 1).split(QLatin1Char(','));
                c.Col = 1 + v[0].toInt();
                c.Text = QStringLiteral("59,99");
            }
            rec.ProtocolChanged(c);
        }
    }
    QVERIFY(store.Flush());
    store.Stop();

    TEventDb db;
    QVERIFY(db.OpenForReading(path));
    const std::vector<TEventInfo> ev = db.Events();
    QCOMPARE(int(ev.size()), events);
    QCOMPARE(ev[0].Title, title);
    QCOMPARE(ev[0].Date, QDate(2026, 12, 7)); // the day the event began
    QStringList got;
    for (const TEffectiveRun& e : db.EffectiveRuns(ev[0].Uuid))
        got << QStringLiteral("%1 %2 %3 %4 %5")
                   .arg(e.Run.Name, e.Run.Status)
                   .arg(e.Run.TotalMs)
                   .arg(int(e.Withdrawn))
                   .arg(e.History.size());
    QCOMPARE(got, runs);
    // Every timed run keeps the sources of its events (a run made by a hand time has none).
    for (const TRunRecord& r : db.Runs(ev[0].Uuid))
        if (r.Status == RunStatusOk && r.LapMs[0] >= 0) QVERIFY(!db.RunEvents(r.Uuid).empty());
}

// Two stations sharing a server each begin the day's event with their first run.
void TstEventRecorder::sharedEvent_data() {
    QTest::addColumn<bool>("shared");
    QTest::addColumn<QString>("titleA");
    QTest::addColumn<QString>("titleB");
    QTest::addColumn<int>("dayB"); // days after A's
    QTest::addColumn<bool>("explicitB"); // B began with "Neue Veranstaltung"
    QTest::addColumn<bool>("same");
    QTest::newRow("same title, same day") << true << "Bergpreis" << "Bergpreis" << 0 << false << true;
    QTest::newRow("title spaced differently") << true << "Bergpreis  Nord" << " Bergpreis Nord" << 0 << false << true;
    QTest::newRow("other title") << true << "Bergpreis" << "Slalom" << 0 << false << false;
    QTest::newRow("next day") << true << "Bergpreis" << "Bergpreis" << 1 << false << false;
    QTest::newRow("explicitly new") << true << "Bergpreis" << "Bergpreis" << 0 << true << false;
    // Timed before it had a server: its event is the one the others have.
    QTest::newRow("alone") << false << "Bergpreis" << "Bergpreis" << 0 << false << true;
}

void TstEventRecorder::sharedEvent() {
    QFETCH(bool, shared);
    QFETCH(QString, titleA);
    QFETCH(QString, titleB);
    QFETCH(int, dayB);
    QFETCH(bool, explicitB);
    QFETCH(bool, same);
    QTemporaryDir dir;
    TEventStore a, b;
    a.Start(dir.filePath(QStringLiteral("a.db")), QStringLiteral("Start"));
    b.Start(dir.filePath(QStringLiteral("b.db")), QStringLiteral("Ziel"));
    TEventRecorder ra(a), rb(b);
    Q_UNUSED(shared);
    ra.Today = [] { return QDate(2026, 12, 7); };
    rb.Today = [dayB] { return QDate(2026, 12, 7).addDays(dayB); };
    TRunResults r;
    r.RunNumber = QStringLiteral("1");
    r.Rows.push_back(Row(1, QStringLiteral("A"), false));
    r.Title = titleA;
    ra.ResultsEntered(r);
    if (explicitB) rb.NewEvent(titleB);
    r.Title = titleB;
    rb.ResultsEntered(r);
    QCOMPARE(ra.CurrentEvent() == rb.CurrentEvent(), same);
}

// A correction of a run belongs to the run's event, also when the protocol row
// is changed after another event began (a new day, or another station's).
void TstEventRecorder::correctionKeepsItsEvent() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Zeitnahme.db"));
    TEventStore store;
    store.Start(path, QStringLiteral("Start"));
    TEventRecorder rec(store);
    QDate today(2026, 12, 7);
    rec.Today = [&today] { return today; };
    TRunResults r;
    r.Title = QStringLiteral("Training");
    r.RunNumber = QStringLiteral("1");
    r.Rows.push_back(Row(1, QStringLiteral("A"), false));
    rec.ResultsEntered(r);
    const QString first = rec.CurrentEvent();
    // Another station begins a newer event of the day; this one follows it.
    TEventInfo other;
    other.Station = QStringLiteral("Ziel");
    other.Seq = 1;
    other.Title = QStringLiteral("Training Nachmittag");
    other.Date = today;
    other.RecordedMs = QDateTime::currentMSecsSinceEpoch() + 1000;
    const QString second = store.Add(other);
    QVERIFY(store.Flush());
    {
        TEventDb reader;
        QVERIFY(reader.OpenForReading(path));
        QVERIFY(rec.Follow(reader));
        QVERIFY(!rec.Follow(reader)); // already there
    }
    QCOMPARE(rec.CurrentEvent(), second);
    TProtocolChange c;
    c.Kind = TProtocolChangeKind::LapTyped;
    c.Name = QStringLiteral("A");
    c.Col = 2;
    c.Text = QStringLiteral("59,99");
    rec.ProtocolChanged(c);
    QVERIFY(store.Flush());
    store.Stop();
    TEventDb db;
    QVERIFY(db.OpenForReading(path));
    const std::vector<TEffectiveRun> runs = db.EffectiveRuns(first);
    QCOMPARE(int(runs.size()), 1);
    QCOMPARE(int(runs[0].History.size()), 1);
    QCOMPARE(runs[0].Run.LapMs[0], 59990);
    QVERIFY(db.Corrections(second).empty());
}

void TstEventRecorder::runList_data() {
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QStringList>("names"); // shown, newest first
    QTest::addColumn<int>("latestPerDriver");
    QTest::newRow("no filter: newest first") << "" << QStringList{"Eva", "Hans", "Jörg; \"J\"", "Hans"} << 3;
    QTest::newRow("name in any case") << "HANS" << QStringList{"Hans", "Hans"} << 3;
    QTest::newRow("start number") << "7" << QStringList{"Eva"} << 3;
    QTest::newRow("umlaut") << "jö" << QStringList{"Jörg; \"J\""} << 3;
    QTest::newRow("nobody") << "xyz" << QStringList{} << 3;
}

void TstEventRecorder::runList() {
    QFETCH(QString, filter);
    QFETCH(QStringList, names);
    QFETCH(int, latestPerDriver);
    std::vector<TEffectiveRun> runs;
    const QStringList drivers{"Hans", "Jörg; \"J\"", "Hans", "Eva"};
    for (int i = 0; i < drivers.size(); ++i) {
        TEffectiveRun e;
        e.Run.Uuid = QString::number(i);
        e.Run.Name = drivers[i];
        e.Run.StartNo = drivers[i] == QLatin1String("Eva") ? QStringLiteral("7") : QStringLiteral("1");
        e.Run.LapMs = {60000, 61000, -1, -1, -1};
        RecomputeTotals(e.Run);
        runs.push_back(e);
    }
    TRunListModel m;
    m.SetRuns(runs);
    m.SetFilter(filter);
    QStringList shown;
    for (int row = 0; row < m.rowCount(); ++row)
        shown << m.RunAt(row)->Run.Name;
    QCOMPARE(shown, names);
    const std::vector<TEffectiveRun> latest = LatestRunPerDriver(m.AllRuns());
    QCOMPARE(int(latest.size()), latestPerDriver);
    QCOMPARE(latest[0].Run.Uuid, QStringLiteral("1")); // Jörg, oldest of the latest
    QCOMPARE(latest[1].Run.Uuid, QStringLiteral("2")); // Hans's second run
    // CSV for spreadsheets: BOM, semicolons, quoted fields, CR LF, one line per shown row.
    const QByteArray csv = m.Csv();
    QVERIFY(csv.startsWith("\xEF\xBB\xBF" "Uhrzeit;Lauf;Auto;Start-Nr.;Name;Runde 1;Runde 2;Gesamtzeit;"));
    QCOMPARE(csv.count("\r\n"), names.size() + 1);
    if (names.contains(QStringLiteral("Jörg; \"J\"")))
        QVERIFY(csv.contains(QStringLiteral(";\"Jörg; \"\"J\"\"\";1,00.00;").toUtf8()) ||
                csv.contains(QStringLiteral(";\"Jörg; \"\"J\"\"\";").toUtf8()));
}

QTEST_GUILESS_MAIN(TstEventRecorder)
#include "tst_eventrecorder.moc"
