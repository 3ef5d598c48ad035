#include "platform/files/FileSystem.h"

#include "platform/Error.h"
#include "platform/files/Paths.h"
#include "platform/text/Cp950.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

void replaceFileWhole(const QString& path, const QByteArray& bytes)
{
    const QString local = Paths::toLocal(path);
    if (QFileInfo(local).isDir())
        throwOpenError(path, EISDIR);
    QSaveFile f(local);
    // Without this a folder that lets no new file in would be written to in
    // place, and a failure would leave half a file.
    f.setDirectWriteFallback(false);
    errno = 0;
    if (!f.open(QIODevice::WriteOnly))
        throwOpenError(path, errno ? errno : EACCES);
    errno = 0;
    if (f.write(bytes) != bytes.size()) {
        const int err = errno ? errno : ENOSPC;
        f.cancelWriting();
        throwOpenError(path, err);
    }
    errno = 0;
    if (!f.commit())
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

void removeEntry(const QString& path)
{
    const QByteArray local = QFile::encodeName(Paths::toLocal(path));
    struct stat st {};
    if (::lstat(local.constData(), &st) != 0) {
        if (errno == ENOENT)
            return;
        throwOpenError(path, errno);
    }
    if (S_ISDIR(st.st_mode))
        throwOpenError(path, EISDIR);
    if (::unlink(local.constData()) != 0)
        throwOpenError(path, errno);
}

void createNewFile(const QString& path)
{
    const QByteArray local = QFile::encodeName(Paths::toLocal(path));
    const int fd = ::open(local.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0)
        throwOpenError(path, errno);
    ::close(fd);
}

void overwriteFile(const QString& path, const QByteArray& bytes)
{
    const QByteArray local = QFile::encodeName(Paths::toLocal(path));
    // Non-blocking: a pipe planted at the name fails at once instead of
    // waiting for a reader; a plain file writes as ever.
    const int fd = ::open(local.constData(), O_WRONLY | O_TRUNC | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        throwOpenError(path, errno);
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        throwOpenError(path, EISDIR);
    }
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const int err = n < 0 ? errno : ENOSPC;
            ::close(fd);
            throwOpenError(path, err);
        }
        done += n;
    }
    if (::close(fd) != 0)
        throwOpenError(path, errno);
}

} // namespace Orvanta::FileSystem
