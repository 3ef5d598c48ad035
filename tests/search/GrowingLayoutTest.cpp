// How the search window's controls take the room of a larger window, and
// which saved places can still be reached.
#include "search/core/GrowingLayout.h"

#include <gtest/gtest.h>

using namespace Orvanta;

namespace {

// The window's layout as the load step leaves it, in pixels.
const QSize kDesigned(800, 582);

GrowingLayout::Rects designed()
{
    GrowingLayout::Rects r;
    r.list = QRect(13, 80, 235, 475);
    r.view = QRect(255, 15, 533, 541);
    r.image = QRect(272, 40, 9, 9);
    r.belowList = QRect(16, 556, 100, 26);
    r.divider = GrowingLayout::designedDivider(r.list, r.view);
    return r;
}

} // namespace

TEST(GrowingLayout, TheDividerFillsTheGapBetweenListAndView)
{
    EXPECT_EQ(designed().divider, QRect(248, 15, 7, 541));
}

TEST(GrowingLayout, ListAndViewTakeTheRoom)
{
    struct Case {
        const char* what;
        QSize client;
        double share;
        QRect list, view, image, belowList, divider;
    };
    const Case cases[] = {
        {"designed size", kDesigned, 0.3, {13, 80, 235, 475}, {255, 15, 533, 541}, {272, 40, 9, 9},
         {16, 556, 100, 26}, {248, 15, 7, 541}},
        {"smaller than designed: cut off, not squeezed", {700, 500}, 0.3, {13, 80, 235, 475},
         {255, 15, 533, 541}, {272, 40, 9, 9}, {16, 556, 100, 26}, {248, 15, 7, 541}},
        {"taller only", {800, 682}, 0.3, {13, 80, 235, 575}, {255, 15, 533, 641}, {272, 40, 9, 9},
         {16, 656, 100, 26}, {248, 15, 7, 641}},
        {"wider, default share", {1800, 582}, 0.3, {13, 80, 535, 475}, {555, 15, 1233, 541},
         {572, 40, 9, 9}, {16, 556, 100, 26}, {548, 15, 7, 541}},
        {"wider, all to the view", {1800, 582}, 0.0, {13, 80, 235, 475}, {255, 15, 1533, 541},
         {272, 40, 9, 9}, {16, 556, 100, 26}, {248, 15, 7, 541}},
        {"wider, all to the list", {1800, 582}, 1.0, {13, 80, 1235, 475}, {1255, 15, 533, 541},
         {1272, 40, 9, 9}, {16, 556, 100, 26}, {1248, 15, 7, 541}},
        {"a share out of range is bounded", {1800, 582}, 7.0, {13, 80, 1235, 475}, {1255, 15, 533, 541},
         {1272, 40, 9, 9}, {16, 556, 100, 26}, {1248, 15, 7, 541}},
        {"maximised on 1920 x 1080", {1920, 1050}, 0.3, {13, 80, 571, 943}, {591, 15, 1317, 1009},
         {608, 40, 9, 9}, {16, 1024, 100, 26}, {584, 15, 7, 1009}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const GrowingLayout::Rects r = GrowingLayout::grown(designed(), kDesigned, c.client, c.share);
        EXPECT_EQ(r.list, c.list);
        EXPECT_EQ(r.view, c.view);
        EXPECT_EQ(r.image, c.image);
        EXPECT_EQ(r.belowList, c.belowList);
        EXPECT_EQ(r.divider, c.divider);
        // Nothing overlaps, and the view's right margin stays as designed.
        EXPECT_FALSE(r.list.intersects(r.view));
        EXPECT_FALSE(r.divider.intersects(r.list) || r.divider.intersects(r.view));
        if (c.client.width() >= kDesigned.width())
            EXPECT_EQ(c.client.width() - r.view.right(), kDesigned.width() - designed().view.right());
    }
}

TEST(GrowingLayout, DraggingTheDividerMovesOnlyTheExtraWidth)
{
    struct Case {
        const char* what;
        QSize client;
        double share;
        int dx;
        double after;
    };
    const Case cases[] = {
        {"no extra width: the divider stays", kDesigned, 0.3, 50, 0.3},
        {"to the right", {1800, 582}, 0.3, 200, 0.5},
        {"to the left", {1800, 582}, 0.3, -100, 0.2},
        {"not past the designed list", {1800, 582}, 0.3, -900, 0.0},
        {"not past the designed view", {1800, 582}, 0.3, 5000, 1.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_DOUBLE_EQ(GrowingLayout::shareAfterDrag(kDesigned, c.client, c.share, c.dx), c.after);
    }
}

TEST(GrowingLayout, ASavedPlaceMustBeReachable)
{
    const QList<QRect> oneScreen{{0, 0, 1920, 1050}};
    const QList<QRect> twoScreens{{0, 0, 1920, 1050}, {1920, 0, 1280, 1024}};
    struct Case {
        const char* what;
        QRect frame;
        QList<QRect> screens;
        bool reachable;
    };
    const Case cases[] = {
        {"on the screen", {100, 100, 900, 700}, oneScreen, true},
        {"at the top-left corner", {0, 0, 808, 607}, oneScreen, true},
        {"far right of the only screen", {4000, 100, 900, 700}, oneScreen, false},
        {"on the second screen", {2400, 100, 900, 700}, twoScreens, true},
        {"the second screen unplugged", {2400, 100, 900, 700}, oneScreen, false},
        {"above the screen: the title bar cannot be grabbed", {100, -300, 900, 290}, oneScreen, false},
        {"title bar just above the top edge", {100, -15, 900, 700}, oneScreen, false},
        {"only a sliver at the left edge", {-880, 100, 900, 700}, oneScreen, false},
        {"most of it off the left edge, title still there", {-800, 100, 900, 700}, oneScreen, true},
        {"below the screen", {100, 1100, 900, 700}, oneScreen, false},
        {"no screens at all", {100, 100, 900, 700}, {}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(GrowingLayout::reachable(c.frame, c.screens), c.reachable);
    }
}
