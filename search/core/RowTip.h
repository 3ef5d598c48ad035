// Which row of the result list lies under the mouse, by the list's row metrics.
#pragma once

#include <cstdint>

namespace Orvanta {

// rowHeight: height of row 1 in twips (never 0); rowTop: top of row 1 in twips
// from the list's top edge (negative when scrolled); y: mouse position in twips.
// Returns r, the row whose title the tooltip shows when r < row count.
// Computed in double precision with banker's rounding; no 16-bit limit.
int64_t rowTipRow(int rowHeight, int rowTop, float y);

} // namespace Orvanta
