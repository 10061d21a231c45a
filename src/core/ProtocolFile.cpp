#include "ProtocolFile.h"

#include "Protocol.h"

#include <optional>

#include <QHash>
#include <QStringDecoder>

namespace ProtocolFile {
namespace {

// Windows-1252 bytes 0x80..0x9F; the five undefined bytes map to themselves.
const char16_t High1252[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                               0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                               0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                               0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

int ByteOf(QChar c) {
    const char16_t u = c.unicode();
    if (u < 0x80 || (u >= 0xA0 && u <= 0xFF)) return u;
    static const QHash<char16_t, int> table = [] {
        QHash<char16_t, int> t;
        for (int i = 0; i < 32; ++i)
            t.insert(High1252[i], 0x80 + i);
        return t;
    }();
    return table.value(u, -1);
}

const QByteArray Bom("\xEF\xBB\xBF", 3);
const QByteArray Utf16LeBom("\xFF\xFE", 2);
const QByteArray Utf16BeBom("\xFE\xFF", 2);

bool IsUtf16(const QByteArray& data) {
    return data.startsWith(Utf16LeBom) || data.startsWith(Utf16BeBom);
}

bool HasHighBytes(const QByteArray& data) {
    for (const char c : data)
        if (static_cast<unsigned char>(c) >= 0x80) return true;
    return false;
}

// The whole text as UTF-8, or nothing when any byte sequence is not UTF-8.
std::optional<QString> StrictUtf8(const QByteArray& data) {
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(data);
    if (decoder.hasError()) return std::nullopt;
    return text;
}

} // namespace

bool FitsWindows1252(const QString& text) {
    for (const QChar c : text)
        if (ByteOf(c) < 0) return false;
    return true;
}

QByteArray ToWindows1252(const QString& text) {
    QByteArray out;
    out.reserve(text.size());
    for (const QChar c : text) {
        const int b = ByteOf(c);
        out.append(static_cast<char>(b < 0 ? '?' : b));
    }
    return out;
}

QString DecodeText(const QByteArray& data) {
    if (data.startsWith(Bom)) return QString::fromUtf8(data.constData() + 3, data.size() - 3);
    // Excel's "Unicode text" export: UTF-16 with its mark.
    if (IsUtf16(data)) {
        QStringDecoder decoder(data.startsWith(Utf16LeBom) ? QStringDecoder::Utf16LE
                                                           : QStringDecoder::Utf16BE);
        return decoder.decode(data.mid(2));
    }
    // Today's editors write UTF-8 without a mark; Windows-1252 text with umlauts
    // is practically never valid UTF-8.
    if (HasHighBytes(data))
        if (std::optional<QString> utf8 = StrictUtf8(data)) return *utf8;
    QString s;
    s.resize(data.size());
    QChar* d = s.data();
    for (qsizetype i = 0; i < data.size(); ++i) {
        const auto b = static_cast<unsigned char>(data[i]);
        d[i] = (b >= 0x80 && b < 0xA0) ? QChar(High1252[b - 0x80]) : QChar(b);
    }
    return s;
}

bool LooksLikeText(const QByteArray& data) {
    return data.size() <= MaxFileSize && (IsUtf16(data) || !data.contains('\0'));
}

QByteArray Encode(const QList<QStringList>& rows) {
    QString text;
    for (const QStringList& row : rows) {
        // A finished run without a start number is a result too: only rows with
        // nothing in the written columns stay out of the file.
        if (IsBlankRow(row)) continue;
        for (int c = 0; c <= pcBest; ++c) {
            QString cell = row.value(c);
            if (cell.isEmpty()) cell = QStringLiteral(" ");
            for (QChar& ch : cell)
                if (ch == QLatin1Char('\t') || ch == QLatin1Char('\r') || ch == QLatin1Char('\n'))
                    ch = QLatin1Char(' ');
            text += cell;
            text += QLatin1Char('\t');
        }
        text += QLatin1String("\r\n");
    }
    if (FitsWindows1252(text)) {
        QByteArray bytes = ToWindows1252(text);
        // Bytes that would read as UTF-8 get the mark instead, so the file reads back.
        if (!HasHighBytes(bytes) || !StrictUtf8(bytes)) return bytes;
    }
    return Bom + text.toUtf8(); // names like "Łukasz" stay intact
}

namespace {

// A spreadsheet's quoted field starting at the quote at 'from': its text, with a
// doubled quote standing for one, and the position of the closing quote; -1 when
// the quote never closes.
qsizetype ReadQuoted(const QString& line, qsizetype from, QString& text) {
    const QChar quote = QLatin1Char('"');
    for (qsizetype j = from + 1; j < line.size(); ++j) {
        if (line.at(j) != quote) {
            text += line.at(j);
        } else if (j + 1 < line.size() && line.at(j + 1) == quote) {
            text += quote;
            ++j;
        } else {
            return j;
        }
    }
    return -1;
}

} // namespace

QStringList SplitLine(const QString& line) {
    const QChar sep = line.contains(QLatin1Char('\t')) ? QLatin1Char('\t') : QLatin1Char(';');
    QStringList fields;
    QString current;
    bool open = true;     // a field has started and not yet been ended by a separator
    bool started = false; // the current field has content, possibly an empty quoted one
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line.at(i);
        if (c == QLatin1Char('"') && sep == QLatin1Char(';') && !started) {
            QString quoted;
            const qsizetype close = ReadQuoted(line, i, quoted);
            if (close < 0) { // never closed: no quoting, the rest of the line is the field
                current += line.mid(i);
                started = open = true;
                break;
            }
            current += quoted;
            started = open = true;
            i = close;
        } else if (c == sep) {
            fields << current;
            current.clear();
            open = started = false;
            while (i + 1 < line.size() && line.at(i + 1) == sep)
                ++i;
        } else {
            current += c;
            started = open = true;
        }
    }
    if (open && started) fields << current;
    for (QString& f : fields)
        if (f.isEmpty()) f = QStringLiteral(" ");
    if (fields.size() > pcCount) fields = fields.mid(0, pcCount);
    return fields;
}

bool IsSeparatorLine(const QString& line, QChar* sep) {
    QString t = line.trimmed();
    if (t.size() == 7 && t.startsWith(QLatin1Char('"')) && t.endsWith(QLatin1Char('"')))
        t = t.mid(1, 5);
    // The tab of "sep=<tab>" is trimmed away with the line's blanks.
    if (t.compare(QLatin1String("sep="), Qt::CaseInsensitive) == 0 && line.contains(QLatin1Char('\t')))
        t += QLatin1Char('\t');
    if (t.size() != 5 || !t.startsWith(QLatin1String("sep="), Qt::CaseInsensitive)) return false;
    if (sep) *sep = t.at(4);
    return true;
}

QList<QStringList> ParseRows(const QString& text) {
    QList<QStringList> rows;
    bool first = true;
    qsizetype start = 0;
    const qsizetype n = text.size();
    while (start < n) {
        qsizetype end = start;
        while (end < n && text.at(end) != QLatin1Char('\r') && text.at(end) != QLatin1Char('\n'))
            ++end;
        const QString line = text.mid(start, end - start);
        if (end < n && text.at(end) == QLatin1Char('\r') && end + 1 < n &&
            text.at(end + 1) == QLatin1Char('\n'))
            ++end;
        start = end + 1;
        if (line.contains(ProtocolCaptions[pcStartNr])) continue;
        if (first && IsSeparatorLine(line)) continue;
        first = first && line.trimmed().isEmpty();
        rows << SplitLine(line);
    }
    return rows;
}

} // namespace ProtocolFile
