// The stretches of a page's text that a wildcard word matches, for marking a
// word like 人_湯 or 人%湯: the search found the page by the pattern, so the
// marks show what it matched rather than the word's literal letters.
//
// Read as the search reads it (see LikeMatcher.h): "_" is one code point, "%"
// any run of them, every other character itself, compared by simple case
// folding. The search looks for the pattern anywhere in the text, so a "%" at
// either end of the word adds nothing and is dropped; a word that is nothing
// but "%" matches no stretch.
//
// Within one run of text: the leftmost place a match starts, the shortest
// match from there, then on from its end, so stretches never overlap. A match
// never spans mark-up or a reference, and never runs past kLongestStretch code
// points: "甲%乙" on a page with 甲 at its top and 乙 at its foot would
// otherwise paint the whole page red.
#pragma once

#include "search/core/TextRuns.h"

#include <QString>
#include <QStringView>

#include <vector>

namespace Orvanta {

// The longest stretch marked, in code points: a few lines of a page.
inline constexpr qsizetype kLongestStretch = 200;

// Whether the word is a pattern ("%" or "_" in it) rather than literal text.
bool isPatternWord(QStringView word);

// The stretches of `page` inside `runs` (positions in UTF-16 units, in order,
// apart) that `word` matches.
std::vector<TextRun> patternStretches(QStringView page, const std::vector<TextRun>& runs, QStringView word);

} // namespace Orvanta
