// The document view: a web view that shows local HTML files.
//
// The search window navigates it to the same temporary page again and again,
// each time with new content, so every navigation loads the file afresh from
// disk: the file is the truth, never a cached copy of an earlier load.
//
// Beside showing pages it helps the reader along: it steps from red mark to
// red mark and shows "current / all" in its top-right corner, finds text with
// a small bar at its bottom (finding again in every page it shows), zooms,
// copies, prints the page, goes back and forward through the links followed
// since the last page it was given (ViewHistory.h), offers the selected text
// for a search, and keeps links from taking it away to the web (see
// PageLink.h).
//
// A page is content, never a program: its own scripts do not run, it loads
// nothing but itself and its collection's files, and the desktop's browser
// opens only for a web link the user clicked or took with a key.
#pragma once

#include "platform/ui/ViewHistory.h"

#include <QElapsedTimer>
#include <QString>
#include <QWebEngineView>

#include <functional>
#include <memory>

class QLabel;
class QPrinter;

namespace Orvanta {

class FindBar;

class DocumentView : public QWebEngineView {
    Q_OBJECT
public:
    explicit DocumentView(QWidget* parent = nullptr);
    ~DocumentView() override;

    // Starts loading the file at a system path ("\" separators, see Paths.h)
    // and returns at once. A page without an encoding declaration is read as
    // Big5 (code page 950). A missing file shows an empty page.
    // `placePath`, when given, is where the page stands in for: a copy
    // written elsewhere (see PrivatePage.h) carries a base that points there,
    // and its links are followed as if it were there.
    // The history of followed links starts afresh.
    void navigate(const QString& systemPath, const QString& placePath = {});

    // Back and forward through the pages reached by links since the last
    // navigate(); false when there is nowhere to go.
    bool goBack();
    bool goForward();
    const ViewHistory& history() const { return m_history; }

    // Set by the window: offered in the context menu while text is selected,
    // and given the selection as the page holds it.
    std::function<void(const QString& selection)> onSearchSelection;
    static QString searchSelectionCaption(); // "搜尋選取文字"

    // The system path of the last navigation; empty before the first one.
    QString locationPath() const { return m_path; }

    // The document the next pages are made from (a system path): relative
    // links in the shown page are resolved from its folder.
    void setSourceDocument(const QString& systemPath) { m_sourceDocument = systemPath; }

    // Scrolls the next (or previous) mark into sight and outlines it; after
    // the last comes the first again.
    void nextMark(bool backwards = false);
    // Marks on the shown page and the outlined one (1-based; 0 before the
    // first step). Known once a page has loaded.
    int markCount() const { return m_markCount; }
    int currentMark() const { return m_currentMark; }
    QString markCounterText() const; // "3 / 17"; empty when the counter is hidden

    // The find bar: opened with its field selected; closeFindBar() says
    // whether there was one to close.
    void openFindBar();
    bool closeFindBar();
    bool findBarOpen() const;
    FindBar* findBar() const { return m_findBar; }

    // Zoom steps, kept from page to page for the whole run.
    void zoomIn();
    void zoomOut();
    void resetZoom();
    double zoom() const { return m_zoom; }

    void copySelection();
    void selectAll();

    // Prints the shown page, marks included, on the system's default printer.
    // Without one, a message says so.
    void printPage();

Q_SIGNALS:
    void marksCounted(int count);
    void markShown(int current, int count);
    void printDone(bool ok);

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void countMarks();
    void setMarks(int current, int count);
    void placeOverlays();
    void openLink(const QUrl& url, const QString& localPath);
    ViewPlace currentPlace() const;
    void goTo(const ViewPlace& place);

    QUrl onScreen(const QUrl& url) const;
    // Whether the user clicked or pressed a key in the page a moment ago;
    // the act is used up.
    bool takeUserAct();
    static constexpr qint64 kUserActMs = 2000;

    QString m_path;
    QString m_place; // where the shown page stands in for; m_path itself for most
    QString m_sourceDocument;
    quint64 m_navigation = 0;
    QElapsedTimer m_userAct; // the user's last click or activating key in the page
    int m_markCount = 0;
    int m_currentMark = 0;
    double m_zoom = 1.0;
    QLabel* m_counter = nullptr;
    FindBar* m_findBar = nullptr;
    std::unique_ptr<QPrinter> m_printer;
    ViewHistory m_history;
};

} // namespace Orvanta
