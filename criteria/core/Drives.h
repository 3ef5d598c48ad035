// The "drives" of this platform: the mounted file systems a user keeps files
// on (the root, removable media, other disks), each named by its mount point.
// The process's current folder lies on one of them; each drive remembers the
// last folder the process used on it, as drive letters do elsewhere.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace Orvanta::Drives {

// Mount points from the text of /proc/mounts: "/" first, then the others in
// name order, each once; kernel and virtual file systems (proc, sysfs,
// cgroup, devpts, ...) and everything below /proc, /sys, /dev and /run
// (except /run/media, where removable media appear) left out.
QStringList parseMounts(const QByteArray& procMounts);

// The drives of this machine now (mount points that are folders).
QStringList mounted();

// The drive that holds `path`: the longest mount point that contains it.
QString driveOf(const QString& path, const QStringList& drives);

// Where a drive's folder list starts: the process's current folder when it is
// on that drive, else the last folder used on that drive while it still
// exists, else the drive's root.
QString currentFolderOn(const QString& drive, const QStringList& drives);

// Makes `folder` the process's current folder and remembers it for its drive.
// Throws Orvanta::Error (PathNotFound) when it cannot be entered.
void setCurrentFolder(const QString& folder);

} // namespace Orvanta::Drives
