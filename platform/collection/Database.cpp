#include "platform/collection/Database.h"

#include "platform/Error.h"
#include "platform/Progress.h"
#include "platform/collection/CollectionLayout.h"
#include "platform/index/ContentIndex.h"
#include "platform/collection/ConvertedCopy.h"
#include "platform/collection/FileIdentity.h"
#include "platform/index/IndexedSearch.h"
#include "platform/jet/JetImport.h"
#include "platform/collection/PageChecksums.h"
#include "platform/sql/SqlDialect.h"
#include "platform/sql/SqliteFunctions.h"
#include "platform/sql/StatementRows.h"
#include "platform/sql/WholeFileMap.h"

#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <sqlite3.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdlib>
#include <map>
#include <new>

#include <sys/resource.h>
#include <unistd.h>

namespace Orvanta {

namespace {

std::atomic<int> g_readerLoads{0};
std::atomic<int> g_copiesRestored{0};
std::atomic<int> g_copiesStored{0};
std::atomic<int> g_sharedReuses{0};
std::atomic<int> g_indexesAdded{0};
std::atomic<bool> g_indexUse{true};
std::atomic<uint64_t> g_keptGeneration{0};

struct SharedCopy {
    FileIdentity identity;
    std::shared_ptr<Database> database;
    uint64_t lastUse = 0;
};

// Open databases (in-memory copies of Jet files, open SQLite files), by the
// file's canonical path. A handful at most: a copy can be large, and a program
// uses one collection.
struct SharedCopies {
    std::mutex mutex;
    std::map<QString, SharedCopy> byPath;
    uint64_t clock = 0;
    bool folderSet = false;
    QString folder;
    qint64 minimumCopySource = Database::DefaultMinimumCopySource;
    qint64 limitBytes = ConvertedCopy::defaultLimit();
};

SharedCopies& sharedCopies()
{
    static SharedCopies copies;
    return copies;
}

constexpr size_t MaxSharedCopies = 4;

// The open database of a file whose identity has not changed, or nullptr.
// The caller holds the lock.
std::shared_ptr<Database> findShared(SharedCopies& copies, const FileIdentity& identity)
{
    auto found = copies.byPath.find(identity.canonicalPath);
    if (found == copies.byPath.end())
        return nullptr;
    if (found->second.identity == identity) {
        found->second.lastUse = ++copies.clock;
        ++g_sharedReuses;
        return found->second.database;
    }
    copies.byPath.erase(found); // the file changed: what was read of it is stale
    return nullptr;
}

void keepShared(SharedCopies& copies, const FileIdentity& identity, const std::shared_ptr<Database>& database)
{
    if (copies.byPath.size() >= MaxSharedCopies && !copies.byPath.count(identity.canonicalPath)) {
        auto oldest = copies.byPath.begin();
        for (auto it = copies.byPath.begin(); it != copies.byPath.end(); ++it) {
            if (it->second.lastUse < oldest->second.lastUse)
                oldest = it;
        }
        copies.byPath.erase(oldest);
    }
    copies.byPath[identity.canonicalPath] = SharedCopy{identity, database, ++copies.clock};
}

// Changes whenever another connection commits to the file.
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

QString fromSqlite16(const void* text)
{
    return text ? QString::fromUtf16(static_cast<const char16_t*>(text)) : QString();
}

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

// Settings every connection gets, whatever holds its data.
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

struct StatementDeleter {
    void operator()(sqlite3_stmt* s) const { sqlite3_finalize(s); }
};
using Statement = std::unique_ptr<sqlite3_stmt, StatementDeleter>;

// What converts Jet files: the reader program, by its identity, so that a
// rebuilt reader makes its own copies.
QString converterKey()
{
    const std::optional<FileIdentity> reader = identityOf(JetImport::readerPath());
    return reader ? reader->key() : QStringLiteral("no reader");
}

enum class Signature { None, Jet, Sqlite };

Signature readSignature(const QString& localPath, const QString& displayPath)
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
        return Signature::Jet;
    if (header.startsWith(QByteArrayView("SQLite format 3\0", 16)))
        return Signature::Sqlite;
    return Signature::None;
}

// The identity the shared copies are keyed on; a file gone since it was
// tested is reported as missing.
FileIdentity requireIdentity(const QString& localPath, const QString& displayPath)
{
    const std::optional<FileIdentity> identity = identityOf(localPath);
    if (!identity)
        throw Error(ErrorCode::DatabaseFileNotFound, QStringLiteral("Could not find file '%1'.").arg(displayPath));
    return *identity;
}

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

// Reads the Jet file into `db` and gives it a collection's layout; returns
// what could not be read of a damaged file. Throws Orvanta::Error; a failure
// to write `db` has the number DiskFull or PathFileAccessError.
DamageReport convertInto(const QString& localPath, sqlite3* db)
{
    DamageReport damage;
    try {
        damage = JetImport::load(localPath, db);
    } catch (const std::bad_alloc&) {
        throw Error(ErrorCode::OutOfMemory, QStringLiteral("Out of memory"));
    }
    if (!CollectionLayout::addNewestFirstIndex(db)) {
        const bool full = (sqlite3_errcode(db) & 0xFF) == SQLITE_FULL;
        throw Error(full ? ErrorCode::DiskFull : ErrorCode::PathFileAccessError,
                    QStringLiteral("Copying the database failed: %1").arg(lastMessage(db)));
    }
    ++g_readerLoads;
    return damage;
}

// Only a Jet file with a table of documents gets a content index.
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

bool isWriteFailure(const Error& e)
{
    return e.number() == ErrorCode::DiskFull || e.number() == ErrorCode::PathFileAccessError;
}

struct Converted {
    sqlite3* db = nullptr;
    QString copyPath; // the converted copy on disk it reads, if any
    DamageReport damage;
};

// The Jet file as a collection: its converted copy on disk when there is a
// valid one or one can be made, otherwise a copy in memory. When the copy on
// disk cannot be written (full disk, read-only folder), the file is read into
// memory instead: the search works, only the next start reads it again.
Converted convert(const QString& localPath, const FileIdentity& identity, const QString& folder,
                  qint64 minimumCopySource, qint64 limitBytes)
{
    const QString converter = converterKey();
    Converted result;
    result.db = ConvertedCopy::open(folder, identity, converter);
    if (!result.db && identity.size >= minimumCopySource)
        result.db = ConvertedCopy::adopt(folder, identity, converter, localPath);
    if (result.db) {
        ++g_copiesRestored;
        result.copyPath = ConvertedCopy::pathFor(folder, identity, converter);
        result.damage = DamageReport::read(result.db);
    } else if (!folder.isEmpty() && identity.size >= minimumCopySource) {
        ConvertedCopy::Writer writer(folder, identity, converter);
        bool written = false;
        if (writer.db()) {
            try {
                result.damage = convertInto(localPath, writer.db());
                written = true;
            } catch (const Error& e) {
                if (!isWriteFailure(e))
                    throw;
            }
        }
        // Only a whole copy of a file that held still while it was read is
        // kept; a failed write may have left any part of it behind.
        const std::optional<FileIdentity> after = identityOf(localPath);
        if (written && after && *after == identity && writer.commit()) {
            ++g_copiesStored;
            result.db = ConvertedCopy::open(folder, identity, converter);
            if (result.db)
                result.copyPath = ConvertedCopy::pathFor(folder, identity, converter);
        }
    }
    if (!folder.isEmpty())
        ConvertedCopy::tidy(folder, limitBytes, result.copyPath);
    if (result.db)
        return result;

    sqlite3* db = openInMemory();
    try {
        result.damage = convertInto(localPath, db);
    } catch (...) {
        sqlite3_close(db);
        throw;
    }
    // A small file's content index takes a moment: it is built at once. A
    // large file held in memory (its copy could not be written) is scanned.
    if (identity.size < Database::DefaultMinimumCopySource) {
        try {
            ContentIndex::build(db);
        } catch (const Error&) {
        } catch (const std::bad_alloc&) {
        }
    }
    result.db = db;
    return result;
}

} // namespace

Database::Database(sqlite3* db, Format format, const QString& displayPath)
    : m_db(db), m_format(format), m_displayPath(displayPath)
{
}

Database::~Database()
{
    stopContentIndex();
    sqlite3_close_v2(m_db);
}

std::shared_ptr<Database> Database::open(const QString& localPath, const QString& displayPath)
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
    switch (readSignature(localPath, displayPath)) {
    case Signature::Jet:
        return openJet(localPath, displayPath);
    case Signature::Sqlite:
        return openSqlite(localPath, displayPath);
    case Signature::None:
        break;
    }
    throw Error(ErrorCode::UnrecognizedFormat, QStringLiteral("Unrecognized database format '%1'.").arg(displayPath));
}

std::shared_ptr<Database> Database::openJet(const QString& localPath, const QString& displayPath)
{
    const FileIdentity identity = requireIdentity(localPath, displayPath);

    SharedCopies& copies = sharedCopies();
    std::lock_guard lock(copies.mutex);
    if (auto shared = findShared(copies, identity))
        return shared;

    const QString folder = copies.folderSet ? copies.folder : ConvertedCopy::defaultFolder();
    Converted converted = convert(localPath, identity, folder, copies.minimumCopySource, copies.limitBytes);
    configure(converted.db);
    std::shared_ptr<Database> database(new Database(converted.db, Format::Jet, displayPath));
    database->m_source = identity;
    database->m_localPath = localPath;
    database->m_copyFolder = folder;
    database->m_copyPath = converted.copyPath;
    database->m_minimumCopySource = copies.minimumCopySource;
    database->m_limitBytes = copies.limitBytes;
    database->m_damage = std::move(converted.damage);
    database->m_indexPending = true;
    keepShared(copies, identity, database);
    return database;
}

std::shared_ptr<Database> Database::openSqlite(const QString& localPath, const QString& displayPath)
{
    // The connection stays open for the next searches while the file keeps
    // its identity: opening, reading the schema and mapping the file again
    // would cost each search more than a small collection's scan.
    const FileIdentity identity = requireIdentity(localPath, displayPath);
    SharedCopies& copies = sharedCopies();
    std::lock_guard lock(copies.mutex);
    if (auto shared = findShared(copies, identity))
        return shared;

    sqlite3* db = nullptr;
    // Read-only, and never a URI: nothing in the path is taken as an option.
    // Mapped whole, beyond SQLite's own limit (see WholeFileMap.h).
    // Pages of collections that carry checksums are checked as they are read.
    const int rc = sqlite3_open_v2(QFile::encodeName(localPath).constData(), &db,
                                   SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, PageChecksums::vfsName());
    if (rc != SQLITE_OK) {
        const QString message = db ? lastMessage(db) : QString::fromUtf8(sqlite3_errstr(rc));
        sqlite3_close(db);
        throw errorFor(rc == SQLITE_CANTOPEN ? SQLITE_NOTADB : rc, message, displayPath);
    }
    configure(db);
    // Read through a memory map (any size above 0 asks for the whole file).
    const QByteArray mmap = "PRAGMA mmap_size=" + QByteArray::number(std::min<int64_t>(identity.size, 0x7fff0000));
    sqlite3_exec(db, mmap.constData(), nullptr, nullptr, nullptr);
    std::shared_ptr<Database> database(new Database(db, Format::Sqlite, displayPath));
    // Reading the schema is the first real read: a damaged file shows here.
    const int check = sqlite3_exec(db, "SELECT count(*) FROM sqlite_schema", nullptr, nullptr, nullptr);
    if (check != SQLITE_OK)
        throw errorFor(check == SQLITE_ERROR ? SQLITE_CORRUPT : sqlite3_extended_errcode(db), lastMessage(db),
                       displayPath);
    database->m_dataVersion = dataVersion(db);
    keepShared(copies, identity, database);
    return database;
}

QString Database::takeDamageWarning()
{
    std::lock_guard lock(m_mutex);
    QStringList warnings;
    if (!m_damage.isEmpty() && !m_damageWarned) {
        m_damageWarned = true;
        warnings << m_damage.text(m_displayPath);
    }
    if (m_indexWarning == IndexWarning::Due) {
        m_indexWarning = IndexWarning::Given;
        warnings << QStringLiteral("資料庫「%1」的轉換副本已保存，但磁碟空間不足，無法建立全文索引；"
                                   "搜尋結果不受影響，只是較慢。請清出磁碟空間，下次啟動時會再建立索引。")
                        .arg(m_displayPath);
    }
    return warnings.join(QLatin1Char('\n'));
}

void Database::forgetIfWritten()
{
    if (m_format != Format::Sqlite)
        return;
    // Someone may write to an SQLite file (through its journal, without
    // touching the file's identity): rows read before are stale then.
    const int version = dataVersion(m_db);
    if (version != m_dataVersion) {
        m_lastRows.reset();
        m_dataVersion = version;
        // The writer may have changed the index too (or made it stale).
        m_index.reset();
        m_indexChecked = false;
    }
}

qint64 Database::visitIndexed(const QString& jetSql, TitleStore::RowVisitor& visitor, LikeComparison comparison)
{
    std::lock_guard lock(m_mutex);
    forgetIfWritten();
    if (!g_indexUse || m_indexPending)
        return -1;
    std::optional<IndexedSearch::Statement> statement = IndexedSearch::recognize(jetSql);
    if (!statement)
        return -1;
    statement->variants = comparison == LikeComparison::Variants;
    ContentIndex* index = contentIndex();
    if (!index)
        return -1;
    qint64 rows = 0;
    class Counting : public TitleStore::RowVisitor {
    public:
        Counting(TitleStore::RowVisitor& to, qint64& rows) : m_to(to), m_rows(rows) {}
        void expect(size_t count, const double (&unitsPerRow)[2]) override { m_to.expect(count, unitsPerRow); }
        void row(const TitleStore::StoredRow& row) override
        {
            ++m_rows;
            m_to.row(row);
        }

    private:
        TitleStore::RowVisitor& m_to;
        qint64& m_rows;
    } counting(visitor, rows);
    try {
        switch (IndexedSearch::visit(*index, m_db, *statement, counting)) {
        case IndexedSearch::Visit::NotServed:
            return -1;
        case IndexedSearch::Visit::ServedIndexFailed:
            // As in runIndexed(): an index that failed is given up for good.
            m_index.reset();
            break;
        case IndexedSearch::Visit::Served:
            break;
        }
    } catch (const ContentIndex::Unusable& e) {
        m_index.reset();
        if (rows > 0)
            throw Error(ErrorCode::DatabaseDamaged, QString::fromUtf8(e.what()));
        return -1;
    } catch (const std::bad_alloc&) {
        if (rows > 0)
            throw;
        return -1;
    } catch (const Error&) {
        // A converted copy damaged on disk is made again by execute(); once
        // rows were handed over, here, for the next search.
        if (rows > 0) {
            if (damagedCopy())
                remakeCopy();
            throw;
        }
        return -1;
    }
    if (damagedCopy()) {
        // A page of the index failed its checksum after the rows were read
        // without it: they are right, the copy is not.
        m_index.reset();
        remakeCopy();
    }
    return rows;
}

std::shared_ptr<const ResultTable> Database::execute(const QString& jetSql, LikeComparison comparison)
{
    std::lock_guard lock(m_mutex);
    forgetIfWritten();
    if (m_lastRows && jetSql == m_lastSql && comparison == m_lastComparison
        && m_lastRowsGeneration == g_keptGeneration)
        return m_lastRows;
    m_lastRows.reset();
    // A folded statement is scanned with the connection's LIKEs folding for
    // as long as it runs (the copy may be made again meanwhile: m_db is read
    // at each run).
    const auto scan = [this, &jetSql, comparison] {
        if (comparison == LikeComparison::Exact)
            return run(jetSql);
        setLikeVariants(m_db, true);
        struct Exact {
            sqlite3*& db;
            ~Exact() { setLikeVariants(db, false); }
        } exactAgain{m_db};
        return run(jetSql);
    };
    std::shared_ptr<const ResultTable> rows;
    try {
        rows = runIndexed(jetSql, comparison);
        if (!rows)
            rows = scan();
        // The index may have failed on a damaged page and the scan answered
        // in its place: the rows are right, but the copy is damaged.
        if (damagedCopy())
            throw errorFor(SQLITE_IOERR_DATA, {}, m_displayPath);
    } catch (const Error& e) {
        // A converted copy damaged on disk since it was checked is made
        // again from the Jet file, and the statement runs on the new one.
        if (e.number() != ErrorCode::DatabaseDamaged || m_copyPath.isEmpty() || !remakeCopy())
            throw;
        rows = runIndexed(jetSql, comparison);
        if (!rows)
            rows = scan();
    }
    m_lastSql = jetSql;
    m_lastComparison = comparison;
    m_lastRows = rows;
    m_lastRowsGeneration = g_keptGeneration;
    // Only once the first rows are there: the worker would take processor
    // time from them.
    if (m_indexPending) {
        m_indexPending = false;
        startContentIndex();
    }
    return rows;
}

ContentIndex* Database::contentIndex()
{
    if (!m_indexChecked) {
        m_indexChecked = true;
        m_index = ContentIndex::open(m_db);
    }
    return m_index.get();
}

// The rows through the content index, or nullptr when the statement is to be
// scanned. An index that fails while it is read is given up for good: the
// scan answers this statement and the next ones.
std::shared_ptr<const ResultTable> Database::runIndexed(const QString& jetSql, LikeComparison comparison)
{
    if (!g_indexUse)
        return nullptr;
    std::optional<IndexedSearch::Statement> statement = IndexedSearch::recognize(jetSql);
    if (!statement)
        return nullptr;
    statement->variants = comparison == LikeComparison::Variants;
    ContentIndex* index = contentIndex();
    if (!index)
        return nullptr;
    try {
        return IndexedSearch::run(*index, m_db, *statement);
    } catch (const ContentIndex::Unusable&) {
        m_index.reset();
    } catch (const std::bad_alloc&) {
        // The scan needs far less memory than the posting sets of a huge query.
    }
    return nullptr;
}

bool Database::usesContentIndex()
{
    std::lock_guard lock(m_mutex);
    return g_indexUse && contentIndex();
}

void Database::reloadContentIndex()
{
    std::lock_guard lock(m_mutex);
    m_index.reset();
    m_indexChecked = false;
}

void Database::setContentIndexUse(bool use)
{
    g_indexUse = use;
    ++g_keptGeneration;
}

bool Database::contentIndexUse()
{
    return g_indexUse;
}

void Database::forgetKeptResults()
{
    ++g_keptGeneration;
}

std::shared_ptr<const ResultTable> Database::run(const QString& jetSql)
{
    SqlDialect::Options options;
    Statement statement;
    QString sql;
    for (int attempt = 0;; ++attempt) {
        sql = SqlDialect::toSqlite(jetSql, options);
        sqlite3_stmt* raw = nullptr;
        const void* tail = nullptr;
        const int rc = sqlite3_prepare16_v3(m_db, sql.utf16(), int(sql.size() * 2), 0, &raw, &tail);
        statement.reset(raw);
        if (rc == SQLITE_OK) {
            const qsizetype used = (static_cast<const char16_t*>(tail) - reinterpret_cast<const char16_t*>(sql.utf16()));
            const QString rest = sql.mid(used).trimmed();
            for (QChar c : rest) {
                if (c != QLatin1Char(';') && !c.isSpace())
                    throw Error(ErrorCode::StatementRejected,
                                QStringLiteral("Characters found after end of SQL statement."));
            }
            break;
        }
        const QString message = lastMessage(m_db);
        // Views and tables without rowid order ties without it.
        if (attempt == 0 && options.rowidTies && message.contains(QLatin1String("rowid"))) {
            options.rowidTies = false;
            continue;
        }
        throw errorFor(sqlite3_extended_errcode(m_db), message, m_displayPath);
    }
    if (!statement) {
        throw Error(ErrorCode::StatementRejected,
                    QStringLiteral("Invalid SQL statement; expected 'SELECT'."));
    }
    if (!sqlite3_stmt_readonly(statement.get())) {
        throw Error(ErrorCode::StatementRejected,
                    QStringLiteral("The database is open read-only: only SELECT statements can run."));
    }

    sqlite3_stmt* st = statement.get();
    const int columns = sqlite3_column_count(st);
    auto table = std::make_shared<ResultTable>(columnNamesOf(st));
    // A search that reads many rows reports that it is still going.
    sqlite3_progress_handler(sqlite3_db_handle(st), 20000, [](void*) { Progress::tick(); return 0; }, nullptr);
    int rc;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW)
        appendCurrentRow(*table, st, columns);
    if (rc != SQLITE_DONE)
        throw errorFor(sqlite3_extended_errcode(m_db), lastMessage(m_db), m_displayPath);
    return table;
}

bool Database::damagedCopy()
{
    return !m_copyPath.isEmpty() && PageChecksums::failedOn(m_db);
}

bool Database::remakeCopy()
{
    const std::optional<FileIdentity> now = identityOf(m_localPath);
    if (!now || *now != m_source)
        return false; // the file changed: the next open reads it again
    // A content index being added to the damaged copy is of no use now.
    m_stopIndexWorker = true;
    QFile::remove(m_copyPath);
    Converted converted = convert(m_localPath, m_source, m_copyFolder, m_minimumCopySource, m_limitBytes);
    configure(converted.db);
    sqlite3_close_v2(m_db);
    m_db = converted.db;
    m_copyPath = converted.copyPath;
    m_damage = std::move(converted.damage);
    m_index.reset();
    m_indexChecked = false;
    return true;
}

// The copy on disk gets its content index without holding up the first
// search: after it, on a worker thread at a lower priority than the
// program's own, into a file of its own that then replaces the copy. The
// searches switch to the new copy (and its index) once it is there.
void Database::startContentIndex()
{
    if (m_copyPath.isEmpty() || m_indexWorker.joinable() || !g_indexUse || !hasDocumentTable(m_db)
        || ContentIndex::state(m_db) == ContentIndex::State::Current)
        return;
    m_stopIndexWorker = false;
    m_indexWorker = std::thread([this, path = m_copyPath] {
        ::setpriority(PRIO_PROCESS, pid_t(::gettid()), 10);
        switch (ConvertedCopy::addContentIndex(path, [this] { return !m_stopIndexWorker.load(); })) {
        case ConvertedCopy::IndexOutcome::Added:
            break;
        case ConvertedCopy::IndexOutcome::NoRoom: {
            std::lock_guard lock(m_mutex);
            if (m_indexWarning == IndexWarning::None)
                m_indexWarning = IndexWarning::Due;
            return;
        }
        case ConvertedCopy::IndexOutcome::Stopped:
        case ConvertedCopy::IndexOutcome::Failed:
            return;
        }
        const QString converter = converterKey();
        std::lock_guard lock(m_mutex);
        sqlite3* db = ConvertedCopy::open(m_copyFolder, m_source, converter);
        if (!db)
            return;
        configure(db);
        sqlite3_close_v2(m_db);
        m_db = db;
        m_index.reset();
        m_indexChecked = false;
        ++g_indexesAdded;
        // The copy has grown by its index.
        ConvertedCopy::tidy(m_copyFolder, m_limitBytes, m_copyPath);
    });
}

void Database::stopContentIndex()
{
    m_stopIndexWorker = true;
    if (m_indexWorker.joinable())
        m_indexWorker.join();
}

void Database::waitForContentIndex()
{
    if (m_indexWorker.joinable())
        m_indexWorker.join();
}

void Database::waitForContentIndexes()
{
    std::vector<std::shared_ptr<Database>> open;
    {
        SharedCopies& copies = sharedCopies();
        std::lock_guard lock(copies.mutex);
        for (auto& [path, copy] : copies.byPath)
            open.push_back(copy.database);
    }
    for (const auto& database : open)
        database->waitForContentIndex();
}

void Database::setConvertedCopyFolder(const QString& folder, qint64 minimumSourceBytes, qint64 limitBytes)
{
    SharedCopies& copies = sharedCopies();
    std::lock_guard lock(copies.mutex);
    copies.folderSet = true;
    copies.folder = folder;
    copies.minimumCopySource = minimumSourceBytes;
    copies.limitBytes = limitBytes < 0 ? ConvertedCopy::defaultLimit() : limitBytes;
}

QString Database::convertedCopyFolder()
{
    SharedCopies& copies = sharedCopies();
    std::lock_guard lock(copies.mutex);
    return copies.folderSet ? copies.folder : ConvertedCopy::defaultFolder();
}

void Database::dropSharedCopies()
{
    SharedCopies& copies = sharedCopies();
    std::lock_guard lock(copies.mutex);
    copies.byPath.clear();
}

Database::LoadCounts Database::loadCounts()
{
    return {g_readerLoads.load(), g_copiesRestored.load(), g_copiesStored.load(), g_sharedReuses.load(),
            g_indexesAdded.load()};
}

} // namespace Orvanta
