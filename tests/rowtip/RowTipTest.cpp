#include "search/core/RowTip.h"

#include "platform/Error.h"

#include <gtest/gtest.h>

#include <cfenv>
#include <cstdint>
#include <limits>

using namespace Orvanta;

namespace {

struct Case {
    int height;
    int top;
    float y;
    int64_t row;
    const char* why;
};

void expectRows(const std::vector<Case>& cases)
{
    for (const Case& c : cases) {
        EXPECT_EQ(rowTipRow(c.height, c.top, c.y), c.row)
            << "h=" << c.height << " p=" << c.top << " y=" << c.y << ": " << c.why;
    }
}

} // namespace

// Header row and row 1 both 300 twips high; row k spans 300k to 300(k + 1).
TEST(RowTip, UnscrolledListWithEqualRows)
{
    expectRows({
        {300, 300, 450.0f, 1, "middle of row 1"},
        {300, 300, 700.0f, 2, "v = 0.8333 rounds to 1"},
        {300, 300, 100.0f, 0, "header row"},
        {300, 300, 0.0f, 1, "very top: v = -1.5 rounds to -2, |-2 + 1| = 1"},
        {300, 300, 600.0f, 1, "top edge of row 2: v = 0.5 rounds to 0"},
        {300, 300, 900.0f, 3, "top edge of row 3: v = 1.5 rounds to 2"},
        {300, 300, 300.0f * 2 + 150, 2, "300n + 150 with n = 2 gives n"},
        {300, 300, 300.0f * 5 + 150, 5, "300n + 150 with n = 5 gives n"},
        {300, 300, 299.0f, 0, "bottom of the header row"},
        {300, 300, 599.0f, 1, "bottom of row 1"},
        {300, 300, 1500.0f, 5, "v = 3.5 rounds to 4"},
        {300, 300, 1200.0f, 3, "v = 2.5 rounds to 2"},
    });
}

// The formula is chosen by comparing the row top with the row height: a top
// lower than one row height (a scrolled list) uses -h / 2 - p, so that the row
// named is the row under the mouse: scrolled by k rows, row 1's top is
// h - k * h and the first row below the header is row k + 1.
TEST(RowTip, ScrolledListNamesTheRowUnderTheMouse)
{
    expectRows({
        {300, 299, 450.0f, 1, "(450 - 299 - 150) / 300 = 0.0033 rounds to 0"},
        {300, 0, 150.0f, 1, "(150 - 150) / 300 = 0"},
        {300, 0, 450.0f, 2, "scrolled by one row: the first row below the header is row 2"},
        {300, 0, 0.0f, 1, "-0.5 rounds to 0"},
        {300, -150, 0.0f, 1, "(0 + 150 - 150) / 300 = 0"},
        {300, -30000, 450.0f, 102, "scrolled by 101 rows, first row below the header"},
        {300, -30000, 750.0f, 103, "second row below the header"},
        {300, -30000, 300.0f, 101, "v = 100.5 rounds to 100: the boundary goes up"},
        {300, -30000, 600.0f, 103, "v = 101.5 rounds to 102: the next boundary goes down"},
        {300, -30000, 0.0f, 101, "v = 99.5 rounds to 100"},
        {255, -1020, 0.0f, 5, "odd height keeps the half: (1020 - 127.5) / 255 = 3.5 rounds to 4"},
        {255, 0, 0.0f, 1, "(-127.5) / 255 = -0.5 rounds to 0"},
    });
}

TEST(RowTip, PositionsAboveTheListGiveTheAbsoluteValue)
{
    expectRows({
        {300, 300, -30000.0f, 101, "v = -101.5 rounds to -102, |-101|"},
        {300, 300, -150.0f, 1, "v = -2 gives |-1|"},
        {300, 300, -300.0f, 1, "v = -2.5 rounds to -2, |-1|"},
    });
}

// Lists of 140,000 rows: rows above 32,767 come out as ordinary numbers.
TEST(RowTip, RowsBeyondSixteenBits)
{
    expectRows({
        {300, 300, 12000000.0f, 39999, "v = 39998.5 rounds to 39998"},
        {300, 300, 12000300.0f, 40001, "v = 39999.5 rounds to 40000"},
        {300, 300, 9830550.0f, 32768, "v = 32767: the first row past the 16-bit range"},
        {300, 300, 42000000.0f, 139999, "v = 139998.5 rounds to 139998"},
        {300, -41000000, 450.0f, 136669, "scrolled far: 41000300 / 300 = 136667.67"},
    });
}

TEST(RowTip, RoundsHalfToEvenWhateverTheRoundingMode)
{
    const int saved = std::fegetround();
    for (int mode : {FE_UPWARD, FE_DOWNWARD, FE_TOWARDZERO}) {
        std::fesetround(mode);
        EXPECT_EQ(rowTipRow(300, 300, 600.0f), 1);
        EXPECT_EQ(rowTipRow(300, 300, 900.0f), 3);
        EXPECT_EQ(rowTipRow(300, 300, 0.0f), 1);
        EXPECT_EQ(rowTipRow(300, 300, 100.0f), 0);
        EXPECT_EQ(std::fegetround(), mode);
    }
    std::fesetround(saved);
}

TEST(RowTip, ImpossibleMetricsRaiseRunTimeErrors)
{
    try {
        rowTipRow(0, 300, 450.0f);
        FAIL() << "a zero row height must fail";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), 11);
    }
    try {
        rowTipRow(1, 300, std::numeric_limits<float>::max());
        FAIL() << "a position beyond any row number must fail";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), ErrorCode::Overflow);
    }
}
