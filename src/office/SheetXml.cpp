#include "SheetXml.h"
#include "SheetModel.h"

#include <cstring>

namespace SheetXml {

namespace {

bool StartsWith(const char* p, const char* end, const char* text) {
    const size_t n = std::strlen(text);
    return size_t(end - p) >= n && std::memcmp(p, text, n) == 0;
}

const char* Find(const char* p, const char* end, const char* text) {
    const QByteArrayView hay(p, end - p);
    const qsizetype i = hay.indexOf(QByteArrayView(text));
    return i < 0 ? nullptr : p + i;
}

// Character data with entities and character references decoded; false for a broken one.
bool AppendText(QString& out, QByteArrayView raw) {
    for (;;) {
        const qsizetype amp = raw.indexOf('&');
        if (amp < 0) {
            out += QString::fromUtf8(raw);
            return true;
        }
        out += QString::fromUtf8(raw.first(amp));
        const qsizetype semi = raw.indexOf(';', amp);
        if (semi < 0) return false;
        const QByteArrayView name = raw.sliced(amp + 1, semi - amp - 1);
        if (name == "amp")
            out += QLatin1Char('&');
        else if (name == "lt")
            out += QLatin1Char('<');
        else if (name == "gt")
            out += QLatin1Char('>');
        else if (name == "quot")
            out += QLatin1Char('"');
        else if (name == "apos")
            out += QLatin1Char('\'');
        else if (name.startsWith('#')) {
            bool ok = false;
            const uint code = name.size() > 1 && (name[1] == 'x' || name[1] == 'X')
                                  ? name.sliced(2).toUInt(&ok, 16)
                                  : name.sliced(1).toUInt(&ok, 10);
            if (!ok || code == 0 || code > 0x10FFFF || (code >= 0xD800 && code < 0xE000))
                return false;
            const char32_t c = code;
            out += QString::fromUcs4(&c, 1);
        } else {
            return false;
        }
        raw = raw.sliced(semi + 1);
    }
}

// The value of an attribute in a tag's attribute text; empty when it is missing.
QByteArrayView Attribute(QByteArrayView attrs, QByteArrayView name) {
    qsizetype i = 0;
    const qsizetype n = attrs.size();
    while (i < n) {
        while (i < n &&
               (attrs[i] == ' ' || attrs[i] == '\t' || attrs[i] == '\r' || attrs[i] == '\n'))
            ++i;
        const qsizetype nameStart = i;
        while (i < n && attrs[i] != '=' && attrs[i] != ' ')
            ++i;
        const QByteArrayView key = attrs.sliced(nameStart, i - nameStart);
        while (i < n && attrs[i] != '"' && attrs[i] != '\'')
            ++i;
        if (i >= n) return {};
        const char quote = attrs[i++];
        const qsizetype valueStart = i;
        while (i < n && attrs[i] != quote)
            ++i;
        if (key == name) return attrs.sliced(valueStart, i - valueStart);
        ++i;
    }
    return {};
}

int ToInt(QByteArrayView text, bool* ok) {
    int v = 0;
    *ok = !text.isEmpty() && text.size() <= 9;
    for (const char ch : text) {
        if (ch < '0' || ch > '9') *ok = false;
        v = v * 10 + (ch - '0');
    }
    return *ok ? v : 0;
}

} // namespace

bool ParseCellRef(QByteArrayView ref, int* row, int* col) {
    qsizetype i = 0;
    int c = 0, r = 0;
    for (; i < ref.size(); ++i) {
        const char ch = ref[i];
        if (ch >= 'a' && ch <= 'z')
            c = c * 26 + (ch - 'a' + 1);
        else if (ch >= 'A' && ch <= 'Z')
            c = c * 26 + (ch - 'A' + 1);
        else
            break;
        if (c > SheetLimits::MaxCols) return false;
    }
    if (i == 0 || i == ref.size()) return false;
    for (; i < ref.size(); ++i) {
        if (ref[i] < '0' || ref[i] > '9') return false;
        r = r * 10 + (ref[i] - '0');
        if (r > SheetLimits::MaxRows) return false;
    }
    *row = r;
    *col = c;
    return r >= 1;
}

bool Scan(const QByteArray& xml, const std::function<void(const TCellXml&)>& onCell) {
    const char* p = xml.constData();
    const char* const end = p + xml.size();
    int depth = 0, row = 0, nextCol = 1;
    bool inCell = false, hasValue = false, inValue = false, inInline = false, inRun = false;
    int phonetic = 0;
    bool anyElement = false;
    TCellXml cell;
    while (p < end) {
        const char* lt = static_cast<const char*>(std::memchr(p, '<', size_t(end - p)));
        const char* textEnd = lt ? lt : end;
        if ((inValue || (inRun && phonetic == 0)) && textEnd > p &&
            !AppendText(cell.Text, QByteArrayView(p, textEnd - p)))
            return false;
        if (!lt) break;
        p = lt;
        if (StartsWith(p, end, "<?")) {
            const char* q = Find(p, end, "?>");
            if (!q) return false;
            p = q + 2;
            continue;
        }
        if (StartsWith(p, end, "<!--")) {
            const char* q = Find(p + 4, end, "-->");
            if (!q) return false;
            p = q + 3;
            continue;
        }
        if (StartsWith(p, end, "<![CDATA[")) {
            const char* q = Find(p, end, "]]>");
            if (!q) return false;
            if (inValue || (inRun && phonetic == 0))
                cell.Text += QString::fromUtf8(p + 9, q - p - 9);
            p = q + 3;
            continue;
        }
        if (StartsWith(p, end, "<!")) return false; // a DTD has no place in a sheet
        // The tag up to its '>', which may also stand inside a quoted attribute value.
        const bool closing = p + 1 < end && p[1] == '/';
        const char* q = p + (closing ? 2 : 1);
        const char* nameStart = q;
        const char* localStart = q;
        while (q < end && *q != '>' && *q != '/' && *q != ' ' && *q != '\t' && *q != '\r' &&
               *q != '\n') {
            if (*q == ':') localStart = q + 1;
            ++q;
        }
        if (q == nameStart) return false;
        const QByteArrayView name(localStart, q - localStart);
        const char* attrsStart = q;
        char quote = 0;
        while (q < end && (quote || *q != '>')) {
            if (quote) {
                if (*q == quote) quote = 0;
            } else if (*q == '"' || *q == '\'') {
                quote = *q;
            }
            ++q;
        }
        if (q >= end) return false;
        const bool empty = !closing && q[-1] == '/';
        const QByteArrayView attrs(attrsStart, q - attrsStart - (empty ? 1 : 0));
        p = q + 1;

        if (closing) {
            if (--depth < 0) return false;
            if (name == "c" && inCell) {
                inCell = false;
                if (hasValue) onCell(cell);
            } else if (name == "v") {
                inValue = false;
            } else if (name == "is") {
                inInline = false;
            } else if (name == "t") {
                inRun = false;
            } else if (name == "rPh" && phonetic > 0) {
                --phonetic;
            }
            continue;
        }
        if (!empty) ++depth;
        anyElement = true;
        if (name == "row") {
            const QByteArrayView r = Attribute(attrs, "r");
            bool ok = true;
            row = r.isEmpty() ? row + 1 : ToInt(r, &ok);
            if (!ok || row < 1 || row > SheetLimits::MaxRows) return false;
            nextCol = 1;
        } else if (name == "c") {
            int r = row, c = nextCol;
            const QByteArrayView ref = Attribute(attrs, "r");
            if (!ref.isEmpty() && !ParseCellRef(ref, &r, &c)) return false;
            if (r < 1 || c < 1 || c > SheetLimits::MaxCols) return false;
            nextCol = c + 1;
            cell.Row = r;
            cell.Col = c;
            cell.Type = Attribute(attrs, "t");
            bool ok = true;
            const QByteArrayView s = Attribute(attrs, "s");
            cell.Style = s.isEmpty() ? 0 : ToInt(s, &ok);
            cell.Text.clear();
            hasValue = false;
            inCell = !empty;
        } else if (inCell && name == "v") {
            cell.Text.clear();
            hasValue = true;
            inValue = !empty;
        } else if (inCell && name == "is") {
            cell.Text.clear();
            hasValue = true;
            inInline = !empty;
        } else if (inInline && name == "t") {
            inRun = !empty;
        } else if (inInline && name == "rPh") {
            if (!empty) ++phonetic;
        }
    }
    return anyElement && depth == 0 && !inCell;
}

} // namespace SheetXml
