#include "platform/index/ContentIndex.h"

#include "platform/Error.h"
#include "platform/index/GramSetBuilder.h"
#include "platform/index/GramSetGathering.h"
#include "platform/index/IndexStorage.h"
#include "platform/index/TitleStore.h"
#include "platform/index/TripleSets.h"

#include <QThread>

#include <sqlite3.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <string_view>

namespace Orvanta {

using namespace IndexStorage;

namespace {

constexpr int ChunkBits = GramSetBuilder::RunBits; // rowids per stored set: 65,536, one CRoaring container

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
    TripleSets::drop(db);
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

// The facts that make the index current, and the triggers that undo them
// on any later change to the rows, by whatever program.
void writeFacts(sqlite3* db, qint64 rows, qint64 maxRowid)
{
    Statement info = prepare(db, "INSERT INTO main.orvanta_index_info(name, value) VALUES (?1, ?2)");
    const std::pair<const char*, qint64> facts[] = {
        {"format", ContentIndex::FormatVersion}, {"rows", rows}, {"max_rowid", maxRowid}};
    for (const auto& [name, value] : facts) {
        sqlite3_bind_text(info.get(), 1, name, -1, SQLITE_STATIC);
        sqlite3_bind_int64(info.get(), 2, value);
        const int rc = sqlite3_step(info.get());
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
}

void createTables(sqlite3* db)
{
    dropObjects(db);
    exec(db, "CREATE TABLE main.orvanta_index_info(name TEXT PRIMARY KEY, value)");
    exec(db, "CREATE TABLE main.orvanta_index_grams(key INTEGER PRIMARY KEY, sets BLOB NOT NULL)");
    TripleSets::createGatheredTable(db);
}

} // namespace

bool ContentIndex::build(sqlite3* db, const Progress& progress, size_t memoryBudget, int threads)
{
    if (!indexable(db))
        return false;
    Savepoint savepoint(db);
    createTables(db);

    const qint64 total = singleInteger(db, "SELECT count(*) FROM main.maindata").value_or(0);
    if (memoryBudget == 0) {
        // Half the database's bytes, which the content is most of: the
        // gathering then stays well within the content's size.
        const qint64 pages = singleInteger(db, "PRAGMA main.page_count").value_or(0);
        const qint64 pageSize = singleInteger(db, "PRAGMA main.page_size").value_or(4096);
        memoryBudget = size_t(std::clamp<qint64>(pages * pageSize / 2, qint64(DefaultMinimumBudget),
                                                 qint64(DefaultMaximumBudget)));
    }
    const GramSetGathering::Result gathered = GramSetGathering::writeAll(db, memoryBudget, threads, progress, total);
    if (!gathered.finished)
        return false;
    const qint64 done = gathered.rows;
    const qint64 maxRowid = gathered.maxRowid;
    TripleSets::encode(db);
    TitleStore::write(db);

    writeFacts(db, done, maxRowid);
    if (progress && !progress(done, total))
        return false;
    savepoint.release();
    return true;
}

// ---- Builder --------------------------------------------------------------

ContentIndex::Builder::Builder(sqlite3* db, int threads, int threadsAtTheEnd)
    : m_db(db), m_threadsAtTheEnd(threadsAtTheEnd)
{
    createTables(db);
    m_background = std::make_unique<GramSetGathering::Background>(db, DefaultMaximumBudget, threads);
}

ContentIndex::Builder::~Builder() = default;

std::mutex& ContentIndex::Builder::connection()
{
    return m_background->connection();
}

void ContentIndex::Builder::rowAdded(qint64 rowid)
{
    if (!m_inOrder)
        return;
    if (rowid < 0 || rowid > qint64(UINT32_MAX) || (m_haveRun && rowid <= qint64(m_runLast)) || m_gathered) {
        m_inOrder = false; // finish() builds the index as build() does
        return;
    }
    const auto id = uint32_t(rowid);
    if (m_haveRun && (id >> ChunkBits) != (m_runFirst >> ChunkBits)) {
        m_background->addRun(m_runFirst, m_runLast);
        m_haveRun = false;
    }
    if (!m_haveRun) {
        m_runFirst = id;
        m_haveRun = true;
    }
    m_runLast = id;
}

void ContentIndex::Builder::gatherRemaining()
{
    if (m_gathered)
        return;
    m_gathered = true;
    if (m_inOrder && m_haveRun)
        m_background->addRun(m_runFirst, m_runLast);
    const GramSetGathering::Result result = m_background->finish(m_threadsAtTheEnd);
    m_rows = result.rows;
    m_maxRowid = result.maxRowid;
}

void ContentIndex::Builder::finish()
{
    gatherRemaining();
    if (!m_inOrder) {
        build(m_db, {}, 0, m_threadsAtTheEnd);
        return;
    }
    TripleSets::encode(m_db);
    TitleStore::write(m_db);
    writeFacts(m_db, m_rows, m_maxRowid);
}

int ContentIndex::availableThreads()
{
    // Qt counts the processors this process may run on (taskset, cpusets),
    // not every processor of the machine.
    return std::clamp(QThread::idealThreadCount(), 1, 4);
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
        || !tryPrepare(db, "SELECT key, sets FROM main.orvanta_index_triples")
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
    if (isTrigram(gram))
        throw Unusable("search index: a triple read as a pair");
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

PostingSet ContentIndex::documentsWithTriple(uint64_t triple, const PostingSet& bothPairs)
{
    return TripleSets::read(m_db, triple, bothPairs);
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
