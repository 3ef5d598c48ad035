// Gathers and stores the posting sets of every run of 65,536 rowids of
// maindata (see ContentIndex.h), on one thread or several.
//
// Runs are independent of each other: each thread takes the next run not yet
// taken and gathers it with a GramSetBuilder of its own, so two threads
// gather two runs at once. The connection is one (an index is often built
// inside the writer's own transaction, which no other connection can see)
// and SQLite's connections here are opened without their own mutex, so every
// call on it is made under one lock: a thread holds it while it copies the
// next few rows out of SQLite, or stores a batch of encoded sets, and gathers
// without it. The stored sets are the same whatever the number of threads;
// only the order in which they reach the b-tree differs.
//
// writeAll() gathers the runs of a finished maindata: the caller's thread is
// one of the gatherers and the only one that calls `progress`; when it has no
// run left it keeps calling it while it waits for the others. Background
// gathers runs handed over one by one while a writer still adds rows (its
// calls on the connection then take the same lock). Either way an exception
// on any thread stops them all and reaches the caller (the first one, when
// several fail).
#pragma once

#include <QtGlobal>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

struct sqlite3;

namespace Orvanta {

namespace GramSetGathering {

// Called now and then on the caller's thread; returning false stops.
using Progress = std::function<bool(qint64 rowsDone, qint64 rowsTotal)>;

struct Result {
    bool finished = false; // false: stopped by `progress`
    qint64 rows = 0;       // the rows gathered
    qint64 maxRowid = -1;  // the highest rowid, -1 when there are none
};

// Writes every run's sets into main.orvanta_index_grams of `db`, in
// `threads` threads (at least one), each gathering within `memoryBudget`
// bytes. (A budget shared between the threads would make each read its runs
// in more passes, which costs more than the second thread saves.)
// Throws Orvanta::Error when SQLite fails, std::bad_alloc when memory does.
Result writeAll(sqlite3* db, size_t memoryBudget, int threads, const Progress& progress, qint64 totalRows);

struct Shared;

// The same, for runs handed over one by one while the caller goes on adding
// rows to maindata (in ascending rowids, within its own transaction): the
// threads gather each run once it is complete. Every call the caller makes
// on `db` while this lives must hold connection(). Destroyed before
// finish(), it stops the threads and whatever they stored is the caller's
// to discard.
class Background {
public:
    Background(sqlite3* db, size_t memoryBudget, int threads);
    ~Background();
    Background(const Background&) = delete;
    Background& operator=(const Background&) = delete;

    std::mutex& connection();
    // The rows from `first` to `last`, all of one run, are in and will not
    // change. Throws the first failure of a thread, if there was one.
    void addRun(uint32_t first, uint32_t last);
    // Gathers what is left, on up to `threads` threads now that the caller
    // adds no more, and waits for it; throws the first failure.
    Result finish(int threads = 1);

private:
    void addThreads(int count);

    std::unique_ptr<Shared> m_shared;
    const size_t m_budget;
    std::vector<std::thread> m_threads;
};

} // namespace GramSetGathering

} // namespace Orvanta
