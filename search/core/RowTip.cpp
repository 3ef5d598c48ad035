#include "search/core/RowTip.h"

#include "platform/Error.h"

#include <cfenv>
#include <cmath>
#include <cstdlib>

namespace Orvanta {
namespace {

// The classic "Division by zero" run-time error; the shared code table has no
// name for it because nothing else can divide by zero.
constexpr int DivisionByZero = 11;

// The widest v whose rounding and the following +1 still fit in 64 bits.
constexpr double MaxMagnitude = 9.0e18;

} // namespace

int64_t rowTipRow(int rowHeight, int rowTop, float y)
{
    if (rowHeight == 0)
        throw Error(DivisionByZero, QStringLiteral("Division by zero"));

    const double h = rowHeight;
    const double p = rowTop;
    const double yd = static_cast<double>(y);

    // Two formulas, chosen by whether row 1 starts below one row height from
    // the top edge (the unscrolled list, whose header row is as high as row 1).
    // For a scrolled list the half row is taken off, not added: with "+ h / 2"
    // the tooltip named the row below the one under the mouse on every
    // scrolled list. Both formulas agree where the row top equals the height.
    double v;
    if (rowTop >= rowHeight)
        v = (-h * 1.5 + yd) / h;
    else
        v = (-h / 2.0 - p + yd) / h; // h / 2 keeps the half

    if (!std::isfinite(v) || std::fabs(v) > MaxMagnitude)
        throw Error(ErrorCode::Overflow, QStringLiteral("Overflow"));

    // Round half to even, whatever rounding mode someone else may have left.
    const int saved = std::fegetround();
    std::fesetround(FE_TONEAREST);
    const double c = std::nearbyint(v);
    std::fesetround(saved);

    return std::llabs(static_cast<long long>(c) + 1);
}

} // namespace Orvanta
