#include "tools/orvanta-build/CollectionWriter.h"

#include "platform/Error.h"
#include "platform/collection/CollectionLayout.h"
#include "platform/index/ContentIndex.h"
#include "platform/collection/PageChecksums.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sqlite3.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace Orvanta::Build {
namespace {

// Makes what was written survive a crash before it is given its final name.
void syncPath(const QString& path, bool directory)
{
    const int fd = ::open(QFile::encodeName(path).constData(), (directory ? O_DIRECTORY : 0) | O_RDONLY);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}

} // namespace

ExistingStore inspectStore(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink())
        return ExistingStore::None;
    if (!info.isFile())
        return ExistingStore::Unknown;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return ExistingStore::Unknown;
    const QByteArray header = file.read(100);
    // Jet 3 and Jet 4 files name their engine right after the page signature.
    const QByteArray engine = header.mid(4, 15);
    if (engine == "Standard Jet DB" || engine == "Standard ACE DB")
        return ExistingStore::Jet;
    if (header.size() == 100 && header.startsWith(QByteArrayView("SQLite format 3\0", 16))) {
        const auto b = [&](int i) { return quint32(quint8(header[i])); };
        const quint32 applicationId = (b(68) << 24) | (b(69) << 16) | (b(70) << 8) | b(71);
        return applicationId == quint32(kApplicationId) ? ExistingStore::OurOwn : ExistingStore::ForeignSqlite;
    }
    return ExistingStore::Unknown;
}

CollectionWriter::CollectionWriter(const QString& folder, bool force, bool contentIndex)
{
    const QString dir = QDir(folder).absolutePath();
    m_target = dir + QStringLiteral("/jst.mdb");
    switch (inspectStore(m_target)) {
    case ExistingStore::None:
    case ExistingStore::OurOwn:
        break;
    case ExistingStore::Jet:
        if (!force)
            throw Error(ErrorCode::PermissionDenied,
                        QStringLiteral("%1 is a Jet database that this tool did not make; "
                                       "use --force to replace it.").arg(m_target));
        break;
    case ExistingStore::ForeignSqlite:
    case ExistingStore::Unknown:
        if (!force)
            throw Error(ErrorCode::PermissionDenied,
                        QStringLiteral("%1 exists and was not made by this tool; "
                                       "use --force to replace it.").arg(m_target));
        break;
    }
    if (QFileInfo(m_target).isDir())
        throw Error(ErrorCode::PathFileAccessError,
                    QStringLiteral("%1 is a folder.").arg(m_target));

    // Hidden and named by process, so that it can never be taken for a page
    // or for the collection itself.
    m_temporary = dir + QStringLiteral("/.jst.mdb.%1.tmp").arg(::getpid());
    QFile::remove(m_temporary);
    const int rc = sqlite3_open_v2(QFile::encodeName(m_temporary).constData(), &m_db,
                                   SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, PageChecksums::vfsName());
    if (rc != SQLITE_OK)
        fail(QStringLiteral("Cannot create %1").arg(m_temporary));

    // A half-written temporary file is thrown away, never repaired: no journal
    // and no syncing while it grows.
    if (!CollectionLayout::setPageSize(m_db))
        fail(QStringLiteral("Cannot set the page size of %1").arg(m_temporary));
    exec("PRAGMA journal_mode=OFF");
    exec("PRAGMA synchronous=OFF");
    exec("PRAGMA locking_mode=EXCLUSIVE");
    exec("PRAGMA cache_size=-65536");
    // Every page carries a checksum that the programs reading the collection
    // check (PageChecksums.h).
    if (!PageChecksums::prepareEmpty(m_db, CollectionLayout::BuiltApplicationId))
        fail(QStringLiteral("Cannot prepare %1").arg(m_temporary));
    exec("PRAGMA user_version=1");
    exec("CREATE TABLE maindata(subject TEXT, htm TEXT, content TEXT, date TEXT)");
    exec("BEGIN");
    if (sqlite3_prepare_v3(m_db, "INSERT INTO maindata(subject, htm, content, date) VALUES (?, ?, ?, ?)", -1,
                           SQLITE_PREPARE_PERSISTENT, &m_insert, nullptr) != SQLITE_OK)
        fail(QStringLiteral("Cannot prepare the insert"));
    // The content index is gathered run by run as the rows come in, on the
    // processors the writing leaves free (the writing is mostly the
    // system's: files and pages).
    if (contentIndex) {
        try {
            const int threads = ContentIndex::availableThreads();
            m_index = std::make_unique<ContentIndex::Builder>(m_db, std::max(1, threads - 1), threads);
        } catch (...) {
            discard();
            throw;
        }
    }
}

CollectionWriter::~CollectionWriter()
{
    if (!m_committed)
        discard();
}

void CollectionWriter::discard()
{
    m_index.reset(); // its threads stop before the connection closes
    if (m_insert)
        sqlite3_finalize(m_insert);
    m_insert = nullptr;
    if (m_db)
        sqlite3_close(m_db);
    m_db = nullptr;
    if (!m_temporary.isEmpty())
        QFile::remove(m_temporary);
}

void CollectionWriter::exec(const char* sql)
{
    if (sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr) != SQLITE_OK)
        fail(QStringLiteral("Statement failed (%1)").arg(QString::fromUtf8(sql)));
}

void CollectionWriter::fail(const QString& what)
{
    fail(what, m_db ? sqlite3_errcode(m_db) : SQLITE_ERROR, m_db ? QString::fromUtf8(sqlite3_errmsg(m_db)) : QString());
}

void CollectionWriter::fail(const QString& what, int code, const QString& detail)
{
    discard();
    throw Error(code == SQLITE_FULL ? ErrorCode::DiskFull : ErrorCode::PathFileAccessError,
                detail.isEmpty() ? what : what + QStringLiteral(": ") + detail);
}

void CollectionWriter::addRow(std::string_view subject, std::string_view htm, std::string_view content,
                              std::optional<std::string_view> date)
{
    int rc;
    qint64 rowid = 0;
    int code = SQLITE_OK;
    QString detail;
    {
        // The index's threads read the rows of finished runs meanwhile.
        std::unique_lock<std::mutex> lock;
        if (m_index)
            lock = std::unique_lock(m_index->connection());
        sqlite3_bind_text(m_insert, 1, subject.data(), int(subject.size()), SQLITE_STATIC);
        sqlite3_bind_text(m_insert, 2, htm.data(), int(htm.size()), SQLITE_STATIC);
        sqlite3_bind_text(m_insert, 3, content.data(), int(content.size()), SQLITE_STATIC);
        if (date)
            sqlite3_bind_text(m_insert, 4, date->data(), int(date->size()), SQLITE_STATIC);
        else
            sqlite3_bind_null(m_insert, 4);
        rc = sqlite3_step(m_insert);
        if (rc == SQLITE_DONE) {
            rowid = sqlite3_last_insert_rowid(m_db);
        } else {
            code = sqlite3_errcode(m_db);
            detail = QString::fromUtf8(sqlite3_errmsg(m_db));
        }
        sqlite3_reset(m_insert);
    }
    if (rc != SQLITE_DONE)
        fail(QStringLiteral("Cannot write %1").arg(m_temporary), code, detail);
    if (m_index)
        m_index->rowAdded(rowid);
}

void CollectionWriter::commit()
{
    // The content index answers searches without reading every document:
    // its last runs, then (with the index on date) its order and titles.
    if (m_index)
        m_index->gatherRemaining();
    if (!CollectionLayout::addNewestFirstIndex(m_db))
        fail(QStringLiteral("Cannot write %1").arg(m_temporary));
    if (m_index) {
        m_index->finish();
        m_index.reset();
    }
    exec("COMMIT");
    sqlite3_finalize(m_insert);
    m_insert = nullptr;
    if (sqlite3_close(m_db) != SQLITE_OK)
        fail(QStringLiteral("Cannot close %1").arg(m_temporary));
    m_db = nullptr;
    // Readable by everyone, like any other file of the install folder.
    QFile::setPermissions(m_temporary, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    syncPath(m_temporary, false);
    if (::rename(QFile::encodeName(m_temporary).constData(), QFile::encodeName(m_target).constData()) != 0) {
        const QString reason = QString::fromLocal8Bit(std::strerror(errno));
        discard();
        throw Error(ErrorCode::PathFileAccessError,
                    QStringLiteral("Cannot rename %1 to %2: %3").arg(m_temporary, m_target, reason));
    }
    syncPath(QFileInfo(m_target).absolutePath(), true);
    m_committed = true;
}

} // namespace Orvanta::Build
