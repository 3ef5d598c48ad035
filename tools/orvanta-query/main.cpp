// orvanta-query: one search of an installed collection from the command line,
// composed, run and highlighted by the same code as the search window.
#include "QueryOptions.h"
#include "RowListOutput.h"

#include "app/core/CollectionFolder.h"
#include "app/core/modVelmora.h"
#include "platform/Error.h"
#include "platform/collection/Database.h"
#include "platform/sql/Utf8Reading.h"
#include "platform/files/FileSystem.h"
#include "platform/files/Paths.h"
#include "search/core/Highlighter.h"
#include "search/core/QueryComposer.h"
#include "search/core/SearchExecution.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QStringDecoder>
#include <QTemporaryDir>

#include <cstdio>
#include <new>

#ifndef ORVANTA_VERSION
#define ORVANTA_VERSION "0"
#endif

using namespace Orvanta;
using Orvanta::QueryTool::writeRowList;

namespace {

constexpr int kExitFound = 0;
constexpr int kExitNothingFound = 1;
constexpr int kExitError = 2;
constexpr int kExitUsage = 64;

void writeTo(FILE* stream, const QByteArray& bytes)
{
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
}

void writeLine(FILE* stream, const QString& line)
{
    writeTo(stream, line.toUtf8() + '\n');
}

// The install folder as the program would report its own: absolute.
QString installFolderFrom(const QString& dir)
{
    if (dir.isEmpty())
        return QDir::currentPath();
    if (QDir::isAbsolutePath(dir))
        return dir;
    return QDir::current().absoluteFilePath(dir);
}

// The temporary page that showing `row` writes, built in a private folder so
// that a running program's own temporary page is never touched.
QByteArray pageBytes(const QString& installFolder, const ResultTable& rows, qint64 row,
                     const QString& mode, const QString& queryBoxText, LikeComparison comparison)
{
    QTemporaryDir scratch;
    if (!scratch.isValid())
        return {};
    // Row 0 is the header row: its path cell holds the column caption.
    const QString documentPath = row == 0 ? QStringLiteral("位置") : rows.cellText(row - 1, 1);
    const QString tmpFolder = Paths::join(scratch.path(), QStringLiteral("tmp"));
    const QString tmpPage = Paths::join(tmpFolder, QStringLiteral("TmpVORTAN.htm"));
    // A path that leads out of the collection reads as a missing page, as in
    // the window.
    writeMarkedPageFiles(tmpFolder, documentPageWithin(installFolder, documentPath),
                         highlightTextFor(mode, queryBoxText), tmpPage, nullptr, comparison);
    try {
        return FileSystem::readBytes(tmpPage);
    } catch (const Error&) {
        return {};
    }
}

// A folder that cannot be a collection, for the same causes the window names
// (CollectionFolder.h), in this program's own words. Looked at first, so that
// a folder the user cannot read is not reported as a missing database.
void checkFolder(const QString& folder)
{
    using CollectionFolder::Problem;
    const QString shown = QDir::toNativeSeparators(folder);
    switch (CollectionFolder::check(folder)) {
    case Problem::None:
        return;
    case Problem::Missing:
        throw Error(ErrorCode::PathNotFound, QStringLiteral("There is no folder '%1'.").arg(shown));
    case Problem::NotAFolder:
        throw Error(ErrorCode::PathNotFound, QStringLiteral("'%1' is not a folder.").arg(shown));
    case Problem::Unreadable:
        throw Error(ErrorCode::PermissionDenied,
                    QStringLiteral("Cannot read the folder '%1' (permission denied).").arg(shown));
    case Problem::NoDatabase:
        throw Error(ErrorCode::DatabaseFileNotFound,
                    QStringLiteral("The folder '%1' holds no jst.mdb: it is not a collection.").arg(shown));
    }
}

int run(const QueryTool::Options& options)
{
    const QString installFolder = installFolderFrom(options.dir);
    checkFolder(installFolder);
    const QString connectionString = modVelmora::connectionStringFor(installFolder);

    Database::setContentIndexUse(!options.scan);
    // This program waits for the content index of a Jet file it converts
    // before it ends, and has nothing else to do meanwhile: lowered, the
    // build would wait for every other program on a busy machine.
    Database::setIndexBuildPriority(Database::IndexBuildPriority::Own);
    ComposedQuery query = composeQuery(options.query);
    const LikeComparison comparison = options.variants ? LikeComparison::Variants : LikeComparison::Exact;
    if (options.showSql)
        writeLine(stdout, query.mode + QLatin1Char('\t') + query.sql);

    // One search whose list is all that is wanted: its rows are written as
    // the content index reads them, never held as a whole. (A collection
    // without an index, and the searches it does not serve, go on below.)
    if (options.repeat == 1 && !options.pageRow && !options.timed) {
        QString damageWarning;
        QueryTool::RowListWriter writer(stdout);
        const qint64 written = visitSearch(connectionString, query.sql, &damageWarning, writer, comparison);
        if (!damageWarning.isEmpty())
            writeLine(stderr, QStringLiteral("orvanta-query: warning: ") + damageWarning);
        if (written == 0) {
            writeLine(stderr, emptyResultMessage(query.escaped));
            return kExitNothingFound;
        }
        if (written > 0)
            return kExitFound;
    }

    std::shared_ptr<const ResultTable> rows;
    for (qint64 n = 0; n < options.repeat; ++n) {
        // Every run a real search: the database would otherwise hand back
        // the rows it kept from the run before.
        Database::forgetKeptResults();
        QElapsedTimer timer;
        timer.start();
        query = composeQuery(options.query);
        QString damageWarning;
        rows = executeSearch(connectionString, query.sql, &damageWarning, comparison);
        const double ms = double(timer.nsecsElapsed()) / 1e6;
        // A damaged collection opened with what could be read; the exit code
        // still says only whether anything was found.
        if (!damageWarning.isEmpty())
            writeLine(stderr, QStringLiteral("orvanta-query: warning: ") + damageWarning);
        if (options.timed) {
            writeLine(stderr, QStringLiteral("search_ms=%1 rows=%2")
                                  .arg(QString::number(ms, 'f', 3))
                                  .arg(rows ? rows->rowCount() : 0));
        }
    }

    if (!rows) {
        writeLine(stderr, emptyResultMessage(query.escaped));
        return kExitNothingFound;
    }

    if (options.pageRow) {
        const qint64 row = *options.pageRow;
        if (row > rows->rowCount()) {
            writeLine(stderr, QStringLiteral("orvanta-query: row %1 is outside the list (0 to %2)")
                                  .arg(row).arg(rows->rowCount()));
            return kExitUsage;
        }
        // The query box holds the trimmed text once the search has run.
        writeTo(stdout, pageBytes(installFolder, *rows, row, query.mode, query.trimmed, comparison));
        return kExitFound;
    }

    writeRowList(stdout, *rows);
    return kExitFound;
}

// The arguments as typed. Qt's own decoding drops a leading U+FEFF, which in
// a query is a character like any other. Each argument is decoded whole: a
// decoder that keeps state would hold back a cut-off last character as the
// start of more input and drop it, so that "--page 1\xE4" read as row 1.
QStringList argumentsOf(int argc, char** argv)
{
    QStringList out;
    for (int i = 1; i < argc; ++i) {
        QStringDecoder decode(QStringDecoder::System,
                              QStringDecoder::Flag::ConvertInitialBom | QStringDecoder::Flag::Stateless);
        out << decode(QByteArrayView(argv[i]));
    }
    return out;
}

// The offset of the first byte of `bytes` that starts no character, read as
// the search reads text; -1 when every byte belongs to one. Decoding for Qt
// would turn such a byte into U+FFFD, or a cut-off last character into
// nothing at all, and the search would quietly be another one.
qsizetype firstInvalidByte(QByteArrayView bytes)
{
    const auto* begin = reinterpret_cast<const unsigned char*>(bytes.data());
    const auto* end = begin + bytes.size();
    for (const unsigned char* p = begin; p < end;) {
        const Utf8Reading::Decoded d = Utf8Reading::decode(p, end);
        if (d.cp >= Utf8Reading::InvalidBase)
            return p - begin;
        p += d.len;
    }
    return -1;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);

    const QueryTool::ParseResult parsed = QueryTool::parseArguments(argumentsOf(argc, argv));
    if (!parsed.error.isEmpty()) {
        writeLine(stderr, QStringLiteral("orvanta-query: ") + parsed.error);
        writeLine(stderr, QStringLiteral("Try 'orvanta-query --help'."));
        return kExitUsage;
    }
    if (parsed.options.help) {
        writeTo(stdout, QueryTool::usageText().toUtf8());
        return kExitFound;
    }
    if (parsed.options.version) {
        writeLine(stdout, QStringLiteral("orvanta-query " ORVANTA_VERSION));
        return kExitFound;
    }
    if (const qsizetype at = firstInvalidByte(QByteArrayView(argv[parsed.options.queryArgument + 1])); at >= 0) {
        writeLine(stderr, QStringLiteral("orvanta-query: the query is not valid UTF-8 at byte %1").arg(at));
        writeLine(stderr, QStringLiteral("Try 'orvanta-query --help'."));
        return kExitUsage;
    }

    int status = kExitError;
    try {
        status = run(parsed.options);
    } catch (const Error& e) {
        writeLine(stderr, QStringLiteral("error %1: %2").arg(e.number()).arg(e.text()));
    } catch (const std::bad_alloc&) {
        writeLine(stderr, QStringLiteral("error %1: Out of memory").arg(ErrorCode::OutOfMemory));
    } catch (const std::exception& e) {
        writeLine(stderr, QStringLiteral("error %1: %2")
                              .arg(ErrorCode::InvalidProcedureCall).arg(QString::fromLocal8Bit(e.what())));
    }
    std::fflush(stdout);
    std::fflush(stderr);
    // The rows are out. A Jet file's converted copy made by this run may still
    // be getting its content index: the next run reads it then.
    Database::waitForContentIndexes();
    return status;
}
