#pragma once
// Start lists as registration systems export them: a header line that names its
// columns in any order ("Startnummer;Nachname;Vorname;Verein;Klasse"). The
// protocol's own layout ("Start-Nr." then "Name" and the time columns) and files
// without such a header stay with the plain reader. Window-free.
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
// The field a heading names ("Startnummer", "Nachname", "AK" …; case and
// surrounding blanks ignored); sfIgnore for any other heading.
TField KnownField(const QString& heading);

// A file split into its header (the first non-empty line) and the data rows.
struct TTable {
    QStringList Header;
    QList<QStringList> Rows;
    int Columns() const;
};

// The columns of a whole text: the header line's separator (tab, else
// semicolon, else comma) serves every line; fields may be quoted as spreadsheets
// write them, also across line breaks; empty fields keep their place; blank lines
// are left out.
TTable ParseText(const QString& text);
// The same from a sheet's cell texts: row 0 is the header.
TTable FromCells(const QList<QStringList>& cells);

// True when the header names at least two known columns and is not the
// protocol's own layout, which the plain reader takes.
bool IsNamedHeader(const QStringList& header);
TMapping SuggestMapping(const QStringList& header);

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
