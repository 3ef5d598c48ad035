#include "platform/ui/DocumentView.h"

#include "platform/files/Paths.h"
#include "platform/ui/Fonts.h"

#include <QUrl>
#include <QUrlQuery>
#include <QWebEngineSettings>

namespace Orvanta {

DocumentView::DocumentView(QWidget* parent) : QWebEngineView(parent)
{
    QWebEngineSettings* s = settings();
    // The collection's pages are Big5; most declare it, some do not.
    s->setDefaultTextEncoding(QStringLiteral("Big5"));
    // Pages name no font or one this platform lacks (新細明體); both fall back
    // to the Ming face with full coverage, as the widgets do. A character it
    // lacks (Extensions B to F) goes to the system's fallback, where the
    // HanaMin faces hold it.
    const QString ming = mingFamilies().constFirst();
    for (auto family : {QWebEngineSettings::StandardFont, QWebEngineSettings::SerifFont,
                        QWebEngineSettings::SansSerifFont, QWebEngineSettings::CursiveFont,
                        QWebEngineSettings::FantasyFont})
        s->setFontFamily(family, ming);
    s->setFontFamily(QWebEngineSettings::FixedFont, QStringLiteral("Noto Sans Mono CJK TC"));
    // A missing file is an empty page, not the browser's error page.
    s->setAttribute(QWebEngineSettings::ErrorPageEnabled, false);
    s->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, true);
    s->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);
    s->setAttribute(QWebEngineSettings::PluginsEnabled, false);
    setContextMenuPolicy(Qt::NoContextMenu);
}

void DocumentView::navigate(const QString& systemPath)
{
    m_path = systemPath;
    QUrl url = QUrl::fromLocalFile(Paths::toLocal(systemPath));
    // The path stays the same from row to row while the file changes. A query
    // that differs at every navigation makes each one a new document load that
    // reads the file from disk (a file URL ignores its query); a fragment would
    // not do, it only scrolls the page already shown.
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("v"), QString::number(++m_navigation));
    url.setQuery(query);
    load(url);
}

} // namespace Orvanta
