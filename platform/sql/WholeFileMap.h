// Reading a large collection through one memory map of the whole file.
//
// SQLite maps at most 2 GB of a file (the limit this system's SQLite was
// built with), and reads the rest with read(): a copy of every page that a
// search touches. In a collection of a million documents the content index,
// which is written after the documents, lies beyond that limit, so each
// search copied its titles (about 90 MB for a search that lists a tenth of
// the collection) instead of reading them where they lie.
//
// This SQLite VFS wraps the default one for databases opened read-only and
// maps the whole file itself, handing out pages of that map where SQLite asks
// for mapped pages (PRAGMA mmap_size above 0). It gives the map up whenever
// SQLite gives its own up (the file changed on disk), and maps the file
// again, at its size then, at the next request. A file it cannot be sure of
// (renamed between two opens of its path, say) is not mapped: SQLite then
// reads it as it would without a map.
#pragma once

namespace Orvanta::WholeFileMap {

// The name of the VFS, registered at the first call; nullptr (the default
// VFS) when it cannot be.
const char* vfsName();

} // namespace Orvanta::WholeFileMap
