// Long work on the user-interface thread says that it is still going, so that
// the program can show the user it is busy (a wait cursor). The work itself
// knows nothing of windows: it calls tick() now and then, and the program
// installs what a tick does.
#pragma once

namespace Orvanta::Progress {

using Hook = void (*)();

// What a tick does; none until the program installs one.
inline Hook hook = nullptr;

inline void tick()
{
    if (hook)
        hook();
}

} // namespace Orvanta::Progress
