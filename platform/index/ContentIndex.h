// The content index of a collection: for every character, every pair and
// every run of three adjacent characters of the content, as our LIKE folds it
// (Unicode simple case folding, one character to one character), the set of
// documents that hold it; plus the documents whose content is not NULL and
// the rowids in newest-first order ("order by date desc", ties by rowid). It
// lets a search for "%word%" read a few posting sets instead of every
// document: a word of one to three characters is answered by its set alone,
// a longer one (or one with "%" or "_") narrows the documents that our LIKE
// then checks. Triples are kept for characters of the BMP only (every Chinese
// character a formula name uses): a triple with a character beyond it has no
// set, and its word is narrowed by its pairs.
//
// It lives in the database it indexes, in tables of its own beside maindata:
//   orvanta_index_info   (name, value)  format version, row count, max rowid
//   orvanta_index_grams  (key, sets)    key = gram << 16 | rowid >> 16, one
//                                       posting set per 65,536 rowids
//   orvanta_index_triples (key, sets)   the same for triples; key = the three
//                                       16-bit characters << 16 | rowid >> 16,
//                                       all 64 bits (negative above 2^63);
//                                       stored beside their pairs (TripleSets.h)
//   orvanta_index_order, orvanta_index_titles  the newest-first order and
//                                       the result list's cells of every row
//                                       (TitleStore.h)
// Triggers on maindata delete the info row on any insert, update or delete, so
// a collection changed by any program afterwards reads as stale. Every stored
// set carries a checksum; a set that fails it makes the index unusable.
//
// Usage (any SQLite connection whose main database holds maindata):
//
//   // writing a collection or a converted copy, in or outside a transaction:
//   ContentIndex::build(db);                    // true when built
//   ContentIndex::build(db, [&](qint64 done, qint64 total) {
//       return !cancelled;                      // false: stop, nothing is left
//   });
//
//   // before trusting a database:
//   if (ContentIndex::state(db) == ContentIndex::State::Current) ...
//
// Searches use it by themselves: Database reads the index when it opens a
// database (Database::reloadContentIndex() after building one later on a
// worker thread, on a connection of its own) and runs a statement through it
// when IndexedSearch recognizes the statement; any other statement, and any
// statement on a database without a current index, is scanned as before.
#pragma once

#include "platform/index/PostingSet.h"
#include "platform/sql/ResultTable.h"
#include "platform/index/TitleStore.h"

#include <QtGlobal>

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

struct sqlite3;

namespace Orvanta {

namespace GramSetGathering {
class Background;
}

class ContentIndex {
public:
    // Changes whenever what the index holds or how it is stored changes.
    static constexpr int FormatVersion = 5;

    enum class State {
        Missing,   // no index (a collection written before there was one)
        Current,   // complete, of this format, and the rows have not changed since
        Stale,     // maindata changed since it was built, or the build did not finish
        Foreign,   // another format version, or tables that are not ours
    };

    // Called now and then during a build; returning false stops it.
    using Progress = std::function<bool(qint64 rowsDone, qint64 rowsTotal)>;

    // Builds (or rebuilds) the index of maindata inside `db`, in a savepoint:
    // on any failure or a stop nothing of it is left and the database is as
    // it was. Returns false when stopped or when maindata cannot be indexed
    // (a view, a table without rowid, rowids outside 0 to 2^32 - 1, columns
    // missing). Throws Orvanta::Error when SQLite fails (disk full, read-only).
    // The posting sets are gathered within `memoryBudget` bytes (0: half the
    // database's size, from DefaultMinimumBudget to DefaultMaximumBudget), in
    // several passes over the content where they do not fit at once; the
    // stored index is the same. `threads` gather at once, each within the
    // budget (the progress callback is called on the caller's thread only).
    static bool build(sqlite3* db, const Progress& progress = {}, size_t memoryBudget = 0, int threads = 1);
    // The threads worth gathering with here: one per processor, at most four.
    static int availableThreads();
    static constexpr size_t DefaultMinimumBudget = size_t(4) << 20;
    static constexpr size_t DefaultMaximumBudget = size_t(256) << 20;

    // Builds the index while a writer adds the rows of maindata, rowids
    // ascending, inside the writer's own transaction: each run of 65,536
    // rowids is gathered on other threads as soon as the writer has moved
    // past it. Every call the writer makes on `db` while the builder lives
    // must hold connection(). Should the rowids not come in ascending order
    // (or fall outside 0 to 2^32 - 1), finish() builds the index as build()
    // does instead. On a failure (an Orvanta::Error from rowAdded, from
    // gatherRemaining or from finish) what was stored is for the writer's
    // transaction to roll back.
    //
    //   ContentIndex::Builder index(db, threads, threadsAtTheEnd);
    //   for each row:  { lock(index.connection()); insert it; }  index.rowAdded(rowid);
    //   index.gatherRemaining();      // the rows are all in
    //   ... (an index on date for the order, say)
    //   index.finish();               // the order, titles and facts
    class Builder {
    public:
        // `threads` gather while rows are added, `threadsAtTheEnd` once they
        // are all in.
        Builder(sqlite3* db, int threads, int threadsAtTheEnd);
        ~Builder();
        Builder(const Builder&) = delete;
        Builder& operator=(const Builder&) = delete;

        std::mutex& connection();
        void rowAdded(qint64 rowid);
        void gatherRemaining();
        void finish();

    private:
        sqlite3* m_db;
        int m_threadsAtTheEnd;
        std::unique_ptr<GramSetGathering::Background> m_background;
        bool m_inOrder = true;
        bool m_haveRun = false;
        uint32_t m_runFirst = 0, m_runLast = 0;
        qint64 m_rows = 0, m_maxRowid = -1;
        bool m_gathered = false;
    };

    // Removes the index and its triggers.
    static void drop(sqlite3* db);

    static State state(sqlite3* db);

    // The index of `db` ready for searches, or nullptr when it is not Current.
    static std::unique_ptr<ContentIndex> open(sqlite3* db);

    // What the stored index turned out to be unusable for (a set failing its
    // checksum, a damaged page): the caller scans instead.
    class Unusable : public std::runtime_error {
    public:
        using std::runtime_error::runtime_error;
    };

    // A character (code point as LIKE reads it, folded) or a pair of them.
    static uint64_t unigram(char32_t c) { return c; }
    static uint64_t bigram(char32_t a, char32_t b) { return ((uint64_t(a) + 1) << 21) | b; }
    // Three characters of the BMP, tagged apart from the others (no
    // character or pair reaches bit 63); triples with a character beyond
    // the BMP have none.
    static constexpr uint64_t TripleTag = uint64_t(1) << 63;
    static bool hasTrigram(char32_t a, char32_t b, char32_t c) { return (a | b | c) < 0x10000; }
    static uint64_t trigram(char32_t a, char32_t b, char32_t c)
    {
        return TripleTag | (uint64_t(a) << 32) | (uint64_t(b) << 16) | c;
    }
    static bool isTrigram(uint64_t gram) { return (gram & TripleTag) != 0; }
    // Not a character: the pseudo-gram of "content is not NULL".
    static constexpr uint64_t TextGram = 0x1FFFFF;
    // The key of a gram's set for the run `run` (rowid >> 16), in its table.
    static uint64_t storedKey(uint64_t gram, uint32_t run) { return ((gram & ~TripleTag) << 16) | run; }

    // The documents holding `gram` (a character or a pair); throws Unusable.
    PostingSet documentsWith(uint64_t gram);
    // The documents holding `triple`, given those holding both of its pairs
    // (TripleSets.h); throws Unusable.
    PostingSet documentsWithTriple(uint64_t triple, const PostingSet& bothPairs);
    // The documents whose content is not NULL.
    PostingSet documentsWithText() { return documentsWith(TextGram); }
    // The rowids, newest first; throws Unusable.
    const std::vector<uint32_t>& newestFirst();
    // Position in newestFirst() of each rowid, or nullptr when rowids are too
    // sparse for a table of them.
    const std::vector<uint32_t>* rankOfRowid();

    // The subject and htm cells of the rows; throws Unusable.
    TitleStore& titles() { return m_store; }

    qint64 rowCount() const { return m_rows; }

private:
    explicit ContentIndex(sqlite3* db, qint64 rows, qint64 maxRowid);

    sqlite3* m_db;
    qint64 m_rows;
    TitleStore m_store;
};

} // namespace Orvanta
