// Start lists with named columns loaded from the main window: the mapping dialog,
// the protocol it fills, the remembered mapping, and the plain layout untouched.
#include "DlgStartList.h"
#include "ExcelApplication.h"
#include "FMain.h"
#include "ProtocolDocuments.h"
#include "StartListImport.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace {

QString Write(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes) {
    const QString path = dir.filePath(name);
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(bytes);
    return path;
}

// A workbook of the engine with these cells on its first sheet.
QString WriteWorkbook(const QTemporaryDir& dir, QList<QVariantList> cells) {
    const QString path = dir.filePath(QStringLiteral("meldungen.xlsx"));
    qsizetype width = 0;
    for (const QVariantList& row : cells)
        width = qMax(width, row.size());
    for (QVariantList& row : cells)
        while (row.size() < width)
            row << QVariant();
    auto e = ProtocolDocuments::CreateExcelApplication();
    IExcelWorkbook* wb = e->WorkBooksAdd();
    wb->WorkSheets(1)->SetValue(
        IExcelSheet::Range(IExcelSheet::Cells(1, 1),
                           IExcelSheet::Cells(int(cells.size()), int(cells[0].size()))),
        cells);
    wb->SaveAs(path);
    e->Quit();
    return path;
}

// Rows 1.. of the protocol as "number|name", and whether any other cell holds text.
QStringList Drivers(TFormMain& w, bool& otherCells) {
    QStringList out;
    otherCells = false;
    for (int r = 1; r < w.SortGrid1->RowCount(); ++r) {
        out << w.SortGrid1->Cells(0, r) + QLatin1Char('|') + w.SortGrid1->Cells(1, r);
        for (int c = 2; c < 10; ++c)
            otherCells = otherCells || !w.SortGrid1->Cells(c, r).trimmed().isEmpty();
    }
    return out;
}

} // namespace

class TstStartListApp : public QObject {
    Q_OBJECT
    QTemporaryDir FDir;
    int FShown = 0;
    QString FSuggested; // the drop-downs' texts when the dialog came up
    bool FTitleTicked = false; // the title's box when the dialog came up

    void AcceptAs(const QMap<int, QString>& changes = {}) {
        StartListImport::ExecDialog = [this, changes](TDlgStartList* d) {
            ++FShown;
            QStringList texts;
            for (int c = 0; d->Column(c); ++c)
                texts << d->Column(c)->currentText();
            FSuggested = texts.join(QLatin1Char(','));
            FTitleTicked = d->cbTitle->isChecked();
            d->cbTitle->setChecked(true);
            for (auto it = changes.cbegin(); it != changes.cend(); ++it)
                d->Column(it.key())->setCurrentText(it.value());
            return int(QDialog::Accepted);
        };
    }

private slots:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);
        TSettingsStore::UseFolder(FDir.filePath(QStringLiteral("settings")));
    }
    void init() {
        QDir::setCurrent(FDir.path());
        FShown = 0;
        AcceptAs();
    }

    void exports_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("drivers");
        QTest::addColumn<QStringList>("classes");
        QTest::addColumn<QString>("title"); // taken when ticked
        QTest::newRow("semicolon with mark")
            << "meldungen.csv"
            << QByteArray("\xEF\xBB\xBFStartnummer;Nachname;Vorname;Verein;Klasse;Fahrzeug\r\n"
                          "12;M\xC3\xBCller;Hans;MSC;A1;Porsche\r\n7;Vogt;Lena;;B;\r\n")
            << QStringList{"12|Hans Müller", "7|Lena Vogt"} << QStringList{"A1", "B"} << "";
        QTest::newRow("comma with quotes")
            << "nennung.csv"
            << QByteArray("Nr.,Name,Vorname,AK,Team\n3,\"Berger, Jr.\",Tom,U18,X\n")
            << QStringList{"3|Tom Berger, Jr."} << QStringList{"U18"} << "";
        QTest::newRow("tab") << "liste.txt"
                             << QByteArray("StNr\tVorname\tName\tGruppe\n21\tJana\tLehmann\tH\n")
                             << QStringList{"21|Jana Lehmann"} << QStringList{"H"} << "";
        QTest::newRow("workbook") << "meldungen.xlsx"
                                  << QByteArray("Nr.|Name|Vorname|Klasse\n5|Rot|Ida|A\n6|Blau|Max|B")
                                  << QStringList{"5|Ida Rot", "6|Max Blau"} << QStringList{"A", "B"}
                                  << "";
        QTest::newRow("workbook with a title row")
            << "meldungen.xlsx"
            << QByteArray("Nennliste Slalom Hockenheim\n\n"
                          "Startnummer|Nachname|Vorname|Klasse|Verein|Fahrzeug\n"
                          "5|Rot|Ida|A|MSC|Golf\n6|Blau|Max|B|RSC|Polo")
            << QStringList{"5|Ida Rot", "6|Max Blau"} << QStringList{"A", "B"}
            << "Nennliste Slalom Hockenheim";
        // The fixture's header row 4 made "Startnr.": three rows of title above it.
        QTest::newRow(".xls with title rows") << "startliste.xls" << QByteArray("Startnr. ")
                                              << QStringList{"12|Hans Müller", "7|Eva Groß", "21|Jörg Weiß"}
                                              << QStringList{"", "", ""} << "Sommertraining";
    }

    void exports() {
        QFETCH(QString, file);
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, drivers);
        QFETCH(QStringList, classes);
        QFETCH(QString, title);
        TFormMain w;
        w.eTitle->setText(QStringLiteral("Training"));
        if (file.endsWith(QLatin1String(".xlsx"))) {
            QList<QVariantList> cells;
            for (const QByteArray& line : bytes.split('\n')) {
                QVariantList row;
                for (const QByteArray& cell : line.split('|')) {
                    bool number = false;
                    const double d = cell.toDouble(&number);
                    row << (number ? QVariant(d) : QVariant(QString::fromUtf8(cell)));
                }
                cells << row;
            }
            w.ImportExcelSheet(WriteWorkbook(FDir, cells));
        } else if (file.endsWith(QLatin1String(".xls"))) {
            QFile fixture(QString::fromUtf8(OFFICE_TEST_DATA "/") + file);
            QVERIFY(fixture.open(QIODevice::ReadOnly));
            w.ImportExcelSheet(Write(FDir, file, fixture.readAll().replace("Start-Nr.", bytes)));
        } else {
            w.LoadProtocolText(Write(FDir, file, bytes));
        }
        QCOMPARE(FShown, 1);
        bool otherCells = true;
        QCOMPARE(Drivers(w, otherCells), drivers);
        QVERIFY(!otherCells); // no first name, club or class in a time cell
        QStringList got;
        for (const StartList::TEntrant& e : w.Entrants)
            got << e.Class;
        QCOMPARE(got, classes);
        QCOMPARE(w.FrameTimer1->hcbName->Text(), drivers[0].section('|', 1));
        QVERIFY(!FTitleTicked);
        QCOMPARE(w.eTitle->text(), title.isEmpty() ? QStringLiteral("Training") : title);
    }

    // The described layouts never see the dialog, and Escape loads nothing.
    void plainLayoutAndCancel() {
        TFormMain w;
        w.LoadProtocolText(Write(FDir, "plain.txt", "Start-Nr.;Name\r\n12;Hans\r\nNr;Peter\r\n"));
        QCOMPARE(FShown, 0);
        bool otherCells = true;
        QCOMPARE(Drivers(w, otherCells), (QStringList{"12|Hans", "Nr|Peter"}));

        StartListImport::ExecDialog = [this](TDlgStartList*) {
            ++FShown;
            return int(QDialog::Rejected);
        };
        w.LoadProtocolText(Write(FDir, "named.csv", "Nr;Name;Verein\n1;Eva;MSC\n"));
        QCOMPARE(FShown, 1);
        QCOMPARE(Drivers(w, otherCells), (QStringList{"12|Hans", "Nr|Peter"}));
    }

    // "Übernehmen" waits for a name column; missing start numbers are marked and counted.
    void listWithoutNames() {
        TFormMain w;
        w.LoadProtocolText(Write(FDir, "plain.txt", "Start-Nr.;Name\r\n12;Hans\r\n"));
        const QString list =
            Write(FDir, "teilnehmer.csv", "Pos;Teilnehmer;Nr;Verein\n1;Eva;;MSC\n2;Max;7;RSC\n");
        QString name; // what column 2 is made
        QStringList seen;
        // Accepted also with "Übernehmen" disabled, as if Enter got through.
        StartListImport::ExecDialog = [&](TDlgStartList* d) {
            if (!name.isEmpty()) d->Column(1)->setCurrentText(name);
            seen = QStringList{d->lSummary->text(),
                               d->tvDrivers->model()->index(0, 0).data().toString(),
                               d->OKBtn->isEnabled() ? "enabled" : "disabled"};
            return int(QDialog::Accepted);
        };
        bool other = true;
        w.LoadProtocolText(list);
        QCOMPARE(seen.last(), "disabled");
        QCOMPARE(Drivers(w, other), QStringList{"12|Hans"});
        name = QStringLiteral("Name");
        w.LoadProtocolText(list);
        QCOMPARE(seen, (QStringList{"2 Fahrer. 1 Zeile(n) ohne Start-Nr. (gelb markiert).",
                                    "(ohne Nr.)", "enabled"}));
        QCOMPARE(Drivers(w, other), (QStringList{"|Eva", "7|Max"}));
    }

    // A mapping chosen for a layout is suggested again for the next file of that layout.
    void rememberedMapping() {
        const QByteArray list("Nr;Name;Verein;Fahrer\n1;Eva;MSC;Eva Rot\n");
        {
            TFormMain w;
            AcceptAs({{1, QStringLiteral("nicht übernehmen")}, {3, QStringLiteral("Name")}});
            w.LoadProtocolText(Write(FDir, "a.csv", list));
            bool other = true;
            QCOMPARE(Drivers(w, other), QStringList{"1|Eva Rot"});
            w.SettingsStore().Sync();
        }
        TFormMain w;
        AcceptAs();
        w.LoadProtocolText(Write(FDir, "b.csv", list));
        QCOMPARE(FSuggested, QStringLiteral("Start-Nr.,nicht übernehmen,Verein,Name"));
    }
};

QTEST_MAIN(TstStartListApp)
#include "tst_startlist_app.moc"
