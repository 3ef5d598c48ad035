#include "platform/collection/PageChecksums.h"

#include "platform/collection/CollectionLayout.h"
#include "platform/sql/ForwardingVfs.h"
#include "platform/sql/WholeFileMap.h"

#include <QByteArray>

#include <sqlite3.h>

#define XXH_INLINE_ALL
#include <xxhash.h>

#include <cstddef>
#include <cstring>
#include <new>
#include <vector>

namespace Orvanta::PageChecksums {
namespace {

constexpr const char* Name = "orvanta-page-checksums";

// Asks a file whether one of its pages failed (the answer is an int).
constexpr int FailedControl = 0x4F520001;

// Our file: SQLite's sqlite3_file first, the wrapped VFS's file after it.
struct File {
    sqlite3_file base;
    sqlite3_file* real;
    bool mainDb;
    bool checked;         // the pages carry our checksums
    bool failed;          // a page failed its checksum
    int pageSize;
    // Mapped pages found sound: a mapped page is the file as it lies, and the
    // file does not change while SQLite holds its map (it gives the map up
    // when it does, and so do these).
    std::vector<uint64_t>* sound;
};

static_assert(offsetof(File, real) == offsetof(ForwardingVfs::FileHead, real));

File* fileOf(sqlite3_file* f)
{
    return reinterpret_cast<File*>(f);
}

uint32_t bigEndian(const unsigned char* p, int count)
{
    uint32_t v = 0;
    for (int i = 0; i < count; ++i)
        v = (v << 8) | p[i];
    return v;
}

int pageSizeOf(const unsigned char* header)
{
    const uint32_t size = bigEndian(header + 16, 2);
    return size == 1 ? 65536 : int(size);
}

// Takes what the header of page 1 says: whether the pages carry checksums,
// and their size.
void readHeader(File* f, const unsigned char* header, int size)
{
    f->checked = carriesChecksums(header, size);
    f->pageSize = f->checked ? pageSizeOf(header) : 0;
}

uint64_t checksumOf(const unsigned char* page, int pageSize, sqlite3_int64 offset)
{
    const uint64_t pageNumber = uint64_t(offset / pageSize) + 1;
    return XXH3_64bits_withSeed(page, size_t(pageSize - ReservedBytes), pageNumber);
}

uint64_t storedChecksum(const unsigned char* page, int pageSize)
{
    uint64_t v = 0;
    for (int i = ReservedBytes - 1; i >= 0; --i)
        v = (v << 8) | page[pageSize - ReservedBytes + i];
    return v;
}

// A whole page, where SQLite reads or writes one (not the header's first
// 100 bytes, read alone before the page size is known).
bool isPage(const File* f, int amount, sqlite3_int64 offset)
{
    return f->checked && amount == f->pageSize && offset % f->pageSize == 0;
}

bool pageSound(File* f, const void* page, sqlite3_int64 offset)
{
    const auto* p = static_cast<const unsigned char*>(page);
    if (checksumOf(p, f->pageSize, offset) == storedChecksum(p, f->pageSize))
        return true;
    f->failed = true;
    return false;
}

int xClose(sqlite3_file* file)
{
    File* f = fileOf(file);
    delete f->sound;
    f->sound = nullptr;
    const int rc = f->real->pMethods ? f->real->pMethods->xClose(f->real) : SQLITE_OK;
    f->real->pMethods = nullptr;
    return rc;
}

int xRead(sqlite3_file* file, void* buffer, int amount, sqlite3_int64 offset)
{
    File* f = fileOf(file);
    const int rc = f->real->pMethods->xRead(f->real, buffer, amount, offset);
    if (rc == SQLITE_OK && isPage(f, amount, offset) && !pageSound(f, buffer, offset))
        return SQLITE_IOERR_DATA;
    return rc;
}

int xWrite(sqlite3_file* file, const void* buffer, int amount, sqlite3_int64 offset)
{
    File* f = fileOf(file);
    if (f->mainDb && offset == 0 && amount >= 100)
        readHeader(f, static_cast<const unsigned char*>(buffer), amount);
    if (isPage(f, amount, offset)) {
        // The reserved bytes are ours: SQLite neither reads nor writes them,
        // so the checksum goes into its page buffer as it is written.
        auto* page = static_cast<unsigned char*>(const_cast<void*>(buffer));
        uint64_t sum = checksumOf(page, f->pageSize, offset);
        for (int i = 0; i < ReservedBytes; ++i, sum >>= 8)
            page[f->pageSize - ReservedBytes + i] = static_cast<unsigned char>(sum & 0xFF);
    }
    return f->real->pMethods->xWrite(f->real, buffer, amount, offset);
}

int xFileControl(sqlite3_file* file, int op, void* arg)
{
    File* f = fileOf(file);
    if (op == FailedControl) {
        *static_cast<int*>(arg) = f->failed ? 1 : 0;
        return SQLITE_OK;
    }
    return f->real->pMethods->xFileControl(f->real, op, arg);
}

int xFetch(sqlite3_file* file, sqlite3_int64 offset, int amount, void** out)
{
    File* f = fileOf(file);
    *out = nullptr;
    if (f->real->pMethods->iVersion < 3 || !f->real->pMethods->xFetch)
        return SQLITE_OK; // read as without a map
    const int rc = f->real->pMethods->xFetch(f->real, offset, amount, out);
    if (rc != SQLITE_OK || !*out || !isPage(f, amount, offset))
        return rc;
    const auto page = uint64_t(offset / f->pageSize);
    if (!f->sound)
        f->sound = new (std::nothrow) std::vector<uint64_t>();
    if (f->sound && page / 64 < f->sound->size() && ((*f->sound)[page / 64] >> (page % 64) & 1))
        return SQLITE_OK;
    if (!pageSound(f, *out, offset)) {
        f->real->pMethods->xUnfetch(f->real, offset, *out);
        *out = nullptr;
        return SQLITE_IOERR_DATA;
    }
    if (f->sound) {
        try {
            if (page / 64 >= f->sound->size())
                f->sound->resize(size_t(page / 64) + 1);
            (*f->sound)[page / 64] |= uint64_t(1) << (page % 64);
        } catch (const std::bad_alloc&) {
            // Only means the page is checked again next time.
        }
    }
    return SQLITE_OK;
}

int xUnfetch(sqlite3_file* file, sqlite3_int64 offset, void* page)
{
    File* f = fileOf(file);
    // SQLite gives up its map when the file changed on disk: the pages
    // found sound before may not be so now.
    if (!page && f->sound)
        f->sound->clear();
    if (f->real->pMethods->iVersion < 3 || !f->real->pMethods->xUnfetch)
        return SQLITE_OK;
    return f->real->pMethods->xUnfetch(f->real, offset, page);
}

// Ours where they differ, the wrapped file's everywhere else.
const sqlite3_io_methods kMethods = [] {
    sqlite3_io_methods m = ForwardingVfs::passThroughMethods();
    m.xClose = xClose;
    m.xRead = xRead;
    m.xWrite = xWrite;
    m.xFileControl = xFileControl;
    m.xFetch = xFetch;
    m.xUnfetch = xUnfetch;
    return m;
}();

int xOpen(sqlite3_vfs* vfs, sqlite3_filename name, sqlite3_file* file, int flags, int* outFlags)
{
    File* f = fileOf(file);
    f->mainDb = (flags & SQLITE_OPEN_MAIN_DB) != 0;
    f->checked = false;
    f->failed = false;
    f->pageSize = 0;
    f->sound = nullptr;
    const int rc = ForwardingVfs::openReal(vfs, reinterpret_cast<ForwardingVfs::FileHead*>(f), sizeof(File), name, flags,
                                           outFlags);
    if (rc != SQLITE_OK || !f->real->pMethods)
        return rc;
    if (f->mainDb) {
        unsigned char header[100];
        // A new or short file has no header yet: it gets one with its first
        // page, and the checksums with it (see xWrite).
        if (f->real->pMethods->xRead(f->real, header, sizeof header, 0) == SQLITE_OK)
            readHeader(f, header, int(sizeof header));
    }
    file->pMethods = &kMethods;
    return SQLITE_OK;
}

} // namespace

const char* vfsName()
{
    static const bool installed = [] {
        static sqlite3_vfs vfs;
        return ForwardingVfs::install(vfs, sqlite3_vfs_find(WholeFileMap::vfsName()), Name, sizeof(File), xOpen);
    }();
    return installed ? Name : nullptr;
}

bool carriesChecksums(const unsigned char* header, int size)
{
    if (size < 100 || std::memcmp(header, "SQLite format 3", 16) != 0 || header[20] != ReservedBytes)
        return false;
    const uint32_t applicationId = bigEndian(header + 68, 4);
    const int pageSize = pageSizeOf(header);
    return (applicationId == CollectionLayout::BuiltApplicationId
            || applicationId == CollectionLayout::CopyApplicationId)
        && pageSize >= 512 && (pageSize & (pageSize - 1)) == 0;
}

bool prepareEmpty(sqlite3* db, uint32_t applicationId)
{
    int reserve = ReservedBytes;
    if (sqlite3_file_control(db, "main", SQLITE_FCNTL_RESERVE_BYTES, &reserve) != SQLITE_OK)
        return false;
    const QByteArray sql = "PRAGMA application_id=" + QByteArray::number(qint64(applicationId));
    if (sqlite3_exec(db, sql.constData(), nullptr, nullptr, nullptr) != SQLITE_OK)
        return false;
    // Page 1, written now, says what every later page carries.
    int reserved = -1;
    sqlite3_file_control(db, "main", SQLITE_FCNTL_RESERVE_BYTES, &reserved);
    return reserved == ReservedBytes;
}

bool failedOn(sqlite3* db)
{
    int failed = 0;
    return sqlite3_file_control(db, "main", FailedControl, &failed) == SQLITE_OK && failed != 0;
}

} // namespace Orvanta::PageChecksums
