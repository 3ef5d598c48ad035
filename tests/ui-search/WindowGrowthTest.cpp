// The search window grows: every control in its designed place at the
// designed size, the list and the view taking the room beyond it, the
// divider between them, and the place the reader left restored at the next
// opening.
#include "SearchTestSupport.h"

#include "app/forms/Form.h"
#include "platform/ui/Divider.h"
#include "platform/ui/DocumentView.h"
#include "platform/ui/PictureButton.h"
#include "platform/ui/ResultGrid.h"
#include "platform/ui/Twips.h"
#include "search/FrmVelmoraMain.h"
#include "search/QueryBox.h"

#include <QCheckBox>
#include <QLabel>
#include <QSettings>
#include <QTest>

using namespace Orvanta;
using namespace Orvanta::Test;

namespace {

const QSize kDesignedClient(800, 582);

std::vector<Document> herbs()
{
    return {
        {"人參湯", "data\\a.htm", "人參 甘草 乾薑", "1900-01-03", "<p>人參 甘草 乾薑</p>"},
        {"甘草湯", "data\\b.htm", "甘草", "1900-01-02", "<p>甘草 甘草</p>"},
    };
}

QSettings saved()
{
    return QSettings(QStringLiteral("Tarsel"), QStringLiteral("Orvanta"));
}

struct Designed {
    const char* name;
    QWidget* (*control)(const FrmVelmoraMain&);
    QRect rect;
};

// Every control where the design and the load step put it.
const Designed kDesigned[] = {
    {"TxtQuery", [](const FrmVelmoraMain& w) -> QWidget* { return w.TxtQuery(); },
     QRect(px(200), px(240), px(3500), px(405))},
    {"Command1", [](const FrmVelmoraMain& w) -> QWidget* { return w.Command1(); }, pxRect(2630, 690, 1080, 480)},
    {"ct", [](const FrmVelmoraMain& w) -> QWidget* { return w.ct(); }, pxRect(238, 730, 1695, 375)},
    {"Grd1", [](const FrmVelmoraMain& w) -> QWidget* { return w.Grd1(); },
     QRect(px(200), px(1200), px(3520), px(7125))},
    {"LblDesc", [](const FrmVelmoraMain& w) -> QWidget* { return w.LblDesc(); }, pxRect(3830, 225, 8000, 8115)},
    {"imgBack", [](const FrmVelmoraMain& w) -> QWidget* { return w.imgBack(); }, pxRect(4080, 600, 135, 135)},
    {"ChkVariants", [](const FrmVelmoraMain& w) -> QWidget* { return w.ChkVariants(); }, pxRect(240, 8340, 1500, 390)},
};

void expectDesignedLayout(const FrmVelmoraMain& w)
{
    for (const Designed& d : kDesigned) {
        SCOPED_TRACE(d.name);
        EXPECT_EQ(d.control(w)->geometry(), d.rect);
    }
    EXPECT_EQ(w.Grd1()->columnWidthTwips(0), 3500);
    EXPECT_EQ(w.Grd1()->columnWidth(1), 0);
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Tarsel Orvanta-目錄瀏覽 & 關鍵字搜尋"));
    EXPECT_EQ(w.ct()->text(), counterText(1));
    EXPECT_EQ(w.ChkVariants()->text(), QStringLiteral("異體字"));
    // The divider lies in the gap between list and view, over no control.
    const QRect divider = w.divider()->geometry();
    EXPECT_EQ(divider, QRect(px(200) + px(3520), px(225), px(3830) - px(200) - px(3520), px(8115)));
    for (const Designed& d : kDesigned) {
        if (std::string(d.name) != "imgBack")
            EXPECT_FALSE(divider.intersects(d.control(w)->geometry())) << d.name;
    }
}

} // namespace

using WindowGrowth = SearchWindowTest;

TEST_F(WindowGrowth, AtTheDesignedSizeEveryControlKeepsItsPlace)
{
    makeCollection(herbs());
    FrmVelmoraMain& w = showWindow();
    // The outer size is the design's; a thinner frame than the design's
    // leaves the client area a few pixels larger.
    w.resize(kDesignedClient);
    ASSERT_EQ(w.size(), kDesignedClient);
    expectDesignedLayout(w);

    // Larger and back again: exactly the design once more.
    w.resize(1400, 1000);
    w.resize(kDesignedClient);
    expectDesignedLayout(w);
    // Smaller than designed: cut off, never squeezed.
    w.resize(600, 400);
    expectDesignedLayout(w);
}

TEST_F(WindowGrowth, ListAndViewTakeTheRoomBeyondIt)
{
    makeCollection(herbs());
    FrmVelmoraMain& w = showWindow();
    struct Case {
        QSize client;
        int listExtra; // the list's share of the extra width, 0.3 until the divider moves
    };
    const Case cases[] = {{{1300, 900}, 150}, {{800, 700}, 0}, {{1000, 582}, 60}, {{1920, 1050}, 336}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.client.width());
        w.resize(c.client);
        ASSERT_EQ(w.size(), c.client);
        const int dw = c.client.width() - 800, dh = c.client.height() - 582;
        // The top-left controls stay as designed.
        for (const Designed& d : kDesigned) {
            const std::string name = d.name;
            if (name == "TxtQuery" || name == "Command1" || name == "ct")
                EXPECT_EQ(d.control(w)->geometry(), d.rect) << name;
        }
        const QRect list = kDesigned[3].rect, view = kDesigned[4].rect, image = kDesigned[5].rect,
                    below = kDesigned[6].rect;
        EXPECT_EQ(w.Grd1()->geometry(), list.adjusted(0, 0, c.listExtra, dh));
        EXPECT_EQ(w.Grd1()->columnWidthTwips(0), 3500 + int(twips(c.listExtra))) << "titles show more";
        EXPECT_EQ(w.Grd1()->columnWidth(1), 0);
        EXPECT_EQ(w.LblDesc()->geometry(), view.adjusted(c.listExtra, 0, dw, dh));
        EXPECT_EQ(w.imgBack()->geometry(), image.translated(c.listExtra, 0)) << "still covered by the view";
        EXPECT_EQ(w.ChkVariants()->geometry(), below.translated(0, dh)) << "follows the bottom edge";
        // The view keeps its designed margins to the right and bottom edges.
        EXPECT_EQ(w.width() - w.LblDesc()->geometry().right(), 800 - view.right());
        EXPECT_EQ(w.height() - w.LblDesc()->geometry().bottom(), 582 - view.bottom());
    }
}

TEST_F(WindowGrowth, ThePanelsEdgeMovesOutWithTheWindow)
{
    makeCollection(herbs());
    FrmVelmoraMain& w = showWindow();
    const QImage picture = w.picture().toImage();
    ASSERT_FALSE(picture.isNull());
    const int pw = picture.width(), ph = picture.height();

    // At the designed size the picture is drawn as it is.
    w.resize(kDesignedClient);
    QImage shot = w.grab().toImage();
    for (const QPoint at : {QPoint(5, 5), QPoint(pw - 2, 5), QPoint(5, ph - 2)})
        EXPECT_EQ(shot.pixel(at), picture.pixel(at)) << at.x() << "," << at.y();

    // Grown: the bevel along the right and bottom edges is at the window's
    // edges, and the room between is the panel's own colour, not a seam.
    const QSize grown(1400, 1000);
    w.resize(grown);
    shot = w.grab().toImage();
    for (int k = 0; k < 6; ++k) {
        EXPECT_EQ(shot.pixel(grown.width() - 1 - k, 5), picture.pixel(pw - 1 - k, 5)) << "right edge " << k;
        EXPECT_EQ(shot.pixel(5, grown.height() - 1 - k), picture.pixel(5, ph - 1 - k)) << "bottom edge " << k;
    }
    for (const int x : {pw - 6, pw, pw + 100, grown.width() - 20})
        EXPECT_EQ(shot.pixel(x, 5), picture.pixel(pw - 7, 5)) << "top strip at " << x;
}

TEST_F(WindowGrowth, TheDividerMovesAndTheNextOpeningRestoresWhereTheWindowWasLeft)
{
    makeCollection(herbs());
    {
        FrmVelmoraMain& w = showWindow();
        w.move(40, 30);
        w.resize(1300, 900);
        QTest::qWait(20);
        // At the designed size it cannot move: the extra room is all it shares.
        Divider* divider = w.divider();
        const QPoint grip(divider->width() / 2, 200);
        QTest::mousePress(divider, Qt::LeftButton, {}, grip);
        QTest::mouseMove(divider, grip + QPoint(100, 0));
        QTest::mouseRelease(divider, Qt::LeftButton, {}, grip + QPoint(100, 0));
        EXPECT_DOUBLE_EQ(w.listShare(), 0.5);
        EXPECT_EQ(w.Grd1()->width(), px(3520) + 250);
        EXPECT_EQ(w.LblDesc()->x(), px(3830) + 250);
        EXPECT_EQ(w.divider()->x(), px(200) + px(3520) + 250);
        Forms::unload<FrmVelmoraMain>();
        flushDeletions();
    }
    EXPECT_EQ(saved().value("search/placement").toRect(), QRect(40, 30, 1300, 900));
    EXPECT_FALSE(saved().value("search/maximised").toBool());

    FrmVelmoraMain& again = showWindow();
    EXPECT_EQ(again.pos(), QPoint(40, 30));
    EXPECT_EQ(again.size(), QSize(1300, 900));
    EXPECT_DOUBLE_EQ(again.listShare(), 0.5);
    EXPECT_EQ(again.Grd1()->width(), px(3520) + 250);
    EXPECT_EQ(again.Grd1()->height(), px(7125) + 318);
}

TEST_F(WindowGrowth, SavedPlacesAreRestoredOnlyOntoAScreen)
{
    makeCollection(herbs());
    struct Case {
        const char* what;
        QVariant placement;
        bool maximised;
        QVariant divider;
        QPoint pos;
        QSize size;
        double share;
    };
    const Case cases[] = {
        {"first run: as the load step places it", {}, false, {}, {0, 0}, kDesignedClient, 0.3},
        {"on the screen", QRect(40, 30, 700, 500), false, 0.6, {40, 30}, {700, 500}, 0.6},
        {"larger than the screen, title bar on it", QRect(10, 10, 1500, 1200), false, 0.1, {10, 10},
         {1500, 1200}, 0.1},
        {"off every screen: the designed place", QRect(5000, 4000, 1000, 700), false, 0.6, {0, 0},
         kDesignedClient, 0.6},
        {"title bar above the screen: the designed place", QRect(100, -400, 1000, 390), false, {}, {0, 0},
         kDesignedClient, 0.3},
        {"a divider out of range is bounded", QRect(40, 30, 1000, 700), false, 9.0, {40, 30}, {1000, 700}, 1.0},
        {"a setting that is no rectangle", QStringLiteral("garbage"), false, QStringLiteral("x"), {0, 0},
         kDesignedClient, 0.3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        {
            QSettings s = saved();
            s.clear();
            if (c.placement.isValid())
                s.setValue("search/placement", c.placement);
            if (c.divider.isValid())
                s.setValue("search/divider", c.divider);
            s.setValue("search/maximised", c.maximised);
        }
        FrmVelmoraMain& w = loadWindow();
        EXPECT_EQ(w.pos(), c.pos);
        EXPECT_EQ(w.size(), c.size);
        EXPECT_DOUBLE_EQ(w.listShare(), c.share);
        EXPECT_FALSE(w.isMaximized());
        Forms::unload<FrmVelmoraMain>();
        flushDeletions();
    }
}

TEST_F(WindowGrowth, MaximisedStaysMaximisedAndRemembersItsNormalPlace)
{
    makeCollection(herbs());
    {
        FrmVelmoraMain& w = showWindow();
        w.move(50, 60);
        w.resize(700, 500);
        QTest::qWait(20);
        w.setWindowState(Qt::WindowMaximized);
        ASSERT_TRUE(QTest::qWaitFor([&] { return w.isMaximized(); }));
        Forms::unload<FrmVelmoraMain>();
        flushDeletions();
    }
    EXPECT_EQ(saved().value("search/placement").toRect(), QRect(50, 60, 700, 500));
    EXPECT_TRUE(saved().value("search/maximised").toBool());

    FrmVelmoraMain& w = showWindow();
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.isMaximized() && w.size() != QSize(700, 500); }));
    // The view fills the room right and below, with its designed margins.
    EXPECT_EQ(std::max(w.width(), 800) - w.LblDesc()->geometry().right(), 800 - kDesigned[4].rect.right());
    EXPECT_EQ(std::max(w.height(), 582) - w.LblDesc()->geometry().bottom(), 582 - kDesigned[4].rect.bottom());
}
