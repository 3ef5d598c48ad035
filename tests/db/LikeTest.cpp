// LIKE semantics, each case checked twice: on the matcher alone and through a
// real statement on a real SQLite file, the way a search runs it.
#include "DbTestSupport.h"

#include "platform/Error.h"
#include "platform/collection/Connection.h"
#include "platform/sql/LikeMatcher.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <map>
#include <random>

#include <unicode/uchar.h>

using namespace Orvanta;

namespace {

struct LikeCase {
    const char* pattern;
    const char* text; // nullptr: NULL
    bool matches;
};

const LikeCase likeCases[] = {
    // "%" and "_"
    {"%", "", true},
    {"%%", "", true},
    {"%%", "anything", true},
    {"", "", true},
    {"", "a", false},
    {"abc", "abc", true},
    {"abc", "abcd", false},
    {"abc", "ab", false},
    {"a%", "abc", true},
    {"a%", "bac", false},
    {"%c", "abc", true},
    {"%c", "cab", false},
    {"%b%", "abc", true},
    {"%d%", "abc", false},
    {"a%c", "abbbc", true},
    {"a%c", "ac", true},
    {"a%c", "acb", false},
    {"a%b%c", "aXbYc", true},
    {"a%b%c", "acb", false},
    {"%a%a%", "a", false},
    {"%aa%", "aba", false},
    {"%ab%ab", "abab", true},
    {"%ab%ab", "abxab", true},
    {"%ab%ab", "ab", false},
    {"_", "a", true},
    {"_", "", false},
    {"_", "ab", false},
    {"a_c", "abc", true},
    {"a_c", "ac", false},
    {"%b_d%", "abcde", true},
    {"%b_d%", "abde", false},
    {"___", "人參湯", true},   // "_" is one character, not one byte
    {"__", "人參湯", false},
    {"人_湯", "人參湯", true},
    {"%參_", "人參湯", true},
    {"%_湯", "湯", false},
    {"%人參%", "金匱要略人參湯方", true},
    {"%人參%", "人参", false},
    {"100%", "100% 純_品", true},
    {"%純_品%", "100% 純_品", true},
    {"%純_品%", "100% 純X品", true},  // "_" keeps its wildcard meaning
    {"%純_品%", "100% 純品", false},
    // "[" and other characters stand for themselves
    {"%[a]%", "x[a]y", true},
    {"%[a]%", "xay", false},
    {"[abc]", "a", false},
    {"%[!a]%", "[!a]", true},
    {"%*%", "a*b", true},
    {"%?%", "ab", false},
    {"%#%", "a1b", false},
    {"%.%", "ab", false},
    {"%\\%", "a\\", true},
    // Unicode simple case folding
    {"%ginseng%", "Ginseng root", true},
    {"%GINSENG%", "Ginseng root", true},
    {"%GinSeng%", "ginseng", true},
    {"%it's%", "Ginseng root, it's sweet.", true},
    {"%IT'S%", "Ginseng root, it's sweet.", true},
    {"ß", "SS", false},
    {"ß", "ss", false},
    {"ß", "ẞ", true},      // U+1E9E folds to ß
    {"%straße%", "STRAẞE", true},
    {"k", "K", true},       // U+212A KELVIN SIGN folds to k
    {"%kelvin%", "Kelvin", true},
    {"%s%", "ſ", true},     // U+017F LONG S folds to s
    {"ΣΊΣΥΦΟΣ", "σίσυφος", true},
    {"%ς%", "Σ", true},     // final sigma
    {"ǅ", "ǆ", true},       // title case
    {"%ä%", "Ä", true},
    {"%a%", "Ä", false},    // no accent folding
    {"İ", "i", false},      // no special Turkish mappings
    {"%ｇｉｎｓｅｎｇ%", "ginseng", false}, // full width vs half width
    {"%ｇｉｎｓｅｎｇ%", "ＧＩＮＳＥＮＧ", true},
    {"%１００%", "100", false},
    {"%人　參%", "人參", false},  // U+3000 is an ordinary character
    {"%人　參%", "人　參", true},
    {"%𠀀%", "x𠀀y", true},      // beyond the BMP
    {"_", "𠀀", true},
    {"%Ab_d%", "xaBcDx", true},
    {"%Ab_d%", "xaBDx", false},
    // NULL never matches
    {"%", nullptr, false},
    {"%%", nullptr, false},
    {"", nullptr, false},
};

class LikeTable : public ::testing::TestWithParam<LikeCase> {};

QString sqlLiteral(const QString& s)
{
    QString out = s;
    out.replace(QLatin1Char('\''), QStringLiteral("''"));
    return QLatin1Char('\'') + out + QLatin1Char('\'');
}

} // namespace

TEST_P(LikeTable, Matcher)
{
    const LikeCase& c = GetParam();
    if (!c.text)
        return; // NULL exists only in SQL: see ThroughSqlOnARealDatabase
    EXPECT_EQ(LikeMatcher::match(c.pattern, c.text), c.matches) << c.pattern << " / " << c.text;
}

INSTANTIATE_TEST_SUITE_P(Cases, LikeTable, ::testing::ValuesIn(likeCases));

// The whole table through Connection/Recordset on one SQLite file.
TEST(Like, ThroughSqlOnARealDatabase)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("cases.sqlite"));
    {
        DbTest::SqliteFile file(path);
        file.exec("CREATE TABLE cases(id INTEGER PRIMARY KEY, content TEXT)");
        int id = 0;
        for (const LikeCase& c : likeCases)
            file.insertText("INSERT INTO cases(id, content) VALUES(?1, ?2)", ++id, c.text);
    }
    Connection connection;
    connection.open(DbTest::connectionStringFor(path));
    int id = 0;
    for (const LikeCase& c : likeCases) {
        ++id;
        Recordset rs;
        const QString sql = QStringLiteral("select id from cases where id = %1 and content like %2")
                                .arg(id)
                                .arg(sqlLiteral(QString::fromUtf8(c.pattern)));
        rs.open(sql, connection, CursorType::Static, LockType::Optimistic);
        EXPECT_EQ(!rs.atEnd(), c.matches) << c.pattern << " / " << (c.text ? c.text : "NULL");
        // NOT LIKE of NULL is not true either.
        if (!c.text) {
            Recordset negated;
            negated.open(QStringLiteral("select id from cases where id = %1 and not content like %2")
                             .arg(id)
                             .arg(sqlLiteral(QString::fromUtf8(c.pattern))),
                         connection);
            EXPECT_TRUE(negated.atEnd());
        }
    }
}

TEST(Like, EscapeClause)
{
    EXPECT_TRUE(LikeMatcher::match("100!%", "100%", U'!'));
    EXPECT_FALSE(LikeMatcher::match("100!%", "1000", U'!'));
    EXPECT_TRUE(LikeMatcher::match("%!_%", "a_b", U'!'));
    EXPECT_FALSE(LikeMatcher::match("%!_%", "ab", U'!'));
    EXPECT_TRUE(LikeMatcher::match("a!!b", "a!b", U'!'));

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("e.sqlite"));
    {
        DbTest::SqliteFile file(path);
        file.exec("CREATE TABLE t(c TEXT); INSERT INTO t VALUES('100%'), ('1000')");
    }
    Connection connection;
    connection.open(DbTest::connectionStringFor(path));
    Recordset rs;
    rs.open(QStringLiteral("select c from t where c like '100!%' escape '!'"), connection);
    ASSERT_EQ(rs.rows()->rowCount(), 1);
    EXPECT_EQ(rs.rows()->cellText(0, 0), QStringLiteral("100%"));
}

TEST(Like, WordPatternsTakeTheFastPath)
{
    EXPECT_EQ(LikeMatcher("%人參%").shape(), LikeMatcher::Shape::Contains);
    EXPECT_EQ(LikeMatcher("%Ginseng%").shape(), LikeMatcher::Shape::Contains);
    EXPECT_EQ(LikeMatcher("%%").shape(), LikeMatcher::Shape::Everything);
    EXPECT_EQ(LikeMatcher("%a_b%").shape(), LikeMatcher::Shape::General);
    EXPECT_EQ(LikeMatcher("abc").shape(), LikeMatcher::Shape::Exact);
}

// Every character ICU gives a simple case folding, found by asking about all
// of Unicode: each matches every other member of its class, as a whole
// pattern, inside a word and inside a pattern with "_".
TEST(Like, EveryCaseClassOfUnicodeMatches)
{
    const auto utf8 = [](char32_t c) { return QString::fromUcs4(&c, 1).toStdString(); };
    std::map<char32_t, std::vector<char32_t>> classes;
    for (UChar32 c = 0; c <= 0x10FFFF; ++c) {
        const UChar32 f = u_foldCase(c, U_FOLD_CASE_DEFAULT);
        if (f != c) {
            auto& members = classes[char32_t(f)];
            if (members.empty())
                members.push_back(char32_t(f));
            members.push_back(char32_t(c));
        }
    }
    ASSERT_GT(classes.size(), 1000u);
    int pairs = 0;
    for (const auto& [folded, members] : classes) {
        for (const char32_t a : members) {
            for (const char32_t b : members) {
                const std::string p = utf8(a);
                const std::string t = utf8(b);
                EXPECT_TRUE(LikeMatcher::match(p, t)) << std::hex << uint32_t(a) << " " << uint32_t(b);
                EXPECT_TRUE(LikeMatcher::match("%" + p + "%", "一" + t + "丁")) << std::hex << uint32_t(a) << " " << uint32_t(b);
                EXPECT_TRUE(LikeMatcher::match("x_" + p + "%", "xy" + t)) << std::hex << uint32_t(a);
                ++pairs;
            }
        }
        EXPECT_FALSE(LikeMatcher::match("%" + utf8(folded) + "%", "一丁"));
    }
    EXPECT_GT(pairs, 2800);
}

TEST(Like, InvalidUtf8IsMatchedByteForByte)
{
    const std::string text = std::string("ab\xE4\xBA") + "cd"; // a cut character
    EXPECT_TRUE(LikeMatcher::match(std::string("%\xE4\xBA") + "c%", text));
    EXPECT_TRUE(LikeMatcher::match("ab__cd", text));
    EXPECT_FALSE(LikeMatcher::match("ab_cd", text));
    EXPECT_TRUE(LikeMatcher::match("%__cd", text));
    EXPECT_TRUE(LikeMatcher::match("%cd", text));
}

TEST(Like, LongTextsAndLongPatterns)
{
    std::string text;
    for (int i = 0; i < 100000; ++i)
        text += "甲乙";
    text += "龍骨尾";
    EXPECT_TRUE(LikeMatcher::match("%龍骨尾%", text));
    EXPECT_TRUE(LikeMatcher::match("%龍骨尾", text));
    EXPECT_TRUE(LikeMatcher::match("%乙龍_尾", text));
    EXPECT_FALSE(LikeMatcher::match("%龍骨頭%", text));

    std::string longPattern = "%";
    for (int i = 0; i < 100; ++i)
        longPattern += "乙_";
    longPattern += "%";
    EXPECT_TRUE(LikeMatcher::match(longPattern, text));
    longPattern.insert(longPattern.size() - 1, "X");
    EXPECT_FALSE(LikeMatcher::match(longPattern, text));
}

TEST(Like, NeedlesOfOneRepeatedByte)
{
    const std::string run(100000, 'a');
    EXPECT_TRUE(LikeMatcher::match("%" + std::string(5000, 'a') + "%", run));
    EXPECT_FALSE(LikeMatcher::match("%" + std::string(5000, 'a') + "b%", run));
    EXPECT_TRUE(LikeMatcher::match("%" + std::string(500, 'a') + "b%", run + "b"));
    EXPECT_TRUE(LikeMatcher::match("%1:2%", "xx1:1:2yy"));
    EXPECT_TRUE(LikeMatcher::match("%ab%", std::string(31, 'x') + "ab"));
    EXPECT_TRUE(LikeMatcher::match("%ab%", std::string(14, 'x') + "ab"));
    EXPECT_FALSE(LikeMatcher::match("%ab%", std::string(40, 'x') + "a"));
}

namespace {

// A plain reference: both sides decoded to characters (a byte that starts no
// well-formed sequence is a character of its own), then matched by dynamic
// programming over the pattern.
std::vector<char32_t> characters(const std::string& s)
{
    std::vector<char32_t> out;
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    const auto* end = p + s.size();
    while (p < end) {
        const unsigned b = *p;
        int len = 1;
        char32_t cp = 0x110000 + b;
        auto cont = [&](int i) { return p + i < end && (p[i] & 0xC0) == 0x80; };
        if (b < 0x80) {
            cp = b;
        } else if (b >= 0xC2 && b <= 0xDF && cont(1)) {
            cp = ((b & 0x1F) << 6) | (p[1] & 0x3F);
            len = 2;
        } else if (b >= 0xE0 && b <= 0xEF && cont(1) && cont(2)) {
            const char32_t c = ((b & 0x0F) << 12) | ((p[1] & 0x3F) << 6) | (p[2] & 0x3F);
            if (c >= 0x800 && (c < 0xD800 || c > 0xDFFF)) {
                cp = c;
                len = 3;
            }
        } else if (b >= 0xF0 && b <= 0xF4 && cont(1) && cont(2) && cont(3)) {
            const char32_t c = ((b & 0x07) << 18) | ((p[1] & 0x3F) << 12) | ((p[2] & 0x3F) << 6) | (p[3] & 0x3F);
            if (c >= 0x10000 && c <= 0x10FFFF) {
                cp = c;
                len = 4;
            }
        }
        out.push_back(cp);
        p += len;
    }
    return out;
}

bool referenceLike(const std::string& pattern, const std::string& text)
{
    const auto p = characters(pattern);
    const auto t = characters(text);
    // can[j]: the pattern so far matches the first j characters of the text.
    std::vector<bool> can(t.size() + 1, false), next(t.size() + 1);
    can[0] = true;
    for (char32_t pc : p) {
        std::fill(next.begin(), next.end(), false);
        if (pc == U'%') {
            bool any = false;
            for (size_t j = 0; j <= t.size(); ++j) {
                any = any || can[j];
                next[j] = any;
            }
        } else {
            for (size_t j = 0; j < t.size(); ++j) {
                if (can[j] && (pc == U'_' || foldCase(pc) == foldCase(t[j])))
                    next[j + 1] = true;
            }
        }
        can.swap(next);
    }
    return can[t.size()];
}

} // namespace

// More rounds on request: ORVANTA_LIKE_ROUNDS=2000000 test_db --gtest_filter=Like.Agrees*
int rounds()
{
    const int asked = qEnvironmentVariableIntValue("ORVANTA_LIKE_ROUNDS");
    return asked > 0 ? asked : 20000;
}

TEST(Like, AgreesWithAPlainReferenceOnRandomInput)
{
    const std::vector<std::string> alphabet{"a", "A", "b", "s", "S", "ſ", "k", "K", "ß", "ẞ", "人", "參", "参",
                                            "%", "_", "[", "\xE4", "\xBA", "\x80", "σ", "Σ", "ς", " "};
    std::mt19937 random(20240601);
    for (int round = 0; round < rounds(); ++round) {
        auto make = [&](size_t maxLength) {
            std::string s;
            const size_t length = random() % (maxLength + 1);
            for (size_t i = 0; i < length; ++i)
                s += alphabet[random() % alphabet.size()];
            return s;
        };
        const std::string pattern = make(6);
        std::string text = make(round % 10 == 0 ? 60 : 12);
        // Texts without the wildcard characters read more naturally; keep some.
        if (round % 3 == 0)
            std::erase_if(text, [](char c) { return c == '%' || c == '_'; });
        ASSERT_EQ(LikeMatcher::match(pattern, text), referenceLike(pattern, text))
            << "pattern [" << pattern << "] text [" << text << "]";
    }
}
