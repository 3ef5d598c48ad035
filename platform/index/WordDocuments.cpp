#include "platform/index/WordDocuments.h"

#include "platform/index/ContentIndex.h"
#include "platform/index/VariantGrams.h"
#include "platform/sql/LikeMatcher.h"
#include "platform/sql/Utf8Reading.h"
#include "platform/text/VariantFolding.h"

#include <algorithm>
#include <vector>

namespace Orvanta::IndexedSearch {

Condition WordDocuments::condition(const std::string& pattern)
{
    // The folded characters of the word between the pattern's outer "%".
    std::vector<char32_t> word;
    const auto* p = reinterpret_cast<const unsigned char*>(pattern.data());
    const auto* end = p + pattern.size();
    while (p < end) {
        const Utf8Reading::Decoded d = Utf8Reading::decode(p, end);
        p += d.len;
        word.push_back(m_variants ? VariantFolding::fold(d.cp) : foldCase(d.cp));
    }
    word = std::vector<char32_t>(word.begin() + 1, word.end() - 1);
    const bool wildcards = std::any_of(word.begin(), word.end(), [](char32_t c) { return c == U'%' || c == U'_'; });

    Condition out;
    if (!wildcards && (word.size() <= 2 || (word.size() == 3 && triplesKept(word[0], word[1], word[2])))) {
        out.exact = true;
        out.documents = word.empty() ? texts() : documentsWithRun(word.data(), word.size());
        return out;
    }
    // Every run between wildcards occurs in a matching text as it stands.
    out.documents = texts();
    size_t start = 0;
    for (size_t i = 0; i <= word.size(); ++i) {
        if (i < word.size() && word[i] != U'%' && word[i] != U'_')
            continue;
        if (i > start && !out.documents.isEmpty())
            out.documents.intersectWith(documentsWithRun(word.data() + start, i - start));
        start = i + 1;
    }
    return out;
}

// The documents holding every gram of a run of folded characters: the run's
// own documents for one to three characters (but for a triple beyond the
// BMP), a superset for longer ones.
PostingSet WordDocuments::documentsWithRun(const char32_t* run, size_t length)
{
    if (length == 1)
        return gram(ContentIndex::unigram(run[0]));
    if (length == 2)
        return gram(ContentIndex::bigram(run[0], run[1]));
    // Every pair first, the smallest set leading; then each triple within
    // what is left.
    std::vector<const PostingSet*> pairs;
    for (size_t k = 0; k + 1 < length; ++k)
        pairs.push_back(&gram(ContentIndex::bigram(run[k], run[k + 1])));
    PostingSet out = **std::min_element(pairs.begin(), pairs.end(), [](const PostingSet* x, const PostingSet* y) {
        return x->size() < y->size();
    });
    for (const PostingSet* p : pairs) {
        if (out.isEmpty())
            return out;
        out.intersectWith(*p);
    }
    for (size_t k = 0; k + 2 < length && !out.isEmpty(); ++k) {
        if (triplesKept(run[k], run[k + 1], run[k + 2]))
            out.intersectWith(triple(run[k], run[k + 1], run[k + 2]));
    }
    return out;
}

// Whether the index keeps the triple of these characters, of every form of
// them when folding.
bool WordDocuments::triplesKept(char32_t a, char32_t b, char32_t c) const
{
    if (!m_variants)
        return ContentIndex::hasTrigram(a, b, c);
    for (const char32_t rep : {a, b, c}) {
        const std::vector<char32_t>& forms = VariantGrams::formsOf(rep);
        if (!std::all_of(forms.begin(), forms.end(), [](char32_t f) { return ContentIndex::hasTrigram(f, f, f); }))
            return false;
    }
    return true;
}

// A triple's documents: when folding, those of any of its forms.
PostingSet WordDocuments::triple(char32_t a, char32_t b, char32_t c)
{
    if (!m_variants)
        return exactTriple(a, b, c);
    // Copies: formsOf may hand back storage it reuses on the next call.
    const std::vector<char32_t> as = VariantGrams::formsOf(a);
    const std::vector<char32_t> bs = VariantGrams::formsOf(b);
    const std::vector<char32_t> cs = VariantGrams::formsOf(c);
    PostingSet out;
    for (const char32_t x : as) {
        for (const char32_t y : bs) {
            for (const char32_t z : cs)
                out.unite(exactTriple(x, y, z));
        }
    }
    return out;
}

// One form's triple; its stored form needs the documents of both its pairs.
PostingSet WordDocuments::exactTriple(char32_t a, char32_t b, char32_t c)
{
    PostingSet both = exactGram(ContentIndex::bigram(a, b));
    if (both.isEmpty())
        return both;
    both.intersectWith(exactGram(ContentIndex::bigram(b, c)));
    if (both.isEmpty())
        return both;
    return m_index.documentsWithTriple(ContentIndex::trigram(a, b, c), both);
}

const PostingSet& WordDocuments::gram(uint64_t key)
{
    if (!m_variants)
        return exactGram(key);
    auto found = m_grams.find(key);
    if (found == m_grams.end()) {
        found = m_grams.emplace(key, VariantGrams::documentsWithAnyForm(key, [this](uint64_t form) {
            return exactGram(form);
        })).first;
    }
    return found->second;
}

// A gram of one form, as the index stores it.
const PostingSet& WordDocuments::exactGram(uint64_t key)
{
    auto found = m_exact.find(key);
    if (found == m_exact.end())
        found = m_exact.emplace(key, m_index.documentsWith(key)).first;
    return found->second;
}

const PostingSet& WordDocuments::texts()
{
    if (!m_texts)
        m_texts = m_index.documentsWithText();
    return *m_texts;
}

} // namespace Orvanta::IndexedSearch
