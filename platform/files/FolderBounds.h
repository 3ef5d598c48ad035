// Whether a file lies inside a folder, asked of the file system rather than of
// the spelling: a collection may carry names with "..", names whose "\" become
// folder separators here, and symbolic links that lead anywhere. Every "..",
// "." and link is resolved before the answer is given, so a page, a picture or
// a document path of a collection can never lead out of it.
#pragma once

#include <QString>

namespace Orvanta::FolderBounds {

// The file `localPath` names with every "..", "." and symbolic link resolved;
// empty when it does not exist or the name cannot be a file name (a NUL).
QString resolved(const QString& localPath);

// True when `localPath` exists and, resolved, lies below `localFolder`
// resolved. The folder itself does not lie within itself.
bool liesWithin(const QString& localPath, const QString& localFolder);

// True when `localPath` names a folder that is a folder itself, not a
// symbolic link to one.
bool isPlainFolder(const QString& localPath);

} // namespace Orvanta::FolderBounds
