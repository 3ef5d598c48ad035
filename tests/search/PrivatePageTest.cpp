// The page written for a collection that cannot take it: where its base goes,
// and that it lands in the user's own folder with its links resolving from
// the collection's tmp.
#include "search/core/Highlighter.h"
#include "search/core/PrivatePage.h"
#include "support/Fixtures.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace Orvanta::Test {
namespace {

const QByteArray kBase = "<base href=\"file:///c/tmp/T.htm\">";

struct BaseCase {
    const char* name;
    QByteArray page;
    QByteArray expected;
};

TEST(PrivatePage, BaseGoesWhereTheBrowserTakesIt)
{
    const std::vector<BaseCase> cases = {
        {"after head", "<html><head><title>t</title></head>", "<html><head>" + kBase + "<title>t</title></head>"},
        {"head with attributes, any case", "<HTML>\r\n<HEAD lang=zh>\r\n<META>",
         "<HTML>\r\n<HEAD lang=zh>" + kBase + "\r\n<META>"},
        {"no head: after html", "<html><body>x</body></html>", "<html>" + kBase + "<body>x</body></html>"},
        {"header is not head", "<html><header>x</header>", "<html>" + kBase + "<header>x</header>"},
        {"doctype only", "<!DOCTYPE html><p>x", "<!DOCTYPE html>" + kBase + "<p>x"},
        {"bare text", "\xA5\xD2 text", kBase + "\xA5\xD2 text"},
        {"empty page", "", kBase},
        {"UTF-8 mark stays first", "\xEF\xBB\xBFtext", "\xEF\xBB\xBF" + kBase + "text"},
        {"UTF-8 mark and head", "\xEF\xBB\xBF<head>x", "\xEF\xBB\xBF<head>" + kBase + "x"},
    };
    for (const BaseCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(PrivatePage::withBase(c.page, QStringLiteral("/c/tmp/T.htm")), c.expected);
    }
}

TEST(PrivatePage, UTF16PagesGetTheBaseInTheirOwnEncoding)
{
    const QByteArray little = PrivatePage::withBase(QByteArray("\xFF\xFE<\0p\0", 6), QStringLiteral("/c/tmp/T.htm"));
    EXPECT_EQ(QString::fromUtf16(reinterpret_cast<const char16_t*>(little.constData() + 2), (little.size() - 2) / 2),
              QString::fromLatin1(kBase) + QStringLiteral("<p"));
    const QByteArray big = PrivatePage::withBase(QByteArray("\xFE\xFF\0<\0p", 6), QStringLiteral("/c/tmp/T.htm"));
    EXPECT_EQ(big.left(4), QByteArray("\xFE\xFF\0<", 4));
    EXPECT_EQ(big.size(), 6 + 2 * kBase.size());
}

TEST(PrivatePage, FolderNamesAreEncodedInTheBase)
{
    const QByteArray page = PrivatePage::withBase("<head>", QStringLiteral("/資料/my books/tmp/T.htm"));
    EXPECT_EQ(page, "<head><base href=\"file:///%E8%B3%87%E6%96%99/my%20books/tmp/T.htm\">");
}

class PrivatePageFiles : public ::testing::Test {
public: // the cases below plant files through a reference to the fixture
    void SetUp() override
    {
        ASSERT_TRUE(runtime.isValid());
        ASSERT_TRUE(cache.isValid());
        saved = qgetenv("XDG_RUNTIME_DIR");
        savedCache = qgetenv("XDG_CACHE_HOME");
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
        qputenv("XDG_CACHE_HOME", QFile::encodeName(cache.path()));
    }
    void TearDown() override
    {
        PrivatePage::remove();
        restore("XDG_RUNTIME_DIR", saved);
        restore("XDG_CACHE_HOME", savedCache);
    }
    static void restore(const char* name, const QByteArray& value)
    {
        if (value.isNull())
            qunsetenv(name);
        else
            qputenv(name, value);
    }
    QString runtimeFolder() const { return runtime.path() + QStringLiteral("/orvanta"); }
    QString cacheFolder() const { return cache.path() + QStringLiteral("/orvanta-pages"); }
    QTemporaryDir runtime;
    QTemporaryDir cache;
    QByteArray saved;
    QByteArray savedCache;
};

mode_t modeOf(const QString& path)
{
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

// The folder is the user's alone; one that is a link or someone else's is
// passed over for the next one, and never written into.
TEST_F(PrivatePageFiles, OnlyAFolderOfTheUsersOwnTakesThePage)
{
    struct Case {
        const char* name;
        std::function<void(PrivatePageFiles&)> plant;
        bool cacheTakesIt;
    };
    QTemporaryDir elsewhere;
    const QString away = elsewhere.path();
    const std::vector<Case> cases = {
        {"made anew", [](PrivatePageFiles&) {}, false},
        {"open to everyone before", [](PrivatePageFiles& f) { QDir().mkdir(f.runtimeFolder());
             ::chmod(QFile::encodeName(f.runtimeFolder()).constData(), 0777); }, false},
        {"a link to a folder", [&](PrivatePageFiles& f) { QFile::link(away, f.runtimeFolder()); }, true},
        {"a dangling link", [&](PrivatePageFiles& f) { QFile::link(away + "/none", f.runtimeFolder()); }, true},
        {"a file", [](PrivatePageFiles& f) { writeFile(f.runtimeFolder(), "x"); }, true},
        {"another user's", [](PrivatePageFiles& f) {
             QDir().mkdir(f.runtimeFolder());
             if (::geteuid() == 0)
                 ASSERT_EQ(::chown(QFile::encodeName(f.runtimeFolder()).constData(), 65534, 65534), 0);
         }, ::geteuid() == 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(runtimeFolder());
        QDir(runtimeFolder()).removeRecursively();
        QDir(cacheFolder()).removeRecursively();
        c.plant(*this);
        const QString written = PrivatePage::write("<p>x", QStringLiteral("/coll\\tmp\\T.htm"));
        ASSERT_FALSE(written.isEmpty());
        const QString folder = c.cacheTakesIt ? cacheFolder() : runtimeFolder();
        EXPECT_EQ(QFileInfo(written).path(), folder);
        EXPECT_EQ(modeOf(folder), mode_t(0700));
        EXPECT_TRUE(QDir(away).isEmpty()) << "nothing lands where a link points";
        PrivatePage::remove();
        EXPECT_FALSE(QFileInfo::exists(written));
    }
}

// A link planted at the page's own name is removed, never written through.
TEST_F(PrivatePageFiles, ThePageIsNeverWrittenThroughALink)
{
    QTemporaryDir elsewhere;
    for (const bool live : {false, true}) {
        SCOPED_TRACE(live ? "a live link" : "a dangling link");
        const QString target = elsewhere.path() + "/authorized_keys";
        QFile::remove(target);
        if (live)
            writeFile(target, "keep");
        ASSERT_FALSE(PrivatePage::folder().isEmpty());
        QFile::remove(PrivatePage::path());
        ASSERT_TRUE(QFile::link(target, PrivatePage::path()));
        const QString written = PrivatePage::write("<p>page", QStringLiteral("/coll\\tmp\\T.htm"));
        ASSERT_EQ(written, PrivatePage::path());
        EXPECT_FALSE(QFileInfo(written).isSymLink());
        EXPECT_TRUE(readFile(written).endsWith("<p>page"));
        EXPECT_EQ(QFileInfo::exists(target), live);
        if (live)
            EXPECT_EQ(readFile(target), "keep");
    }
}

// Pages of programs that died are cleared at the next start; a running
// program's page, and files that are not pages, stay.
TEST_F(PrivatePageFiles, PagesOfDeadProgramsAreRemoved)
{
    const QString folder = PrivatePage::folder();
    ASSERT_FALSE(folder.isEmpty());
    // A process that has certainly ended: a child that was waited for.
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(0);
    ASSERT_GT(child, 0);
    ::waitpid(child, nullptr, 0);
    const QString dead = folder + QStringLiteral("/TmpVORTAN-%1.htm").arg(child);
    const QString running = folder + QStringLiteral("/TmpVORTAN-%1.htm").arg(::getppid());
    const QString own = PrivatePage::write("<p>", QStringLiteral("/c\\tmp\\T.htm"));
    const QString other = folder + QStringLiteral("/notes.txt");
    for (const QString& f : {dead, running, other})
        writeFile(f, "x");

    PrivatePage::removeLeftovers();
    EXPECT_FALSE(QFileInfo::exists(dead));
    EXPECT_TRUE(QFileInfo::exists(running));
    EXPECT_TRUE(QFileInfo::exists(own));
    EXPECT_TRUE(QFileInfo::exists(other));
}

// With no folder to take the page, the path is empty and nothing is written.
TEST_F(PrivatePageFiles, NoFolderMeansNoPage)
{
    writeFile(runtimeFolder(), "x");
    writeFile(cacheFolder(), "x");
    EXPECT_TRUE(PrivatePage::folder().isEmpty());
    EXPECT_TRUE(PrivatePage::write("<p>", QStringLiteral("/c\\tmp\\T.htm")).isEmpty());
    EXPECT_TRUE(PrivatePage::nowhereMessage(QStringLiteral("/media/cd/tmp")).contains(QStringLiteral("/media/cd/tmp")));
}

TEST_F(PrivatePageFiles, WrittenToTheRuntimeFolderAndRemoved)
{
    const QString written = PrivatePage::write("<head><p>x", QStringLiteral("/coll\\tmp\\T.htm"));
    ASSERT_FALSE(written.isEmpty());
    EXPECT_TRUE(written.startsWith(runtime.path() + QStringLiteral("/orvanta/")));
    EXPECT_EQ(readFile(written), "<head><base href=\"file:///coll/tmp/T.htm\"><p>x");
    EXPECT_EQ(QFileInfo(QFileInfo(written).path()).permissions() & (QFile::ReadOther | QFile::ReadGroup),
              QFile::Permissions());
    PrivatePage::remove();
    EXPECT_FALSE(QFileInfo::exists(written));
}

// Whether the collection took the page is what decides where the view goes.
TEST_F(PrivatePageFiles, TheMarkedPageReportsWhetherItWasWritten)
{
    QTemporaryDir install;
    writeFile(install.filePath(QStringLiteral("a.htm")), "<p>\xA5\xD2</p>");
    const QString folder = install.path();
    QByteArray bytes;
    EXPECT_TRUE(writeMarkedPage(folder, QStringLiteral("a.htm"), QString(), folder + QStringLiteral("\\tmp\\T.htm"),
                                &bytes));
    EXPECT_EQ(bytes, "<p>\xA5\xD2</p>");
    // A file where the tmp folder should be: nothing can be written there.
    writeFile(install.filePath(QStringLiteral("blocked")), "x");
    bytes.clear();
    EXPECT_FALSE(writeMarkedPage(folder, QStringLiteral("a.htm"), QString(),
                                 folder + QStringLiteral("\\blocked\\T.htm"), &bytes));
    EXPECT_EQ(bytes, "<p>\xA5\xD2</p>") << "the bytes are still there to be written elsewhere";
}

} // namespace
} // namespace Orvanta::Test
