// Where the words of a page may be marked: the stretches of text between its
// mark-up. Tags (the marks inserted for earlier words included), comments,
// declarations, character and entity references, and the content of the
// raw-text elements (script, style, textarea, xmp, iframe, noembed, noframes,
// title, plaintext) are not text: a mark put inside one breaks the page or
// shows as letters.
//
// The reading is as lenient as the pages: a "<" or "&" that starts nothing
// stays text, and an unclosed tag or comment runs to the end of the page.
#pragma once

#include <QStringView>

#include <vector>

namespace Orvanta {

struct TextRun {
    qsizetype begin = 0;
    qsizetype end = 0; // one past the last character
};

// The page's text runs, in order; none is empty. When `references` is given it
// receives, in order, where the character and entity references between the
// runs are (those inside tags, comments and scripts are no references).
std::vector<TextRun> textRuns(QStringView page, std::vector<TextRun>* references = nullptr);

} // namespace Orvanta
