#include "Protocol.h"

const std::array<QString, 10> ProtocolCaptions = {
    QStringLiteral("Start-Nr."), QStringLiteral("Name"),       QStringLiteral("Runde 1"),
    QStringLiteral("Runde 2"),   QStringLiteral("Runde 3"),    QStringLiteral("Runde 4"),
    QStringLiteral("Runde 5"),   QStringLiteral("Gesamtzeit"), QStringLiteral("Beste Runde"),
    QStringLiteral("Platz")};

bool IsBlankRow(const QStringList& cells) {
    for (int c = 0; c <= pcBest; ++c)
        if (!IsBlank(cells.value(c))) return false;
    return true;
}

bool IsBlank(const QString& text) {
    return text.trimmed().isEmpty();
}

TStartNumberSplit SplitStartNumber(const QString& text) {
    int end = 0;
    while (end < text.size() &&
           (text.at(end) == QLatin1Char(' ') ||
            (text.at(end) >= QLatin1Char('0') && text.at(end) <= QLatin1Char('9'))))
        ++end;
    TStartNumberSplit s;
    const QString number = text.left(end).trimmed();
    if (number.isEmpty()) {
        s.Name = text;
        return s;
    }
    s.HasNumber = true;
    s.Number = number;
    s.Name = text.mid(end);
    return s;
}

QStringList CompetitionRanks(const QStringList& totals) {
    QStringList ranks;
    QString prev;
    int rank = 1;
    for (int i = 0; i < totals.size(); ++i) {
        const int r = i + 1;
        const QString& total = totals.at(i);
        // Rows that dropped out or did not start get no rank.
        if (IsBlank(total) || total.trimmed() == QLatin1String("DNF") ||
            total.trimmed() == QLatin1String("DNS")) {
            ranks << QStringLiteral("-");
        } else if (total == prev) {
            ranks << QString::number(rank);
        } else {
            ranks << QString::number(r);
            prev = total;
            rank = r;
        }
    }
    return ranks;
}
