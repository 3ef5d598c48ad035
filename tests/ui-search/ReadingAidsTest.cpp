// The reading aids of the search window with the real widgets and the real
// web engine: the help page on F1, back and forward through followed links,
// the current row copied, and a search for the page's selection.
#include "PageProbe.h"
#include "SearchTestSupport.h"

#include "platform/ui/DocumentView.h"
#include "platform/ui/FindBar.h"
#include "platform/ui/PictureButton.h"
#include "platform/ui/ResultGrid.h"
#include "platform/ui/SaveFileDialog.h"
#include "platform/ui/Twips.h"
#include "platform/ui/ViewHistory.h"
#include "search/FrmVelmoraMain.h"
#include "search/QueryBox.h"
#include "search/core/SelectionQuery.h"
#include "support/Fixtures.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <QToolTip>

#include <functional>

using namespace Orvanta;
using namespace Orvanta::Test;

namespace {

// The page's own widget, where the reader's keys go when the page has the focus.
QWidget* pageWidget(DocumentView& view)
{
    return view.focusProxy() ? view.focusProxy() : &view;
}

} // namespace

TEST_F(SearchWindowTest, F1ShowsTheHelpPageFromEveryControl)
{
    makeCollection({{"甲", "data\\a.htm", "甘草", "1900-01-02", big5Page(QStringLiteral("<p>第一篇 甘草</p>"))},
                    {"乙", "data\\b.htm", "甘草", "1900-01-01", big5Page(QStringLiteral("<p>第二篇 甘草</p>"))}});
    FrmVelmoraMain& w = showWindow();
    DocumentView& view = *w.LblDesc();
    ASSERT_TRUE(showsText(view, QStringLiteral("第一篇")));
    const QString help = local(QStringLiteral("Help.htm"));

    const std::vector<std::pair<const char*, std::function<void()>>> from = {
        {"the result list", [&] { w.Grd1()->takeFocus(); }},
        {"the query box", [&] { press(Qt::Key_Escape); }},
        {"the search button", [&] { w.Command1()->setFocus(Qt::OtherFocusReason); }},
        {"the page", [&] { pageWidget(view)->setFocus(Qt::OtherFocusReason); }},
    };
    for (const auto& [what, focus] : from) {
        SCOPED_TRACE(what);
        w.Grd1()->takeFocus();
        press(Qt::Key_Down);
        press(Qt::Key_Up);
        ASSERT_TRUE(showsText(view, QStringLiteral("第一篇")));
        focus();
        QWidget* focused = QApplication::focusWidget();
        press(Qt::Key_F1);
        EXPECT_TRUE(showsText(view, QStringLiteral("Help")));
        EXPECT_EQ(QDir::cleanPath(view.url().toLocalFile()), QDir::cleanPath(help));
        EXPECT_EQ(QApplication::focusWidget(), focused) << "F1 leaves the focus where it was";
        EXPECT_EQ(w.Grd1()->currentRow(), 1) << "and the list as it was";
        EXPECT_EQ(w.ct()->text(), counterText(1));
    }
    // The next row shows its document again.
    w.Grd1()->takeFocus();
    press(Qt::Key_Down);
    EXPECT_TRUE(showsText(view, QStringLiteral("第二篇")));
    EXPECT_TRUE(messages.empty());
}

TEST_F(SearchWindowTest, AltLeftAndRightWalkTheFollowedLinksOfThisRowOnlyInThePage)
{
    makeCollection({{"甲", "data\\sub\\a.htm", "甘草", "1900-01-03",
                     big5Page(QStringLiteral("<p>甘草 A頁 <a id=next href=\"b.htm\">往B</a></p>"))},
                    {"乙", "data\\sub\\b.htm", "其他", "1900-01-02",
                     big5Page(QStringLiteral("<p>B頁 <a id=next href=\"c.htm\">往C</a></p>"))},
                    {"丙", "data\\sub\\c.htm", "甘草", "1900-01-01", big5Page(QStringLiteral("<p>C頁 甘草</p>"))}});
    FrmVelmoraMain& w = showWindow();
    DocumentView& view = *w.LblDesc();
    w.TxtQuery()->setEditText(QStringLiteral("甘草"));
    w.RunSearch();
    ASSERT_TRUE(showsText(view, QStringLiteral("A頁")));
    ASSERT_TRUE(clickElement(view, QStringLiteral("#next")));
    ASSERT_TRUE(showsText(view, QStringLiteral("B頁")));
    ASSERT_TRUE(clickElement(view, QStringLiteral("#next")));
    ASSERT_TRUE(showsText(view, QStringLiteral("C頁")));

    const auto inPage = [&] { pageWidget(view)->setFocus(Qt::OtherFocusReason); };
    const auto inBox = [&] { press(Qt::Key_Escape); };
    struct Step {
        const char* what;
        std::function<void()> focus;
        Qt::Key key;
        QString shows;
    };
    const std::vector<Step> steps = {
        {"back", inPage, Qt::Key_Left, QStringLiteral("B頁")},
        {"back to the marked document", inPage, Qt::Key_Left, QStringLiteral("A頁")},
        {"nothing before it", inPage, Qt::Key_Left, QStringLiteral("A頁")},
        {"forward", inPage, Qt::Key_Right, QStringLiteral("B頁")},
        {"not from the query box", inBox, Qt::Key_Right, QStringLiteral("B頁")},
        {"forward again", inPage, Qt::Key_Right, QStringLiteral("C頁")},
        {"nothing after it", inPage, Qt::Key_Right, QStringLiteral("C頁")},
        {"back once more", inPage, Qt::Key_Left, QStringLiteral("B頁")},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        step.focus();
        press(step.key, Qt::AltModifier);
        QTest::qWait(300);
        EXPECT_TRUE(showsText(view, step.shows)) << bodyText(view).toStdString();
        EXPECT_EQ(w.Grd1()->currentRow(), 1);
    }
    // Back on the document, its marks are there as the row showed them.
    inPage();
    press(Qt::Key_Left, Qt::AltModifier);
    ASSERT_TRUE(showsText(view, QStringLiteral("A頁")));
    EXPECT_TRUE(QTest::qWaitFor([&] { return view.markCount() == 1; }, 20000));

    // A row change starts the history afresh: nothing to go back to.
    ASSERT_TRUE(clickElement(view, QStringLiteral("#next")));
    ASSERT_TRUE(showsText(view, QStringLiteral("B頁")));
    w.Grd1()->takeFocus();
    press(Qt::Key_Down);
    ASSERT_TRUE(showsText(view, QStringLiteral("C頁")));
    EXPECT_FALSE(view.history().canGoBack());
    EXPECT_FALSE(view.history().canGoForward());
    inPage();
    press(Qt::Key_Left, Qt::AltModifier);
    QTest::qWait(500);
    EXPECT_TRUE(showsText(view, QStringLiteral("C頁")));
    EXPECT_FALSE(bodyText(view).contains(QStringLiteral("B頁")));
    EXPECT_TRUE(messages.empty());
}

TEST(ViewHistory, GoesBackAndForwardAndForgetsWhatWasAheadOnANewLink)
{
    const auto at = [](const char* name) {
        return ViewPlace{QUrl(QStringLiteral("file:///c/%1").arg(QLatin1String(name))), QString::fromLatin1(name),
                         QString::fromLatin1(name), QString::fromLatin1(name)};
    };
    // Each step: what the reader does from the place on screen, and where
    // that leads ("" for nowhere: the place stays).
    struct Step {
        char act; // 'l' follows a link to `to`, 'b' back, 'f' forward, 'c' a new row
        const char* to;
        const char* expected;
    };
    const std::vector<Step> steps = {
        {'b', "", "a"}, {'l', "b", "b"}, {'l', "c", "c"}, {'b', "", "b"}, {'b', "", "a"}, {'b', "", "a"},
        {'f', "", "b"}, {'l', "d", "d"}, {'f', "", "d"}, {'b', "", "b"}, {'b', "", "a"}, {'f', "", "b"},
        {'c', "e", "e"}, {'b', "", "e"}, {'f', "", "e"},
    };
    ViewHistory history;
    ViewPlace current = at("a");
    for (size_t i = 0; i < steps.size(); ++i) {
        const Step& s = steps[i];
        switch (s.act) {
        case 'l':
            history.leave(current);
            current = at(s.to);
            break;
        case 'c':
            history.clear();
            current = at(s.to);
            break;
        case 'b':
            if (auto to = history.back(current))
                current = *to;
            break;
        case 'f':
            if (auto to = history.forward(current))
                current = *to;
            break;
        }
        EXPECT_EQ(current, at(s.expected)) << "step " << i;
    }
}

TEST_F(SearchWindowTest, CtrlCOnTheResultListCopiesTheRowAsStored)
{
    makeCollection({{"傷寒論 卷一", "data\\a.htm", "甘草", "1900-01-03", big5Page(QStringLiteral("<p>甘草 一</p>"))},
                    {"金匱\t要略", "data\\sub dir\\b.htm", "甘草", "1900-01-02", big5Page(QStringLiteral("<p>甘草 二</p>"))},
                    {"溫病條辨", "DATA/c.HTM", "甘草", "1900-01-01", big5Page(QStringLiteral("<p>甘草 三</p>"))}});
    FrmVelmoraMain& w = showWindow();
    DocumentView& view = *w.LblDesc();
    ASSERT_TRUE(showsText(view, QStringLiteral("甘草 一")));
    // A selection in the page that the list must not copy.
    evaluate(view.page(), QStringLiteral("window.getSelection().selectAllChildren(document.body)"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return view.hasSelection(); }, 20000));

    const QStringList expected = {QStringLiteral("傷寒論 卷一\tdata\\a.htm"),
                                  QStringLiteral("金匱\t要略\tdata\\sub dir\\b.htm"),
                                  QStringLiteral("溫病條辨\tDATA/c.HTM")};
    w.Grd1()->takeFocus();
    for (int row = 1; row <= 3; ++row) {
        SCOPED_TRACE(row);
        if (row > 1)
            press(Qt::Key_Down);
        ASSERT_EQ(w.Grd1()->currentRow(), row);
        QApplication::clipboard()->setText(QStringLiteral("before"));
        press(Qt::Key_C, Qt::ControlModifier);
        EXPECT_EQ(QApplication::clipboard()->text(), expected[row - 1]);
        EXPECT_TRUE(w.Grd1()->hasFocus());
    }
}

TEST_F(SearchWindowTest, TheSelectionIsSearchedAsEnterSearchesWithoutAHistoryEntry)
{
    makeCollection({{"人參篇", "data\\a.htm", "人參 甘草", "1900-01-04",
                     big5Page(QStringLiteral("<p id=words>人參</p><p>甘草</p>"))},
                    {"甘草篇", "data\\b.htm", "甘草", "1900-01-03", big5Page(QStringLiteral("<p>甘草</p>"))},
                    {"乾薑篇", "data\\c.htm", "乾薑", "1900-01-02", big5Page(QStringLiteral("<p>乾薑</p>"))}});
    FrmVelmoraMain& w = showWindow();
    DocumentView& view = *w.LblDesc();
    ASSERT_TRUE(showsText(view, QStringLiteral("人參")));
    const QStringList history = historyOf(*w.TxtQuery());

    // Through the page's own menu: a selection made in the page.
    evaluate(view.page(), QStringLiteral("window.getSelection().selectAllChildren(document.getElementById('words'))"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return view.hasSelection(); }, 20000));
    // A right click in the page; the engine asks for the menu.
    const auto rightClick = [&] { QTest::mouseClick(pageWidget(view), Qt::RightButton, {}, QPoint(20, 20)); };
    const QStringList entries = useContextMenu(rightClick, [&](QMenu& menu) {
        QAction* search = menuEntry(menu, DocumentView::searchSelectionCaption());
        ASSERT_NE(search, nullptr);
        EXPECT_TRUE(search->isEnabled());
        menu.close();
        search->trigger();
    });
    EXPECT_TRUE(entries.contains(QStringLiteral("搜尋選取文字"))) << entries.join(QLatin1Char('|')).toStdString();
    EXPECT_TRUE(QTest::qWaitFor([&] { return w.Grd1()->rowCount() == 2; }, 5000));
    EXPECT_EQ(w.TxtQuery()->currentText(), QStringLiteral("人參"));
    EXPECT_EQ(w.Grd1()->text(1, 0), QStringLiteral("人參篇"));
    EXPECT_TRUE(w.Grd1()->hasFocus());
    EXPECT_EQ(historyOf(*w.TxtQuery()), history) << "no history entry";

    // Selections as they come, handed over as the menu hands them.
    const QString longSelection = QStringLiteral("甘草 ").repeated(5000);
    const struct {
        const char* what;
        QString selection;
        QString box;
        int rows; // result rows, header not counted; -1: nothing found, the list stays
    } cases[] = {
        {"lines", QStringLiteral("人參\n甘草"), QStringLiteral("人參 甘草"), 1},
        {"cells and spaces", QStringLiteral("\t甘草\u3000 "), QStringLiteral("甘草"), 2},
        {"broken text", QStringLiteral("乾") + QChar(char16_t(0xDC00)) + QStringLiteral("薑\u200b"),
         QStringLiteral("乾薑"), 1},
        {"a whole page", longSelection, queryFromSelection(longSelection), 2},
        {"the query language", QStringLiteral("+人參 乾薑"), QStringLiteral("+人參 乾薑"), 2},
        {"nothing found", QStringLiteral("麻黃"), QStringLiteral("麻黃"), -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const int before = w.Grd1()->rowCount();
        messages.clear();
        view.onSearchSelection(c.selection);
        EXPECT_EQ(w.TxtQuery()->currentText(), c.box);
        if (c.rows < 0) {
            ASSERT_EQ(messages.size(), 1u);
            EXPECT_EQ(w.Grd1()->rowCount(), before);
        } else {
            EXPECT_TRUE(messages.empty());
            EXPECT_EQ(w.Grd1()->rowCount(), c.rows + 1);
        }
        EXPECT_EQ(historyOf(*w.TxtQuery()), history) << "no history entry";
    }

    // Nothing left of a selection: nothing happens.
    const QString box = w.TxtQuery()->currentText();
    view.onSearchSelection(QStringLiteral("\n \u200b"));
    EXPECT_EQ(w.TxtQuery()->currentText(), box);
}
