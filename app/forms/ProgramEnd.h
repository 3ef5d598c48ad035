// The program end: no window loaded and no handler running. Every guarded
// handler (see Handler.h) counts as running; the program start installs the
// action that ends the event loop, and without one (tests) nothing ends.
#pragma once

#include <functional>

namespace Orvanta::ProgramEnd {

void handlerEntered();
void handlerLeft();            // checks the rule when the last handler returns
int runningHandlers();
bool due();                    // no window loaded and no handler running
void setAction(std::function<void()> action);
void check();                  // runs the action when the end is due

} // namespace Orvanta::ProgramEnd
