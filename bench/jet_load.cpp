// Reading a real Jet file into SQLite (the work a first search on a Jet
// collection waits for), beside mdb-export dumping the same table to nowhere.
#include "BenchSupport.h"

#include <QElapsedTimer>
#include <QStandardPaths>

using namespace Orvanta;
using namespace Orvanta::Bench;

namespace {

QString tcmDatabase()
{
    return fixturesDir() + QStringLiteral("/tcm-sample/jst.mdb");
}

void setBytes(benchmark::State& state, const QString& file)
{
    state.SetBytesProcessed(int64_t(state.iterations()) * QFileInfo(file).size());
}

void jetImport(benchmark::State& state)
{
    const QString file = tcmDatabase();
    qint64 rows = 0;
    for (auto _ : state) {
        sqlite3* db = nullptr;
        sqlite3_open_v2(":memory:", &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
        SqlitePtr owner(db);
        sqlite3_exec(db, "PRAGMA page_size=65536", nullptr, nullptr, nullptr);
        JetImport::load(file, db);
        state.PauseTiming();
        sqlite3_stmt* stmt = nullptr;
        sqlite3_prepare_v2(db, "SELECT count(*) FROM maindata", -1, &stmt, nullptr);
        if (stmt && sqlite3_step(stmt) == SQLITE_ROW)
            rows = sqlite3_column_int64(stmt, 0);
        sqlite3_finalize(stmt);
        state.ResumeTiming();
    }
    state.counters["rows"] = double(rows);
    setBytes(state, file);
}

// mdb-export writes CSV of the whole table; its time is the reference.
void mdbExport(benchmark::State& state)
{
    const QString file = tcmDatabase();
    const QString program = QStandardPaths::findExecutable(QStringLiteral("mdb-export"));
    if (program.isEmpty()) {
        state.SkipWithError("mdb-export is not installed");
        return;
    }
    for (auto _ : state) {
        QElapsedTimer clock;
        clock.start();
        QProcess process;
        process.setStandardOutputFile(QProcess::nullDevice());
        process.start(program, {file, QStringLiteral("maindata")});
        if (!process.waitForFinished(-1) || process.exitCode() != 0) {
            state.SkipWithError("mdb-export failed");
            return;
        }
        state.SetIterationTime(double(clock.nsecsElapsed()) / 1e9);
    }
    setBytes(state, file);
}

void registerAll()
{
    if (!QFileInfo(tcmDatabase()).isFile()) {
        std::fprintf(stderr, "the fixture %s is missing\n", qPrintable(tcmDatabase()));
        return;
    }
    benchmark::RegisterBenchmark("jet_load/tcm/JetImport::load", jetImport)
        ->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);
    benchmark::RegisterBenchmark("jet_load/tcm/mdb-export", mdbExport)
        ->Unit(benchmark::kMillisecond)->UseManualTime()->MinTime(3);
}

} // namespace

ORVANTA_BENCH_MAIN(registerAll)
