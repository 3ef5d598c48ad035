// Starting an external program without waiting: the desktop's browser for a
// local page. A test installs a recorder to see what would be opened.
#pragma once

#include <QString>

#include <functional>

namespace Orvanta::Launcher {

using Function = std::function<void(const QString& localPath)>;
// Told, later, that the browser could not show the page: the exit status of
// xdg-open (3: no browser found, 4: the browser failed, ...), or -1 when it
// did not run to its end.
using Failure = std::function<void(int status)>;

// Replaces the launch; an empty function restores the desktop launch.
void setLauncher(Function launcher);

// Opens the file at `systemPath` (a system path, see Paths.h) in the desktop's
// browser. The program does not wait: xdg-open's exit status is read when it
// comes, and a failure goes to `failed`. When xdg-open cannot be started at
// all the call fails with error 53 "File not found".
void openInBrowser(const QString& systemPath, Failure failed = {});

} // namespace Orvanta::Launcher
