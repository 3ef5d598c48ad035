// The first open of a Jet collection (tcm-sample/jst.mdb) with an empty cache:
// the time until the first search's rows are there and the memory it takes,
// beside mdb-export dumping the same table; and a later start, which finds the
// converted copy. Every iteration is a new process, so that nothing is kept
// from the one before; times and peak memory come from the kernel (wait4).
//
// "open/..." runs this program itself in a child mode that opens the
// collection and lists every document, newest first, as the search window's
// first search does, and reports its own peak memory apart from the Jet
// reader's. "process/..." is the whole orvanta-query program doing the same.
#include "BenchSupport.h"

#include "app/core/modVelmora.h"
#include "platform/collection/Database.h"
#include "search/core/QueryComposer.h"
#include "search/core/SearchExecution.h"

#include <QElapsedTimer>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cstring>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace Orvanta;
using namespace Orvanta::Bench;

namespace {

struct Finished {
    double seconds = 0;
    double firstOutputSeconds = 0; // when the first bytes of output came
    double systemSeconds = 0;
    double peakMb = 0; // the process, or a child it waited for, whichever is larger
    QByteArray output;
    bool ok = false;
};

double seconds(const timeval& t)
{
    return double(t.tv_sec) + double(t.tv_usec) / 1e6;
}

// Runs `program` with `arguments`, XDG_CACHE_HOME set to `cacheHome`, and
// collects its standard output (or sends it to /dev/null).
Finished runProcess(const QString& program, const QStringList& arguments, const QString& cacheHome,
                    bool keepOutput)
{
    std::vector<QByteArray> args{QFile::encodeName(program)};
    for (const QString& a : arguments)
        args.push_back(a.toUtf8());
    std::vector<char*> argv;
    for (QByteArray& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    const QByteArray cacheVariable = "XDG_CACHE_HOME=" + QFile::encodeName(cacheHome);

    std::vector<QByteArray> environment{cacheVariable};
    for (char** e = environ; *e; ++e) {
        if (std::strncmp(*e, "XDG_CACHE_HOME=", 15) != 0)
            environment.emplace_back(*e);
    }
    std::vector<char*> envp;
    for (QByteArray& e : environment)
        envp.push_back(e.data());
    envp.push_back(nullptr);

    int pipeFds[2] = {-1, -1};
    if (keepOutput && ::pipe(pipeFds) != 0)
        return {};
    // Spawned, not forked: a forked child would count this program's memory
    // in its peak.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (keepOutput) {
        posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
        posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    } else {
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    }
    QElapsedTimer clock;
    clock.start();
    pid_t pid = 0;
    const int spawned = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        return {};
    Finished f;
    if (keepOutput) {
        ::close(pipeFds[1]);
        char buffer[4096];
        ssize_t n;
        while ((n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0) {
            if (f.output.isEmpty())
                f.firstOutputSeconds = double(clock.nsecsElapsed()) / 1e9;
            f.output.append(buffer, n);
        }
        ::close(pipeFds[0]);
    }
    int status = 0;
    rusage usage {};
    ::wait4(pid, &status, 0, &usage);
    f.seconds = double(clock.nsecsElapsed()) / 1e9;
    f.systemSeconds = seconds(usage.ru_stime);
    f.peakMb = double(usage.ru_maxrss) / 1024.0;
    f.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return f;
}

QString tcmFolder()
{
    return fixturesDir() + QStringLiteral("/tcm-sample");
}

QString selfPath()
{
    return QCoreApplication::applicationFilePath();
}

// Text bytes of every document (UTF-8, as the copy stores them).
double contentMb(const QString& cacheHome)
{
    const QFileInfoList copies =
        QDir(cacheHome + QStringLiteral("/orvanta")).entryInfoList({QStringLiteral("*.sqlite")}, QDir::Files);
    if (copies.isEmpty())
        return 0;
    SqlitePtr db = openReadOnly(copies.first().filePath());
    sqlite3_stmt* stmt = nullptr;
    double bytes = 0;
    if (sqlite3_prepare_v2(db.get(), "SELECT sum(length(CAST(content AS BLOB))) FROM maindata", -1, &stmt, nullptr)
            == SQLITE_OK
        && sqlite3_step(stmt) == SQLITE_ROW)
        bytes = sqlite3_column_double(stmt, 0);
    sqlite3_finalize(stmt);
    return bytes / (1024.0 * 1024.0);
}

struct CacheHome {
    QTemporaryDir dir{QDir::tempPath() + QStringLiteral("/orvanta-bench-XXXXXX")};
    void clear() { QDir(dir.path() + QStringLiteral("/orvanta")).removeRecursively(); }
};

double g_contentMb = 0;
double g_baselineMb = 0;

// The child's report: "ms self_peak_kb reader_peak_kb system_ms rows
// index_ms self_peak_with_index_kb".
void openInChild(benchmark::State& state, bool emptyCache)
{
    CacheHome cache;
    const QStringList args{QStringLiteral("--open-child"), tcmFolder()};
    if (!emptyCache)
        runProcess(selfPath(), args, cache.dir.path(), true);
    if (g_contentMb == 0) {
        runProcess(selfPath(), args, cache.dir.path(), true);
        g_contentMb = contentMb(cache.dir.path());
    }
    double selfMb = 0, readerMb = 0, systemMs = 0, rows = 0, indexMs = 0, withIndexMb = 0;
    for (auto _ : state) {
        if (emptyCache)
            cache.clear();
        const Finished f = runProcess(selfPath(), args, cache.dir.path(), true);
        const QList<QByteArray> fields = f.output.trimmed().split(' ');
        if (!f.ok || fields.size() != 7) {
            state.SkipWithError("the child failed");
            return;
        }
        state.SetIterationTime(fields[0].toDouble() / 1000.0);
        selfMb = std::max(selfMb, fields[1].toDouble() / 1024.0);
        readerMb = std::max(readerMb, fields[2].toDouble() / 1024.0);
        systemMs = fields[3].toDouble();
        rows = fields[4].toDouble();
        indexMs = fields[5].toDouble();
        withIndexMb = std::max(withIndexMb, fields[6].toDouble() / 1024.0);
    }
    state.counters["rows"] = rows;
    state.counters["program_peak_MB"] = selfMb;
    state.counters["over_start_MB"] = selfMb - g_baselineMb;
    state.counters["over_start_per_content"] = g_contentMb > 0 ? (selfMb - g_baselineMb) / g_contentMb : 0;
    // At most: a forked reader's peak includes what the program held then.
    state.counters["reader_peak_MB"] = readerMb;
    state.counters["system_ms"] = systemMs;
    state.counters["index_after_rows_ms"] = indexMs;
    state.counters["peak_with_index_MB"] = withIndexMb;
}

void wholeQueryProcess(benchmark::State& state, bool emptyCache)
{
    CacheHome cache;
    const QString program = programFolder() + QStringLiteral("/orvanta-query");
    const QStringList args{QStringLiteral("--dir"), tcmFolder(), QString()};
    if (!emptyCache)
        runProcess(program, args, cache.dir.path(), true);
    double peak = 0, systemMs = 0, wholeMs = 0;
    for (auto _ : state) {
        if (emptyCache)
            cache.clear();
        const Finished f = runProcess(program, args, cache.dir.path(), true);
        if (!f.ok || f.output.isEmpty()) {
            state.SkipWithError("orvanta-query failed");
            return;
        }
        // The time to the first rows; the program may go on to add the
        // content index to a new copy before it ends.
        state.SetIterationTime(f.firstOutputSeconds);
        peak = std::max(peak, f.peakMb);
        systemMs = f.systemSeconds * 1000;
        wholeMs = f.seconds * 1000;
    }
    state.counters["peak_MB"] = peak;
    state.counters["system_ms"] = systemMs;
    state.counters["until_exit_ms"] = wholeMs;
}

void mdbExport(benchmark::State& state)
{
    const QString program = QStandardPaths::findExecutable(QStringLiteral("mdb-export"));
    if (program.isEmpty()) {
        state.SkipWithError("mdb-export is not installed");
        return;
    }
    CacheHome cache;
    double peak = 0;
    for (auto _ : state) {
        const Finished f = runProcess(program, {tcmFolder() + QStringLiteral("/jst.mdb"), QStringLiteral("maindata")},
                                      cache.dir.path(), true);
        if (!f.ok) {
            state.SkipWithError("mdb-export failed");
            return;
        }
        // All of the table: mdb-export's first rows come long before its end.
        state.SetIterationTime(f.seconds);
        state.counters["first_output_ms"] = f.firstOutputSeconds * 1000;
        peak = std::max(peak, f.peakMb);
    }
    state.counters["peak_MB"] = peak;
}

void registerAll()
{
    if (!QFileInfo(tcmFolder() + QStringLiteral("/jst.mdb")).isFile()) {
        std::fprintf(stderr, "the fixture %s is missing\n", qPrintable(tcmFolder()));
        return;
    }
    {
        CacheHome cache;
        const Finished f = runProcess(selfPath(), {QStringLiteral("--baseline-child")}, cache.dir.path(), true);
        g_baselineMb = f.output.trimmed().toDouble() / 1024.0;
    }
    auto timed = [](benchmark::internal::Benchmark* b) {
        b->Unit(benchmark::kMillisecond)->UseManualTime()->MinTime(3);
    };
    timed(benchmark::RegisterBenchmark("open/tcm/empty_cache", openInChild, true));
    timed(benchmark::RegisterBenchmark("open/tcm/later_start", openInChild, false));
    timed(benchmark::RegisterBenchmark("process/tcm/orvanta-query_empty_cache", wholeQueryProcess, true));
    timed(benchmark::RegisterBenchmark("process/tcm/orvanta-query_later_start", wholeQueryProcess, false));
    timed(benchmark::RegisterBenchmark("process/tcm/mdb-export", mdbExport));
}

long peakKb(int who)
{
    rusage usage {};
    ::getrusage(who, &usage);
    return usage.ru_maxrss;
}

// The most memory this program has held since it started (VmHWM). Unlike
// getrusage's peak it leaves out what the process that spawned it held
// before the exec.
long highWaterKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    }
    return 0;
}

// The child: opens the collection in `folder` with the cache in
// $XDG_CACHE_HOME and lists every document.
int openChild(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QString folder = QString::fromLocal8Bit(argv[2]);
    QElapsedTimer clock;
    clock.start();
    const auto rows = executeSearch(modVelmora::connectionStringFor(folder), composeQuery(QString()).sql);
    const double ms = double(clock.nsecsElapsed()) / 1e6;
    rusage self {};
    ::getrusage(RUSAGE_SELF, &self);
    const long peakAtRows = highWaterKb();
    // The content index the worker adds to a new copy, until it is done.
    Database::waitForContentIndexes();
    const double indexMs = double(clock.nsecsElapsed()) / 1e6 - ms;
    std::printf("%.3f %ld %ld %.3f %lld %.3f %ld\n", ms, peakAtRows, peakKb(RUSAGE_CHILDREN),
                seconds(self.ru_stime) * 1000, rows ? (long long)rows->rowCount() : 0LL, indexMs,
                highWaterKb());
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::strcmp(argv[1], "--open-child") == 0)
        return openChild(argc, argv);
    if (argc == 2 && std::strcmp(argv[1], "--baseline-child") == 0) {
        QCoreApplication app(argc, argv);
        std::printf("%ld\n", highWaterKb());
        return 0;
    }
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    registerAll();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
