// Shared pieces of the benchmark programs: where things are, the synthetic
// collections (made once, kept under the build folder), SQLite handles and a
// main that sets up Qt before Google Benchmark runs.
#pragma once

#include "platform/jet/JetImport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QString>

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace Orvanta::Bench {

// A query the benches run, with the label its figures are reported under.
struct Query {
    const char* label;
    const char* text;
};

inline QString programFolder()
{
    return QCoreApplication::applicationDirPath();
}

inline QString fixturesDir()
{
    return QStringLiteral(ORVANTA_FIXTURES_DIR);
}

// build/<name>/bench-cache: beside bin/, so every build folder keeps its own.
inline QString cacheFolder()
{
    const QString folder = QDir(programFolder() + QStringLiteral("/../bench-cache")).absolutePath();
    QDir().mkpath(folder);
    return folder;
}

// A synthetic collection of `count` documents, written by orvanta-build the
// first time and reused afterwards.
inline QString sampleCollection(int count)
{
    const QString folder = cacheFolder() + QStringLiteral("/sample-%1").arg(count);
    const QString marker = folder + QStringLiteral("/.complete");
    if (QFileInfo(marker).isFile() && QFileInfo(folder + QStringLiteral("/jst.mdb")).isFile())
        return folder;
    std::fprintf(stderr, "writing a sample collection of %d documents into %s\n", count,
                 qPrintable(folder));
    QProcess builder;
    builder.setProcessChannelMode(QProcess::ForwardedChannels);
    builder.start(programFolder() + QStringLiteral("/orvanta-build"),
                  {QStringLiteral("--force"), QStringLiteral("--sample"), QString::number(count), folder});
    if (!builder.waitForFinished(-1) || builder.exitCode() != 0)
        throw std::runtime_error("orvanta-build failed; build it first (target orvanta-build)");
    QFile(marker).open(QIODevice::WriteOnly);
    return folder;
}

inline QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

struct SqliteCloser {
    void operator()(sqlite3* db) const { sqlite3_close(db); }
};
using SqlitePtr = std::unique_ptr<sqlite3, SqliteCloser>;

// A plain read-only connection, set up for scanning as the engine sets up its own.
inline SqlitePtr openReadOnly(const QString& path)
{
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        throw std::runtime_error("cannot open " + path.toStdString());
    }
    sqlite3_exec(db, "PRAGMA mmap_size=268435456", nullptr, nullptr, nullptr);
    return SqlitePtr(db);
}

// An in-memory copy of a Jet file's tables, with the engine's page size.
inline SqlitePtr loadJetIntoMemory(const QString& jetFile)
{
    sqlite3* db = nullptr;
    sqlite3_open_v2(":memory:", &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    sqlite3_exec(db, "PRAGMA page_size=65536", nullptr, nullptr, nullptr);
    SqlitePtr owner(db);
    JetImport::load(jetFile, db);
    return owner;
}

// Every non-NULL content value, as the database holds it (UTF-8).
inline std::vector<std::string> loadContents(sqlite3* db)
{
    std::vector<std::string> out;
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db, "SELECT content FROM maindata", -1, &stmt, nullptr);
    while (stmt && sqlite3_step(stmt) == SQLITE_ROW) {
        if (sqlite3_column_type(stmt, 0) == SQLITE_NULL)
            continue;
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
        out.emplace_back(text, size_t(sqlite3_column_bytes(stmt, 0)));
    }
    sqlite3_finalize(stmt);
    return out;
}

} // namespace Orvanta::Bench

// Google Benchmark's main with a QCoreApplication around it, so that the
// engine finds the Jet reader beside the program.
#define ORVANTA_BENCH_MAIN(registerAll)                                   \
    int main(int argc, char** argv)                                       \
    {                                                                     \
        QCoreApplication app(argc, argv);                                 \
        benchmark::Initialize(&argc, argv);                               \
        if (benchmark::ReportUnrecognizedArguments(argc, argv))           \
            return 1;                                                     \
        registerAll();                                                    \
        benchmark::RunSpecifiedBenchmarks();                              \
        benchmark::Shutdown();                                            \
        return 0;                                                         \
    }
