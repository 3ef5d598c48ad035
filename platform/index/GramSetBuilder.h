// Gathers the posting sets of the content index (see ContentIndex.h): for one
// run of 65,536 rowids at a time, the documents holding each gram.
//
// Memory is what bounds a build, not the postings' bytes: a run of a large
// collection holds about a million distinct grams, most of them in a few
// documents, so an object per gram (a list, a set) costs far more than the
// postings themselves. The builder therefore keeps no object per gram while
// it gathers: a table from each gram to a small number, and for every
// document the numbers of the grams it holds, four bytes per posting. Once
// the run is read, a counting sort groups the postings by gram (a few groups
// of grams in turn, so that its output needs a fraction of the list's room),
// and each set is made, handed over and dropped, in ascending order of the
// grams.
//
// When a run's postings would not fit the memory budget, the run is read
// again in several passes, each gathering only the grams whose hash falls in
// its share; a pass that overflows is split further. The sets handed over
// are the same whatever the number of passes, and the budget holds whatever
// the size of the collection (down to one document's grams, which a pass of
// a single hash value never splits).
//
// Usage:
//
//   GramSetBuilder builder(budgetBytes);
//   for each run of rowids that holds rows:
//       if (!builder.buildRun(first, last,
//               [&](uint32_t from, uint32_t to, const GramSetBuilder::Take& take) {
//                   for each row from..to, ascending:
//                       if (!take(rowid, utf8, bytes)) break;  // utf8 nullptr: NULL
//                   return true;                               // false: stop the build
//               },
//               [&](uint64_t gram, const PostingSet& documents) { store it }))
//           stopped;
#pragma once

#include "platform/index/PostingSet.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace Orvanta {

class GramSetBuilder {
public:
    // Rowids per run; a run's sets each hold one CRoaring container.
    static constexpr int RunBits = 16;
    // Budgets below this are raised to it: the gram table and a block of
    // bitmaps need some room.
    static constexpr size_t MinimumBudget = size_t(1) << 20;
    // A run is read at most this many times, however small the budget: a
    // pass of the smallest share may exceed it.
    static constexpr uint64_t MostPasses = 4096;

    // A document of the run: its content as UTF-8, nullptr when NULL.
    // Returns false when the pass needs no more rows.
    using Take = std::function<bool(uint32_t rowid, const unsigned char* text, size_t bytes)>;
    // Hands the rows with rowids from `first` to `last` to `take`, ascending,
    // until it returns false; returns false to stop the build. Called once
    // per pass.
    using Read = std::function<bool(uint32_t first, uint32_t last, const Take& take)>;
    // Receives each gram's set for the run. Within a pass grams come in
    // ascending order, which keeps the writes to the index's b-tree close
    // together.
    using Write = std::function<void(uint64_t gram, const PostingSet& documents)>;

    explicit GramSetBuilder(size_t memoryBudget);

    // Builds the sets of the run holding rowids `first` to `last` (both in
    // the same run; `last` the highest rowid there). False when `read`
    // stopped; whatever was written by then is for the caller to discard.
    bool buildRun(uint32_t first, uint32_t last, const Read& read, const Write& write);

    // Passes the last run took (1 when everything fit at once).
    int passesOfLastRun() const { return m_passesOfLastRun; }

private:
    struct Slot {
        uint64_t gram = 0;
        uint32_t id = Empty;     // the gram's number in this pass
        uint32_t last = 0;       // the last document (plus one) that held it
        uint32_t listed = 0;     // its postings in the list
        uint32_t dense = Empty;  // its bitmap, once it has one
    };
    static constexpr uint32_t Empty = UINT32_MAX;
    // A gram found in this many documents of a run takes a bitmap of the
    // run's 65,536 rowids (8 KB) for the rest of them, where a list would cost
    // more: the commonest characters are in most documents.
    static constexpr uint32_t DenseAfter = 2048;
    static constexpr size_t BitmapWords = 65536 / 64;
    // writeSets() sorts the postings in groups of grams, each about this
    // share of them.
    static constexpr size_t SortGroups = 4;
    static constexpr uint32_t Skip = UINT32_MAX; // a gram of another group
    // Bitmaps are kept interleaved, 16 to a block, word by word: a document's
    // bits in every bitmap then lie in a few cache lines (one per block),
    // where bitmaps side by side would each need their own.
    static constexpr size_t BitmapsPerBlock = 16;
    // Blocks are 128 KB apart plus one row of words (128 bytes): a document's
    // lines in successive blocks then fall in successive sets of the caches,
    // where at exactly 128 KB apart they would all compete for one set (a
    // few ways) and miss every time.
    static constexpr size_t BlockWords = BitmapsPerBlock * BitmapWords + BitmapsPerBlock;
    static size_t bitmapWord(uint32_t bitmap, size_t word)
    {
        return (bitmap / BitmapsPerBlock) * BlockWords + word * BitmapsPerBlock + bitmap % BitmapsPerBlock;
    }

    // One pass over the run for the grams whose share lies in [lo, hi).
    enum class Gathered { Done, Stopped, Overflow };
    Gathered gather(uint32_t first, uint32_t last, uint64_t lo, uint64_t hi, const Read& read);
    void addDocument(const unsigned char* text, size_t bytes, uint64_t lo, uint64_t hi);
    // How many grams ahead of its look-up a gram's slot is asked for: enough
    // misses under way to cover one's latency, few enough that the earliest
    // is still in the cache when its turn comes.
    static constexpr size_t LookAhead = 16;
    size_t slotOf(uint64_t gram) const { return size_t((gram * 0x9E3779B97F4A7C15ull) >> m_shift); }
    void add(uint64_t gram, uint32_t document, uint16_t low);
    void list(Slot& s);
    void insert(uint64_t gram, uint32_t document);
    void writeSets(uint32_t run, const Write& write);
    void clearTable();
    void growTable();
    size_t bytesInUse() const;

    size_t m_budget;
    uint64_t m_shareWidth; // the hash values per pass, carried from run to run
    int m_passesOfLastRun = 0;
    bool m_overflow = false;

    std::vector<Slot> m_slots;
    size_t m_mask = 0;
    int m_shift = 64;
    uint32_t m_gramCount = 0;
    uint32_t m_bitmapCount = 0;
    std::vector<uint64_t> m_bitmaps;     // blocks of BitmapsPerBlock dense grams, see bitmapWord()
    std::vector<uint32_t> m_postings;    // gram numbers, document after document
    std::vector<uint32_t> m_docStart;    // per document: where its postings start
    std::vector<uint16_t> m_docLow;      // per document: its rowid's low 16 bits
    std::vector<uint64_t> m_documentGrams; // the grams of the document being added, in order
    // writeSets()'s sorting, kept with their pages from pass to pass.
    std::vector<uint32_t> m_counts;
    std::vector<uint32_t> m_offsets;
    std::vector<uint16_t> m_sortedDocuments;
};

} // namespace Orvanta
