// A checksum at the end of every page of the SQLite files this program
// writes for itself: the converted copies of Jet files and the collections
// that orvanta-build writes. A bit flipped on disk in a title, a text, a date
// or a stored set of the content index fails its page's checksum when the
// page is read, and the read fails with SQLITE_IOERR_DATA instead of handing
// SQLite (and the user) the wrong value.
//
// The checksum lives in bytes that SQLite reserves at the end of each page
// (the header's "reserved space", set before the first page is written), so
// the file stays an ordinary SQLite file of the same layout. It is an XXH3 of
// the rest of the page, seeded with the page number, so that a page read in
// place of another fails too.
//
// This SQLite VFS wraps WholeFileMap's (or the default one): it fills the
// checksums in as pages are written, and checks them as pages are read, through
// read() or through the map. A file that is read only and never changes
// while it is open (a copy, a collection) has each mapped page checked once
// per connection, the first time SQLite asks for it, so that searches read
// mapped pages at the same speed as before. Which files carry checksums is
// said by their header: the reserved space of our size and one of our
// application ids. Other SQLite files are read as they are.
#pragma once

#include <cstdint>

struct sqlite3;

namespace Orvanta::PageChecksums {

// Bytes reserved at the end of every page for the checksum.
constexpr int ReservedBytes = 8;

// The name of the VFS, registered at the first call; nullptr (the default
// VFS) when it cannot be.
const char* vfsName();

// Makes the empty database `db` (opened through vfsName(), with its page
// size set and nothing written yet) one whose pages carry checksums, with
// `applicationId` in its header. False when that failed.
bool prepareEmpty(sqlite3* db, uint32_t applicationId);

// Whether the header of a database file (its first 100 bytes) says that its
// pages carry our checksums.
bool carriesChecksums(const unsigned char* header, int size);

// Whether a page of `db`'s main file failed its checksum since the
// connection was opened.
bool failedOn(sqlite3* db);

} // namespace Orvanta::PageChecksums
