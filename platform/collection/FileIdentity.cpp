#include "platform/collection/FileIdentity.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>

#define XXH_INLINE_ALL
#include <xxhash.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>

namespace Orvanta {

QString FileIdentity::key() const
{
    return QStringLiteral("%1\n%2\n%3\n%4\n%5\n%6")
        .arg(canonicalPath)
        .arg(size)
        .arg(mtimeNs)
        .arg(inode)
        .arg(device)
        .arg(ctimeNs);
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
    id.ctimeNs = int64_t(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
    id.inode = uint64_t(st.st_ino);
    id.device = uint64_t(st.st_dev);
    return id;
}

std::optional<QString> contentHashOf(const QString& localPath)
{
    const int fd = ::open(QFile::encodeName(localPath).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    std::unique_ptr<XXH3_state_t, decltype(&XXH3_freeState)> state(XXH3_createState(), XXH3_freeState);
    constexpr size_t BufferBytes = size_t(1) << 20;
    std::unique_ptr<char[]> buffer(new char[BufferBytes]);
    bool ok = state && XXH3_128bits_reset(state.get()) == XXH_OK;
    for (ssize_t got; ok && (got = ::read(fd, buffer.get(), BufferBytes)) != 0;) {
        if (got < 0) {
            ok = errno == EINTR;
            continue;
        }
        ok = XXH3_128bits_update(state.get(), buffer.get(), size_t(got)) == XXH_OK;
    }
    ::close(fd);
    if (!ok)
        return std::nullopt;
    const XXH128_hash_t hash = XXH3_128bits_digest(state.get());
    return QStringLiteral("%1%2").arg(hash.high64, 16, 16, QLatin1Char('0')).arg(hash.low64, 16, 16, QLatin1Char('0'));
}

} // namespace Orvanta
