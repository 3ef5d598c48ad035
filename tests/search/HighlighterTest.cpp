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

// A page, the words marked in it and the page that comes out.
struct MarkCase {
    QString page;
    QStringList words;
    QString expected;
    const char* why = "";
};

void expectMarks(const std::vector<MarkCase>& cases)
{
    for (const MarkCase& c : cases)
        EXPECT_EQ(markWords(c.page, c.words), c.expected) << c.why << " ⟨" << c.page.toStdString() << "⟩";
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
    const std::vector<MarkCase> cases = {
        {"甲乙甲", {"甲", "甲"}, mark(mark("甲")) + "乙" + mark(mark("甲")), "a word given twice is wrapped twice"},
        {"乙甲", {"乙甲", "乙"}, mark(mark("乙") + "甲"), "a later word inside earlier mark-up"},
        {"乙甲", {"乙", "乙甲"}, mark("乙") + "甲", "an earlier shorter word hides the longer one"},
        {"x", {"x", "red"}, mark("x"), "the marks of earlier words are mark-up, not text"},
        {"<table>table</table>", {"table"}, "<table>" + mark("table") + "</table>", "tag names are not text"},
        {"aaa", {"aa"}, mark("aa") + "a", "no overlap, left to right"},
        {"aaaa", {"aa"}, mark("aa") + mark("aa"), "adjacent occurrences"},
        {"Ginseng ginseng GINSENG", {"ginseng"}, mark("Ginseng") + " " + mark("ginseng") + " " + mark("GINSENG"),
         "letter case is folded, the page's letters stay"},
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
    expectMarks(cases);
}

// Pages and queries with the bytes written out (UTF-8 in the strings).
TEST(Highlighter, MarksOnlyTheTextOfThePage)
{
    const std::vector<MarkCase> cases = {
        {"楊雲&#23791; 9", {"9"}, "楊雲&#23791; " + mark("9"), "numeric character reference"},
        {"&#x5CEF;&#X5cef 5", {"5"}, "&#x5CEF;&#X5cef " + mark("5"), "hexadecimal references, with and without ;"},
        {"&amp; &nbsp &copy; amp", {"amp", "copy", "nbsp"}, "&amp; &nbsp &copy; " + mark("amp"), "entity references"},
        {"AT&T &x &1 & amp", {"T", "x", "1"}, "A" + mark("T") + "&" + mark("T") + " &" + mark("x") + " &" + mark("1") + " & amp",
         "an ampersand that starts no reference is text"},
        {"人蔘<br>br<BR/>", {"人蔘", "br"}, mark("人蔘") + "<br>" + mark("br") + "<BR/>", "tags"},
        {"<a href=\"x.htm\" title='a > b'>a</a>", {"a"}, "<a href=\"x.htm\" title='a > b'>" + mark("a") + "</a>",
         "a quoted attribute value may hold >"},
        {"<!-- 甲 --> 甲 <!DOCTYPE html 甲>", {"甲"}, "<!-- 甲 --> " + mark("甲") + " <!DOCTYPE html 甲>",
         "comments and declarations"},
        {"<script>if (a < b) x = '甲';</script>甲<style>p{}</STYLE>p", {"甲", "p"},
         "<script>if (a < b) x = '甲';</script>" + mark("甲") + "<style>p{}</STYLE>" + mark("p"),
         "scripts and styles are not text"},
        {"<SCRIPT>x='甲'</SCRIPT>甲<Style>p{}</sTyle>p", {"甲", "p"},
         "<SCRIPT>x='甲'</SCRIPT>" + mark("甲") + "<Style>p{}</sTyle>" + mark("p"), "in any letter case"},
        {"<script>a='</scripts>甲';</script>甲<style>/*</styles>p*/</style>p", {"甲", "p"},
         "<script>a='</scripts>甲';</script>" + mark("甲") + "<style>/*</styles>p*/</style>" + mark("p"),
         "an end tag's name ends there"},
        {"<textarea>甲</textarea><xmp>甲</xmp><iframe>甲</iframe>甲", {"甲"},
         "<textarea>甲</textarea><xmp>甲</xmp><iframe>甲</iframe>" + mark("甲"), "text boxes, xmp and frames hold raw text"},
        {"<TEXTAREA>甲</TEXTAREA><XMP>甲</XMP><IFRAME>甲</IFRAME><NOEMBED>甲</NOEMBED><NOFRAMES>甲</NOFRAMES>"
         "<TITLE>甲</TITLE>甲",
         {"甲"},
         "<TEXTAREA>甲</TEXTAREA><XMP>甲</XMP><IFRAME>甲</IFRAME><NOEMBED>甲</NOEMBED><NOFRAMES>甲</NOFRAMES>"
         "<TITLE>甲</TITLE>" + mark("甲"),
         "every raw-text element in capitals"},
        {"<noembed>甲</noembeds>甲</noembed><noframes>甲</noframes/>甲<title>甲</title >甲", {"甲"},
         "<noembed>甲</noembeds>甲</noembed><noframes>甲</noframes/>" + mark("甲") + "<title>甲</title >" + mark("甲"),
         "an end tag counts when its name is followed by space, / or >"},
        {"<noscript>甲</noscript>", {"甲"}, "<noscript>" + mark("甲") + "</noscript>",
         "noscript is shown, page scripts being off"},
        {"&copy人參 &copyright &COPY; &Copy copy", {"copy"},
         "&copy人參 &copyright &COPY; &" + mark("Copy") + " " + mark("copy"),
         "references old pages write without ;, the longest that begins the name"},
        {"<title>甲乙</title><p>甲</p>", {"甲"}, "<title>甲乙</title><p>" + mark("甲") + "</p>",
         "the title is the window's caption, where a mark would show as letters"},
        {"甲<plaintext>甲</plaintext>甲", {"甲"}, mark("甲") + "<plaintext>甲</plaintext>甲",
         "nothing ends plaintext"},
        {"1 < 2 <3 <", {"<", "2"}, "1 " + mark("<") + " " + mark("2") + " " + mark("<") + "3 " + mark("<"),
         "a < that starts no tag is text"},
        {"甲<b>乙", {"甲<b>乙", "甲乙"}, "甲<b>乙", "a word never spans mark-up"},
        {"甲<p unclosed 甲", {"甲"}, mark("甲") + "<p unclosed 甲", "an unclosed tag runs to the end"},
    };
    expectMarks(cases);
}

// Big5 has no code for 爲 and a few thousand other characters, so pages carry
// them as references; the index reads them as characters, and so do the marks.
TEST(Highlighter, MarksCharactersWrittenAsReferences)
{
    const std::vector<MarkCase> cases = {
        {"&#29234;人", {"爲人"}, mark("&#29234;人"), "a word that starts with a reference"},
        {"楊雲&#23791; 9", {"雲峯"}, "楊" + mark("雲&#23791;") + " 9", "a word that ends with one"},
        {"&#29234;人&#29234;", {"爲"}, mark("&#29234;") + "人" + mark("&#29234;"), "the reference alone"},
        {"&#x5CEF;&#X5cef 5", {"峯峯"}, mark("&#x5CEF;&#X5cef") + " 5", "hexadecimal, with and without ;"},
        {"&#131072;x", {"\U00020000x"}, mark("&#131072;x"), "beyond the basic plane"},
        {"&#131072;", {QString(QChar(0xD840))}, "&#131072;", "half of a referenced character is no match"},
        {"AT&amp;T at&T", {"at&t"}, mark("AT&amp;T") + " " + mark("at&T"), "entities, letter case folded"},
        {"&#29234;", {"爲", "爲"}, mark(mark("&#29234;")), "a word given twice"},
        {"&#29234;人", {"人", "爲人"}, "&#29234;" + mark("人"), "the marks of earlier words break the text"},
        {"&#29234;人", {"爲人", "人"}, mark("&#29234;" + mark("人")), "a later word inside the mark"},
        {"&#29234;<b>人", {"爲人"}, "&#29234;<b>人", "never across a tag"},
        {"甲&foo;乙 甲乙", {"甲乙"}, "甲&foo;乙 " + mark("甲乙"), "an unknown entity breaks the text"},
        {"<a title='&#29234;'>&#29234;</a>", {"爲"}, "<a title='&#29234;'>" + mark("&#29234;") + "</a>",
         "references inside a tag stay as they are"},
        {"<script>x='&#29234;'</script>&#29234;", {"爲"}, "<script>x='&#29234;'</script>" + mark("&#29234;"),
         "and inside a script"},
        {"&#29234; 29234", {"29234", "#"}, "&#29234; " + mark("29234"), "the reference's own letters are not text"},
        {"&#0;&#xD800;&#1114112;", {"\uFFFD\uFFFD\uFFFD"}, mark("&#0;&#xD800;&#1114112;"),
         "numbers that name no character read as U+FFFD, as the index reads them"},
    };
    expectMarks(cases);
}

// A word with "%" or "_" marks what its pattern matched: the leftmost start,
// the shortest match from there, then on after it.
TEST(Highlighter, WildcardWordsMarkWhatThePatternMatches)
{
    const QString longGap = QString(198, QChar(u'乙'));
    const std::vector<MarkCase> cases = {
        {"人參湯 人湯 人參甘湯", {"人_湯"}, mark("人參湯") + " 人湯 人參甘湯", "_ is exactly one character"},
        {"人參湯 人湯 人參甘湯", {"人%湯"}, mark("人參湯") + " " + mark("人湯") + " " + mark("人參甘湯"),
         "% is any run, none included"},
        {"人參湯湯", {"人%湯"}, mark("人參湯") + "湯", "the shortest match from the start"},
        {"人人參湯", {"人%湯"}, mark("人人參湯"), "the leftmost start"},
        {"人參湯人參湯", {"人_湯"}, mark("人參湯") + mark("人參湯"), "then on after the match"},
        {"人𠀀湯", {"人_湯"}, mark("人𠀀湯"), "_ takes a code point beyond the basic plane"},
        {"人參<b>湯</b> 人參湯", {"人%湯"}, "人參<b>湯</b> " + mark("人參湯"), "never across mark-up"},
        {"人&#29234;湯 人參湯", {"人_湯"}, "人&#29234;湯 " + mark("人參湯"), "nor across a reference"},
        {"<script>人參湯</script><title>人參湯</title>人參湯", {"人_湯"},
         "<script>人參湯</script><title>人參湯</title>" + mark("人參湯"), "nor inside raw text"},
        {"甲" + longGap + "丙 甲" + longGap + "乙丙", {"甲%丙"}, mark("甲" + longGap + "丙") + " 甲" + longGap + "乙丙",
         "a stretch is at most 200 characters"},
        {"Ginseng TEA", {"g_nseng%tea"}, mark("Ginseng TEA"), "letter case folded, the page's letters kept"},
        {"人參湯", {"%參%"}, "人" + mark("參") + "湯", "a % at either end adds nothing"},
        {"人參湯", {"%", "%%"}, "人參湯", "a word of % alone marks nothing"},
        {"甲乙", {"_"}, mark("甲") + mark("乙"), "_ alone marks each character"},
        {"50% 5_0", {"5_"}, mark("50") + "% " + mark("5_") + "0", "the wildcards are not literal"},
        {"人參湯", {"人參", "人_湯"}, mark("人參") + "湯", "earlier marks are mark-up for a pattern too"},
        {"人參湯", {"人_湯", "參"}, mark("人" + mark("參") + "湯"), "and a later literal word marks inside it"},
    };
    expectMarks(cases);
}

// The search compares by simple case folding; the marks follow it.
TEST(Highlighter, MarksWhatTheSearchMatches)
{
    const std::vector<MarkCase> cases = {
        {"Ginseng, GINSENG", {"gInSeNg"}, mark("Ginseng") + ", " + mark("GINSENG")},
        {"\u212A Kelvin k", {"k"}, mark("\u212A") + " " + mark("K") + "elvin " + mark("k")},
        {"ΣΊΣΥΦΟΣ σίσυφος", {"σίσυφοσ"}, mark("ΣΊΣΥΦΟΣ") + " " + mark("σίσυφος")},
        {"Ａｂ ａＢ", {"ａｂ"}, mark("Ａｂ") + " " + mark("ａＢ")},
        {"ab ａｂ", {"ab"}, mark("ab") + " ａｂ"}, // full-width forms are other characters
        {"Straße STRASSE", {"strasse"}, "Straße " + mark("STRASSE")}, // one character to one
        {"\U00010400\U00010428", {"\U00010428"}, mark("\U00010400") + mark("\U00010428")},
        {"<P CLASS=p>P p</P>", {"p"}, "<P CLASS=p>" + mark("P") + " " + mark("p") + "</P>"},
        {"人參人参", {"人參"}, mark("人參") + "人参"},
    };
    expectMarks(cases);
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

// Each page is read in the encoding it declares, marked, and written back in
// it: the words are marked and every other byte comes back as it was.
TEST(MarkedPage, EveryDeclaredEncoding)
{
    struct Case {
        const char* why;
        QByteArray page;
        QByteArray expected;
    };
    const auto utf16le = [](const QString& text) {
        return QByteArray(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
    };
    // 人參 甘草 頁 in each encoding; the query is 人參 頁.
    const std::vector<Case> cases = {
        {"UTF-8", "<meta charset=utf-8><p>\xE4\xBA\xBA\xE5\x8F\x83 \xE7\x94\x98\xE8\x8D\x89 UTF-8 \xE9\xA0\x81",
         "<meta charset=utf-8><p><font color=red>\xE4\xBA\xBA\xE5\x8F\x83</font> \xE7\x94\x98\xE8\x8D\x89 UTF-8 "
         "<font color=red>\xE9\xA0\x81</font>"},
        {"byte-order mark, no declaration", "\xEF\xBB\xBF<p>\xE4\xBA\xBA\xE5\x8F\x83 \xE9\xA0\x81</p>",
         "\xEF\xBB\xBF<p><font color=red>\xE4\xBA\xBA\xE5\x8F\x83</font> <font color=red>\xE9\xA0\x81</font></p>"},
        {"GBK", "<META http-equiv=Content-Type content=\"text/html; charset=GBK\">\xC8\xCB\x85\xA2 \xB8\xCA\xB2\xDD \xED\x93",
         "<META http-equiv=Content-Type content=\"text/html; charset=GBK\"><font color=red>\xC8\xCB\x85\xA2</font> "
         "\xB8\xCA\xB2\xDD <font color=red>\xED\x93</font>"},
        {"GB2312 label, read as GBK", "<meta charset=\"gb2312\">\xC8\xCB\x85\xA2",
         "<meta charset=\"gb2312\"><font color=red>\xC8\xCB\x85\xA2</font>"},
        {"Big5", "<meta charset=big5>\xA4\x48\xB0\xD1 \xA5\xCC\xAF\xF3 \xAD\xB6\r\n",
         "<meta charset=big5><font color=red>\xA4\x48\xB0\xD1</font> \xA5\xCC\xAF\xF3 <font color=red>\xAD\xB6</font>\r\n"},
        {"undeclared", "<p>\xA4\x48\xB0\xD1 \xAD\xB6",
         "<p><font color=red>\xA4\x48\xB0\xD1</font> <font color=red>\xAD\xB6</font>"},
        {"unknown name: code page 950", "<meta charset=x-nothing>\xA4\x48\xB0\xD1",
         "<meta charset=x-nothing><font color=red>\xA4\x48\xB0\xD1</font>"},
        {"UTF-16 with its mark", "\xFF\xFE" + utf16le("人參 "), "\xFF\xFE" + utf16le(mark("人參") + " ")},
    };
    for (const Case& c : cases) {
        Install in;
        Fx::writeFile(in.root() + "/data/a.htm", c.page);
        writeMarkedPage(in.root(), "data\\a.htm", "人參 頁", in.tmpPage());
        EXPECT_EQ(Fx::readFile(in.localTmpPage()), c.expected) << c.why;
        writeMarkedPage(in.root(), "data\\a.htm", "", in.tmpPage());
        EXPECT_EQ(Fx::readFile(in.localTmpPage()), c.page) << c.why << ": comes back whole";
    }
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
