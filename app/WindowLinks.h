// The links between windows that the windows cannot make themselves because
// of the way the layers run: the start screen's query button opens the search
// window, which is built on top of the start screen.
#pragma once

namespace Orvanta {

// Makes every link; the program start calls it before the first window.
void linkWindows();

} // namespace Orvanta
