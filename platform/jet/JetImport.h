// Reading a Jet 3 or Jet 4 file (.mdb) into SQLite. The file is read by the
// Jet reader, a helper process beside the program, so that a damaged file can
// crash, hang or flood only the helper: it runs with bounded memory, CPU and
// wall time, and anything that goes wrong becomes an Orvanta::Error.
#pragma once

#include "platform/jet/DamageReport.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

struct sqlite3;

namespace Orvanta::JetImport {

struct Limits {
    qint64 memoryBytes = qint64(4) << 30;  // address space of the reader
    int cpuSeconds = 120;
    int wallSeconds = 180;
};

// True when the first bytes of a file carry a Jet 3 or Jet 4 signature.
bool looksLikeJet(QByteArrayView header);

// Path of the reader executable: beside the running program.
QString readerPath();

// Creates every user table of the Jet file (or only those named in `tables`,
// when not empty) in the open SQLite database `db`, with the same table and
// column names, and copies the rows in storage order (rowid follows it).
// Text and memo values come whole (never cut), as TEXT, NULL kept apart from
// ''; Jet 3 text is decoded from the file's code page; dates as TEXT
// 'YYYY-MM-DD HH:MM:SS' (years before 1900 included, so the text sorts as the
// dates do); integers as INTEGER, floating numbers and currency as REAL,
// booleans as 0/1, binary as BLOB.
// A damaged file whose list of tables and table definitions can be read is
// copied with every row that can be read; what was lost is returned and also
// written into `db` (see DamageReport.h). Throws Orvanta::Error; when writing
// to `db` failed (a full disk, an unwritable file), its number is DiskFull or
// PathFileAccessError. How the reader ended is counted in
// ReaderCounters::process().
DamageReport load(const QString& localPath, sqlite3* db, const QStringList& tables = {}, const Limits& limits = {});

} // namespace Orvanta::JetImport
