#include "search/core/PrivatePage.h"

#include "platform/files/FileSystem.h"
#include "platform/files/Paths.h"

#include <QByteArrayMatcher>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QUrl>

#include <cerrno>
#include <limits>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Orvanta::PrivatePage {

namespace {

// The end of the first tag `<name ...>` (letter case ignored) within the
// first part of the page, where a browser still takes a base; -1 when none.
// Code page 950 never uses '<' or '>' as the second byte of a character, so
// the search over raw bytes cannot stop inside one.
qsizetype afterTag(const QByteArray& page, QByteArrayView name)
{
    const QByteArray lower = page.left(64 * 1024).toLower();
    qsizetype at = 0;
    while ((at = lower.indexOf('<', at)) >= 0) {
        const qsizetype nameEnd = at + 1 + name.size();
        if (lower.mid(at + 1, name.size()) == name && nameEnd < lower.size()) {
            const char next = lower.at(nameEnd);
            if (next == '>' || next == ' ' || next == '\t' || next == '\r' || next == '\n') {
                const qsizetype close = lower.indexOf('>', nameEnd);
                return close < 0 ? -1 : close + 1;
            }
        }
        ++at;
    }
    return -1;
}

// Where pages may go, in order: the runtime folder (memory, cleared at
// logout), else the cache folder.
QStringList candidateFolders()
{
    QStringList folders;
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QFileInfo(runtime).isDir())
        folders << QDir::cleanPath(runtime) + QStringLiteral("/orvanta");
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    if (!cache.isEmpty())
        folders << QDir::cleanPath(cache) + QStringLiteral("/orvanta-pages");
    return folders;
}

QString pageName(qint64 pid)
{
    return QStringLiteral("/TmpVORTAN-%1.htm").arg(pid);
}

// A folder itself (not a link to one) that belongs to this user.
bool isOurs(const QString& dir)
{
    struct stat st {};
    return ::lstat(QFile::encodeName(dir).constData(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid();
}

// Makes `dir` the user's own page folder: created readable by the user alone
// when missing; an existing one is taken only when it is ours, and closed to
// others if it was not.
bool claim(const QString& dir)
{
    const QByteArray name = QFile::encodeName(dir);
    QDir().mkpath(QFileInfo(dir).path());
    if (::mkdir(name.constData(), 0700) != 0 && errno != EEXIST)
        return false;
    if (!isOurs(dir))
        return false;
    struct stat st {};
    if (::lstat(name.constData(), &st) != 0)
        return false;
    return (st.st_mode & 07777) == 0700 || ::chmod(name.constData(), 0700) == 0;
}

} // namespace

QString folder()
{
    for (const QString& candidate : candidateFolders()) {
        if (claim(candidate))
            return candidate;
    }
    return {};
}

QString path()
{
    const QString dir = folder();
    return dir.isEmpty() ? QString() : dir + pageName(::getpid());
}

QByteArray withBase(const QByteArray& page, const QString& placeFile)
{
    const QByteArray base = "<base href=\"" + QUrl::fromLocalFile(placeFile).toEncoded() + "\">";

    // A page in UTF-16 gets the base in its own encoding, right after its
    // byte-order mark.
    const bool littleEndian = page.startsWith("\xFF\xFE");
    if (littleEndian || page.startsWith("\xFE\xFF")) {
        QByteArray wide;
        for (const char c : base) {
            wide.append(littleEndian ? c : '\0');
            wide.append(littleEndian ? '\0' : c);
        }
        return page.left(2) + wide + page.mid(2);
    }

    qsizetype at = afterTag(page, "head");
    if (at < 0)
        at = afterTag(page, "html");
    if (at < 0)
        at = afterTag(page, "!doctype");
    if (at < 0)
        at = page.startsWith("\xEF\xBB\xBF") ? 3 : 0; // after a UTF-8 byte-order mark
    QByteArray out = page;
    out.insert(at, base);
    return out;
}

QString write(const QByteArray& page, const QString& place) noexcept
{
    try {
        const QString target = path();
        if (target.isEmpty())
            return {};
        const QByteArray bytes = withBase(page, Paths::toLocal(place));
        // As the temporary page: whatever stands at the name goes, the new
        // page is made where nothing stands, and written while it is a file.
        FileSystem::removeEntry(target);
        FileSystem::createNewFile(target);
        FileSystem::overwriteFile(target, bytes);
        return target;
    } catch (...) {
        return {};
    }
}

void remove() noexcept
{
    try {
        for (const QString& candidate : candidateFolders()) {
            if (isOurs(candidate))
                FileSystem::removeEntry(candidate + pageName(::getpid()));
        }
    } catch (...) {
    }
}

void removeLeftovers() noexcept
{
    try {
        static const QRegularExpression name(QStringLiteral("^TmpVORTAN-([0-9]{1,10})\\.htm$"));
        for (const QString& candidate : candidateFolders()) {
            if (!isOurs(candidate))
                continue;
            const QStringList entries = QDir(candidate).entryList(QDir::Files | QDir::System | QDir::Hidden);
            for (const QString& entry : entries) {
                const QRegularExpressionMatch match = name.match(entry);
                bool ok = false;
                const qint64 pid = match.hasMatch() ? match.captured(1).toLongLong(&ok) : 0;
                if (!ok || pid <= 0 || pid > std::numeric_limits<pid_t>::max() || pid == ::getpid())
                    continue;
                // Only a process that is gone for certain: one that runs as
                // another user answers EPERM and keeps its page.
                if (::kill(pid_t(pid), 0) != 0 && errno == ESRCH)
                    FileSystem::removeEntry(candidate + QLatin1Char('/') + entry);
            }
        }
    } catch (...) {
    }
}

QString nowhereMessage(const QString& tmpFolder)
{
    return QStringLiteral("無法顯示文件：暫存頁面無法寫入。\n資料夾「%1」和使用者自己的暫存資料夾都無法寫入。")
        .arg(QDir::toNativeSeparators(tmpFolder));
}

} // namespace Orvanta::PrivatePage
