// The hash of a whole Jet file, which spares the conversion of a file whose
// times moved but whose content did not (a chmod, a copy put back from a
// backup), beside the conversion it spares. The hash runs on a file of about
// 113 MB (eight times tcm-sample's jst.mdb, end to end) read from the
// system's cache, and once more after the cache dropped it when that is
// allowed (root); the conversion reads tcm-sample's 14 MB into memory.
#include "BenchSupport.h"

#include "platform/collection/FileIdentity.h"

#include <QTemporaryDir>

#include <fcntl.h>
#include <unistd.h>

using namespace Orvanta;
using namespace Orvanta::Bench;

namespace {

QString tcmDatabase()
{
    return fixturesDir() + QStringLiteral("/tcm-sample/jst.mdb");
}

const QString& largeFile()
{
    static QTemporaryDir scratch(cacheFolder() + QStringLiteral("/scratch-XXXXXX"));
    static const QString path = [] {
        const QString file = scratch.filePath(QStringLiteral("large.mdb"));
        const QByteArray bytes = readAll(tcmDatabase());
        QFile out(file);
        if (!out.open(QIODevice::WriteOnly))
            throw std::runtime_error("cannot write the large file");
        for (int i = 0; i < 8; ++i)
            out.write(bytes);
        return file;
    }();
    return path;
}

void dropFromCache(const QString& path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY);
    if (fd >= 0) {
        ::fdatasync(fd);
        ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
        ::close(fd);
    }
}

void hashCached(benchmark::State& state)
{
    const QString& file = largeFile();
    contentHashOf(file);
    for (auto _ : state)
        benchmark::DoNotOptimize(contentHashOf(file));
    state.SetBytesProcessed(int64_t(state.iterations()) * QFileInfo(file).size());
}

void hashFromDisk(benchmark::State& state)
{
    const QString& file = largeFile();
    for (auto _ : state) {
        state.PauseTiming();
        dropFromCache(file);
        state.ResumeTiming();
        benchmark::DoNotOptimize(contentHashOf(file));
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * QFileInfo(file).size());
}

void convert(benchmark::State& state)
{
    const QString file = tcmDatabase();
    for (auto _ : state)
        benchmark::DoNotOptimize(loadJetIntoMemory(file));
    state.SetBytesProcessed(int64_t(state.iterations()) * QFileInfo(file).size());
}

} // namespace

BENCHMARK(hashCached)->Name("hash/113MB/cached")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(hashFromDisk)->Name("hash/113MB/from_disk")->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(convert)->Name("convert/tcm_14MB")->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

BENCHMARK_MAIN();
