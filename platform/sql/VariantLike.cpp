#include "platform/sql/VariantLike.h"

#include "platform/sql/Utf8Reading.h"
#include "platform/text/VariantFolding.h"

namespace Orvanta::VariantLike {

namespace {

// Appends the character read at `p` folded (a byte that is no character as
// it is) and returns how many bytes it took.
size_t foldOne(const unsigned char* p, const unsigned char* end, std::string& out, char32_t* folded = nullptr)
{
    const Utf8Reading::Decoded d = Utf8Reading::decode(p, end);
    if (d.cp >= Utf8Reading::InvalidBase) {
        out += char(*p);
        if (folded)
            *folded = d.cp;
        return 1;
    }
    const char32_t f = VariantFolding::fold(d.cp);
    if (folded)
        *folded = f;
    Utf8Reading::append(out, f);
    return d.len;
}

} // namespace

void foldText(std::string_view text, std::string& out)
{
    out.clear();
    out.reserve(text.size() + text.size() / 8);
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const auto* end = p + text.size();
    while (p < end) {
        // ASCII keeps its class under folding but for its case, which the
        // LIKE folds by itself: runs of it are copied as they are.
        if (*p < 0x80) {
            out += char(*p++);
            continue;
        }
        p += foldOne(p, end, out);
    }
}

std::string foldPattern(std::string_view pattern, char32_t escape)
{
    std::string out;
    out.reserve(pattern.size() + 8);
    const auto* p = reinterpret_cast<const unsigned char*>(pattern.data());
    const auto* end = p + pattern.size();
    std::string escapeBytes;
    if (escape)
        Utf8Reading::append(escapeBytes, escape);
    while (p < end) {
        const Utf8Reading::Decoded d = Utf8Reading::decode(p, end);
        if (escape && d.cp == escape) {
            // The escape and the literal after it: the literal is folded
            // like any other character, and stays escaped.
            out.append(reinterpret_cast<const char*>(p), d.len);
            p += d.len;
            if (p < end)
                p += foldOne(p, end, out);
            continue;
        }
        if (d.cp == '%' || d.cp == '_') {
            out += char(d.cp);
            ++p;
            continue;
        }
        std::string one;
        char32_t folded = 0;
        p += foldOne(p, end, one, &folded);
        if (escape && folded == escape)
            out += escapeBytes;
        out += one;
    }
    return out;
}

} // namespace Orvanta::VariantLike
