#include "platform/files/FolderBounds.h"

#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

namespace Orvanta::FolderBounds {

QString resolved(const QString& localPath)
{
    // A NUL would end the name the system sees before the name we checked.
    if (localPath.isEmpty() || localPath.contains(QChar(u'\0')))
        return {};
    return QFileInfo(localPath).canonicalFilePath();
}

bool liesWithin(const QString& localPath, const QString& localFolder)
{
    const QString file = resolved(localPath);
    const QString folder = resolved(localFolder);
    if (file.isEmpty() || folder.isEmpty())
        return false;
    const QString prefix = folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
    return file.size() > prefix.size() && file.startsWith(prefix);
}

bool isPlainFolder(const QString& localPath)
{
    if (localPath.isEmpty() || localPath.contains(QChar(u'\0')))
        return false;
    QString name = localPath;
    while (name.size() > 1 && name.endsWith(QLatin1Char('/')))
        name.chop(1); // a trailing "/" would have the link followed
    struct stat st {};
    return ::lstat(QFile::encodeName(name).constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

} // namespace Orvanta::FolderBounds
