#include "platform/index/IndexStorage.h"

#include "platform/index/ContentIndex.h"

#include <sqlite3.h>
#include <zlib.h>

namespace Orvanta::IndexStorage {

Error sqliteError(sqlite3* db, int rc, const char* what)
{
    const QString text = QStringLiteral("Cannot write the search index (%1): %2")
                             .arg(QLatin1String(what), QString::fromUtf8(sqlite3_errmsg(db)));
    return Error(Sqlite::errorNumberFor(rc), text);
}

void exec(sqlite3* db, const char* sql)
{
    const int rc = sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        throw sqliteError(db, rc, sql);
}

Statement prepare(sqlite3* db, const char* sql)
{
    sqlite3_stmt* raw = nullptr;
    const int rc = sqlite3_prepare_v2(db, sql, -1, &raw, nullptr);
    Statement statement(raw);
    if (rc != SQLITE_OK)
        throw sqliteError(db, rc, sql);
    return statement;
}

std::optional<qint64> singleInteger(sqlite3* db, const char* sql)
{
    Statement st = tryPrepare(db, sql);
    if (!st || sqlite3_step(st.get()) != SQLITE_ROW || sqlite3_column_type(st.get(), 0) != SQLITE_INTEGER)
        return std::nullopt;
    return sqlite3_column_int64(st.get(), 0);
}

uint32_t checksum(const void* bytes, size_t count, uint32_t seed)
{
    return uint32_t(crc32(seed, static_cast<const Bytef*>(bytes), uInt(count)));
}

std::string withChecksum(std::string_view payload)
{
    std::string out;
    out.reserve(payload.size() + 4);
    appendLittleEndian32(out, checksum(payload.data(), payload.size()));
    out.append(payload);
    return out;
}

std::string_view checkedPayload(const void* blob, int bytes)
{
    if (!blob || bytes < 4)
        throw ContentIndex::Unusable("search index: a stored set is cut short");
    const auto* p = static_cast<const unsigned char*>(blob);
    if (checksum(p + 4, size_t(bytes - 4)) != readLittleEndian32(p))
        throw ContentIndex::Unusable("search index: a stored set fails its checksum");
    return {reinterpret_cast<const char*>(p + 4), size_t(bytes - 4)};
}

} // namespace Orvanta::IndexStorage
