#include "Corrections.h"
#include "RunSequence.h"
#include "TickSource.h"
#include "TimeText.h"

#include <QTest>

class TstTimeText : public QObject {
    Q_OBJECT
private slots:
    void timeToText_data() {
        QTest::addColumn<int>("ms");
        QTest::addColumn<QString>("text");
        QTest::newRow("0") << 0 << "0,00";
        QTest::newRow("9") << 9 << "0,00";
        QTest::newRow("10") << 10 << "0,01";
        QTest::newRow("500") << 500 << "0,50";
        QTest::newRow("9050") << 9050 << "9,05";
        QTest::newRow("12340") << 12340 << "12,34";
        QTest::newRow("1 min") << 60000 << "1.00,00";
        QTest::newRow("65.3 s") << 65300 << "1.05,30";
        QTest::newRow("10 min") << 600000 << "10.00,00";
        QTest::newRow("1 h") << 3600000 << "1:00.00,00";
        QTest::newRow("99:59.59,99") << (((99 * 60 + 59) * 60 + 59) * 1000 + 990) << "99:59.59,99";
        QTest::newRow("100 h wraps") << 360000000 << "0,00";
        QTest::newRow("101 h wraps") << 363600000 << "1:00.00,00";
    }
    void timeToText() {
        QFETCH(int, ms);
        QFETCH(QString, text);
        QCOMPARE(TimeToText(ms), text);
    }

    void compareTimeTexts_data() {
        QTest::addColumn<QString>("a");
        QTest::addColumn<QString>("b");
        QTest::addColumn<int>("sign");
        QTest::newRow("shorter first") << "9,99"
                                       << "10,00" << -1;
        QTest::newRow("same length by chars") << "55,10"
                                              << "54,20" << 1;
        QTest::newRow("equal") << "55,10"
                               << "55,10" << 0;
        QTest::newRow("minute after seconds") << "1.02,00"
                                              << "55,10" << 1;
        QTest::newRow("dash after time") << "-"
                                         << "99:59.59,99" << 1;
        QTest::newRow("blank after dash") << " "
                                          << "-" << 1;
        QTest::newRow("empty equals blank key") << ""
                                                << "  " << -1; // same key, ordinal
        QTest::newRow("time before blank") << "1,00"
                                           << "" << -1;
        QTest::newRow("DNF after every time") << "DNF"
                                              << "99:59.59,99" << 1;
        QTest::newRow("DNF before DNS") << "DNF"
                                        << "DNS" << -1;
        QTest::newRow("DNS before dash") << "DNS"
                                         << "-" << -1;
    }

    void parseTimeText_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("ms");
        QTest::newRow("seconds") << "9,05" << 9050;
        QTest::newRow("one hundredths digit") << "55,1" << 55100;
        QTest::newRow("minutes") << "1.05,30" << 65300;
        QTest::newRow("hours") << "1:00.00,00" << 3600000;
        QTest::newRow("blanks around") << " 12,34 " << 12340;
        QTest::newRow("seconds 60 under minutes") << "1.60,00" << -1;
        QTest::newRow("decimal point") << "55.10" << -1;
        QTest::newRow("three hundredths digits") << "1,234" << -1;
        QTest::newRow("text") << "DNF" << -1;
        QTest::newRow("empty") << "" << -1;
    }
    void parseTimeText() {
        QFETCH(QString, text);
        QFETCH(int, ms);
        QCOMPARE(ParseTimeText(text), ms);
        if (ms >= 0 && ms < 360000000) QCOMPARE(ParseTimeText(TimeToText(ms)), ms);
    }
    void compareTimeTexts() {
        QFETCH(QString, a);
        QFETCH(QString, b);
        QFETCH(int, sign);
        const int r = CompareTimeTexts(a, b);
        QCOMPARE((r > 0) - (r < 0), sign);
    }

    void currentCarTwoCars() {
        const int expected[] = {1, 1, 2, 1, 2, 2};
        for (int c = 1; c <= 6; ++c)
            QCOMPARE(CurrentCar(c, 2, 2), expected[c - 1]);
        QCOMPARE(CurrentCar(3, 1, 5), 1);
    }

    void sequences_data() {
        QTest::addColumn<int>("cars");
        QTest::addColumn<int>("laps");
        QTest::addColumn<QString>("states"); // state after events 1..n: S L F N
        QTest::newRow("1 car 2 laps") << 1 << 2 << "LFN";
        QTest::newRow("1 car 3 laps") << 1 << 3 << "LLFN";
        QTest::newRow("1 car 5 laps") << 1 << 5 << "LLLLFN";
        QTest::newRow("2 cars") << 2 << 2 << "LSFLFN";
    }
    void sequences() {
        QFETCH(int, cars);
        QFETCH(int, laps);
        QFETCH(QString, states);
        for (int i = 0; i < states.size(); ++i) {
            const char c = "NSLF"[static_cast<int>(NextEventFor(i + 1, cars, laps))];
            QCOMPARE(QChar::fromLatin1(c), states.at(i));
        }
    }

    void tickDifferenceAcrossWrap() {
        TickSource::SetManual(0xFFFFFF00u);
        const uint32_t start = TickSource::Now();
        TickSource::Advance(0x200);
        QCOMPARE(TickSource::Diff(TickSource::Now(), start), 0x200);
        TickSource::UseSystem();
        QVERIFY(!TickSource::IsManual());
    }
};

QTEST_APPLESS_MAIN(TstTimeText)
#include "tst_timetext.moc"
