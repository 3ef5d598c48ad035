// The LIKE of a folded search (the 異體字 switch): "text like pattern"
// compares the text and the pattern with every character replaced by the
// representative of its variant class (platform/text/VariantFolding.h), and
// is otherwise the LIKE of LikeMatcher. Both sides are folded the way the
// LIKE reads UTF-8 (Utf8Reading.h): a byte that is no character stays itself.
//
// Folding keeps code points but not bytes (𠂝, four bytes, folds to 众, three),
// so matching runs on the folded text, never on offsets of the original.
#pragma once

#include <string>
#include <string_view>

namespace Orvanta::VariantLike {

// `text` folded, appended to `out` (which is cleared first).
void foldText(std::string_view text, std::string& out);

// `pattern` folded for LikeMatcher with the same `escape` (0: none). "%" and
// "_" never fold, and an escaped character stays escaped; a character that
// folds to the escape character itself is written escaped, so that it stays
// a literal.
std::string foldPattern(std::string_view pattern, char32_t escape);

} // namespace Orvanta::VariantLike
