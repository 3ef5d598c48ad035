#include "search/core/Highlighter.h"

#include "platform/sql/LikeMatcher.h"
#include "platform/files/FileSystem.h"
#include "platform/files/FolderBounds.h"
#include "platform/files/Paths.h"
#include "platform/text/CharacterReference.h"
#include "platform/text/PageCharset.h"
#include "platform/text/VariantFolding.h"
#include "search/core/PatternStretches.h"
#include "search/core/QueryComposer.h"
#include "search/core/TextRuns.h"
#include "search/core/VariantMatches.h"

#include <QFileInfo>

#include <algorithm>
#include <optional>

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

// The page being marked and where its text is. The runs are found once and
// then kept up to date as marks go in: a mark splits its run into the text
// before it, the marked word and the text after it.
//
// A page that writes characters as references ("楊雲&#23791;", as Big5 pages
// must for 爲 and others) is searched as the characters they stand for, as
// the index reads it: its words are matched in that reading, and a mark takes
// in whole references.
struct MarkedPage {
    QString text;
    std::vector<TextRun> runs;
    QString folded; // the text folded, for the words that need it
    // The characters the page's references stand for, as UTF-16 units, as
    // written and folded; sorted. A word holding none of them cannot meet a
    // reference, and is marked in the runs alone.
    std::vector<char16_t> referenced;
    // Every variant form of a word is marked (VariantMatches.h).
    bool variants = false;

    explicit MarkedPage(const QString& page, LikeComparison comparison = LikeComparison::Exact);
    void mark(const QString& word);

private:
    void markInTextRuns(const QString& word);
    bool markInReading(const QString& word); // whether marks went in
    bool wrap(const std::vector<TextRun>& spans);
    bool meetsReferences(const QString& word) const;
};

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
        if (wrap(patternStretches(text, runs, word)))
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

// The read and marking steps: the words of `highlightText` marked in the page
// at `documentFile`, in the encoding the page declares. A step that fails
// leaves what it would have produced as it was.
QByteArray markedPageBytes(const QString& documentFile, const QString& highlightText,
                           LikeComparison comparison) noexcept
{
    QStringList words;
    try {
        words = splitWords(highlightText);
    } catch (...) {
    }

    QString page;
    PageCharset charset;
    try {
        if (!documentFile.isEmpty()) {
            const QByteArray bytes = FileSystem::readBytes(documentFile);
            charset = detectPageCharset(bytes);
            page = decodePage(bytes, charset);
        }
    } catch (...) {
    }

    // Word by word on the text so far: a failure keeps the words marked before it.
    std::optional<MarkedPage> marked;
    try {
        marked.emplace(page, comparison);
        for (const QString& word : std::as_const(words))
            marked->mark(word);
    } catch (...) {
    }
    if (marked)
        page = std::move(marked->text);

    try {
        return encodePage(page, charset);
    } catch (...) {
        return {};
    }
}

// Whether install\tmp is a folder of the collection's own: not a link, and
// inside the install folder however its names resolve.
bool tmpFolderIsTheCollections(const QString& installFolder, const QString& tmpFolder)
{
    const QString local = Paths::toLocal(tmpFolder);
    return FolderBounds::isPlainFolder(local) && FolderBounds::liesWithin(local, Paths::toLocal(installFolder));
}

} // namespace

QString documentPageWithin(const QString& installFolder, const QString& documentPath)
{
    const QString page = Paths::join(installFolder, documentPath);
    const QString local = Paths::toLocal(page);
    if (!FolderBounds::liesWithin(local, Paths::toLocal(installFolder)))
        return {};
    // Only a plain file is read: a pipe or a device would never end.
    if (!QFileInfo(FolderBounds::resolved(local)).isFile())
        return {};
    return page;
}

QString highlightTextFor(const QString& mode, const QString& queryBoxText)
{
    const QString trimmed = trimSpaces(queryBoxText);
    if (mode == QLatin1String("mod3") || mode == QLatin1String("mod4"))
        return trimmed.mid(1, 100); // the mode character goes, whatever it is
    return trimmed;
}

QString markWords(const QString& page, const QStringList& words, LikeComparison comparison)
{
    MarkedPage marked(page, comparison);
    for (const QString& word : words)
        marked.mark(word);
    return marked.text;
}

bool writeMarkedPage(const QString& installFolder, const QString& documentPath,
                     const QString& highlightText, const QString& tmpPage, QByteArray* pageBytes,
                     LikeComparison comparison) noexcept
{
    const QString tmpFolder = Paths::join(installFolder, QStringLiteral("tmp"));
    QString documentFile;
    try {
        documentFile = documentPageWithin(installFolder, documentPath);
    } catch (...) {
    }
    try {
        if (!FileSystem::folderExists(tmpFolder))
            FileSystem::createFolder(tmpFolder);
    } catch (...) {
    }
    bool ours = false;
    try {
        ours = tmpFolderIsTheCollections(installFolder, tmpFolder);
    } catch (...) {
    }
    if (ours)
        return writeMarkedPageFiles(tmpFolder, documentFile, highlightText, tmpPage, pageBytes, comparison);
    // A tmp that leads elsewhere is left alone: the caller puts the page in a
    // folder of the user's own.
    if (pageBytes)
        *pageBytes = markedPageBytes(documentFile, highlightText, comparison);
    return false;
}

// Each step stands on its own: when one fails, what it would have produced
// stays as it was and the next step runs. The user sees at worst a blank or
// stale page, never an error.
bool writeMarkedPageFiles(const QString& tmpFolder, const QString& documentFile,
                          const QString& highlightText, const QString& tmpPage, QByteArray* pageBytes,
                          LikeComparison comparison) noexcept
{
    try {
        if (!FileSystem::folderExists(tmpFolder))
            FileSystem::createFolder(tmpFolder);
    } catch (...) {
    }

    // The page is read, marked and written back in the encoding it declares.
    const QByteArray bytes = markedPageBytes(documentFile, highlightText, comparison);
    if (pageBytes)
        *pageBytes = bytes;

    // Whatever stands at the name goes, a link included, dangling or not:
    // what it points at is never touched.
    try {
        FileSystem::removeEntry(tmpPage);
    } catch (...) {
    }

    // Created empty first, where nothing stands, then written while it is
    // still a plain file: an old page that cannot be replaced is left exactly
    // as it was, and a link put in its place meanwhile is not followed.
    try {
        FileSystem::createNewFile(tmpPage);
    } catch (...) {
    }

    try {
        FileSystem::overwriteFile(tmpPage, bytes);
        return true;
    } catch (...) {
        return false;
    }
}

} // namespace Orvanta
