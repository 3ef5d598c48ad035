#include "search/core/QueryComposer.h"

#include <gtest/gtest.h>

using namespace Orvanta;

namespace {

struct ComposeCase {
    QString box;
    QString trimmed;
    QString escaped;
    QString mode;
    QString sql;
    int words;
};

const QString kListAll = QStringLiteral("select subject,htm from  maindata order by date desc");

void expectComposed(const std::vector<ComposeCase>& cases)
{
    for (const ComposeCase& c : cases) {
        const ComposedQuery q = composeQuery(c.box);
        const std::string box = c.box.toStdString();
        EXPECT_EQ(q.trimmed, c.trimmed) << "box ⟨" << box << "⟩";
        EXPECT_EQ(q.escaped, c.escaped) << "box ⟨" << box << "⟩";
        EXPECT_EQ(q.mode, c.mode) << "box ⟨" << box << "⟩";
        EXPECT_EQ(q.sql, c.sql) << "box ⟨" << box << "⟩";
        EXPECT_EQ(q.wordCount, c.words) << "box ⟨" << box << "⟩";
    }
}

} // namespace

// The reference statements: these texts are compared byte for byte.
TEST(QueryComposer, ReferenceStatements)
{
    expectComposed({
        {"", "", "", "mod1", kListAll, 0},
        {"人參", "人參", "人參", "mod3a",
         "select subject,htm from  maindata where 1=1 and content like '%人參%' order by [date] desc ", 1},
        {"人參 甘草", "人參 甘草", "人參 甘草", "mod3a",
         "select subject,htm from  maindata where 1=1 and content like '%人參%'  and content like '%甘草%' order by [date] desc ", 2},
        {"-人參 甘草", "-人參 甘草", "人參 甘草", "mod3",
         "select subject,htm from  maindata where 1=1 and content like '%人參%'  and content like '%甘草%' order by [date] desc ", 2},
        {"+人參 甘草", "+人參 甘草", "人參 甘草", "mod4",
         "select subject,htm from  maindata where 1=2  or content like '%人參%'   or content like '%甘草%' ", 2},
        {"it's", "it's", "it'&chr(39)&'s", "mod3a",
         "select subject,htm from  maindata where 1=1 and content like '%it'&chr(39)&'s%' order by [date] desc ", 1},
    });
}

TEST(QueryComposer, EdgeCases)
{
    const QString allBase = QStringLiteral("select subject,htm from  maindata where 1=1");
    const QString anyBase = QStringLiteral("select subject,htm from  maindata where 1=2");
    const QString order = QStringLiteral("order by [date] desc ");
    auto all = [](const QString& w) { return " and content like '%" + w + "%' "; };
    auto any = [](const QString& w) { return "  or content like '%" + w + "%' "; };

    expectComposed({
        // Spaces only: the box is emptied and every document is listed.
        {"     ", "", "", "mod1", kListAll, 0},
        // The mode character alone.
        {"-", "-", "", "mod3", "select subject,htm from  maindata where 1=1 order by [date] desc ", 0},
        {"+", "+", "", "mod4", "select subject,htm from  maindata where 1=2", 0},
        {"  -  ", "-", "", "mod3", allBase + " " + order, 0},
        // Inner double spaces give an empty word and a '%%' clause.
        {"  人參  甘草 ", "人參  甘草", "人參  甘草", "mod3a",
         allBase + all("人參") + all("") + all("甘草") + order, 3},
        {"+ 人參", "+ 人參", " 人參", "mod4", anyBase + any("") + any("人參"), 2},
        {"- 甘草", "- 甘草", " 甘草", "mod3", allBase + all("") + all("甘草") + order, 2},
        {"+人參 ", "+人參", "人參", "mod4", anyBase + any("人參"), 1},
        // A leading apostrophe escapes to a leading apostrophe: an ordinary character.
        {"'人參", "'人參", "'&chr(39)&'人參", "mod3a", allBase + all("'&chr(39)&'人參") + order, 1},
        {"+it's o'k", "+it's o'k", "it'&chr(39)&'s o'&chr(39)&'k", "mod4",
         anyBase + any("it'&chr(39)&'s") + any("o'&chr(39)&'k"), 2},
        {"''", "''", "'&chr(39)&''&chr(39)&'", "mod3a", allBase + all("'&chr(39)&''&chr(39)&'") + order, 1},
        // Look-alike signs are ordinary characters.
        {"－人參", "－人參", "－人參", "mod3a", allBase + all("－人參") + order, 1},
        {"＋人參", "＋人參", "＋人參", "mod3a", allBase + all("＋人參") + order, 1},
        // Only U+0020 separates words and is trimmed.
        {"人參\u3000甘草", "人參\u3000甘草", "人參\u3000甘草", "mod3a", allBase + all("人參\u3000甘草") + order, 1},
        {"\u3000人參\u3000", "\u3000人參\u3000", "\u3000人參\u3000", "mod3a",
         allBase + all("\u3000人參\u3000") + order, 1},
        {"\t人參\t", "\t人參\t", "\t人參\t", "mod3a", allBase + all("\t人參\t") + order, 1},
        // The mode character is removed once only.
        {"--人參", "--人參", "-人參", "mod3", allBase + all("-人參") + order, 1},
        {"++人參", "++人參", "+人參", "mod4", anyBase + any("+人參"), 1},
        {"-+人參", "-+人參", "+人參", "mod3", allBase + all("+人參") + order, 1},
        // Wildcards go into the pattern unchanged.
        {"100% 純_品", "100% 純_品", "100% 純_品", "mod3a", allBase + all("100%") + all("純_品") + order, 2},
        // Trailing spaces are gone before the words are split.
        {"-a  ", "-a", "a", "mod3", allBase + all("a") + order, 1},
    });
}

TEST(QueryComposer, TrimRemovesOnlyAsciiSpaces)
{
    const std::vector<std::pair<QString, QString>> cases = {
        {"", ""},
        {"   ", ""},
        {"  a b  ", "a b"},
        {"a", "a"},
        {"\ta\t", "\ta\t"},
        {"\u3000a\u3000", "\u3000a\u3000"},
        {" \u3000 ", "\u3000"},
        {"\n a \n", "\n a \n"},
    };
    for (const auto& [in, out] : cases)
        EXPECT_EQ(trimSpaces(in), out) << "⟨" << in.toStdString() << "⟩";
}

TEST(QueryComposer, SplitKeepsEmptyWords)
{
    const std::vector<std::pair<QString, QStringList>> cases = {
        {"", {}},
        {"a", {"a"}},
        {"a b", {"a", "b"}},
        {"a  b", {"a", "", "b"}},
        {" a", {"", "a"}},
        {"a ", {"a", ""}},
        {" ", {"", ""}},
        {"a\tb\u3000c", {"a\tb\u3000c"}},
    };
    for (const auto& [in, out] : cases)
        EXPECT_EQ(splitWords(in), out) << "⟨" << in.toStdString() << "⟩";
}

// More words than a 16-bit index can count: every word still gets its clause.
TEST(QueryComposer, QueryBeyond32767WordsIsComposedWhole)
{
    constexpr int kWords = 40000;
    QStringList words;
    words.reserve(kWords);
    for (int i = 0; i < kWords; ++i)
        words << QString::number(i);

    const ComposedQuery all = composeQuery(words.join(' '));
    EXPECT_EQ(all.mode, "mod3a");
    EXPECT_EQ(all.wordCount, kWords);
    EXPECT_EQ(all.sql.count(" and content like '%"), kWords);
    EXPECT_TRUE(all.sql.startsWith("select subject,htm from  maindata where 1=1 and content like '%0%' "));
    EXPECT_TRUE(all.sql.endsWith(" and content like '%39999%' order by [date] desc "));

    const ComposedQuery any = composeQuery("+" + words.join(' '));
    EXPECT_EQ(any.mode, "mod4");
    EXPECT_EQ(any.wordCount, kWords);
    EXPECT_EQ(any.sql.count("  or content like '%"), kWords);
    EXPECT_TRUE(any.sql.endsWith("  or content like '%39999%' "));

    const ComposedQuery empties = composeQuery("-a" + QString(kWords, ' ') + "b");
    EXPECT_EQ(empties.wordCount, kWords + 1);
    EXPECT_EQ(empties.sql.count(" and content like '%%' "), kWords - 1);
}
