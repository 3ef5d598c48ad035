#include "app/core/modVelmora.h"
#include "platform/files/Paths.h"
#include "support/Fixtures.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace Orvanta;

TEST(Paths, JoinAddsExactlyOneBackslash)
{
    EXPECT_EQ(Paths::join("/opt/x", "jst.mdb"), "/opt/x\\jst.mdb");
    EXPECT_EQ(Paths::join("/", "jst.mdb"), "/\\jst.mdb");
    EXPECT_EQ(Paths::join("/opt/x", "\\data\\a.htm"), "/opt/x\\\\data\\a.htm");
}

// Messages name files natively, never "/media/cd\\jst.mdb".
TEST(Paths, ShownWithNativeSeparators)
{
    EXPECT_EQ(Paths::shown(Paths::join("/media/cd", "jst.mdb")), "/media/cd/jst.mdb");
    EXPECT_EQ(Paths::shown("/opt/x\\data\\A012.HTM"), "/opt/x/data/A012.HTM") << "letter case as given";
    EXPECT_EQ(Paths::shown("/gone\\jst.mdb"), "/gone/jst.mdb") << "a missing file is named as given";
    EXPECT_EQ(Paths::shown("/media/cd/jst.mdb"), "/media/cd/jst.mdb");
}

TEST(Paths, InstallFolderIsTheExecutablesFolder)
{
    EXPECT_EQ(QDir(Paths::installFolder()).canonicalPath(), QDir(Orvanta::Test::binDir()).canonicalPath());
}

TEST(Paths, BackslashesAreSeparatorsAndLetterCaseIsResolved)
{
    QTemporaryDir dir;
    const QString root = dir.path();
    Orvanta::Test::writeFile(root + "/data/a012.htm", "x");
    Orvanta::Test::writeFile(root + "/Data2/Sub/Page.HTM", "y");

    struct Case {
        QString system;
        QString local;
    } cases[] = {
        {root + "\\data\\a012.htm", root + "/data/a012.htm"},
        {root + "\\DATA\\A012.HTM", root + "/data/a012.htm"},
        {root + "\\data2\\sub\\page.htm", root + "/Data2/Sub/Page.HTM"},
        // A doubled separator stays as it is and still names the file.
        {root + "\\\\data\\a012.htm", root + "//data/a012.htm"},
        // Missing: separators converted, nothing else.
        {root + "\\data\\missing.htm", root + "/data/missing.htm"},
        {root + "\\NOPE\\A012.HTM", root + "/NOPE/A012.HTM"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Paths::toLocal(c.system), c.local) << c.system.toStdString();
}

TEST(ConnectionString, BuiltFromTheInstallFolderWithNothingChanged)
{
    EXPECT_EQ(modVelmora::connectionStringFor("/opt/orvanta"),
              "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=/opt/orvanta\\jst.mdb;Persist Security Info=False");
    // A root folder gives a doubled separator; none is removed.
    EXPECT_EQ(modVelmora::connectionStringFor("C:\\"),
              "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=C:\\\\jst.mdb;Persist Security Info=False");
    EXPECT_EQ(modVelmora::connectionStringFor("/"),
              "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=/\\jst.mdb;Persist Security Info=False");
}
