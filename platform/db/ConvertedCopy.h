// The converted copy of a Jet file kept on disk between program starts: an
// SQLite file in the user's cache folder, named after the Jet file's identity
// (path, size, modification time, inode), the copy's format version and the
// program that converted it (the Jet reader's own identity), and holding all
// that inside as well, so that a copy of an older or other file, or one made
// by another build of the reader, can never be served. Written atomically; any trouble with it only means
// the Jet file is read again.
#pragma once

#include "platform/db/FileIdentity.h"

#include <QString>

struct sqlite3;

namespace Orvanta::ConvertedCopy {

// Changes whenever the reading of Jet files changes what the copy holds.
// 2: a copy of a damaged file holds what was lost (DamageReport).
constexpr int FormatVersion = 2;

// Copies kept in the folder at most (of different files, most recently used).
constexpr int MaxCopies = 8;

// $XDG_CACHE_HOME/orvanta (by default ~/.cache/orvanta).
QString defaultFolder();

// A new in-memory connection holding the copy of `source`, or nullptr when
// there is no valid copy in `folder`.
sqlite3* restore(const QString& folder, const FileIdentity& source, const QString& converter);

// `converter` names what made the copy; a copy made by another is not used.
// Writes the database `db` (the full in-memory copy of `source`) into
// `folder`, replacing copies of earlier versions of the same file and keeping
// only the most recently used copies. Returns false when it could not;
// nothing is left behind then.
bool store(const QString& folder, const FileIdentity& source, const QString& converter, sqlite3* db);

} // namespace Orvanta::ConvertedCopy
