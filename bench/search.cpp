// Search time on real and synthetic collections, beside two references on the
// same content: a plain byte scan of every content value held in memory (the
// floor no LIKE can beat) and SQLite's own LIKE running the same statement.
//
//   bench_search                         everything
//   bench_search --benchmark_filter=tcm  one collection
#include "BenchSupport.h"

#include "app/core/modVelmora.h"
#include "platform/collection/Database.h"
#include "platform/sql/ResultTable.h"
#include "platform/sql/SqlDialect.h"
#include "platform/sql/SqliteFunctions.h"
#include "search/core/QueryComposer.h"
#include "search/core/SearchExecution.h"

#include <cstring>
#include <map>

using namespace Orvanta;
using namespace Orvanta::Bench;

namespace {

const Query kQueries[] = {
    {"one_word", "人參"},
    {"and_two_words", "人參 甘草"},
    {"or_two_words", "+人參 甘草"},
    {"empty", ""},
};

// One collection as every contender sees it.
struct Collection {
    QString name;
    QString installFolder;
    QString connectionString;
    SqlitePtr plain;                    // SQLite's own LIKE
    SqlitePtr ours;                     // our LIKE, for the statement with bound values
    std::vector<std::string> contents;  // for the plain scan
    qint64 contentBytes = 0;
};

std::vector<std::unique_ptr<Collection>>& collections()
{
    static std::vector<std::unique_ptr<Collection>> all;
    return all;
}

void finishSetup(Collection& c)
{
    c.contents = loadContents(c.plain.get());
    for (const std::string& s : c.contents)
        c.contentBytes += qint64(s.size());
    c.connectionString = modVelmora::connectionStringFor(c.installFolder);
}

std::unique_ptr<Collection> jetCollection(const QString& name, const QString& folder)
{
    auto c = std::make_unique<Collection>();
    c->name = name;
    c->installFolder = folder;
    c->plain = loadJetIntoMemory(folder + QStringLiteral("/jst.mdb"));
    c->ours = loadJetIntoMemory(folder + QStringLiteral("/jst.mdb"));
    registerLikeFunction(c->ours.get());
    finishSetup(*c);
    return c;
}

std::unique_ptr<Collection> sqliteCollection(const QString& name, const QString& folder)
{
    auto c = std::make_unique<Collection>();
    c->name = name;
    c->installFolder = folder;
    c->plain = openReadOnly(folder + QStringLiteral("/jst.mdb"));
    c->ours = openReadOnly(folder + QStringLiteral("/jst.mdb"));
    registerLikeFunction(c->ours.get());
    finishSetup(*c);
    return c;
}

// Steps a prepared statement to the end, reading both columns as text.
qint64 drain(sqlite3_stmt* stmt, ResultTable* into)
{
    qint64 rows = 0;
    while (sqlite3_step(stmt) == SQLITE_ROW) {
        for (int col = 0; col < 2; ++col) {
            const auto* text = reinterpret_cast<const char16_t*>(sqlite3_column_text16(stmt, col));
            const int bytes = sqlite3_column_bytes16(stmt, col);
            if (into)
                into->appendCell(QStringView(text, bytes / 2), text == nullptr);
        }
        ++rows;
    }
    return rows;
}

void reportRows(benchmark::State& state, const Collection& c, qint64 rows)
{
    state.counters["rows"] = double(rows);
    state.counters["docs"] = double(c.contents.size());
    state.SetBytesProcessed(int64_t(state.iterations()) * c.contentBytes);
}

// Composition alone: the first half of the search routine.
void composeOnly(benchmark::State& state, const Query* q)
{
    const QString text = QString::fromUtf8(q->text);
    for (auto _ : state)
        benchmark::DoNotOptimize(composeQuery(text));
}

// The search as the window runs it: compose, open a connection, run the
// statement, test for rows, close, run it again and take the rows.
void executeAsTheSearchDoes(benchmark::State& state, Collection* c, const Query* q)
{
    const QString text = QString::fromUtf8(q->text);
    // Each database repeats its last statement from memory; another statement
    // in between makes every timed search a real one, as a new query is.
    const QString other = QStringLiteral("select subject,htm from  maindata where 1=2");
    qint64 rows = 0;
    for (auto _ : state) {
        state.PauseTiming();
        executeSearch(c->connectionString, other);
        state.ResumeTiming();
        const ComposedQuery composed = composeQuery(text);
        const auto table = executeSearch(c->connectionString, composed.sql);
        rows = table ? table->rowCount() : 0;
    }
    reportRows(state, *c, rows);
}

// The same conditions as one prepared statement with bound values, on a
// connection with our LIKE, filling the same kind of result table.
void boundStatement(benchmark::State& state, Collection* c, const Query* q)
{
    const ComposedQuery composed = composeQuery(QString::fromUtf8(q->text));
    const QStringList words = composed.mode == QLatin1String("mod1") ? QStringList() : splitWords(composed.escaped);
    QString sql = QStringLiteral("SELECT subject, htm FROM maindata NOT INDEXED");
    const bool any = composed.mode == QLatin1String("mod4");
    for (int i = 0; i < words.size(); ++i)
        sql += (i == 0 ? QStringLiteral(" WHERE ") : any ? QStringLiteral(" OR ") : QStringLiteral(" AND "))
             + QStringLiteral("content LIKE ?%1").arg(i + 1);
    if (composed.mode == QLatin1String("mod4") && words.isEmpty())
        sql += QStringLiteral(" WHERE 0");
    if (!any)
        sql += QStringLiteral(" ORDER BY date DESC, rowid");
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(c->ours.get(), sql.toUtf8().constData(), -1, &stmt, nullptr) != SQLITE_OK) {
        state.SkipWithError(sqlite3_errmsg(c->ours.get()));
        return;
    }
    std::vector<QByteArray> patterns;
    for (const QString& w : words)
        patterns.push_back((QLatin1Char('%') + QString(w).replace(QStringLiteral("'&chr(39)&'"), QStringLiteral("'"))
                            + QLatin1Char('%')).toUtf8());
    qint64 rows = 0;
    for (auto _ : state) {
        sqlite3_reset(stmt);
        for (size_t i = 0; i < patterns.size(); ++i)
            sqlite3_bind_text(stmt, int(i + 1), patterns[i].constData(), int(patterns[i].size()), SQLITE_STATIC);
        ResultTable table({QStringLiteral("subject"), QStringLiteral("htm")});
        rows = drain(stmt, &table);
        benchmark::DoNotOptimize(table.rowCount());
    }
    sqlite3_finalize(stmt);
    reportRows(state, *c, rows);
}

// SQLite's built-in LIKE (ASCII-only case folding) on the translated statement.
void builtinLike(benchmark::State& state, Collection* c, const Query* q)
{
    const QString sql = SqlDialect::toSqlite(composeQuery(QString::fromUtf8(q->text)).sql);
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(c->plain.get(), sql.toUtf8().constData(), -1, &stmt, nullptr) != SQLITE_OK) {
        state.SkipWithError(sqlite3_errmsg(c->plain.get()));
        return;
    }
    qint64 rows = 0;
    for (auto _ : state) {
        sqlite3_reset(stmt);
        rows = drain(stmt, nullptr);
    }
    sqlite3_finalize(stmt);
    reportRows(state, *c, rows);
}

// The floor: memmem over every content value already in memory.
void plainScan(benchmark::State& state, Collection* c, const char* word)
{
    const size_t length = std::strlen(word);
    qint64 rows = 0;
    for (auto _ : state) {
        rows = 0;
        for (const std::string& s : c->contents)
            rows += ::memmem(s.data(), s.size(), word, length) != nullptr;
        benchmark::DoNotOptimize(rows);
    }
    reportRows(state, *c, rows);
}

void registerAll()
{
    for (const Query& q : kQueries)
        benchmark::RegisterBenchmark((std::string("compose/") + q.label).c_str(), composeOnly, &q);

    const QString tcm = fixturesDir() + QStringLiteral("/tcm-sample");
    // The engine's converted copies of Jet files go to the cache folder, not
    // into the user's.
    Database::setConvertedCopyFolder(cacheFolder() + QStringLiteral("/converted"));
    try {
        if (QFileInfo(tcm + QStringLiteral("/jst.mdb")).isFile())
            collections().push_back(jetCollection(QStringLiteral("tcm"), tcm));
        else
            std::fprintf(stderr, "the fixture %s is missing: skipping it\n", qPrintable(tcm));
        for (int n : {10000, 100000})
            collections().push_back(sqliteCollection(QStringLiteral("sample%1k").arg(n / 1000), sampleCollection(n)));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "setup failed: %s\n", e.what());
    }

    for (const auto& owned : collections()) {
        Collection* c = owned.get();
        const std::string name = c->name.toStdString();
        for (const Query& q : kQueries) {
            const std::string suffix = name + "/" + q.label;
            benchmark::RegisterBenchmark(("search/" + suffix).c_str(), executeAsTheSearchDoes, c, &q)
                ->Unit(benchmark::kMillisecond)->UseRealTime();
            benchmark::RegisterBenchmark(("bound/" + suffix).c_str(), boundStatement, c, &q)
                ->Unit(benchmark::kMillisecond)->UseRealTime();
            benchmark::RegisterBenchmark(("sqlite_like/" + suffix).c_str(), builtinLike, c, &q)
                ->Unit(benchmark::kMillisecond)->UseRealTime();
        }
        benchmark::RegisterBenchmark(("plain_scan/" + name + "/one_word").c_str(), plainScan, c, kQueries[0].text)
            ->Unit(benchmark::kMillisecond)->UseRealTime();
        benchmark::RegisterBenchmark(("plain_scan/" + name + "/second_word").c_str(), plainScan, c, "甘草")
            ->Unit(benchmark::kMillisecond)->UseRealTime();
    }
}

} // namespace

ORVANTA_BENCH_MAIN(registerAll)
