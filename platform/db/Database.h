// One opened data source behind Connection: an SQLite connection holding
// either the in-memory copy of a Jet file or a read-only SQLite file.
//
// In-memory copies are shared by every connection to the same file for as long
// as the file keeps its identity (size, modification time, inode); a changed
// file is read again on the next open. The copy can also be kept on disk (see
// ConvertedCopy.h) so that the next program start need not read the Jet file.
#pragma once

#include "platform/db/ResultTable.h"

#include <QString>

#include <memory>
#include <mutex>

struct sqlite3;

namespace Orvanta {

class Database {
public:
    enum class Format { Jet, Sqlite };

    // `localPath` is the file on this platform; `displayPath` the name as the
    // connection string wrote it, for messages. Throws Orvanta::Error.
    static std::shared_ptr<Database> open(const QString& localPath, const QString& displayPath);

    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    // Runs a statement in the Jet dialect and returns all its rows. Running the
    // statement that ran last again returns the same rows without running it:
    // the data behind a Database never changes. Throws Orvanta::Error.
    std::shared_ptr<const ResultTable> execute(const QString& jetSql);

    Format format() const { return m_format; }

    // Where converted copies of Jet files are kept between program starts;
    // ConvertedCopy::defaultFolder() unless set. An empty folder keeps none.
    static void setConvertedCopyFolder(const QString& folder);
    static QString convertedCopyFolder();

    // Forgets every shared in-memory copy (connections still open keep theirs).
    static void dropSharedCopies();

    // How Jet files were made available since the start, for tests and tools.
    struct LoadCounts {
        int readerLoads = 0;   // read through the Jet reader
        int copiesRestored = 0; // taken from the converted copy on disk
        int copiesStored = 0;  // converted copies written
        int sharedReuses = 0;  // an in-memory copy reused by a new connection
    };
    static LoadCounts loadCounts();

private:
    Database(sqlite3* db, Format format, const QString& displayPath);
    static std::shared_ptr<Database> openJet(const QString& localPath, const QString& displayPath);
    static std::shared_ptr<Database> openSqlite(const QString& localPath, const QString& displayPath);
    std::shared_ptr<const ResultTable> run(const QString& jetSql);

    sqlite3* m_db = nullptr;
    Format m_format;
    QString m_displayPath;
    std::mutex m_mutex;
    QString m_lastSql;
    std::shared_ptr<const ResultTable> m_lastRows;
};

} // namespace Orvanta
