#include "search/core/Highlighter.h"

#include "platform/text/Cp950.h"
#include "support/Fixtures.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace Orvanta;
namespace Fx = Orvanta::Test;

namespace {

QString mark(const QString& w)
{
    return "<font color=red>" + w + "</font>";
}

// A fresh install folder with one page and the path of its temporary page.
struct Install {
    QTemporaryDir dir;
    QString root() const { return dir.path(); }
    QString tmpPage() const { return root() + "\\tmp\\TmpVORTAN.htm"; }
    QString localTmpPage() const { return root() + "/tmp/TmpVORTAN.htm"; }
};

} // namespace

TEST(Highlighter, HighlightTextDependsOnTheMode)
{
    const QString long150 = [] {
        QString s = "-";
        for (int i = 0; i < 149; ++i)
            s += QChar(0x4E00 + i);
        return s;
    }();

    struct Case {
        QString mode, box, expected;
    };
    const std::vector<Case> cases = {
        {"mod1", "", ""},
        {"mod1", "  甲 乙  ", "甲 乙"},
        {"mod4", "+甲 乙", "甲 乙"},
        {"mod3", "-", ""},
        {"mod3", "", ""},
        {"mod3", "   -甲   ", "甲"},
        {"mod3a", "甲 乙", "甲 乙"},
        {"mod3a", "-甲", "-甲"},
        // Edited after the search: the first character goes whatever it is.
        {"mod4", "甲乙 丙", "乙 丙"},
        // Before the first search that found rows.
        {"", " 甲 ", "甲"},
        // Exact, case-sensitive comparison of the mode.
        {"MOD3", "-甲", "-甲"},
        {"mod3 ", "-甲", "-甲"},
        // Characters 2 to 101 only.
        {"mod3", long150, long150.mid(1, 100)},
        {"mod1", long150, long150},
        {"mod4", "+甲  乙", "甲  乙"},
        {"mod1", "甲\u3000乙", "甲\u3000乙"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(highlightTextFor(c.mode, c.box), c.expected)
            << c.mode.toStdString() << " ⟨" << c.box.toStdString() << "⟩";
    }
    EXPECT_EQ(highlightTextFor("mod3", long150).size(), 100);
}

TEST(Highlighter, MarkingRules)
{
    struct Case {
        QString page;
        QStringList words;
        QString expected;
        const char* why;
    };
    const std::vector<Case> cases = {
        {"甲乙甲", {"甲", "甲"}, mark(mark("甲")) + "乙" + mark(mark("甲")), "a word given twice is wrapped twice"},
        {"乙甲", {"乙甲", "乙"}, mark(mark("乙") + "甲"), "a later word inside earlier mark-up"},
        {"乙甲", {"乙", "乙甲"}, mark("乙") + "甲", "an earlier shorter word hides the longer one"},
        {"x", {"x", "red"}, "<font color=" + mark("red") + ">x</font>", "mark-up itself is scanned by later words"},
        {"<table>table</table>", {"table"},
         "<" + mark("table") + ">" + mark("table") + "</" + mark("table") + ">", "tags are not protected"},
        {"aaa", {"aa"}, mark("aa") + "a", "no overlap, left to right"},
        {"aaaa", {"aa"}, mark("aa") + mark("aa"), "adjacent occurrences"},
        {"Ginseng ginseng GINSENG", {"ginseng"}, "Ginseng " + mark("ginseng") + " GINSENG", "letter case counts"},
        {"甲 乙", {"", "甲", ""}, mark("甲") + " 乙", "empty words change nothing"},
        {"甲\u3000乙 甲 乙", {"甲\u3000乙"}, mark("甲\u3000乙") + " 甲 乙", "only the exact sequence"},
        {"abc", {}, "abc", "no words"},
        {"", {"a"}, "", "empty page"},
        {"font", {"font"}, mark("font"), "inserted text is not rescanned for the same word"},
        {"ab", {"b", "a"}, mark("a") + mark("b"), "word order decides the nesting"},
        {"甲乙丙", {"丙", "乙", "甲"}, mark("甲") + mark("乙") + mark("丙"), "each word over the text so far"},
        {"line1\r\nline2甲\n", {"甲"}, "line1\r\nline2" + mark("甲") + "\n", "line ends unchanged"},
        {"\U00020000x\U00020000", {"\U00020000"}, mark("\U00020000") + "x" + mark("\U00020000"),
         "characters beyond the basic plane"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(markWords(c.page, c.words), c.expected) << c.why;
}

TEST(Highlighter, ManyHitsInALargePage)
{
    QString page;
    for (int i = 0; i < 50000; ++i)
        page += "甲乙丙丁";
    const QString marked = markWords(page, {"乙", "丁"});
    EXPECT_EQ(marked.size(), page.size() + 100000 * 23);
    EXPECT_EQ(marked.count(mark("乙")), 50000);
    EXPECT_EQ(marked.count(mark("丁")), 50000);
    EXPECT_TRUE(marked.startsWith("甲" + mark("乙") + "丙" + mark("丁") + "甲"));
}

TEST(MarkedPage, WritesTheMarkedPageInCodePage950)
{
    Install in;
    // 人參 甘草 in code page 950, inside a page with a Big5 declaration.
    const QByteArray page = "<meta charset=big5><p>\xA4\x48\xB0\xD1 \xA5\xCC\xAF\xF3\xA1\x43</p>\r\n";
    Fx::writeFile(in.root() + "/data/a.htm", page);

    writeMarkedPage(in.root(), "data\\a.htm", "\xE4\xBA\xBA\xE5\x8F\x83", in.tmpPage());

    EXPECT_TRUE(QFileInfo(in.root() + "/tmp").isDir()) << "tmp is created when missing";
    EXPECT_EQ(Fx::readFile(in.localTmpPage()),
              QByteArray("<meta charset=big5><p><font color=red>\xA4\x48\xB0\xD1</font> \xA5\xCC\xAF\xF3\xA1\x43</p>\r\n"));
}

// With no words the temporary page holds exactly the bytes of the document page.
TEST(MarkedPage, NoWordsGivesTheSameBytes)
{
    if (!Fx::requireFixtures())
        return;
    Install in;
    const QString source = Fx::fixture("jet4-install");
    for (const QString& name : {QString("a001.htm"), QString("a012.htm"), QString("long.htm")}) {
        const QByteArray bytes = Fx::readFile(source + "/data/" + name);
        ASSERT_FALSE(bytes.isEmpty()) << name.toStdString();
        writeMarkedPageFiles(in.root() + "\\tmp", source + "\\data\\" + name, "", in.tmpPage());
        EXPECT_EQ(Fx::readFile(in.localTmpPage()), bytes) << name.toStdString();
    }
}

TEST(MarkedPage, LongPageKeepsItsEnd)
{
    if (!Fx::requireFixtures())
        return;
    Install in;
    Fx::writeFile(in.root() + "/data/long.htm",
                    Fx::readFile(Fx::fixture("jet4-install/data/long.htm")));
    writeMarkedPage(in.root(), "data\\long.htm", "龍骨尾", in.tmpPage());
    const QString written = Cp950::decode(Fx::readFile(in.localTmpPage()));
    EXPECT_EQ(written.count(mark("龍骨尾")), 1);
    EXPECT_TRUE(written.contains(mark("龍骨尾") + "</p>"));
}

TEST(MarkedPage, WindowsPathsResolveLetterCaseAndDoubledSeparators)
{
    Install in;
    Fx::writeFile(in.root() + "/data/a012.htm", "\xA4\x48");
    writeMarkedPage(in.root(), "DATA\\A012.HTM", "人", in.tmpPage());
    EXPECT_EQ(Fx::readFile(in.localTmpPage()), QByteArray("<font color=red>\xA4\x48</font>"));

    writeMarkedPage(in.root(), "\\data\\a012.htm", "", in.tmpPage());
    EXPECT_EQ(Fx::readFile(in.localTmpPage()), QByteArray("\xA4\x48"));
}

TEST(MarkedPage, MissingOrEmptyPageGivesAnEmptyTemporaryPage)
{
    Install in;
    Fx::writeFile(in.localTmpPage(), "old page");
    writeMarkedPage(in.root(), "data\\missing.htm", "甲", in.tmpPage());
    ASSERT_TRUE(QFileInfo(in.localTmpPage()).isFile());
    EXPECT_EQ(QFileInfo(in.localTmpPage()).size(), 0);

    Fx::writeFile(in.localTmpPage(), "old page");
    Fx::writeFile(in.root() + "/data/empty.htm", "");
    writeMarkedPage(in.root(), "data\\empty.htm", "甲", in.tmpPage());
    EXPECT_EQ(QFileInfo(in.localTmpPage()).size(), 0);

    // The header row's caption as a path.
    Fx::writeFile(in.localTmpPage(), "old page");
    writeMarkedPage(in.root(), "位置", "", in.tmpPage());
    EXPECT_EQ(QFileInfo(in.localTmpPage()).size(), 0);

    // A folder where the page should be.
    QDir(in.root()).mkpath("data/folder.htm");
    Fx::writeFile(in.localTmpPage(), "old page");
    writeMarkedPage(in.root(), "data\\folder.htm", "", in.tmpPage());
    EXPECT_EQ(QFileInfo(in.localTmpPage()).size(), 0);
}

TEST(MarkedPage, ReplacesTheOldTemporaryPage)
{
    Install in;
    Fx::writeFile(in.root() + "/data/a.htm", "first page, long enough");
    Fx::writeFile(in.root() + "/data/b.htm", "second");
    writeMarkedPage(in.root(), "data\\a.htm", "", in.tmpPage());
    EXPECT_EQ(Fx::readFile(in.localTmpPage()), "first page, long enough");
    writeMarkedPage(in.root(), "data\\b.htm", "", in.tmpPage());
    EXPECT_EQ(Fx::readFile(in.localTmpPage()), "second");
    writeMarkedPage(in.root(), "data\\b.htm", "", in.tmpPage());
    EXPECT_EQ(Fx::readFile(in.localTmpPage()), "second");
}

TEST(MarkedPage, DeletedTmpFolderIsCreatedAgain)
{
    Install in;
    Fx::writeFile(in.root() + "/data/a.htm", "abc");
    writeMarkedPage(in.root(), "data\\a.htm", "b", in.tmpPage());
    ASSERT_TRUE(QDir(in.root() + "/tmp").removeRecursively());
    writeMarkedPage(in.root(), "data\\a.htm", "b", in.tmpPage());
    EXPECT_EQ(Fx::readFile(in.localTmpPage()), "a<font color=red>b</font>c");
}

TEST(MarkedPage, TmpIsAFileNothingIsWritten)
{
    Install in;
    Fx::writeFile(in.root() + "/data/a.htm", "abc");
    Fx::writeFile(in.root() + "/tmp", "not a folder");
    writeMarkedPage(in.root(), "data\\a.htm", "b", in.tmpPage());
    EXPECT_TRUE(QFileInfo(in.root() + "/tmp").isFile());
    EXPECT_EQ(Fx::readFile(in.root() + "/tmp"), "not a folder");
    EXPECT_EQ(Fx::readFile(in.root() + "/data/a.htm"), "abc") << "the document is only read";
}

TEST(MarkedPage, UndeletableOldPageIsLeftAsItIs)
{
    Install in;
    Fx::writeFile(in.root() + "/data/a.htm", "abc");
    // A folder under the page's name cannot be deleted or replaced by the file
    // operations, whoever runs them.
    ASSERT_TRUE(QDir(in.root()).mkpath("tmp/TmpVORTAN.htm/inside"));
    writeMarkedPage(in.root(), "data\\a.htm", "b", in.tmpPage());
    EXPECT_TRUE(QFileInfo(in.localTmpPage()).isDir());
    EXPECT_TRUE(QFileInfo(in.localTmpPage() + "/inside").isDir());
}

TEST(MarkedPage, SeparateLocationsLeaveTheInstallFolderAlone)
{
    Install in;
    QTemporaryDir scratch;
    Fx::writeFile(in.root() + "/data/a.htm", "abc");
    const QString tmpFolder = scratch.path() + "\\tmp";
    writeMarkedPageFiles(tmpFolder, in.root() + "\\data\\a.htm", "c", tmpFolder + "\\TmpVORTAN.htm");
    EXPECT_EQ(Fx::readFile(scratch.path() + "/tmp/TmpVORTAN.htm"), "ab<font color=red>c</font>");
    EXPECT_FALSE(QFileInfo(in.root() + "/tmp").exists());
}
