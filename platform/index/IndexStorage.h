// What the posting sets, the stored order and the titles share to read and write their tables:
// statements that finalize themselves, SQLite failures as Orvanta::Error, and
// the checksum every stored blob of the index carries.
#pragma once

#include "platform/Error.h"
#include "platform/sql/SqliteStatement.h"

#include <QtGlobal>

#include <memory>
#include <optional>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

namespace Orvanta::IndexStorage {

using Sqlite::Statement;
using Sqlite::tryPrepare;

// An SQLite failure while the index is written, as the error a user sees.
Error sqliteError(sqlite3* db, int rc, const char* what);

// For writing: failures throw sqliteError().
void exec(sqlite3* db, const char* sql);
Statement prepare(sqlite3* db, const char* sql);

// For reading, with tryPrepare(): a statement that fails to prepare means the
// index is absent or not ours, not an error.
std::optional<qint64> singleInteger(sqlite3* db, const char* sql);

// Stored blobs: a CRC-32 of the payload, little-endian, then the payload.
uint32_t checksum(const void* bytes, size_t count, uint32_t seed = 0);
std::string withChecksum(std::string_view payload);
// The payload of a stored blob; throws ContentIndex::Unusable when it is cut
// short or fails its checksum.
std::string_view checkedPayload(const void* blob, int bytes);

inline uint32_t readLittleEndian32(const unsigned char* p)
{
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

inline void appendLittleEndian32(std::string& out, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        out += char((value >> (8 * i)) & 0xFF);
}

} // namespace Orvanta::IndexStorage
