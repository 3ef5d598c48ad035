// The result list as a file a reader can keep or open in a spreadsheet: one
// line per row of the list, in its order, the title, a tab and the page's
// path as the collection stores it; UTF-8 without a byte-order mark, lines
// ended by a line feed, no header line. A cell cannot break the columns or
// the lines: a tab or a line break inside it becomes a space.
#pragma once

#include <QByteArray>
#include <QString>

namespace Orvanta {

// The cell's text with every tab and line break (CR, LF, vertical tab, form
// feed, NEL, line and paragraph separators) replaced by a space.
QString resultListCell(const QString& text);

// Appends one row, "title<TAB>htm<LF>", in UTF-8.
void appendResultListRow(QByteArray& file, const QString& title, const QString& htm);

// What the reader is told when the file could not be written: the file, as
// the desktop names it, and the cause, from the error's number.
QString resultListNotSavedMessage(const QString& nativePath, int errorNumber);

} // namespace Orvanta
