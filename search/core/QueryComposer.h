// From the text of the query box to the SQL statement of one search.
#pragma once

#include <QString>
#include <QStringList>

namespace Orvanta {

struct ComposedQuery {
    QString trimmed;   // the box text without leading/trailing U+0020; written back to the box
    QString escaped;   // apostrophes escaped; without the mode character in "mod3"/"mod4"
    QString mode;      // "mod1", "mod3", "mod3a" or "mod4"
    QString sql;       // strSQL
    int wordCount = 0; // clauses appended (nWord ran from 0 to wordCount - 1)
};

// Leading and trailing U+0020 removed; nothing else.
QString trimSpaces(const QString& text);

// Pieces between single U+0020 separators, empty words kept; "" gives none.
QStringList splitWords(const QString& text);

ComposedQuery composeQuery(const QString& queryBoxText);

} // namespace Orvanta
