#include "platform/sql/LikeAutomaton.h"

namespace Orvanta {

using Utf8Reading::decode;

LikeAutomaton::LikeAutomaton(const std::vector<char32_t>& items, char32_t any,
                             const LikeFolding::FoldTables& tables)
    : m_tables(&tables), m_items(items.size()), m_words((items.size() + 63) / 64)
{
    m_masks.assign(m_words, 0);
    std::unordered_map<char32_t, uint32_t> classes;
    for (size_t j = 0; j < items.size(); ++j) {
        if (items[j] == any)
            continue;
        auto [it, added] = classes.emplace(items[j], uint32_t(classes.size() + 1));
        if (added)
            m_masks.resize(m_masks.size() + m_words, 0);
        m_masks[it->second * m_words + j / 64] |= uint64_t(1) << (j % 64);
    }
    // "_" accepts every character, those the segment names included.
    for (size_t j = 0; j < items.size(); ++j) {
        if (items[j] != any)
            continue;
        for (size_t row = 0; row * m_words < m_masks.size(); ++row)
            m_masks[row * m_words + j / 64] |= uint64_t(1) << (j % 64);
    }
    for (unsigned b = 0; b < 128; ++b) {
        const auto it = classes.find(LikeFolding::foldWith(tables, b));
        m_asciiClass[b] = it == classes.end() ? 0 : it->second;
    }
    for (const auto& [c, row] : classes) {
        if (c >= 0x80)
            m_otherClass.emplace(c, row);
    }
}

inline uint32_t LikeAutomaton::classOf(const unsigned char* text, size_t n, size_t& pos) const
{
    const unsigned b = text[pos];
    if (b < 0x80) {
        ++pos;
        return m_asciiClass[b];
    }
    const Utf8Reading::Decoded d = decode(text + pos, text + n);
    pos += d.len;
    if (m_otherClass.empty())
        return 0;
    const auto it = m_otherClass.find(LikeFolding::foldWith(*m_tables, d.cp));
    return it == m_otherClass.end() ? 0 : it->second;
}

// Words == 0: any number of words, the state on the heap.
template <size_t Words>
size_t LikeAutomaton::run(const unsigned char* text, size_t n, size_t from) const
{
    const size_t words = Words ? Words : m_words;
    const size_t lastWord = (m_items - 1) / 64;
    const uint64_t lastBit = uint64_t(1) << ((m_items - 1) % 64);
    std::array<uint64_t, Words ? Words : 1> fixed{};
    std::vector<uint64_t> heap(Words ? 0 : words, 0);
    uint64_t* state = Words ? fixed.data() : heap.data();
    for (size_t pos = from; pos < n;) {
        const uint64_t* mask = m_masks.data() + size_t(classOf(text, n, pos)) * words;
        uint64_t carry = 1; // a match may start at every character
        for (size_t w = 0; w < words; ++w) {
            const uint64_t s = state[w];
            state[w] = ((s << 1) | carry) & mask[w];
            carry = s >> 63;
        }
        if (state[lastWord] & lastBit)
            return pos;
    }
    return size_t(-1);
}

size_t LikeAutomaton::findEnd(const unsigned char* text, size_t n, size_t from) const
{
    switch (m_words) {
    case 1:
        return run<1>(text, n, from);
    case 2:
        return run<2>(text, n, from);
    default:
        return run<0>(text, n, from);
    }
}

} // namespace Orvanta
