// The pass-through half of an SQLite VFS that wraps another: every file and
// VFS method handed on to the wrapped one unchanged. A wrapper (the whole
// file map, the page checksums) takes these and replaces only the methods
// whose behaviour it changes, so that what it adds reads on its own.
//
// A wrapper's file is its own struct, beginning as FileHead does, with the
// wrapped VFS's file right behind it in the same allocation (SQLite allocates
// szOsFile bytes, which install() sets to both).
#pragma once

#include <sqlite3.h>

#include <cstddef>

namespace Orvanta::ForwardingVfs {

struct FileHead {
    sqlite3_file base;
    sqlite3_file* real; // the wrapped VFS's file
};

// File methods (version 3) that hand every call to the wrapped file.
sqlite3_io_methods passThroughMethods();

// The VFS that `vfs` (installed by install()) wraps.
inline sqlite3_vfs* realOf(sqlite3_vfs* vfs)
{
    return static_cast<sqlite3_vfs*>(vfs->pAppData);
}

// Opens the wrapped VFS's file of `head`, whose own struct is `ownBytes`
// long. On failure the wrapper's file is left closed (no methods).
int openReal(sqlite3_vfs* vfs, FileHead* head, size_t ownBytes, sqlite3_filename name, int flags, int* outFlags);

using OpenFunction = int (*)(sqlite3_vfs*, sqlite3_filename, sqlite3_file*, int, int*);

// Fills `vfs` as a VFS named `name` over `real` that hands every call but
// xOpen on to it, for files whose own struct is `ownBytes` long, and
// registers it; SQLite keeps `vfs` for as long as the process runs. False
// when `real` lacks what the wrappers need (version 2, xCurrentTimeInt64) or
// SQLite refused it.
bool install(sqlite3_vfs& vfs, sqlite3_vfs* real, const char* name, size_t ownBytes, OpenFunction open);

} // namespace Orvanta::ForwardingVfs
