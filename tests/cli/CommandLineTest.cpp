// The command line as a Linux user expects it of all three programs: a
// version, a one-line complaint that points at --help, and the same causes
// the window names for a folder that is no collection.
#include "support/Fixtures.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <unistd.h>

namespace {

struct ProgramRun {
    int status = -1;
    QString out;
    QString err;
};

ProgramRun runProgram(const QString& program, const QStringList& arguments)
{
    QProcess p;
    p.start(Orvanta::Test::binDir() + '/' + program, arguments);
    ProgramRun r;
    if (!p.waitForStarted(10000) || !p.waitForFinished(120000)) {
        ADD_FAILURE() << program.toStdString() << " did not run: " << p.errorString().toStdString();
        p.kill();
        p.waitForFinished();
        return r;
    }
    r.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

} // namespace

TEST(CommandLine, EveryProgramGivesItsVersion)
{
    for (const QString program : {"orvanta-query", "orvanta-build", "orvanta"}) {
        if (!QFileInfo(Orvanta::Test::binDir() + '/' + program).isExecutable())
            continue; // the window is built only with the desktop parts
        const ProgramRun r = runProgram(program, {"--version"});
        EXPECT_EQ(r.status, 0) << program.toStdString();
        EXPECT_TRUE(QRegularExpression("^" + program + " [0-9]+(\\.[0-9]+)*\n$").match(r.out).hasMatch())
            << program.toStdString() << ": " << r.out.toStdString();
        EXPECT_TRUE(r.err.isEmpty()) << program.toStdString();
    }
}

// Wrong usage: what is wrong, then where to read more; never the whole usage.
TEST(CommandLine, WrongUsageIsOneLineAndAHint)
{
    struct Case {
        QString program;
        QStringList arguments;
        int status;
    };
    const std::vector<Case> cases = {
        {"orvanta-build", {}, 2},
        {"orvanta-build", {"--nosuch", "x"}, 2},
        {"orvanta-build", {"--sample"}, 2},
        {"orvanta-build", {"--sample", "many", "x"}, 2},
        {"orvanta-build", {"a", "b"}, 2},
        {"orvanta-query", {}, 64},
        {"orvanta-query", {"--nosuch", "x"}, 64},
        {"orvanta-query", {"--version=1"}, 64},
    };
    for (const Case& c : cases) {
        const std::string what = (c.program + ' ' + c.arguments.join(' ')).toStdString();
        const ProgramRun r = runProgram(c.program, c.arguments);
        EXPECT_EQ(r.status, c.status) << what;
        EXPECT_TRUE(r.out.isEmpty()) << what;
        const QStringList lines = r.err.split('\n', Qt::SkipEmptyParts);
        ASSERT_EQ(lines.size(), 2) << what << ": " << r.err.toStdString();
        EXPECT_TRUE(lines[0].startsWith(c.program + ": ")) << what;
        EXPECT_EQ(lines[1], "Try '" + c.program + " --help'.") << what;
    }
    const ProgramRun help = runProgram("orvanta-build", {"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(help.out.contains("--version") && help.out.contains("--sample")) << help.out.toStdString();
}

TEST(CommandLine, SampleNamesWhatIsInTheWay)
{
    QTemporaryDir one;
    Orvanta::Test::writeFile(one.path() + "/Help.htm", "mine");
    ProgramRun r = runProgram("orvanta-build", {"--sample", "3", one.path()});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains("already holds Help.htm; a sample would replace it. Use --force to replace it,"))
        << r.err.toStdString();

    QTemporaryDir two;
    Orvanta::Test::writeFile(two.path() + "/Help.htm", "mine");
    Orvanta::Test::writeFile(two.path() + "/jst.mdb", "mine");
    r = runProgram("orvanta-build", {"--sample", "3", two.path()});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains("a sample would replace them. Use --force to replace them,")) << r.err.toStdString();
}

// The window's causes (missing, not a folder, no collection, no permission),
// each in this program's words, never "Could not find file" for them all.
TEST(CommandLine, QueryNamesWhyAFolderIsNoCollection)
{
    QTemporaryDir dir;
    const QString root = dir.path();
    Orvanta::Test::writeFile(root + "/file", "x");
    QDir(root).mkpath("empty");
    struct Case {
        QString folder;
        QString expected;
    };
    const std::vector<Case> cases = {
        {root + "/gone", "error 76: There is no folder '" + root + "/gone'.\n"},
        {root + "/file", "error 76: '" + root + "/file' is not a folder.\n"},
        {root + "/empty", "error 3024: The folder '" + root + "/empty' holds no jst.mdb: it is not a collection.\n"},
    };
    for (const Case& c : cases) {
        const ProgramRun r = runProgram("orvanta-query", {"--dir", c.folder, "x"});
        EXPECT_EQ(r.status, 2) << c.folder.toStdString();
        EXPECT_EQ(r.err, c.expected);
    }
}

TEST(CommandLine, QueryNamesAFolderItMayNotRead)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "root reads every folder";
    QTemporaryDir dir;
    const QString locked = dir.path() + "/locked";
    QDir(dir.path()).mkpath("locked");
    Orvanta::Test::writeFile(locked + "/jst.mdb", "x");
    QFile::setPermissions(locked, QFileDevice::WriteOwner);
    const ProgramRun r = runProgram("orvanta-query", {"--dir", locked, "x"});
    QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "error 70: Cannot read the folder '" + locked + "' (permission denied).\n");
}
