#include "ExcelValues.h"

#include <cmath>

namespace ExcelValues {

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

} // namespace ExcelValues
