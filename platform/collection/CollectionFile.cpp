#include "platform/collection/CollectionFile.h"

#include "platform/Error.h"
#include "platform/collection/EngineErrors.h"
#include "platform/collection/PageChecksums.h"
#include "platform/jet/JetImport.h"
#include "platform/sql/SqliteFunctions.h"

#include <QFile>
#include <QFileInfo>

#include <sqlite3.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <optional>

namespace Orvanta::CollectionFile {

namespace {

std::optional<Kind> readSignature(const QString& localPath, const QString& displayPath)
{
    QFile file(localPath);
    if (!file.open(QIODevice::ReadOnly)) {
        throw Error(ErrorCode::PermissionDenied,
                    QStringLiteral("Cannot open the file '%1': %2.").arg(displayPath, file.errorString()));
    }
    const QByteArray header = file.read(4096);
    if (header.isEmpty()) {
        throw Error(ErrorCode::UnrecognizedFormat,
                    QStringLiteral("Unrecognized database format '%1': the file is empty.").arg(displayPath));
    }
    if (JetImport::looksLikeJet(header))
        return Kind::Jet;
    if (header.startsWith(QByteArrayView("SQLite format 3\0", 16)))
        return Kind::Sqlite;
    return std::nullopt;
}

} // namespace

Kind kindOf(const QString& localPath, const QString& displayPath)
{
    const QFileInfo info(localPath);
    if (localPath.isEmpty() || !info.exists())
        throw Error(ErrorCode::DatabaseFileNotFound, QStringLiteral("Could not find file '%1'.").arg(displayPath));
    if (info.isDir()) {
        throw Error(ErrorCode::UnrecognizedFormat,
                    QStringLiteral("Unrecognized database format '%1': it is a folder, not a database file.")
                        .arg(displayPath));
    }
    // A pipe, socket or device would block the open or the read forever.
    if (!info.isFile()) {
        throw Error(ErrorCode::UnrecognizedFormat,
                    QStringLiteral("Unrecognized database format '%1': it is not a regular file.").arg(displayPath));
    }
    if (const std::optional<Kind> kind = readSignature(localPath, displayPath))
        return *kind;
    throw Error(ErrorCode::UnrecognizedFormat, QStringLiteral("Unrecognized database format '%1'.").arg(displayPath));
}

FileIdentity requireIdentity(const QString& localPath, const QString& displayPath)
{
    const std::optional<FileIdentity> identity = identityOf(localPath);
    if (!identity)
        throw Error(ErrorCode::DatabaseFileNotFound, QStringLiteral("Could not find file '%1'.").arg(displayPath));
    return *identity;
}

void configure(sqlite3* db)
{
    registerLikeFunction(db);
    // Up to the limits SQLite was built with: statements can be long and have
    // many conditions (the translation keeps their nesting shallow).
    sqlite3_limit(db, SQLITE_LIMIT_EXPR_DEPTH, INT_MAX);
    sqlite3_limit(db, SQLITE_LIMIT_SQL_LENGTH, INT_MAX);
    sqlite3_limit(db, SQLITE_LIMIT_VDBE_OP, INT_MAX);
    sqlite3_limit(db, SQLITE_LIMIT_LIKE_PATTERN_LENGTH, INT_MAX);
    // "name" is always a name: a misspelt column must not turn into a string.
    sqlite3_db_config(db, SQLITE_DBCONFIG_DQS_DML, 0, nullptr);
    sqlite3_db_config(db, SQLITE_DBCONFIG_DQS_DDL, 0, nullptr);
    sqlite3_exec(db, "PRAGMA query_only=1", nullptr, nullptr, nullptr);
}

int dataVersion(sqlite3* db)
{
    int version = 0;
    sqlite3_exec(
        db, "PRAGMA data_version",
        [](void* out, int, char** values, char**) {
            *static_cast<int*>(out) = values[0] ? atoi(values[0]) : 0;
            return 0;
        },
        &version, nullptr);
    return version;
}

bool hasDocumentTable(sqlite3* db)
{
    sqlite3_stmt* stmt = nullptr;
    bool found = false;
    if (sqlite3_prepare_v2(db, "SELECT 1 FROM sqlite_schema WHERE type = 'table' AND name = 'maindata' COLLATE NOCASE",
                           -1, &stmt, nullptr)
        == SQLITE_OK)
        found = sqlite3_step(stmt) == SQLITE_ROW;
    sqlite3_finalize(stmt);
    return found;
}

sqlite3* openSqlite(const QString& localPath, const QString& displayPath, int64_t size)
{
    sqlite3* db = nullptr;
    // Read-only, and never a URI: nothing in the path is taken as an option.
    // Mapped whole, beyond SQLite's own limit (see WholeFileMap.h).
    // Pages of collections that carry checksums are checked as they are read.
    const int rc = sqlite3_open_v2(QFile::encodeName(localPath).constData(), &db,
                                   SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, PageChecksums::vfsName());
    if (rc != SQLITE_OK) {
        const QString message = db ? EngineErrors::lastMessage(db) : QString::fromUtf8(sqlite3_errstr(rc));
        sqlite3_close(db);
        throw EngineErrors::errorFor(rc == SQLITE_CANTOPEN ? SQLITE_NOTADB : rc, message, displayPath);
    }
    configure(db);
    // Read through a memory map (any size above 0 asks for the whole file).
    const QByteArray mmap = "PRAGMA mmap_size=" + QByteArray::number(std::min<int64_t>(size, 0x7fff0000));
    sqlite3_exec(db, mmap.constData(), nullptr, nullptr, nullptr);
    // Reading the schema is the first real read: a damaged file shows here.
    const int check = sqlite3_exec(db, "SELECT count(*) FROM sqlite_schema", nullptr, nullptr, nullptr);
    if (check != SQLITE_OK) {
        const Error error = EngineErrors::errorFor(check == SQLITE_ERROR ? SQLITE_CORRUPT : sqlite3_extended_errcode(db),
                                                   EngineErrors::lastMessage(db), displayPath);
        sqlite3_close_v2(db);
        throw error;
    }
    return db;
}

} // namespace Orvanta::CollectionFile
