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
protected:
    void SetUp() override
    {
        ASSERT_TRUE(runtime.isValid());
        saved = qgetenv("XDG_RUNTIME_DIR");
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
    }
    void TearDown() override
    {
        PrivatePage::remove();
        if (saved.isNull())
            qunsetenv("XDG_RUNTIME_DIR");
        else
            qputenv("XDG_RUNTIME_DIR", saved);
    }
    QTemporaryDir runtime;
    QByteArray saved;
};

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
