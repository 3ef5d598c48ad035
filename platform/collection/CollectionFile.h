// The file a connection names, as SQLite meets it: which kind of collection
// it holds (a Jet file or an SQLite file, told by its first bytes, never by
// its name), the identity its shared copy is kept under, and the settings
// and checks every connection to it gets.
#pragma once

#include "platform/collection/FileIdentity.h"

#include <QString>

struct sqlite3;

namespace Orvanta::CollectionFile {

enum class Kind { Jet, Sqlite };

// Throws Orvanta::Error for a file that is missing, not a regular file,
// unreadable, empty or of neither kind.
Kind kindOf(const QString& localPath, const QString& displayPath);

// The identity the shared copies are keyed on; a file gone since it was
// tested is reported as missing.
FileIdentity requireIdentity(const QString& localPath, const QString& displayPath);

// Settings every connection gets, whatever holds its data.
void configure(sqlite3* db);

// Changes whenever another connection commits to the file.
int dataVersion(sqlite3* db);

// Whether the collection has a table of documents: only such a Jet file
// gets a content index.
bool hasDocumentTable(sqlite3* db);

// An SQLite file opened read-only, configured and mapped, with its schema
// read (a damaged file shows there). Throws Orvanta::Error.
sqlite3* openSqlite(const QString& localPath, const QString& displayPath, int64_t size);

} // namespace Orvanta::CollectionFile
