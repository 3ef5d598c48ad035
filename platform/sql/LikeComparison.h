// How the LIKEs of a statement compare text: exactly (case folded, as the
// LIKE always does) or with character variants folded too (the 異體字
// switch, VariantLike.h). A property of how a statement is run, never of its
// text: the same statement gives either result.
#pragma once

namespace Orvanta {

enum class LikeComparison { Exact, Variants };

} // namespace Orvanta
