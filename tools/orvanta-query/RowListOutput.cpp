#include "RowListOutput.h"

#include <QByteArray>
#include <QString>

#include <charconv>
#include <string>

namespace Orvanta::QueryTool {

namespace {

constexpr size_t BlockBytes = 1 << 20;

char separatorAsSpace(char c)
{
    return c == '\t' || c == '\r' || c == '\n' ? ' ' : c;
}

// Appends `text` as UTF-8; false (and nothing appended) when it holds a lone
// surrogate, which is left to Qt's own conversion so that such a value comes
// out as it always has.
bool appendUtf8(std::string& out, QStringView text)
{
    const size_t start = out.size();
    out.resize(start + 3 * size_t(text.size()));
    char* p = out.data() + start;
    const char16_t* s = text.utf16();
    const char16_t* end = s + text.size();
    while (s < end) {
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
            out.resize(start);
            return false;
        }
    }
    out.resize(size_t(p - out.data()));
    return true;
}

void appendField(std::string& out, QStringView value)
{
    if (appendUtf8(out, value))
        return;
    const QByteArray bytes = value.toString().toUtf8();
    for (char c : bytes)
        out += separatorAsSpace(c);
}

} // namespace

void writeRowList(std::FILE* stream, const ResultTable& rows)
{
    std::string out;
    out.reserve(BlockBytes + 4096);
    char number[24];
    for (qsizetype r = 0; r < rows.rowCount(); ++r) {
        const auto [end, ec] = std::to_chars(number, number + sizeof number, r + 1);
        out.append(number, end);
        out += '\t';
        appendField(out, rows.cell(r, 0));
        out += '\t';
        appendField(out, rows.cell(r, 1));
        out += '\n';
        if (out.size() >= BlockBytes) {
            std::fwrite(out.data(), 1, out.size(), stream);
            out.clear();
        }
    }
    std::fwrite(out.data(), 1, out.size(), stream);
}

} // namespace Orvanta::QueryTool
