#include "search/core/MarkedPage.h"

#include "search/core/Highlighter.h"
#include "platform/sql/LikeMatcher.h"
#include "platform/text/CharacterReference.h"
#include "platform/text/VariantFolding.h"
#include "search/core/PatternStretches.h"
#include "search/core/VariantMatches.h"

#include <algorithm>

#include <unicode/uchar.h>

namespace Orvanta {
namespace {

const QString kMarkOpen = QStringLiteral("<font color=red>");
const QString kMarkClose = QStringLiteral("</font>");

// A character that neither changes under case mapping nor is the folded form
// of another: comparing it exactly is comparing it folded. CJK text is all
// such characters, so most words skip folding the page.
bool hasCaseVariants(char32_t c)
{
    if (c < 0x80)
        return (c >= U'a' && c <= U'z') || (c >= U'A' && c <= U'Z');
    return u_hasBinaryProperty(UChar32(c), UCHAR_CHANGES_WHEN_CASEMAPPED)
        || u_hasBinaryProperty(UChar32(c), UCHAR_CHANGES_WHEN_CASEFOLDED);
}

bool needsFolding(QStringView word)
{
    for (const char32_t c : word.toUcs4()) {
        if (hasCaseVariants(c))
            return true;
    }
    return false;
}

// Simple case folding never moves a character into or out of the basic
// plane, so the folded text has the page's length and its positions.
void foldInto(QStringView text, QString& out)
{
    out.resize(text.size()); // keeps the buffer of an earlier word
    char16_t* dst = reinterpret_cast<char16_t*>(out.data());
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t u = text[i].unicode();
        if (u < 0x80) {
            dst[i] = (u >= u'A' && u <= u'Z') ? char16_t(u + 32) : u;
        } else if (u >= 0x2E00 && u < 0xA640) {
            dst[i] = u; // CJK and its punctuation: no case
        } else if (QChar::isHighSurrogate(u) && i + 1 < n && text[i + 1].isLowSurrogate()) {
            const char32_t f = foldCase(QChar::surrogateToUcs4(u, text[i + 1].unicode()));
            dst[i] = QChar::highSurrogate(f);
            dst[i + 1] = QChar::lowSurrogate(f);
            ++i;
        } else {
            dst[i] = QChar::isSurrogate(u) ? u : char16_t(foldCase(u));
        }
    }
}

QString foldedCopy(QStringView text)
{
    QString out;
    foldInto(text, out);
    return out;
}



// The text of a page as read, references standing for their characters:
// each unit of `chars` comes from the page's [from, to).
struct PageReading {
    QString chars;
    std::vector<qsizetype> from;
    std::vector<qsizetype> to;

    explicit PageReading(QStringView page)
    {
        std::vector<TextRun> references;
        const std::vector<TextRun> runs = textRuns(page, &references);
        chars.reserve(page.size());
        from.reserve(size_t(page.size()));
        to.reserve(size_t(page.size()));
        auto run = runs.cbegin();
        auto reference = references.cbegin();
        while (run != runs.cend() || reference != references.cend()) {
            if (reference == references.cend() || (run != runs.cend() && run->begin < reference->begin)) {
                for (qsizetype i = run->begin; i < run->end; ++i)
                    add(page[i], i, i + 1);
                ++run;
                continue;
            }
            // A reference that names nothing known is neither text nor a
            // character: it breaks the text like a tag.
            if (const std::optional<CharacterReference> r = readCharacterReference(page, reference->begin)) {
                QString units;
                appendCodePoint(units, r->value);
                for (const QChar u : std::as_const(units))
                    add(u, reference->begin, reference->end);
            }
            ++reference;
        }
    }

    // Whether chars[begin, end) is one stretch of the page, with no mark-up
    // in between and no reference cut in two.
    bool isWhole(qsizetype begin, qsizetype end) const
    {
        if (begin > 0 && from[size_t(begin)] == from[size_t(begin - 1)])
            return false;
        if (end < chars.size() && from[size_t(end)] == from[size_t(end - 1)])
            return false;
        for (qsizetype i = begin + 1; i < end; ++i) {
            if (from[size_t(i)] != to[size_t(i - 1)] && from[size_t(i)] != from[size_t(i - 1)])
                return false;
        }
        return true;
    }

private:
    void add(QChar unit, qsizetype begin, qsizetype end)
    {
        chars += unit;
        from.push_back(begin);
        to.push_back(end);
    }
};

} // namespace

MarkedPage::MarkedPage(const QString& page, LikeComparison comparison)
    : text(page), variants(comparison == LikeComparison::Variants)
{
    std::vector<TextRun> references;
    runs = textRuns(page, &references);
    QString units;
    for (const TextRun& r : references) {
        if (const std::optional<CharacterReference> c = readCharacterReference(page, r.begin)) {
            appendCodePoint(units, c->value);
            appendCodePoint(units, foldCase(c->value));
            if (variants)
                appendCodePoint(units, VariantFolding::fold(c->value));
        }
    }
    const auto* first = reinterpret_cast<const char16_t*>(units.utf16());
    referenced.assign(first, first + units.size());
    std::sort(referenced.begin(), referenced.end());
    referenced.erase(std::unique(referenced.begin(), referenced.end()), referenced.end());
}

// A pattern word of a folded search: matched over the folded text, as the
// search matches it, its stretches mapped back to the page's own.
std::vector<TextRun> MarkedPage::foldedPatternStretches(const QString& word) const
{
    const VariantMatches folding(text);
    std::vector<TextRun> foldedRuns;
    foldedRuns.reserve(runs.size());
    for (const TextRun& run : runs)
        foldedRuns.push_back({folding.foldedPosition(run.begin), folding.foldedPosition(run.end)});
    std::vector<TextRun> stretches
        = patternStretches(folding.foldedText(), foldedRuns, VariantMatches::folded(word));
    for (TextRun& stretch : stretches)
        stretch = folding.textStretch(stretch);
    return stretches;
}

bool MarkedPage::meetsReferences(const QString& word) const
{
    if (referenced.empty())
        return false;
    const QString folded = variants ? VariantMatches::folded(word) : foldedCopy(word);
    for (const QStringView w : {QStringView(word), QStringView(folded)}) {
        for (const QChar u : w) {
            if (std::binary_search(referenced.begin(), referenced.end(), u.unicode()))
                return true;
        }
    }
    return false;
}

void MarkedPage::mark(const QString& word)
{
    if (word.isEmpty())
        return;
    if (isPatternWord(word)) {
        if (wrap(variants ? foldedPatternStretches(word) : patternStretches(text, runs, word)))
            runs = textRuns(text);
        return;
    }
    if (meetsReferences(word)) {
        if (markInReading(word))
            runs = textRuns(text);
    } else {
        markInTextRuns(word);
    }
}

// One pass over the text: every non-overlapping occurrence of `word` inside a
// run, compared folded, left to right, wrapped in the mark-up with the page's
// own letters inside. The result is built piece by piece, so a page with many
// hits costs one copy, not one shift of the tail per hit.
void MarkedPage::markInTextRuns(const QString& word)
{
    // Hits are few and runs many: each hit is looked up among the runs with a
    // cursor that only moves forward.
    std::vector<TextRun> hits;
    auto run = runs.cbegin();
    const auto insideARun = [&](const TextRun& span) {
        while (run != runs.cend() && run->end <= span.begin)
            ++run;
        return run != runs.cend() && span.begin >= run->begin && span.end <= run->end;
    };
    if (variants) {
        hits = VariantMatches(text).find(word, insideARun);
    } else {
        const bool fold = needsFolding(word);
        const QString needle = fold ? foldedCopy(word) : word;
        if (fold)
            foldInto(text, folded);
        const QStringView hay = fold ? QStringView(folded) : QStringView(text);
        const qsizetype length = needle.size();
        for (qsizetype hit = hay.indexOf(needle); hit >= 0;) {
            if (!insideARun({hit, hit + length})) {
                if (run == runs.cend())
                    break;
                hit = hay.indexOf(needle, hit + 1); // in mark-up, or across its edge
                continue;
            }
            hits.push_back({hit, hit + length});
            hit = hay.indexOf(needle, hit + length);
        }
    }
    if (hits.empty())
        return;

    QString out;
    out.reserve(text.size() + qsizetype(hits.size()) * (kMarkOpen.size() + kMarkClose.size()));
    std::vector<TextRun> split;
    split.reserve(runs.size() + 2 * hits.size());
    const auto keep = [&split](qsizetype begin, qsizetype end) {
        if (end > begin)
            split.push_back({begin, end});
    };
    auto hit = hits.cbegin();
    qsizetype copied = 0; // text[0, copied) is in `out`
    for (const TextRun& r : runs) {
        qsizetype begin = r.begin;
        for (; hit != hits.cend() && hit->begin < r.end; ++hit) {
            const qsizetype length = hit->end - hit->begin;
            out.append(QStringView(text).sliced(copied, hit->begin - copied));
            keep(out.size() - (hit->begin - begin), out.size());
            out.append(kMarkOpen);
            keep(out.size(), out.size() + length);
            out.append(QStringView(text).sliced(hit->begin, length));
            out.append(kMarkClose);
            begin = copied = hit->end;
        }
        const qsizetype shift = out.size() - copied;
        keep(begin + shift, r.end + shift);
    }
    out.append(QStringView(text).sliced(copied));
    text = std::move(out);
    runs = std::move(split);
}

// The same pass over the page as read: every non-overlapping occurrence of
// `word`, left to right, that is one stretch of the page, references taken
// whole into the mark. The page is read anew for every word, so the marks of
// earlier words are mark-up here too.
bool MarkedPage::markInReading(const QString& word)
{
    const PageReading reading(text);
    if (variants) {
        // Hits are stretches of the reading; a mark takes in the page's
        // whole references, as for an exact word.
        std::vector<TextRun> spans = VariantMatches(reading.chars).find(word, [&](const TextRun& span) {
            return reading.isWhole(span.begin, span.end);
        });
        for (TextRun& span : spans)
            span = {reading.from[size_t(span.begin)], reading.to[size_t(span.end - 1)]};
        return wrap(spans);
    }
    const bool fold = needsFolding(word);
    const QString needle = fold ? foldedCopy(word) : word;
    if (fold)
        foldInto(reading.chars, folded);
    const QStringView hay = fold ? QStringView(folded) : QStringView(reading.chars);
    const qsizetype length = needle.size();

    std::vector<TextRun> spans;
    for (qsizetype hit = hay.indexOf(needle); hit >= 0;) {
        if (!reading.isWhole(hit, hit + length)) {
            hit = hay.indexOf(needle, hit + 1);
            continue;
        }
        spans.push_back({reading.from[size_t(hit)], reading.to[size_t(hit + length - 1)]});
        hit = hay.indexOf(needle, hit + length);
    }
    return wrap(spans);
}

// Puts the marks around the spans of the page (in order, apart); false when
// there are none.
bool MarkedPage::wrap(const std::vector<TextRun>& spans)
{
    if (spans.empty())
        return false;
    QString out;
    out.reserve(text.size() + qsizetype(spans.size()) * (kMarkOpen.size() + kMarkClose.size()));
    qsizetype copied = 0;
    for (const TextRun& span : spans) {
        out.append(QStringView(text).sliced(copied, span.begin - copied));
        out.append(kMarkOpen);
        out.append(QStringView(text).sliced(span.begin, span.end - span.begin));
        out.append(kMarkClose);
        copied = span.end;
    }
    out.append(QStringView(text).sliced(copied));
    text = std::move(out);
    return true;
}

QString markWords(const QString& page, const QStringList& words, LikeComparison comparison)
{
    MarkedPage marked(page, comparison);
    for (const QString& word : words)
        marked.mark(word);
    return marked.text;
}

} // namespace Orvanta
