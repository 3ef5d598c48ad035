#include "platform/index/WordDocuments.h"

#include "platform/index/ContentIndex.h"
#include "platform/sql/LikeMatcher.h"
#include "platform/sql/Utf8Reading.h"

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
        word.push_back(foldCase(d.cp));
    }
    word = std::vector<char32_t>(word.begin() + 1, word.end() - 1);
    const bool wildcards = std::any_of(word.begin(), word.end(), [](char32_t c) { return c == U'%' || c == U'_'; });

    Condition out;
    if (!wildcards && (word.size() <= 2 || (word.size() == 3 && ContentIndex::hasTrigram(word[0], word[1], word[2])))) {
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
        if (ContentIndex::hasTrigram(run[k], run[k + 1], run[k + 2]))
            out.intersectWith(triple(run[k], run[k + 1], run[k + 2]));
    }
    return out;
}

// A triple's documents; its stored form needs those of both its pairs.
PostingSet WordDocuments::triple(char32_t a, char32_t b, char32_t c)
{
    PostingSet both = gram(ContentIndex::bigram(a, b));
    both.intersectWith(gram(ContentIndex::bigram(b, c)));
    return m_index.documentsWithTriple(ContentIndex::trigram(a, b, c), both);
}

const PostingSet& WordDocuments::gram(uint64_t key)
{
    auto found = m_grams.find(key);
    if (found == m_grams.end())
        found = m_grams.emplace(key, m_index.documentsWith(key)).first;
    return found->second;
}

const PostingSet& WordDocuments::texts()
{
    if (!m_texts)
        m_texts = m_index.documentsWithText();
    return *m_texts;
}

} // namespace Orvanta::IndexedSearch
