// Rows of an SQLite statement into a ResultTable, values as SQLite gives them
// as text (NULL kept apart from ''): shared by the scan and the index so that
// both hand back the same cells.
#pragma once

#include "platform/sql/ResultTable.h"

struct sqlite3_stmt;

namespace Orvanta {

QStringList columnNamesOf(sqlite3_stmt* statement);

// Appends the row `statement` stands on.
void appendCurrentRow(ResultTable& table, sqlite3_stmt* statement, int columns);

} // namespace Orvanta
