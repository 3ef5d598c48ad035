#include "platform/index/VariantGrams.h"

#include "platform/index/ContentIndex.h"
#include "platform/sql/LikeMatcher.h"
#include "platform/text/VariantFolding.h"

#include <algorithm>
#include <unordered_map>

namespace Orvanta::VariantGrams {

namespace {

// Representative -> its forms, made once from the folding table.
class Forms {
public:
    Forms()
    {
        for (const auto& [c, rep] : VariantFolding::table()) {
            std::vector<char32_t>& forms = m_forms[rep];
            if (forms.empty())
                forms.push_back(rep);
            // The index keys characters case folded; forms that differ only
            // in case are one key.
            const char32_t key = foldCase(c);
            if (std::find(forms.begin(), forms.end(), key) == forms.end())
                forms.push_back(key);
        }
    }

    const std::vector<char32_t>* find(char32_t rep) const
    {
        const auto found = m_forms.find(rep);
        return found == m_forms.end() ? nullptr : &found->second;
    }

private:
    std::unordered_map<char32_t, std::vector<char32_t>> m_forms;
};

const Forms& forms()
{
    static const Forms table;
    return table;
}

} // namespace

const std::vector<char32_t>& formsOf(char32_t representative)
{
    if (const std::vector<char32_t>* found = forms().find(representative))
        return *found;
    // A character without variants is its own only form. (Kept per thread:
    // the caller reads it before asking again.)
    thread_local std::vector<char32_t> alone(1);
    alone[0] = representative;
    return alone;
}

PostingSet documentsWithAnyForm(uint64_t gram, const std::function<PostingSet(uint64_t)>& documentsWith)
{
    // Undo ContentIndex::bigram / unigram.
    const bool pair = gram >= (uint64_t(1) << 21);
    const char32_t second = char32_t(gram & 0x1FFFFF);
    const char32_t first = pair ? char32_t((gram >> 21) - 1) : 0;
    PostingSet out;
    if (!pair) {
        const std::vector<char32_t> all = formsOf(second);
        for (const char32_t c : all)
            out.unite(documentsWith(ContentIndex::unigram(c)));
        return out;
    }
    const std::vector<char32_t> as = formsOf(first);
    const std::vector<char32_t> bs = formsOf(second);
    for (const char32_t a : as) {
        for (const char32_t b : bs)
            out.unite(documentsWith(ContentIndex::bigram(a, b)));
    }
    return out;
}

} // namespace Orvanta::VariantGrams
