#include "tools/orvanta-build/Indexer.h"

#include "platform/Error.h"
#include "tools/orvanta-build/CollectionWriter.h"
#include "tools/orvanta-build/HtmlText.h"
#include "tools/orvanta-build/Progress.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace Orvanta::Build {
namespace {

bool isPageName(const QString& name)
{
    return name.endsWith(QLatin1String(".htm"), Qt::CaseInsensitive)
        || name.endsWith(QLatin1String(".html"), Qt::CaseInsensitive);
}

// Entries of the install folder that are not documents: the viewer's scratch
// folder, the help page and the demonstration page's folder. The viewer finds
// names letter-case-insensitively, so the test here does too.
bool isReservedTopLevel(const QString& relative)
{
    const qsizetype slash = relative.indexOf(QLatin1Char('/'));
    if (slash < 0)
        return relative.compare(QLatin1String("Help.htm"), Qt::CaseInsensitive) == 0;
    const QStringView first = QStringView(relative).first(slash);
    return first.compare(QLatin1String("tmp"), Qt::CaseInsensitive) == 0
        || first.compare(QLatin1String("demo"), Qt::CaseInsensitive) == 0;
}

std::string_view view(const QByteArray& bytes)
{
    return {bytes.constData(), size_t(bytes.size())};
}

QString systemPath(QString relative)
{
    return relative.replace(QLatin1Char('/'), QLatin1Char('\\'));
}

} // namespace

QStringList collectionPages(const QString& folder)
{
    const QDir root(QDir(folder).absolutePath());
    QStringList pages;
    QDirIterator it(root.path(), QDir::Files | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (!isPageName(it.fileName()))
            continue;
        const QString relative = root.relativeFilePath(path);
        if (!isReservedTopLevel(relative))
            pages += relative;
    }
    // Rows in the order of their htm values, whatever order the disk lists.
    std::sort(pages.begin(), pages.end(), [](const QString& a, const QString& b) {
        return systemPath(a) < systemPath(b);
    });
    return pages;
}

IndexedRow indexPage(const QString& folder, const QString& relative)
{
    const QString path = QDir(folder).filePath(relative);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw Error(ErrorCode::PathFileAccessError, QStringLiteral("%1: %2").arg(path, file.errorString()));
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw Error(ErrorCode::PathFileAccessError, QStringLiteral("%1: %2").arg(path, file.errorString()));

    const PageText page = extractText(decodePage(bytes));
    IndexedRow row;
    row.subject = !page.title.isEmpty() ? page.title
                : !page.heading.isEmpty() ? page.heading
                : QFileInfo(relative).fileName();
    row.htm = systemPath(relative);
    row.content = page.text;
    row.date = QFileInfo(path).lastModified().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    return row;
}

IndexSummary indexFolder(const QString& folder, bool force, bool contentIndex)
{
    if (!QFileInfo(folder).isDir())
        throw Error(ErrorCode::PathNotFound, QStringLiteral("%1 is not a folder.").arg(folder));
    // The refusal comes before the long walk over the pages.
    CollectionWriter writer(folder, force, contentIndex);
    const QStringList pages = collectionPages(folder);

    IndexSummary summary;
    Progress progress(QStringLiteral("Indexing"), pages.size());
    qint64 done = 0;
    for (const QString& relative : pages) {
        progress.update(done++);
        IndexedRow row;
        try {
            row = indexPage(folder, relative);
        } catch (const Error& e) {
            summary.skipped += e.text();
            continue;
        }
        const QByteArray subject = row.subject.toUtf8();
        const QByteArray htm = row.htm.toUtf8();
        const QByteArray content = row.content.toUtf8();
        const QByteArray date = row.date.toUtf8();
        writer.addRow(view(subject), view(htm), view(content), view(date));
        ++summary.documents;
    }
    writer.commit();
    progress.finish(done);
    return summary;
}

} // namespace Orvanta::Build
