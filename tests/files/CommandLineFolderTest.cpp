#include "app/core/CollectionFolder.h"
#include "support/Fixtures.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace Orvanta;

// "orvanta FILE" is how a file manager opens the database: the collection
// meant is the folder around it.
TEST(CommandLineFolder, TheDatabaseStandsForItsFolder)
{
    QTemporaryDir dir;
    const QString root = dir.path();
    Orvanta::Test::writeFile(root + "/cd/jst.mdb", "x");
    Orvanta::Test::writeFile(root + "/cd2/JST.MDB", "x");
    Orvanta::Test::writeFile(root + "/cd3/other.mdb", "x");
    QDir(root).mkpath("cd4/jst.mdb");
    struct Case {
        QString given;
        QString folder;
        const char* why;
    };
    const std::vector<Case> cases = {
        {root + "/cd/jst.mdb", root + "/cd", "the database names its folder"},
        {root + "/cd2/JST.MDB", root + "/cd2", "in any letter case"},
        {root + "/cd", root + "/cd", "a folder is itself"},
        {root + "/cd/", root + "/cd", "with a trailing separator"},
        {root + "/cd3/other.mdb", root + "/cd3/other.mdb", "another file stays what it is, to be refused"},
        {root + "/cd4/jst.mdb", root + "/cd4/jst.mdb", "a folder called jst.mdb is a folder"},
        {root + "/gone/jst.mdb", root + "/gone/jst.mdb", "a missing file is left to be refused"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CollectionFolder::commandLineFolder(c.given), c.folder) << c.why;

    const QString before = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(root + "/cd"));
    EXPECT_EQ(CollectionFolder::commandLineFolder("jst.mdb"), root + "/cd") << "relative to the current folder";
    QDir::setCurrent(before);
}
