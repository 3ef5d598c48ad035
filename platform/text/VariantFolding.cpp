#include "platform/text/VariantFolding.h"

#include <unicode/uchar.h>

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

namespace Orvanta::VariantFolding {

namespace {

#include "VariantTable.inc"

// Look-ups run once per character of every document a folded search reads:
// a page table (256 characters a page) answers them in two reads. Only the
// few hundred pages that hold a variant get a page of their own.
class PageTable {
public:
    PageTable()
    {
        m_pageOf.fill(0);
        m_pages.emplace_back(); // page 0: no variants
        for (const auto& [c, rep] : kVariantPairs) {
            uint32_t& slot = m_pageOf[c >> 8];
            if (slot == 0) {
                slot = uint32_t(m_pages.size());
                m_pages.emplace_back();
            }
            m_pages[slot][c & 0xFF] = rep;
        }
    }

    char32_t fold(char32_t c) const
    {
        if (c > 0x10FFFF)
            return c;
        const char32_t rep = c < 0x80 ? 0 : m_pages[m_pageOf[c >> 8]][c & 0xFF];
        // Characters that have no variant still fold their case: the table
        // leaves out those whose only other form is ASCII (the Kelvin sign).
        return rep ? rep : char32_t(u_foldCase(UChar32(c), U_FOLD_CASE_DEFAULT));
    }

private:
    std::array<uint32_t, 0x1100> m_pageOf;
    std::vector<std::array<char32_t, 256>> m_pages = {};
};

const PageTable& pageTable()
{
    static const PageTable table;
    return table;
}

} // namespace

char32_t fold(char32_t c)
{
    return pageTable().fold(c);
}

std::span<const std::pair<char32_t, char32_t>> table()
{
    return kVariantPairs;
}

const char* dataVersions()
{
    return kVariantDataVersions;
}

} // namespace Orvanta::VariantFolding
