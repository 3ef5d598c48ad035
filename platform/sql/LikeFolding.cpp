#include "platform/sql/LikeFolding.h"

#include <unicode/uset.h>

namespace Orvanta::LikeFolding {

FoldTables::FoldTables()
{
    for (int c = 0; c < 128; ++c)
        ascii[c] = uint8_t(u_foldCase(c, U_FOLD_CASE_DEFAULT));
    // Only characters with some case mapping can have a simple folding
    // other than themselves: asking ICU about those alone, a few thousand,
    // instead of all 1,114,112 saves every process its first 5 ms.
    // (Changes_When_Casefolded alone misses U+1FBE, which folds to iota
    // but is iota already once decomposed; Case_Sensitive holds it.)
    UErrorCode status = U_ZERO_ERROR;
    USet* cased = uset_openEmpty();
    for (const UProperty property : {UCHAR_CASE_SENSITIVE, UCHAR_CHANGES_WHEN_CASEFOLDED}) {
        const USet* set = u_getBinaryPropertySet(property, &status);
        if (U_SUCCESS(status))
            uset_addAll(cased, set);
    }
    if (U_FAILURE(status))
        uset_addRange(cased, 0, 0x10FFFF);
    const int32_t ranges = uset_getRangeCount(cased);
    for (int32_t i = 0; i < ranges; ++i) {
        UChar32 first = 0;
        UChar32 last = -1;
        status = U_ZERO_ERROR;
        uset_getItem(cased, i, &first, &last, nullptr, 0, &status);
        for (UChar32 c = first; U_SUCCESS(status) && c <= last; ++c)
            add(c);
    }
    uset_close(cased);
}

void FoldTables::add(UChar32 c)
{
    const UChar32 f = u_foldCase(c, U_FOLD_CASE_DEFAULT);
    if (f != c) {
        hasVariants.set(size_t(c));
        hasVariants.set(size_t(f));
        auto& members = classes[char32_t(f)];
        if (members.empty())
            members.push_back(char32_t(f));
        members.push_back(char32_t(c));
    }
}

const FoldTables& foldTables()
{
    static const FoldTables tables;
    return tables;
}

} // namespace Orvanta::LikeFolding
