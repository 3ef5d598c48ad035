#include "criteria/core/CriteriaFile.h"

#include "platform/Error.h"
#include "platform/files/LineReader.h"
#include "platform/text/Cp950.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <cstring>
#include <unistd.h>

namespace Orvanta::CriteriaFile {
namespace {

const QLatin1String CrLf("\r\n");

[[noreturn]] void fail(int number, const QString& what, const QString& path, const QString& detail = {})
{
    QString text = QStringLiteral("%1: %2").arg(what, path);
    if (!detail.isEmpty())
        text += QStringLiteral(" (%1)").arg(detail);
    throw Error(number, text);
}

[[noreturn]] void failWithErrno(const QString& path, int err, const QString& fallbackDetail)
{
    switch (err) {
    case ENOSPC:
    case EDQUOT:
    case EFBIG: // a file-size limit is the same thing to the user: no room
        fail(ErrorCode::DiskFull, QStringLiteral("Disk full"), path);
    case EACCES:
    case EPERM:
    case EROFS:
    case ETXTBSY:
        fail(ErrorCode::PermissionDenied, QStringLiteral("Permission denied"), path);
    case ENOENT:
    case ENOTDIR:
        fail(ErrorCode::PathNotFound, QStringLiteral("Path not found"), path);
    default:
        fail(ErrorCode::PathFileAccessError, QStringLiteral("Path/File access error"), path,
             err ? QString::fromLocal8Bit(std::strerror(err)) : fallbackDetail);
    }
}

// Read-only in the sense the user means it: no write permission bit at all.
// The bits are looked at directly because the superuser's open() would ignore
// them and overwrite the file anyway.
bool isReadOnly(const QFileInfo& info)
{
    // (WriteUser is left out: it reports what the running user may do.)
    const QFileDevice::Permissions writeBits =
        QFileDevice::WriteOwner | QFileDevice::WriteGroup | QFileDevice::WriteOther;
    return !(info.permissions() & writeBits) || !info.isWritable();
}

// Writes the bytes over the file's old content and cuts it to their length:
// the file keeps its inode, so its owner, permissions and hard links stay.
// Unlike a replacement, a failure part way leaves a mixed file.
void writeInPlace(const QString& path, const QByteArray& bytes)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        failWithErrno(path, errno, {});
    qsizetype written = 0;
    int err = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + written, size_t(bytes.size() - written));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            err = n < 0 ? errno : ENOSPC;
            break;
        }
        written += n;
    }
    if (err == 0 && ::ftruncate(fd, off_t(bytes.size())) != 0)
        err = errno;
    if (err == 0 && ::fsync(fd) != 0 && errno != EINVAL && errno != EROFS)
        err = errno;
    if (::close(fd) != 0 && err == 0)
        err = errno;
    if (err != 0)
        failWithErrno(path, err, {});
}

} // namespace

QString fullPath(const QString& folder, const QString& fileName)
{
    if (folder.endsWith(QLatin1Char('/')))
        return folder + fileName;
    return folder + QLatin1Char('/') + fileName;
}

QString load(const QString& path)
{
    const QFileInfo info(path);
    if (path.endsWith(QLatin1Char('/')) || info.isDir())
        fail(ErrorCode::PathFileAccessError, QStringLiteral("Path/File access error"), path);
    if (!info.exists()) {
        if (!QFileInfo(info.absolutePath()).isDir())
            fail(ErrorCode::PathNotFound, QStringLiteral("Path not found"), path);
        fail(ErrorCode::FileNotFound, QStringLiteral("File not found"), path);
    }

    QFile file(path);
    errno = 0;
    if (!file.open(QIODevice::ReadOnly)) {
        const int err = errno;
        failWithErrno(path, err, file.errorString());
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        fail(ErrorCode::PathFileAccessError, QStringLiteral("Path/File access error"), path, file.errorString());

    QString text;
    text.reserve(bytes.size() + bytes.size() / 16);
    LineReader reader(bytes);
    while (!reader.atEnd()) {
        text += reader.readLine();
        text += CrLf;
    }
    return text;
}

QByteArray fileBytes(const QString& text)
{
    QByteArray bytes = Cp950::encode(text);
    if (!bytes.isEmpty() && !bytes.endsWith("\r\n"))
        bytes.append("\r\n", 2);
    return bytes;
}

qsizetype unsavableCharacters(const QString& text)
{
    return Cp950::unmappableCount(text);
}

bool overwritesAnotherFile(const QString& selected, const QString& loaded)
{
    const QFileInfo target(selected);
    if (!target.isFile() || target.size() == 0)
        return false;
    if (loaded.isEmpty())
        return true;
    if (selected == loaded)
        return false;
    // The same file under another name (a link, "." or ".." in the path).
    const QFileInfo source(loaded);
    return !source.exists() || source.canonicalFilePath() != target.canonicalFilePath();
}

void save(const QString& path, const QString& text)
{
    // No file selected: the path names the folder.
    const QFileInfo info(path);
    if (path.isEmpty() || path.endsWith(QLatin1Char('/')) || info.isDir())
        fail(ErrorCode::PathFileAccessError, QStringLiteral("Path/File access error"), path);
    if (!QFileInfo(info.absolutePath()).isDir())
        fail(ErrorCode::PathNotFound, QStringLiteral("Path not found"), path);
    if (info.exists() && isReadOnly(info))
        fail(ErrorCode::PermissionDenied, QStringLiteral("Permission denied"), path);

    const QByteArray bytes = fileBytes(text);

    struct stat old {};
    const bool exists = ::stat(QFile::encodeName(path).constData(), &old) == 0 && S_ISREG(old.st_mode);
    // Replacing a file with other hard links would part it from them.
    if (exists && old.st_nlink > 1) {
        writeInPlace(path, bytes);
        return;
    }

    QSaveFile file(path);
    // A folder the user may not write holds no temporary file; the file
    // itself is then written directly.
    file.setDirectWriteFallback(true);
    errno = 0;
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        const int err = errno;
        failWithErrno(path, err, file.errorString());
    }
    struct stat now {};
    if (exists && ::fstat(file.handle(), &now) == 0 && (now.st_ino != old.st_ino || now.st_dev != old.st_dev)) {
        // The temporary file takes the old one's place: give it its owner
        // and permissions. Only the superuser may give a file away; anyone
        // else keeps the owner by writing into the old file.
        if ((now.st_uid != old.st_uid || now.st_gid != old.st_gid)
            && ::fchown(file.handle(), old.st_uid, old.st_gid) != 0) {
            file.cancelWriting();
            writeInPlace(path, bytes);
            return;
        }
        ::fchmod(file.handle(), old.st_mode & 07777);
    }
    errno = 0;
    if (file.write(bytes) != bytes.size()) {
        const int err = errno;
        file.cancelWriting();
        failWithErrno(path, err, file.errorString());
    }
    // On disk before the rename, so that a crash leaves either file whole.
    errno = 0;
    if (::fsync(file.handle()) != 0 && errno != EINVAL && errno != EROFS) {
        const int err = errno;
        file.cancelWriting();
        failWithErrno(path, err, file.errorString());
    }
    errno = 0;
    if (!file.commit()) {
        const int err = errno;
        failWithErrno(path, err, file.errorString());
    }
}

QStringList listFiles(const QString& folder)
{
    if (folder.isEmpty())
        return {};
    QDir dir(folder);
    dir.setNameFilters({QStringLiteral("*.txt"), QStringLiteral("*.set")});
    // Files only (symbolic links to files included), no hidden or system
    // entries; name filters ignore letter case unless asked otherwise.
    dir.setFilter(QDir::Files);
    dir.setSorting(QDir::Name | QDir::IgnoreCase);
    return dir.entryList();
}

} // namespace Orvanta::CriteriaFile
