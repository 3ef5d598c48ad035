#include "platform/files/FileSystem.h"

#include "platform/Error.h"
#include "platform/files/Paths.h"
#include "platform/text/Cp950.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>

namespace Orvanta::FileSystem {
namespace {

// Turns the reason a file could not be opened into the classic numbers.
[[noreturn]] void throwOpenError(const QString& path, int err)
{
    const QString local = Paths::toLocal(path);
    const QFileInfo info(local);
    if (info.isDir())
        throw Error(ErrorCode::PathFileAccessError, QStringLiteral("Path/File access error: %1").arg(path));
    switch (err) {
    case ENOENT:
        if (!QFileInfo(info.absolutePath()).isDir())
            throw Error(ErrorCode::PathNotFound, QStringLiteral("Path not found: %1").arg(path));
        throw Error(ErrorCode::FileNotFound, QStringLiteral("File not found: %1").arg(path));
    case ENOTDIR:
        throw Error(ErrorCode::PathNotFound, QStringLiteral("Path not found: %1").arg(path));
    case EACCES:
    case EPERM:
    case EROFS:
        throw Error(ErrorCode::PermissionDenied, QStringLiteral("Permission denied: %1").arg(path));
    case ENOSPC:
    case EDQUOT:
        throw Error(ErrorCode::DiskFull, QStringLiteral("Disk full: %1").arg(path));
    default:
        throw Error(ErrorCode::PathFileAccessError,
                    QStringLiteral("Path/File access error: %1 (%2)").arg(path, QString::fromLocal8Bit(std::strerror(err))));
    }
}

} // namespace

bool fileExists(const QString& path)
{
    const QFileInfo info(Paths::toLocal(path));
    return info.isFile() && !info.fileName().startsWith(QLatin1Char('.'));
}

bool folderExists(const QString& path)
{
    return QFileInfo(Paths::toLocal(path)).isDir();
}

void createFolder(const QString& path)
{
    const QString local = Paths::toLocal(path);
    if (!QDir().mkdir(local)) {
        if (QFileInfo(local).exists())
            throw Error(ErrorCode::PathFileAccessError, QStringLiteral("Path/File access error: %1").arg(path));
        throw Error(ErrorCode::PathNotFound, QStringLiteral("Path not found: %1").arg(path));
    }
}

QByteArray readBytes(const QString& path)
{
    const QString local = Paths::toLocal(path);
    if (QFileInfo(local).isDir())
        throwOpenError(path, EISDIR);
    QFile f(local);
    errno = 0;
    if (!f.open(QIODevice::ReadOnly))
        throwOpenError(path, errno ? errno : ENOENT);
    QByteArray data = f.readAll();
    if (f.error() != QFileDevice::NoError)
        throw Error(ErrorCode::PathFileAccessError, QStringLiteral("Path/File access error: %1").arg(path));
    return data;
}

QString readTextFile(const QString& path)
{
    return Cp950::decode(readBytes(path));
}

void writeBytes(const QString& path, const QByteArray& bytes)
{
    const QString local = Paths::toLocal(path);
    if (QFileInfo(local).isDir())
        throwOpenError(path, EISDIR);
    QFile f(local);
    errno = 0;
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throwOpenError(path, errno ? errno : EACCES);
    errno = 0;
    if (f.write(bytes) != bytes.size() || !f.flush())
        throwOpenError(path, errno ? errno : ENOSPC);
}

void writeTextFile(const QString& path, const QString& text)
{
    writeBytes(path, Cp950::encode(text));
}

void deleteFile(const QString& path)
{
    const QString local = Paths::toLocal(path);
    const QFileInfo info(local);
    if (!info.exists() && !info.isSymLink())
        throwOpenError(path, ENOENT);
    if (info.isDir())
        throwOpenError(path, EISDIR);
    errno = 0;
    if (!QFile::remove(local))
        throwOpenError(path, errno ? errno : EACCES);
}

} // namespace Orvanta::FileSystem
