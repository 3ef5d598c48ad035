// The content index answering folded searches (the 異體字 switch) by
// expanding the query over the exact grams: the documents holding a folded
// gram are those holding any of its forms. The index keeps the exact text
// only, so nothing changes in what is stored or how it is built; a class has
// at most a dozen forms, so a two-character gram costs at most a few dozen
// set reads, united.
#pragma once

#include "platform/index/PostingSet.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace Orvanta::VariantGrams {

// The characters, as the index keys them (case folded), whose variant fold
// is `representative` (VariantFolding::fold); the representative among them.
const std::vector<char32_t>& formsOf(char32_t representative);

// The documents holding any form of the unigram or bigram `gram` of
// representatives (ContentIndex::unigram/bigram), read through `documentsWith`.
PostingSet documentsWithAnyForm(uint64_t gram, const std::function<PostingSet(uint64_t)>& documentsWith);

} // namespace Orvanta::VariantGrams
