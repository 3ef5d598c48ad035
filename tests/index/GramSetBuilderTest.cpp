// Gathering the posting sets in a small memory budget: the passes a run is
// split into must between them give every gram's documents exactly once, the
// same as one pass and as a plain map of the grams built document by
// document, down to a budget smaller than one document's grams.
#include "platform/Error.h"
#include "platform/index/ContentIndex.h"
#include "platform/index/GramSetBuilder.h"
#include "platform/sql/LikeMatcher.h"
#include "platform/sql/Utf8Reading.h"

#include "db/DbTestSupport.h"
#include "support/Fixtures.h"

#include <QFile>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

using namespace Orvanta;

namespace {

struct Row {
    uint32_t rowid;
    bool null;
    std::string text;
};

// Text drawn from `alphabet` code points above U+4E00, with some Latin
// letters in both cases and a character outside the BMP.
std::string randomText(std::mt19937& rng, size_t characters, unsigned alphabet)
{
    std::string out;
    for (size_t i = 0; i < characters; ++i) {
        const unsigned pick = unsigned(rng() % (alphabet + 8));
        char32_t c = pick < alphabet ? char32_t(0x4E00 + pick) : pick < alphabet + 6 ? char32_t('A' + pick - alphabet + (rng() % 2) * 32) : U'𠀀';
        Utf8Reading::append(out, c);
    }
    return out;
}

// One run's rows: thousands of small documents, some NULL or empty (so that
// the commonest grams are in enough of them to be kept as bitmaps), and one
// of 20,000 characters whose grams alone outgrow the smallest budget.
std::vector<Row> runOfRows(uint32_t run)
{
    std::mt19937 rng(run + 7);
    std::vector<Row> rows;
    for (uint32_t low = 3; low < 65536; low += 1 + rng() % 29) {
        const uint32_t rowid = (run << 16) | low;
        const unsigned kind = unsigned(rng() % 20);
        if (kind == 0)
            rows.push_back({rowid, true, {}});
        else if (kind == 1)
            rows.push_back({rowid, false, {}});
        else
            rows.push_back({rowid, false, "之" + randomText(rng, 10 + rng() % 50, 3000)});
    }
    rows.insert(rows.begin() + long(rows.size() / 2), Row{(run << 16) | 40000, false, randomText(rng, 20000, 20000)});
    std::sort(rows.begin(), rows.end(), [](const Row& a, const Row& b) { return a.rowid < b.rowid; });
    rows.erase(std::unique(rows.begin(), rows.end(), [](const Row& a, const Row& b) { return a.rowid == b.rowid; }),
               rows.end());
    return rows;
}

using Sets = std::map<uint64_t, std::vector<uint32_t>>;

// The sets as a plain map, document by document.
Sets expectedSets(const std::vector<Row>& rows)
{
    std::map<uint64_t, std::set<uint32_t>> sets;
    for (const Row& row : rows) {
        if (row.null)
            continue;
        sets[ContentIndex::TextGram].insert(row.rowid);
        const auto* p = reinterpret_cast<const unsigned char*>(row.text.data());
        const auto* end = p + row.text.size();
        std::vector<char32_t> chars;
        while (p < end) {
            const Utf8Reading::Decoded d = Utf8Reading::decode(p, end);
            p += d.len;
            const char32_t c = foldCase(d.cp);
            sets[ContentIndex::unigram(c)].insert(row.rowid);
            if (!chars.empty())
                sets[ContentIndex::bigram(chars.back(), c)].insert(row.rowid);
            // Triples of the BMP only.
            if (chars.size() >= 2 && ContentIndex::hasTrigram(chars[chars.size() - 2], chars.back(), c))
                sets[ContentIndex::trigram(chars[chars.size() - 2], chars.back(), c)].insert(row.rowid);
            chars.push_back(c);
        }
    }
    Sets out;
    for (const auto& [gram, documents] : sets)
        out[gram] = std::vector<uint32_t>(documents.begin(), documents.end());
    return out;
}

struct Built {
    Sets sets;
    std::vector<int> passes; // per run
    int reads = 0;
};

Built build(size_t budget, const std::vector<std::vector<Row>>& runs)
{
    Built out;
    GramSetBuilder builder(budget);
    for (const std::vector<Row>& rows : runs) {
        const auto read = [&](uint32_t first, uint32_t last, const GramSetBuilder::Take& take) {
            ++out.reads;
            for (const Row& row : rows) {
                if (row.rowid < first || row.rowid > last)
                    continue;
                const auto* text = reinterpret_cast<const unsigned char*>(row.text.data());
                if (!take(row.rowid, row.null ? nullptr : text, row.text.size()))
                    break;
            }
            return true;
        };
        EXPECT_TRUE(builder.buildRun(rows.front().rowid, rows.back().rowid, read,
                                     [&](uint64_t gram, const PostingSet& documents) {
                                         std::vector<uint32_t>& set = out.sets[gram];
                                         EXPECT_TRUE(set.empty() || set.back() < documents.values().front())
                                             << "gram " << gram << " handed over twice for one run";
                                         for (uint32_t v : documents.values())
                                             set.push_back(v);
                                     }));
        out.passes.push_back(builder.passesOfLastRun());
    }
    return out;
}

} // namespace

TEST(GramSetBuilder, PassesGiveTheSetsOfOnePass)
{
    const std::vector<std::vector<Row>> runs = {runOfRows(0), runOfRows(1), runOfRows(5)};
    Sets expected;
    for (const auto& rows : runs) {
        for (auto& [gram, documents] : expectedSets(rows))
            expected[gram].insert(expected[gram].end(), documents.begin(), documents.end());
    }

    const Built whole = build(size_t(1) << 30, runs);
    EXPECT_EQ(whole.passes, std::vector<int>({1, 1, 1}));
    EXPECT_TRUE(whole.sets == expected);

    // The smallest budget (asked for as one byte) is smaller than the large
    // document's grams: every run takes many passes, and the large
    // document's grams are split between them.
    const Built small = build(1, runs);
    for (int passes : small.passes)
        EXPECT_GT(passes, 4) << "passes";
    EXPECT_TRUE(small.sets == expected);
    EXPECT_GT(small.reads, small.passes[0] + small.passes[1] + small.passes[2] - 1);
}

// The builder reads ASCII and three-byte characters by itself: every byte
// string must still give the grams LIKE's reading gives, at the edges of
// those two kinds and in between, at the start, middle and end of a text.
TEST(GramSetBuilder, ReadsEveryByteStringAsLikeDoes)
{
    const std::vector<std::string> pieces = {
        "\x7F",             // the last ASCII byte
        "\xC2\x80",         // two bytes
        "\xE0\xA0\x80",     // U+0800, the first of three bytes
        "\xE0\x80\x80",     // overlong: three characters of their own
        "\xE0\x9F\xBF",     // overlong, the last one
        "\xED\x9F\xBF",     // U+D7FF
        "\xED\xA0\x80",     // a surrogate: not a character
        "\xED\xBF\xBF",     // the last surrogate
        "\xEE\x80\x80",     // U+E000, private use
        "\xEF\xBF\xBF",     // U+FFFF
        "\xE4\xB8",         // cut short
        "\xE4\x41\xB8",     // a letter where the second byte belongs
        "\xE4\xB8\x41",     // ... where the third belongs
        "\xF0\x9F\x98\x80", // four bytes
        "\x80",             // a lone continuation byte
        "\xFF",             // never in UTF-8
        "\xC3\x84",         // Ä, which folds
    };
    std::vector<Row> rows;
    uint32_t rowid = 1;
    for (const std::string& piece : pieces) {
        for (const std::string& text : {piece, "A" + piece, piece + "a", "\xE4\xB8\xAD" + piece + "\xE4\xB8\xAD"})
            rows.push_back({rowid++, false, text});
    }
    // Each piece before and after every other, without anything between.
    for (const std::string& a : pieces) {
        for (const std::string& b : pieces)
            rows.push_back({rowid++, false, a + b});
    }
    EXPECT_TRUE(build(size_t(1) << 30, {rows}).sets == expectedSets(rows));
}

TEST(GramSetBuilder, StoppedReadStopsTheRun)
{
    const std::vector<Row> rows = runOfRows(2);
    GramSetBuilder builder(1);
    int reads = 0;
    const auto read = [&](uint32_t, uint32_t, const GramSetBuilder::Take& take) {
        for (const Row& row : rows) {
            if (!take(row.rowid, row.null ? nullptr : reinterpret_cast<const unsigned char*>(row.text.data()),
                      row.text.size()))
                break;
        }
        return ++reads < 3;
    };
    EXPECT_FALSE(builder.buildRun(rows.front().rowid, rows.back().rowid, read, [](uint64_t, const PostingSet&) {}));
    EXPECT_EQ(reads, 3);
    // The builder starts the next run afresh.
    EXPECT_TRUE(builder.buildRun(rows.front().rowid, rows.back().rowid,
                                 [&](uint32_t first, uint32_t last, const GramSetBuilder::Take& take) {
                                     reads = 0;
                                     return read(first, last, take) || true;
                                 },
                                 [](uint64_t, const PostingSet&) {}));
}

namespace {

// A collection of three runs, the last one ending at the highest rowid.
std::vector<Row> threeRuns()
{
    std::vector<Row> rows;
    for (const uint32_t run : {0u, 3u, 65535u}) {
        for (const Row& row : runOfRows(run)) {
            if (run == 65535 && row.rowid > 0xFFFF0000u + 3000)
                break;
            rows.push_back(row);
        }
    }
    rows.push_back({4294967295u, false, {}}); // an empty text, the highest rowid
    return rows;
}

void insertRow(sqlite3* db, const Row& row)
{
    sqlite3_stmt* st = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db,
                                 "INSERT INTO maindata(rowid, subject, htm, content, date) "
                                 "VALUES (?1, 's' || ?1, 'h', ?2, '2001-01-01')",
                                 -1, &st, nullptr),
              SQLITE_OK);
    sqlite3_bind_int64(st, 1, row.rowid);
    if (row.null)
        sqlite3_bind_null(st, 2);
    else if (row.text.empty())
        sqlite3_bind_blob(st, 2, "", 0, SQLITE_STATIC);
    else
        sqlite3_bind_text(st, 2, row.text.c_str(), int(row.text.size()), SQLITE_TRANSIENT);
    EXPECT_EQ(sqlite3_step(st), SQLITE_DONE) << sqlite3_errmsg(db);
    sqlite3_finalize(st);
}

void writeThreeRuns(DbTest::SqliteFile& file)
{
    file.exec("CREATE TABLE maindata(subject TEXT, htm TEXT, content TEXT, date TEXT)");
    file.exec("BEGIN");
    for (const Row& row : threeRuns())
        insertRow(file.handle(), row);
    file.exec("COMMIT");
}

// Every table of the index, row by row, and its triggers.
std::map<std::string, std::string> dumpIndex(sqlite3* db)
{
    std::map<std::string, std::string> out;
    const char* tables[] = {"orvanta_index_info", "orvanta_index_grams", "orvanta_index_triples", "orvanta_index_order",
                            "orvanta_index_titles"};
    for (const char* table : tables) {
        sqlite3_stmt* st = nullptr;
        EXPECT_EQ(sqlite3_prepare_v2(db, (std::string("SELECT * FROM ") + table + " ORDER BY 1").c_str(), -1, &st,
                                     nullptr),
                  SQLITE_OK);
        while (st && sqlite3_step(st) == SQLITE_ROW) {
            const std::string key = std::string(table) + ":"
                + std::string(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
            out[key] = std::string(static_cast<const char*>(sqlite3_column_blob(st, 1)),
                                   size_t(sqlite3_column_bytes(st, 1)));
        }
        sqlite3_finalize(st);
    }
    sqlite3_stmt* st = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(db, "SELECT name, sql FROM sqlite_schema WHERE type = 'trigger'", -1, &st, nullptr),
              SQLITE_OK);
    while (st && sqlite3_step(st) == SQLITE_ROW)
        out[std::string("trigger:") + reinterpret_cast<const char*>(sqlite3_column_text(st, 0))] =
            reinterpret_cast<const char*>(sqlite3_column_text(st, 1));
    sqlite3_finalize(st);
    return out;
}

qint64 pageCount(sqlite3* db)
{
    sqlite3_stmt* st = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(db, "PRAGMA page_count", -1, &st, nullptr), SQLITE_OK);
    EXPECT_EQ(sqlite3_step(st), SQLITE_ROW);
    const qint64 pages = sqlite3_column_int64(st, 0);
    sqlite3_finalize(st);
    return pages;
}

// The gram table of an index, row by row.
std::map<qint64, std::string> gramRows(sqlite3* db)
{
    sqlite3_stmt* st = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(db, "SELECT key, sets FROM orvanta_index_grams ORDER BY key", -1, &st, nullptr),
              SQLITE_OK);
    std::map<qint64, std::string> rows;
    while (st && sqlite3_step(st) == SQLITE_ROW)
        rows[sqlite3_column_int64(st, 0)] = std::string(static_cast<const char*>(sqlite3_column_blob(st, 1)),
                                                        size_t(sqlite3_column_bytes(st, 1)));
    sqlite3_finalize(st);
    return rows;
}

// The three-run collection and the index build() makes of it at once by one
// thread, written once for every test that compares other builds with it.
class ThreeRunCollection : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_dir = new QTemporaryDir;
        ASSERT_TRUE(s_dir->isValid());
        {
            DbTest::SqliteFile rows(rowsOnly());
            writeThreeRuns(rows);
        }
        QFile::copy(rowsOnly(), s_dir->filePath(QStringLiteral("built.mdb")));
        DbTest::SqliteFile built(s_dir->filePath(QStringLiteral("built.mdb")));
        qint64 lastReported = -1;
        EXPECT_TRUE(ContentIndex::build(built.handle(), [&](qint64 done, qint64 total) {
            EXPECT_LE(done, total);
            lastReported = done;
            return true;
        }, size_t(1) << 30, 1));
        EXPECT_EQ(lastReported, 8961) << "every row, once";
        s_index = new std::map<std::string, std::string>(dumpIndex(built.handle()));
        s_grams = new std::map<qint64, std::string>(gramRows(built.handle()));
    }
    static void TearDownTestSuite()
    {
        delete s_grams;
        delete s_index;
        delete s_dir;
    }
    // The rows without an index, to copy.
    static QString rowsOnly() { return s_dir->filePath(QStringLiteral("rows.mdb")); }
    // A fresh copy of the rows named `name` in a folder of the test's own.
    QString copyOfTheRows(const QString& name)
    {
        const QString path = m_dir.filePath(name);
        EXPECT_TRUE(QFile::copy(rowsOnly(), path));
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
        return path;
    }

    static QTemporaryDir* s_dir;
    static std::map<std::string, std::string>* s_index; // dumpIndex() of the index built at once
    static std::map<qint64, std::string>* s_grams;      // its gram table
    QTemporaryDir m_dir;
};

QTemporaryDir* ThreeRunCollection::s_dir = nullptr;
std::map<std::string, std::string>* ThreeRunCollection::s_index = nullptr;
std::map<qint64, std::string>* ThreeRunCollection::s_grams = nullptr;

} // namespace

// Through the stored index: a collection built in the smallest budget, or by
// several threads at once, holds the same rows of sets, byte for byte, as
// one built at once by one thread.
TEST_F(ThreeRunCollection, StoredSetsDoNotDependOnTheBudgetOrTheThreads)
{
    auto dump = [&](size_t budget, int threads) {
        DbTest::SqliteFile file(copyOfTheRows(QStringLiteral("c%1-%2.mdb").arg(qulonglong(budget)).arg(threads)));
        qint64 lastReported = -1;
        EXPECT_TRUE(ContentIndex::build(file.handle(), [&](qint64 done, qint64 total) {
            EXPECT_LE(done, total);
            lastReported = done;
            return true;
        }, budget, threads));
        EXPECT_EQ(lastReported, 8961) << "every row, once";
        return gramRows(file.handle());
    };
    const auto& whole = *s_grams;
    EXPECT_GT(whole.size(), 40000u);
    for (const auto& [budget, threads] : {std::pair{size_t(1), 1}, std::pair{size_t(1) << 30, 2},
                                          std::pair{size_t(1) << 30, 3}, std::pair{size_t(1), 2}}) {
        SCOPED_TRACE(testing::Message() << "budget " << budget << ", threads " << threads);
        EXPECT_TRUE(whole == dump(budget, threads));
    }
    // The empty blob is content, not NULL: its row is among those with text.
    EXPECT_TRUE(whole.count(qint64((ContentIndex::TextGram << 16) | 65535)));
}

// A failure on any of the threads (here a full disk, which whichever thread
// stores next meets) stops them all, says what it was and leaves no index;
// so does a stop asked for while others still gather.
TEST_F(ThreeRunCollection, FailureOrStopOnAnyThreadLeavesNoIndex)
{
    for (const int threads : {1, 2, 3}) {
        SCOPED_TRACE(testing::Message() << threads << " threads");
        DbTest::SqliteFile file(copyOfTheRows(QStringLiteral("full%1.mdb").arg(threads)));
        const QByteArray limit = "PRAGMA max_page_count = " + QByteArray::number(pageCount(file.handle()) + 40);
        file.exec(limit.constData());
        const int number =
            Orvanta::Test::errorNumberOf([&] { ContentIndex::build(file.handle(), {}, size_t(1) << 30, threads); });
        EXPECT_EQ(number, ErrorCode::DiskFull);
        EXPECT_EQ(ContentIndex::state(file.handle()), ContentIndex::State::Missing);

        file.exec("PRAGMA max_page_count = 1000000000");
        // In the smallest budget every run takes many passes: the caller's
        // own reads are enough for a call before the end.
        int calls = 0;
        qint64 stoppedAt = -1, rows = 0;
        EXPECT_FALSE(ContentIndex::build(file.handle(), [&](qint64 done, qint64 total) {
            ++calls;
            stoppedAt = done;
            rows = total;
            return false;
        }, 1, threads));
        EXPECT_EQ(calls, 1);
        EXPECT_LT(stoppedAt, rows);
        EXPECT_EQ(ContentIndex::state(file.handle()), ContentIndex::State::Missing);
        // The next build, on the same connection, is whole.
        EXPECT_TRUE(ContentIndex::build(file.handle(), {}, size_t(1) << 30, threads));
        EXPECT_EQ(ContentIndex::state(file.handle()), ContentIndex::State::Current);
    }
}

// An index gathered while the rows are written, run after run on other
// threads, is the index build() makes of the finished rows: every table,
// row for row. So is one whose rows came out of order, which the builder
// leaves to build().
TEST_F(ThreeRunCollection, GatheredAlongTheWritesIsTheIndexOfTheRows)
{
    QTemporaryDir& dir = m_dir;
    const auto& expected = *s_index;
    EXPECT_GT(expected.size(), 40000u);

    std::vector<Row> shuffled = threeRuns();
    std::swap(shuffled[0], shuffled[1]);
    for (const auto& [rows, threads] : {std::pair{threeRuns(), 1}, std::pair{threeRuns(), 3}, std::pair{shuffled, 2}}) {
        SCOPED_TRACE(testing::Message() << threads << " threads" << (threads == 2 ? ", rows out of order" : ""));
        DbTest::SqliteFile file(dir.filePath(QStringLiteral("along%1.mdb").arg(threads)));
        file.exec("CREATE TABLE maindata(subject TEXT, htm TEXT, content TEXT, date TEXT)");
        file.exec("BEGIN");
        {
            ContentIndex::Builder index(file.handle(), 1, threads);
            for (const Row& row : rows) {
                {
                    std::lock_guard lock(index.connection());
                    insertRow(file.handle(), row);
                }
                index.rowAdded(row.rowid);
            }
            index.gatherRemaining();
            // In order, the runs were gathered as the rows came; out of
            // order, nothing was, and finish() builds the index whole.
            sqlite3_stmt* st = nullptr;
            ASSERT_EQ(sqlite3_prepare_v2(file.handle(), "SELECT count(*) FROM orvanta_index_grams", -1, &st, nullptr),
                      SQLITE_OK);
            ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);
            EXPECT_EQ(sqlite3_column_int(st, 0) > 0, threads != 2);
            sqlite3_finalize(st);
            index.finish();
        }
        file.exec("COMMIT");
        EXPECT_EQ(ContentIndex::state(file.handle()), ContentIndex::State::Current);
        EXPECT_TRUE(dumpIndex(file.handle()) == expected);
    }
}

// A disk that fills up while the rows are written, with room for the rows
// but not for the index: the gathering meets it, and the error reaches the
// writer and says so.
TEST(ContentIndexBuilder, FullDiskDuringTheWritesSaysSo)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    qint64 pagesOfTheRows = 0;
    {
        DbTest::SqliteFile rowsAlone(dir.filePath(QStringLiteral("rows.mdb")));
        writeThreeRuns(rowsAlone);
        pagesOfTheRows = pageCount(rowsAlone.handle());
    }
    DbTest::SqliteFile file(dir.filePath(QStringLiteral("full.mdb")));
    file.exec("CREATE TABLE maindata(subject TEXT, htm TEXT, content TEXT, date TEXT)");
    file.exec(("PRAGMA max_page_count = " + std::to_string(pagesOfTheRows + 40)).c_str());
    file.exec("BEGIN");
    QString text;
    const int number = Orvanta::Test::errorNumberOf(
        [&] {
            ContentIndex::Builder index(file.handle(), 2, 2);
            for (const Row& row : threeRuns()) {
                {
                    std::lock_guard lock(index.connection());
                    insertRow(file.handle(), row);
                }
                index.rowAdded(row.rowid);
            }
            index.gatherRemaining();
            index.finish();
        },
        &text);
    EXPECT_EQ(number, ErrorCode::DiskFull) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("posting sets"))) << text.toStdString();
    sqlite3_exec(file.handle(), "ROLLBACK", nullptr, nullptr, nullptr); // SQLite may have rolled back already
}
