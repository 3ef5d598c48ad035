// The keys that help reading the shown page, with the real web engine: marks
// counted and stepped through, finding, zoom, copy and print, and the
// window's own keys still doing what they always did.
#include "PageProbe.h"
#include "SearchTestSupport.h"

#include "platform/ui/DocumentView.h"
#include "platform/ui/FindBar.h"
#include "platform/ui/PictureButton.h"
#include "platform/ui/ResultGrid.h"
#include "search/FrmVelmoraMain.h"
#include "search/QueryBox.h"
#include "search/core/PrivatePage.h"
#include "support/Fixtures.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDir>
#include <QImage>
#include <QLineEdit>
#include <QMenu>
#include <QPrinterInfo>
#include <QTest>
#include <QTimer>

using namespace Orvanta;
using namespace Orvanta::Test;

namespace {

bool counterShows(DocumentView& view, const QString& text)
{
    return QTest::qWaitFor([&] { return view.markCounterText() == text; }, 20000);
}

} // namespace

TEST_F(SearchWindowTest, MarksAreCountedAndSteppedThroughFromEveryControl)
{
    struct Page {
        const char* subject;
        QString body;
        int marks;
    };
    // Newest first, so the rows come in this order.
    const std::vector<Page> pages = {
        {"三處", "<p>甘草 人參 甘草</p><p>乾薑 甘草</p>", 3},
        {"一處", "<p>只有甘草一次</p>", 1},
        {"標籤裡", "<p title=\"甘草\">甘 草</p><!-- 甘草 -->", 0},
        {"連寫", "<p>甘草甘草</p><font color=red>原有的紅字</font>", 3},
    };
    std::vector<Document> documents;
    for (size_t i = 0; i < pages.size(); ++i) {
        documents.push_back({QString::fromUtf8(pages[i].subject), QStringLiteral("data\\p%1.htm").arg(i),
                             QStringLiteral("甘草"), QStringLiteral("1900-01-%1").arg(20 - i, 2, 10, QLatin1Char('0')),
                             kBig5Head + pages[i].body + QStringLiteral("</body></html>")});
    }
    makeCollection(documents);
    FrmVelmoraMain& w = showWindow();
    DocumentView& view = *w.LblDesc();
    w.TxtQuery()->setEditText(QStringLiteral("甘草"));
    w.RunSearch();
    ASSERT_EQ(w.Grd1()->rowCount(), int(pages.size()) + 1);

    for (size_t i = 0; i < pages.size(); ++i) {
        SCOPED_TRACE(pages[i].subject);
        if (i > 0)
            press(Qt::Key_Down);
        ASSERT_EQ(w.Grd1()->currentRow(), int(i) + 1);
        const int n = pages[i].marks;
        EXPECT_TRUE(counterShows(view, n ? QStringLiteral("0 / %1").arg(n) : QString()))
            << view.markCounterText().toStdString();
        if (n == 0) {
            press(Qt::Key_F3);
            QTest::qWait(300);
            EXPECT_EQ(view.markCounterText(), QString()) << "no marks, no counter";
        }
    }

    // Back on row 1, F3 from the list, the query box and the view; the
    // focus stays where it was.
    w.Grd1()->takeFocus();
    press(Qt::Key_Up);
    press(Qt::Key_Up);
    press(Qt::Key_Up);
    ASSERT_EQ(w.Grd1()->currentRow(), 1);
    ASSERT_TRUE(counterShows(view, QStringLiteral("0 / 3")));
    press(Qt::Key_F3);
    EXPECT_TRUE(counterShows(view, QStringLiteral("1 / 3")));
    EXPECT_TRUE(w.Grd1()->hasFocus());
    w.TxtQuery()->setFocus();
    press(Qt::Key_F3);
    EXPECT_TRUE(counterShows(view, QStringLiteral("2 / 3")));
    EXPECT_TRUE(w.TxtQuery()->hasFocus() || w.TxtQuery()->isAncestorOf(QApplication::focusWidget()));
    EXPECT_EQ(w.TxtQuery()->currentText(), QStringLiteral("甘草")) << "F3 types nothing";
    view.setFocus();
    press(Qt::Key_F3);
    EXPECT_TRUE(counterShows(view, QStringLiteral("3 / 3")));
    press(Qt::Key_F3);
    EXPECT_TRUE(counterShows(view, QStringLiteral("1 / 3"))) << "after the last comes the first";
    press(Qt::Key_F3, Qt::ShiftModifier);
    EXPECT_TRUE(counterShows(view, QStringLiteral("3 / 3"))) << "and before the first the last";

    // The window's own keys as always: Esc to the query box, Down to the list.
    press(Qt::Key_Escape);
    EXPECT_TRUE(w.TxtQuery()->hasFocus() || w.TxtQuery()->isAncestorOf(QApplication::focusWidget()));
    press(Qt::Key_Down);
    EXPECT_TRUE(w.Grd1()->hasFocus());
    EXPECT_TRUE(messages.empty());
}

TEST_F(SearchWindowTest, FindBarFindsStepsAndClosesBeforeEsc)
{
    makeCollection({{"甲", "data\\a.htm", "甘草", "1900-01-02",
                     kBig5Head + QStringLiteral("<p>甘草 人參 甘草</p><p>甘草</p></body></html>")}});
    FrmVelmoraMain& w = showWindow();
    DocumentView& view = *w.LblDesc();
    ASSERT_TRUE(showsText(view, QStringLiteral("甘草 人參 甘草")));
    w.Grd1()->takeFocus();

    press(Qt::Key_F, Qt::ControlModifier);
    ASSERT_TRUE(view.findBarOpen());
    ASSERT_TRUE(view.findBar()->field()->hasFocus());
    view.findBar()->field()->insert(QStringLiteral("甘草"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return view.findBar()->countText() == QStringLiteral("1 / 3"); }, 20000))
        << "count: " << view.findBar()->countText().toStdString();
    press(Qt::Key_Return);
    EXPECT_TRUE(QTest::qWaitFor([&] { return view.findBar()->countText() == QStringLiteral("2 / 3"); }, 20000));
    EXPECT_TRUE(view.findBar()->field()->hasFocus()) << "Enter in the bar finds, it does not move the focus";
    press(Qt::Key_Return, Qt::ShiftModifier);
    EXPECT_TRUE(QTest::qWaitFor([&] { return view.findBar()->countText() == QStringLiteral("1 / 3"); }, 20000));
    view.findBar()->field()->setText(QStringLiteral("麻黃"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return view.findBar()->countText() == QStringLiteral("沒有符合的文字"); }, 20000));

    // Esc closes the bar first; the next Esc is the window's.
    press(Qt::Key_Escape);
    EXPECT_FALSE(view.findBarOpen());
    EXPECT_FALSE(w.TxtQuery()->hasFocus());
    press(Qt::Key_Escape);
    EXPECT_TRUE(w.TxtQuery()->hasFocus() || w.TxtQuery()->isAncestorOf(QApplication::focusWidget()));
}

TEST_F(SearchWindowTest, ZoomIsKeptFromPageToPage)
{
    makeCollection({{"甲", "data\\a.htm", "甘草", "1900-01-02", kBig5Head + QStringLiteral("<p>甘草</p>")},
                    {"乙", "data\\b.htm", "甘草", "1900-01-01", kBig5Head + QStringLiteral("<p>甘草甘草</p>")}});
    FrmVelmoraMain& w = showWindow();
    DocumentView& view = *w.LblDesc();
    w.TxtQuery()->setEditText(QStringLiteral("甘草"));
    w.RunSearch();
    ASSERT_TRUE(counterShows(view, QStringLiteral("0 / 1")));
    press(Qt::Key_Equal, Qt::ControlModifier);
    press(Qt::Key_Plus, Qt::ControlModifier);
    EXPECT_DOUBLE_EQ(view.zoom(), 1.25);
    press(Qt::Key_Down);
    ASSERT_EQ(w.Grd1()->currentRow(), 2);
    ASSERT_TRUE(counterShows(view, QStringLiteral("0 / 2")));
    EXPECT_NEAR(view.zoomFactor(), 1.25, 0.001) << "the next page keeps the zoom";
    press(Qt::Key_Minus, Qt::ControlModifier);
    EXPECT_DOUBLE_EQ(view.zoom(), 1.1);
    press(Qt::Key_0, Qt::ControlModifier);
    EXPECT_NEAR(view.zoomFactor(), 1.0, 0.001);
}

TEST_F(SearchWindowTest, CopyTakesTheViewsSelection)
{
    makeCollection({{"甲", "data\\a.htm", "甘草", "1900-01-02", kBig5Head + QStringLiteral("<p>甘草 人參</p>")}});
    FrmVelmoraMain& w = showWindow();
    DocumentView& view = *w.LblDesc();
    ASSERT_TRUE(showsText(view, QStringLiteral("甘草 人參")));
    QApplication::clipboard()->setText(QStringLiteral("before"));
    ASSERT_EQ(QApplication::clipboard()->text(), QStringLiteral("before"));
    evaluate(view.page(), QStringLiteral("window.getSelection().selectAllChildren(document.body)"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return view.hasSelection(); }, 20000));
    // From a control that has no text of its own to copy; the result list
    // copies its current row instead (ReadingAidsTest).
    w.Command1()->setFocus(Qt::OtherFocusReason);
    press(Qt::Key_C, Qt::ControlModifier);
    EXPECT_TRUE(QTest::qWaitFor([&] { return QApplication::clipboard()->text().contains(QStringLiteral("甘草 人參")); },
                                20000))
        << QApplication::clipboard()->text().toStdString();
    EXPECT_TRUE(w.Command1()->hasFocus());
}

// In the query box, Ctrl+C copies what is selected there, not the page.
TEST_F(SearchWindowTest, CopyInTheQueryBoxTakesItsText)
{
    makeCollection({{"甲", "data\\a.htm", "甘草", "1900-01-02", kBig5Head + QStringLiteral("<p>甘草 人參</p>")}});
    FrmVelmoraMain& w = showWindow();
    QApplication::clipboard()->setText(QStringLiteral("before"));
    press(Qt::Key_Escape);
    w.TxtQuery()->setEditText(QStringLiteral("人參 甘草"));
    press(Qt::Key_A, Qt::ControlModifier);
    press(Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("人參 甘草"))
        << "focus on " << (QApplication::focusWidget() ? QApplication::focusWidget()->metaObject()->className() : "nothing");
}

TEST_F(SearchWindowTest, PrintingWithoutAPrinterSaysSo)
{
    if (!QPrinterInfo::defaultPrinter().isNull())
        GTEST_SKIP() << "this machine has a default printer";
    makeCollection({{"甲", "data\\a.htm", "甘草", "1900-01-02", kBig5Head + QStringLiteral("<p>甘草</p>")}});
    FrmVelmoraMain& w = showWindow();
    w.Grd1()->takeFocus();
    press(Qt::Key_P, Qt::ControlModifier);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, QStringLiteral("找不到預設的印表機，無法列印。"));
}

TEST_F(SearchWindowTest, LinksStayInTheCollection)
{
    makeCollection({{"甲", "data\\sub\\a.htm", "甘草", "1900-01-02",
                     kBig5Head + QStringLiteral("<p>甘草 <a id=next href=\"b.htm\">下一頁</a></p></body></html>")},
                    {"乙", "data\\sub\\b.htm", "其他", "1900-01-01",
                     kBig5Head + QStringLiteral("<p>第二頁</p></body></html>")}});
    FrmVelmoraMain& w = showWindow();
    DocumentView& view = *w.LblDesc();
    w.TxtQuery()->setEditText(QStringLiteral("甘草"));
    w.RunSearch();
    ASSERT_TRUE(showsText(view, QStringLiteral("下一頁")));

    // The link is resolved from the document's folder, not the temporary page's.
    ASSERT_TRUE(clickElement(view, QStringLiteral("#next")));
    EXPECT_TRUE(showsText(view, QStringLiteral("第二頁")));
    EXPECT_TRUE(view.url().toLocalFile().endsWith(QStringLiteral("/data/sub/b.htm")))
        << view.url().toString().toStdString();
}

// A collection that cannot take the temporary page (here a file where tmp
// should be): the page shown from the user's own folder still finds its
// pictures as from tmp, its anchors stay on the page, and its links lead to
// the collection's pages.
TEST_F(SearchWindowTest, APageShownFromThePrivateFolderKeepsPicturesAnchorsAndLinks)
{
    makeCollection({{"甲", "data\\sub\\a.htm", "甘草", "1900-01-02",
                     kBig5Head + QStringLiteral("<p>甘草 <a id=next href=\"b.htm\">下一頁</a> <a id=self href=\"#end\">末</a>"
                                                " <img id=pic src=\"../data/p.png\"></p><p id=end>尾</p></body></html>")},
                    {"乙", "data\\sub\\b.htm", "其他", "1900-01-01",
                     kBig5Head + QStringLiteral("<p>第二頁</p></body></html>")}});
    QImage picture(8, 6, QImage::Format_RGB32);
    picture.fill(Qt::red);
    ASSERT_TRUE(picture.save(local(QStringLiteral("data/p.png"))));
    writeFile(local(QStringLiteral("tmp")), "not a folder");

    FrmVelmoraMain& w = showWindow();
    DocumentView& view = *w.LblDesc();
    ASSERT_TRUE(showsText(view, QStringLiteral("下一頁")));
    EXPECT_EQ(view.locationPath(), PrivatePage::path());

    const auto value = [&](const QString& script) { return evaluate(view.page(), script); };
    EXPECT_TRUE(QTest::qWaitFor([&] { return value(QStringLiteral("document.getElementById('pic').naturalWidth")).toInt() == 8; },
                                20000))
        << "the picture is not found as from the collection's tmp folder";

    ASSERT_TRUE(clickElement(view, QStringLiteral("#self")));
    QTest::qWait(1000);
    EXPECT_EQ(QDir::cleanPath(view.url().toLocalFile()), QDir::cleanPath(PrivatePage::path()))
        << view.url().toString().toStdString();
    EXPECT_TRUE(showsText(view, QStringLiteral("下一頁")));

    ASSERT_TRUE(clickElement(view, QStringLiteral("#next")));
    EXPECT_TRUE(showsText(view, QStringLiteral("第二頁")));
    EXPECT_TRUE(view.url().toLocalFile().endsWith(QStringLiteral("/data/sub/b.htm")))
        << view.url().toString().toStdString();
    QFile::remove(local(QStringLiteral("tmp")));
}

TEST_F(SearchWindowTest, ContextMenuOffersCopySelectAllAndSearchOnly)
{
    makeCollection({{"甲", "data\\a.htm", "甘草", "1900-01-02", kBig5Head + QStringLiteral("<p>甘草 人參</p>")}});
    FrmVelmoraMain& w = showWindow();
    DocumentView& view = *w.LblDesc();
    ASSERT_TRUE(showsText(view, QStringLiteral("甘草 人參")));

    // A right click in the page; the engine asks for the menu, which runs its
    // own loop and is read and closed from inside it.
    QStringList entries;
    QTimer poll;
    poll.setInterval(100);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
            for (const QAction* action : menu->actions())
                entries << action->text();
            menu->close();
        }
    });
    poll.start();
    QWidget* page = view.focusProxy() ? view.focusProxy() : &view;
    QTest::mouseClick(page, Qt::RightButton, {}, QPoint(40, 40));
    QTest::qWaitFor([&] { return !entries.isEmpty(); }, 10000);
    poll.stop();
    EXPECT_EQ(entries, (QStringList{QStringLiteral("複製(&C)"), QStringLiteral("全選(&A)"), QString(),
                                    QStringLiteral("搜尋選取文字")}));
}
