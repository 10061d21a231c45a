#include "TimeText.h"

namespace {
QString TwoDigits(int v) {
    return QString::number(v).rightJustified(2, QLatin1Char('0'));
}

int TimeKey(const QString& s) {
    // A time text starts and ends with a digit; sorting a large table asks this often.
    if (!s.isEmpty() && s.front().isDigit() && s.back().isDigit()) return s.size();
    if (s.trimmed().isEmpty()) return 20;
    if (s == QLatin1String("-")) return 19;
    // Rows without a time follow every timed row: dropped out, then not started.
    // The grid folds the case of what it compares.
    if (s.trimmed().compare(QLatin1String("DNF"), Qt::CaseInsensitive) == 0) return 17;
    if (s.trimmed().compare(QLatin1String("DNS"), Qt::CaseInsensitive) == 0) return 18;
    return s.size();
}
} // namespace

QString TrimTimeText(const QString& full) {
    int p = full.size() + 1;
    for (int i = 0; i < full.size(); ++i) {
        const QChar c = full.at(i);
        if (c >= QLatin1Char('1') && c <= QLatin1Char('9')) {
            p = i + 1;
            break;
        }
    }
    return full.mid(qMin(p - 1, 7));
}

QString TimeToText(int32_t ms) {
    const int32_t h = ms / 10;
    const int cc = h % 100;
    const int ss = (h / 100) % 60;
    const int mm = (h / 6000) % 60;
    const int hh = (h / 360000) % 100;
    const QString full = TwoDigits(hh) + QLatin1Char(':') + TwoDigits(mm) + QLatin1Char('.') +
                         TwoDigits(ss) + QLatin1Char(',') + TwoDigits(cc);
    return TrimTimeText(full);
}

int CompareTimeTexts(const QString& left, const QString& right) {
    const int ka = TimeKey(left);
    const int kb = TimeKey(right);
    if (ka != kb) return kb < ka ? 1 : -1;
    // Byte order of the texts; time texts are plain ASCII.
    const int c = QString::compare(left, right, Qt::CaseSensitive);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}
