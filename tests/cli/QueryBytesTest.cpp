// orvanta-query reads its query as UTF-8 and refuses one that is not, naming
// the first byte that is no character: a cut-off, overlong or surrogate
// sequence anywhere in the query. The arguments go to the program as raw
// bytes (QProcess would re-encode them), through posix_spawn.
#include "support/Fixtures.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <string>
#include <vector>

extern char** environ;

namespace {

struct RawRun {
    int status = -1;
    std::string out;
    std::string err;
};

std::string readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll().toStdString() : std::string();
}

RawRun runRaw(const std::vector<std::string>& arguments)
{
    QTemporaryDir scratch;
    const std::string program = (Orvanta::Test::binDir() + "/orvanta-query").toStdString();
    const std::string outPath = (scratch.path() + "/out").toStdString();
    const std::string errPath = (scratch.path() + "/err").toStdString();
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& a : arguments)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    RawRun r;
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        ADD_FAILURE() << "orvanta-query did not start";
        return r;
    }
    int wstatus = 0;
    if (waitpid(pid, &wstatus, 0) == pid && WIFEXITED(wstatus))
        r.status = WEXITSTATUS(wstatus);
    r.out = readAll(QString::fromStdString(outPath));
    r.err = readAll(QString::fromStdString(errPath));
    return r;
}

struct BytesCase {
    const char* what;
    std::string query;
    int badByte; // -1: valid UTF-8
};

const BytesCase bytesCases[] = {
    // Cut off: a lead byte without all its continuation bytes.
    {"cut off alone", "\xE4\xBA", 0},
    {"cut off at the start", "\xE4\xBA人參", 0},
    {"cut off in the middle", "人\xE4\xBA參", 3},
    {"cut off at the end", "人\xE4\xBA", 3},
    {"cut off four-byte at the end", "人參\xF0\xA0\x80", 6},
    {"continuation byte alone", "人\x80參", 3},
    {"byte that never occurs", "\xFF", 0},
    // Overlong: a character in more bytes than it needs.
    {"overlong slash at the start", "\xC0\xAF人", 0},
    {"overlong in the middle", "人\xE0\x80\xAF參", 3},
    {"overlong at the end", "人參\xC1\xBF", 6},
    {"overlong four-byte", "a\xF0\x82\x82\xAC", 1},
    {"beyond U+10FFFF", "人\xF4\x90\x80\x80", 3},
    // Surrogates encoded as characters of their own.
    {"high surrogate at the start", "\xED\xA0\x80人", 0},
    {"low surrogate at the end", "人\xED\xBF\xBF", 3},
    {"surrogate pair as two characters", "-人 \xED\xA0\xBD\xED\xB8\x80", 5},
    // Valid queries are read as before.
    {"plain word", "人參", -1},
    {"words of every mode", "+人參 甘草", -1},
    {"the empty query", "", -1},
    {"beyond the BMP", "\xF0\xA0\x80\x80", -1},
    {"the highest character", "\xF4\x8F\xBF\xBF", -1},
    {"a byte order mark first", "\xEF\xBB\xBF人參", -1},
};

class QueryBytes : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!Orvanta::Test::requireFixtures())
            GTEST_SKIP();
        // Beside the check of the query, a folder name that is not ASCII.
        m_install = m_dir.path() + "/安裝 甲";
        ASSERT_TRUE(QDir().mkpath(m_install));
        const QString from = Orvanta::Test::fixture("jet4-install");
        for (const QString& sub : {QString(), QStringLiteral("/data")}) {
            ASSERT_TRUE(QDir().mkpath(m_install + sub));
            for (const QString& name : QDir(from + sub).entryList(QDir::Files))
                ASSERT_TRUE(QFile::copy(from + sub + '/' + name, m_install + sub + '/' + name));
        }
    }

    RawRun query(const std::string& text, std::vector<std::string> before = {})
    {
        std::vector<std::string> args{"--dir", m_install.toStdString()};
        args.insert(args.end(), before.begin(), before.end());
        args.push_back("--");
        args.push_back(text);
        return runRaw(args);
    }

    QTemporaryDir m_dir;
    QString m_install;
};

TEST_F(QueryBytes, InvalidUtf8IsRefusedAtItsFirstByte)
{
    for (const BytesCase& c : bytesCases) {
        const RawRun r = query(c.query);
        if (c.badByte >= 0) {
            EXPECT_EQ(r.status, 64) << c.what;
            EXPECT_TRUE(r.out.empty()) << c.what;
            EXPECT_NE(r.err.find("orvanta-query: the query is not valid UTF-8 at byte " + std::to_string(c.badByte)
                                 + "\n"),
                      std::string::npos)
                << c.what << ": " << r.err;
        } else {
            EXPECT_TRUE(r.status == 0 || r.status == 1) << c.what << ": " << r.status << " " << r.err;
            EXPECT_EQ(r.err.find("UTF-8"), std::string::npos) << c.what << ": " << r.err;
        }
    }
}

// The same query reads the same with the other options around it, and a
// valid query still finds its rows in a folder named in Chinese.
TEST_F(QueryBytes, OtherArgumentsAreReadAsBefore)
{
    const RawRun found = query("人參", {"--sql", "--page", "1"});
    EXPECT_EQ(found.status, 0) << found.err;
    EXPECT_FALSE(found.out.empty());

    const RawRun listed = runRaw({"--dir", m_install.toStdString(), "人參"});
    EXPECT_EQ(listed.status, 0) << listed.err;
    EXPECT_NE(listed.out.find("1\t金匱要略．人參湯\tdata\\a003.htm\n"), std::string::npos) << listed.out;

    const RawRun refused = runRaw({"--dir", m_install.toStdString(), "--scan", "人\xE4\xBA"});
    EXPECT_EQ(refused.status, 64);
    EXPECT_NE(refused.err.find("at byte 3"), std::string::npos) << refused.err;

    // A bad --page value is still a usage error of its own.
    const RawRun badPage = query("人參", {"--page", "1\xE4"});
    EXPECT_EQ(badPage.status, 64);
    EXPECT_NE(badPage.err.find("--page"), std::string::npos) << badPage.err;

    // Help is given whatever the query holds.
    const RawRun help = runRaw({"--help", "\xE4\xBA"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("not valid UTF-8"), std::string::npos);
}

} // namespace
