#include "Standings.h"

#include "Exclusion.h"
#include "Rounds.h"
#include "RunList.h"
#include "TimeText.h"

#include <QSet>
#include <algorithm>
#include <climits>
#include <cstdlib>

namespace {

bool DrivenBefore(const TEffectiveRun* a, const TEffectiveRun* b) {
    const qint64 ta = a->Run.StartMs ? a->Run.StartMs : a->Run.RecordedMs;
    const qint64 tb = b->Run.StartMs ? b->Run.StartMs : b->Run.RecordedMs;
    return ta < tb;
}

bool Timed(const TEffectiveRun& e) {
    return e.Run.Status == RunStatusOk && e.Run.TotalMs >= 0;
}

int CountingOf(const TEffectiveRun& e) {
    return e.Run.TotalMs + e.PenaltyMs();
}

// Order of the statuses after the timed drivers.
int StatusOrder(const QString& status) {
    if (status.isEmpty()) return 0;
    if (status == RunStatusDnf) return 1;
    if (status == RunStatusDns) return 2;
    if (status == RunStatusDsq) return 3;
    return 4; // no run that could count yet (only reruns)
}

// A run without a time: its status as the standings show it.
QString UntimedStatus(const TEffectiveRun& e) {
    if (e.Run.Status == RunStatusDns || e.Run.Status == RunStatusDsq) return e.Run.Status;
    return RunStatusDnf; // dropped out, or laps missing
}

// Of several untimed runs the one that weighs most: DSQ, then DNF, then DNS.
QString WorstStatus(const std::vector<const TEffectiveRun*>& runs) {
    QString worst;
    auto weight = [](const QString& s) {
        return s == RunStatusDsq ? 3 : s == RunStatusDnf ? 2 : s == RunStatusDns ? 1 : 0;
    };
    for (const TEffectiveRun* e : runs)
        if (!Timed(*e) && weight(UntimedStatus(*e)) > weight(worst)) worst = UntimedStatus(*e);
    return worst;
}

void Count(TStandingRow& row, const std::vector<const TEffectiveRun*>& counted) {
    row.Counted = int(counted.size());
    row.RawMs = row.PenaltyMs = 0;
    for (const TEffectiveRun* e : counted) {
        row.RawMs += e->Run.TotalMs;
        row.PenaltyMs += e->PenaltyMs();
        row.CountingRuns << e->Run.Uuid;
        row.HandTime = row.HandTime || !e->HandFields.empty();
        row.Flagged = row.Flagged || !e->Flags.empty();
        for (const QString& note : RunNotes(*e))
            if (!row.Notes.contains(note)) row.Notes << note;
    }
    row.CountingMs = row.RawMs + row.PenaltyMs;
}

// Regularity: the counted runs' difference on hundredths, as the times are shown;
// their penalties are added to it.
void CountDifference(TStandingRow& row, const std::vector<const TEffectiveRun*>& counted, int diffMs) {
    Count(row, counted);
    row.RawMs = diffMs;
    row.CountingMs = diffMs + row.PenaltyMs;
}

int HundredthsApart(int a, int b) {
    return std::abs(a / 10 - b / 10) * 10;
}

// One run per round under a sum rule, in driving order. Over a DNS of the round the
// run driven counts. A second run driven in a round that nobody marked a rerun waits
// for the official: until then the first one counts, and the row says so.
std::vector<const TEffectiveRun*> OnePerRound(const std::vector<const TEffectiveRun*>& runs,
                                              QStringList& notes) {
    std::vector<const TEffectiveRun*> kept;
    QHash<QString, size_t> ofRound;
    for (const TEffectiveRun* e : runs) {
        const QString round = RunRound(e->Run);
        const auto it = ofRound.constFind(round);
        if (it == ofRound.cend()) {
            ofRound.insert(round, kept.size());
            kept.push_back(e);
            continue;
        }
        const TEffectiveRun*& first = kept[*it];
        if (e->Run.Status == RunStatusDns) continue;
        if (first->Run.Status == RunStatusDns) {
            first = e;
            continue;
        }
        if (const QString note = DoubleRunNote(round); !notes.contains(note)) notes << note;
    }
    return kept;
}

void Score(TStandingRow& row, std::vector<const TEffectiveRun*> runs, const TScoring& s) {
    // Reruns are shown but never count.
    std::erase_if(runs, [](const TEffectiveRun* e) { return e->Run.Status == RunStatusRerun; });
    if (SumsRounds(s.Rule)) runs = OnePerRound(runs, row.Notes);
    if (runs.empty()) {
        row.Status = QStringLiteral("-");
        return;
    }
    std::vector<const TEffectiveRun*> timed;
    std::copy_if(runs.begin(), runs.end(), std::back_inserter(timed),
                 [](const TEffectiveRun* e) { return Timed(*e); });
    std::stable_sort(timed.begin(), timed.end(),
                     [](const TEffectiveRun* a, const TEffectiveRun* b) {
                         return CountingOf(*a) < CountingOf(*b);
                     });
    switch (s.Rule) {
    case srLastRun:
        if (Timed(*runs.back()))
            Count(row, {runs.back()});
        else
            row.Status = UntimedStatus(*runs.back());
        return;
    case srBestRun:
        if (!timed.empty())
            Count(row, {timed.front()});
        else
            row.Status = WorstStatus(runs);
        return;
    case srSumAll:
        if (timed.size() == runs.size())
            Count(row, timed);
        else
            row.Status = WorstStatus(runs);
        return;
    case srSumBestN:
        if (timed.empty()) {
            row.Status = WorstStatus(runs);
        } else {
            timed.resize(std::min<size_t>(timed.size(), size_t(std::max(1, s.N))));
            Count(row, timed);
        }
        return;
    case srRegularity: {
        // The first two runs in driving order; a later one is shown but never counts.
        const std::vector<const TEffectiveRun*> two(runs.begin(),
                                                    runs.begin() + std::min<size_t>(runs.size(), 2));
        if (const QString worst = WorstStatus(two); !worst.isEmpty()) {
            row.Status = worst;
        } else if (two.size() < 2) {
            row.Status = QStringLiteral("-"); // no difference yet
            row.Notes << QStringLiteral("1 von 2 Läufen");
        } else {
            CountDifference(row, two, HundredthsApart(two[0]->Run.TotalMs, two[1]->Run.TotalMs));
        }
        return;
    }
    case srTargetTime: {
        if (timed.empty()) {
            row.Status = WorstStatus(runs);
            return;
        }
        const auto off = [&s](const TEffectiveRun* e) {
            return HundredthsApart(e->Run.TotalMs, s.TargetMs) + e->PenaltyMs();
        };
        const auto nearest = std::ranges::min_element(
            timed, [&off](const TEffectiveRun* a, const TEffectiveRun* b) { return off(a) / 10 < off(b) / 10; });
        CountDifference(row, {*nearest}, HundredthsApart((*nearest)->Run.TotalMs, s.TargetMs));
        return;
    }
    }
}

// Under a sum, fewer counted rounds rank after more whatever the sum: such a row says
// why. All runs: it has fewer than the drivers with the most (a round not driven yet,
// a rerun still to drive). Best N: fewer than N and than the drivers with the most.
void NoteFewerCounted(QList<TStandingRow>& rows, const TScoring& s) {
    int most = 0;
    for (const TStandingRow& r : rows)
        if (r.Status.isEmpty()) most = std::max(most, r.Counted);
    const int of = s.Rule == srSumAll ? most : std::max(1, s.N);
    for (TStandingRow& r : rows)
        if (r.Status.isEmpty() && SumsRounds(s.Rule) && r.Counted < std::min(of, most))
            r.Notes << CountedRoundsNote(r.Counted, of);
}

// Competition ranks and gaps over rows already in order; only timed rows get them.
template <typename RankOf, typename GapOf, typename AheadOf>
void Rank(QList<TStandingRow*>& rows, RankOf rankOf, GapOf gapOf, AheadOf aheadOf) {
    const TStandingRow* leader = nullptr;
    const TStandingRow* ahead = nullptr;
    int rank = 0;
    for (int i = 0; i < rows.size(); ++i) {
        TStandingRow& r = *rows[i];
        if (!r.Status.isEmpty()) break;
        const bool tie =
            ahead && ahead->Counted == r.Counted && ahead->CountingMs / 10 == r.CountingMs / 10;
        if (!tie) rank = i + 1;
        rankOf(r) = QString::number(rank);
        // Gaps compare like with like: the same number of counted runs.
        if (!leader || leader->Counted != r.Counted) leader = &r;
        // A driver level with the leader leads too.
        gapOf(r) = r.CountingMs / 10 == leader->CountingMs / 10
                       ? QString()
                       : GapText(r.CountingMs - leader->CountingMs);
        aheadOf(r) = ahead && ahead->Counted == r.Counted
                         ? GapText(r.CountingMs - ahead->CountingMs)
                         : QString();
        ahead = &r;
    }
}

} // namespace

QString ScoringRuleCaption(TScoringRule rule) {
    switch (rule) {
    case srLastRun:
        return QStringLiteral("Letzter Lauf");
    case srBestRun:
        return QStringLiteral("Bester Lauf");
    case srSumAll:
        return QStringLiteral("Summe aller Läufe");
    case srSumBestN:
        return QStringLiteral("Summe der besten N Läufe");
    case srRegularity:
        return QStringLiteral("Gleichmäßigkeit");
    case srTargetTime:
        return QStringLiteral("Sollzeit");
    }
    return {};
}

QString ScoringDescription(const TScoring& s) {
    if (s.Rule == srSumBestN) return QStringLiteral("Summe der besten %1 Läufe").arg(s.N);
    if (s.Rule == srTargetTime) return QStringLiteral("Sollzeit ") + TimeToText(s.TargetMs);
    return ScoringRuleCaption(s.Rule);
}

namespace {

// simplified().toLower() in one pass: keys are made for every run at every recompute.
void AppendFolded(QString& out, const QString& s) {
    bool blank = false;
    const qsizetype start = out.size();
    for (const QChar c : s) {
        if (c.isSpace()) {
            blank = out.size() > start;
            continue;
        }
        if (blank) out += QLatin1Char(' ');
        blank = false;
        out += c.toLower();
    }
}

// Under this key EntrantClasses keeps the names listed for a start number, '\n'-joined:
// no DriverKey holds a line break.
QString NamesOfNumberKey(const QString& startNo) {
    QString key;
    AppendFolded(key, startNo);
    return key + QStringLiteral("|\n");
}

QStringList NameWords(const QString& folded) {
    QStringList words{QString()};
    for (const QChar c : folded)
        if (c.isLetterOrNumber()) words.last() += c;
        else if (!words.last().isEmpty()) words << QString();
    if (words.last().isEmpty()) words.removeLast();
    return words;
}

// Two folded names for one driver: each word of the shorter one starts a word of the
// other ("ben" and "benjamin", "müller, jürgen" and "j. müller"), in any order.
bool NamesMatch(const QString& a, const QString& b) {
    QStringList x = NameWords(a), y = NameWords(b);
    if (x.isEmpty() || y.isEmpty()) return true; // nothing to tell them apart
    if (x.size() > y.size()) std::swap(x, y);
    for (const QString& w : x) {
        const auto it = std::ranges::find_if(y, [&w](const QString& v) { return v.startsWith(w); });
        if (it == y.end()) return false;
        y.erase(it);
    }
    return true;
}

// A class belongs to a driver. The start number alone finds it only where the name
// does not tell another driver: a name missing on either side, or spelt otherwise.
QString ClassOf(const QHash<QString, QString>& classes, const QString& startNo, const QString& name) {
    const QString key = DriverKey(startNo, name);
    if (const auto it = classes.constFind(key); it != classes.cend()) return *it;
    const QString byName = DriverKey(QString(), name), folded = byName.mid(1);
    const QString byNo = DriverKey(startNo, QString());
    const auto listed = classes.constFind(NamesOfNumberKey(startNo));
    if (folded.isEmpty() || listed == classes.cend()) {
        if (const auto it = classes.constFind(byNo); it != classes.cend()) return *it;
    } else {
        const QStringList names = listed->split(QLatin1Char('\n'));
        if (names.contains(QString())) return classes.value(byNo);
        for (auto n = names.crbegin(); n != names.crend(); ++n) // the latest record first
            if (NamesMatch(folded, *n)) return classes.value(byNo + *n);
    }
    return classes.value(byName);
}

} // namespace

QString DriverKey(const QString& startNo, const QString& name) {
    QString key;
    key.reserve(startNo.size() + name.size() + 1);
    AppendFolded(key, startNo);
    key += QLatin1Char('|');
    AppendFolded(key, name);
    return key;
}

QString DsqNote(const TEffectiveRun& run) {
    QString note = QStringLiteral("DSQ");
    if (!run.Run.RunNo.trimmed().isEmpty()) note += QStringLiteral(" Lauf ") + run.Run.RunNo.trimmed();
    return run.StatusReason.isEmpty() ? note : note + QStringLiteral(": ") + run.StatusReason;
}

std::vector<const TEffectiveRun*> RunsOfItsRound(const std::vector<TEffectiveRun>& runs,
                                                 const QString& runUuid) {
    const auto it = std::ranges::find_if(runs, [&runUuid](const TEffectiveRun& e) { return e.Run.Uuid == runUuid; });
    if (it == runs.end()) return {};
    const QString key = DriverKey(it->Run.StartNo, it->Run.Name);
    const QString round = RunRound(it->Run);
    std::vector<const TEffectiveRun*> found;
    for (const TEffectiveRun& e : runs)
        if (!e.Withdrawn && e.Run.Status != RunStatusRerun && e.Run.Status != RunStatusDns &&
            RunRound(e.Run) == round && DriverKey(e.Run.StartNo, e.Run.Name) == key)
            found.push_back(&e);
    std::stable_sort(found.begin(), found.end(), DrivenBefore);
    return found;
}

bool SumsRounds(TScoringRule rule) {
    return rule == srSumAll || rule == srSumBestN;
}

QString RunRound(const TRunRecord& run) {
    const QString no = run.RunNo.trimmed();
    // Records from before rounds carry no run number: each such run stands alone.
    if (no.isEmpty()) return QLatin1Char('#') + run.Uuid;
    return QString::number(TRounds::RoundOf(no));
}

QString DoubleRunNote(const QString& round) {
    return QStringLiteral("Lauf %1 zweimal gefahren: der erste zählt, bis entschieden ist").arg(round);
}

QString DoubleRunReason(const QString& round) {
    return QStringLiteral("Lauf %1 zweimal gefahren").arg(round);
}

std::vector<const TEffectiveRun*> DoubleRunRerunsLeftAlone(const std::vector<TEffectiveRun>& runs) {
    std::vector<const TEffectiveRun*> alone;
    for (const TEffectiveRun& e : runs) {
        if (e.Withdrawn || e.Run.Status != RunStatusRerun ||
            e.StatusReason != DoubleRunReason(e.Run.RunNo.trimmed()))
            continue;
        const std::vector<const TEffectiveRun*> others = RunsOfItsRound(runs, e.Run.Uuid);
        if (others.empty()) alone.push_back(&e);
    }
    return alone;
}

QString CountedRoundsNote(int counted, int of) {
    return QStringLiteral("%1 von %2 Wertungsläufen").arg(counted).arg(of);
}

QString GapText(int ms) {
    return QLatin1Char('+') + TimeToText(std::max(0, ms));
}

QList<TStandingRow> ComputeStandings(const std::vector<TEffectiveRun>& runs,
                                     const TScoring& scoring,
                                     const QHash<QString, QString>& classes,
                                     const QStringList& classOrder) {
    // Runs per driver in the order they were driven.
    std::vector<const TEffectiveRun*> ordered;
    ordered.reserve(runs.size());
    for (const TEffectiveRun& e : runs)
        if (!e.Withdrawn) ordered.push_back(&e);
    std::stable_sort(ordered.begin(), ordered.end(), DrivenBefore);
    const QHash<QString, TExclusion> excluded = ExcludedDrivers(runs);
    QHash<QString, int> index;
    QList<TStandingRow> rows;
    std::vector<std::vector<const TEffectiveRun*>> perDriver;
    for (const TEffectiveRun* e : ordered) {
        const QString key = DriverKey(e->Run.StartNo, e->Run.Name);
        auto it = index.find(key);
        if (it == index.end()) {
            it = index.insert(key, int(rows.size()));
            TStandingRow row;
            row.Key = key;
            row.StartNo = e->Run.StartNo.trimmed();
            row.Class = ClassOf(classes, e->Run.StartNo, e->Run.Name);
            row.ClassOrder = int(classOrder.indexOf(row.Class));
            rows << row;
            perDriver.emplace_back();
        }
        perDriver[size_t(*it)].push_back(e);
    }
    for (int i = 0; i < rows.size(); ++i) {
        rows[i].Name = perDriver[size_t(i)].back()->Run.Name.trimmed(); // the latest spelling
        rows[i].Runs = int(perDriver[size_t(i)].size());
        Score(rows[i], perDriver[size_t(i)], scoring);
        // A disqualified run is told wherever it might have counted: under the best
        // run a driver must not win with no sign of it.
        for (const TEffectiveRun* e : perDriver[size_t(i)])
            if (e->Run.Status == RunStatusDsq && !rows[i].Notes.contains(DsqNote(*e)))
                rows[i].Notes << DsqNote(*e);
        if (const auto x = excluded.constFind(rows[i].Key); x != excluded.constEnd()) {
            TStandingRow& r = rows[i];
            r.Excluded = true;
            r.Status = RunStatusDsq;
            r.Counted = r.PenaltyMs = 0;
            r.RawMs = r.CountingMs = -1;
            r.CountingRuns.clear();
            r.HandTime = r.Flagged = false;
            r.Notes = {ExclusionNote(*x)};
        }
    }
    NoteFewerCounted(rows, scoring);
    std::stable_sort(rows.begin(), rows.end(), [](const TStandingRow& a, const TStandingRow& b) {
        const int sa = StatusOrder(a.Status), sb = StatusOrder(b.Status);
        if (sa != sb) return sa < sb;
        if (sa != 0) return false;
        if (a.Counted != b.Counted) return a.Counted > b.Counted;
        return a.CountingMs / 10 < b.CountingMs / 10;
    });

    QList<TStandingRow*> all;
    QHash<QString, QList<TStandingRow*>> byClass;
    for (TStandingRow& r : rows) {
        all << &r;
        byClass[r.Class] << &r;
    }
    Rank(
        all, [](TStandingRow& r) -> QString& { return r.Rank; },
        [](TStandingRow& r) -> QString& { return r.Gap; },
        [](TStandingRow& r) -> QString& { return r.GapAhead; });
    for (auto it = byClass.begin(); it != byClass.end(); ++it)
        Rank(
            it.value(), [](TStandingRow& r) -> QString& { return r.ClassRank; },
            [](TStandingRow& r) -> QString& { return r.ClassGap; },
            [](TStandingRow& r) -> QString& { return r.ClassGapAhead; });
    return rows;
}

QStringList StandingClasses(const QList<TStandingRow>& rows) {
    QList<std::pair<int, QString>> found;
    for (const TStandingRow& r : rows)
        if (!r.Class.isEmpty() &&
            std::none_of(found.begin(), found.end(), [&r](const auto& f) { return f.second == r.Class; }))
            found << std::pair{r.ClassOrder < 0 ? INT_MAX : r.ClassOrder, r.Class};
    // Not by the leaders: a class must not move on the board when another's driver improves.
    std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) {
        if (a.first != b.first) return a.first < b.first;
        return QString::localeAwareCompare(a.second, b.second) < 0;
    });
    QStringList classes;
    for (const auto& f : found)
        classes << f.second;
    return classes;
}

QStringList EntrantClassOrder(const std::vector<TEntrant>& entrants) {
    QStringList order;
    for (const TEntrant& e : entrants)
        if (const QString c = e.Class.simplified(); !c.isEmpty() && !order.contains(c)) order << c;
    return order;
}

QHash<QString, QString> EntrantClasses(const std::vector<TEntrant>& entrants) {
    QHash<QString, QString> classes;
    for (const TEntrant& e : entrants) { // in recorded order: the latest wins
        const QString cls = e.Class.simplified();
        classes.insert(DriverKey(e.StartNo, e.Name), cls);
        if (!e.StartNo.trimmed().isEmpty()) {
            classes.insert(DriverKey(e.StartNo, QString()), cls);
            QString& names = classes[NamesOfNumberKey(e.StartNo)];
            if (!names.isEmpty() || e.Name.trimmed().isEmpty()) names += QLatin1Char('\n');
            names += DriverKey(QString(), e.Name).mid(1);
        }
        if (!e.Name.trimmed().isEmpty()) classes.insert(DriverKey(QString(), e.Name), cls);
    }
    return classes;
}

QStringList StandingCaptions() {
    return {QStringLiteral("Platz"),   QStringLiteral("Start-Nr."), QStringLiteral("Name"),
            QStringLiteral("Klasse"),  QStringLiteral("Läufe"),     QStringLiteral("Zeit"),
            QStringLiteral("Strafe"),  QStringLiteral("Wertung"),   QStringLiteral("Abstand"),
            QStringLiteral("Vordermann"), QStringLiteral("Hinweis")};
}

void AddEntrantsWithoutRuns(QList<TStandingRow>& rows,
                            const QList<std::pair<QString, QString>>& entrants,
                            const QHash<QString, QString>& classes) {
    // A driver is there by start number and name, or by one of them where the other is missing.
    QSet<QString> there;
    for (const TStandingRow& r : rows) {
        there << r.Key;
        if (!r.StartNo.trimmed().isEmpty()) there << DriverKey(r.StartNo, QString());
        if (!r.Name.trimmed().isEmpty()) there << DriverKey(QString(), r.Name);
    }
    // A start number the list gives two drivers finds neither of them: the name has to.
    QHash<QString, QSet<QString>> namesOfNo;
    for (const auto& [startNo, name] : entrants)
        if (!startNo.trimmed().isEmpty() && !name.trimmed().isEmpty())
            namesOfNo[DriverKey(startNo, QString())] << DriverKey(QString(), name);
    for (const auto& [startNo, name] : entrants) {
        if (startNo.trimmed().isEmpty() && name.trimmed().isEmpty()) continue;
        const QString key = DriverKey(startNo, name);
        const QString byNo = DriverKey(startNo, QString()), byName = DriverKey(QString(), name);
        const bool numberTells = !startNo.trimmed().isEmpty() && namesOfNo.value(byNo).size() < 2;
        if (there.contains(key) || (numberTells && there.contains(byNo)) ||
            (!name.trimmed().isEmpty() && there.contains(byName)))
            continue;
        TStandingRow row;
        row.Key = key;
        row.StartNo = startNo.simplified();
        row.Name = name.simplified();
        row.Class = ClassOf(classes, startNo, name);
        rows << row;
        there << key << byNo << byName;
    }
}

QStringList StandingTexts(const TStandingRow& r, bool inClass) {
    QStringList t;
    t.reserve(scColumnCount);
    const bool timed = r.Status.isEmpty() && r.CountingMs >= 0;
    t << (inClass ? r.ClassRank : r.Rank) << r.StartNo << r.Name << r.Class
      << QString::number(r.Runs) << (timed ? TimeToText(r.RawMs) : QString())
      << (timed && r.PenaltyMs > 0 ? GapText(r.PenaltyMs) : QString())
      << (timed ? TimeToText(r.CountingMs) : r.Status.isEmpty() ? QStringLiteral("–") : r.Status)
      << (inClass ? r.ClassGap : r.Gap) << (inClass ? r.ClassGapAhead : r.GapAhead)
      << r.Notes.join(QStringLiteral(", "));
    return t;
}

QList<TStandingSection> StandingSections(const QList<TStandingRow>& rows, bool byClass) {
    QList<TStandingSection> sections;
    if (!byClass) {
        TStandingSection all;
        all.Caption = QStringLiteral("Gesamt");
        for (const TStandingRow& r : rows)
            all.Rows << &r;
        sections << all;
        return sections;
    }
    QStringList classes = StandingClasses(rows);
    classes << QString();
    for (const QString& c : classes) {
        TStandingSection s;
        s.Class = c;
        s.Caption = c.isEmpty() ? QStringLiteral("Ohne Klasse") : c;
        for (const TStandingRow& r : rows)
            if (r.Class == c) s.Rows << &r;
        if (!s.Rows.isEmpty()) sections << s;
    }
    return sections;
}

namespace {
const QString MarkDigits = QStringLiteral("⁰¹²³⁴⁵⁶⁷⁸⁹");
constexpr QChar MarkSeparator(0x2009); // a thin space: "¹ ²", not "¹²" (twelve)
} // namespace

QString FootnoteMark(int n) {
    QString mark;
    for (const QChar c : QString::number(std::max(1, n)))
        mark += MarkDigits[c.digitValue()];
    return mark;
}

bool IsFootnoteMark(QChar c) {
    return c == MarkSeparator || MarkDigits.contains(c);
}

TStandingFootnotes StandingFootnotes(const QList<TStandingSection>& sections) {
    TStandingFootnotes f;
    for (const TStandingSection& s : sections)
        for (const TStandingRow* r : s.Rows)
            for (const QString& note : r->Notes)
                if (!f.Texts.contains(note)) f.Texts << note;
    return f;
}

QList<int> TStandingFootnotes::Numbers(const QList<const TStandingRow*>& rows) const {
    QList<int> numbers;
    for (const TStandingRow* r : rows)
        for (const QString& note : r->Notes)
            if (const qsizetype i = Texts.indexOf(note); i >= 0 && !numbers.contains(int(i) + 1))
                numbers << int(i) + 1;
    std::sort(numbers.begin(), numbers.end());
    return numbers;
}

QString TStandingFootnotes::MarksOf(const TStandingRow& row) const {
    QStringList marks;
    for (const int n : Numbers({&row}))
        marks << FootnoteMark(n);
    return marks.join(MarkSeparator);
}

QStringList TStandingFootnotes::Lines(const QList<const TStandingRow*>& rows) const {
    QStringList lines;
    for (const int n : Numbers(rows))
        lines << FootnoteMark(n) + QLatin1Char(' ') + Texts[n - 1];
    return lines;
}

QStringList StandingSheetTexts(const TStandingRow& row, bool inClass, const TStandingFootnotes& notes) {
    QStringList t = StandingTexts(row, inClass);
    t[scCounting] += notes.MarksOf(row);
    return t;
}

QByteArray StandingsHtml(const TStandingsPage& page) {
    const auto esc = [](const QString& t) { return t.toHtmlEscaped(); };
    const bool byClass = !StandingClasses(page.Rows).isEmpty();
    QString h;
    h += QStringLiteral("<!DOCTYPE html>\n<html lang=\"de\">\n<head>\n<meta charset=\"utf-8\">\n"
                        "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n");
    h += QStringLiteral("<title>Wertung – ") + esc(page.Title) + QStringLiteral("</title>\n");
    h += QStringLiteral(
        "<style>body{font-family:'Liberation Sans',Arial,sans-serif;margin:1em}"
        "table{border-collapse:collapse;margin-bottom:1.5em}"
        "th{background:#999;color:#fff;padding:3px 8px}td{padding:3px 8px;border-bottom:1px solid #ccc}"
        "td.t{text-align:right;white-space:nowrap}td.b{font-weight:bold}"
        "span.m{display:inline-block;min-width:var(--m);text-align:left}"
        "tr:nth-child(even) td{background:#f2f2f2}h1{font-size:1.4em}h2{font-size:1.15em}"
        "table+p.fn{margin-top:-1em;font-size:0.9em}</style>\n"
        "</head>\n<body>\n");
    h += QStringLiteral("<h1>") + esc(page.Title) + QStringLiteral("</h1>\n<p>Wertung: ") +
         esc(page.Rule) + QStringLiteral(" – Datum: ") + esc(page.Date) + QStringLiteral("</p>\n");
    const QStringList captions = StandingCaptions();
    const QList<TStandingSection> overall = StandingSections(page.Rows, false);
    // Numbered once for the page: the overall table holds every note.
    const TStandingFootnotes notes = StandingFootnotes(overall);
    // The notes go below the tables as footnotes, not into a column of their own.
    const auto shown = [](int c, bool inClass) { return c != scNote && (c != scClass || !inClass); };
    const auto table = [&](const TStandingSection& s, bool inClass) {
        // The marks stand in a room of their own, as wide in every row as the widest
        // marks of the table: the times line up whether they carry a mark or not.
        qsizetype markRoom = 0;
        for (const TStandingRow* r : s.Rows)
            markRoom = std::max(markRoom, notes.MarksOf(*r).size());
        h += QStringLiteral("<h2>") + esc(s.Caption) + QStringLiteral("</h2>\n<table") +
             (markRoom ? QStringLiteral(" style=\"--m:%1ch\"").arg(markRoom) : QString()) +
             QStringLiteral(">\n<tr>");
        for (int c = 0; c < scColumnCount; ++c)
            if (shown(c, inClass)) h += QStringLiteral("<th>") + esc(captions[c]) + QStringLiteral("</th>");
        h += QStringLiteral("</tr>\n");
        for (const TStandingRow* r : s.Rows) {
            const QStringList t = StandingTexts(*r, inClass);
            h += QStringLiteral("<tr>");
            for (int c = 0; c < scColumnCount; ++c) {
                if (!shown(c, inClass)) continue;
                const bool right = c != scName && c != scClass;
                h += QStringLiteral("<td") +
                     (c == scCounting ? QStringLiteral(" class=\"t b\"")
                                      : right ? QStringLiteral(" class=\"t\"") : QString()) +
                     QLatin1Char('>') + esc(t[c]) +
                     (c == scCounting && markRoom
                          ? QStringLiteral("<span class=\"m\">") + esc(notes.MarksOf(*r)) + QStringLiteral("</span>")
                          : QString()) +
                     QStringLiteral("</td>");
            }
            h += QStringLiteral("</tr>\n");
        }
        h += QStringLiteral("</table>\n");
        const QStringList lines = notes.Lines(s.Rows);
        if (lines.isEmpty()) return;
        h += QStringLiteral("<p class=\"fn\">");
        for (qsizetype i = 0; i < lines.size(); ++i)
            h += (i ? QStringLiteral("<br>\n") : QString()) + esc(lines[i]);
        h += QStringLiteral("</p>\n");
    };
    for (const TStandingSection& s : overall)
        table(s, false);
    if (byClass)
        for (const TStandingSection& s : StandingSections(page.Rows, true))
            table(s, true);
    h += QStringLiteral("</body>\n</html>\n");
    h.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    return h.toUtf8();
}
