// The synthetic collection: reproducible, in code page 950, and the same rows
// that indexing its pages gives.
#include "build/BuilderSupport.h"

#include "platform/text/Cp950.h"
#include "support/Fixtures.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace Orvanta;
using namespace Orvanta::Test;

namespace {

constexpr int kOurMark = 0x4F52564E;

QString writeSample(const QTemporaryDir& dir, const QString& name, int count)
{
    const QString folder = dir.filePath(name);
    const RunResult run = runBuilder({QStringLiteral("--sample"), QString::number(count), folder});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    return folder;
}

// The files of a collection without its database, whose bytes SQLite owns.
std::vector<std::pair<QString, QByteArray>> pagesOf(const QString& folder)
{
    auto files = folderContents(folder);
    std::erase_if(files, [](const auto& f) { return f.first == QLatin1String("jst.mdb"); });
    return files;
}

} // namespace

TEST(SampleCollection, TwoRunsGiveTheSameRowsAndPages)
{
    QTemporaryDir dir;
    const QString first = writeSample(dir, QStringLiteral("one"), 50);
    const QString second = writeSample(dir, QStringLiteral("two"), 50);

    const auto rows = readRows(first + QStringLiteral("/jst.mdb"));
    ASSERT_EQ(rows.size(), 50u);
    EXPECT_EQ(readRows(second + QStringLiteral("/jst.mdb")), rows);
    const auto pages = pagesOf(first);
    EXPECT_EQ(pages.size(), 55u); // 50 documents, Help.htm, demo/index.htm, three pictures
    EXPECT_TRUE(pages == pagesOf(second));
    EXPECT_EQ(applicationId(first + QStringLiteral("/jst.mdb")), kOurMark);
}

TEST(SampleCollection, RowsPointAtCodePage950Pages)
{
    QTemporaryDir dir;
    const QString folder = writeSample(dir, QStringLiteral("c"), 50);
    const auto rows = readRows(folder + QStringLiteral("/jst.mdb"));
    ASSERT_EQ(rows.size(), 50u);
    const QRegularExpression datePattern(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d$"));
    for (size_t i = 0; i < rows.size(); ++i) {
        const StoredRow& row = rows[i];
        SCOPED_TRACE(row.htm.toStdString());
        EXPECT_EQ(row.htm, QStringLiteral("data\\000\\s%1.htm").arg(i, 6, 10, QLatin1Char('0')));
        EXPECT_TRUE(row.subject.startsWith(QStringLiteral("《"))) << row.subject.toStdString();
        ASSERT_TRUE(row.content.has_value());
        EXPECT_TRUE(row.content->startsWith(row.subject));
        if (row.date)
            EXPECT_TRUE(datePattern.match(*row.date).hasMatch()) << row.date->toStdString();

        const QByteArray bytes = readFile(folder + QLatin1Char('/') + QString(row.htm).replace(QLatin1Char('\\'), QLatin1Char('/')));
        EXPECT_GE(bytes.size(), 1024);
        EXPECT_LE(bytes.size(), 50 * 1024);
        EXPECT_TRUE(bytes.contains("<meta http-equiv=\"Content-Type\" content=\"text/html; charset=big5\">"));
        const QString page = Cp950::decode(bytes);
        EXPECT_FALSE(page.contains(QChar(0xFFFD)));
        EXPECT_EQ(Cp950::encode(page), bytes);
        EXPECT_TRUE(page.contains(QStringLiteral("<title>") + row.subject + QStringLiteral("</title>")));
        // Big5, not UTF-8: the title's first character is two bytes.
        EXPECT_TRUE(bytes.contains(Cp950::encode(QStringLiteral("《"))));
        EXPECT_FALSE(bytes.contains(QStringLiteral("《").toUtf8()));
    }
}

TEST(SampleCollection, HelpAndDemonstrationPagesComeWithIt)
{
    QTemporaryDir dir;
    const QString folder = writeSample(dir, QStringLiteral("h"), 3);
    const QByteArray help = readFile(folder + QStringLiteral("/Help.htm"));
    ASSERT_FALSE(help.isEmpty());
    const QString text = Cp950::decode(help);
    EXPECT_EQ(Cp950::encode(text), help);
    for (const char* expected : {"charset=big5", "條件存取", "條件清除", "Enter", "Esc", "F7", "+", "-",
                                 "空白"})
        EXPECT_TRUE(text.contains(QString::fromUtf8(expected))) << expected;
    const QByteArray demo = readFile(folder + QStringLiteral("/demo/index.htm"));
    ASSERT_FALSE(demo.isEmpty());
    EXPECT_TRUE(Cp950::decode(demo).contains(QStringLiteral("示範")));

    // The start screen's pictures; the demonstration button needs the last.
    for (const char* name : {"index.jpg", "index-logo1.jpg", "index-logo2.jpg"}) {
        const QByteArray picture = readFile(folder + QLatin1Char('/') + QLatin1String(name));
        EXPECT_TRUE(picture.startsWith("\xff\xd8\xff")) << name << ": not a JPEG";
        EXPECT_GT(picture.size(), 1000) << name;
    }
}

// What the help page says about the windows, as they are laid out: the
// record counter sits above the list, below the query box (the 異體字 box
// below the list); the search button shows 全文搜尋 and the start screen's
// query button 全文檢索.
TEST(SampleCollection, HelpTextAgreesWithTheWindows)
{
    QTemporaryDir dir;
    const QString folder = writeSample(dir, QStringLiteral("h"), 0);
    const QString help = Cp950::decode(readFile(folder + QStringLiteral("/Help.htm")));
    const QString demo = Cp950::decode(readFile(folder + QStringLiteral("/demo/index.htm")));
    struct Claim {
        const QString* page;
        const char* text;
        bool present;
    };
    const std::vector<Claim> claims = {
        {&help, "清單上方、查詢框下方的記錄數字", true},
        {&help, "清單下方的記錄數字", false},
        {&help, "結果清單下方的「異體字」", true},
        {&help, "左上方的查詢框", true},
        {&help, "按「全文搜尋」按鈕", true},
        {&help, "「搜尋」按鈕", false},
        {&help, "按兩下條件檔", true},
        {&demo, "按「全文檢索」進入檢索視窗", true},
        {&demo, "「查詢」", false},
    };
    for (const Claim& c : claims)
        EXPECT_EQ(c.page->contains(QString::fromUtf8(c.text)), c.present) << c.text;
}

// A sample replaces whatever collection files a folder holds, so it refuses
// a folder with any of them unless --force is given; the folder is left
// exactly as it was.
TEST(SampleCollection, RefusesAFolderThatHoldsACollectionUnlessForced)
{
    struct Case {
        const char* name;
        const char* existing; // relative path of the file already there
    };
    const std::vector<Case> cases = {
        {"a database", "jst.mdb"},
        {"an edited help page", "Help.htm"},
        {"a help page in other letters", "HELP.HTM"},
        {"a demonstration page", "demo/index.htm"},
        {"a start screen picture", "index-logo2.jpg"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const QString folder = dir.filePath(QStringLiteral("coll"));
        const QByteArray mine = Cp950::encode(QStringLiteral("<html>我的說明</html>\r\n"));
        writeFile(folder + QLatin1Char('/') + QLatin1String(c.existing), mine);
        const auto before = folderContents(folder);

        const RunResult refused = runBuilder({QStringLiteral("--sample"), QStringLiteral("5"), folder});
        EXPECT_EQ(refused.exitCode, 1);
        EXPECT_TRUE(refused.err.contains("--force")) << refused.err.toStdString();
        EXPECT_TRUE(refused.err.contains(c.existing)) << refused.err.toStdString();
        EXPECT_TRUE(folderContents(folder) == before) << "the folder was touched";

        const RunResult forced =
            runBuilder({QStringLiteral("--force"), QStringLiteral("--sample"), QStringLiteral("5"), folder});
        ASSERT_EQ(forced.exitCode, 0) << forced.err.toStdString();
        EXPECT_EQ(readRows(folder + QStringLiteral("/jst.mdb")).size(), 5u);
        // One help page, the sample's, under whichever letters it had.
        const QStringList helps = QDir(folder).entryList({QStringLiteral("help.htm")}, QDir::Files);
        ASSERT_EQ(helps.size(), 1) << helps.join(QLatin1Char(' ')).toStdString();
        EXPECT_TRUE(Cp950::decode(readFile(folder + QLatin1Char('/') + helps[0])).contains(QStringLiteral("使用說明")));
    }

    // A second sample into the same folder is refused the same way.
    QTemporaryDir dir;
    const QString folder = writeSample(dir, QStringLiteral("again"), 3);
    const QByteArray help = readFile(folder + QStringLiteral("/Help.htm"));
    const RunResult again = runBuilder({QStringLiteral("--sample"), QStringLiteral("4"), folder});
    EXPECT_EQ(again.exitCode, 1);
    EXPECT_EQ(readRows(folder + QStringLiteral("/jst.mdb")).size(), 3u);
    EXPECT_EQ(readFile(folder + QStringLiteral("/Help.htm")), help);
}

TEST(SampleCollection, IndexingItsPagesGivesItsRows)
{
    QTemporaryDir dir;
    const QString folder = writeSample(dir, QStringLiteral("r"), 50);
    const auto direct = readRows(folder + QStringLiteral("/jst.mdb"));

    const RunResult reindex = runBuilder({folder});
    ASSERT_EQ(reindex.exitCode, 0) << reindex.err.toStdString();
    const auto indexed = readRows(folder + QStringLiteral("/jst.mdb"));
    ASSERT_EQ(indexed.size(), direct.size());
    for (size_t i = 0; i < direct.size(); ++i) {
        SCOPED_TRACE(direct[i].htm.toStdString());
        EXPECT_EQ(indexed[i].htm, direct[i].htm);
        EXPECT_EQ(indexed[i].subject, direct[i].subject);
        EXPECT_EQ(indexed[i].content, direct[i].content);
    }
}

TEST(SampleCollection, DocumentsDoNotDependOnTheCountAndFillFoldersOfAThousand)
{
    QTemporaryDir dir;
    const auto small = readRows(writeSample(dir, QStringLiteral("small"), 50) + QStringLiteral("/jst.mdb"));
    const QString big = writeSample(dir, QStringLiteral("big"), 2100);
    const auto rows = readRows(big + QStringLiteral("/jst.mdb"));
    ASSERT_EQ(rows.size(), 2100u);
    EXPECT_TRUE(std::equal(small.begin(), small.end(), rows.begin()));
    EXPECT_EQ(rows[999].htm, QStringLiteral("data\\000\\s000999.htm"));
    EXPECT_EQ(rows[1000].htm, QStringLiteral("data\\001\\s001000.htm"));
    EXPECT_EQ(rows[2099].htm, QStringLiteral("data\\002\\s002099.htm"));
    EXPECT_EQ(QDir(big + QStringLiteral("/data/001")).entryList(QDir::Files).size(), 1000);
    EXPECT_EQ(QDir(big + QStringLiteral("/data/002")).entryList(QDir::Files).size(), 100);

    // The word stock the searches are tried with: mixed-case Latin, an
    // apostrophe, dates before 1900 and missing dates.
    int before1900 = 0, missingDate = 0;
    bool mixedCase = false, upperCase = false, lowerCase = false, apostrophe = false;
    for (const StoredRow& row : rows) {
        mixedCase |= row.content->contains(QStringLiteral("Ginseng"));
        upperCase |= row.content->contains(QStringLiteral("GINSENG"));
        lowerCase |= row.content->contains(QStringLiteral("ginseng"));
        apostrophe |= row.content->contains(QStringLiteral("it's"));
        if (!row.date)
            ++missingDate;
        else if (*row.date < QStringLiteral("1900"))
            ++before1900;
    }
    EXPECT_TRUE(mixedCase && upperCase && lowerCase && apostrophe);
    EXPECT_GT(before1900, 500);
    EXPECT_GT(missingDate, 0);
}
