// Showing a long document: a 600 KB page with ten query words marked, the
// code page 950 read and write of the temporary page included.
#include "BenchSupport.h"

#include "platform/files/Paths.h"
#include "platform/text/Cp950.h"
#include "search/core/Highlighter.h"

#include <QTemporaryDir>

using namespace Orvanta;
using namespace Orvanta::Bench;

namespace {

constexpr qsizetype kPageBytes = 600 * 1024;
const char kWords[] = "人參 甘草 黃耆 當歸 川芎 發熱 頭痛 惡寒 桂枝湯 Ginseng";

// One page of about 600 KB made of the bodies of the sample collection's
// pages: real sentences, with the query words as often as documents have them.
QByteArray longPage()
{
    const QString sample = sampleCollection(10000);
    QByteArray page = "<html>\r\n<head>\r\n<meta http-equiv=\"Content-Type\" content=\"text/html; charset=big5\">\r\n"
                      "<title>" + Cp950::encode(QStringLiteral("長篇")) + "</title>\r\n</head>\r\n<body>\r\n";
    const QByteArray tail = "</body>\r\n</html>\r\n";
    for (int i = 0; page.size() + tail.size() < kPageBytes && i < 10000; ++i) {
        QFile file(sample + QStringLiteral("/data/%1/s%2.htm").arg(i / 1000, 3, 10, QLatin1Char('0')).arg(i, 6, 10, QLatin1Char('0')));
        if (!file.open(QIODevice::ReadOnly))
            break;
        const QByteArray bytes = file.readAll();
        const qsizetype from = bytes.indexOf("<h1>");
        const qsizetype to = bytes.indexOf("</body>");
        if (from >= 0 && to > from)
            page += bytes.mid(from, std::min(to - from, kPageBytes - tail.size() - page.size()));
    }
    return page + tail;
}

struct Install {
    QTemporaryDir dir;
    QString folder;
    QString tmpPage;
    QByteArray page;
};

Install& install()
{
    // A static object, not a leaked one: its folder goes away at exit.
    static Install it;
    if (it.folder.isEmpty()) {
        it.folder = it.dir.path();
        it.page = longPage();
        QDir(it.folder).mkpath(QStringLiteral("data"));
        QFile file(it.folder + QStringLiteral("/data/long.htm"));
        file.open(QIODevice::WriteOnly);
        file.write(it.page);
        it.tmpPage = Paths::join(Paths::join(it.folder, QStringLiteral("tmp")), QStringLiteral("TmpVORTAN.htm"));
    }
    return it;
}

void writeMarked(benchmark::State& state)
{
    Install& in = install();
    const QString text = QString::fromUtf8(kWords);
    const QString highlight = highlightTextFor(QStringLiteral("mod3a"), text);
    for (auto _ : state)
        writeMarkedPage(in.folder, QStringLiteral("data\\long.htm"), highlight, in.tmpPage);
    const QByteArray written = Bench::readAll(Paths::toLocal(in.tmpPage));
    state.counters["page_kb"] = double(in.page.size()) / 1024.0;
    state.counters["marks"] = double(written.count("<font color=red>"));
    state.SetBytesProcessed(int64_t(state.iterations()) * in.page.size());
}

// The parts: decoding, marking and encoding without the file work.
void decodeOnly(benchmark::State& state)
{
    const QByteArray page = install().page;
    for (auto _ : state)
        benchmark::DoNotOptimize(Cp950::decode(page));
}

void markOnly(benchmark::State& state)
{
    const QString page = Cp950::decode(install().page);
    const QStringList words = QString::fromUtf8(kWords).split(QLatin1Char(' '));
    for (auto _ : state)
        benchmark::DoNotOptimize(markWords(page, words));
}

void encodeOnly(benchmark::State& state)
{
    const QString marked = markWords(Cp950::decode(install().page), QString::fromUtf8(kWords).split(QLatin1Char(' ')));
    for (auto _ : state)
        benchmark::DoNotOptimize(Cp950::encode(marked));
}

void registerAll()
{
    benchmark::RegisterBenchmark("highlight/600KB_10_words/writeMarkedPage", writeMarked)
        ->Unit(benchmark::kMillisecond)->UseRealTime();
    benchmark::RegisterBenchmark("highlight/600KB_10_words/decode", decodeOnly)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("highlight/600KB_10_words/markWords", markOnly)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("highlight/600KB_10_words/encode", encodeOnly)->Unit(benchmark::kMillisecond);
}

} // namespace

ORVANTA_BENCH_MAIN(registerAll)
