#include "platform/ui/Launcher.h"

#include "platform/Error.h"
#include "platform/files/Paths.h"

#include <QCoreApplication>
#include <QProcess>
#include <QStandardPaths>

namespace Orvanta::Launcher {

namespace {

Function& launcher()
{
    static Function f;
    return f;
}

// xdg-open hands the file to whatever browser the desktop prefers. Its
// status comes through the event loop, so the window never waits on it; the
// process object goes when it ends. A browser xdg-open runs in its place
// ends it only when the browser closes, and then it is no failure.
void desktopLaunch(const QString& localPath, const Failure& failed)
{
    const QString program = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    if (program.isEmpty())
        throw Error(ErrorCode::FileNotFound, QStringLiteral("File not found"));
    auto* process = new QProcess(QCoreApplication::instance());
    process->setProgram(program);
    process->setArguments({localPath});
    process->setStandardInputFile(QProcess::nullDevice());
    process->setProcessChannelMode(QProcess::ForwardedChannels);
    QObject::connect(process, &QProcess::finished, process, [process, failed](int code, QProcess::ExitStatus how) {
        if (failed && (how != QProcess::NormalExit || code != 0))
            failed(how == QProcess::NormalExit ? code : -1);
        process->deleteLater();
    });
    QObject::connect(process, &QProcess::errorOccurred, process, [process, failed](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart)
            return;
        if (failed)
            failed(-1);
        process->deleteLater();
    });
    process->start();
}

} // namespace

void setLauncher(Function f)
{
    launcher() = std::move(f);
}

void openInBrowser(const QString& systemPath, Failure failed)
{
    const QString local = Paths::toLocal(systemPath);
    if (launcher())
        launcher()(local);
    else
        desktopLaunch(local, failed);
}

} // namespace Orvanta::Launcher
