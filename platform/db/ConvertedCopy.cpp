#include "platform/db/ConvertedCopy.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>

#include <sqlite3.h>

namespace Orvanta::ConvertedCopy {

namespace {

const char* const IdentityTable = "orvanta_converted_copy_identity";

QString fullKey(const FileIdentity& source, const QString& converter)
{
    return QStringLiteral("orvanta converted copy %1\n").arg(FormatVersion) + source.key() + QLatin1Char('\n')
        + converter;
}

QString hashHex(const QString& text, int length)
{
    return QString::fromLatin1(
               QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Sha256).toHex().left(length));
}

// Copies of one source file share the prefix, so older ones can be found.
QString prefixFor(const FileIdentity& source)
{
    return hashHex(source.canonicalPath, 16) + QLatin1Char('-');
}

QString fileNameFor(const FileIdentity& source, const QString& converter)
{
    return prefixFor(source) + hashHex(fullKey(source, converter), 32) + QStringLiteral(".sqlite");
}

uint32_t bigEndian(const unsigned char* p, int bytes)
{
    uint32_t v = 0;
    for (int i = 0; i < bytes; ++i)
        v = (v << 8) | p[i];
    return v;
}

} // namespace

QString defaultFolder()
{
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    return base.isEmpty() ? QString() : base + QStringLiteral("/orvanta");
}

sqlite3* restore(const QString& folder, const FileIdentity& source, const QString& converter)
{
    if (folder.isEmpty())
        return nullptr;
    const QString path = folder + QLatin1Char('/') + fileNameFor(source, converter);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return nullptr;
    // Marks it used, for the choice of copies to keep.
    ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), nullptr, 0);
    const qint64 size = file.size();
    if (size < 512)
        return nullptr;
    auto* buffer = static_cast<unsigned char*>(sqlite3_malloc64(sqlite3_uint64(size)));
    if (!buffer)
        return nullptr;
    if (file.read(reinterpret_cast<char*>(buffer), size) != size) {
        sqlite3_free(buffer);
        return nullptr;
    }
    // A cut file (full disk, crash of another writer) must not pass as a copy.
    uint32_t pageSize = bigEndian(buffer + 16, 2);
    if (pageSize == 1)
        pageSize = 65536;
    const uint32_t pageCount = bigEndian(buffer + 28, 4);
    if (memcmp(buffer, "SQLite format 3", 16) != 0 || qint64(pageSize) * pageCount != size) {
        sqlite3_free(buffer);
        return nullptr;
    }

    sqlite3* db = nullptr;
    if (sqlite3_open_v2(":memory:", &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr)
        != SQLITE_OK) {
        sqlite3_close(db);
        sqlite3_free(buffer);
        return nullptr;
    }
    // From here SQLite owns the buffer.
    if (sqlite3_deserialize(db, "main", buffer, size, size,
                            SQLITE_DESERIALIZE_FREEONCLOSE | SQLITE_DESERIALIZE_RESIZEABLE)
        != SQLITE_OK) {
        sqlite3_close(db);
        return nullptr;
    }
    bool valid = false;
    sqlite3_stmt* stmt = nullptr;
    const QByteArray query = QByteArray("SELECT key FROM ") + IdentityTable;
    if (sqlite3_prepare_v2(db, query.constData(), -1, &stmt, nullptr) == SQLITE_OK
        && sqlite3_step(stmt) == SQLITE_ROW) {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
        valid = text && QString::fromUtf8(text, sqlite3_column_bytes(stmt, 0)) == fullKey(source, converter);
    }
    sqlite3_finalize(stmt);
    const QByteArray drop = QByteArray("DROP TABLE ") + IdentityTable;
    if (!valid || sqlite3_exec(db, drop.constData(), nullptr, nullptr, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        return nullptr;
    }
    return db;
}

bool store(const QString& folder, const FileIdentity& source, const QString& converter, sqlite3* db)
{
    if (folder.isEmpty() || !QDir().mkpath(folder))
        return false;

    const QByteArray create = QByteArray("CREATE TABLE ") + IdentityTable + "(key TEXT)";
    if (sqlite3_exec(db, create.constData(), nullptr, nullptr, nullptr) != SQLITE_OK)
        return false;
    bool ok = false;
    sqlite3_stmt* stmt = nullptr;
    const QByteArray insert = QByteArray("INSERT INTO ") + IdentityTable + " VALUES(?)";
    const QByteArray key = fullKey(source, converter).toUtf8();
    if (sqlite3_prepare_v2(db, insert.constData(), -1, &stmt, nullptr) == SQLITE_OK) {
        sqlite3_bind_text(stmt, 1, key.constData(), int(key.size()), SQLITE_TRANSIENT);
        ok = sqlite3_step(stmt) == SQLITE_DONE;
    }
    sqlite3_finalize(stmt);

    sqlite3_int64 size = 0;
    unsigned char* bytes = ok ? sqlite3_serialize(db, "main", &size, 0) : nullptr;
    const QByteArray drop = QByteArray("DROP TABLE ") + IdentityTable;
    sqlite3_exec(db, drop.constData(), nullptr, nullptr, nullptr);
    if (!bytes)
        return false;

    const QString name = fileNameFor(source, converter);
    QSaveFile file(folder + QLatin1Char('/') + name);
    ok = file.open(QIODevice::WriteOnly) && file.write(reinterpret_cast<const char*>(bytes), size) == size
        && file.commit();
    sqlite3_free(bytes);
    if (!ok)
        return false;

    // Copies of earlier versions of the same file are of no further use, and
    // of other files only the most recently used are worth their space.
    const QString prefix = prefixFor(source);
    QDir dir(folder);
    const QFileInfoList entries =
        dir.entryInfoList({QStringLiteral("*.sqlite")}, QDir::Files, QDir::Time); // newest first
    int kept = 0;
    for (const QFileInfo& entry : entries) {
        if (entry.fileName() == name)
            continue;
        if (entry.fileName().startsWith(prefix) || ++kept >= MaxCopies)
            dir.remove(entry.fileName());
    }
    return true;
}

} // namespace Orvanta::ConvertedCopy
