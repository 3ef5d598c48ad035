// What the index says about one LIKE pattern of a composed statement: the
// documents that match it exactly, or a superset that our LIKE must narrow.
// A word of one to three characters (of the BMP) is its gram's set; a longer
// one, or one with "%" or "_", the documents holding every gram of each run
// between the wildcards. The gram look-up is this one step, so that what a
// word stands for (its folded characters, its variants) changes here only.
// Each gram's set is read once per statement.
//
// A folded search (variants) reads each gram as the union of its forms'
// sets (VariantGrams.h); a triple likewise, as the union of its forms'
// triples, so that a folded word of three characters is still answered from
// the index alone.
#pragma once

#include "platform/index/PostingSet.h"

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>

namespace Orvanta {

class ContentIndex;

namespace IndexedSearch {

struct Condition {
    PostingSet documents;
    bool exact = false;
};

class WordDocuments {
public:
    WordDocuments(ContentIndex& index, bool variants) : m_index(index), m_variants(variants) {}

    // `pattern` is "%word%" in UTF-8.
    Condition condition(const std::string& pattern);

private:
    PostingSet documentsWithRun(const char32_t* run, size_t length);
    PostingSet triple(char32_t a, char32_t b, char32_t c);
    bool triplesKept(char32_t a, char32_t b, char32_t c) const;
    PostingSet exactTriple(char32_t a, char32_t b, char32_t c);
    const PostingSet& gram(uint64_t key);
    const PostingSet& exactGram(uint64_t key);
    const PostingSet& texts();

    ContentIndex& m_index;
    bool m_variants;
    std::unordered_map<uint64_t, PostingSet> m_grams; // a gram read once per statement, all its forms
    std::unordered_map<uint64_t, PostingSet> m_exact; // one form's gram, when folding
    std::optional<PostingSet> m_texts;
};

} // namespace IndexedSearch
} // namespace Orvanta
