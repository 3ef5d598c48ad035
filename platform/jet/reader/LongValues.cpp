#include "platform/jet/reader/JetFile.h"

namespace Orvanta::Jet {

using namespace JetProtocol;

// Returns false when only part of the value (perhaps none) could be read.
bool JetFile::putLongValue(std::string& out, const MdbColumn* col, const MdbField& field)
{
    if (field.start < 0 || field.siz < 0 || field.start + field.siz > m_pageSize)
        throw UnreadableValue{"a long value lies outside its page"};
    const bool whole = readLongValue(m_mdb->pg_buf + field.start, field.siz, &m_longValue);
    if (col->col_type == MDB_MEMO) {
        putText(out, reinterpret_cast<const unsigned char*>(m_longValue.data()), m_longValue.size(), whole);
    } else {
        // Part of a picture or document is no use to anyone.
        putU8(out, std::uint8_t(ValueTag::Blob));
        putBytes(out, whole ? std::string_view(m_longValue) : std::string_view());
    }
    return whole;
}

// A long value (memo, OLE object) is a 12-byte reference in the row: the
// length with flags in its top byte, then where the data lies. Flag 0x80: the
// data follows in the row; 0x40: it is one row of a long-value page; none: it
// is a chain of such rows, each starting with the page/row of the next.
// The value is read whole, however long. When it cannot be, `value` keeps
// only what is known to be its own, and false is returned: the links read
// before the one that pointed to a lost page, or before a page found out of
// place (see markMisplacedPages), each of them a row of a long-value page the
// chain led to; nothing when the chain ends early, runs long or names a row
// that is not there, since a link read earlier may then have come from a page
// that took another's place.
// With `value` null the pages are only followed, and those that break a
// value are marked in m_misplaced.
bool JetFile::readLongValue(const unsigned char* ref, int size, std::string* value)
{
    if (value)
        value->clear();
    if (size == 0)
        return true;
    if (size < kLongValueRefSize)
        return false;

    const std::uint32_t word = le32(ref);
    const std::uint32_t length = word & 0x00FFFFFF;
    const std::uint32_t flags = word >> 24;
    std::uint32_t pageRow = le32(ref + 4);
    std::size_t got = 0;       // bytes of the value followed so far
    std::size_t lastLink = 0;  // where the last link read begins
    m_chain.clear();

    if (flags & 0x80) {
        if (std::uint32_t(size - kLongValueRefSize) < length)
            return false;
        if (value)
            value->assign(reinterpret_cast<const char*>(ref + kLongValueRefSize), length);
        return true;
    }
    try {
        if (flags & 0x40) {
            // The row holds the value and nothing else: a row of another
            // length is another value's.
            const auto [p, n] = longValueRow(pageRow);
            if (n != length)
                throw BrokenLink{false};
            if (value)
                value->assign(reinterpret_cast<const char*>(p), length);
            return true;
        }
        if (flags != 0)
            return false;

        if (value)
            value->reserve(length);
        while (got < length) {
            if (pageRow == 0)
                throw BrokenLink{false};
            const auto [p, n] = longValueRow(pageRow);
            // Each link must bring data, so a chain that loops cannot run forever.
            if (n <= 4)
                throw BrokenLink{false};
            pageRow = le32(p);
            lastLink = got;
            got += n - 4;
            if (value)
                value->append(reinterpret_cast<const char*>(p + 4), n - 4);
        }
        if (got != length || pageRow != 0)
            throw BrokenLink{false};
        return true;
    } catch (const BrokenLink& broken) {
        if (!value) {
            // Where a value breaks, the page it broke on is out of place or
            // lost; when that cannot be told, any page of its chain may be.
            if (broken.pageLost || broken.misplaced) {
                markMisplaced(pageRow >> 8);
            } else {
                for (const std::uint32_t page : m_chain)
                    markMisplaced(page);
                markMisplaced(pageRow >> 8);
            }
            return false;
        }
        if (broken.misplaced)
            value->resize(got); // every link before the page was followed from sound pages
        else if (!broken.pageLost || got > length)
            value->clear();
        else
            // The link that pointed to the lost page may itself be the first
            // one out of place (a row of a page that took another's place,
            // read as a link): it goes too.
            value->resize(lastLink);
        return false;
    }
}

void JetFile::markMisplaced(std::uint32_t page)
{
    if (page < m_misplaced.size())
        m_misplaced[page] = true;
}

// The data of one row of a long-value page. Throws BrokenLink when the page
// is not a long-value page or holds no such row.
std::pair<const unsigned char*, std::size_t> JetFile::longValueRow(std::uint32_t pageRow)
{
    const std::uint32_t page = pageRow >> 8;
    const std::uint32_t row = pageRow & 0xFF;
    if (page == 0)
        throw BrokenLink{true};
    const unsigned char* buf = m_pages.page(page);
    if (!buf)
        throw BrokenLink{true};
    const int rco = m_mdb->fmt->row_count_offset;
    if (buf[0] != kDataPage || std::memcmp(buf + 4, "LVAL", 4) != 0)
        throw BrokenLink{true};
    if (page < m_misplaced.size() && m_misplaced[page])
        throw BrokenLink{false, true};
    m_chain.push_back(page);
    const std::uint32_t count = le16(buf + rco);
    if (row >= count || rco + 4 + int(row) * 2 > m_pageSize)
        throw BrokenLink{false};
    const std::uint32_t word = le16(buf + rco + 2 + row * 2);
    if (word & 0x4000)
        throw BrokenLink{false}; // a deleted row belongs to no value any more
    const std::uint32_t start = word & kOffsetMask;
    const std::uint32_t end = row == 0 ? std::uint32_t(m_pageSize) : (le16(buf + rco + row * 2) & kOffsetMask);
    if (start > end || end > std::uint32_t(m_pageSize))
        throw BrokenLink{false};
    return {buf + start, end - start};
}

} // namespace Orvanta::Jet
