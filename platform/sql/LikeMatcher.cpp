// The matcher's searches, kept in one file past the usual length: the byte
// searches, the folded searches and the hand-over to the linear ones share
// their allowances of false starts, which only make sense read side by side.
#include "platform/sql/LikeMatcher.h"

#include "platform/sql/LikeAutomaton.h"
#include "platform/sql/LikeFolding.h"
#include "platform/sql/Utf8Reading.h"

#include <unicode/uchar.h>

#include <algorithm>
#include <array>
#include <bitset>
#include <cstring>
#include <optional>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace Orvanta {

namespace {

constexpr char32_t AnyChar = 0xFFFFFFFFu;   // "_" in a compiled segment
using Utf8Reading::Decoded;
using Utf8Reading::InvalidBase;
using Utf8Reading::decode;
constexpr size_t NotFound = size_t(-1);
using LikeFolding::FoldTables;
using LikeFolding::foldTables;
using LikeFolding::foldWith;

// ---- UTF-8 -----------------------------------------------------------------


void encode(char32_t cp, std::string& out)
{
    if (cp >= InvalidBase) {
        out.push_back(char(cp - InvalidBase));
    } else if (cp < 0x80) {
        out.push_back(char(cp));
    } else if (cp < 0x800) {
        out.push_back(char(0xC0 | (cp >> 6)));
        out.push_back(char(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(char(0xE0 | (cp >> 12)));
        out.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(char(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(char(0xF0 | (cp >> 18)));
        out.push_back(char(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(char(0x80 | (cp & 0x3F)));
    }
}

// Start of the character that ends at `end`, reading backwards so that the
// boundaries agree with forward decoding.
inline size_t stepBack(const unsigned char* text, size_t end)
{
    for (size_t k = 2; k <= 4 && k <= end; ++k) {
        if ((text[end - k + 1] & 0xC0) != 0x80)
            break;
        const Decoded d = decode(text + end - k, text + end);
        if (d.len == k)
            return end - k;
    }
    return end - 1;
}

// ---- Byte search -----------------------------------------------------------

// The first place of `needle` in `hay`, or nullptr. Compares the needle's first
// and last byte at sixteen places at once and checks the rest only where both
// agree: for the words of a search that is rare, and faster than memmem, which
// prepares a table on every call. Many candidates that fail (a needle of one
// repeated byte in a run of it) hand over to memmem, which stays linear; a
// long needle spends the allowance sooner, so that the failed comparisons
// never cost more than a few times the text.
const unsigned char* findBytes(const unsigned char* hay, size_t n, const unsigned char* needle, size_t m)
{
    if (m == 0)
        return hay;
    if (m > n)
        return nullptr;
    if (m == 1)
        return static_cast<const unsigned char*>(memchr(hay, needle[0], n));
    size_t i = 0;
#if defined(__SSE2__)
    const __m128i first = _mm_set1_epi8(char(needle[0]));
    const __m128i last = _mm_set1_epi8(char(needle[m - 1]));
    size_t budget = 64 + n / 16;
    const size_t cost = 1 + m / 64;
    for (; i + m - 1 + 16 <= n; i += 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(hay + i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(hay + i + m - 1));
        unsigned mask = unsigned(_mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(a, first), _mm_cmpeq_epi8(b, last))));
        while (mask) {
            const size_t at = i + size_t(__builtin_ctz(mask));
            if (memcmp(hay + at + 1, needle + 1, m - 2) == 0)
                return hay + at;
            if (budget <= cost)
                goto rest;
            budget -= cost;
            mask &= mask - 1;
        }
    }
rest:
#endif
    return static_cast<const unsigned char*>(memmem(hay + i, n - i, needle, m));
}

// ---- Segments --------------------------------------------------------------

// The text between two "%": folded characters and "_".
//
// Each search below takes at most a few steps per text character and per 64
// items: a segment of "_" alone counts characters; a short segment (up to
// QuickItems) first tries the quick searches, whose false starts are counted
// and which hand over to a linear search (Knuth-Morris-Pratt for literals,
// the Shift-And automaton with "_") once they have cost a few times the text;
// a longer one takes the linear search at once.
struct Segment {
    static constexpr size_t QuickItems = 64;

    std::vector<char32_t> items;
    bool hasAny = false;
    bool onlyAny = false;     // "_" alone: a count of characters
    bool longLiteral = false; // no "_", too long for the quick search unless all plain

    // Literal search (no "_"): the leading characters without other case forms
    // are searched as bytes, the rest is compared folded.
    std::string prefix;
    size_t prefixItems = 0;
    bool allPlain = false;
    std::bitset<256> leadTable;
    std::array<unsigned char, 4> leads{};
    int leadCount = 0;

    // Segments with "_": the longest run without "_" is searched first, and
    // the whole segment compared around each place it is found.
    std::unique_ptr<Segment> anchor;
    size_t anchorOffset = 0; // characters before the anchor in the segment
    std::unique_ptr<LikeAutomaton> automaton;

    // Holds a byte that is no character: the same byte occurs inside or at
    // the start of well-formed characters, so a byte search would find it
    // where the text holds another character. Only the character-by-character
    // search is exact then.
    bool linearOnly = false;

    void prepare(const FoldTables& t)
    {
        for (char32_t c : items)
            hasAny = hasAny || c == AnyChar;
        onlyAny = !items.empty() && std::all_of(items.begin(), items.end(), [](char32_t c) { return c == AnyChar; });
        linearOnly = std::any_of(items.begin(), items.end(),
                                 [](char32_t c) { return c >= InvalidBase && c != AnyChar; });
        if (!hasAny) {
            while (prefixItems < items.size() && (items[prefixItems] >= InvalidBase
                                                   || !t.hasVariants.test(items[prefixItems]))) {
                encode(items[prefixItems], prefix);
                ++prefixItems;
            }
            allPlain = prefixItems == items.size();
            longLiteral = items.size() > QuickItems && !allPlain;
            if (prefixItems == 0 && !items.empty()) {
                // Every form of the first character, by its first byte.
                std::vector<char32_t> forms{items[0]};
                if (auto it = t.classes.find(items[0]); it != t.classes.end())
                    forms = it->second;
                for (char32_t f : forms) {
                    std::string bytes;
                    encode(f, bytes);
                    const unsigned char lead = static_cast<unsigned char>(bytes[0]);
                    if (!leadTable[lead]) {
                        leadTable[lead] = true;
                        if (leadCount < int(leads.size()))
                            leads[leadCount] = lead;
                        ++leadCount;
                    }
                }
            }
        } else if (!onlyAny) {
            automaton = std::make_unique<LikeAutomaton>(items, AnyChar, t);
            if (items.size() > QuickItems)
                return;
            size_t bestStart = 0, bestLength = 0;
            for (size_t i = 0; i < items.size();) {
                if (items[i] == AnyChar) {
                    ++i;
                    continue;
                }
                size_t j = i;
                while (j < items.size() && items[j] != AnyChar)
                    ++j;
                if (j - i > bestLength) {
                    bestStart = i;
                    bestLength = j - i;
                }
                i = j;
            }
            if (bestLength > 0) {
                anchor = std::make_unique<Segment>();
                anchor->items.assign(items.begin() + bestStart, items.begin() + bestStart + bestLength);
                anchor->prepare(t);
                anchorOffset = bestStart;
            }
        }
    }

    // Compares items [from, end) with the text at `pos`; the end of the match or NotFound.
    size_t compareAt(const FoldTables& t, const unsigned char* text, size_t n, size_t pos,
                     size_t from = 0) const
    {
        for (size_t i = from; i < items.size(); ++i) {
            if (pos >= n)
                return NotFound;
            const char32_t want = items[i];
            const unsigned b = text[pos];
            if (b < 0x80) {
                if (want != AnyChar && t.ascii[b] != want)
                    return NotFound;
                ++pos;
                continue;
            }
            const Decoded d = decode(text + pos, text + n);
            if (want != AnyChar && foldWith(t, d.cp) != want)
                return NotFound;
            pos += d.len;
        }
        return pos;
    }

    const unsigned char* scanLeads(const unsigned char* p, const unsigned char* end) const
    {
#if defined(__SSE2__)
        if (leadCount <= int(leads.size())) {
            const __m128i n0 = _mm_set1_epi8(char(leads[0]));
            const __m128i n1 = _mm_set1_epi8(char(leads[leadCount > 1 ? 1 : 0]));
            const __m128i n2 = _mm_set1_epi8(char(leads[leadCount > 2 ? 2 : 0]));
            const __m128i n3 = _mm_set1_epi8(char(leads[leadCount > 3 ? 3 : 0]));
            while (end - p >= 16) {
                const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
                const __m128i hit = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, n0), _mm_cmpeq_epi8(v, n1)),
                                                 _mm_or_si128(_mm_cmpeq_epi8(v, n2), _mm_cmpeq_epi8(v, n3)));
                const int mask = _mm_movemask_epi8(hit);
                if (mask)
                    return p + __builtin_ctz(unsigned(mask));
                p += 16;
            }
        }
#endif
        for (; p < end; ++p) {
            if (leadTable[*p])
                return p;
        }
        return nullptr;
    }

    struct Span {
        size_t begin;
        size_t end;
    };

    // The leftmost match at or after `from`.
    // Knuth-Morris-Pratt over folded characters: linear whatever the text,
    // for when the quick searches below meet too many false starts.
    Span findLinear(const FoldTables& t, const unsigned char* text, size_t n, size_t from) const
    {
        const size_t m = items.size();
        std::vector<size_t> fail(m, 0);
        for (size_t i = 1, k = 0; i < m; ++i) {
            while (k > 0 && items[i] != items[k])
                k = fail[k - 1];
            if (items[i] == items[k])
                ++k;
            fail[i] = k;
        }
        std::vector<size_t> starts(m);
        size_t q = 0;
        size_t count = 0;
        for (size_t pos = from; pos < n;) {
            const Decoded d = decode(text + pos, text + n);
            const char32_t c = foldWith(t, d.cp);
            starts[count % m] = pos;
            ++count;
            pos += d.len;
            while (q > 0 && items[q] != c)
                q = fail[q - 1];
            if (items[q] == c)
                ++q;
            if (q == m)
                return {starts[(count - m) % m], pos};
        }
        return {NotFound, NotFound};
    }

    // The leftmost match at or after `from`.
    Span find(const FoldTables& t, const unsigned char* text, size_t n, size_t from) const
    {
        if (items.empty())
            return {from, from};
        if (hasAny)
            return findWithAny(t, text, n, from);
        if (linearOnly || longLiteral)
            return findLinear(t, text, n, from);
        {
            size_t budget = 64 + (n - std::min(n, from)) / 16 + items.size();
            if (prefixItems > 0) {
                while (from < n) {
                    const unsigned char* hit = findBytes(text + from, n - from,
                                                         reinterpret_cast<const unsigned char*>(prefix.data()),
                                                         prefix.size());
                    if (!hit)
                        return {NotFound, NotFound};
                    const size_t at = size_t(hit - text);
                    if (allPlain)
                        return {at, at + prefix.size()};
                    const size_t e = compareAt(t, text, n, at + prefix.size(), prefixItems);
                    if (e != NotFound)
                        return {at, e};
                    if (--budget == 0)
                        return findLinear(t, text, n, at + decode(text + at, text + n).len);
                    from = at + 1;
                }
                return {NotFound, NotFound};
            }
            while (from < n) {
                const unsigned char* hit = scanLeads(text + from, text + n);
                if (!hit)
                    return {NotFound, NotFound};
                const size_t at = size_t(hit - text);
                const size_t e = compareAt(t, text, n, at);
                if (e != NotFound)
                    return {at, e};
                if (--budget == 0)
                    return findLinear(t, text, n, at + decode(text + at, text + n).len);
                from = at + 1;
            }
            return {NotFound, NotFound};
        }
    }

    // Kept out of the way of the words of a search, which have no "_".
    [[gnu::noinline]] Span findWithAny(const FoldTables& t, const unsigned char* text, size_t n, size_t from) const
    {
        if (onlyAny)
            return skip(text, n, from);
        if (anchor) {
            // Every place of the anchor is a false start in the worst case.
            size_t budget = 64 + (n - std::min(n, from)) / 16;
            size_t search = from;
            for (; search < n && budget > 0; --budget) {
                const Span a = anchor->find(t, text, n, search);
                if (a.begin == NotFound)
                    return {NotFound, NotFound};
                size_t start = a.begin;
                size_t back = 0;
                for (; back < anchorOffset && start > from; ++back)
                    start = stepBack(text, start);
                if (back == anchorOffset && start >= from) {
                    const size_t e = compareAt(t, text, n, start);
                    if (e != NotFound)
                        return {start, e};
                }
                search = a.begin + 1;
            }
            if (search >= n)
                return {NotFound, NotFound};
        }
        const size_t e = automaton->findEnd(text, n, from);
        if (e == NotFound)
            return {NotFound, NotFound};
        size_t start = e;
        for (size_t i = 0; i < items.size(); ++i)
            start = stepBack(text, start);
        return {start, e};
    }

    // "_" alone: the next that many characters.
    Span skip(const unsigned char* text, size_t n, size_t from) const
    {
        size_t pos = from;
        size_t left = items.size();
        while (left > 0) {
            // A character takes at least one byte.
            if (pos >= n || n - pos < left)
                return {NotFound, NotFound};
#if defined(__SSE2__)
            if (left >= 16 && n - pos >= 16) {
                const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + pos));
                if (_mm_movemask_epi8(v) == 0) {
                    pos += 16;
                    left -= 16;
                    continue;
                }
            }
#endif
            pos += text[pos] < 0x80 ? 1 : decode(text + pos, text + n).len;
            --left;
        }
        return {from, pos};
    }
};

} // namespace

char32_t foldCase(char32_t c)
{
    if (c > 0x10FFFF)
        return c;
    return char32_t(u_foldCase(UChar32(c), U_FOLD_CASE_DEFAULT));
}

// Whether the text holds at least `k` characters. Each character takes one
// to four bytes, and each byte that is no continuation byte starts one, which
// settles nearly every text without reading it character by character.
bool hasAtLeast(const unsigned char* text, size_t n, size_t k)
{
    if (n < k)
        return false;
    if (n / 4 >= k)
        return true;
    size_t starts = 0;
    size_t i = 0;
#if defined(__SSE2__)
    // Continuation bytes are 0x80 to 0xBF: as signed bytes, those below -64.
    const __m128i below = _mm_set1_epi8(-64);
    for (; i + 16 <= n; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i));
        starts += 16 - size_t(__builtin_popcount(unsigned(_mm_movemask_epi8(_mm_cmplt_epi8(v, below)))));
        if (starts >= k)
            return true;
    }
#endif
    for (; i < n; ++i)
        starts += (text[i] & 0xC0) != 0x80;
    if (starts >= k)
        return true;
    // Continuation bytes that belong to no character are characters too.
    size_t count = 0;
    for (size_t pos = 0; pos < n && count < k; ++count)
        pos += decode(text + pos, text + n).len;
    return count >= k;
}

struct LikeMatcher::Compiled {
    const FoldTables* tables = nullptr;
    std::vector<Segment> segments; // empty segments (from "%%") left out
    bool hasPercent = false;
    bool startAnchored = true;     // the pattern does not begin with "%"
    bool endAnchored = true;       // the pattern does not end with "%"
    Shape shape = Shape::General;
    // "%" and "_" only: the text needs that many characters, no more.
    std::optional<size_t> lengthAtLeast;
};

LikeMatcher::LikeMatcher(std::string_view pattern, char32_t escape)
    : m_compiled(std::make_unique<Compiled>()), m_escape(escape)
{
    Compiled& c = *m_compiled;
    c.tables = &foldTables();
    const auto* p = reinterpret_cast<const unsigned char*>(pattern.data());
    const auto* end = p + pattern.size();
    Segment current;
    bool lastWasPercent = false;
    bool first = true;
    while (p < end) {
        Decoded d = decode(p, end);
        p += d.len;
        bool literal = false;
        if (escape != 0 && d.cp == escape && p < end) {
            d = decode(p, end);
            p += d.len;
            literal = true;
        }
        if (!literal && d.cp == U'%') {
            c.hasPercent = true;
            if (first)
                c.startAnchored = false;
            if (!current.items.empty())
                c.segments.push_back(std::move(current));
            current = Segment();
            lastWasPercent = true;
        } else {
            current.items.push_back(!literal && d.cp == U'_' ? AnyChar : foldWith(*c.tables, d.cp));
            lastWasPercent = false;
        }
        first = false;
    }
    c.endAnchored = !lastWasPercent;
    if (!current.items.empty() || !c.hasPercent)
        c.segments.push_back(std::move(current));
    for (Segment& s : c.segments)
        s.prepare(*c.tables);

    if (!c.hasPercent)
        c.shape = Shape::Exact;
    else if (c.segments.empty())
        c.shape = Shape::Everything;
    else if (c.segments.size() == 1 && !c.startAnchored && !c.endAnchored && !c.segments[0].hasAny)
        c.shape = Shape::Contains;
    if (c.shape == Shape::General
        && std::all_of(c.segments.begin(), c.segments.end(), [](const Segment& s) { return s.onlyAny; })) {
        size_t total = 0;
        for (const Segment& s : c.segments)
            total += s.items.size();
        c.lengthAtLeast = total;
    }
}

LikeMatcher::~LikeMatcher() = default;
LikeMatcher::LikeMatcher(LikeMatcher&&) noexcept = default;
LikeMatcher& LikeMatcher::operator=(LikeMatcher&&) noexcept = default;

LikeMatcher::Shape LikeMatcher::shape() const
{
    return m_compiled->shape;
}

bool LikeMatcher::matches(std::string_view textView) const
{
    const Compiled& c = *m_compiled;
    const FoldTables& t = *c.tables;
    const auto* text = reinterpret_cast<const unsigned char*>(textView.data());
    const size_t n = textView.size();

    switch (c.shape) {
    case Shape::Everything:
        return true;
    case Shape::Exact:
        return c.segments[0].compareAt(t, text, n, 0) == n;
    case Shape::Contains:
        return c.segments[0].find(t, text, n, 0).begin != NotFound;
    case Shape::General:
        break;
    }
    if (c.lengthAtLeast)
        return hasAtLeast(text, n, *c.lengthAtLeast);

    size_t first = 0;
    size_t last = c.segments.size();
    size_t pos = 0;
    if (c.startAnchored) {
        pos = c.segments[0].compareAt(t, text, n, 0);
        if (pos == NotFound)
            return false;
        first = 1;
    }
    if (c.endAnchored)
        --last;
    if (first > last) // one segment anchored at both ends cannot happen with a "%"
        return false;
    for (size_t i = first; i < last; ++i) {
        const Segment::Span s = c.segments[i].find(t, text, n, pos);
        if (s.begin == NotFound)
            return false;
        pos = s.end;
    }
    if (!c.endAnchored)
        return true;
    // The last segment covers exactly the last characters of the text.
    const Segment& tail = c.segments.back();
    size_t start = n;
    for (size_t i = 0; i < tail.items.size(); ++i) {
        if (start <= pos)
            return false;
        start = stepBack(text, start);
    }
    if (start < pos)
        return false;
    return tail.compareAt(t, text, n, start) == n;
}

bool LikeMatcher::match(std::string_view pattern, std::string_view text, char32_t escape)
{
    return LikeMatcher(pattern, escape).matches(text);
}

} // namespace Orvanta
