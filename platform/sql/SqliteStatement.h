// What every reader and writer of SQLite here shares: statements that
// finalize themselves, and SQLite's result codes as the error numbers a user
// sees.
#pragma once

#include <memory>

struct sqlite3;
struct sqlite3_stmt;

namespace Orvanta::Sqlite {

struct StatementDeleter {
    void operator()(sqlite3_stmt* s) const;
};
using Statement = std::unique_ptr<sqlite3_stmt, StatementDeleter>;

// nullptr when the statement does not prepare (a table that is not there,
// say); the caller decides whether that is an error.
Statement tryPrepare(sqlite3* db, const char* sql);

// The error number for an SQLite result code (extended codes too) met while
// writing: a full disk, memory, access to the file, or else the engine.
int errorNumberFor(int resultCode);

} // namespace Orvanta::Sqlite
