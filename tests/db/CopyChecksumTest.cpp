// One bit flipped on disk inside a converted copy, in a title, a document's
// text or a date, read through the content index and by the scan: the wrong
// value is never served, the copy is made again from the Jet file, and every
// search gives the rows it gave before the damage.
#include "CopyTestSupport.h"
#include "DbTestSupport.h"

#include "platform/collection/Database.h"
#include "support/Fixtures.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

using namespace Orvanta;
using DbTest::copiesIn;
using DbTest::resultCells;

namespace {

// The searches the window composes, and one that lists the dates as well
// (always scanned).
const QString statements[] = {
    QStringLiteral("select subject,htm from  maindata order by date desc"),
    QStringLiteral("select subject,htm from  maindata where 1=1 and content like '%人參%'  and content like '%甘草%' "
                   "order by [date] desc "),
    QStringLiteral("select subject,htm from  maindata where 1=1 and content like '%味甘平%' order by [date] desc "),
    QStringLiteral("select subject,htm from  maindata where 1=2  or content like '%甘草%' or content like '%純_品%'"),
    QStringLiteral("select subject,htm,date from maindata where 1=1 order by date desc"),
};

enum class Path { Index, Scan };
enum class Encoding { Utf8, Utf16 };

struct Flip {
    const char* name;
    Path path;
    const char* value;  // what the bit is flipped in
    Encoding encoding;  // as the copy holds it there
    bool last;          // its last place in the file, else its first
};

// Where each value lies: a title in maindata, in the newest-first index (UTF-8)
// and in the content index's result list (UTF-16); a text in maindata; a date
// in maindata and in the newest-first index. Each is flipped where the path
// reads it.
const Flip flips[] = {
    {"title_by_index", Path::Index, "本草．甘草", Encoding::Utf16, true},
    {"title_by_scan", Path::Scan, "本草．甘草", Encoding::Utf8, false},
    {"text_by_index", Path::Index, "味甘平。100% 純_品", Encoding::Utf8, false},
    {"text_by_scan", Path::Scan, "味甘平。100% 純_品", Encoding::Utf8, false},
    {"date_by_index", Path::Index, "1644-01-01 00:00:00", Encoding::Utf8, false},
    {"date_by_scan", Path::Scan, "1644-01-01 00:00:00", Encoding::Utf8, true},
};

QByteArray encoded(const Flip& flip)
{
    const QString text = QString::fromUtf8(flip.value);
    if (flip.encoding == Encoding::Utf8)
        return text.toUtf8();
    return QByteArray(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
}

class FlippedBit : public ::testing::TestWithParam<Flip> {
protected:
    void TearDown() override
    {
        Database::setContentIndexUse(true);
        Database::setConvertedCopyFolder(QString());
        Database::dropSharedCopies();
    }

    QStringList runAll(const QString& cs)
    {
        QStringList out;
        for (const QString& sql : statements)
            out << resultCells(cs, sql).join(QLatin1Char('\n')) << QStringLiteral("--");
        return out;
    }
};

} // namespace

TEST_P(FlippedBit, IsNeverServedAndTheCopyIsMadeAgain)
{
    if (!Orvanta::Test::requireFixtures())
        return;
    const Flip& flip = GetParam();
    QTemporaryDir scratch;
    ASSERT_TRUE(scratch.isValid());
    const QString cache = scratch.filePath(QStringLiteral("cache/orvanta"));
    const QString jet = scratch.filePath(QStringLiteral("jst.mdb"));
    ASSERT_TRUE(QFile::copy(Orvanta::Test::fixture(QStringLiteral("jet4-install/jst.mdb")), jet));
    const QString cs = DbTest::connectionStringFor(jet);

    // The rows of the Jet file read into memory, by both paths.
    Database::setConvertedCopyFolder(QString());
    Database::dropSharedCopies();
    Database::setContentIndexUse(false);
    const QStringList expected = runAll(cs);
    Database::setContentIndexUse(true);
    Database::forgetKeptResults();
    ASSERT_EQ(runAll(cs), expected);

    // The copy, with its content index.
    Database::dropSharedCopies();
    Database::setConvertedCopyFolder(cache, 0);
    const int indexesBefore = Database::loadCounters().counts().contentIndexesAdded;
    resultCells(cs, statements[0]);
    Database::waitForContentIndexes();
    ASSERT_EQ(Database::loadCounters().counts().contentIndexesAdded, indexesBefore + 1);
    const QStringList files = copiesIn(cache);
    ASSERT_EQ(files.size(), 1);
    const QString copy = cache + QLatin1Char('/') + files.first();

    QByteArray bytes = Orvanta::Test::readFile(copy);
    const QByteArray value = encoded(flip);
    const qsizetype at = flip.last ? bytes.lastIndexOf(value) : bytes.indexOf(value);
    ASSERT_GE(at, 0) << flip.value;
    // The last byte of the value: a UTF-8 continuation byte stays one, a
    // digit stays a digit, a UTF-16 unit another character.
    const qsizetype flipped = at + value.size() - (flip.encoding == Encoding::Utf16 ? 2 : 1);
    bytes[flipped] = char(bytes[flipped] ^ 0x01);
    {
        QFile file(copy);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        ASSERT_TRUE(file.seek(flipped));
        ASSERT_EQ(file.write(bytes.constData() + flipped, 1), 1);
    }

    // A new start, by one path.
    Database::dropSharedCopies();
    Database::setContentIndexUse(flip.path == Path::Index);
    const auto before = Database::loadCounters().counts();
    EXPECT_EQ(runAll(cs), expected);
    const auto after = Database::loadCounters().counts();
    EXPECT_EQ(after.readerLoads - before.readerLoads, 1) << "the copy is made again";

    // The copy made again holds the value as it was, and serves both paths.
    Database::waitForContentIndexes();
    EXPECT_EQ(copiesIn(cache).size(), 1);
    EXPECT_EQ(Orvanta::Test::readFile(copy).count(value), bytes.count(value) + 1);
    for (const bool index : {true, false}) {
        Database::dropSharedCopies();
        Database::setContentIndexUse(index);
        EXPECT_EQ(runAll(cs), expected) << (index ? "index" : "scan");
    }
    EXPECT_EQ(Database::loadCounters().counts().readerLoads, after.readerLoads);
}

INSTANTIATE_TEST_SUITE_P(Flips, FlippedBit, ::testing::ValuesIn(flips),
                         [](const auto& info) { return std::string(info.param.name); });
