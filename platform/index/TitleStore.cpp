#include "platform/index/TitleStore.h"

#include "platform/index/ContentIndex.h"
#include "platform/index/IndexStorage.h"

#include <sqlite3.h>

#define XXH_INLINE_ALL
#include <xxhash.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <string>

namespace Orvanta {

using namespace IndexStorage;

namespace {

// What a chunk may hold to sit whole on one page of the database: a table
// row's payload stays on its page up to the page size less 35 bytes, of which
// the record's own header takes a few.
size_t chunkBudget(sqlite3* db)
{
    const qint64 pageSize = singleInteger(db, "PRAGMA main.page_size").value_or(4096);
    return size_t(std::max<qint64>(pageSize - 64, 1024));
}

constexpr size_t EntryHead = 12; // checksum and two lengths

// An order chunk: its checksum, then the rowids.
std::string orderChunk(const std::string& rowids)
{
    std::string out;
    appendLittleEndian32(out, uint32_t(XXH3_64bits(rowids.data(), rowids.size())));
    return out + rowids;
}

uint32_t entryChecksum(uint32_t rowid, const unsigned char* entry, size_t bytes)
{
    // The checksum field itself is not covered.
    return uint32_t(XXH3_64bits_withSeed(entry + 4, bytes - 4, rowid));
}

class ChunkWriter {
public:
    ChunkWriter(sqlite3* db, const char* insertSql, const char* what)
        : m_db(db), m_insert(prepare(db, insertSql)), m_what(what)
    {
    }
    void put(qint64 key, std::string_view blob)
    {
        sqlite3_bind_int64(m_insert.get(), 1, key);
        sqlite3_bind_blob(m_insert.get(), 2, blob.data(), int(blob.size()), SQLITE_STATIC);
        const int rc = sqlite3_step(m_insert.get());
        sqlite3_reset(m_insert.get());
        if (rc != SQLITE_DONE)
            throw sqliteError(m_db, rc, m_what);
    }

private:
    sqlite3* m_db;
    Statement m_insert;
    const char* m_what;
};

void appendUnits(std::string& out, const void* text, size_t units)
{
    if constexpr (std::endian::native == std::endian::little) {
        out.append(static_cast<const char*>(text), units * 2);
    } else {
        const auto* p = static_cast<const char16_t*>(text);
        for (size_t i = 0; i < units; ++i) {
            out += char(p[i] & 0xFF);
            out += char(p[i] >> 8);
        }
    }
}

} // namespace

void TitleStore::write(sqlite3* db)
{
    exec(db, "CREATE TABLE main.orvanta_index_order(chunk INTEGER PRIMARY KEY, rowids BLOB NOT NULL)");
    exec(db, "CREATE TABLE main.orvanta_index_titles(chunk INTEGER PRIMARY KEY, cells BLOB NOT NULL)");
    const size_t budget = chunkBudget(db);
    ChunkWriter orderChunks(db, "INSERT INTO main.orvanta_index_order(chunk, rowids) VALUES (?1, ?2)",
                            "newest-first order");
    ChunkWriter titleChunks(db, "INSERT INTO main.orvanta_index_titles(chunk, cells) VALUES (?1, ?2)", "titles");

    // The order: rowids, as many as fit, each chunk with its checksum.
    std::string order;
    qint64 orderKey = 0;
    const size_t rowidsPerChunk = (budget - 4) / 4;
    // The titles: the entries of the chunk being filled, and their ends.
    std::string entries;
    std::vector<uint32_t> ends;
    qint64 firstRank = 0;
    auto flushTitles = [&] {
        if (ends.empty())
            return;
        std::string blob;
        blob.reserve(4 + 4 * ends.size() + entries.size());
        appendLittleEndian32(blob, uint32_t(ends.size()));
        for (uint32_t end : ends)
            appendLittleEndian32(blob, end);
        blob += entries;
        titleChunks.put(firstRank, blob);
        firstRank += qint64(ends.size());
        entries.clear();
        ends.clear();
    };

    Statement rows = prepare(db, "SELECT rowid, subject, htm FROM main.maindata ORDER BY date DESC, rowid");
    std::string entry;
    int rc;
    while ((rc = sqlite3_step(rows.get())) == SQLITE_ROW) {
        const auto rowid = uint32_t(sqlite3_column_int64(rows.get(), 0));
        appendLittleEndian32(order, rowid);
        if (order.size() / 4 == rowidsPerChunk) {
            orderChunks.put(orderKey++, orderChunk(order));
            order.clear();
        }

        entry.assign(4, '\0');
        uint32_t lengths[2];
        for (int c = 0; c < 2; ++c) {
            const bool null = sqlite3_column_type(rows.get(), c + 1) == SQLITE_NULL;
            sqlite3_column_text16(rows.get(), c + 1);
            lengths[c] = null ? NullCell : uint32_t(sqlite3_column_bytes16(rows.get(), c + 1) / 2);
            appendLittleEndian32(entry, lengths[c]);
        }
        for (int c = 0; c < 2; ++c) {
            if (lengths[c] != NullCell)
                appendUnits(entry, sqlite3_column_text16(rows.get(), c + 1), lengths[c]);
        }
        const uint32_t sum = entryChecksum(rowid, reinterpret_cast<const unsigned char*>(entry.data()), entry.size());
        for (int i = 0; i < 4; ++i)
            entry[size_t(i)] = char((sum >> (8 * i)) & 0xFF);

        if (!ends.empty() && 4 + 4 * (ends.size() + 1) + entries.size() + entry.size() > budget)
            flushTitles();
        entries += entry;
        ends.push_back(uint32_t(entries.size()));
    }
    if (rc != SQLITE_DONE)
        throw sqliteError(db, rc, "titles");
    if (!order.empty())
        orderChunks.put(orderKey, orderChunk(order));
    flushTitles();
}

void TitleStore::drop(sqlite3* db)
{
    exec(db, "DROP TABLE IF EXISTS main.orvanta_index_order");
    exec(db, "DROP TABLE IF EXISTS main.orvanta_index_titles");
}

bool TitleStore::readable(sqlite3* db)
{
    return tryPrepare(db, "SELECT chunk, rowids FROM main.orvanta_index_order")
        && tryPrepare(db, "SELECT chunk, cells FROM main.orvanta_index_titles");
}

TitleStore::TitleStore(sqlite3* db, qint64 rows, qint64 maxRowid) : m_db(db), m_rows(rows), m_maxRowid(maxRowid) {}

const std::vector<uint32_t>& TitleStore::newestFirst()
{
    if (m_order)
        return *m_order;
    Statement st = tryPrepare(m_db, "SELECT chunk, rowids FROM main.orvanta_index_order ORDER BY chunk");
    if (!st)
        throw ContentIndex::Unusable("search index: the stored order cannot be read");
    std::vector<uint32_t> order;
    order.reserve(size_t(m_rows));
    int rc;
    qint64 expected = 0;
    while ((rc = sqlite3_step(st.get())) == SQLITE_ROW) {
        if (sqlite3_column_int64(st.get(), 0) != expected++)
            throw ContentIndex::Unusable("search index: a part of the stored order is missing");
        const auto* blob = static_cast<const unsigned char*>(sqlite3_column_blob(st.get(), 1));
        const size_t bytes = size_t(sqlite3_column_bytes(st.get(), 1));
        if (!blob || bytes < 4 || bytes % 4 != 0 || qint64(order.size() + bytes / 4 - 1) > m_rows)
            throw ContentIndex::Unusable("search index: the stored order does not fit the rows");
        if (uint32_t(XXH3_64bits(blob + 4, bytes - 4)) != readLittleEndian32(blob))
            throw ContentIndex::Unusable("search index: the stored order fails its checksum");
        const size_t at = order.size();
        order.resize(at + bytes / 4 - 1);
        if constexpr (std::endian::native == std::endian::little) {
            std::memcpy(order.data() + at, blob + 4, bytes - 4);
        } else {
            for (size_t i = 0; i + 1 < bytes / 4; ++i)
                order[at + i] = readLittleEndian32(blob + 4 + 4 * i);
        }
    }
    if (rc != SQLITE_DONE || qint64(order.size()) != m_rows)
        throw ContentIndex::Unusable("search index: the stored order does not cover the rows");
    m_order = std::move(order);
    return *m_order;
}

const std::vector<uint32_t>* TitleStore::rankOfRowid()
{
    if (m_rank)
        return &*m_rank;
    // A table of every rowid up to the highest, unless most of it would be holes.
    if (m_maxRowid < 0 || m_maxRowid > 4 * m_rows + 65536)
        return nullptr;
    const std::vector<uint32_t>& order = newestFirst();
    std::vector<uint32_t> rank(size_t(m_maxRowid) + 1, UINT32_MAX);
    for (size_t i = 0; i < order.size(); ++i) {
        if (order[i] > m_maxRowid || rank[order[i]] != UINT32_MAX)
            throw ContentIndex::Unusable("search index: the stored order holds an unknown rowid");
        rank[order[i]] = uint32_t(i);
    }
    m_rank = std::move(rank);
    return &*m_rank;
}

void TitleStore::readByRank(const std::vector<uint32_t>& ranks, RowVisitor& visitor, bool checked)
{
    if (ranks.empty())
        return;
    const std::vector<uint32_t>& order = newestFirst();
    Statement st = tryPrepare(
        m_db, "SELECT chunk, cells FROM main.orvanta_index_titles WHERE chunk <= ?1 ORDER BY chunk DESC LIMIT 1");
    if (!st)
        throw ContentIndex::Unusable("search index: the titles cannot be read");

    // The chunk the statement stands on: ranks [first, first + count).
    qint64 first = 0;
    qint64 count = 0;
    const unsigned char* ends = nullptr;
    const unsigned char* entries = nullptr;
    size_t entriesSize = 0;
    qint64 previous = -1;
    bool expected = false;
    for (const uint32_t rank : ranks) {
        if (qint64(rank) <= previous || qint64(rank) >= m_rows)
            throw ContentIndex::Unusable("search index: a result names a row it does not hold");
        previous = rank;
        if (rank >= first + count) {
            sqlite3_reset(st.get());
            sqlite3_bind_int64(st.get(), 1, rank);
            if (sqlite3_step(st.get()) != SQLITE_ROW)
                throw ContentIndex::Unusable("search index: the titles of a row are missing");
            first = sqlite3_column_int64(st.get(), 0);
            const auto* blob = static_cast<const unsigned char*>(sqlite3_column_blob(st.get(), 1));
            const size_t size = size_t(sqlite3_column_bytes(st.get(), 1));
            count = size >= 4 && blob ? readLittleEndian32(blob) : 0;
            if (count == 0 || size_t(count) > (size - 4) / 4 || rank >= first + count)
                throw ContentIndex::Unusable("search index: the titles of a row are missing");
            ends = blob + 4;
            entries = ends + 4 * count;
            entriesSize = size - 4 - 4 * size_t(count);
            if (!expected) {
                expected = true;
                // The units per row of this chunk, as far as its entries can
                // be read; a damaged chunk only makes the guess wrong.
                double units[2] = {0, 0};
                size_t begin = 0;
                for (size_t i = 0; i < size_t(count); ++i) {
                    const size_t end = readLittleEndian32(ends + 4 * i);
                    if (end < begin + EntryHead || end > entriesSize)
                        break;
                    for (int c = 0; c < 2; ++c) {
                        const uint32_t length = readLittleEndian32(entries + begin + 4 + 4 * size_t(c));
                        units[c] += length == NullCell ? 0 : double(std::min<uint32_t>(length, 1u << 20));
                    }
                    begin = end;
                }
                for (double& u : units)
                    u /= double(count);
                visitor.expect(ranks.size(), units);
            }
        }
        const size_t i = size_t(rank - first);
        const size_t begin = i == 0 ? 0 : readLittleEndian32(ends + 4 * (i - 1));
        const size_t end = readLittleEndian32(ends + 4 * i);
        if (begin > end || end > entriesSize || end - begin < EntryHead)
            throw ContentIndex::Unusable("search index: the titles of a row are cut short");
        const unsigned char* entry = entries + begin;
        const size_t bytes = end - begin;
        StoredRow row;
        row.units[0] = readLittleEndian32(entry + 4);
        row.units[1] = readLittleEndian32(entry + 8);
        size_t units = 0;
        for (uint32_t length : row.units)
            units += length == NullCell ? 0 : size_t(length);
        if (EntryHead + 2 * units != bytes)
            throw ContentIndex::Unusable("search index: the titles of a row are cut short");
        if (!checked && entryChecksum(order[rank], entry, bytes) != readLittleEndian32(entry))
            throw ContentIndex::Unusable("search index: the titles of a row fail their checksum");
        row.text[0] = entry + EntryHead;
        row.text[1] = row.text[0] + (row.units[0] == NullCell ? 0 : 2 * size_t(row.units[0]));
        visitor.row(row);
    }
}

void TitleStore::appendByRank(ResultTable& table, const std::vector<uint32_t>& ranks)
{
    class Append : public RowVisitor {
    public:
        explicit Append(ResultTable& table) : m_table(table) {}
        void expect(size_t rows, const double (&unitsPerRow)[2]) override
        {
            // Room for all the rows, so that a large result list is not moved as it grows.
            m_table.reserve(m_table.rowCount() + qsizetype(rows));
            for (int c = 0; c < 2; ++c)
                m_table.reserveMoreText(c, qsizetype(unitsPerRow[c] * double(rows) * 1.1) + 64);
        }
        void row(const StoredRow& row) override
        {
            for (int c = 0; c < 2; ++c) {
                if (row.units[c] == NullCell)
                    m_table.appendCell({}, true);
                else
                    m_table.appendLittleEndianCell(row.text[c], qsizetype(row.units[c]));
            }
        }

    private:
        ResultTable& m_table;
    } append(table);
    readByRank(ranks, append);
}

} // namespace Orvanta
