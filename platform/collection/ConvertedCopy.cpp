#include "platform/collection/ConvertedCopy.h"

#include "platform/Error.h"
#include "platform/collection/CollectionLayout.h"
#include "platform/index/ContentIndex.h"
#include "platform/collection/PageChecksums.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStorageInfo>
#include <QUrl>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <sqlite3.h>

namespace Orvanta::ConvertedCopy {

namespace {

constexpr quint32 ApplicationId = CollectionLayout::CopyApplicationId;

const char* const IdentityTable = "orvanta_converted_copy";

// What the copy's name stands for: the whole identity of the file it was
// made from (its change time included) and what made it.
QString fullKey(const FileIdentity& source, const QString& converter)
{
    return QStringLiteral("orvanta converted copy %1\n").arg(FormatVersion) + source.key() + QLatin1Char('\n')
        + converter;
}

// What the copy holds of the same: all but the times and the inode, which
// may move while the content stays (a chmod, a file restored from a
// backup). A copy is only ever given the name of an identity whose file it
// was made from, or whose content was found the same (adopt()).
QString storedKey(const FileIdentity& source, const QString& converter)
{
    return QStringLiteral("orvanta converted copy %1\n%2\n%3\n").arg(FormatVersion).arg(source.canonicalPath).arg(source.size)
        + converter;
}

QString hashHex(const QString& text, int length)
{
    return QString::fromLatin1(
        QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Sha256).toHex().left(length));
}

// Copies of one source file share the part before the dash, so older ones
// can be found.
QString prefixFor(const FileIdentity& source)
{
    return hashHex(source.canonicalPath, 16) + QLatin1Char('-');
}

QString fileNameFor(const FileIdentity& source, const QString& converter)
{
    return prefixFor(source) + hashHex(fullKey(source, converter), 32) + QStringLiteral(".sqlite");
}

// ".NAME.PID.tmp"
QString temporaryNameFor(const QString& finalName, qint64 pid)
{
    return QLatin1Char('.') + finalName + QLatin1Char('.') + QString::number(pid) + QStringLiteral(".tmp");
}

quint32 bigEndian(const QByteArray& bytes, int at, int count)
{
    quint32 v = 0;
    for (int i = 0; i < count; ++i)
        v = (v << 8) | quint8(bytes[at + i]);
    return v;
}

// What the file's first 100 bytes and its size must say of a whole copy.
// A file cut short (a full disk, a crash) or zeroed fails here already.
bool headerFits(const QByteArray& header, qint64 size)
{
    if (header.size() < 100 || !header.startsWith(QByteArrayView("SQLite format 3\0", 16)))
        return false;
    quint32 pageSize = bigEndian(header, 16, 2);
    if (pageSize == 1)
        pageSize = 65536;
    const quint32 pageCount = bigEndian(header, 28, 4);
    // The page count is only kept up to date when these two agree.
    const bool countValid = bigEndian(header, 24, 4) == bigEndian(header, 92, 4);
    return pageSize == quint32(CollectionLayout::PageSize) && countValid && pageCount > 0
        && qint64(pageSize) * pageCount == size && bigEndian(header, 68, 4) == ApplicationId
        && bigEndian(header, 60, 4) == quint32(FormatVersion)
        && PageChecksums::carriesChecksums(reinterpret_cast<const unsigned char*>(header.constData()), int(header.size()));
}

// A read-only connection that takes the file as never changing: no locks, no
// look for a journal. A copy is never written once it has its name (a new one
// replaces it by rename), so that holds.
sqlite3* openImmutable(const QString& path)
{
    const QByteArray uri =
        "file:" + QUrl::toPercentEncoding(QFileInfo(path).absoluteFilePath(), "/") + "?immutable=1";
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(uri.constData(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI | SQLITE_OPEN_NOMUTEX,
                        PageChecksums::vfsName())
        != SQLITE_OK) {
        sqlite3_close(db);
        return nullptr;
    }
    return db;
}

// The copy's key, the path of the file it was made from and the hash of that
// file's content, as it holds them.
bool readIdentity(sqlite3* db, QString* key, QString* source, QString* content = nullptr)
{
    sqlite3_stmt* stmt = nullptr;
    const QByteArray query = QByteArray("SELECT key, source, content FROM ") + IdentityTable;
    bool found = false;
    if (sqlite3_prepare_v2(db, query.constData(), -1, &stmt, nullptr) == SQLITE_OK
        && sqlite3_step(stmt) == SQLITE_ROW) {
        auto text = [&](int column) {
            const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(stmt, column));
            return p ? QString::fromUtf8(p, sqlite3_column_bytes(stmt, column)) : QString();
        };
        *key = text(0);
        *source = text(1);
        if (content)
            *content = text(2);
        found = true;
    }
    sqlite3_finalize(stmt);
    return found;
}

} // namespace

QString sourceOf(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || !headerFits(file.read(100), file.size()))
        return {};
    file.close();
    sqlite3* db = openImmutable(path);
    if (!db)
        return {};
    QString key, source;
    if (!readIdentity(db, &key, &source))
        source.clear();
    sqlite3_close(db);
    return source;
}

qint64 defaultLimit()
{
    bool ok = false;
    const qint64 limit = qEnvironmentVariable("ORVANTA_CACHE_LIMIT").toLongLong(&ok);
    return ok && limit >= 0 ? limit : DefaultLimitBytes;
}

QString defaultFolder()
{
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    return base.isEmpty() ? QString() : base + QStringLiteral("/orvanta");
}

QString pathFor(const QString& folder, const FileIdentity& source, const QString& converter)
{
    return folder + QLatin1Char('/') + fileNameFor(source, converter);
}

sqlite3* open(const QString& folder, const FileIdentity& source, const QString& converter)
{
    if (folder.isEmpty())
        return nullptr;
    const QString path = pathFor(folder, source, converter);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return nullptr;
    const bool fits = headerFits(file.read(100), file.size());
    file.close();
    sqlite3* db = fits ? openImmutable(path) : nullptr;
    QString key, from;
    if (!db || !readIdentity(db, &key, &from) || key != storedKey(source, converter)) {
        sqlite3_close(db);
        QFile::remove(path);
        return nullptr;
    }
    // The whole file is mapped: pages are read as the searches touch them,
    // straight from the system's file cache.
    const QByteArray mmap = "PRAGMA mmap_size=" + QByteArray::number(std::min<qint64>(QFileInfo(path).size(), 0x7fff0000));
    sqlite3_exec(db, mmap.constData(), nullptr, nullptr, nullptr);
    // Marks it used, for the choice of copies to keep.
    ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), nullptr, 0);
    return db;
}

sqlite3* adopt(const QString& folder, const FileIdentity& source, const QString& converter, const QString& localPath)
{
    if (folder.isEmpty())
        return nullptr;
    const QString wanted = fileNameFor(source, converter);
    std::optional<QString> hash;
    for (const QFileInfo& entry : QDir(folder).entryInfoList({prefixFor(source) + QStringLiteral("*.sqlite")}, QDir::Files)) {
        if (entry.fileName() == wanted)
            continue;
        QFile file(entry.filePath());
        if (!file.open(QIODevice::ReadOnly) || !headerFits(file.read(100), file.size()))
            continue;
        file.close();
        sqlite3* db = openImmutable(entry.filePath());
        QString key, from, content;
        const bool read = db && readIdentity(db, &key, &from, &content);
        sqlite3_close(db);
        if (!read || key != storedKey(source, converter) || content.isEmpty())
            continue;
        if (!hash) {
            hash = contentHashOf(localPath);
            // The file must not have changed while it was read.
            const std::optional<FileIdentity> after = identityOf(localPath);
            if (!hash || !after || *after != source)
                return nullptr;
        }
        if (*hash != content)
            continue;
        if (::rename(QFile::encodeName(entry.filePath()).constData(),
                     QFile::encodeName(folder + QLatin1Char('/') + wanted).constData())
            != 0)
            return nullptr;
        return open(folder, source, converter);
    }
    return nullptr;
}

Writer::Writer(const QString& folder, const FileIdentity& source, const QString& converter)
{
    if (folder.isEmpty() || !QDir().mkpath(folder))
        return;
    const QString name = fileNameFor(source, converter);
    m_folder = folder;
    m_key = storedKey(source, converter);
    m_source = source.canonicalPath;
    m_final = folder + QLatin1Char('/') + name;
    m_temporary = folder + QLatin1Char('/') + temporaryNameFor(name, ::getpid());
    QFile::remove(m_temporary);
    if (sqlite3_open_v2(QFile::encodeName(m_temporary).constData(), &m_db,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, PageChecksums::vfsName())
        != SQLITE_OK) {
        discard();
        return;
    }
    // A temporary file that is not complete is thrown away, never repaired:
    // no journal and no syncing while it grows. Written pages go to the
    // file, not the program's memory: a small cache is enough for appending
    // rows and sorting the newest-first index.
    const char* setup = "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF; PRAGMA locking_mode=EXCLUSIVE;"
                        "PRAGMA cache_size=-8192";
    if (!CollectionLayout::setPageSize(m_db) || sqlite3_exec(m_db, setup, nullptr, nullptr, nullptr) != SQLITE_OK
        || !PageChecksums::prepareEmpty(m_db, ApplicationId))
        discard();
}

Writer::~Writer()
{
    discard();
}

void Writer::discard()
{
    if (m_db)
        sqlite3_close(m_db);
    m_db = nullptr;
    if (!m_temporary.isEmpty())
        QFile::remove(m_temporary);
    m_temporary.clear();
}

bool Writer::commit()
{
    if (!m_db)
        return false;
    const QByteArray create = QByteArray("CREATE TABLE ") + IdentityTable + "(key TEXT, source TEXT, content TEXT)";
    const QByteArray insert = QByteArray("INSERT INTO ") + IdentityTable + " VALUES(?, ?, ?)";
    const QByteArray version = "PRAGMA user_version=" + QByteArray::number(FormatVersion);
    const QByteArray key = m_key.toUtf8();
    const QByteArray source = m_source.toUtf8();
    // The file held still while it was read (its identity is the same after
    // as before), so this is the content the copy was made from.
    const QByteArray content = contentHashOf(m_source).value_or(QString()).toUtf8();
    bool ok = sqlite3_exec(m_db, create.constData(), nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_stmt* stmt = nullptr;
    if (ok && sqlite3_prepare_v2(m_db, insert.constData(), -1, &stmt, nullptr) == SQLITE_OK) {
        sqlite3_bind_text(stmt, 1, key.constData(), int(key.size()), SQLITE_STATIC);
        sqlite3_bind_text(stmt, 2, source.constData(), int(source.size()), SQLITE_STATIC);
        sqlite3_bind_text(stmt, 3, content.constData(), int(content.size()), SQLITE_STATIC);
        ok = sqlite3_step(stmt) == SQLITE_DONE;
    } else {
        ok = false;
    }
    sqlite3_finalize(stmt);
    ok = ok && sqlite3_exec(m_db, version.constData(), nullptr, nullptr, nullptr) == SQLITE_OK;
    const int closed = sqlite3_close(m_db);
    m_db = nullptr;
    if (!ok || closed != SQLITE_OK
        || ::rename(QFile::encodeName(m_temporary).constData(), QFile::encodeName(m_final).constData()) != 0) {
        discard();
        return false;
    }
    m_temporary.clear();
    return true;
}

IndexOutcome addContentIndex(const QString& path, const std::function<bool()>& keepGoing)
{
    const QFileInfo info(path);
    const QString temporary = info.path() + QLatin1Char('/')
        + temporaryNameFor(info.fileName() + QStringLiteral(".index"), ::getpid());
    QFile::remove(temporary);
    // Whether the folder has room for the file the index is built in (a
    // copy of the copy, grown by the index).
    auto noRoom = [&] {
        const QStorageInfo storage(info.path());
        return storage.isValid() && storage.bytesAvailable() < info.size();
    };
    if (!QFile::copy(path, temporary)) {
        QFile::remove(temporary);
        return noRoom() ? IndexOutcome::NoRoom : IndexOutcome::Failed;
    }
    // Pages read through a mapping would count as this program's memory, the
    // whole file by the end: the build reads them into a small cache instead.
    sqlite3* db = nullptr;
    bool built = false;
    bool full = false;
    if (sqlite3_open_v2(QFile::encodeName(temporary).constData(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX,
                        PageChecksums::vfsName())
            == SQLITE_OK
        && sqlite3_exec(db,
                        "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF; PRAGMA locking_mode=EXCLUSIVE;"
                        "PRAGMA cache_size=-2048; PRAGMA mmap_size=0",
                        nullptr, nullptr, nullptr)
            == SQLITE_OK) {
        try {
            built = ContentIndex::build(db, [&](qint64, qint64) { return keepGoing(); });
        } catch (const Error& e) {
            built = false; // a full disk, the folder gone: the copy stays as it is
            full = e.number() == ErrorCode::DiskFull;
        } catch (const std::bad_alloc&) {
            built = false;
        }
    }
    const bool closed = sqlite3_close(db) == SQLITE_OK;
    QFile file(temporary);
    const bool whole = file.open(QIODevice::ReadOnly) && headerFits(file.read(100), file.size());
    file.close();
    if (built && closed && whole && keepGoing()
        && ::rename(QFile::encodeName(temporary).constData(), QFile::encodeName(path).constData()) == 0)
        return IndexOutcome::Added;
    QFile::remove(temporary);
    if (!keepGoing())
        return IndexOutcome::Stopped;
    return full ? IndexOutcome::NoRoom : IndexOutcome::Failed;
}

} // namespace Orvanta::ConvertedCopy
