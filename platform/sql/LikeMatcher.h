// The LIKE of the document database: "%" matches any run of characters, "_"
// exactly one character (code point), every other character stands for itself
// ("[" included), compared case-insensitively by Unicode simple case folding.
// 人參 does not match 人参, full-width and half-width forms differ, and ß does
// not match "ss" (simple folding maps one character to one character).
//
// The matcher works on UTF-8 bytes and needs nothing but ICU, so the engine,
// tools and fuzzers can all use it. A pattern is compiled once and then run
// against many texts; "%word%" (the shape of every search condition) takes a
// fast path: a plain byte search when no character of the word has another
// case form, a folded search anchored on a rare byte otherwise.
//
// No pattern makes a text slow. The segments between "%" are matched left to
// right, each at its leftmost place (a segment has a fixed number of
// characters, so that never loses a match); a run of "_" alone is a count of
// characters, and every other segment ends in a linear search when the quick
// ones meet too many false starts. A text of n characters against a pattern of
// m therefore costs at most about n * ceil(m/64) steps. The worst case is a
// long segment of letters and "_" (say "%a_a_a_...%", thousands of items)
// against a long text that almost matches everywhere: every character of the
// text then goes through the whole Shift-And state, m/64 machine words.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace Orvanta {

// Simple case folding of one code point (ICU's default folding).
char32_t foldCase(char32_t c);

class LikeMatcher {
public:
    // `pattern` in UTF-8 (invalid bytes stand for themselves). `escape`, when
    // not 0, makes the character after it literal (the ESCAPE clause).
    explicit LikeMatcher(std::string_view pattern, char32_t escape = 0);
    ~LikeMatcher();
    LikeMatcher(LikeMatcher&&) noexcept;
    LikeMatcher& operator=(LikeMatcher&&) noexcept;

    bool matches(std::string_view text) const;

    char32_t escape() const { return m_escape; }

    // One-off convenience for tests and tools.
    static bool match(std::string_view pattern, std::string_view text, char32_t escape = 0);

    // How the pattern was compiled; for tests that check the fast path is taken.
    enum class Shape { Exact, Everything, Contains, General };
    Shape shape() const;

private:
    struct Compiled;
    std::unique_ptr<Compiled> m_compiled;
    char32_t m_escape = 0;
};

} // namespace Orvanta
