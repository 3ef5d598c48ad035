// What makes a data source file "the same file" for the copies kept of it:
// its canonical path, size, modification time to the nanosecond and inode.
// A change of any of them means the copy must be made again.
#pragma once

#include <QString>

#include <cstdint>
#include <optional>

namespace Orvanta {

struct FileIdentity {
    QString canonicalPath;
    int64_t size = 0;
    int64_t mtimeNs = 0;
    uint64_t inode = 0;
    uint64_t device = 0;

    bool operator==(const FileIdentity&) const = default;
    // One line of text naming all of the above.
    QString key() const;
};

// The identity of the file at `localPath` (symbolic links followed), or
// nothing when it cannot be looked at.
std::optional<FileIdentity> identityOf(const QString& localPath);

} // namespace Orvanta
