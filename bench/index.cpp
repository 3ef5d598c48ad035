// The content index: searches through it beside the scan, its build time and
// size against the content, and the other way of keeping posting sets that
// was weighed against CRoaring: SQLite's FTS5 with a tokenizer of ours that
// makes the same characters and pairs of characters, on the same content.
//
//   bench_index                                   sample of 140,000 documents
//   ORVANTA_BENCH_SAMPLES=140000,1000000 bench_index
//   bench_index --benchmark_filter=search         only the searches
#include "BenchSupport.h"

#include "app/core/modVelmora.h"
#include "platform/index/ContentIndex.h"
#include "platform/collection/Database.h"
#include "platform/sql/LikeMatcher.h"
#include "platform/index/IndexStorage.h"
#include "platform/sql/Utf8Reading.h"
#include "search/core/QueryComposer.h"
#include "search/core/SearchExecution.h"

#include <QElapsedTimer>
#include <QTemporaryDir>

#include <cstring>
#include <map>

using namespace Orvanta;
using namespace Orvanta::Bench;

namespace {

const Query kQueries[] = {
    {"one_word", "人參"},
    {"and_two_words", "人參 甘草"},
    {"or_two_words", "+人參 甘草"},
    {"three_characters", "桂枝湯"},
    {"empty", ""},
};

// One query per class, typed as in the search window, and the same rows from
// SQLite: MATCH on an FTS5 trigram table for words of three or more
// characters, LIKE on the plain table for shorter words and "%" (as
// bench/whole-process.sh runs them through the sqlite3 command line).
struct ClassQuery {
    const char* label;
    const char* text;
    const char* sqlite;
};
const ClassQuery kClasses[] = {
    {"one_char", "參", "select subject, htm from maindata where content like '%參%' order by date desc"},
    {"and_2char", "人參 甘草",
     "select subject, htm from maindata where content like '%人參%' and content like '%甘草%' order by date desc"},
    {"and_3char", "桂枝湯 麻黃湯",
     "select subject, htm from maindata where rowid in (select rowid from ft where ft match '\"桂枝湯\" AND "
     "\"麻黃湯\"') order by date desc"},
    {"word_4to6", "當歸芍藥",
     "select subject, htm from maindata where rowid in (select rowid from ft where ft match '\"當歸芍藥\"') "
     "order by date desc"},
    {"percent", "人%參", "select subject, htm from maindata where content like '%人%參%' order by date desc"},
    {"or_three", "+桂枝湯 麻黃湯 當歸芍藥",
     "select subject, htm from maindata where rowid in (select rowid from ft where ft match '\"桂枝湯\" OR "
     "\"麻黃湯\" OR \"當歸芍藥\"') order by rowid"},
    {"empty", "", "select subject, htm from maindata order by date desc"},
};

// The FTS5 trigram contender of a sample, built once into its folder.
QString fts5Trigram(const QString& folder)
{
    const QString path = folder + QStringLiteral("/fts5-trigram.db");
    if (QFileInfo(path + QStringLiteral(".complete")).isFile())
        return path;
    QFile::remove(path);
    std::fprintf(stderr, "building %s (once)\n", qPrintable(path));
    sqlite3* db = nullptr;
    sqlite3_open(QFile::encodeName(path).constData(), &db);
    const QByteArray sql = "PRAGMA journal_mode=OFF; PRAGMA cache_size=-262144; ATTACH '"
        + QFile::encodeName(folder + QStringLiteral("/jst.mdb")) + "' AS src;"
        "CREATE TABLE maindata(subject TEXT, htm TEXT, content TEXT, date TEXT);"
        "INSERT INTO maindata(rowid, subject, htm, content, date) SELECT rowid, subject, htm, content, date FROM src.maindata;"
        "CREATE INDEX maindata_newest ON maindata(date DESC, subject, htm);"
        "CREATE VIRTUAL TABLE ft USING fts5(content, content='maindata', content_rowid='rowid', tokenize='trigram');"
        "INSERT INTO ft(ft) VALUES('rebuild'); INSERT INTO ft(ft) VALUES('optimize');";
    if (sqlite3_exec(db, sql.constData(), nullptr, nullptr, nullptr) != SQLITE_OK)
        throw std::runtime_error(sqlite3_errmsg(db));
    sqlite3_close(db);
    QFile(path + QStringLiteral(".complete")).open(QIODevice::WriteOnly);
    return path;
}

// The same rows through SQLite's C API: every cell read as text (UTF-16, as
// our result list holds them), as a program listing them would. One
// connection kept open with the file mapped, as ours is.
void searchFts5(benchmark::State& state, QString path, std::string sql)
{
    sqlite3* db = nullptr;
    sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_exec(db, "PRAGMA mmap_size=2147418112", nullptr, nullptr, nullptr);
    qint64 rows = 0;
    for (auto _ : state) {
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) != SQLITE_OK) {
            state.SkipWithError(sqlite3_errmsg(db));
            break;
        }
        rows = 0;
        size_t bytes = 0;
        while (sqlite3_step(st) == SQLITE_ROW) {
            ++rows;
            bytes += size_t(sqlite3_column_bytes16(st, 0)) + size_t(sqlite3_column_bytes16(st, 1));
        }
        benchmark::DoNotOptimize(bytes);
        sqlite3_finalize(st);
    }
    sqlite3_close(db);
    state.counters["rows"] = double(rows);
}

std::vector<int> sampleSizes()
{
    const QByteArray env = qgetenv("ORVANTA_BENCH_SAMPLES");
    std::vector<int> out;
    for (const QByteArray& n : (env.isEmpty() ? QByteArray("140000") : env).split(','))
        out.push_back(n.trimmed().toInt());
    return out;
}

// What the search window does for one search, made a real one each time.
void search(benchmark::State& state, QString connectionString, QString queryText, bool index)
{
    Database::setContentIndexUse(index);
    qsizetype rows = 0;
    for (auto _ : state) {
        Database::forgetKeptResults();
        const ComposedQuery q = composeQuery(queryText);
        const auto table = executeSearch(connectionString, q.sql);
        rows = table ? table->rowCount() : 0;
        benchmark::DoNotOptimize(table);
    }
    state.counters["rows"] = double(rows);
    Database::setContentIndexUse(true);
}

// A writable copy of the collection's database without its index.
QString unindexedCopy(const QString& folder, QTemporaryDir& scratch)
{
    const QString copy = scratch.filePath(QStringLiteral("jst.mdb"));
    QFile::remove(copy);
    QFile::copy(folder + QStringLiteral("/jst.mdb"), copy);
    QFile::setPermissions(copy, QFile::ReadOwner | QFile::WriteOwner);
    sqlite3* db = nullptr;
    sqlite3_open(QFile::encodeName(copy).constData(), &db);
    ContentIndex::drop(db);
    sqlite3_exec(db, "VACUUM", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    return copy;
}

// An unindexed copy in a scratch folder, open for writing, and its size before
// an index is added: what both builds start from.
struct BuildCopy {
    QTemporaryDir scratch{Bench::cacheFolder() + QStringLiteral("/scratch-XXXXXX")};
    QString path;
    qint64 bytesBefore = 0;
    sqlite3* db = nullptr;

    explicit BuildCopy(const QString& folder) : path(unindexedCopy(folder, scratch)), bytesBefore(QFileInfo(path).size())
    {
        sqlite3_open(QFile::encodeName(path).constData(), &db);
    }
    ~BuildCopy() { sqlite3_close(db); }

    void setCounters(benchmark::State& state) const
    {
        const qint64 content =
            IndexStorage::singleInteger(db, "SELECT sum(length(CAST(content AS BLOB))) FROM maindata").value_or(0);
        const qint64 added = QFileInfo(path).size() - bytesBefore;
        state.counters["content_MB"] = double(content) / 1e6;
        state.counters["index_MB"] = double(added) / 1e6;
        state.counters["index_per_content"] = double(added) / double(content);
    }
};

// state.range(0): the threads that gather.
void buildRoaring(benchmark::State& state, QString folder)
{
    const BuildCopy copy(folder);
    for (auto _ : state) {
        sqlite3_exec(copy.db, "BEGIN", nullptr, nullptr, nullptr);
        ContentIndex::build(copy.db, {}, 0, int(state.range(0)));
        sqlite3_exec(copy.db, "COMMIT", nullptr, nullptr, nullptr);
    }
    copy.setCounters(state);
}

// ---- FTS5 with our own tokenizer -------------------------------------------

// Tokens: every folded character and every pair of adjacent folded characters
// of a document; a query term of one or two characters is that one token.
int tokenize(Fts5Tokenizer*, void* ctx, int flags, const char* text, int bytes,
             int (*token)(void*, int, const char*, int, int, int))
{
    std::vector<std::string> chars;
    const auto* p = reinterpret_cast<const unsigned char*>(text);
    const auto* end = p + bytes;
    while (p < end) {
        const Utf8Reading::Decoded d = Utf8Reading::decode(p, end);
        p += d.len;
        const char32_t c = foldCase(d.cp);
        std::string utf8;
        Utf8Reading::append(utf8, c);
        chars.push_back(utf8);
    }
    if (flags & FTS5_TOKENIZE_QUERY) {
        const std::string term = chars.size() <= 2 ? chars.empty() ? std::string() : chars.size() == 1 ? chars[0]
                                                                                                       : chars[0] + chars[1]
                                                   : std::string();
        return term.empty() ? SQLITE_OK : token(ctx, 0, term.data(), int(term.size()), 0, bytes);
    }
    for (size_t i = 0; i < chars.size(); ++i) {
        int rc = token(ctx, 0, chars[i].data(), int(chars[i].size()), 0, 0);
        if (rc == SQLITE_OK && i + 1 < chars.size()) {
            const std::string pair = chars[i] + chars[i + 1];
            rc = token(ctx, 0, pair.data(), int(pair.size()), 0, 0);
        }
        if (rc != SQLITE_OK)
            return rc;
    }
    return SQLITE_OK;
}

int createTokenizer(void*, const char**, int, Fts5Tokenizer** out)
{
    static int instance;
    *out = reinterpret_cast<Fts5Tokenizer*>(&instance);
    return SQLITE_OK;
}

void registerTokenizer(sqlite3* db)
{
    fts5_api* api = nullptr;
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, "SELECT fts5(?1)", -1, &st, nullptr);
    sqlite3_bind_pointer(st, 1, &api, "fts5_api_ptr", nullptr);
    sqlite3_step(st);
    sqlite3_finalize(st);
    if (!api)
        throw std::runtime_error("FTS5 is not available");
    static fts5_tokenizer tokenizer{createTokenizer, [](Fts5Tokenizer*) {}, tokenize};
    api->xCreateTokenizer(api, "orvanta_grams", nullptr, &tokenizer, nullptr);
}

// Document sets only, like the CRoaring index: no copy of the text, no positions.
const char* const kFts5Build =
    "CREATE VIRTUAL TABLE grams USING fts5(content, content='', detail=none, tokenize='orvanta_grams');"
    "BEGIN; INSERT INTO grams(rowid, content) SELECT rowid, content FROM maindata "
    "WHERE content IS NOT NULL; COMMIT; INSERT INTO grams(grams) VALUES ('optimize')";

void buildFts5(benchmark::State& state, QString folder)
{
    const BuildCopy copy(folder);
    registerTokenizer(copy.db);
    for (auto _ : state) {
        sqlite3_exec(copy.db, "DROP TABLE IF EXISTS grams", nullptr, nullptr, nullptr);
        sqlite3_exec(copy.db, kFts5Build, nullptr, nullptr, nullptr);
    }
    copy.setCounters(state);
}

// The same posting-set question to each: the documents holding both pairs.
void andFts5(benchmark::State& state, QString folder)
{
    // One FTS5 copy per collection, made on first use.
    static std::map<QString, std::pair<std::unique_ptr<QTemporaryDir>, QString>> copies;
    auto& [scratch, path] = copies[folder];
    if (!scratch) {
        scratch = std::make_unique<QTemporaryDir>(Bench::cacheFolder() + QStringLiteral("/scratch-XXXXXX"));
        path = unindexedCopy(folder, *scratch);
        sqlite3* db = nullptr;
        sqlite3_open(QFile::encodeName(path).constData(), &db);
        registerTokenizer(db);
        sqlite3_exec(db, kFts5Build, nullptr, nullptr, nullptr);
        sqlite3_close(db);
    }
    sqlite3* db = nullptr;
    sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    registerTokenizer(db);
    sqlite3_exec(db, "PRAGMA mmap_size=2147418112", nullptr, nullptr, nullptr);
    qint64 count = 0;
    for (auto _ : state) {
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db, "SELECT rowid FROM grams WHERE grams MATCH '\"人參\" AND \"甘草\"'", -1, &st, nullptr);
        count = 0;
        while (sqlite3_step(st) == SQLITE_ROW)
            ++count;
        sqlite3_finalize(st);
    }
    state.counters["rows"] = double(count);
    sqlite3_close(db);
}

void andRoaring(benchmark::State& state, QString folder)
{
    SqlitePtr db = openReadOnly(folder + QStringLiteral("/jst.mdb"));
    uint64_t count = 0;
    for (auto _ : state) {
        auto index = ContentIndex::open(db.get());
        PostingSet rows = index->documentsWith(ContentIndex::bigram(U'人', U'參'));
        rows.intersectWith(index->documentsWith(ContentIndex::bigram(U'甘', U'草')));
        count = rows.values().size();
    }
    state.counters["rows"] = double(count);
}

// The sample with a content index of this version: a sample written before
// the index's layout last changed gets a new one, in place (the bench's own
// copy, never the user's).
QString indexedSample(int count)
{
    const QString folder = sampleCollection(count);
    const QByteArray path = QFile::encodeName(folder + QStringLiteral("/jst.mdb"));
    sqlite3* db = nullptr;
    sqlite3_open(path.constData(), &db);
    if (ContentIndex::state(db) != ContentIndex::State::Current) {
        std::fprintf(stderr, "indexing %s again\n", path.constData());
        sqlite3_exec(db, "PRAGMA journal_mode=OFF; PRAGMA cache_size=-65536", nullptr, nullptr, nullptr);
        if (!ContentIndex::build(db))
            throw std::runtime_error("the sample cannot be indexed");
    }
    sqlite3_close(db);
    return folder;
}

void registerAll()
{
    for (const int n : sampleSizes()) {
        const QString folder = indexedSample(n);
        const std::string name = "sample" + std::to_string(n / 1000) + "k";
        const QString connectionString = modVelmora::connectionStringFor(folder);
        for (const Query& q : kQueries) {
            benchmark::RegisterBenchmark(("search/index/" + name + "/" + q.label).c_str(), search, connectionString,
                                         QString::fromUtf8(q.text), true)
                ->Unit(benchmark::kMillisecond);
            benchmark::RegisterBenchmark(("search/scan/" + name + "/" + q.label).c_str(), search, connectionString,
                                         QString::fromUtf8(q.text), false)
                ->Unit(benchmark::kMillisecond);
        }
        const QString fts5 = fts5Trigram(folder);
        for (const ClassQuery& q : kClasses) {
            benchmark::RegisterBenchmark(("class/index/" + name + "/" + q.label).c_str(), search, connectionString,
                                         QString::fromUtf8(q.text), true)
                ->Unit(benchmark::kMillisecond);
            benchmark::RegisterBenchmark(("class/fts5/" + name + "/" + q.label).c_str(), searchFts5, fts5,
                                         std::string(q.sqlite))
                ->Unit(benchmark::kMillisecond);
        }
        benchmark::RegisterBenchmark(("postings/roaring/" + name + "/and_two_words").c_str(), andRoaring, folder)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("postings/fts5/" + name + "/and_two_words").c_str(), andFts5, folder)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("build/roaring/" + name).c_str(), buildRoaring, folder)
            ->ArgName("threads")->Arg(1)->Arg(2)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();
        benchmark::RegisterBenchmark(("build/fts5/" + name).c_str(), buildFts5, folder)
            ->Unit(benchmark::kSecond)->Iterations(1);
    }
}

} // namespace

ORVANTA_BENCH_MAIN(registerAll)
