// Where a link in the shown page leads. The view shows a marked copy of a
// document from another folder, so a relative link is resolved as if it were
// in the document itself. Pages of the collection open in the view; the web
// opens in the desktop's browser; nothing else is followed, so a page never
// takes the view away to a remote site.
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

} // namespace Orvanta
