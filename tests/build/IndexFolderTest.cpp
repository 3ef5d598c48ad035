// Indexing a folder of pages: which pages become rows and what each row holds.
#include "build/BuilderSupport.h"

#include "platform/text/Cp950.h"
#include "support/Fixtures.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>

using namespace Orvanta;
using namespace Orvanta::Test;

namespace {

QByteArray big5(const char* utf8)
{
    return Cp950::encode(QString::fromUtf8(utf8));
}

struct PageCase {
    const char* relative;   // "/" separators
    QByteArray bytes;
    const char* htm;        // expected row, or nullptr when the page is left out
    const char* subject;
    const char* content;
};

std::vector<PageCase> pageCases()
{
    return {
        {"a/big5.htm",
         big5("<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=big5\">"
              "<title>人參\r\n  論</title></head><body><p>人參 甘草</p></body></html>"),
         "a\\big5.htm", "人參 論", "人參 甘草"},
        {"a/nodecl.htm", big5("<html><head><title>甘草</title></head><body>黃耆　當歸</body></html>"),
         "a\\nodecl.htm", "甘草", "黃耆　當歸"},
        {"a/cp950.htm",
         big5("<HTML><HEAD><META CHARSET='CP950'><TITLE>川芎</TITLE></HEAD><BODY>頭痛</BODY></HTML>"),
         "a\\cp950.htm", "川芎", "頭痛"},
        // Characters outside code page 950: only a UTF-8 reading gets them right.
        {"b/utf8.htm",
         QByteArray("<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=UTF-8\">"
                    "<title>癧 \xF0\xA0\x80\x80</title></head><body><p>€ 人參</p></body></html>"),
         "b\\utf8.htm", "癧 \U00020000", "€ 人參"},
        {"b/heading.htm",
         big5("<html><body><h3>\r\n桂枝<i>湯</i> </h3><h1>不是這個</h1><p>發熱</p></body></html>"),
         "b\\heading.htm", "桂枝湯", "桂枝湯 不是這個 發熱"},
        {"b/name-only.html", big5("<html><body><p>惡寒</p></body></html>"), "b\\name-only.html",
         "name-only.html", "惡寒"},
        {"b/empty-title.htm", big5("<title>  </title><h2>黃連</h2>"), "b\\empty-title.htm", "黃連", "黃連"},
        {"c/strip.htm",
         big5("<html><head><title>T&amp;T</title><style>p { color: red }</style>"
              "<script>var s = \"<p>麻黃</p>\";</script></head><body>\r\n<!-- 隱藏 <p>大黃</p> -->\r\n"
              "<p class=\"x>y\">A&nbsp;&nbsp;B &lt;tag&gt; &#20154;&#x53C3; &quot;q&quot; &unknown; 5 < 6 "
              "&#x20000;</p>\r\n\t<SCRIPT type=\"text/javascript\">document.write(\"麻黃\");</SCRIPT>\r\n"
              "<div>x<br>y</div>人<b>參</b><STYLE>b {}</STYLE>it's</body></html>"),
         "c\\strip.htm", "T&T", "A B <tag> 人參 \"q\" &unknown; 5 < 6 \U00020000 x y 人參it's"},
        {"deep/er/est/page.HTM", big5("<title>深</title>層"), "deep\\er\\est\\page.HTM", "深", "層"},
        {"empty.htm", QByteArray(), "empty.htm", "empty.htm", ""},
        {"top.htm", big5("<title>頂</title><p>  甘草   人參  </p>"), "top.htm", "頂", "甘草 人參"},
        // Not documents: the viewer's scratch folder, other files, the help
        // and demonstration pages of the install folder.
        {"tmp/TmpVORTAN.htm", big5("<title>暫存</title>"), nullptr, nullptr, nullptr},
        {"tmp/sub/x.htm", big5("<title>暫存</title>"), nullptr, nullptr, nullptr},
        {"notes.txt", big5("人參"), nullptr, nullptr, nullptr},
        {"a/page.htm.bak", big5("人參"), nullptr, nullptr, nullptr},
        {"Help.htm", big5("<title>說明</title>"), nullptr, nullptr, nullptr},
        {"demo/index.htm", big5("<title>示範</title>"), nullptr, nullptr, nullptr},
    };
}

const QDateTime kStamp(QDate(2001, 2, 3), QTime(4, 5, 6));
const QDateTime kOldStamp(QDate(1999, 12, 31), QTime(23, 59, 58));

void writePage(const QString& folder, const PageCase& page)
{
    const QString path = writeFile(folder + QLatin1Char('/') + QString::fromUtf8(page.relative), page.bytes);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    const bool old = QByteArray(page.relative) == "top.htm";
    ASSERT_TRUE(file.setFileTime(old ? kOldStamp : kStamp, QFileDevice::FileModificationTime));
}

void writeForeignSqlite(const QString& path)
{
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(path).constData(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db,
                           "CREATE TABLE maindata(subject TEXT, htm TEXT, content TEXT, date TEXT);"
                           "INSERT INTO maindata VALUES('別人的', 'x.htm', '人參', '2000-01-01 00:00:00');",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);
}

bool leftoverTemporaries(const QString& folder)
{
    return !QDir(folder).entryList({QStringLiteral(".jst.mdb*")}, QDir::Files | QDir::Hidden).isEmpty();
}

constexpr int kOurMark = 0x4F52564E;

} // namespace

TEST(IndexFolder, EveryPageBecomesOneRowInHtmOrder)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const auto cases = pageCases();
    for (const PageCase& page : cases)
        writePage(dir.path(), page);

    const RunResult run = runBuilder({dir.path()});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();

    std::vector<StoredRow> expected;
    for (const PageCase& page : cases) {
        if (!page.htm)
            continue;
        const bool old = QByteArray(page.relative) == "top.htm";
        expected.push_back({QString::fromUtf8(page.subject), QString::fromUtf8(page.htm),
                            QString::fromUtf8(page.content),
                            (old ? QStringLiteral("1999-12-31 23:59:58") : QStringLiteral("2001-02-03 04:05:06"))});
    }
    std::sort(expected.begin(), expected.end(),
              [](const StoredRow& a, const StoredRow& b) { return a.htm < b.htm; });

    const std::vector<StoredRow> rows = readRows(dir.filePath(QStringLiteral("jst.mdb")));
    ASSERT_EQ(rows.size(), expected.size());
    for (size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE(expected[i].htm.toStdString());
        EXPECT_EQ(rows[i].htm, expected[i].htm);
        EXPECT_EQ(rows[i].subject, expected[i].subject);
        EXPECT_EQ(rows[i].content, expected[i].content);
        EXPECT_EQ(rows[i].date, expected[i].date);
    }
    EXPECT_EQ(applicationId(dir.filePath(QStringLiteral("jst.mdb"))), kOurMark);
    EXPECT_FALSE(leftoverTemporaries(dir.path()));
}

TEST(IndexFolder, TheTableHasExactlyTheFourColumns)
{
    QTemporaryDir dir;
    writeFile(dir.filePath(QStringLiteral("a.htm")), big5("<title>甲</title>乙"));
    ASSERT_EQ(runBuilder({dir.path()}).exitCode, 0);
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open_v2(QFile::encodeName(dir.filePath(QStringLiteral("jst.mdb"))).constData(), &db,
                              SQLITE_OPEN_READONLY, nullptr),
              SQLITE_OK);
    sqlite3_stmt* stmt = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db, "SELECT name, type FROM pragma_table_info('maindata') ORDER BY cid", -1,
                                 &stmt, nullptr),
              SQLITE_OK);
    QStringList columns;
    while (sqlite3_step(stmt) == SQLITE_ROW)
        columns << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0))) + QLatin1Char(' ')
                       + QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 1)));
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    EXPECT_EQ(columns, QStringList({QStringLiteral("subject TEXT"), QStringLiteral("htm TEXT"),
                                    QStringLiteral("content TEXT"), QStringLiteral("date TEXT")}));
}

TEST(IndexFolder, ARelativeFolderWorksLikeAnAbsoluteOne)
{
    QTemporaryDir dir;
    writeFile(dir.filePath(QStringLiteral("coll/data/a.htm")), big5("<title>甲</title>乙"));
    writeFile(dir.filePath(QStringLiteral("coll/Help.htm")), big5("<title>說明</title>"));
    QProcess process;
    process.setWorkingDirectory(dir.path());
    process.start(binDir() + QStringLiteral("/orvanta-build"), {QStringLiteral("coll")});
    ASSERT_TRUE(process.waitForFinished(60000));
    ASSERT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
    const auto rows = readRows(dir.filePath(QStringLiteral("coll/jst.mdb")));
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].htm, QStringLiteral("data\\a.htm"));
}

TEST(IndexFolder, ItsOwnDatabaseIsReplacedWithoutForce)
{
    QTemporaryDir dir;
    writeFile(dir.filePath(QStringLiteral("a.htm")), big5("<title>甲</title>"));
    ASSERT_EQ(runBuilder({dir.path()}).exitCode, 0);
    writeFile(dir.filePath(QStringLiteral("b.htm")), big5("<title>乙</title>"));
    const RunResult again = runBuilder({dir.path()});
    ASSERT_EQ(again.exitCode, 0) << again.err.toStdString();
    const auto rows = readRows(dir.filePath(QStringLiteral("jst.mdb")));
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[1].subject, QStringLiteral("乙"));
}

// What lies at jst.mdb before the run, and whether the builder may replace it.
struct ExistingCase {
    const char* name;
    void (*make)(const QString& path);
};

class RefuseForeignStore : public ::testing::TestWithParam<ExistingCase> {};

TEST_P(RefuseForeignStore, OnlyWithForce)
{
    QTemporaryDir dir;
    writeFile(dir.filePath(QStringLiteral("data/a.htm")), big5("<title>甲</title>人參"));
    const QString store = dir.filePath(QStringLiteral("jst.mdb"));
    GetParam().make(store);
    if (::testing::Test::HasFatalFailure())
        return;
    const QByteArray before = readFile(store);

    for (const QStringList& args : {QStringList{dir.path()},
                                    QStringList{QStringLiteral("--sample"), QStringLiteral("3"), dir.path()}}) {
        const RunResult refused = runBuilder(args);
        EXPECT_EQ(refused.exitCode, 1) << args.join(QLatin1Char(' ')).toStdString();
        EXPECT_TRUE(refused.err.contains("--force")) << refused.err.toStdString();
        EXPECT_EQ(readFile(store), before) << "the file was touched";
        EXPECT_FALSE(leftoverTemporaries(dir.path()));
    }

    const RunResult forced = runBuilder({QStringLiteral("--force"), dir.path()});
    ASSERT_EQ(forced.exitCode, 0) << forced.err.toStdString();
    EXPECT_EQ(applicationId(store), kOurMark);
    const auto rows = readRows(store);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].htm, QStringLiteral("data\\a.htm"));
    EXPECT_EQ(rows[0].content, QStringLiteral("人參"));
}

INSTANTIATE_TEST_SUITE_P(
    Stores, RefuseForeignStore,
    ::testing::Values(
        ExistingCase{"Jet4",
                     [](const QString& path) {
                         if (requireFixtures())
                             ASSERT_TRUE(QFile::copy(fixture(QStringLiteral("jet4-dates.mdb")), path));
                     }},
        ExistingCase{"Jet3",
                     [](const QString& path) {
                         if (requireFixtures())
                             ASSERT_TRUE(QFile::copy(fixture(QStringLiteral("jet3-northwind.mdb")), path));
                     }},
        ExistingCase{"ForeignSqlite", writeForeignSqlite},
        ExistingCase{"PlainText", [](const QString& path) { writeFile(path, "not a database\r\n"); }},
        ExistingCase{"EmptyFile", [](const QString& path) { writeFile(path, QByteArray()); }}),
    [](const ::testing::TestParamInfo<ExistingCase>& info) { return std::string(info.param.name); });

TEST(IndexFolder, WrongUsageIsRefused)
{
    QTemporaryDir dir;
    const std::vector<QStringList> wrong = {
        {},
        {QStringLiteral("--sample"), QStringLiteral("many"), dir.path()},
        {QStringLiteral("--sample"), QStringLiteral("-1"), dir.path()},
        {QStringLiteral("--sample"), QStringLiteral("1000001"), dir.path()},
        {QStringLiteral("--sample")},
        {QStringLiteral("--frobnicate"), dir.path()},
        {dir.path(), dir.path()},
    };
    for (const QStringList& args : wrong) {
        const RunResult run = runBuilder(args);
        EXPECT_EQ(run.exitCode, 2) << args.join(QLatin1Char(' ')).toStdString();
        // One line of what is wrong and a pointer to --help, not the whole usage.
        EXPECT_TRUE(run.err.endsWith("\nTry 'orvanta-build --help'.\n")) << run.err.toStdString();
        EXPECT_EQ(run.err.count('\n'), 2) << run.err.toStdString();
    }
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("jst.mdb"))));
}

TEST(IndexFolder, AMissingFolderFails)
{
    QTemporaryDir dir;
    const RunResult run = runBuilder({dir.filePath(QStringLiteral("nowhere"))});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_FALSE(run.err.isEmpty());
}
