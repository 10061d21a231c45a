#include "Season.h"

#include "EventDb.h"
#include "Settings.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QRegularExpression>
#include <QSet>
#include <algorithm>
#include <climits>
#include <memory>

namespace {

const QString NameValue = QStringLiteral("SaisonName");
const QString PointsValue = QStringLiteral("SaisonPunkte");
const QString BestNValue = QStringLiteral("SaisonBesteN");
const QString FilesValue = QStringLiteral("SaisonDateien");
const QString EventsValue = QStringLiteral("SaisonVeranstaltungen");
const QString JoinedValue = QStringLiteral("SaisonFahrer");

const QString DroppedNote = QStringLiteral("(…) Streichergebnis: es zählen die besten %1 von %2 Veranstaltungen");
const QString PlacingsNote = QStringLiteral("Punktgleich: die besseren Platzierungen entscheiden");
const QString LastEventNote = QStringLiteral("Punktgleich: die letzte Veranstaltung entscheidet");

QStringList Lines(const QVariant& v) {
    QStringList out;
    for (const QString& l : v.toString().split(QLatin1Char('\n')))
        if (!l.trimmed().isEmpty()) out << l;
    return out;
}

int PointsFor(const QList<int>& points, int place) {
    return place >= 1 && place <= points.size() ? points[place - 1] : 0;
}

// Counted places, best first: the countback compares these.
QList<int> CountedPlaces(const TSeasonRow& r) {
    QList<int> places;
    for (const TSeasonResult& x : r.Results)
        if (x.Entered && !x.Dropped && x.Place > 0) places << x.Place;
    std::sort(places.begin(), places.end());
    return places;
}

enum TDecided { dTie, dPoints, dPlacings, dLastEvent };

// < 0: a ranks before b.
int Compare(const TSeasonRow& a, const TSeasonRow& b, TDecided* how = nullptr) {
    const auto decided = [how](TDecided d, int v) {
        if (how) *how = d;
        return v;
    };
    if (a.Points != b.Points) return decided(dPoints, a.Points > b.Points ? -1 : 1);
    // More wins first, then more second places, …
    const QList<int> pa = CountedPlaces(a), pb = CountedPlaces(b);
    for (qsizetype i = 0; i < std::min(pa.size(), pb.size()); ++i)
        if (pa[i] != pb[i]) return decided(dPlacings, pa[i] < pb[i] ? -1 : 1);
    if (pa.size() != pb.size()) return decided(dPlacings, pa.size() > pb.size() ? -1 : 1);
    // The last event where they differ; a place beats none.
    for (qsizetype i = a.Results.size() - 1; i >= 0; --i) {
        const int x = a.Results[i].Place > 0 ? a.Results[i].Place : INT_MAX;
        const int y = b.Results[i].Place > 0 ? b.Results[i].Place : INT_MAX;
        if (x != y) return decided(dLastEvent, x < y ? -1 : 1);
    }
    return decided(dTie, 0);
}

void DropAllButBest(TSeasonRow& r, int bestN) {
    QList<int> entered;
    for (int i = 0; i < r.Results.size(); ++i)
        if (r.Results[i].Entered) entered << i;
    if (bestN <= 0 || entered.size() <= bestN) return;
    // Fewest points go first; of equal ones the earlier event.
    std::stable_sort(entered.begin(), entered.end(), [&r](int x, int y) {
        if (r.Results[x].Points != r.Results[y].Points) return r.Results[x].Points > r.Results[y].Points;
        return x > y;
    });
    for (qsizetype i = bestN; i < entered.size(); ++i)
        r.Results[entered[i]].Dropped = true;
}

} // namespace

QList<int> TSeasonRules::DefaultPoints() {
    return {20, 17, 15, 13, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1};
}

QString PointsText(const QList<int>& points) {
    QStringList t;
    for (const int p : points)
        t << QString::number(p);
    return t.join(QStringLiteral(", "));
}

bool ParsePoints(const QString& text, QList<int>& points) {
    static const QRegularExpression sep(QStringLiteral("[\\s,;]+"));
    QList<int> parsed;
    for (const QString& f : text.split(sep, Qt::SkipEmptyParts)) {
        bool ok = false;
        const int p = f.toInt(&ok);
        if (!ok || p < 0 || p > 1000 || (!parsed.isEmpty() && p > parsed.back())) return false;
        parsed << p;
    }
    if (parsed.isEmpty() || parsed.size() > 100) return false;
    points = parsed;
    return true;
}

void TSeasonSettings::Read(const TSettingsStore& store) {
    const QVariant name = store.Value(NameValue);
    if (name.isValid() && !name.toString().simplified().isEmpty()) Name = name.toString().simplified();
    ParsePoints(store.Value(PointsValue).toString(), Rules.Points);
    int n = 0;
    if (store.ReadInt(BestNValue, n) && n >= 0 && n <= 100) Rules.BestN = n;
    Files = Lines(store.Value(FilesValue));
    Events.clear();
    for (const QString& l : Lines(store.Value(EventsValue))) {
        const QStringList f = l.split(QLatin1Char('\t'));
        if (!f[0].trimmed().isEmpty()) Events << TSeasonEventRef{f.value(1), f[0].trimmed()};
    }
    Rules.Joined.clear();
    for (const QString& l : Lines(store.Value(JoinedValue))) {
        const QStringList f = l.split(QLatin1Char('\t'));
        if (f.size() == 2 && f[0] != f[1]) Rules.Joined.insert(f[0], f[1]);
    }
}

void TSeasonSettings::Write(TSettingsStore& store) const {
    store.SetValue(NameValue, Name);
    store.SetValue(PointsValue, PointsText(Rules.Points));
    store.SetValue(BestNValue, Rules.BestN);
    store.SetValue(FilesValue, Files.join(QLatin1Char('\n')));
    QStringList events;
    for (const TSeasonEventRef& e : Events)
        events << e.Uuid + QLatin1Char('\t') + e.File;
    store.SetValue(EventsValue, events.join(QLatin1Char('\n')));
    QStringList joined;
    for (auto it = Rules.Joined.begin(); it != Rules.Joined.end(); ++it)
        joined << it.key() + QLatin1Char('\t') + it.value();
    joined.sort(); // the same file for the same joins
    store.SetValue(JoinedValue, joined.join(QLatin1Char('\n')));
}

QString SeasonKey(const QString& key, const TSeasonRules& rules) {
    QString k = key;
    for (int i = 0; i < 10 && rules.Joined.contains(k); ++i) // a loop typed by hand ends
        k = rules.Joined.value(k);
    return k;
}

QList<TSeasonRow> ComputeSeason(const QList<TSeasonEvent>& events, const TSeasonRules& rules) {
    QList<TSeasonRow> rows;
    QHash<QString, qsizetype> index;
    QSet<QString> ownSpelling; // rows that met the spelling they are joined under
    QStringList classes;
    for (qsizetype e = 0; e < events.size(); ++e) {
        for (const TStandingRow& s : events[e].Rows) {
            const QString key = SeasonKey(s.Key, rules);
            auto it = index.find(key);
            if (it == index.end()) {
                it = index.insert(key, rows.size());
                TSeasonRow r;
                r.Key = key;
                for (qsizetype i = 0; i < events.size(); ++i)
                    r.Results << TSeasonResult{};
                rows << r;
            }
            TSeasonRow& r = rows[*it];
            // The spelling joined to wins; else the latest.
            if (s.Key == key || !ownSpelling.contains(key)) {
                r.StartNo = s.StartNo;
                r.Name = s.Name;
                if (s.Key == key) ownSpelling.insert(key);
            }
            if (!s.Class.isEmpty()) {
                r.Class = s.Class;
                if (!classes.contains(s.Class)) classes << s.Class;
            }
            TSeasonResult& x = r.Results[e];
            // A driver twice in one event (two spellings joined): the better result.
            const int place = s.ClassRank.toInt();
            if (x.Entered && (x.Place > 0 && (place <= 0 || place >= x.Place))) continue;
            x.Entered = true;
            x.Place = place;
            x.Status = place > 0 ? QString() : s.Status.isEmpty() ? QStringLiteral("-") : s.Status;
            x.Points = PointsFor(rules.Points, place);
        }
    }
    const int m = int(events.size());
    for (TSeasonRow& r : rows) {
        DropAllButBest(r, rules.BestN);
        for (const TSeasonResult& x : r.Results)
            if (x.Entered && !x.Dropped) r.Points += x.Points;
        if (std::ranges::any_of(r.Results, [](const TSeasonResult& x) { return x.Dropped; }))
            r.Notes << DroppedNote.arg(rules.BestN).arg(m);
    }
    classes << QString();
    QList<TSeasonRow> ordered;
    ordered.reserve(rows.size());
    for (const QString& c : classes) {
        QList<TSeasonRow> in;
        for (const TSeasonRow& r : rows)
            if (r.Class == c) in << r;
        std::stable_sort(in.begin(), in.end(),
                         [](const TSeasonRow& a, const TSeasonRow& b) { return Compare(a, b) < 0; });
        for (qsizetype i = 0; i < in.size(); ++i) {
            TDecided how = dPoints;
            const int cmp = i > 0 ? Compare(in[i - 1], in[i], &how) : -1;
            in[i].Rank = cmp == 0 ? in[i - 1].Rank : QString::number(i + 1);
            if (i > 0 && (how == dPlacings || how == dLastEvent)) {
                const QString note = how == dPlacings ? PlacingsNote : LastEventNote;
                for (TSeasonRow* r : {&in[i - 1], &in[i]})
                    if (!r->Notes.contains(note)) r->Notes << note;
            }
        }
        ordered << in;
    }
    return ordered;
}

QString SeasonEventCaption(const TSeasonEvent& e) {
    return e.Date.isValid() ? e.Date.toString(QStringLiteral("dd.MM.")) : e.Title;
}

QStringList SeasonCaptions(const QList<TSeasonEvent>& events) {
    QStringList c{QStringLiteral("Platz"), QStringLiteral("Start-Nr."), QStringLiteral("Name"),
                  QStringLiteral("Klasse")};
    for (const TSeasonEvent& e : events) {
        QString caption = SeasonEventCaption(e);
        // Two events on one day: numbered, so every column has a caption of its own.
        for (int k = 2; c.contains(caption); ++k)
            caption = SeasonEventCaption(e) + QStringLiteral(" (%1)").arg(k);
        c << caption;
    }
    c << QStringLiteral("Punkte");
    return c;
}

QString SeasonResultText(const TSeasonResult& r) {
    if (!r.Entered) return {};
    const QString t = r.Place > 0 ? QString::number(r.Points) : r.Status;
    return r.Dropped ? QLatin1Char('(') + t + QLatin1Char(')') : t;
}

QStringList SeasonTexts(const TSeasonRow& row) {
    QStringList t{row.Rank, row.StartNo, row.Name, row.Class};
    for (const TSeasonResult& x : row.Results)
        t << SeasonResultText(x);
    t << QString::number(row.Points);
    return t;
}

QString SeasonCountText(const TSeasonRules& rules, int events) {
    if (rules.BestN > 0 && rules.BestN < events)
        return QStringLiteral("beste %1 von %2 Veranstaltungen").arg(rules.BestN).arg(events);
    return events == 1 ? QStringLiteral("1 Veranstaltung")
                       : QStringLiteral("alle %1 Veranstaltungen").arg(events);
}

QList<TSeasonSection> SeasonSections(const QList<TSeasonRow>& rows) {
    QList<TSeasonSection> sections;
    for (const TSeasonRow& r : rows) {
        const QString caption = r.Class.isEmpty() ? QStringLiteral("Ohne Klasse") : r.Class;
        if (sections.isEmpty() || sections.back().Caption != caption) sections << TSeasonSection{caption, {}};
        sections.back().Rows << &r;
    }
    return sections;
}

TSeasonFootnotes SeasonFootnotes(const QList<TSeasonSection>& sections) {
    TSeasonFootnotes f;
    for (const TSeasonSection& s : sections)
        for (const TSeasonRow* r : s.Rows)
            for (const QString& n : r->Notes)
                if (!f.Texts.contains(n)) f.Texts << n;
    return f;
}

QString TSeasonFootnotes::MarksOf(const TSeasonRow& row) const {
    QList<int> numbers;
    for (const QString& n : row.Notes)
        if (const qsizetype i = Texts.indexOf(n); i >= 0) numbers << int(i) + 1;
    std::sort(numbers.begin(), numbers.end());
    QString marks;
    for (const int n : numbers)
        marks += (marks.isEmpty() ? QString() : QString(QChar(0x2009))) + FootnoteMark(n);
    return marks;
}

QStringList TSeasonFootnotes::Lines(const QList<const TSeasonRow*>& rows) const {
    QList<int> numbers;
    for (const TSeasonRow* r : rows)
        for (const QString& n : r->Notes)
            if (const qsizetype i = Texts.indexOf(n); i >= 0 && !numbers.contains(int(i) + 1))
                numbers << int(i) + 1;
    std::sort(numbers.begin(), numbers.end());
    QStringList lines;
    for (const int n : numbers)
        lines << FootnoteMark(n) + QLatin1Char(' ') + Texts[n - 1];
    return lines;
}

QStringList SeasonSheetTexts(const TSeasonRow& row, const TSeasonFootnotes& notes) {
    QStringList t = SeasonTexts(row);
    t.back() += notes.MarksOf(row);
    return t;
}

QString SeasonRuleLine(const TSeasonPage& page) {
    return QStringLiteral("Punkte: ") + PointsText(page.Rules.Points) + QStringLiteral(" – ") +
           SeasonCountText(page.Rules, int(page.Events.size()));
}

QString SeasonEventsLine(const QList<TSeasonEvent>& events) {
    QStringList t;
    for (const TSeasonEvent& e : events)
        t << (e.Date.isValid() ? e.Date.toString(QStringLiteral("dd.MM. ")) : QString()) + e.Title;
    return t.join(QStringLiteral(", "));
}

QByteArray SeasonHtml(const TSeasonPage& page) {
    const auto esc = [](const QString& t) { return t.toHtmlEscaped(); };
    QString h;
    h += QStringLiteral("<!DOCTYPE html>\n<html lang=\"de\">\n<head>\n<meta charset=\"utf-8\">\n"
                        "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n");
    h += QStringLiteral("<title>Saisonwertung – ") + esc(page.Name) + QStringLiteral("</title>\n");
    h += QStringLiteral(
        "<style>body{font-family:'Liberation Sans',Arial,sans-serif;margin:1em}"
        "table{border-collapse:collapse;margin-bottom:1.5em}"
        "th{background:#999;color:#fff;padding:3px 8px;white-space:nowrap}"
        "td{padding:3px 8px;border-bottom:1px solid #ccc;white-space:nowrap}"
        "td.t{text-align:right}td.b{font-weight:bold;text-align:right}"
        "tr:nth-child(even) td{background:#f2f2f2}h1{font-size:1.4em}h2{font-size:1.15em}"
        "table+p.fn{margin-top:-1em;font-size:0.9em}</style>\n"
        "</head>\n<body>\n");
    h += QStringLiteral("<h1>") + esc(page.Name) + QStringLiteral("</h1>\n<p>") + esc(SeasonRuleLine(page)) +
         QStringLiteral(" – Stand: ") + esc(page.Date) + QStringLiteral("</p>\n<p>Veranstaltungen: ") +
         esc(SeasonEventsLine(page.Events)) + QStringLiteral("</p>\n");
    const QStringList captions = SeasonCaptions(page.Events);
    const QList<TSeasonSection> sections = SeasonSections(page.Rows);
    const TSeasonFootnotes notes = SeasonFootnotes(sections);
    for (const TSeasonSection& s : sections) {
        h += QStringLiteral("<h2>") + esc(s.Caption) + QStringLiteral("</h2>\n<table>\n<tr>");
        for (int c = 0; c < captions.size(); ++c)
            if (c != secClass) h += QStringLiteral("<th>") + esc(captions[c]) + QStringLiteral("</th>");
        h += QStringLiteral("</tr>\n");
        for (const TSeasonRow* r : s.Rows) {
            const QStringList t = SeasonSheetTexts(*r, notes);
            h += QStringLiteral("<tr>");
            for (int c = 0; c < t.size(); ++c) {
                if (c == secClass) continue;
                h += QStringLiteral("<td") +
                     (c == t.size() - 1 ? QStringLiteral(" class=\"b\"")
                      : c != secName    ? QStringLiteral(" class=\"t\"")
                                        : QString()) +
                     QLatin1Char('>') + esc(t[c]) + QStringLiteral("</td>");
            }
            h += QStringLiteral("</tr>\n");
        }
        h += QStringLiteral("</table>\n");
        const QStringList lines = notes.Lines(s.Rows);
        if (!lines.isEmpty()) {
            QStringList escaped;
            for (const QString& l : lines)
                escaped << esc(l);
            h += QStringLiteral("<p class=\"fn\">") + escaped.join(QStringLiteral("<br>\n")) +
                 QStringLiteral("</p>\n");
        }
    }
    h += QStringLiteral("</body>\n</html>\n");
    h.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    return h.toUtf8();
}

namespace {

QString FileOf(const QString& ownFile, const QString& file) {
    return file.isEmpty() ? ownFile : file;
}

// An event file of an older version (last year's, another laptop's) is read from a
// migrated copy: the official's file itself is never changed.
bool OpenEventFile(TEventDb& db, const QString& path, std::unique_ptr<QTemporaryDir>& scratch) {
    if (!QFileInfo::exists(path)) return false;
    const int version = TEventDb::FileSchemaVersion(path);
    if (version <= 0 || version >= TEventDb::SchemaVersion) return db.OpenForReading(path);
    scratch = std::make_unique<QTemporaryDir>();
    const QString copy = scratch->filePath(QStringLiteral("kopie.db"));
    if (!scratch->isValid() || !QFile::copy(path, copy)) return false;
    for (const char* side : {"-wal", "-shm"})
        if (QFileInfo::exists(path + QLatin1String(side))) QFile::copy(path + QLatin1String(side), copy + QLatin1String(side));
    {
        TEventDb writer;
        if (writer.OpenForWriting(copy).Problem != TEventDb::TProblem::None) return false;
    }
    return db.OpenForReading(copy);
}

QString FileProblem(const QString& file) {
    return QStringLiteral("„%1“ lässt sich nicht als Veranstaltungsdatei lesen.")
        .arg(QFileInfo(file).fileName());
}

} // namespace

QList<TSeasonCandidate> SeasonCandidates(const QString& ownFile, const QStringList& files,
                                         QStringList* problems) {
    QList<TSeasonCandidate> out;
    QStringList all{QString()};
    for (const QString& f : files)
        if (!f.isEmpty() && QFileInfo(f).absoluteFilePath() != QFileInfo(ownFile).absoluteFilePath() &&
            !all.contains(f))
            all << f;
    for (const QString& f : all) {
        const QString path = FileOf(ownFile, f);
        if (f.isEmpty() && !QFileInfo::exists(path)) continue; // no event timed yet
        std::unique_ptr<QTemporaryDir> scratch; // outlives the connection to its copy
        TEventDb db;
        if (!OpenEventFile(db, path, scratch)) {
            if (problems) *problems << FileProblem(path);
            continue;
        }
        // Stations on one server each hold the same event: it is offered once, from
        // the first file that has it (the program's own first).
        for (const TEventInfo& e : db.Events())
            if (std::ranges::none_of(out, [&e](const TSeasonCandidate& c) { return c.Ref.Uuid == e.Uuid; }))
                out << TSeasonCandidate{{f, e.Uuid}, e.Title, e.Date};
    }
    return out;
}

QList<TSeasonEvent> ReadSeasonEvents(const QString& ownFile, const QList<TSeasonEventRef>& refs,
                                     const TScoring& scoring, QStringList* problems) {
    QList<TSeasonEvent> out;
    QHash<QString, QList<TSeasonEventRef>> byFile;
    QStringList order;
    QSet<QString> read;
    for (const TSeasonEventRef& r : refs) {
        if (!byFile.contains(r.File)) order << r.File;
        byFile[r.File] << r;
    }
    for (const QString& f : order) {
        const QString path = FileOf(ownFile, f);
        std::unique_ptr<QTemporaryDir> scratch; // outlives the connection to its copy
        TEventDb db;
        if (!OpenEventFile(db, path, scratch)) {
            if (problems) *problems << FileProblem(path);
            continue;
        }
        QHash<QString, TEventInfo> infos;
        for (const TEventInfo& e : db.Events())
            infos.insert(e.Uuid, e);
        for (const TSeasonEventRef& r : byFile[f]) {
            if (read.contains(r.Uuid)) continue; // ticked in two files: counts once
            if (!infos.contains(r.Uuid)) {
                if (problems)
                    *problems << QStringLiteral("Eine Veranstaltung der Saison fehlt in „%1“.")
                                     .arg(QFileInfo(path).fileName());
                continue;
            }
            const TEventInfo& info = infos[r.Uuid];
            read.insert(r.Uuid);
            out << TSeasonEvent{info.Title, info.Date,
                                ComputeStandings(db.EffectiveRuns(r.Uuid), scoring,
                                                 EntrantClasses(db.Entrants(r.Uuid)))};
        }
    }
    std::stable_sort(out.begin(), out.end(), [](const TSeasonEvent& a, const TSeasonEvent& b) {
        return a.Date < b.Date;
    });
    return out;
}
