#include "search/core/PageLink.h"

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
    const QString root = QDir::cleanPath(installFolder) + QLatin1Char('/');
    if (!resolved.startsWith(root) || !QFileInfo(resolved).isFile())
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

} // namespace Orvanta
