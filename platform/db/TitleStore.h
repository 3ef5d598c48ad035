// The part of the content index that a result list is built from: the rowids
// of every row in newest-first order ("order by date desc", ties by rowid),
// and the subject and htm cells of every row, as SQLite gives them as text
// (NULL kept apart from ''), so that a result list needs no look-up of each
// row in maindata. Stored in tables of its own beside the posting sets:
//   orvanta_index_order  (chunk, rowids)
//   orvanta_index_titles (chunk, cells)
// Everything read is checked against its checksum before it is used; a part
// that fails throws ContentIndex::Unusable and the search scans instead.
#pragma once

#include "platform/db/ResultTable.h"

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

    // The subject and htm cells of every row, read once.
    class Titles {
    public:
        bool has(uint32_t rowid) const { return rowid < m_at.size() && m_at[rowid] != UINT32_MAX; }
        // Appends the row's two cells; `rowid` must be one that has().
        void appendRow(ResultTable& table, uint32_t rowid) const;

    private:
        friend class TitleStore;
        std::vector<char16_t> m_cells; // per row: for each cell a 32-bit length (all ones: NULL), then its text
        std::vector<uint32_t> m_at;    // by rowid: where the row starts in m_cells
    };
    // nullptr when rowids are too sparse for a table of them.
    const Titles* titles();

private:
    bool dense() const { return m_maxRowid >= 0 && m_maxRowid <= 4 * m_rows + 65536; }

    sqlite3* m_db;
    qint64 m_rows;
    qint64 m_maxRowid;
    std::optional<std::vector<uint32_t>> m_order;
    std::optional<std::vector<uint32_t>> m_rank;
    std::optional<Titles> m_titles;
};

} // namespace Orvanta
