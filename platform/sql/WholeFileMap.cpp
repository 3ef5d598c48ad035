#include "platform/sql/WholeFileMap.h"

#include "platform/sql/ForwardingVfs.h"

#include <sqlite3.h>

#include <cstddef>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Orvanta::WholeFileMap {
namespace {

constexpr const char* Name = "orvanta-whole-file-map";

// Our file: SQLite's sqlite3_file first, the wrapped VFS's file after it.
struct File {
    sqlite3_file base;
    sqlite3_file* real;
    int fd;                    // our own descriptor of the same file; -1: never map
    const unsigned char* map;  // the whole file as it was when mapped
    sqlite3_int64 mapBytes;
    sqlite3_int64 mapLimit;    // SQLite's mmap_size: 0 asks for no map
    int fetchesOut;            // pages of the map SQLite holds
};

static_assert(offsetof(File, real) == offsetof(ForwardingVfs::FileHead, real));

File* fileOf(sqlite3_file* f)
{
    return reinterpret_cast<File*>(f);
}

void unmap(File* f)
{
    if (f->map)
        ::munmap(const_cast<unsigned char*>(f->map), size_t(f->mapBytes));
    f->map = nullptr;
    f->mapBytes = 0;
}

// Maps the file at its size now, when it is the size SQLite sees too.
void mapWholeFile(File* f)
{
    struct stat st;
    sqlite3_int64 realSize = -1;
    if (::fstat(f->fd, &st) != 0 || f->real->pMethods->xFileSize(f->real, &realSize) != SQLITE_OK
        || realSize != st.st_size || st.st_size <= 0)
        return;
    void* p = ::mmap(nullptr, size_t(st.st_size), PROT_READ, MAP_SHARED, f->fd, 0);
    if (p == MAP_FAILED)
        return;
    f->map = static_cast<const unsigned char*>(p);
    f->mapBytes = st.st_size;
}

int xClose(sqlite3_file* file)
{
    File* f = fileOf(file);
    unmap(f);
    if (f->fd >= 0)
        ::close(f->fd);
    f->fd = -1;
    const int rc = f->real->pMethods ? f->real->pMethods->xClose(f->real) : SQLITE_OK;
    f->real->pMethods = nullptr;
    return rc;
}

int xFileControl(sqlite3_file* file, int op, void* arg)
{
    File* f = fileOf(file);
    if (op == SQLITE_FCNTL_MMAP_SIZE && arg) {
        // SQLite's own limit stays with the wrapped file, which never maps
        // (its xFetch is never called); ours is the whole file or nothing.
        const sqlite3_int64 wanted = *static_cast<sqlite3_int64*>(arg);
        if (wanted >= 0) {
            f->mapLimit = wanted;
            if (wanted == 0 && f->fetchesOut == 0)
                unmap(f);
        }
    }
    return f->real->pMethods->xFileControl(f->real, op, arg);
}

int xFetch(sqlite3_file* file, sqlite3_int64 offset, int amount, void** out)
{
    File* f = fileOf(file);
    *out = nullptr;
    if (f->fd < 0 || f->mapLimit <= 0)
        return SQLITE_OK; // read as without a map
    if (!f->map && f->fetchesOut == 0)
        mapWholeFile(f);
    if (f->map && offset >= 0 && amount >= 0 && offset + amount <= f->mapBytes) {
        *out = const_cast<unsigned char*>(f->map) + offset;
        ++f->fetchesOut;
    }
    return SQLITE_OK;
}

int xUnfetch(sqlite3_file* file, sqlite3_int64, void* page)
{
    File* f = fileOf(file);
    if (page) {
        --f->fetchesOut;
    } else if (f->fetchesOut == 0) {
        // SQLite gives up its map when the file changed on disk: so do we,
        // and the next request maps the file as it is then.
        unmap(f);
    }
    return SQLITE_OK;
}

// Ours where they differ, the wrapped file's everywhere else.
const sqlite3_io_methods kMethods = [] {
    sqlite3_io_methods m = ForwardingVfs::passThroughMethods();
    m.xClose = xClose;
    m.xFileControl = xFileControl;
    m.xFetch = xFetch;
    m.xUnfetch = xUnfetch;
    return m;
}();

// Our descriptor of `path` when it is the file that `real` opened: the path
// names the same file before and after SQLite says its file has not moved.
int sameFileDescriptor(sqlite3_file* real, const char* path)
{
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    struct stat ours, named;
    int moved = 1;
    if (::fstat(fd, &ours) == 0 && real->pMethods->xFileControl(real, SQLITE_FCNTL_HAS_MOVED, &moved) == SQLITE_OK
        && moved == 0 && ::stat(path, &named) == 0 && named.st_dev == ours.st_dev && named.st_ino == ours.st_ino)
        return fd;
    ::close(fd);
    return -1;
}

int xOpen(sqlite3_vfs* vfs, sqlite3_filename name, sqlite3_file* file, int flags, int* outFlags)
{
    File* f = fileOf(file);
    f->fd = -1;
    f->map = nullptr;
    f->mapBytes = 0;
    f->mapLimit = 0;
    f->fetchesOut = 0;
    const int rc = ForwardingVfs::openReal(vfs, reinterpret_cast<ForwardingVfs::FileHead*>(f), sizeof(File), name, flags,
                                           outFlags);
    if (rc != SQLITE_OK || !f->real->pMethods)
        return rc;
    // Only the database itself, opened read-only, is mapped.
    if (name && (flags & SQLITE_OPEN_MAIN_DB) && (flags & SQLITE_OPEN_READONLY))
        f->fd = sameFileDescriptor(f->real, name);
    file->pMethods = &kMethods;
    return SQLITE_OK;
}

} // namespace

const char* vfsName()
{
    static const bool installed = [] {
        static sqlite3_vfs vfs;
        return ForwardingVfs::install(vfs, sqlite3_vfs_find(nullptr), Name, sizeof(File), xOpen);
    }();
    return installed ? Name : nullptr;
}

} // namespace Orvanta::WholeFileMap
