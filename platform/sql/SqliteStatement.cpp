#include "platform/sql/SqliteStatement.h"

#include "platform/Error.h"

#include <sqlite3.h>

namespace Orvanta::Sqlite {

void StatementDeleter::operator()(sqlite3_stmt* s) const
{
    sqlite3_finalize(s);
}

Statement tryPrepare(sqlite3* db, const char* sql)
{
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &raw, nullptr) != SQLITE_OK) {
        sqlite3_finalize(raw);
        return nullptr;
    }
    return Statement(raw);
}

int errorNumberFor(int resultCode)
{
    switch (resultCode & 0xFF) {
    case SQLITE_FULL:
        return ErrorCode::DiskFull;
    case SQLITE_NOMEM:
        return ErrorCode::OutOfMemory;
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_CANTOPEN:
    case SQLITE_IOERR:
        return ErrorCode::PathFileAccessError;
    default:
        return ErrorCode::EngineFailure;
    }
}

} // namespace Orvanta::Sqlite
