// The start screen's one link to the search window, kept apart so that the
// start screen does not depend on the search window's header.
#pragma once

namespace Orvanta {

// Shows the search window, loading it first when it is not loaded.
void showSearchWindow();

} // namespace Orvanta
