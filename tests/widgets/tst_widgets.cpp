#include "ColorUtil.h"
#include "Dmn_led.h"
#include "Hstcbo.h"
#include "Questions.h"
#include "Udigit.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <QLabel>
#include <QLineEdit>
#include <QTest>

class TstWidgets : public QObject {
    Q_OBJECT
private slots:
    void colorConversion() {
        QCOMPARE(ToQColor(clYellow), QColor(255, 255, 0));
        QCOMPARE(ToQColor(clRed), QColor(255, 0, 0));
        QCOMPARE(ToQColor(clNavy), QColor(0, 0, 128));
        QCOMPARE(FromQColor(QColor(0x40, 0x40, 0x40)), clDarkGray);
    }

    void digitOverflowAndEarlyReturn() {
        TDigit d;
        int overflows = 0;
        d.OnOverflow = [&](QObject* s) {
            QCOMPARE(s, &d);
            ++overflows;
        };
        d.SetValue(3);
        QCOMPARE(d.ValueBinary(), uint8_t(87));
        d.SetValue(10);
        QCOMPARE(d.Value(), 0);
        QCOMPARE(d.ValueBinary(), uint8_t(125));
        QCOMPARE(overflows, 1);
        d.SetValue(3);
        const int before = d.RepaintRequests();
        d.SetValue(3);
        QCOMPARE(d.RepaintRequests(), before);
        d.SetValue(-1);
        QCOMPARE(d.Value(), 0);
        QCOMPARE(overflows, 2);
    }

    void digitValueBinaryKeptBySameValue() {
        TDigit d;
        d.SetValue(4);
        d.SetValueBinary(255);
        d.SetValue(4); // unchanged value returns early: segments stay all lit
        QCOMPARE(d.ValueBinary(), uint8_t(255));
    }

    void digitThickness_data() {
        QTest::addColumn<int>("thickness");
        QTest::addColumn<int>("expected");
        QTest::newRow("9 too thick") << 9 << 2;
        QTest::newRow("8 accepted") << 8 << 8;
        QTest::newRow("3") << 3 << 3;
    }
    void digitThickness() {
        QFETCH(int, thickness);
        QFETCH(int, expected);
        TDigit d; // 16 x 32
        QCOMPARE(d.size(), QSize(16, 32));
        d.SetThickness(thickness);
        QCOMPARE(d.Thickness(), expected);
    }

    void digitPolygons() {
        const QPolygon top = TDigit::SegmentPolygon(0, 45, 100, 5, 1);
        QCOMPARE(top, QPolygon({{6, 5}, {11, 0}, {33, 0}, {38, 5}, {33, 10}, {11, 10}}));
        const QPolygon upperLeft = TDigit::SegmentPolygon(3, 45, 100, 5, 1);
        QCOMPARE(upperLeft, QPolygon({{0, 11}, {5, 6}, {10, 11}, {10, 43}, {5, 48}, {0, 43}}));
        const QPolygon corner = TDigit::SegmentPolygon(7, 45, 100, 5, 1);
        QCOMPARE(corner, QPolygon({{44, 99}, {35, 99}, {44, 90}}));
    }

    void digitPaintsLitSegments() {
        TDigit d;
        d.resize(45, 100);
        d.SetThickness(5);
        d.SetValue(1); // right verticals only
        const QImage img = d.grab().toImage();
        QCOMPARE(QColor(img.pixel(42, 25)), QColor(Qt::yellow)); // upper right bar
        QCOMPARE(QColor(img.pixel(3, 25)), QColor(Qt::black));   // upper left, unlit
    }

    void ledLitGreenPixels() {
        TLed led;
        led.SetKind(lkGreen);
        led.SetValue(true);
        QImage img(16, 16, QImage::Format_RGB32);
        img.fill(QColor(1, 2, 3));
        led.render(&img, QPoint(), QRegion(), QWidget::RenderFlags());
        QCOMPARE(QColor(img.pixel(0, 0)), QColor(1, 2, 3));        // index 0 left alone
        QCOMPARE(QColor(img.pixel(8, 8)), QColor(0, 255, 0));      // body 00FF00
        QCOMPARE(QColor(img.pixel(6, 2)), QColor(255, 255, 0));    // highlight 00FFFF (BGR)
        QCOMPARE(QColor(img.pixel(4, 4)), QColor(255, 255, 255));  // spot
        QCOMPARE(QColor(img.pixel(5, 0)), QColor(128, 128, 128));  // upper-left rim
        QCOMPARE(QColor(img.pixel(15, 5)), QColor(255, 255, 255)); // lower-right rim
    }

    void ledImagesKeepTheirOutline() {
        for (TLedShape shape : {lsCircle, lsRectangle}) {
            const auto& on = TLed::ImageFor(shape, true);
            const auto& off = TLed::ImageFor(shape, false);
            for (int r = 0; r < 16; ++r)
                for (int c = 0; c < 16; ++c) {
                    QCOMPARE(on[r][c] == 0, off[r][c] == 0);
                    if (shape == lsRectangle) QCOMPARE(on[r][c] != 0, r >= 3 && r <= 12);
                }
        }
    }

    void ledChangeEvents() {
        TLed led;
        QLabel label;
        int changes = 0;
        led.OnChange = [&](QObject*) { ++changes; };
        led.SetLabelOnText(QStringLiteral("an"));
        led.SetLabelOffText(QStringLiteral("aus"));
        led.SetLabelLinked(&label);
        QCOMPARE(label.text(), QStringLiteral("aus"));
        const int before = led.RepaintRequests();
        led.SetKind(lkBlue);
        QCOMPARE(led.RepaintRequests(), before + 1);
        QCOMPARE(changes, 0);
        led.SetValue(true);
        led.SetValue(true);
        QCOMPARE(changes, 1);
        QCOMPARE(label.text(), QStringLiteral("an"));
    }

    void historyKeepsTypedTextWhenListReplaced() {
        THistoryComboBox box;
        QCOMPARE(box.MaxHistoryLength(), 9);
        QCOMPARE(box.RootKey(), hkCurrentUser);
        box.SetText(QStringLiteral("12 Anna"));
        box.SetItems({QStringLiteral("Hans"), QStringLiteral("Peter")});
        QCOMPARE(box.Text(), QStringLiteral("12 Anna"));
        QCOMPARE(box.ItemIndex(), -1);
        box.AddItem(QStringLiteral("Hans"));
        QCOMPARE(box.Items().size(), 3);
        QCOMPARE(box.Text(), QStringLiteral("12 Anna"));
        for (int i = 0; i < 12; ++i)
            box.AddItem(QStringLiteral("x"));
        QCOMPARE(box.count(), 15); // no length limit
    }

    void historyKeyPressSwallow() {
        THistoryComboBox box;
        box.OnKeyPress = [](QObject*, QChar& key) {
            if (key == QLatin1Char('x')) key = QChar();
        };
        box.show();
        QTest::keyClicks(box.lineEdit(), QStringLiteral("axb"));
        QCOMPARE(box.Text(), QStringLiteral("ab"));
    }

    // A name typed without its extension is asked about when the file with it exists.
    void saveDialogAsksBeforeReplacing_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("exists");
        QTest::addColumn<bool>("asks");
        QTest::newRow("without extension, the page exists") << "w" << true << true;
        QTest::newRow("with extension, the page exists") << "w.html" << true << true;
        QTest::newRow("a new name") << "neu" << false << false;
    }
    void saveDialogAsksBeforeReplacing() {
        QFETCH(QString, typed);
        QFETCH(bool, exists);
        QFETCH(bool, asks);
        QTemporaryDir dir;
        QDir::setCurrent(dir.path());
        if (exists) {
            QFile f(dir.filePath(QStringLiteral("w.html")));
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        bool asked = false;
        QTimer answer; // clicks "Yes" in the question, if one comes
        answer.setInterval(20);
        connect(&answer, &QTimer::timeout, this, [&] {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible()) {
                    asked = true;
                    box->button(QMessageBox::Yes)->click();
                }
        });
        QTimer::singleShot(0, this, [&] {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (auto* d = qobject_cast<QFileDialog*>(w); d && d->isVisible()) {
                    d->setDirectory(dir.path()); // not the folder of the row before
                    d->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(typed);
                    answer.start();
                    QMetaObject::invokeMethod(d, "accept");
                }
        });
        QTimer::singleShot(5000, this, [] { // never hang the suite
            for (QWidget* w : QApplication::topLevelWidgets())
                if (auto* d = qobject_cast<QDialog*>(w); d && d->isVisible()) d->reject();
        });
        const QString name = Questions::SaveFileName(nullptr, QStringLiteral("Wertung speichern"),
                                                     QStringLiteral("Webseite (*.html)"));
        QCOMPARE(asked, asks);
        QCOMPARE(QFileInfo(name).fileName(),
                 typed.endsWith(QLatin1String(".html")) ? typed : typed + QStringLiteral(".html"));
    }
};

QTEST_MAIN(TstWidgets)
#include "tst_widgets.moc"
