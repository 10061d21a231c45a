#pragma once
// Start lists as registration systems and spreadsheets export them: a header line
// that names its columns in any order ("Startnummer;Nachname;Vorname;Verein;Klasse",
// "Bib;Last name;First name;Club;Class"), possibly below a title and after Excel's
// "sep=" line. The protocol's own layout ("Start-Nr." then "Name" and the time
// columns) stays with the plain reader as long as that reader puts only times into
// time columns. Window-free.
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

namespace StartList {

// What a column of the file becomes.
enum TField { sfIgnore, sfStartNr, sfSurname, sfFirstName, sfClass, sfClub, sfVehicle };
constexpr int FieldCount = 7;
using TMapping = QList<TField>; // one field per column of the file

// The drop-down texts: "Start-Nr.", "Name", "Vorname", "Klasse", "Verein",
// "Fahrzeug", "nicht übernehmen".
QString FieldCaption(TField f);
// The field a heading names, German or English ("Startnummer", "Bib", "Nachname",
// "Last name", "AK" …; case, blanks, dots and dashes ignored); sfIgnore for any
// other heading.
TField KnownField(const QString& heading);

// How many lines (or sheet rows) with content the header is looked for in.
constexpr int HeaderSearchLines = 10;

// A file split into the lines above its header, the header and the data rows.
struct TTable {
    QStringList Above;  // lines above the header with content, fields joined by a blank
    QStringList Header; // empty when none of the first lines names columns
    QList<QStringList> Rows;
    int HeaderLine = -1; // the header's line of the file or row of the sheet, from 0
    QChar Separator;     // of a text
    int Columns() const;
    // The header's text of a column, "Spalte n" when the file has no header.
    QString Heading(int column) const;
};

// The columns of a whole text. The header is the first of the first ten lines with
// content that holds two headings of the start list or the protocol; its separator
// (tab, else semicolon, else comma), or the one a leading "sep=" line names, serves
// every line. Fields may be quoted as spreadsheets write them, also across line
// breaks; empty fields keep their place; blank lines are left out. Without a header
// every line with content is a row.
TTable ParseText(const QString& text);
// The same from a sheet's cell texts; the data end at the first empty row below
// the header.
TTable FromCells(const QList<QStringList>& cells);

// True when the header names at least two known columns and is not the
// protocol's own layout, which the plain reader takes.
bool IsNamedHeader(const QStringList& header);
TMapping SuggestMapping(const QStringList& header);
// The same for a table; without a header the plain reader's view: start number, name.
TMapping SuggestMapping(const TTable& table);
bool HasNameColumn(const TMapping& mapping);

// Whether a cell text can stand in a time column: blank, a time ("55,1", "1.02,30",
// "54"), "DNF", "DNS" or "-".
bool IsTimeCell(const QString& text);
// Whether a text start list needs the dialog rather than the plain reader, never for
// a file in the protocol's own layout from its first line on; otherwise when it names
// its columns, has lines above its header, separates them by commas, or one of the
// plain reader's rows (plainRows) holds a text that is no time in a time column.
bool TextNeedsMapping(const TTable& table, const QList<QStringList>& plainRows);
// Whether a sheet needs the dialog rather than the plain import, which reads the
// protocol's header in row 4: it names its columns or has its header in another row.
bool SheetNeedsMapping(const TTable& table);
// The protocol's own sheet layout keeps its header in row 4.
constexpr int SheetHeaderLine = 3;

// The mapping as remembered in the settings for a header layout.
QString LayoutKey(const QStringList& header);
QString EncodeMapping(const TMapping& mapping);
// A stored mapping for this number of columns; empty when it does not fit.
TMapping DecodeMapping(const QString& text, int columns);

enum TNameOrder { noFirstLast = 0, noLastFirst = 1 }; // "Vorname Name" / "Name, Vorname"

struct TEntrant {
    QString StartNr;
    QString Name; // as the protocol shows it
    QString Class;
    QString Club;
    QString Vehicle;
};

// One entrant per data row; a column chosen twice is joined with a blank.
QList<TEntrant> Apply(const TTable& table, const TMapping& mapping, TNameOrder order);
// Start numbers that more than one entrant carries.
QSet<QString> DuplicateStartNumbers(const QList<TEntrant>& entrants);
// The protocol rows (ten cells; start number and name, never a time) of the entrants.
QList<QStringList> ProtocolRows(const QList<TEntrant>& entrants);

} // namespace StartList
