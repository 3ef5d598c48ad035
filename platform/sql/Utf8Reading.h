// How the LIKE code reads UTF-8: strictly, and every byte that does not start
// a well-formed sequence is a character of its own (InvalidBase + the byte), so
// any byte string has exactly one reading, for pattern and text alike. The
// writing side, for code that builds patterns or texts a character at a time,
// is here too so that the two stay each other's inverse.
#pragma once

#include <cstddef>
#include <string>

namespace Orvanta::Utf8Reading {

constexpr char32_t InvalidBase = 0x110000u;

struct Decoded {
    char32_t cp;
    size_t len;
};

inline Decoded decode(const unsigned char* p, const unsigned char* end)
{
    const unsigned b = p[0];
    if (b < 0x80)
        return {b, 1};
    auto cont = [&](size_t i) { return p + i < end && (p[i] & 0xC0) == 0x80; };
    if (b >= 0xC2 && b <= 0xDF) {
        if (cont(1))
            return {char32_t(((b & 0x1F) << 6) | (p[1] & 0x3F)), 2};
    } else if (b >= 0xE0 && b <= 0xEF) {
        if (cont(1) && cont(2)) {
            const char32_t cp = ((b & 0x0F) << 12) | ((p[1] & 0x3F) << 6) | (p[2] & 0x3F);
            if (cp >= 0x800 && (cp < 0xD800 || cp > 0xDFFF))
                return {cp, 3};
        }
    } else if (b >= 0xF0 && b <= 0xF4) {
        if (cont(1) && cont(2) && cont(3)) {
            const char32_t cp = ((b & 0x07) << 18) | ((p[1] & 0x3F) << 12) | ((p[2] & 0x3F) << 6) | (p[3] & 0x3F);
            if (cp >= 0x10000 && cp <= 0x10FFFF)
                return {cp, 4};
        }
    }
    return {InvalidBase + b, 1};
}

// Appends code point `c` (at most U+10FFFF, no surrogate) as UTF-8.
inline void append(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | (c >> 18));
        out += char(0x80 | ((c >> 12) & 0x3F));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

} // namespace Orvanta::Utf8Reading
