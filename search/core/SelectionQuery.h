// The query that searching for the text selected in the page makes. A
// selection is whatever the reader dragged over: it may run over lines and
// table cells, hold tabs and invisible format characters, hold half of a
// surrogate pair, or be the whole of a long page. The query is the words of
// it in the query language's own terms: words apart by single spaces, no
// character that could not be typed, and short enough to stay a search of a
// few words rather than a statement of thousands of clauses.
#pragma once

#include <QString>

namespace Orvanta {

// The longest query a selection makes, in code points. A phrase or a few
// words is what one searches for from a page; the longest titles and terms
// of the collection are far shorter.
constexpr int kSelectionQueryMaxCodePoints = 120;

// Every run of white space (line breaks, tabs, ideographic spaces included)
// becomes one space, so each line or cell is a word of its own; control and
// format characters, lone surrogates and noncharacters are dropped; the
// result is trimmed and cut to the bound at a whole code point. Empty when
// nothing is left.
QString queryFromSelection(const QString& selection);

} // namespace Orvanta
