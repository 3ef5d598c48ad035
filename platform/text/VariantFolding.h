// The folding of character variants behind the 異體字 switch: every character
// maps to one representative of its class, so that 人參, 人蔘 and 人参 fold to
// the same text, as do 鍼/針, 脈/脉, 藥/葯, 證/証 and 黃/黄.
//
// The classes join the traditional/simplified pairs of OpenCC's character
// tables (never its phrase tables), the semantic and Z variants of Unihan and
// simple case folding, closed under all three. They are made at build time
// (platform/text/generate) into a table compiled in here: reading the data at
// start cost about 110 ms and a run-time dependency on the installed data.
//
// Over-folding is kept on purpose. A simplified character that stands for
// several traditional ones (干 for 乾, 幹 and 干; 后 for 後; 发 for 發 and
// 髮; 云 for 雲) puts them all in one class, because a text in simplified
// characters cannot be split back without reading its phrases: a reader who
// types 乾薑 must find 干姜. The folded search is a switch that widens the
// result on purpose, and the marks show which form each page wrote; the exact
// search stays the default for readers who need the distinction.
//
// A class may mix characters inside and outside the BMP (𠂝 folds to 众), so
// a folded text keeps its number of code points but not its number of UTF-8
// bytes or UTF-16 units. The representative of a class is its smallest member
// that is its own simple case fold, so that it folds to itself.
// ASCII takes part only through case folding: "%", "_" and the apostrophe are
// never folded.
#pragma once

#include <cstddef>
#include <span>
#include <utility>

namespace Orvanta::VariantFolding {

// The representative of `c`'s class: its simple case fold when it has no
// variant, so that fold(x) == fold(y) exactly when x and y are one class.
// Values above U+10FFFF (bytes that are no character) stay themselves.
char32_t fold(char32_t c);

// Every character that has a variant, with its representative (sorted by
// character; representatives themselves are not listed).
std::span<const std::pair<char32_t, char32_t>> table();

// The data the table was made from, with their versions.
const char* dataVersions();

} // namespace Orvanta::VariantFolding
