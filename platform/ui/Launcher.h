// Starting an external program without waiting: the desktop's browser for a
// local page. A test installs a recorder to see what would be opened.
#pragma once

#include <QString>

#include <functional>

namespace Orvanta::Launcher {

using Function = std::function<void(const QString& localPath)>;

// Replaces the launch; an empty function restores the desktop launch.
void setLauncher(Function launcher);

// Opens the file at `systemPath` (a system path, see Paths.h) in the desktop's
// browser. Detached: the program does not wait and keeps no handle. When the
// browser cannot be started at all the call fails with error 53
// "File not found".
void openInBrowser(const QString& systemPath);

} // namespace Orvanta::Launcher
