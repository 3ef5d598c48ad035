#include "platform/db/ContentIndex.h"

#include "platform/Error.h"
#include "platform/db/LikeMatcher.h"
#include "platform/db/Utf8Reading.h"

#include <sqlite3.h>
#include <zlib.h>

#include <bit>
#include <cstring>
#include <string_view>

namespace Orvanta {

namespace {

constexpr int ChunkBits = 16; // rowids per stored set: 65,536, one CRoaring container
constexpr uint32_t OrderChunk = 65536; // rowids per row of orvanta_index_order
constexpr qint64 FlushRows = 8192;     // rows gathered in plain lists before they join the sets

const char* const kTriggers[] = {"orvanta_index_stale_insert", "orvanta_index_stale_update",
                                 "orvanta_index_stale_delete"};

struct StatementDeleter {
    void operator()(sqlite3_stmt* s) const { sqlite3_finalize(s); }
};
using Statement = std::unique_ptr<sqlite3_stmt, StatementDeleter>;

Error sqliteError(sqlite3* db, int rc, const char* what)
{
    const QString text = QStringLiteral("Cannot write the search index (%1): %2")
                             .arg(QLatin1String(what), QString::fromUtf8(sqlite3_errmsg(db)));
    switch (rc & 0xFF) {
    case SQLITE_FULL:
        return Error(ErrorCode::DiskFull, text);
    case SQLITE_NOMEM:
        return Error(ErrorCode::OutOfMemory, text);
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_CANTOPEN:
    case SQLITE_IOERR:
        return Error(ErrorCode::PathFileAccessError, text);
    default:
        return Error(ErrorCode::EngineFailure, text);
    }
}

void exec(sqlite3* db, const char* sql)
{
    const int rc = sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        throw sqliteError(db, rc, sql);
}

Statement prepare(sqlite3* db, const char* sql)
{
    sqlite3_stmt* raw = nullptr;
    const int rc = sqlite3_prepare_v2(db, sql, -1, &raw, nullptr);
    Statement statement(raw);
    if (rc != SQLITE_OK)
        throw sqliteError(db, rc, sql);
    return statement;
}

// For reading: a statement that fails to prepare means the index is absent or
// not ours, not an error.
Statement tryPrepare(sqlite3* db, const char* sql)
{
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &raw, nullptr) != SQLITE_OK) {
        sqlite3_finalize(raw);
        return nullptr;
    }
    return Statement(raw);
}

std::optional<qint64> singleInteger(sqlite3* db, const char* sql)
{
    Statement st = tryPrepare(db, sql);
    if (!st || sqlite3_step(st.get()) != SQLITE_ROW || sqlite3_column_type(st.get(), 0) != SQLITE_INTEGER)
        return std::nullopt;
    return sqlite3_column_int64(st.get(), 0);
}

// Stored blobs: a CRC-32 of the payload, little-endian, then the payload.
std::string withChecksum(std::string_view payload)
{
    const uint32_t crc = uint32_t(crc32(0, reinterpret_cast<const Bytef*>(payload.data()), uInt(payload.size())));
    std::string out(4, '\0');
    for (int i = 0; i < 4; ++i)
        out[size_t(i)] = char((crc >> (8 * i)) & 0xFF);
    out.append(payload);
    return out;
}

std::string_view checkedPayload(const void* blob, int bytes)
{
    if (!blob || bytes < 4)
        throw ContentIndex::Unusable("search index: a stored set is cut short");
    const auto* p = static_cast<const unsigned char*>(blob);
    const uint32_t stored = uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
    const uint32_t crc = uint32_t(crc32(0, p + 4, uInt(bytes - 4)));
    if (crc != stored)
        throw ContentIndex::Unusable("search index: a stored set fails its checksum");
    return {reinterpret_cast<const char*>(p + 4), size_t(bytes - 4)};
}

// Undoes everything since it was made unless released.
class Savepoint {
public:
    explicit Savepoint(sqlite3* db) : m_db(db) { exec(db, "SAVEPOINT orvanta_index"); }
    ~Savepoint()
    {
        if (m_db) {
            sqlite3_exec(m_db, "ROLLBACK TO orvanta_index", nullptr, nullptr, nullptr);
            sqlite3_exec(m_db, "RELEASE orvanta_index", nullptr, nullptr, nullptr);
        }
    }
    void release()
    {
        exec(m_db, "RELEASE orvanta_index");
        m_db = nullptr;
    }

private:
    sqlite3* m_db;
};

void dropObjects(sqlite3* db)
{
    for (const char* trigger : kTriggers)
        exec(db, (std::string("DROP TRIGGER IF EXISTS main.") + trigger).c_str());
    exec(db, "DROP TABLE IF EXISTS main.orvanta_index_info");
    exec(db, "DROP TABLE IF EXISTS main.orvanta_index_grams");
    exec(db, "DROP TABLE IF EXISTS main.orvanta_index_order");
    exec(db, "DROP TABLE IF EXISTS main.orvanta_index_titles");
}

// maindata as the searches read it: a real table with rowids that no column
// hides, and the columns every composed statement names.
bool indexable(sqlite3* db)
{
    Statement type = tryPrepare(db, "SELECT type FROM main.sqlite_schema WHERE name = 'maindata' COLLATE NOCASE");
    if (!type || sqlite3_step(type.get()) != SQLITE_ROW
        || std::string_view(reinterpret_cast<const char*>(sqlite3_column_text(type.get(), 0))) != "table")
        return false;
    if (!tryPrepare(db, "SELECT subject, htm, content, date, rowid FROM main.maindata"))
        return false; // a column missing, or a table without rowid
    Statement columns = tryPrepare(db, "SELECT lower(name) FROM pragma_table_info('maindata')");
    if (!columns)
        return false;
    while (sqlite3_step(columns.get()) == SQLITE_ROW) {
        const std::string_view name(reinterpret_cast<const char*>(sqlite3_column_text(columns.get(), 0)));
        if (name == "rowid" || name == "oid" || name == "_rowid_")
            return false;
    }
    const std::optional<qint64> lowest = singleInteger(db, "SELECT min(rowid) FROM main.maindata");
    const std::optional<qint64> highest = singleInteger(db, "SELECT max(rowid) FROM main.maindata");
    if (lowest && (*lowest < 0 || *highest > qint64(UINT32_MAX)))
        return false;
    return true;
}

// Folding as LikeMatcher does it, with the Basic Multilingual Plane in a table.
class Folder {
public:
    Folder() : m_bmp(0x10000)
    {
        for (char32_t c = 0; c < 0x10000; ++c)
            m_bmp[c] = foldCase(c);
    }
    char32_t operator()(char32_t c) const { return c < 0x10000 ? m_bmp[c] : foldCase(c); }

private:
    std::vector<char32_t> m_bmp;
};

// The posting lists of one run of 65,536 rowids while they are gathered: an
// open-addressing table small enough to stay in the processor's cache, whose
// slots remember the last document so that a character repeated within a
// document costs one probe.
class GramTable {
public:
    void add(uint64_t gram, uint32_t rowid)
    {
        if ((m_used + 1) * 4 > m_slots.size() * 3)
            grow();
        for (size_t i = hash(gram);; i = (i + 1) & m_mask) {
            Slot& s = m_slots[i];
            if (s.gram == gram && s.list != Empty) {
                if (s.last != rowid) {
                    s.last = rowid;
                    m_pending[s.list].push_back(rowid);
                }
                return;
            }
            if (s.list == Empty) {
                s = Slot{gram, uint32_t(m_grams.size()), rowid};
                m_grams.push_back(gram);
                m_pending.push_back({rowid});
                m_sets.emplace_back();
                ++m_used;
                return;
            }
        }
    }

    // Moves the plain lists into the compressed sets.
    void settle()
    {
        for (size_t i = 0; i < m_pending.size(); ++i) {
            if (!m_pending[i].empty()) {
                m_sets[i].addMany(m_pending[i].data(), m_pending[i].size());
                m_pending[i].clear();
            }
        }
    }

    template <typename F>
    void drain(F&& write)
    {
        settle();
        for (size_t i = 0; i < m_grams.size(); ++i)
            write(m_grams[i], m_sets[i]);
        m_grams.clear();
        m_pending.clear();
        m_sets.clear();
        m_slots.assign(m_slots.size(), Slot{});
        m_used = 0;
    }

private:
    static constexpr uint32_t Empty = UINT32_MAX;
    struct Slot {
        uint64_t gram = 0;
        uint32_t list = Empty;
        uint32_t last = 0;
    };
    size_t hash(uint64_t g) const { return size_t((g * 0x9E3779B97F4A7C15ull) >> m_shift); }
    void grow()
    {
        const size_t size = m_slots.empty() ? 4096 : m_slots.size() * 2;
        std::vector<Slot> old(size);
        old.swap(m_slots);
        m_mask = size - 1;
        m_shift = 64 - std::countr_zero(size);
        for (const Slot& s : old) {
            if (s.list == Empty)
                continue;
            size_t i = hash(s.gram);
            while (m_slots[i].list != Empty)
                i = (i + 1) & m_mask;
            m_slots[i] = s;
        }
    }

    std::vector<Slot> m_slots;
    size_t m_mask = 0;
    int m_shift = 64;
    size_t m_used = 0;
    std::vector<uint64_t> m_grams;
    std::vector<std::vector<uint32_t>> m_pending;
    std::vector<PostingSet> m_sets;
};

void writeGramSets(sqlite3* db, sqlite3_stmt* insert, GramTable& table, uint64_t chunk)
{
    table.drain([&](uint64_t gram, PostingSet& set) {
        set.optimize();
        const std::string blob = withChecksum(set.serialize());
        sqlite3_bind_int64(insert, 1, sqlite3_int64((gram << ChunkBits) | chunk));
        sqlite3_bind_blob(insert, 2, blob.data(), int(blob.size()), SQLITE_STATIC);
        const int rc = sqlite3_step(insert);
        sqlite3_reset(insert);
        if (rc != SQLITE_DONE)
            throw sqliteError(db, rc, "posting sets");
    });
}

void writeOrder(sqlite3* db)
{
    Statement rows = prepare(db, "SELECT rowid FROM main.maindata ORDER BY date DESC, rowid");
    Statement insert = prepare(db, "INSERT INTO main.orvanta_index_order(chunk, rowids) VALUES (?1, ?2)");
    std::vector<uint32_t> part;
    qint64 chunk = 0;
    auto flush = [&] {
        std::string bytes(part.size() * 4, '\0');
        for (size_t i = 0; i < part.size(); ++i) {
            for (int k = 0; k < 4; ++k)
                bytes[i * 4 + size_t(k)] = char((part[i] >> (8 * k)) & 0xFF);
        }
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

bool ContentIndex::build(sqlite3* db, const Progress& progress)
{
    if (!indexable(db))
        return false;
    Savepoint savepoint(db);
    dropObjects(db);
    exec(db, "CREATE TABLE main.orvanta_index_info(name TEXT PRIMARY KEY, value)");
    exec(db, "CREATE TABLE main.orvanta_index_grams(key INTEGER PRIMARY KEY, sets BLOB NOT NULL)");
    exec(db, "CREATE TABLE main.orvanta_index_order(chunk INTEGER PRIMARY KEY, rowids BLOB NOT NULL)");
    exec(db, "CREATE TABLE main.orvanta_index_titles(chunk INTEGER PRIMARY KEY, cells BLOB NOT NULL)");

    const qint64 total = singleInteger(db, "SELECT count(*) FROM main.maindata").value_or(0);
    Statement rows = prepare(db, "SELECT rowid, content FROM main.maindata NOT INDEXED ORDER BY rowid");
    Statement insert = prepare(db, "INSERT INTO main.orvanta_index_grams(key, sets) VALUES (?1, ?2)");
    static const Folder fold;
    GramTable grams;
    PostingSet texts;
    std::vector<uint32_t> textRows;
    uint64_t chunk = 0;
    qint64 done = 0;
    qint64 maxRowid = -1;
    int rc;
    while ((rc = sqlite3_step(rows.get())) == SQLITE_ROW) {
        const auto rowid = uint32_t(sqlite3_column_int64(rows.get(), 0));
        maxRowid = rowid;
        if ((rowid >> ChunkBits) != chunk) {
            writeGramSets(db, insert.get(), grams, chunk);
            chunk = rowid >> ChunkBits;
        }
        if (++done % FlushRows == 0) {
            grams.settle();
            if (progress && !progress(done, total))
                return false;
        }
        if (sqlite3_column_type(rows.get(), 1) == SQLITE_NULL)
            continue;
        textRows.push_back(rowid);
        // The text exactly as our LIKE receives it (numbers and blobs as text).
        const auto* p = sqlite3_column_text(rows.get(), 1);
        const auto* end = p + sqlite3_column_bytes(rows.get(), 1);
        bool first = true;
        char32_t previous = 0;
        while (p < end) {
            const Utf8Reading::Decoded d = Utf8Reading::decode(p, end);
            p += d.len;
            const char32_t c = fold(d.cp);
            grams.add(unigram(c), rowid);
            if (!first)
                grams.add(bigram(previous, c), rowid);
            previous = c;
            first = false;
        }
    }
    if (rc != SQLITE_DONE)
        throw sqliteError(db, rc, "reading the content");
    writeGramSets(db, insert.get(), grams, chunk);

    // The documents with text, as one more gram, in sets per run of rowids.
    for (size_t i = 0; i < textRows.size();) {
        const uint64_t run = textRows[i] >> ChunkBits;
        GramTable one;
        for (; i < textRows.size() && (textRows[i] >> ChunkBits) == run; ++i)
            one.add(TextGram, textRows[i]);
        writeGramSets(db, insert.get(), one, run);
    }
    writeOrder(db);
    writeTitles(db);

    Statement info = prepare(db, "INSERT INTO main.orvanta_index_info(name, value) VALUES (?1, ?2)");
    const std::pair<const char*, qint64> facts[] = {
        {"format", FormatVersion}, {"rows", done}, {"max_rowid", maxRowid}};
    for (const auto& [name, value] : facts) {
        sqlite3_bind_text(info.get(), 1, name, -1, SQLITE_STATIC);
        sqlite3_bind_int64(info.get(), 2, value);
        rc = sqlite3_step(info.get());
        sqlite3_reset(info.get());
        if (rc != SQLITE_DONE)
            throw sqliteError(db, rc, "index facts");
    }
    // Any later change to the rows, by whatever program, removes the facts.
    for (const char* event : {"INSERT", "UPDATE", "DELETE"}) {
        const std::string name = std::string("orvanta_index_stale_") + (event[0] == 'I' ? "insert" : event[0] == 'U' ? "update" : "delete");
        exec(db, ("CREATE TRIGGER main." + name + " AFTER " + event
                  + " ON maindata BEGIN DELETE FROM orvanta_index_info; END")
                     .c_str());
    }
    if (progress && !progress(done, total))
        return false;
    savepoint.release();
    return true;
}

void ContentIndex::drop(sqlite3* db)
{
    Savepoint savepoint(db);
    dropObjects(db);
    savepoint.release();
}

ContentIndex::State ContentIndex::state(sqlite3* db)
{
    if (!tryPrepare(db, "SELECT 1 FROM main.orvanta_index_info"))
        return State::Missing;
    const std::optional<qint64> format =
        singleInteger(db, "SELECT value FROM main.orvanta_index_info WHERE name = 'format'");
    const std::optional<qint64> rows = singleInteger(db, "SELECT value FROM main.orvanta_index_info WHERE name = 'rows'");
    const std::optional<qint64> maxRowid =
        singleInteger(db, "SELECT value FROM main.orvanta_index_info WHERE name = 'max_rowid'");
    if (!format && !rows)
        return State::Stale; // the triggers emptied it, or a build never finished
    if (format != FormatVersion)
        return State::Foreign;
    if (!rows || !maxRowid || !tryPrepare(db, "SELECT key, sets FROM main.orvanta_index_grams")
        || !tryPrepare(db, "SELECT chunk, rowids FROM main.orvanta_index_order")
        || !tryPrepare(db, "SELECT chunk, cells FROM main.orvanta_index_titles"))
        return State::Foreign;
    Statement triggers = tryPrepare(
        db, "SELECT count(*) FROM main.sqlite_schema WHERE type = 'trigger' AND tbl_name = 'maindata' COLLATE NOCASE "
            "AND name IN ('orvanta_index_stale_insert', 'orvanta_index_stale_update', 'orvanta_index_stale_delete')");
    if (!triggers || sqlite3_step(triggers.get()) != SQLITE_ROW || sqlite3_column_int(triggers.get(), 0) != 3)
        return State::Stale;
    // The triggers catch every change made through SQLite; a cheap look at
    // the highest rowid catches a file put together some other way. (Counting
    // the rows would read the whole table at every open.)
    if (singleInteger(db, "SELECT coalesce(max(rowid), -1) FROM main.maindata") != maxRowid)
        return State::Stale;
    return State::Current;
}

std::unique_ptr<ContentIndex> ContentIndex::open(sqlite3* db)
{
    if (state(db) != State::Current)
        return nullptr;
    const qint64 rows = singleInteger(db, "SELECT value FROM main.orvanta_index_info WHERE name = 'rows'").value_or(0);
    const qint64 maxRowid =
        singleInteger(db, "SELECT value FROM main.orvanta_index_info WHERE name = 'max_rowid'").value_or(-1);
    return std::unique_ptr<ContentIndex>(new ContentIndex(db, rows, maxRowid));
}

ContentIndex::ContentIndex(sqlite3* db, qint64 rows, qint64 maxRowid) : m_db(db), m_rows(rows), m_maxRowid(maxRowid) {}

PostingSet ContentIndex::documentsWith(uint64_t gram)
{
    Statement st = tryPrepare(m_db, "SELECT sets FROM main.orvanta_index_grams WHERE key BETWEEN ?1 AND ?2");
    if (!st)
        throw Unusable("search index: the posting sets cannot be read");
    sqlite3_bind_int64(st.get(), 1, sqlite3_int64(gram << ChunkBits));
    sqlite3_bind_int64(st.get(), 2, sqlite3_int64((gram << ChunkBits) | ((1u << ChunkBits) - 1)));
    PostingSet out;
    int rc;
    while ((rc = sqlite3_step(st.get())) == SQLITE_ROW) {
        const std::string_view payload =
            checkedPayload(sqlite3_column_blob(st.get(), 0), sqlite3_column_bytes(st.get(), 0));
        std::optional<PostingSet> part = PostingSet::deserialize(payload);
        if (!part)
            throw Unusable("search index: a stored set is not well-formed");
        if (out.isEmpty())
            out = std::move(*part);
        else
            out.unite(*part);
    }
    if (rc != SQLITE_DONE)
        throw Unusable("search index: reading the posting sets failed");
    return out;
}

const std::vector<uint32_t>& ContentIndex::newestFirst()
{
    if (m_order)
        return *m_order;
    Statement st = tryPrepare(m_db, "SELECT chunk, rowids FROM main.orvanta_index_order ORDER BY chunk");
    if (!st)
        throw Unusable("search index: the stored order cannot be read");
    std::vector<uint32_t> order;
    order.reserve(size_t(m_rows));
    int rc;
    qint64 expected = 0;
    while ((rc = sqlite3_step(st.get())) == SQLITE_ROW) {
        if (sqlite3_column_int64(st.get(), 0) != expected++)
            throw Unusable("search index: a part of the stored order is missing");
        const std::string_view payload =
            checkedPayload(sqlite3_column_blob(st.get(), 1), sqlite3_column_bytes(st.get(), 1));
        if (payload.size() % 4 != 0)
            throw Unusable("search index: the stored order is cut short");
        const auto* p = reinterpret_cast<const unsigned char*>(payload.data());
        for (size_t i = 0; i < payload.size(); i += 4)
            order.push_back(uint32_t(p[i]) | (uint32_t(p[i + 1]) << 8) | (uint32_t(p[i + 2]) << 16)
                            | (uint32_t(p[i + 3]) << 24));
    }
    if (rc != SQLITE_DONE || qint64(order.size()) != m_rows)
        throw Unusable("search index: the stored order does not cover the rows");
    m_order = std::move(order);
    return *m_order;
}

const std::vector<uint32_t>* ContentIndex::rankOfRowid()
{
    if (m_rank)
        return &*m_rank;
    // A table of every rowid up to the highest, unless most of it would be holes.
    if (m_maxRowid < 0 || m_maxRowid > 4 * m_rows + 65536)
        return nullptr;
    const std::vector<uint32_t>& order = newestFirst();
    std::vector<uint32_t> rank(size_t(m_maxRowid) + 1, UINT32_MAX);
    for (size_t i = 0; i < order.size(); ++i) {
        if (order[i] > m_maxRowid)
            throw Unusable("search index: the stored order holds an unknown rowid");
        rank[order[i]] = uint32_t(i);
    }
    m_rank = std::move(rank);
    return &*m_rank;
}

} // namespace Orvanta

namespace Orvanta {

void ContentIndex::Titles::appendRow(ResultTable& table, uint32_t rowid) const
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

const ContentIndex::Titles* ContentIndex::titles()
{
    if (m_titles)
        return &*m_titles;
    if (m_maxRowid < 0 || m_maxRowid > 4 * m_rows + 65536)
        return nullptr;
    Statement st = tryPrepare(m_db, "SELECT chunk, cells FROM main.orvanta_index_titles ORDER BY chunk");
    if (!st)
        throw Unusable("search index: the titles cannot be read");
    Titles titles;
    titles.m_at.assign(size_t(m_maxRowid) + 1, UINT32_MAX);
    qint64 rows = 0;
    int rc;
    while ((rc = sqlite3_step(st.get())) == SQLITE_ROW) {
        const std::string_view payload =
            checkedPayload(sqlite3_column_blob(st.get(), 1), sqlite3_column_bytes(st.get(), 1));
        if (payload.size() % 2 != 0)
            throw Unusable("search index: the titles are cut short");
        const size_t base = titles.m_cells.size();
        if (base + payload.size() / 2 >= UINT32_MAX)
            throw Unusable("search index: the titles are too large to hold");
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
                throw Unusable("search index: the titles are cut short");
            const uint32_t rowid = length(at);
            at += 2;
            if (rowid > m_maxRowid || titles.m_at[rowid] != UINT32_MAX)
                throw Unusable("search index: the titles name an unknown row");
            titles.m_at[rowid] = uint32_t(at);
            for (int c = 0; c < 2; ++c) {
                if (at + 2 > end)
                    throw Unusable("search index: the titles are cut short");
                const uint32_t n = length(at);
                at += 2;
                if (n != UINT32_MAX) {
                    if (n > end - at)
                        throw Unusable("search index: the titles are cut short");
                    at += n;
                }
            }
            ++rows;
        }
    }
    if (rc != SQLITE_DONE || rows != m_rows)
        throw Unusable("search index: the titles do not cover the rows");
    m_titles = std::move(titles);
    return &*m_titles;
}

} // namespace Orvanta
