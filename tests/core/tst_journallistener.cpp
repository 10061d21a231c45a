// The journal lines of the announcements, read back the way the recovery reads them.
#include "Journal.h"
#include "JournalListener.h"

#include <QTest>

namespace {

const QString Program = QStringLiteral("Zeitnahme");

TRunNotice Notice(TRunNoticeKind kind, int car, uint32_t tick, int count) {
    TRunNotice n;
    n.Kind = kind;
    n.Car = car;
    n.Tick = tick;
    n.EventCount = count;
    n.Cars = 2;
    n.Laps = 2;
    n.RunNumber = QStringLiteral("7");
    n.Title = QStringLiteral("Training\tHockenheim");
    n.Names = {QString(), QStringLiteral("12 Hans"), QStringLiteral("Eva")};
    return n;
}

} // namespace

class TstJournalListener : public QObject {
    Q_OBJECT
private slots:
    // What the listener writes for a run is what the recovery offers again: the events
    // left after RESET and UNDO, the run's settings and names; nothing after RESULT.
    void recoveredFromLines_data() {
        QTest::addColumn<QString>("script"); // S L F D Z R, N (DNS), E (typed lap), T (results)
        QTest::addColumn<bool>("found");
        QTest::addColumn<int>("events");
        QTest::newRow("interrupted after a LAP") << "SL" << true << 2;
        QTest::newRow("a LAP taken back") << "SLZ" << true << 1;
        QTest::newRow("DNS and a typed lap are no run events") << "SLNE" << true << 2;
        QTest::newRow("results entered: nothing to offer") << "SLSFLFT" << false << 0;
        QTest::newRow("RESET after the results") << "SLSFLFTR" << false << 0;
        QTest::newRow("a car drops out") << "SLSD" << true << 4;
    }
    void recoveredFromLines() {
        QFETCH(QString, script);
        QFETCH(bool, found);
        QFETCH(int, events);
        QByteArray file = Journal::HeaderLine(Program, QStringLiteral("boot-a"),
                                              QDateTime(QDate(2026, 5, 1), QTime(10, 0)));
        const QDateTime wall(QDate(2026, 5, 1), QTime(10, 1));
        TJournalListener journal([&](const QString& event, const Journal::TFields& fields) {
            file += Journal::EventLine(wall, event, fields);
        });
        uint32_t tick = 5000;
        int count = 0;
        const int cars[] = {1, 1, 2, 1, 2, 2}; // whose event the n-th of a two-car run is
        for (const QChar k : script) {
            tick += 1000;
            const int car = cars[qMin(count, 5)];
            TProtocolChange c;
            switch (k.toLatin1()) {
            case 'S': journal.RunEvent(Notice(TRunNoticeKind::Start, car, tick, ++count)); break;
            case 'L': journal.RunEvent(Notice(TRunNoticeKind::Lap, car, tick, ++count)); break;
            case 'F': journal.RunEvent(Notice(TRunNoticeKind::Finish, car, tick, ++count)); break;
            case 'D': journal.RunEvent(Notice(TRunNoticeKind::Dnf, 2, tick, ++count)); break;
            case 'Z': journal.RunEvent(Notice(TRunNoticeKind::Undo, 1, tick - 1000, --count)); break;
            case 'R': journal.RunEvent(Notice(TRunNoticeKind::Reset, 0, 0, count = 0)); break;
            case 'N':
                c = {TProtocolChangeKind::NotStarted, 1, -1, QString(), QStringLiteral("Anna")};
                journal.ProtocolChanged(c);
                break;
            case 'E':
                c = {TProtocolChangeKind::LapTyped, 1, 2, QStringLiteral("9,99"), QString()};
                journal.ProtocolChanged(c);
                break;
            case 'T': journal.ProtocolChanged({TProtocolChangeKind::ResultsEntered}); break;
            }
        }
        const Journal::TInterruptedRun run = Journal::AnalyseJournal(file, file, Program);
        QCOMPARE(run.Found, found);
        if (!found) return;
        QCOMPARE(int(run.Events.size()), events);
        QCOMPARE(run.Events.front().Tick, 6000u);
        QCOMPARE(run.Cars, 2);
        QCOMPARE(run.Laps, 2);
        QCOMPARE(run.RunNumber, QStringLiteral("7"));
        QCOMPARE(run.Title, QStringLiteral("Training\tHockenheim"));
        QCOMPARE(run.Name1, QStringLiteral("12 Hans"));
        QCOMPARE(run.Name2, QStringLiteral("Eva"));
    }
};

QTEST_GUILESS_MAIN(TstJournalListener)
#include "tst_journallistener.moc"
