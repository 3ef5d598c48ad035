// One opened data source behind Connection: an SQLite connection holding
// either a Jet file's converted copy or a read-only SQLite file.
//
// Both are shared by every connection to the same file for as long as the
// file keeps its identity (size, modification time, inode); a changed file is
// read (or opened) again on the next open. A Jet file's copy is kept on disk
// (see ConvertedCopy.h), so that the next program start need not read the Jet
// file, and is read from there as a collection is; a small file, or one whose
// copy cannot be written, is held in memory instead.
//
// A database that holds a current content index (ContentIndex.h) runs the
// statements the query composer writes through it (IndexedSearch.h), with the
// same rows in the same order as a scan; everything else is scanned.
#pragma once

#include "platform/collection/ContentIndexWorker.h"
#include "platform/collection/JetConversion.h"
#include "platform/collection/LoadCounters.h"
#include "platform/collection/SharedCopies.h"
#include "platform/sql/LikeComparison.h"
#include "platform/index/TitleStore.h"
#include "platform/jet/DamageReport.h"
#include "platform/sql/ResultTable.h"

#include <QString>

#include <memory>
#include <mutex>
#include <optional>

struct sqlite3;

namespace Orvanta {

class ContentIndex;

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
    // statement that ran last again returns the same rows without running it
    // while the data is unchanged. Throws Orvanta::Error.
    // A folded statement (LikeComparison::Variants) goes through the content
    // index too, over every form of its words (VariantGrams.h).
    std::shared_ptr<const ResultTable> execute(const QString& jetSql,
                                               LikeComparison comparison = LikeComparison::Exact);

    // For a program that writes the rows out once and ends: the rows of a
    // statement that the content index reads newest first, handed to
    // `visitor` as they are read, without a result table. The result is
    // neither kept nor handed back by execute(). Returns how many rows were
    // handed over, or -1 with none handed over when the statement is for
    // execute() instead. Throws Orvanta::Error; once rows have been handed
    // over, they stay so.
    qint64 visitIndexed(const QString& jetSql, TitleStore::RowVisitor& visitor,
                        LikeComparison comparison = LikeComparison::Exact);

    Format format() const { return m_format; }

    // What could not be read of a damaged Jet file that opened all the same;
    // empty for a sound file.
    const DamageReport& damageReport() const { return m_damage; }

    // The warning about that damage, the first time it is asked for on this
    // opening of the file; empty after that, and for a sound file. A file
    // read again (changed, or at the next start) warns again. The same
    // warning says, once, that the copy of a Jet file was kept without its
    // content index because the disk was full.
    QString takeDamageWarning();

    // True when the composed searches of this database go through its content
    // index: it holds a current one, and none of it has failed since.
    bool usesContentIndex();
    // Reads the state of the content index again, for a database whose index
    // was built (or dropped) on another connection after it was opened.
    void reloadContentIndex();

    // A Jet file's converted copy gets its content index on a worker thread
    // after it is first opened; searches scan until the index is complete and
    // then switch to it. This waits until that build (if any) has ended, for
    // programs that end right after their search. Stopping the program
    // meanwhile only means the next start builds it.
    void waitForContentIndex();
    static void waitForContentIndexes();
    // The nice value this database's last content index build ran at, once
    // one has started.
    std::optional<int> lastIndexBuildNice() const;

    // At what priority content indexes are built from now on: lowered by
    // default, for a window that must stay responsive meanwhile; the
    // program's own for a program that only waits for it.
    using IndexBuildPriority = SharedCopies::IndexBuildPriority;
    static void setIndexBuildPriority(IndexBuildPriority priority);

    // Whether searches may use content indexes at all (on by default); off,
    // every statement is scanned. For comparing the two and for measuring.
    static void setContentIndexUse(bool use);
    static bool contentIndexUse();

    // Makes every database run its next statement again instead of handing
    // back the rows it kept from the same statement (for honest repeats).
    static void forgetKeptResults();

    // Where converted copies of Jet files are kept between program starts;
    // ConvertedCopy::defaultFolder() unless set. An empty folder keeps none.
    // Files smaller than `minimumSourceBytes` get no copy: they are read about
    // as fast as a copy, and would only fill the folder. The folder is kept
    // within `limitBytes` (-1: ConvertedCopy::defaultLimit()).
    static constexpr qint64 DefaultMinimumCopySource = qint64(4) << 20;
    static void setConvertedCopyFolder(const QString& folder, qint64 minimumSourceBytes = DefaultMinimumCopySource,
                                       qint64 limitBytes = -1);
    static QString convertedCopyFolder();

    // Forgets every shared database (connections still open keep theirs).
    static void dropSharedCopies();

    // How Jet files were made available, for tests and tools.
    static LoadCounters& loadCounters();

private:
    Database(sqlite3* db, Format format, const QString& displayPath);
    static std::shared_ptr<Database> openJet(const QString& localPath, const QString& displayPath);
    static std::shared_ptr<Database> openSqlite(const QString& localPath, const QString& displayPath);
    std::shared_ptr<const ResultTable> runIndexed(const QString& jetSql,
                                                  LikeComparison comparison = LikeComparison::Exact);
    void forgetIfWritten();
    ContentIndex* contentIndex();
    bool remakeCopy();
    bool damagedCopy();
    void startContentIndex();

    sqlite3* m_db = nullptr;
    Format m_format;
    QString m_displayPath;
    DamageReport m_damage;
    bool m_damageWarned = false;
    enum class IndexWarning { None, Due, Given };
    IndexWarning m_indexWarning = IndexWarning::None;
    std::mutex m_mutex;
    int m_dataVersion = 0;
    QString m_lastSql;
    LikeComparison m_lastComparison = LikeComparison::Exact;
    std::shared_ptr<const ResultTable> m_lastRows;
    uint64_t m_lastRowsGeneration = 0;
    std::unique_ptr<ContentIndex> m_index;
    bool m_indexChecked = false;

    // A Jet file's: how it was converted (again when its copy is damaged),
    // and the converted copy on disk that holds it (empty when it is held in
    // memory).
    std::optional<JetConversion> m_conversion;
    QString m_copyPath;

    // Adds the content index to the copy on disk, after the first statement.
    ContentIndexWorker m_indexWorker;
};

} // namespace Orvanta
