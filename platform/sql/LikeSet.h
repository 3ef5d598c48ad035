// Many LIKE patterns against one text in one pass: the "%word%" patterns (the
// shape of every search condition) through one automaton over case-folded
// characters, the others one by one. Gives the same answers as running each
// pattern through LikeMatcher; a query with tens of thousands of words then
// costs one scan of each text instead of one scan per word.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace Orvanta {

class LikeSet {
public:
    explicit LikeSet(const std::vector<std::string>& patterns);
    ~LikeSet();
    LikeSet(LikeSet&&) noexcept;
    LikeSet& operator=(LikeSet&&) noexcept;

    // Some pattern matches (false for no patterns).
    bool matchesAny(std::string_view text) const;
    // Every pattern matches (true for no patterns).
    bool matchesAll(std::string_view text) const;

    // The packed form used in SQL: patterns joined by "|", with "|" and "\"
    // inside a pattern written as "\|" and "\\".
    static std::string pack(const std::vector<std::string>& patterns);
    static std::vector<std::string> unpack(std::string_view packed);

private:
    struct Compiled;
    std::unique_ptr<Compiled> m_compiled;
};

} // namespace Orvanta
