#include "platform/collection/JetConversion.h"

#include "platform/Error.h"
#include "platform/collection/CollectionLayout.h"
#include "platform/collection/ConvertedCopy.h"
#include "platform/collection/Database.h"
#include "platform/collection/EngineErrors.h"
#include "platform/collection/LoadCounters.h"
#include "platform/index/ContentIndex.h"
#include "platform/jet/JetImport.h"

#include <sqlite3.h>

#include <new>
#include <optional>

namespace Orvanta {

namespace {

sqlite3* openInMemory()
{
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(":memory:", &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr)
        != SQLITE_OK) {
        sqlite3_close(db);
        throw Error(ErrorCode::OutOfMemory, QStringLiteral("Out of memory"));
    }
    CollectionLayout::setPageSize(db);
    return db;
}

bool isWriteFailure(const Error& e)
{
    return e.number() == ErrorCode::DiskFull || e.number() == ErrorCode::PathFileAccessError;
}

} // namespace

JetConversion::JetConversion(const QString& localPath, const FileIdentity& source, const QString& folder,
                             qint64 minimumCopySource, qint64 limitBytes, LoadCounters& counters)
    : m_localPath(localPath), m_source(source), m_folder(folder), m_minimumCopySource(minimumCopySource),
      m_limitBytes(limitBytes), m_counters(&counters)
{
}

QString JetConversion::converterKey()
{
    const std::optional<FileIdentity> reader = identityOf(JetImport::readerPath());
    return reader ? reader->key() : QStringLiteral("no reader");
}

// Reads the Jet file into `db` and gives it a collection's layout; returns
// what could not be read of a damaged file. Throws Orvanta::Error; a failure
// to write `db` has the number DiskFull or PathFileAccessError.
DamageReport JetConversion::convertInto(sqlite3* db) const
{
    DamageReport damage;
    try {
        damage = JetImport::load(m_localPath, db);
    } catch (const std::bad_alloc&) {
        throw Error(ErrorCode::OutOfMemory, QStringLiteral("Out of memory"));
    }
    if (!CollectionLayout::addNewestFirstIndex(db)) {
        const bool full = (sqlite3_errcode(db) & 0xFF) == SQLITE_FULL;
        throw Error(full ? ErrorCode::DiskFull : ErrorCode::PathFileAccessError,
                    QStringLiteral("Copying the database failed: %1").arg(EngineErrors::lastMessage(db)));
    }
    m_counters->countReaderLoad();
    return damage;
}

JetConversion::Result JetConversion::run() const
{
    const QString converter = converterKey();
    Result result;
    result.db = ConvertedCopy::open(m_folder, m_source, converter);
    if (!result.db && m_source.size >= m_minimumCopySource)
        result.db = ConvertedCopy::adopt(m_folder, m_source, converter, m_localPath);
    if (result.db) {
        m_counters->countCopyRestored();
        result.copyPath = ConvertedCopy::pathFor(m_folder, m_source, converter);
        result.damage = DamageReport::read(result.db);
    } else if (!m_folder.isEmpty() && m_source.size >= m_minimumCopySource) {
        ConvertedCopy::Writer writer(m_folder, m_source, converter);
        bool written = false;
        if (writer.db()) {
            try {
                result.damage = convertInto(writer.db());
                written = true;
            } catch (const Error& e) {
                if (!isWriteFailure(e))
                    throw;
            }
        }
        // Only a whole copy of a file that held still while it was read is
        // kept; a failed write may have left any part of it behind.
        const std::optional<FileIdentity> after = identityOf(m_localPath);
        if (written && after && *after == m_source && writer.commit()) {
            m_counters->countCopyStored();
            result.db = ConvertedCopy::open(m_folder, m_source, converter);
            if (result.db)
                result.copyPath = ConvertedCopy::pathFor(m_folder, m_source, converter);
        }
    }
    if (!m_folder.isEmpty())
        ConvertedCopy::tidy(m_folder, m_limitBytes, result.copyPath);
    if (result.db)
        return result;

    sqlite3* db = openInMemory();
    try {
        result.damage = convertInto(db);
    } catch (...) {
        sqlite3_close(db);
        throw;
    }
    // A small file's content index takes a moment: it is built at once. A
    // large file held in memory (its copy could not be written) is scanned.
    if (m_source.size < Database::DefaultMinimumCopySource) {
        try {
            ContentIndex::build(db);
        } catch (const Error&) {
        } catch (const std::bad_alloc&) {
        }
    }
    result.db = db;
    return result;
}

} // namespace Orvanta
