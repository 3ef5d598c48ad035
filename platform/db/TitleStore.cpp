#include "platform/db/TitleStore.h"

#include "platform/db/ContentIndex.h"
#include "platform/db/IndexStorage.h"

#include <sqlite3.h>

#include <string>

namespace Orvanta {

using namespace IndexStorage;

namespace {

constexpr int ChunkBits = 16;          // rowids per row of orvanta_index_titles: 65,536
constexpr uint32_t OrderChunk = 65536; // rowids per row of orvanta_index_order

void writeOrder(sqlite3* db)
{
    Statement rows = prepare(db, "SELECT rowid FROM main.maindata ORDER BY date DESC, rowid");
    Statement insert = prepare(db, "INSERT INTO main.orvanta_index_order(chunk, rowids) VALUES (?1, ?2)");
    std::vector<uint32_t> part;
    qint64 chunk = 0;
    auto flush = [&] {
        std::string bytes;
        bytes.reserve(part.size() * 4);
        for (uint32_t rowid : part)
            appendLittleEndian32(bytes, rowid);
        const std::string blob = withChecksum(bytes);
        sqlite3_bind_int64(insert.get(), 1, chunk++);
        sqlite3_bind_blob(insert.get(), 2, blob.data(), int(blob.size()), SQLITE_STATIC);
        const int rc = sqlite3_step(insert.get());
        sqlite3_reset(insert.get());
        if (rc != SQLITE_DONE)
            throw sqliteError(db, rc, "newest-first order");
        part.clear();
    };
    int rc;
    while ((rc = sqlite3_step(rows.get())) == SQLITE_ROW) {
        part.push_back(uint32_t(sqlite3_column_int64(rows.get(), 0)));
        if (part.size() == OrderChunk)
            flush();
    }
    if (rc != SQLITE_DONE)
        throw sqliteError(db, rc, "newest-first order");
    if (!part.empty())
        flush();
}

void appendUnits(std::string& out, const char16_t* units, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        out += char(units[i] & 0xFF);
        out += char(units[i] >> 8);
    }
}

void appendLength(std::string& out, uint32_t length)
{
    const char16_t halves[2] = {char16_t(length & 0xFFFF), char16_t(length >> 16)};
    appendUnits(out, halves, 2);
}

// Per run of 65,536 rowids, for each row: its rowid (32 bits), then subject
// and htm, each a 32-bit length in UTF-16 units (all ones for NULL) and the
// units; all little-endian.
void writeTitles(sqlite3* db)
{
    Statement rows = prepare(db, "SELECT rowid, subject, htm FROM main.maindata ORDER BY rowid");
    Statement insert = prepare(db, "INSERT INTO main.orvanta_index_titles(chunk, cells) VALUES (?1, ?2)");
    std::string part;
    qint64 chunk = -1;
    auto flush = [&] {
        if (chunk < 0)
            return;
        const std::string blob = withChecksum(part);
        sqlite3_bind_int64(insert.get(), 1, chunk);
        sqlite3_bind_blob(insert.get(), 2, blob.data(), int(blob.size()), SQLITE_STATIC);
        const int rc = sqlite3_step(insert.get());
        sqlite3_reset(insert.get());
        if (rc != SQLITE_DONE)
            throw sqliteError(db, rc, "titles");
        part.clear();
    };
    int rc;
    while ((rc = sqlite3_step(rows.get())) == SQLITE_ROW) {
        const auto rowid = uint32_t(sqlite3_column_int64(rows.get(), 0));
        if (qint64(rowid >> ChunkBits) != chunk) {
            flush();
            chunk = rowid >> ChunkBits;
        }
        appendLength(part, rowid);
        for (int c = 1; c <= 2; ++c) {
            if (sqlite3_column_type(rows.get(), c) == SQLITE_NULL) {
                appendLength(part, UINT32_MAX);
                continue;
            }
            const auto* text = static_cast<const char16_t*>(sqlite3_column_text16(rows.get(), c));
            const size_t units = size_t(sqlite3_column_bytes16(rows.get(), c)) / 2;
            appendLength(part, uint32_t(units));
            appendUnits(part, text, units);
        }
    }
    if (rc != SQLITE_DONE)
        throw sqliteError(db, rc, "titles");
    flush();
}

} // namespace

void TitleStore::write(sqlite3* db)
{
    exec(db, "CREATE TABLE main.orvanta_index_order(chunk INTEGER PRIMARY KEY, rowids BLOB NOT NULL)");
    exec(db, "CREATE TABLE main.orvanta_index_titles(chunk INTEGER PRIMARY KEY, cells BLOB NOT NULL)");
    writeOrder(db);
    writeTitles(db);
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
        const std::string_view payload =
            checkedPayload(sqlite3_column_blob(st.get(), 1), sqlite3_column_bytes(st.get(), 1));
        if (payload.size() % 4 != 0)
            throw ContentIndex::Unusable("search index: the stored order is cut short");
        const auto* p = reinterpret_cast<const unsigned char*>(payload.data());
        for (size_t i = 0; i < payload.size(); i += 4)
            order.push_back(readLittleEndian32(p + i));
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
    if (!dense())
        return nullptr;
    const std::vector<uint32_t>& order = newestFirst();
    std::vector<uint32_t> rank(size_t(m_maxRowid) + 1, UINT32_MAX);
    for (size_t i = 0; i < order.size(); ++i) {
        if (order[i] > m_maxRowid)
            throw ContentIndex::Unusable("search index: the stored order holds an unknown rowid");
        rank[order[i]] = uint32_t(i);
    }
    m_rank = std::move(rank);
    return &*m_rank;
}

void TitleStore::Titles::appendRow(ResultTable& table, uint32_t rowid) const
{
    size_t at = m_at[rowid];
    for (int c = 0; c < 2; ++c) {
        const uint32_t length = uint32_t(m_cells[at]) | (uint32_t(m_cells[at + 1]) << 16);
        at += 2;
        if (length == UINT32_MAX) {
            table.appendCell({}, true);
            continue;
        }
        table.appendCell(QStringView(m_cells.data() + at, qsizetype(length)));
        at += length;
    }
}

const TitleStore::Titles* TitleStore::titles()
{
    if (m_titles)
        return &*m_titles;
    if (!dense())
        return nullptr;
    Statement st = tryPrepare(m_db, "SELECT chunk, cells FROM main.orvanta_index_titles ORDER BY chunk");
    if (!st)
        throw ContentIndex::Unusable("search index: the titles cannot be read");
    Titles titles;
    titles.m_at.assign(size_t(m_maxRowid) + 1, UINT32_MAX);
    qint64 rows = 0;
    int rc;
    while ((rc = sqlite3_step(st.get())) == SQLITE_ROW) {
        const std::string_view payload =
            checkedPayload(sqlite3_column_blob(st.get(), 1), sqlite3_column_bytes(st.get(), 1));
        if (payload.size() % 2 != 0)
            throw ContentIndex::Unusable("search index: the titles are cut short");
        const size_t base = titles.m_cells.size();
        if (base + payload.size() / 2 >= UINT32_MAX)
            throw ContentIndex::Unusable("search index: the titles are too large to hold");
        titles.m_cells.resize(base + payload.size() / 2);
        const auto* p = reinterpret_cast<const unsigned char*>(payload.data());
        for (size_t i = 0; i < payload.size() / 2; ++i)
            titles.m_cells[base + i] = char16_t(p[2 * i] | (p[2 * i + 1] << 8));
        // Walk the rows of the part: rowid, then two cells.
        size_t at = base;
        const size_t end = titles.m_cells.size();
        auto length = [&](size_t i) { return uint32_t(titles.m_cells[i]) | (uint32_t(titles.m_cells[i + 1]) << 16); };
        while (at < end) {
            if (at + 2 > end)
                throw ContentIndex::Unusable("search index: the titles are cut short");
            const uint32_t rowid = length(at);
            at += 2;
            if (rowid > m_maxRowid || titles.m_at[rowid] != UINT32_MAX)
                throw ContentIndex::Unusable("search index: the titles name an unknown row");
            titles.m_at[rowid] = uint32_t(at);
            for (int c = 0; c < 2; ++c) {
                if (at + 2 > end)
                    throw ContentIndex::Unusable("search index: the titles are cut short");
                const uint32_t n = length(at);
                at += 2;
                if (n != UINT32_MAX) {
                    if (n > end - at)
                        throw ContentIndex::Unusable("search index: the titles are cut short");
                    at += n;
                }
            }
            ++rows;
        }
    }
    if (rc != SQLITE_DONE || rows != m_rows)
        throw ContentIndex::Unusable("search index: the titles do not cover the rows");
    m_titles = std::move(titles);
    return &*m_titles;
}

} // namespace Orvanta
