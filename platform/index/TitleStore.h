// The part of the content index that a result list is built from: the rowids
// of every row in newest-first order ("order by date desc", ties by rowid),
// and the subject and htm cells of every row, as SQLite gives them as text
// (NULL kept apart from ''), so that a result list needs no look-up of each
// row in maindata. Stored in tables of its own beside the posting sets:
//   orvanta_index_order  (chunk, rowids)  the rowids, newest first, after
//                                         a checksum of them; chunk = 0, 1, ...
//   orvanta_index_titles (chunk, cells)   the cells of the rows, newest first;
//                                         chunk = the rank of its first row
// Both are cut into chunks that fit on one database page, so that SQLite
// reads a chunk from one page of its memory map rather than gathering it from
// a chain of overflow pages, and a search reads the chunks of the rows it
// shows, not the titles of every row. A title chunk is laid out as
//   row count, the end of each row's entry, then the entries:
//   checksum, the two cells' lengths in UTF-16 units (all ones: NULL), units
// all little-endian; each entry's checksum is seeded with the rowid it belongs
// to, so an entry read for another row (a damaged offset or chunk key) fails
// it. Whatever fails a check throws ContentIndex::Unusable before any of it
// reaches a result list: the search scans instead.
#pragma once

#include "platform/sql/ResultTable.h"

#include <QtGlobal>

#include <cstdint>
#include <optional>
#include <vector>

struct sqlite3;

namespace Orvanta {

class TitleStore {
public:
    // Writing, inside the index's build: makes the tables and fills them from
    // maindata; throws Orvanta::Error when SQLite fails.
    static void write(sqlite3* db);
    static void drop(sqlite3* db);
    // The tables are there, as this version lays them out.
    static bool readable(sqlite3* db);

    // Reading, for an index of `rows` rows whose highest rowid is `maxRowid`.
    TitleStore(sqlite3* db, qint64 rows, qint64 maxRowid);

    // The rowids, newest first.
    const std::vector<uint32_t>& newestFirst();
    // Position in newestFirst() of each rowid, or nullptr when rowids are too
    // sparse for a table of them.
    const std::vector<uint32_t>* rankOfRowid();

    // The subject and htm cells of one row as stored: UTF-16 code units,
    // little-endian, at any alignment; `units` is NullCell for NULL.
    static constexpr uint32_t NullCell = UINT32_MAX;
    struct StoredRow {
        const unsigned char* text[2];
        uint32_t units[2];
    };
    // Receives the rows that readByRank() reads, in order.
    class RowVisitor {
    public:
        virtual ~RowVisitor() = default;
        // Once, before the rows: how many there will be, and the cells'
        // units per row in the first chunk read (a guess for the rest).
        virtual void expect(size_t rows, const double (&unitsPerRow)[2]) { (void)rows, (void)unitsPerRow; }
        virtual void row(const StoredRow& row) = 0;
    };

    // Hands the cells of the rows at `ranks` (positions in newestFirst(),
    // ascending) to `visitor`, in that order. Every row is checked before it
    // is handed over, unless `checked` says that the same rows were read
    // with their checks in this read transaction already.
    void readByRank(const std::vector<uint32_t>& ranks, RowVisitor& visitor, bool checked = false);
    // Appends the same cells to `table`.
    void appendByRank(ResultTable& table, const std::vector<uint32_t>& ranks);

private:
    sqlite3* m_db;
    qint64 m_rows;
    qint64 m_maxRowid;
    std::optional<std::vector<uint32_t>> m_order;
    std::optional<std::vector<uint32_t>> m_rank;
};

} // namespace Orvanta
