// The floating-point spin field as the dead-time field uses it (1,0..600,0 seconds,
// one decimal, German separator) and the integer spin field.
#include "FlEdit.h"
#include "Spin.h"

#include <QLineEdit>
#include <QTest>
#include <QWheelEvent>

namespace {

struct DeadTimeField {
    QWidget window;
    QLineEdit other{&window};
    TSpinFloatEdit* field = new TSpinFloatEdit(&window);
    DeadTimeField() {
        field->SetDigits(1);
        field->SetMax(600.0);
        field->SetMin(1.0);
        field->Increment = 0.1;
        field->SetValue(3.0);
        field->move(0, 40);
        window.show();
        field->setFocus();
    }
};

} // namespace

class TstFlEdit : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany)); }

    void typing_data() {
        QTest::addColumn<QString>("start"); // the text before typing, cursor at its end
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("text");
        QTest::newRow("leading 0 refused") << ""
                                           << "0"
                                           << "";
        QTest::newRow("7 then 5") << ""
                                  << "75"
                                  << "75";
        QTest::newRow("one decimal only") << ""
                                          << "7,55"
                                          << "7,5";
        QTest::newRow("above 600 refused") << ""
                                           << "6001"
                                           << "600";
        QTest::newRow("letters and a point discarded") << ""
                                                       << "7a.x"
                                                       << "7";
        QTest::newRow("minus alone") << ""
                                     << "-"
                                     << "-0";
        QTest::newRow("separator alone") << ""
                                         << ","
                                         << "0,0";
        QTest::newRow("digit replaces the whole selection") << "*"
                                                            << "12"
                                                            << "12";
    }
    void typing() {
        QFETCH(QString, start);
        QFETCH(QString, typed);
        QFETCH(QString, text);
        DeadTimeField f;
        if (start == QLatin1String("*"))
            f.field->selectAll();
        else
            f.field->setText(start);
        QTest::keyClicks(f.field, typed);
        QCOMPARE(f.field->text(), text);
    }

    void reading_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("value");
        QTest::newRow("2,5") << "2,5" << 2.5;
        QTest::newRow("empty reads Min") << "" << 1.0;
        QTest::newRow("minus reads Min") << "-" << 1.0;
        QTest::newRow("E reads Min") << "E" << 1.0;
        QTest::newRow("not a number reads Min") << "abc" << 1.0;
        QTest::newRow("point is no separator here") << "2.5" << 1.0;
        QTest::newRow("above Max") << "900" << 600.0;
        QTest::newRow("exponent") << "1e2" << 100.0;
    }
    void reading() {
        QFETCH(QString, text);
        QFETCH(double, value);
        DeadTimeField f;
        f.field->setText(text);
        QCOMPARE(f.field->Value(), value);
    }

    void keysAndLeaving_data() {
        QTest::addColumn<QString>("typed"); // after selecting all on entry
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("text");
        QTest::newRow("Escape restores the entry value") << "75" << int(Qt::Key_Escape) << "3,0";
        QTest::newRow("Up adds the step") << "" << int(Qt::Key_Up) << "3,1";
        QTest::newRow("Down at Min stays") << "1" << int(Qt::Key_Down) << "1,0";
        QTest::newRow("leaving formats") << "7" << int(Qt::Key_Tab) << "7,0";
        QTest::newRow("leaving empty gives Min") << "\b" << int(Qt::Key_Tab) << "1,0";
        QTest::newRow("leaving -0 restores") << "-" << int(Qt::Key_Tab) << "3,0";
    }
    void keysAndLeaving() {
        QFETCH(QString, typed);
        QFETCH(int, key);
        QFETCH(QString, text);
        DeadTimeField f;
        QVERIFY(QTest::qWaitForWindowActive(&f.window));
        f.field->setFocus();
        QTRY_VERIFY(f.field->hasFocus());
        f.field->selectAll();
        for (QChar c : typed)
            if (c == QLatin1Char('\b'))
                QTest::keyClick(f.field, Qt::Key_Backspace);
            else
                QTest::keyClicks(f.field, QString(c));
        if (key == Qt::Key_Tab)
            f.other.setFocus(); // the focus leaves the field
        else
            QTest::keyClick(f.field, Qt::Key(key));
        QCOMPARE(f.field->text(), text);
    }

    void boundsAndDigits() {
        DeadTimeField f;
        QStringList shown;
        TSpinFloatEdit::ShowMessage = [&](const QString& m) { shown << m; };
        f.field->SetValue(700.0); // silent without an error message
        QCOMPARE(f.field->text(), QStringLiteral("600,0"));
        f.field->ErrorMessage = QStringLiteral("Wert außerhalb");
        f.field->SetValue(0.5);
        QCOMPARE(f.field->text(), QStringLiteral("1,0"));
        QCOMPARE(shown, QStringList{QStringLiteral("Wert außerhalb")});
        try {
            f.field->SetMin(601.0);
            QFAIL("no error");
        } catch (const EFloatEditError& e) {
            QCOMPARE(e.Message(),
                     QStringLiteral("Minimum value must not be greater than maximum value !"));
        }
        try {
            f.field->SetMax(0.5);
            QFAIL("no error");
        } catch (const EFloatEditError& e) {
            QCOMPARE(e.Message(),
                     QStringLiteral("Maximum value must not be less than minimum value !"));
        }
        f.field->SetDigits(25);
        QCOMPARE(f.field->Digits(), 18);
        f.field->SetDigits(0);
        QCOMPARE(f.field->text(), QStringLiteral("1"));
        QTest::keyClicks(f.field, QStringLiteral(","));
        QCOMPARE(f.field->text(), QStringLiteral("1")); // no separator without decimals
    }

    void integerField_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("value");
        QTest::newRow("not a number reads the lower bound") << "x" << 0 << 2;
        QTest::newRow("Up within bounds") << "4" << int(Qt::Key_Up) << 5;
        QTest::newRow("Up at the upper bound") << "5" << int(Qt::Key_Up) << 5;
        QTest::newRow("leaving limits the typed value") << "9" << int(Qt::Key_Tab) << 5;
    }
    void integerField() {
        QFETCH(QString, text);
        QFETCH(int, key);
        QFETCH(int, value);
        QWidget w;
        QLineEdit other(&w);
        auto* e = new TSpinEdit(&w);
        e->SetMinValue(2);
        e->SetMaxValue(5);
        e->move(0, 40);
        w.show();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        e->setFocus();
        e->setText(text);
        if (key == Qt::Key_Tab) {
            other.setFocus();
            QCOMPARE(e->text(), QString::number(value));
        } else if (key) {
            QTest::keyClick(e, Qt::Key(key));
        }
        QCOMPARE(e->Value(), value);
    }

    // The mouse wheel steps like the arrow keys, over the field or its arrows.
    void wheelSteps_data() {
        QTest::addColumn<bool>("floating");
        QTest::addColumn<bool>("overArrows");
        QTest::addColumn<bool>("readOnly");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QList<int>>("deltas");
        QTest::addColumn<QString>("result");
        using L = QList<int>;
        QTest::newRow("integer: notch up") << false << false << false << "3" << L{120} << "4";
        QTest::newRow("integer: notch down") << false << false << false << "3" << L{-120} << "2";
        QTest::newRow("integer: at the upper bound")
            << false << false << false << "5" << L{120} << "5";
        QTest::newRow("integer: two notches at once")
            << false << false << false << "2" << L{240} << "4";
        QTest::newRow("integer: touchpad eighths add up")
            << false << false << false << "3" << L{40, 40, 40} << "4";
        QTest::newRow("integer: half a notch") << false << false << false << "3" << L{60} << "3";
        QTest::newRow("integer: over the arrows") << false << true << false << "3" << L{120} << "4";
        QTest::newRow("integer: read-only") << false << false << true << "3" << L{120} << "3";
        QTest::newRow("dead time: notch up") << true << false << false << "3,0" << L{120} << "3,1";
        QTest::newRow("dead time: notch down")
            << true << false << false << "3,0" << L{-120} << "2,9";
        QTest::newRow("dead time: three notches")
            << true << false << false << "3,0" << L{360} << "3,3";
        QTest::newRow("dead time: at the lower bound")
            << true << false << false << "1,0" << L{-120} << "1,0";
        QTest::newRow("dead time: over the arrows")
            << true << true << false << "3,0" << L{-120} << "2,9";
        QTest::newRow("dead time: read-only") << true << false << true << "3,0" << L{120} << "3,0";
    }
    void wheelSteps() {
        QFETCH(bool, floating);
        QFETCH(bool, overArrows);
        QFETCH(bool, readOnly);
        QFETCH(QString, text);
        QFETCH(QList<int>, deltas);
        QFETCH(QString, result);
        DeadTimeField f;
        auto* integer = new TSpinEdit(&f.window);
        integer->SetMinValue(2);
        integer->SetMaxValue(5);
        QLineEdit* field = f.field;
        QWidget* arrows = f.field->Button;
        if (!floating) {
            field = integer;
            arrows = integer->Button;
        }
        field->setText(text);
        field->setReadOnly(readOnly);
        QWidget* target = overArrows ? arrows : field;
        for (const int delta : deltas) {
            QWheelEvent e(QPointF(5, 5), target->mapToGlobal(QPointF(5, 5)), QPoint(),
                          QPoint(0, delta), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
            QApplication::sendEvent(target, &e);
        }
        QCOMPARE(field->text(), result);
    }
};

QTEST_MAIN(TstFlEdit)
#include "tst_fledit.moc"
