#include "search/core/PatternStretches.h"

#include "platform/sql/LikeMatcher.h"

#include <QList>

#include <algorithm>

namespace Orvanta {
namespace {

// One item of the pattern: a folded code point, or one of the two wildcards.
constexpr char32_t kAnyOne = 0xFFFFFFFE;
constexpr char32_t kAnyRun = 0xFFFFFFFF;

std::vector<char32_t> compile(QStringView word)
{
    std::vector<char32_t> items;
    for (const char32_t c : word.toUcs4()) {
        if (c == U'%') {
            if (items.empty() || items.back() != kAnyRun)
                items.push_back(kAnyRun);
        } else {
            items.push_back(c == U'_' ? kAnyOne : foldCase(c));
        }
    }
    while (!items.empty() && items.front() == kAnyRun)
        items.erase(items.begin());
    while (!items.empty() && items.back() == kAnyRun)
        items.pop_back();
    return items;
}

// The set of pattern positions reached, closed over "%" matching nothing.
void close(const std::vector<char32_t>& items, std::vector<char>& states)
{
    for (size_t i = 0; i < items.size(); ++i) {
        if (states[i] && items[i] == kAnyRun)
            states[i + 1] = 1;
    }
}

// The code points of one run, folded, with where each starts in the page.
struct RunText {
    std::vector<char32_t> chars;
    std::vector<qsizetype> at; // one more than chars: the run's end last

    RunText(QStringView page, TextRun run)
    {
        for (qsizetype i = run.begin; i < run.end;) {
            char32_t c = page[i].unicode();
            qsizetype next = i + 1;
            if (QChar::isHighSurrogate(c) && next < run.end && page[next].isLowSurrogate()) {
                c = QChar::surrogateToUcs4(page[i], page[next]);
                ++next;
            }
            chars.push_back(foldCase(c));
            at.push_back(i);
            i = next;
        }
        at.push_back(run.end);
    }
};

// The end of the shortest match starting at chars[start], or 0 when none
// starts there within the bound.
size_t shortestFrom(const std::vector<char32_t>& items, const std::vector<char32_t>& chars, size_t start,
                    std::vector<char>& states, std::vector<char>& next)
{
    const size_t m = items.size();
    std::fill(states.begin(), states.end(), 0);
    states[0] = 1;
    close(items, states);
    const size_t limit = std::min(chars.size(), start + size_t(kLongestStretch));
    for (size_t i = start; i < limit; ++i) {
        std::fill(next.begin(), next.end(), 0);
        bool any = false;
        for (size_t s = 0; s < m; ++s) {
            if (!states[s])
                continue;
            const char32_t item = items[s];
            if (item == kAnyRun) {
                next[s] = 1; // "%" takes this character and may take more
                any = true;
            } else if (item == kAnyOne || item == chars[i]) {
                next[s + 1] = 1;
                any = true;
            }
        }
        if (!any)
            return 0;
        close(items, next);
        if (next[m])
            return i + 1;
        states.swap(next);
    }
    return 0;
}

} // namespace

bool isPatternWord(QStringView word)
{
    return word.contains(u'%') || word.contains(u'_');
}

std::vector<TextRun> patternStretches(QStringView page, const std::vector<TextRun>& runs, QStringView word)
{
    std::vector<TextRun> stretches;
    const std::vector<char32_t> items = compile(word);
    if (items.empty())
        return stretches;
    std::vector<char> states(items.size() + 1);
    std::vector<char> next(items.size() + 1);
    const bool literalStart = items.front() != kAnyOne;
    for (const TextRun& run : runs) {
        const RunText text(page, run);
        for (size_t start = 0; start < text.chars.size();) {
            // Most places cannot start a match: their character is not the
            // pattern's first.
            if (literalStart && text.chars[start] != items.front()) {
                ++start;
                continue;
            }
            const size_t end = shortestFrom(items, text.chars, start, states, next);
            if (end == 0) {
                ++start;
                continue;
            }
            stretches.push_back({text.at[start], text.at[end]});
            start = end;
        }
    }
    return stretches;
}

} // namespace Orvanta
