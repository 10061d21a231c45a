// The season at the main window: events of the program's own database and of an
// added file scored together, two spellings joined from the window, printout,
// page, workbook and live page, and a settings dialog that keeps only a points
// table and event files it can use.
#include "EventsFeature.h"
#include "EventStore.h"
#include "FMain.h"
#include "FSeason.h"
#include "LiveState.h"
#include "ProtocolDocuments.h"
#include "RunSnapshot.h"
#include "SeasonFeature.h"
#include "WorkbookFiles.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPrinter>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

static TRunSettings Run;

namespace {

void TimeRun(TFormMain& w, const QString& name, uint32_t start, int lap) {
    TimeLaps(w, name, start, lap, lap, true);
}

// Last spring's events of another laptop: Hans wins, then Eva, written "Eva M." there.
QString LastSpring(const QString& path) {
    TEventDb db;
    if (!db.OpenForWriting(path).Ok()) return {};
    std::vector<TEventDb::TRecord> records;
    const std::vector<std::pair<QString, int>> results[2] = {{{"Hans", 61000}, {"Eva", 62000}},
                                                             {{"Hans", 63000}, {"Eva M.", 62000}}};
    for (int e = 0; e < 2; ++e) {
        TEventInfo info;
        info.Uuid = QStringLiteral("frueh-%1").arg(e);
        info.Title = e ? QStringLiteral("Sommerslalom") : QStringLiteral("Frühjahrsslalom");
        info.Date = QDate(2026, 4 + e, 1);
        records.push_back(info);
        for (const auto& [name, total] : results[e]) {
            TRunRecord r;
            r.EventUuid = info.Uuid;
            r.Name = name;
            r.StartMs = QDateTime(info.Date, QTime(10, 0)).toMSecsSinceEpoch() + total;
            r.LapMs = {total / 2, total - total / 2, -1, -1, -1};
            RecomputeTotals(r);
            records.push_back(r);
        }
    }
    return db.Write(records) ? path : QString();
}

// "rank|name|results…|points" of every driver.
QStringList Table(const TSeasonFeature* s) {
    QStringList out;
    for (const TSeasonRow& r : s->Rows()) {
        QStringList t = SeasonTexts(r);
        t.removeAt(secClass);
        t.removeAt(secStartNo);
        out << t.join(QLatin1Char('|'));
    }
    return out;
}

} // namespace

class TstSeasonApp : public QObject {
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> FDir;
    QString FFile;

    // The current event timed here, the season made of it and last spring's two.
    // station: a second station's file holds the current event too.
    void Season(TFormMain& w, int bestN, bool station = false) {
        TimeRun(w, QStringLiteral("Hans"), 10000, 30000);
        TimeRun(w, QStringLiteral("Eva"), 200000, 30500);
        TimeRun(w, QStringLiteral("Olaf"), 400000, 31000);
        w.Events->Store().Flush();
        const QString other = FDir->filePath(QStringLiteral("station2.db"));
        if (station)
            for (const char* part : {"", "-wal"})
                QFile::copy(w.Events->DatabasePath() + QLatin1String(part), other + QLatin1String(part));
        TSeasonFeature::ExecSettings = [this, bestN, station, other](TDlgSeason* d) {
            d->eName->setText(QStringLiteral("Clubmeisterschaft"));
            d->seBestN->setValue(bestN);
            // Only the event already listed from the program's own file: nothing to add.
            if (station && (d->AddFile(other) || !d->lProblem->text().contains(QStringLiteral("schon in der Liste"))))
                return int(QDialog::Rejected);
            if (!d->AddFile(FFile)) return int(QDialog::Rejected);
            for (int i = 0; i < d->lwEvents->count(); ++i)
                d->lwEvents->item(i)->setCheckState(Qt::Checked);
            d->OKBtn->click();
            return d->result();
        };
        w.Season->ShowSeason();
        w.Season->EditSettings();
    }

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void init() {
        FDir = std::make_unique<QTemporaryDir>();
        QDir::setCurrent(FDir->path());
        TSettingsStore::UseFolder(FDir->filePath(QStringLiteral("settings")));
        TickSource::SetManual(1000);
        Run.Cars = 1;
        Run.Laps = 2;
        FFile = LastSpring(FDir->filePath(QStringLiteral("vorjahr.db")));
        QVERIFY(!FFile.isEmpty());
    }
    void cleanup() {
        TickSource::UseSystem();
        TSettingsStore::UseNone();
    }

    // Three events from two files; Eva joined to her other spelling from the window,
    // which the next start still knows.
    void joinedAcrossFiles() {
        {
            TFormMain w(Run);
            Season(w, 0, true); // the event in a second station's file too counts once
            TSeasonFeature* s = w.Season;
            QCOMPARE(s->Page().Events.size(), 3);
            QCOMPARE(Table(s), (QStringList{"1|Hans|20|17|20|57", "2|Eva|17||17|34", "3|Eva M.||20||20",
                                            "4|Olaf|||15|15"}));
            // Eva's row current, Eva M.'s selected too.
            QTableWidget* t = s->Window()->tbSeason;
            t->setCurrentCell(2, secName);
            t->selectionModel()->select(t->model()->index(3, 0),
                                        QItemSelectionModel::Select | QItemSelectionModel::Rows);
            QVERIFY(s->JoinSelected());
            QVERIFY(s->Window()->lNotice->text().contains(QStringLiteral("„Eva M.“ zählt jetzt als „Eva“")));
        }
        TFormMain again(Run);
        QTRY_COMPARE(Table(again.Season),
                     (QStringList{"1|Hans|20|17|20|57", "2|Eva|17|20|17|54", "3|Olaf|||15|15"}));
    }

    // Last year's file of the schema before station identities: read from a
    // migrated copy, the file itself left as it is.
    void olderFileLeftAsItIs() {
        {
            QSqlDatabase d = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("v1"));
            d.setDatabaseName(FFile);
            QVERIFY(d.open());
            QSqlQuery q(d);
            for (const char* t : {"events", "event_titles", "runs", "corrections", "entrants"})
                QVERIFY(q.exec(QStringLiteral("DROP INDEX %1_by_identity").arg(QLatin1String(t))) &&
                        q.exec(QStringLiteral("ALTER TABLE %1 DROP COLUMN station_id").arg(QLatin1String(t))));
            for (const char* t : {"runs", "corrections"})
                QVERIFY(q.exec(QStringLiteral("CREATE UNIQUE INDEX %1_by_station ON %1 (station, seq)").arg(QLatin1String(t))));
            QVERIFY(q.exec(QStringLiteral("UPDATE schema_info SET value = '1' WHERE name = 'version'")));
            q.exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
        }
        QSqlDatabase::removeDatabase(QStringLiteral("v1"));
        QCOMPARE(TEventDb::FileSchemaVersion(FFile), 1);
        TFormMain w(Run);
        Season(w, 0);
        QCOMPARE(Table(w.Season).value(0), QStringLiteral("1|Hans|20|17|20|57"));
        QCOMPARE(TEventDb::FileSchemaVersion(FFile), 1);
        QVERIFY(!QFileInfo::exists(FDir->filePath(QStringLiteral("vorjahr.v1.db")))); // no copy beside it either
    }

    // Best two of three: the dropped results in brackets and as a footnote wherever the season goes.
    void documents_data() {
        QTest::addColumn<QString>("kind");
        QTest::newRow("PDF") << "pdf";
        QTest::newRow("web page") << "html";
        QTest::newRow("workbook") << "xlsx";
        QTest::newRow("live page") << "live";
    }
    void documents() {
        QFETCH(QString, kind);
        TFormMain w(Run);
        Season(w, 2);
        TSeasonFeature* s = w.Season;
        QCOMPARE(Table(s), (QStringList{"1|Hans|20|(17)|20|40", "2|Eva|17||17|34", "3|Eva M.||20||20",
                                        "4|Olaf|||15|15"}));
        const QString path = FDir->filePath(QStringLiteral("saison.") + kind);
        QString text;
        if (kind == QLatin1String("pdf")) {
            const ReportPrint::TPrintTable t = s->PrintTable();
            QCOMPARE(t.Head.join('|'), QStringLiteral("Platz|Start-Nr.|Name|01.04.|01.05.|%1|Punkte")
                                           .arg(QDate::currentDate().toString(QStringLiteral("dd.MM."))));
            for (const QStringList& r : t.Rows)
                text += r.join('|') + '\n';
            text += t.Footnotes.join('\n');
            ProtocolDocuments::ExecPrintDialog = [path](QPrinter* p) {
                p->setOutputFormat(QPrinter::PdfFormat);
                p->setOutputFileName(path);
                return true;
            };
            QVERIFY(s->Print());
            QVERIFY(QFileInfo(path).size() > 1000);
        } else if (kind == QLatin1String("html")) {
            QVERIFY(s->WriteHtml(path));
            QFile f(path);
            QVERIFY(f.open(QIODevice::ReadOnly));
            text = QString::fromUtf8(f.readAll());
        } else if (kind == QLatin1String("xlsx")) {
            QVERIFY(s->WriteXlsx(path));
            const TSheetModel sheet = WorkbookFiles::Read(path).Sheets.value(0);
            for (int row = 1; row <= sheet.LastRow(); ++row) {
                for (int col = 1; col <= sheet.LastCol(); ++col) {
                    const TCell* c = sheet.Find(row, col);
                    text += (c ? TSheetModel::DisplayText(*c) : QString()) + '|';
                }
                text += '\n';
            }
        } else {
            TLiveState state;
            s->FillLive(state);
            const QJsonObject doc =
                QJsonDocument::fromJson(LiveStateJson(LiveSeasonJsonBody(state, 1), 0)).object();
            QCOMPARE(doc["name"].toString(), QStringLiteral("Clubmeisterschaft"));
            text = QString::fromUtf8(QJsonDocument(doc).toJson());
        }
        QVERIFY2(text.contains(QStringLiteral("(17)")), qPrintable(text));
        if (kind != QLatin1String("live"))
            QVERIFY2(text.contains(QStringLiteral("¹ (…) Streichergebnis: es zählen die besten 2 von 3")),
                     qPrintable(text));
    }

    // A very long name is shortened on the screen, so that the points stay in sight; its
    // tooltip shows it whole.
    void longNameKeepsThePointsInSight() {
        TFormMain w(Run);
        const QString name = QStringLiteral("Maximilian-Alexander Freiherr von und zu "
                                            "Großglockner-Überreuther, Rennsportgemeinschaft Süd");
        TimeRun(w, name, 2000, 2500);
        Season(w, 0);
        QTableWidget* t = w.Season->Window()->tbSeason;
        QVERIFY(t->columnWidth(secName) < t->fontMetrics().horizontalAdvance(name));
        const QList<QTableWidgetItem*> found = t->findItems(name, Qt::MatchExactly);
        QCOMPARE(found.size(), 1);
        QCOMPARE(found[0]->toolTip(), name);
    }

    // The dialog keeps only points it can rank by and files that hold events.
    void settingsDialog_data() {
        QTest::addColumn<QString>("points");
        QTest::addColumn<QByteArray>("file"); // an added file's bytes; empty: none added
        QTest::addColumn<QString>("problem"); // empty: accepted
        QTest::newRow("a shorter table") << "10, 8, 6, 5" << QByteArray() << "";
        QTest::newRow("points rising") << "15, 17, 20" << QByteArray() << "keine größer";
        QTest::newRow("a word among the points") << "20, 17, viele" << QByteArray() << "ganze Zahlen";
        QTest::newRow("no points at all") << "" << QByteArray() << "ganze Zahlen";
        QTest::newRow("a file that is no event file")
            << "20" << QByteArray("Start-Nr.;Name\r\n1;Hans\r\n") << "lässt sich nicht als Veranstaltungsdatei lesen";
    }
    void settingsDialog() {
        QFETCH(QString, points);
        QFETCH(QByteArray, file);
        QFETCH(QString, problem);
        TFormMain w(Run);
        QString shown;
        bool added = true;
        TSeasonFeature::ExecSettings = [&](TDlgSeason* d) {
            d->ePoints->setText(points);
            if (!file.isEmpty()) {
                QFile f(FDir->filePath(QStringLiteral("liste.db")));
                f.open(QIODevice::WriteOnly);
                f.write(file);
                f.close();
                added = d->AddFile(f.fileName());
                if (!added) shown = d->lProblem->text();
            }
            d->OKBtn->click();
            if (shown.isEmpty()) shown = d->lProblem->text();
            return d->result();
        };
        w.Season->EditSettings();
        QVERIFY2(problem.isEmpty() ? shown.isEmpty() : shown.contains(problem), qPrintable(shown));
        QCOMPARE(added, file.isEmpty());
        QCOMPARE(w.Season->Settings.Files.isEmpty(), true);
        if (problem.isEmpty()) QCOMPARE(PointsText(w.Season->Settings.Rules.Points), points);
        else if (file.isEmpty()) QCOMPARE(w.Season->Settings.Rules.Points, TSeasonRules::DefaultPoints());
    }
};

QTEST_MAIN(TstSeasonApp)
#include "tst_season_app.moc"
