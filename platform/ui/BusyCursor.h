// The wait cursor. Handlers run to their end on the user-interface thread, so
// nothing can interrupt one to change the cursor: long work calls
// Progress::tick(), and the first tick once the outermost handler has run for
// about 100 ms puts up the wait cursor. It goes when that handler returns, or
// when a message box waits for the user.
#pragma once

namespace Orvanta::BusyCursor {

// Makes Progress::tick() drive the wait cursor.
void install();

// Around every handler run; only the outermost one counts.
void handlerEntered();
void handlerLeft();

// A modal box is about to wait for the user: the cursor goes back to normal,
// and the clock starts again once the box is closed.
void interrupt();

// Whether the wait cursor is up.
bool shown();

// How long a handler runs before the wait cursor shows, in milliseconds.
constexpr int kDelayMs = 100;

} // namespace Orvanta::BusyCursor
