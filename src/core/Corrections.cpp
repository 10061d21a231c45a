#include "Corrections.h"

#include "Protocol.h"
#include "TimeText.h"

#include <QRegularExpression>

const QString DnfText = QStringLiteral("DNF");
const QString DnsText = QStringLiteral("DNS");

int32_t ParseTimeText(const QString& text) {
    static const QRegularExpression re(
        QStringLiteral("^(?:(?:(\\d{1,2}):)?(\\d{1,2})\\.)?(\\d{1,2}),(\\d{1,2})$"));
    const QRegularExpressionMatch m = re.match(text.trimmed());
    if (!m.hasMatch()) return -1;
    const bool hasHours = m.capturedLength(1) > 0;
    const bool hasMinutes = m.capturedLength(2) > 0;
    const int hours = m.captured(1).toInt();
    const int minutes = m.captured(2).toInt();
    const int seconds = m.captured(3).toInt();
    QString frac = m.captured(4);
    if (frac.size() == 1) frac += QLatin1Char('0');
    // Below a higher field, minutes and seconds stay under 60.
    if (hasMinutes && seconds > 59) return -1;
    if (hasHours && minutes > 59) return -1;
    return ((hours * 60 + minutes) * 60 + seconds) * 1000 + frac.toInt() * 10;
}

QStringList RecomputeRowTimes(const QStringList& cells, int laps) {
    QStringList row = cells;
    while (row.size() < pcCount)
        row << QString();
    laps = qBound(2, laps, 5);
    int32_t hundredths = 0;
    int32_t best = 2147483647;
    for (int k = 1; k <= laps; ++k) {
        const int32_t ms = ParseTimeText(row[pcLap1 + k - 1]);
        if (ms < 0) return cells;
        row[pcLap1 + k - 1] = TimeToText(ms);
        hundredths += ms / 10;
        best = qMin(best, ms);
    }
    row[pcTotal] = TimeToText(hundredths * 10);
    row[pcBest] = TimeToText(best);
    return row;
}

bool RowHasLapTimes(const QStringList& cells) {
    for (int c = pcLap1; c < pcTotal && c < cells.size(); ++c)
        if (!IsBlank(cells[c])) return true;
    return false;
}

QStringList MarkNotStarted(const QStringList& cells) {
    QStringList row = cells;
    while (row.size() < pcCount)
        row << QString();
    for (int c = pcLap1; c < pcTotal; ++c)
        row[c] = QString();
    row[pcTotal] = DnsText;
    row[pcBest] = QString();
    return row;
}

QString RowDriverText(const QStringList& cells, const QString& runNo) {
    QString who = (cells.value(0).trimmed() + QLatin1Char(' ') + cells.value(1).trimmed()).trimmed();
    if (who.isEmpty()) who = QStringLiteral("(ohne Namen)");
    return runNo.trimmed().isEmpty() ? who : who + QStringLiteral(", Lauf ") + runNo.trimmed();
}
