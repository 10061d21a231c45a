#include "StandingsSettings.h"

#include "Settings.h"

#include <QRegularExpression>
#include <QSet>

namespace {

const QString RuleValue = QStringLiteral("WertungRegel");
const QString NValue = QStringLiteral("WertungBesteN");
const QString TargetValue = QStringLiteral("WertungSollzeit");
const QString CatalogueValue = QStringLiteral("Strafkatalog");

TCorrection ForRun(const TRunRecord& run, const QString& kind) {
    TCorrection c;
    c.EventUuid = run.EventUuid;
    c.RunUuid = run.Uuid;
    c.Kind = kind;
    c.Name = run.Name;
    return c;
}

} // namespace

QList<TPenaltyItem> TStandingsSettings::DefaultCatalogue() {
    return {{QStringLiteral("Pylone"), 2000}, {QStringLiteral("Tor ausgelassen"), 10000}};
}

void TStandingsSettings::Read(const TSettingsStore& store) {
    int rule = 0;
    if (store.ReadInt(RuleValue, rule) && rule >= srLastRun && rule <= srTargetTime)
        Scoring.Rule = TScoringRule(rule);
    int n = 0;
    if (store.ReadInt(NValue, n) && n >= 1 && n <= MaxN) Scoring.N = n;
    int target = 0;
    if (store.ReadInt(TargetValue, target) && target > 0 && target <= MaxTargetMs) Scoring.TargetMs = target;
    const QVariant catalogue = store.Value(CatalogueValue);
    if (catalogue.isValid()) {
        const QString text = catalogue.toString();
        // An emptied catalogue stays empty; an unreadable one keeps the defaults.
        const QList<TPenaltyItem> items = DecodeCatalogue(text);
        if (!items.isEmpty() || text.trimmed().isEmpty()) Catalogue = items;
    }
}

void TStandingsSettings::Write(TSettingsStore& store) const {
    store.SetValue(RuleValue, int(Scoring.Rule));
    store.SetValue(NValue, Scoring.N);
    store.SetValue(TargetValue, Scoring.TargetMs);
    store.SetValue(CatalogueValue, EncodeCatalogue(Catalogue));
}

QString EncodeCatalogue(const QList<TPenaltyItem>& items) {
    QStringList lines;
    for (const TPenaltyItem& i : items)
        lines << i.Name.simplified() + QLatin1Char('\t') + QString::number(i.Ms);
    return lines.join(QLatin1Char('\n'));
}

QList<TPenaltyItem> DecodeCatalogue(const QString& text) {
    QList<TPenaltyItem> items;
    for (const QString& line : text.split(QLatin1Char('\n'))) {
        const QStringList f = line.split(QLatin1Char('\t'));
        if (f.size() != 2 || f[0].simplified().isEmpty()) continue;
        bool ok = false;
        const int ms = f[1].trimmed().toInt(&ok);
        if (ok && ms >= 0 && ms <= 3600000) items << TPenaltyItem{f[0].simplified(), ms};
    }
    return items;
}

int ParsePenaltySeconds(const QString& text) {
    static const QRegularExpression re(QStringLiteral("^\\s*(\\d{1,4})(?:[,.](\\d{1,3}))?\\s*(s)?\\s*$"));
    const QRegularExpressionMatch m = re.match(text);
    if (!m.hasMatch()) return -1;
    const QString frac = (m.captured(2) + QStringLiteral("000")).left(3);
    const int ms = m.captured(1).toInt() * 1000 + frac.toInt();
    return ms <= 3600000 ? ms : -1;
}

QString PenaltySecondsText(int ms) {
    QString t = QString::number(ms / 1000);
    if (const int frac = ms % 1000) {
        QString f = QStringLiteral("%1").arg(frac, 3, 10, QLatin1Char('0'));
        while (f.endsWith(QLatin1Char('0')))
            f.chop(1);
        t += QLatin1Char(',') + f;
    }
    return t;
}

QString PenaltyItemCaption(const TPenaltyItem& item) {
    return item.Name + QStringLiteral(" (+") + PenaltySecondsText(item.Ms) + QStringLiteral(" s)");
}

TCorrection PenaltyCorrection(const TRunRecord& run, const TPenaltyItem& item, int count,
                              const QString& reason) {
    TCorrection c = ForRun(run, CorrectionKind::Penalty);
    c.Text = item.Name;
    c.Ms = item.Ms;
    c.Count = std::max(1, count);
    c.Reason = reason.simplified();
    return c;
}

TCorrection StatusCorrection(const TRunRecord& run, const QString& status, const QString& reason) {
    TCorrection c = ForRun(run, CorrectionKind::Status);
    c.Text = status;
    c.Reason = reason.simplified();
    return c;
}

TCorrection PenaltiesClearedCorrection(const TRunRecord& run) {
    return ForRun(run, CorrectionKind::PenaltiesCleared);
}

namespace {

// "007" and " 7" are start number 7; a text that is no number stays as it is.
QString NumberKey(const QString& text) {
    bool ok = false;
    const qlonglong n = text.trimmed().toLongLong(&ok);
    return ok ? QString::number(n) : text.simplified();
}

} // namespace

std::vector<const TEffectiveRun*> RunsOfStartNo(const std::vector<TEffectiveRun>& runs,
                                               const QString& startNo, const QString& runNo) {
    std::vector<const TEffectiveRun*> found;
    const QString number = NumberKey(startNo), run = NumberKey(runNo);
    if (number.isEmpty()) return found;
    QSet<QString> drivers;
    for (auto it = runs.rbegin(); it != runs.rend(); ++it) {
        if (it->Withdrawn || NumberKey(it->Run.StartNo) != number || NumberKey(it->Run.RunNo) != run) continue;
        const QString driver = DriverKey(it->Run.StartNo, it->Run.Name);
        if (drivers.contains(driver)) continue;
        drivers.insert(driver);
        found.insert(found.begin(), &*it);
    }
    return found;
}
