#include "platform/db/FileIdentity.h"

#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

namespace Orvanta {

QString FileIdentity::key() const
{
    return QStringLiteral("%1\n%2\n%3\n%4\n%5")
        .arg(canonicalPath)
        .arg(size)
        .arg(mtimeNs)
        .arg(inode)
        .arg(device);
}

std::optional<FileIdentity> identityOf(const QString& localPath)
{
    struct stat st {};
    if (::stat(QFile::encodeName(localPath).constData(), &st) != 0)
        return std::nullopt;
    FileIdentity id;
    id.canonicalPath = QFileInfo(localPath).canonicalFilePath();
    if (id.canonicalPath.isEmpty())
        id.canonicalPath = QFileInfo(localPath).absoluteFilePath();
    id.size = int64_t(st.st_size);
    id.mtimeNs = int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    id.inode = uint64_t(st.st_ino);
    id.device = uint64_t(st.st_dev);
    return id;
}

} // namespace Orvanta
