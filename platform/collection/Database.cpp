#include "platform/collection/Database.h"

#include "platform/Error.h"
#include "platform/collection/CollectionFile.h"
#include "platform/collection/ConvertedCopy.h"
#include "platform/collection/EngineErrors.h"
#include "platform/collection/PageChecksums.h"
#include "platform/collection/ScannedStatement.h"
#include "platform/collection/SharedCopies.h"
#include "platform/sql/SqliteFunctions.h"
#include "platform/index/ContentIndex.h"
#include "platform/index/IndexedSearch.h"

#include <QFile>
#include <QStringList>

#include <sqlite3.h>

#include <new>

namespace Orvanta {

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
    switch (CollectionFile::kindOf(localPath, displayPath)) {
    case CollectionFile::Kind::Jet:
        return openJet(localPath, displayPath);
    case CollectionFile::Kind::Sqlite:
        break;
    }
    return openSqlite(localPath, displayPath);
}

std::shared_ptr<Database> Database::openJet(const QString& localPath, const QString& displayPath)
{
    const FileIdentity identity = CollectionFile::requireIdentity(localPath, displayPath);

    SharedCopies& copies = SharedCopies::process();
    const auto lock = copies.lock();
    if (auto shared = copies.find(identity))
        return shared;

    const SharedCopies::CopySettings settings = copies.copySettings();
    JetConversion conversion(localPath, identity, settings.folder, settings.minimumCopySource, settings.limitBytes,
                             copies.counters());
    JetConversion::Result converted = conversion.run();
    CollectionFile::configure(converted.db);
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
    const FileIdentity identity = CollectionFile::requireIdentity(localPath, displayPath);
    SharedCopies& copies = SharedCopies::process();
    const auto lock = copies.lock();
    if (auto shared = copies.find(identity))
        return shared;

    sqlite3* db = CollectionFile::openSqlite(localPath, displayPath, identity.size);
    std::shared_ptr<Database> database(new Database(db, Format::Sqlite, displayPath));
    database->m_dataVersion = CollectionFile::dataVersion(db);
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
    const int version = CollectionFile::dataVersion(m_db);
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
    if (!SharedCopies::process().contentIndexUse() || m_indexWorker.pending())
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
    const uint64_t generation = SharedCopies::process().keptGeneration();
    if (m_lastRows && jetSql == m_lastSql && comparison == m_lastComparison
        && m_lastRowsGeneration == generation)
        return m_lastRows;
    m_lastRows.reset();
    // A folded statement is scanned with the connection's LIKEs folding for
    // as long as it runs (the copy may be made again meanwhile: m_db is read
    // at each run).
    const auto scan = [this, &jetSql, comparison] {
        if (comparison == LikeComparison::Exact)
            return ScannedStatement::run(m_db, jetSql, m_displayPath);
        setLikeVariants(m_db, true);
        struct Exact {
            sqlite3*& db;
            ~Exact() { setLikeVariants(db, false); }
        } exactAgain{m_db};
        return ScannedStatement::run(m_db, jetSql, m_displayPath);
    };
    std::shared_ptr<const ResultTable> rows;
    try {
        rows = runIndexed(jetSql, comparison);
        if (!rows)
            rows = scan();
        // The index may have failed on a damaged page and the scan answered
        // in its place: the rows are right, but the copy is damaged.
        if (damagedCopy())
            throw EngineErrors::errorFor(SQLITE_IOERR_DATA, {}, m_displayPath);
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
std::shared_ptr<const ResultTable> Database::runIndexed(const QString& jetSql, LikeComparison comparison)
{
    if (!SharedCopies::process().contentIndexUse())
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
    CollectionFile::configure(converted.db);
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
        || !CollectionFile::hasDocumentTable(m_db) || ContentIndex::state(m_db) == ContentIndex::State::Current)
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
        CollectionFile::configure(db);
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
