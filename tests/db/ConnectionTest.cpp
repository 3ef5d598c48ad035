// Connection and Recordset over SQLite files made here: errors, ordering,
// read-only access, long statements, repeated statements.
#include "DbTestSupport.h"

#include "platform/Error.h"
#include "platform/collection/Connection.h"
#include "platform/collection/Database.h"
#include "platform/sql/LikeMatcher.h"
#include "support/Fixtures.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include <algorithm>
#include <random>

#include <functional>

#include <sys/stat.h>

using namespace Orvanta;
using Orvanta::Test::errorNumberOf;

namespace {

const QString mod1 = QStringLiteral("select subject,htm from  maindata order by date desc");

// Six rows in this storage order; subjects out of alphabetical order and
// indexes that a planner could be tempted to scan instead of the table.
void writeOrderingDatabase(const QString& path)
{
    DbTest::SqliteFile file(path);
    file.exec("CREATE TABLE maindata(ID INTEGER PRIMARY KEY, subject TEXT, htm TEXT, content TEXT, date TEXT);"
              "CREATE INDEX bySubject ON maindata(subject, htm, content);"
              "CREATE INDEX byDate ON maindata(date);"
              "CREATE INDEX byContent ON maindata(content);");
    struct Row {
        const char* subject;
        const char* content;
        const char* date;
    };
    const Row rows[] = {
        {"delta", "x 甲", "2001-01-01 00:00:00"},
        {"alpha", "x 乙", nullptr},
        {"echo", "x 甲 乙", "2005-01-01 00:00:00"},
        {"bravo", nullptr, "2001-01-01 00:00:00"},
        {"foxtrot", "", "2005-01-01 00:00:00"},
        {"charlie", "x Ginseng", "1644-01-01 00:00:00"},
    };
    int id = 0;
    for (const Row& r : rows) {
        ++id;
        const QByteArray htm = QStringLiteral("data\\%1.htm").arg(r.subject).toUtf8();
        file.insertText("INSERT INTO maindata(ID, subject, htm, content, date) VALUES(?1, ?2, ?3, ?4, ?5)", id,
                        r.subject, htm.constData(), r.content, r.date, 4);
    }
    file.exec("ANALYZE");
}

QStringList column(const std::shared_ptr<const ResultTable>& rows, int c = 0)
{
    QStringList out;
    for (qsizetype r = 0; rows && r < rows->rowCount(); ++r)
        out << rows->cellText(r, c);
    return out;
}

QStringList search(Connection& connection, const QString& sql)
{
    Recordset rs;
    rs.open(sql, connection, CursorType::Static, LockType::Optimistic);
    if (rs.atEnd())
        return {};
    rs.close();
    rs.open(sql, connection);
    return column(rs.rows());
}

class SqliteSource : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        path = dir.filePath(QStringLiteral("jst.sqlite"));
        writeOrderingDatabase(path);
        connection.open(DbTest::connectionStringFor(path));
    }
    QTemporaryDir dir;
    QString path;
    Connection connection;
};

} // namespace

TEST_F(SqliteSource, NewestFirstTiesInStorageOrderNullDatesLast)
{
    EXPECT_EQ(search(connection, mod1),
              (QStringList{"echo", "foxtrot", "delta", "bravo", "charlie", "alpha"}));
    EXPECT_EQ(search(connection, QStringLiteral("select subject,htm from  maindata where 1=1 order by [date] desc ")),
              (QStringList{"echo", "foxtrot", "delta", "bravo", "charlie", "alpha"}));
}

TEST_F(SqliteSource, WithoutOrderRowsComeInStorageOrder)
{
    EXPECT_EQ(search(connection, QStringLiteral("select subject,htm from  maindata where 1=2  or content like '%x%' ")),
              (QStringList{"delta", "alpha", "echo", "charlie"}));
    EXPECT_EQ(search(connection, QStringLiteral("select subject,htm from  maindata where 1=2  or content like '%%' ")),
              (QStringList{"delta", "alpha", "echo", "foxtrot", "charlie"}));
}

TEST_F(SqliteSource, EmptyPatternSkipsNullContentOnly)
{
    EXPECT_EQ(search(connection, QStringLiteral("select subject,htm from  maindata where 1=1 and content like '%%' "
                                                "order by [date] desc ")),
              (QStringList{"echo", "foxtrot", "delta", "charlie", "alpha"}));
}

TEST_F(SqliteSource, ColumnsAndNulls)
{
    Recordset rs;
    rs.open(QStringLiteral("select subject, content, date from maindata"), connection);
    const auto rows = rs.rows();
    ASSERT_EQ(rows->rowCount(), 6);
    EXPECT_EQ(rows->columnNames(), (QStringList{"subject", "content", "date"}));
    EXPECT_TRUE(rows->isNull(1, 2));
    EXPECT_TRUE(rows->isNull(3, 1));
    EXPECT_FALSE(rows->isNull(4, 1));
    EXPECT_EQ(rows->cellText(4, 1), QString());
    EXPECT_EQ(rows->cellText(5, 1), QStringLiteral("x Ginseng"));
}

TEST_F(SqliteSource, TheSecondRunOfAStatementIsTheFirstOnesRows)
{
    const QString sql = QStringLiteral("select subject,htm from  maindata where 1=1 and content like '%甲%' order by [date] desc ");
    Recordset rs;
    rs.open(sql, connection, CursorType::Static, LockType::Optimistic);
    ASSERT_FALSE(rs.atEnd());
    const auto first = rs.rows();
    rs.close();
    EXPECT_TRUE(rs.atEnd());
    rs.open(sql, connection);
    EXPECT_EQ(rs.rows().get(), first.get());
    EXPECT_EQ(column(rs.rows()), (QStringList{"echo", "delta"}));
}

TEST_F(SqliteSource, ApostropheInAPattern)
{
    DbTest::SqliteFile(path).exec("UPDATE maindata SET content = 'root, it''s sweet' WHERE subject = 'alpha'");
    Connection fresh;
    fresh.open(DbTest::connectionStringFor(path));
    EXPECT_EQ(search(fresh, QStringLiteral("select subject,htm from  maindata where 1=1 and content like "
                                           "'%IT'&chr(39)&'S%' order by [date] desc ")),
              QStringList{"alpha"});
}

TEST_F(SqliteSource, FortyThousandConditions)
{
    auto compose = [](const QString& base, const QString& head, const QStringList& words, const QString& tail) {
        QString sql = base;
        for (const QString& w : words)
            sql += head + w + QStringLiteral("%' ");
        return sql + tail;
    };
    const QString allBase = QStringLiteral("select subject,htm from  maindata where 1=1");
    const QString allHead = QStringLiteral(" and content like '%");
    const QString order = QStringLiteral("order by [date] desc ");
    QStringList words;
    for (int i = 0; i < 40000; ++i)
        words << (i % 3 == 0 ? QStringLiteral("甲") : i % 3 == 1 ? QString() : QStringLiteral("X"));
    EXPECT_EQ(search(connection, compose(allBase, allHead, words, order)), (QStringList{"echo", "delta"}));

    const QString anyBase = QStringLiteral("select subject,htm from  maindata where 1=2");
    const QString anyHead = QStringLiteral("  or content like '%");
    QStringList none;
    for (int i = 0; i < 39999; ++i)
        none << QStringLiteral("不在%1").arg(i);
    none << QStringLiteral("ginseng");
    EXPECT_EQ(search(connection, compose(anyBase, anyHead, none, QString())), QStringList{"charlie"});

    // Hundreds of different patterns that all mean "holds 甲" (tested in one
    // pass): the NULL content stays out in both modes.
    QStringList same;
    for (int i = 0; i < 300; ++i)
        same << QString(i % 50, QLatin1Char('%')) + QStringLiteral("甲") + QString(i / 50, QLatin1Char('%'));
    EXPECT_EQ(search(connection, compose(allBase, allHead, same, order)), (QStringList{"echo", "delta"}));
    EXPECT_EQ(search(connection, compose(anyBase, anyHead, same, QString())), (QStringList{"delta", "echo"}));
    same << QStringLiteral("乙");
    EXPECT_EQ(search(connection, compose(allBase, allHead, same, order)), QStringList{"echo"});
    same << QString();
    EXPECT_EQ(search(connection, compose(anyBase, anyHead, same, QString())),
              (QStringList{"delta", "alpha", "echo", "foxtrot", "charlie"}));
}

TEST_F(SqliteSource, ErrorsOfStatements)
{
    struct Case {
        QString sql;
        int number;
    };
    const Case cases[] = {
        {QStringLiteral("select subject,htm from  nothere order by date desc"), ErrorCode::TableNotFound},
        {QStringLiteral("select subject,htm from  maindata where"), ErrorCode::StatementRejected},
        {QStringLiteral("select nosuchcolumn from maindata"), ErrorCode::StatementRejected},
        {QStringLiteral("select subject from maindata where content like '%x"), ErrorCode::StatementRejected},
        {QStringLiteral("delete from maindata"), ErrorCode::StatementRejected},
        {QStringLiteral("select 1; select 2"), ErrorCode::StatementRejected},
        {QString(), ErrorCode::StatementRejected},
    };
    for (const Case& c : cases) {
        QString text;
        EXPECT_EQ(errorNumberOf([&] {
                      Recordset rs;
                      rs.open(c.sql, connection);
                  }, &text),
                  c.number)
            << c.sql.toStdString();
        EXPECT_FALSE(text.isEmpty());
    }
    EXPECT_EQ(search(connection, mod1).size(), 6);
}

TEST(Connection, ErrorsOfDataSources)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString missing = dir.filePath(QStringLiteral("missing.mdb"));
    const QString folder = dir.filePath(QStringLiteral("folder.mdb"));
    QDir().mkpath(folder);
    const QString empty = Orvanta::Test::writeFile(dir.filePath(QStringLiteral("empty.mdb")), {});
    QByteArray noise(8192, '\0');
    for (int i = 0; i < noise.size(); ++i)
        noise[i] = char((i * 7919 + 13) % 251);
    const QString random = Orvanta::Test::writeFile(dir.filePath(QStringLiteral("random.mdb")), noise);
    QByteArray damaged = QByteArray("SQLite format 3", 16) + noise;
    const QString badSqlite = Orvanta::Test::writeFile(dir.filePath(QStringLiteral("damaged.mdb")), damaged);

    struct Case {
        QString connectionString;
        int number;
        QString textContains;
    };
    const Case cases[] = {
        {QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Persist Security Info=False"), ErrorCode::ConnectionString, {}},
        {QString(), ErrorCode::ConnectionString, {}},
        {QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=;"), ErrorCode::ConnectionString, {}},
        {DbTest::connectionStringFor(missing), ErrorCode::DatabaseFileNotFound,
         QStringLiteral("Could not find file '") + dir.path() + QStringLiteral("/missing.mdb'.")},
        {DbTest::connectionStringFor(folder), ErrorCode::UnrecognizedFormat, QStringLiteral("folder")},
        {DbTest::connectionStringFor(empty), ErrorCode::UnrecognizedFormat, QStringLiteral("empty")},
        {DbTest::connectionStringFor(random), ErrorCode::UnrecognizedFormat,
         QStringLiteral("Unrecognized database format")},
        {DbTest::connectionStringFor(badSqlite), ErrorCode::DatabaseDamaged, QStringLiteral("damaged.mdb")},
    };
    for (const Case& c : cases) {
        QString text;
        Connection connection;
        EXPECT_EQ(errorNumberOf([&] { connection.open(c.connectionString); }, &text), c.number)
            << c.connectionString.toStdString();
        EXPECT_TRUE(text.contains(c.textContains)) << text.toStdString();
        EXPECT_FALSE(connection.isOpen());
    }
}

TEST(Connection, ClosedConnectionRefusesStatements)
{
    Connection connection;
    Recordset rs;
    EXPECT_NE(errorNumberOf([&] { rs.open(mod1, connection); }), 0);
    EXPECT_TRUE(rs.atEnd());
}

TEST(Connection, BackslashesSeparateFoldersAndLetterCaseIsResolved)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QDir().mkpath(dir.filePath(QStringLiteral("Install Folder/Sub")));
    writeOrderingDatabase(dir.filePath(QStringLiteral("Install Folder/Sub/jst.mdb")));
    const QString connectionString = QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") + dir.path()
        + QStringLiteral("\\install folder\\SUB\\JST.MDB;Persist Security Info=False");
    Connection connection;
    connection.open(connectionString);
    EXPECT_EQ(search(connection, mod1).size(), 6);
}

TEST(Connection, KeyNamesIgnoreCaseAndSpaces)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("jst.mdb"));
    writeOrderingDatabase(path);
    Connection connection;
    connection.open(QStringLiteral("Persist Security Info=False; data source =") + path);
    EXPECT_EQ(search(connection, mod1).size(), 6);
}

namespace {

struct Snapshot {
    QByteArray bytes;
    long long mtimeNs = 0;
    QStringList entries;
    bool operator==(const Snapshot&) const = default;
};

Snapshot snapshot(const QString& path)
{
    Snapshot s;
    s.bytes = Orvanta::Test::readFile(path);
    struct stat st {};
    ::stat(path.toUtf8().constData(), &st);
    s.mtimeNs = (long long)st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec;
    s.entries = QFileInfo(path).dir().entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    return s;
}

} // namespace

TEST(Connection, NothingIsWrittenToTheDataSource)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("jst.mdb"));
    writeOrderingDatabase(path);
    const Snapshot before = snapshot(path);
    for (int i = 0; i < 3; ++i) {
        Connection connection;
        connection.open(DbTest::connectionStringFor(path));
        search(connection, mod1);
        search(connection, QStringLiteral("select subject,htm from  maindata where 1=2  or content like '%x%' "));
        Recordset rs;
        EXPECT_NE(errorNumberOf([&] { rs.open(QStringLiteral("delete from maindata"), connection); }), 0);
        EXPECT_NE(errorNumberOf([&] { rs.open(QStringLiteral("create table x(a)"), connection); }), 0);
    }
    EXPECT_TRUE(snapshot(path) == before);
}

TEST_F(SqliteSource, OpenFileIsSharedAndNeverServesStaleRows)
{
    const auto before = Database::loadCounters().counts();
    Connection second;
    second.open(DbTest::connectionStringFor(path));
    EXPECT_EQ(second.database().get(), connection.database().get());
    EXPECT_EQ(Database::loadCounters().counts().sharedReuses - before.sharedReuses, 1);

    const QString sql = QStringLiteral("select subject,htm from  maindata where 1=1 and content like '%甲%' order by [date] desc ");
    EXPECT_EQ(search(connection, sql), (QStringList{"echo", "delta"}));
    DbTest::SqliteFile(path).exec("UPDATE maindata SET content = 'x 甲' WHERE subject = 'alpha'");
    // The same statement on the connection that ran it: new rows, not the kept ones.
    EXPECT_EQ(search(connection, sql), (QStringList{"echo", "delta", "alpha"}));
    Connection third;
    third.open(DbTest::connectionStringFor(path));
    EXPECT_EQ(search(third, sql), (QStringList{"echo", "delta", "alpha"}));
}

// Words full of the characters that matter to the translation, composed as
// the search composes them, must find exactly the rows whose content holds
// them (LIKE checked on its own elsewhere).
TEST(Connection, ComposedStatementsFindWhatTheWordsSay)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("words.sqlite"));
    const QStringList pieces{QStringLiteral("'"), QStringLiteral("&"), QStringLiteral("chr(39)"), QStringLiteral("--"),
                             QStringLiteral(";"), QStringLiteral("\""), QStringLiteral("["), QStringLiteral("]"),
                             QStringLiteral("|"), QStringLiteral("\\"), QStringLiteral("人參"), QStringLiteral("a"),
                             QStringLiteral("order by"), QStringLiteral("/*"), QStringLiteral("("), QStringLiteral(")")};
    std::mt19937 random(5);
    auto make = [&](int maxPieces) {
        QString s;
        const int n = 1 + int(random() % unsigned(maxPieces));
        for (int i = 0; i < n; ++i)
            s += pieces[int(random() % unsigned(pieces.size()))];
        return s;
    };
    QStringList contents;
    for (int i = 0; i < 60; ++i)
        contents << make(12);
    {
        DbTest::SqliteFile file(path);
        file.exec("CREATE TABLE maindata(subject TEXT, htm TEXT, content TEXT, date TEXT)");
        for (int i = 0; i < contents.size(); ++i) {
            const QByteArray subject = QByteArray::number(i);
            const QByteArray content = contents[i].toUtf8();
            file.insertText("INSERT INTO maindata VALUES(?2, 'x', ?3, printf('%04d', ?1))", i, subject.constData(), content.constData(),
                            nullptr, nullptr, 2);
        }
    }
    Connection connection;
    connection.open(DbTest::connectionStringFor(path));
    for (int round = 0; round < 200; ++round) {
        // Few words, or many (a chain long enough to be rebalanced and grouped).
        const int count = round % 10 == 0 ? 100 + int(random() % 50) : 1 + int(random() % 3);
        QStringList words;
        for (int i = 0; i < count; ++i)
            words << make(2);
        for (const bool all : {true, false}) {
            QString sql = all ? QStringLiteral("select subject,htm from  maindata where 1=1")
                              : QStringLiteral("select subject,htm from  maindata where 1=2");
            for (QString w : words) {
                w.replace(QLatin1Char('\''), QStringLiteral("'&chr(39)&'"));
                sql += (all ? QStringLiteral(" and content like '%") : QStringLiteral("  or content like '%")) + w
                    + QStringLiteral("%' ");
            }
            if (all)
                sql += QStringLiteral("order by [date] desc ");
            QStringList expected;
            for (int i = 0; i < contents.size(); ++i) {
                bool any = false, every = true;
                for (const QString& w : words) {
                    const bool hit = LikeMatcher::match(("%" + w + "%").toStdString(), contents[i].toStdString());
                    any = any || hit;
                    every = every && hit;
                }
                if (all ? every : any)
                    expected << QString::number(i);
            }
            if (all)
                std::reverse(expected.begin(), expected.end()); // dates are the row numbers
            EXPECT_EQ(search(connection, sql), expected) << sql.left(300).toStdString();
        }
    }
}
