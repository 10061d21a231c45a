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

QString BuiltinDateCode(int id) {
    switch (id) {
    case 14: return QStringLiteral("dd.mm.yyyy");
    case 15: return QStringLiteral("dd. mmm yy");
    case 16: return QStringLiteral("dd. mmm");
    case 17: return QStringLiteral("mmm yy");
    case 18: return QStringLiteral("h:mm AM/PM");
    case 19: return QStringLiteral("h:mm:ss AM/PM");
    case 20: return QStringLiteral("hh:mm");
    case 21: return QStringLiteral("hh:mm:ss");
    case 22: return QStringLiteral("dd.mm.yyyy hh:mm");
    case 45: return QStringLiteral("mm:ss");
    case 46: return QStringLiteral("[h]:mm:ss");
    case 47: return QStringLiteral("mm:ss.0");
    default: break;
    }
    // The East Asian built-in dates show as the German short date here.
    if ((id >= 27 && id <= 36) || (id >= 50 && id <= 58)) return QStringLiteral("dd.mm.yyyy");
    return QString();
}

namespace {

// One part of a date or time format: a literal text or a field of a given length.
struct TDatePart {
    enum TKind { Text, Year, Month, Minute, Day, Hour, Second, Fraction, AmPm, Hours, Minutes, Seconds };
    TKind Kind = Text;
    int Length = 0;
    QString Literal;
};

QList<TDatePart> DateParts(const QString& code) {
    QList<TDatePart> parts;
    const auto literal = [&parts](const QString& t) {
        if (!parts.isEmpty() && parts.last().Kind == TDatePart::Text)
            parts.last().Literal += t;
        else
            parts << TDatePart{TDatePart::Text, 0, t};
    };
    const auto lastField = [&parts]() -> const TDatePart* {
        for (qsizetype k = parts.size() - 1; k >= 0; --k)
            if (parts[k].Kind != TDatePart::Text) return &parts[k];
        return nullptr;
    };
    for (qsizetype i = 0; i < code.size(); ++i) {
        const QChar ch = code[i];
        const QChar lo = ch.toLower();
        if (ch == QLatin1Char(';')) break; // the first section is the one for dates
        if (ch == QLatin1Char('"')) {
            const qsizetype end = code.indexOf(QLatin1Char('"'), i + 1);
            literal(code.mid(i + 1, (end < 0 ? code.size() : end) - i - 1));
            i = end < 0 ? code.size() : end;
        } else if (ch == QLatin1Char('\\')) {
            if (i + 1 < code.size()) literal(code.mid(++i, 1));
        } else if (ch == QLatin1Char('_')) {
            ++i;
            literal(QStringLiteral(" "));
        } else if (ch == QLatin1Char('*')) {
            ++i;
        } else if (ch == QLatin1Char('[')) {
            const qsizetype end = code.indexOf(QLatin1Char(']'), i);
            if (end < 0) break;
            const QString inner = code.mid(i + 1, end - i - 1).toLower();
            if (!inner.isEmpty() && inner.count(inner[0]) == inner.size() &&
                QStringLiteral("hms").contains(inner[0])) {
                const auto kind = inner[0] == QLatin1Char('h')   ? TDatePart::Hours
                                  : inner[0] == QLatin1Char('m') ? TDatePart::Minutes
                                                                 : TDatePart::Seconds;
                parts << TDatePart{kind, int(inner.size()), {}};
            } else if (inner.startsWith(QLatin1Char('$'))) { // a currency or a locale: its symbol
                literal(code.mid(i + 2, end - i - 2).section(QLatin1Char('-'), 0, 0));
            }
            i = end;
        } else if (lo == QLatin1Char('a') &&
                   code.mid(i, 5).compare(QLatin1String("am/pm"), Qt::CaseInsensitive) == 0) {
            parts << TDatePart{TDatePart::AmPm, 5, {}};
            i += 4;
        } else if (lo == QLatin1Char('a') &&
                   code.mid(i, 3).compare(QLatin1String("a/p"), Qt::CaseInsensitive) == 0) {
            parts << TDatePart{TDatePart::AmPm, 1, {}};
            i += 2;
        } else if (QStringLiteral("ymdhse").contains(lo)) {
            qsizetype n = 1;
            while (i + n < code.size() && code[i + n].toLower() == lo)
                ++n;
            const TDatePart::TKind kind =
                lo == QLatin1Char('y') || lo == QLatin1Char('e') ? TDatePart::Year
                : lo == QLatin1Char('m')                         ? TDatePart::Month
                : lo == QLatin1Char('d')                         ? TDatePart::Day
                : lo == QLatin1Char('h')                         ? TDatePart::Hour
                                                                 : TDatePart::Second;
            parts << TDatePart{kind, int(n), {}};
            i += n - 1;
        } else if (ch == QLatin1Char('.') && i + 1 < code.size() && code[i + 1] == QLatin1Char('0') &&
                   lastField() &&
                   (lastField()->Kind == TDatePart::Second || lastField()->Kind == TDatePart::Seconds)) {
            qsizetype n = 0;
            while (i + 1 + n < code.size() && code[i + 1 + n] == QLatin1Char('0'))
                ++n;
            parts << TDatePart{TDatePart::Fraction, int(qMin<qsizetype>(n, 3)), {}};
            i += n;
        } else if (ch == QLatin1Char('/')) {
            literal(QStringLiteral(".")); // the date separator, German
        } else if (ch != QLatin1Char('@')) {
            literal(QString(ch));
        }
    }
    // An m of one or two letters after an hour or before a second is minutes, else the month.
    for (qsizetype k = 0; k < parts.size(); ++k) {
        if (parts[k].Kind != TDatePart::Month || parts[k].Length > 2) continue;
        qsizetype before = k - 1, after = k + 1;
        while (before >= 0 && parts[before].Kind == TDatePart::Text)
            --before;
        while (after < parts.size() && parts[after].Kind == TDatePart::Text)
            ++after;
        const bool afterHour = before >= 0 && (parts[before].Kind == TDatePart::Hour ||
                                               parts[before].Kind == TDatePart::Hours);
        const bool beforeSecond = after < parts.size() && (parts[after].Kind == TDatePart::Second ||
                                                           parts[after].Kind == TDatePart::Seconds);
        if (afterHour || beforeSecond) parts[k].Kind = TDatePart::Minute;
    }
    return parts;
}

} // namespace

QString SerialDateText(double serial, const QString& formatCode, bool date1904) {
    if (!std::isfinite(serial) || serial < 0 || serial > 2958466) return NumberText(serial);
    QString code = formatCode;
    // The system's long date and time, as Windows shows them in Germany.
    if (code.contains(QLatin1String("[$-F800]"), Qt::CaseInsensitive))
        code = QStringLiteral("dddd, d. mmmm yyyy");
    else if (code.contains(QLatin1String("[$-F400]"), Qt::CaseInsensitive))
        code = QStringLiteral("hh:mm:ss");
    const QList<TDatePart> parts = DateParts(code);
    int decimals = 0;
    bool twelve = false;
    for (const TDatePart& p : parts) {
        if (p.Kind == TDatePart::Fraction) decimals = qMax(decimals, p.Length);
        if (p.Kind == TDatePart::AmPm) twelve = true;
    }
    // Excel rounds to the shown part of a second, never to minutes.
    qint64 scale = 1;
    for (int k = 0; k < decimals; ++k)
        scale *= 10;
    const qint64 units = qint64(std::llround(serial * 86400.0 * double(scale)));
    const qint64 perDay = 86400 * scale;
    const qint64 days = units / perDay, inDay = units % perDay;
    const qint64 hour = inDay / (3600 * scale), minute = inDay / (60 * scale) % 60,
                 second = inDay / scale % 60, fraction = inDay % scale;
    // Day 0 is 1899-12-31 (1904-01-01), and Excel counts a 29 February 1900 that never was.
    const QDate date = date1904 ? QDate(1904, 1, 1).addDays(days)
                                : QDate(1899, 12, 31).addDays(days > 59 ? days - 1 : days);
    static const QStringList Months = {
        QStringLiteral("Januar"), QStringLiteral("Februar"), QStringLiteral("März"),
        QStringLiteral("April"), QStringLiteral("Mai"), QStringLiteral("Juni"),
        QStringLiteral("Juli"), QStringLiteral("August"), QStringLiteral("September"),
        QStringLiteral("Oktober"), QStringLiteral("November"), QStringLiteral("Dezember")};
    static const QStringList ShortMonths = {
        QStringLiteral("Jan"), QStringLiteral("Feb"), QStringLiteral("Mrz"), QStringLiteral("Apr"),
        QStringLiteral("Mai"), QStringLiteral("Jun"), QStringLiteral("Jul"), QStringLiteral("Aug"),
        QStringLiteral("Sep"), QStringLiteral("Okt"), QStringLiteral("Nov"), QStringLiteral("Dez")};
    static const QStringList Days = {QStringLiteral("Montag"),   QStringLiteral("Dienstag"),
                                     QStringLiteral("Mittwoch"), QStringLiteral("Donnerstag"),
                                     QStringLiteral("Freitag"),  QStringLiteral("Samstag"),
                                     QStringLiteral("Sonntag")};
    const auto num = [](qint64 v, int width) {
        return QStringLiteral("%1").arg(v, qMax(1, width), 10, QLatin1Char('0'));
    };
    QString text;
    for (const TDatePart& p : parts) {
        switch (p.Kind) {
        case TDatePart::Text: text += p.Literal; break;
        case TDatePart::Year:
            text += p.Length <= 2 ? num(date.year() % 100, 2) : num(date.year(), 4);
            break;
        case TDatePart::Month:
            text += p.Length <= 2   ? num(date.month(), p.Length)
                    : p.Length == 3 ? ShortMonths[date.month() - 1]
                    : p.Length == 4 ? Months[date.month() - 1]
                                    : Months[date.month() - 1].left(1);
            break;
        case TDatePart::Day:
            text += p.Length <= 2   ? num(date.day(), p.Length)
                    : p.Length == 3 ? Days[date.dayOfWeek() - 1].left(2)
                                    : Days[date.dayOfWeek() - 1];
            break;
        case TDatePart::Hour:
            text += num(twelve ? (hour % 12 == 0 ? 12 : hour % 12) : hour, qMin(p.Length, 2));
            break;
        case TDatePart::Minute: text += num(minute, qMin(p.Length, 2)); break;
        case TDatePart::Second: text += num(second, qMin(p.Length, 2)); break;
        case TDatePart::Hours: text += num(units / (3600 * scale), p.Length); break;
        case TDatePart::Minutes: text += num(units / (60 * scale), p.Length); break;
        case TDatePart::Seconds: text += num(units / scale, p.Length); break;
        case TDatePart::Fraction:
            text += QLatin1Char(',') + num(fraction, decimals).left(p.Length);
            break;
        case TDatePart::AmPm:
            text += p.Length == 1 ? QString(hour < 12 ? QLatin1Char('A') : QLatin1Char('P'))
                                  : hour < 12 ? QStringLiteral("AM") : QStringLiteral("PM");
            break;
        }
    }
    return text;
}

QString IsoDateText(const QString& text) {
    const QDate date = QDate::fromString(text.left(10), Qt::ISODate);
    if (!date.isValid() || (text.size() > 10 && text[10] != QLatin1Char(' '))) return text;
    return date.toString(QStringLiteral("dd.MM.yyyy")) + text.mid(10);
}

} // namespace ExcelValues
