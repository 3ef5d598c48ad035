// The cache of converted copies of Jet files under faults: copies damaged,
// cut, foreign or of an older version are made again; two programs converting
// the same file at once, a program killed midway, a full disk and a folder
// that cannot be written all leave the next open correct. Each search through
// a copy is compared row for row with the same search of the Jet file read
// into memory.
#include "CopyTestSupport.h"
#include "DbTestSupport.h"

#include "platform/collection/Connection.h"
#include "platform/collection/ConvertedCopy.h"
#include "platform/collection/Database.h"
#include "support/Fixtures.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <cerrno>
#include <csignal>
#include <functional>

#include <sys/resource.h>
#include <unistd.h>

using namespace Orvanta;

namespace {

const QString everyDocument = QStringLiteral("select subject,htm from  maindata order by date desc");
const QString twoWords = QStringLiteral(
    "select subject,htm from  maindata where 1=1 and content like '%人參%'  and content like '%甘草%' order by [date] desc ");

QStringList cells(const QString& connectionString, const QString& sql)
{
    return DbTest::resultCells(connectionString, sql);
}

QStringList copies(const QString& folder)
{
    return DbTest::copiesIn(folder);
}

QStringList temporaries(const QString& folder)
{
    return DbTest::temporariesIn(folder);
}

// A Jet file of its own (a new inode) in a scratch folder, and the rows its
// searches give when it is read straight into memory.
class CopyFixture : public ::testing::Test {
protected:
    void prepare(const QString& fixture, const QString& subfolder = QStringLiteral("collection"))
    {
        ASSERT_TRUE(scratch.isValid());
        cache = scratch.filePath(QStringLiteral("cache/orvanta"));
        jet = scratch.filePath(subfolder + QStringLiteral("/jst.mdb"));
        ASSERT_TRUE(QDir().mkpath(QFileInfo(jet).path()));
        ASSERT_TRUE(QFile::copy(Orvanta::Test::fixture(fixture), jet));
        connectionString = DbTest::connectionStringFor(jet);
        Database::setConvertedCopyFolder(QString());
        Database::dropSharedCopies();
        expectedAll = cells(connectionString, everyDocument);
        expectedWords = cells(connectionString, twoWords);
        ASSERT_FALSE(expectedAll.isEmpty());
        Database::dropSharedCopies();
        Database::setConvertedCopyFolder(cache, 0);
    }

    void TearDown() override
    {
        Database::setConvertedCopyFolder(QString());
        Database::setIndexBuildPriority(Database::IndexBuildPriority::Lowered);
        Database::dropSharedCopies();
    }

    // A new program start: both searches, the word search first, so that it
    // is the one that meets damage in the table's pages; then the content
    // index is added to the copy, and the searches run again through it.
    void expectCorrectRows()
    {
        Database::dropSharedCopies();
        EXPECT_EQ(cells(connectionString, twoWords), expectedWords);
        EXPECT_EQ(cells(connectionString, everyDocument), expectedAll);
        Database::waitForContentIndexes();
        Database::forgetKeptResults();
        EXPECT_EQ(cells(connectionString, twoWords), expectedWords);
        EXPECT_EQ(cells(connectionString, everyDocument), expectedAll);
    }

    QString onlyCopy()
    {
        const QStringList files = copies(cache);
        EXPECT_EQ(files.size(), 1) << files.join(QLatin1Char(' ')).toStdString();
        return files.isEmpty() ? QString() : cache + QLatin1Char('/') + files.first();
    }

    QTemporaryDir scratch;
    QString cache;
    QString jet;
    QString connectionString;
    QStringList expectedAll;
    QStringList expectedWords;
};

void overwrite(const QString& path, qint64 at, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_TRUE(file.seek(at));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

qint64 rootPageOf(const QString& path, const char* table)
{
    sqlite3* db = nullptr;
    sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* stmt = nullptr;
    qint64 page = 0;
    if (sqlite3_prepare_v2(db, "SELECT rootpage FROM sqlite_schema WHERE name = ?", -1, &stmt, nullptr) == SQLITE_OK) {
        sqlite3_bind_text(stmt, 1, table, -1, SQLITE_STATIC);
        if (sqlite3_step(stmt) == SQLITE_ROW)
            page = sqlite3_column_int64(stmt, 0);
    }
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return page;
}

struct Damage {
    const char* name;
    std::function<void(const QString& copy)> apply;
};

const Damage damages[] = {
    {"cut by one page", [](const QString& copy) { QFile::resize(copy, QFileInfo(copy).size() - 65536); }},
    {"cut to nothing", [](const QString& copy) { QFile::resize(copy, 0); }},
    {"header zeroed", [](const QString& copy) { overwrite(copy, 0, QByteArray(4096, '\0')); }},
    {"table pages zeroed",
     [](const QString& copy) {
         const qint64 page = rootPageOf(copy, "maindata");
         ASSERT_GT(page, 1);
         overwrite(copy, (page - 1) * 65536, QByteArray(65536, '\0'));
     }},
    {"older version",
     [](const QString& copy) {
         DbTest::SqliteFile file(copy);
         file.exec("PRAGMA user_version=1");
     }},
    {"another file's copy",
     [](const QString& copy) {
         DbTest::SqliteFile file(copy);
         file.exec("UPDATE orvanta_converted_copy SET key = key || 'x'");
     }},
    {"a collection, not a copy",
     [](const QString& copy) {
         QFile::remove(copy);
         DbTest::SqliteFile file(copy);
         file.exec("PRAGMA page_size=65536; CREATE TABLE maindata(subject TEXT, htm TEXT, content TEXT, date TEXT);"
                   "INSERT INTO maindata VALUES('x', 'x.htm', '人參甘草', '2020-01-01 00:00:00');");
     }},
};

class BadCopy : public CopyFixture, public ::testing::WithParamInterface<Damage> {};

} // namespace

TEST_P(BadCopy, IsMadeAgainNeverServed)
{
    if (!Orvanta::Test::requireFixtures())
        return;
    prepare(QStringLiteral("jet4-install/jst.mdb"));
    expectCorrectRows();
    const QString copy = onlyCopy();
    ASSERT_FALSE(copy.isEmpty());
    GetParam().apply(copy);

    const auto before = Database::loadCounters().counts();
    expectCorrectRows();
    const auto after = Database::loadCounters().counts();
    EXPECT_EQ(after.readerLoads - before.readerLoads, 1);
    EXPECT_EQ(after.copiesStored - before.copiesStored, 1);

    // The copy made again serves the next start.
    expectCorrectRows();
    EXPECT_EQ(Database::loadCounters().counts().readerLoads, after.readerLoads);
    EXPECT_EQ(onlyCopy(), copy);
}

INSTANTIATE_TEST_SUITE_P(Damages, BadCopy, ::testing::ValuesIn(damages),
                         [](const auto& info) {
                             std::string name = info.param.name;
                             for (char& c : name)
                                 c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                             return name;
                         });

using CopyFaults = CopyFixture;

TEST_F(CopyFaults, FullDiskLeavesNoCopyAndTheRowsRight)
{
    if (!Orvanta::Test::requireFixtures())
        return;
    prepare(QStringLiteral("tcm-sample/jst.mdb"));
    // No file may grow past three pages: writing the copy fails midway as on
    // a full disk, and the file is read into memory instead.
    rlimit saved {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 3 * 65536;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const auto before = Database::loadCounters().counts();
    Database::dropSharedCopies();
    const QStringList all = cells(connectionString, everyDocument);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);

    EXPECT_EQ(all, expectedAll);
    EXPECT_EQ(Database::loadCounters().counts().copiesStored, before.copiesStored);
    EXPECT_TRUE(copies(cache).isEmpty());
    EXPECT_TRUE(temporaries(cache).isEmpty());
    // With room again, the next start makes the copy.
    expectCorrectRows();
    onlyCopy();
}

TEST_F(CopyFaults, FolderThatCannotBeWritten)
{
    if (!Orvanta::Test::requireFixtures())
        return;
    prepare(QStringLiteral("jet4-install/jst.mdb"));
    // A file where the folder should be: nothing can be made below it (a
    // read-only folder, which the root user could still write, fails the same
    // way).
    const QString blocker = scratch.filePath(QStringLiteral("blocker"));
    Orvanta::Test::writeFile(blocker, "not a folder");
    Database::setConvertedCopyFolder(blocker + QStringLiteral("/orvanta"), 0);
    const auto before = Database::loadCounters().counts();
    expectCorrectRows();
    EXPECT_EQ(Database::loadCounters().counts().copiesStored, before.copiesStored);
    EXPECT_TRUE(QFileInfo(blocker).isFile());
}

TEST_F(CopyFaults, SizeLimitAndFilesThatAreGone)
{
    if (!Orvanta::Test::requireFixtures())
        return;
    prepare(QStringLiteral("jet4-install/jst.mdb"));
    expectCorrectRows();
    // A copy grows by its content index, which a worker adds after the first
    // search: sizes are taken, and limits applied, once it is there.
    Database::waitForContentIndexes();
    const qint64 copySize = QFileInfo(onlyCopy()).size();
    ASSERT_GT(copySize, 0);

    // Three more files, with room for two copies: the least recently used go.
    Database::setConvertedCopyFolder(cache, 0, copySize * 2 + copySize / 2);
    QStringList others;
    for (int i = 0; i < 3; ++i) {
        const QString path = scratch.filePath(QStringLiteral("other%1/jst.mdb").arg(i));
        QDir().mkpath(QFileInfo(path).path());
        ASSERT_TRUE(QFile::copy(Orvanta::Test::fixture(QStringLiteral("jet4-install/jst.mdb")), path));
        others << DbTest::connectionStringFor(path);
        // Distinct use times, to the resolution the folder keeps.
        QThread::msleep(20);
        EXPECT_EQ(cells(others.last(), everyDocument), expectedAll);
        Database::waitForContentIndexes();
    }
    EXPECT_EQ(copies(cache).size(), 2);
    const auto before = Database::loadCounters().counts();
    Database::dropSharedCopies();
    cells(others[2], everyDocument);
    cells(others[1], everyDocument);
    EXPECT_EQ(Database::loadCounters().counts().copiesRestored - before.copiesRestored, 2);

    // A file that no longer exists loses its copy at the next open of another.
    ASSERT_TRUE(QFile::remove(QFileInfo(jet).path() + QStringLiteral("/../other1/jst.mdb")));
    Database::dropSharedCopies();
    cells(others[2], everyDocument);
    EXPECT_EQ(copies(cache).size(), 1);

    // A copy larger than the whole limit serves its program but is not kept.
    Database::setConvertedCopyFolder(cache, 0, copySize - 1);
    expectCorrectRows();
    EXPECT_TRUE(copies(cache).isEmpty());
}

namespace {

QProcess* startQuery(const QString& folder, const QString& cacheHome)
{
    auto* process = new QProcess;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CACHE_HOME"), cacheHome);
    env.remove(QStringLiteral("ORVANTA_CACHE_LIMIT"));
    process->setProcessEnvironment(env);
    process->start(Orvanta::Test::binDir() + QStringLiteral("/orvanta-query"), {QStringLiteral("--dir"), folder, QString()});
    return process;
}

} // namespace

TEST_F(CopyFaults, TwoProgramsConvertingAtOnce)
{
    if (!Orvanta::Test::requireFixtures())
        return;
    prepare(QStringLiteral("tcm-sample/jst.mdb"));
    const QString cacheHome = QFileInfo(cache).path();
    std::unique_ptr<QProcess> first(startQuery(QFileInfo(jet).path(), cacheHome));
    std::unique_ptr<QProcess> second(startQuery(QFileInfo(jet).path(), cacheHome));
    // Each lists every document from its copy, then goes on to add the
    // content index; both are stopped hard while they do.
    for (QProcess* p : {first.get(), second.get()}) {
        ASSERT_TRUE(p->waitForStarted());
        QByteArray listed;
        QElapsedTimer clock;
        clock.start();
        while (listed.count('\n') < expectedAll.size() && clock.elapsed() < 60000
               && (p->state() == QProcess::Running || p->bytesAvailable() > 0)) {
            p->waitForReadyRead(100);
            listed += p->readAllStandardOutput();
        }
        ::kill(pid_t(p->processId()), SIGKILL);
        p->waitForFinished();
        // Numbered rows: subject and path, as the engine gave them.
        QStringList rows;
        for (const QString& line : QString::fromUtf8(listed).split(QLatin1Char('\n'), Qt::SkipEmptyParts))
            rows << line.section(QLatin1Char('\t'), 1);
        EXPECT_EQ(rows, expectedAll);
    }

    const auto before = Database::loadCounters().counts();
    expectCorrectRows();
    const auto after = Database::loadCounters().counts();
    EXPECT_EQ(after.readerLoads, before.readerLoads);
    EXPECT_EQ(after.copiesRestored - before.copiesRestored, 1);
    Database::dropSharedCopies(); // stops this program's own index build
    onlyCopy();
    EXPECT_TRUE(temporaries(cache).isEmpty());
}

TEST_F(CopyFaults, ProgramKilledWhileConverting)
{
    if (!Orvanta::Test::requireFixtures())
        return;
    prepare(QStringLiteral("tcm-sample/jst.mdb"));
    std::unique_ptr<QProcess> query(startQuery(QFileInfo(jet).path(), QFileInfo(cache).path()));
    ASSERT_TRUE(query->waitForStarted());
    QElapsedTimer clock;
    clock.start();
    bool caught = false;
    while (!caught && query->state() == QProcess::Running && clock.elapsed() < 30000) {
        caught = !temporaries(cache).isEmpty();
        if (!caught)
            QThread::usleep(500);
    }
    ASSERT_TRUE(caught) << "the program ended before it was seen writing its copy";
    ::kill(pid_t(query->processId()), SIGKILL);
    query->waitForFinished();
    EXPECT_TRUE(copies(cache).isEmpty());

    expectCorrectRows();
    onlyCopy();
    EXPECT_TRUE(temporaries(cache).isEmpty());
}

// A window builds the content index below its own priority, so that it
// stays responsive; a program that only waits for the index builds it at its
// own, or a busy machine starves it.
TEST_F(CopyFaults, ContentIndexIsBuiltAtThePriorityAskedFor)
{
    if (!Orvanta::Test::requireFixtures())
        return;
    prepare(QStringLiteral("jet4-install/jst.mdb"));
    errno = 0;
    const int own = ::getpriority(PRIO_PROCESS, id_t(::gettid()));
    ASSERT_EQ(errno, 0);
    if (own >= 10)
        GTEST_SKIP() << "the test runs at the lowered priority already: the two cannot be told apart";
    const struct {
        Database::IndexBuildPriority priority;
        int nice;
    } cases[] = {
        {Database::IndexBuildPriority::Lowered, 10},
        {Database::IndexBuildPriority::Own, own},
        {Database::IndexBuildPriority::Lowered, 10},
    };
    int round = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(round);
        // A folder of its own each round, so that each builds the index.
        Database::dropSharedCopies();
        Database::setConvertedCopyFolder(scratch.filePath(QStringLiteral("cache-%1").arg(round++)), 0);
        Database::setIndexBuildPriority(c.priority);
        Connection connection;
        connection.open(connectionString);
        Recordset rs;
        rs.open(everyDocument, connection);
        connection.database()->waitForContentIndex();
        EXPECT_TRUE(connection.database()->usesContentIndex());
        EXPECT_EQ(connection.database()->lastIndexBuildNice(), std::optional<int>(c.nice));
    }
}

TEST_F(CopyFaults, ContentIndexIsAddedAfterTheFirstRows)
{
    if (!Orvanta::Test::requireFixtures())
        return;
    prepare(QStringLiteral("jet4-install/jst.mdb"));
    const auto before = Database::loadCounters().counts();
    Database::dropSharedCopies();
    {
        Connection connection;
        connection.open(connectionString);
        // The first rows come from the copy as it was written, by a scan.
        Recordset rs;
        rs.open(everyDocument, connection);
        connection.database()->waitForContentIndex();
        EXPECT_TRUE(connection.database()->usesContentIndex());
    }
    EXPECT_EQ(Database::loadCounters().counts().contentIndexesAdded - before.contentIndexesAdded, 1);
    expectCorrectRows();

    // The next start finds the index in the copy and builds nothing.
    Database::dropSharedCopies();
    Connection connection;
    connection.open(connectionString);
    EXPECT_TRUE(connection.database()->usesContentIndex());
    connection.database()->waitForContentIndex();
    EXPECT_EQ(Database::loadCounters().counts().contentIndexesAdded - before.contentIndexesAdded, 1);
    EXPECT_EQ(cells(connectionString, twoWords), expectedWords);
    onlyCopy();
    EXPECT_TRUE(temporaries(cache).isEmpty());
}

TEST_F(CopyFaults, IndexOfAnotherVersionIsBuiltAgain)
{
    if (!Orvanta::Test::requireFixtures())
        return;
    prepare(QStringLiteral("jet4-install/jst.mdb"));
    const auto before = Database::loadCounters().counts();
    expectCorrectRows();
    ASSERT_EQ(Database::loadCounters().counts().contentIndexesAdded - before.contentIndexesAdded, 1);
    Database::dropSharedCopies();
    {
        // As a program of an earlier version left it.
        DbTest::SqliteFile file(onlyCopy());
        file.exec("UPDATE orvanta_index_info SET value = 2 WHERE name = 'format'");
    }
    {
        Connection connection;
        connection.open(connectionString);
        EXPECT_FALSE(connection.database()->usesContentIndex());
        EXPECT_EQ(cells(connectionString, twoWords), expectedWords);
        connection.database()->waitForContentIndex();
        EXPECT_TRUE(connection.database()->usesContentIndex());
    }
    EXPECT_EQ(Database::loadCounters().counts().contentIndexesAdded - before.contentIndexesAdded, 2);
    expectCorrectRows();
    onlyCopy();
}
