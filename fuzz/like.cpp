// The LIKE matcher, fast paths included, against a plain reference: input is
// one byte choosing the escape character (or none), the pattern, a NUL byte,
// then the text. Pattern and text are bytes as they come, invalid UTF-8 too:
// each byte that starts no valid sequence is a character of its own.
//
// scripts/fuzz runs this target on inputs up to 64 KB under a time bound of a
// few seconds per input, so that a pattern that makes the matcher slow is a
// failure like a wrong answer. The reference takes pattern times text steps:
// it checks the answer only where that stays small, the matcher runs always.
#include "platform/sql/LikeMatcher.h"

#include <QString>

#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace {

// UTF-8 to code points; a byte that starts no valid sequence stands for itself
// (as 0xDC00 + byte, which no valid text yields, and which folds to itself).
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

constexpr char32_t kAny = 0xFFFFFFFE;     // "_"
constexpr char32_t kRun = 0xFFFFFFFF;     // "%"

// The pattern as items: a character that stands for itself, kAny or kRun. The
// character after the escape stands for itself; an escape at the very end
// stands for itself too.
std::vector<char32_t> items(const std::vector<char32_t>& p, char32_t escape)
{
    std::vector<char32_t> out;
    for (size_t i = 0; i < p.size(); ++i) {
        if (escape != 0 && p[i] == escape && i + 1 < p.size())
            out.push_back(p[++i]);
        else
            out.push_back(p[i] == U'%' ? kRun : p[i] == U'_' ? kAny : p[i]);
    }
    return out;
}

char32_t folded(char32_t c)
{
    return c >= 0xDC00 && c <= 0xDCFF ? c : Orvanta::foldCase(c);
}

// Classic table: can the first i pattern items match the first j text characters?
bool reference(const std::vector<char32_t>& p, const std::vector<char32_t>& t)
{
    std::vector<char> prev(t.size() + 1, 0), cur(t.size() + 1, 0);
    prev[0] = 1;
    for (size_t i = 1; i <= p.size(); ++i) {
        const char32_t pc = p[i - 1];
        cur[0] = pc == kRun ? prev[0] : 0;
        for (size_t j = 1; j <= t.size(); ++j) {
            if (pc == kRun)
                cur[j] = prev[j] || cur[j - 1];
            else if (pc == kAny || folded(pc) == folded(t[j - 1]))
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
    if (size < 1)
        return 0;
    const std::string_view all(reinterpret_cast<const char*>(data) + 1, size - 1);
    const size_t nul = all.find('\0');
    if (nul == std::string_view::npos)
        return 0;
    const std::string_view pattern = all.substr(0, nul);
    const std::string_view text = all.substr(nul + 1);
    const std::vector<char32_t> patternChars = codePoints(pattern);
    // The escapes that matter: none, the wildcards themselves, characters
    // with other case forms, and whatever the pattern begins with.
    static const char32_t kEscapes[] = {0, U'\\', U'!', U'%', U'_', U'人', U'k', U'\u212A'};
    const unsigned choice = data[0] % 9;
    char32_t escape = choice < 8 ? kEscapes[choice] : 0;
    if (choice == 8 && !patternChars.empty() && (patternChars[0] < 0xDC00 || patternChars[0] > 0xDCFF))
        escape = patternChars[0];
    const bool got = Orvanta::LikeMatcher::match(pattern, text, escape);
    const std::vector<char32_t> textChars = codePoints(text);
    constexpr size_t kReferenceSteps = size_t(1) << 22;
    if (patternChars.size() * (textChars.size() + 1) > kReferenceSteps)
        return 0;
    const bool want = reference(items(patternChars, escape), textChars);
    if (got != want)
        std::abort();
    return 0;
}
