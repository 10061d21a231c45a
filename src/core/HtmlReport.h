#pragma once
// The protocol as a web page. The page is also what gets printed, so its inputs
// are gathered once here and both the page writer and the printout read them.
#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

struct THtmlReport {
    QString Title;        // the event title
    QString RunNumber;    // the run number as typed
    QString ListSubtitle; // from an imported sheet, usually empty
    QString AppTitle;     // the program title
    QString LongDate;     // today in the long date format
    int Laps = 2;
    QList<QStringList> Rows; // row 0 holds the column captions
    QList<int> ColWidths;    // a negative width hides the column
};

namespace HtmlReport {

// Maker's and web designer's host names (placeholders, used wherever the program
// names them).
QString MakerHost();
QString WebDesignerHost();

// The columns that go into the page and the printout: 0..8 unless hidden; the
// rank column never.
QList<int> WrittenColumns(const THtmlReport& report);

// A text as it may stand in the page: &, <, > and " as entities, and anything
// ISO-8859-1 cannot hold as a numeric character reference.
QString Escape(const QString& text);

// The whole page, ISO-8859-1, CR LF line ends.
QByteArray Page(const THtmlReport& report);

} // namespace HtmlReport

// Writes the page through a temporary file renamed over the target; false when
// the file could not be written (an older file of that name is then unchanged).
bool WriteHtmlReport(const QString& fileName, const THtmlReport& report);
