// Lines of timing devices fed in order: what each is, the numbers missing, and
// the last lap as the window takes it.
#include "TimerLines.h"

#include <QTest>

class TestTimerLines : public QObject {
    Q_OBJECT
private slots:
    void lines_data();
    void lines();
};

static QByteArray Sum(QByteArray line) {
    return line + TimerChecksum(line);
}

void TestTimerLines::lines_data() {
    QTest::addColumn<QList<QByteArray>>("lines");
    QTest::addColumn<QString>("expected");
    const QByteArray a = " 0051 C0  08:44:20.1228 00";
    const QByteArray b = " 0052 C1  08:45:21.3327 00";
    QTest::newRow("two impulses, lap cut to ms") << QList{a, b} << "51 C0 08:44:20.1228|52 C1 08:45:21.3327|61209";
    QTest::newRow("checksum right") << QList{Sum(a) + "\r"} << "51 C0 08:44:20.1228";
    QByteArray bad = Sum(a);
    bad[27] = bad[27] == '0' ? '1' : '0';
    QTest::newRow("checksum wrong") << QList{bad} << "verworfen: Prüfsumme falsch";
    QTest::newRow("hand impulse") << QList<QByteArray>{" 0007 C3M 10:00:00.0001 00"} << "7 C3 M 10:00:00.0001";
    QTest::newRow("hours 25") << QList<QByteArray>{" 0051 C0  25:44:20.1228 00"} << "verworfen: Zeit unlesbar";
    QTest::newRow("fraction not digits") << QList<QByteArray>{" 0051 C0  08:44:20.12x8 00"} << "verworfen: Zeit unlesbar";
    QTest::newRow("answer to a command") << QList<QByteArray>{"RSM OK", ""} << "-|-";
    QTest::newRow("noise of line length") << QList<QByteArray>{"xx0051 C0  08:44:20.1228 00"} << "-";
    QTest::newRow("gap of one")
        << QList<QByteArray>{" 0050 C0  08:44:20.0000 00", " 0052 C1  08:44:21.0000 00"}
        << "50 C0 08:44:20.0000|52 C1 08:44:21.0000 fehlt 51|1000";
    QTest::newRow("gap across 9999")
        << QList<QByteArray>{" 9998 C0  08:44:20.0000 00", " 0001 C1  08:44:21.0000 00"}
        << "9998 C0 08:44:20.0000|1 C1 08:44:21.0000 fehlt 9999,0|1000";
    QTest::newRow("taken twice") << QList{a, a} << "51 C0 08:44:20.1228|doppelt";
    QTest::newRow("late one read back fills no gap")
        << QList<QByteArray>{" 0050 C0  08:44:20.0000 00", " 0052 C1  08:44:21.0000 00",
                             " 0051 C1  08:44:20.5000 00"}
        << "50 C0 08:44:20.0000|52 C1 08:44:21.0000 fehlt 51|51 C1 08:44:20.5000|-500";
    QTest::newRow("across midnight")
        << QList<QByteArray>{" 0001 C0  23:59:59.9950 00", " 0002 C1  00:00:01.0049 00"}
        << "1 C0 23:59:59.9950|2 C1 00:00:01.0049|1009";
    QTest::newRow("T family start and finish")
        << QList<QByteArray>{"T 0001       1 08:44:20.1228  ", "T 0002      M2 08:44:22.5     "}
        << "C1 08:44:20.1228|C2 M 08:44:22.5000|2377";
    QTest::newRow("T family bad channel") << QList<QByteArray>{"T 0001       7 08:44:20.1228  "} << "verworfen: Kanal unlesbar";
    QTest::newRow("T family minutes 61") << QList<QByteArray>{"T 0001       1 08:61:20.1228  "} << "verworfen: Zeit unlesbar";
}

void TestTimerLines::lines() {
    QFETCH(QList<QByteArray>, lines);
    QFETCH(QString, expected);
    TImpulseNumbers numbers;
    QStringList got;
    std::vector<int64_t> times;
    for (const QByteArray& line : lines) {
        const TTimerLine r = ParseTimerLine(line);
        if (r.Kind == TTimerLineKind::Other) {
            got << QStringLiteral("-");
        } else if (r.Kind == TTimerLineKind::Rejected) {
            got << QStringLiteral("verworfen: ") + r.Reason;
        } else if (!numbers.Take(r.Impulse)) {
            got << QStringLiteral("doppelt");
        } else {
            const TTimerImpulse& i = r.Impulse;
            QString s = (i.Number >= 0 ? QString::number(i.Number) + QLatin1Char(' ') : QString()) +
                        (i.Number >= 0 ? i.Channel : QStringLiteral("C") + i.Channel) +
                        (i.Hand ? QStringLiteral(" M ") : QStringLiteral(" ")) + TimerTimeText(i.Time);
            QStringList missing;
            for (int n : numbers.Missing())
                missing << QString::number(n);
            if (!missing.isEmpty()) s += QStringLiteral(" fehlt ") + missing.join(QLatin1Char(','));
            got << s;
            times.push_back(i.Time);
        }
    }
    if (times.size() >= 2) {
        const int64_t later = times.back(), earlier = times[times.size() - 2];
        // A late impulse read back lies before the one it follows: no midnight then.
        got << QString::number(later >= earlier || earlier - later > TimerDayUnits / 2
                                   ? TimerDifferenceMs(later, earlier)
                                   : -TimerDifferenceMs(earlier, later));
    }
    QCOMPARE(got.join(QLatin1Char('|')), expected);
}

QTEST_GUILESS_MAIN(TestTimerLines)
#include "tst_timerlines.moc"
