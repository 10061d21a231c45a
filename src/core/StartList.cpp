#include "StartList.h"

#include "Corrections.h"
#include "Protocol.h"
#include "ProtocolFile.h"

#include <optional>

#include <QCryptographicHash>
#include <QHash>
#include <QRegularExpression>

namespace StartList {
namespace {

QString Normalized(const QString& heading) {
    return heading.trimmed().toLower();
}

// A heading reduced to its letters and digits: "Start-Nr.", "Startnr" and
// "START NR" are one spelling, as are "Last name" and "last_name".
QString Spelling(const QString& heading) {
    QString key;
    for (const QChar c : heading)
        if (c.isLetterOrNumber()) key += c.toLower();
    return key;
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
    static const QHash<QString, TField> known = [] {
        QHash<QString, TField> k;
        const auto add = [&k](TField f, std::initializer_list<const char*> spellings) {
            for (const char* sp : spellings)
                k.insert(Spelling(QString::fromUtf8(sp)), f);
        };
        add(sfStartNr, {"Startnummer", "Start-Nr.", "StNr", "Nr.", "Nummer", "Bib", "No.",
                        "Bib number", "Start number", "Number"});
        add(sfSurname, {"Name", "Nachname", "Familienname", "Fahrer", "Fahrername", "Last name",
                        "Surname", "Family name", "Driver", "Driver name"});
        add(sfFirstName, {"Vorname", "First name", "Given name", "Forename"});
        add(sfClass, {"Klasse", "Gruppe", "Kategorie", "AK", "Altersklasse", "Class", "Category",
                      "Group"});
        add(sfClub, {"Verein", "Team", "Club"});
        add(sfVehicle, {"Fahrzeug", "Auto", "Wagen", "Vehicle", "Car"});
        return k;
    }();
    return known.value(Spelling(heading), sfIgnore);
}

namespace {

// Headings that mark a header line: the start list's and the protocol's own.
int HeadingCount(const QStringList& fields) {
    static const QSet<QString> captions = [] {
        QSet<QString> c;
        for (const QString& caption : ProtocolCaptions)
            c.insert(Spelling(caption));
        return c;
    }();
    int n = 0;
    for (const QString& f : fields)
        n += KnownField(f) != sfIgnore || captions.contains(Spelling(f)) ? 1 : 0;
    return n;
}

QString LineText(const QStringList& fields) {
    QStringList parts;
    for (const QString& f : fields)
        if (!f.trimmed().isEmpty()) parts << f.trimmed();
    return parts.join(QLatin1Char(' '));
}

// The records of a text from 'from' on, split at 'sep', quotes read as spreadsheets
// write them; blank records are left out.
QList<QStringList> Records(const QString& text, qsizetype from, QChar sep) {
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
    const qsizetype n = text.size();
    for (qsizetype i = from; i < n; ++i) {
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
    return records;
}

} // namespace

int TTable::Columns() const {
    qsizetype n = Header.size();
    for (const QStringList& r : Rows)
        n = qMax(n, r.size());
    return int(n);
}

QString TTable::Heading(int column) const {
    if (Header.isEmpty()) return QStringLiteral("Spalte %1").arg(column + 1);
    return Header.value(column);
}

TTable ParseText(const QString& text) {
    TTable table;
    const qsizetype n = text.size();
    std::optional<QChar> named; // the separator of a "sep=" line
    qsizetype firstContent = -1, headerAt = -1;
    QStringList above;
    int lines = 0;
    for (qsizetype i = 0, line = 0; i < n && lines < HeaderSearchLines; ++line) {
        qsizetype end = i;
        while (end < n && !IsLineEnd(text.at(end)))
            ++end;
        const QString raw = text.mid(i, end - i);
        const qsizetype begin = i;
        i = end + (end + 1 < n && text.at(end) == QLatin1Char('\r') &&
                           text.at(end + 1) == QLatin1Char('\n')
                       ? 2
                       : 1);
        QChar sep;
        if (firstContent < 0 && !named && ProtocolFile::IsSeparatorLine(raw, &sep)) {
            named = sep;
            continue;
        }
        const QStringList fields = Records(raw, 0, named.value_or(SeparatorOf(raw))).value(0);
        if (IsBlankList(fields)) continue; // also ";;;;" of an empty spreadsheet row
        ++lines;
        if (firstContent < 0) firstContent = begin;
        if (HeadingCount(fields) >= 2) {
            headerAt = begin;
            table.HeaderLine = int(line);
            break;
        }
        above << LineText(fields);
    }
    const qsizetype from = headerAt >= 0 ? headerAt : firstContent;
    if (from < 0) return table;
    qsizetype lineEnd = from;
    while (lineEnd < n && !IsLineEnd(text.at(lineEnd)))
        ++lineEnd;
    table.Separator = named.value_or(SeparatorOf(text.mid(from, lineEnd - from)));
    QList<QStringList> records = Records(text, from, table.Separator);
    if (headerAt >= 0 && !records.isEmpty()) {
        table.Above = above;
        table.Header = records.takeFirst();
    }
    table.Rows = records;
    return table;
}

TTable FromCells(const QList<QStringList>& cells) {
    TTable table;
    QStringList above;
    int lines = 0;
    qsizetype headerAt = -1;
    for (qsizetype r = 0; r < cells.size() && lines < HeaderSearchLines; ++r) {
        if (IsBlankList(cells[r])) continue;
        ++lines;
        if (HeadingCount(cells[r]) >= 2) {
            headerAt = r;
            break;
        }
        above << LineText(cells[r]);
    }
    if (headerAt >= 0) {
        table.Above = above;
        table.HeaderLine = int(headerAt);
    }
    for (qsizetype r = qMax<qsizetype>(0, headerAt); r < cells.size(); ++r) {
        if (IsBlankList(cells[r])) {
            // As in the plain import, the data end at an empty row: notes far below are no drivers.
            if (!table.Header.isEmpty() || !table.Rows.isEmpty()) break;
            continue;
        }
        QStringList trimmed;
        for (const QString& c : cells[r])
            trimmed << c.trimmed();
        if (r == headerAt)
            table.Header = trimmed;
        else
            table.Rows << trimmed;
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
    // A workbook of the protocol has only as many lap columns as its laps.
    for (int c = 1; c < header.size(); ++c) {
        const QString h = header[c].trimmed();
        if (!h.isEmpty() &&
            std::find(ProtocolCaptions.begin(), ProtocolCaptions.end(), h) == ProtocolCaptions.end())
            return true;
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

TMapping SuggestMapping(const TTable& table) {
    if (!table.Header.isEmpty()) return SuggestMapping(table.Header);
    TMapping mapping(table.Columns(), sfIgnore);
    if (mapping.size() > 0) mapping[0] = sfStartNr;
    if (mapping.size() > 1) mapping[1] = sfSurname;
    return mapping;
}

bool HasNameColumn(const TMapping& mapping) {
    return mapping.contains(sfSurname) || mapping.contains(sfFirstName);
}

bool IsTimeCell(const QString& text) {
    const QString t = text.trimmed();
    if (t.isEmpty() || t == DnfText || t == DnsText || t == QLatin1String("-")) return true;
    if (ParseTimeText(t) >= 0) return true;
    // What a spreadsheet makes of a time: "54", "55.1", "1:02.3".
    static const QRegularExpression number(QStringLiteral("^\\d{1,4}([.,:]\\d{1,3}){0,3}$"));
    return number.match(t).hasMatch();
}

bool TextNeedsMapping(const TTable& table, const QList<QStringList>& plainRows) {
    if (IsNamedHeader(table.Header)) return true;
    // The program's own file (its backup, too) reads back as written, whatever was
    // typed into a lap.
    bool own = table.Above.isEmpty() && table.Header.size() > pcBest;
    for (int c = 0; own && c <= pcBest; ++c)
        own = table.Header[c] == ProtocolCaptions[c];
    if (own) return false;
    if (!table.Header.isEmpty() && !table.Above.isEmpty()) return true;
    // The plain reader splits at tabs and semicolons only.
    if (table.Separator == QLatin1Char(',') && table.Columns() > 1) return true;
    for (const QStringList& row : plainRows)
        for (int c = pcLap1; c <= pcBest && c < row.size(); ++c)
            if (!IsTimeCell(row[c])) return true;
    return false;
}

bool SheetNeedsMapping(const TTable& table) {
    return IsNamedHeader(table.Header) ||
           (!table.Header.isEmpty() && table.HeaderLine != SheetHeaderLine);
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
