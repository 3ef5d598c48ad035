// A collection is content from anywhere: its document paths, its tmp folder
// and links planted in it must never lead the program to read a file outside
// it or to write through a link.
#include "search/core/Highlighter.h"
#include "search/core/PageLink.h"

#include "support/Fixtures.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QUrl>

#include <gtest/gtest.h>

#include <unistd.h>

using namespace Orvanta;
namespace Fx = Orvanta::Test;

namespace {

const QByteArray kSecret = "TOPSECRET-42";
const QByteArray kPage = "<p>\xA4\x48\xB0\xD1</p>"; // 人參 in code page 950

// A collection in coll/ beside a folder of the user's in outside/.
struct Place {
    QTemporaryDir dir;
    QString coll() const { return dir.path() + "/coll"; }
    QString outside() const { return dir.path() + "/outside"; }
    QString tmpPage() const { return coll() + "\\tmp\\TmpVORTAN.htm"; }
    QString localTmpPage() const { return coll() + "/tmp/TmpVORTAN.htm"; }

    Place()
    {
        Fx::writeFile(coll() + "/data/a.htm", kPage);
        Fx::writeFile(outside() + "/secret.txt", kSecret);
    }
};

bool makeLink(const QString& target, const QString& link)
{
    QDir().mkpath(QFileInfo(link).path());
    return QFile::link(target, link);
}

// Row paths as a collection may hold them: joined exactly as ever, then
// resolved; one that leads out reads as a missing page.
TEST(PageBounds, DocumentPathsStayInsideTheCollection)
{
    struct Case {
        const char* name;
        QString htm;
        std::function<void(const Place&)> prepare;
        QByteArray shown; // what the temporary page holds
    };
    const std::vector<Case> cases = {
        {"a page of the collection", "data\\a.htm", {}, kPage},
        {"a leading \\ stays inside", "\\data\\a.htm", {}, kPage},
        {"capitals as on Windows", "DATA\\A.HTM", {}, kPage},
        {"dot-dot within the collection", "data\\..\\data\\a.htm", {}, kPage},
        {"..\\ out of the collection", "..\\outside\\secret.txt", {}, ""},
        {"../ out of the collection", "../outside/secret.txt", {}, ""},
        {"up to the system", "..\\..\\..\\..\\..\\..\\..\\..\\etc\\passwd", {}, ""},
        {"an absolute path", "/etc/passwd", {}, ""},
        {"a link inside that leads out", "data\\link.htm",
         [](const Place& p) { makeLink(p.outside() + "/secret.txt", p.coll() + "/data/link.htm"); }, ""},
        {"a linked folder that leads out", "data\\away\\secret.txt",
         [](const Place& p) { makeLink(p.outside(), p.coll() + "/data/away"); }, ""},
        {"a link inside to a page inside", "data\\same.htm",
         [](const Place& p) { makeLink(p.coll() + "/data/a.htm", p.coll() + "/data/same.htm"); }, kPage},
        {"a NUL cuts no name short", QStringLiteral("data\\a.htm") + QChar(u'\0') + "..\\..\\outside\\secret.txt",
         {}, ""},
        {"a newline is a character of the name", "data\\new\nline.htm",
         [](const Place& p) { Fx::writeFile(p.coll() + "/data/new\nline.htm", kPage); }, kPage},
        {"a folder is no page", "data", {}, ""},
        {"a pipe is no page", "data\\pipe.htm",
         [](const Place& p) { ASSERT_EQ(::mkfifo(QFile::encodeName(p.coll() + "/data/pipe.htm"), 0600), 0); }, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Place p;
        if (c.prepare)
            c.prepare(p);
        QByteArray bytes;
        EXPECT_TRUE(writeMarkedPage(p.coll(), c.htm, QString(), p.tmpPage(), &bytes));
        EXPECT_EQ(Fx::readFile(p.localTmpPage()), c.shown);
        EXPECT_FALSE(bytes.contains(kSecret));
        EXPECT_EQ(documentPageWithin(p.coll(), c.htm).isEmpty(), c.shown.isEmpty());
    }
}

// Whatever is planted at the temporary page's name is removed itself; what a
// link points at is never created, changed or removed.
TEST(PageBounds, TheTemporaryPageIsNeverWrittenThroughALink)
{
    struct Case {
        const char* name;
        bool targetExists;
    };
    for (const Case& c : {Case{"a dangling link", false}, Case{"a live link", true}}) {
        SCOPED_TRACE(c.name);
        Place p;
        const QString target = p.outside() + "/authorized_keys";
        if (c.targetExists)
            Fx::writeFile(target, kSecret);
        ASSERT_TRUE(makeLink(target, p.localTmpPage()));

        EXPECT_TRUE(writeMarkedPage(p.coll(), "data\\a.htm", QString(), p.tmpPage()));
        EXPECT_EQ(QFileInfo::exists(target), c.targetExists);
        if (c.targetExists)
            EXPECT_EQ(Fx::readFile(target), kSecret);
        EXPECT_FALSE(QFileInfo(p.localTmpPage()).isSymLink());
        EXPECT_EQ(Fx::readFile(p.localTmpPage()), kPage);
    }
}

// A tmp folder that is a link, to a folder outside or even inside, is not
// written: the caller puts the page in the user's own folder instead.
TEST(PageBounds, ALinkedTmpFolderIsNotUsed)
{
    for (const bool inside : {false, true}) {
        SCOPED_TRACE(inside ? "link to a folder inside" : "link to a folder outside");
        Place p;
        const QString target = inside ? p.coll() + "/data" : p.outside();
        ASSERT_TRUE(makeLink(target, p.coll() + "/tmp"));
        QByteArray bytes;
        EXPECT_FALSE(writeMarkedPage(p.coll(), "data\\a.htm", QString(), p.tmpPage(), &bytes));
        EXPECT_EQ(bytes, kPage) << "the page is still made, to be put elsewhere";
        EXPECT_FALSE(QFileInfo::exists(target + "/TmpVORTAN.htm"));
    }
}

// What a shown page may load at all: its collection's files and itself.
TEST(PageBounds, APageLoadsOnlyItselfAndItsCollection)
{
    Place p;
    Fx::writeFile(p.coll() + "/data/p.png", "png");
    Fx::writeFile(p.coll() + "/Help.htm", "<p>");
    const QString privateDir = p.dir.path() + "/private";
    const QString privatePage = privateDir + "/TmpVORTAN-1.htm";
    Fx::writeFile(privatePage, "<p>");
    Fx::writeFile(privateDir + "/TmpVORTAN-2.htm", "<p>");
    makeLink(p.outside() + "/secret.txt", p.coll() + "/data/link.txt");
    makeLink(p.outside() + "/secret.txt", p.dir.path() + "/shown-link.htm");
    const auto file = [](const QString& path) { return QUrl::fromLocalFile(path); };

    struct Case {
        QUrl url;
        QString shown;
        bool allowed;
    };
    const QString inView = p.localTmpPage();
    const std::vector<Case> cases = {
        {file(p.coll() + "/data/p.png"), inView, true},
        {file(p.coll() + "/data/../Help.htm"), inView, true},
        {QUrl(file(p.coll() + "/Help.htm").toString() + "?v=3#top"), inView, true},
        {file(privatePage), privatePage, true},
        {QUrl(file(privatePage).toString() + "?v=9"), privatePage, true},
        {file(privateDir + "/TmpVORTAN-2.htm"), privatePage, false},
        {file(p.outside() + "/secret.txt"), inView, false},
        {file(p.coll() + "/../outside/secret.txt"), inView, false},
        {file(p.coll() + "/data/link.txt"), inView, false},
        {file(p.dir.path() + "/shown-link.htm"), p.dir.path() + "/shown-link.htm", false},
        {file("/etc/passwd"), inView, false},
        {file(p.coll() + "/data/missing.htm"), inView, false},
        {QUrl("file://otherhost/share/x.htm"), inView, false},
        {QUrl("https://attacker.invalid/?d=x"), inView, false},
        {QUrl("http://127.0.0.1/"), inView, false},
        {QUrl("ws://127.0.0.1/"), inView, false},
        {QUrl("ftp://example.com/"), inView, false},
        {QUrl("data:image/png;base64,AAAA"), inView, true},
        {QUrl("about:blank"), inView, true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(pageMayLoad(c.url, c.shown, p.coll()), c.allowed) << c.url.toString().toStdString();
}

// A link whose target leads out through a link is refused like any outside.
TEST(PageBounds, ALinkedPageOutsideIsNotOpened)
{
    Place p;
    Fx::writeFile(p.outside() + "/page.htm", "<p>");
    makeLink(p.outside() + "/page.htm", p.coll() + "/data/out.htm");
    const QString shown = p.localTmpPage();
    const PageLink link = resolvePageLink(QUrl::fromLocalFile(p.coll() + "/tmp/out.htm"), shown,
                                          p.coll() + "/data/a.htm", p.coll());
    EXPECT_EQ(link.kind, PageLink::Kind::Refuse);
}

} // namespace
