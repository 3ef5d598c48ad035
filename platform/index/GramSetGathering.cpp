// Longer than most files here (about 480 lines), on purpose: the shared state,
// the gatherer that copies rows and stores sets, and the two ways of handing
// out runs all follow one rule about the connection's lock (see the header),
// and each part's correctness depends on where the others take it. Kept in
// one file, that rule can be checked in one reading.
#include "platform/index/GramSetGathering.h"

#include "platform/index/GramSetBuilder.h"
#include "platform/index/IndexStorage.h"

#include <sqlite3.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace Orvanta::GramSetGathering {

using namespace IndexStorage;

namespace {

constexpr int RunBits = GramSetBuilder::RunBits;
constexpr qint64 ProgressRows = 8192; // rows between two calls of `progress`
constexpr size_t RowsPerCopy = 1024;  // rows copied out of SQLite under the lock at most
constexpr size_t SetBytesPerStore = size_t(256) << 10; // encoded sets stored under the lock at once

} // namespace

struct Run {
    uint32_t first;
    uint32_t last;
};

namespace {

// The runs holding rows, ascending: each from its lowest rowid to its highest.
std::vector<Run> findRuns(sqlite3* db)
{
    Statement next = prepare(db, "SELECT min(rowid) FROM main.maindata WHERE rowid >= ?1");
    Statement lastOfRun = prepare(db, "SELECT max(rowid) FROM main.maindata WHERE rowid <= ?1");
    std::vector<Run> runs;
    qint64 from = 0;
    while (from <= qint64(UINT32_MAX)) {
        sqlite3_bind_int64(next.get(), 1, from);
        const int rc = sqlite3_step(next.get());
        if (rc != SQLITE_ROW)
            throw sqliteError(db, rc, "reading the content");
        if (sqlite3_column_type(next.get(), 0) == SQLITE_NULL)
            break;
        const auto first = uint32_t(sqlite3_column_int64(next.get(), 0));
        sqlite3_reset(next.get());
        const qint64 endOfRun = (qint64(first >> RunBits) << RunBits) | ((1 << RunBits) - 1);
        sqlite3_bind_int64(lastOfRun.get(), 1, endOfRun);
        if (sqlite3_step(lastOfRun.get()) != SQLITE_ROW)
            throw sqliteError(db, sqlite3_errcode(db), "reading the content");
        runs.push_back(Run{first, uint32_t(sqlite3_column_int64(lastOfRun.get(), 0))});
        sqlite3_reset(lastOfRun.get());
        from = endOfRun + 1;
    }
    return runs;
}

} // namespace

// What the gathering threads share.
struct Shared {
    sqlite3* db;
    std::mutex connection; // held for every call on db
    std::atomic<qint64> rowsDone = 0;     // rows of the runs stored
    std::atomic<qint64> rowsInPasses = 0; // rows read by the passes under way
    std::atomic<qint64> rowsRead = 0;     // rows read by every pass, for the pace of `progress`
    std::atomic<bool> stop = false;

    std::mutex state;
    std::condition_variable changed;
    std::deque<Run> runs;  // not yet taken
    bool closed = false;   // no more runs will come
    qint64 maxRowid = -1;  // the last rowid of the highest run handed over
    int running = 0;
    std::exception_ptr failure;

    // The next run to gather; none once every run is taken and no more will
    // come, or the gathering stops.
    std::optional<Run> takeRun()
    {
        std::unique_lock lock(state);
        changed.wait(lock, [&] { return !runs.empty() || closed || stop; });
        if (stop || runs.empty())
            return std::nullopt;
        const Run run = runs.front();
        runs.pop_front();
        return run;
    }

    void requestStop()
    {
        {
            std::lock_guard lock(state);
            stop = true;
        }
        changed.notify_all();
    }

    // The first failure is the one reported: one thread's failing write can
    // abort the statements of the others, whose failures follow from it.
    // (Called with the connection's lock held where SQLite failed, so that
    // those come after it.)
    void fail(std::exception_ptr e)
    {
        {
            std::lock_guard lock(state);
            if (!failure)
                failure = std::move(e);
            stop = true;
        }
        changed.notify_all();
    }
};

namespace {

// One thread's share of the work: a builder, and its own statements.
class Gatherer {
public:
    // `check` (on the caller's thread only) is called between copies of rows
    // and returns false to stop.
    Gatherer(Shared& shared, size_t budget, std::function<bool()> check)
        : m_shared(shared), m_builder(budget),
          m_copyBytes(std::clamp<size_t>(budget / 64, size_t(64) << 10, size_t(1) << 20)), m_check(std::move(check))
    {
        std::lock_guard lock(m_shared.connection);
        m_rows = prepare(m_shared.db,
                         "SELECT rowid, content FROM main.maindata WHERE rowid BETWEEN ?1 AND ?2 ORDER BY rowid");
        m_insert = prepare(m_shared.db, "INSERT INTO main.orvanta_index_grams(key, sets) VALUES (?1, ?2)");
    }
    ~Gatherer()
    {
        std::lock_guard lock(m_shared.connection);
        m_rows.reset();
        m_insert.reset();
    }

    void gatherRuns()
    {
        while (const std::optional<Run> next = m_shared.takeRun()) {
            const Run run = *next;
            m_run = run.first >> RunBits;
            const bool built = m_builder.buildRun(
                run.first, run.last,
                [this](uint32_t first, uint32_t last, const GramSetBuilder::Take& take) {
                    return read(first, last, take);
                },
                [this](uint64_t gram, const PostingSet& set) { write(gram, set); });
            if (!built) {
                m_shared.requestStop();
                return;
            }
            storePending();
            m_shared.rowsInPasses -= m_rowsOfPass;
            m_shared.rowsDone += m_rowsOfPass;
            m_rowsOfPass = 0;
        }
    }

private:
    // Copies rows out of SQLite a few at a time, under the lock, and hands
    // them over without it.
    bool read(uint32_t first, uint32_t last, const GramSetBuilder::Take& take)
    {
        m_shared.rowsInPasses -= m_rowsOfPass;
        m_rowsOfPass = 0;
        sqlite3_stmt* rows = m_rows.get();
        {
            std::lock_guard lock(m_shared.connection);
            sqlite3_reset(rows);
            sqlite3_bind_int64(rows, 1, first);
            sqlite3_bind_int64(rows, 2, last);
        }
        bool more = true;
        while (more) {
            m_rowids.clear();
            m_ends.clear();
            m_text.clear();
            {
                std::lock_guard lock(m_shared.connection);
                while (m_rowids.size() < RowsPerCopy && m_text.size() < m_copyBytes) {
                    const int rc = sqlite3_step(rows);
                    if (rc != SQLITE_ROW) {
                        sqlite3_reset(rows);
                        if (rc != SQLITE_DONE)
                            failWith(sqliteError(m_shared.db, rc, "reading the content"));
                        more = false;
                        break;
                    }
                    m_rowids.push_back(uint32_t(sqlite3_column_int64(rows, 0)));
                    // The text exactly as our LIKE receives it (numbers and blobs
                    // as text); an empty blob has no pointer but is not NULL.
                    if (sqlite3_column_type(rows, 1) == SQLITE_NULL) {
                        m_ends.push_back(NullText);
                    } else {
                        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(rows, 1));
                        m_text.append(text ? text : "", size_t(sqlite3_column_bytes(rows, 1)));
                        m_ends.push_back(m_text.size());
                    }
                }
            }
            m_rowsOfPass += qint64(m_rowids.size());
            m_shared.rowsInPasses += qint64(m_rowids.size());
            m_shared.rowsRead += qint64(m_rowids.size());
            if (m_shared.stop || (m_check && !m_check())) {
                m_shared.requestStop();
                if (more) {
                    std::lock_guard lock(m_shared.connection);
                    sqlite3_reset(rows);
                }
                return false;
            }
            size_t begin = 0;
            for (size_t i = 0; i < m_rowids.size(); ++i) {
                const bool isNull = m_ends[i] == NullText;
                const size_t end = isNull ? begin : m_ends[i];
                const auto* text = reinterpret_cast<const unsigned char*>(m_text.data()) + begin;
                if (!take(m_rowids[i], isNull ? nullptr : text, end - begin)) {
                    if (more) {
                        std::lock_guard lock(m_shared.connection);
                        sqlite3_reset(rows);
                    }
                    return true;
                }
                begin = end;
            }
        }
        return true;
    }

    // Encodes a set here and stores it with others under the lock.
    void write(uint64_t gram, const PostingSet& set)
    {
        if (m_shared.stop)
            return; // nothing of this build is kept
        std::string blob = withChecksum(set.serialize());
        m_pendingBytes += blob.size();
        m_pending.emplace_back((gram << RunBits) | m_run, std::move(blob));
        if (m_pendingBytes >= SetBytesPerStore)
            storePending();
    }

    void storePending()
    {
        if (!m_shared.stop && !m_pending.empty()) {
            std::lock_guard lock(m_shared.connection);
            sqlite3_stmt* insert = m_insert.get();
            for (const auto& [key, blob] : m_pending) {
                sqlite3_bind_int64(insert, 1, sqlite3_int64(key));
                sqlite3_bind_blob(insert, 2, blob.data(), int(blob.size()), SQLITE_STATIC);
                const int rc = sqlite3_step(insert);
                sqlite3_reset(insert);
                if (rc != SQLITE_DONE)
                    failWith(sqliteError(m_shared.db, rc, "posting sets"));
            }
        }
        m_pending.clear();
        m_pendingBytes = 0;
    }

    [[noreturn]] void failWith(const Error& error)
    {
        m_shared.fail(std::make_exception_ptr(error));
        throw error;
    }

    static constexpr size_t NullText = SIZE_MAX;

    Shared& m_shared;
    GramSetBuilder m_builder;
    const size_t m_copyBytes;
    const std::function<bool()> m_check;
    Statement m_rows;
    Statement m_insert;
    uint32_t m_run = 0;
    qint64 m_rowsOfPass = 0;
    // The rows copied out: rowids, where each text ends (NullText: NULL), texts.
    std::vector<uint32_t> m_rowids;
    std::vector<size_t> m_ends;
    std::string m_text;
    // Encoded sets not yet stored: key and bytes.
    std::vector<std::pair<uint64_t, std::string>> m_pending;
    size_t m_pendingBytes = 0;
};

// One thread's whole work: runs until none is left; a failure stops the
// others.
void gatherOnThisThread(Shared& shared, size_t budget, std::function<bool()> check)
{
    try {
        Gatherer gatherer(shared, budget, std::move(check));
        gatherer.gatherRuns();
    } catch (...) {
        shared.fail(std::current_exception());
    }
}

} // namespace

Result writeAll(sqlite3* db, size_t memoryBudget, int threads, const Progress& progress, qint64 totalRows)
{
    Shared shared;
    shared.db = db;
    for (const Run& run : findRuns(db)) {
        shared.runs.push_back(run);
        shared.maxRowid = run.last;
    }
    shared.closed = true;
    threads = std::clamp(threads, 1, std::max(int(shared.runs.size()), 1));

    // Progress, on the caller's thread: every ProgressRows rows, and while
    // it waits for the others.
    bool stopped = false;
    qint64 readAtLastCall = 0;
    // Passes read some rows again, and the threads' counts come in at their
    // own pace: an estimate, which never claims every row before the end.
    const auto rowsSoFar = [&] {
        return std::min(std::max<qint64>(totalRows - 1, 0), qint64(shared.rowsDone) + qint64(shared.rowsInPasses));
    };
    const auto report = [&]() -> bool {
        if (!progress(rowsSoFar(), totalRows)) {
            stopped = true;
            return false;
        }
        return true;
    };
    std::function<bool()> check;
    if (progress) {
        check = [&] {
            const qint64 read = shared.rowsRead;
            if (read - readAtLastCall < ProgressRows)
                return true;
            readAtLastCall = read;
            return report();
        };
    }

    std::vector<std::thread> others;
    for (int i = 1; i < threads; ++i) {
        try {
            {
                std::lock_guard lock(shared.state);
                ++shared.running;
            }
            others.emplace_back([&] {
                gatherOnThisThread(shared, memoryBudget, {});
                {
                    std::lock_guard lock(shared.state);
                    --shared.running;
                }
                shared.changed.notify_all();
            });
        } catch (const std::system_error&) {
            std::lock_guard lock(shared.state);
            --shared.running;
            break; // no thread to be had: fewer gather
        }
    }
    gatherOnThisThread(shared, memoryBudget, check);
    // The others' last runs: keep reporting, and stop them when told to.
    for (;;) {
        {
            std::unique_lock lock(shared.state);
            if (shared.changed.wait_for(lock, std::chrono::milliseconds(50), [&] { return shared.running == 0; }))
                break;
        }
        if (progress && !shared.stop) {
            try {
                if (!report())
                    shared.requestStop();
            } catch (...) {
                shared.fail(std::current_exception());
            }
        }
    }
    for (std::thread& thread : others)
        thread.join();
    if (shared.failure)
        std::rethrow_exception(shared.failure);

    Result result;
    result.finished = !stopped && !shared.stop;
    result.rows = shared.rowsDone;
    result.maxRowid = shared.maxRowid;
    return result;
}

// ---- Background -----------------------------------------------------------

Background::Background(sqlite3* db, size_t memoryBudget, int threads)
    : m_shared(std::make_unique<Shared>()), m_budget(memoryBudget)
{
    m_shared->db = db;
    addThreads(std::max(threads, 1));
    if (m_threads.empty())
        throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
}

void Background::addThreads(int count)
{
    Shared& shared = *m_shared;
    const size_t budget = m_budget;
    for (int i = 0; i < count; ++i) {
        try {
            m_threads.emplace_back([&shared, budget] { gatherOnThisThread(shared, budget, {}); });
        } catch (const std::system_error&) {
            return; // fewer gather
        }
    }
}

Background::~Background()
{
    if (!m_threads.empty()) {
        m_shared->requestStop();
        for (std::thread& thread : m_threads)
            thread.join();
    }
}

std::mutex& Background::connection()
{
    return m_shared->connection;
}

void Background::addRun(uint32_t first, uint32_t last)
{
    {
        std::lock_guard lock(m_shared->state);
        if (m_shared->failure)
            std::rethrow_exception(m_shared->failure);
        m_shared->runs.push_back(Run{first, last});
        m_shared->maxRowid = last;
    }
    m_shared->changed.notify_all();
}

Result Background::finish(int threads)
{
    size_t waiting;
    {
        std::lock_guard lock(m_shared->state);
        m_shared->closed = true;
        waiting = m_shared->runs.size();
    }
    m_shared->changed.notify_all();
    // The writer is done: the runs still waiting may take more threads.
    const int more = int(std::min<size_t>(waiting, size_t(std::max(threads - int(m_threads.size()), 0))));
    if (more > 0)
        addThreads(more);
    for (std::thread& thread : m_threads)
        thread.join();
    m_threads.clear();
    if (m_shared->failure)
        std::rethrow_exception(m_shared->failure);
    Result result;
    result.finished = !m_shared->stop;
    result.rows = m_shared->rowsDone;
    result.maxRowid = m_shared->maxRowid;
    return result;
}

} // namespace Orvanta::GramSetGathering
