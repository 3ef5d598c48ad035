#include "platform/sql/ForwardingVfs.h"

namespace Orvanta::ForwardingVfs {
namespace {

sqlite3_file* wrapped(sqlite3_file* f)
{
    return reinterpret_cast<FileHead*>(f)->real;
}

int xClose(sqlite3_file* f)
{
    sqlite3_file* real = wrapped(f);
    const int rc = real->pMethods ? real->pMethods->xClose(real) : SQLITE_OK;
    real->pMethods = nullptr;
    return rc;
}

int xRead(sqlite3_file* f, void* buffer, int amount, sqlite3_int64 offset)
{
    return wrapped(f)->pMethods->xRead(wrapped(f), buffer, amount, offset);
}

int xWrite(sqlite3_file* f, const void* buffer, int amount, sqlite3_int64 offset)
{
    return wrapped(f)->pMethods->xWrite(wrapped(f), buffer, amount, offset);
}

int xTruncate(sqlite3_file* f, sqlite3_int64 size)
{
    return wrapped(f)->pMethods->xTruncate(wrapped(f), size);
}

int xSync(sqlite3_file* f, int flags)
{
    return wrapped(f)->pMethods->xSync(wrapped(f), flags);
}

int xFileSize(sqlite3_file* f, sqlite3_int64* size)
{
    return wrapped(f)->pMethods->xFileSize(wrapped(f), size);
}

int xLock(sqlite3_file* f, int level)
{
    return wrapped(f)->pMethods->xLock(wrapped(f), level);
}

int xUnlock(sqlite3_file* f, int level)
{
    return wrapped(f)->pMethods->xUnlock(wrapped(f), level);
}

int xCheckReservedLock(sqlite3_file* f, int* out)
{
    return wrapped(f)->pMethods->xCheckReservedLock(wrapped(f), out);
}

int xFileControl(sqlite3_file* f, int op, void* arg)
{
    return wrapped(f)->pMethods->xFileControl(wrapped(f), op, arg);
}

int xSectorSize(sqlite3_file* f)
{
    return wrapped(f)->pMethods->xSectorSize(wrapped(f));
}

int xDeviceCharacteristics(sqlite3_file* f)
{
    return wrapped(f)->pMethods->xDeviceCharacteristics(wrapped(f));
}

int xShmMap(sqlite3_file* f, int region, int bytes, int extend, void volatile** out)
{
    return wrapped(f)->pMethods->xShmMap(wrapped(f), region, bytes, extend, out);
}

int xShmLock(sqlite3_file* f, int offset, int n, int flags)
{
    return wrapped(f)->pMethods->xShmLock(wrapped(f), offset, n, flags);
}

void xShmBarrier(sqlite3_file* f)
{
    wrapped(f)->pMethods->xShmBarrier(wrapped(f));
}

int xShmUnmap(sqlite3_file* f, int deleteFlag)
{
    return wrapped(f)->pMethods->xShmUnmap(wrapped(f), deleteFlag);
}

// A wrapped file of an older version has no map: reads go through xRead.
int xFetch(sqlite3_file* f, sqlite3_int64 offset, int amount, void** out)
{
    *out = nullptr;
    const sqlite3_io_methods* methods = wrapped(f)->pMethods;
    if (methods->iVersion < 3 || !methods->xFetch)
        return SQLITE_OK;
    return methods->xFetch(wrapped(f), offset, amount, out);
}

int xUnfetch(sqlite3_file* f, sqlite3_int64 offset, void* page)
{
    const sqlite3_io_methods* methods = wrapped(f)->pMethods;
    if (methods->iVersion < 3 || !methods->xUnfetch)
        return SQLITE_OK;
    return methods->xUnfetch(wrapped(f), offset, page);
}

int xDelete(sqlite3_vfs* vfs, const char* name, int syncDir)
{
    return realOf(vfs)->xDelete(realOf(vfs), name, syncDir);
}

int xAccess(sqlite3_vfs* vfs, const char* name, int flags, int* out)
{
    return realOf(vfs)->xAccess(realOf(vfs), name, flags, out);
}

int xFullPathname(sqlite3_vfs* vfs, const char* name, int size, char* out)
{
    return realOf(vfs)->xFullPathname(realOf(vfs), name, size, out);
}

void* xDlOpen(sqlite3_vfs* vfs, const char* name)
{
    return realOf(vfs)->xDlOpen(realOf(vfs), name);
}

void xDlError(sqlite3_vfs* vfs, int size, char* out)
{
    realOf(vfs)->xDlError(realOf(vfs), size, out);
}

void (*xDlSym(sqlite3_vfs* vfs, void* handle, const char* symbol))(void)
{
    return realOf(vfs)->xDlSym(realOf(vfs), handle, symbol);
}

void xDlClose(sqlite3_vfs* vfs, void* handle)
{
    realOf(vfs)->xDlClose(realOf(vfs), handle);
}

int xRandomness(sqlite3_vfs* vfs, int size, char* out)
{
    return realOf(vfs)->xRandomness(realOf(vfs), size, out);
}

int xSleep(sqlite3_vfs* vfs, int microseconds)
{
    return realOf(vfs)->xSleep(realOf(vfs), microseconds);
}

int xCurrentTime(sqlite3_vfs* vfs, double* out)
{
    return realOf(vfs)->xCurrentTime(realOf(vfs), out);
}

int xGetLastError(sqlite3_vfs* vfs, int size, char* out)
{
    return realOf(vfs)->xGetLastError ? realOf(vfs)->xGetLastError(realOf(vfs), size, out) : 0;
}

int xCurrentTimeInt64(sqlite3_vfs* vfs, sqlite3_int64* out)
{
    return realOf(vfs)->xCurrentTimeInt64(realOf(vfs), out);
}

} // namespace

sqlite3_io_methods passThroughMethods()
{
    return {
        3, xClose, xRead, xWrite, xTruncate, xSync, xFileSize, xLock, xUnlock, xCheckReservedLock,
        xFileControl, xSectorSize, xDeviceCharacteristics, xShmMap, xShmLock, xShmBarrier, xShmUnmap,
        xFetch, xUnfetch,
    };
}

int openReal(sqlite3_vfs* vfs, FileHead* head, size_t ownBytes, sqlite3_filename name, int flags, int* outFlags)
{
    head->real = reinterpret_cast<sqlite3_file*>(reinterpret_cast<char*>(head) + ownBytes);
    head->real->pMethods = nullptr;
    sqlite3_vfs* real = realOf(vfs);
    const int rc = real->xOpen(real, name, head->real, flags, outFlags);
    if (rc != SQLITE_OK || !head->real->pMethods) {
        head->base.pMethods = nullptr;
        return rc;
    }
    return SQLITE_OK;
}

bool install(sqlite3_vfs& vfs, sqlite3_vfs* real, const char* name, size_t ownBytes, OpenFunction open)
{
    if (!real || real->iVersion < 2 || !real->xCurrentTimeInt64)
        return false;
    vfs = sqlite3_vfs{};
    vfs.iVersion = 2;
    vfs.szOsFile = int(ownBytes) + real->szOsFile;
    vfs.mxPathname = real->mxPathname;
    vfs.zName = name;
    vfs.pAppData = real;
    vfs.xOpen = open;
    vfs.xDelete = xDelete;
    vfs.xAccess = xAccess;
    vfs.xFullPathname = xFullPathname;
    vfs.xDlOpen = xDlOpen;
    vfs.xDlError = xDlError;
    vfs.xDlSym = xDlSym;
    vfs.xDlClose = xDlClose;
    vfs.xRandomness = xRandomness;
    vfs.xSleep = xSleep;
    vfs.xCurrentTime = xCurrentTime;
    vfs.xGetLastError = xGetLastError;
    vfs.xCurrentTimeInt64 = xCurrentTimeInt64;
    return sqlite3_vfs_register(&vfs, 0) == SQLITE_OK;
}

} // namespace Orvanta::ForwardingVfs
