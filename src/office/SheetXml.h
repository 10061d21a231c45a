#pragma once
// A worksheet part's cells read straight from its bytes: QXmlStreamReader took most of
// an import's time, and a sheet uses only a small part of XML.
#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <functional>

namespace SheetXml {

struct TCellXml {
    int Row = 0, Col = 0; // 1-based
    QByteArrayView Type;  // the t attribute: "s", "b", "n", "str", "inlineStr", "e" or empty
    int Style = 0;        // the s attribute: index into the cell formats
    QString Text;         // <v>, or the text runs of <is> without phonetic runs
};

// "B12" -> row 12, column 2; false for anything else or beyond the sheet's limits.
bool ParseCellRef(QByteArrayView ref, int* row, int* col);

// Calls onCell for every cell with a value, in document order. False when the part is
// not well-formed as far as a sheet needs (unclosed or unbalanced tags, a DTD, a bad
// reference or row number).
bool Scan(const QByteArray& xml, const std::function<void(const TCellXml&)>& onCell);

} // namespace SheetXml
