#include "platform/sql/WholeFileMap.h"

#include <sqlite3.h>

#include <cstring>
#include <fcntl.h>
#include <mutex>
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

sqlite3_vfs g_vfs;
sqlite3_vfs* g_real = nullptr;

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

int xRead(sqlite3_file* f, void* buffer, int amount, sqlite3_int64 offset)
{
    return fileOf(f)->real->pMethods->xRead(fileOf(f)->real, buffer, amount, offset);
}

int xWrite(sqlite3_file* f, const void* buffer, int amount, sqlite3_int64 offset)
{
    return fileOf(f)->real->pMethods->xWrite(fileOf(f)->real, buffer, amount, offset);
}

int xTruncate(sqlite3_file* f, sqlite3_int64 size)
{
    return fileOf(f)->real->pMethods->xTruncate(fileOf(f)->real, size);
}

int xSync(sqlite3_file* f, int flags)
{
    return fileOf(f)->real->pMethods->xSync(fileOf(f)->real, flags);
}

int xFileSize(sqlite3_file* f, sqlite3_int64* size)
{
    return fileOf(f)->real->pMethods->xFileSize(fileOf(f)->real, size);
}

int xLock(sqlite3_file* f, int level)
{
    return fileOf(f)->real->pMethods->xLock(fileOf(f)->real, level);
}

int xUnlock(sqlite3_file* f, int level)
{
    return fileOf(f)->real->pMethods->xUnlock(fileOf(f)->real, level);
}

int xCheckReservedLock(sqlite3_file* f, int* out)
{
    return fileOf(f)->real->pMethods->xCheckReservedLock(fileOf(f)->real, out);
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

int xSectorSize(sqlite3_file* f)
{
    return fileOf(f)->real->pMethods->xSectorSize(fileOf(f)->real);
}

int xDeviceCharacteristics(sqlite3_file* f)
{
    return fileOf(f)->real->pMethods->xDeviceCharacteristics(fileOf(f)->real);
}

int xShmMap(sqlite3_file* f, int region, int bytes, int extend, void volatile** out)
{
    return fileOf(f)->real->pMethods->xShmMap(fileOf(f)->real, region, bytes, extend, out);
}

int xShmLock(sqlite3_file* f, int offset, int n, int flags)
{
    return fileOf(f)->real->pMethods->xShmLock(fileOf(f)->real, offset, n, flags);
}

void xShmBarrier(sqlite3_file* f)
{
    fileOf(f)->real->pMethods->xShmBarrier(fileOf(f)->real);
}

int xShmUnmap(sqlite3_file* f, int deleteFlag)
{
    return fileOf(f)->real->pMethods->xShmUnmap(fileOf(f)->real, deleteFlag);
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

const sqlite3_io_methods kMethods = {
    3, xClose, xRead, xWrite, xTruncate, xSync, xFileSize, xLock, xUnlock, xCheckReservedLock,
    xFileControl, xSectorSize, xDeviceCharacteristics, xShmMap, xShmLock, xShmBarrier, xShmUnmap,
    xFetch, xUnfetch,
};

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

int xOpen(sqlite3_vfs*, sqlite3_filename name, sqlite3_file* file, int flags, int* outFlags)
{
    File* f = fileOf(file);
    f->real = reinterpret_cast<sqlite3_file*>(f + 1);
    f->real->pMethods = nullptr;
    f->fd = -1;
    f->map = nullptr;
    f->mapBytes = 0;
    f->mapLimit = 0;
    f->fetchesOut = 0;
    const int rc = g_real->xOpen(g_real, name, f->real, flags, outFlags);
    if (rc != SQLITE_OK || !f->real->pMethods) {
        file->pMethods = nullptr;
        return rc;
    }
    // Only the database itself, opened read-only, is mapped.
    if (name && (flags & SQLITE_OPEN_MAIN_DB) && (flags & SQLITE_OPEN_READONLY))
        f->fd = sameFileDescriptor(f->real, name);
    file->pMethods = &kMethods;
    return SQLITE_OK;
}

int xDelete(sqlite3_vfs*, const char* name, int syncDir)
{
    return g_real->xDelete(g_real, name, syncDir);
}

int xAccess(sqlite3_vfs*, const char* name, int flags, int* out)
{
    return g_real->xAccess(g_real, name, flags, out);
}

int xFullPathname(sqlite3_vfs*, const char* name, int size, char* out)
{
    return g_real->xFullPathname(g_real, name, size, out);
}

void* xDlOpen(sqlite3_vfs*, const char* name)
{
    return g_real->xDlOpen(g_real, name);
}

void xDlError(sqlite3_vfs*, int size, char* out)
{
    g_real->xDlError(g_real, size, out);
}

void (*xDlSym(sqlite3_vfs*, void* handle, const char* symbol))(void)
{
    return g_real->xDlSym(g_real, handle, symbol);
}

void xDlClose(sqlite3_vfs*, void* handle)
{
    g_real->xDlClose(g_real, handle);
}

int xRandomness(sqlite3_vfs*, int size, char* out)
{
    return g_real->xRandomness(g_real, size, out);
}

int xSleep(sqlite3_vfs*, int microseconds)
{
    return g_real->xSleep(g_real, microseconds);
}

int xCurrentTime(sqlite3_vfs*, double* out)
{
    return g_real->xCurrentTime(g_real, out);
}

int xGetLastError(sqlite3_vfs*, int size, char* out)
{
    return g_real->xGetLastError ? g_real->xGetLastError(g_real, size, out) : 0;
}

int xCurrentTimeInt64(sqlite3_vfs*, sqlite3_int64* out)
{
    return g_real->xCurrentTimeInt64(g_real, out);
}

bool registerVfs()
{
    g_real = sqlite3_vfs_find(nullptr);
    if (!g_real || g_real->iVersion < 2 || !g_real->xCurrentTimeInt64)
        return false;
    g_vfs = sqlite3_vfs{};
    g_vfs.iVersion = 2;
    g_vfs.szOsFile = int(sizeof(File)) + g_real->szOsFile;
    g_vfs.mxPathname = g_real->mxPathname;
    g_vfs.zName = Name;
    g_vfs.xOpen = xOpen;
    g_vfs.xDelete = xDelete;
    g_vfs.xAccess = xAccess;
    g_vfs.xFullPathname = xFullPathname;
    g_vfs.xDlOpen = xDlOpen;
    g_vfs.xDlError = xDlError;
    g_vfs.xDlSym = xDlSym;
    g_vfs.xDlClose = xDlClose;
    g_vfs.xRandomness = xRandomness;
    g_vfs.xSleep = xSleep;
    g_vfs.xCurrentTime = xCurrentTime;
    g_vfs.xGetLastError = xGetLastError;
    g_vfs.xCurrentTimeInt64 = xCurrentTimeInt64;
    return sqlite3_vfs_register(&g_vfs, 0) == SQLITE_OK;
}

} // namespace

const char* vfsName()
{
    static std::once_flag once;
    static bool registered = false;
    std::call_once(once, [] { registered = registerVfs(); });
    return registered ? Name : nullptr;
}

} // namespace Orvanta::WholeFileMap
