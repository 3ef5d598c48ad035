#include "search/core/SearchExecution.h"

#include "app/core/modVelmora.h"
#include "platform/Error.h"
#include "search/core/QueryComposer.h"
#include "support/Fixtures.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>

using namespace Orvanta;
namespace Fx = Orvanta::Test;

namespace {

ResultTable titles(const QStringList& subjects)
{
    ResultTable t(QStringList{"subject", "htm"});
    for (const QString& s : subjects) {
        t.appendCell(s);
        t.appendCell(QStringLiteral("data\\x.htm"));
    }
    return t;
}

} // namespace

TEST(SearchExecution, EmptyResultMessage)
{
    const std::vector<std::pair<QString, QString>> cases = {
        {"-人參", " 全文檢索搜尋\u3000[ 人參 ]\u3000資料不存在"},
        {"it's", " 全文檢索搜尋\u3000[ it'&chr(39)&'s ]\u3000資料不存在"},
        {"+", " 全文檢索搜尋\u3000[  ]\u3000資料不存在"},
        {"", " 全文檢索搜尋\u3000[  ]\u3000資料不存在"},
        {"  人參  甘草 ", " 全文檢索搜尋\u3000[ 人參  甘草 ]\u3000資料不存在"},
        {"+ 人參", " 全文檢索搜尋\u3000[  人參 ]\u3000資料不存在"},
    };
    for (const auto& [box, message] : cases)
        EXPECT_EQ(emptyResultMessage(composeQuery(box).escaped), message) << "⟨" << box.toStdString() << "⟩";

    // The two wide spaces are U+3000, the others U+0020.
    const QString m = emptyResultMessage("x");
    EXPECT_EQ(m.count(QChar(0x3000)), 2);
    EXPECT_EQ(m.count(QChar(0x20)), 3);
}

TEST(SearchExecution, Mod1PositionScan)
{
    struct Case {
        QStringList titles;
        QString escaped;
        qsizetype row;
        const char* why;
    };
    const std::vector<Case> cases = {
        {{}, "", 1, "no rows: the scan does not run"},
        {{"only"}, "zzz", 1, "a single row is row 1"},
        {{"b", "c", "d"}, "", 1, "the empty text stops at row 1"},
        {{"b", "c", "d"}, "c", 2, "first title >= the text"},
        {{"b", "c", "d"}, "bb", 2, "first title >= the text"},
        {{"b", "c", "d"}, "a", 1, "first row already greater"},
        {{"b", "c", "d"}, "e", 3, "none stops: the last row"},
        {{"b", "c", "d"}, "d", 3, "the last row is never compared"},
        {{"b", "z", "a"}, "y", 2, "not sorted: first hit wins"},
        {{"Z", "a"}, "a", 2, "code units, letter case counts"},
        {{"", "x"}, "", 1, "an empty title equals the empty text"},
        // U+20000 is D840 DC00 in UTF-16: below U+FF01 by code unit, above it by code point.
        {{"\U00020000", "！", "x"}, "！", 2, "code units, not code points"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(mod1Position(titles(c.titles), c.escaped), c.row) << c.why;
}

// A collection lists far more than 32,768 rows; the scan must still land on a
// real row.
TEST(SearchExecution, Mod1PositionBeyond16Bits)
{
    QStringList many;
    for (int i = 0; i < 140000; ++i)
        many << QString("t%1").arg(i, 6, 10, QChar('0'));
    const ResultTable rows = titles(many);
    EXPECT_EQ(mod1Position(rows, ""), 1);
    EXPECT_EQ(mod1Position(rows, "t035000"), 35001);
    EXPECT_EQ(mod1Position(rows, "t100000"), 100001);
    EXPECT_EQ(mod1Position(rows, "t139998"), 139999);
    EXPECT_EQ(mod1Position(rows, "u"), 140000);
}

namespace {

// One row of the fixture's list of what jst.mdb holds.
struct Document {
    QString subject, htm, content, date;
    bool contentNull = false;
    bool dateNull = false;
};

std::vector<Document> readExpectedRows(const QString& path)
{
    std::vector<Document> docs;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return docs;
    for (const QByteArray& line : f.readAll().split('\n')) {
        if (line.isEmpty())
            continue;
        const QStringList fields = QString::fromUtf8(line).split('\t');
        if (fields.size() != 4)
            continue;
        Document d;
        d.subject = fields[0];
        d.htm = fields[1];
        d.contentNull = fields[2] == "\\N";
        d.content = d.contentNull ? QString() : fields[2];
        d.dateNull = fields[3].isEmpty();
        d.date = fields[3];
        docs.push_back(d);
    }
    return docs;
}

QChar foldLatin(QChar c)
{
    return c >= 'A' && c <= 'Z' ? QChar(c.unicode() + 32) : c;
}

// LIKE as the engine reads the patterns here: "%" any run, "_" any one
// character, Latin letters in either case.
bool like(QStringView text, QStringView pattern)
{
    qsizetype t = 0, p = 0, starP = -1, starT = 0;
    while (t < text.size()) {
        if (p < pattern.size() && pattern[p] == '%') {
            starP = p++;
            starT = t;
        } else if (p < pattern.size() && (pattern[p] == '_' || foldLatin(pattern[p]) == foldLatin(text[t]))) {
            ++p;
            ++t;
        } else if (starP >= 0) {
            p = starP + 1;
            t = ++starT;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '%')
        ++p;
    return p == pattern.size();
}

using Hit = std::pair<QString, QString>; // subject, htm

// What the search should list, worked out from the query text directly.
std::vector<Hit> oracle(const std::vector<Document>& docs, const QString& box)
{
    QString text = box;
    while (text.startsWith(' '))
        text.remove(0, 1);
    while (text.endsWith(' '))
        text.chop(1);

    bool anyWord = false;
    bool ordered = true;
    if (text.startsWith('-')) {
        text.remove(0, 1);
    } else if (text.startsWith('+')) {
        text.remove(0, 1);
        anyWord = true;
        ordered = false;
    }
    QStringList words;
    if (!text.isEmpty())
        words = text.split(' ');

    std::vector<const Document*> found;
    for (const Document& d : docs) {
        bool keep;
        if (anyWord) {
            keep = false;
            for (const QString& w : words)
                keep = keep || (!d.contentNull && like(d.content, QString('%' + w + '%')));
        } else {
            keep = true;
            for (const QString& w : words)
                keep = keep && !d.contentNull && like(d.content, QString('%' + w + '%'));
        }
        if (keep)
            found.push_back(&d);
    }
    if (ordered) {
        // Newest first; rows without a date last; equal dates in storage order.
        std::stable_sort(found.begin(), found.end(), [](const Document* a, const Document* b) {
            if (a->dateNull || b->dateNull)
                return !a->dateNull && b->dateNull;
            return a->date > b->date;
        });
    }
    std::vector<Hit> hits;
    for (const Document* d : found)
        hits.emplace_back(d->subject, d->htm);
    return hits;
}

std::vector<Hit> hitsOf(const std::shared_ptr<const ResultTable>& rows)
{
    std::vector<Hit> hits;
    if (!rows)
        return hits;
    for (qsizetype r = 0; r < rows->rowCount(); ++r)
        hits.emplace_back(rows->cellText(r, 0), rows->cellText(r, 1));
    return hits;
}

std::string describe(const std::vector<Hit>& hits)
{
    std::string s;
    for (const Hit& h : hits)
        s += "[" + h.first.toStdString() + " | " + h.second.toStdString() + "] ";
    return s.empty() ? "(nothing)" : s;
}

bool copyFolder(const QString& from, const QString& to)
{
    QDir().mkpath(to);
    const QDir src(from);
    for (const QFileInfo& e : src.entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden)) {
        const QString target = to + '/' + e.fileName();
        if (e.isDir() ? !copyFolder(e.filePath(), target) : !QFile::copy(e.filePath(), target))
            return false;
    }
    return true;
}

class FixtureSearch : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!Fx::requireFixtures())
            GTEST_SKIP();
        ASSERT_TRUE(copyFolder(Fx::fixture("jet4-install"), m_dir.path() + "/install"));
        m_install = m_dir.path() + "/install";
        m_docs = readExpectedRows(m_install + "/expected-rows.tsv");
        ASSERT_EQ(m_docs.size(), 16u);
    }

    std::shared_ptr<const ResultTable> search(const QString& box)
    {
        return executeSearch(modVelmora::connectionStringFor(m_install), composeQuery(box).sql);
    }

    QTemporaryDir m_dir;
    QString m_install;
    std::vector<Document> m_docs;
};

} // namespace

TEST_F(FixtureSearch, QueriesAgainstTheOracle)
{
    const QStringList queries = {
        "",                  // every document, newest first
        "   ",
        "-",                 // no words: every document
        "+",                 // no words: nothing
        "人參",
        "人參 甘草",         // and
        "-人參 甘草",
        "人參  甘草",        // empty word in the middle
        "- 甘草",            // empty word first: NULL content drops out
        "+黃耆 當歸",        // or, in storage order
        "+人參 不存在的詞",
        "+ 人參",            // empty word: every row with content
        "+不存在的詞",
        "不存在的詞",
        "ginseng",           // letter case ignored by the engine
        "GINSENG",
        "Ginseng root",
        "it's",              // apostrophes
        "+it's 同日",
        "'",
        "100%",              // wildcards keep their meaning
        "%",
        "_",
        "純_品",
        "純%品",
        "同日",              // equal dates
        "黃耆",              // a row without a date comes last
        "無日期",
        "龍骨尾",            // the end of a long memo
        "人參\u3000甘草",    // ideographic space inside a word
        "全形",
        "－人參",            // full-width minus is an ordinary character
        "--人參",            // word "-人參"
        "路徑",
        "醫書 人參",
        "甘草 缺頁",
    };
    for (const QString& q : queries) {
        const auto expected = oracle(m_docs, q);
        std::vector<Hit> actual;
        try {
            actual = hitsOf(search(q));
        } catch (const Error& e) {
            ADD_FAILURE() << "⟨" << q.toStdString() << "⟩: error " << e.number() << " " << e.text().toStdString();
            continue;
        }
        EXPECT_EQ(describe(actual), describe(expected)) << "query ⟨" << q.toStdString() << "⟩";
    }
}

// A few lists written out by hand, so that the oracle itself is checked.
TEST_F(FixtureSearch, HandWrittenLists)
{
    auto subjects = [this](const QString& q) {
        QStringList out;
        for (const Hit& h : hitsOf(search(q)))
            out << h.first;
        return out;
    };
    EXPECT_EQ(subjects(""), QStringList({"金匱要略．人參湯", "空字串內容", "空白內容", "傷寒論．太陽病中",
                                         "傷寒論．太陽病上", "同日甲", "同日乙", "本草．人參", "長文",
                                         "前導反斜線", "大小寫不同", "缺頁", "全形　空格", "本草．甘草",
                                         "古代", "無日期"}));
    EXPECT_EQ(subjects("黃耆"), QStringList({"同日甲", "無日期"}));
    EXPECT_EQ(subjects("+當歸 黃耆"), QStringList({"同日甲", "同日乙", "無日期"}));
    EXPECT_EQ(subjects("ginseng"), QStringList({"本草．人參"}));
    EXPECT_EQ(subjects("it's"), QStringList({"本草．人參"}));
    EXPECT_EQ(subjects("100%"), QStringList({"本草．甘草"}));
    EXPECT_EQ(subjects("龍骨尾"), QStringList({"長文"}));
    EXPECT_EQ(subjects("人參\u3000甘草"), QStringList({"全形　空格"}));
    EXPECT_EQ(subjects("+ 人參").size(), 15) << "all but the NULL content";
    EXPECT_EQ(subjects("_").size(), 14) << "all but NULL and ''";
    EXPECT_EQ(subjects("+"), QStringList());

    const auto listAll = search("");
    ASSERT_TRUE(listAll);
    EXPECT_EQ(listAll->columnCount(), 2);
    EXPECT_EQ(mod1Position(*listAll, composeQuery("").escaped), 1);
}

TEST_F(FixtureSearch, NothingFoundGivesNoRows)
{
    EXPECT_EQ(search("+"), nullptr);
    EXPECT_EQ(search("-不存在的詞"), nullptr);
    EXPECT_EQ(search("it's not there"), nullptr);
}

TEST_F(FixtureSearch, EngineFailuresAreErrors)
{
    auto errorOf = [](const QString& connection, const QString& sql) {
        try {
            executeSearch(connection, sql);
        } catch (const Error& e) {
            return e.number();
        }
        return 0;
    };
    QTemporaryDir empty;
    EXPECT_NE(errorOf(modVelmora::connectionStringFor(empty.path()), composeQuery("").sql), 0)
        << "no jst.mdb";
    EXPECT_NE(errorOf("", composeQuery("").sql), 0) << "no connection string";
    EXPECT_NE(errorOf(modVelmora::connectionStringFor(m_install), "select subject,htm from  nosuchtable"), 0);
}
