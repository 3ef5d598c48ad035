// orvanta-build: makes a collection for the search program.
//
//   orvanta-build [--force] [--no-content-index] DIR   index the HTML pages below DIR into DIR/jst.mdb
//   orvanta-build [--force] [--no-content-index] --sample N DIR   write a synthetic collection
//
// Exit status: 0 done, 1 failed, 2 wrong usage.
#include "platform/Error.h"
#include "tools/orvanta-build/Indexer.h"
#include "tools/orvanta-build/SampleCollection.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QStringList>

#include <cstdio>

#ifndef ORVANTA_VERSION
#define ORVANTA_VERSION "0"
#endif

namespace {

void print(std::FILE* stream, const QString& text)
{
    std::fputs(text.toLocal8Bit().constData(), stream);
    std::fputc('\n', stream);
}

// --help: the whole usage, on standard output.
int usage()
{
    print(stdout, QStringLiteral(
        "usage: orvanta-build [--force] [--no-content-index] DIR\n"
        "         index the .htm/.html pages below DIR into DIR/jst.mdb\n"
        "       orvanta-build [--force] [--no-content-index] --sample N DIR\n"
        "         write a synthetic collection of N documents (at most %1) into DIR\n"
        "  --force  replace a jst.mdb that this tool did not make (a Jet file, say);\n"
        "           with --sample, also replace a collection or help page already in DIR\n"
        "  --no-content-index\n"
        "           leave the content index out of jst.mdb: a smaller file, written\n"
        "           sooner, whose every search reads every document\n"
        "  --version  print the version and end\n"
        "  --help     print this text and end")
        .arg(Orvanta::Build::kMaxSampleDocuments));
    return 0;
}

// Wrong usage: what is wrong, in one line, and where to read more; the whole
// usage would bury the one line that matters.
int badUsage(const QString& problem)
{
    print(stderr, QStringLiteral("orvanta-build: ") + problem);
    print(stderr, QStringLiteral("Try 'orvanta-build --help'."));
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments();
    args.removeFirst();

    bool force = false;
    bool contentIndex = true;
    bool sample = false;
    qint64 count = 0;
    QString folder;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("--help") || a == QLatin1String("-h"))
            return usage();
        if (a == QLatin1String("--version")) {
            print(stdout, QStringLiteral("orvanta-build " ORVANTA_VERSION));
            return 0;
        }
        if (a == QLatin1String("--force")) {
            force = true;
        } else if (a == QLatin1String("--no-content-index")) {
            contentIndex = false;
        } else if (a == QLatin1String("--sample")) {
            if (++i >= args.size())
                return badUsage(QStringLiteral("--sample needs a number"));
            bool ok = false;
            count = args[i].toLongLong(&ok);
            if (!ok || count < 0 || count > Orvanta::Build::kMaxSampleDocuments)
                return badUsage(QStringLiteral("bad sample size: %1").arg(args[i]));
            sample = true;
        } else if (a.startsWith(QLatin1String("--"))) {
            return badUsage(QStringLiteral("unknown option %1").arg(a));
        } else if (folder.isEmpty()) {
            folder = a;
        } else {
            return badUsage(QStringLiteral("one folder only"));
        }
    }
    if (folder.isEmpty())
        return badUsage(QStringLiteral("no folder given"));

    QElapsedTimer clock;
    clock.start();
    try {
        if (sample) {
            const auto summary = Orvanta::Build::writeSampleCollection(folder, count, force, contentIndex);
            print(stdout, QStringLiteral("%1 documents (%2 MB of pages) written to %3 in %4 s")
                              .arg(summary.documents)
                              .arg(double(summary.pageBytes) / 1e6, 0, 'f', 1)
                              .arg(folder)
                              .arg(double(clock.elapsed()) / 1000.0, 0, 'f', 1));
        } else {
            const auto summary = Orvanta::Build::indexFolder(folder, force, contentIndex);
            for (const QString& skipped : summary.skipped)
                print(stderr, QStringLiteral("orvanta-build: skipped %1").arg(skipped));
            print(stdout, QStringLiteral("%1 documents indexed into %2/jst.mdb in %3 s")
                              .arg(summary.documents)
                              .arg(folder)
                              .arg(double(clock.elapsed()) / 1000.0, 0, 'f', 1));
        }
    } catch (const Orvanta::Error& e) {
        print(stderr, QStringLiteral("orvanta-build: ") + e.text());
        return 1;
    } catch (const std::exception& e) {
        print(stderr, QStringLiteral("orvanta-build: ") + QString::fromLocal8Bit(e.what()));
        return 1;
    }
    return 0;
}
