// The folder of converted copies kept within its limit, apart from the
// copies themselves (ConvertedCopy.cpp): what is removed, and in what order.
#include "platform/collection/ConvertedCopy.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <csignal>

#include <unistd.h>

namespace Orvanta::ConvertedCopy {

namespace {

// A temporary file whose writer is alive is left alone unless it has not
// grown for this long.
constexpr qint64 AbandonedAfterSeconds = 3600;

bool processGone(qint64 pid)
{
    return pid > 0 && ::kill(pid_t(pid), 0) != 0 && errno == ESRCH;
}

} // namespace

void tidy(const QString& folder, qint64 limitBytes, const QString& inUse)
{
    if (folder.isEmpty())
        return;
    QDir dir(folder);
    const qint64 now = QDateTime::currentSecsSinceEpoch();

    // Temporary files of programs killed while they wrote a copy.
    const QFileInfoList temporaries =
        dir.entryInfoList({QStringLiteral(".*.tmp")}, QDir::Files | QDir::Hidden | QDir::System);
    for (const QFileInfo& entry : temporaries) {
        const QString name = entry.fileName();
        const QStringList parts = name.split(QLatin1Char('.'));
        bool isNumber = false;
        const qint64 pid = parts.size() >= 3 ? parts[parts.size() - 2].toLongLong(&isNumber) : 0;
        if (!isNumber || pid == ::getpid())
            continue;
        if (processGone(pid) || now - entry.lastModified().toSecsSinceEpoch() > AbandonedAfterSeconds)
            dir.remove(name);
    }

    const QString inUseName = QFileInfo(inUse).fileName();
    const QString inUsePrefix = inUseName.section(QLatin1Char('-'), 0, 0) + QLatin1Char('-');
    qint64 total = 0;
    QFileInfo inUseInfo;
    QFileInfoList candidates;
    // Most recently used first.
    for (const QFileInfo& entry : dir.entryInfoList({QStringLiteral("*.sqlite")}, QDir::Files, QDir::Time)) {
        if (!inUseName.isEmpty() && entry.fileName() == inUseName) {
            inUseInfo = entry;
            total += entry.size();
        } else if (!inUseName.isEmpty() && entry.fileName().startsWith(inUsePrefix)) {
            dir.remove(entry.fileName()); // an older copy of the file in use
        } else {
            candidates << entry;
        }
    }
    for (const QFileInfo& entry : candidates) {
        const QString source = sourceOf(entry.filePath());
        if (source.isEmpty() || !QFileInfo::exists(source) || total + entry.size() > limitBytes)
            dir.remove(entry.fileName());
        else
            total += entry.size();
    }
    if (inUseInfo.exists() && inUseInfo.size() > limitBytes)
        dir.remove(inUseName);
}

} // namespace Orvanta::ConvertedCopy
