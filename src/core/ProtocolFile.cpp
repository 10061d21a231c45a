#include "ProtocolFile.h"

#include "Protocol.h"

#include <QHash>

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
    return data.size() <= MaxFileSize && !data.contains('\0');
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
    if (FitsWindows1252(text)) return ToWindows1252(text);
    return Bom + text.toUtf8(); // names like "Łukasz" stay intact
}

QStringList SplitLine(const QString& line) {
    const QChar sep = line.contains(QLatin1Char('\t')) ? QLatin1Char('\t') : QLatin1Char(';');
    QStringList fields;
    QString current;
    bool open = true; // a field has started and not yet been ended by a separator
    for (qsizetype i = 0; i < line.size(); ++i) {
        if (line.at(i) == sep) {
            fields << current;
            current.clear();
            open = false;
            while (i + 1 < line.size() && line.at(i + 1) == sep)
                ++i;
        } else {
            current += line.at(i);
            open = true;
        }
    }
    if (open && !current.isEmpty()) fields << current;
    for (QString& f : fields)
        if (f.isEmpty()) f = QStringLiteral(" ");
    if (fields.size() > pcCount) fields = fields.mid(0, pcCount);
    return fields;
}

QList<QStringList> ParseRows(const QString& text) {
    QList<QStringList> rows;
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
        rows << SplitLine(line);
    }
    return rows;
}

} // namespace ProtocolFile
