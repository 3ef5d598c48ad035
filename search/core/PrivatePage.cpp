#include "search/core/PrivatePage.h"

#include "platform/files/Paths.h"

#include <QByteArrayMatcher>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QUrl>

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

} // namespace

QString folder()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QFileInfo(runtime).isDir() && QFileInfo(runtime).isWritable())
        return runtime + QStringLiteral("/orvanta");
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) + QStringLiteral("/orvanta-pages");
}

QString path()
{
    return folder() + QStringLiteral("/TmpVORTAN-%1.htm").arg(::getpid());
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
        const QString dir = folder();
        // Readable by the user alone: the page shows what they read.
        if (!QDir().mkpath(dir))
            return {};
        QFile::setPermissions(dir, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        const QString target = path();
        QFile file(target);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return {};
        const QByteArray bytes = withBase(page, Paths::toLocal(place));
        if (file.write(bytes) != bytes.size() || !file.flush())
            return {};
        return target;
    } catch (...) {
        return {};
    }
}

void remove() noexcept
{
    try {
        QFile::remove(path());
    } catch (...) {
    }
}

} // namespace Orvanta::PrivatePage
