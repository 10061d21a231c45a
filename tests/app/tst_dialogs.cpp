// Qt's standard dialogs in a German program, and what a closed file dialog leaves.
#include "FMain.h"
#include "Translations.h"

#include <QApplication>
#include <QCompleter>
#include <QDialogButtonBox>
#include <QFileSystemModel>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

QStringList VisibleTopLevels() {
    QStringList names;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible())
            names << w->objectName() + QLatin1Char(':') + w->metaObject()->className();
    return names;
}

// Types a name into the file dialog until the completer offers it, then Return.
void TypeAndReturn(QFileDialog* d, const QString& rest, bool& done) {
    QTRY_VERIFY(d->isVisible());
    auto* edit = d->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    QVERIFY(edit);
    QVERIFY(QTest::qWaitForWindowActive(d));
    // The folder is listed in the background; the completer offers names once it is.
    auto* model = d->findChild<QFileSystemModel*>();
    QVERIFY(model);
    QTRY_COMPARE(model->rowCount(model->index(d->directory().absolutePath())), 3);
    edit->setFocus();
    QTRY_VERIFY(edit->hasFocus());
    QTest::keyClicks(edit, QStringLiteral("Sta"));
    QVERIFY(edit->completer());
    QTRY_VERIFY(edit->completer()->popup()->isVisible());
    QTest::keyClicks(edit, rest);
    QTest::keyClick(edit, Qt::Key_Return);
    done = true;
}

} // namespace

class TstDialogs : public QObject {
    Q_OBJECT
private slots:
    void fileDialogsSpeakGerman_data() {
        QTest::addColumn<bool>("save");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("accept");
        QTest::newRow("open") << false << QStringLiteral("Öffnen") << QStringLiteral("&Öffnen");
        QTest::newRow("save") << true << QStringLiteral("Speichern unter")
                              << QStringLiteral("S&peichern");
    }
    void fileDialogsSpeakGerman() {
        QFETCH(bool, save);
        QFETCH(QString, title);
        QFETCH(QString, accept);
        TFormMain w;
        QFileDialog* d = save ? w.SaveDialog1 : w.OpenDialog1;
        d->show();
        QCOMPARE(d->windowTitle(), title);
        auto* box = d->findChild<QDialogButtonBox*>();
        QVERIFY(box);
        QStringList buttons;
        for (QAbstractButton* b : box->buttons())
            buttons << b->text();
        QCOMPARE(buttons, (QStringList{accept, QStringLiteral("Abbrechen")}));
        QStringList labels;
        for (QLabel* l : d->findChildren<QLabel*>())
            labels << l->text();
        QVERIFY(labels.contains(QStringLiteral("Suchen in:")));
        QVERIFY(labels.contains(QStringLiteral("Datei&name:")));
        d->hide();
    }

    void editMenuAndButtonsSpeakGerman() {
        QLineEdit edit(QStringLiteral("x"));
        std::unique_ptr<QMenu> menu(edit.createStandardContextMenu());
        QStringList actions;
        for (QAction* a : menu->actions())
            actions << a->text().section(QLatin1Char('\t'), 0, 0);
        QVERIFY2(actions.contains(QStringLiteral("&Kopieren")), qPrintable(actions.join(',')));
        QVERIFY2(actions.contains(QStringLiteral("Einf&ügen")), qPrintable(actions.join(',')));
        QMessageBox box(QMessageBox::Question, QString(), QString(),
                        QMessageBox::Yes | QMessageBox::No);
        QCOMPARE(box.button(QMessageBox::Yes)->text(), QStringLiteral("&Ja"));
        QCOMPARE(box.button(QMessageBox::No)->text(), QStringLiteral("&Nein"));
    }

    // A name typed while the completer offers names, then Return: the dialog closes
    // and nothing of it stays on screen or takes the next click.
    void typedNameAndReturnLeaveNothingBehind_data() {
        QTest::addColumn<bool>("save");
        QTest::addColumn<QString>("rest");
        QTest::newRow("open") << false << QStringLiteral("rtliste.txt");
        QTest::newRow("save") << true << QStringLiteral("rtlist");
    }
    void typedNameAndReturnLeaveNothingBehind() {
        QFETCH(bool, save);
        QFETCH(QString, rest);
        QTemporaryDir dir;
        for (const char* name : {"Startliste.txt", "Startliste-alt.txt", "Stand.txt"}) {
            QFile f(dir.filePath(QLatin1String(name)));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("1;Anna\r\n");
        }
        TFormMain w;
        w.show();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        QFileDialog* d = save ? w.SaveDialog1 : w.OpenDialog1;
        d->setDirectory(dir.path());
        d->selectFile(QString());
        bool typed = false;
        QTimer::singleShot(0, [&] {
            TypeAndReturn(d, rest, typed);
            if (d->isVisible()) d->reject(); // a failed step must not leave the dialog open
        });
        if (save) {
            w.SortGrid1->SetRows(1, {"2", "Bert"});
            w.sbSaveClick(nullptr);
            QVERIFY(QFile::exists(dir.filePath(QStringLiteral("Startlist.txt"))));
        } else {
            w.sbLoadClick(nullptr);
            QCOMPARE(w.SortGrid1->Cells(1, 1), QStringLiteral("Anna"));
        }
        QVERIFY(typed);
        QTest::qWait(300); // a late directory listing must not bring the popup back
        QCOMPARE(VisibleTopLevels(), QStringList{QStringLiteral("FormMain:TFormMain")});
        // The offscreen platform does not hand the activation back by itself.
        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        QTest::mouseClick(w.FrameTimer1->hcbName->lineEdit(), Qt::LeftButton);
        QTRY_VERIFY(w.FrameTimer1->hcbName->hasFocus());
    }
};

int main(int argc, char* argv[]) {
    // Whatever the system language: the program's own texts are German.
    qputenv("LANG", "C");
    qputenv("LC_ALL", "C");
    qputenv("LANGUAGE", "");
    QApplication app(argc, argv);
    InstallQtTranslations();
    TstDialogs test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_dialogs.moc"
