// The result list on its own: rows and header, widths, the current cell and
// its notification, the grid's own keys, row metrics and the mouse position.
#include "platform/Error.h"
#include "platform/ui/ResultGrid.h"
#include "platform/ui/Twips.h"

#include <QHeaderView>
#include <QMouseEvent>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

using namespace Orvanta;

namespace {

std::shared_ptr<const ResultTable> table(int rows)
{
    auto t = std::make_shared<ResultTable>(QStringList{"subject", "htm"});
    t->reserve(rows);
    for (int i = 1; i <= rows; ++i) {
        t->appendCell(QStringLiteral("標題%1").arg(i));
        t->appendCell(QStringLiteral("data\\%1.htm").arg(i));
    }
    return t;
}

struct ShownGrid {
    QWidget window;
    ResultGrid* grid;
    ShownGrid()
    {
        window.resize(400, 500);
        grid = new ResultGrid(&window);
        grid->setGeometry(10, 10, 300, 400);
        window.show();
        window.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
    }
};

} // namespace

TEST(ResultGrid, DesignContentIsHeaderAndOneEmptyRow)
{
    ResultGrid grid;
    EXPECT_EQ(grid.rowCount(), 2);
    EXPECT_EQ(grid.columnCount(), 2);
    EXPECT_EQ(grid.currentRow(), 1);
    EXPECT_EQ(grid.currentColumn(), 0);
    EXPECT_EQ(grid.text(0, 0), QString());
    EXPECT_EQ(grid.text(1, 1), QString());
    grid.setHeaderText(0, QStringLiteral("內容標題 或 查詢結果"));
    EXPECT_EQ(grid.text(0, 0), QStringLiteral("內容標題 或 查詢結果"));
    EXPECT_EQ(grid.model()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("內容標題 或 查詢結果"));
}

TEST(ResultGrid, BindingReplacesRowsAndNamesTheColumns)
{
    ResultGrid grid;
    QSignalSpy changes(&grid, &ResultGrid::currentCellChanged);
    grid.bind(table(3));
    EXPECT_EQ(grid.rowCount(), 4);
    EXPECT_EQ(grid.text(0, 0), QStringLiteral("subject"));
    EXPECT_EQ(grid.text(0, 1), QStringLiteral("htm"));
    EXPECT_EQ(grid.text(1, 0), QStringLiteral("標題1"));
    EXPECT_EQ(grid.text(3, 1), QStringLiteral("data\\3.htm"));
    EXPECT_EQ(grid.text(4, 0), QString()) << "beyond the last row";
    EXPECT_EQ(grid.currentRow(), 1);
    EXPECT_EQ(grid.currentColumn(), 0);
    EXPECT_EQ(changes.count(), 0) << "binding itself raises no change";

    grid.bind(table(1));
    EXPECT_EQ(grid.rowCount(), 2);
}

TEST(ResultGrid, BindsALargeResultWithoutAnObjectPerCell)
{
    ResultGrid grid;
    grid.resize(235, 475);
    grid.bind(table(140000));
    EXPECT_EQ(grid.rowCount(), 140001);
    EXPECT_EQ(grid.text(140000, 0), QStringLiteral("標題140000"));
    grid.setCurrentRow(140000);
    EXPECT_EQ(grid.currentRow(), 140000);
    EXPECT_EQ(grid.rowHeightTwips(140000), grid.rowHeightTwips(1));
}

TEST(ResultGrid, ZeroWidthColumnIsHiddenButReadable)
{
    ResultGrid grid;
    grid.setColumnWidthTwips(0, 3500);
    grid.setColumnWidthTwips(1, 0);
    grid.bind(table(2));
    EXPECT_EQ(grid.columnWidth(0), px(3500)) << "widths survive a binding";
    EXPECT_EQ(grid.columnWidth(1), 0);
    EXPECT_EQ(grid.columnWidthTwips(0), 3500);
    EXPECT_EQ(grid.text(2, 1), QStringLiteral("data\\2.htm"));
}

TEST(ResultGrid, PlacementInTwips)
{
    QWidget parent;
    ResultGrid* grid = new ResultGrid(&parent);
    grid->setGeometry(px(240), px(1200), px(3375), px(7125));
    grid->setLeftTwips(200);
    grid->setWidthTwips(3520);
    EXPECT_EQ(grid->leftTwips(), 200);
    EXPECT_EQ(grid->x(), px(200));
    EXPECT_EQ(grid->width(), px(3520));
    EXPECT_EQ(grid->y(), px(1200)) << "the top stays";
    grid->setScrollBars(ResultGrid::ScrollBars::Vertical);
    EXPECT_EQ(grid->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    EXPECT_EQ(grid->verticalScrollBarPolicy(), Qt::ScrollBarAsNeeded);
}

// Setting a different row or column raises one notification; the same cell none.
TEST(ResultGrid, CurrentCellNotifications)
{
    ResultGrid grid;
    grid.bind(table(5));
    QSignalSpy changes(&grid, &ResultGrid::currentCellChanged);

    struct Step {
        const char* what;
        int row;    // -1: leave
        int column; // -1: leave
        int notifications;
        int expectRow;
        int expectColumn;
    };
    const std::vector<Step> steps = {
        {"same row", 1, -1, 0, 1, 0},
        {"other column", -1, 1, 1, 1, 1},
        {"same column", -1, 1, 0, 1, 1},
        {"other row keeps the column", 4, -1, 1, 4, 1},
        {"header row", 0, -1, 1, 0, 1},
        {"column while on the header", -1, 0, 1, 0, 0},
        {"back to a result row", 2, -1, 1, 2, 0},
    };
    for (const Step& s : steps) {
        changes.clear();
        if (s.row >= 0)
            grid.setCurrentRow(s.row);
        if (s.column >= 0)
            grid.setCurrentColumn(s.column);
        EXPECT_EQ(changes.count(), s.notifications) << s.what;
        EXPECT_EQ(grid.currentRow(), s.expectRow) << s.what;
        EXPECT_EQ(grid.currentColumn(), s.expectColumn) << s.what;
    }
}

TEST(ResultGrid, OutOfRangeCellsAreErrors)
{
    ResultGrid grid;
    grid.bind(table(2));
    EXPECT_THROW(grid.setCurrentRow(3), Error);
    EXPECT_THROW(grid.setCurrentRow(-1), Error);
    EXPECT_THROW(grid.setCurrentColumn(2), Error);
    EXPECT_THROW(grid.setHeaderText(2, "x"), Error);
    EXPECT_EQ(grid.currentRow(), 1);
}

// The grid's own keys and clicks move the current cell and notify.
TEST(ResultGrid, OwnKeysAndClicksMoveTheCurrentCell)
{
    ShownGrid shown;
    ResultGrid& grid = *shown.grid;
    grid.bind(table(100));
    grid.setFocus();
    ASSERT_TRUE(grid.hasFocus());
    QSignalSpy changes(&grid, &ResultGrid::currentCellChanged);

    QTest::keyClick(&grid, Qt::Key_Down);
    EXPECT_EQ(grid.currentRow(), 2);
    EXPECT_EQ(changes.count(), 1);

    QTest::keyClick(&grid, Qt::Key_PageDown);
    const int afterPage = grid.currentRow();
    EXPECT_GT(afterPage, 5);
    EXPECT_EQ(changes.count(), 2);

    QTest::keyClick(&grid, Qt::Key_PageUp);
    EXPECT_LT(grid.currentRow(), afterPage);
    EXPECT_EQ(changes.count(), 3);

    grid.setCurrentRow(1);
    changes.clear();
    QTest::keyClick(&grid, Qt::Key_Up);
    EXPECT_EQ(grid.currentRow(), 1) << "the header row is not reached by keys";
    EXPECT_EQ(changes.count(), 0);

    QTest::keyClick(&grid, Qt::Key_Right);
    EXPECT_EQ(grid.currentColumn(), 1) << "the zero-width column is still a cell";
    EXPECT_EQ(changes.count(), 1);

    const QRect third = grid.visualRect(grid.model()->index(2, 0));
    QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, third.center());
    EXPECT_EQ(grid.currentRow(), 3);
    EXPECT_EQ(changes.count(), 2);
}

// Every row has the header's height; row 1 starts one row below the grid's
// top and moves up (below zero) when the list scrolls.
TEST(ResultGrid, RowMetricsFollowScrolling)
{
    ShownGrid shown;
    ResultGrid& grid = *shown.grid;
    grid.bind(table(200));
    const int h = grid.rowHeightTwips(1);
    ASSERT_GT(h, 0);
    EXPECT_EQ(grid.rowHeightTwips(0), h);
    EXPECT_EQ(grid.rowHeightTwips(150), h);
    EXPECT_EQ(grid.rowTopTwips(0), 0);
    EXPECT_EQ(grid.rowTopTwips(1), h);
    EXPECT_EQ(grid.rowTopTwips(3), 3 * h);

    grid.verticalScrollBar()->setValue(10);
    EXPECT_EQ(grid.rowTopTwips(1), h - 10 * h);
    EXPECT_EQ(grid.rowTopTwips(11), h);
}

// Mouse positions come in twips from the top of the header row, over the
// header and over the rows alike.
TEST(ResultGrid, MouseMoveReportsTwips)
{
    ShownGrid shown;
    ResultGrid& grid = *shown.grid;
    grid.bind(table(20));
    QSignalSpy moves(&grid, &ResultGrid::gridMouseMove);
    const int headerPx = grid.horizontalHeader()->height();

    QMouseEvent overRow(QEvent::MouseMove, QPointF(7, 12), grid.viewport()->mapToGlobal(QPointF(7, 12)),
                        Qt::NoButton, Qt::NoButton, Qt::ShiftModifier);
    QCoreApplication::sendEvent(grid.viewport(), &overRow);
    ASSERT_EQ(moves.count(), 1);
    EXPECT_EQ(moves[0][0].toInt(), 0);
    EXPECT_EQ(moves[0][1].toInt(), int(Qt::ShiftModifier));
    EXPECT_FLOAT_EQ(moves[0][2].toFloat(), 7 * 15.0f);
    EXPECT_FLOAT_EQ(moves[0][3].toFloat(), (headerPx + 12) * 15.0f);

    // Through the window, as the mouse gives it: the header's viewport gets it.
    QTest::mouseMove(grid.horizontalHeader()->viewport(), QPoint(3, 4));
    ASSERT_EQ(moves.count(), 2);
    EXPECT_FLOAT_EQ(moves[1][3].toFloat(), 4 * 15.0f);
}

TEST(ResultGrid, ToolTipText)
{
    ResultGrid grid;
    grid.bind(table(2));
    EXPECT_EQ(grid.toolTipText(), QString());
    grid.setToolTipText(QStringLiteral("標題2"));
    EXPECT_EQ(grid.toolTipText(), QStringLiteral("標題2"));
    EXPECT_EQ(grid.toolTip(), QStringLiteral("標題2"));
    EXPECT_EQ(grid.model()->index(0, 0).data(Qt::ToolTipRole).toString(), QStringLiteral("標題2"))
        << "the cells show the grid's tooltip, not their own";
}

TEST(ResultGrid, VisibilityForFocus)
{
    QWidget window;
    ResultGrid* grid = new ResultGrid(&window);
    EXPECT_FALSE(grid->isVisibleForFocus()) << "window not shown";
    window.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
    EXPECT_TRUE(grid->isVisibleForFocus());
    grid->hide();
    EXPECT_FALSE(grid->isVisibleForFocus());
}

// The current cell in the zero-width column scrolls rows into view, never the
// titles aside.
TEST(ResultGrid, HiddenCurrentColumnDoesNotScrollSideways)
{
    ShownGrid shown;
    ResultGrid& grid = *shown.grid;
    grid.resize(px(3520), 300);
    grid.setColumnWidthTwips(0, 3500);
    grid.setColumnWidthTwips(1, 0);
    grid.setScrollBars(ResultGrid::ScrollBars::Vertical);
    grid.bind(table(100));
    grid.setCurrentColumn(1);
    grid.setCurrentRow(80);
    EXPECT_EQ(grid.horizontalScrollBar()->value(), 0);
    EXPECT_LT(grid.rowTopTwips(80), 300 * 15) << "the row is scrolled into view";
    EXPECT_GE(grid.rowTopTwips(80), grid.rowHeightTwips(0));
    grid.setFocus();
    QTest::keyClick(&grid, Qt::Key_Down);
    EXPECT_EQ(grid.currentColumn(), 1);
    EXPECT_EQ(grid.horizontalScrollBar()->value(), 0);
}
