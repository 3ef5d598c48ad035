#include "platform/collection/Database.h"

#include "platform/Error.h"
#include "platform/Progress.h"
#include "platform/collection/ConvertedCopy.h"
#include "platform/collection/EngineErrors.h"
#include "platform/collection/FileIdentity.h"
#include "platform/collection/PageChecksums.h"
#include "platform/collection/SharedCopies.h"
#include "platform/index/ContentIndex.h"
#include "platform/index/IndexedSearch.h"
#include "platform/jet/JetImport.h"
#include "platform/sql/SqlDialect.h"
#include "platform/sql/SqliteFunctions.h"
#include "platform/sql/StatementRows.h"

#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <sqlite3.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <new>

namespace Orvanta {

namespace {

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

} // namespace

Database::Database(sqlite3* db, Format format, const QString& displayPath)
    : m_db(db), m_format(format), m_displayPath(displayPath)
{
}

Database::~Database()
{
    m_indexWorker.stop();
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

    SharedCopies& copies = SharedCopies::process();
    const auto lock = copies.lock();
    if (auto shared = copies.find(identity))
        return shared;

    const SharedCopies::CopySettings settings = copies.copySettings();
    JetConversion conversion(localPath, identity, settings.folder, settings.minimumCopySource, settings.limitBytes,
                             copies.counters());
    JetConversion::Result converted = conversion.run();
    configure(converted.db);
    std::shared_ptr<Database> database(new Database(converted.db, Format::Jet, displayPath));
    database->m_conversion.emplace(std::move(conversion));
    database->m_copyPath = converted.copyPath;
    database->m_damage = std::move(converted.damage);
    database->m_indexWorker.setPending(true);
    copies.keep(identity, database);
    return database;
}

std::shared_ptr<Database> Database::openSqlite(const QString& localPath, const QString& displayPath)
{
    // The connection stays open for the next searches while the file keeps
    // its identity: opening, reading the schema and mapping the file again
    // would cost each search more than a small collection's scan.
    const FileIdentity identity = requireIdentity(localPath, displayPath);
    SharedCopies& copies = SharedCopies::process();
    const auto lock = copies.lock();
    if (auto shared = copies.find(identity))
        return shared;

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
    const QByteArray mmap = "PRAGMA mmap_size=" + QByteArray::number(std::min<int64_t>(identity.size, 0x7fff0000));
    sqlite3_exec(db, mmap.constData(), nullptr, nullptr, nullptr);
    std::shared_ptr<Database> database(new Database(db, Format::Sqlite, displayPath));
    // Reading the schema is the first real read: a damaged file shows here.
    const int check = sqlite3_exec(db, "SELECT count(*) FROM sqlite_schema", nullptr, nullptr, nullptr);
    if (check != SQLITE_OK)
        throw EngineErrors::errorFor(check == SQLITE_ERROR ? SQLITE_CORRUPT : sqlite3_extended_errcode(db), EngineErrors::lastMessage(db),
                       displayPath);
    database->m_dataVersion = dataVersion(db);
    copies.keep(identity, database);
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

qint64 Database::visitIndexed(const QString& jetSql, TitleStore::RowVisitor& visitor)
{
    std::lock_guard lock(m_mutex);
    forgetIfWritten();
    if (!SharedCopies::process().contentIndexUse() || m_indexWorker.pending())
        return -1;
    const std::optional<IndexedSearch::Statement> statement = IndexedSearch::recognize(jetSql);
    if (!statement)
        return -1;
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

std::shared_ptr<const ResultTable> Database::execute(const QString& jetSql)
{
    std::lock_guard lock(m_mutex);
    forgetIfWritten();
    const uint64_t generation = SharedCopies::process().keptGeneration();
    if (m_lastRows && jetSql == m_lastSql && m_lastRowsGeneration == generation)
        return m_lastRows;
    m_lastRows.reset();
    std::shared_ptr<const ResultTable> rows;
    try {
        rows = runIndexed(jetSql);
        if (!rows)
            rows = run(jetSql);
        // The index may have failed on a damaged page and the scan answered
        // in its place: the rows are right, but the copy is damaged.
        if (damagedCopy())
            throw EngineErrors::errorFor(SQLITE_IOERR_DATA, {}, m_displayPath);
    } catch (const Error& e) {
        // A converted copy damaged on disk since it was checked is made
        // again from the Jet file, and the statement runs on the new one.
        if (e.number() != ErrorCode::DatabaseDamaged || m_copyPath.isEmpty() || !remakeCopy())
            throw;
        rows = runIndexed(jetSql);
        if (!rows)
            rows = run(jetSql);
    }
    m_lastSql = jetSql;
    m_lastRows = rows;
    m_lastRowsGeneration = generation;
    // Only once the first rows are there: the worker would take processor
    // time from them.
    if (m_indexWorker.pending()) {
        m_indexWorker.setPending(false);
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
std::shared_ptr<const ResultTable> Database::runIndexed(const QString& jetSql)
{
    if (!SharedCopies::process().contentIndexUse())
        return nullptr;
    const std::optional<IndexedSearch::Statement> statement = IndexedSearch::recognize(jetSql);
    if (!statement)
        return nullptr;
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
    return SharedCopies::process().contentIndexUse() && contentIndex();
}

void Database::reloadContentIndex()
{
    std::lock_guard lock(m_mutex);
    m_index.reset();
    m_indexChecked = false;
}

void Database::setContentIndexUse(bool use)
{
    SharedCopies::process().setContentIndexUse(use);
}

bool Database::contentIndexUse()
{
    return SharedCopies::process().contentIndexUse();
}

void Database::forgetKeptResults()
{
    SharedCopies::process().forgetKeptResults();
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
        const QString message = EngineErrors::lastMessage(m_db);
        // Views and tables without rowid order ties without it.
        if (attempt == 0 && options.rowidTies && message.contains(QLatin1String("rowid"))) {
            options.rowidTies = false;
            continue;
        }
        throw EngineErrors::errorFor(sqlite3_extended_errcode(m_db), message, m_displayPath);
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
        throw EngineErrors::errorFor(sqlite3_extended_errcode(m_db), EngineErrors::lastMessage(m_db), m_displayPath);
    return table;
}

bool Database::damagedCopy()
{
    return !m_copyPath.isEmpty() && PageChecksums::failedOn(m_db);
}

bool Database::remakeCopy()
{
    if (!m_conversion)
        return false;
    const std::optional<FileIdentity> now = identityOf(m_conversion->localPath());
    if (!now || *now != m_conversion->source())
        return false; // the file changed: the next open reads it again
    // A content index being added to the damaged copy is of no use now.
    m_indexWorker.requestStop();
    QFile::remove(m_copyPath);
    JetConversion::Result converted = m_conversion->run();
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
    SharedCopies& copies = SharedCopies::process();
    if (m_copyPath.isEmpty() || !m_conversion || m_indexWorker.started() || !copies.contentIndexUse()
        || !hasDocumentTable(m_db) || ContentIndex::state(m_db) == ContentIndex::State::Current)
        return;
    m_indexWorker.start(m_copyPath, copies.indexBuildPriority(), [this](ConvertedCopy::IndexOutcome outcome) {
        switch (outcome) {
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
        const QString converter = JetConversion::converterKey();
        std::lock_guard lock(m_mutex);
        sqlite3* db = ConvertedCopy::open(m_conversion->folder(), m_conversion->source(), converter);
        if (!db)
            return;
        configure(db);
        sqlite3_close_v2(m_db);
        m_db = db;
        m_index.reset();
        m_indexChecked = false;
        SharedCopies::process().counters().countContentIndexAdded();
        // The copy has grown by its index.
        ConvertedCopy::tidy(m_conversion->folder(), m_conversion->limitBytes(), m_copyPath);
    });
}

void Database::waitForContentIndex()
{
    m_indexWorker.wait();
}

std::optional<int> Database::lastIndexBuildNice() const
{
    return m_indexWorker.lastNice();
}

void Database::waitForContentIndexes()
{
    for (const auto& database : SharedCopies::process().all())
        database->waitForContentIndex();
}

void Database::setConvertedCopyFolder(const QString& folder, qint64 minimumSourceBytes, qint64 limitBytes)
{
    SharedCopies::process().setCopySettings(folder, minimumSourceBytes, limitBytes);
}

QString Database::convertedCopyFolder()
{
    return SharedCopies::process().copySettings().folder;
}

void Database::setIndexBuildPriority(IndexBuildPriority priority)
{
    SharedCopies::process().setIndexBuildPriority(priority);
}

void Database::dropSharedCopies()
{
    SharedCopies::process().clear();
}

LoadCounters& Database::loadCounters()
{
    return SharedCopies::process().counters();
}

} // namespace Orvanta
