#include "ExcelValues.h"

#include <QDate>
#include <cmath>

namespace ExcelValues {

bool ExactDecimal(QStringView text, QChar point, double* value, int* decimals) {
    static constexpr double Powers[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                        1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    qsizetype i = 0;
    const bool negative = !text.isEmpty() && text[0] == QLatin1Char('-');
    if (negative) ++i;
    qint64 mantissa = 0;
    int digits = 0, dec = -1;
    for (; i < text.size(); ++i) {
        const QChar ch = text[i];
        if (ch >= QLatin1Char('0') && ch <= QLatin1Char('9')) {
            if (++digits > 15) return false; // below 2^53: exact
            mantissa = mantissa * 10 + (ch.unicode() - '0');
            if (dec >= 0) ++dec;
        } else if (ch == point && dec < 0) {
            dec = 0;
        } else {
            return false;
        }
    }
    if (digits == 0 || dec == 0) return false;
    // Two exact doubles divided: one correct rounding, as a full conversion gives.
    const double v = double(mantissa) / Powers[qMax(0, dec)];
    *value = negative ? -v : v;
    if (decimals) *decimals = qMax(0, dec);
    return true;
}

bool ParseGermanNumber(const QString& text, double* value, int* decimals) {
    // -?(0|[1-9][0-9]{0,14})(,[0-9]{1,15})?
    const qsizetype n = text.size();
    qsizetype i = 0;
    if (i < n && text[i] == QLatin1Char('-')) ++i;
    const qsizetype intStart = i;
    while (i < n && text[i] >= QLatin1Char('0') && text[i] <= QLatin1Char('9'))
        ++i;
    const qsizetype intDigits = i - intStart;
    if (intDigits == 0 || intDigits > 15) return false;
    if (intDigits > 1 && text[intStart] == QLatin1Char('0')) return false;
    int dec = 0;
    if (i < n) {
        if (text[i] != QLatin1Char(',')) return false;
        const qsizetype fracStart = ++i;
        while (i < n && text[i] >= QLatin1Char('0') && text[i] <= QLatin1Char('9'))
            ++i;
        dec = int(i - fracStart);
        if (i < n || dec == 0 || dec > 15) return false;
    }
    if (ExactDecimal(text, QLatin1Char(','), value)) {
        *decimals = dec;
        return true;
    }
    QString c = text;
    if (dec > 0) c[intStart + intDigits] = QLatin1Char('.');
    bool ok = false;
    const double v = c.toDouble(&ok);
    if (!ok || !std::isfinite(v)) return false;
    *value = v;
    *decimals = dec;
    return true;
}

QString NumberText(double value) {
    if (!std::isfinite(value)) return QStringLiteral("#ZAHL!");
    if (value == std::floor(value) && std::fabs(value) < 1e15)
        return QString::number(value, 'f', 0);
    QString t = QString::number(value, 'g', 15);
    t.replace(QLatin1Char('.'), QLatin1Char(','));
    return t;
}

QString NumberText(double value, int decimals) {
    if (decimals <= 0) return NumberText(value);
    QString t = QString::number(value, 'f', decimals);
    t.replace(QLatin1Char('.'), QLatin1Char(','));
    return t;
}

QString ValueText(const QVariant& value) {
    if (!value.isValid() || value.isNull()) return QString();
    switch (value.typeId()) {
    case QMetaType::Bool:
        return value.toBool() ? QStringLiteral("WAHR") : QStringLiteral("FALSCH");
    case QMetaType::Double:
    case QMetaType::Float:
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong:
        return NumberText(value.toDouble());
    default:
        return value.toString();
    }
}

TDateKind FormatKind(int id, const QString& code) {
    if ((id >= 14 && id <= 17) || (id >= 27 && id <= 36) || (id >= 50 && id <= 58))
        return dkDate; // the last two ranges are the East Asian built-in dates
    if (id == 22) return dkDateTime;
    if ((id >= 18 && id <= 21) || (id >= 45 && id <= 47)) return dkTime;
    if (id < 164 || code.isEmpty()) return dkNone;
    // Letters outside quotes, escapes and brackets ([Red], [$-407]) decide; [h], [mm] and
    // [ss] are elapsed times. Only the first section counts.
    QString letters;
    bool elapsed = false;
    for (qsizetype i = 0; i < code.size() && code[i] != QLatin1Char(';'); ++i) {
        const QChar ch = code[i].toLower();
        if (ch == QLatin1Char('"')) {
            i = code.indexOf(QLatin1Char('"'), i + 1);
            if (i < 0) break;
        } else if (ch == QLatin1Char('\\') || ch == QLatin1Char('_') || ch == QLatin1Char('*')) {
            ++i;
        } else if (ch == QLatin1Char('[')) {
            const qsizetype end = code.indexOf(QLatin1Char(']'), i);
            if (end < 0) break;
            const QString inner = code.mid(i + 1, end - i - 1).toLower();
            elapsed = elapsed || (!inner.isEmpty() && inner.count(inner[0]) == inner.size() &&
                                  QStringLiteral("hms").contains(inner[0]));
            i = end;
        } else if (ch.isLetter()) {
            letters += ch;
        }
    }
    const auto has = [&](char c) { return letters.contains(QLatin1Char(c)); };
    const bool time = elapsed || has('h') || has('s');
    // An m beside h or s is minutes ("h:mm", "mm:ss"), else the month.
    const bool date = has('y') || has('d') || (has('m') && !time);
    return date && time ? dkDateTime : date ? dkDate : time ? dkTime : dkNone;
}

QString SerialDateText(double serial, TDateKind kind, bool date1904) {
    if (!std::isfinite(serial) || serial < 0 || serial > 2958466) return NumberText(serial);
    qint64 seconds = qint64(std::llround(serial * 86400.0));
    const qint64 days = seconds / 86400;
    seconds %= 86400;
    const QString time = QStringLiteral("%1:%2:%3")
                             .arg(seconds / 3600, 2, 10, QLatin1Char('0'))
                             .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
                             .arg(seconds % 60, 2, 10, QLatin1Char('0'));
    if (kind == dkTime) return time;
    // Day 0 is 1899-12-31 (1904-01-01), and Excel counts a 29 February 1900 that never was.
    QDate date = date1904 ? QDate(1904, 1, 1).addDays(days)
                          : QDate(1899, 12, 31).addDays(days > 59 ? days - 1 : days);
    const QString text = date.toString(QStringLiteral("dd.MM.yyyy"));
    return kind == dkDateTime ? text + QLatin1Char(' ') + time : text;
}

QString IsoDateText(const QString& text) {
    const QDate date = QDate::fromString(text.left(10), Qt::ISODate);
    if (!date.isValid() || (text.size() > 10 && text[10] != QLatin1Char(' '))) return text;
    return date.toString(QStringLiteral("dd.MM.yyyy")) + text.mid(10);
}

} // namespace ExcelValues
