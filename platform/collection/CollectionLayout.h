// How a collection's SQLite file is laid out, whether orvanta-build wrote it or
// it is the converted copy of a Jet file: both are read by the same searches,
// so they get the same page size and the same newest-first index.
#pragma once

#include <cstdint>

struct sqlite3;

namespace Orvanta::CollectionLayout {

// In the file's header (PRAGMA application_id), so that neither kind is ever
// taken for the other, nor any other SQLite file for ours.
constexpr uint32_t BuiltApplicationId = 0x4F52564E;
constexpr uint32_t CopyApplicationId = 0x4F52434A;

// Searches scan every content value: with large pages nearly every document
// sits whole on one page instead of in a chain of overflow pages.
constexpr int PageSize = 65536;

// Sets the page size of a database that holds nothing yet.
bool setPageSize(sqlite3* db);

// The list of every document, newest first, is the first search of every
// program start: this index holds it in order (ties then in storage order
// through a small sort of each tie), so that search reads the index alone
// instead of sorting the whole table. Does nothing for a database without a
// maindata table of those columns. False only when writing failed.
bool addNewestFirstIndex(sqlite3* db);

} // namespace Orvanta::CollectionLayout
