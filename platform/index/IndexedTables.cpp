#include "platform/index/IndexedTables.h"

#include "platform/index/ContentIndex.h"
#include "platform/sql/SqliteStatement.h"
#include "platform/sql/StatementPieces.h"
#include "platform/sql/StatementRows.h"

#include <sqlite3.h>

#include <bit>
#include <cstring>

namespace Orvanta::IndexedSearch {

namespace {

using SqlStatement = Sqlite::Statement;

std::shared_ptr<ResultTable> emptyTable(sqlite3* db)
{
    SqlStatement columns = prepareMaindataRead(db, "SELECT subject, htm FROM main.maindata");
    return std::make_shared<ResultTable>(columnNamesOf(columns.get()));
}

} // namespace

// The result list of the rows at these positions of the newest-first order.
Sqlite::Statement prepareMaindataRead(sqlite3* db, const char* sql)
{
    Sqlite::Statement statement = Sqlite::tryPrepare(db, sql);
    if (!statement)
        throw ContentIndex::Unusable("search index: cannot read maindata");
    return statement;
}

std::shared_ptr<const ResultTable> tableByRank(ContentIndex& index, sqlite3* db, const std::vector<uint32_t>& ranks)
{
    std::shared_ptr<ResultTable> out = emptyTable(db);
    index.titles().appendByRank(*out, ranks);
    return out;
}

// The result list of the rows in rowid order: from the stored titles, read
// newest first and then put in rowid order, or where the rowids are too
// sparse for a table of their ranks, looked up in maindata one by one.
std::shared_ptr<const ResultTable> tableInRowidOrder(ContentIndex& index, sqlite3* db, const std::vector<uint32_t>& rowids)
{
    if (const std::vector<uint32_t>* rank = index.rankOfRowid()) {
        // The ranks of the rows, ascending, from a bitmap of every rank; and
        // for each, the row of the result it goes to, from a table by rowid.
        std::vector<uint64_t> marked((size_t(index.rowCount()) + 63) / 64);
        std::unique_ptr<uint32_t[]> positionOfRowid(new uint32_t[rank->size()]);
        for (size_t i = 0; i < rowids.size(); ++i) {
            const uint32_t r = rowids[i] < rank->size() ? (*rank)[rowids[i]] : UINT32_MAX;
            if (r >= uint64_t(index.rowCount()))
                throw ContentIndex::Unusable("search index: a document is missing from the stored order");
            marked[r / 64] |= uint64_t(1) << (r % 64);
            positionOfRowid[rowids[i]] = uint32_t(i);
        }
        const std::vector<uint32_t>& order = index.newestFirst();
        std::vector<uint32_t> ranks;
        ranks.reserve(rowids.size());
        std::vector<uint32_t> readAt(rowids.size()); // by row of the result: its row in `read`
        for (size_t w = 0; w < marked.size(); ++w) {
            for (uint64_t bits = marked[w]; bits; bits &= bits - 1) {
                const auto r = uint32_t(w * 64 + size_t(std::countr_zero(bits)));
                readAt[positionOfRowid[order[r]]] = uint32_t(ranks.size());
                ranks.push_back(r);
            }
        }
        if (ranks.size() != rowids.size())
            throw ContentIndex::Unusable("search index: the stored order does not cover the result");
        // The rows as stored, one after another in rank order (each row's
        // cells together, so that taking them in rowid order, which jumps
        // about the whole of it, costs one cache miss a row, not one a cell
        // and another for where the cell ends).
        class Gather : public TitleStore::RowVisitor {
        public:
            void row(const TitleStore::StoredRow& row) override
            {
                at.push_back(bytes.size());
                const size_t begin = bytes.size();
                size_t size = 8;
                for (uint32_t units : row.units)
                    size += units == TitleStore::NullCell ? 0 : 2 * size_t(units);
                bytes.resize(begin + size);
                unsigned char* p = bytes.data() + begin;
                std::memcpy(p, row.units, 8);
                p += 8;
                for (int c = 0; c < 2; ++c) {
                    if (row.units[c] != TitleStore::NullCell) {
                        std::memcpy(p, row.text[c], 2 * size_t(row.units[c]));
                        p += 2 * size_t(row.units[c]);
                        units[c] += row.units[c];
                    }
                }
            }
            void expect(size_t rows, const double (&unitsPerRow)[2]) override
            {
                at.reserve(rows);
                bytes.reserve(size_t(double(rows) * (8 + 2.2 * (unitsPerRow[0] + unitsPerRow[1]))) + 64);
            }
            std::vector<unsigned char> bytes;
            std::vector<size_t> at;
            qsizetype units[2] = {0, 0};
        } read;
        index.titles().readByRank(ranks, read);
        std::shared_ptr<ResultTable> out = emptyTable(db);
        out->reserve(qsizetype(rowids.size()));
        for (int c = 0; c < 2; ++c)
            out->reserveMoreText(c, read.units[c]);
        // Rows fetched ahead while earlier ones are copied: where a row's
        // cells lie, sixteen rows ahead, and the cells themselves, eight.
        constexpr size_t Ahead = 8;
        for (size_t i = 0; i < readAt.size(); ++i) {
            if (i + 2 * Ahead < readAt.size())
                __builtin_prefetch(&read.at[readAt[i + 2 * Ahead]]);
            if (i + Ahead < readAt.size())
                __builtin_prefetch(read.bytes.data() + read.at[readAt[i + Ahead]]);
            const unsigned char* p = read.bytes.data() + read.at[readAt[i]];
            uint32_t units[2];
            std::memcpy(units, p, 8);
            p += 8;
            for (uint32_t count : units) {
                if (count == TitleStore::NullCell) {
                    out->appendCell({}, true);
                } else {
                    out->appendLittleEndianCell(p, qsizetype(count));
                    p += 2 * size_t(count);
                }
            }
        }
        return out;
    }
    SqlStatement fetch = prepareMaindataRead(db, "SELECT subject, htm FROM main.maindata WHERE rowid = ?1");
    auto out = std::make_shared<ResultTable>(columnNamesOf(fetch.get()));
    out->reserve(qsizetype(rowids.size()));
    for (uint32_t rowid : rowids) {
        sqlite3_bind_int64(fetch.get(), 1, rowid);
        if (sqlite3_step(fetch.get()) != SQLITE_ROW)
            throw ContentIndex::Unusable("search index: a document it names is missing");
        appendCurrentRow(*out, fetch.get(), 2);
        sqlite3_reset(fetch.get());
    }
    return out;
}
} // namespace Orvanta::IndexedSearch
