// The result lists the indexed search hands back, made from the content
// index's stored titles rather than from maindata: the rows at given
// positions of the newest-first order, or rows in rowid (storage) order,
// which the stored titles hold newest first and which are therefore read in
// rank order and put back in rowid order in one pass.
#pragma once

#include "platform/sql/ResultTable.h"
#include "platform/sql/SqliteStatement.h"

#include <cstdint>
#include <memory>
#include <vector>

struct sqlite3;

namespace Orvanta {

class ContentIndex;

namespace IndexedSearch {

// A read of maindata for an indexed answer; a statement that does not
// prepare makes the index unusable for this search (ContentIndex::Unusable),
// and the scan answers instead.
Sqlite::Statement prepareMaindataRead(sqlite3* db, const char* sql);

// The result list of the rows at these positions of the newest-first order.
std::shared_ptr<const ResultTable> tableByRank(ContentIndex& index, sqlite3* db, const std::vector<uint32_t>& ranks);

// The result list of the rows with these rowids (ascending), in that order.
std::shared_ptr<const ResultTable> tableInRowidOrder(ContentIndex& index, sqlite3* db,
                                                     const std::vector<uint32_t>& rowids);

} // namespace IndexedSearch
} // namespace Orvanta
