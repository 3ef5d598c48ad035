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
// The caller's thread is one of the gatherers and the only one that calls
// `progress`; when it has no run left it keeps calling it while it waits for
// the others. An exception on any thread stops them all and reaches the
// caller (the first one, when several fail).
#pragma once

#include <QtGlobal>

#include <cstddef>
#include <cstdint>
#include <functional>

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

} // namespace GramSetGathering

} // namespace Orvanta
