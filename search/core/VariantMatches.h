// Where the words of a folded search (the 異體字 switch) stand in a page's
// text: every form of a word is found, 人參 in 人蔘 and 人参 alike.
//
// The text is folded character by character (VariantFolding.h) into a copy
// that remembers where each of its units came from. A variant may lie on the
// other side of the basic plane from its representative (𠂝, two UTF-16
// units, folds to 众, one), so the copy's positions are not the text's:
// every hit is mapped back to the stretch of the text it covers, and two
// hits of one word may differ in length.
#pragma once

#include "search/core/TextRuns.h"

#include <QString>

#include <vector>

namespace Orvanta {

class VariantMatches {
public:
    explicit VariantMatches(QStringView text);

    // `word` folded as the text is.
    static QString folded(QStringView word);

    // The non-overlapping hits of `word`, left to right, as stretches of the
    // text; `accept` decides whether a hit counts (a hit it refuses lets the
    // search go on one character later, as for an exact word).
    template <typename Accept>
    std::vector<TextRun> find(QStringView word, Accept accept) const
    {
        std::vector<TextRun> hits;
        const QString needle = folded(word);
        if (needle.isEmpty())
            return hits;
        const qsizetype length = needle.size();
        for (qsizetype hit = m_folded.indexOf(needle); hit >= 0;) {
            const TextRun span{m_origin[size_t(hit)], m_origin[size_t(hit + length)]};
            if (!accept(span)) {
                hit = m_folded.indexOf(needle, hit + 1);
                continue;
            }
            hits.push_back(span);
            hit = m_folded.indexOf(needle, hit + length);
        }
        return hits;
    }

    // The folded copy, and the way between its positions and the text's:
    // for matching a pattern over the folded text (PatternStretches.h).
    const QString& foldedText() const { return m_folded; }
    // The folded position of the text's position `at` (a character's start,
    // or the text's end).
    qsizetype foldedPosition(qsizetype at) const;
    // The stretch of the text a stretch of the folded copy covers.
    TextRun textStretch(TextRun folded) const
    {
        return {m_origin[size_t(folded.begin)], m_origin[size_t(folded.end)]};
    }

private:
    QString m_folded;
    // Unit i of the folded copy comes from the text's character starting at
    // m_origin[i]; one more entry holds the text's length.
    std::vector<qsizetype> m_origin;
};

} // namespace Orvanta
