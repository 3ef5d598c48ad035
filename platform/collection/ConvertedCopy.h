// The converted copy of a Jet file kept on disk between program starts: an
// SQLite file in the user's cache folder with the layout of a collection that
// orvanta-build writes (see CollectionLayout.h). It is opened in place,
// read-only and memory-mapped, as a built collection is: a later start reads
// only the pages its searches touch, and the copy costs the program no memory
// of its own.
//
// A copy is named after the Jet file's identity (path, size, modification
// and change times, inode; see FileIdentity.h), the copy's format version and
// the program that converted it (the Jet reader's own identity), and holds
// the path, size, version and converter inside, with a hash of the Jet file's
// content. A copy of an older or other file, one made by another build, and
// one that is cut, zeroed or not ours is removed and made again, never served.
// Every page of a copy carries a checksum (PageChecksums.h): a page damaged
// on disk fails its read, and the copy is made again.
//
// A copy is written under a temporary name that carries the writer's process
// id and renamed when complete: two programs converting the same file at once
// each leave a whole copy, and a program killed midway leaves only a temporary
// file, which the next program clears away. Any trouble with the folder (full
// disk, no permission) only means the Jet file is read into memory instead.
#pragma once

#include "platform/collection/FileIdentity.h"

#include <QString>

#include <functional>

struct sqlite3;

namespace Orvanta::ConvertedCopy {

// Changes whenever the reading of Jet files or the layout changes what the
// copy holds; copies of other versions are made again.
// 2: a copy of a damaged file holds what was lost (DamageReport).
// 3: read in place, with a collection's layout.
// 4: every page carries a checksum; named by the change time too.
constexpr int FormatVersion = 4;

// How large the folder may grow, all copies together, unless set otherwise
// (by the environment variable ORVANTA_CACHE_LIMIT, in bytes).
constexpr qint64 DefaultLimitBytes = qint64(2) << 30;
qint64 defaultLimit();

// $XDG_CACHE_HOME/orvanta (by default ~/.cache/orvanta).
QString defaultFolder();

// The file a valid copy of `source` made by `converter` has in `folder`.
QString pathFor(const QString& folder, const FileIdentity& source, const QString& converter);

// A read-only connection to the copy of `source`, or nullptr when `folder`
// holds no valid one (an invalid one is removed). Marks the copy used.
sqlite3* open(const QString& folder, const FileIdentity& source, const QString& converter);

// The copy of an earlier identity of the same file whose content the file
// still has (only its times or inode moved: a chmod, a file copied back from a
// backup), given the name of `source` and opened as open() does; nullptr when
// there is none. Hashes the Jet file at `localPath` when a copy of the same
// path and size is there.
sqlite3* adopt(const QString& folder, const FileIdentity& source, const QString& converter, const QString& localPath);

// A copy being written: its database starts empty, with the page size set.
// Unless committed, the temporary file is removed when the writer goes.
class Writer {
public:
    Writer(const QString& folder, const FileIdentity& source, const QString& converter);
    ~Writer();
    Writer(const Writer&) = delete;
    Writer& operator=(const Writer&) = delete;

    // Null when the temporary file could not be made.
    sqlite3* db() const { return m_db; }

    // Marks the copy as ours and complete, closes it and gives it its name.
    // False when that failed; nothing is left behind then.
    bool commit();

private:
    void discard();

    QString m_folder;
    QString m_key;
    QString m_source;
    QString m_temporary;
    QString m_final;
    sqlite3* m_db = nullptr;
};

// Adds the content index (ContentIndex.h) to the valid copy at `path`: builds
// it in a copy of the file under a temporary name and renames that over it
// when complete, so that a program reading the copy meanwhile reads on
// undisturbed. `keepGoing` is asked now and then; false stops the build.
// Unless Added, the copy is left as it was; NoRoom says that the disk (or
// the folder's file system) was full.
enum class IndexOutcome { Added, Stopped, NoRoom, Failed };
IndexOutcome addContentIndex(const QString& path, const std::function<bool()>& keepGoing);

// The source file the copy at `path` was made from; empty when the file is
// no copy of ours (or not of this version).
QString sourceOf(const QString& path);

// Keeps `folder` within `limitBytes`: removes temporary files of programs
// that are gone, copies of files that no longer exist, older copies of the
// file `inUse` names and, from the least recently used on, copies until the
// rest fit. `inUse` (a copy a connection has open) goes last, and only when
// it alone is larger than the limit; an open connection reads on.
// (CopyFolder.cpp)
void tidy(const QString& folder, qint64 limitBytes, const QString& inUse = {});

} // namespace Orvanta::ConvertedCopy
