#include "platform/index/GramSetBuilder.h"

#include "platform/index/ContentIndex.h"
#include "platform/sql/LikeMatcher.h"
#include "platform/sql/Utf8Reading.h"

#include <algorithm>
#include <bit>
#include <cmath>

namespace Orvanta {

namespace {

// All hash values of a gram's share: passes split [0, 2^32).
constexpr uint64_t AllShares = uint64_t(1) << 32;

// Folding as LikeMatcher does it, with the Basic Multilingual Plane in a
// table. Most blocks of 256 characters (all of the CJK ideographs) fold to
// themselves: those skip the table, which then mostly stays out of the cache.
class Folder {
public:
    Folder() : m_bmp(0x10000)
    {
        for (char32_t c = 0; c < 0x10000; ++c) {
            m_bmp[c] = foldCase(c);
            if (m_bmp[c] != c)
                m_folds[c >> 8] = true;
        }
    }
    char32_t operator()(char32_t c) const
    {
        if (c >= 0x10000)
            return foldCase(c);
        return m_folds[c >> 8] ? m_bmp[c] : c;
    }

private:
    std::vector<char32_t> m_bmp;
    bool m_folds[256] = {};
};

const Folder& folder()
{
    static const Folder fold;
    return fold;
}

// Which pass gathers a gram; independent of the table's own hash, so that a
// pass's grams still spread over the whole table.
uint64_t shareOf(uint64_t gram)
{
    return (gram * 0xC2B2AE3D27D4EB4Full) >> 32;
}

struct GramAndId {
    uint64_t gram;
    uint32_t id;
    uint32_t dense;
    bool operator<(const GramAndId& other) const { return gram < other.gram; }
};

} // namespace

GramSetBuilder::GramSetBuilder(size_t memoryBudget)
    : m_budget(std::max(memoryBudget, MinimumBudget)), m_shareWidth(AllShares)
{
}

bool GramSetBuilder::buildRun(uint32_t first, uint32_t last, const Read& read, const Write& write)
{
    m_passesOfLastRun = 0;
    uint64_t lo = 0;
    while (lo < AllShares) {
        // A last share barely wider than a pass is taken whole, not left for
        // a pass of its own that would read the run once more.
        const uint64_t hi = AllShares - lo <= m_shareWidth + m_shareWidth / 5 ? AllShares : lo + m_shareWidth;
        switch (gather(first, last, lo, hi, read)) {
        case Gathered::Stopped:
            clearTable();
            return false;
        case Gathered::Overflow: {
            // Guess from how far the pass got how many passes its share needs.
            const uint32_t reached = m_docLow.empty() ? first : (first & ~0xFFFFu) | m_docLow.back();
            const double part = double(reached - first + 1) / double(last - first + 1);
            const auto factor = uint64_t(std::clamp(std::ceil(1.1 / std::max(part, 1e-6)), 2.0, 64.0));
            m_shareWidth = std::max<uint64_t>(AllShares / MostPasses, (hi - lo + factor - 1) / factor);
            continue; // the same share again, in smaller passes
        }
        case Gathered::Done:
            break;
        }
        // The next pass takes as large a share as this one's use suggests fits.
        const double fill = double(bytesInUse()) / double(m_budget);
        if (fill < 0.65 && hi - lo == m_shareWidth)
            m_shareWidth = uint64_t(std::min(double(AllShares), double(m_shareWidth) * 0.8 / std::max(fill, 0.01)));
        writeSets(first >> RunBits, write);
        ++m_passesOfLastRun;
        lo = hi;
    }
    clearTable();
    return true;
}

GramSetBuilder::Gathered GramSetBuilder::gather(uint32_t first, uint32_t last, uint64_t lo, uint64_t hi,
                                                const Read& read)
{
    clearTable();
    m_overflow = false;
    // Room for the budget's worth of postings at once, so that the list never
    // moves (pages not yet written cost nothing).
    if (m_postings.capacity() < m_budget / 4)
        m_postings.reserve(m_budget / 4);
    // Likewise the bitmaps, which otherwise move (and are copied) each time
    // they grow; and both keep their pages from pass to pass, where pages
    // given back and asked for again cost a fault each.
    if (m_bitmaps.capacity() < m_budget / 32)
        m_bitmaps.reserve(m_budget / 32);
    const bool splittable = hi - lo > AllShares / MostPasses;
    const uint64_t textShare = shareOf(ContentIndex::TextGram);
    const bool ok = read(first, last, [&](uint32_t rowid, const unsigned char* text, size_t bytes) {
        if (m_overflow)
            return false;
        m_docStart.push_back(uint32_t(m_postings.size()));
        m_docLow.push_back(uint16_t(rowid & 0xFFFF));
        if (!text)
            return true;
        if (textShare >= lo && textShare < hi)
            add(ContentIndex::TextGram, uint32_t(m_docLow.size()), m_docLow.back());
        addDocument(text, bytes, lo, hi);
        if (splittable && bytesInUse() > m_budget)
            m_overflow = true;
        return !m_overflow;
    });
    if (!ok)
        return Gathered::Stopped;
    return m_overflow ? Gathered::Overflow : Gathered::Done;
}

void GramSetBuilder::addDocument(const unsigned char* p, size_t bytes, uint64_t lo, uint64_t hi)
{
    const Folder& fold = folder();
    const unsigned char* end = p + bytes;
    const bool everyGram = lo == 0 && hi == AllShares;
    // First the document's grams of this pass, in a list of their own; then
    // their look-ups, each slot asked for well before its turn. The table
    // outgrows the caches once it holds the triples, and nearly every look-up
    // of a rare triple misses them: asked for one at a time, each miss costs
    // its whole latency, where several under way at once overlap.
    // (At most three grams per byte: the list is sized once for them and
    // written without a check per gram.)
    if (m_documentGrams.size() < bytes * 3)
        m_documentGrams.resize(bytes * 3);
    uint64_t* const grams = m_documentGrams.data();
    size_t count = 0;
    auto gather = [&](uint64_t gram) __attribute__((always_inline)) {
        if (!everyGram) {
            const uint64_t share = shareOf(gram);
            if (share < lo || share >= hi)
                return;
        }
        grams[count++] = gram;
    };
    int seen = 0; // characters so far, up to 2
    char32_t previous = 0, beforePrevious = 0;
    while (p < end) {
        // ASCII and the three bytes of a Chinese character inline, the rest
        // as LIKE reads it.
        char32_t cp;
        if (p[0] < 0x80) {
            cp = p[0];
            ++p;
        } else if ((p[0] & 0xF0) == 0xE0 && end - p >= 3 && (p[1] & 0xC0) == 0x80 && (p[2] & 0xC0) == 0x80
                   && (cp = char32_t(((p[0] & 0x0F) << 12) | ((p[1] & 0x3F) << 6) | (p[2] & 0x3F))) >= 0x800
                   && (cp < 0xD800 || cp > 0xDFFF)) {
            p += 3;
        } else {
            const Utf8Reading::Decoded d = Utf8Reading::decode(p, end);
            p += d.len;
            cp = d.cp;
        }
        const char32_t c = fold(cp);
        gather(ContentIndex::unigram(c));
        if (seen >= 1)
            gather(ContentIndex::bigram(previous, c));
        if (seen >= 2 && ContentIndex::hasTrigram(beforePrevious, previous, c))
            gather(ContentIndex::trigram(beforePrevious, previous, c));
        beforePrevious = previous;
        previous = c;
        seen += seen < 2;
    }

    const auto document = uint32_t(m_docLow.size()); // the current one, plus one
    const uint16_t low = m_docLow.back();
    const uint64_t* gram = grams;
    for (size_t i = 0; i < count && i < LookAhead; ++i)
        __builtin_prefetch(&m_slots[slotOf(gram[i])]);
    for (size_t i = 0; i < count; ++i) {
        if (i + LookAhead < count)
            __builtin_prefetch(&m_slots[slotOf(gram[i + LookAhead])]);
        add(gram[i], document, low);
    }
}

// Called for every character and pair of the content: the common case, a
// gram already seen in this document or an earlier one, stays short.
inline void GramSetBuilder::add(uint64_t gram, uint32_t document, uint16_t low)
{
    for (size_t i = slotOf(gram);; i = (i + 1) & m_mask) {
        Slot& s = m_slots[i];
        if (s.gram == gram && s.id != Empty) {
            // A common gram's bit is set however often the document holds
            // it; only a listed gram needs to know it has this one already.
            if (s.dense != Empty) {
                m_bitmaps[bitmapWord(s.dense, low / 64)] |= uint64_t(1) << (low % 64);
                return;
            }
            if (s.last == document)
                return;
            s.last = document;
            list(s);
            return;
        }
        if (s.id == Empty) {
            insert(gram, document);
            return;
        }
    }
}

void GramSetBuilder::list(Slot& s)
{
    m_postings.push_back(s.id);
    if (++s.listed == DenseAfter) {
        s.dense = m_bitmapCount++;
        if (s.dense % BitmapsPerBlock == 0)
            m_bitmaps.resize(m_bitmaps.size() + BlockWords, 0);
    }
}

void GramSetBuilder::insert(uint64_t gram, uint32_t document)
{
    if ((m_gramCount + 1) * 4 > m_slots.size() * 3)
        growTable();
    size_t i = slotOf(gram);
    while (m_slots[i].id != Empty)
        i = (i + 1) & m_mask;
    m_slots[i] = Slot{gram, m_gramCount++, document, 1, Empty};
    m_postings.push_back(m_slots[i].id);
}

void GramSetBuilder::growTable()
{
    const size_t size = m_slots.size() * 2;
    std::vector<Slot> old(size);
    old.swap(m_slots);
    m_mask = size - 1;
    m_shift = 64 - std::countr_zero(size);
    for (const Slot& s : old) {
        if (s.id == Empty)
            continue;
        size_t i = slotOf(s.gram);
        while (m_slots[i].id != Empty)
            i = (i + 1) & m_mask;
        m_slots[i] = s;
    }
}

void GramSetBuilder::clearTable()
{
    constexpr size_t InitialSlots = 4096;
    if (m_slots.size() != InitialSlots) {
        m_slots.assign(InitialSlots, Slot{});
        m_slots.shrink_to_fit();
    } else {
        std::fill(m_slots.begin(), m_slots.end(), Slot{});
    }
    m_mask = InitialSlots - 1;
    m_shift = 64 - std::countr_zero(InitialSlots);
    m_gramCount = 0;
    m_bitmapCount = 0;
    m_bitmaps.clear();
    m_postings.clear();
    m_docStart.clear();
    m_docLow.clear();
}

// What a pass holds, and what sorting its postings will add: per posting its
// gram's number, and a share of the sorted documents' room (see writeSets());
// per gram a slot (at most three quarters full), its value, its place in the
// sort, its count and its offset.
size_t GramSetBuilder::bytesInUse() const
{
    return m_postings.size() * 4 + (m_postings.size() / SortGroups + DenseAfter) * 2
        + m_slots.size() * sizeof(Slot) + m_gramCount * (sizeof(GramAndId) + 8) + m_bitmaps.size() * 8
        + m_docLow.size() * (4 + 2);
}

void GramSetBuilder::writeSets(uint32_t run, const Write& write)
{
    const size_t grams = m_gramCount;
    if (grams == 0)
        return;
    std::vector<GramAndId> order;
    order.reserve(grams);
    for (const Slot& s : m_slots) {
        if (s.id != Empty)
            order.push_back(GramAndId{s.gram, s.id, s.dense});
    }
    std::sort(order.begin(), order.end());

    // A counting sort of the postings by gram, in ascending order of the
    // grams, one group of grams at a time: each group holds about a quarter
    // of the postings (no listed gram holds more than DenseAfter), so the
    // sorted documents need a quarter of the room that sorting them all at
    // once would, for a few more reads of the list. That room is what lets a
    // run's postings, triples and all, fit the budget in one pass.
    std::vector<uint32_t>& count = m_counts;
    count.assign(grams, 0);
    for (const uint32_t id : m_postings)
        ++count[id];
    std::vector<uint32_t>& offset = m_offsets;
    offset.assign(grams, Skip);
    std::vector<uint16_t>& documents = m_sortedDocuments;
    const size_t groupLimit = m_postings.size() / SortGroups + DenseAfter;
    if (documents.size() < groupLimit)
        documents.resize(groupLimit);
    m_docStart.push_back(uint32_t(m_postings.size()));

    std::vector<uint32_t> rowids;
    const uint32_t base = run << RunBits;
    for (size_t groupBegin = 0; groupBegin < order.size();) {
        size_t groupEnd = groupBegin;
        uint32_t at = 0;
        while (groupEnd < order.size() && (groupEnd == groupBegin || at + count[order[groupEnd].id] <= groupLimit)) {
            offset[order[groupEnd].id] = at;
            at += count[order[groupEnd].id];
            ++groupEnd;
        }
        if (documents.size() < at)
            documents.resize(at);
        // Documents stay ascending within each gram as they were read.
        for (size_t d = 0; d + 1 < m_docStart.size(); ++d) {
            const uint16_t low = m_docLow[d];
            for (uint32_t i = m_docStart[d]; i < m_docStart[d + 1]; ++i) {
                uint32_t& o = offset[m_postings[i]];
                if (o != Skip)
                    documents[o++] = low;
            }
        }

        // offset[id] now ends each gram's documents, and the grams lie in order.
        uint32_t begin = 0;
        for (size_t g = groupBegin; g < groupEnd; ++g) {
            const GramAndId& gram = order[g];
            const uint32_t end = offset[gram.id];
            offset[gram.id] = Skip;
            rowids.resize(end - begin);
            for (uint32_t i = begin; i < end; ++i)
                rowids[i - begin] = base | documents[i];
            // A dense gram's later documents, all after those listed (but for
            // the document that made it dense, which may be in both: the set
            // holds it once).
            if (gram.dense != Empty) {
                for (size_t w = 0; w < BitmapWords; ++w) {
                    for (uint64_t bits = m_bitmaps[bitmapWord(gram.dense, w)]; bits; bits &= bits - 1)
                        rowids.push_back(base | uint32_t(w * 64 + size_t(std::countr_zero(bits))));
                }
            }
            PostingSet set;
            set.addMany(rowids.data(), rowids.size());
            set.optimize();
            write(gram.gram, set);
            begin = end;
        }
        groupBegin = groupEnd;
    }
    m_docStart.pop_back();
}

} // namespace Orvanta
