// A Jet file changed under its converted copy in ways that keep its path,
// size, modification time and inode: written into in place with its times
// set back afterwards. The copy must not be served then; a file whose
// content did not change (a chmod, a copy put back from a backup) keeps its
// copy without being converted again.
#include "CopyTestSupport.h"
#include "DbTestSupport.h"

#include "platform/collection/Connection.h"
#include "platform/collection/Database.h"
#include "support/Fixtures.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <functional>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Orvanta;
using DbTest::copiesIn;
using DbTest::resultCells;

namespace {

const QString everyDocument = QStringLiteral("select subject,htm from  maindata order by date desc");
const QString twoWords = QStringLiteral(
    "select subject,htm from  maindata where 1=1 and content like '%人參%'  and content like '%甘草%' order by [date] desc ");

constexpr int JetPageSize = 4096;

QByteArray utf16(const QString& text)
{
    return QByteArray(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
}

// Writes `bytes` over the file at `path` without truncating or replacing
// it, then sets its access and modification times back to what they were:
// only the change time tells.
void rewriteInPlace(const QString& path, const QByteArray& bytes)
{
    struct stat before {};
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &before), 0);
    ASSERT_EQ(qint64(bytes.size()), qint64(before.st_size));
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::pwrite(fd, bytes.constData(), size_t(bytes.size()), 0), ssize_t(bytes.size()));
    ::close(fd);
    const struct timespec times[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);
    struct stat after {};
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &after), 0);
    ASSERT_EQ(after.st_ino, before.st_ino);
    ASSERT_EQ(after.st_size, before.st_size);
    ASSERT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
    ASSERT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
}

struct Change {
    const char* name;
    const char* fixture;
    std::function<void(const QString& jet)> apply;
    bool converted;   // the file must be read again
    bool damaged;     // and it reports damage
};

const Change changes[] = {
    {"title_rewritten_in_place", "jet4-install/jst.mdb",
     [](const QString& jet) {
         QByteArray bytes = Orvanta::Test::readFile(jet);
         const QByteArray old = utf16(QStringLiteral("傷寒論．太陽病上"));
         const qsizetype at = bytes.indexOf(old);
         ASSERT_GE(at, 0);
         bytes.replace(at, old.size(), utf16(QStringLiteral("傷寒論．少陽病上")));
         rewriteInPlace(jet, bytes);
     },
     true, false},
    // Of the larger file: the rows of the other pages are served.
    {"data_page_zeroed_in_place", "tcm-sample/jst.mdb",
     [](const QString& jet) {
         QByteArray bytes = Orvanta::Test::readFile(jet);
         const qsizetype at = bytes.indexOf(utf16(QStringLiteral("神農本草經．邵序")));
         ASSERT_GE(at, 0);
         const qsizetype page = at / JetPageSize * JetPageSize;
         ASSERT_EQ(bytes[page], char(0x01)); // a data page
         bytes.replace(page, JetPageSize, QByteArray(JetPageSize, '\0'));
         rewriteInPlace(jet, bytes);
     },
     true, true},
    {"mode_changed", "jet4-install/jst.mdb",
     [](const QString& jet) { ASSERT_EQ(::chmod(QFile::encodeName(jet).constData(), 0600), 0); }, false, false},
    {"copied_back_from_a_backup", "jet4-install/jst.mdb",
     [](const QString& jet) {
         struct stat before {};
         ASSERT_EQ(::stat(QFile::encodeName(jet).constData(), &before), 0);
         const QString backup = jet + QStringLiteral(".backup");
         ASSERT_TRUE(QFile::copy(jet, backup));
         ASSERT_TRUE(QFile::remove(jet));
         ASSERT_TRUE(QFile::rename(backup, jet));
         const struct timespec times[2] = {before.st_atim, before.st_mtim};
         ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(jet).constData(), times, 0), 0);
     },
     false, false},
};

class ChangedJetFile : public ::testing::TestWithParam<Change> {
protected:
    void TearDown() override
    {
        Database::setConvertedCopyFolder(QString());
        Database::dropSharedCopies();
    }
};

} // namespace

TEST_P(ChangedJetFile, IsReadAgainOnlyWhenItsContentChanged)
{
    if (!Orvanta::Test::requireFixtures())
        return;
    QTemporaryDir scratch;
    ASSERT_TRUE(scratch.isValid());
    const QString cache = scratch.filePath(QStringLiteral("cache/orvanta"));
    const QString jet = scratch.filePath(QStringLiteral("collection/jst.mdb"));
    ASSERT_TRUE(QDir().mkpath(QFileInfo(jet).path()));
    ASSERT_TRUE(QFile::copy(Orvanta::Test::fixture(QString::fromUtf8(GetParam().fixture)), jet));
    ASSERT_TRUE(QFile::setPermissions(jet, QFile::ReadOwner | QFile::WriteOwner));
    const QString cs = DbTest::connectionStringFor(jet);

    Database::setConvertedCopyFolder(cache, 0);
    Database::dropSharedCopies();
    const QStringList before = resultCells(cs, everyDocument);
    Database::waitForContentIndexes();
    ASSERT_EQ(copiesIn(cache).size(), 1);

    GetParam().apply(jet);

    // What the file holds now, read straight into memory.
    Database::setConvertedCopyFolder(QString());
    Database::dropSharedCopies();
    const QStringList expectedAll = resultCells(cs, everyDocument);
    const QStringList expectedWords = resultCells(cs, twoWords);
    if (GetParam().converted)
        EXPECT_NE(expectedAll, before);
    else
        EXPECT_EQ(expectedAll, before);
    if (GetParam().damaged) {
        EXPECT_LT(expectedAll.size(), before.size());
        EXPECT_GT(expectedAll.size(), 0);
    }
    Database::dropSharedCopies();
    Database::setConvertedCopyFolder(cache, 0);

    const auto start = Database::loadCounters().counts();
    for (int run = 0; run < 2; ++run) {
        SCOPED_TRACE(run == 0 ? "first start after the change" : "the start after");
        Database::dropSharedCopies();
        {
            Connection c;
            c.open(cs);
            EXPECT_EQ(c.database()->takeDamageWarning().isEmpty(), !GetParam().damaged);
        }
        EXPECT_EQ(resultCells(cs, everyDocument), expectedAll);
        EXPECT_EQ(resultCells(cs, twoWords), expectedWords);
        Database::waitForContentIndexes();
        Database::forgetKeptResults();
        EXPECT_EQ(resultCells(cs, everyDocument), expectedAll);
        EXPECT_EQ(resultCells(cs, twoWords), expectedWords);
        // The copy of the old content is gone.
        EXPECT_EQ(copiesIn(cache).size(), 1) << copiesIn(cache).join(QLatin1Char(' ')).toStdString();
    }
    EXPECT_EQ(Database::loadCounters().counts().readerLoads - start.readerLoads, GetParam().converted ? 1 : 0);
}

TEST(ChangedJetFileInUse, ANewSearchReadsTheRewrittenFile)
{
    if (!Orvanta::Test::requireFixtures())
        return;
    QTemporaryDir scratch;
    ASSERT_TRUE(scratch.isValid());
    const QString cache = scratch.filePath(QStringLiteral("cache/orvanta"));
    const QString jet = scratch.filePath(QStringLiteral("jst.mdb"));
    ASSERT_TRUE(QFile::copy(Orvanta::Test::fixture(QStringLiteral("jet4-install/jst.mdb")), jet));
    ASSERT_TRUE(QFile::setPermissions(jet, QFile::ReadOwner | QFile::WriteOwner));
    const QString cs = DbTest::connectionStringFor(jet);
    Database::setConvertedCopyFolder(cache, 0);
    Database::dropSharedCopies();
    EXPECT_TRUE(resultCells(cs, everyDocument).join(QLatin1Char('\n')).contains(QStringLiteral("太陽病上")));
    Database::waitForContentIndexes();

    // The program keeps running; the file is rewritten under it.
    changes[0].apply(jet);
    const QString listed = resultCells(cs, everyDocument).join(QLatin1Char('\n'));
    EXPECT_TRUE(listed.contains(QStringLiteral("傷寒論．少陽病上"))) << listed.toStdString();
    EXPECT_FALSE(listed.contains(QStringLiteral("傷寒論．太陽病上"))) << listed.toStdString();
    Database::waitForContentIndexes();
    EXPECT_EQ(copiesIn(cache).size(), 1);
    Database::setConvertedCopyFolder(QString());
    Database::dropSharedCopies();
}

INSTANTIATE_TEST_SUITE_P(Changes, ChangedJetFile, ::testing::ValuesIn(changes),
                         [](const auto& info) { return std::string(info.param.name); });
