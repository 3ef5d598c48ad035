// The LIKE matcher, fast paths included, against a plain reference: input is
// pattern, a NUL byte, then the text.
#include "platform/db/LikeMatcher.h"

#include <QString>

#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace {

// UTF-8 to code points; a byte that starts no valid sequence stands for itself
// (as 0xDC00 + byte, which no valid text yields).
std::vector<char32_t> codePoints(std::string_view s)
{
    std::vector<char32_t> out;
    size_t i = 0;
    while (i < s.size()) {
        const auto b = static_cast<unsigned char>(s[i]);
        int len = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
        char32_t c = len == 1 ? b : len == 2 ? b & 0x1F : len == 3 ? b & 0x0F : b & 0x07;
        bool ok = len > 0 && i + len <= s.size();
        for (int k = 1; ok && k < len; ++k) {
            const auto t = static_cast<unsigned char>(s[i + k]);
            ok = (t & 0xC0) == 0x80;
            c = (c << 6) | (t & 0x3F);
        }
        if (ok && len > 1) {
            const char32_t min = len == 2 ? 0x80 : len == 3 ? 0x800 : 0x10000;
            ok = c >= min && c <= 0x10FFFF && !(c >= 0xD800 && c <= 0xDFFF);
        }
        if (!ok) {
            out.push_back(0xDC00 + b);
            ++i;
        } else {
            out.push_back(c);
            i += len;
        }
    }
    return out;
}

// Classic table: can the first i pattern characters match the first j text characters?
bool reference(const std::vector<char32_t>& p, const std::vector<char32_t>& t)
{
    std::vector<char> prev(t.size() + 1, 0), cur(t.size() + 1, 0);
    prev[0] = 1;
    for (size_t i = 1; i <= p.size(); ++i) {
        const char32_t pc = p[i - 1];
        cur[0] = pc == U'%' ? prev[0] : 0;
        for (size_t j = 1; j <= t.size(); ++j) {
            if (pc == U'%')
                cur[j] = prev[j] || cur[j - 1];
            else if (pc == U'_' || Orvanta::foldCase(pc) == Orvanta::foldCase(t[j - 1]))
                cur[j] = prev[j - 1];
            else
                cur[j] = 0;
        }
        std::swap(prev, cur);
    }
    return prev[t.size()];
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view all(reinterpret_cast<const char*>(data), size);
    const size_t nul = all.find('\0');
    if (nul == std::string_view::npos)
        return 0;
    // Every value reaches the engine through Unicode strings, so both sides are
    // valid UTF-8; make them so (invalid bytes become U+FFFD).
    const std::string pattern = QString::fromUtf8(all.substr(0, nul)).toStdString();
    const std::string text = QString::fromUtf8(all.substr(nul + 1)).toStdString();
    const bool got = Orvanta::LikeMatcher::match(pattern, text);
    const bool want = reference(codePoints(pattern), codePoints(text));
    if (got != want)
        std::abort();
    return 0;
}
