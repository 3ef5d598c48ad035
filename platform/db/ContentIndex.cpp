#include "platform/db/ContentIndex.h"

#include "platform/Error.h"
#include "platform/db/IndexStorage.h"
#include "platform/db/LikeMatcher.h"
#include "platform/db/TitleStore.h"
#include "platform/db/Utf8Reading.h"

#include <sqlite3.h>

#include <bit>
#include <cstring>
#include <string_view>

namespace Orvanta {

using namespace IndexStorage;

namespace {

constexpr int ChunkBits = 16; // rowids per stored set: 65,536, one CRoaring container
constexpr qint64 FlushRows = 8192;     // rows gathered in plain lists before they join the sets

const char* const kTriggers[] = {"orvanta_index_stale_insert", "orvanta_index_stale_update",
                                 "orvanta_index_stale_delete"};

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
    TitleStore::drop(db);
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

} // namespace

bool ContentIndex::build(sqlite3* db, const Progress& progress)
{
    if (!indexable(db))
        return false;
    Savepoint savepoint(db);
    dropObjects(db);
    exec(db, "CREATE TABLE main.orvanta_index_info(name TEXT PRIMARY KEY, value)");
    exec(db, "CREATE TABLE main.orvanta_index_grams(key INTEGER PRIMARY KEY, sets BLOB NOT NULL)");

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
    TitleStore::write(db);

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
        || !TitleStore::readable(db))
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

ContentIndex::ContentIndex(sqlite3* db, qint64 rows, qint64 maxRowid)
    : m_db(db), m_rows(rows), m_store(db, rows, maxRowid)
{
}

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
    return m_store.newestFirst();
}

const std::vector<uint32_t>* ContentIndex::rankOfRowid()
{
    return m_store.rankOfRowid();
}

} // namespace Orvanta
