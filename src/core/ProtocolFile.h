#pragma once
// The protocol text file: one line per row with a tab after each of the cells of
// columns 0..8, CR LF line ends, Windows-1252. A file whose texts Windows-1252
// cannot hold is written as UTF-8 with a byte-order mark; the reader takes both.
#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace ProtocolFile {

// Largest file the reader takes; anything longer is no protocol or start list.
constexpr qint64 MaxFileSize = 16 * 1024 * 1024;

// Encodes the rows (row 0, the header, first). Rows whose cells 0..8 are all
// blank are left out; an empty cell (also an empty start number) is written as
// " "; a tab, CR or LF inside a cell would break the line structure and is
// written as a blank.
QByteArray Encode(const QList<QStringList>& rows);

// Decodes a file's bytes: a byte-order mark means UTF-8 or UTF-16; without one,
// text that is entirely valid UTF-8 is UTF-8, anything else is Windows-1252.
QString DecodeText(const QByteArray& data);
bool FitsWindows1252(const QString& text);
QByteArray ToWindows1252(const QString& text);

// Whether the bytes can be a text file at all (no NUL byte unless UTF-16 with
// its mark, not too long).
bool LooksLikeText(const QByteArray& data);

// Excel's first line "sep=;" names the separator of the lines below it; the
// separator is returned in sep.
bool IsSeparatorLine(const QString& line, QChar* sep = nullptr);

// The data rows of a file: header lines (any line holding "Start-Nr.") and a
// leading "sep=" line are skipped; a line's separator is the tab when it has one, else ";", and a run of
// separators counts as one; an empty field is " "; at most ten fields; an empty
// line gives an empty row.
QList<QStringList> ParseRows(const QString& text);

// The fields of one line by the rules above.
QStringList SplitLine(const QString& line);

} // namespace ProtocolFile
