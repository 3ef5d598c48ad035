// The folded LIKE (the 異體字 switch) through real statements on a real
// SQLite file: each case runs exact, folded, and exact again on one
// connection, through like() with and without ESCAPE and through the
// many-word functions.
#include "DbTestSupport.h"

#include "platform/sql/LikeSet.h"
#include "platform/sql/SqliteFunctions.h"
#include "platform/sql/VariantLike.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace Orvanta;

namespace {

struct Case {
    const char* pattern;
    const char* escape; // nullptr: no ESCAPE clause
    const char* text;   // nullptr: NULL
    int exact;          // -1: NULL
    int folded;
};

const Case cases[] = {
    {"%人參%", nullptr, "小柴胡加人蔘湯", 0, 1},
    {"%人参%", nullptr, "人參", 0, 1},
    {"%人參%", nullptr, "入參", 0, 0},            // look-alikes stay apart
    {"%針%", nullptr, "鍼灸", 0, 1},
    {"%脉%", nullptr, "脈浮", 0, 1},
    {"人_湯", nullptr, "人蔘湯", 1, 1},            // "_" is one character, whatever its form
    {"人參_", nullptr, "人蔘湯", 0, 1},
    {"人參_", nullptr, "人蔘", 0, 0},
    {"%众%", nullptr, "\xF0\xA0\x82\x9D", 0, 1}, // U+2009D, four bytes, folds to 众, three
    {"_", nullptr, "\xF0\xA0\x82\x9D", 1, 1},
    {"%\xF0\xA0\x82\x9D%", nullptr, "眾人", 0, 1},
    {"%參'%", nullptr, "人蔘'湯", 0, 1},           // the apostrophe is a character like any
    {"%參%", nullptr, nullptr, -1, -1},            // NULL content: never a match
    {"%參%", nullptr, "", 0, 0},
    {"%%", nullptr, "", 1, 1},
    {"%K%", nullptr, "\xE2\x84\xAA", 1, 1},        // the Kelvin sign folds by case, as always
    {"%ａ%", nullptr, "a", 0, 0},                  // width is not folded
    {"%\\%%", "\\", "蔘%", 1, 1},                   // an escaped "%" stays literal
    {"%參\\%%", "\\", "蔘%", 0, 1},
    {"%參\\%%", "\\", "蔘湯", 0, 0},
    {"%參\\_", "\\", "人蔘_", 0, 1},
    {"%參%", "参", "人蔘", 0, 1},                   // 參 folds to the escape character: still a literal
    {"参%", "参", "%", 1, 1},                       // the escape itself escapes
    {"参%", "参", "%湯", 0, 0},
    {"参%", "参", "蔘湯", 0, 0},
    {"%參%", "參", "人参", 0, 0},                   // escape 參 then "%": a literal "%"
    {"%參%%", "參", "参%", 1, 1},
    {"%甘草%", nullptr, "\xE4 甘草", 1, 1},         // a byte that is no character stays itself
    {"%\xE4%", nullptr, "\xE4", 1, 1},
};

class VariantLike : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        ASSERT_EQ(sqlite3_open(":memory:", &db), SQLITE_OK);
        ASSERT_EQ(registerLikeFunction(db), SQLITE_OK);
    }
    void TearDown() override { sqlite3_close(db); }

    // The value of `sql` with ?1 the text and ?2, ?3 the pattern and escape.
    int value(const char* sql, const char* text, const std::string& a, const char* b = nullptr)
    {
        sqlite3_stmt* st = nullptr;
        EXPECT_EQ(sqlite3_prepare_v2(db, sql, -1, &st, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
        if (text)
            sqlite3_bind_text(st, 1, text, -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(st, 2, a.c_str(), int(a.size()), SQLITE_TRANSIENT);
        if (b)
            sqlite3_bind_text(st, 3, b, -1, SQLITE_TRANSIENT);
        EXPECT_EQ(sqlite3_step(st), SQLITE_ROW) << sqlite3_errmsg(db);
        const int v = sqlite3_column_type(st, 0) == SQLITE_NULL ? -1 : sqlite3_column_int(st, 0);
        sqlite3_finalize(st);
        return v;
    }

    int like(const Case& c)
    {
        return c.escape ? value("SELECT ?1 LIKE ?2 ESCAPE ?3", c.text, c.pattern, c.escape)
                        : value("SELECT ?1 LIKE ?2", c.text, c.pattern);
    }

    QTemporaryDir dir;
    sqlite3* db = nullptr;
};

} // namespace

TEST_F(VariantLike, FoldedOnlyWhileSwitchedOn)
{
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.pattern) + " / " + (c.text ? c.text : "NULL") + " / " + (c.escape ? c.escape : ""));
        EXPECT_EQ(like(c), c.exact);
        ASSERT_EQ(setLikeVariants(db, true), SQLITE_OK);
        EXPECT_EQ(like(c), c.folded);
        ASSERT_EQ(setLikeVariants(db, false), SQLITE_OK);
        EXPECT_EQ(like(c), c.exact) << "switched off again";
    }
}

TEST_F(VariantLike, ManyWordFunctionsFoldEveryWord)
{
    const std::string words = LikeSet::pack({"%人參%", "%甘草%"});
    const std::string either = LikeSet::pack({"%人参%", "%針%"});
    for (const bool on : {false, true, false}) {
        ASSERT_EQ(setLikeVariants(db, on), SQLITE_OK);
        EXPECT_EQ(value("SELECT orvanta_like_all(?1, ?2)", "人蔘甘草湯", words), on ? 1 : 0);
        EXPECT_EQ(value("SELECT orvanta_like_all(?1, ?2)", "人參甘艸", words), on ? 1 : 0); // 艸 is a form of 草
        EXPECT_EQ(value("SELECT orvanta_like_all(?1, ?2)", "人參甘", words), 0);
        EXPECT_EQ(value("SELECT orvanta_like_any(?1, ?2)", "鍼灸", either), on ? 1 : 0);
        EXPECT_EQ(value("SELECT orvanta_like_any(?1, ?2)", nullptr, either), -1);
    }
}

// The folding of a text keeps its characters' count but not its bytes.
TEST(VariantLikeText, FoldedTextKeepsCodePoints)
{
    std::string out;
    VariantLike::foldText("\xF0\xA0\x82\x9D人蔘", out);
    EXPECT_EQ(out, "众人参");
    VariantLike::foldText("a%_'\xE4", out);
    EXPECT_EQ(out, "a%_'\xE4");
    EXPECT_EQ(VariantLike::foldPattern("%參%", U'参'), "%参参%");
    EXPECT_EQ(VariantLike::foldPattern("参%", U'参'), "参%");
}
