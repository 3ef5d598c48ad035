// The Jet path end to end: the real jst.mdb through Connection/Recordset with
// the statements a search composes, the shared in-memory copy, its reload when
// the file changes, and the converted copy kept on disk.
#include "DbTestSupport.h"

#include "platform/Error.h"
#include "platform/collection/Connection.h"
#include "platform/collection/ConvertedCopy.h"
#include "platform/collection/Database.h"
#include "support/Fixtures.h"
#include "support/SalvageCheck.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <functional>

#include <fcntl.h>

#include <sys/stat.h>
#include <utime.h>

using namespace Orvanta;
using Orvanta::Test::errorNumberOf;

namespace {

struct ExpectedRow {
    QString subject, htm, content, date;
    bool contentNull = false;
};

std::vector<ExpectedRow> expectedRows(const QString& tsv)
{
    std::vector<ExpectedRow> rows;
    const QString text = QString::fromUtf8(Orvanta::Test::readFile(tsv));
    for (const QString& line : text.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QStringList f = line.split(QLatin1Char('\t'));
        if (f.size() < 4)
            continue;
        ExpectedRow r{f[0], f[1], f[2], f[3]};
        r.contentNull = f[2] == QLatin1String("\\N");
        rows.push_back(r);
    }
    return rows;
}

// Newest first, ties in storage order, rows without a date last.
QStringList newestFirst(std::vector<ExpectedRow> rows)
{
    std::stable_sort(rows.begin(), rows.end(), [](const ExpectedRow& a, const ExpectedRow& b) {
        if (a.date.isEmpty() || b.date.isEmpty())
            return !a.date.isEmpty() && b.date.isEmpty();
        return a.date > b.date;
    });
    QStringList out;
    for (const ExpectedRow& r : rows)
        out << r.subject;
    return out;
}

QString allWords(const QStringList& words)
{
    QString sql = QStringLiteral("select subject,htm from  maindata where 1=1");
    for (const QString& w : words)
        sql += QStringLiteral(" and content like '%") + w + QStringLiteral("%' ");
    return sql + QStringLiteral("order by [date] desc ");
}

QString anyWord(const QStringList& words)
{
    QString sql = QStringLiteral("select subject,htm from  maindata where 1=2");
    for (const QString& w : words)
        sql += QStringLiteral("  or content like '%") + w + QStringLiteral("%' ");
    return sql;
}

const QString mod1 = QStringLiteral("select subject,htm from  maindata order by date desc");

std::shared_ptr<const ResultTable> run(Connection& connection, const QString& sql)
{
    Recordset rs;
    rs.open(sql, connection, CursorType::Static, LockType::Optimistic);
    if (rs.atEnd())
        return rs.rows();
    rs.close();
    rs.open(sql, connection);
    return rs.rows();
}

QStringList subjects(const std::shared_ptr<const ResultTable>& rows)
{
    QStringList out;
    for (qsizetype r = 0; rows && r < rows->rowCount(); ++r)
        out << rows->cellText(r, 0);
    return out;
}

QString installConnectionString()
{
    return QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") + Orvanta::Test::fixture(QStringLiteral("jet4-install"))
        + QStringLiteral("\\jst.mdb;Persist Security Info=False");
}

class JetSource : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!Orvanta::Test::requireFixtures())
            GTEST_SKIP();
        Database::setConvertedCopyFolder(QString());
        rows = expectedRows(Orvanta::Test::fixture(QStringLiteral("jet4-install/expected-rows.tsv")));
        ASSERT_EQ(rows.size(), 16u);
        connection.open(installConnectionString());
    }
    std::vector<ExpectedRow> rows;
    Connection connection;
};

} // namespace

TEST_F(JetSource, EmptyQueryListsEveryRowNewestFirst)
{
    const auto result = run(connection, mod1);
    EXPECT_EQ(subjects(result), newestFirst(rows));
    ASSERT_EQ(result->columnCount(), 2);
    // The paths come back exactly as stored.
    QStringList htms;
    for (qsizetype r = 0; r < result->rowCount(); ++r)
        htms << result->cellText(r, 1);
    EXPECT_TRUE(htms.contains(QStringLiteral("\\data\\a011.htm")));
    EXPECT_TRUE(htms.contains(QStringLiteral("DATA\\A012.HTM")));
    EXPECT_EQ(subjects(run(connection, QStringLiteral("select subject,htm from  maindata where 1=1 order by [date] desc "))),
              newestFirst(rows));
}

TEST_F(JetSource, EmptyWordSkipsOnlyTheNullContent)
{
    std::vector<ExpectedRow> withContent;
    for (const ExpectedRow& r : rows) {
        if (!r.contentNull)
            withContent.push_back(r);
    }
    ASSERT_EQ(withContent.size(), rows.size() - 1);
    EXPECT_EQ(subjects(run(connection, allWords({QString()}))), newestFirst(withContent));
    EXPECT_EQ(subjects(run(connection, anyWord({QString(), QStringLiteral("人參")}))).size(), qsizetype(withContent.size()));
}

TEST_F(JetSource, WordsAsTheSearchComposesThem)
{
    // Every row whose content holds all the words, newest first, from the expected rows.
    auto expect = [&](const QStringList& words, Qt::CaseSensitivity cs = Qt::CaseSensitive) {
        std::vector<ExpectedRow> hits;
        for (const ExpectedRow& r : rows) {
            bool all = !r.contentNull;
            for (const QString& w : words)
                all = all && r.content.contains(w, cs);
            if (all)
                hits.push_back(r);
        }
        return newestFirst(hits);
    };
    EXPECT_EQ(subjects(run(connection, allWords({QStringLiteral("人參")}))), expect({QStringLiteral("人參")}));
    EXPECT_EQ(subjects(run(connection, allWords({QStringLiteral("人參"), QStringLiteral("甘草")}))),
              expect({QStringLiteral("人參"), QStringLiteral("甘草")}));
    EXPECT_EQ(subjects(run(connection, allWords({QStringLiteral("龍骨尾")}))), QStringList{QStringLiteral("長文")});
    EXPECT_EQ(subjects(run(connection, allWords({QStringLiteral("it'&chr(39)&'s")}))), expect({QStringLiteral("it's")}));
    EXPECT_EQ(subjects(run(connection, allWords({QStringLiteral("ginseng")}))),
              expect({QStringLiteral("Ginseng")}, Qt::CaseInsensitive));
    EXPECT_FALSE(expect({QStringLiteral("Ginseng")}).isEmpty());
    EXPECT_EQ(subjects(run(connection, allWords({QStringLiteral("100%")}))), expect({QStringLiteral("100")}));
    EXPECT_EQ(subjects(run(connection, allWords({QStringLiteral("純_品")}))), expect({QStringLiteral("純_品")}));
    // The ideographic space is part of the word; the plain space is not it.
    EXPECT_EQ(subjects(run(connection, allWords({QStringLiteral("人參　甘草")}))), expect({QStringLiteral("人參　甘草")}));
    EXPECT_EQ(subjects(run(connection, allWords({QStringLiteral("人參 甘草")}))), expect({QStringLiteral("人參 甘草")}));
    EXPECT_EQ(subjects(run(connection, allWords({QStringLiteral("人参")}))), expect({QStringLiteral("人参")}));
}

TEST_F(JetSource, AnyWordKeepsStorageOrder)
{
    QStringList expected;
    for (const ExpectedRow& r : rows) {
        if (!r.contentNull && (r.content.contains(QStringLiteral("人參")) || r.content.contains(QStringLiteral("甘草"))))
            expected << r.subject;
    }
    EXPECT_EQ(subjects(run(connection, anyWord({QStringLiteral("人參"), QStringLiteral("甘草")}))), expected);
    EXPECT_TRUE(run(connection, anyWord({}))->rowCount() == 0);
}

TEST_F(JetSource, LongMemoComesWhole)
{
    Recordset rs;
    rs.open(QStringLiteral("select content from maindata where htm = 'data\\long.htm'"), connection);
    ASSERT_EQ(rs.rows()->rowCount(), 1);
    const QString content = rs.rows()->cellText(0, 0);
    EXPECT_TRUE(content.endsWith(QStringLiteral("龍骨尾")));
    const auto it = std::find_if(rows.begin(), rows.end(), [](const ExpectedRow& r) { return r.htm == QLatin1String("data\\long.htm"); });
    ASSERT_NE(it, rows.end());
    EXPECT_EQ(content, it->content);
}

TEST_F(JetSource, MissingTable)
{
    Recordset rs;
    try {
        rs.open(QStringLiteral("select subject,htm from  nothere order by date desc"), connection);
        ADD_FAILURE() << "no error";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), ErrorCode::TableNotFound);
    }
}

namespace {

void replaceFile(const QString& from, const QString& to)
{
    // Write beside and rename, as a copy tool would: a new inode.
    const QString temp = to + QStringLiteral(".new");
    QFile::remove(temp);
    ASSERT_TRUE(QFile::copy(from, temp));
    QFile::setPermissions(temp, QFile::ReadOwner | QFile::WriteOwner);
    ASSERT_EQ(::rename(QFile::encodeName(temp).constData(), QFile::encodeName(to).constData()), 0);
}

} // namespace

TEST(JetCopies, ReusedWhileUnchangedReloadedWhenChanged)
{
    if (!Orvanta::Test::requireFixtures())
        return;
    Database::setConvertedCopyFolder(QString());
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("jst.mdb"));
    replaceFile(Orvanta::Test::fixture(QStringLiteral("jet4-dates.mdb")), path);
    const QString cs = DbTest::connectionStringFor(path);

    const auto start = Database::loadCounters().counts();
    {
        Connection c;
        c.open(cs);
        EXPECT_EQ(errorNumberOf([&] { run(c, mod1); }), ErrorCode::TableNotFound);
        EXPECT_GT(run(c, QStringLiteral("select * from DateTest"))->rowCount(), 0);
    }
    {
        Connection c;
        c.open(cs);
        EXPECT_GT(run(c, QStringLiteral("select * from DateTest"))->rowCount(), 0);
    }
    auto now = Database::loadCounters().counts();
    EXPECT_EQ(now.readerLoads - start.readerLoads, 1);
    EXPECT_GE(now.sharedReuses - start.sharedReuses, 1);

    replaceFile(Orvanta::Test::fixture(QStringLiteral("jet4-install/jst.mdb")), path);
    {
        Connection c;
        c.open(cs);
        EXPECT_EQ(run(c, mod1)->rowCount(), 16);
        EXPECT_EQ(errorNumberOf([&] { run(c, QStringLiteral("select * from DateTest")); }), ErrorCode::TableNotFound);
    }
    EXPECT_EQ(Database::loadCounters().counts().readerLoads - start.readerLoads, 2);

    // The same file with only a new modification time is read again too.
    struct timespec times[2] = {{0, UTIME_OMIT}, {1000000000, 123456789}};
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);
    {
        Connection c;
        c.open(cs);
        EXPECT_EQ(run(c, mod1)->rowCount(), 16);
    }
    EXPECT_EQ(Database::loadCounters().counts().readerLoads - start.readerLoads, 3);
}

TEST(JetCopies, ConvertedCopyOnDiskServesTheNextStart)
{
    if (!Orvanta::Test::requireFixtures())
        return;
    QTemporaryDir dir;
    QTemporaryDir cache;
    ASSERT_TRUE(dir.isValid() && cache.isValid());
    Database::setConvertedCopyFolder(cache.path(), 0);
    const QString path = dir.filePath(QStringLiteral("jst.mdb"));
    replaceFile(Orvanta::Test::fixture(QStringLiteral("jet4-install/jst.mdb")), path);
    const QString cs = DbTest::connectionStringFor(path);

    const auto start = Database::loadCounters().counts();
    QStringList first;
    {
        Connection c;
        c.open(cs);
        first = subjects(run(c, mod1));
    }
    EXPECT_EQ(Database::loadCounters().counts().copiesStored - start.copiesStored, 1);
    EXPECT_EQ(QDir(cache.path()).entryList(QDir::Files).size(), 1);

    Database::dropSharedCopies(); // as if the program started again
    {
        Connection c;
        c.open(cs);
        EXPECT_EQ(subjects(run(c, mod1)), first);
        EXPECT_EQ(run(c, allWords({QStringLiteral("龍骨尾")}))->rowCount(), 1);
    }
    auto now = Database::loadCounters().counts();
    EXPECT_EQ(now.copiesRestored - start.copiesRestored, 1);
    EXPECT_EQ(now.readerLoads - start.readerLoads, 1);

    // Another file at the same path: the old copy must not serve it.
    Database::dropSharedCopies();
    replaceFile(Orvanta::Test::fixture(QStringLiteral("jet4-dates.mdb")), path);
    {
        Connection c;
        c.open(cs);
        EXPECT_EQ(errorNumberOf([&] { run(c, mod1); }), ErrorCode::TableNotFound);
    }
    now = Database::loadCounters().counts();
    EXPECT_EQ(now.readerLoads - start.readerLoads, 2);
    EXPECT_EQ(QDir(cache.path()).entryList(QDir::Files).size(), 1); // the old copy was replaced

    // A damaged copy is ignored, and the file is read again.
    Database::dropSharedCopies();
    const QStringList files = QDir(cache.path()).entryList(QDir::Files);
    ASSERT_EQ(files.size(), 1);
    QFile damaged(cache.filePath(files.first()));
    ASSERT_TRUE(damaged.open(QIODevice::ReadWrite));
    damaged.resize(damaged.size() / 2);
    damaged.close();
    {
        Connection c;
        c.open(cs);
        EXPECT_GT(run(c, QStringLiteral("select * from DateTest"))->rowCount(), 0);
    }
    EXPECT_EQ(Database::loadCounters().counts().readerLoads - start.readerLoads, 3);

    // Small files get no copy by default.
    Database::setConvertedCopyFolder(cache.path());
    Database::dropSharedCopies();
    QDir(cache.path()).removeRecursively();
    replaceFile(Orvanta::Test::fixture(QStringLiteral("jet4-install/jst.mdb")), path);
    {
        Connection c;
        c.open(cs);
        EXPECT_EQ(run(c, mod1)->rowCount(), 16);
    }
    EXPECT_TRUE(QDir(cache.path()).entryList(QDir::Files).isEmpty());
    Database::setConvertedCopyFolder(QString());
}

// A damaged file opens with what could be read, and says so once per opening:
// again after the next start (from the converted copy), never for the sound
// file that replaces it.
TEST(JetCopies, DamageWarningOncePerOpeningAndKeptWithTheCopy)
{
    if (!Orvanta::Test::requireFixtures())
        return;
    QTemporaryDir dir;
    QTemporaryDir cache;
    ASSERT_TRUE(dir.isValid() && cache.isValid());
    Database::setConvertedCopyFolder(cache.path(), 0);
    const QString sound = Orvanta::Test::fixture(QStringLiteral("jet4-install/jst.mdb"));
    const QByteArray bytes = Orvanta::Test::withLastLongValuePageZeroed(Orvanta::Test::readFile(sound));
    ASSERT_FALSE(bytes.isEmpty());
    const QString damaged = Orvanta::Test::writeFile(dir.filePath(QStringLiteral("damaged.mdb")), bytes);
    const QString path = dir.filePath(QStringLiteral("jst.mdb"));
    replaceFile(damaged, path);
    const QString cs = DbTest::connectionStringFor(path);

    auto open = [&] {
        Connection c;
        c.open(cs);
        EXPECT_EQ(run(c, mod1)->rowCount(), 16);
        return c;
    };
    const auto start = Database::loadCounters().counts();
    QString warning = open().database()->takeDamageWarning();
    EXPECT_TRUE(warning.contains(QStringLiteral("1 document is affected"))) << warning.toStdString();
    EXPECT_TRUE(warning.contains(QStringLiteral("長文"))) << warning.toStdString();
    EXPECT_TRUE(warning.contains(path.section(QLatin1Char('/'), -1))) << warning.toStdString();
    // The words at the end of the long memo are lost with its page: the row
    // is listed, but no longer found by them.
    {
        Connection c = open();
        EXPECT_TRUE(c.database()->takeDamageWarning().isEmpty());
        EXPECT_FALSE(subjects(run(c, allWords({QStringLiteral("龍骨尾")}))).contains(QStringLiteral("長文")));
        EXPECT_TRUE(subjects(run(c, mod1)).contains(QStringLiteral("長文")));
    }

    // The next start takes the copy, with its report.
    Database::dropSharedCopies();
    const Connection next = open();
    EXPECT_EQ(next.database()->takeDamageWarning(), warning);
    EXPECT_EQ(Database::loadCounters().counts().copiesRestored - start.copiesRestored, 1);
    EXPECT_EQ(Database::loadCounters().counts().readerLoads - start.readerLoads, 1);

    // The sound file in its place is read anew and has nothing to report.
    replaceFile(sound, path);
    const Connection repaired = open();
    EXPECT_TRUE(repaired.database()->damageReport().isEmpty());
    EXPECT_TRUE(repaired.database()->takeDamageWarning().isEmpty());
    EXPECT_EQ(Database::loadCounters().counts().readerLoads - start.readerLoads, 2);
    Database::setConvertedCopyFolder(QString());
}

TEST(JetCopies, TheSourceFileIsNeverWritten)
{
    if (!Orvanta::Test::requireFixtures())
        return;
    Database::setConvertedCopyFolder(QString());
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("jst.mdb"));
    replaceFile(Orvanta::Test::fixture(QStringLiteral("jet4-install/jst.mdb")), path);
    const QByteArray before = Orvanta::Test::readFile(path);
    struct stat st1 {};
    ::stat(QFile::encodeName(path).constData(), &st1);
    Database::dropSharedCopies();
    Connection c;
    c.open(DbTest::connectionStringFor(path));
    run(c, mod1);
    run(c, allWords({QStringLiteral("人參")}));
    struct stat st2 {};
    ::stat(QFile::encodeName(path).constData(), &st2);
    EXPECT_EQ(Orvanta::Test::readFile(path), before);
    EXPECT_EQ(st1.st_mtim.tv_sec, st2.st_mtim.tv_sec);
    EXPECT_EQ(st1.st_mtim.tv_nsec, st2.st_mtim.tv_nsec);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("jst.mdb")});
}

TEST(JetCopies, DamagedJetFileIsAnErrorNotACrash)
{
    if (!Orvanta::Test::requireFixtures())
        return;
    Database::setConvertedCopyFolder(QString());
    QTemporaryDir dir;
    QByteArray bytes = Orvanta::Test::readFile(Orvanta::Test::fixture(QStringLiteral("jet4-install/jst.mdb")));
    ASSERT_GT(bytes.size(), 65536);
    // The signature page intact, the pages after it overwritten.
    for (qsizetype i = 4096; i < bytes.size(); ++i)
        bytes[i] = char((i * 2654435761u) >> 13);
    const QString path = Orvanta::Test::writeFile(dir.filePath(QStringLiteral("jst.mdb")), bytes);
    try {
        Connection c;
        c.open(DbTest::connectionStringFor(path));
        run(c, mod1);
        ADD_FAILURE() << "a damaged file was read without complaint";
    } catch (const Error& e) {
        EXPECT_FALSE(e.text().isEmpty());
        EXPECT_NE(e.number(), 0);
    }
}
