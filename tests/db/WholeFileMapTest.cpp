// Collections are read through one map of the whole file. The map is there,
// and a file that another program shrinks, rewrites or grows under an open
// connection is read as it is now, never from a map of what it was (which,
// for a file cut short, would end the program).
#include "platform/collection/Connection.h"
#include "platform/collection/Database.h"
#include "platform/sql/WholeFileMap.h"
#include "search/core/QueryComposer.h"

#include "db/DbTestSupport.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <unistd.h>

using namespace Orvanta;

namespace {

// The lengths of this process's mappings of `path`.
QList<qint64> mappingsOf(const QString& path)
{
    QFile maps(QStringLiteral("/proc/self/maps"));
    EXPECT_TRUE(maps.open(QIODevice::ReadOnly));
    const QByteArray canonical = QFile::encodeName(QFileInfo(path).canonicalFilePath());
    QList<qint64> out;
    for (const QByteArray& line : maps.readAll().split('\n')) {
        if (!line.endsWith(' ' + canonical))
            continue;
        const QList<QByteArray> range = line.left(line.indexOf(' ')).split('-');
        out << range[1].toLongLong(nullptr, 16) - range[0].toLongLong(nullptr, 16);
    }
    return out;
}

// Rows `first` to `first + count - 1`, each with a page or so of content.
void addRows(DbTest::SqliteFile& file, int first, int count)
{
    file.exec("BEGIN");
    const QByteArray content = QByteArray("甘草 ") + QByteArray(3000, 'x');
    for (int i = first; i < first + count; ++i) {
        const QByteArray subject = "doc" + QByteArray::number(i);
        file.insertText("INSERT INTO maindata(rowid, subject, htm, content, date) VALUES (?1, ?2, 'a.htm', ?3, '2001-01-01')",
                        i, subject.constData(), content.constData(), nullptr, nullptr, 2);
    }
    file.exec("COMMIT");
}

class WholeFileMap : public ::testing::Test {
protected:
    void SetUp() override
    {
        path = dir.filePath(QStringLiteral("jst.mdb"));
        DbTest::SqliteFile file(path);
        file.exec("PRAGMA page_size=4096");
        file.exec("CREATE TABLE maindata(subject TEXT, htm TEXT, content TEXT, date TEXT)");
        addRows(file, 1, 400);
        Database::dropSharedCopies();
        connection.open(DbTest::connectionStringFor(path));
    }
    void TearDown() override { Database::dropSharedCopies(); }

    qsizetype rowsOf(const QString& query)
    {
        return connection.database()->execute(composeQuery(query).sql)->rowCount();
    }

    QTemporaryDir dir;
    QString path;
    Connection connection;
};

TEST_F(WholeFileMap, ACollectionIsMappedWholeWhateverSQLitesOwnLimit)
{
    // A limit of one page stands for SQLite's 2 GB against a larger file.
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READONLY,
                              Orvanta::WholeFileMap::vfsName()),
              SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, "PRAGMA mmap_size=4096", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_stmt* st = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db, "SELECT count(*) FROM maindata WHERE content LIKE '%x%'", -1, &st, nullptr),
              SQLITE_OK);
    ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);
    EXPECT_EQ(sqlite3_column_int(st, 0), 400);
    const qint64 page = ::sysconf(_SC_PAGESIZE);
    const qint64 size = QFileInfo(path).size();
    EXPECT_TRUE(mappingsOf(path).contains((size + page - 1) / page * page))
        << "a file of " << size << " bytes, mapped as " << mappingsOf(path).size() << " pieces";
    sqlite3_finalize(st);
    sqlite3_close(db);
    // Closed: the map is gone with the file (the fixture's connection has
    // not read anything yet, so it maps nothing).
    EXPECT_TRUE(mappingsOf(path).isEmpty());
}

TEST_F(WholeFileMap, AFileChangedUnderAnOpenConnectionIsReadAsItIsNow)
{
    ASSERT_EQ(rowsOf(QStringLiteral("甘草")), 400);
    const qint64 before = QFileInfo(path).size();
    {
        // Cut short: most rows gone and the file rewritten smaller.
        DbTest::SqliteFile other(path);
        other.exec("DELETE FROM maindata WHERE rowid > 50");
        other.exec("VACUUM");
    }
    ASSERT_LT(QFileInfo(path).size(), before / 4);
    EXPECT_EQ(rowsOf(QStringLiteral("甘草")), 50);
    EXPECT_EQ(rowsOf(QString()), 50);
    {
        // Grown beyond what was ever mapped, and a row rewritten.
        DbTest::SqliteFile other(path);
        addRows(other, 1000, 600);
        other.exec("UPDATE maindata SET content = 'none' WHERE rowid = 7");
    }
    ASSERT_GT(QFileInfo(path).size(), before);
    EXPECT_EQ(rowsOf(QStringLiteral("甘草")), 649);
    EXPECT_EQ(rowsOf(QString()), 650);
}

} // namespace
