#include "RowListOutput.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <bit>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <memory>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define ORVANTA_X86 1
#endif

namespace Orvanta::QueryTool {

namespace {

constexpr size_t BlockBytes = 64 << 10; // small enough to stay in the cache; a write per block costs little

char separatorAsSpace(char c)
{
    return c == '\t' || c == '\r' || c == '\n' ? ' ' : c;
}

// A block of output filled through a pointer and written when full.
class Block {
public:
    explicit Block(std::FILE* stream) : m_stream(stream), m_capacity(BlockBytes), m_data(new char[m_capacity]) {}
    ~Block() { flush(); }

    // Room for `bytes` more; the pointer to write them at.
    char* room(size_t bytes)
    {
        if (m_used + bytes > m_capacity) {
            flush();
            if (bytes > m_capacity) {
                m_capacity = bytes;
                m_data.reset(new char[m_capacity]);
            }
        }
        return m_data.get() + m_used;
    }
    void wrote(const char* end) { m_used = size_t(end - m_data.get()); }
    bool full() const { return m_used >= BlockBytes / 2; }
    void flush()
    {
        std::fwrite(m_data.get(), 1, m_used, m_stream);
        m_used = 0;
    }

private:
    std::FILE* m_stream;
    size_t m_capacity;
    std::unique_ptr<char[]> m_data;
    size_t m_used = 0;
};

// TAB, LF and CR, the characters that would break a line into fields or
// lines; each is written as a space.
constexpr uint32_t SeparatorBits = (1u << '\t') | (1u << '\n') | (1u << '\r');

// UTF-16 code units stored in byte order `Order`, at any alignment.
template <std::endian Order>
uint32_t unitAt(const unsigned char* s)
{
    if constexpr (Order == std::endian::little)
        return uint32_t(s[0]) | (uint32_t(s[1]) << 8);
    else
        return (uint32_t(s[0]) << 8) | uint32_t(s[1]);
}

#ifdef ORVANTA_X86
// Eight printable ASCII characters at a time (a path is all of them): true
// when they were, and written.
bool eightPrintable(char*& p, const unsigned char*& s)
{
    const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
    // Printable: 0x20 to 0x7F. Shifted down by 0x20 with wrap-around, that is
    // below 0x60 as a signed comparison after flipping the sign bit.
    const __m128i shifted = _mm_xor_si128(_mm_sub_epi16(units, _mm_set1_epi16(0x20)), _mm_set1_epi16(-0x8000));
    const __m128i outside = _mm_cmpgt_epi16(shifted, _mm_set1_epi16(-0x8000 + 0x5F));
    if (_mm_movemask_epi8(outside) != 0)
        return false;
    _mm_storel_epi64(reinterpret_cast<__m128i*>(p), _mm_packus_epi16(units, units));
    p += 8;
    s += 16;
    return true;
}

// Eight units at a time where each is ASCII (one byte) or a character of
// three bytes, as a title's Chinese characters, spaces and digits are. Each
// unit's lead byte, second and third byte are computed side by side; a table
// by the mask of three-byte units says where each goes (SSSE3's byte shuffle).
struct Placement {
    // Output bytes 0-15 and 16-23, taken from [lead x8, second x8] (a) and
    // from [third x8, third x8] (b); -1 takes nothing.
    alignas(16) int8_t a1[16], b1[16], a2[16], b2[16];
    uint8_t length;
};

constexpr std::array<Placement, 256> makePlacements()
{
    std::array<Placement, 256> table{};
    for (int mask = 0; mask < 256; ++mask) {
        int8_t a[32], b[32];
        for (int i = 0; i < 32; ++i)
            a[i] = b[i] = -1;
        int n = 0;
        for (int unit = 0; unit < 8; ++unit) {
            a[n++] = int8_t(unit);
            if (mask & (1 << unit)) {
                a[n++] = int8_t(8 + unit);
                b[n++] = int8_t(unit);
            }
        }
        for (int i = 0; i < 16; ++i) {
            table[mask].a1[i] = a[i];
            table[mask].b1[i] = b[i];
            table[mask].a2[i] = a[16 + i];
            table[mask].b2[i] = b[16 + i];
        }
        table[mask].length = uint8_t(n);
    }
    return table;
}

constinit const std::array<Placement, 256> kPlacements = makePlacements();

__attribute__((target("ssse3"))) inline __m128i shuffle(__m128i from, const int8_t* order)
{
    return _mm_shuffle_epi8(from, _mm_load_si128(reinterpret_cast<const __m128i*>(order)));
}

// Writes the units in `u` but the last `unused` (which must be zero), 24
// bytes in all from `p`; false, with nothing written, when one of them is
// of two bytes or a surrogate.
__attribute__((target("ssse3"))) bool oneOrThreeBytes(char*& p, __m128i u, int unused)
{
    const __m128i ascii = _mm_cmpeq_epi16(_mm_and_si128(u, _mm_set1_epi16(int16_t(0xFF80))), _mm_setzero_si128());
    const __m128i below800 = _mm_cmplt_epi16(_mm_xor_si128(u, _mm_set1_epi16(-0x8000)),
                                             _mm_set1_epi16(int16_t(0x0800 - 0x8000)));
    const __m128i surrogate = _mm_cmpeq_epi16(_mm_and_si128(u, _mm_set1_epi16(int16_t(0xF800))),
                                              _mm_set1_epi16(int16_t(0xD800)));
    if (_mm_movemask_epi8(_mm_or_si128(_mm_andnot_si128(ascii, below800), surrogate)) != 0)
        return false;
    const __m128i separator = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi16(u, _mm_set1_epi16('\t')),
                                                        _mm_cmpeq_epi16(u, _mm_set1_epi16('\n'))),
                                           _mm_cmpeq_epi16(u, _mm_set1_epi16('\r')));
    const __m128i one = _mm_or_si128(_mm_andnot_si128(separator, u), _mm_and_si128(separator, _mm_set1_epi16(' ')));
    const __m128i lead = _mm_or_si128(_mm_and_si128(ascii, one),
                                      _mm_andnot_si128(ascii, _mm_or_si128(_mm_srli_epi16(u, 12), _mm_set1_epi16(0xE0))));
    const __m128i second = _mm_or_si128(_mm_and_si128(_mm_srli_epi16(u, 6), _mm_set1_epi16(0x3F)), _mm_set1_epi16(0x80));
    const __m128i third = _mm_or_si128(_mm_and_si128(u, _mm_set1_epi16(0x3F)), _mm_set1_epi16(0x80));
    const __m128i leadSecond = _mm_packus_epi16(lead, second);
    const __m128i thirds = _mm_packus_epi16(third, third);
    const int mask = _mm_movemask_epi8(_mm_packs_epi16(ascii, _mm_setzero_si128())) ^ 0xFF;
    const Placement& at = kPlacements[size_t(mask)];
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), _mm_or_si128(shuffle(leadSecond, at.a1), shuffle(thirds, at.b1)));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(p + 16), _mm_or_si128(shuffle(leadSecond, at.a2), shuffle(thirds, at.b2)));
    p += at.length - unused;
    return true;
}

const bool kHasSsse3 = __builtin_cpu_supports("ssse3");
#endif

// Writes `count` code units stored from `s` in byte order `Order` as UTF-8
// from `p` (room for three bytes a unit and 24 more); nullptr when they
// hold a lone surrogate, which is left to Qt's own conversion so that such a
// value comes out as it always has. (Choosing the length without a branch,
// and eight Chinese characters at a time with SSSE3, were both slower on
// real titles: their runs of Chinese are short. Eight units of one or three
// bytes each at a time, whatever their mix, are twice as fast.)
template <std::endian Order>
char* encodeUtf8(char* p, const unsigned char* s, size_t count)
{
    const unsigned char* end = s + 2 * count;
    while (s < end) {
#ifdef ORVANTA_X86
        if constexpr (Order == std::endian::little) {
            if (kHasSsse3) {
                if (end - s >= 16 && oneOrThreeBytes(p, _mm_loadu_si128(reinterpret_cast<const __m128i*>(s)), 0)) {
                    s += 16;
                    continue;
                }
                if (end - s >= 8 && oneOrThreeBytes(p, _mm_loadl_epi64(reinterpret_cast<const __m128i*>(s)), 4)) {
                    s += 8;
                    continue;
                }
            } else if (end - s >= 16 && s[1] == 0 && s[0] < 0x80 && eightPrintable(p, s)) {
                continue;
            }
        }
#endif
        const uint32_t u = unitAt<Order>(s);
        s += 2;
        if ((u & 0xF800) == 0xD800) [[unlikely]] {
            const uint32_t next = s < end ? unitAt<Order>(s) : 0;
            if (u <= 0xDBFF && next >= 0xDC00 && next <= 0xDFFF) {
                s += 2;
                const uint32_t c = 0x10000 + ((u - 0xD800) << 10) + (next - 0xDC00);
                *p++ = char(0xF0 | (c >> 18));
                *p++ = char(0x80 | ((c >> 12) & 0x3F));
                *p++ = char(0x80 | ((c >> 6) & 0x3F));
                *p++ = char(0x80 | (c & 0x3F));
                continue;
            }
            return nullptr;
        }
        if (u < 0x80) {
            *p++ = (SeparatorBits >> (u & 31)) & uint32_t(u < 32) ? ' ' : char(u);
        } else if (u < 0x800) {
            *p++ = char(0xC0 | (u >> 6));
            *p++ = char(0x80 | (u & 0x3F));
        } else {
            *p++ = char(0xE0 | (u >> 12));
            *p++ = char(0x80 | ((u >> 6) & 0x3F));
            *p++ = char(0x80 | (u & 0x3F));
        }
    }
    return p;
}

template <std::endian Order>
char* writeField(char* p, const unsigned char* units, size_t count)
{
    if (char* end = encodeUtf8<Order>(p, units, count))
        return end;
    QString value(qsizetype(count), Qt::Uninitialized);
    for (size_t i = 0; i < count; ++i)
        value[qsizetype(i)] = QChar(char16_t(unitAt<Order>(units + 2 * i)));
    // Qt's conversion never writes more than three bytes a unit either.
    const QByteArray bytes = value.toUtf8();
    for (char c : bytes)
        *p++ = separatorAsSpace(c);
    return p;
}

// Lines numbered from 1, written through one block.
class LineWriter {
public:
    explicit LineWriter(std::FILE* stream) : m_block(stream) {}

    // One line: the two cells' units in byte order `Order`.
    template <std::endian Order>
    void write(const unsigned char* subject, size_t subjectUnits, const unsigned char* path, size_t pathUnits)
    {
        // Three bytes a unit at most, and 24 that eight units at a time may
        // write beyond a cell's end.
        char* p = m_block.room(64 + 3 * (subjectUnits + pathUnits));
        p = std::to_chars(p, p + 20, ++m_lines).ptr;
        *p++ = '\t';
        p = writeField<Order>(p, subject, subjectUnits);
        *p++ = '\t';
        p = writeField<Order>(p, path, pathUnits);
        *p++ = '\n';
        m_block.wrote(p);
        if (m_block.full())
            m_block.flush();
    }

private:
    Block m_block;
    qint64 m_lines = 0;
};

const unsigned char* bytesOf(QStringView text)
{
    return reinterpret_cast<const unsigned char*>(text.utf16());
}

} // namespace

void writeRowList(std::FILE* stream, const ResultTable& rows)
{
    LineWriter lines(stream);
    for (qsizetype r = 0; r < rows.rowCount(); ++r) {
        const QStringView subject = rows.cell(r, 0);
        const QStringView path = rows.cell(r, 1);
        lines.write<std::endian::native>(bytesOf(subject), size_t(subject.size()), bytesOf(path), size_t(path.size()));
    }
}

class RowListWriter::Lines : public LineWriter {
    using LineWriter::LineWriter;
};

RowListWriter::RowListWriter(std::FILE* stream) : m_lines(std::make_unique<Lines>(stream)) {}

RowListWriter::~RowListWriter() = default;

void RowListWriter::row(const TitleStore::StoredRow& row)
{
    const auto units = [&](int c) { return row.units[c] == TitleStore::NullCell ? size_t(0) : size_t(row.units[c]); };
    m_lines->write<std::endian::little>(row.text[0], units(0), row.text[1], units(1));
}

} // namespace Orvanta::QueryTool
