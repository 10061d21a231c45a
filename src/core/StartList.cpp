#include "StartList.h"

#include "Protocol.h"

#include <QCryptographicHash>
#include <QHash>

namespace StartList {
namespace {

QString Normalized(const QString& heading) {
    return heading.trimmed().toLower();
}

QChar SeparatorOf(const QString& line) {
    if (line.contains(QLatin1Char('\t'))) return QLatin1Char('\t');
    if (line.contains(QLatin1Char(';'))) return QLatin1Char(';');
    return QLatin1Char(',');
}

bool IsBlankList(const QStringList& fields) {
    for (const QString& f : fields)
        if (!f.trimmed().isEmpty()) return false;
    return true;
}

// The closing quote of a quoted field that opens at 'from', or -1 when it never
// closes (the quote is then plain text).
qsizetype ClosingQuote(const QString& text, qsizetype from) {
    for (qsizetype j = from + 1; j < text.size(); ++j) {
        if (text.at(j) != QLatin1Char('"')) continue;
        if (j + 1 < text.size() && text.at(j + 1) == QLatin1Char('"')) {
            ++j;
            continue;
        }
        return j;
    }
    return -1;
}

bool IsLineEnd(QChar c) {
    return c == QLatin1Char('\r') || c == QLatin1Char('\n');
}

} // namespace

QString FieldCaption(TField f) {
    switch (f) {
    case sfStartNr:
        return QStringLiteral("Start-Nr.");
    case sfSurname:
        return QStringLiteral("Name");
    case sfFirstName:
        return QStringLiteral("Vorname");
    case sfClass:
        return QStringLiteral("Klasse");
    case sfClub:
        return QStringLiteral("Verein");
    case sfVehicle:
        return QStringLiteral("Fahrzeug");
    case sfIgnore:
        break;
    }
    return QStringLiteral("nicht übernehmen");
}

TField KnownField(const QString& heading) {
    static const QHash<QString, TField> known = {
        {QStringLiteral("start-nr."), sfStartNr},   {QStringLiteral("start-nr"), sfStartNr},
        {QStringLiteral("startnummer"), sfStartNr}, {QStringLiteral("stnr"), sfStartNr},
        {QStringLiteral("stnr."), sfStartNr},       {QStringLiteral("nr."), sfStartNr},
        {QStringLiteral("nr"), sfStartNr},          {QStringLiteral("name"), sfSurname},
        {QStringLiteral("nachname"), sfSurname},    {QStringLiteral("vorname"), sfFirstName},
        {QStringLiteral("klasse"), sfClass},        {QStringLiteral("gruppe"), sfClass},
        {QStringLiteral("kategorie"), sfClass},     {QStringLiteral("ak"), sfClass},
        {QStringLiteral("verein"), sfClub},         {QStringLiteral("team"), sfClub},
        {QStringLiteral("club"), sfClub},           {QStringLiteral("fahrzeug"), sfVehicle},
        {QStringLiteral("auto"), sfVehicle},
    };
    return known.value(Normalized(heading), sfIgnore);
}

int TTable::Columns() const {
    qsizetype n = Header.size();
    for (const QStringList& r : Rows)
        n = qMax(n, r.size());
    return int(n);
}

TTable ParseText(const QString& text) {
    TTable table;
    qsizetype i = 0;
    const qsizetype n = text.size();
    // The header is the first line with anything on it; it decides the separator.
    while (i < n) {
        qsizetype end = i;
        while (end < n && !IsLineEnd(text.at(end)))
            ++end;
        if (!text.mid(i, end - i).trimmed().isEmpty()) break;
        i = end + 1;
    }
    if (i >= n) return table;
    qsizetype lineEnd = i;
    while (lineEnd < n && !IsLineEnd(text.at(lineEnd)))
        ++lineEnd;
    const QChar sep = SeparatorOf(text.mid(i, lineEnd - i));

    QList<QStringList> records;
    QStringList record;
    QString field;
    bool fieldStart = true;
    auto endField = [&] {
        record << field.trimmed();
        field.clear();
        fieldStart = true;
    };
    auto endRecord = [&] {
        endField();
        if (!IsBlankList(record)) records << record;
        record.clear();
    };
    for (; i < n; ++i) {
        const QChar c = text.at(i);
        if (fieldStart && c == QLatin1Char('"')) {
            const qsizetype close = ClosingQuote(text, i);
            if (close >= 0) {
                QString quoted = text.mid(i + 1, close - i - 1);
                quoted.replace(QStringLiteral("\"\""), QStringLiteral("\""));
                // A line break inside a quoted name is no line of the list.
                for (QChar& q : quoted)
                    if (IsLineEnd(q)) q = QLatin1Char(' ');
                field += quoted.simplified();
                fieldStart = false;
                i = close;
                continue;
            }
        }
        if (c == sep) {
            endField();
        } else if (IsLineEnd(c)) {
            endRecord();
            if (c == QLatin1Char('\r') && i + 1 < n && text.at(i + 1) == QLatin1Char('\n')) ++i;
        } else {
            field += c;
            if (!c.isSpace()) fieldStart = false;
        }
    }
    if (!field.isEmpty() || !record.isEmpty()) endRecord();
    if (records.isEmpty()) return table;
    table.Header = records.takeFirst();
    table.Rows = records;
    return table;
}

TTable FromCells(const QList<QStringList>& cells) {
    TTable table;
    bool header = true;
    for (const QStringList& row : cells) {
        if (IsBlankList(row)) continue;
        QStringList trimmed;
        for (const QString& c : row)
            trimmed << c.trimmed();
        if (header)
            table.Header = trimmed;
        else
            table.Rows << trimmed;
        header = false;
    }
    return table;
}

bool IsNamedHeader(const QStringList& header) {
    int known = 0;
    for (const QString& h : header)
        known += KnownField(h) != sfIgnore ? 1 : 0;
    if (known < 2) return false;
    // The protocol's own head row and the described start list stay as they are.
    if (header.value(0).trimmed() != ProtocolCaptions[pcStartNr]) return true;
    for (int c = 1; c < header.size(); ++c) {
        const QString h = header[c].trimmed();
        if (!h.isEmpty() && (c >= pcCount || h != ProtocolCaptions[c])) return true;
    }
    return false;
}

TMapping SuggestMapping(const QStringList& header) {
    TMapping mapping;
    QSet<TField> taken;
    for (const QString& h : header) {
        TField f = KnownField(h);
        // The first column of a kind wins; a second "Team" beside "Verein" is left out.
        if (f != sfIgnore && taken.contains(f)) f = sfIgnore;
        taken.insert(f);
        mapping << f;
    }
    return mapping;
}

QString LayoutKey(const QStringList& header) {
    QStringList parts;
    for (const QString& h : header)
        parts << Normalized(h);
    const QByteArray hash =
        QCryptographicHash::hash(parts.join(QChar(0x1F)).toUtf8(), QCryptographicHash::Sha1);
    return QString::fromLatin1(hash.toHex().left(16));
}

QString EncodeMapping(const TMapping& mapping) {
    QStringList parts;
    for (const TField f : mapping)
        parts << QString::number(int(f));
    return parts.join(QLatin1Char(','));
}

TMapping DecodeMapping(const QString& text, int columns) {
    const QStringList parts = text.split(QLatin1Char(','));
    if (text.isEmpty() || parts.size() != columns) return {};
    TMapping mapping;
    for (const QString& p : parts) {
        bool ok = false;
        const int v = p.toInt(&ok);
        if (!ok || v < 0 || v >= FieldCount) return {};
        mapping << TField(v);
    }
    return mapping;
}

QList<TEntrant> Apply(const TTable& table, const TMapping& mapping, TNameOrder order) {
    QList<TEntrant> entrants;
    entrants.reserve(table.Rows.size());
    for (const QStringList& row : table.Rows) {
        QString values[FieldCount];
        for (int c = 0; c < mapping.size() && c < row.size(); ++c) {
            const QString v = row[c].trimmed();
            if (mapping[c] == sfIgnore || v.isEmpty()) continue;
            QString& into = values[mapping[c]];
            into = into.isEmpty() ? v : into + QLatin1Char(' ') + v;
        }
        const QString& first = values[sfFirstName];
        const QString& last = values[sfSurname];
        TEntrant e;
        e.StartNr = values[sfStartNr];
        if (first.isEmpty() || last.isEmpty())
            e.Name = first.isEmpty() ? last : first;
        else
            e.Name = order == noLastFirst ? last + QStringLiteral(", ") + first
                                          : first + QLatin1Char(' ') + last;
        e.Class = values[sfClass];
        e.Club = values[sfClub];
        e.Vehicle = values[sfVehicle];
        entrants << e;
    }
    return entrants;
}

QSet<QString> DuplicateStartNumbers(const QList<TEntrant>& entrants) {
    QSet<QString> seen, twice;
    for (const TEntrant& e : entrants) {
        if (e.StartNr.isEmpty()) continue;
        if (seen.contains(e.StartNr)) twice.insert(e.StartNr);
        seen.insert(e.StartNr);
    }
    return twice;
}

QList<QStringList> ProtocolRows(const QList<TEntrant>& entrants) {
    QList<QStringList> rows;
    rows.reserve(entrants.size());
    for (const TEntrant& e : entrants) {
        QStringList cells(pcCount);
        cells[pcStartNr] = e.StartNr;
        cells[pcName] = e.Name;
        rows << cells;
    }
    return rows;
}

} // namespace StartList
