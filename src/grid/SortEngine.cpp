#include "SortEngine.h"

#include <QDate>
#include <QHash>
#include <algorithm>
#include <cmath>

TSortLocale TSortLocale::From(const QLocale& locale) {
    TSortLocale l;
    l.DecimalSeparator =
        locale.decimalPoint().isEmpty() ? QLatin1Char('.') : locale.decimalPoint().at(0);
    const QString df = locale.dateFormat(QLocale::ShortFormat);
    for (const QChar c : df)
        if (!c.isLetter() && !c.isSpace()) {
            l.DateSeparator = c;
            break;
        }
    const auto d = df.indexOf(QLatin1Char('d')), m = df.indexOf(QLatin1Char('M')),
               y = df.indexOf(QLatin1Char('y'));
    if (y >= 0 && y < m && y < d)
        l.Order = YMD;
    else if (m >= 0 && m < d)
        l.Order = MDY;
    else
        l.Order = DMY;
    const QString tf = locale.timeFormat(QLocale::ShortFormat);
    for (const QChar c : tf)
        if (!c.isLetter() && !c.isSpace()) {
            l.TimeSeparator = c;
            break;
        }
    if (!locale.amText().isEmpty()) l.AmText = locale.amText();
    if (!locale.pmText().isEmpty()) l.PmText = locale.pmText();
    l.CurrentYear = QDate::currentDate().year();
    return l;
}

namespace SortRules {
namespace {

bool IsDigit(QChar c) {
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

// A small cursor over a text for the parse rules.
struct Scanner {
    const QString& s;
    int pos = 0;
    bool AtEnd() const { return pos >= s.size(); }
    QChar Peek() const { return AtEnd() ? QChar() : s.at(pos); }
    bool Eat(QChar c) {
        if (!AtEnd() && s.at(pos) == c) {
            ++pos;
            return true;
        }
        return false;
    }
    void Blanks() {
        while (!AtEnd() && s.at(pos) == QLatin1Char(' '))
            ++pos;
    }
    // Digits into value; false without a digit.
    bool Number(qint64& value, int* count = nullptr) {
        const int start = pos;
        value = 0;
        while (!AtEnd() && IsDigit(s.at(pos)) && pos - start < 18)
            value = value * 10 + (s.at(pos++).unicode() - '0');
        if (count) *count = pos - start;
        return pos > start && (AtEnd() || !IsDigit(s.at(pos)));
    }
    bool Word(const QString& w) {
        if (w.isEmpty() || s.mid(pos, w.size()).compare(w, Qt::CaseInsensitive) != 0) return false;
        pos += w.size();
        return true;
    }
};

// 0 none, 1 morning, 2 afternoon.
int Marker(Scanner& sc, const TSortLocale& loc) {
    if (sc.Word(loc.AmText) || sc.Word(QStringLiteral("AM"))) return 1;
    if (sc.Word(loc.PmText) || sc.Word(QStringLiteral("PM"))) return 2;
    return 0;
}

bool ScanTime(Scanner& sc, const TSortLocale& loc, qint64& ms) {
    int marker = Marker(sc, loc);
    if (marker) sc.Blanks();
    qint64 h = 0, m = 0, s = 0, z = 0;
    if (!sc.Number(h)) return false;
    if (sc.Eat(loc.TimeSeparator)) {
        if (!sc.Number(m)) return false;
        if (sc.Eat(loc.TimeSeparator)) {
            if (!sc.Number(s)) return false;
            if (sc.Eat(loc.DecimalSeparator) && !sc.Number(z)) return false;
        }
    }
    sc.Blanks();
    if (!marker) marker = Marker(sc, loc);
    sc.Blanks();
    if (m >= 60 || s >= 60 || z >= 1000) return false;
    if (marker) {
        if (h < 1 || h > 12) return false;
        h = h % 12 + (marker == 2 ? 12 : 0);
    } else if (h >= 24) {
        return false;
    }
    ms = ((h * 60 + m) * 60 + s) * 1000 + z;
    return true;
}

} // namespace

QString FoldAscii(const QString& s) {
    const auto upper = [](QChar c) { return c >= QLatin1Char('A') && c <= QLatin1Char('Z'); };
    const qsizetype first = std::find_if(s.begin(), s.end(), upper) - s.begin();
    if (first == s.size()) return s; // nothing to fold: share the text
    QString r = s;
    QChar* d = r.data();
    for (qsizetype i = first; i < r.size(); ++i)
        if (upper(d[i])) d[i] = QChar(d[i].unicode() + 32);
    return r;
}

int Ordinal(const QString& a, const QString& b) {
    const int c = QString::compare(a, b, Qt::CaseSensitive);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

bool ParseNumber(const QString& s, const TSortLocale& loc, double& value) {
    Scanner sc{s};
    sc.Blanks();
    QString text;
    if (sc.Peek() == QLatin1Char('+') || sc.Peek() == QLatin1Char('-')) text += s.at(sc.pos++);
    int digits = 0;
    bool sep = false;
    while (!sc.AtEnd()) {
        const QChar c = sc.Peek();
        if (IsDigit(c)) {
            ++digits;
            text += c;
        } else if (c == loc.DecimalSeparator && !sep) {
            sep = true;
            text += QLatin1Char('.');
        } else {
            break;
        }
        ++sc.pos;
    }
    if (digits == 0) return false;
    if (sc.Peek() == QLatin1Char('e') || sc.Peek() == QLatin1Char('E')) {
        text += QLatin1Char('e');
        ++sc.pos;
        if (sc.Peek() == QLatin1Char('+') || sc.Peek() == QLatin1Char('-')) text += s.at(sc.pos++);
        int expDigits = 0;
        while (IsDigit(sc.Peek())) {
            text += s.at(sc.pos++);
            ++expDigits;
        }
        if (expDigits == 0) return false;
    }
    sc.Blanks();
    if (!sc.AtEnd()) return false;
    bool ok = false;
    value = text.toDouble(&ok);
    return ok && std::isfinite(value);
}

bool ParseTime(const QString& s, const TSortLocale& loc, qint64& ms) {
    Scanner sc{s};
    return ScanTime(sc, loc, ms) && sc.AtEnd();
}

bool ParseDateTime(const QString& s, const TSortLocale& loc, qint64& ms) {
    Scanner sc{s};
    qint64 n[3] = {0, 0, 0};
    int digits[3] = {0, 0, 0};
    int count = 0;
    while (count < 3) {
        if (!sc.Number(n[count], &digits[count])) return false;
        ++count;
        if (!sc.Eat(loc.DateSeparator)) break;
        if (!IsDigit(sc.Peek())) break; // a trailing separator
    }
    if (count < 2) return false;
    qint64 y, m, d;
    int yDigits = 4;
    if (count == 2) {
        y = loc.CurrentYear;
        if (loc.Order == TSortLocale::DMY) {
            d = n[0];
            m = n[1];
        } else {
            m = n[0];
            d = n[1];
        }
    } else if (loc.Order == TSortLocale::DMY) {
        d = n[0], m = n[1], y = n[2], yDigits = digits[2];
    } else if (loc.Order == TSortLocale::MDY) {
        m = n[0], d = n[1], y = n[2], yDigits = digits[2];
    } else {
        y = n[0], m = n[1], d = n[2], yDigits = digits[0];
    }
    if (count == 3 && yDigits <= 2) {
        const int threshold = loc.CurrentYear - 50;
        y += threshold / 100 * 100;
        if (y < threshold) y += 100;
    }
    const QDate date(static_cast<int>(y), static_cast<int>(m), static_cast<int>(d));
    if (y > 9999 || !date.isValid()) return false;
    qint64 time = 0;
    sc.Blanks();
    if (!sc.AtEnd() && !ScanTime(sc, loc, time)) return false;
    if (!sc.AtEnd()) return false;
    ms = date.toJulianDay() * 86400000LL + time;
    return true;
}

int CompareNumericExtended(const QString& a, const QString& b) {
    if (a.isEmpty() || b.isEmpty()) return a.isEmpty() == b.isEmpty() ? 0 : (a.isEmpty() ? -1 : 1);
    const int m = std::min(a.size(), b.size());
    QString ka, kb;
    for (int i = 0; i < m; ++i) {
        if (a.at(i) == b.at(i) && !IsDigit(a.at(i))) continue;
        if (i == m - 1) {
            ka += a.mid(i);
            kb += b.mid(i);
        } else {
            ka += a.at(i);
            kb += b.at(i);
        }
    }
    const QString ka0 = ka, kb0 = kb;
    const int m2 = std::min(ka0.size(), kb0.size());
    for (int j = 0; j < m2; ++j) {
        const QChar ca = ka0.at(ka0.size() - 1 - j), cb = kb0.at(kb0.size() - 1 - j);
        if (ca == cb && !IsDigit(ca)) {
            ka.chop(1);
            kb.chop(1);
        }
    }
    if (ka == kb) return 0;
    bool okA = false, okB = false;
    const qlonglong va = ka.toLongLong(&okA), vb = kb.toLongLong(&okB);
    if (okA && okB) return va < vb ? -1 : 1;
    return Ordinal(ka, kb);
}

int CompareTexts(const QString& a, const QString& b, TSortStyle style, TSortCompareFunc custom,
                 const TSortLocale& loc) {
    switch (style) {
    case ssNumeric: {
        double x, y;
        if (ParseNumber(a, loc, x) && ParseNumber(b, loc, y)) return x < y ? -1 : (x > y ? 1 : 0);
        return Ordinal(a, b);
    }
    case ssNumericExtended:
        return CompareNumericExtended(a, b);
    case ssDateTime: {
        qint64 x, y;
        if (ParseDateTime(a, loc, x) && ParseDateTime(b, loc, y))
            return x < y ? -1 : (x > y ? 1 : 0);
        return Ordinal(a, b);
    }
    case ssTime: {
        qint64 x, y;
        if (ParseTime(a, loc, x) && ParseTime(b, loc, y)) return x < y ? -1 : (x > y ? 1 : 0);
        return Ordinal(a, b);
    }
    case ssCustom:
        if (custom) {
            const int r = custom(a, b);
            return r < 0 ? -1 : (r > 0 ? 1 : 0);
        }
        return Ordinal(a, b);
    case ssAutomatic:
    case ssNormal:
        break;
    }
    return Ordinal(a, b);
}

int CompareEntries(const TSortedListEntry& l, const TSortedListEntry& r, TSortStyle style,
                   const TSortLocale& loc) {
    const TSortOptions& o = *l.SortOptions;
    int result = o.SortCaseSensitive
                     ? CompareTexts(l.Str, r.Str, style, o.SortCompare, loc)
                     : CompareTexts(FoldAscii(l.Str), FoldAscii(r.Str), style, o.SortCompare, loc);
    if (result == 0) return l.RowNum < r.RowNum ? -1 : (l.RowNum > r.RowNum ? 1 : 0);
    return o.SortDirection == sdDescending ? -result : result;
}

QStringList SplitKeyList(const QString& list) {
    auto isSep = [](QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char(','); };
    QStringList items;
    const int n = list.size();
    int i = 0;
    while (i < n && list.at(i) == QLatin1Char(' '))
        ++i;
    if (i >= n) return items;
    for (;;) {
        QString item;
        if (list.at(i) == QLatin1Char('"')) {
            ++i;
            while (i < n && list.at(i) != QLatin1Char('"'))
                item += list.at(i++);
            if (i < n) ++i;
        }
        while (i < n && !isSep(list.at(i)))
            item += list.at(i++);
        items << item;
        while (i < n && list.at(i) == QLatin1Char(' '))
            ++i;
        if (i < n && list.at(i) == QLatin1Char(',')) {
            ++i;
            while (i < n && list.at(i) == QLatin1Char(' '))
                ++i;
            if (i >= n) {
                items << QString(); // a comma at the very end adds an empty item
                break;
            }
        }
        if (i >= n) break;
    }
    return items;
}

TSortStyle DetectSortStyle(const QStringList& texts, const TSortLocale& loc) {
    bool number = true, dateTime = true, time = true;
    for (const QString& t : texts) {
        double d;
        qint64 v;
        if (number && !ParseNumber(t, loc, d)) number = false;
        if (dateTime && !ParseDateTime(t, loc, v)) dateTime = false;
        if (time && !ParseTime(t, loc, v)) time = false;
        if (!number && !dateTime && !time) break;
    }
    if (number) return ssNumeric;
    if (dateTime) return ssDateTime;
    if (time) return ssTime;
    return ssNormal;
}

} // namespace SortRules

namespace {

// One pass: order the entries of the current row order by one key column.
struct PassKey {
    QString text; // folded when the sort ignores case
    double number = 0;
    qint64 value = 0;
    bool parsed = false;
};

// Equal texts are equal keys: a comparison that costs much (a custom function, the
// numeric-extended rule) runs only between different texts, and only to rank them.
// Returns the rank of each position's key; equal keys share a rank.
template <typename KeyCompare>
std::vector<int> KeyRanks(const std::vector<PassKey>& pk, KeyCompare keyCompare) {
    const int n = static_cast<int>(pk.size());
    std::vector<int> ranks(n);
    std::vector<int> firstAt; // position of each different text's first row
    QHash<QString, int> seen;
    seen.reserve(n);
    for (int p = 0; p < n; ++p) {
        const auto it = seen.constFind(pk[p].text);
        if (it != seen.constEnd()) {
            ranks[p] = it.value();
        } else {
            ranks[p] = static_cast<int>(firstAt.size());
            seen.insert(pk[p].text, ranks[p]);
            firstAt.push_back(p);
        }
    }
    std::vector<int> order(firstAt.size());
    for (size_t u = 0; u < order.size(); ++u)
        order[u] = static_cast<int>(u);
    // Merging never reads beyond the range, even should a comparison contradict itself.
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        return keyCompare(firstAt[a], firstAt[b]) < 0;
    });
    std::vector<int> rankOf(order.size());
    int rank = 0;
    for (size_t i = 0; i < order.size(); ++i) {
        if (i > 0 && keyCompare(firstAt[order[i - 1]], firstAt[order[i]]) != 0) ++rank;
        rankOf[order[i]] = rank;
    }
    for (int& r : ranks)
        r = rankOf[r];
    return ranks;
}

// Positions by rank, ties in their order.
void SortByRanks(std::vector<int>& idx, const std::vector<int>& ranks, bool descending) {
    std::sort(idx.begin(), idx.end(), [&](int a, int b) {
        if (ranks[a] != ranks[b]) return descending ? ranks[a] > ranks[b] : ranks[a] < ranks[b];
        return a < b;
    });
}

} // namespace

std::vector<int> SortOrder(int rowCount, int colCount, int col, TSortOptions& options,
                           const std::function<QString(int row, int col)>& cell,
                           const std::function<void(int col, TSortStyle& style)>& getSortStyle,
                           const TSortLocale& loc) {
    const int n = std::max(0, rowCount - 1);
    std::vector<int> perm(n);
    for (int i = 0; i < n; ++i)
        perm[i] = i + 1;

    // Keys: the sorted column first, then the secondary columns in their order.
    QStringList items = SortRules::SplitKeyList(options.SecondaryIndex);
    items.removeOne(QString::number(col));
    items.prepend(QString::number(col));
    std::vector<int> keys;
    for (const QString& item : items) {
        bool ok = false;
        const int k = item.trimmed().toInt(&ok);
        if (ok && k >= 0 && k < colCount) keys.push_back(k);
    }

    TSortStyle handlerStyle = ssAutomatic;
    std::vector<PassKey> pk(n);
    std::vector<int> idx(n);
    for (auto it = keys.rbegin(); it != keys.rend(); ++it) {
        const int k = *it;
        TSortStyle style = options.SortStyle;
        if (getSortStyle) {
            getSortStyle(k, handlerStyle);
            options.SortStyle = handlerStyle;
            style = handlerStyle;
        } else if (options.SortStyle == ssAutomatic) {
            QStringList texts;
            texts.reserve(n);
            for (int p = 0; p < n; ++p)
                texts << cell(perm[p], k);
            style = n == 0 ? ssNumeric : SortRules::DetectSortStyle(texts, loc);
        }

        for (int p = 0; p < n; ++p) {
            PassKey& key = pk[p];
            const QString t = cell(perm[p], k);
            key.text = options.SortCaseSensitive ? t : SortRules::FoldAscii(t);
            if (style == ssNumeric)
                key.parsed = SortRules::ParseNumber(key.text, loc, key.number);
            else if (style == ssDateTime)
                key.parsed = SortRules::ParseDateTime(key.text, loc, key.value);
            else if (style == ssTime)
                key.parsed = SortRules::ParseTime(key.text, loc, key.value);
            idx[p] = p;
        }
        const TSortCompareFunc custom = options.SortCompare;
        const bool descending = options.SortDirection == sdDescending;
        // The key comparison of two positions, without tie-break and direction.
        auto keyCompare = [&](int a, int b) {
            const PassKey& l = pk[a];
            const PassKey& r = pk[b];
            if ((style == ssNumeric) && l.parsed && r.parsed)
                return l.number < r.number ? -1 : (l.number > r.number ? 1 : 0);
            if ((style == ssDateTime || style == ssTime) && l.parsed && r.parsed)
                return l.value < r.value ? -1 : (l.value > r.value ? 1 : 0);
            if (style == ssNumeric || style == ssDateTime || style == ssTime)
                return SortRules::Ordinal(l.text, r.text);
            return SortRules::CompareTexts(l.text, r.text, style, custom, loc);
        };
        auto compare = [&](int a, int b) {
            const int c = keyCompare(a, b);
            if (c == 0) return a < b; // earlier position first, in both directions
            return descending ? c > 0 : c < 0;
        };
        // The order is total (ties go by position), so any way to reach it gives the same
        // rows: rows already in order need no sort, and an ordered head, as filtering off
        // leaves the shown rows before the hidden ones, needs only its tail sorted and a merge.
        const auto firstBreak = std::is_sorted_until(idx.begin(), idx.end(), compare);
        if (firstBreak != idx.end()) {
            if (std::is_sorted(firstBreak, idx.end(), compare)) {
                std::inplace_merge(idx.begin(), firstBreak, idx.end(), compare);
            } else if (style == ssCustom || style == ssNumericExtended) {
                SortByRanks(idx, KeyRanks(pk, keyCompare), descending);
            } else if (firstBreak - idx.begin() >= n / 4) {
                std::stable_sort(firstBreak, idx.end(), compare);
                std::inplace_merge(idx.begin(), firstBreak, idx.end(), compare);
            } else {
                std::stable_sort(idx.begin(), idx.end(), compare);
            }
        }
        std::vector<int> next(n);
        for (int p = 0; p < n; ++p)
            next[p] = perm[idx[p]];
        perm.swap(next);
    }
    return perm;
}
