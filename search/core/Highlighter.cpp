#include "search/core/Highlighter.h"

#include "platform/files/FileSystem.h"
#include "platform/files/FolderBounds.h"
#include "platform/files/Paths.h"
#include "platform/text/PageCharset.h"
#include "search/core/MarkedPage.h"
#include "search/core/QueryComposer.h"

#include <QFileInfo>

#include <optional>

namespace Orvanta {
namespace {

// The read and marking steps: the words of `highlightText` marked in the page
// at `documentFile`, in the encoding the page declares. A step that fails
// leaves what it would have produced as it was.
QByteArray markedPageBytes(const QString& documentFile, const QString& highlightText,
                           LikeComparison comparison) noexcept
{
    QStringList words;
    try {
        words = splitWords(highlightText);
    } catch (...) {
    }

    QString page;
    PageCharset charset;
    try {
        if (!documentFile.isEmpty()) {
            const QByteArray bytes = FileSystem::readBytes(documentFile);
            charset = detectPageCharset(bytes);
            page = decodePage(bytes, charset);
        }
    } catch (...) {
    }

    // Word by word on the text so far: a failure keeps the words marked before it.
    std::optional<MarkedPage> marked;
    try {
        marked.emplace(page, comparison);
        for (const QString& word : std::as_const(words))
            marked->mark(word);
    } catch (...) {
    }
    if (marked)
        page = std::move(marked->text);

    try {
        return encodePage(page, charset);
    } catch (...) {
        return {};
    }
}

// Whether install\tmp is a folder of the collection's own: not a link, and
// inside the install folder however its names resolve.
bool tmpFolderIsTheCollections(const QString& installFolder, const QString& tmpFolder)
{
    const QString local = Paths::toLocal(tmpFolder);
    return FolderBounds::isPlainFolder(local) && FolderBounds::liesWithin(local, Paths::toLocal(installFolder));
}

} // namespace

QString documentPageWithin(const QString& installFolder, const QString& documentPath)
{
    const QString page = Paths::join(installFolder, documentPath);
    const QString local = Paths::toLocal(page);
    if (!FolderBounds::liesWithin(local, Paths::toLocal(installFolder)))
        return {};
    // Only a plain file is read: a pipe or a device would never end.
    if (!QFileInfo(FolderBounds::resolved(local)).isFile())
        return {};
    return page;
}

QString highlightTextFor(const QString& mode, const QString& queryBoxText)
{
    const QString trimmed = trimSpaces(queryBoxText);
    if (mode == QLatin1String("mod3") || mode == QLatin1String("mod4"))
        return trimmed.mid(1, 100); // the mode character goes, whatever it is
    return trimmed;
}

bool writeMarkedPage(const QString& installFolder, const QString& documentPath,
                     const QString& highlightText, const QString& tmpPage, QByteArray* pageBytes,
                     LikeComparison comparison) noexcept
{
    const QString tmpFolder = Paths::join(installFolder, QStringLiteral("tmp"));
    QString documentFile;
    try {
        documentFile = documentPageWithin(installFolder, documentPath);
    } catch (...) {
    }
    try {
        if (!FileSystem::folderExists(tmpFolder))
            FileSystem::createFolder(tmpFolder);
    } catch (...) {
    }
    bool ours = false;
    try {
        ours = tmpFolderIsTheCollections(installFolder, tmpFolder);
    } catch (...) {
    }
    if (ours)
        return writeMarkedPageFiles(tmpFolder, documentFile, highlightText, tmpPage, pageBytes, comparison);
    // A tmp that leads elsewhere is left alone: the caller puts the page in a
    // folder of the user's own.
    if (pageBytes)
        *pageBytes = markedPageBytes(documentFile, highlightText, comparison);
    return false;
}

// Each step stands on its own: when one fails, what it would have produced
// stays as it was and the next step runs. The user sees at worst a blank or
// stale page, never an error.
bool writeMarkedPageFiles(const QString& tmpFolder, const QString& documentFile,
                          const QString& highlightText, const QString& tmpPage, QByteArray* pageBytes,
                          LikeComparison comparison) noexcept
{
    try {
        if (!FileSystem::folderExists(tmpFolder))
            FileSystem::createFolder(tmpFolder);
    } catch (...) {
    }

    // The page is read, marked and written back in the encoding it declares.
    const QByteArray bytes = markedPageBytes(documentFile, highlightText, comparison);
    if (pageBytes)
        *pageBytes = bytes;

    // Whatever stands at the name goes, a link included, dangling or not:
    // what it points at is never touched.
    try {
        FileSystem::removeEntry(tmpPage);
    } catch (...) {
    }

    // Created empty first, where nothing stands, then written while it is
    // still a plain file: an old page that cannot be replaced is left exactly
    // as it was, and a link put in its place meanwhile is not followed.
    try {
        FileSystem::createNewFile(tmpPage);
    } catch (...) {
    }

    try {
        FileSystem::overwriteFile(tmpPage, bytes);
        return true;
    } catch (...) {
        return false;
    }
}

} // namespace Orvanta
