#include "platform/files/Paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace Orvanta::Paths {

namespace {
QString& chosenInstallFolder()
{
    static QString folder;
    return folder;
}
} // namespace

void setInstallFolder(const QString& folder)
{
    chosenInstallFolder() = folder;
}

void setInstallFolderForTesting(const QString& folder)
{
    setInstallFolder(folder);
}

QString programFolder()
{
    if (QCoreApplication::instance())
        return QCoreApplication::applicationDirPath();
    // Before the application object exists (tools, early tests).
    return QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath().section(QLatin1Char('/'), 0, -2);
}

QString installFolder()
{
    if (!chosenInstallFolder().isEmpty())
        return chosenInstallFolder();
    return programFolder();
}

QString join(const QString& folder, const QString& relative)
{
    return folder + QLatin1Char('\\') + relative;
}

namespace {

// The entry of `dir` whose name equals `name` ignoring letter case; empty when
// there is none. An exact match is preferred by the caller before this runs.
QString findIgnoringCase(const QString& dir, const QString& name)
{
    QDir d(dir.isEmpty() ? QStringLiteral("/") : dir);
    const QStringList entries =
        d.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& e : entries) {
        if (e.compare(name, Qt::CaseInsensitive) == 0)
            return e;
    }
    return {};
}

} // namespace

QString toLocal(const QString& systemPath)
{
    QString path = systemPath;
    path.replace(QLatin1Char('\\'), QLatin1Char('/'));
    if (path.isEmpty() || QFileInfo::exists(path))
        return path;

    // Walk the components; keep empty ones (doubled separators) as they are.
    const QStringList parts = path.split(QLatin1Char('/'));
    QString built;
    bool resolving = true;
    for (int i = 0; i < parts.size(); ++i) {
        const QString& part = parts[i];
        QString next = i == 0 ? part : built + QLatin1Char('/') + part;
        if (resolving && !part.isEmpty() && part != QLatin1String(".") && part != QLatin1String("..")
            && !QFileInfo::exists(next)) {
            const QString parent = i == 0 ? QDir::currentPath() : built;
            const QString found = findIgnoringCase(parent, part);
            if (found.isEmpty())
                resolving = false;
            else
                next = i == 0 ? found : built + QLatin1Char('/') + found;
        }
        built = next;
    }
    return built;
}

QString shown(const QString& systemPath)
{
    QString path = systemPath;
    path.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return QDir::toNativeSeparators(path);
}

} // namespace Orvanta::Paths
