// What the folder list shows for a path: the folders from the root down to
// the path, one per level, then the path's subfolders.
#pragma once

#include <QString>
#include <QStringList>

namespace Orvanta::FolderTree {

// The absolute, cleaned form of a folder path ("/" for the root, no trailing
// separator otherwise).
QString normalize(const QString& folder);

// "/", "/home", "/home/user" for "/home/user".
QStringList levels(const QString& folder);

// The levels from a drive's root down: "/media/usb", "/media/usb/books" for
// "/media/usb/books" on the drive "/media/usb". A folder that does not lie
// below `root` gets the levels from "/".
QStringList levels(const QString& folder, const QString& root);

// The full paths of the folders directly in `folder`, hidden ones left out,
// in name order ignoring letter case. An unreadable folder has none.
QStringList subfolders(const QString& folder);

// The name shown for a level or subfolder: its last component, "/" for the root.
QString displayName(const QString& folder);

} // namespace Orvanta::FolderTree
