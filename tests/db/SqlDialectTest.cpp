#include "platform/sql/SqlDialect.h"

#include <gtest/gtest.h>

#include <QRegularExpression>

#include <limits>

using namespace Orvanta;

namespace {

struct Case {
    const char* name;
    const char* jet;
    const char* sqlite;
};

const Case cases[] = {
    {"every document", "select subject,htm from  maindata order by date desc",
     "select subject,htm from  maindata order by date desc, rowid"},
    {"one word", "select subject,htm from  maindata where 1=1 and content like '%人參%' order by [date] desc ",
     "select subject,htm from  maindata NOT INDEXED where 1=1 and content like '%人參%' order by \"date\" desc, rowid "},
    {"two words",
     "select subject,htm from  maindata where 1=1 and content like '%人參%'  and content like '%甘草%' order by [date] desc ",
     "select subject,htm from  maindata NOT INDEXED where 1=1 and content like '%人參%'  and content like '%甘草%' "
     "order by \"date\" desc, rowid "},
    {"any word", "select subject,htm from  maindata where 1=2  or content like '%人參%'   or content like '%甘草%' ",
     "select subject,htm from  maindata NOT INDEXED where 1=2  or content like '%人參%'   or content like '%甘草%' "},
    {"no words, all", "select subject,htm from  maindata where 1=1 order by [date] desc ",
     "select subject,htm from  maindata NOT INDEXED where 1=1 order by \"date\" desc, rowid "},
    {"no words, any", "select subject,htm from  maindata where 1=2",
     "select subject,htm from  maindata NOT INDEXED where 1=2"},
    {"apostrophe folded", "select subject,htm from  maindata where 1=1 and content like '%it'&chr(39)&'s%' order by [date] desc ",
     "select subject,htm from  maindata NOT INDEXED where 1=1 and content like '%it''s%' order by \"date\" desc, rowid "},
    {"apostrophes only", "select a from t where c like '%'&chr(39)&''&chr(39)&'%'",
     "select a from t NOT INDEXED where c like '%''''%'"},
    {"apostrophe at the start", "select a from t where c like '%'&chr(39)&'x%'",
     "select a from t NOT INDEXED where c like '%''x%'"},
    {"spaces around &", "select a from t where c like '%a' & chr(39) & 'b%'",
     "select a from t NOT INDEXED where c like '%a''b%'"},
    {"CHR in capitals", "select a from t where c like '%a'&CHR(39)&'b%'",
     "select a from t NOT INDEXED where c like '%a''b%'"},
    {"doubled quote kept", "select a from t where c like '%it''s%'", "select a from t NOT INDEXED where c like '%it''s%'"},
    {"dashes in a literal", "select a from t where c like '%a--b%'", "select a from t NOT INDEXED where c like '%a--b%'"},
    {"semicolon in a literal", "select a from t where c like '%a;b%'", "select a from t NOT INDEXED where c like '%a;b%'"},
    {"double quotes in a literal", "select a from t where c like '%\"x\"%'",
     "select a from t NOT INDEXED where c like '%\"x\"%'"},
    {"ampersand in a literal", "select a from t where c like '%a&b%'", "select a from t NOT INDEXED where c like '%a&b%'"},
    {"chr( in a literal", "select a from t where c like '%chr(39)%'",
     "select a from t NOT INDEXED where c like '%chr(39)%'"},
    {"brackets in a literal", "select a from t where c like '%[date]%'",
     "select a from t NOT INDEXED where c like '%[date]%'"},
    {"order by in a literal", "select a from t where c like '% order by x%'",
     "select a from t NOT INDEXED where c like '% order by x%'"},
    {"& next to a column", "select a & 'x' from t", "select a || 'x' from t NOT INDEXED"},
    {"chr next to a column", "select a & chr(39) from t", "select a || char(39) from t NOT INDEXED"},
    {"chr alone", "select chr(65) from t", "select char(65) from t NOT INDEXED"},
    {"chr(0) is not folded", "select 'a' & chr(0) from t", "select 'a' || char(0) from t NOT INDEXED"},
    {"arithmetic binds first", "select 1 + 'a' & 'b' from t", "select 1 + 'a' || 'b' from t NOT INDEXED"},
    {"Jet double-quoted literal", "select a from t where c = \"it's\"", "select a from t NOT INDEXED where c = 'it''s'"},
    {"doubled double quote", "select a from t where c = \"say \"\"x\"\"\"",
     "select a from t NOT INDEXED where c = 'say \"x\"'"},
    {"bracketed names", "select [sub ject], [htm] from [main data]",
     "select \"sub ject\", \"htm\" from \"main data\" NOT INDEXED"},
    {"minus minus is no comment", "select 1 --2 from t", "select 1 - -2 from t NOT INDEXED"},
    {"unclosed literal left to the engine", "select a from t where c like '%abc",
     "select a from t NOT INDEXED where c like '%abc"},
    {"alias", "select m.a from maindata m where 1=1 order by m.d desc",
     "select m.a from maindata m NOT INDEXED where 1=1 order by m.d desc, rowid"},
    {"join: no table scan hint, no rowid", "select a from t, u where 1=1 order by d",
     "select a from t, u where 1=1 order by d"},
    {"rowid already there", "select a from t order by d, rowid", "select a from t order by d, rowid"},
    {"grouped: no rowid", "select a from t group by a order by a", "select a from t NOT INDEXED group by a order by a"},
    {"trailing semicolon", "select a from t order by d;", "select a from t order by d, rowid;"},
};

class DialectCase : public ::testing::TestWithParam<Case> {};

} // namespace

TEST_P(DialectCase, Translates)
{
    const Case& c = GetParam();
    EXPECT_EQ(SqlDialect::toSqlite(QString::fromUtf8(c.jet)).toStdString(), std::string(c.sqlite)) << c.name;
}

INSTANTIATE_TEST_SUITE_P(Table, DialectCase, ::testing::ValuesIn(cases), [](const auto& info) {
    std::string name;
    for (const char* p = info.param.name; *p; ++p)
        name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
    return name;
});

TEST(SqlDialect, OptionsTurnTheAdditionsOff)
{
    SqlDialect::Options plain;
    plain.rowidTies = false;
    plain.tableScan = false;
    EXPECT_EQ(SqlDialect::toSqlite(QStringLiteral("select subject,htm from  maindata order by [date] desc "), plain),
              QStringLiteral("select subject,htm from  maindata order by \"date\" desc "));
}

namespace {

QString manyConditions(int count, const QString& head, const QString& base, const QString& tail)
{
    QString sql = base;
    for (int i = 0; i < count; ++i)
        sql += head + QStringLiteral("w%1").arg(i) + (i % 3 == 0 ? QStringLiteral("'&chr(39)&'s") : QString())
            + QStringLiteral("%' ");
    return sql + tail;
}

int maxDepth(const QString& sql)
{
    int depth = 0, deepest = 0;
    bool inLiteral = false;
    for (QChar c : sql) {
        if (c == QLatin1Char('\''))
            inLiteral = !inLiteral;
        else if (!inLiteral && c == QLatin1Char('('))
            deepest = std::max(deepest, ++depth);
        else if (!inLiteral && c == QLatin1Char(')'))
            --depth;
    }
    return deepest;
}

QStringList patterns(const QString& sql)
{
    static const QRegularExpression like(QStringLiteral("like ('(?:[^']|'')*')"), QRegularExpression::CaseInsensitiveOption);
    QStringList out;
    for (auto it = like.globalMatch(sql); it.hasNext();)
        out << it.next().captured(1);
    return out;
}

} // namespace

TEST(SqlDialect, FortyThousandConditionsNestShallowAndKeepTheirOrder)
{
    struct Shape {
        QString head, base, tail;
    };
    const Shape shapes[] = {
        {QStringLiteral(" and content like '%"), QStringLiteral("select subject,htm from  maindata where 1=1"),
         QStringLiteral("order by [date] desc ")},
        {QStringLiteral("  or content like '%"), QStringLiteral("select subject,htm from  maindata where 1=2"),
         QString()},
    };
    for (const Shape& s : shapes) {
        const QString jet = manyConditions(40000, s.head, s.base, s.tail);
        SqlDialect::Options separate;
        separate.groupAbove = std::numeric_limits<int>::max();
        const QString sqlite = SqlDialect::toSqlite(jet, separate);
        EXPECT_LE(maxDepth(sqlite), 20);
        const QStringList got = patterns(sqlite);
        ASSERT_EQ(got.size(), 40000);
        EXPECT_EQ(got.first(), QStringLiteral("'%w0''s%'"));
        EXPECT_EQ(got[1], QStringLiteral("'%w1%'"));
        EXPECT_EQ(got.last(), QStringLiteral("'%w39999''s%'"));
        for (int i = 0; i < got.size(); i += 997)
            EXPECT_EQ(got[i], QStringLiteral("'%w%1%2%'").arg(i).arg(i % 3 == 0 ? QStringLiteral("''s") : QString()));
        EXPECT_EQ(sqlite.count(QStringLiteral("1=1")) + sqlite.count(QStringLiteral("1=2")), 1);
        if (!s.tail.isEmpty())
            EXPECT_TRUE(sqlite.endsWith(QStringLiteral("order by \"date\" desc, rowid ")));
    }
}

TEST(SqlDialect, MixedAndOrKeepsPrecedence)
{
    QString jet = QStringLiteral("select a from t where x=1");
    for (int i = 0; i < 100; ++i)
        jet += i % 10 == 9 ? QStringLiteral(" or x=%1").arg(i) : QStringLiteral(" and y between %1 and %2").arg(i).arg(i + 1);
    const QString sqlite = SqlDialect::toSqlite(jet);
    // Ten OR terms, each an AND chain (with BETWEEN ... AND intact).
    EXPECT_EQ(sqlite.count(QStringLiteral(" OR ")), 10);
    EXPECT_EQ(sqlite.count(QStringLiteral("between")), 90);
    EXPECT_TRUE(sqlite.contains(QStringLiteral("y between 0 and 1")));
}

TEST(SqlDialect, RepeatedConditionsInALongChainRunOnce)
{
    QString jet = QStringLiteral("select a from t where 1=1");
    for (int i = 0; i < 1000; ++i)
        jet += QStringLiteral(" and content like '%%1%' ").arg(i % 3 == 0 ? QStringLiteral("x") : QStringLiteral("y%1").arg(i % 5));
    const QStringList got = patterns(SqlDialect::toSqlite(jet));
    EXPECT_EQ(got, (QStringList{"'%x%'", "'%y1%'", "'%y2%'", "'%y4%'", "'%y0%'", "'%y3%'"}));
}

TEST(SqlDialect, ManyLikesOnOneColumnBecomeOneCall)
{
    QString any = QStringLiteral("select subject,htm from  maindata where 1=2");
    QString all = QStringLiteral("select subject,htm from  maindata where 1=1");
    for (int i = 0; i < 100; ++i) {
        const QString word = i == 0 ? QStringLiteral("a|b\\c") : i == 1 ? QStringLiteral("it'&chr(39)&'s") : QStringLiteral("w%1").arg(i);
        any += QStringLiteral("  or content like '%") + word + QStringLiteral("%' ");
        all += QStringLiteral(" and content like '%") + word + QStringLiteral("%' ");
    }
    all += QStringLiteral("order by [date] desc ");
    const QString a = SqlDialect::toSqlite(any);
    EXPECT_TRUE(a.startsWith(QStringLiteral("select subject,htm from  maindata NOT INDEXED where (1=2 OR orvanta_like_any(content, '%a\\|b\\\\c%|%it''s%|%w2%|")))
        << a.left(200).toStdString();
    EXPECT_TRUE(a.endsWith(QStringLiteral("|%w99%')) "))) << a.right(50).toStdString();
    const QString b = SqlDialect::toSqlite(all);
    EXPECT_TRUE(b.contains(QStringLiteral("(1=1 AND orvanta_like_all(content, '%a\\|b"))) << b.left(200).toStdString();
    EXPECT_TRUE(b.endsWith(QStringLiteral("|%w99%')) order by \"date\" desc, rowid ")));
}
