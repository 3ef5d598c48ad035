// Case folding as the LIKE code does it: Unicode simple folding, with the
// tables the searches need beside it (which characters have other case forms,
// and every character of one folding class). Built once per process; shared
// by the matcher and its automata so that both fold the same way.
#pragma once

#include "platform/sql/Utf8Reading.h"

#include <unicode/uchar.h>

#include <array>
#include <bitset>
#include <cstdint>
#include <unordered_map>
#include <vector>

namespace Orvanta::LikeFolding {

struct FoldTables {
    std::array<uint8_t, 128> ascii{};
    // Code points that have another case form (they fold, or something folds to them).
    std::bitset<0x110000> hasVariants;
    // Folded value -> every code point that folds to it (itself included).
    std::unordered_map<char32_t, std::vector<char32_t>> classes;

    FoldTables();

private:
    void add(UChar32 c);
};

const FoldTables& foldTables();

// A character as read by Utf8Reading::decode, folded; a byte that is no
// character stays itself.
inline char32_t foldWith(const FoldTables& t, char32_t c)
{
    if (c < 0x80)
        return t.ascii[c];
    if (c >= Utf8Reading::InvalidBase)
        return c;
    return char32_t(u_foldCase(UChar32(c), U_FOLD_CASE_DEFAULT));
}

} // namespace Orvanta::LikeFolding
