// The cache on a small file system that fills while the content index is
// added to a converted copy: the copy is kept, the searches stay right, and
// the user is told once, with the next search, that the index could not be
// built for want of room.
#include "CopyTestSupport.h"
#include "DbTestSupport.h"

#include "platform/collection/Connection.h"
#include "platform/collection/Database.h"
#include "support/Fixtures.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cerrno>
#include <cstring>

#include <sys/mount.h>

using namespace Orvanta;
using DbTest::copiesIn;
using DbTest::resultCells;
using DbTest::temporariesIn;

namespace {

const QString everyDocument = QStringLiteral("select subject,htm from  maindata order by date desc");
const QString twoWords = QStringLiteral(
    "select subject,htm from  maindata where 1=1 and content like '%人參%'  and content like '%甘草%' order by [date] desc ");

struct Room {
    const char* name;
    // Bytes beyond the copy itself that the file system holds, in copies
    // of it and in bytes: the index's build first copies the copy, then
    // writes the index into that.
    double copies;
    qint64 bytes;
};

const Room rooms[] = {
    {"full_while_the_copy_is_copied", 0.5, 0},
    {"full_while_the_index_is_written", 1.0, 64 * 1024},
};

class SmallCache : public ::testing::TestWithParam<Room> {
protected:
    void TearDown() override
    {
        Database::setContentIndexUse(true);
        Database::setConvertedCopyFolder(QString());
        Database::dropSharedCopies();
        if (!mountPoint.isEmpty())
            ::umount2(QFile::encodeName(mountPoint).constData(), MNT_DETACH);
    }

    QTemporaryDir scratch;
    QString mountPoint;
};

} // namespace

TEST_P(SmallCache, KeepsTheCopyAndSaysOnceThatItHasNoIndex)
{
    if (!Orvanta::Test::requireFixtures())
        return;
    ASSERT_TRUE(scratch.isValid());
    const QString jet = scratch.filePath(QStringLiteral("jst.mdb"));
    ASSERT_TRUE(QFile::copy(Orvanta::Test::fixture(QStringLiteral("jet4-install/jst.mdb")), jet));
    const QString cs = DbTest::connectionStringFor(jet);

    // The rows, and the size of a copy without its index.
    Database::setConvertedCopyFolder(QString());
    Database::dropSharedCopies();
    const QStringList expectedAll = resultCells(cs, everyDocument);
    const QStringList expectedWords = resultCells(cs, twoWords);
    const QString measure = scratch.filePath(QStringLiteral("measure"));
    Database::setContentIndexUse(false);
    Database::setConvertedCopyFolder(measure, 0);
    Database::dropSharedCopies();
    resultCells(cs, everyDocument);
    ASSERT_EQ(copiesIn(measure).size(), 1);
    const qint64 copyBytes = QFileInfo(measure + QLatin1Char('/') + copiesIn(measure).first()).size();
    Database::setContentIndexUse(true);

    mountPoint = scratch.filePath(QStringLiteral("small"));
    ASSERT_TRUE(QDir().mkdir(mountPoint));
    const qint64 size = (qint64(double(copyBytes) * (1 + GetParam().copies)) + GetParam().bytes + 4095) / 4096 * 4096;
    const QByteArray options = "size=" + QByteArray::number(size);
    if (::mount("tmpfs", QFile::encodeName(mountPoint).constData(), "tmpfs", 0, options.constData()) != 0) {
        const int error = errno;
        mountPoint.clear();
        GTEST_SKIP() << "cannot mount a small tmpfs here (" << std::strerror(error)
                     << "); the test needs to run as root";
    }
    const QString cache = mountPoint + QStringLiteral("/orvanta");
    Database::setConvertedCopyFolder(cache, 0);
    Database::dropSharedCopies();

    const auto start = Database::loadCounters().counts();
    QStringList warnings;
    auto search = [&](const QString& sql) {
        Connection c;
        c.open(cs);
        Recordset rs;
        rs.open(sql, c);
        const QString warning = c.database()->takeDamageWarning();
        if (!warning.isEmpty())
            warnings << warning;
    };
    search(everyDocument);
    Database::waitForContentIndexes();
    EXPECT_EQ(Database::loadCounters().counts().contentIndexesAdded, start.contentIndexesAdded);
    for (int i = 0; i < 3; ++i)
        search(twoWords);
    ASSERT_EQ(warnings.size(), 1) << warnings.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(warnings.first().contains(QStringLiteral("磁碟空間不足"))) << warnings.first().toStdString();
    EXPECT_TRUE(warnings.first().contains(QStringLiteral("全文索引"))) << warnings.first().toStdString();
    EXPECT_TRUE(warnings.first().contains(QStringLiteral("jst.mdb"))) << warnings.first().toStdString();

    // The copy is kept, whole, and serves the searches; nothing else is left.
    EXPECT_EQ(copiesIn(cache).size(), 1);
    EXPECT_TRUE(temporariesIn(cache).isEmpty()) << temporariesIn(cache).join(QLatin1Char(' ')).toStdString();
    Database::dropSharedCopies();
    Database::forgetKeptResults();
    EXPECT_EQ(resultCells(cs, everyDocument), expectedAll);
    EXPECT_EQ(resultCells(cs, twoWords), expectedWords);
    Database::waitForContentIndexes();
    EXPECT_EQ(Database::loadCounters().counts().readerLoads - start.readerLoads, 1);
    EXPECT_EQ(Database::loadCounters().counts().copiesRestored - start.copiesRestored, 1);
}

INSTANTIATE_TEST_SUITE_P(Rooms, SmallCache, ::testing::ValuesIn(rooms),
                         [](const auto& info) { return std::string(info.param.name); });
