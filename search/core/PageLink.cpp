#include "search/core/PageLink.h"

#include "platform/files/FolderBounds.h"

#include <QDir>
#include <QFileInfo>

namespace Orvanta {

PageLink resolvePageLink(const QUrl& target, const QString& shownFile, const QString& documentFile,
                         const QString& installFolder)
{
    const QString scheme = target.scheme().toLower();
    if (scheme == QLatin1String("http") || scheme == QLatin1String("https") || scheme == QLatin1String("mailto"))
        return {PageLink::Kind::OpenOutside, {}, target};
    if (scheme != QLatin1String("file"))
        return {};

    const QString clicked = QDir::cleanPath(target.toLocalFile());
    const QString shown = QDir::cleanPath(shownFile);
    if (clicked == shown)
        return {PageLink::Kind::Follow, {}, target};

    // The link as written in the document, then from the document's folder.
    const QString relative = QFileInfo(shown).dir().relativeFilePath(clicked);
    const QString document = documentFile.isEmpty() ? shown : QDir::cleanPath(documentFile);
    const QString resolved = QDir::cleanPath(QFileInfo(document).dir().filePath(relative));
    if (!FolderBounds::liesWithin(resolved, installFolder) || !QFileInfo(resolved).isFile())
        return {};
    if (resolved == document && target.hasFragment()) {
        // An anchor in the document itself: the marked copy on screen has it too.
        QUrl self = QUrl::fromLocalFile(shown);
        self.setFragment(target.fragment());
        return {PageLink::Kind::Follow, {}, self};
    }
    QUrl page = QUrl::fromLocalFile(resolved);
    page.setFragment(target.fragment());
    return {PageLink::Kind::OpenInView, resolved, page};
}

bool pageMayLoad(const QUrl& url, const QString& shownFile, const QString& installFolder)
{
    const QString scheme = url.scheme().toLower();
    if (scheme == QLatin1String("data") || scheme == QLatin1String("about"))
        return true;
    if (scheme != QLatin1String("file") || !url.host().isEmpty())
        return false; // the network, and files on other hosts
    const QString local = url.toLocalFile();
    if (FolderBounds::liesWithin(local, installFolder))
        return true;
    // The page on screen itself, written by the program: it is a plain file,
    // so a link put in its place is not taken for it.
    const QString shown = FolderBounds::resolved(local);
    return !shown.isEmpty() && !QFileInfo(shownFile).isSymLink() && shown == FolderBounds::resolved(shownFile);
}

} // namespace Orvanta
