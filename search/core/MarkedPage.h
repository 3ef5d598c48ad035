// The marking of words in a page's text, as the search window shows them:
// MarkedPage does the work that markWords (Highlighter.h) describes, and
// Highlighter.cpp runs it on a page read from disk, word by word, so that a
// failure keeps the words marked before it.
#pragma once

#include "platform/sql/LikeComparison.h"
#include "search/core/TextRuns.h"

#include <QString>

#include <vector>

namespace Orvanta {

// The page being marked and where its text is. The runs are found once and
// then kept up to date as marks go in: a mark splits its run into the text
// before it, the marked word and the text after it.
//
// A page that writes characters as references ("楊雲&#23791;", as Big5 pages
// must for 爲 and others) is searched as the characters they stand for, as
// the index reads it: its words are matched in that reading, and a mark takes
// in whole references.
struct MarkedPage {
    QString text;
    std::vector<TextRun> runs;
    QString folded; // the text folded, for the words that need it
    // The characters the page's references stand for, as UTF-16 units, as
    // written and folded; sorted. A word holding none of them cannot meet a
    // reference, and is marked in the runs alone.
    std::vector<char16_t> referenced;
    // Every variant form of a word is marked (VariantMatches.h).
    bool variants = false;

    explicit MarkedPage(const QString& page, LikeComparison comparison = LikeComparison::Exact);
    void mark(const QString& word);

private:
    void markInTextRuns(const QString& word);
    bool markInReading(const QString& word); // whether marks went in
    bool wrap(const std::vector<TextRun>& spans);
    bool meetsReferences(const QString& word) const;
    std::vector<TextRun> foldedPatternStretches(const QString& word) const;
};

} // namespace Orvanta
