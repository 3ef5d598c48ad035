// Where a link in the shown page leads. The view shows a marked copy of a
// document from another folder, so a relative link is resolved as if it were
// in the document itself. Pages of the collection open in the view; the web
// opens in the desktop's browser, and only when the user followed the link
// (the view knows that, see DocumentView); nothing else is followed, so a
// page never takes the view away to a remote site.
//
// A page is content, never a program: what it may load at all, as a page, a
// frame, a picture or a style, is the shown page itself and the files of its
// collection, never another file of the user's, never the network
// (pageMayLoad). "Inside the collection" is asked of the file system, every
// "..", "\" and link resolved (FolderBounds.h).
#pragma once

#include <QString>
#include <QUrl>

namespace Orvanta {

struct PageLink {
    enum class Kind {
        Follow,      // within the shown page (an anchor): `url`
        OpenInView,  // a page of the collection: `localPath`, as `url` with the link's anchor
        OpenOutside, // http, https or mailto: `url`, for the desktop's browser
        Refuse,      // anything else
    };
    Kind kind = Kind::Refuse;
    QString localPath;
    QUrl url;
};

// `target` is the link as the view resolved it against `shownFile`, the local
// path of the page on screen; `documentFile` is the local path of the
// document that page was made from; links to files outside `installFolder`
// are refused.
PageLink resolvePageLink(const QUrl& target, const QString& shownFile, const QString& documentFile,
                         const QString& installFolder);

// Whether the page on screen may load `url` at all: a file inside
// `installFolder`, or `shownFile` itself (the page on screen, which may stand
// in a folder of the user's own) when it is a file and not a link; data: and
// about: URLs. Refused: every other file, and every other scheme (the
// network included). Both paths are local.
bool pageMayLoad(const QUrl& url, const QString& shownFile, const QString& installFolder);

} // namespace Orvanta
