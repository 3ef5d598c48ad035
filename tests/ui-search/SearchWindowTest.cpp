// The search window's load step, its search routine and what the row-change
// handler leaves behind: the list, the counter, the temporary page, the start
// screen.
#include "SearchTestSupport.h"

#include "app/startscreen/FrmIni.h"
#include "app/forms/Form.h"
#include "platform/collection/ConvertedCopy.h"
#include "platform/collection/Database.h"
#include "platform/text/Cp950.h"
#include "platform/ui/DocumentView.h"
#include "platform/ui/PictureButton.h"
#include "platform/ui/ResultGrid.h"
#include "platform/ui/Twips.h"
#include "search/FrmVelmoraMain.h"
#include "search/QueryBox.h"
#include "search/core/PrivatePage.h"
#include "search/core/QueryComposer.h"
#include "search/core/SearchExecution.h"
#include "app/core/modVelmora.h"
#include "support/Fixtures.h"

#include <QDir>

#include <algorithm>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QScrollBar>
#include <QLineEdit>
#include <QTest>
#include <QToolTip>
#include <QHelpEvent>

using namespace Orvanta;
using namespace Orvanta::Test;

namespace {

std::vector<Document> herbs()
{
    return {
        {"人參湯", "data\\a.htm", "人參 甘草 乾薑", "1900-01-03", "<p>人參 甘草 乾薑</p>"},
        {"甘草湯", "data\\b.htm", "甘草", "1900-01-02", "<p>甘草 甘草</p>"},
        {"it's", "data\\c.htm", "it's 乙", "1900-01-01", "<p>it's 乙</p>"},
    };
}

} // namespace

TEST_F(SearchWindowTest, DesignData)
{
    makeCollection(herbs());
    FrmVelmoraMain w; // built, never loaded
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Tarsel Orvanta-目錄瀏覽 & 關鍵字搜尋"));
    EXPECT_EQ(w.size(), QSize(800, 582));
    EXPECT_EQ(w.TxtQuery()->currentText(), QStringLiteral("TxtQuery"));
    EXPECT_EQ(historyOf(*w.TxtQuery()), (QStringList{"", "條件存取", "條件清除"}));
    EXPECT_EQ(w.TxtQuery()->toolTip(), QStringLiteral("輸入搜尋的關鍵字例 : 發熱  頭痛 "));
    EXPECT_EQ(w.TxtQuery()->geometry(), pxRect(240, 240, 3500, 405));
    EXPECT_TRUE(w.TxtQuery()->font().bold());
    EXPECT_EQ(w.TxtQuery()->palette().color(QPalette::Text), QColor(0, 0, 128));
    EXPECT_EQ(w.Command1()->toolTip(), QStringLiteral("多筆關鍵字搜尋ㄦ -->>結果顯示於內容標題區"));
    EXPECT_EQ(w.Command1()->geometry(), pxRect(2630, 690, 1080, 480));
    EXPECT_EQ(w.Command1()->picture().size(), QSize(67, 28));
    EXPECT_EQ(w.ct()->text(), QStringLiteral("第100000筆"));
    EXPECT_EQ(w.ct()->toolTip(), QStringLiteral("按目錄時可顯示第幾筆"));
    EXPECT_EQ(w.ct()->palette().color(QPalette::Window), QColor(255, 255, 192));
    EXPECT_EQ(w.Grd1()->geometry(), pxRect(240, 1200, 3375, 7125));
    EXPECT_EQ(w.Grd1()->rowCount(), 2);
    EXPECT_EQ(w.LblDesc()->geometry(), pxRect(3830, 225, 8000, 8115));
    EXPECT_EQ(w.imgBack()->geometry(), pxRect(4080, 600, 135, 135));
    EXPECT_TRUE(w.keyPreview());
    EXPECT_TRUE(w.strTmpPage.isEmpty() && w.strQuery.isEmpty() && w.strLastQuery.isEmpty()
                && w.strSQL.isEmpty() && w.strMode.isEmpty());

    EXPECT_EQ(w.ct()->focusPolicy(), Qt::NoFocus);
    EXPECT_EQ(w.imgBack()->focusPolicy(), Qt::NoFocus);
}

// Tab order: list, button, view, box; the counter and the image take no focus.
TEST_F(SearchWindowTest, TabOrder)
{
    makeCollection(herbs());
    FrmVelmoraMain& w = showWindow();
    // Each widget of the focus chain counts as the control of the window it
    // belongs to (the view and the box focus inner widgets of their own).
    auto controlOf = [&](QWidget* widget) {
        while (widget && widget->parentWidget() != &w)
            widget = widget->parentWidget();
        return widget;
    };
    QList<QWidget*> order;
    QWidget* next = w.Grd1();
    do {
        QWidget* control = controlOf(next);
        if ((next->focusPolicy() & Qt::TabFocus) && control && (order.isEmpty() || order.back() != control)
            && !order.contains(control))
            order << control;
        next = next->nextInFocusChain();
    } while (next != w.Grd1());
    EXPECT_EQ(order, (QList<QWidget*>{w.Grd1(), w.Command1(), w.LblDesc(), w.TxtQuery()}));
    EXPECT_TRUE(w.Grd1()->hasFocus()) << "the first of them has the focus when the window opens";
}

// The load step runs in its order and ends with the first search, which
// lists every document and shows row 1.
TEST_F(SearchWindowTest, LoadStepAndFirstSearch)
{
    makeCollection(herbs());
    Forms::show<FrmIni>();
    ASSERT_NE(Forms::loaded<FrmIni>(), nullptr);

    FrmVelmoraMain& w = loadWindow();
    EXPECT_FALSE(w.isVisible()) << "loading does not show";
    EXPECT_EQ(w.strTmpPage, folder + QStringLiteral("\\tmp\\TmpVORTAN.htm"));
    EXPECT_EQ(w.pos(), QPoint(0, 0));
    EXPECT_EQ(w.size(), QSize(800, 582)) << "outer 12120 x 9100 twips with the design's frame";
    EXPECT_TRUE(w.keyPreview());
    EXPECT_EQ(w.Grd1()->leftTwips(), 200);
    EXPECT_EQ(w.Grd1()->width(), px(3520));
    EXPECT_EQ(w.Grd1()->columnWidthTwips(0), 3500);
    EXPECT_EQ(w.Grd1()->columnWidth(1), 0);
    EXPECT_EQ(w.Grd1()->scrollBars(), ResultGrid::ScrollBars::Vertical);
    EXPECT_EQ(w.TxtQuery()->x(), w.Grd1()->x());
    EXPECT_EQ(w.TxtQuery()->currentText(), QString());

    // The first search.
    EXPECT_EQ(w.strSQL, QStringLiteral("select subject,htm from  maindata order by date desc"));
    EXPECT_EQ(w.strMode, QStringLiteral("mod1"));
    ASSERT_EQ(w.Grd1()->rowCount(), 4);
    EXPECT_EQ(w.Grd1()->text(0, 0), QStringLiteral(" 內容標題 或 查詢結果"));
    EXPECT_EQ(w.Grd1()->text(0, 1), QStringLiteral("位置"));
    EXPECT_EQ(w.Grd1()->text(1, 0), QStringLiteral("人參湯"));
    EXPECT_EQ(w.Grd1()->text(3, 0), QStringLiteral("it's"));
    EXPECT_EQ(w.Grd1()->currentRow(), 1);
    EXPECT_EQ(w.Grd1()->currentColumn(), 1);
    EXPECT_FALSE(w.Grd1()->hasFocus()) << "no focus inside a window that is not shown";
    EXPECT_EQ(w.ct()->text(), counterText(1));
    EXPECT_EQ(readLocal("tmp/TmpVORTAN.htm"), Cp950::encode(QStringLiteral("<p>人參 甘草 乾薑</p>")))
        << "no words: the page as it is";
    EXPECT_EQ(w.LblDesc()->locationPath(), w.strTmpPage) << "the help page is overtaken";
    EXPECT_TRUE(messages.empty());

    flushDeletions();
    EXPECT_EQ(Forms::loaded<FrmIni>(), nullptr) << "the start screen is hidden and unloaded";
}

// An empty collection: the empty-result message during the load, and the
// window keeps its design content and the help page; the start screen stays.
TEST_F(SearchWindowTest, EmptyCollectionKeepsTheDesignContent)
{
    makeCollection({});
    Forms::show<FrmIni>();
    FrmVelmoraMain& w = loadWindow();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].caption, QStringLiteral("Tarsel Orvanta"));
    EXPECT_EQ(messages[0].text, QStringLiteral(" 全文檢索搜尋\u3000[  ]\u3000資料不存在"));
    EXPECT_EQ(w.ct()->text(), QStringLiteral("第100000筆"));
    EXPECT_EQ(w.Grd1()->rowCount(), 2);
    EXPECT_EQ(w.Grd1()->text(0, 0), QStringLiteral("內容標題 或 查詢結果"));
    EXPECT_EQ(w.strMode, QString());
    EXPECT_EQ(w.LblDesc()->locationPath(), folder + QStringLiteral("\\Help.htm"));
    EXPECT_FALSE(QFileInfo::exists(tmpPageLocal()));
    flushDeletions();
    ASSERT_NE(Forms::loaded<FrmIni>(), nullptr);
    EXPECT_TRUE(Forms::loaded<FrmIni>()->isVisible());
}

// A missing database is the engine's error; it goes out of the load step.
TEST_F(SearchWindowTest, MissingDatabaseFailsTheLoad)
{
    EXPECT_ANY_THROW(loadWindow());
    flushDeletions();
    EXPECT_EQ(Forms::loaded<FrmVelmoraMain>(), nullptr);
}

// Searches that find nothing change nothing but the box and the statement;
// searches that find rows replace the list and end in the row-change handler.
TEST_F(SearchWindowTest, RunSearchEffects)
{
    makeCollection(herbs());
    FrmVelmoraMain& w = showWindow();
    w.Grd1()->setCurrentRow(2);
    ASSERT_EQ(w.ct()->text(), counterText(2));

    struct Case {
        QString box;
        QString boxAfter;
        QString message; // empty: rows found
        QString mode;    // strMode afterwards
        int rows;        // row count afterwards, header included
    };
    const std::vector<Case> cases = {
        {"-人參", "-人參", "", "mod3", 2},
        {"  -麻黃 ", "-麻黃", " 全文檢索搜尋\u3000[ 麻黃 ]\u3000資料不存在", "mod3", 2},
        {"it's", "it's", "", "mod3a", 2},
        {"it's x", "it's x", " 全文檢索搜尋\u3000[ it'&chr(39)&'s x ]\u3000資料不存在", "mod3a", 2},
        {"+", "+", " 全文檢索搜尋\u3000[  ]\u3000資料不存在", "mod3a", 2},
        {"+人參 乙", "+人參 乙", "", "mod4", 3},
        {"甘草", "甘草", "", "mod3a", 3},
    };
    for (const Case& c : cases) {
        messages.clear();
        const int rowBefore = w.Grd1()->currentRow();
        const QString counterBefore = w.ct()->text();
        const QString modeBefore = w.strMode;
        const int rowsBefore = w.Grd1()->rowCount();
        w.TxtQuery()->setEditText(c.box);
        w.RunSearch();
        EXPECT_EQ(w.TxtQuery()->currentText(), c.boxAfter) << c.box.toStdString();
        if (c.message.isEmpty()) {
            EXPECT_TRUE(messages.empty()) << c.box.toStdString();
            EXPECT_EQ(w.Grd1()->text(0, 0), QStringLiteral(" 內容標題 或 查詢結果"));
            EXPECT_EQ(w.Grd1()->text(0, 1), QStringLiteral("位置"));
            EXPECT_EQ(w.Grd1()->currentRow(), 1) << c.box.toStdString();
            EXPECT_EQ(w.Grd1()->currentColumn(), 1);
            EXPECT_EQ(w.ct()->text(), counterText(1));
            EXPECT_TRUE(w.Grd1()->hasFocus()) << "the list takes the focus";
            EXPECT_EQ(w.strMode, c.mode);
            EXPECT_EQ(w.Grd1()->rowCount(), c.rows) << c.box.toStdString();
        } else {
            ASSERT_EQ(messages.size(), 1u) << c.box.toStdString();
            EXPECT_EQ(messages[0].caption, QStringLiteral("Tarsel Orvanta"));
            EXPECT_EQ(messages[0].text, c.message);
            EXPECT_EQ(w.Grd1()->currentRow(), rowBefore);
            EXPECT_EQ(w.ct()->text(), counterBefore);
            EXPECT_EQ(w.strMode, modeBefore);
            EXPECT_EQ(w.Grd1()->rowCount(), rowsBefore);
        }
    }
}

// The mode-1 search of a shown window takes the focus and pages down and up
// again; once the queued Page Up is handled, row 1 is current again.
TEST_F(SearchWindowTest, EmptyQueryPagesDownAndUp)
{
    makeNumberedCollection(120);
    FrmVelmoraMain& w = showWindow();
    w.TxtQuery()->setEditText(QStringLiteral("   "));
    std::vector<int> rowsSeen;
    QObject::connect(w.Grd1(), &ResultGrid::currentCellChanged, &w,
                     [&] { rowsSeen.push_back(w.Grd1()->currentRow()); });
    w.RunSearch();
    EXPECT_EQ(w.TxtQuery()->currentText(), QString());
    EXPECT_TRUE(w.Grd1()->hasFocus());
    ASSERT_FALSE(rowsSeen.empty());
    EXPECT_GT(rowsSeen.back(), 1) << "the Page Down was handled inside the search";
    EXPECT_EQ(w.ct()->text(), counterText(w.Grd1()->currentRow()));
    QTest::qWait(50);
    EXPECT_EQ(w.Grd1()->currentRow(), 1) << "the Page Up after it";
    EXPECT_EQ(w.ct()->text(), counterText(1));
}

// The temporary page after a search: the words of the query box marked.
TEST_F(SearchWindowTest, TemporaryPageHoldsTheMarks)
{
    makeCollection(herbs());
    FrmVelmoraMain& w = showWindow();
    struct Case {
        QString box;
        QString page; // expected text of the temporary page for row 1
    };
    const std::vector<Case> cases = {
        {"人參 甘草", "<p><font color=red>人參</font> <font color=red>甘草</font> 乾薑</p>"},
        {"-甘草 乾薑", "<p>人參 <font color=red>甘草</font> <font color=red>乾薑</font></p>"},
        {"+乾薑 麻黃", "<p>人參 甘草 <font color=red>乾薑</font></p>"},
        {"-", "<p>人參 甘草 乾薑</p>"},
    };
    for (const Case& c : cases) {
        w.TxtQuery()->setEditText(c.box);
        w.RunSearch();
        EXPECT_EQ(readLocal("tmp/TmpVORTAN.htm"), Cp950::encode(c.page)) << c.box.toStdString();
    }

    // Typed after the search, read at the next row change, with the last mode.
    w.TxtQuery()->setEditText(QStringLiteral("甘草 乙"));
    w.Grd1()->setCurrentRow(2);
    EXPECT_EQ(readLocal("tmp/TmpVORTAN.htm"),
              Cp950::encode(QStringLiteral("<p>甘<font color=red>草</font> 甘<font color=red>草</font></p>")))
        << "mode 3 drops the first character of the box, whatever it is";
}

// A page that is missing leaves an empty temporary page; a tmp folder that
// cannot be made leaves none there, and the view shows the page from the
// user's own folder; the counter goes on all the same.
TEST_F(SearchWindowTest, ShowHitsFailures)
{
    makeCollection({
        {"有頁", "data\\a.htm", "甲", "1900-01-02", "<p>甲</p>"},
        {"無頁", "data\\missing.htm", "甲", "1900-01-01", QString()},
    });
    Forms::show<FrmIni>();
    FrmVelmoraMain& w = loadWindow();
    ASSERT_EQ(readLocal("tmp/TmpVORTAN.htm"), QByteArray("<p>\xa5\xd2</p>"));

    w.Grd1()->setCurrentRow(2);
    EXPECT_TRUE(QFileInfo(tmpPageLocal()).isFile());
    EXPECT_EQ(QFileInfo(tmpPageLocal()).size(), 0) << "rewritten empty";
    EXPECT_EQ(w.ct()->text(), counterText(2));
    EXPECT_EQ(w.LblDesc()->locationPath(), w.strTmpPage);

    // The tmp folder replaced by a file: nothing can be written.
    ASSERT_TRUE(QDir(local("tmp")).removeRecursively());
    writeFile(local("tmp"), "not a folder");
    w.Grd1()->setCurrentRow(1);
    EXPECT_EQ(readLocal("tmp"), QByteArray("not a folder"));
    EXPECT_EQ(w.ct()->text(), counterText(1));
    EXPECT_EQ(w.LblDesc()->locationPath(), PrivatePage::path());
    EXPECT_TRUE(readFile(PrivatePage::path()).endsWith("<p>\xa5\xd2</p>"));
    QFile::remove(local("tmp"));
}

// The header row as current row: the counter reads 第0筆 and the start screen
// comes back; modes 3 and 4 leave the start screen alone.
TEST_F(SearchWindowTest, StartScreenFollowsTheCurrentRow)
{
    makeCollection(herbs());
    FrmVelmoraMain& w = loadWindow();
    flushDeletions();
    ASSERT_EQ(Forms::loaded<FrmIni>(), nullptr);

    w.Grd1()->setCurrentRow(0);
    EXPECT_EQ(w.ct()->text(), counterText(0));
    ASSERT_NE(Forms::loaded<FrmIni>(), nullptr);
    EXPECT_TRUE(Forms::loaded<FrmIni>()->isVisible());

    w.Grd1()->setCurrentRow(2);
    flushDeletions();
    EXPECT_EQ(Forms::loaded<FrmIni>(), nullptr);

    w.TxtQuery()->setEditText(QStringLiteral("-甘草"));
    w.RunSearch();
    ASSERT_EQ(w.strMode, QStringLiteral("mod3"));
    w.Grd1()->setCurrentRow(0);
    EXPECT_EQ(Forms::loaded<FrmIni>(), nullptr) << "mode 3 does not show it";
    Forms::show<FrmIni>();
    w.Grd1()->setCurrentRow(1);
    flushDeletions();
    EXPECT_NE(Forms::loaded<FrmIni>(), nullptr) << "mode 3 does not unload it";
}

TEST_F(SearchWindowTest, UnloadDeletesTheTemporaryPage)
{
    makeCollection(herbs());
    loadWindow();
    ASSERT_TRUE(QFileInfo(tmpPageLocal()).isFile());
    Forms::unload<FrmVelmoraMain>();
    flushDeletions();
    EXPECT_FALSE(QFileInfo::exists(tmpPageLocal()));
    EXPECT_TRUE(QFileInfo(local("tmp")).isDir()) << "the folder stays";

    // Loaded again and closed by the user: the same.
    FrmVelmoraMain& again = showWindow();
    ASSERT_TRUE(QFileInfo(tmpPageLocal()).isFile());
    again.close();
    flushDeletions();
    EXPECT_EQ(Forms::loaded<FrmVelmoraMain>(), nullptr);
    EXPECT_FALSE(QFileInfo::exists(tmpPageLocal()));
}

// The tooltip names the row under the mouse, also on a scrolled list. The
// mouse moves come through the window, as the user's do.
TEST_F(SearchWindowTest, TooltipFollowsTheRowUnderTheMouse)
{
    makeNumberedCollection(200);
    FrmVelmoraMain& w = showWindow();
    ResultGrid& grid = *w.Grd1();
    // A move to where the mouse already is gives no event: x alternates.
    int moves = 0;
    auto moveTo = [&](QWidget* target, int y) { QTest::mouseMove(target, QPoint(20 + ++moves % 2, y)); };
    const int h = grid.rowHeight(0);
    ASSERT_GT(h, 0);

    moveTo(grid.viewport(), h / 2);
    EXPECT_EQ(grid.toolTipText(), QStringLiteral("標題00001"));
    moveTo(grid.viewport(), 3 * h + h / 3);
    EXPECT_EQ(grid.toolTipText(), QStringLiteral("標題00004"));
    moveTo(grid.horizontalHeader()->viewport(), h / 2);
    EXPECT_EQ(grid.toolTipText(), QStringLiteral(" 內容標題 或 查詢結果"));

    // Scrolled by 57 rows: row 58 is the first one below the header and row
    // 1's top lies 56 rows above the grid; the tooltip names the row under
    // the mouse.
    grid.verticalScrollBar()->setValue(57);
    ASSERT_EQ(grid.rowTopTwips(1), -56 * grid.rowHeightTwips(1));
    moveTo(grid.viewport(), h / 2);
    EXPECT_EQ(grid.toolTipText(), QStringLiteral("標題00058"));
    moveTo(grid.viewport(), 2 * h + h / 2);
    EXPECT_EQ(grid.toolTipText(), QStringLiteral("標題00060"));
    grid.verticalScrollBar()->setValue(100);
    moveTo(grid.viewport(), 2 * h + h / 2);
    EXPECT_EQ(grid.toolTipText(), QStringLiteral("標題00103")) << "it follows the scrolling";
    // x has no effect, over the hidden column neither.
    float x = 3510, y = float(twips(2 * h + h / 2 + h));
    w.ShowRowTip(x, y);
    EXPECT_EQ(grid.toolTipText(), QStringLiteral("標題00103"));
}

// Below the last row there is no row to name: no tooltip.
TEST_F(SearchWindowTest, TooltipIsEmptyBelowTheLastRow)
{
    makeCollection({{"唯一", "data\\a.htm", "甲", "1900-01-01", "<p>甲</p>"}});
    FrmVelmoraMain& w = showWindow();
    ResultGrid& grid = *w.Grd1();
    const float h = float(grid.rowHeightTwips(1));
    float x = 0, y = 1.5f * h;
    w.ShowRowTip(x, y);
    EXPECT_EQ(grid.toolTipText(), QStringLiteral("唯一"));
    y = 2.5f * h;
    w.ShowRowTip(x, y);
    EXPECT_EQ(grid.toolTipText(), QString()) << "row 2 does not exist";
    y = 0.5f * h;
    w.ShowRowTip(x, y);
    EXPECT_EQ(grid.toolTipText(), QStringLiteral(" 內容標題 或 查詢結果"));
    y = 0;
    w.ShowRowTip(x, y);
    EXPECT_EQ(grid.toolTipText(), QStringLiteral("唯一")) << "the very top counts as row 1";
}

// A title seen on one search never shows on the next: over the empty area
// below a short list there is no tooltip, over the header the header row's
// text. The mouse and the tooltip request come through the window.
TEST_F(SearchWindowTest, TooltipNeverShowsATitleOfAnotherSearch)
{
    makeCollection({{"人參湯", "data\\a.htm", "人參 甘草", "1900-01-03", "<p>人參 甘草</p>"},
                    {"甘草湯", "data\\b.htm", "甘草", "1900-01-02", "<p>甘草</p>"},
                    {"乾薑湯", "data\\c.htm", "乾薑 甘草", "1900-01-01", "<p>乾薑 甘草</p>"}});
    FrmVelmoraMain& w = showWindow();
    ResultGrid& grid = *w.Grd1();
    const int h = grid.rowHeight(0);
    // The tooltip Qt shows when the mouse rests at that point of the widget,
    // or "" when none comes up. A tooltip fades in and out, so the last one
    // is let go first.
    auto tipAt = [](QWidget* target, QPoint at, bool expectOne = true) {
        QToolTip::hideText();
        QTest::qWaitFor([] { return !QToolTip::isVisible(); }, 2000);
        QTest::mouseMove(target, at);
        QHelpEvent help(QEvent::ToolTip, at, target->mapToGlobal(at));
        QCoreApplication::sendEvent(target, &help);
        // The first tooltip takes a while to come up; none comes in far less.
        QTest::qWaitFor([] { return QToolTip::isVisible(); }, expectOne ? 3000 : 400);
        return QToolTip::isVisible() ? QToolTip::text() : QString();
    };

    EXPECT_EQ(tipAt(grid.viewport(), QPoint(20, h / 2)), QStringLiteral("人參湯"));
    QTest::mouseMove(grid.viewport(), QPoint(20, 2 * h + h / 2));
    EXPECT_EQ(grid.toolTipText(), QStringLiteral("乾薑湯"));

    w.TxtQuery()->setEditText(QStringLiteral("人參"));
    w.RunSearch();
    ASSERT_EQ(grid.rowCount(), 2);
    EXPECT_EQ(grid.toolTipText(), QString()) << "a new list starts without a tooltip";
    EXPECT_EQ(tipAt(grid.viewport(), QPoint(20, 2 * h + h / 2), false), QString()) << "below the only row";
    EXPECT_EQ(tipAt(grid.viewport(), QPoint(20, 5 * h), false), QString()) << "far below the only row";
    EXPECT_EQ(tipAt(grid.horizontalHeader()->viewport(), QPoint(20, h / 2)), QStringLiteral(" 內容標題 或 查詢結果"));
    EXPECT_EQ(tipAt(grid.viewport(), QPoint(20, h / 2)), QStringLiteral("人參湯"));
}

// The fixture's real Jet collection through the whole window.
TEST_F(SearchWindowTest, JetCollection)
{
    if (!requireFixtures())
        return;
    const QString source = fixture(QStringLiteral("jet4-install"));
    for (const QString& name : {QStringLiteral("jst.mdb"), QStringLiteral("Help.htm")})
        ASSERT_TRUE(QFile::copy(source + "/" + name, local(name)) || QFileInfo(local(name)).isFile());
    QDir(local("data")).removeRecursively();
    QDir().mkpath(local("data"));
    for (const QFileInfo& f : QDir(source + "/data").entryInfoList(QDir::Files))
        ASSERT_TRUE(QFile::copy(f.filePath(), local("data/" + f.fileName())));

    FrmVelmoraMain& w = showWindow();
    ASSERT_EQ(w.strMode, QStringLiteral("mod1"));
    EXPECT_GT(w.Grd1()->rowCount(), 2);
    w.TxtQuery()->setEditText(QStringLiteral("龍骨尾"));
    w.RunSearch();
    ASSERT_TRUE(messages.empty());
    EXPECT_EQ(w.Grd1()->rowCount(), 2);
    const QByteArray page = readLocal("tmp/TmpVORTAN.htm");
    EXPECT_TRUE(page.endsWith(Cp950::encode(QStringLiteral("<font color=red>龍骨尾</font>")))
                || page.contains(Cp950::encode(QStringLiteral("<font color=red>龍骨尾</font>"))));
}

// The real collection with one data page and one page of memo text lost:
// the window opens with every other document, says once what was lost, and
// searches as usual.
TEST_F(SearchWindowTest, DamagedCollectionOpensWithAWarningAndSearches)
{
    if (!requireFixtures())
        return;
    Database::setConvertedCopyFolder(dir.filePath(QStringLiteral("cache")));
    QByteArray bytes = readFile(fixture(QStringLiteral("tcm-sample/jst.mdb")));
    constexpr int kPage = 4096;
    int dataPage = 0, longValuePage = 0;
    for (int p = bytes.size() / kPage / 2; p < bytes.size() / kPage && !(dataPage && longValuePage); ++p) {
        const QByteArray head = bytes.mid(qsizetype(p) * kPage, 8);
        if (head[0] != 1)
            continue;
        if (head.mid(4) == "LVAL")
            longValuePage = longValuePage ? longValuePage : p;
        else if (head.mid(4) == QByteArray("\x18\0\0\0", 4)) // maindata's definition page
            dataPage = dataPage ? dataPage : p;
    }
    ASSERT_TRUE(dataPage && longValuePage);
    for (int p : {dataPage, longValuePage})
        bytes.replace(qsizetype(p) * kPage, kPage, QByteArray(kPage, '\0'));
    writeFile(local(QStringLiteral("jst.mdb")), bytes);

    FrmVelmoraMain& w = loadWindow();
    ASSERT_EQ(messages.size(), 1u);
    const QString warning = messages.front().text;
    // In the window's own Chinese, the file named with native separators.
    EXPECT_TRUE(warning.startsWith(QStringLiteral("資料庫「") + QDir(folder).absolutePath() + QStringLiteral("/jst.mdb」已損壞")))
        << warning.toStdString();
    EXPECT_TRUE(warning.contains(QStringLiteral("受影響的篇章共"))) << warning.toStdString();
    EXPECT_TRUE(warning.contains(QStringLiteral("篇無法讀取，不在任何搜尋之中"))) << warning.toStdString();
    EXPECT_FALSE(warning.contains(QLatin1Char('\\'))) << warning.toStdString();
    const int everything = w.Grd1()->rowCount();
    EXPECT_GT(everything, 14700);
    EXPECT_LT(everything, 14812);

    // Of the documents the sound collection finds, only those on the lost
    // data page may be missing (it held 40 rows).
    const auto sound = executeSearch(
        modVelmora::connectionStringFor(QFileInfo(fixture(QStringLiteral("tcm-sample/jst.mdb"))).absolutePath()),
        composeQuery(QStringLiteral("甘草")).sql);
    ASSERT_TRUE(sound);
    w.TxtQuery()->setEditText(QStringLiteral("甘草"));
    w.RunSearch();
    EXPECT_LE(w.Grd1()->rowCount() - 1, sound->rowCount());
    EXPECT_GE(w.Grd1()->rowCount() - 1, sound->rowCount() - 40);
    w.TxtQuery()->setEditText(QString());
    w.RunSearch();
    EXPECT_EQ(w.Grd1()->rowCount(), everything);
    EXPECT_EQ(messages.size(), 1u) << "the warning is said once per opening of the file";
    Database::setConvertedCopyFolder(ConvertedCopy::defaultFolder());
}
