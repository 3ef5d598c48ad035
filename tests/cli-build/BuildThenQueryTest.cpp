// A collection made by orvanta-build, searched by orvanta-query: the two
// programs as a user runs them, one after the other.
#include "platform/text/Cp950.h"
#include "support/Fixtures.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <optional>

using namespace Orvanta;
using namespace Orvanta::Test;

namespace {

struct ProgramRun {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

ProgramRun run(const QString& program, const QStringList& arguments)
{
    ProgramRun result;
    const QString path = binDir() + QLatin1Char('/') + program;
    if (!QFileInfo(path).isExecutable()) {
        ADD_FAILURE() << path.toStdString() << " is not built";
        return result;
    }
    QProcess process;
    process.start(path, arguments);
    if (!process.waitForFinished(180000)) {
        process.kill();
        process.waitForFinished();
        ADD_FAILURE() << program.toStdString() << " did not finish";
        return result;
    }
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}

struct Hit {
    QString subject;
    QString htm;
};

// The result list as orvanta-query prints it: number, title, path per line.
std::vector<Hit> search(const QString& folder, const QString& query)
{
    const ProgramRun r = run(QStringLiteral("orvanta-query"), {QStringLiteral("--dir"), folder, QStringLiteral("--"), query});
    std::vector<Hit> hits;
    if (r.exitCode == 1)
        return hits;
    EXPECT_EQ(r.exitCode, 0) << query.toStdString() << ": " << r.err.toStdString();
    const QStringList lines = QString::fromUtf8(r.out).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (const QString& line : lines) {
        const QStringList fields = line.split(QLatin1Char('\t'));
        if (fields.size() != 3) {
            ADD_FAILURE() << "unexpected line " << line.toStdString();
            continue;
        }
        hits.push_back({fields[1], fields[2]});
    }
    return hits;
}

QStringList subjects(const std::vector<Hit>& hits)
{
    QStringList out;
    for (const Hit& h : hits)
        out << h.subject;
    return out;
}

void writePage(const QString& folder, const QString& relative, const QByteArray& bytes, const QDateTime& stamp)
{
    const QString path = writeFile(folder + QLatin1Char('/') + relative, bytes);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_TRUE(file.setFileTime(stamp, QFileDevice::FileModificationTime));
}

QByteArray big5Page(const char* title, const char* body)
{
    return Cp950::encode(QStringLiteral("<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; "
                                        "charset=big5\"><title>%1</title></head><body><p>%2</p></body></html>")
                             .arg(QString::fromUtf8(title), QString::fromUtf8(body)));
}

QDateTime at(int year)
{
    return QDateTime(QDate(year, 6, 1), QTime(12, 0));
}

struct Row {
    QString subject, htm, content;
    std::optional<QString> date;
};

std::vector<Row> storedRows(const QString& database)
{
    std::vector<Row> rows;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(database).constData(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        ADD_FAILURE() << "cannot open " << database.toStdString();
        sqlite3_close(db);
        return rows;
    }
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db, "SELECT subject, htm, content, date FROM maindata", -1, &stmt, nullptr);
    const auto text = [&](int c) {
        return QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt, c)),
                                 sqlite3_column_bytes(stmt, c));
    };
    while (stmt && sqlite3_step(stmt) == SQLITE_ROW) {
        Row row{text(0), text(1), text(2), std::nullopt};
        if (sqlite3_column_type(stmt, 3) != SQLITE_NULL)
            row.date = text(3);
        rows.push_back(row);
    }
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return rows;
}

// Whether the database holds a content index, as its tables say.
bool hasContentIndex(const QString& database)
{
    sqlite3* db = nullptr;
    bool found = false;
    if (sqlite3_open_v2(QFile::encodeName(database).constData(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* stmt = nullptr;
        sqlite3_prepare_v2(db, "SELECT count(*) FROM sqlite_schema WHERE name LIKE 'orvanta_index%'", -1, &stmt,
                           nullptr);
        found = stmt && sqlite3_step(stmt) == SQLITE_ROW && sqlite3_column_int(stmt, 0) > 0;
        sqlite3_finalize(stmt);
    }
    sqlite3_close(db);
    return found;
}

} // namespace

// With the content index and without it (--no-content-index), the same rows.
TEST(BuildThenQuery, AHandMadeCollectionAnswersEveryKindOfQuery)
{
    QTemporaryDir dir;
    const QString folder = dir.path();
    writePage(folder, QStringLiteral("data/a.htm"), big5Page("甲", "人參 甘草"), at(2001));
    writePage(folder, QStringLiteral("data/b.htm"), big5Page("乙", "人參"), at(2005));
    writePage(folder, QStringLiteral("data/sub/c.htm"), big5Page("丙", "甘草 it's Ginseng"), at(1999));
    writePage(folder, QStringLiteral("data/d.htm"),
              QStringLiteral("<meta charset=\"utf-8\"><title>丁</title><p>GINSENG 黃耆</p>").toUtf8(), at(2010));
    writePage(folder, QStringLiteral("tmp/TmpVORTAN.htm"), big5Page("暫存", "人參"), at(2020));
    for (const bool contentIndex : {true, false}) {
        SCOPED_TRACE(contentIndex ? "with the content index" : "without the content index");
        const QStringList options = contentIndex ? QStringList{} : QStringList{QStringLiteral("--no-content-index")};
        const ProgramRun built = run(QStringLiteral("orvanta-build"), options + QStringList{folder});
        ASSERT_EQ(built.exitCode, 0) << built.err.toStdString();
        EXPECT_EQ(hasContentIndex(folder + QStringLiteral("/jst.mdb")), contentIndex);

        struct Case {
            const char* query;
            QStringList expected;
            bool ordered;
        };
        const std::vector<Case> cases = {
            {"", {"丁", "乙", "甲", "丙"}, true},
            {"人參", {"乙", "甲"}, true},
            {"人參 甘草", {"甲"}, true},
            {"-人參 甘草", {"甲"}, true},
            {"+人參 黃耆", {"甲", "乙", "丁"}, false},
            {"it's", {"丙"}, true},
            {"ginseng", {"丁", "丙"}, true},
            {"  甘草  ", {"甲", "丙"}, true},
            {"麻黃", {}, true},
            {"+", {}, true},
        };
        for (const Case& c : cases) {
            SCOPED_TRACE(c.query);
            QStringList found = subjects(search(folder, QString::fromUtf8(c.query)));
            QStringList expected = c.expected;
            if (!c.ordered) {
                found.sort();
                expected.sort();
            }
            EXPECT_EQ(found, expected);
        }

        const auto hits = search(folder, QStringLiteral("人參"));
        ASSERT_EQ(hits.size(), 2u);
        EXPECT_EQ(hits[0].htm, QStringLiteral("data\\b.htm"));
        EXPECT_EQ(search(folder, QStringLiteral("it's")).at(0).htm, QStringLiteral("data\\sub\\c.htm"));

        // The page the viewer shows for row 1: read from data/b.htm, words in red.
        const ProgramRun page = run(QStringLiteral("orvanta-query"),
                             {QStringLiteral("--dir"), folder, QStringLiteral("--page"), QStringLiteral("1"),
                              QStringLiteral("--"), QStringLiteral("人參")});
        ASSERT_EQ(page.exitCode, 0) << page.err.toStdString();
        EXPECT_TRUE(page.out.contains(Cp950::encode(QStringLiteral("<font color=red>人參</font>"))));
        EXPECT_TRUE(page.out.contains(Cp950::encode(QStringLiteral("<title>乙</title>"))));

        // A UTF-8 page found through another letter case: shown in UTF-8, marked
        // where the search matched, with the page's own letters.
        const ProgramRun utf8 = run(QStringLiteral("orvanta-query"),
                                    {QStringLiteral("--dir"), folder, QStringLiteral("--page"), QStringLiteral("1"),
                                     QStringLiteral("--"), QStringLiteral("ginseng 黃耆")});
        ASSERT_EQ(utf8.exitCode, 0) << utf8.err.toStdString();
        EXPECT_TRUE(utf8.out.contains("<p><font color=red>GINSENG</font> <font color=red>\xE9\xBB\x83\xE8\x80\x86</font></p>"))
            << utf8.out.toStdString();
    }
}

TEST(BuildThenQuery, ASampleCollectionFindsWhatItsContentHolds)
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("sample"));
    const ProgramRun built = run(QStringLiteral("orvanta-build"), {QStringLiteral("--sample"), QStringLiteral("400"), folder});
    ASSERT_EQ(built.exitCode, 0) << built.err.toStdString();
    const std::vector<Row> rows = storedRows(folder + QStringLiteral("/jst.mdb"));
    ASSERT_EQ(rows.size(), 400u);

    struct Case {
        const char* query;
        QStringList words;
        bool any;
    };
    const std::vector<Case> cases = {
        {"", {}, false},
        {"人參", {"人參"}, false},
        {"人參 甘草", {"人參", "甘草"}, false},
        {"-桂枝湯 發熱", {"桂枝湯", "發熱"}, false},
        {"+桂枝湯 麻黃湯", {"桂枝湯", "麻黃湯"}, true},
        {"ginseng", {"ginseng"}, false},
        {"it's", {"it's"}, false},
        {"50%", {"50"}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.query);
        QStringList expected;
        for (const Row& row : rows) {
            const auto holds = [&](const QString& w) { return row.content.contains(w, Qt::CaseInsensitive); };
            const bool match = c.words.isEmpty() ? true
                             : c.any ? std::any_of(c.words.begin(), c.words.end(), holds)
                                     : std::all_of(c.words.begin(), c.words.end(), holds);
            if (match)
                expected << row.htm;
        }
        const auto hits = search(folder, QString::fromUtf8(c.query));
        QStringList found;
        for (const Hit& h : hits)
            found << h.htm;
        QStringList sortedFound = found;
        sortedFound.sort();
        expected.sort();
        EXPECT_EQ(sortedFound, expected);
        EXPECT_FALSE(expected.isEmpty() && !c.words.isEmpty() && QByteArray(c.query) != "50%")
            << "the sample lacks " << c.query;

        if (c.any)
            continue;
        // Newest first: the dates of the listed rows never rise.
        std::optional<QString> previous;
        for (const QString& htm : found) {
            const auto row = std::find_if(rows.begin(), rows.end(), [&](const Row& r) { return r.htm == htm; });
            ASSERT_NE(row, rows.end());
            if (!row->date)
                continue;
            if (previous)
                EXPECT_LE(*row->date, *previous) << htm.toStdString();
            previous = row->date;
        }
    }
}
