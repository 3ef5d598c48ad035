// About 490 lines, one concept: the view that shows a page, with the two
// small guards it installs on its own web page (no scripts of the page, no
// loads from beyond the page and its collection) and its helpers for the
// marks, the find bar, zoom, copy, print and the links followed, all of them
// acting on the one page it shows. The guards are private to the view and live here with it.
#include "platform/ui/DocumentView.h"

#include "platform/files/Paths.h"
#include "platform/ui/FindBar.h"
#include "platform/ui/Fonts.h"
#include "platform/ui/MessageBox.h"
#include "platform/ui/Printer.h"
#include "search/core/PageLink.h"

#include <QClipboard>
#include <QChildEvent>
#include <QContextMenuEvent>
#include <QDir>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPrinter>
#include <QPrinterInfo>
#include <QProcess>
#include <QUrl>
#include <QUrlQuery>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestInterceptor>
#include <QWebEngineUrlRequestInfo>

#include <algorithm>
#include <array>

namespace Orvanta {
namespace {

// The page with its links kept in check (see PageLink.h). In the main frame
// only the view's own loads and links the user follows go anywhere: a link
// clicked is handed to the view, which decides where it leads; a redirect, a
// meta refresh, a form or anything else a page starts by itself is refused.
// Frames may show local files, within what the request guard lets through.
class GuardedPage : public QWebEnginePage {
public:
    GuardedPage(DocumentView* view, std::function<bool(const QUrl&)> linkClicked)
        : QWebEnginePage(view), m_linkClicked(std::move(linkClicked))
    {
    }

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override
    {
        if (type == NavigationTypeLinkClicked && isMainFrame)
            return m_linkClicked(url);
        if (isMainFrame && type != NavigationTypeTyped && type != NavigationTypeReload
            && type != NavigationTypeBackForward)
            return false;
        const QString scheme = url.scheme().toLower();
        return scheme == QLatin1String("file") || scheme == QLatin1String("about") || scheme == QLatin1String("data");
    }

private:
    std::function<bool(const QUrl&)> m_linkClicked;
};

// Every request of the shown page, the page itself, its frames, pictures and
// styles alike, passes here: only the page on screen and the collection's
// own files load (pageMayLoad), so a page can neither read another file of
// the user's nor reach the network.
class RequestGuard : public QWebEngineUrlRequestInterceptor {
public:
    explicit RequestGuard(std::function<bool(const QUrl&)> mayLoad, QObject* parent)
        : QWebEngineUrlRequestInterceptor(parent), m_mayLoad(std::move(mayLoad))
    {
    }

    void interceptRequest(QWebEngineUrlRequestInfo& info) override
    {
        if (!m_mayLoad(info.requestUrl()))
            info.block(true);
    }

private:
    std::function<bool(const QUrl&)> m_mayLoad;
};

// The marks are the outermost red font elements: a word inside an earlier
// word's mark is one hit, not two. The outlined one is kept by its number in
// the page itself, so a new page starts again at none.
QString markScript(int step)
{
    return QStringLiteral(R"((function (step) {
  var marks = Array.prototype.filter.call(document.querySelectorAll('font[color="red" i]'), function (e) {
    return !(e.parentElement && e.parentElement.closest('font[color="red" i]'));
  });
  var at = window.currentMark || 0;
  if (step !== 0 && marks.length > 0) {
    if (at > 0 && at <= marks.length)
      marks[at - 1].style.outline = '';
    at = step > 0 ? (at >= marks.length ? 1 : at + 1) : (at <= 1 ? marks.length : at - 1);
    var mark = marks[at - 1];
    mark.style.outline = '2px solid #1f5fbf';
    mark.style.outlineOffset = '1px';
    mark.scrollIntoView({block: 'center', inline: 'nearest'});
    window.currentMark = at;
  }
  return [at, marks.length];
})(%1))")
        .arg(step);
}

// The zoom steps of common browsers.
constexpr std::array<double, 15> kZoomSteps = {0.25, 0.33, 0.5, 0.67, 0.75, 0.8, 0.9, 1.0,
                                               1.1,  1.25, 1.5, 1.75, 2.0, 2.5, 3.0};

} // namespace

DocumentView::DocumentView(QWidget* parent) : QWebEngineView(parent)
{
    setPage(new GuardedPage(this, [this](const QUrl& url) {
        const PageLink link = resolvePageLink(url, Paths::toLocal(m_place), Paths::toLocal(m_sourceDocument),
                                              Paths::toLocal(Paths::installFolder()));
        // A new load is started once the engine is done deciding on this one.
        const auto loadLater = [this](const QUrl& target, const QString& localPath) {
            QMetaObject::invokeMethod(
                this,
                [this, target, localPath] {
                    if (localPath.isEmpty())
                        load(target);
                    else
                        openLink(target, localPath);
                },
                Qt::QueuedConnection);
        };
        switch (link.kind) {
        case PageLink::Kind::Follow: {
            const QUrl target = onScreen(link.url);
            m_history.leave(currentPlace());
            if (url == target)
                return true;
            loadLater(target, QString());
            return false;
        }
        case PageLink::Kind::OpenInView:
            m_history.leave(currentPlace());
            loadLater(link.url, link.localPath);
            return false;
        case PageLink::Kind::OpenOutside:
            // Only for the user's own click or key: a page can start a
            // navigation that looks like a followed link all by itself.
            if (takeUserAct())
                QProcess::startDetached(QStringLiteral("xdg-open"), {link.url.toString(QUrl::FullyEncoded)});
            return false;
        case PageLink::Kind::Refuse:
            break;
        }
        return false;
    }));
    page()->setUrlRequestInterceptor(new RequestGuard(
        [this](const QUrl& url) {
            return pageMayLoad(url, Paths::toLocal(m_path), Paths::toLocal(Paths::installFolder()));
        },
        this));
    QWebEngineSettings* s = settings();
    // A page is content, never a program: its scripts do not run. The view's
    // own scripts (mark stepping and counting) run in a world of their own,
    // which this does not touch.
    s->setAttribute(QWebEngineSettings::JavascriptEnabled, false);
    s->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
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
    // The engine loads no picture beside a local page without this; what
    // loads at all is bounded by the request guard, and no page script runs
    // to read what did.
    s->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, true);
    s->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);
    s->setAttribute(QWebEngineSettings::PluginsEnabled, false);
    // Copy, Select all and a search for the selection: no back, forward,
    // reload or view source.
    setContextMenuPolicy(Qt::DefaultContextMenu);

    m_counter = new QLabel(this);
    m_counter->setObjectName(QStringLiteral("MarkCounter"));
    m_counter->setStyleSheet(QStringLiteral(
        "QLabel { background: rgba(255, 255, 224, 235); color: #202020; border: 1px solid #8a8a8a;"
        " border-radius: 3px; padding: 1px 6px; font: 11pt 'Arial'; }"));
    m_counter->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_counter->hide();
    m_findBar = new FindBar(page(), this);

    connect(this, &QWebEngineView::loadStarted, this, [this] { setMarks(0, 0); });
    connect(this, &QWebEngineView::loadFinished, this, [this](bool) {
        setZoomFactor(m_zoom);
        countMarks();
        // An open find bar finds its text again in the new page: its count
        // and highlights are the page's on screen, never the last one's.
        m_findBar->refresh();
    });
    connect(this, &QWebEngineView::printFinished, this, [this](bool ok) {
        // The printer is released once the view is done with it.
        QMetaObject::invokeMethod(this, [this] { m_printer.reset(); }, Qt::QueuedConnection);
        Q_EMIT printDone(ok);
    });
}

DocumentView::~DocumentView() = default;

bool DocumentView::event(QEvent* event)
{
    // The engine draws and takes input in a child widget of its own, made
    // when it is needed: the user's clicks and keys are seen there.
    if (event->type() == QEvent::ChildAdded || event->type() == QEvent::ChildPolished) {
        QObject* child = static_cast<QChildEvent*>(event)->child();
        if (child && child->isWidgetType())
            child->installEventFilter(this);
    }
    return QWebEngineView::event(event);
}

bool DocumentView::eventFilter(QObject* watched, QEvent* event)
{
    // The page's own widget only: a key in the find bar is no act in the page.
    if (watched != focusProxy())
        return QWebEngineView::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::MouseButtonRelease: {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton || mouse->button() == Qt::MiddleButton)
            m_userAct.start();
        break;
    }
    case QEvent::KeyPress: {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space)
            m_userAct.start();
        break;
    }
    default:
        break;
    }
    return QWebEngineView::eventFilter(watched, event);
}

bool DocumentView::takeUserAct()
{
    // The engine asks about the link a moment after the click or key that
    // followed it; an act counts once.
    const bool recent = m_userAct.isValid() && m_userAct.elapsed() <= kUserActMs;
    m_userAct.invalidate();
    return recent;
}

void DocumentView::navigate(const QString& systemPath, const QString& placePath)
{
    m_history.clear();
    m_path = systemPath;
    m_place = placePath.isEmpty() ? systemPath : placePath;
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

void DocumentView::openLink(const QUrl& url, const QString& localPath)
{
    // The linked page is shown as it is, and its own links lead on from it.
    m_path = localPath; // a local path names itself as a system path
    m_place = m_path;
    m_sourceDocument = m_path;
    load(url);
}

ViewPlace DocumentView::currentPlace() const
{
    return {url(), m_path, m_place, m_sourceDocument};
}

void DocumentView::goTo(const ViewPlace& place)
{
    // What the page may load and where its links lead are the place's, set
    // before the engine asks.
    m_path = place.path;
    m_place = place.place;
    m_sourceDocument = place.document;
    load(place.url);
}

bool DocumentView::goBack()
{
    const std::optional<ViewPlace> to = m_history.back(currentPlace());
    if (to)
        goTo(*to);
    return bool(to);
}

bool DocumentView::goForward()
{
    const std::optional<ViewPlace> to = m_history.forward(currentPlace());
    if (to)
        goTo(*to);
    return bool(to);
}

QUrl DocumentView::onScreen(const QUrl& url) const
{
    // An anchor of a page that stands in for another place points at that
    // place; the page itself is where the view finds it.
    if (m_place == m_path || !url.isLocalFile()
        || QDir::cleanPath(url.toLocalFile()) != QDir::cleanPath(Paths::toLocal(m_place)))
        return url;
    QUrl self = QUrl::fromLocalFile(Paths::toLocal(m_path));
    self.setFragment(url.fragment());
    return self;
}

void DocumentView::nextMark(bool backwards)
{
    page()->runJavaScript(markScript(backwards ? -1 : 1), QWebEngineScript::ApplicationWorld,
                          [view = QPointer<DocumentView>(this)](const QVariant& result) {
                              const QVariantList pair = result.toList();
                              if (view && pair.size() == 2)
                                  view->setMarks(pair[0].toInt(), pair[1].toInt());
                          });
}

void DocumentView::countMarks()
{
    page()->runJavaScript(markScript(0), QWebEngineScript::ApplicationWorld,
                          [view = QPointer<DocumentView>(this)](const QVariant& result) {
                              const QVariantList pair = result.toList();
                              if (!view || pair.size() != 2)
                                  return;
                              view->setMarks(pair[0].toInt(), pair[1].toInt());
                              Q_EMIT view->marksCounted(view->m_markCount);
                          });
}

QString DocumentView::markCounterText() const
{
    return m_counter->isHidden() ? QString() : m_counter->text();
}

void DocumentView::setMarks(int current, int count)
{
    m_currentMark = current;
    m_markCount = count;
    if (count == 0) {
        m_counter->hide();
        return;
    }
    m_counter->setText(QStringLiteral("%1 / %2").arg(current).arg(count));
    m_counter->adjustSize();
    placeOverlays();
    m_counter->show();
    m_counter->raise();
    if (current > 0)
        Q_EMIT markShown(current, count);
}

void DocumentView::placeOverlays()
{
    // Top right, clear of the page's scroll bar; the find bar along the bottom.
    const int scrollBar = 18;
    m_counter->move(width() - m_counter->width() - scrollBar - 4, 4);
    const int barWidth = std::min(width() - scrollBar - 8, 420);
    m_findBar->setGeometry(width() - barWidth - scrollBar - 4, height() - m_findBar->sizeHint().height() - 4,
                           barWidth, m_findBar->sizeHint().height());
}

void DocumentView::resizeEvent(QResizeEvent* event)
{
    QWebEngineView::resizeEvent(event);
    placeOverlays();
}

void DocumentView::openFindBar()
{
    placeOverlays();
    m_findBar->open();
}

bool DocumentView::closeFindBar()
{
    if (!m_findBar->isVisible())
        return false;
    m_findBar->close();
    setFocus(Qt::OtherFocusReason);
    return true;
}

bool DocumentView::findBarOpen() const
{
    return m_findBar->isVisible();
}

void DocumentView::zoomIn()
{
    const auto next = std::upper_bound(kZoomSteps.begin(), kZoomSteps.end(), m_zoom + 0.001);
    if (next != kZoomSteps.end())
        m_zoom = *next;
    setZoomFactor(m_zoom);
}

void DocumentView::zoomOut()
{
    const auto next = std::lower_bound(kZoomSteps.begin(), kZoomSteps.end(), m_zoom - 0.001);
    if (next != kZoomSteps.begin())
        m_zoom = *(next - 1);
    setZoomFactor(m_zoom);
}

void DocumentView::resetZoom()
{
    m_zoom = 1.0;
    setZoomFactor(m_zoom);
}

void DocumentView::copySelection()
{
    // The selection as text, whichever control has the focus: the engine's
    // own copy only serves a focused page.
    if (hasSelection())
        QGuiApplication::clipboard()->setText(selectedText());
}

void DocumentView::selectAll()
{
    triggerPageAction(QWebEnginePage::SelectAll);
}

QString DocumentView::searchSelectionCaption()
{
    return QStringLiteral("搜尋選取文字");
}

void DocumentView::contextMenuEvent(QContextMenuEvent* event)
{
    QMenu menu(this);
    QAction* copy = menu.addAction(QStringLiteral("複製(&C)"), this, &DocumentView::copySelection);
    copy->setEnabled(hasSelection());
    menu.addAction(QStringLiteral("全選(&A)"), this, &DocumentView::selectAll);
    if (onSearchSelection) {
        menu.addSeparator();
        // The selection as it is now: the menu's loop may outlive it.
        const QString selection = selectedText();
        QAction* search = menu.addAction(searchSelectionCaption(), this, [this, selection] {
            if (onSearchSelection)
                onSearchSelection(selection);
        });
        search->setEnabled(hasSelection());
    }
    menu.exec(event->globalPos());
}

void DocumentView::printPage()
{
    if (m_printer)
        return; // the page is still going to the printer
    const QPrinterInfo info = QPrinterInfo::defaultPrinter();
    if (info.isNull()) {
        MessageSink::show(QStringLiteral("Tarsel Orvanta"), DefaultPrinter::noPrinterMessage());
        return;
    }
    m_printer = std::make_unique<QPrinter>(info, QPrinter::HighResolution);
    m_printer->setDocName(QStringLiteral("Tarsel Orvanta"));
    print(m_printer.get());
}

} // namespace Orvanta
