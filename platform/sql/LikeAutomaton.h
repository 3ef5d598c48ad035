// One segment of a LIKE pattern (the text between two "%": characters and
// "_") as a bit-parallel Shift-And automaton: bit j of the state says that the
// segment's first j+1 items match the characters just read. Each character of
// the text costs one shift and one AND per 64 items, whatever the segment and
// whatever the text, so a search takes n * ceil(m/64) steps for a text of n
// and a segment of m characters; no text can make it backtrack. The quick
// searches of LikeMatcher are faster on ordinary words and hand over to this
// one when a text makes them slow.
#pragma once

#include "platform/sql/LikeFolding.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <vector>

namespace Orvanta {

class LikeAutomaton {
public:
    // `items`: folded characters (as LikeFolding::foldWith gives them), with
    // `any` standing for "_". Not empty.
    LikeAutomaton(const std::vector<char32_t>& items, char32_t any, const LikeFolding::FoldTables& tables);

    // The end of the earliest match that starts at or after `from`, a
    // character boundary; size_t(-1) when there is none. Segments have a
    // fixed number of characters, so the earliest end is also the leftmost start.
    size_t findEnd(const unsigned char* text, size_t n, size_t from) const;

private:
    template <size_t Words>
    size_t run(const unsigned char* text, size_t n, size_t from) const;
    uint32_t classOf(const unsigned char* text, size_t n, size_t& pos) const;

    const LikeFolding::FoldTables* m_tables;
    size_t m_items = 0;
    size_t m_words = 0;
    // A text character's class: the row of m_masks for it. Class 0 is every
    // character the segment does not name (only "_" accepts it).
    std::array<uint32_t, 128> m_asciiClass{};
    std::unordered_map<char32_t, uint32_t> m_otherClass;
    std::vector<uint64_t> m_masks; // class * m_words + word
};

} // namespace Orvanta
