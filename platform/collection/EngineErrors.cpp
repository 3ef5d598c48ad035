#include "platform/collection/EngineErrors.h"

#include <sqlite3.h>

namespace Orvanta::EngineErrors {

namespace {

QString fromSqlite16(const void* text)
{
    return text ? QString::fromUtf16(static_cast<const char16_t*>(text)) : QString();
}

} // namespace

QString lastMessage(sqlite3* db)
{
    return fromSqlite16(sqlite3_errmsg16(db));
}

Error errorFor(int rc, const QString& message, const QString& displayPath)
{
    static const QLatin1String noTable("no such table: ");
    if (message.startsWith(noTable)) {
        const QString table = message.mid(noTable.size());
        return Error(ErrorCode::TableNotFound,
                     QStringLiteral("The database engine cannot find the input table or query '%1'. "
                                    "Make sure it exists and that its name is spelled correctly.")
                         .arg(table));
    }
    if (rc == SQLITE_IOERR_DATA) {
        return Error(ErrorCode::DatabaseDamaged,
                     QStringLiteral("Cannot read database '%1'. A part of the file has been damaged since it was "
                                    "written (it fails its checksum).")
                         .arg(displayPath));
    }
    switch (rc & 0xFF) {
    case SQLITE_NOMEM:
        return Error(ErrorCode::OutOfMemory, QStringLiteral("Out of memory"));
    case SQLITE_CANTOPEN:
    case SQLITE_IOERR:
    case SQLITE_PERM:
    case SQLITE_AUTH:
        return Error(ErrorCode::PathFileAccessError,
                     QStringLiteral("Cannot read the database '%1' (%2).").arg(displayPath, message));
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return Error(ErrorCode::EngineFailure,
                     QStringLiteral("The database '%1' is locked by another program (%2).").arg(displayPath, message));
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
        return Error(ErrorCode::DatabaseDamaged,
                     QStringLiteral("Cannot open database '%1'. It may not be a database that this program "
                                    "recognizes, or the file may be corrupt (%2).")
                         .arg(displayPath, message));
    default:
        return Error(ErrorCode::StatementRejected, message);
    }
}

} // namespace Orvanta::EngineErrors
