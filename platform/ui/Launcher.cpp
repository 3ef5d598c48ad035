#include "platform/ui/Launcher.h"

#include "platform/Error.h"
#include "platform/files/Paths.h"

#include <QProcess>

namespace Orvanta::Launcher {

namespace {

Function& launcher()
{
    static Function f;
    return f;
}

// xdg-open hands the file to whatever browser the desktop prefers.
void desktopLaunch(const QString& localPath)
{
    if (!QProcess::startDetached(QStringLiteral("xdg-open"), {localPath}))
        throw Error(ErrorCode::FileNotFound, QStringLiteral("File not found"));
}

} // namespace

void setLauncher(Function f)
{
    launcher() = std::move(f);
}

void openInBrowser(const QString& systemPath)
{
    const QString local = Paths::toLocal(systemPath);
    if (launcher())
        launcher()(local);
    else
        desktopLaunch(local);
}

} // namespace Orvanta::Launcher
