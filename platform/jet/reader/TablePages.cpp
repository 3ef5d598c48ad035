#include "platform/jet/reader/TablePages.h"

#include "platform/jet/reader/FilePages.h"

#include <algorithm>

namespace Orvanta::Jet {

namespace {

constexpr std::uint8_t kDataPage = 0x01;
constexpr std::uint8_t kUsageMapPage = 0x05;
constexpr std::uint32_t kOffsetMask = 0x1FFF;  // row offsets carry flags above these bits
constexpr std::uint32_t kDeletedRow = 0x4000;
constexpr std::uint32_t kNoOwner = 0xFFFFFFFF;

inline std::uint32_t le16(const unsigned char* p)
{
    return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8);
}

inline std::uint32_t le32(const unsigned char* p)
{
    return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16)
        | (std::uint32_t(p[3]) << 24);
}

} // namespace

TablePages::TablePages(FilePages& pages, const Format& format) : m_pages(pages), m_format(format)
{
}

TablePages::Found TablePages::find(std::uint32_t tablePage, std::uint32_t rowsCounted)
{
    Found found;
    const std::uint64_t pageCount = m_pages.count();
    const Span wholeFile{0, pageCount};
    std::vector<Span> unread;  // stretches of the file the map cannot speak for
    auto take = [&](std::uint64_t page) {
        // Past the end: the file was cut, and what lay there is gone.
        if (page >= pageCount)
            ++found.pagesSkipped;
        else
            found.pages.push_back(std::uint32_t(page));
    };

    std::vector<unsigned char> map;
    if (!readMap(tablePage, map)) {
        unread.push_back(wholeFile);
    } else if (map[0] == 0) {
        const std::uint64_t first = le32(map.data() + 1);
        for (std::size_t bit = 0; bit < (map.size() - 5) * 8; ++bit) {
            if (map[5 + bit / 8] & (1u << (bit % 8)))
                take(first + bit);
        }
    } else if (map[0] == 1) {
        const std::uint64_t bitsPerPage = std::uint64_t(m_format.pageSize - 4) * 8;
        for (std::size_t i = 0; i < (map.size() - 1) / 4; ++i) {
            const std::uint32_t mapPage = le32(map.data() + 1 + i * 4);
            if (mapPage == 0)
                continue; // no page of the table in this stretch
            const unsigned char* bits = m_pages.page(mapPage);
            if (!bits || bits[0] != kUsageMapPage) {
                unread.push_back({i * bitsPerPage, (i + 1) * bitsPerPage});
                continue;
            }
            for (std::uint64_t bit = 0; bit < bitsPerPage; ++bit) {
                if (bits[4 + bit / 8] & (1u << (bit % 8)))
                    take(i * bitsPerPage + bit);
            }
        }
    } else {
        unread.push_back(wholeFile);
    }

    // A map that reads but names none of the pages of a table that has rows
    // (its first page or its pages of bits damaged) is no map of this table.
    // One that names some of them is trusted for the rest: a table leaves
    // pages behind that still name it, with rows on them that are no longer
    // its own, so a page is never taken on its header alone where the map
    // can speak.
    if (rowsCounted > 0
        && std::none_of(found.pages.begin(), found.pages.end(),
                        [&](std::uint32_t page) { return ownedBy(page, tablePage); })) {
        found.pages.clear();
        found.pagesSkipped = 0;
        unread.assign(1, wholeFile);
    }
    if (unread.empty())
        return found;

    const std::vector<std::uint32_t>& owner = owners();
    const std::size_t fromMap = found.pages.size();
    // The map lists its pages in page order.
    const auto listed = [&](std::uint64_t page) {
        return std::binary_search(found.pages.begin(), found.pages.begin() + std::ptrdiff_t(fromMap),
                                  std::uint32_t(page));
    };
    for (const Span& span : unread) {
        const std::uint64_t end = std::min(span.end, pageCount);
        for (std::uint64_t page = span.first; page < end; ++page) {
            if (owner[page] != tablePage || listed(page))
                continue;
            // Only the header speaks for this page: its rows must all lie
            // where a data page keeps them, or none is read.
            const unsigned char* buf = m_pages.page(std::uint32_t(page));
            if (buf && holdsSoundRows(buf))
                found.pages.push_back(std::uint32_t(page));
            else
                ++found.pagesSkipped;
        }
    }
    if (found.pages.size() > fromMap) {
        std::sort(found.pages.begin(), found.pages.end());
        found.pages.erase(std::unique(found.pages.begin(), found.pages.end()), found.pages.end());
    }
    return found;
}

// The map is the row the table definition names; false when that is no row
// of a data page, or too short to be a map.
bool TablePages::readMap(std::uint32_t tablePage, std::vector<unsigned char>& map)
{
    const unsigned char* definition = m_pages.page(tablePage);
    if (!definition)
        return false;
    const std::uint32_t pageRow = le32(definition + m_format.usageMapOffset);
    const unsigned char* buf = m_pages.page(pageRow >> 8);
    if (!buf || buf[0] != kDataPage)
        return false;
    const int rco = m_format.rowCountOffset;
    const std::uint32_t size = std::uint32_t(m_format.pageSize);
    const std::uint32_t count = le16(buf + rco);
    const std::uint32_t row = pageRow & 0xFF;
    const std::uint32_t rowTableEnd = std::uint32_t(rco) + 2 + count * 2;
    if (row >= count || rowTableEnd > size)
        return false;
    const std::uint32_t word = le16(buf + rco + 2 + row * 2);
    if (word & kDeletedRow)
        return false;
    const std::uint32_t start = word & kOffsetMask;
    const std::uint32_t end = row == 0 ? size : (le16(buf + rco + row * 2) & kOffsetMask);
    if (start < rowTableEnd || end > size || end < start + 5)
        return false;
    map.assign(buf + start, buf + end);
    return true;
}

bool TablePages::ownedBy(std::uint32_t page, std::uint32_t tablePage)
{
    const unsigned char* buf = m_pages.page(page);
    return buf && buf[0] == kDataPage && le32(buf + 4) == tablePage;
}

bool TablePages::holdsSoundRows(const unsigned char* buf) const
{
    const int rco = m_format.rowCountOffset;
    const std::uint32_t size = std::uint32_t(m_format.pageSize);
    if (buf[0] != kDataPage || buf[1] != 0x01)
        return false;
    const std::uint32_t count = le16(buf + rco);
    const std::uint32_t rowTableEnd = std::uint32_t(rco) + 2 + count * 2;
    if (rowTableEnd > size)
        return false;
    for (std::uint32_t r = 0; r < count; ++r) {
        const std::uint32_t word = le16(buf + rco + 2 + r * 2);
        if (word & kDeletedRow)
            continue;
        const std::uint32_t start = word & kOffsetMask;
        const std::uint32_t end = r == 0 ? size : (le16(buf + rco + r * 2) & kOffsetMask);
        if (start < rowTableEnd || start >= end || end > size)
            return false;
    }
    return true;
}

const std::vector<std::uint32_t>& TablePages::owners()
{
    if (m_scanned)
        return m_owners;
    m_scanned = true;
    // Page by page in file order, which FilePages reads a stretch at a time.
    m_owners.assign(m_pages.count(), kNoOwner);
    for (std::uint32_t page = 1; page < m_pages.count(); ++page) {
        const unsigned char* buf = m_pages.page(page);
        if (buf && buf[0] == kDataPage)
            m_owners[page] = le32(buf + 4);
    }
    return m_owners;
}

} // namespace Orvanta::Jet
