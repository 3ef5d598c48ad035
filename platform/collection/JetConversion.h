// A Jet file made into a collection SQLite can search: its converted copy on
// disk when there is a valid one or one can be made, otherwise a copy in
// memory. When the copy on disk cannot be written (full disk, read-only
// folder), the file is read into memory instead: the search works, only the
// next start reads it again.
//
// An object rather than a function because a database opened from a Jet file
// keeps it: a copy found damaged later is made again with the same source,
// folder and limits.
#pragma once

#include "platform/collection/FileIdentity.h"
#include "platform/jet/DamageReport.h"

#include <QString>

struct sqlite3;

namespace Orvanta {

class LoadCounters;

class JetConversion {
public:
    struct Result {
        sqlite3* db = nullptr; // the caller's to close
        QString copyPath;      // the converted copy on disk it reads, if any
        DamageReport damage;
    };

    // Copies are kept in `folder` (none when empty), for files of at least
    // `minimumCopySource` bytes, the folder within `limitBytes`.
    JetConversion(const QString& localPath, const FileIdentity& source, const QString& folder,
                  qint64 minimumCopySource, qint64 limitBytes, LoadCounters& counters);

    // Throws Orvanta::Error.
    Result run() const;

    const QString& localPath() const { return m_localPath; }
    const FileIdentity& source() const { return m_source; }
    const QString& folder() const { return m_folder; }
    qint64 limitBytes() const { return m_limitBytes; }

    // What converts Jet files: the reader program, by its identity, so that a
    // rebuilt reader makes its own copies.
    static QString converterKey();

private:
    DamageReport convertInto(sqlite3* db) const;

    QString m_localPath;
    FileIdentity m_source;
    QString m_folder;
    qint64 m_minimumCopySource;
    qint64 m_limitBytes;
    LoadCounters* m_counters;
};

} // namespace Orvanta
