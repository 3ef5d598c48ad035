#include "RowListOutput.h"

#include <QByteArray>
#include <QString>

#include <bit>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <memory>

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

// Writes `text` as UTF-8 from `p` (room for three bytes a unit); nullptr when
// it holds a lone surrogate, which is left to Qt's own conversion so that
// such a value comes out as it always has.
char* encodeUtf8(char* p, QStringView text)
{
    const char16_t* s = text.utf16();
    const char16_t* end = s + text.size();
    while (s < end) {
        // Four printable ASCII characters at a time (a path is all of them).
        if (end - s >= 4) {
            uint64_t four;
            std::memcpy(&four, s, 8);
            if ((four & 0xFF80FF80FF80FF80ull) == 0 && ((four - 0x0020002000200020ull) & 0x8000800080008000ull) == 0) {
                const uint32_t bytes = uint32_t((four & 0xFF) | ((four >> 8) & 0xFF00) | ((four >> 16) & 0xFF0000)
                                                | ((four >> 24) & 0xFF000000));
                std::memcpy(p, &bytes, 4);
                p += 4;
                s += 4;
                continue;
            }
        }
        const char32_t u = *s++;
        if (u < 0x80) {
            *p++ = separatorAsSpace(char(u));
        } else if (u < 0x800) {
            *p++ = char(0xC0 | (u >> 6));
            *p++ = char(0x80 | (u & 0x3F));
        } else if (u < 0xD800 || u > 0xDFFF) {
            *p++ = char(0xE0 | (u >> 12));
            *p++ = char(0x80 | ((u >> 6) & 0x3F));
            *p++ = char(0x80 | (u & 0x3F));
        } else if (u <= 0xDBFF && s < end && *s >= 0xDC00 && *s <= 0xDFFF) {
            const char32_t c = 0x10000 + ((u - 0xD800) << 10) + (char32_t(*s++) - 0xDC00);
            *p++ = char(0xF0 | (c >> 18));
            *p++ = char(0x80 | ((c >> 12) & 0x3F));
            *p++ = char(0x80 | ((c >> 6) & 0x3F));
            *p++ = char(0x80 | (c & 0x3F));
        } else {
            return nullptr;
        }
    }
    return p;
}

char* writeField(char* p, QStringView value)
{
    if (char* end = encodeUtf8(p, value))
        return end;
    // Qt's conversion never writes more than three bytes a unit either.
    const QByteArray bytes = value.toString().toUtf8();
    for (char c : bytes)
        *p++ = separatorAsSpace(c);
    return p;
}

} // namespace

void writeRowList(std::FILE* stream, const ResultTable& rows)
{
    Block block(stream);
    for (qsizetype r = 0; r < rows.rowCount(); ++r) {
        const QStringView subject = rows.cell(r, 0);
        const QStringView path = rows.cell(r, 1);
        char* p = block.room(24 + 3 * size_t(subject.size() + path.size()));
        p = std::to_chars(p, p + 20, r + 1).ptr;
        *p++ = '\t';
        p = writeField(p, subject);
        *p++ = '\t';
        p = writeField(p, path);
        *p++ = '\n';
        block.wrote(p);
        if (block.full())
            block.flush();
    }
}

} // namespace Orvanta::QueryTool
