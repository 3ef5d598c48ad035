#include "criteria/core/Drives.h"

#include "platform/Error.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>

#include <algorithm>

namespace Orvanta::Drives {
namespace {

bool isVirtualType(const QByteArray& type)
{
    static const QList<QByteArray> types = {
        "proc", "sysfs", "devtmpfs", "devpts", "cgroup", "cgroup2", "mqueue", "debugfs", "tracefs",
        "securityfs", "pstore", "bpf", "autofs", "configfs", "fusectl", "hugetlbfs", "binfmt_misc",
        "nsfs", "rpc_pipefs", "efivarfs", "selinuxfs", "fuse.gvfsd-fuse", "fuse.portal", "ramfs",
    };
    return types.contains(type);
}

bool isSystemPlace(const QString& mountPoint)
{
    if (mountPoint.startsWith(QLatin1String("/run/media/")))
        return false;
    for (const char* place : {"/proc", "/sys", "/dev", "/run"}) {
        const QLatin1String p(place);
        if (mountPoint == p || mountPoint.startsWith(p + QLatin1Char('/')))
            return true;
    }
    return false;
}

// /proc/mounts writes blanks, tabs, newlines and backslashes as \ooo.
QString unescape(const QByteArray& field)
{
    QByteArray out;
    out.reserve(field.size());
    for (qsizetype i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            bool ok = false;
            const int code = field.mid(i + 1, 3).toInt(&ok, 8);
            if (ok && code < 256) {
                out.append(char(code));
                i += 3;
                continue;
            }
        }
        out.append(field[i]);
    }
    return QFile::decodeName(out);
}

// Last folder used on each drive, for the life of the process.
QHash<QString, QString>& remembered()
{
    static QHash<QString, QString> folders;
    return folders;
}

bool contains(const QString& drive, const QString& path)
{
    if (drive == QLatin1String("/"))
        return path.startsWith(QLatin1Char('/'));
    return path == drive || path.startsWith(drive + QLatin1Char('/'));
}

} // namespace

QStringList parseMounts(const QByteArray& procMounts)
{
    QStringList drives;
    for (const QByteArray& line : procMounts.split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() < 3)
            continue;
        const QString mountPoint = unescape(fields[1]);
        if (!mountPoint.startsWith(QLatin1Char('/')) || isVirtualType(fields[2]) || isSystemPlace(mountPoint))
            continue;
        if (!drives.contains(mountPoint))
            drives.append(mountPoint);
    }
    if (!drives.contains(QStringLiteral("/")))
        drives.append(QStringLiteral("/"));
    std::sort(drives.begin(), drives.end(), [](const QString& a, const QString& b) {
        if (a == QLatin1String("/") || b == QLatin1String("/"))
            return a == QLatin1String("/") && b != QLatin1String("/");
        return a < b;
    });
    return drives;
}

QStringList mounted()
{
    QFile file(QStringLiteral("/proc/mounts"));
    QByteArray text;
    // A file of the kernel's: its size reads as 0, so read until the end.
    if (file.open(QIODevice::ReadOnly))
        text = file.readAll();
    QStringList drives = parseMounts(text);
    drives.erase(std::remove_if(drives.begin(), drives.end(),
                                [](const QString& d) { return !QFileInfo(d).isDir(); }),
                 drives.end());
    return drives;
}

QString driveOf(const QString& path, const QStringList& drives)
{
    const QString clean = QDir::cleanPath(path);
    QString best = QStringLiteral("/");
    for (const QString& d : drives) {
        if (contains(d, clean) && d.size() > best.size())
            best = d;
    }
    return best;
}

QString currentFolderOn(const QString& drive, const QStringList& drives)
{
    const QString current = QDir::currentPath();
    if (driveOf(current, drives) == drive)
        return current;
    const QString last = remembered().value(drive);
    if (!last.isEmpty() && driveOf(last, drives) == drive && QFileInfo(last).isDir())
        return last;
    return drive;
}

void setCurrentFolder(const QString& folder)
{
    const QStringList drives = mounted();
    // The drive being left keeps the folder it was at, however the process
    // got there.
    const QString leaving = QDir::currentPath();
    if (!leaving.isEmpty())
        remembered().insert(driveOf(leaving, drives), leaving);
    if (!QFileInfo(folder).isDir() || !QDir::setCurrent(folder))
        throw Error(ErrorCode::PathNotFound, QStringLiteral("Path not found: %1").arg(folder));
    const QString current = QDir::currentPath();
    remembered().insert(driveOf(current, drives), current);
}

} // namespace Orvanta::Drives
